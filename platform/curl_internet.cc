// The internet service over libcurl. Each open file (an FTP download or an
// HTTP request) is one easy handle; every connection owns a multi handle
// whose connection cache lets its transfers reuse the server connection
// (one login per FTP connection). Reads are pulls: a read drives the
// transfer until the bytes asked for have arrived, the transfer has ended
// or the time-out has passed without progress.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/internet.h"
#include "platform/internet_replies.h"
#include "platform/machine.h"

namespace brimwell {
namespace {

using Clock = std::chrono::steady_clock;

// The entry points of the Windows library this service stands for.
constexpr std::string_view kEntryPoints[] = {
    "InternetGetLastResponseInfoA", "InternetOpenA",  "InternetConnectA",   "FtpSetCurrentDirectoryA",
    "InternetCloseHandle",          "InternetQueryDataAvailable", "InternetReadFile", "FtpOpenFileA",
    "HttpOpenRequestA",             "HttpSendRequestA",           "HttpQueryInfoA",   "FtpGetFileSize",
};

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The WinINet code standing for a libcurl result; `detail` is libcurl's
// error text, which tells certificate failures apart.
WinError WinErrorFromCurl(CURLcode code, std::string_view detail) {
  switch (code) {
    case CURLE_OK:
      return kErrorSuccess;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return kErrorInternetUnrecognizedScheme;
    case CURLE_URL_MALFORMAT:
      return kErrorInternetInvalidUrl;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
      return kErrorInternetNameNotResolved;
    case CURLE_COULDNT_CONNECT:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_ACCEPT_FAILED:
      return kErrorInternetCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_FTP_ACCEPT_TIMEOUT:
      return kErrorInternetTimeout;
    case CURLE_LOGIN_DENIED:
      return kErrorInternetLoginFailure;
    // The server refused a command; its reply says why (a missing file or
    // directory, no permission).
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_FTP_COULDNT_SET_TYPE:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_QUOTE_ERROR:
      return kErrorInternetExtendedError;
    case CURLE_PARTIAL_FILE:
      return kErrorInternetConnectionAborted;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
      return kErrorInternetConnectionReset;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_GOT_NOTHING:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_TOO_MANY_REDIRECTS:
    case CURLE_HTTP2:
      return kErrorHttpInvalidServerResponse;
    case CURLE_PEER_FAILED_VERIFICATION:
      if (detail.find("subject name") != std::string_view::npos ||
          detail.find("does not match") != std::string_view::npos) {
        return kErrorInternetSecCertCnInvalid;
      }
      if (detail.find("expired") != std::string_view::npos) return kErrorInternetSecCertDateInvalid;
      return kErrorInternetInvalidCa;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_USE_SSL_FAILED:
      return kErrorInternetSecurityChannelError;
    case CURLE_OUT_OF_MEMORY:
      return kErrorNotEnoughMemory;
    case CURLE_ABORTED_BY_CALLBACK:
      return kErrorInternetOperationCancelled;
    default:
      return kErrorInternetInternalError;
  }
}

// Percent-encodes everything but unreserved characters and, when
// `keep_slash`, the path separator.
std::string EncodePath(std::string_view text, bool keep_slash) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~' || (keep_slash && c == '/')) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// A host name or address a URL can carry: no blanks, controls, slashes,
// credentials or ports (the port is a separate argument).
bool IsUsableHost(std::string_view host) {
  if (host.empty() || host.size() > 253) return false;
  const bool ipv6 = host.find(':') != std::string_view::npos;
  for (unsigned char c : host) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                    c == '.' || c == '_' || (ipv6 && (c == ':' || c == '%'));
    if (!ok) return false;
  }
  return true;
}

struct MultiDeleter {
  void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
using MultiPtr = std::unique_ptr<CURLM, MultiDeleter>;

class CurlInternet final : public Internet {
 public:
  explicit CurlInternet(InternetOptions options) : options_(std::move(options)) { InitCurlOnce(); }
  ~CurlInternet() override {
    // Transfers first: they are removed from their connections' multi handles.
    transfers_.clear();
    connections_.clear();
  }

  bool HasEntryPoint(std::string_view name) override {
    return std::find(std::begin(kEntryPoints), std::end(kEntryPoints), name) != std::end(kEntryPoints);
  }

  WinResult<InternetHandle> Open(std::string_view agent, std::uint32_t, std::uint32_t) override {
    const InternetHandle h = NewHandle();
    sessions_[h] = Session{std::string(agent)};
    return h;
  }

