#include "engine/install.h"

#include <algorithm>
#include <cstdio>

#include "engine/api_routines.h"
#include "engine/component_calls.h"
#include "engine/custom_install_file.h"
#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "engine/net_location_access.h"
#include "engine/project_form.h"
#include "archive/brwl_compress.h"
#include "engine/standard_path_specifiers.h"
#include "framework/application.h"
#include "host/host_env.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/processes.h"
#include "platform/win_path.h"
#include "translate/translator.h"

namespace brimwell {
namespace {

bool IsBlank(std::string_view s) { return s.find_first_not_of(" \t\r\n") == std::string_view::npos; }

constexpr char kMainTranslatorName[] = "MainTranslator";

// A project without a translator gets one, named "MainTranslator" (or
// "MainTranslator1", ... when the name is taken), holding the standard
// tables. It is not stored in the project and gives way to a translator
// made later.
void AddMainTranslator(EngineContext& ctx, TComponent& owner) {
  if (ctx.MainTranslator() != nullptr) return;
  for (int i = 0; i < owner.ComponentCount(); ++i) {
    if (dynamic_cast<TTranslator*>(owner.Components(i)) != nullptr) return;
  }
  std::string name = kMainTranslatorName;
  for (int n = 1; owner.FindComponent(name) != nullptr; ++n) name = kMainTranslatorName + std::to_string(n);
  auto* translator = Create<TTranslator>(&owner);
  translator->SetAddedAutomatically(true);
  translator->SetName(name);
}

// Logs the language the run's texts are in and why.
void LogLanguage(EngineContext& ctx) {
  TTranslator* translator = ctx.MainTranslator();
  if (translator == nullptr || !ctx.Log().Enabled()) return;
  const TLanguage* target = translator->TargetLanguage();
  std::string text = target != nullptr ? std::string(TraitsOf(target->LanguageIdent())->name) : "none";
  char id[8];
  std::snprintf(id, sizeof id, "0x%04X", ctx.GetMachine().GetUserDefaultLangId());
  text += translator->TranslateIntoLanguage() == blUser ? std::string(", the user language ") + id
                                                        : std::string(", the translator's own choice");
  ctx.Log().Write("language", text + " (" + translator->Name() + ")");
}

}  // namespace

const ClassInfo& TCustomInstall::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TCustomInstall>("TCustomInstall", &TFileContainer::StaticClassInfo()).Build();
  return info;
}

const ClassInfo& TInstall::StaticClassInfo() {
  using I = TInstall;
  static const ClassInfo info =
      ClassBuilder<I>("TInstall", &TCustomInstall::StaticClassInfo())
          .Creatable()
          .Property("AllowChangeDir", &I::AllowChangeDir, &I::SetAllowChangeDir, true)
          .Property("AutoMaximizeWindow", &I::AutoMaximizeWindow, &I::SetAutoMaximizeWindow, true)
          .Object("BuildInfo", static_cast<TBuildInfo& (TCustomInstall::*)()>(&I::BuildInfo))
          .Property("Description", &I::Description, &I::SetDescription)
          .Property("DestDir", &I::DestDir, &I::SetDestDir, kDefaultDestDir)
          .Reference("DestDirType", "TCustomPathSpecifier", &I::DestDirType, &I::SetDestDirType)
          .Picture("DialogThemeBitmap", &I::DialogThemeBitmap)
          .Enum("DistributeType", kDistributeTypeInfo, &I::DistributeType, &I::SetDistributeType,
                TDistributeType::dtTraditional)
          .Property("GroupName", &I::GroupName, &I::SetGroupName, kDefaultGroupName)
          .Property("HideMainForm", &I::HideMainForm, &I::SetHideMainForm, false)
          .Object("Information", static_cast<TInstallInformation& (TCustomInstall::*)()>(&I::Information))
          .Set("InstallTypes", kInstallTypeInfo, &I::InstallTypes, &I::SetInstallTypes,
               TInstallTypeSet{TInstallType::itAlways})
          .Reference("NetLocation", "TCustomNetInstallLocation", &I::NetLocation, &I::SetNetLocation)
          .Property("PresetupFiles", &I::PresetupFiles, &I::SetPresetupFiles)
          .Property("Reboot", &I::Reboot, &I::SetReboot, false)
          .Property("RunAutomatic", &I::RunAutomatic, &I::SetRunAutomatic, true)
          .Property("UseLoadingProgram", &I::UseLoadingProgram, &I::SetUseLoadingProgram)  // always stored
          .Build();
  return info;
}

