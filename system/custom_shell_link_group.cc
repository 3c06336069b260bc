#include "system/custom_shell_link_group.h"

#include <algorithm>

#include "engine/api_routines.h"
#include "engine/component_calls.h"
#include "engine/engine_context.h"
#include "engine/install.h"
#include "engine/standard_path_specifiers.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "system/system_errors.h"

namespace brimwell {

LinkGroupRegistry* LinkGroupsOf(EngineContext* ctx) {
  if (ctx == nullptr) return nullptr;
  if (auto* groups = ctx->FindExtension<LinkGroupRegistry>()) return groups;
  return &ctx->AttachExtension(std::make_unique<LinkGroupRegistry>());
}

void FreeUnlessOwnerGoes(TComponent* component) {
  if (component->Destroying()) return;
  if (component->Owner() != nullptr && component->Owner()->Destroying()) return;
  delete component;  // leaves its owner on the way
}

// --- TCustomShellLinkGroup ---------------------------------------------------

const ClassInfo& TCustomShellLinkGroup::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TCustomShellLinkGroup>("TCustomShellLinkGroup", &TInstallObject::StaticClassInfo()).Build();
  return info;
}

TCustomShellLinkGroup::TCustomShellLinkGroup(TComponent* owner) : TInstallObject(owner) { SetProcessable(true); }

int TCustomShellLinkGroup::ComponentType() const { return kTypeShellLinkGroup; }

void TCustomShellLinkGroup::InstallObjects() {
  BroadcastComponentCall(kCallBeforeLinks, nullptr);
  const std::string folder = GetDestPath();
  if (EngineContext* ctx = Context()) {
    const bool existed = ctx->GetMachine().GetFileSystem().DirectoryExists(folder);
    if (!ctx->GetMachine().GetFileSystem().ForceDirectories(folder)) {
      throw IEShellLinkGroup(EngineText(ctx, kCannotCreateLinkFolder, {folder, DisplayName()}));
    }
    ctx->Log().Write("link", std::string(existed ? "folder (existed) " : "folder ") + folder);
  }
  TInstallObject::InstallObjects();
}

void TCustomShellLinkGroup::ContainerDestroyed(TInstallContainer* container) {
  const bool mine = container != nullptr && container == Container();
  TInstallObject::ContainerDestroyed(container);  // clears Container
  if (mine) FreeUnlessOwnerGoes(this);
}

void TCustomShellLinkGroup::SetDestDirType(TCustomPathSpecifier* /*specifier*/) {
  TInstallContainer::SetDestDirType(FixedDestDirType());
}

// --- TMainLinkGroup ----------------------------------------------------------

const ClassInfo& TMainLinkGroup::StaticClassInfo() {
  using G = TMainLinkGroup;
  static const ClassInfo info = ClassBuilder<G>("TMainLinkGroup", &TCustomShellLinkGroup::StaticClassInfo())
                                    .Creatable()
                                    .Reference("Container", "TInstallContainer", &G::Container, &G::SetContainer)
                                    .Property("DestDir", &G::DestDir, &G::SetDestDir, std::string(kDefaultMainFolder))
                                    .Property("Include", &G::Include, &G::SetInclude, true)
                                    .Build();
  return info;
}

TMainLinkGroup::TMainLinkGroup(TComponent* owner) : TCustomShellLinkGroup(owner) {
  LinkGroupRegistry* groups = LinkGroupsOf(Context());
  if (groups != nullptr && groups->main_group != nullptr) {
    Raise<IEShellLinkGroup>(Context(), kOnlyOneMainLinkGroup);
  }
  StoreDestDirType(FixedDestDirType());
  const TCustomInstall* driver = Context() != nullptr ? Context()->Driver() : nullptr;
  TInstallContainer::SetDestDir(driver != nullptr ? "\\" + driver->Information().ProductName() : kDefaultMainFolder);
  if (groups != nullptr) groups->main_group = this;
}

TMainLinkGroup::~TMainLinkGroup() {
  LinkGroupRegistry* groups = LinkGroupsOf(Context());
  if (groups != nullptr && groups->main_group == this) groups->main_group = nullptr;
}

void TMainLinkGroup::SetContainer(TInstallContainer* container) {
  const std::string dest_dir = DestDir();
  TCustomShellLinkGroup::SetContainer(container);
  TInstallContainer::SetDestDir(dest_dir);
  StoreDestDirType(FixedDestDirType());
}

void TMainLinkGroup::SetDestDir(const std::string& dir) {
  if (Loading()) dest_dir_stated_ = true;
  TCustomShellLinkGroup::SetDestDir(dir);
}

void TMainLinkGroup::Loaded() {
  const bool was_loading = Loading();
  TCustomShellLinkGroup::Loaded();
  const TCustomInstall* driver = Context() != nullptr ? Context()->Driver() : nullptr;
  if (was_loading && !dest_dir_stated_ && driver != nullptr) {
    TInstallContainer::SetDestDir("\\" + driver->Information().ProductName());
  }
}

TCustomPathSpecifier* TMainLinkGroup::FixedDestDirType() {
  return Context() != nullptr ? StandardSpecifier<TpsProgramMenu>(Context()) : nullptr;
}

// --- TSubLinkGroup -----------------------------------------------------------

const ClassInfo& TSubLinkGroup::StaticClassInfo() {
  using G = TSubLinkGroup;
  static const ClassInfo info = ClassBuilder<G>("TSubLinkGroup", &TCustomShellLinkGroup::StaticClassInfo())
                                    .Creatable()
                                    .Reference("Container", "TInstallContainer", &G::Container, &G::SetContainer)
                                    .Property("DestDir", &G::DestDir, &G::SetDestDir, std::string(kDefaultSubFolder))
                                    .Property("Include", &G::Include, &G::SetInclude, true)
                                    .Build();
  return info;
}

TSubLinkGroup::TSubLinkGroup(TComponent* owner) : TCustomShellLinkGroup(owner) {
  LinkGroupRegistry* groups = LinkGroupsOf(Context());
  if (groups != nullptr) {
    if (groups->main_group == nullptr) Raise<IEShellLinkGroup>(Context(), kNeedMainLinkGroup);
    SetContainer(groups->main_group);
  }
  StoreDestDirType(FixedDestDirType());
  SetDestDir(kDefaultSubFolder);
  if (groups != nullptr) groups->sub_groups.push_back(this);
}

TSubLinkGroup::~TSubLinkGroup() {
  if (LinkGroupRegistry* groups = LinkGroupsOf(Context())) std::erase(groups->sub_groups, this);
}

void TSubLinkGroup::SetContainer(TInstallContainer* container) {
  if (container != nullptr && dynamic_cast<TMainLinkGroup*>(container) == nullptr) {
    Raise<IEInstallShellLink>(Context(), kMainLinkGroupMustContain);
  }
  TCustomShellLinkGroup::SetContainer(container);
  StoreDestDirType(FixedDestDirType());
}

TCustomPathSpecifier* TSubLinkGroup::FixedDestDirType() {
  return Context() != nullptr ? StandardSpecifier<TpsContainerDestDir>(Context()) : nullptr;
}

}  // namespace brimwell
