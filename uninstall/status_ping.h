// The one-shot "uninstalled" status ping: its URL, its check value, and the fetch.
#pragma once

#include <windows.h>

#include "base/heap_string.h"

// The longest the uninstall waits for the ping's fetch; a host that has not answered by then is
// left behind.
const DWORD kStatusPingTimeoutMs = 5000;

// Fetches http://<host>/ins.gif?... and waits for it at most kStatusPingTimeoutMs; true when
// the fetch completed without error in that time.
bool SendStatusPing(const char* installId, const char* toolbarId, long productVersion, bool selectedInBrowser,
                    const char* state);

// The check value of a ping URL: a multiply-by-33 hash over the lower-cased text, modulo
// 0x7FFFFFFF.
DWORD PingCheckValue(const char* text);
// Appends text with every byte other than A-Z, a-z, 0-9, '-', '.', '_' and '~' written as
// '%' and two capital hex digits; a null text appends nothing. False when it could not be stored.
bool AppendPercentEncoded(HeapString* url, const char* text);
// The whole request URL for the given time stamp, every text percent-encoded, the check value
// computed over the encoded text; false when a piece could not be stored.
bool BuildStatusPingUrl(const char* host, const char* installId, const char* toolbarId, long productVersion,
                        bool selectedInBrowser, const char* state, DWORD timeStamp, HeapString* url);
// Seconds now, broken down as UTC and read back as local time (the ping host's convention).
DWORD PingTimeStamp();

// The host that receives the ping: the build's TOLLIX_PING_HOST unless a test set another
// (null restores the build's).
const char* PingHost();
void SetPingHostForTesting(const char* host);
