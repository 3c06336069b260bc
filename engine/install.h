// TCustomInstall / TInstall: the install driver. The one driver of a project
// is the top container of the component tree. After the project is loaded it
// reads the command line and chooses the mode (build, transfer to floppies,
// continue after reboot, install); in install mode it runs the whole
// installation once the main form is first activated: it records the run in
// the registry, reads the archive information, lets the wizard pages run
// through component calls, processes the tree, registers unfinished work for
// the next boot or reports success, cleans up and ends the application.
//
// TCustomInstall holds the behaviour, TInstall publishes the properties.
// The operations are split over install.cc (properties, start-up, the run),
// install_record.cc (the install record), install_unfinished.cc (unfinished
// work, reboot, clean-up) and install_build.cc (build and floppy modes).
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/brwl_compress.h"
#include "engine/build_info.h"
#include "engine/command_line.h"
#include "engine/engine_context.h"
#include "engine/file_container.h"
#include "engine/install_information.h"
#include "framework/date_time.h"
#include "framework/picture.h"
#include "host/host_env.h"
#include "platform/startup_sequence.h"

namespace brimwell {

class MainForm;

enum class TDistributeType { dtTraditional, dtWeb, dtTraditionalNet };
inline const EnumInfo kDistributeTypeInfo{"TDistributeType", {"dtTraditional", "dtWeb", "dtTraditionalNet"}};

// Messages of the driver.
inline constexpr char kTwoInstalls[] =
    "The TInstall component does not currently support the use of 2 TInstall components in the same project";
inline constexpr char kInstallNeedsForm[] = "The owner of a TInstall component must be a form or a data module";
inline constexpr char kDistributeTypeDesignTime[] = "DistributeType can only be set at design-time";
inline constexpr char kDistributeTypeNeedsNetLocation[] =
    "Must assign a net location via the NetLocation property before you can set the distribute type";
inline constexpr char kForgotBuildDirectory[] =
    "You forgot to pass in the build directory. In Run | Parameters, follow this format: -d \"-sC:\\My Build\"";
inline constexpr char kNoMainForm[] =
    "Application.MainForm is undefined and the TInstall is not on a form. Therefore, therefore the TInstall "
    "can't run the installation automatically";
inline constexpr char kLoadingProgramPathMissing[] =
    "The path of the loading program was not passed correctly. If you are running your install project in "
    "the IDE, then you need to add two command line parameters. In Run | Parameters | \"Run Parameters\", "
    "type in: -d \"-sBUILDPATH\" where BUILDPATH is the path into which you built the distributables. "
    "Example: -d \"-sC:\\My Build\".";
inline constexpr char kReadingFileInformation[] = "Reading file information...";
inline constexpr char kCannotReadExtractionInfo[] =
    "Could not read the extraction info from the archive file %s when trying to find the correct offset "
    "into the self extracting file";
// Unfinished work, reboot and clean-up.
inline constexpr char kUnfinishedNeedsRecord[] =
    "The TInstall could not either write or read unfinished business from the registry";
inline constexpr char kCannotWriteUnfinished[] = "Cannot install into registry. Key: %s Ident: %s Value %s";
inline constexpr char kCannotRegisterRunOnce[] =
    "Cannot register the install to be run on reboot in the RunOnce key in the registry";
inline constexpr char kCouldNotReboot[] = "Could not reboot windows. Please manually reboot windows.";
inline constexpr char kInvalidUnfinishedEntry[] = "There is an invalid entry for the unfinished install list %s";
// The install type an unattended run takes, by name ("Compact", "itFull").
inline constexpr char kInstallTypeEnvironmentVariable[] = "BRIMWELL_INSTALL_TYPE";
inline constexpr char kInstallTypeNotOffered[] = "The install type %s is not one this product offers (%s)";
// One installation at a time on a machine.
inline constexpr char kInstallRunning[] =
    "Another installation is running on this computer (process %d). Wait until it has finished, then start "
    "this setup program again.";
// Build mode and the transfer to floppies.
inline constexpr char kBuildInfMissing[] =
    "Need to have a BUILD.INF file in this directory with the first line specifying the build directory";
inline constexpr char kBuildInfEmpty[] =
    "Must be 1 line in BUILD.INF. This line should specify the build directory";
inline constexpr char kStandAloneNeedsLoader[] =
    "Cannot build a stand alone executable if the UseLoadingProgram property of the TInstall is set to False";
inline constexpr char kSetup1DiskFull[] =
    "The disk that you have specified has been determined to be either too full or is corrupt while trying to "
    "copy the SETUP.1 archive file. You should probably clear all files off of the drive. Minimally, you should "
    "leave enough space on the drive for the SETUP.1 archive file.";
inline constexpr char kToolkitKeyInvalid[] =
    "The HKEY_LOCAL_MACHINE | %s key in the registry is either missing or points to an invalid Brimwell directory";
inline constexpr char kToolkitKeyNamed[] = "\\Software\\Quarrystone\\B32V35";
inline constexpr char kToolkitNotOnSearchPath[] =
    "The Brimwell toolkit directory (the directory holding B32V35.TXT) cannot be found on the library search path";
inline constexpr char kLoaderNotFound[] = "The loader program %s was not found";
inline constexpr char kCannotCopyLoader[] = "Cannot copy the loading program from %s to %s";
inline constexpr char kCannotCopyEngine[] = "Cannot copy the installation application from %s to %s";
inline constexpr char kExecutableBlank[] = "Cannot create setup file. Executable is blank";
inline constexpr char kExecutableMissing[] = "TInstall: Cannot find the executable file %s";
inline constexpr char kCannotMakeSelfExtracting[] =
    "Cannot create the self-extracting exe because %s could not be loaded onto %s";
// A self-extracting program keeps 32-bit offsets: nothing past 2 GB can be
// found again, so such a program is refused instead of written wrong.
inline constexpr char kSelfExtractingTooLarge[] =
    "Cannot create the self-extracting exe %s: it would be larger than 2 GB";
inline constexpr char kFloppiesNeedSelfExtract[] =
    "Sorry... You can only transfer this installation to floppies through the self-extracting file. Usage "
    "example: setup.exe *TODISK";
inline constexpr char kTransferringToFloppies[] = "Transferring this installation to floppies. Please wait...";
inline constexpr char kCannotCreateSetupExeOnDisk[] =
    "Cannot create setup.exe on the A drive. Probably not enough room";
inline constexpr char kCannotCreateSetup1OnDisk[] = "Cannot create setup.1 on the A drive. Probably not enough room";
inline constexpr char kCannotWriteFileList[] = "Cannot write the list of files %s";
inline constexpr char kInsertDisk[] = "Please insert disk %d";
inline constexpr char kAbortedByUser[] = "Aborted by user";
// The marker of the toolkit's directory, and where the per-user library
// search path that lists it is kept (HKEY_CURRENT_USER).
inline constexpr char kToolkitMarker[] = "B32V35.TXT";
inline constexpr char kLoaderProgramName[] = "BrimwellLoadProgram.exe";
inline constexpr char kBuildInfName[] = "BUILD.INF";
inline constexpr char kSearchPathKey[] = "\\Software\\Quarrystone\\B32V35\\Library";
inline constexpr char kSearchPathValue[] = "SearchPath";
// How many threads compress a build's files (default: one per core).
inline constexpr char kBuildThreadsVariable[] = "BRIMWELL_BUILD_THREADS";

// Registry keys (HKEY_LOCAL_MACHINE).
inline constexpr char kInstallRecordRoot[] = "\\SOFTWARE\\Brimwell\\Install";
inline constexpr char kBrimwellKey[] = "\\Software\\Brimwell";
// The RunOnce key is the platform's kRunOnceKey, the one its start-up sequence reads.
inline constexpr char kRunOnceUnfinished[] = "BrimwellUnfinished";
inline constexpr char kRunOnceBatFile[] = "BrimwellBatFile";
inline constexpr char kUnfinishedSubkey[] = "Unfinished";

class TCustomInstall : public TFileContainer, public InstallDriver {
  BRIMWELL_CLASS_INFO()

