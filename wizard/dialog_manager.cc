#include "wizard/dialog_manager.h"

#include <algorithm>
#include <cmath>

#include "engine/component_calls.h"
#include "engine/custom_install_file.h"
#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "engine/install.h"
#include "engine/parameter_objects.h"
#include "framework/class_registry.h"
#include "system/custom_shell_link_group.h"
#include "translate/translator.h"

namespace brimwell {

const EnumInfo kManagerTypeInfo{"TManagerType",
                                {"dmBeforeInstall", "dmAfterGoodInstall", "dmAfterBadInstall", "dmDuringCopyFiles",
                                 "dmChangeDisk", "dmReboot"}};
const EnumInfo kDialogPositionInfo{"TBrimwellDialogPosition",
                                   {"bdpCenterLeft", "bdpCenter", "bdpCenterRight", "bdpBottomLeft",
                                    "bdpBottomCenter", "bdpBottomRight", "bdpTopLeft", "bdpTopCenter",
                                    "bdpTopRight"}};

namespace {

// Half of `twice`, halves going to the even neighbour.
int HalfToEven(int twice) { return static_cast<int>(std::nearbyint(twice / 2.0)); }

// The wizard host attached to a context.
struct HostSlot {
  std::unique_ptr<WizardHost> host;
};

}  // namespace

WindowBounds PlaceWindow(TBrimwellDialogPosition position, int left_offset, int top_offset, ScreenSize screen,
                         int caption, int w, int h) {
  const int x = HalfToEven(screen.width - w);
  const int y = HalfToEven(screen.height - h);
  const int value = static_cast<int>(position);
  const int row = value / 3;
  const int column = value % 3;
  WindowBounds b{0, 0, w, h};
  switch (column) {
    case 0: b.left = left_offset; break;
    case 1: b.left = x + left_offset; break;
    default: b.left = screen.width - w - left_offset; break;
  }
  switch (row) {
    case 0: b.top = y + top_offset; break;
    case 1: b.top = screen.height - caption - h - top_offset; break;
    default: b.top = top_offset; break;
  }
  return b;
}

// --- The page list ----------------------------------------------------------------

TBIFList& TBIFList::Of(EngineContext& ctx) {
  if (TBIFList* list = ctx.FindExtension<TBIFList>()) return *list;
  return ctx.AttachExtension(std::make_unique<TBIFList>());
}

void TBIFList::Add(const std::string& form_class, TCustomBaseInstallDlg* dialog) {
  entries_.push_back({form_class, dialog, 0});
}

void TBIFList::Remove(const std::string& form_class, TCustomBaseInstallDlg* dialog) {
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const TBIFEntry& e) {
    return e.dialog == dialog && e.form_class == form_class;
  });
  if (it != entries_.end()) entries_.erase(it);
}

WizardHost* WizardHostOf(EngineContext* ctx) {
  if (ctx == nullptr) return nullptr;
  HostSlot* slot = ctx->FindExtension<HostSlot>();
  return slot != nullptr ? slot->host.get() : nullptr;
}

void AttachWizardHost(EngineContext& ctx, std::unique_ptr<WizardHost> host) {
  if (HostSlot* slot = ctx.FindExtension<HostSlot>()) {
    slot->host = std::move(host);
    return;
  }
  auto slot = std::make_unique<HostSlot>();
  slot->host = std::move(host);
  ctx.AttachExtension(std::move(slot));
}

TDialogManager* FindDialogManager(EngineContext* ctx, TManagerType type) {
  if (ctx == nullptr || ctx->Driver() == nullptr) return nullptr;
  for (TInstallContainer* c : ctx->Containers()) {
    auto* manager = dynamic_cast<TDialogManager*>(c);
    if (manager != nullptr && manager->ManagerType() == type &&
        manager->Container() == static_cast<TInstallContainer*>(ctx->Driver())) {
      return manager;
    }
  }
  return nullptr;
}

