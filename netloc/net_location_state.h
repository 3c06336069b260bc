// The program-wide state of the net install locations: the list of every
// location, the current one (the one that connected last; its server goes
// into error texts), the download-cancel flag, and the services a location
// works with. One NetLocationState exists per engine run; a location finds
// it through the root that owns it (a NetLocationHost), so each test can
// make a fresh one.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace brimwell {

class Application;
class Machine;
class TComponent;
class TCustomNetInstallLocation;

struct NetLocationServices {
  // The local files and the internet service (InternetOf); without a
  // machine no location can load its internet library.
  Machine* machine = nullptr;
  // The message queue, run between blocks; none when null.
  Application* application = nullptr;
  // Passes each message format through the translator before it is
  // formatted; the English text is used when empty.
  std::function<std::string(std::string_view)> translate;
  // Receives one line per download (URL, bytes, time, result); none when empty.
  std::function<void(std::string_view)> log;
};

// The global list of locations, in order of creation.
class NetLocationState;

class TCustomNetInstallLocationList {
 public:
  explicit TCustomNetInstallLocationList(NetLocationState& state) : state_(state) {}
  // Throws IENetList kBlankLocation for nullptr.
  void Add(TCustomNetInstallLocation* location);
  void Remove(TCustomNetInstallLocation* location);
  int Count() const { return static_cast<int>(items_.size()); }
  TCustomNetInstallLocation* Items(int index) const { return items_.at(index); }

 private:
  NetLocationState& state_;
  std::vector<TCustomNetInstallLocation*> items_;
};

class NetLocationState {
 public:
  explicit NetLocationState(NetLocationServices services) : services_(std::move(services)), locations_(*this) {}
  NetLocationState(const NetLocationState&) = delete;
  NetLocationState& operator=(const NetLocationState&) = delete;

  const NetLocationServices& Services() const { return services_; }
  TCustomNetInstallLocationList& Locations() { return locations_; }

  TCustomNetInstallLocation* Current() const { return current_; }
  void SetCurrent(TCustomNetInstallLocation* location) { current_ = location; }

  // Set by the user's cancel (with the archive component's Abort); never
  // cleared: every later download of the run stops at its first block.
  bool DownloadCancelled() const { return download_cancelled_; }
  void CancelDownloads() { download_cancelled_ = true; }

  // The message format through the translator.
  std::string Translate(std::string_view text) const;
  // The text of a decorated error: `message` (already formatted), the name
  // of `last_error`, the current location's server and the last answer of
  // its server ("No server response" when there is none).
  std::string Decorate(std::string_view message, unsigned last_error) const;

 private:
  NetLocationServices services_;
  TCustomNetInstallLocationList locations_;
  TCustomNetInstallLocation* current_ = nullptr;
  bool download_cancelled_ = false;
};

// A root of a component tree that carries the state to the locations it
// owns (the engine's project form).
class NetLocationHost {
 public:
  virtual NetLocationState* NetLocations() const = 0;

 protected:
  ~NetLocationHost() = default;
};

// The state of the host that owns `component` (directly or further up);
// nullptr outside any host.
NetLocationState* NetLocationStateOf(const TComponent* component);

}  // namespace brimwell
