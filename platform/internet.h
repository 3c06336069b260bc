// The internet service: the client library the engine fetches files with
// over FTP and HTTP, shaped like the Windows internet client (WinINet). A
// session is opened, a connection to one server is made in it, and files
// are opened on the connection and read block by block; every handle is
// closed by the caller. Failures carry the WinINet error code that the
// Windows library would give, and the server's last answer can be asked for,
// so the engine words its messages as it does on Windows.
//
// Handles are small numbers owned by the service; closing a session or a
// connection does not close the handles made in it (the caller closes them
// first, as on Windows). The service is used from one thread. Every call
// that waits for a server waits at most the service's time-out without
// progress; then it fails with kErrorInternetTimeout.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win_error.h"

namespace brimwell {

class Machine;

using InternetHandle = std::uint32_t;  // 0 never names a handle

// InternetOpen access type, InternetConnect services and default port.
inline constexpr std::uint32_t kInternetOpenTypePreconfig = 0;
inline constexpr std::uint32_t kInternetServiceFtp = 1;
inline constexpr std::uint32_t kInternetServiceHttp = 3;
inline constexpr std::uint16_t kInternetInvalidPortNumber = 0;  // the service's default port

// Flags of InternetConnect, FtpOpenFile and HttpOpenRequest.
inline constexpr std::uint32_t kInternetFlagReload = 0x80000000;
inline constexpr std::uint32_t kInternetFlagExistingConnect = 0x20000000;
inline constexpr std::uint32_t kInternetFlagNoCacheWrite = 0x04000000;
// TLS on the connection (HTTPS; default port 443).
inline constexpr std::uint32_t kInternetFlagSecure = 0x00800000;
inline constexpr std::uint32_t kGenericRead = 0x80000000;
inline constexpr std::uint32_t kFtpTransferTypeBinary = 0x2;

// HttpQueryInfo levels.
inline constexpr std::uint32_t kHttpQueryContentType = 1;
inline constexpr std::uint32_t kHttpQueryContentLength = 5;
inline constexpr std::uint32_t kHttpQueryStatusCode = 19;

// WinINet error codes the service reports.
inline constexpr WinError kErrorInternetTimeout = 12002;
inline constexpr WinError kErrorInternetExtendedError = 12003;  // the server refused; see its answer
inline constexpr WinError kErrorInternetInternalError = 12004;
inline constexpr WinError kErrorInternetInvalidUrl = 12005;
inline constexpr WinError kErrorInternetUnrecognizedScheme = 12006;
inline constexpr WinError kErrorInternetNameNotResolved = 12007;
inline constexpr WinError kErrorInternetLoginFailure = 12015;
inline constexpr WinError kErrorInternetOperationCancelled = 12017;
inline constexpr WinError kErrorInternetIncorrectHandleType = 12018;
inline constexpr WinError kErrorInternetIncorrectHandleState = 12019;
inline constexpr WinError kErrorInternetCannotConnect = 12029;
inline constexpr WinError kErrorInternetConnectionAborted = 12030;
inline constexpr WinError kErrorInternetConnectionReset = 12031;
inline constexpr WinError kErrorInternetSecCertDateInvalid = 12037;
inline constexpr WinError kErrorInternetSecCertCnInvalid = 12038;
inline constexpr WinError kErrorInternetInvalidCa = 12045;
inline constexpr WinError kErrorHttpHeaderNotFound = 12150;
inline constexpr WinError kErrorHttpInvalidServerResponse = 12152;
inline constexpr WinError kErrorInternetSecurityChannelError = 12157;

// The symbolic name of a WinINet (or Windows) error code as the Windows
// headers spell it ("ERROR_INTERNET_NAME_NOT_RESOLVED"), for the codes a
// download can end with; "Unregistered error code" for any other code.
std::string InternetErrorName(WinError code);

class Internet {
 public:
  Internet() = default;
  Internet(const Internet&) = delete;
  Internet& operator=(const Internet&) = delete;
  virtual ~Internet() = default;

  // Whether the library offers the entry point `name` ("InternetOpenA").
  virtual bool HasEntryPoint(std::string_view name) = 0;

