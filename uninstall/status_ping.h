// The one-shot "uninstalled" status ping: its URL, its check value, and the fetch.
#pragma once

#include <windows.h>

#include "base/heap_string.h"

// Fetches http://<host>/ins.gif?... synchronously; true when the fetch completed without error.
bool SendStatusPing(const char* installId, const char* toolbarId, long productVersion,
                    bool selectedInBrowser, const char* state);

// The check value of a ping URL: a multiply-by-33 hash over the lower-cased text, modulo
// 0x7FFFFFFF.
DWORD PingCheckValue(const char* text);
// The whole request URL for the given time stamp; false when a piece could not be stored.
bool BuildStatusPingUrl(const char* host, const char* installId, const char* toolbarId,
                        long productVersion, bool selectedInBrowser, const char* state,
                        DWORD timeStamp, HeapString* url);
// Seconds now, broken down as UTC and read back as local time (the ping host's convention).
DWORD PingTimeStamp();

// The host that receives the ping: the build's TOLLIX_PING_HOST unless a test set another
// (null restores the build's).
const char* PingHost();
void SetPingHostForTesting(const char* host);
