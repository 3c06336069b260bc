// TCustomNetInstallLocation and TNetInstallLocation: the component that
// names the server of a web or network distribution and fetches files from
// it over FTP or HTTP through the machine's internet service. The engine
// asks it for the remote file list and for the archives of the items kept
// on the server; the build lays out the server's content under its
// RelativeMirrorPath.
//
// A download reports every 8192-byte block to OnDataReceived (and to the
// data hook of the item that asked for it), runs the message queue between
// blocks and stops when the download-cancel flag is set. It is written to a
// temporary file beside the local path and renamed to it only when whole,
// so a download that fails or is cancelled leaves no file that looks
// complete (and an older file at the local path stays as it was).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "framework/component.h"
#include "netloc/login_information.h"
#include "platform/internet.h"

namespace brimwell {

class NetLocationState;

// Sender.
using TLoginEvent = std::function<void(TComponent* Sender)>;
// Sender, Aborted.
using TNotifyWithAbortFlag = std::function<void(TComponent* Sender, bool Aborted)>;
// Sender, FileName, Bytes (this block), TotalBytes (so far), FileSize (0
// when the server gave none), Buffer (the block's bytes).
using TDataReceivedEvent =
    std::function<void(TComponent* Sender, const std::string& FileName, std::int32_t Bytes,
                       std::int32_t TotalBytes, std::int32_t FileSize, const std::uint8_t* Buffer)>;

// The bytes read from the server at a time.
inline constexpr std::size_t kDownloadBlockSize = 8192;
// How many leading characters of an HTTP answer are searched for "404".
inline constexpr std::size_t kNotFoundProbeLength = 30;
// Windows's buffer for the content length holds 32 characters.
inline constexpr std::size_t kContentLengthBuffer = 33;
// The context value an FTP file is opened with.
inline constexpr std::uintptr_t kFtpOpenContext = 0x80000000u;
// The request headers of every HTTP download.
inline constexpr char kHttpRequestHeaders[] = "Accept: */*\r\n\r\n";
// The entry points looked up when the library is loaded, in order.
inline constexpr const char* kInternetEntryPoints[] = {
    "InternetGetLastResponseInfoA", "InternetOpenA",       "InternetConnectA",
    "FtpSetCurrentDirectoryA",      "InternetCloseHandle", "InternetQueryDataAvailable",
    "InternetReadFile",             "FtpOpenFileA",        "HttpOpenRequestA",
    "HttpSendRequestA",             "HttpQueryInfoA",      "FtpGetFileSize",
};
// The mirror directory of a location without Directory.
inline constexpr char kFtpRootDirectory[] = "FTP Root directory";
inline constexpr char kHttpRootDirectory[] = "HTTP Root directory";

class TCustomNetInstallLocation : public TComponent {
  BRIMWELL_CLASS_INFO()

 public:
  // Enters the global list of the state of the host that owns it.
  explicit TCustomNetInstallLocation(TComponent* owner);
  // Forgets being the current location, disconnects and leaves the list.
  ~TCustomNetInstallLocation() override;

  TLoginInformation& LoginInformation() { return *login_; }
  const TLoginInformation& LoginInformation() const { return *login_; }
  // Copies the values of `value`.
  void SetLoginInformation(const TCustomLoginInformation& value) { login_->Assign(value); }

  // Downloads `remote_name` from the location's directory to the Windows
  // path `local_path` (replacing it once the download is whole). Returns
  // normally when the user cancelled (nothing is written then). Throws the
  // ENIL family with decorated texts; ENIL_WriteDestFile when the local
  // file cannot be written.
  void GetFile(const std::string& remote_name, const std::string& local_path);
  // Makes sure the library, the session and the connection exist (and, for
  // FTP, that the server's directory is the location's). Throws
  // ENIL_FailLoadWININET, ENIL_FailLoadDLLProc, ENIL_OpenSession,
  // ENIL_OpenService, ENIL_FTPSetDir.
  void Connect();
  // Closes the connection and the session.
  void Disconnect();

  // The relative local directory standing for the location: the cleaned
  // Hostname, "\", and the cleaned Directory or the root directory name.
  std::string RelativeMirrorPath() const;
  // Whether `login` is usable: it names a server.
  static bool IsFilledIn(const TCustomLoginInformation& login);

  // The internet library once loaded; nullptr before.
  Internet* Library() const { return loaded_ ? library_ : nullptr; }
  // The internet error code of the last call that failed.
  WinError LastError() const { return last_error_; }
  bool Connected() const { return connection_ != 0; }

  // The data hook an item sets for the duration of its own download.
  void SetDataHook(TDataReceivedEvent hook) { data_hook_ = std::move(hook); }

  TNotifyWithAbortFlag OnAfterDownload;
  TLoginEvent OnAfterLogin;
  TLoginEvent OnBeforeDownload;
  TLoginEvent OnBeforeLogin;
  TDataReceivedEvent OnDataReceived;

 private:
  class Download;

  void LoadLibrary();
  void SetDirectory();
  std::string ServerDirectory() const;
  std::string HttpObject(const std::string& remote_name) const;
  std::string Url(const std::string& remote_name) const;
  // Records `error` as the last one and throws E with the decorated text of
  // `format` formatted with `arg`.
  template <class E>
  [[noreturn]] void Fail(WinError error, const char* format, const std::string& arg = {});

  NetLocationState* state_;
  std::unique_ptr<TLoginInformation> login_;
  Internet* library_ = nullptr;
  bool loaded_ = false;
  InternetHandle session_ = 0;
  InternetHandle connection_ = 0;
  InternetHandle file_ = 0;
  std::string remote_name_;
  std::string local_path_;
  WinError last_error_ = kErrorSuccess;
  // The FTP directory set on the open connection; empty when none was set.
  std::string directory_set_;
  // The server and credentials the open connection was made with.
  std::string connected_as_;
  TDataReceivedEvent data_hook_;
};

class TNetInstallLocation : public TCustomNetInstallLocation {
  BRIMWELL_CLASS_INFO()

 public:
  using TCustomNetInstallLocation::TCustomNetInstallLocation;
};

}  // namespace brimwell