// --- Construction -------------------------------------------------------------

TCustomInstall::TCustomInstall(TComponent* owner) : TFileContainer(owner) {
  EngineContext* ctx = Context();
  if (FormOf(this) == nullptr || ctx == nullptr) Raise<IEInstall>(ctx, kInstallNeedsForm);
  if (ctx->Driver() != nullptr) Raise<IEInstall>(ctx, kTwoInstalls);
  SetDestDir(TInstall::kDefaultDestDir);
  StoreDestDirType(StandardSpecifier<TpsProgramFiles>(ctx));
  MarkDestDirTypeDefaulted();
  SetGroupName(TInstall::kDefaultGroupName);
  SetAllowChoice(false);
  // Not published: the driver's archive is always the main archive.
  StoreArchiveFileType(StandardSpecifier<TpsMainArchiveFile>(ctx));
  ctx->SetDriver(this, this);
  run_start_time_ = Now();
  if (!Designing()) {
    ctx->App().OnException = [this](const std::exception& e) { HandleRunException(e); };
    handler_installed_ = true;
  }
}

TCustomInstall::~TCustomInstall() {
  if (OnDestroying) OnDestroying(this);
  EngineContext* ctx = Context();
  if (hook_installed_ && main_form_ != nullptr) main_form_->OnActivate = kept_on_activate_;
  if (ctx->Driver() == this) ctx->SetDriver(nullptr, nullptr);
  if (handler_installed_) ctx->App().OnException = nullptr;
  if (ctx->DefaultNetLocation() != nullptr && ctx->DefaultNetLocation() == NetLocation()) {
    ctx->SetDefaultNetLocation(nullptr);
  }
  if (cleanup_batch_pending_) {
    // The batch deletes the engine itself, so it runs after this process.
    ctx->GetMachine().GetProcesses().StartBatchAfterExit(cleanup_batch_path_).IgnoreError();
  }
}

// --- Properties -----------------------------------------------------------------

void TCustomInstall::SetAutoMaximizeWindow(bool value) {
  auto_maximize_window_ = value;
  if (value && !Loading()) hide_main_form_ = false;
}

void TCustomInstall::SetHideMainForm(bool value) {
  hide_main_form_ = value;
  if (value && !Loading()) auto_maximize_window_ = false;
}

void TCustomInstall::SetDistributeType(TDistributeType type) {
  if (!Loading()) {
    if (!Designing()) Raise<IEInstall>(Context(), kDistributeTypeDesignTime);
    if (type != TDistributeType::dtTraditional && NetLocation() == nullptr) {
      Raise<IEInstall>(Context(), kDistributeTypeNeedsNetLocation);
    }
  }
  distribute_type_ = type;
}

void TCustomInstall::SetPresetupFiles(const std::vector<std::string>& files) {
  presetup_files_.clear();
  for (const std::string& f : files) {
    if (!IsBlank(f)) presetup_files_.push_back(f);
  }
}

void TCustomInstall::AddPresetupFile(const std::string& path) {
  std::string name = ExtractFileName(path);
  for (const std::string& f : presetup_files_) {
    if (WinNamesEqual(ExtractFileName(f), name)) return;
  }
  presetup_files_.push_back(path);
}

void TCustomInstall::SetUseLoadingProgram(bool value) {
  use_loading_program_ = value;
  if (value && !Loading()) {
    SetArchiveFileType(StandardSpecifier<TpsMainArchiveFile>(Context()));
    SetArchiveFile("");
  }
}

void TCustomInstall::SetNetLocation(TComponent* location) {
  TFileContainer::SetNetLocation(location);
  if (location != nullptr) {
    Context()->SetDefaultNetLocation(location);
  } else {
    distribute_type_ = TDistributeType::dtTraditional;
  }
}

