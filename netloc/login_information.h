// TCustomLoginInformation and TLoginInformation: where a net install
// location's server is and how to log in to it. The location owns its
// login information; assigning one to another copies the six values.
#pragma once

#include <string>

#include "framework/persistent.h"

namespace brimwell {

class TCustomNetInstallLocation;

enum TInternetProtocol { ipFTP, ipHTTP };
extern const EnumInfo kInternetProtocolInfo;

class TCustomLoginInformation : public TPersistent {
  BRIMWELL_CLASS_INFO()

 public:
  // `location` owns this object (may be nullptr for a free-standing copy).
  explicit TCustomLoginInformation(TCustomNetInstallLocation* location) : location_(location) {}

  bool Anonymous() const { return anonymous_; }
  void SetAnonymous(bool v) { anonymous_ = v; }
  const std::string& Directory() const { return directory_; }
  void SetDirectory(const std::string& v) { directory_ = v; }
  // The server: a host name or address, optionally with ":port" and with
  // "http://", "https://" or "ftp://" before it.
  const std::string& Hostname() const { return hostname_; }
  void SetHostname(const std::string& v) { hostname_ = v; }
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& v) { password_ = v; }
  TInternetProtocol Protocol() const { return protocol_; }
  void SetProtocol(TInternetProtocol v) { protocol_ = v; }
  const std::string& Username() const { return username_; }
  void SetUsername(const std::string& v) { username_ = v; }

  TCustomNetInstallLocation* Location() const { return location_; }

  // Copies the six values of another login information.
  void Assign(const TPersistent& source) override;

 private:
  TCustomNetInstallLocation* location_;
  bool anonymous_ = true;
  std::string directory_;
  std::string hostname_;
  std::string password_;
  TInternetProtocol protocol_ = ipHTTP;
  std::string username_;
};

// The same with its properties published.
class TLoginInformation : public TCustomLoginInformation {
  BRIMWELL_CLASS_INFO()

 public:
  using TCustomLoginInformation::TCustomLoginInformation;
};

}  // namespace brimwell