 public:
  using TInstallNotifyEvent = std::function<void(TCustomInstall* sender)>;
  // Install; in-out Continue (OnBeforeReboot, OnBeforeCleanup).
  using TInstallContinueEvent = std::function<void(TCustomInstall* install, bool& continue_run)>;
  // Install; in-out QuitOut (OnBeforeShutdown, OnUserAbort).
  using TInstallQuitEvent = std::function<void(TCustomInstall* install, bool& quit_out)>;
  // Install; FileToRun; in-out DefaultAction.
  using TBeforeRunFileEvent =
      std::function<void(TCustomInstall* install, const std::string& file_to_run, bool& default_action)>;

  // Throws IEInstall kTwoInstalls for a second driver and kInstallNeedsForm
  // for an owner that is no ProjectForm.
  explicit TCustomInstall(TComponent* owner);
  ~TCustomInstall() override;

  // --- Properties -----------------------------------------------------------
  bool AutoMaximizeWindow() const { return auto_maximize_window_; }
  virtual void SetAutoMaximizeWindow(bool value);
  TBuildInfo& BuildInfo() { return build_info_; }
  const TBuildInfo& BuildInfo() const { return build_info_; }
  virtual void SetBuildInfo(const TBuildInfo& info) { build_info_.Assign(info); }
  TPicture& DialogThemeBitmap() { return dialog_theme_bitmap_; }
  virtual void SetDialogThemeBitmap(const TPicture& picture) { dialog_theme_bitmap_.Assign(picture); }
  TDistributeType DistributeType() const { return distribute_type_; }
  virtual void SetDistributeType(TDistributeType type);
  bool HideMainForm() const { return hide_main_form_; }
  virtual void SetHideMainForm(bool value);
  TInstallInformation& Information() { return information_; }
  const TInstallInformation& Information() const { return information_; }
  const std::vector<std::string>& PresetupFiles() const { return presetup_files_; }
  // Stores the list without its blank lines.
  virtual void SetPresetupFiles(const std::vector<std::string>& files);
  bool Reboot() const { return reboot_; }
  void SetReboot(bool reboot) { reboot_ = reboot; }
  bool RunAutomatic() const { return run_automatic_; }
  void SetRunAutomatic(bool value) { run_automatic_ = value; }
  bool UseLoadingProgram() const { return use_loading_program_; }
  virtual void SetUseLoadingProgram(bool value);
  // Also the process-wide default location; clearing it makes the
  // distribution traditional again.
  void SetNetLocation(TComponent* location) override;

