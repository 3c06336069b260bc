// The screenshot cases of the wizard: each page of the before-install
// wizard and each closing page in English, German and Japanese, the copy
// progress, status and next-disk windows, pages shown alone, and the folder
// browser with its edit line and create-folder button.
#include <QObject>
#include <QTreeWidget>

#include <memory>
#include <string>

#include "apps/screens/screen_stage.h"
#include "engine/component_calls.h"
#include "engine/custom_install_file.h"
#include "engine/parameter_objects.h"
#include "engine/shell_folders.h"
#include "engine/engine_context.h"
#include "engine/install.h"
#include "engine/project_form.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "wizard/base_forms.h"
#include "wizard/closing_pages.h"
#include "wizard/copy_windows.h"
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
               "FileName": "manual.pdf"}},
             {"class": "TMainLinkGroup", "name": "MainGroup", "properties": {"Container": "Install1",
               "DestDir": "\\Sample Tool"}},
             {"class": "TSelectFolderDlg", "name": "Folder", "properties": {"Container": "MainGroup")" +
         manager + R"(}},
             {"class": "TDialogManager", "name": "Reboot",
              "properties": {"Container": "Install1", "ManagerType": "dmReboot"}},
             {"class": "TDialogManager", "name": "Good",
              "properties": {"Container": "Install1", "ManagerType": "dmAfterGoodInstall"}},
             {"class": "TDialogManager", "name": "Bad",
              "properties": {"Container": "Install1", "ManagerType": "dmAfterBadInstall"}},
             {"class": "TDialogManager", "name": "Copy",
              "properties": {"Container": "Install1", "ManagerType": "dmDuringCopyFiles"}},
             {"class": "TDialogManager", "name": "Disk",
              "properties": {"Container": "Install1", "ManagerType": "dmChangeDisk"}},
             {"class": "TRebootDlg", "name": "RebootPage", "properties": {"Container": "Install1",
               "DialogManager": "Reboot"}},
             {"class": "TGoodInstallationDlg", "name": "GoodPage", "properties": {"Container": "Install1",
               "DialogManager": "Good"}},
             {"class": "TBadInstallationDlg", "name": "BadPage", "properties": {"Container": "Install1",
               "DialogManager": "Bad"}},
             {"class": "TCopyFileDlg", "name": "CopyWindow", "properties": {"Container": "Install1",
               "DialogManager": "Copy"}},
             {"class": "TInstallStatusDlg", "name": "Status", "properties": {"Container": "Install1"}},
             {"class": "TChangeDiskDlg", "name": "NextDisk", "properties": {"Container": "Install1",
               "DialogManager": "Disk"}}])";
}

template <class T>
T* Named(ScreenStage& stage, const std::string& name) {
  auto* c = dynamic_cast<T*>(stage.Form().FindComponent(name));
  if (c == nullptr) throw std::runtime_error("no component " + name);
  return c;
}

// Shows page `index` of the wizard of `manager_name`.
void ManagerPage(ScreenStage& stage, const std::string& manager_name, int index) {
  auto* manager = Named<TDialogManager>(stage, manager_name);
  TBIFList::Of(stage.Context()).SetCurrentManager(manager);
  auto window = std::make_unique<TBaseFormContainer>(stage.Context(), *manager);
  window->BuildPages(stage.Wizard().Factories());
  window->show();
  window->GoToPage(index, false);
  TBIFList::Of(stage.Context()).SetCurrentManager(nullptr);
  stage.SetCapture(window.get());
  stage.Keep(std::move(window));
}

// Shows page `index` of the before-install wizard.
void WizardPage(ScreenStage& stage, const std::string& language, int index) {
  stage.Load(Project(language, true));
  const struct {
    const char* name;
    std::int64_t size;
  } files[] = {{"ProgramFile", 1843200}, {"SampleFile", 524288}, {"ManualFile", 2306867}};
  for (const auto& f : files) {
    if (auto* file = dynamic_cast<TCustomInstallFile*>(stage.Form().FindComponent(f.name))) file->SetFileSize(f.size);
  }
  // The file group page shows after a custom choice.
  if (auto* driver = stage.Context().Driver()) driver->SetCurrentInstallType(TInstallType::itCustom);
  // Folders of the Programs menu that other products made.
  FileSystem& fs = stage.Context().GetMachine().GetFileSystem();
  const std::string programs = GetShellFolder(stage.Context(), ShellFolder::kPrograms);
  for (const char* folder : {"Accessories", "Brimwell Samples", "Games", "Startup"}) {
    fs.ForceDirectories(programs + "\\" + folder);
  }
  ManagerPage(stage, "BeforeInstall", index);
}

// A closing page of a run.
void ClosingPage(ScreenStage& stage, const std::string& language, const std::string& manager) {
  stage.Load(Project(language, true));
  if (manager == "Bad") {
    // The page says why, as the run's error handler left it.
    stage.Context().Driver()->SetRunError(stage.Context().Translate("Installation aborted by the user"));
  }
  ManagerPage(stage, manager, 0);
}

// The copy window during a pass, as the copy manager opens it.
void CopyWindow(ScreenStage& stage, const std::string& language, bool download) {
  stage.Load(Project(language, true));
  TCustomInstall* driver = stage.Context().Driver();
  auto* manager = Named<TDialogManager>(stage, "Copy");
  TFileStatusParameter status;
  status.Status.FileName = "C:\\Build\\Sample Tool\\bin\\sampletool-help-en.chm";
  status.Status.FilePercent = 10;
  status.TotalBytes = 4674355;
  status.RunningTotal = 1200000;
  status.TotalPercent = 26;
  driver->BroadcastComponentCall(kCallProgress, &status);
  auto* form = dynamic_cast<TCopyFileForm*>(stage.Wizard().OpenDuringCopyForms(*manager).at(0));
  // Three seconds later, 40 % of the file and more of the pass done.
  form->Clock = [] { return std::int64_t{3000}; };
  status.Status.FilePercent = 40;
  status.RunningTotal = 1900000;
  status.TotalPercent = 41;
  driver->BroadcastComponentCall(kCallProgress, &status);
  if (download) {
    TDownloadStatusParameter fetched;
    fetched.FileName = "Manuals.1";
    fetched.Percent = 65;
    driver->BroadcastComponentCall(kCallDownloadProgress, &fetched);
  }
  stage.SetCapture(form->Widget());
}

