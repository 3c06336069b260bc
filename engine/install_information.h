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

}  // namespace brimwell