  // --- Events -----------------------------------------------------------------
  TInstallNotifyEvent OnAfterInitialized;
  TInstallNotifyEvent OnBeforeReadArchiveInfo;
  TInstallNotifyEvent OnAfterReadArchiveInfo;
  TInstallContinueEvent OnBeforeReboot;
  TInstallNotifyEvent OnFailedReboot;
  TInstallNotifyEvent OnBeforeNotifyGoodInstall;
  TInstallNotifyEvent OnAfterNotifyGoodInstall;
  TInstallNotifyEvent OnBeforeNotifyBadInstall;
  TInstallNotifyEvent OnAfterNotifyBadInstall;
  TInstallContinueEvent OnBeforeCleanup;
  TInstallQuitEvent OnBeforeShutdown;
  TBeforeRunFileEvent OnBeforeRunFile;
  TInstallQuitEvent OnUserAbort;
  // Called first when the driver is destroyed; only project code sets it.
  TInstallNotifyEvent OnDestroying;
  // Hooks only project code sets: the archive component's statistics while
  // the distribution is copied to floppies, and notifications around the
  // steps of a build (setup.1, the copy of the engine when no loader is
  // used, the Compress of the tree, the self-extracting setup.exe).
  TlzhFileStatsEvent OnArchiveStatus;
  TInstallNotifyEvent OnBeforeBuildSetupFile;
  TInstallNotifyEvent OnAfterBuildSetupFile;
  std::function<void(TCustomInstall* install, const std::string& engine_path)> OnBeforeCopyEngine;
  TInstallNotifyEvent OnAfterCopyEngine;
  TInstallNotifyEvent OnBeforeCompressTree;
  TInstallNotifyEvent OnAfterCompressTree;
  TInstallNotifyEvent OnBeforeSelfExtract;
  TInstallNotifyEvent OnAfterSelfExtract;

