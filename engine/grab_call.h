// TGrabCall: a listener in the component tree. It joins a container's
// helpers as a receiver of component calls (type 9000, never processed) and
// passes every call it receives to its OnCall event, so a project, a
// presentation component or a test can follow the run.
#pragma once

#include <functional>

#include "engine/install_object.h"

namespace brimwell {

class TGrabCall : public TInstallObject {
  BRIMWELL_CLASS_INFO()

 public:
  // Container (the one that broadcast), ComponentCall, PO.
  using TExternalComponentCall = std::function<void(TInstallContainer* container, int call, TPersistent* po)>;

  explicit TGrabCall(TComponent* owner) : TInstallObject(owner) {}

  int ComponentType() const override;
  void HandleComponentCall(TInstallContainer* container, int call, TPersistent* po) override;

  TExternalComponentCall OnCall;
};

}  // namespace brimwell
