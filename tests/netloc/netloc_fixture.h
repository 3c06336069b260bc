// A net install location for each test: a fresh prefix, the program-wide
// state of the locations under a root component, a location named Server,
// the libcurl internet service with a short time-out, and directories for
// what a server offers and what is fetched.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "framework/component.h"
#include "framework/exception.h"
#include "netloc/net_install_location.h"
#include "netloc/net_location_state.h"
#include "netloc/netloc_errors.h"
#include "platform/internet.h"
#include "tests/netloc/loopback_server.h"
#include "tests/platform/temp_prefix.h"

namespace brimwell::testing {

class LocationRoot : public TComponent, public NetLocationHost {
  BRIMWELL_CLASS_INFO()
 public:
  explicit LocationRoot(NetLocationState* state) : TComponent(nullptr), state_(state) {}
  ~LocationRoot() override {
    while (ComponentCount() > 0) delete Components(ComponentCount() - 1);
  }
  NetLocationState* NetLocations() const override { return state_; }

 private:
  NetLocationState* state_;
};

inline const ClassInfo& LocationRoot::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<LocationRoot>("LocationRoot", &TComponent::StaticClassInfo()).Build();
  return info;
}

class NetlocTest : public PrefixTest {
 protected:
  void SetUp() override {
    PrefixTest::SetUp();
    served_ = dir_.path() / "served";
    local_ = dir_.path() / "local";
    std::filesystem::create_directories(served_);
    std::filesystem::create_directories(local_);
    UseCurl(std::chrono::seconds(5));
    NetLocationServices services;
    services.machine = machine_.get();
    services.log = [this](std::string_view line) { log_.emplace_back(line); };
    state_ = std::make_unique<NetLocationState>(std::move(services));
    root_ = std::make_unique<LocationRoot>(state_.get());
    location_ = MakeLocation("Server");
  }
  void TearDown() override {
    root_.reset();
    state_.reset();
    PrefixTest::TearDown();
  }

  TNetInstallLocation* MakeLocation(const std::string& name) {
    auto* l = Create<TNetInstallLocation>(root_.get());
    l->SetName(name);
    return l;
  }
  // Replaces the machine's internet service (while no location holds it).
  void UseCurl(std::chrono::milliseconds timeout, std::string ca_file = {}) {
    machine_->Attach<Internet>(MakeCurlInternet({timeout, std::move(ca_file)}));
  }
  void Point(TCustomNetInstallLocation* l, TInternetProtocol protocol, const std::string& host,
             const std::string& directory = "") {
    l->LoginInformation().SetProtocol(protocol);
    l->LoginInformation().SetHostname(host);
    l->LoginInformation().SetDirectory(directory);
  }
  void Serve(const std::string& relative, std::string_view bytes) { WriteHostFile(served_ / relative, bytes); }
  // The Windows path of a file in the local directory.
  std::string Local(const std::string& name) { return paths().ToWindows(local_ / name); }
  std::string LocalBytes(const std::string& name) { return ReadHostFile(local_ / name); }
  std::vector<std::string> LocalFiles() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(local_)) names.push_back(e.path().filename());
    return names;
  }
  // The text of the ENIL-family error GetFile throws; "(no error)" otherwise.
  std::string ErrorOf(const std::string& remote, TCustomNetInstallLocation* l = nullptr) {
    try {
      (l != nullptr ? l : location_)->GetFile(remote, Local(remote));
    } catch (const Exception& e) {
      return e.what();
    }
    return "(no error)";
  }
  std::string Ftp() const { return "ftp"; }

  std::filesystem::path served_;
  std::filesystem::path local_;
  std::vector<std::string> log_;
  std::unique_ptr<NetLocationState> state_;
  std::unique_ptr<LocationRoot> root_;
  TNetInstallLocation* location_ = nullptr;
};

}  // namespace brimwell::testing
