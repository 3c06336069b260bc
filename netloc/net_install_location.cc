#include "netloc/net_install_location.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>

#include "framework/application.h"
#include "framework/format.h"
#include "netloc/net_location_state.h"
#include "netloc/netloc_errors.h"
#include "netloc/server_address.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

static_assert(kInternetFlagReload + kInternetFlagExistingConnect + kInternetFlagNoCacheWrite == 0xA4000000u);

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// A mirror path part: "/" becomes "-"; characters no Windows name may hold
// are dropped.
std::string CleanForMirror(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '/') {
      out += '-';
    } else if (std::string_view("\"*:;<>?\\|").find(c) == std::string_view::npos) {
      out += c;
    }
  }
  return out;
}

// The content length as the size of the download: a decimal number that
// fits 32 bits, else 0.
std::int32_t SizeFromText(std::string_view text) {
  text = Trim(text);
  if (text.empty() || text.size() > 10) return 0;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
  }
  return value > INT32_MAX ? 0 : static_cast<std::int32_t>(value);
}

std::int32_t Clamp32(std::uint64_t value) {
  return static_cast<std::int32_t>(std::min<std::uint64_t>(value, INT32_MAX));
}

}  // namespace

const ClassInfo& TCustomNetInstallLocation::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TCustomNetInstallLocation>("TCustomNetInstallLocation", &TComponent::StaticClassInfo()).Build();
  return info;
}

const ClassInfo& TNetInstallLocation::StaticClassInfo() {
  using L = TNetInstallLocation;
  static const ClassInfo info =
      ClassBuilder<L>("TNetInstallLocation", &TCustomNetInstallLocation::StaticClassInfo())
          .Creatable()
          .Object("LoginInformation", static_cast<TLoginInformation& (TCustomNetInstallLocation::*)()>(
                                          &L::LoginInformation))
          .Build();
  return info;
}

TCustomNetInstallLocation::TCustomNetInstallLocation(TComponent* owner)
    : TComponent(owner), state_(NetLocationStateOf(owner)), login_(std::make_unique<TLoginInformation>(this)) {
  if (state_ != nullptr) state_->Locations().Add(this);
}

TCustomNetInstallLocation::~TCustomNetInstallLocation() {
  if (state_ != nullptr && state_->Current() == this) state_->SetCurrent(nullptr);
  if (file_ != 0 && library_ != nullptr) library_->CloseHandle(file_).IgnoreError();  // an interrupted download
  Disconnect();
  if (state_ != nullptr) state_->Locations().Remove(this);
}

template <class E>
void TCustomNetInstallLocation::Fail(WinError error, const char* format, const std::string& arg) {
  last_error_ = error;
  std::string text = state_ != nullptr ? state_->Translate(format) : std::string(format);
  if (std::string_view(format).find('%') != std::string_view::npos) text = Format(text, {arg});
  if (state_ == nullptr) throw E(text);
  throw E(state_->Decorate(text, error));
}

void TCustomNetInstallLocation::LoadLibrary() {
  auto plain = [&](const char* format) { return state_ != nullptr ? state_->Translate(format) : std::string(format); };
  Machine* machine = state_ != nullptr ? state_->Services().machine : nullptr;
  if (machine == nullptr) throw ENIL_FailLoadWININET(plain(kFailLoadWininet));
  Internet& library = InternetOf(*machine);
  for (std::string_view name : kInternetEntryPoints) {
    if (!library.HasEntryPoint(name)) {
      // Named without the final A of the ANSI entry points.
      std::string shown(name);
      if (shown.ends_with('A')) shown.pop_back();
      throw ENIL_FailLoadDLLProc(Format(plain(kFailLoadProcedure), {shown}));
    }
  }
  library_ = &library;
  loaded_ = true;
}