void TCustomInstall::Notification(TComponent* component, Operation operation) {
  bool was_location = operation == Operation::kRemove && component != nullptr && component == NetLocation();
  TFileContainer::Notification(component, operation);
  if (was_location) {
    distribute_type_ = TDistributeType::dtTraditional;
    if (Context()->DefaultNetLocation() == component) Context()->SetDefaultNetLocation(nullptr);
  }
}

std::string TCustomInstall::SetupProgramPath() {
  if (HasSwitch(EngineSwitch::kSelfExtract)) return GetArchivePath();
  if (use_loading_program_) {
    const auto& args = Context()->Arguments();
    return install_source_dir_ + "\\" + (args.size() >= 2 ? args[1] : std::string());
  }
  return Context()->ExecutablePath();
}

// --- Start-up -------------------------------------------------------------------

void TCustomInstall::ParseCommandLine() { switches_ = brimwell::ParseCommandLine(Context(), Context()->Arguments()); }

void TCustomInstall::Loaded() {
  TFileContainer::Loaded();
  EngineContext* ctx = Context();
  // First, so that the errors of the start are translated too.
  if (ProjectForm* form = FormOf(this)) AddMainTranslator(*ctx, *form);
  LogLanguage(*ctx);
  if (!Designing()) {
    ParseCommandLine();
    if (HasSwitch(EngineSwitch::kDebug) &&
        (!HasSwitch(EngineSwitch::kSource) || IsBlank(SwitchArgument(EngineSwitch::kSource)))) {
      Raise<IEInstall>(ctx, kForgotBuildDirectory);
    }
  }
  if (HasSwitch(EngineSwitch::kSource)) {
    std::string dir = SwitchArgument(EngineSwitch::kSource);
    // A host path given by the user reads as Z:\...
    if (!dir.empty() && dir[0] == '/') dir = ctx->GetMachine().GetPaths().FullPath(dir);
    install_source_dir_ = StripTrailingBackslash(dir);
  } else {
    install_source_dir_ = StripTrailingBackslash(ExtractFileDir(ctx->ExecutablePath()));
  }
  // Install runs (not builds) hold the lock before they touch any record.
  if (!Designing() && !HasSwitch(EngineSwitch::kBuild) && !HasSwitch(EngineSwitch::kFloppies)) TakeInstallLock();
  ctx->SetInstallRecordKey(FindInstallRecord(false));
  if (auto local = LookupLocalFile()) SetLocalArchivePath(*local);

  ProjectForm* form = FormOf(this);
  main_form_ = ctx->App().GetMainForm();
  if (main_form_ == nullptr && form != nullptr && form->IsForm()) main_form_ = form->Window();
  if (main_form_ == nullptr && run_automatic_) Raise<IEInstall>(ctx, kNoMainForm);

  ChooseStartInstallType();
  // The mode starts once the whole project is loaded, so that no mode runs
  // over components whose Loaded has not yet run.
  if (!Designing() && form != nullptr) form->WhenLoaded([this] { ChooseMode(); });
}

void TCustomInstall::ChooseStartInstallType() {
  EngineContext* ctx = Context();
  SetCurrentInstallType(TInstallType::itAlways);
  TInstallType type = StartInstallType(InstallTypes());
  std::string why = "the first the product offers";
  // A run without anyone to pick on the install type page (an unattended
  // run, a test) names its type in the environment.
  std::optional<std::string> wanted =
      Designing() ? std::nullopt : host::Env::Default().GetEnv(kInstallTypeEnvironmentVariable);
  if (wanted && !wanted->empty()) {
    const std::vector<TInstallType> offered = OfferedInstallTypes(InstallTypes());
    std::optional<TInstallType> parsed = ParseInstallType(*wanted);
    if (!parsed || std::find(offered.begin(), offered.end(), *parsed) == offered.end()) {
      std::string names;
      for (TInstallType t : offered) names += (names.empty() ? "" : ", ") + InstallTypeName(t);
      Raise<IEInstall>(ctx, kInstallTypeNotOffered, {*wanted, names});
    }
    type = *parsed;
    why = std::string(kInstallTypeEnvironmentVariable);
  }
  SetCurrentInstallType(type);
  ctx->Log().Write("type", InstallTypeName(type) + " (" + why + ")");
}

