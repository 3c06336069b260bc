// TBuildInfo: the settings of build mode.
#pragma once

#include <string>

#include "framework/persistent.h"

namespace brimwell {

// Where the distributables are written, and the web-distribution and
// code-signing details.
class TBuildInfo : public TPersistent {
  BRIMWELL_CLASS_INFO()

 public:
  static constexpr char kDefaultBuildDirectory[] = "c:\\build";
  static constexpr char kDefaultOCXName[] = "bwsetup";

  const std::string& AppName() const { return app_name_; }
  void SetAppName(const std::string& v) { app_name_ = v; }
  const std::string& AppURL() const { return app_url_; }
  void SetAppURL(const std::string& v) { app_url_ = v; }
  const std::string& BuildDirectory() const { return build_directory_; }
  void SetBuildDirectory(const std::string& v) { build_directory_ = v; }
  const std::string& CredentialsFile() const { return credentials_file_; }
  void SetCredentialsFile(const std::string& v) { credentials_file_ = v; }
  const std::string& OCXName() const { return ocx_name_; }
  void SetOCXName(const std::string& v) { ocx_name_ = v; }
  const std::string& PrivateKeyFile() const { return private_key_file_; }
  void SetPrivateKeyFile(const std::string& v) { private_key_file_ = v; }
  bool SignCode() const { return sign_code_; }
  void SetSignCode(bool v) { sign_code_ = v; }
  const std::string& URLPath() const { return url_path_; }
  void SetURLPath(const std::string& v) { url_path_ = v; }

 private:
  std::string app_name_;
  std::string app_url_;
  std::string build_directory_ = kDefaultBuildDirectory;
  std::string credentials_file_;
  std::string ocx_name_ = kDefaultOCXName;
  std::string private_key_file_;
  bool sign_code_ = false;
  std::string url_path_;
};

}  // namespace brimwell
