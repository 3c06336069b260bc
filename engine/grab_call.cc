#include "engine/grab_call.h"

#include "engine/component_calls.h"

namespace brimwell {

const ClassInfo& TGrabCall::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TGrabCall>("TGrabCall", &TInstallObject::StaticClassInfo())
          .Creatable()
          .Reference("Container", "TInstallContainer", &TGrabCall::Container, &TGrabCall::SetContainer)
          .Build();
  return info;
}

int TGrabCall::ComponentType() const { return kTypeCallReceiver; }

void TGrabCall::HandleComponentCall(TInstallContainer* container, int call, TPersistent* po) {
  if (OnCall) OnCall(container, call, po);
}

}  // namespace brimwell
