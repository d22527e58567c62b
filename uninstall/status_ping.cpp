// The "uninstalled" status ping: a single GET for a small image on the ping host, fetched
// through the URL moniker service on a worker thread that the uninstall waits for only a few
// seconds; the answer is never looked at.
#include "uninstall/status_ping.h"

#include <objbase.h>
#include <time.h>

#include <new>

#include "base/debug_channel.h"
#include "base/module_loader.h"
#include "base/scoped.h"
#include "version.h"

namespace {

const char* g_testPingHost = nullptr;

// The answer is a small image nobody reads: a fetch that brings more than this is stopped.
const ULONG kMaxPingAnswerBytes = 64 * 1024;

// What the uninstall and the fetching thread share. The uninstall may stop waiting and go on
// while the thread still hangs on the host; whoever lets go last frees it.
struct PingFetch {
  volatile LONG references;
  volatile LONG abandoned;  // the uninstall went on without the answer
  HRESULT result;
  WCHAR* url;
};

void HoldFetch(PingFetch* fetch) { InterlockedIncrement(&fetch->references); }

void ReleaseFetch(PingFetch* fetch) {
  if (InterlockedDecrement(&fetch->references) != 0) return;
  if (fetch->url) HeapFree(GetProcessHeap(), 0, fetch->url);
  HeapFree(GetProcessHeap(), 0, fetch);
}

// Watches the fetch and stops it once the uninstall went on without it or the answer grows
// past the cap. Keeps the shared state alive for as long as the moniker service holds it.
class PingBindWatcher final : public IBindStatusCallback {
 public:
  explicit PingBindWatcher(PingFetch* fetch) : m_references(1), m_fetch(fetch) { HoldFetch(fetch); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IBindStatusCallback)) {
      *out = static_cast<IBindStatusCallback*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_references)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&m_references);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return Verdict(0); }
  HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG, ULONG status, LPCWSTR) override {
    return Verdict(status == BINDSTATUS_DOWNLOADINGDATA || status == BINDSTATUS_ENDDOWNLOADDATA ? progress : 0);
  }
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override { return S_OK; }
  // The defaults stand: a synchronous GET.
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD size, FORMATETC*, STGMEDIUM*) override {
    return Verdict(size);
  }
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

 private:
  ~PingBindWatcher() { ReleaseFetch(m_fetch); }

  HRESULT Verdict(ULONG answerBytes) const {
    return m_fetch->abandoned || answerBytes > kMaxPingAnswerBytes ? E_ABORT : S_OK;
  }

  volatile LONG m_references;
  PingFetch* m_fetch;
};

// The one place that calls the URL moniker service. Blocks until the fetch is done or fails.
HRESULT FetchWithMoniker(PingFetch* fetch) {
  ScopedComPtr<IBindCtx> bindContext;
  HRESULT result = CreateBindCtx(0, bindContext.Receive());
  if (FAILED(result)) return result;
  PingBindWatcher* created = new (std::nothrow) PingBindWatcher(fetch);
  if (!created) return E_OUTOFMEMORY;
  ScopedComPtr<IBindStatusCallback> watcher(created);
  result = RegisterBindStatusCallbackFromSystem(bindContext.Get(), watcher.Get(), nullptr, 0);
  if (FAILED(result)) return result;

  ScopedComPtr<IMoniker> moniker;
  result = CreateURLMonikerFromSystem(nullptr, fetch->url, moniker.Receive());
  if (SUCCEEDED(result) && !moniker.Get()) result = E_FAIL;
  if (SUCCEEDED(result)) {
    ScopedComPtr<IStream> stream;
    result = moniker->BindToStorage(bindContext.Get(), nullptr, IID_IStream, stream.ReceiveVoid());
  }
  RevokeBindStatusCallbackFromSystem(bindContext.Get(), watcher.Get());
  return result;
}

DWORD WINAPI FetchPingThread(void* parameter) {
  PingFetch* fetch = static_cast<PingFetch*>(parameter);
  const HRESULT initialized = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  fetch->result = SUCCEEDED(initialized) ? FetchWithMoniker(fetch) : initialized;
  if (SUCCEEDED(initialized)) CoUninitialize();
  ReleaseFetch(fetch);
  return 0;
}