bool ConfirmUserAbort(EngineContext* ctx) {
  if (ctx == nullptr || ctx->Driver() == nullptr) return true;
  TCustomInstall* driver = ctx->Driver();
  if (driver->OnUserAbort) return driver->QueryUserAbort();
  // Nothing of the project answers: ask the user, who may have pressed
  // Cancel by mistake.
  MessageBoxRequest box;
  box.text = ctx->Translate(kConfirmCancel);
  box.icon = MessageBoxIcon::kQuestion;
  box.buttons = MessageBoxButtons::kYesNo;
  box.default_button = 1;
  return ctx->App().MessageBox(box) == ModalResult::kYes;
}

// --- TDialogManager -----------------------------------------------------------------

const ClassInfo& TDialogManager::StaticClassInfo() {
  using M = TDialogManager;
  static const ClassInfo info =
      ClassBuilder<M>("TDialogManager", &TInstallObject::StaticClassInfo())
          .Creatable()
          .Reference("Container", "TInstallContainer", &M::Container, &M::SetContainer)
          .Property("Height", &M::Height, &M::SetHeight, 395)
          .Enum("ManagerType", kManagerTypeInfo, &M::ManagerType, &M::SetManagerType, TManagerType::dmBeforeInstall)
          .Enum("Position", kDialogPositionInfo, &M::Position, &M::SetPosition, TBrimwellDialogPosition::bdpCenter)
          .Property("RelativeLeftOffset", &M::RelativeLeftOffset, &M::SetRelativeLeftOffset, 0)
          .Property("RelativeTopOffset", &M::RelativeTopOffset, &M::SetRelativeTopOffset, 0)
          .Property("Width", &M::Width, &M::SetWidth, 478)
          .Build();
  return info;
}

TDialogManager::TDialogManager(TComponent* owner) : TInstallObject(owner) {}

TDialogManager::~TDialogManager() {
  if (Context() != nullptr) {
    TBIFList& list = TBIFList::Of(*Context());
    if (list.CurrentManager() == this) list.SetCurrentManager(nullptr);
  }
}

int TDialogManager::ComponentType() const { return kTypeCallReceiver; }

void TDialogManager::ContainerDestroyed(TInstallContainer* container) {
  if (auto* dialog = dynamic_cast<TCustomBaseInstallDlg*>(container)) RemoveDialog(dialog);
  TInstallObject::ContainerDestroyed(container);
}

void TDialogManager::AddDialog(TCustomBaseInstallDlg* dialog) {
  if (dialog == nullptr) Raise<IException>(Context(), kNilDialog, {DisplayName()});
  if (std::find(dialogs_.begin(), dialogs_.end(), dialog) == dialogs_.end()) dialogs_.push_back(dialog);
}

void TDialogManager::RemoveDialog(TCustomBaseInstallDlg* dialog) { std::erase(dialogs_, dialog); }

void TDialogManager::HandleComponentCall(TInstallContainer*, int call, TPersistent* po) {
  switch (manager_type_) {
    case TManagerType::dmBeforeInstall:
      if (call == kCallBeforeInstallManager) Execute();
      break;
    case TManagerType::dmAfterGoodInstall:
      if (call == kCallGoodInstallManager) Execute();
      break;
    case TManagerType::dmAfterBadInstall:
      if (call == kCallBadInstallManager) Execute();
      break;
    case TManagerType::dmReboot:
      if (call == kCallRebootNeeded) Execute();
      break;
    case TManagerType::dmDuringCopyFiles: {
      WizardHost* host = WizardHostOf(Context());
      if (call == kCallProgress || call == kCallDownloadProgress) {
        if (po == nullptr) Raise<IException>(Context(), kNilPO, {DisplayName()});
        auto* file_status = dynamic_cast<TFileStatusParameter*>(po);
        auto* download = dynamic_cast<TDownloadStatusParameter*>(po);
        if (call == kCallProgress && file_status == nullptr) {
          Raise<IException>(Context(), kNotFileStatus, {DisplayName()});
        }
        if (call == kCallDownloadProgress && download == nullptr) {
          Raise<IException>(Context(), kNotDownloadStatus, {DisplayName()});
        }
        if (host != nullptr) host->UpdateDuringCopy(*this, file_status, download);
      } else if (call == kCallPassDone && host != nullptr) {
        host->CloseDuringCopy(*this);
      }
      break;
    }
    case TManagerType::dmChangeDisk:
      if (call == kCallNewDisk) ShowChangeDisk(po);
      break;
  }
}