void TCustomNetInstallLocation::Connect() {
  if (state_ != nullptr) state_->SetCurrent(this);
  if (!loaded_) LoadLibrary();
  if (session_ == 0) {
    auto session = library_->Open("", kInternetOpenTypePreconfig, 0);
    if (!session.ok()) Fail<ENIL_OpenSession>(session.error(), kCannotOpenInternet);
    session_ = *session;
  }
  const TLoginInformation& login = *login_;
  const bool ftp = login.Protocol() == ipFTP;
  // A connection serves the login it was made with. A relative FTP
  // directory is taken from the login directory: changing it on a
  // connection already moved elsewhere needs a fresh connection too.
  const std::string identity = std::to_string(login.Protocol()) + '\n' + login.Hostname() + '\n' +
                               (login.Anonymous() ? std::string() : login.Username() + '\n' + login.Password());
  if (connection_ != 0 && (identity != connected_as_ || (ftp && !directory_set_.empty() &&
                                                         directory_set_ != ServerDirectory()))) {
    library_->CloseHandle(connection_).IgnoreError();  // the next line makes a new one
    connection_ = 0;
  }
  if (connection_ == 0) {
    if (OnBeforeLogin) OnBeforeLogin(this);
    const ServerAddress address = ParseServerAddress(login.Hostname(), login.Protocol());
    if (address.error != kErrorSuccess) Fail<ENIL_OpenService>(address.error, kCannotConnectToHost, login.Hostname());
    std::optional<std::string> user;
    std::optional<std::string> password;
    if (!login.Anonymous()) {
      user = login.Username();
      password = login.Password();
    } else if (!ftp) {
      user = "";
      password = "";
    }
    auto connection = library_->Connect(session_, address.host, address.port, user, password,
                                        ftp ? kInternetServiceFtp : kInternetServiceHttp,
                                        address.secure ? kInternetFlagSecure : 0);
    if (!connection.ok()) Fail<ENIL_OpenService>(connection.error(), kCannotConnectToHost, login.Hostname());
    connection_ = *connection;
    connected_as_ = identity;
    directory_set_.clear();
    if (OnAfterLogin) OnAfterLogin(this);
  }
  if (ftp) SetDirectory();
}

void TCustomNetInstallLocation::SetDirectory() {
  // Set once per connection: a relative directory set again would be taken
  // from the directory it names.
  const std::string directory = ServerDirectory();
  if (directory_set_ == directory) return;
  WinStatus status = library_->FtpSetCurrentDirectory(connection_, directory);
  if (!status.ok()) Fail<ENIL_FTPSetDir>(status.error(), kCannotSetDirectory, directory);
  directory_set_ = directory;
}

void TCustomNetInstallLocation::Disconnect() {
  if (library_ == nullptr) return;
  if (connection_ != 0 && library_->CloseHandle(connection_).ok()) {
    connection_ = 0;
    directory_set_.clear();
  }
  if (session_ != 0 && library_->CloseHandle(session_).ok()) session_ = 0;
}

std::string TCustomNetInstallLocation::ServerDirectory() const {
  const std::string& directory = login_->Directory();
  if (Trim(directory).empty()) return "/";
  std::string form = directory;
  std::replace(form.begin(), form.end(), '\\', '/');
  return form;
}

std::string TCustomNetInstallLocation::HttpObject(const std::string& remote_name) const {
  if (Trim(login_->Directory()).empty()) return "/" + remote_name;
  std::string directory = ServerDirectory();
  if (!directory.ends_with('/')) directory += '/';
  return directory + remote_name;
}

std::string TCustomNetInstallLocation::Url(const std::string& remote_name) const {
  const bool ftp = login_->Protocol() == ipFTP;
  std::string path = ftp ? ServerDirectory() : HttpObject(remote_name);
  if (ftp) path += (path.ends_with('/') ? "" : "/") + remote_name;
  std::string host = login_->Hostname();
  if (host.find("://") == std::string::npos) host = (ftp ? "ftp://" : "http://") + host;
  if (host.ends_with('/')) host.pop_back();
  return host + (path.starts_with('/') ? "" : "/") + path;
}

std::string TCustomNetInstallLocation::RelativeMirrorPath() const {
  const std::string& directory = login_->Directory();
  const std::string last = Trim(directory).empty()
                               ? std::string(login_->Protocol() == ipFTP ? kFtpRootDirectory : kHttpRootDirectory)
                               : CleanForMirror(directory);
  return CleanForMirror(login_->Hostname()) + "\\" + last;
}

bool TCustomNetInstallLocation::IsFilledIn(const TCustomLoginInformation& login) {
  // Without a server nothing can be fetched, whatever the credentials.
  return !Trim(login.Hostname()).empty();
}

