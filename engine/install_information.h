// TInstallInformation: who makes the product and what it is called; the
// product name names the uninstall record and appears on the pages.
#pragma once

#include <string>

#include "framework/persistent.h"

namespace brimwell {

class TInstallInformation : public TPersistent {
  BRIMWELL_CLASS_INFO()

 public:
  static constexpr char kDefaultCompanyName[] = "My Company";
  static constexpr char kDefaultProductName[] = "My product";
  static constexpr char kDefaultVersion[] = "1.0";

  const std::string& CompanyName() const { return company_name_; }
  void SetCompanyName(const std::string& name) { company_name_ = name; }
  const std::string& ProductName() const { return product_name_; }
  void SetProductName(const std::string& name) { product_name_ = name; }
  const std::string& Version() const { return version_; }
  void SetVersion(const std::string& version) { version_ = version; }

 private:
  std::string company_name_ = kDefaultCompanyName;
  std::string product_name_ = kDefaultProductName;
  std::string version_ = kDefaultVersion;
};

// TBuildInfo: the settings of build mode (where the distributables are
// written, and the web-distribution and code-signing details).
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