void TDialogManager::Execute() {
  EngineContext* ctx = Context();
  if (ctx == nullptr) return;
  TBIFList& list = TBIFList::Of(*ctx);
  WizardHost* host = WizardHostOf(ctx);
  list.SetCurrentManager(this);
  bool finished = true;
  try {
    if (host != nullptr) finished = host->RunWizard(*this);
  } catch (...) {
    list.SetCurrentManager(nullptr);
    throw;
  }
  list.SetCurrentManager(nullptr);
  if (!finished) Raise<EAIUserAbort>(ctx, kInstallationAbortedByUser);
  if (MainForm* form = ctx->App().GetMainForm()) form->Repaint();
  ctx->App().ProcessMessages();
}

void TDialogManager::ShowChangeDisk(TPersistent* po) {
  EngineContext* ctx = Context();
  WizardHost* host = WizardHostOf(ctx);
  if (ctx == nullptr || host == nullptr || !host->HasChangeDiskForm(*this)) return;
  TBIFList& list = TBIFList::Of(*ctx);
  list.SetCurrentManager(this);
  struct Clear {
    TBIFList& list;
    ~Clear() { list.SetCurrentManager(nullptr); }
  } clear{list};
  if (po == nullptr) Raise<IException>(ctx, kChangeDiskNilPO);
  auto* items = dynamic_cast<TList*>(po);
  if (items == nullptr) Raise<IException>(ctx, kChangeDiskNotList);
  if (items->Count() < 2) Raise<IException>(ctx, kChangeDiskTooFew);
  if (dynamic_cast<TCustomInstallFile*>(items->Items[0]) == nullptr) throw IException(kChangeDiskBadFirst);
  auto* disk = dynamic_cast<TDiskParameter*>(items->Items[1]);
  if (disk == nullptr) throw IException(kChangeDiskBadSecond);
  disk->Handled = true;
  if (!host->RunChangeDisk(*this, *disk)) Raise<EAIUserAbort>(ctx, kInstallationAbortedByUser);
}

// --- TCustomBaseInstallDlg ----------------------------------------------------------

const ClassInfo& TCustomBaseInstallDlg::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TCustomBaseInstallDlg>("TCustomBaseInstallDlg", &TInstallObject::StaticClassInfo()).Build();
  return info;
}

TCustomBaseInstallDlg::TCustomBaseInstallDlg(TComponent* owner) : TInstallObject(owner) {}

TCustomBaseInstallDlg::~TCustomBaseInstallDlg() {
  if (dialog_manager_ != nullptr) dialog_manager_->RemoveDialog(this);
  if (Context() != nullptr && !registered_class_.empty()) {
    TBIFList::Of(*Context()).Remove(registered_class_, this);
  }
}

int TCustomBaseInstallDlg::ComponentType() const { return kTypeCallReceiver; }

void TCustomBaseInstallDlg::SetDialogManager(TDialogManager* manager) {
  if (manager == dialog_manager_) return;
  if (manager != nullptr) manager->AddDialog(this);
  if (dialog_manager_ != nullptr) dialog_manager_->RemoveDialog(this);
  dialog_manager_ = manager;
}

void TCustomBaseInstallDlg::RegisterPage() {
  if (!registered_class_.empty() || Context() == nullptr) return;
  registered_class_ = FormClass();
  TBIFList::Of(*Context()).Add(registered_class_, this);
}

void TCustomBaseInstallDlg::ContainerDestroyed(TInstallContainer* container) {
  if (container == dialog_manager_) dialog_manager_ = nullptr;
  TInstallObject::ContainerDestroyed(container);
}

