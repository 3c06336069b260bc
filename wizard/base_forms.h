// The page forms and the wizard window, with Qt Widgets.
//
// TBaseBrimwellForm is a designed page: a translatable form owning its
// controls (wizard_controls.h) and drawing them in one root widget.
// TBaseInstallForm is a wizard page with the common frame of the standard
// pages (theme picture on the left, Previous/Next/Cancel at the bottom, the
// content in between) and the navigation calls of its buttons.
// TBaseFormContainer is the wizard window: it builds the pages of the
// current manager from the page list, sorts them by Order and moves between
// them, asking each page whether it is skipped. QtWizardHost attaches all
// this to an engine context: it runs the wizards and the stand-alone pages
// (unattended runs build the pages and press Next on each without showing
// them).
#pragma once

#include <QDialog>

#include <exception>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "wizard/dialog_manager.h"
#include "wizard/wizard_controls.h"

namespace brimwell {

class TBaseFormContainer;
class TranslationSite;

class TBaseBrimwellForm : public QtControl<PlainControl>, public DialogPage {
 public:
  // A form of class `form_class` with a root widget inside `parent_widget`
  // (nullptr: a window of its own).
  TBaseBrimwellForm(EngineContext* ctx, const std::string& form_class, QWidget* parent_widget);
  ~TBaseBrimwellForm() override;

  EngineContext* Context() const { return ctx_; }
  const std::string& FormClass() const { return form_class_; }

  bool AutoSetFont() const { return auto_set_font_; }
  void SetAutoSetFont(bool v) { auto_set_font_ = v; }
  bool AutoTranslate() const { return auto_translate_; }
  void SetAutoTranslate(bool v) { auto_translate_ = v; }
  TInstallContainer* Container() const { return container_; }
  void SetContainer(TInstallContainer* c) { container_ = c; }
  bool OverrideMainTranslator() const { return override_main_translator_; }
  void SetOverrideMainTranslator(bool v) { override_main_translator_ = v; }
  TBrwlLanguage TranslateIntoLanguage() const { return translate_into_; }
  void SetTranslateIntoLanguage(TBrwlLanguage v) { translate_into_ = v; }
  TBrwlLanguage CurrentLanguage() const { return current_language_; }

  // Called at every activation; fills the controls from the tree.
  virtual void PreparePage() {}
  // Sets the font and translates the texts as the settings say, then lays
  // the page out again.
  void Translate() override;
  void Retranslate() { Translate(); }

  // DialogPage.
  void CopyDialogSettings(TCustomBaseInstallDlg& dialog) override;
  void AssignFrom(TCustomBaseInstallDlg&) override {}

 protected:
  // The translation site the texts are translated through.
  const TranslationSite* Site() const;
  // Texts set anew in English are translated from English again.
  void SetCurrentLanguage(TBrwlLanguage language) { current_language_ = language; }

 private:
  EngineContext* ctx_;
  std::string form_class_;
  std::unique_ptr<QWidget> own_window_;  // when the form has no parent widget
  bool auto_set_font_ = true;
  bool auto_translate_ = true;
  TInstallContainer* container_ = nullptr;
  bool override_main_translator_ = false;
  TBrwlLanguage translate_into_ = blUser;
  TBrwlLanguage current_language_ = blEnglish;
};

class TBaseInstallForm : public TBaseBrimwellForm {
 public:
  // Size of the page's client area as designed.
  static constexpr int kPageWidth = 470;
  static constexpr int kPageHeight = 368;

  // Builds the common frame; the content border is the space kept inside
  // the content panel.
  TBaseInstallForm(EngineContext* ctx, const std::string& form_class, QWidget* parent_widget, int content_border);

  // The dialog that owns the page (nullptr: a free page), its manager and
  // its Order.
  TCustomBaseInstallDlg* DC() const { return dc_; }
  void SetDC(TCustomBaseInstallDlg* dc) { dc_ = dc; }
  TDialogManager* DM() const { return dm_; }
  void SetDM(TDialogManager* dm) { dm_ = dm; }
  std::int32_t Order() const { return order_; }
  void SetOrder(std::int32_t order) { order_ = order; }

  // The wizard window showing the page; nullptr when the page runs alone.
  TBaseFormContainer* Wizard() const { return wizard_; }
  void SetWizard(TBaseFormContainer* wizard) { wizard_ = wizard; }
  // The window of a page shown alone.
  QDialog* AloneWindow() const { return alone_; }
  void SetAloneWindow(QDialog* window) { alone_ = window; }

