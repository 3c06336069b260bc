// The wizard's components: TDialogManager, which runs the pages of one stage
// of the run (before the installation, after it, ...) as a wizard with
// Back/Next/Cancel, and TCustomBaseInstallDlg, the dialog component that
// puts one page into a manager's wizard or shows it alone. The install
// driver never calls them directly: it broadcasts component calls, and each
// manager and dialog reacts to the calls of its own stage.
//
// These classes hold what the project states and need no window system, so
// the command-line tools load projects with them. The pages themselves are
// drawn by a WizardHost that the user interface attaches to the engine's
// context (wizard/qt_wizard.h); without one, a wizard has no pages and
// returns at once.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/file_container.h"
#include "engine/install_object.h"
#include "framework/application.h"
#include "framework/picture.h"
#include "translate/brwl_language.h"

namespace brimwell {

class ClassRegistry;
class TCustomBaseInstallDlg;
class TDialogManager;
class TCustomInstall;
class TDiskParameter;
class TDownloadStatusParameter;
class TFileStatusParameter;
class TInstallStatusDlg;

enum class TManagerType {
  dmBeforeInstall,
  dmAfterGoodInstall,
  dmAfterBadInstall,
  dmDuringCopyFiles,
  dmChangeDisk,
  dmReboot
};
extern const EnumInfo kManagerTypeInfo;

// Row x 3 + column: rows are vertical centre, bottom, top; columns left,
// centre, right.
enum class TBrimwellDialogPosition {
  bdpCenterLeft,
  bdpCenter,
  bdpCenterRight,
  bdpBottomLeft,
  bdpBottomCenter,
  bdpBottomRight,
  bdpTopLeft,
  bdpTopCenter,
  bdpTopRight
};
extern const EnumInfo kDialogPositionInfo;

// Messages of the managers and dialogs.
inline constexpr char kNoFormToAssign[] = "Cannot AssignDialogProperties for %s because the Dialog is Nil";
inline constexpr char kNilDialog[] = "Cannot add a NIL Dialog to the Dialog Manager %s";
inline constexpr char kNoCurrentManager[] = "The current dialog manager is not defined";
inline constexpr char kInvalidBIFIndex[] = "%d is an invalid index in the BIFList";
inline constexpr char kBlankContainer[] = "Cannot run this dialog %s with a blank Container property";
// Messages of the during-copy calls (-998, -988; %s: the manager); a nil
// PO is refused with the engine's kNilPO.
inline constexpr char kNotFileStatus[] = "The PO object passed to %s is not a TFileStatusParameter object";
inline constexpr char kNotDownloadStatus[] = "The PO object passed to %s is not a TDownloadStatusParameter object";
// Messages of a disk request (-993); the last two are never translated.
inline constexpr char kChangeDiskNilPO[] =
    "The ParameterObject is Nil in the TDialogManager. Cannot show the change disk form";
inline constexpr char kChangeDiskNotList[] = "TChangeDiskDlg--PO is not a TList object";
inline constexpr char kChangeDiskTooFew[] = "TChangeDiskDlg--Not engouh parameters for status event";
inline constexpr char kChangeDiskBadFirst[] = "TChangeDiskDlg says bad first parameter";
inline constexpr char kChangeDiskBadSecond[] = "TChangeDiskDlg says bad second parameter";
// Messages of the status dialog (-974; %s: the dialog).
inline constexpr char kStatusNilPO[] = "%s got a nil PO parameter";
inline constexpr char kNotMessageParameter[] = "The PO object passed to %s is not a TMessageParameter object";
// The program folder dialog's container (%s: the dialog).
inline constexpr char kNotLinkGroup[] = "The container for %s must be a TCustomShellLinkGroup";
// Asked before a cancel when the project has no OnUserAbort handler.
inline constexpr char kConfirmCancel[] = "Are you sure you want to cancel the installation?";

// Where a window of width `w` and height `h` goes on a screen of `screen`
// with caption bars `caption` high (the halves of centring round to even).
WindowBounds PlaceWindow(TBrimwellDialogPosition position, int left_offset, int top_offset, ScreenSize screen,
                         int caption, int w, int h);

// One entry of the list of page forms: the form class, the dialog that
// owns the page (nullptr: a free page) and a spare number (always 0).
struct TBIFEntry {
  std::string form_class;
  TCustomBaseInstallDlg* dialog = nullptr;
  int spare = 0;
};

// The list of wizard page forms of one engine run, in registration order,
// and the manager that runs now. Kept as an extension of the context.
class TBIFList {
 public:
  // The list of `ctx`, made on first use.
  static TBIFList& Of(EngineContext& ctx);