void TCustomInstall::ChooseMode() {
  RunLog& log = Context()->Log();
  if (HasSwitch(EngineSwitch::kBuild)) {
    log.Write("mode", "build");
    BuildFromInf();
  } else if (HasSwitch(EngineSwitch::kFloppies)) {
    log.Write("mode", "transfer to floppies");
    TransferToFloppies("a:");
  } else if (HasSwitch(EngineSwitch::kReboot)) {
    log.Write("mode", "continue after reboot");
    ContinueAfterReboot();
  } else if (main_form_ != nullptr) {
    log.Write("mode", run_automatic_ ? "install, on activation" : "install, started by the project");
    kept_on_activate_ = main_form_->OnActivate;
    main_form_->OnActivate = [this] { StartHook(); };
    hook_installed_ = true;
    if (hide_main_form_) {
      WindowBounds b = main_form_->Bounds();
      b.left = -2 * b.width;
      b.top = -2 * b.height;
      main_form_->SetBounds(b);
    }
  }
}

void TCustomInstall::StartHook() {
  if (started_) return;
  started_ = true;
  if (kept_on_activate_) kept_on_activate_();
  if (auto_maximize_window_) {
    main_form_->Maximize();
    main_form_->Repaint();
  }
  if (!run_automatic_) return;
  if (kept_on_activate_) {
    // Replaces the function that is running this hook; nothing of it is
    // used after this point.
    main_form_->OnActivate = kept_on_activate_;
    hook_installed_ = false;
  }
  RunSafely([this] { Process(); });
}

void TCustomInstall::RunSafely(const std::function<void()>& body) {
  try {
    body();
  } catch (const std::exception& e) {
    // The application's exception handler: HandleRunException outside the
    // designer.
    Context()->App().HandleException(e);
  }
}

// The step that processes the component tree.
constexpr int kLastCancellableStep = 9;

void TCustomInstall::Step(int number, const std::string& what) {
  Context()->Log().Write("step", std::to_string(number) + " " + what);
  // A cancel from outside is taken while nothing is installed yet or files
  // are being installed; once the tree is processed the run finishes.
  if (running_ && number <= kLastCancellableStep) Context()->CheckCancelRequest();
}

// --- The run --------------------------------------------------------------------