void TCustomBaseInstallDlg::HandleComponentCall(TInstallContainer*, int call, TPersistent*) {
  if (dialog_manager_ == nullptr && call == StandAloneCall()) Execute();
}

bool TCustomBaseInstallDlg::Execute() {
  try {
    if (OnBeforeExecute) OnBeforeExecute(this);
    bool result = DoExecute();
    if (Context() != nullptr) Context()->App().ProcessMessages();
    if (OnAfterExecute) OnAfterExecute(this);
    return result;
  } catch (const EAbort&) {
    return false;
  }
}

bool TCustomBaseInstallDlg::DoExecute() {
  if (!CanExecute()) return true;
  EngineContext* ctx = Context();
  WizardHost* host = WizardHostOf(ctx);
  if (host == nullptr) return true;
  if (!host->RunAlone(*this)) Raise<EAIUserAbort>(ctx, kInstallationAbortedByUser);
  return true;
}

void TCustomBaseInstallDlg::AssignDialogProperties() {
  if (form_ == nullptr) Raise<IException>(Context(), kNoFormToAssign, {DisplayName()});
  form_->CopyDialogSettings(*this);
  Translate();
  form_->AssignFrom(*this);
}

void TCustomBaseInstallDlg::Translate() {
  if (form_ != nullptr) form_->Translate();
}

const ClassInfo& TBaseInstallDlg::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TBaseInstallDlg>("TBaseInstallDlg", &TCustomBaseInstallDlg::StaticClassInfo()).Build();
  return info;
}

// --- The dialogs ------------------------------------------------------------------------

namespace {

// The published properties every page dialog shares.
template <class D>
ClassBuilder<D>& PageDialogProperties(ClassBuilder<D>& b, std::int32_t order,
                                      const std::string& container_class = "TInstallContainer") {
  using C = TCustomBaseInstallDlg;
  b.Property("AutoSetFont", &C::AutoSetFont, &C::SetAutoSetFont, true)
      .Property("AutoTranslate", &C::AutoTranslate, &C::SetAutoTranslate, true)
      .Reference("Container", container_class, &C::Container, &C::SetContainer)
      .Reference("DialogManager", "TDialogManager", &C::DialogManager, &C::SetDialogManager)
      .Property("Order", &C::Order, &C::SetOrder, order)
      .Property("OverrideMainTranslator", &C::OverrideMainTranslator, &C::SetOverrideMainTranslator, false)
      .Picture("ThemeBitmap", static_cast<TPicture& (C::*)()>(&C::ThemeBitmap))
      .Enum("TranslateIntoLanguage", kBrwlLanguageInfo, &C::TranslateIntoLanguage, &C::SetTranslateIntoLanguage,
            blUser);
  return b;
}

}  // namespace

const ClassInfo& TWelcomeDlg::StaticClassInfo() {
  static const ClassInfo info = [] {
    ClassBuilder<TWelcomeDlg> b("TWelcomeDlg", &TBaseInstallDlg::StaticClassInfo());
    b.Creatable();
    return PageDialogProperties(b, 10).Build();
  }();
  return info;
}

const ClassInfo& TLicenseDlg::StaticClassInfo() {
  static const ClassInfo info = [] {
    ClassBuilder<TLicenseDlg> b("TLicenseDlg", &TBaseInstallDlg::StaticClassInfo());
    b.Creatable().Property("LicenseAgreement", &TLicenseDlg::LicenseAgreement, &TLicenseDlg::SetLicenseAgreement);
    return PageDialogProperties(b, 20).Build();
  }();
  return info;
}

const ClassInfo& TReadmeDlg::StaticClassInfo() {
  static const ClassInfo info = [] {
    ClassBuilder<TReadmeDlg> b("TReadmeDlg", &TBaseInstallDlg::StaticClassInfo());
    b.Creatable();
    PageDialogProperties(b, 30);
    return b.Property("ReadmeText", &TReadmeDlg::ReadmeText, &TReadmeDlg::SetReadmeText).Build();
  }();
  return info;
}

