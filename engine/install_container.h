// TInstallContainer: the base of every install component. A container holds
// helper components (by reference; the form owns them) in processing order:
// by ComponentType, then by Order. It processes its helpers (Process,
// InstallObjects), hands component calls down to its call receivers
// (BroadcastComponentCall) and receives information events from below
// (DoInformationEventControl). Install objects (install_object.h) name their
// container through Container; the top of the tree is the single TInstall.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/install_types.h"
#include "framework/component.h"

namespace brimwell {

class EngineContext;
class TCustomPathSpecifier;
class TFileContainer;

inline constexpr char kNoRegisteredType[] = "Class must declare a registered type";
inline constexpr char kBlankHelper[] = "Cannot add a blank base helper component to %s";
inline constexpr char kCircularReference[] = "Circular reference";
inline constexpr char kBadCompCall[] =
    "Bad call to the Comp procedure which returns a TInstallObject for a TInstallContainer component. "
    "The parameters are probably reversed.";
inline constexpr char kBadHelperIndex[] =
    "Tried to reference a helper component in the following component: %s. The following index was "
    "used: %d";
inline constexpr char kUninstallKeyPrefix[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

class TInstallContainer : public TComponent {
  BRIMWELL_CLASS_INFO()

 public:
  using TInstallContainerNotifyEvent = std::function<void(TInstallContainer* container)>;

  explicit TInstallContainer(TComponent* owner);
  ~TInstallContainer() override;

  // nullptr when the container is not on a ProjectForm.
  EngineContext* Context() const { return ctx_; }

  // --- Properties -----------------------------------------------------------
  bool Processable() const { return processable_; }
  bool Include() const { return include_; }
  void SetInclude(bool include) { include_ = include; }
  bool Processed() const { return processed_; }
  void SetProcessed(bool processed) { processed_ = processed; }
  TInstallTypeSet InstallTypes() const { return install_types_; }
  // Stores the normalised set (NormalizeInstallTypes).
  void SetInstallTypes(TInstallTypeSet types);
  TInstallType CurrentInstallType() const { return current_install_type_; }
  const std::string& DestDir() const { return dest_dir_; }
  virtual void SetDestDir(const std::string& dir);
  TCustomPathSpecifier* DestDirType() const { return dest_dir_type_; }
  // Outside loading the specifier first validates this component; a
  // refusal throws and leaves the old value.
  virtual void SetDestDirType(TCustomPathSpecifier* specifier);
  std::int32_t Order() const { return order_; }
  virtual void SetOrder(std::int32_t order);

  TInstallContainerNotifyEvent OnAfterProcess;
  TInstallContainerNotifyEvent OnBeforeProcess;

  // --- Helpers --------------------------------------------------------------
  int HelperCount() const { return static_cast<int>(helpers_.size()); }
  // Throws IEInstallContainer kBadHelperIndex outside 0..HelperCount()-1.
  TInstallContainer* Helpers(int index) const;
  const std::vector<TInstallContainer*>& HelperList() const { return helpers_; }
  // The index-th helper (0-based, in list order) that is an instance of
  // `cls`. Throws IEInstallContainer kBadCompCall (with the index and the
  // type number of the class) when there is none.
  TInstallContainer* Comp(int index, const ClassInfo& cls) const;
  virtual int FileContainerCount() const;
  virtual TFileContainer* FileContainers(int index) const;

  // --- Virtual operations ---------------------------------------------------
  // Another container is being destroyed: forget it.
  virtual void ContainerDestroyed(TInstallContainer* container);
  // Asks the call receivers to show a status text (call -974) / hide it (-973).
  virtual void ShowStatusText(const std::string& text);
  void HideStatusText();
  // The upward path; the base only records the event in the run log.
  virtual void DoInformationEventControl(TInstallContainer* sender, int code, TPersistent* po);
  // A component call from `container`; the base ignores it.
  virtual void HandleComponentCall(TInstallContainer* container, int call, TPersistent* po);
  // DestDirType's path for this component followed by DestDir (no separator
  // added), or DestDir alone; without a trailing backslash.
  virtual std::string GetDestPath();
  // The registered type number; the base throws kNoRegisteredType.
  virtual int ComponentType() const;
  // Inserts `object` among the helpers in processing order. Throws for a
  // missing object (kBlankHelper) and for a cycle (kCircularReference).
  virtual void AddHelper(TInstallContainer* object);
  // Processes this component (events, calls, selection, InstallObjects,
  // uninstall record). The silent abort ends it quietly.
  virtual void Process();
  // Marks Processed and processes every processable helper in list order.
  virtual void InstallObjects();
  virtual bool IsSelected() const;
  virtual void FinishAfterReboot();
  // Dialog components translate themselves here; nothing in the base.
  virtual void TranslateSelf();
  virtual void RemoveHelper(TInstallContainer* object);
  virtual void WriteUninstallInfo(const std::string& key);

  // Hands `call` to every helper of type 9000, in list order.
  void BroadcastComponentCall(int call, TPersistent* po);
  // Sets CurrentInstallType on every helper, depth first, then on this one.
  void SetCurrentInstallType(TInstallType type);

  void Loaded() override;

  // The name shown in messages and the run log.
  std::string DisplayName() const;

 protected:
  void Notification(TComponent* component, Operation operation) override;
  void SetProcessable(bool processable) { processable_ = processable; }
  // Gives Order 0, 1, 2 ... to the helpers, counting afresh at each change of
  // ComponentType.
  void Renumber();
  // Stores a specifier without validation, keeping the removal notification.
  void StoreDestDirType(TCustomPathSpecifier* specifier);
  // The constructor gave DestDirType a default: a project that never states
  // it loads without it.
  void MarkDestDirTypeDefaulted() { dest_dir_type_defaulted_ = true; }
  // Records an information event in the run log (first hop only).
  void LogInformationEvent(TInstallContainer* sender, int code, TPersistent* po);

 private:
  // Drops `object` from the helpers; false when it was not one.
  bool EraseHelper(const TInstallContainer* object);

  EngineContext* ctx_;
  bool processable_ = false;
  std::vector<TInstallContainer*> helpers_;  // not owned
  bool include_ = true;
  bool processed_ = false;
  TInstallTypeSet install_types_{TInstallType::itAlways};
  TInstallType current_install_type_ = TInstallType::itAlways;
  std::string dest_dir_;
  TCustomPathSpecifier* dest_dir_type_ = nullptr;
  std::int32_t order_ = -1;
  bool dest_dir_type_assigned_ = false;
  bool dest_dir_type_defaulted_ = false;
};

// The type number of components of class `cls` (1000 for file containers,
// 2000 for installable files, ...); 0 for a class without one.
int RegisteredTypeOf(const ClassInfo& cls);

}  // namespace brimwell
