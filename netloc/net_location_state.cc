#include "netloc/net_location_state.h"

#include <algorithm>

#include "framework/component.h"
#include "framework/format.h"
#include "netloc/net_install_location.h"
#include "netloc/netloc_errors.h"
#include "platform/internet.h"

namespace brimwell {

void TCustomNetInstallLocationList::Add(TCustomNetInstallLocation* location) {
  if (location == nullptr) throw IENetList(state_.Decorate(state_.Translate(kBlankLocation), 0));
  items_.push_back(location);
}

void TCustomNetInstallLocationList::Remove(TCustomNetInstallLocation* location) {
  items_.erase(std::remove(items_.begin(), items_.end(), location), items_.end());
}

std::string NetLocationState::Translate(std::string_view text) const {
  return services_.translate ? services_.translate(text) : std::string(text);
}

std::string NetLocationState::Decorate(std::string_view message, unsigned last_error) const {
  std::string host;
  std::string response = kNoServerResponse;
  if (current_ != nullptr) {
    host = current_->LoginInformation().Hostname();
    if (Internet* library = current_->Library()) {
      auto answer = library->GetLastResponseInfo();
      if (answer.ok() && !answer->empty()) response = *answer;
    }
  }
  return Format(Translate(kDecoratedError), {std::string(message), InternetErrorName(last_error), host, response});
}

NetLocationState* NetLocationStateOf(const TComponent* component) {
  for (const TComponent* c = component; c != nullptr; c = c->Owner()) {
    if (const auto* host = dynamic_cast<const NetLocationHost*>(c)) return host->NetLocations();
  }
  return nullptr;
}

}  // namespace brimwell