void TCustomInstall::Process() {
  EngineContext* ctx = Context();
  Step(1, "start");
  run_start_time_ = Now();
  run_error_.clear();
  ctx->SetUserAbortRequested(false);
  ctx->DeferredRegistrations().Clear();
  unfinished_count_ = 0;
  cleanup_batch_pending_ = false;
  running_ = true;
  // The archive information is read afresh once per run.
  for (TInstallContainer* c : ctx->Containers()) {
    if (auto* related = dynamic_cast<TFileRelated*>(c)) related->SetArchiveInfoRead(false);
  }

  Step(2, "check the loading program's switches");
  if (use_loading_program_ && !HasSwitch(EngineSwitch::kSource)) {
    Raise<IEInstall>(ctx, kLoadingProgramPathMissing);
  }

  ctx->SetInstallRecordKey(FindInstallRecord(true));
  Step(3, "install record " + (ctx->InstallRecordKey().empty() ? std::string("(none)") : ctx->InstallRecordKey()));

  Step(4, "clear unfinished work");
  ClearUnfinished();

  if (HasSwitch(EngineSwitch::kSelfExtract)) {
    std::string archive = GetArchivePath();
    SelfExtractTrailer trailer = ReadExtractionInfo(archive);
    ctx->MainArchive().SetOffset(trailer.Files1Start);
    Step(5, "self-extracting archive " + archive + " at offset " + std::to_string(trailer.Files1Start));
  }

  Step(6, "read archive information");
  ReadArchiveInfo();
  if (ctx->Log().Enabled()) {
    for (const std::string& line : InstallTypeReport(*this, InstallTypes())) ctx->Log().Write("group", line);
  }

  Step(7, "initialized");
  if (OnAfterInitialized) OnAfterInitialized(this);

  Step(8, "pages before the installation");
  for (int call : {kCallRunStart1, kCallRunStart2, kCallRunStart3, kCallWelcome, kCallLicense, kCallReadme,
                   kCallBeforeInstallManager}) {
    BroadcastComponentCall(call, nullptr);
  }

  Step(9, "process the component tree");
  {
    // The files of the main archive are extracted one by one: its handle
    // and the directory written last stay open from one to the next.
    struct HoldOpen {
      TBrwlCompress& archive;
      explicit HoldOpen(TBrwlCompress& a) : archive(a) { archive.SetKeepOpen(true); }
      ~HoldOpen() { archive.SetKeepOpen(false); }
    } hold(ctx->MainArchive());
    // They are inflated ahead on a second thread, in the walk's order.
    std::vector<std::string> lines;
    for (TCustomInstallFile* file : FilesInWalkOrder(true)) {
      if (file->ReadsMainArchive()) lines.push_back(file->SourcePath());
    }
    if (!lines.empty()) {
      ctx->MainArchive().SetCompressedFile(GetArchivePath());
      ctx->MainArchive().SetDigestWritten(true);  // for the uninstall record, made there too
      ctx->MainArchive().ExtractAheadOf(lines);
    }
    TInstallContainer::Process();
  }

  Step(10, "deferred registrations: " + std::to_string(ctx->DeferredRegistrations().Count()));
  for (TCustomInstallFile* file : ctx->DeferredRegistrations().Snapshot()) file->RegisterDeferred();

  if (unfinished_count_ > 0 || reboot_) {
    Step(11, "register RunOnce (" + std::to_string(unfinished_count_) + " unfinished)");
    RegisterRunOnce();
  }

  const bool reboot_wanted = reboot_;
  if (reboot_) {
    Step(12, "reboot needed");
    BroadcastComponentCall(kCallRebootNeeded, nullptr);
    if (reboot_) {
      bool continue_reboot = reboot_;
      if (OnBeforeReboot) OnBeforeReboot(this, continue_reboot);
      reboot_ = continue_reboot;
    }
  }

  if (reboot_) {
    Step(13, "reboot");
    SaveLanguage();
    RebootWindows();
    ctx->App().Terminate();
  } else if (reboot_wanted) {
    Step(14, "end without reboot; the next start continues");
    ctx->App().Terminate();
  } else {
    Step(15, "good installation");
    FinishGoodRun();
  }
}

void TCustomInstall::FinishGoodRun() {
  NotifyGoodInstall();
  CleanUp();
  RemoveInstallRecord();
  if (run_automatic_) Shutdown();
  RunFilesAfterInstall();
  running_ = false;
}

void TCustomInstall::ReadArchiveInfo() {
  if (ArchiveInfoRead()) return;
  EngineContext* ctx = Context();
  if (OnBeforeReadArchiveInfo) OnBeforeReadArchiveInfo(this);
  BroadcastComponentCall(kCallBeforeReadArchiveInfo, nullptr);
  {
    ScopedCursor cursor(ctx->App(), Cursor::kHourGlass);
    ShowStatusText(ctx->Translate(kReadingFileInformation));
    TFileContainer::ReadArchiveInfo();
    if (distribute_type_ != TDistributeType::dtTraditional) {
      if (ctx->NetAccess() == nullptr || NetLocation() == nullptr) {
        Raise<IEInstall>(ctx, kNoNetLocationFor, {DisplayName()});
      }
      ctx->NetAccess()->ReadRemoteFileList(*this);
    }
  }
  HideStatusText();
  SetArchiveInfoRead(true);
  if (OnAfterReadArchiveInfo) OnAfterReadArchiveInfo(this);
  BroadcastComponentCall(kCallAfterReadArchiveInfo, nullptr);
}