  // --- Run-time state -------------------------------------------------------
  const CommandLine& Switches() const { return switches_; }
  bool HasSwitch(EngineSwitch s) const { return switches_.Has(s); }
  const std::string& SwitchArgument(EngineSwitch s) const { return switches_.Argument(s); }
  // The -s directory, else the running executable's directory; no trailing
  // backslash.
  const std::string& InstallSourceDir() const { return install_source_dir_; }
  bool Running() const { return running_; }
  bool CleanupBatchPending() const { return cleanup_batch_pending_; }
  const std::string& CleanupBatchPath() const { return cleanup_batch_path_; }
  int UnfinishedCount() const { return unfinished_count_; }
  TDateTime RunStartTime() const { return run_start_time_; }
  // The window whose first activation starts the run; nullptr before Loaded.
  MainForm* GetMainForm() const { return main_form_; }
  // The setup program the user started: with -e the self-extracting file,
  // with the loading program InstallSourceDir + "\" + the second argument,
  // else the engine itself.
  std::string SetupProgramPath();

  // --- Operations -----------------------------------------------------------
  virtual void RemoveInstallRecord();
  virtual void NotifyBadInstall();
  virtual void NotifyGoodInstall();
  // The key of the install record of this setup program
  // (kInstallRecordRoot + "\Install<n>"), found by the executable's date and size;
  // made when `create`. Empty when there is none (or it cannot be written).
  virtual std::string FindInstallRecord(bool create);
  // Takes the machine's install lock for the life of this process and then
  // removes what installations killed earlier left behind
  // (RemoveStaleInstallRecords). Throws EAIInstallRunning kInstallRunning
  // when another installation holds the lock.
  void TakeInstallLock();
  // Reads the switches from the context's arguments (IEInstall
  // kInvalidParameter).
  virtual void ParseCommandLine();
  virtual void RunFilesAfterInstall();
  virtual void RegisterRunOnce();
  // Writes `command` into the RunOnce key under the first free name of
  // `base_name`, `base_name`1, `base_name`2, ... and commits it at once.
  // False when the key or the value cannot be written.
  bool WriteRunOnce(const std::string& base_name, const std::string& command);
  // Appends `path` unless a file of that name is listed.
  virtual void AddPresetupFile(const std::string& path);
  // The run's exception handler (the application's exception handler
  // outside the designer).
  virtual void HandleRunException(const std::exception& e);
  // The text of the error that ended the last run ("" while none did);
  // the bad installation page shows it.
  const std::string& RunError() const { return run_error_; }
  void SetRunError(std::string text) { run_error_ = std::move(text); }
  // Builds setup.1, setup.exe, files.1 (and filelist.lst for a web or
  // network distribution) in `build_dir`; with `stand_alone` setup.exe
  // then carries setup.1, files.1 and the trailer. Errors pass on; what was
  // written stays.
  virtual void BuildDistributables(const std::string& engine_path, const std::string& build_dir,
                                   bool stand_alone);
  // The toolkit's directory: the first directory of the per-user library
  // search path holding the marker file, without trailing backslash. Empty
  // when none and `raise_if_missing` is false.
  std::string FindToolkitDirectory(bool raise_if_missing);
  virtual void CleanUp();
  virtual std::vector<std::string> ReadUnfinished();
  // QuitOut: true unless OnUserAbort refuses.
  virtual bool QueryUserAbort();
  virtual void ClearUnfinished();
  // Kind 0: finish the component `name` after the reboot; 1: delete the file.
  virtual void AddUnfinished(const std::string& name, int kind);

  // The run: see install.cc.
  void Process() override;
  // After a reboot: ContinueAfterReboot.
  void FinishAfterReboot() override;
  // Once per run, around the base: events, calls -984/-983, status text.
  void ReadArchiveInfo() override;
  void Loaded() override;

  void ContinueAfterReboot();
  void RebootWindows();
  // Ends the application unless OnBeforeShutdown refuses.
  void Shutdown();
  // Build mode (-b) and floppy transfer (-f) entry points: they catch their
  // errors and show them in a message box.
  virtual void BuildFromInf();
  virtual void TransferToFloppies(const std::string& drive);
  // The trailer of a self-extracting setup program. Throws IEInstall
  // kCannotReadExtractionInfo when the file cannot be read or is too short.
  SelfExtractTrailer ReadExtractionInfo(const std::string& file);

