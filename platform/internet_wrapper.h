// An Internet that forwards every call to another one. A test derives from
// it and overrides the call whose answer it needs to change (an entry point
// that is missing, a failing close, a count of connections).
#pragma once

#include "platform/internet.h"

namespace brimwell {

class InternetWrapper : public Internet {
 public:
  // `target` must outlive the wrapper.
  explicit InternetWrapper(Internet& target) : target_(target) {}
  Internet& target() { return target_; }

  bool HasEntryPoint(std::string_view name) override { return target_.HasEntryPoint(name); }
  WinResult<InternetHandle> Open(std::string_view agent, std::uint32_t access_type, std::uint32_t flags) override {
    return target_.Open(agent, access_type, flags);
  }
  WinResult<InternetHandle> Connect(InternetHandle session, std::string_view server, std::uint16_t port,
                                    const std::optional<std::string>& user,
                                    const std::optional<std::string>& password, std::uint32_t service,
                                    std::uint32_t flags) override {
    return target_.Connect(session, server, port, user, password, service, flags);
  }
  WinStatus FtpSetCurrentDirectory(InternetHandle connection, std::string_view directory) override {
    return target_.FtpSetCurrentDirectory(connection, directory);
  }
  WinResult<InternetHandle> FtpOpenFile(InternetHandle connection, std::string_view name, std::uint32_t access,
                                        std::uint32_t flags) override {
    return target_.FtpOpenFile(connection, name, access, flags);
  }
  WinResult<std::uint64_t> FtpGetFileSize(InternetHandle file) override { return target_.FtpGetFileSize(file); }
  WinResult<InternetHandle> HttpOpenRequest(InternetHandle connection, std::string_view verb,
                                            std::string_view object, std::uint32_t flags) override {
    return target_.HttpOpenRequest(connection, verb, object, flags);
  }
  WinStatus HttpSendRequest(InternetHandle request, std::string_view headers) override {
    return target_.HttpSendRequest(request, headers);
  }
  WinResult<std::string> HttpQueryInfo(InternetHandle request, std::uint32_t info_level) override {
    return target_.HttpQueryInfo(request, info_level);
  }
  WinResult<std::uint32_t> QueryDataAvailable(InternetHandle file) override {
    return target_.QueryDataAvailable(file);
  }
  WinResult<std::size_t> ReadFile(InternetHandle file, void* buffer, std::size_t size) override {
    return target_.ReadFile(file, buffer, size);
  }
  WinStatus CloseHandle(InternetHandle handle) override { return target_.CloseHandle(handle); }
  WinResult<std::string> GetLastResponseInfo() override { return target_.GetLastResponseInfo(); }

 private:
  Internet& target_;
};

}  // namespace brimwell
