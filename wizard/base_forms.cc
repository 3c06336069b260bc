#include "wizard/base_forms.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPushButton>
#include <QScreen>

#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "engine/install.h"
#include "engine/parameter_objects.h"
#include "netloc/net_location_state.h"
#include "archive/brwl_compress.h"
#include "engine/project_form.h"
#include "translate/translation_site.h"
#include "translate/translator.h"
#include "wizard/copy_windows.h"

namespace brimwell {

// --- TBaseBrimwellForm ------------------------------------------------------------

TBaseBrimwellForm::TBaseBrimwellForm(EngineContext* ctx, const std::string& form_class, QWidget* parent_widget)
    : QtControl<PlainControl>(nullptr, new QWidget(parent_widget), ControlRole::kForm, true),
      ctx_(ctx),
      form_class_(form_class) {
  if (parent_widget == nullptr) own_window_.reset(Widget());
  SetName(form_class.size() > 1 ? form_class.substr(1) : form_class);
  // The designed font: Arial 8 pt in the ANSI character set.
  TFont font;
  font.SetCharset(0);
  SetControlFont(font);
  Widget()->setAutoFillBackground(true);
}

TBaseBrimwellForm::~TBaseBrimwellForm() {
  // The page's widgets go with it; the controls only watch theirs.
  if (own_window_ == nullptr) delete Widget();
}

const TranslationSite* TBaseBrimwellForm::Site() const {
  if (ctx_ == nullptr || ctx_->Driver() == nullptr) return nullptr;
  return TranslationSiteOf(ctx_->Driver());
}

void TBaseBrimwellForm::Translate() {
  const TranslationSite* site = Site();
  if (site != nullptr) {
    if (auto_set_font_) {
      if (override_main_translator_) {
        SetFormFontsInto(site, translate_into_, this);
      } else {
        SetFormFonts(site, this);
      }
    }
    if (auto_translate_) {
      current_language_ = override_main_translator_
                              ? TranslateFormInto(site, current_language_, translate_into_, this)
                              : TranslateForm(site, current_language_, this);
    }
  }
  LayOutChildren();
  if (ctx_ != nullptr) ctx_->App().ProcessMessages();
}

void TBaseBrimwellForm::CopyDialogSettings(TCustomBaseInstallDlg& dialog) {
  auto_set_font_ = dialog.AutoSetFont();
  auto_translate_ = dialog.AutoTranslate();
  container_ = dialog.Container();
  override_main_translator_ = dialog.OverrideMainTranslator();
  translate_into_ = dialog.TranslateIntoLanguage();
}

// --- TBaseInstallForm ---------------------------------------------------------------

TBaseInstallForm::TBaseInstallForm(EngineContext* ctx, const std::string& form_class, QWidget* parent_widget,
                                   int content_border)
    : TBaseBrimwellForm(ctx, form_class, parent_widget) {
  SetBounds(0, 0, kPageWidth, kPageHeight);
  // Bottom first: the button panel spans the whole width.
  button_panel_ = new WizPanel(this, nullptr, this, "ButtonPanel");
  button_panel_->SetAlign(WizAlign::alBottom);
  button_panel_->SetBounds(0, 0, kPageWidth, 52);
  auto* bevel = new WizBevel(this, button_panel_, "Bevel1");
  bevel->SetBounds(0, 0, kPageWidth, 2);
  bevel->SetAlign(WizAlign::alTop);
  back_ = new WizButton(this, button_panel_, "BackBtn", 4, "< Previous");
  back_->SetBounds(208, 15, 75, 33);
  proceed_ = new WizButton(this, button_panel_, "ProceedBtn", 5, "Next >");
  proceed_->SetBounds(288, 15, 75, 33);
  cancel_ = new WizButton(this, button_panel_, "CancelBtn", 6, "Cancel");
  cancel_->SetBounds(368, 15, 89, 33);

  theme_panel_ = new WizPanel(this, nullptr, this, "ThemePanel");
  theme_panel_->SetAlign(WizAlign::alLeft);
  theme_panel_->SetBounds(0, 0, 136, kPageHeight - 52);
  theme_bitmap_ = new WizImage(this, theme_panel_, "ThemeBitmap");
  theme_bitmap_->SetAlign(WizAlign::alClient);

  content_ = new WizPanel(this, nullptr, this, "ContentPanel");
  content_->SetAlign(WizAlign::alClient);
  content_->SetBorderWidth(content_border);

  // Tab order follows the layout: the content first, then the buttons.
  QObject::connect(back_->Button(), &QPushButton::clicked, [this] { Safely([this] { PreviousPage(); }); });
  QObject::connect(proceed_->Button(), &QPushButton::clicked, [this] { Safely([this] { NextPage(); }); });
  QObject::connect(cancel_->Button(), &QPushButton::clicked, [this] { Safely([this] { CancelPage(); }); });
  proceed_->Button()->setDefault(true);

  // A new page shows the driver's theme picture until a dialog gives its own.
  ApplyThemeBitmap(nullptr);
}

bool TBaseInstallForm::IsFirstPage() const { return wizard_ != nullptr && wizard_->IsFirstPage(); }
bool TBaseInstallForm::IsLastPage() const { return wizard_ != nullptr && wizard_->IsLastPage(); }

void TBaseInstallForm::NextPage() {
  if (wizard_ != nullptr) {
    wizard_->NextPage();
  } else if (alone_ != nullptr) {
    // Next closes a page shown alone with OK.
    alone_->done(static_cast<int>(ModalResult::kOK));
  }
}

void TBaseInstallForm::PreviousPage() {
  if (wizard_ != nullptr) wizard_->PreviousPage();
}

void TBaseInstallForm::ActivatePage() {
  PreparePage();
  Widget()->raise();
}

void TBaseInstallForm::CancelWithoutConfirm() {
  if (wizard_ != nullptr) {
    wizard_->CancelWizard();
  } else if (alone_ != nullptr) {
    alone_->done(static_cast<int>(ModalResult::kCancel));
  }
}

void TBaseInstallForm::CancelPage() {
  if (!ConfirmUserAbort(Context())) return;
  CancelWithoutConfirm();
}

void TBaseInstallForm::Safely(const std::function<void()>& action) {
  try {
    action();
  } catch (...) {
    if (wizard_ != nullptr) {
      wizard_->Fail(std::current_exception());
    } else if (alone_ != nullptr) {
      if (!alone_error_) alone_error_ = std::current_exception();
      alone_->done(static_cast<int>(ModalResult::kCancel));
    } else {
      throw;
    }
  }
}

void TBaseInstallForm::CopyDialogSettings(TCustomBaseInstallDlg& dialog) {
  TBaseBrimwellForm::CopyDialogSettings(dialog);
  dc_ = &dialog;
}

void TBaseInstallForm::AssignFrom(TCustomBaseInstallDlg& dialog) {
  back_->SetVisible(false);
  ApplyThemeBitmap(&dialog);
}

void TBaseInstallForm::ApplyThemeBitmap(const TCustomBaseInstallDlg* dialog) {
  if (dialog != nullptr && !dialog->ThemeBitmap().Empty()) {
    theme_bitmap_->SetPicture(dialog->ThemeBitmap());
    if (theme_bitmap_->HasPicture()) return;
  }
  EngineContext* ctx = Context();
  if (ctx != nullptr && ctx->Driver() != nullptr && !ctx->Driver()->DialogThemeBitmap().Empty()) {
    theme_bitmap_->SetPicture(ctx->Driver()->DialogThemeBitmap());
    if (theme_bitmap_->HasPicture()) return;
  }
  theme_bitmap_->SetPicture(DefaultThemeBitmap());
}

void TBaseInstallForm::PrepareButtons() {
  back_->SetVisible(!IsFirstPage());
  if (proceed_->Visible() && Widget()->isVisible()) proceed_->Button()->setFocus();
}

// --- During-copy and next-disk forms ----------------------------------------------

TBaseDuringCopyForm::TBaseDuringCopyForm(EngineContext* ctx, const std::string& form_class)
    : TBaseBrimwellForm(ctx, form_class, nullptr) {}

void TBaseDuringCopyForm::CancelCopy() {
  EngineContext* ctx = Context();
  bool yes = false;
  try {
    yes = ConfirmUserAbort(ctx);
  } catch (const std::exception& e) {
    // Nothing may cross the window system's event loop: a question that
    // failed leaves the copy running.
    if (ctx != nullptr) ctx->Log().Write("wizard", std::string("the cancel question failed: ") + e.what());
  }
  if (!yes || ctx == nullptr) return;
  ctx->MainArchive().SetAbort(true);
  ctx->NetLocations().CancelDownloads();
  ctx->SetUserAbortRequested(true);
}

TBaseChangeDiskForm::TBaseChangeDiskForm(EngineContext* ctx, const std::string& form_class)
    : TBaseBrimwellForm(ctx, form_class, nullptr) {}

void TBaseChangeDiskForm::CancelDisk() {
  if (!ConfirmUserAbort(Context())) return;
  if (window_ != nullptr) window_->done(static_cast<int>(ModalResult::kCancel));
}

// --- TBaseFormContainer -----------------------------------------------------------------

TBaseFormContainer::TBaseFormContainer(EngineContext& ctx, TDialogManager& manager)
    : QDialog(QApplication::activeWindow(), Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ctx_(ctx),
      manager_(manager),
      display_panel_(new QWidget(this)) {
  setModal(true);
  // The wizard's outer size is the manager's; the client area is that
  // less a dialog frame of 4 pixels and a caption of 19.
  resize(std::max(0, manager.Width() - 8), std::max(0, manager.Height() - 27));
  display_panel_->setGeometry(0, 0, width(), height());
  sizing_ = false;
}

TBaseFormContainer::~TBaseFormContainer() {
  for (auto& page : pages_) {
    if (page->DC() != nullptr && page->DC()->Form() == page.get()) page->DC()->SetForm(nullptr);
  }
  pages_.clear();
}

void TBaseFormContainer::PlaceWindow(TBrimwellDialogPosition position, int left_offset, int top_offset) {
  Application& app = ctx_.App();
  WindowBounds b = brimwell::PlaceWindow(position, left_offset, top_offset, app.GetScreenSize(),
                                         app.CaptionHeight(), manager_.Width(), manager_.Height());
  move(b.left, b.top);
}

void TBaseFormContainer::BuildPages(const std::map<std::string, PageFormFactory>& factories) {
  TBIFList& list = TBIFList::Of(ctx_);
  TDialogManager* current = list.CurrentManager();
  if (current == nullptr) Raise<IException>(&ctx_, kNoCurrentManager);
  // A copy: creating pages must not disturb the walk.
  const std::vector<TBIFEntry> entries = list.Entries();
  for (const TBIFEntry& entry : entries) {
    TCustomBaseInstallDlg* dialog = entry.dialog;
    if (dialog != nullptr && (dialog->DialogManager() != current || !dialog->CanExecute())) continue;
    auto factory = factories.find(entry.form_class);
    // A page class the user interface does not know has nothing to show.
    if (factory == factories.end()) continue;
    std::unique_ptr<TBaseInstallForm> page = factory->second(&ctx_, display_panel_);
    if (page == nullptr) continue;
    if (dialog == nullptr && page->DM() != current) continue;
    page->SetWizard(this);
    page->SetDC(dialog);
    if (dialog != nullptr) {
      page->SetContainer(dialog->Container());
      page->SetOrder(dialog->Order());
      dialog->SetForm(page.get());
      dialog->AssignDialogProperties();
    }
    page->SetBounds(0, 0, display_panel_->width(), display_panel_->height());
    page->Translate();
    page->Widget()->hide();
    pages_.push_back(std::move(page));
  }
  // Exchange sort by Order, as the pages have always been sorted.
  for (std::size_t i = 0; i < pages_.size(); ++i) {
    for (std::size_t j = i + 1; j < pages_.size(); ++j) {
      if (pages_[i]->Order() > pages_[j]->Order()) std::swap(pages_[i], pages_[j]);
    }
  }
}

TBaseInstallForm* TBaseFormContainer::CurrentPage() const {
  return tab_index_ >= 0 && tab_index_ < PageCount() ? Page(tab_index_) : nullptr;
}

bool TBaseFormContainer::GoToPage(int index, bool backwards) {
  // A loop, not recursion: a long run of skipped pages costs no stack.
  while (index >= 0 && index < PageCount()) {
    TBaseInstallForm* page = Page(index);
    if (page->SkipPage()) {
      index += backwards ? -1 : 1;
      continue;
    }
    TBaseInstallForm* leaving = CurrentPage();
    tab_index_ = index;
    if (leaving != nullptr && leaving != page) leaving->Widget()->hide();
    setWindowTitle(ToQt(page->Caption()));
    page->Widget()->show();
    page->ActivatePage();
    return true;
  }
  return false;
}

void TBaseFormContainer::ShowFirstPage() {
  if (!GoToPage(0, true)) GoToPage(0, false);
}

void TBaseFormContainer::NextPage() {
  const int remembered = tab_index_;
  if (TBaseInstallForm* page = CurrentPage()) page->LeavePage();
  if (!GoToPage(tab_index_ + 1, false)) GoToPage(tab_index_ + 1, true);
  if (tab_index_ == remembered) {
    finished_ = true;
    done(static_cast<int>(ModalResult::kOK));
  }
}

void TBaseFormContainer::PreviousPage() {
  if (TBaseInstallForm* page = CurrentPage()) page->LeavePage();
  if (!GoToPage(tab_index_ - 1, true)) GoToPage(tab_index_ - 1, false);
}

bool TBaseFormContainer::IsFirstPage() const {
  for (int i = 0; i < tab_index_ && i < PageCount(); ++i) {
    if (!Page(i)->SkipPage()) return false;
  }
  return true;
}

bool TBaseFormContainer::IsLastPage() const { return tab_index_ == PageCount() - 1; }

void TBaseFormContainer::CancelWizard() {
  cancelled_ = true;
  done(static_cast<int>(ModalResult::kCancel));
}

void TBaseFormContainer::Fail(std::exception_ptr error) {
  if (!error_) error_ = error;
  CancelWizard();
}

void TBaseFormContainer::closeEvent(QCloseEvent* event) {
  if (finished_ || cancelled_) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TBaseFormContainer::reject() {
  if (TBaseInstallForm* page = CurrentPage()) {
    page->Safely([page] { page->CancelPage(); });
  } else {
    CancelWizard();
  }
}

void TBaseFormContainer::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  display_panel_->setGeometry(0, 0, width(), height());
  if (sizing_) return;
  for (auto& page : pages_) page->SetBounds(0, 0, width(), height());
  for (auto& page : pages_) page->LayOutChildren();
}

// --- The host -----------------------------------------------------------------------------

namespace {

// The window of a page shown alone: Escape is the page's Cancel, and the
// window cannot be closed another way.
class AloneWindow final : public QDialog {
 public:
  explicit AloneWindow(QWidget* parent)
      : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setModal(true);
  }
  TBaseInstallForm* page = nullptr;
  bool closing = false;

  void done(int result) override {
    closing = true;
    QDialog::done(result);
  }

 protected:
  void reject() override {
    if (page != nullptr) page->Safely([this] { page->CancelPage(); });
  }
  void closeEvent(QCloseEvent* event) override {
    if (closing) {
      event->accept();
    } else {
      event->ignore();
    }
  }
};

void Note(EngineContext& ctx, const std::string& text) { ctx.Log().Write("wizard", text); }

}  // namespace

QtWizardHost::QtWizardHost(EngineContext& ctx) : ctx_(ctx) {}

void QtWizardHost::RegisterForm(const std::string& form_class, PageFormFactory factory, bool free_page) {
  factories_[form_class] = std::move(factory);
  if (free_page) TBIFList::Of(ctx_).Add(form_class, nullptr);
}

void QtWizardHost::RegisterDuringCopyForm(const std::string& form_class, DuringCopyFormFactory factory,
                                          TCustomBaseInstallDlg* dialog) {
  during_copy_factories_[form_class] = std::move(factory);
  TBIFList::Of(ctx_).DuringCopyEntries().push_back({form_class, dialog, 0});
}

void QtWizardHost::RegisterChangeDiskForm(const std::string& form_class, ChangeDiskFormFactory factory) {
  change_disk_factories_[form_class] = std::move(factory);
  TBIFList::Of(ctx_).ChangeDiskEntries().push_back({form_class, nullptr, 0});
}

void QtWizardHost::AddDuringCopyFactory(const std::string& form_class, DuringCopyFormFactory factory) {
  during_copy_factories_[form_class] = std::move(factory);
}

void QtWizardHost::AddChangeDiskFactory(const std::string& form_class, ChangeDiskFormFactory factory) {
  change_disk_factories_[form_class] = std::move(factory);
}

std::vector<TBaseDuringCopyForm*> QtWizardHost::OpenDuringCopyForms(const TDialogManager& manager) const {
  std::vector<TBaseDuringCopyForm*> forms;
  for (const OpenForm& open : open_) {
    if (open.manager == &manager) forms.push_back(open.form.get());
  }
  return forms;
}

void QtWizardHost::UpdateDuringCopy(TDialogManager& manager, TFileStatusParameter* file,
                                    TDownloadStatusParameter* download) {
  if (OpenDuringCopyForms(manager).empty()) {
    for (const TBIFEntry& entry : TBIFList::Of(ctx_).DuringCopyEntries()) {
      auto factory = during_copy_factories_.find(entry.form_class);
      if (factory == during_copy_factories_.end()) continue;
      std::unique_ptr<TBaseDuringCopyForm> form = factory->second(&ctx_);
      if (form == nullptr) continue;
      if (entry.dialog != nullptr) {
        // The dialog's settings hold for its window, and its manager
        // before the window's own default.
        form->CopyDialogSettings(*entry.dialog);
        if (entry.dialog->DialogManager() != nullptr) form->SetDM(entry.dialog->DialogManager());
      }
      if (form->DM() != &manager) continue;
      if (entry.dialog != nullptr) {
        entry.dialog->SetForm(form.get());
        if (auto* copy = dynamic_cast<TCopyFileDlg*>(entry.dialog)) PositionDialog(*copy, *form->Widget());
      }
      form->PreparePage();
      form->Translate();
      form->Widget()->setWindowTitle(ToQt(form->Caption()));
      if (!IsUnattended()) form->Widget()->show();
      open_.push_back({&manager, std::move(form)});
    }
  }
  for (TBaseDuringCopyForm* form : OpenDuringCopyForms(manager)) {
    // Back after a page that was shown meanwhile.
    if (!IsUnattended() && !form->Widget()->isVisible()) form->Widget()->show();
    form->UpdateProgress(file, download);
  }
}

void QtWizardHost::CloseDuringCopy(TDialogManager& manager) {
  for (auto it = open_.begin(); it != open_.end();) {
    if (it->manager == &manager) {
      it->form->Widget()->hide();
      closed_.push_back(std::move(it->form));
      it = open_.erase(it);
    } else {
      ++it;
    }
  }
}

std::unique_ptr<TBaseChangeDiskForm> QtWizardHost::MakeChangeDiskForm() {
  const auto& entries = TBIFList::Of(ctx_).ChangeDiskEntries();
  if (entries.empty()) return nullptr;
  const TBIFEntry entry = entries.front();
  auto factory = change_disk_factories_.find(entry.form_class);
  if (factory == change_disk_factories_.end()) return nullptr;
  std::unique_ptr<TBaseChangeDiskForm> form = factory->second(&ctx_);
  if (form != nullptr && entry.dialog != nullptr) {
    form->CopyDialogSettings(*entry.dialog);
    if (entry.dialog->DialogManager() != nullptr) form->SetDM(entry.dialog->DialogManager());
  }
  return form;
}

bool QtWizardHost::HasChangeDiskForm(TDialogManager& manager) {
  std::unique_ptr<TBaseChangeDiskForm> probe = MakeChangeDiskForm();
  return probe != nullptr && probe->DM() == &manager;
}

bool QtWizardHost::RunChangeDisk(TDialogManager&, TDiskParameter& disk) {
  std::unique_ptr<TBaseChangeDiskForm> form = MakeChangeDiskForm();
  if (form == nullptr) return true;
  if (IsUnattended()) {
    Note(ctx_, "unattended: Proceed on the request for disk " + std::to_string(disk.DiskNumber));
    return true;
  }
  const TBIFEntry entry = TBIFList::Of(ctx_).ChangeDiskEntries().front();
  struct ClearForm {
    TCustomBaseInstallDlg* dialog;
    ~ClearForm() {
      if (dialog != nullptr) dialog->SetForm(nullptr);
    }
  } clear{entry.dialog};
  if (entry.dialog != nullptr) entry.dialog->SetForm(form.get());
  // Escape is Cancel, which asks first; the window closes no other way.
  class DiskWindow final : public QDialog {
   public:
    DiskWindow() : QDialog(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {}
    TBaseChangeDiskForm* form = nullptr;

   protected:
    void reject() override {
      if (form != nullptr) form->CancelDisk();
    }
  } window;
  window.setModal(true);
  window.form = form.get();
  form->Widget()->setParent(&window);
  // The form owns its widget: it leaves the window before the window goes.
  struct Unparent {
    QWidget* widget;
    ~Unparent() { widget->setParent(nullptr); }
  } unparent{form->Widget()};
  form->SetWindow(&window);
  form->SetDiskParameter(&disk);
  form->PreparePage();
  form->Translate();
  window.resize(form->Widget()->size());
  window.setWindowTitle(ToQt(form->Caption()));
  ScreenSize screen = ctx_.App().GetScreenSize();
  window.move((screen.width - window.width()) / 2, (screen.height - window.height()) / 2);
  window.show();
  form->Widget()->show();
  if (OnChangeDiskShown) OnChangeDiskShown(*form);
  int result = window.result();
  if (result == 0 && window.isVisible()) result = window.exec();
  return result != static_cast<int>(ModalResult::kCancel);
}

void QtWizardHost::ShowStatus(TInstallStatusDlg& dialog, const std::string& text) {
  auto& slot = status_forms_[&dialog];
  if (slot == nullptr) {
    auto form = std::make_unique<TInstallStatusForm>(&ctx_);
    form->CopyDialogSettings(dialog);
    slot = std::move(form);
  }
  auto* form = static_cast<TInstallStatusForm*>(slot.get());
  dialog.SetForm(form);
  form->ShowText(text);
  dialog.SetCurrentLanguage(blEnglish);
  if (IsUnattended()) return;
  form->Widget()->show();
  form->Widget()->repaint();
  ctx_.App().ProcessMessages();
}

void QtWizardHost::HideStatus(TInstallStatusDlg& dialog) {
  auto it = status_forms_.find(&dialog);
  if (it == status_forms_.end()) return;
  it->second->Widget()->hide();
  ctx_.App().ProcessMessages();
}

TBaseBrimwellForm* QtWizardHost::StatusForm(const TInstallStatusDlg& dialog) const {
  auto it = status_forms_.find(&dialog);
  return it != status_forms_.end() ? it->second.get() : nullptr;
}

void PositionDialog(const TCopyFileDlg& dialog, QWidget& window) {
  EngineContext* ctx = dialog.Context();
  if (ctx == nullptr) return;
  Application& app = ctx->App();
  WindowBounds b = brimwell::PlaceWindow(dialog.Position(), dialog.RelativeLeftOffset(), dialog.RelativeTopOffset(),
                                         app.GetScreenSize(), app.CaptionHeight(), dialog.Width(), dialog.Height());
  // The outer size is the dialog's; the client area is that less a tool
  // window's frame of 4 pixels and its caption of 19.
  window.resize(std::max(0, dialog.Width() - 8), std::max(0, dialog.Height() - 27));
  window.move(b.left, b.top);
}

void QtWizardHost::HideWorkWindows() {
  // A page comes: the copy and status windows, which stay on top, must not
  // cover it (after a failure they would stay for good). The copy window
  // comes back with the next progress, the status window with the next text.
  for (OpenForm& open : open_) open.form->Widget()->hide();
  for (auto& [dialog, form] : status_forms_) form->Widget()->hide();
}

bool QtWizardHost::RunWizard(TDialogManager& manager) {
  TBaseFormContainer window(ctx_, manager);
  window.PlaceWindow(manager.Position(), manager.RelativeLeftOffset(), manager.RelativeTopOffset());
  window.BuildPages(factories_);
  if (window.PageCount() == 0) return true;
  if (IsUnattended()) {
    // Each page keeps what it holds and proceeds.
    window.ShowFirstPage();
    for (int guard = 0; !window.Finished() && guard <= window.PageCount(); ++guard) {
      if (TBaseInstallForm* page = window.CurrentPage()) {
        Note(ctx_, "unattended: Next on " + page->Caption());
        page->RunUnattended();
      }
      window.NextPage();
    }
    return window.Finished();
  }
  HideWorkWindows();
  window.show();
  window.ShowFirstPage();
  if (OnWizardShown) OnWizardShown(window);
  int result = window.result();
  if (!window.Finished() && result != static_cast<int>(ModalResult::kCancel)) result = window.exec();
  if (window.Error()) std::rethrow_exception(window.Error());
  return result == static_cast<int>(ModalResult::kOK);
}

bool QtWizardHost::RunAlone(TCustomBaseInstallDlg& dialog) {
  auto factory = factories_.find(dialog.FormClass());
  if (factory == factories_.end()) return true;
  // Owned by the active window (the main form), so it stays above it.
  AloneWindow window(IsUnattended() ? nullptr : QApplication::activeWindow());
  std::unique_ptr<TBaseInstallForm> page = factory->second(&ctx_, &window);
  window.page = page.get();
  page->SetAloneWindow(&window);
  page->SetDC(&dialog);
  dialog.SetForm(page.get());
  struct ClearForm {
    TCustomBaseInstallDlg& dialog;
    ~ClearForm() { dialog.SetForm(nullptr); }
  } clear{dialog};
  dialog.AssignDialogProperties();
  if (IsUnattended()) {
    // The page keeps what it holds and closes with OK, unseen.
    Note(ctx_, "unattended: OK on " + dialog.DisplayName() + " shown alone");
    page->RunUnattended();
    return true;
  }
  window.resize(TBaseInstallForm::kPageWidth, TBaseInstallForm::kPageHeight);
  window.setWindowTitle(ToQt(page->Caption()));
  // Centred on the screen.
  ScreenSize screen = ctx_.App().GetScreenSize();
  window.move((screen.width - TBaseInstallForm::kPageWidth) / 2, (screen.height - TBaseInstallForm::kPageHeight) / 2);
  HideWorkWindows();
  window.show();
  if (page->ProceedBtn()->Visible()) page->ProceedBtn()->Button()->setFocus();
  if (OnPageShown) OnPageShown(*page);
  int result = window.result();
  if (result == 0 && !window.closing) result = window.exec();
  if (page->AloneError()) std::rethrow_exception(page->AloneError());
  return result == static_cast<int>(ModalResult::kOK);
}

}  // namespace brimwell