  // InstallDriver, for the components below the driver.
  const TComponent& DriverComponent() const override { return *this; }
  std::string DriverProductName() const override { return Information().ProductName(); }
  bool DriverDistributesTraditionally() const override {
    return DistributeType() == TDistributeType::dtTraditional;
  }
  TComponent* DriverNetLocation() const override { return NetLocation(); }
  std::string DriverDestPath() override { return GetDestPath(); }
  bool DriverHasSwitch(EngineSwitch s) const override { return HasSwitch(s); }
  const std::string& DriverSwitchArgument(EngineSwitch s) const override { return SwitchArgument(s); }
  const std::string& DriverSourceDir() const override { return InstallSourceDir(); }

 protected:
  void Notification(TComponent* component, Operation operation) override;
  // Shows an exception's text in an error box.
  void ShowException(const std::exception& e);
  void SaveLanguage();

 private:
  // Every container starts with itAlways, then the driver's first offered
  // type (or the one BRIMWELL_INSTALL_TYPE names) is set over the tree.
  void ChooseStartInstallType();
  void ChooseMode();
  void StartHook();
  void RunSafely(const std::function<void()>& body);
  void Step(int number, const std::string& what);
  // The end of a good run: good-install pages, clean-up, removal of the
  // record, shutdown, the files to start.
  void FinishGoodRun();
  // Build steps (install_build.cc).
  void BuildSetup1(const std::string& engine_path, const std::string& setup1);
  void CompressTree(const std::string& files1);
  // The files of the tree in the order the walk installs them (depth
  // first); with `selected_only`, not those of containers left out now.
  std::vector<TCustomInstallFile*> FilesInWalkOrder(bool selected_only) const;
  void WriteFileList();
  void MakeSelfExtracting(const std::string& setup_exe, const std::string& setup1, const std::string& files1);
  // Splits the files.1 image at `offset` of `source` onto the disks of the
  // drive `root`, asking for each disk.
  void SplitFiles1(const std::string& source, const std::string& root, std::int32_t offset);

  bool auto_maximize_window_ = true;
  TBuildInfo build_info_;
  TPicture dialog_theme_bitmap_;
  TDistributeType distribute_type_ = TDistributeType::dtTraditional;
  bool hide_main_form_ = false;
  TInstallInformation information_;
  std::vector<std::string> presetup_files_;
  bool reboot_ = false;
  bool run_automatic_ = true;
  bool use_loading_program_ = true;

  CommandLine switches_;
  std::string install_source_dir_;
  MainForm* main_form_ = nullptr;
  std::function<void()> kept_on_activate_;
  bool hook_installed_ = false;
  bool started_ = false;
  bool running_ = false;
  std::string run_error_;
  bool cleanup_batch_pending_ = false;
  std::string cleanup_batch_path_;
  int unfinished_count_ = 0;
  TDateTime run_start_time_ = 0;
  bool handler_installed_ = false;
  std::unique_ptr<host::File> install_lock_;
};

class TInstall : public TCustomInstall {
  BRIMWELL_CLASS_INFO()

 public:
  static constexpr char kDefaultDestDir[] = "\\MyApplication";
  static constexpr char kDefaultGroupName[] = "Main";

  explicit TInstall(TComponent* owner) : TCustomInstall(owner) {}
};

// Removes the install records whose engine is gone, found while the caller
// holds the install lock (so no other installation runs): a record that
// waits for no restart (no unfinished work, no RunOnce entry naming its
// engine) and whose engine is not `own_engine`. The temporary copy of the
// engine that the loading program made ("bwl..." directory) goes with it,
// and so do downloaded archive copies, unless `keep` says the record stays
// (its engine copy goes all the same). Returns the keys removed.
std::vector<std::string> RemoveStaleInstallRecords(Machine& machine, const std::string& own_engine,
                                                   const std::function<bool(const std::string&)>& keep = {});

}  // namespace brimwell