const ClassInfo& TInstallTypeDlg::StaticClassInfo() {
  static const ClassInfo info = [] {
    ClassBuilder<TInstallTypeDlg> b("TInstallTypeDlg", &TBaseInstallDlg::StaticClassInfo());
    b.Creatable();
    return PageDialogProperties(b, 40).Build();
  }();
  return info;
}

TWelcomeDlg::TWelcomeDlg(TComponent* owner) : TBaseInstallDlg(owner) {
  SetOrder(10);
  RegisterPage();
}
int TWelcomeDlg::StandAloneCall() const { return kCallWelcome; }

TLicenseDlg::TLicenseDlg(TComponent* owner) : TBaseInstallDlg(owner) {
  SetOrder(20);
  RegisterPage();
}
int TLicenseDlg::StandAloneCall() const { return kCallLicense; }

TReadmeDlg::TReadmeDlg(TComponent* owner) : TBaseInstallDlg(owner) {
  SetOrder(30);
  RegisterPage();
}
int TReadmeDlg::StandAloneCall() const { return kCallReadme; }

TInstallTypeDlg::TInstallTypeDlg(TComponent* owner) : TBaseInstallDlg(owner) {
  SetOrder(40);
  RegisterPage();
}
int TInstallTypeDlg::StandAloneCall() const { return kCallInstallTypeDialog; }

bool TInstallTypeDlg::DoExecute() {
  if (Container() == nullptr) Raise<IException>(Context(), kBlankContainer, {DisplayName()});
  return TBaseInstallDlg::DoExecute();
}

const ClassInfo& TInstallFileGroupsDlg::StaticClassInfo() {
  static const ClassInfo info = [] {
    ClassBuilder<TInstallFileGroupsDlg> b("TInstallFileGroupsDlg", &TBaseInstallDlg::StaticClassInfo());
    b.Creatable();
    return PageDialogProperties(b, 50).Build();
  }();
  return info;
}

TInstallFileGroupsDlg::TInstallFileGroupsDlg(TComponent* owner) : TBaseInstallDlg(owner) {
  SetOrder(50);
  RegisterPage();
}
int TInstallFileGroupsDlg::StandAloneCall() const { return kCallBeforeInstallObjects; }

bool TInstallFileGroupsDlg::DoExecute() {
  if (Container() == nullptr) Raise<IException>(Context(), kBlankContainer, {DisplayName()});
  return TBaseInstallDlg::DoExecute();
}

// --- The program folder page ------------------------------------------------------------

const ClassInfo& TSelectFolderDlg::StaticClassInfo() {
  static const ClassInfo info = [] {
    ClassBuilder<TSelectFolderDlg> b("TSelectFolderDlg", &TBaseInstallDlg::StaticClassInfo());
    b.Creatable();
    return PageDialogProperties(b, 60, "TCustomShellLinkGroup").Build();
  }();
  return info;
}

TSelectFolderDlg::TSelectFolderDlg(TComponent* owner) : TBaseInstallDlg(owner) {
  SetOrder(60);
  if (LinkGroupRegistry* groups = LinkGroupsOf(Context()); groups != nullptr && groups->main_group != nullptr) {
    SetContainer(groups->main_group);
  }
  RegisterPage();
}
int TSelectFolderDlg::StandAloneCall() const { return kCallBeforeLinks; }

TInstallContainer* TSelectFolderDlg::LinkGroup() const {
  TInstallContainer* c = Container();
  if (c != nullptr && dynamic_cast<TCustomShellLinkGroup*>(c) == nullptr) {
    Raise<IException>(Context(), kNotLinkGroup, {DisplayName()});
  }
  return c;
}

bool TSelectFolderDlg::DoExecute() {
  if (LinkGroup() == nullptr) Raise<IException>(Context(), kBlankContainer, {DisplayName()});
  return TBaseInstallDlg::DoExecute();
}

