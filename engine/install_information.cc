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

const ClassInfo& TBuildInfo::StaticClassInfo() {
  using B = TBuildInfo;
  static const ClassInfo info =
      ClassBuilder<B>("TBuildInfo", nullptr)
          .Property("AppName", &B::AppName, &B::SetAppName)
          .Property("AppURL", &B::AppURL, &B::SetAppURL)
          .Property("BuildDirectory", &B::BuildDirectory, &B::SetBuildDirectory, kDefaultBuildDirectory)
          .Property("CredentialsFile", &B::CredentialsFile, &B::SetCredentialsFile)
          .Property("OCXName", &B::OCXName, &B::SetOCXName, kDefaultOCXName)
          .Property("PrivateKeyFile", &B::PrivateKeyFile, &B::SetPrivateKeyFile)
          .Property("SignCode", &B::SignCode, &B::SetSignCode, false)
          .Property("URLPath", &B::URLPath, &B::SetURLPath)
          .Build();
  return info;
}

}  // namespace brimwell
