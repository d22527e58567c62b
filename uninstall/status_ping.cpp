// The "uninstalled" status ping: a single GET for a small image on the ping host, fetched
// through the URL moniker service; the answer is never looked at.
#include "uninstall/status_ping.h"

#include <objbase.h>
#include <time.h>

#include "base/debug_channel.h"
#include "base/module_loader.h"
#include "base/scoped.h"
#include "version.h"

namespace {

const char* g_testPingHost = nullptr;

}  // namespace

const char* PingHost() { return g_testPingHost ? g_testPingHost : TOLLIX_PING_HOST; }

void SetPingHostForTesting(const char* host) { g_testPingHost = host; }

DWORD PingCheckValue(const char* text) {
  uint32_t hash = 0;
  for (const char* p = text; p && *p; ++p) {
    char c = *p;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    hash = hash * 33u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
  }
  return hash % 0x7FFFFFFFu;
}

DWORD PingTimeStamp() {
  time_t now = time(nullptr);
  struct tm broken;
  struct tm* utc = gmtime(&now);
  if (!utc) return static_cast<DWORD>(now);
  broken = *utc;
  return static_cast<DWORD>(mktime(&broken));
}

bool BuildStatusPingUrl(const char* host, const char* installId, const char* toolbarId,
                        long productVersion, bool selectedInBrowser, const char* state,
                        DWORD timeStamp, HeapString* url) {
  if (!url) return false;
  if (!url->Assign("http://") || !url->Append(host ? host : "") || !url->Append("/ins.gif?") ||
      !url->AppendFormat("NSBID=%s", toolbarId ? toolbarId : "") ||
      !url->AppendFormat("&NSB=%ld", productVersion) || !url->Append("&EID=VI2") ||
      !url->AppendFormat("&TP=%s", installId ? installId : "") ||
      !url->AppendFormat("&V=%s", state ? state : "") ||
      !url->AppendFormat("&SE=%d", selectedInBrowser ? 1 : 0) ||
      !url->AppendFormat("&TS=%lu", static_cast<unsigned long>(timeStamp))) {
    url->Clear();
    return false;
  }
  const DWORD check = PingCheckValue(url->Text());
  if (!url->AppendFormat("&HC=%lu", static_cast<unsigned long>(check))) {
    url->Clear();
    return false;
  }
  return true;
}

bool SendStatusPing(const char* installId, const char* toolbarId, long productVersion,
                    bool selectedInBrowser, const char* state) {
  DWORD connectionFlags = 0;
  if (!InternetGetConnectedStateFromSystem(&connectionFlags, 0)) {
    LogInfo("Not sending ping, we do not have a connection to internet");
    return false;
  }
  HeapString url;
  if (!BuildStatusPingUrl(PingHost(), installId, toolbarId, productVersion, selectedInBrowser,
                          state, PingTimeStamp(), &url)) {
    return false;
  }
  LogInfo("Sending ping - ", url.Text());

  ScopedComPtr<IBindCtx> bindContext;
  if (FAILED(CreateBindCtx(0, bindContext.Receive()))) return false;

  const int wideLength = MultiByteToWideChar(CP_ACP, 0, url.Text(), -1, nullptr, 0);
  if (wideLength <= 0) return false;
  WCHAR* wideUrl = static_cast<WCHAR*>(
      HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(wideLength) * sizeof(WCHAR)));
  if (!wideUrl) return false;
  MultiByteToWideChar(CP_ACP, 0, url.Text(), -1, wideUrl, wideLength);
  ScopedComPtr<IMoniker> moniker;
  const HRESULT created = CreateURLMonikerFromSystem(nullptr, wideUrl, moniker.Receive());
  HeapFree(GetProcessHeap(), 0, wideUrl);
  if (FAILED(created) || !moniker.Get()) return false;

  ScopedComPtr<IStream> stream;
  const HRESULT bound =
      moniker->BindToStorage(bindContext.Get(), nullptr, IID_IStream, stream.ReceiveVoid());
  return SUCCEEDED(bound);
}
