#include "engine/install_container.h"

#include <algorithm>
#include <vector>

#include "engine/api_routines.h"
#include "engine/component_calls.h"
#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "engine/file_container.h"
#include "engine/install_object.h"
#include "engine/parameter_objects.h"
#include "engine/path_specifier.h"
#include "engine/project_form.h"
#include "engine/standard_path_specifiers.h"

namespace brimwell {

const ClassInfo& TInstallContainer::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TInstallContainer>("TInstallContainer", &TComponent::StaticClassInfo()).Build();
  return info;
}

int RegisteredTypeOf(const ClassInfo& cls) {
  static const std::pair<const char*, int> kTypes[] = {
      {"TFileContainer", kTypeFileContainer},        {"TCustomInstallFile", kTypeInstallFile},
      {"TCustomInstallINIFile", kTypeIniFile},       {"TCustomShellLinkGroup", kTypeShellLinkGroup},
      {"TCustomInstallShellLink", kTypeShellLink},   {"TCustomInstallRegistry", kTypeRegistry},
      {"TCustomBaseInstallDlg", kTypeCallReceiver},  {"TDialogManager", kTypeCallReceiver},
      {"TGrabCall", kTypeCallReceiver},
  };
  for (const auto& [name, type] : kTypes) {
    if (cls.InheritsFrom(name)) return type;
  }
  return 0;
}

TInstallContainer::TInstallContainer(TComponent* owner) : TComponent(owner), ctx_(ContextOf(owner)) {
  if (ctx_ != nullptr) ctx_->Containers().Add(this);
  // The standard specifiers exist wherever install components are placed.
  if (ProjectForm* form = FormOf(this)) EnsureStandardPathSpecifiers(*form);
}

TInstallContainer::~TInstallContainer() {
  // Every other container forgets this one: a container drops it from its
  // helpers, a helper whose container it was clears its Container. When the
  // whole tree is being freed only the helpers are told (a container is
  // dropped from its own container by TInstallObject, and other references
  // are cleared through FreeNotification), so that freeing stays linear.
  const bool tree_goes = Destroying();
  std::vector<TInstallContainer*> others =
      ctx_ != nullptr && !tree_goes ? ctx_->Containers().Snapshot() : helpers_;
  // A container may go in answer (a shell link whose target or folder
  // goes), so each one is looked up again before it is told.
  for (TInstallContainer* other : others) {
    if (other != this && (ctx_ == nullptr || tree_goes || ctx_->Containers().Contains(other))) {
      other->ContainerDestroyed(this);
    }
  }
  helpers_.clear();
  if (ctx_ != nullptr) ctx_->Containers().Remove(this);
}

std::string TInstallContainer::DisplayName() const {
  return Name().empty() ? "<" + ClassName() + ">" : Name();
}

void TInstallContainer::SetInstallTypes(TInstallTypeSet types) {
  install_types_ = NormalizeInstallTypes(install_types_, types);
}

void TInstallContainer::SetDestDir(const std::string& dir) { dest_dir_ = dir; }

void TInstallContainer::StoreDestDirType(TCustomPathSpecifier* specifier) {
  // Earlier registrations stay: a notification about a component no longer
  // referenced changes nothing, and another reference may share it.
  dest_dir_type_ = specifier;
  if (specifier != nullptr) FreeNotification(specifier);
}

void TInstallContainer::SetDestDirType(TCustomPathSpecifier* specifier) {
  if (!Loading() && specifier != nullptr) specifier->Validate(this);
  dest_dir_type_assigned_ = true;
  StoreDestDirType(specifier);
}

void TInstallContainer::SetOrder(std::int32_t order) { order_ = order; }

TInstallContainer* TInstallContainer::Helpers(int index) const {
  if (index < 0 || index >= HelperCount()) {
    Raise<IEInstallContainer>(ctx_, kBadHelperIndex, {DisplayName(), index});
  }
  return helpers_[static_cast<std::size_t>(index)];
}

TInstallContainer* TInstallContainer::Comp(int index, const ClassInfo& cls) const {
  int seen = 0;
  for (TInstallContainer* h : helpers_) {
    if (h->ClassType().InheritsFrom(cls.name)) {
      if (seen == index) return h;
      ++seen;
    }
  }
  throw IEInstallContainer(EngineText(ctx_, kBadCompCall) +
                           Format(" Index: %d ComponentType: %d", {index, RegisteredTypeOf(cls)}));
}