  bool IsFirstPage() const;
  bool IsLastPage() const;
  virtual void LeavePage() {}
  virtual bool SkipPage() { return false; }
  void CancelWithoutConfirm();
  void NextPage();
  void PreviousPage();
  // PreparePage, then the page comes to the front.
  void ActivatePage();
  // Asks for confirmation, then ends the wizard (or the page alone) with
  // Cancel.
  virtual void CancelPage();
  // Unattended runs pass each page without showing it; a page may say
  // something on the way.
  virtual void RunUnattended() {}
  // Runs what a button or key asks for. An exception cannot cross the
  // window system's event loop: it ends the wizard (or the page shown
  // alone) with Cancel and leaves the run with the wizard's return.
  void Safely(const std::function<void()>& action);
  // The exception that ended a page shown alone.
  std::exception_ptr AloneError() const { return alone_error_; }

  void CopyDialogSettings(TCustomBaseInstallDlg& dialog) override;
  // The common part of the pages' AssignDialogProperties: Previous hidden,
  // Next closes a page shown alone with OK, the theme picture.
  void AssignFrom(TCustomBaseInstallDlg& dialog) override;

  // The common frame.
  WizPanel* ThemePanel() const { return theme_panel_; }
  WizImage* ThemeBitmap() const { return theme_bitmap_; }
  WizPanel* ButtonPanel() const { return button_panel_; }
  WizButton* BackBtn() const { return back_; }
  WizButton* ProceedBtn() const { return proceed_; }
  WizButton* CancelBtn() const { return cancel_; }
  WizPanel* Content() const { return content_; }
  // Fills ThemeBitmap: the dialog's picture, else the driver's
  // DialogThemeBitmap, else the built-in INSTALLTHEME1; a picture that
  // cannot be drawn gives way to the next.
  void ApplyThemeBitmap(const TCustomBaseInstallDlg* dialog);
  // Previous is shown unless this is the first page; Next takes the focus.
  void PrepareButtons();

 private:
  TCustomBaseInstallDlg* dc_ = nullptr;
  TDialogManager* dm_ = nullptr;
  std::int32_t order_ = 0;
  TBaseFormContainer* wizard_ = nullptr;
  QDialog* alone_ = nullptr;
  std::exception_ptr alone_error_;
  WizPanel* theme_panel_;
  WizImage* theme_bitmap_;
  WizPanel* button_panel_;
  WizButton* back_;
  WizButton* proceed_;
  WizButton* cancel_;
  WizPanel* content_;
};

// A window shown while files are copied (progress, status).
class TBaseDuringCopyForm : public TBaseBrimwellForm {
 public:
  TBaseDuringCopyForm(EngineContext* ctx, const std::string& form_class);
  TDialogManager* DM() const { return dm_; }
  void SetDM(TDialogManager* dm) { dm_ = dm; }
  // A confirmed cancel sets the archive component's abort flag and cancels
  // the downloads; the window stays until the copy pass ends.
  void CancelCopy();
  virtual void UpdateProgress(TFileStatusParameter*, TDownloadStatusParameter*) {}

 private:
  TDialogManager* dm_ = nullptr;
};

// The next-disk prompt.
class TBaseChangeDiskForm : public TBaseBrimwellForm {
 public:
  TBaseChangeDiskForm(EngineContext* ctx, const std::string& form_class);
  TDialogManager* DM() const { return dm_; }
  void SetDM(TDialogManager* dm) { dm_ = dm; }
  TDiskParameter* DiskParameter() const { return disk_; }
  void SetDiskParameter(TDiskParameter* disk) { disk_ = disk; }
  // The window the prompt runs in (set while it runs).
  QDialog* Window() const { return window_; }
  void SetWindow(QDialog* window) { window_ = window; }
  // A confirmed cancel closes the prompt with Cancel.
  void CancelDisk();

 private:
  TDialogManager* dm_ = nullptr;
  TDiskParameter* disk_ = nullptr;
  QDialog* window_ = nullptr;
};

using DuringCopyFormFactory = std::function<std::unique_ptr<TBaseDuringCopyForm>(EngineContext*)>;
using ChangeDiskFormFactory = std::function<std::unique_ptr<TBaseChangeDiskForm>(EngineContext*)>;

// Makes a page form of one class inside a parent widget.
using PageFormFactory = std::function<std::unique_ptr<TBaseInstallForm>(EngineContext*, QWidget*)>;

// The wizard window.
class TBaseFormContainer : public QDialog {
 public:
  TBaseFormContainer(EngineContext& ctx, TDialogManager& manager);
  ~TBaseFormContainer() override;

  // Builds the pages of the current manager (IException kNoCurrentManager
  // without one) from the page list and sorts them by Order.
  void BuildPages(const std::map<std::string, PageFormFactory>& factories);
  // Places the window (outer size Width x Height of the manager).
  void PlaceWindow(TBrimwellDialogPosition position, int left_offset, int top_offset);

  int PageCount() const { return static_cast<int>(pages_.size()); }
  TBaseInstallForm* Page(int index) const { return pages_[static_cast<std::size_t>(index)].get(); }
  TBaseInstallForm* CurrentPage() const;
  int TabIndex() const { return tab_index_; }
  bool Finished() const { return finished_; }
  QWidget* DisplayPanel() const { return display_panel_; }

