// Reading a location's Hostname: an optional scheme ("http://", "https://"
// or "ftp://", without case), the host (a name, an address, or an IPv6
// address in brackets), an optional ":port" and an optional final slash.
// "https://" asks for TLS; a scheme that does not fit the protocol, or a
// port that is not a number from 1 to 65535, makes the address unusable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "netloc/login_information.h"
#include "platform/win_error.h"

namespace brimwell {

struct ServerAddress {
  std::string host;        // without brackets
  std::uint16_t port = 0;  // 0: the service's default port
  bool secure = false;
  // kErrorSuccess, or the internet error that Connect fails with.
  WinError error = kErrorSuccess;
};

ServerAddress ParseServerAddress(std::string_view hostname, TInternetProtocol protocol);

}  // namespace brimwell