  WinResult<InternetHandle> Connect(InternetHandle session, std::string_view server, std::uint16_t port,
                                    const std::optional<std::string>& user,
                                    const std::optional<std::string>& password, std::uint32_t service,
                                    std::uint32_t flags) override {
    StartOperation();
    auto s = sessions_.find(session);
    if (s == sessions_.end()) return WinResult<InternetHandle>::Error(Kind(session));
    if (service != kInternetServiceFtp && service != kInternetServiceHttp) {
      return WinResult<InternetHandle>::Error(kErrorInternetInvalidOperation);
    }
    if (!IsUsableHost(server)) return WinResult<InternetHandle>::Error(kErrorInternetNameNotResolved);
    auto c = std::make_unique<Connection>();
    c->session = session;
    c->agent = s->second.agent;
    c->ftp = service == kInternetServiceFtp;
    c->secure = (flags & kInternetFlagSecure) != 0;
    if (c->ftp && c->secure) return WinResult<InternetHandle>::Error(kErrorInternetUnrecognizedScheme);
    const std::string host = server.find(':') != std::string_view::npos ? "[" + std::string(server) + "]"
                                                                         : std::string(server);
    const std::uint16_t default_port = c->ftp ? 21 : (c->secure ? 443 : 80);
    c->base_url = std::string(c->ftp ? "ftp://" : (c->secure ? "https://" : "http://")) + host + ":" +
                  std::to_string(port == kInternetInvalidPortNumber ? default_port : port);
    c->user = user;
    c->password = password;
    c->multi.reset(curl_multi_init());
    if (!c->multi) return WinResult<InternetHandle>::Error(kErrorNotEnoughMemory);
    if (c->ftp) {
      // Windows logs in to an FTP server here; so does this: a transfer
      // that only logs in leaves the session in the connection's cache.
      Transfer probe(*this, *c, c->base_url + "/", /*nobody=*/true);
      Pump(probe, [] { return false; });
      if (probe.result != CURLE_OK) return WinResult<InternetHandle>::Error(probe.Error());
    }
    const InternetHandle h = NewHandle();
    connections_[h] = std::move(c);
    return h;
  }

  WinStatus FtpSetCurrentDirectory(InternetHandle connection, std::string_view directory) override {
    StartOperation();
    Connection* c = FindConnection(connection);
    if (c == nullptr) return WinStatus::Error(Kind(connection));
    if (!c->ftp) return WinStatus::Error(kErrorInternetIncorrectHandleType);
    std::vector<std::string> parts = directory.starts_with('/') ? std::vector<std::string>{} : c->directory;
    const bool absolute = directory.starts_with('/') || c->absolute;
    std::size_t start = 0;
    while (start <= directory.size()) {
      std::size_t end = directory.find('/', start);
      if (end == std::string_view::npos) end = directory.size();
      const std::string_view part = directory.substr(start, end - start);
      if (part == "..") {
        if (!parts.empty() && parts.back() != "..") {
          parts.pop_back();
        } else if (!absolute) {
          parts.emplace_back(part);
        }
      } else if (!part.empty() && part != ".") {
        parts.emplace_back(part);
      }
      start = end + 1;
    }
    // The server must accept the directory now, as on Windows.
    Transfer probe(*this, *c, DirectoryUrl(*c, parts, absolute), /*nobody=*/true);
    Pump(probe, [] { return false; });
    if (probe.result != CURLE_OK) return WinStatus::Error(probe.Error());
    c->directory = std::move(parts);
    c->absolute = absolute;
    return WinStatus::Ok();
  }

  WinResult<InternetHandle> FtpOpenFile(InternetHandle connection, std::string_view name, std::uint32_t,
                                        std::uint32_t) override {
    StartOperation();
    Connection* c = FindConnection(connection);
    if (c == nullptr) return WinResult<InternetHandle>::Error(Kind(connection));
    if (!c->ftp) return WinResult<InternetHandle>::Error(kErrorInternetIncorrectHandleType);
    for (const auto& [handle, t] : transfers_) {
      if (t->connection == c) return WinResult<InternetHandle>::Error(kErrorFtpTransferInProgress);
    }
    auto t = std::make_unique<Transfer>(*this, *c, DirectoryUrl(*c, c->directory, c->absolute) +
                                                       EncodePath(name, false),
                                        /*nobody=*/false);
    t->Start();
    // Windows answers once the server has accepted the download.
    Pump(*t, [&] { return t->Buffered() > 0; });
    if (t->done && t->result != CURLE_OK) return WinResult<InternetHandle>::Error(t->Error());
    const InternetHandle h = NewHandle();
    transfers_[h] = std::move(t);
    return h;
  }