// --- The closing pages ------------------------------------------------------------------

const ClassInfo& TRebootDlg::StaticClassInfo() {
  static const ClassInfo info = [] {
    ClassBuilder<TRebootDlg> b("TRebootDlg", &TBaseInstallDlg::StaticClassInfo());
    b.Creatable();
    return PageDialogProperties(b, 10).Build();
  }();
  return info;
}

TRebootDlg::TRebootDlg(TComponent* owner) : TBaseInstallDlg(owner) {
  SetOrder(10);
  RegisterPage();
}
int TRebootDlg::StandAloneCall() const { return kCallRebootNeeded; }

const ClassInfo& TGoodInstallationDlg::StaticClassInfo() {
  static const ClassInfo info = [] {
    using G = TGoodInstallationDlg;
    ClassBuilder<G> b("TGoodInstallationDlg", &TBaseInstallDlg::StaticClassInfo());
    b.Creatable().Property("CompletionText", &G::CompletionText, &G::SetCompletionText);
    return PageDialogProperties(b, 10).Build();
  }();
  return info;
}

TGoodInstallationDlg::TGoodInstallationDlg(TComponent* owner) : TBaseInstallDlg(owner) {
  SetOrder(10);
  RegisterPage();
}
int TGoodInstallationDlg::StandAloneCall() const { return kCallGoodInstall; }

const ClassInfo& TBadInstallationDlg::StaticClassInfo() {
  static const ClassInfo info = [] {
    ClassBuilder<TBadInstallationDlg> b("TBadInstallationDlg", &TBaseInstallDlg::StaticClassInfo());
    b.Creatable();
    return PageDialogProperties(b, 10).Build();
  }();
  return info;
}

TBadInstallationDlg::TBadInstallationDlg(TComponent* owner) : TBaseInstallDlg(owner) {
  SetOrder(10);
  RegisterPage();
}
int TBadInstallationDlg::StandAloneCall() const { return kCallBadInstall; }

// --- The windows of the installation's work -------------------------------------------

namespace {

// The properties the window dialogs share; `with_manager` adds
// DialogManager.
template <class D>
ClassBuilder<D>& WindowDialogProperties(ClassBuilder<D>& b, bool with_manager) {
  using C = TCustomBaseInstallDlg;
  b.Property("AutoSetFont", &C::AutoSetFont, &C::SetAutoSetFont, true)
      .Property("AutoTranslate", &C::AutoTranslate, &C::SetAutoTranslate, true)
      .Reference("Container", "TInstallContainer", &C::Container, &C::SetContainer);
  if (with_manager) b.Reference("DialogManager", "TDialogManager", &C::DialogManager, &C::SetDialogManager);
  b.Property("OverrideMainTranslator", &C::OverrideMainTranslator, &C::SetOverrideMainTranslator, false)
      .Picture("ThemeBitmap", static_cast<TPicture& (C::*)()>(&C::ThemeBitmap))
      .Enum("TranslateIntoLanguage", kBrwlLanguageInfo, &C::TranslateIntoLanguage, &C::SetTranslateIntoLanguage,
            blUser);
  return b;
}

void Withdraw(std::vector<TBIFEntry>& entries, const TCustomBaseInstallDlg* dialog) {
  std::erase_if(entries, [dialog](const TBIFEntry& e) { return e.dialog == dialog; });
}

}  // namespace

const ClassInfo& TCustomWindowDlg::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TCustomWindowDlg>("TCustomWindowDlg", &TCustomBaseInstallDlg::StaticClassInfo()).Build();
  return info;
}