// One download into a temporary file beside the local path: removed unless
// the download completes, renamed to the local path when it does.
class TCustomNetInstallLocation::Download {
 public:
  // `total` counts the bytes received, also when the download fails.
  Download(TCustomNetInstallLocation& location, FileSystem& files, std::uint64_t& total)
      : location_(location), files_(files), total_(total) {}
  Download(const Download&) = delete;
  Download& operator=(const Download&) = delete;
  ~Download() {
    file_.reset();
    if (!temp_path_.empty()) files_.DeleteFile(temp_path_).IgnoreError();  // an incomplete download
  }

  // Returns whether the user cancelled.
  bool Run() {
    TCustomNetInstallLocation& l = location_;
    Internet& net = *l.library_;
    const bool ftp = l.login_->Protocol() == ipFTP;
    const std::string& remote = l.remote_name_;
    std::int32_t size = 0;
    bool text_answer = true;
    if (ftp) {
      // The server's size of the file; what can be read at once stands in
      // when the server gives none.
      if (auto ftp_size = net.FtpGetFileSize(l.file_); ftp_size.ok()) {
        size = Clamp32(*ftp_size);
      } else {
        auto available = net.QueryDataAvailable(l.file_);
        if (!available.ok()) l.Fail<ENIL_FailDataQuery>(available.error(), kCouldNotQueryFile, remote);
        size = Clamp32(*available);
      }
    } else {
      // An error status is a missing file (or an unreadable one), whatever
      // page the server sends with it. No internet call failed: no error
      // code goes with these.
      if (auto status = net.HttpQueryInfo(l.file_, kHttpQueryStatusCode); status.ok()) {
        const int code = SizeFromText(*status);
        if (code == 404 || code == 410) l.Fail<ENIL_FileNotFound>(kErrorSuccess, kCouldNotFindFile, remote);
        if (code >= 300) l.Fail<ENIL_ReadFile>(kErrorSuccess, kCouldNotReadFile, remote);
      }
      const auto length = net.HttpQueryInfo(l.file_, kHttpQueryContentLength);
      if (!length.ok() && length.error() != kErrorHttpHeaderNotFound) {
        l.Fail<ENIL_FailDataQuery>(length.error(), kCouldNotQueryFile, remote);
      }
      if (length.ok()) {
        // Windows's buffer cannot take a longer value.
        if (length.value().size() >= kContentLengthBuffer) {
          l.Fail<ENIL_FailDataQuery>(kErrorInsufficientBuffer, kCouldNotQueryFile, remote);
        }
        size = SizeFromText(length.value());
      }
      if (auto type = net.HttpQueryInfo(l.file_, kHttpQueryContentType); type.ok()) {
        std::string t = *type;
        std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return std::tolower(c); });
        text_answer = Trim(t).empty() || Trim(t).starts_with("text/");
      }
    }
    Create();
    std::array<std::uint8_t, kDownloadBlockSize> block{};
    std::size_t got = Read(block.data(), block.size());
    if (!ftp && text_answer) {
      // A server that answers a missing file with a page and a good status:
      // its first characters say 404. Only text answers are searched, so an
      // archive whose first bytes hold "404" is not refused.
      std::string probe(reinterpret_cast<const char*>(block.data()), std::min(got, kNotFoundProbeLength));
      std::transform(probe.begin(), probe.end(), probe.begin(), [](unsigned char c) { return std::toupper(c); });
      if (probe.find("404") != std::string::npos) l.Fail<ENIL_FileNotFound>(kErrorSuccess, kCouldNotFindFile, remote);
    }
    const NetLocationServices& services = l.state_->Services();
    while (got > 0) {
      total_ += got;
      const auto bytes = static_cast<std::int32_t>(got);
      if (l.OnDataReceived) l.OnDataReceived(&l, remote, bytes, Clamp32(total_), size, block.data());
      if (l.data_hook_) l.data_hook_(&l, remote, bytes, Clamp32(total_), size, block.data());
      if (services.application != nullptr) services.application->ProcessMessages();
      if (l.state_->DownloadCancelled()) return true;  // this block is not written
      IoResult written = file_->Write(block.data(), got);
      if (!written.ok() || written.bytes != got) WriteFailed();
      got = Read(block.data(), block.size());
    }
    if (total_ < 1) l.Fail<ENIL_FileNotFound>(kErrorSuccess, kCouldNotFindFile, remote);
    if (!file_->Flush().ok()) WriteFailed();
    file_.reset();
    if (!files_.MoveFileEx(temp_path_, l.local_path_, kMoveReplaceExisting).ok()) WriteFailed();
    temp_path_.clear();
    return false;
  }

 private:
  void Create() {
    const std::string dir = ExtractFileDir(location_.local_path_);
    auto temp = files_.GetTempFileName(dir.empty() ? "." : dir, "dl", 0);
    if (!temp.ok()) WriteFailed();
    temp_path_ = *temp;
    auto file = files_.Open(temp_path_, FileAccess::kWrite, kShareNone, FileDisposition::kCreateAlways);
    if (!file.ok()) WriteFailed();
    file_ = std::move(*file);
  }

  std::size_t Read(std::uint8_t* buffer, std::size_t size) {
    auto got = location_.library_->ReadFile(location_.file_, buffer, size);
    if (!got.ok()) location_.Fail<ENIL_ReadFile>(got.error(), kCouldNotReadFile, location_.remote_name_);
    return *got;
  }

  [[noreturn]] void WriteFailed() {
    const NetLocationState* state = location_.state_;
    throw ENIL_WriteDestFile(Format(state->Translate(kCouldNotWriteDest), {location_.Name(), location_.local_path_}));
  }

  TCustomNetInstallLocation& location_;
  FileSystem& files_;
  std::string temp_path_;
  std::unique_ptr<File> file_;
  std::uint64_t& total_;
};

