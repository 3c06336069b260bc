#include "netloc/server_address.h"

#include <cctype>

#include "platform/internet.h"

namespace brimwell {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

}  // namespace

ServerAddress ParseServerAddress(std::string_view hostname, TInternetProtocol protocol) {
  ServerAddress address;
  while (!hostname.empty() && std::isspace(static_cast<unsigned char>(hostname.front()))) hostname.remove_prefix(1);
  while (!hostname.empty() && std::isspace(static_cast<unsigned char>(hostname.back()))) hostname.remove_suffix(1);
  if (hostname.find("://") != std::string_view::npos) {
    if (protocol == ipHTTP && StartsWithNoCase(hostname, "https://")) {
      address.secure = true;
      hostname.remove_prefix(8);
    } else if (protocol == ipHTTP && StartsWithNoCase(hostname, "http://")) {
      hostname.remove_prefix(7);
    } else if (protocol == ipFTP && StartsWithNoCase(hostname, "ftp://")) {
      hostname.remove_prefix(6);
    } else {
      address.error = kErrorInternetUnrecognizedScheme;
      return address;
    }
  }
  if (hostname.ends_with('/')) hostname.remove_suffix(1);
  std::string_view port;
  if (hostname.starts_with('[')) {
    const std::size_t close = hostname.find(']');
    if (close == std::string_view::npos) {
      address.error = kErrorInternetInvalidUrl;
      return address;
    }
    address.host = std::string(hostname.substr(1, close - 1));
    std::string_view rest = hostname.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') {
        address.error = kErrorInternetInvalidUrl;
        return address;
      }
      port = rest.substr(1);
      if (port.empty()) port = "x";  // "[::1]:" names no port
    }
  } else {
    const std::size_t colon = hostname.find(':');
    // More than one colon: an IPv6 address without brackets, hence no port.
    if (colon != std::string_view::npos && hostname.find(':', colon + 1) == std::string_view::npos) {
      address.host = std::string(hostname.substr(0, colon));
      port = hostname.substr(colon + 1);
      if (port.empty()) port = "x";
    } else {
      address.host = std::string(hostname);
    }
  }
  if (!port.empty()) {
    unsigned value = 0;
    for (char c : port) {
      if (c < '0' || c > '9' || value > 65535) {
        address.error = kErrorInternetInvalidUrl;
        return address;
      }
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) {
      address.error = kErrorInternetInvalidUrl;
      return address;
    }
    address.port = static_cast<std::uint16_t>(value);
  }
  return address;
}

}  // namespace brimwell