SelfExtractTrailer TCustomInstall::ReadExtractionInfo(const std::string& file) {
  EngineContext* ctx = Context();
  FileSystem& fs = ctx->GetMachine().GetFileSystem();
  auto fail = [&]() { Raise<IEInstall>(ctx, kCannotReadExtractionInfo, {file}); };
  auto opened = fs.Open(file, FileAccess::kRead, kShareReadWrite, FileDisposition::kOpenExisting);
  if (!opened.ok()) fail();
  File& f = **opened;
  auto size = f.Size();
  if (!size.ok() || *size < self_extract::kTrailerSize) fail();
  if (!f.Seek(-static_cast<std::int64_t>(self_extract::kTrailerSize), SeekOrigin::kEnd).ok()) fail();
  TrailerBytes bytes{};
  std::size_t got = 0;
  while (got < bytes.size()) {
    IoResult r = f.Read(bytes.data() + got, bytes.size() - got);
    if (!r.ok() || r.bytes == 0) break;
    got += r.bytes;
  }
  if (got < bytes.size()) fail();
  auto trailer = DecodeTrailer(bytes);
  // A file without the marker is no self-extracting program: its last bytes
  // would give a meaningless offset.
  if (!trailer) fail();
  return *trailer;
}

// --- End of a run ---------------------------------------------------------------

void TCustomInstall::NotifyGoodInstall() {
  if (OnBeforeNotifyGoodInstall) OnBeforeNotifyGoodInstall(this);
  BroadcastComponentCall(kCallGoodInstall, nullptr);
  BroadcastComponentCall(kCallGoodInstallManager, nullptr);
  if (OnAfterNotifyGoodInstall) OnAfterNotifyGoodInstall(this);
}

void TCustomInstall::NotifyBadInstall() {
  if (OnBeforeNotifyBadInstall) OnBeforeNotifyBadInstall(this);
  BroadcastComponentCall(kCallBadInstall, nullptr);
  BroadcastComponentCall(kCallBadInstallManager, nullptr);
  if (OnAfterNotifyBadInstall) OnAfterNotifyBadInstall(this);
}

void TCustomInstall::Shutdown() {
  bool quit_out = true;
  if (OnBeforeShutdown) OnBeforeShutdown(this, quit_out);
  Context()->Log().Write("step", quit_out ? "shutdown" : "shutdown refused by OnBeforeShutdown");
  if (quit_out) Context()->App().Terminate();
}

void TCustomInstall::RunFilesAfterInstall() {
  EngineContext* ctx = Context();
  for (TCustomInstallFile* file : ctx->Files().Snapshot()) {
    if (!file->RunAfterInstall()) continue;
    std::string path = file->InstalledPath();
    bool default_action = true;
    if (OnBeforeRunFile) OnBeforeRunFile(this, path, default_action);
    if (!default_action) continue;
    std::uint32_t result = ctx->GetMachine().GetProcesses().WinExec(QuoteArgument(path), ShowState::kShowNormal);
    ctx->Log().Write("run", path + " -> " + std::to_string(result));
  }
}

bool TCustomInstall::QueryUserAbort() {
  bool quit_out = true;
  if (OnUserAbort) OnUserAbort(this, quit_out);
  return quit_out;
}

void TCustomInstall::ShowException(const std::exception& e) {
  MessageBoxRequest box;
  box.text = e.what();
  box.icon = MessageBoxIcon::kError;
  Context()->App().MessageBox(box);
}

void TCustomInstall::HandleRunException(const std::exception& e) {
  EngineContext* ctx = Context();
  auto* ex = dynamic_cast<const Exception*>(&e);
  ctx->Log().Write("error", std::string(ex != nullptr ? ex->ClassName() : "std::exception") + ": " + e.what() +
                                (running_ ? " (during the run)" : ""));
  if (!running_) {
    ShowException(e);
    return;
  }
  running_ = false;
  run_error_ = e.what();
  try {
    if (dynamic_cast<const EAIUserAbort*>(&e) != nullptr) {
      ctx->SetExitStatus(kExitUserAbort);
      NotifyBadInstall();
      CleanUp();
      RemoveInstallRecord();
      if (run_automatic_) Shutdown();
    } else {
      ctx->SetExitStatus(kExitRunFailed);
      NotifyBadInstall();
      ShowException(e);
      Shutdown();
    }
  } catch (const std::exception& inner) {
    ctx->Log().Write("error", std::string("in the exception handler: ") + inner.what());
    if (run_automatic_) ctx->App().Terminate();
  }
}

}  // namespace brimwell