  WinResult<std::uint64_t> FtpGetFileSize(InternetHandle file) override {
    Transfer* t = FindTransfer(file);
    if (t == nullptr) return WinResult<std::uint64_t>::Error(Kind(file));
    if (t->http) return WinResult<std::uint64_t>::Error(kErrorInternetIncorrectHandleType);
    curl_off_t size = -1;
    if (curl_easy_getinfo(t->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size) != CURLE_OK || size < 0) {
      return WinResult<std::uint64_t>::Error(kErrorInternetExtendedError);
    }
    return static_cast<std::uint64_t>(size);
  }

  WinResult<InternetHandle> HttpOpenRequest(InternetHandle connection, std::string_view verb,
                                            std::string_view object, std::uint32_t flags) override {
    Connection* c = FindConnection(connection);
    if (c == nullptr) return WinResult<InternetHandle>::Error(Kind(connection));
    if (c->ftp) return WinResult<InternetHandle>::Error(kErrorInternetIncorrectHandleType);
    if (verb != "GET") return WinResult<InternetHandle>::Error(kErrorInternetInvalidOperation);
    while (object.starts_with('/')) object.remove_prefix(1);
    auto t = std::make_unique<Transfer>(*this, *c, c->base_url + "/" + EncodePath(object, true),
                                        /*nobody=*/false);
    if (flags & kInternetFlagReload) t->AddHeader("Cache-Control: no-cache");
    const InternetHandle h = NewHandle();
    transfers_[h] = std::move(t);
    return h;
  }

  WinStatus HttpSendRequest(InternetHandle request, std::string_view headers) override {
    StartOperation();
    Transfer* t = FindTransfer(request);
    if (t == nullptr) return WinStatus::Error(Kind(request));
    if (!t->http) return WinStatus::Error(kErrorInternetIncorrectHandleType);
    if (t->started) return WinStatus::Error(kErrorInternetIncorrectHandleState);
    while (!headers.empty()) {
      std::size_t end = headers.find("\r\n");
      if (end == std::string_view::npos) end = headers.size();
      if (end > 0) t->AddHeader(std::string(headers.substr(0, end)));
      headers.remove_prefix(std::min(headers.size(), end + 2));
    }
    t->Start();
    // The head is complete once the first byte of the body (of the last
    // answer, after redirections) arrives or the transfer ends.
    Pump(*t, [&] { return t->Buffered() > 0; });
    if (t->done && t->result != CURLE_OK && t->head.StatusCode() == 0) return WinStatus::Error(t->Error());
    t->sent = true;
    return WinStatus::Ok();
  }

  WinResult<std::string> HttpQueryInfo(InternetHandle request, std::uint32_t info_level) override {
    Transfer* t = FindTransfer(request);
    if (t == nullptr) return WinResult<std::string>::Error(Kind(request));
    if (!t->http) return WinResult<std::string>::Error(kErrorInternetIncorrectHandleType);
    if (!t->sent) return WinResult<std::string>::Error(kErrorInternetIncorrectHandleState);
    std::optional<std::string> value;
    switch (info_level) {
      case kHttpQueryContentType:
        value = t->head.Field("Content-Type");
        break;
      case kHttpQueryContentLength:
        value = t->head.Field("Content-Length");
        break;
      case kHttpQueryStatusCode:
        if (t->head.StatusCode() != 0) value = std::to_string(t->head.StatusCode());
        break;
      default:
        return WinResult<std::string>::Error(kErrorHttpInvalidQueryRequest);
    }
    if (!value) return WinResult<std::string>::Error(kErrorHttpHeaderNotFound);
    return *value;
  }

  WinResult<std::uint32_t> QueryDataAvailable(InternetHandle file) override {
    Transfer* t = FindTransfer(file);
    if (t == nullptr) return WinResult<std::uint32_t>::Error(Kind(file));
    if (!t->started) return WinResult<std::uint32_t>::Error(kErrorInternetIncorrectHandleState);
    Pump(*t, [&] { return t->Buffered() > 0; });
    if (t->Buffered() == 0 && t->done && t->result != CURLE_OK) {
      return WinResult<std::uint32_t>::Error(t->Error());
    }
    return static_cast<std::uint32_t>(std::min<std::size_t>(t->Buffered(), UINT32_MAX));
  }

