#include "engine/install_information.h"

namespace brimwell {

const ClassInfo& TInstallInformation::StaticClassInfo() {
  using I = TInstallInformation;
  static const ClassInfo info =
      ClassBuilder<I>("TInstallInformation", nullptr)
          .Property("CompanyName", &I::CompanyName, &I::SetCompanyName, kDefaultCompanyName)
          .Property("ProductName", &I::ProductName, &I::SetProductName, kDefaultProductName)
          .Property("Version", &I::Version, &I::SetVersion, kDefaultVersion)
          .Build();
  return info;
}

}  // namespace brimwell