  // InternetOpen: a session. `agent` names the program to servers.
  virtual WinResult<InternetHandle> Open(std::string_view agent, std::uint32_t access_type,
                                         std::uint32_t flags) = 0;
  // InternetConnect: a connection to `server` (a host name or address,
  // without scheme or port) on `port` (kInternetInvalidPortNumber: 21 for
  // FTP, 80 for HTTP, 443 with kInternetFlagSecure). An FTP connection
  // logs in at once (nullopt user and password: anonymous); an HTTP
  // connection only remembers the server and the credentials, and any
  // failure to reach it shows at HttpSendRequest.
  virtual WinResult<InternetHandle> Connect(InternetHandle session, std::string_view server,
                                            std::uint16_t port,
                                            const std::optional<std::string>& user,
                                            const std::optional<std::string>& password,
                                            std::uint32_t service, std::uint32_t flags) = 0;
  // FtpSetCurrentDirectory: changes the connection's directory ("/x" from
  // the root, "x" from the current one); kErrorInternetExtendedError when
  // the server refuses.
  virtual WinStatus FtpSetCurrentDirectory(InternetHandle connection, std::string_view directory) = 0;
  // FtpOpenFile: starts the download of `name` in the current directory.
  // Fails when the server refuses it (a missing file).
  virtual WinResult<InternetHandle> FtpOpenFile(InternetHandle connection, std::string_view name,
                                                std::uint32_t access, std::uint32_t flags) = 0;
  // FtpGetFileSize: the size the server gave for an open FTP file.
  virtual WinResult<std::uint64_t> FtpGetFileSize(InternetHandle file) = 0;
  // HttpOpenRequest: a request for `object` (a path below the server's
  // root, with or without a leading slash); nothing is sent yet.
  virtual WinResult<InternetHandle> HttpOpenRequest(InternetHandle connection, std::string_view verb,
                                                    std::string_view object, std::uint32_t flags) = 0;
  // HttpSendRequest: sends the request with the extra `headers` (lines
  // ending in CR LF) and waits for the answer's head. Redirections are
  // followed. An error status is no failure: the caller reads the status.
  virtual WinStatus HttpSendRequest(InternetHandle request, std::string_view headers) = 0;
  // HttpQueryInfo: the text of a header of the answer (one of the
  // kHttpQuery levels); kErrorHttpHeaderNotFound when the answer has none.
  virtual WinResult<std::string> HttpQueryInfo(InternetHandle request, std::uint32_t info_level) = 0;
  // InternetQueryDataAvailable: the bytes that can be read at once.
  virtual WinResult<std::uint32_t> QueryDataAvailable(InternetHandle file) = 0;
  // InternetReadFile: reads into `buffer` until `size` bytes or the end of
  // the file; returns the bytes read, 0 at the end. A transfer that the
  // server cut short fails once the bytes that did arrive have been read.
  virtual WinResult<std::size_t> ReadFile(InternetHandle file, void* buffer, std::size_t size) = 0;
  // InternetCloseHandle: kErrorInvalidHandle for a handle that is not open.
  virtual WinStatus CloseHandle(InternetHandle handle) = 0;
  // InternetGetLastResponseInfo: the last answer a server gave to the
  // latest operation (an FTP reply, lines joined by "\n", or an HTTP
  // status line); empty when the operation got none.
  virtual WinResult<std::string> GetLastResponseInfo() = 0;
};

struct InternetOptions {
  // How long any wait for a server may go without progress.
  std::chrono::milliseconds timeout{std::chrono::seconds(60)};
  // A file of PEM certificates trusted for HTTPS besides the system's
  // authorities (a test's own server); empty: the system's only.
  std::string ca_file;
};

// The service over libcurl. HTTPS certificates and host names are always
// verified.
std::unique_ptr<Internet> MakeCurlInternet(InternetOptions options = {});

// The machine's internet service: the one attached to it, else a libcurl
// service with the default options, attached on first use.
Internet& InternetOf(Machine& machine);

}  // namespace brimwell