  WinResult<std::size_t> ReadFile(InternetHandle file, void* buffer, std::size_t size) override {
    Transfer* t = FindTransfer(file);
    if (t == nullptr) return WinResult<std::size_t>::Error(Kind(file));
    if (!t->started) return WinResult<std::size_t>::Error(kErrorInternetIncorrectHandleState);
    auto* out = static_cast<char*>(buffer);
    std::size_t got = 0;
    while (got < size) {
      if (t->Buffered() > 0) {
        got += t->Take(out + got, size - got);
        continue;
      }
      if (t->done) break;
      Pump(*t, [&] { return t->Buffered() > 0; });
    }
    // The bytes that arrived come first; the failure shows on the next read.
    if (got == 0 && t->done && t->result != CURLE_OK) return WinResult<std::size_t>::Error(t->Error());
    return got;
  }

  WinStatus CloseHandle(InternetHandle handle) override {
    if (transfers_.erase(handle) > 0) return WinStatus::Ok();
    if (auto c = connections_.find(handle); c != connections_.end()) {
      CloseChildren(c->second.get());
      connections_.erase(c);
      return WinStatus::Ok();
    }
    if (sessions_.erase(handle) > 0) {
      for (auto c = connections_.begin(); c != connections_.end();) {
        if (c->second->session == handle) {
          CloseChildren(c->second.get());
          c = connections_.erase(c);
        } else {
          ++c;
        }
      }
      return WinStatus::Ok();
    }
    return WinStatus::Error(kErrorInvalidHandle);
  }

  WinResult<std::string> GetLastResponseInfo() override { return last_response_; }

 private:
  struct Session {
    std::string agent;
  };

  struct Connection {
    InternetHandle session = 0;
    std::string agent;
    bool ftp = false;
    bool secure = false;
    std::string base_url;  // scheme, host and port
    std::optional<std::string> user;
    std::optional<std::string> password;
    MultiPtr multi;
    std::vector<std::string> directory;  // FTP current directory
    bool absolute = false;               // ... from the root, else from the login directory
  };