// Fetches the URL on a worker thread and waits for it at most kStatusPingTimeoutMs; a host
// that takes longer is left behind (the thread ends with the fetch or with the process).
bool FetchWithinBound(const char* url) {
  const int wideLength = MultiByteToWideChar(CP_ACP, 0, url, -1, nullptr, 0);
  if (wideLength <= 0) return false;
  PingFetch* fetch = static_cast<PingFetch*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(PingFetch)));
  if (!fetch) return false;
  fetch->references = 1;
  fetch->result = E_FAIL;
  fetch->url = static_cast<WCHAR*>(
      HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(wideLength) * sizeof(WCHAR)));
  if (!fetch->url) {
    ReleaseFetch(fetch);
    return false;
  }
  MultiByteToWideChar(CP_ACP, 0, url, -1, fetch->url, wideLength);

  HoldFetch(fetch);  // the thread's
  ScopedHandle thread(CreateThread(nullptr, 0, FetchPingThread, fetch, 0, nullptr));
  if (!thread.IsValid()) {
    const DWORD error = GetLastError();
    LogMessage(kLogError).Text("Could not start the ping: error ").Unsigned(error);
    ReleaseFetch(fetch);
    ReleaseFetch(fetch);
    return false;
  }
  bool fetched = false;
  if (WaitForSingleObject(thread.Get(), kStatusPingTimeoutMs) == WAIT_OBJECT_0) {
    fetched = SUCCEEDED(fetch->result);
  } else {
    InterlockedExchange(&fetch->abandoned, 1);
    LogMessage(kLogInfo)
        .Text("The ping host did not answer within ")
        .Unsigned(kStatusPingTimeoutMs)
        .Text(" ms; going on without it.");
  }
  ReleaseFetch(fetch);
  return fetched;
}

}  // namespace

const char* PingHost() { return g_testPingHost ? g_testPingHost : TOLLIX_PING_HOST; }

void SetPingHostForTesting(const char* host) { g_testPingHost = host; }

bool AppendPercentEncoded(HeapString* url, const char* text) {
  if (!url) return false;
  static const char kHex[] = "0123456789ABCDEF";
  // Pieces go out in chunks: one append per byte would make a long text quadratic.
  char chunk[256];
  size_t used = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text ? text : ""); *p; ++p) {
    const unsigned char c = *p;
    const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                            c == '.' || c == '_' || c == '~';
    if (used + 3 >= sizeof chunk) {
      if (!url->Append(chunk, static_cast<int>(used))) return false;
      used = 0;
    }
    if (unreserved) {
      chunk[used++] = static_cast<char>(c);
    } else {
      chunk[used++] = '%';
      chunk[used++] = kHex[c >> 4];
      chunk[used++] = kHex[c & 0x0F];
    }
  }
  return used == 0 || url->Append(chunk, static_cast<int>(used));
}

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

bool BuildStatusPingUrl(const char* host, const char* installId, const char* toolbarId, long productVersion,
                        bool selectedInBrowser, const char* state, DWORD timeStamp, HeapString* url) {
  if (!url) return false;
  // The texts go in percent-encoded: an id holding '&', '#', '%' or a blank would otherwise
  // break the request or change its meaning.
  if (!url->Assign("http://") || !url->Append(host ? host : "") || !url->Append("/ins.gif?") ||
      !url->Append("NSBID=") || !AppendPercentEncoded(url, toolbarId) ||
      !url->AppendFormat("&NSB=%ld", productVersion) || !url->Append("&EID=VI2") || !url->Append("&TP=") ||
      !AppendPercentEncoded(url, installId) || !url->Append("&V=") || !AppendPercentEncoded(url, state) ||
      !url->AppendFormat("&SE=%d", selectedInBrowser ? 1 : 0) ||
      !url->AppendFormat("&TS=%lu", static_cast<unsigned long>(timeStamp))) {
    url->Clear();
    return false;
  }
  // Over the text as it is sent, so the host can check it from the request alone.
  const DWORD check = PingCheckValue(url->Text());
  if (!url->AppendFormat("&HC=%lu", static_cast<unsigned long>(check))) {
    url->Clear();
    return false;
  }
  return true;
}

bool SendStatusPing(const char* installId, const char* toolbarId, long productVersion, bool selectedInBrowser,
                    const char* state) {
  DWORD connectionFlags = 0;
  if (!InternetGetConnectedStateFromSystem(&connectionFlags, 0)) {
    LogInfo("Not sending ping, we do not have a connection to internet");
    return false;
  }
  HeapString url;
  if (!BuildStatusPingUrl(PingHost(), installId, toolbarId, productVersion, selectedInBrowser, state, PingTimeStamp(),
                          &url)) {
    return false;
  }
  LogInfo("Sending ping - ", url.Text());
  return FetchWithinBound(url.Text());
}