void StatusWindow(ScreenStage& stage, const std::string& language) {
  stage.Load(Project(language, true));
  auto* status = Named<TInstallStatusDlg>(stage, "Status");
  TMessageParameter text("Reading file information...");
  stage.Context().Driver()->BroadcastComponentCall(kCallShowStatus, &text);
  stage.SetCapture(stage.Wizard().StatusForm(*status)->Widget());
}

void NextDisk(ScreenStage& stage, const std::string& language, bool wrong_path) {
  stage.Load(Project(language, true));
  auto* dialog = Named<TChangeDiskDlg>(stage, "NextDisk");
  auto window = std::make_unique<QDialog>();
  auto* form = new TChangeDiskForm(&stage.Context());
  form->Widget()->setParent(window.get());
  auto* disk = new TDiskParameter;
  disk->DiskNumber = 2;
  disk->Path = wrong_path ? "C:\\Downloads\\Sample Tool" : "A:\\";
  disk->FileName = "files.2";
  form->CopyDialogSettings(*dialog);
  form->SetDiskParameter(disk);
  form->PreparePage();
  form->Translate();
  if (wrong_path) form->Proceed();
  window->resize(form->Widget()->size());
  window->setWindowTitle(ToQt(form->Caption()));
  QObject::connect(window.get(), &QObject::destroyed, [form, disk] {
    delete form;
    delete disk;
  });
  form->Widget()->show();
  stage.SetCapture(window.get());
  stage.Keep(std::move(window));
}

// A closing page shown alone: Next and Finish.
void GoodAlone(ScreenStage& stage) {
  stage.Load(Project("blEnglish", false));
  auto* dialog = Named<TGoodInstallationDlg>(stage, "GoodPage");
  dialog->SetCompletionText({"Sample Tool 2.1 has been installed on your computer.",
                             "Start it from the Sample Tool folder of the Start menu, or open a .smp file.",
                             "Thank you for choosing Brimwell Samples."});
  auto window = std::make_unique<QDialog>();
  window->resize(TBaseInstallForm::kPageWidth, TBaseInstallForm::kPageHeight);
  auto page = std::make_unique<TGoodInstallForm>(&stage.Context(), window.get());
  dialog->SetForm(page.get());
  dialog->AssignDialogProperties();
  dialog->SetForm(nullptr);
  window->setWindowTitle(ToQt(page->Caption()));
  TGoodInstallForm* kept = page.release();
  QObject::connect(window.get(), &QObject::destroyed, [kept] { delete kept; });
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
  const char* const pages[] = {"welcome", "license", "readme", "installtype", "filegroups", "programfolder"};
  const struct {
    const char* suffix;
    const char* language;
  } languages[] = {{"en", "blEnglish"}, {"de", "blGerman"}, {"ja", "blJapanese"}};
  for (int i = 0; i < 6; ++i) {
    for (const auto& l : languages) {
      const std::string language = l.language;
      cases.push_back({std::string("wizard-") + pages[i] + "-" + l.suffix,
                       std::string("the ") + pages[i] + " page of the wizard in " + (language.c_str() + 2),
                       [language, i](ScreenStage& stage) { WizardPage(stage, language, i); }});
    }
  }
  for (const auto& l : languages) {
    const std::string language = l.language;
    const std::string in = std::string(" in ") + (l.language + 2);
    const std::string suffix = std::string("-") + l.suffix;
    for (const char* manager : {"Reboot", "Good", "Bad"}) {
      const std::string m = manager;
      std::string name = m == "Reboot" ? "reboot" : m == "Good" ? "goodinstall" : "badinstall";
      cases.push_back({"wizard-" + name + suffix, "the " + name + " page, alone in its wizard (Finish)" + in,
                       [language, m](ScreenStage& stage) { ClosingPage(stage, language, m); }});
    }
    cases.push_back({"wizard-copy" + suffix, "the copy progress window during a pass" + in,
                     [language](ScreenStage& stage) { CopyWindow(stage, language, false); }});
    cases.push_back({"wizard-status" + suffix, "the status window with one text" + in,
                     [language](ScreenStage& stage) { StatusWindow(stage, language); }});
    cases.push_back({"wizard-nextdisk" + suffix, "the next-disk window asking for disk 2" + in,
                     [language](ScreenStage& stage) { NextDisk(stage, language, false); }});
  }
  cases.push_back({"wizard-copy-download-en", "the copy progress window while an archive downloads",
                   [](ScreenStage& stage) { CopyWindow(stage, "blEnglish", true); }});
  cases.push_back({"wizard-nextdisk-notthere-en", "the next-disk window after Proceed on a path without the disk",
                   [](ScreenStage& stage) { NextDisk(stage, "blEnglish", true); }});
  cases.push_back({"wizard-goodinstall-alone", "the good installation page alone with the project's own text",
                   GoodAlone});
  cases.push_back({"wizard-license-alone", "a licence page shown alone, without Previous", LicenseAlone});
  cases.push_back({"wizard-folder-browser", "the folder browser with its path edit and new-folder button",
                   FolderBrowser});
}

}  // namespace brimwell::screens
