#include "wizard/standard_pages.h"

#include <QLineEdit>
#include <algorithm>
#include <QPushButton>
#include <QTabWidget>

#include "engine/engine_context.h"
#include "engine/install.h"
#include "framework/text_case.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "wizard/closing_pages.h"
#include "wizard/copy_windows.h"
#include "wizard/folder_page.h"
#include "wizard/group_pages.h"
#include "wizard/open_folder_dialog.h"

namespace brimwell {

namespace {

constexpr int kSpacerHeight = 14;

WizLabel* TopLabel(TBaseInstallForm* form, const std::string& name, std::int32_t glid, const std::string& text,
                   WizAlign align = WizAlign::alTop) {
  auto* label = new WizLabel(form, form->Content(), name, glid, text);
  label->SetAlign(align);
  label->SetBounds(0, 0, 100, kSpacerHeight);
  return label;
}

// Controls are made in layout order, so the tab order follows it; the
// buttons of the frame come last.
void ButtonsLast(TBaseInstallForm* form) {
  QWidget::setTabOrder(form->BackBtn()->Widget(), form->ProceedBtn()->Widget());
  QWidget::setTabOrder(form->ProceedBtn()->Widget(), form->CancelBtn()->Widget());
  form->ButtonPanel()->Widget()->raise();
}

}  // namespace

// --- Welcome, licence, readme -------------------------------------------------------

TWelcomeForm::TWelcomeForm(EngineContext* ctx, QWidget* parent_widget)
    : TBaseInstallForm(ctx, "TWelcomeForm", parent_widget, 8) {
  SetCaption("Welcome");
  Label1 = TopLabel(this, "Label1", 10, "This program will install the product on your computer.");
  Label7 = TopLabel(this, "Label7", 0, "");
  Label2 = TopLabel(this, "Label2", 11,
                    "It is strongly recommended that you exit all Windows programs before running this setup. If "
                    "you need to close any programs, click Cancel to quit the setup and then close the programs.");
  Label6 = TopLabel(this, "Label6", 0, "");
  Label3 = TopLabel(this, "Label3", 12, "Click Next to continue with the installation.");
  // The welcome page keeps its designed font unless its dialog says
  // otherwise.
  SetAutoSetFont(false);
  ButtonsLast(this);
  LayOutChildren();
}

TLicenseForm::TLicenseForm(EngineContext* ctx, QWidget* parent_widget)
    : TBaseInstallForm(ctx, "TLicenseForm", parent_widget, 8) {
  SetCaption("Software license agreement");
  Label1 = TopLabel(this, "Label1", 2, "Please read the following License Agreement carefully.");
  Label5 = TopLabel(this, "Label5", 0, "");
  Agreement = new WizMemo(this, Content(), "Agreement");
  Agreement->SetAlign(WizAlign::alClient);
  Agreement->SetListTexts({"Agreement"});
  // Bottom controls stack upwards: the last line first.
  // Its own text, not GLID 3's: the number would put the sentence above
  // in its place, and the page would lose the way out.
  TranslateLabel1 = TopLabel(this, "TranslateLabel1", 0,
                             "If you do not agree with all terms, please cancel the installation by clicking on the "
                             "Cancel button below.",
                             WizAlign::alBottom);
  Label2 = TopLabel(this, "Label2", 3,
                    "By clicking on the Next button below, you are certifying that you have read, and agree to all "
                    "terms stated in the License Agreement.",
                    WizAlign::alBottom);
  Label8 = TopLabel(this, "Label8", 0, "", WizAlign::alBottom);
  QWidget::setTabOrder(Agreement->Widget(), BackBtn()->Widget());
  ButtonsLast(this);
  LayOutChildren();
}

void TLicenseForm::AssignFrom(TCustomBaseInstallDlg& dialog) {
  TBaseInstallForm::AssignFrom(dialog);
  if (auto* license = dynamic_cast<TLicenseDlg*>(&dialog)) Agreement->SetListTexts(license->LicenseAgreement());
}

TReadmeForm::TReadmeForm(EngineContext* ctx, QWidget* parent_widget)
    : TBaseInstallForm(ctx, "TReadmeForm", parent_widget, 8) {
  SetCaption("Readme information");
  Label1 = TopLabel(this, "Label1", 8,
                    "Please read the information below before installing this software on your computer.");
  Label5 = TopLabel(this, "Label5", 0, "");
  Information = new WizMemo(this, Content(), "Information");
  Information->SetAlign(WizAlign::alClient);
  Information->SetListTexts({"Information"});
  QWidget::setTabOrder(Information->Widget(), BackBtn()->Widget());
  ButtonsLast(this);
  LayOutChildren();
}

void TReadmeForm::AssignFrom(TCustomBaseInstallDlg& dialog) {
  TBaseInstallForm::AssignFrom(dialog);
  if (auto* readme = dynamic_cast<TReadmeDlg*>(&dialog)) Information->SetListTexts(readme->ReadmeText());
}

// --- Install type ----------------------------------------------------------------------

TInstallTypeForm::TInstallTypeForm(EngineContext* ctx, QWidget* parent_widget)
    : TBaseInstallForm(ctx, "TInstallTypeForm", parent_widget, 5) {
  SetCaption("Setup type");
  SetOrder(40);
  if (ctx != nullptr && ctx->Driver() != nullptr) SetContainer(ctx->Driver());
  TopDescriptionLabel =
      TopLabel(this, "TopDescriptionLabel", 59, "Click the type of Setup you prefer, then click the Next button.");
  Label1 = TopLabel(this, "Label1", 0, "");
  PageControl = new WizPageControl(this, Content(), "PageControl");
  PageControl->SetAlign(WizAlign::alClient);
  auto sheet = [&](const std::string& name, const std::string& caption, WizLabel*& desc, const std::string& desc_name,
                   std::int32_t glid, const std::string& text) {
    auto* tab = new WizTabSheet(this, PageControl, name, caption);
    tab->SetBorderWidth(8);
    desc = new WizLabel(this, tab, desc_name, glid, text);
    desc->SetAlign(WizAlign::alTop);
    return tab;
  };
  TypicalTab = sheet("TypicalTab", "Typical", TypicalDesc, "TypicalDesc", 18,
                     "Program will be installed with the most common options.");
  CompactTab = sheet("CompactTab", "Compact", CompactDesc, "CompactDesc", 20,
                     "Program will be installed with minimum required options.");
  FullTab = sheet("FullTab", "Full", FullDesc, "FullDesc", 24, "Program will be installed with all options.");
  CustomTab = sheet("CustomTab", "Custom", CustomDesc, "CustomDesc", 22,
                    "You may choose the options you want to install. Recommended for advanced users.");
  DirectoryGroupBox = new WizGroupBox(this, Content(), "DirectoryGroupBox", "Destination Directory");
  DirectoryGroupBox->SetAlign(WizAlign::alBottom);
  DirectoryGroupBox->SetBounds(0, 0, 100, 41);
  Label2 = TopLabel(this, "Label2", 0, "", WizAlign::alBottom);
  edDestDir = new WizEdit(this, DirectoryGroupBox, "edDestDir");
  BrowseBtn = new WizButton(this, DirectoryGroupBox, "BrowseBtn", 26, "&Browse");
  BrowseBtn->Button()->setAutoDefault(false);

  // Connected once the tabs are in: the first tab added becomes current,
  // which is no choice of the user's.
  QObject::connect(PageControl->Tabs(), &QTabWidget::currentChanged, [this] { Safely([this] { TabChanged(); }); });
  QObject::connect(edDestDir->Edit(), &QLineEdit::textChanged, [this] { Safely([this] { DestDirEdited(); }); });
  QObject::connect(BrowseBtn->Button(), &QPushButton::clicked, [this] { Safely([this] { Browse(); }); });
  QWidget::setTabOrder(PageControl->Widget(), edDestDir->Widget());
  QWidget::setTabOrder(edDestDir->Widget(), BrowseBtn->Widget());
  QWidget::setTabOrder(BrowseBtn->Widget(), BackBtn()->Widget());
  ButtonsLast(this);
  LayOutChildren();
}

void TInstallTypeForm::LayOutChildren() {
  // Designed for a caption 13 pixels high; a taller font moves them down.
  const int below = std::max(0, DirectoryGroupBox->CaptionHeight() - 13);
  edDestDir->SetBounds(10, 14 + below / 2, 209, 21);
  BrowseBtn->SetBounds(226, 11 + below / 2, 89, 25);
  TBaseInstallForm::LayOutChildren();
}

bool TInstallTypeForm::SkipPage() {
  return Container() == nullptr || Container()->InstallTypes() == TInstallTypeSet{TInstallType::itAlways};
}

void TInstallTypeForm::PreparePage() {
  suppress_ = true;
  BackBtn()->SetVisible(!IsFirstPage());
  TInstallContainer* c = Container();
  if (c != nullptr) {
    const TInstallTypeSet types = c->InstallTypes();
    PageControl->SetTabVisible(TypicalTab, types.Contains(TInstallType::itDefault));
    PageControl->SetTabVisible(CompactTab, types.Contains(TInstallType::itCompact));
    PageControl->SetTabVisible(FullTab, types.Contains(TInstallType::itFull));
    PageControl->SetTabVisible(CustomTab, types.Contains(TInstallType::itCustom));
    const std::string dest = c->GetDestPath();
    DirectoryGroupBox->SetVisible(!dest.empty());
    edDestDir->Edit()->setText(ToQt(dest).toLower());
    switch (c->CurrentInstallType()) {
      case TInstallType::itDefault: PageControl->SetActiveSheet(TypicalTab); break;
      case TInstallType::itCompact: PageControl->SetActiveSheet(CompactTab); break;
      case TInstallType::itFull: PageControl->SetActiveSheet(FullTab); break;
      default: PageControl->SetActiveSheet(CustomTab); break;
    }
    LayOutChildren();
  }
  suppress_ = false;
  if (ProceedBtn()->Visible() && Widget()->isVisible()) ProceedBtn()->Button()->setFocus();
}

void TInstallTypeForm::AssignFrom(TCustomBaseInstallDlg& dialog) {
  TBaseInstallForm::AssignFrom(dialog);
  PreparePage();
  BackBtn()->SetVisible(false);
}

void TInstallTypeForm::TabChanged() {
  if (suppress_ || Container() == nullptr) return;
  WizTabSheet* active = PageControl->ActiveSheet();
  TInstallType type = TInstallType::itDefault;
  if (active == CompactTab) type = TInstallType::itCompact;
  if (active == FullTab) type = TInstallType::itFull;
  if (active == CustomTab) type = TInstallType::itCustom;
  Container()->SetCurrentInstallType(type);
}

void TInstallTypeForm::DestDirEdited() {
  QLineEdit* edit = edDestDir->Edit();
  if (KeepLowerCase(edit)) return;  // comes back here with the lower-case text
  if (suppress_ || Container() == nullptr) return;
  Container()->SetDestDirType(nullptr);
  Container()->SetDestDir(FromQt(edit->text()));
}

void TInstallTypeForm::Browse() {
  TInstallContainer* c = Container();
  if (c == nullptr || Context() == nullptr) return;
  if (BrowseDestination(*Context(), *c, OnBrowse)) {
    suppress_ = true;
    edDestDir->Edit()->setText(ToQt(c->DestDir()).toLower());
    suppress_ = false;
  }
}

bool BrowseDestination(EngineContext& ctx, TInstallContainer& c,
                       const std::function<void(TOpenFolderDialog&)>& on_browse) {
  FileSystem& fs = ctx.GetMachine().GetFileSystem();
  TOpenFolderDialog dialog(ctx);
  std::string dest = c.GetDestPath();
  const auto first = dest.find_first_not_of(" \t");
  dest = first == std::string::npos ? "" : dest.substr(first, dest.find_last_not_of(" \t") - first + 1);
  const bool existed = !dest.empty() && DirectoryExistsSafely(fs, dest);
  // The browser opens on the destination, made for the purpose when new.
  bool made = false;
  if (!dest.empty() && !existed) made = ForceDirectoriesSafely(fs, dest);
  dialog.Path = dest;
  if (on_browse) on_browse(dialog);
  bool chose = false;
  if (dialog.Execute()) {
    std::string chosen = dialog.Path;
    while (chosen.size() > 3 && chosen.back() == '\\') chosen.pop_back();
    c.SetDestDirType(nullptr);
    c.SetDestDir(chosen);
    chose = true;
  }
  // Only the directory itself goes again, and only while empty.
  if (made) {
    try {
      fs.RemoveDirectory(dest).IgnoreError();
    } catch (const std::exception&) {
      // Left behind: an empty directory does no harm.
    }
  }
  return chose;
}

void RegisterStandardPages(QtWizardHost& host) {
  host.RegisterForm("TWelcomeForm", [](EngineContext* ctx, QWidget* parent) -> std::unique_ptr<TBaseInstallForm> {
    return std::make_unique<TWelcomeForm>(ctx, parent);
  });
  host.RegisterForm("TLicenseForm", [](EngineContext* ctx, QWidget* parent) -> std::unique_ptr<TBaseInstallForm> {
    return std::make_unique<TLicenseForm>(ctx, parent);
  });
  host.RegisterForm("TReadmeForm", [](EngineContext* ctx, QWidget* parent) -> std::unique_ptr<TBaseInstallForm> {
    return std::make_unique<TReadmeForm>(ctx, parent);
  });
  host.RegisterForm("TInstallTypeForm",
                    [](EngineContext* ctx, QWidget* parent) -> std::unique_ptr<TBaseInstallForm> {
                      return std::make_unique<TInstallTypeForm>(ctx, parent);
                    });
}

QtWizardHost& AttachQtWizard(EngineContext& ctx) {
  auto host = std::make_unique<QtWizardHost>(ctx);
  QtWizardHost& attached = *host;
  RegisterStandardPages(attached);
  RegisterGroupPages(attached);
  RegisterFolderPage(attached);
  RegisterClosingPages(attached);
  RegisterCopyWindows(attached);
  AttachWizardHost(ctx, std::move(host));
  return attached;
}

}  // namespace brimwell