  void Add(const std::string& form_class, TCustomBaseInstallDlg* dialog);
  // Withdraws the first entry of that class and dialog.
  void Remove(const std::string& form_class, TCustomBaseInstallDlg* dialog);
  const std::vector<TBIFEntry>& Entries() const { return entries_; }
  // The forms shown while files are copied (TDCFList) and the next-disk
  // forms, in registration order.
  std::vector<TBIFEntry>& DuringCopyEntries() { return during_copy_; }
  std::vector<TBIFEntry>& ChangeDiskEntries() { return change_disk_; }

  TDialogManager* CurrentManager() const { return current_; }
  void SetCurrentManager(TDialogManager* manager) { current_ = manager; }

 private:
  std::vector<TBIFEntry> entries_;
  std::vector<TBIFEntry> during_copy_;
  std::vector<TBIFEntry> change_disk_;
  TDialogManager* current_ = nullptr;
};

// What a dialog component needs of its live page form (the user interface
// implements it).
class DialogPage {
 public:
  virtual ~DialogPage() = default;
  // Copies the dialog's settings (fonts, translation, container, owner)
  // into the page.
  virtual void CopyDialogSettings(TCustomBaseInstallDlg& dialog) = 0;
  // The page's own part of AssignDialogProperties.
  virtual void AssignFrom(TCustomBaseInstallDlg& dialog) = 0;
  // Sets the page's font and translates its texts as its settings say.
  virtual void Translate() = 0;
};

// The user interface that shows the pages: attached to the context by the
// wizard's Qt side.
class WizardHost {
 public:
  virtual ~WizardHost() = default;
  // Runs the wizard of the current manager (TBIFList::CurrentManager);
  // returns false when the user cancelled.
  virtual bool RunWizard(TDialogManager& manager) = 0;
  // Shows the dialog's page alone; false for anything but OK.
  virtual bool RunAlone(TCustomBaseInstallDlg& dialog) = 0;
  // The during-copy forms of `manager`, opened at the first update; one of
  // the two parameters is given.
  virtual void UpdateDuringCopy(TDialogManager&, TFileStatusParameter*, TDownloadStatusParameter*) {}
  virtual void CloseDuringCopy(TDialogManager&) {}
  // Whether the first next-disk form belongs to `manager`.
  virtual bool HasChangeDiskForm(TDialogManager&) { return false; }
  // Shows that form for `disk` (its path may change); false for Cancel.
  virtual bool RunChangeDisk(TDialogManager&, TDiskParameter&) { return true; }
  // The status window of `dialog`: shows `text`, or goes.
  virtual void ShowStatus(TInstallStatusDlg&, const std::string&) {}
  virtual void HideStatus(TInstallStatusDlg&) {}
};

// The wizard host of `ctx`, or nullptr.
WizardHost* WizardHostOf(EngineContext* ctx);
// Attaches `host` to `ctx` (replacing an earlier one).
void AttachWizardHost(EngineContext& ctx, std::unique_ptr<WizardHost> host);

// The first dialog manager of `type` whose Container is the driver.
TDialogManager* FindDialogManager(EngineContext* ctx, TManagerType type);

// The cancel question: the driver's OnUserAbort when the project set one
// (QuitOut preset to true), else a Yes/No box (default No); yes without a
// driver. Unattended runs never press Cancel.
bool ConfirmUserAbort(EngineContext* ctx);

class TDialogManager : public TInstallObject {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TDialogManager(TComponent* owner);
  ~TDialogManager() override;

