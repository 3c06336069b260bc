#include "netloc/login_information.h"

namespace brimwell {

const EnumInfo kInternetProtocolInfo{"TInternetProtocol", {"ipFTP", "ipHTTP"}};

const ClassInfo& TCustomLoginInformation::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TCustomLoginInformation>("TCustomLoginInformation", nullptr).Build();
  return info;
}

const ClassInfo& TLoginInformation::StaticClassInfo() {
  using L = TLoginInformation;
  static const ClassInfo info =
      ClassBuilder<L>("TLoginInformation", &TCustomLoginInformation::StaticClassInfo())
          .Property("Anonymous", &L::Anonymous, &L::SetAnonymous, true)
          .Property("Directory", &L::Directory, &L::SetDirectory, "")
          .Property("Hostname", &L::Hostname, &L::SetHostname, "")
          .Property("Password", &L::Password, &L::SetPassword, "")
          .Enum("Protocol", kInternetProtocolInfo, &L::Protocol, &L::SetProtocol, ipHTTP)
          .Property("Username", &L::Username, &L::SetUsername, "")
          .Build();
  return info;
}

void TCustomLoginInformation::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TCustomLoginInformation*>(&source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  anonymous_ = other->anonymous_;
  directory_ = other->directory_;
  hostname_ = other->hostname_;
  password_ = other->password_;
  protocol_ = other->protocol_;
  username_ = other->username_;
}

}  // namespace brimwell
