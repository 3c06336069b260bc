// The screenshot cases of the wizard: each page of the before-install
// wizard in English, German and Japanese, a licence page shown alone, and
// the folder browser with its edit line and create-folder button.
#include <QObject>
#include <QTreeWidget>

#include <memory>
#include <string>

#include "apps/screens/screen_stage.h"
#include "engine/custom_install_file.h"
#include "engine/engine_context.h"
#include "engine/install.h"
#include "engine/project_form.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "wizard/base_forms.h"
#include "wizard/folder_window.h"
#include "wizard/open_folder_dialog.h"
#include "wizard/standard_pages.h"

namespace brimwell::screens {
namespace {

std::string Project(const std::string& language, bool with_manager) {
  const std::string manager = with_manager ? R"(, "DialogManager": "BeforeInstall")" : "";
  return R"([{"class": "TInstall", "name": "Install1", "properties": {
               "Information": {"CompanyName": "Brimwell Samples", "ProductName": "Sample Tool", "Version": "2.1"},
               "InstallTypes": ["itFull", "itDefault", "itCompact", "itCustom"], "UseLoadingProgram": false}},
             {"class": "TTranslator", "name": "MainTranslator",
              "properties": {"TranslateIntoLanguage": ")" +
         language + R"("}},
             {"class": "TDialogManager", "name": "BeforeInstall", "properties": {"Container": "Install1"}},
             {"class": "TWelcomeDlg", "name": "Welcome", "properties": {"Container": "Install1")" +
         manager + R"(}},
             {"class": "TLicenseDlg", "name": "License", "properties": {"Container": "Install1")" + manager +
         R"(, "LicenseAgreement": ["SAMPLE TOOL LICENCE", "",
                 "1. You may install and use the software on any number of computers that you own.",
                 "2. You may not sell copies of the software without written permission.",
                 "3. The software comes without warranty of any kind.", "",
                 "Pressing Next means that you accept these terms."]}},
             {"class": "TReadmeDlg", "name": "Readme", "properties": {"Container": "Install1")" + manager +
         R"(, "ReadmeText": ["Sample Tool 2.1", "", "What is new:", "- Faster start-up", "- A guided tour",
                 "", "Known problems: none so far."]}},
             {"class": "TInstallTypeDlg", "name": "InstallType", "properties": {"Container": "Install1")" +
         manager + R"(}},
             {"class": "TInstallFileGroupsDlg", "name": "FileGroups", "properties": {"Container": "Install1")" +
         manager + R"(}},
             {"class": "TInstallFileGroup", "name": "Program", "properties": {"Container": "Install1",
               "GroupName": "Program files", "AllowChoice": false,
               "Description": ["The program and the libraries it needs."]}},
             {"class": "TInstallFile", "name": "ProgramFile", "properties": {"Container": "Program",
               "FileName": "tool.exe"}},
             {"class": "TInstallFileGroup", "name": "Samples", "properties": {"Container": "Program",
               "GroupName": "Samples", "DestDir": "C:\\Sample Data"}},
             {"class": "TInstallFile", "name": "SampleFile", "properties": {"Container": "Samples",
               "FileName": "samples.dat"}},
             {"class": "TInstallFileGroup", "name": "Manuals", "properties": {"Container": "Install1",
               "GroupName": "Manuals", "DestDir": "D:\\Manuals"}},
             {"class": "TInstallFile", "name": "ManualFile", "properties": {"Container": "Manuals",
               "FileName": "manual.pdf"}}])";
}

// Shows page `index` of the before-install wizard.
void WizardPage(ScreenStage& stage, const std::string& language, int index) {
  stage.Load(Project(language, true));
  auto* manager = dynamic_cast<TDialogManager*>(stage.Form().FindComponent("BeforeInstall"));
  const struct {
    const char* name;
    std::int64_t size;
  } files[] = {{"ProgramFile", 1843200}, {"SampleFile", 524288}, {"ManualFile", 2306867}};
  for (const auto& f : files) {
    if (auto* file = dynamic_cast<TCustomInstallFile*>(stage.Form().FindComponent(f.name))) file->SetFileSize(f.size);
  }
  // The file group page shows after a custom choice.
  if (auto* driver = stage.Context().Driver()) driver->SetCurrentInstallType(TInstallType::itCustom);
  TBIFList::Of(stage.Context()).SetCurrentManager(manager);
  auto window = std::make_unique<TBaseFormContainer>(stage.Context(), *manager);
  window->BuildPages(stage.Wizard().Factories());
  window->show();
  window->GoToPage(index, false);
  TBIFList::Of(stage.Context()).SetCurrentManager(nullptr);
  stage.SetCapture(window.get());
  stage.Keep(std::move(window));
}

void LicenseAlone(ScreenStage& stage) {
  stage.Load(Project("blEnglish", false));
  auto* dialog = dynamic_cast<TLicenseDlg*>(stage.Form().FindComponent("License"));
  auto window = std::make_unique<QDialog>();
  window->resize(TBaseInstallForm::kPageWidth, TBaseInstallForm::kPageHeight);
  auto page = std::make_unique<TLicenseForm>(&stage.Context(), window.get());
  dialog->SetForm(page.get());
  dialog->AssignDialogProperties();
  dialog->SetForm(nullptr);
  window->setWindowTitle(ToQt(page->Caption()));
  TLicenseForm* kept = page.release();
  QObject::connect(window.get(), &QObject::destroyed, [kept] { delete kept; });
  stage.SetCapture(window.get());
  stage.Keep(std::move(window));
}

void FolderBrowser(ScreenStage& stage) {
  stage.Load(Project("blEnglish", true));
  FileSystem& fs = stage.Context().GetMachine().GetFileSystem();
  fs.ForceDirectories("C:\\Program Files\\Sample Tool\\Data");
  auto* dialog = new TOpenFolderDialog(stage.Context());
  auto window = std::make_unique<FolderWindow>(stage.Context(), *dialog);
  QObject::connect(window.get(), &QObject::destroyed, [dialog] { delete dialog; });
  window->SelectPath("C:\\Program Files\\Sample Tool");
  stage.SetCapture(window.get());
  stage.Keep(std::move(window));
}

}  // namespace

void AddWizardCases(std::vector<ScreenCase>& cases) {
  const char* const pages[] = {"welcome", "license", "readme", "installtype", "filegroups"};
  const struct {
    const char* suffix;
    const char* language;
  } languages[] = {{"en", "blEnglish"}, {"de", "blGerman"}, {"ja", "blJapanese"}};
  for (int i = 0; i < 5; ++i) {
    for (const auto& l : languages) {
      const std::string language = l.language;
      cases.push_back({std::string("wizard-") + pages[i] + "-" + l.suffix,
                       std::string("the ") + pages[i] + " page of the wizard in " + (language.c_str() + 2),
                       [language, i](ScreenStage& stage) { WizardPage(stage, language, i); }});
    }
  }
  cases.push_back({"wizard-license-alone", "a licence page shown alone, without Previous", LicenseAlone});
  cases.push_back({"wizard-folder-browser", "the folder browser with its path edit and new-folder button",
                   FolderBrowser});
}

}  // namespace brimwell::screens
