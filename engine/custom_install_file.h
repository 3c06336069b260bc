// TCustomInstallFile: one file of the product (registered type 2000), a
// helper of a file container. It knows where its source lies on the
// developer's machine (IncludeFromDir + FileName), which archive holds it
// (found there by its source path; its UniqueID is the member's FileID),
// where and under which name it is installed (GetDestPath + DestName), and
// what happens around the installation: the overwrite rule, the
// replacement of a file in use at the next boot, self-registration, the
// shared-DLL count, help registration and the uninstall log.
//
// TInstallFile publishes it; TUninstallEXE is the same component preset for
// the uninstall program, which writes the record's DisplayName and
// UninstallString instead of a file entry.
//
// The operations are split over custom_install_file.cc (properties, the
// settings rule, UniqueID), install_file_install.cc (installing, replacing,
// the after-install steps, self-registration, the uninstall log) and
// install_file_build.cc (compress, copy, reading the source and the archive).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "archive/brwl_compress.h"
#include "engine/file_related.h"
#include "framework/exception.h"
#include "framework/date_time.h"

namespace brimwell {

class TFileContainer;

// Per-component errors of installable files.
BRIMWELL_EXCEPTION(IECustomInstallFile, IException);

enum TInstallFileType {
  iftNormal,
  iftJustADLL,
  iftApplicationSpecificDLL,
  iftVendorSharedDLL,
  iftSystemWideDLL
};
inline const EnumInfo kInstallFileTypeInfo{
    "TInstallFileType",
    {"iftNormal", "iftJustADLL", "iftApplicationSpecificDLL", "iftVendorSharedDLL", "iftSystemWideDLL"}};

enum TInstallFileState { ifsNone, ifsCompress, ifsInstall, ifsCopying };
inline const EnumInfo kInstallFileStateInfo{"TInstallFileState",
                                            {"ifsNone", "ifsCompress", "ifsInstall", "ifsCopying"}};

// Messages of installable files.
inline constexpr char kFileNeedsFileContainer[] =
    "The following TInstallFile component %s requires the Container property to be a component descended "
    "from the TFileContainer component";
inline constexpr char kDuplicateSourcePath[] = "There is already a file with the name :%s";
inline constexpr char kBlankDestination[] =
    "Cannot compress,copy, or install the following file because it's destination directory is blank. "
    "File is :%s";
inline constexpr char kBlankArchivePath[] =
    "Cannot either compress or decompress the following file because it's archive file property is blank. "
    "File is :%s";
inline constexpr char kCannotUpdateDllCount[] = "Cannot update the DLL count for the following file :%s:";
inline constexpr char kCannotRegisterMoveBatch[] =
    "%s cannot register a routine in the register to move the files after the computer is reboot";
inline constexpr char kWinExecFailed[] =
    "Could not register the ActiveX component, %s, because the WinExec(%s,SW_HIDE) function returned a value "
    "< 32. The file component is %s. The following value is the value of the GetLastError function: %d";
inline constexpr char kLoadLibraryFailed[] =
    "Could not register the ActiveX component, %s, because the LoadLibrary(%s) procedure returned a value of "
    "0. The file component is %s. The following value is the value of the GetLastError function: %d";
inline constexpr char kNoDllRegisterServer[] =
    "Could not register the ActiveX component, %s, because the DllRegisterServer function could not be "
    "found. The file component is %s. The following value is the value of the GetLastError function: %d";
inline constexpr char kDllRegisterServerFailed[] =
    "Could not register the ActiveX component, %s, because the DllRegisterServer function returned a value "
    "of %d. The file component is %s";
inline constexpr char kCannotOpenSharedDlls[] =
    "Could not open the key SharedDLLs key in the registry. File component %s. GetLastError return: %d";
inline constexpr char kUninstallNeedsDriver[] =
    "%s could not write information about the uninstall to the registry because there was no TInstall "
    "component";
inline constexpr char kReadInfoNeedsFileContainer[] =
    "%s cannot perform ReadInfoFromArchive because either no container is assigned or the container is not "
    "TFileContainer";
inline constexpr char kCannotReadSource[] =
    "Could not open or find the following file when trying to read the Size, Date, and Version :%s";
inline constexpr char kPleaseInsertDisk[] = "Please insert disk #%d";
// An archive that cannot give a file's data: the file and the archive are
// named, the archive's own reason follows.
inline constexpr char kCannotInstallFromArchive[] = "Cannot install the file %s from the archive %s: %s";

// Registry keys (HKEY_LOCAL_MACHINE) written after a file is installed.
inline constexpr char kHelpKey[] = "\\SOFTWARE\\Microsoft\\Windows\\Help";
inline constexpr char kSharedDllsKey[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

class TCustomInstallFile : public TFileRelated {
  BRIMWELL_CLASS_INFO()

 public:
  using TInstallFileNotifyEvent = std::function<void(TCustomInstallFile* file)>;
  using TInstallFileStatusEvent =
      std::function<void(TCustomInstallFile* file, int file_percent_done, int total_percent_done)>;
  using TInstallFileNewDiskEvent = std::function<void(TCustomInstallFile* file, int new_disk, std::string& path)>;

  // Takes the first free UniqueID and joins the process-wide file list.
  explicit TCustomInstallFile(TComponent* owner);
  // Frees its UniqueID and leaves the file and deferred lists.
  ~TCustomInstallFile() override;

  int ComponentType() const override;

  // --- Properties -----------------------------------------------------------
  // Writes of these go through the settings rule outside loading (see
  // custom_install_file.cc).
  bool ActiveX() const { return active_x_; }
  virtual void SetActiveX(bool value);
  const std::string& DestName() const { return dest_name_; }
  virtual void SetDestName(const std::string& name);
  const std::string& FileName() const { return file_name_; }
  virtual void SetFileName(const std::string& name);
  TInstallFileType FileType() const { return file_type_; }
  virtual void SetFileType(TInstallFileType type);
  const std::string& IncludeFromDir() const { return include_from_dir_; }
  virtual void SetIncludeFromDir(const std::string& dir);
  // Stores the directory without the settings rule (the project's own
  // value, made absolute).
  void StoreIncludeFromDir(const std::string& dir) { include_from_dir_ = dir; }
  void SetDestDir(const std::string& dir) override;
  void SetDestDirType(TCustomPathSpecifier* specifier) override;
  void SetContainer(TInstallContainer* container) override;

  TOverwriteType OverwriteMode() const { return overwrite_mode_; }
  void SetOverwriteMode(TOverwriteType mode) { overwrite_mode_ = mode; }
  bool RegisterAsHelp() const { return register_as_help_; }
  void SetRegisterAsHelp(bool value) { register_as_help_ = value; }
  bool RunAfterInstall() const { return run_after_install_; }
  void SetRunAfterInstall(bool run) { run_after_install_ = run; }
  bool UpdateDLLCounter() const { return update_dll_counter_; }
  void SetUpdateDLLCounter(bool value) { update_dll_counter_ = value; }
  TInstallFileState State() const { return state_; }
  // Outside loading, ifsCompress, ifsInstall and ifsCopying run that action
  // at once; the state is ifsNone afterwards.
  virtual void SetState(TInstallFileState state);
  // The hidden number that is the FileID of the file's archive member.
  std::int32_t UniqueID() const { return unique_id_; }
  void SetUniqueID(std::int32_t id);

  // --- Run-time information -------------------------------------------------
  bool TargetExisted() const { return target_existed_; }
  // The target could not be replaced now: the new file was written beside
  // it and replaces it at the next boot.
  bool InUse() const { return in_use_; }
  // Whether the last install decided to write the file.
  bool InstallDecision() const { return install_decision_; }
  std::int64_t CompressedSize() const { return compressed_size_; }
  TDateTime FileDate() const { return file_date_; }
  void SetFileDate(TDateTime date) { file_date_ = date; }
  // Bytes to install (from the archive header or the source file).
  std::int64_t FileSize() const { return file_size_; }
  void SetFileSize(std::int64_t size) { file_size_ = size; }
  const std::string& Version() const { return version_; }
  // Set by Compress, cleared by the build before it walks the tree: the
  // files the build put into an archive, which filelist.lst lists.
  bool CompressedInBuild() const { return compressed_in_build_; }
  void SetCompressedInBuild(bool value) { compressed_in_build_ = value; }

  // --- Events -----------------------------------------------------------------
  TInstallFileNotifyEvent OnBeforeInstall;
  TInstallFileNotifyEvent OnAfterInstall;
  TInstallFileNotifyEvent OnBeforeCopy;
  TInstallFileNotifyEvent OnAfterCopy;
  TInstallFileNotifyEvent OnBeforeCompress;
  TInstallFileNotifyEvent OnAfterCompress;
  TInstallFileNotifyEvent OnReplacing;
  TInstallFileStatusEvent OnStatus;
  TInstallFileNewDiskEvent OnNewDisk;

  // --- Paths ------------------------------------------------------------------
  // GetDestPath + "\" + DestName.
  std::string InstalledPath();
  // IncludeFromDir + "\" + FileName (a host directory read as Z:\...): the
  // name of the file's member in its archive.
  std::string SourcePath() const;

  // Whether the file downloads its own archive (its own NetLocation or an
  // overwrite rule that needs its header before installing).
  bool DownloadsByItself() const;
  // Whether installing the file extracts it from the product's main
  // archive, as things stand now.
  bool ReadsMainArchive();

  // --- Operations -------------------------------------------------------------
  // The archive component's abort callback: throws EAIUserAbort.
  [[noreturn]] virtual void RaiseUserAbort();
  // Self-registration of a library (DllRegisterServer) or of a server
  // program (" /REGSERVER"); throw IECustomInstallFile with the messages
  // above.
  virtual void RegisterLibrary();
  virtual void RegisterExecutable();
  // Self-registers by the installed file's extension.
  void SelfRegister();
  // The target exists and is about to be overwritten (see .cc).
  virtual void Replacing();
  // Adds the source file to its archive under UniqueID (build mode).
  virtual void Compress();
  // Copies the source file to the installed path.
  virtual void Copy();
  // Size, date and version from the file's archive header (once per run).
  virtual void ReadInfoFromArchive();
  // Size, date and version from the source file (build time). Throws
  // IECustomInstallFile kCannotReadSource.
  virtual void ReadSourceInfo();
  // True when the source file's version resource asks for self-registration
  // ("OLESelfRegister").
  virtual bool IsOleSelfRegister() const;
  // Adds one to the shared-DLL count of the installed path.
  virtual void UpdateSharedDllCount();
  // The self-registration deferred to the end of the run.
  virtual void RegisterDeferred();

  void InstallObjects() override;
  void FinishAfterReboot() override;
  void WriteUninstallInfo(const std::string& key) override;
  std::string GetArchivePath() override;
  void Loaded() override;

 protected:
  // The current settings a write changes (the settings rule works on a copy).
  struct Settings {
    TInstallContainer* container = nullptr;
    std::string dest_name;
    std::string file_name;
    std::string include_from_dir;
    std::string dest_dir;
    TCustomPathSpecifier* dest_dir_type = nullptr;
    TInstallFileType file_type = iftNormal;
    bool active_x = false;
  };
  Settings CurrentSettings() const;
  // Applies one write through the settings rule.
  void ApplySettings(Settings wanted);
  // Whether the file's archive comes from a net location in this run.
  bool FromNetLocation() const;
  // Sends information event `code` to the container.
  void Notify(int code, TPersistent* po);
  // The archive component for this file (the shared one, or `own` made for
  // another archive path).
  TBrwlCompress& ArchiveFor(const std::string& archive_path, std::unique_ptr<TBrwlCompress>& own);
  // Wires progress, disk and abort callbacks of `archive` to this file while
  // an action of kind `progress_event` (1008, 1009, 1010) runs.
  class ArchiveCallbacks;

 private:
  void InstallFile();
  void ExtractNow(const std::string& archive_path);
  void AfterInstallSteps();
  void RegisterHelp();
  void LogFile(const std::string& what);
  // Size, date and version from the header of `source` in `archive`.
  void ReadHeaderOf(TBrwlCompress& archive, const std::string& source);

  bool active_x_ = false;
  std::string dest_name_;
  std::string file_name_;
  TInstallFileType file_type_ = iftNormal;
  std::string include_from_dir_;
  TOverwriteType overwrite_mode_ = owAlways;
  bool register_as_help_ = false;
  bool run_after_install_ = false;
  bool update_dll_counter_ = false;
  TInstallFileState state_ = ifsNone;
  bool applying_ = false;

  bool target_existed_ = false;
  bool in_use_ = false;
  // The file as the archive wrote it at its installed path in this run,
  // with its digest, for the uninstall record.
  std::optional<TBrwlCompress::WrittenFile> written_;
  bool install_decision_ = false;
  std::int64_t compressed_size_ = 0;
  bool compressed_in_build_ = false;
  TDateTime file_date_ = 0;
  std::int64_t file_size_ = 0;
  std::int32_t unique_id_ = 0;
  std::string version_;
  std::string skip_reason_;
  // DestName while Replacing writes the new file under a numbered name.
  std::string target_name_;
};

// A project names its sources relative to the project file: reads every
// relative IncludeFromDir of the installable files owned by `root` from the
// host directory `base_dir` (the project file's). Absolute host paths and
// Windows paths ("C:\...", "\\server\...") stay as they are.
void ResolveSourceDirectories(TComponent& root, const std::string& base_dir);

class TInstallFile : public TCustomInstallFile {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TInstallFile(TComponent* owner) : TCustomInstallFile(owner) {}
};

// The uninstall program as an installable file; Net defaults to true.
class TUninstallEXE : public TCustomInstallFile {
  BRIMWELL_CLASS_INFO()

 public:
  static constexpr char kUninstallProgram[] = "uninstall.exe";

  explicit TUninstallEXE(TComponent* owner);
  // "DisplayName" and "UninstallString" of the product's record.
  void WriteUninstallInfo(const std::string& key) override;
};

}  // namespace brimwell