  // One download: an easy handle on its connection's multi handle and the
  // bytes received but not yet read.
  struct Transfer {
    Transfer(CurlInternet& owner, Connection& c, std::string url_, bool nobody)
        : service(owner), connection(&c), http(!c.ftp), url(std::move(url_)) {
      easy = curl_easy_init();
      error[0] = '\0';
      if (easy == nullptr) return;
      const InternetOptions& o = owner.options_;
      const long seconds = std::max<long>(1, static_cast<long>((o.timeout.count() + 999) / 1000));
      curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
      curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
      curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, error);
      curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(o.timeout.count()));
      curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
      curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, seconds);
      curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, seconds);
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::OnData);
      curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
      curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
      curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
      curl_easy_setopt(easy, CURLOPT_NOBODY, nobody ? 1L : 0L);
      if (!c.agent.empty()) curl_easy_setopt(easy, CURLOPT_USERAGENT, c.agent.c_str());
      if (c.user) curl_easy_setopt(easy, CURLOPT_USERNAME, c.user->c_str());
      if (c.password) curl_easy_setopt(easy, CURLOPT_PASSWORD, c.password->c_str());
      if (http) {
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
        // Credentials go only to a server that asks for them.
        if (c.user && !c.user->empty()) curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!o.ca_file.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, o.ca_file.c_str());
      } else {
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "ftp");
        curl_easy_setopt(easy, CURLOPT_TRANSFERTEXT, 0L);
      }
      if (nobody) Start();
    }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;
    ~Transfer() {
      if (easy == nullptr) return;
      if (started) curl_multi_remove_handle(connection->multi.get(), easy);
      curl_easy_cleanup(easy);
      curl_slist_free_all(headers);
    }

    void AddHeader(const std::string& line) { headers = curl_slist_append(headers, line.c_str()); }

    void Start() {
      started = true;
      last_progress = Clock::now();
      if (easy == nullptr) {
        done = true;
        result = CURLE_OUT_OF_MEMORY;
        return;
      }
      if (headers != nullptr) curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
      if (curl_multi_add_handle(connection->multi.get(), easy) != CURLM_OK) {
        done = true;
        result = CURLE_OUT_OF_MEMORY;
      }
    }

    std::size_t Buffered() const { return data.size() - consumed; }
    std::size_t Take(char* out, std::size_t n) {
      n = std::min(n, Buffered());
      std::memcpy(out, data.data() + consumed, n);
      consumed += n;
      if (consumed == data.size()) {
        data.clear();
        consumed = 0;
      }
      return n;
    }
    WinError Error() const { return WinErrorFromCurl(result, error); }

    static std::size_t OnData(char* bytes, std::size_t size, std::size_t count, void* self) {
      auto* t = static_cast<Transfer*>(self);
      t->data.append(bytes, size * count);
      t->last_progress = Clock::now();
      return size * count;
    }
    static std::size_t OnHeader(char* bytes, std::size_t size, std::size_t count, void* self) {
      auto* t = static_cast<Transfer*>(self);
      const std::string_view line(bytes, size * count);
      t->last_progress = Clock::now();
      if (t->http) {
        t->head.AddLine(line);
        t->service.last_response_ = t->head.StatusLine();
      } else {
        t->service.replies_.AddLine(line);
        t->service.last_response_ = t->service.replies_.LastReply();
      }
      return size * count;
    }

    CurlInternet& service;
    Connection* connection;
    bool http;
    std::string url;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    char error[CURL_ERROR_SIZE];
    bool started = false;
    bool sent = false;  // HTTP: the request was sent and the head read
    bool done = false;
    CURLcode result = CURLE_OK;
    std::string data;
    std::size_t consumed = 0;
    HttpAnswerHead head;
    Clock::time_point last_progress;
  };

  // Drives the transfers of `t`'s connection until `ready` holds or `t`
  // ends. A transfer without progress for longer than the time-out (and
  // libcurl's own limits) ends as timed out, so no wait is unbounded.
  template <class Ready>
  void Pump(Transfer& t, Ready ready) {
    CURLM* multi = t.connection->multi.get();
    const auto limit = options_.timeout + std::chrono::seconds(2);
    while (!t.done && !ready()) {
      int running = 0;
      if (curl_multi_perform(multi, &running) != CURLM_OK) {
        t.done = true;
        t.result = CURLE_OUT_OF_MEMORY;
        break;
      }
      int queued = 0;
      while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
        if (msg->msg != CURLMSG_DONE) continue;
        Transfer* finished = nullptr;
        curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&finished));
        if (finished != nullptr) {
          finished->done = true;
          finished->result = msg->data.result;
        }
      }
      if (t.done || ready()) break;
      if (Clock::now() - t.last_progress > limit) {
        t.done = true;
        t.result = CURLE_OPERATION_TIMEDOUT;
        break;
      }
      curl_multi_poll(multi, nullptr, 0, 100, nullptr);
    }
  }

  std::string DirectoryUrl(const Connection& c, const std::vector<std::string>& parts, bool absolute) const {
    // "%2F" as the first component makes the path start at the root.
    std::string url = c.base_url + (absolute ? "/%2F/" : "/");
    for (const std::string& p : parts) url += EncodePath(p, false) + "/";
    return url;
  }

  // A new operation: the answers of earlier ones no longer apply.
  void StartOperation() {
    replies_.Clear();
    last_response_.clear();
  }

  void CloseChildren(const Connection* c) {
    for (auto t = transfers_.begin(); t != transfers_.end();) {
      t = t->second->connection == c ? transfers_.erase(t) : std::next(t);
    }
  }

  InternetHandle NewHandle() { return ++next_handle_; }
  Connection* FindConnection(InternetHandle h) {
    auto it = connections_.find(h);
    return it == connections_.end() ? nullptr : it->second.get();
  }
  Transfer* FindTransfer(InternetHandle h) {
    auto it = transfers_.find(h);
    return it == transfers_.end() ? nullptr : it->second.get();
  }
  // The error for a handle used with the wrong call: another kind of open
  // handle, or none.
  WinError Kind(InternetHandle h) const {
    return sessions_.count(h) + connections_.count(h) + transfers_.count(h) > 0 ? kErrorInternetIncorrectHandleType
                                                                                 : kErrorInvalidHandle;
  }

  static constexpr WinError kErrorInternetInvalidOperation = 12016;
  static constexpr WinError kErrorFtpTransferInProgress = 12110;
  static constexpr WinError kErrorHttpInvalidQueryRequest = 12154;

  InternetOptions options_;
  InternetHandle next_handle_ = 0;
  std::map<InternetHandle, Session> sessions_;
  std::map<InternetHandle, std::unique_ptr<Connection>> connections_;
  std::map<InternetHandle, std::unique_ptr<Transfer>> transfers_;
  FtpReplyReader replies_;
  std::string last_response_;
};

}  // namespace

std::unique_ptr<Internet> MakeCurlInternet(InternetOptions options) {
  return std::make_unique<CurlInternet>(std::move(options));
}

Internet& InternetOf(Machine& machine) {
  if (Internet* found = machine.Find<Internet>()) return *found;
  machine.Attach<Internet>(MakeCurlInternet());
  return *machine.Find<Internet>();
}

}  // namespace brimwell
