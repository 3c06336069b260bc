#include "engine/install_object.h"

#include "engine/standard_path_specifiers.h"

namespace brimwell {

const ClassInfo& TInstallObject::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TInstallObject>("TInstallObject", &TInstallContainer::StaticClassInfo()).Build();
  return info;
}

TInstallObject::TInstallObject(TComponent* owner) : TInstallContainer(owner) {}

TInstallObject::~TInstallObject() {
  if (container_ != nullptr) {
    TInstallContainer* container = container_;
    container_ = nullptr;
    container->RemoveHelper(this);
  }
}

void TInstallObject::SetContainer(TInstallContainer* container) {
  container_assigned_ = true;
  if (container == container_) return;
  if (container != nullptr) container->AddHelper(this);  // may refuse: nothing has changed then
  if (container_ != nullptr) container_->RemoveHelper(this);
  container_ = container;
  if (Loading()) return;
  if (container != nullptr) {
    TInstallContainer::SetDestDirType(StandardSpecifier<TpsContainerDestDir>(Context()));
    TInstallContainer::SetDestDir("");
  } else if (dynamic_cast<TpsContainerDestDir*>(DestDirType()) != nullptr) {
    TInstallContainer::SetDestDirType(nullptr);
  }
}

void TInstallObject::ContainerDestroyed(TInstallContainer* container) {
  if (container == container_) container_ = nullptr;
  TInstallContainer::ContainerDestroyed(container);
}

void TInstallObject::Loaded() {
  const bool was_loading = Loading();
  TInstallContainer::Loaded();
  if (was_loading && container_defaulted_ && !container_assigned_ && container_ != nullptr) {
    TInstallContainer* container = container_;
    container_ = nullptr;
    container->RemoveHelper(this);
  }
}

}  // namespace brimwell