  bool GoToPage(int index, bool backwards);
  // The first page that is not skipped (the show handler).
  void ShowFirstPage();
  void NextPage();
  void PreviousPage();
  bool IsFirstPage() const;
  bool IsLastPage() const;
  // Ends the wizard with Cancel, no questions asked.
  void CancelWizard();
  // Ends the wizard with Cancel because of `error`, which the wizard's
  // caller rethrows.
  void Fail(std::exception_ptr error);
  std::exception_ptr Error() const { return error_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Escape: the current page's Cancel.
  void reject() override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  EngineContext& ctx_;
  TDialogManager& manager_;
  QWidget* display_panel_;
  std::vector<std::unique_ptr<TBaseInstallForm>> pages_;
  int tab_index_ = -1;
  bool finished_ = false;
  bool cancelled_ = false;
  bool sizing_ = true;
  std::exception_ptr error_;
};

class QtWizardHost : public WizardHost {
 public:
  explicit QtWizardHost(EngineContext& ctx);

  // Makes `form_class` known; `free_page` also enters it in the page list
  // without a dialog (a page of the project's own that names its manager).
  void RegisterForm(const std::string& form_class, PageFormFactory factory, bool free_page = false);
  const std::map<std::string, PageFormFactory>& Factories() const { return factories_; }

  // The windows of the copy and of disk requests, by form class, entered
  // in their lists as windows of no dialog.
  void RegisterDuringCopyForm(const std::string& form_class, DuringCopyFormFactory factory,
                              TCustomBaseInstallDlg* dialog = nullptr);
  void RegisterChangeDiskForm(const std::string& form_class, ChangeDiskFormFactory factory);
  // The same without an entry: the class's dialogs enter themselves.
  void AddDuringCopyFactory(const std::string& form_class, DuringCopyFormFactory factory);
  void AddChangeDiskFactory(const std::string& form_class, ChangeDiskFormFactory factory);

  bool RunWizard(TDialogManager& manager) override;
  bool RunAlone(TCustomBaseInstallDlg& dialog) override;
  void UpdateDuringCopy(TDialogManager& manager, TFileStatusParameter* file,
                        TDownloadStatusParameter* download) override;
  void CloseDuringCopy(TDialogManager& manager) override;
  bool HasChangeDiskForm(TDialogManager& manager) override;
  bool RunChangeDisk(TDialogManager& manager, TDiskParameter& disk) override;
  void ShowStatus(TInstallStatusDlg& dialog, const std::string& text) override;
  void HideStatus(TInstallStatusDlg& dialog) override;
  // The status window of `dialog` once it was shown (nullptr before).
  TBaseBrimwellForm* StatusForm(const TInstallStatusDlg& dialog) const;
  // The during-copy forms open for `manager`.
  std::vector<TBaseDuringCopyForm*> OpenDuringCopyForms(const TDialogManager& manager) const;

  // Test hook: called with each wizard window after it is built and shown
  // on its first page, before the modal loop (nullptr: none).
  std::function<void(TBaseFormContainer&)> OnWizardShown;
  // Test hook: called with each page shown alone, before its modal loop.
  std::function<void(TBaseInstallForm&)> OnPageShown;
  // Test hook: called with the next-disk prompt before its modal loop.
  std::function<void(TBaseChangeDiskForm&)> OnChangeDiskShown;

 private:
  // Hides the copy and status windows while a page is shown.
  void HideWorkWindows();
  // A form of the first next-disk entry with its dialog's settings.
  std::unique_ptr<TBaseChangeDiskForm> MakeChangeDiskForm();

  struct OpenForm {
    const TDialogManager* manager;
    std::unique_ptr<TBaseDuringCopyForm> form;
  };

  EngineContext& ctx_;
  std::map<std::string, PageFormFactory> factories_;
  std::map<std::string, DuringCopyFormFactory> during_copy_factories_;
  std::map<std::string, ChangeDiskFormFactory> change_disk_factories_;
  std::vector<OpenForm> open_;
  std::map<const TInstallStatusDlg*, std::unique_ptr<TBaseBrimwellForm>> status_forms_;
  // Closed forms stay allocated, hidden, until the run ends.
  std::vector<std::unique_ptr<TBaseDuringCopyForm>> closed_;
};

// Places a copy window as its dialog says (Position, offsets, size).
void PositionDialog(const TCopyFileDlg& dialog, QWidget& window);

// Attaches a QtWizardHost with the standard pages to `ctx`; returns it.
QtWizardHost& AttachQtWizard(EngineContext& ctx);

// The built-in theme picture: a 117 x 290, 16-colour bitmap.
const TPicture& DefaultThemeBitmap();

}  // namespace brimwell