int TInstallContainer::FileContainerCount() const {
  return static_cast<int>(std::count_if(helpers_.begin(), helpers_.end(), [](TInstallContainer* h) {
    return dynamic_cast<TFileContainer*>(h) != nullptr;
  }));
}

TFileContainer* TInstallContainer::FileContainers(int index) const {
  return static_cast<TFileContainer*>(Comp(index, TFileContainer::StaticClassInfo()));
}

void TInstallContainer::ContainerDestroyed(TInstallContainer* container) {
  if (EraseHelper(container) && !Loading() && !Destroying()) Renumber();
}

bool TInstallContainer::EraseHelper(const TInstallContainer* object) {
  // From the end: helpers go last added first when a tree is freed.
  for (auto it = helpers_.end(); it != helpers_.begin();) {
    --it;
    if (*it == object) {
      helpers_.erase(it);
      return true;
    }
  }
  return false;
}

void TInstallContainer::ShowStatusText(const std::string& text) {
  if (ctx_ != nullptr) ctx_->Log().Write("status", text);
  TMessageParameter po(text);
  BroadcastComponentCall(kCallShowStatus, &po);
}

void TInstallContainer::HideStatusText() { BroadcastComponentCall(kCallHideStatus, nullptr); }

void TInstallContainer::LogInformationEvent(TInstallContainer* sender, int code, TPersistent* po) {
  if (ctx_ == nullptr || !ctx_->Log().Enabled()) return;
  // Log each event once, where it enters the tree: at the sender's own
  // container (the sender is one of its helpers).
  auto* object = dynamic_cast<TInstallObject*>(sender);
  if (object != nullptr && object->Container() != this) return;
  std::string text = std::to_string(code) + " sender=" + (sender ? sender->DisplayName() : "nil") +
                     " container=" + DisplayName();
  if (po != nullptr) text += " po=" + po->ClassName();
  ctx_->Log().Write("event", text);
}

void TInstallContainer::DoInformationEventControl(TInstallContainer* sender, int code, TPersistent* po) {
  LogInformationEvent(sender, code, po);
}

void TInstallContainer::HandleComponentCall(TInstallContainer* /*container*/, int /*call*/,
                                            TPersistent* /*po*/) {}

std::string TInstallContainer::GetDestPath() {
  std::string path = dest_dir_type_ != nullptr ? dest_dir_type_->GetPath(this) + dest_dir_ : dest_dir_;
  return StripTrailingBackslash(std::move(path));
}

int TInstallContainer::ComponentType() const { Raise<IEInstallContainer>(ctx_, kNoRegisteredType); }

void TInstallContainer::AddHelper(TInstallContainer* object) {
  if (object == nullptr) Raise<IEInstallContainer>(ctx_, kBlankHelper, {DisplayName()});
  // Refuse cycles: the object may be neither this container nor any
  // container above it. The walk stops at a repeat, so a tree damaged
  // some other way cannot make it loop.
  // (A tree is a few levels deep: a list looked through is cheaper than a
  // hash set made for every helper.)
  std::vector<const TInstallContainer*> seen;
  auto first_visit = [&seen](const TInstallContainer* c) {
    if (std::find(seen.begin(), seen.end(), c) != seen.end()) return false;
    seen.push_back(c);
    return true;
  };
  for (const TInstallContainer* c = this; c != nullptr && first_visit(c);) {
    if (c == object) Raise<IEInstallContainer>(ctx_, kCircularReference);
    auto* as_object = dynamic_cast<const TInstallObject*>(c);
    c = as_object != nullptr ? as_object->Container() : nullptr;
  }
  // Never listed twice. While a project loads, each object is added once
  // (SetContainer adds only on a change), and the look would make loading
  // many thousand helpers quadratic.
  if (!Loading()) EraseHelper(object);

  const int type = object->ComponentType();
  const std::int32_t order = object->Order();
  auto pos = helpers_.end();
  auto goes_before = [&](const TInstallContainer* h) {
    const int t = h->ComponentType();
    return t > type || (t == type && order != -1 && h->Order() >= order);
  };
  if (SameText(object->ClassName(), "TInstallBDE")) {
    pos = helpers_.begin();
  } else if (helpers_.empty() || !goes_before(helpers_.back())) {
    // The usual case while a project loads: the object goes last.
  } else {
    pos = std::find_if(helpers_.begin(), helpers_.end(), goes_before);
  }
  helpers_.insert(pos, object);
  if (!Loading()) Renumber();
}

