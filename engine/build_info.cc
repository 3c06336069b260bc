#include "engine/build_info.h"

namespace brimwell {

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