  TManagerType ManagerType() const { return manager_type_; }
  void SetManagerType(TManagerType type) { manager_type_ = type; }
  std::int32_t Height() const { return height_; }
  void SetHeight(std::int32_t h) { height_ = h; }
  std::int32_t Width() const { return width_; }
  void SetWidth(std::int32_t w) { width_ = w; }
  TBrimwellDialogPosition Position() const { return position_; }
  void SetPosition(TBrimwellDialogPosition p) { position_ = p; }
  std::int32_t RelativeLeftOffset() const { return left_offset_; }
  void SetRelativeLeftOffset(std::int32_t v) { left_offset_ = v; }
  std::int32_t RelativeTopOffset() const { return top_offset_; }
  void SetRelativeTopOffset(std::int32_t v) { top_offset_ = v; }

  int ComponentType() const override;
  void ContainerDestroyed(TInstallContainer* container) override;
  void HandleComponentCall(TInstallContainer* container, int call, TPersistent* po) override;

  // Runs the wizard of this stage; throws EAIUserAbort when cancelled.
  virtual void Execute();
  // A disk request: [file, TDiskParameter] (the messages above for another
  // PO); the request is marked handled and the next-disk form shown.
  // Throws EAIUserAbort when the user cancels it.
  virtual void ShowChangeDisk(TPersistent* po);
  // Throws IException kNilDialog for nullptr.
  virtual void AddDialog(TCustomBaseInstallDlg* dialog);
  virtual void RemoveDialog(TCustomBaseInstallDlg* dialog);
  const std::vector<TCustomBaseInstallDlg*>& Dialogs() const { return dialogs_; }

 private:
  TManagerType manager_type_ = TManagerType::dmBeforeInstall;
  std::int32_t height_ = 395;
  std::int32_t width_ = 478;
  TBrimwellDialogPosition position_ = TBrimwellDialogPosition::bdpCenter;
  std::int32_t left_offset_ = 0;
  std::int32_t top_offset_ = 0;
  std::vector<TCustomBaseInstallDlg*> dialogs_;  // bookkeeping only
};

class TCustomBaseInstallDlg : public TInstallObject {
  BRIMWELL_CLASS_INFO()

 public:
  using TNotifyEvent = std::function<void(TCustomBaseInstallDlg* sender)>;

  explicit TCustomBaseInstallDlg(TComponent* owner);
  ~TCustomBaseInstallDlg() override;

  bool AutoSetFont() const { return auto_set_font_; }
  void SetAutoSetFont(bool v) { auto_set_font_ = v; }
  bool AutoTranslate() const { return auto_translate_; }
  void SetAutoTranslate(bool v) { auto_translate_ = v; }
  TDialogManager* DialogManager() const { return dialog_manager_; }
  virtual void SetDialogManager(TDialogManager* manager);
  bool OverrideMainTranslator() const { return override_main_translator_; }
  void SetOverrideMainTranslator(bool v) { override_main_translator_ = v; }
  TPicture& ThemeBitmap() { return theme_bitmap_; }
  const TPicture& ThemeBitmap() const { return theme_bitmap_; }
  virtual void SetThemeBitmap(const TPicture& picture) { theme_bitmap_.Assign(picture); }
  TBrwlLanguage TranslateIntoLanguage() const { return translate_into_; }
  void SetTranslateIntoLanguage(TBrwlLanguage v) { translate_into_ = v; }

  TNotifyEvent OnBeforeExecute;
  TNotifyEvent OnAfterExecute;

  // The live page form while one exists.
  DialogPage* Form() const { return form_; }
  void SetForm(DialogPage* form) { form_ = form; }
  // The language the page is in now.
  TBrwlLanguage CurrentLanguage() const { return current_language_; }
  void SetCurrentLanguage(TBrwlLanguage language) { current_language_ = language; }

  int ComponentType() const override;
  void ContainerDestroyed(TInstallContainer* container) override;
  void HandleComponentCall(TInstallContainer* container, int call, TPersistent* po) override;
  void TranslateSelf() override { Translate(); }