void TInstallContainer::RemoveHelper(TInstallContainer* object) {
  if (object == nullptr) return;
  EraseHelper(object);
  if (!Loading() && !Destroying()) Renumber();
}

void TInstallContainer::Renumber() {
  int previous_type = 0;
  std::int32_t next = 0;
  bool first = true;
  for (TInstallContainer* h : helpers_) {
    const int type = h->ComponentType();
    if (first || type != previous_type) next = 0;
    h->order_ = next++;
    previous_type = type;
    first = false;
  }
}

void TInstallContainer::BroadcastComponentCall(int call, TPersistent* po) {
  // Helpers are kept sorted by type and receivers have the highest, so
  // they are found at the end without walking a long list of files.
  auto first = helpers_.end();
  while (first != helpers_.begin() && (*(first - 1))->ComponentType() == kTypeCallReceiver) --first;
  std::vector<TInstallContainer*> receivers(first, helpers_.end());
  if (ctx_ != nullptr && ctx_->Log().Enabled()) {
    std::string text = std::to_string(call) + " sender=" + DisplayName() +
                       " receivers=" + std::to_string(receivers.size());
    if (po != nullptr) text += " po=" + po->ClassName();
    ctx_->Log().Write("call", text);
  }
  for (TInstallContainer* r : receivers) r->HandleComponentCall(this, call, po);
}

void TInstallContainer::Process() {
  try {
    if (OnBeforeProcess) OnBeforeProcess(this);
    BroadcastComponentCall(kCallBeforeProcess, nullptr);
    if (!include_) return;
    BroadcastComponentCall(kCallInstallTypeDialog, nullptr);
    if (!IsSelected()) return;
    InstallObjects();
    processed_ = true;
    if (ctx_ != nullptr && ctx_->DriverView() != nullptr) {
      WriteUninstallInfo(kUninstallKeyPrefix + ctx_->DriverView()->DriverProductName());
    }
    if (OnAfterProcess) OnAfterProcess(this);
    BroadcastComponentCall(kCallAfterProcess, nullptr);
  } catch (const EAbort&) {
    // The silent abort ends this component's processing and nothing else.
  }
}

void TInstallContainer::InstallObjects() {
  processed_ = true;
  for (TInstallContainer* h : std::vector<TInstallContainer*>(helpers_)) {
    // A cancel confirmed while the installation works installs nothing more.
    if (ctx_ != nullptr && ctx_->UserAbortRequested()) Raise<EAIUserAbort>(ctx_, kInstallationAbortedByUser);
    if (h->Processable()) h->Process();
  }
}

bool TInstallContainer::IsSelected() const {
  return SelectedFor(include_, install_types_, current_install_type_);
}

void TInstallContainer::FinishAfterReboot() {}

void TInstallContainer::TranslateSelf() {}

void TInstallContainer::WriteUninstallInfo(const std::string& /*key*/) {}

void TInstallContainer::SetCurrentInstallType(TInstallType type) {
  for (TInstallContainer* h : helpers_) h->SetCurrentInstallType(type);
  current_install_type_ = type;
}

void TInstallContainer::Loaded() {
  const bool was_loading = Loading();
  TComponent::Loaded();
  // A default the constructor gave but the project never stated is
  // cleared: an emptied reference stays empty.
  if (was_loading && dest_dir_type_defaulted_ && !dest_dir_type_assigned_) StoreDestDirType(nullptr);
}

void TInstallContainer::Notification(TComponent* component, Operation operation) {
  if (operation == Operation::kRemove && component != nullptr && component == dest_dir_type_) {
    dest_dir_type_ = nullptr;
  }
  TComponent::Notification(component, operation);
}

}  // namespace brimwell
