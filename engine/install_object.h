// TInstallObject: an install component that lives in a container (its
// Container property). Writing Container moves the object into the new
// container's helper list and, outside loading, points its destination at
// the container's (psContainerDestDir).
#pragma once

#include "engine/install_container.h"

namespace brimwell {

class TInstallObject : public TInstallContainer {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TInstallObject(TComponent* owner);
  // Leaves its container's helper list.
  ~TInstallObject() override;

  TInstallContainer* Container() const { return container_; }
  // Adds this object to `container` (which may refuse it: a cycle), removes
  // it from the old one and stores the reference. Outside loading a new
  // container makes DestDirType psContainerDestDir and empties DestDir; no
  // container clears a psContainerDestDir DestDirType.
  virtual void SetContainer(TInstallContainer* container);

  void ContainerDestroyed(TInstallContainer* container) override;
  void Loaded() override;

 protected:
  // The constructor gave Container a default (see TInstallContainer).
  void MarkContainerDefaulted() { container_defaulted_ = true; }

 private:
  TInstallContainer* container_ = nullptr;
  bool container_assigned_ = false;
  bool container_defaulted_ = false;
};

}  // namespace brimwell