  // The page form class this dialog shows ("TWelcomeForm", ...).
  virtual std::string FormClass() const = 0;
  // The component call on which a dialog without a manager runs alone.
  virtual int StandAloneCall() const = 0;
  // The manager type whose manager this dialog's pages belong to by
  // default.
  virtual TManagerType DefaultManagerType() const { return TManagerType::dmBeforeInstall; }
  virtual bool CanExecute() { return true; }
  // Stand-alone run: events around DoExecute; the silent abort is
  // swallowed. Returns true for OK.
  virtual bool Execute();
  // Shows the page alone; throws EAIUserAbort unless it closes with OK.
  virtual bool DoExecute();
  // Copies the settings into the live Form (kNoFormToAssign without one)
  // and lets the page adjust its buttons.
  virtual void AssignDialogProperties();
  virtual void Translate();

 protected:
  // Enters (FormClass, this) in the page list; the constructor of each
  // dialog class calls it, once FormClass answers for that class.
  void RegisterPage();

 private:
  std::string registered_class_;
  bool auto_set_font_ = true;
  bool auto_translate_ = true;
  TDialogManager* dialog_manager_ = nullptr;
  bool override_main_translator_ = false;
  TPicture theme_bitmap_;
  TBrwlLanguage translate_into_ = blUser;
  DialogPage* form_ = nullptr;
  TBrwlLanguage current_language_ = blEnglish;
};

// The published form of a page dialog.
class TBaseInstallDlg : public TCustomBaseInstallDlg {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TBaseInstallDlg(TComponent* owner) : TCustomBaseInstallDlg(owner) {}
};

// The welcome, licence and readme dialogs (Order 10, 20, 30).
class TWelcomeDlg : public TBaseInstallDlg {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TWelcomeDlg(TComponent* owner);
  std::string FormClass() const override { return "TWelcomeForm"; }
  int StandAloneCall() const override;
};

class TLicenseDlg : public TBaseInstallDlg {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TLicenseDlg(TComponent* owner);
  std::string FormClass() const override { return "TLicenseForm"; }
  int StandAloneCall() const override;
  const std::vector<std::string>& LicenseAgreement() const { return license_; }
  void SetLicenseAgreement(const std::vector<std::string>& lines) { license_ = lines; }

 private:
  std::vector<std::string> license_;
};

class TReadmeDlg : public TBaseInstallDlg {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TReadmeDlg(TComponent* owner);
  std::string FormClass() const override { return "TReadmeForm"; }
  int StandAloneCall() const override;
  const std::vector<std::string>& ReadmeText() const { return readme_; }
  void SetReadmeText(const std::vector<std::string>& lines) { readme_ = lines; }

 private:
  std::vector<std::string> readme_;
};

// The install type page (Order 40); alone it needs a Container.
class TInstallTypeDlg : public TBaseInstallDlg {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TInstallTypeDlg(TComponent* owner);
  std::string FormClass() const override { return "TInstallTypeForm"; }
  int StandAloneCall() const override;
  // Throws IException kBlankContainer without a Container.
  bool DoExecute() override;
};

// The file group page (Order 50); alone (call -992) it needs a Container.
class TInstallFileGroupsDlg : public TBaseInstallDlg {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TInstallFileGroupsDlg(TComponent* owner);
  std::string FormClass() const override { return "TFileGroupSelectForm"; }
  int StandAloneCall() const override;
  // Throws IException kBlankContainer without a Container.
  bool DoExecute() override;
};

// The program folder page (Order 60); its Container is a link group, by
// default the main link group there is when the dialog is made. Alone
// (call -991) it needs one.
class TSelectFolderDlg : public TBaseInstallDlg {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TSelectFolderDlg(TComponent* owner);
  std::string FormClass() const override { return "TSelectFolderForm"; }
  int StandAloneCall() const override;
  // Throws IException kBlankContainer without a Container.
  bool DoExecute() override;
  // The container as a link group; throws IException kNotLinkGroup when
  // it holds anything else.
  TInstallContainer* LinkGroup() const;
};

// The closing pages: the reboot question (-987, dmReboot), the good and
// the bad installation (-995, -994).
class TRebootDlg : public TBaseInstallDlg {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TRebootDlg(TComponent* owner);
  std::string FormClass() const override { return "TRebootForm"; }
  int StandAloneCall() const override;
  TManagerType DefaultManagerType() const override { return TManagerType::dmReboot; }
};

class TGoodInstallationDlg : public TBaseInstallDlg {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TGoodInstallationDlg(TComponent* owner);
  std::string FormClass() const override { return "TGoodInstallForm"; }
  int StandAloneCall() const override;
  TManagerType DefaultManagerType() const override { return TManagerType::dmAfterGoodInstall; }
  // The project's own words for the end of the run, one paragraph a line
  // (at most four; more are joined to the fourth). Empty: the standard
  // sentence, translated.
  const std::vector<std::string>& CompletionText() const { return completion_; }
  void SetCompletionText(const std::vector<std::string>& lines) { completion_ = lines; }