const ClassInfo& TCopyFileDlg::StaticClassInfo() {
  static const ClassInfo info = [] {
    using D = TCopyFileDlg;
    ClassBuilder<D> b("TCopyFileDlg", &TCustomWindowDlg::StaticClassInfo());
    b.Creatable();
    WindowDialogProperties(b, true);
    return b.Property("Height", &D::Height, &D::SetHeight, 146)
        .Enum("Position", kDialogPositionInfo, &D::Position, &D::SetPosition, TBrimwellDialogPosition::bdpBottomCenter)
        .Property("RelativeLeftOffset", &D::RelativeLeftOffset, &D::SetRelativeLeftOffset, 0)
        .Property("RelativeTopOffset", &D::RelativeTopOffset, &D::SetRelativeTopOffset, 30)
        .Property("Width", &D::Width, &D::SetWidth, 474)
        .Build();
  }();
  return info;
}

TCopyFileDlg::TCopyFileDlg(TComponent* owner) : TCustomWindowDlg(owner) {
  if (Context() != nullptr) TBIFList::Of(*Context()).DuringCopyEntries().push_back({FormClass(), this, 0});
}

TCopyFileDlg::~TCopyFileDlg() {
  if (Context() != nullptr) Withdraw(TBIFList::Of(*Context()).DuringCopyEntries(), this);
}

const ClassInfo& TInstallStatusDlg::StaticClassInfo() {
  static const ClassInfo info = [] {
    ClassBuilder<TInstallStatusDlg> b("TInstallStatusDlg", &TCustomWindowDlg::StaticClassInfo());
    b.Creatable();
    return WindowDialogProperties(b, false).Build();
  }();
  return info;
}

TInstallStatusDlg::TInstallStatusDlg(TComponent* owner) : TCustomWindowDlg(owner) {}

void TInstallStatusDlg::HandleComponentCall(TInstallContainer*, int call, TPersistent* po) {
  WizardHost* host = WizardHostOf(Context());
  if (call == kCallShowStatus) {
    if (po == nullptr) Raise<IException>(Context(), kStatusNilPO, {DisplayName()});
    auto* message = dynamic_cast<TMessageParameter*>(po);
    if (message == nullptr) Raise<IException>(Context(), kNotMessageParameter, {DisplayName()});
    texts_.push_back(message->Text);
    if (host != nullptr) host->ShowStatus(*this, texts_.back());
  } else if (call == kCallHideStatus) {
    if (!texts_.empty()) texts_.pop_back();
    if (host == nullptr) return;
    if (texts_.empty()) {
      host->HideStatus(*this);
    } else {
      host->ShowStatus(*this, texts_.back());
    }
  }
}

const ClassInfo& TChangeDiskDlg::StaticClassInfo() {
  static const ClassInfo info = [] {
    ClassBuilder<TChangeDiskDlg> b("TChangeDiskDlg", &TCustomWindowDlg::StaticClassInfo());
    b.Creatable();
    return WindowDialogProperties(b, true).Build();
  }();
  return info;
}

TChangeDiskDlg::TChangeDiskDlg(TComponent* owner) : TCustomWindowDlg(owner) {
  if (Context() != nullptr) TBIFList::Of(*Context()).ChangeDiskEntries().push_back({FormClass(), this, 0});
}

TChangeDiskDlg::~TChangeDiskDlg() {
  if (Context() != nullptr) Withdraw(TBIFList::Of(*Context()).ChangeDiskEntries(), this);
}

void RegisterWizardClasses(ClassRegistry& registry) {
  registry.Register<TDialogManager>();
  registry.Register<TCustomBaseInstallDlg>();
  registry.Register<TBaseInstallDlg>();
  registry.Register<TWelcomeDlg>();
  registry.Register<TLicenseDlg>();
  registry.Register<TReadmeDlg>();
  registry.Register<TInstallTypeDlg>();
  registry.Register<TInstallFileGroupsDlg>();
  registry.Register<TSelectFolderDlg>();
  registry.Register<TRebootDlg>();
  registry.Register<TGoodInstallationDlg>();
  registry.Register<TBadInstallationDlg>();
  registry.Register<TCustomWindowDlg>();
  registry.Register<TCopyFileDlg>();
  registry.Register<TInstallStatusDlg>();
  registry.Register<TChangeDiskDlg>();
}

}  // namespace brimwell
