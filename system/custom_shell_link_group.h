// Start-menu folders: TCustomShellLinkGroup makes its folder (with every
// missing parent) before its sub-groups and links are processed. The shape
// is fixed at three levels: the one TMainLinkGroup (the product's folder
// below the Programs menu, always relative to psProgramMenu), any number of
// TSubLinkGroup folders inside it (always relative to their container, the
// main group), and the links (custom_install_shell_link.h) inside those.
#pragma once

#include <vector>

#include "engine/install_object.h"

namespace brimwell {

class EngineContext;
class TMainLinkGroup;
class TSubLinkGroup;

inline constexpr char kOnlyOneMainLinkGroup[] = "You can only have one TMainLinkGroup component in your project";
inline constexpr char kNeedMainLinkGroup[] =
    "To create a TInstallMainLink you must first have a TMainLinkGroup component in your project";
inline constexpr char kMainLinkGroupMustContain[] =
    "The TMainLinkGroup component must be the Container for TInstallMainLink and TSubLinkGroup components";
inline constexpr char kCannotCreateLinkFolder[] = "Cannot create the folder %s for %s";
inline constexpr char kDefaultMainFolder[] = "\\MainFolderName";
inline constexpr char kDefaultSubFolder[] = "\\ASubGroup";

// The link groups of a run: the one main group and the sub-groups in
// creation order.
struct LinkGroupRegistry {
  TMainLinkGroup* main_group = nullptr;
  std::vector<TSubLinkGroup*> sub_groups;
};
// The registry of `ctx`, made on first use; nullptr without a context.
LinkGroupRegistry* LinkGroupsOf(EngineContext* ctx);

class TCustomShellLinkGroup : public TInstallObject {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TCustomShellLinkGroup(TComponent* owner);

  int ComponentType() const override;
  // Component call -991 to its own call receivers (a program-folder page
  // may rename the folder now), then its folder with every missing parent,
  // then its sub-groups and links.
  void InstallObjects() override;
  // The group goes with its container.
  void ContainerDestroyed(TInstallContainer* container) override;
  // The folder's specifier is fixed: any write puts it back.
  void SetDestDirType(TCustomPathSpecifier* specifier) override;

 protected:
  // The specifier every group of the class is relative to.
  virtual TCustomPathSpecifier* FixedDestDirType() = 0;
};

class TMainLinkGroup : public TCustomShellLinkGroup {
  BRIMWELL_CLASS_INFO()

 public:
  // Throws IEShellLinkGroup kOnlyOneMainLinkGroup when the run has one.
  // DestDir is "\" + ProductName with a driver, else kDefaultMainFolder.
  explicit TMainLinkGroup(TComponent* owner);
  ~TMainLinkGroup() override;
  // Its folder does not depend on the container: DestDir and the
  // specifier stay as they are when the container changes.
  void SetContainer(TInstallContainer* container) override;
  void SetDestDir(const std::string& dir) override;
  // A project that does not state DestDir gets "\" + the ProductName it
  // gave its driver (known only once everything is loaded).
  void Loaded() override;

 protected:
  TCustomPathSpecifier* FixedDestDirType() override;

 private:
  bool dest_dir_stated_ = false;
};

class TSubLinkGroup : public TCustomShellLinkGroup {
  BRIMWELL_CLASS_INFO()

 public:
  // Throws IEShellLinkGroup kNeedMainLinkGroup without a main group; the
  // container is the main group, DestDir kDefaultSubFolder.
  explicit TSubLinkGroup(TComponent* owner);
  ~TSubLinkGroup() override;
  // Only the main link group (or none). Throws IEInstallShellLink
  // kMainLinkGroupMustContain.
  void SetContainer(TInstallContainer* container) override;

 protected:
  TCustomPathSpecifier* FixedDestDirType() override;
};

// Removes `component` from its owner and frees it, unless the owner is
// itself going (it frees its components then).
void FreeUnlessOwnerGoes(TComponent* component);

}  // namespace brimwell