 private:
  std::vector<std::string> completion_;
};

class TBadInstallationDlg : public TBaseInstallDlg {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TBadInstallationDlg(TComponent* owner);
  std::string FormClass() const override { return "TBadInstallForm"; }
  int StandAloneCall() const override;
  TManagerType DefaultManagerType() const override { return TManagerType::dmAfterBadInstall; }
};

// The dialogs of the windows shown while the installation works: they are
// no wizard pages and answer no call of their own (the status dialog
// answers -974 and -973).
class TCustomWindowDlg : public TCustomBaseInstallDlg {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TCustomWindowDlg(TComponent* owner) : TCustomBaseInstallDlg(owner) {}
  int StandAloneCall() const override { return 0; }
  bool DoExecute() override { return true; }
};

// The copy progress window (TCopyFileForm) with its own size and place.
class TCopyFileDlg : public TCustomWindowDlg {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TCopyFileDlg(TComponent* owner);
  ~TCopyFileDlg() override;
  std::string FormClass() const override { return "TCopyFileForm"; }
  TManagerType DefaultManagerType() const override { return TManagerType::dmDuringCopyFiles; }
  std::int32_t Height() const { return height_; }
  void SetHeight(std::int32_t h) { height_ = h; }
  std::int32_t Width() const { return width_; }
  void SetWidth(std::int32_t w) { width_ = w; }
  TBrimwellDialogPosition Position() const { return position_; }
  void SetPosition(TBrimwellDialogPosition p) { position_ = p; }
  std::int32_t RelativeLeftOffset() const { return left_offset_; }
  void SetRelativeLeftOffset(std::int32_t v) { left_offset_ = v; }
  std::int32_t RelativeTopOffset() const { return top_offset_; }
  void SetRelativeTopOffset(std::int32_t v) { top_offset_ = v; }

 private:
  std::int32_t height_ = 146;
  std::int32_t width_ = 474;
  TBrimwellDialogPosition position_ = TBrimwellDialogPosition::bdpBottomCenter;
  std::int32_t left_offset_ = 0;
  std::int32_t top_offset_ = 30;
};

// The status window: a stack of texts, the newest shown.
class TInstallStatusDlg : public TCustomWindowDlg {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TInstallStatusDlg(TComponent* owner);
  std::string FormClass() const override { return "TInstallStatusForm"; }
  // -974: a TMessageParameter's text is pushed and shown (the messages
  // above for another PO); -973: the newest goes and the one below it is
  // shown, or the window goes with the last.
  void HandleComponentCall(TInstallContainer* container, int call, TPersistent* po) override;
  const std::vector<std::string>& Texts() const { return texts_; }

 private:
  std::vector<std::string> texts_;
};

// The next-disk window (TChangeDiskForm).
class TChangeDiskDlg : public TCustomWindowDlg {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TChangeDiskDlg(TComponent* owner);
  ~TChangeDiskDlg() override;
  std::string FormClass() const override { return "TChangeDiskForm"; }
  TManagerType DefaultManagerType() const override { return TManagerType::dmChangeDisk; }
};

// Registers the managers and dialogs.
void RegisterWizardClasses(ClassRegistry& registry);

}  // namespace brimwell