void TCustomNetInstallLocation::GetFile(const std::string& remote_name, const std::string& local_path) {
  Connect();
  remote_name_ = remote_name;
  local_path_ = local_path;
  if (OnBeforeDownload) OnBeforeDownload(this);
  const auto started = std::chrono::steady_clock::now();
  const std::string url = Url(remote_name);
  auto log = [&](std::uint64_t bytes, std::string_view result) {
    const NetLocationServices& services = state_->Services();
    if (!services.log) return;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    char time[32];
    std::snprintf(time, sizeof time, "%.3fs", seconds);
    services.log(url + " bytes=" + std::to_string(bytes) + " time=" + time + " " + std::string(result));
  };

  bool cancelled = false;
  std::uint64_t bytes = 0;
  try {
    if (login_->Protocol() == ipFTP) {
      auto file = library_->FtpOpenFile(connection_, remote_name, kGenericRead, kFtpTransferTypeBinary);
      if (!file.ok()) Fail<ENIL_FTPOpenFile>(file.error(), kCannotOpenFileOnServer, remote_name);
      file_ = *file;
    } else {
      auto request = library_->HttpOpenRequest(connection_, "GET", HttpObject(remote_name),
                                               kInternetFlagReload | kInternetFlagExistingConnect |
                                                   kInternetFlagNoCacheWrite);
      if (!request.ok()) Fail<ENIL_HTTPOpenFile>(request.error(), kCannotOpenFileOnServer, remote_name);
      file_ = *request;
      WinStatus sent = library_->HttpSendRequest(file_, kHttpRequestHeaders);
      if (!sent.ok()) {
        library_->CloseHandle(file_).IgnoreError();  // the send failure is what is reported
        file_ = 0;
        Fail<ENIL_HTTPSendRequest>(sent.error(), kCannotSendRequest, remote_name);
      }
    }
    {
      Download download(*this, state_->Services().machine->GetFileSystem(), bytes);
      struct CloseFile {
        TCustomNetInstallLocation& l;
        ~CloseFile() {
          // Reached on failure only: the normal path closes and checks.
          if (l.file_ != 0) l.library_->CloseHandle(l.file_).IgnoreError();
          l.file_ = 0;
        }
      } close_on_failure{*this};
      cancelled = download.Run();
      WinStatus closed = library_->CloseHandle(file_);
      file_ = 0;
      if (!closed.ok()) Fail<ENIL_FTPCloseFile>(closed.error(), kCannotCloseFile, remote_name);
    }
  } catch (const Exception& e) {
    // The log records the failure; the caller reports it.
    log(bytes, std::string("failed: ") + e.what());
    throw;
  }
  log(bytes, cancelled ? "cancelled" : "ok");
  if (OnAfterDownload) OnAfterDownload(this, state_->DownloadCancelled());
}

}  // namespace brimwell
