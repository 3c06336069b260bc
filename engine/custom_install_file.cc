// Installable files: properties, the settings rule and the UniqueID table.
#include "engine/custom_install_file.h"

#include "engine/component_calls.h"
#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "engine/file_container.h"
#include "engine/install.h"
#include "engine/path_specifier.h"
#include "engine/project_form.h"
#include "engine/standard_path_specifiers.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/platform_errors.h"
#include "platform/version_info.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

bool IsBlankText(std::string_view s) { return s.find_first_not_of(" \t\r\n") == std::string_view::npos; }

// IncludeFromDir + "\" + FileName, the backslash added only when the
// directory does not end in one.
std::string JoinSource(std::string_view dir, std::string_view name) {
  std::string path(dir);
  if (path.empty() || (path.back() != '\\' && path.back() != '/')) path += '\\';
  return path + std::string(name);
}

std::string UpperExtension(std::string_view file_name) { return WinUpperCase(ExtractFileExt(file_name)); }

}  // namespace

template <class C>
static ClassBuilder<C> InstallFileProperties(ClassBuilder<C> b) {
  return std::move(
      b.Enum("AddToArchive", kLzhCommandInfo, &C::AddToArchive, &C::SetAddToArchive, lzcOverwrite)
          .Property("ArchiveFile", &C::ArchiveFile, &C::SetArchiveFile)
          .Reference("ArchiveFileType", "TCustomPathSpecifier", &C::ArchiveFileType, &C::SetArchiveFileType)
          .Reference("Container", "TInstallContainer", &C::Container, &C::SetContainer)
          .Property("DestDir", &C::DestDir, &C::SetDestDir)
          .Reference("DestDirType", "TCustomPathSpecifier", &C::DestDirType, &C::SetDestDirType)
          .Property("DestName", &C::DestName, &C::SetDestName)
          .Property("FileName", &C::FileName, &C::SetFileName)
          .Enum("FileType", kInstallFileTypeInfo, &C::FileType, &C::SetFileType, iftNormal)
          .Property("Include", &C::Include, &C::SetInclude, true)
          .Property("IncludeFromDir", &C::IncludeFromDir, &C::SetIncludeFromDir)
          .Set("InstallTypes", kInstallTypeInfo, &C::InstallTypes, &C::SetInstallTypes,
               TInstallTypeSet{TInstallType::itAlways})
          .Reference("NetLocation", "TCustomNetInstallLocation", &C::NetLocation, &C::SetNetLocation)
          .Property("Order", &C::Order, &C::SetOrder, -1)
          .Enum("OverwriteMode", kOverwriteTypeInfo, &C::OverwriteMode, &C::SetOverwriteMode, owAlways)
          .Property("UpdateDLLCounter", &C::UpdateDLLCounter, &C::SetUpdateDLLCounter, false)
          // Hidden: the member's FileID, always stored.
          .Property("UniqueID", &C::UniqueID, &C::SetUniqueID));
}

const ClassInfo& TCustomInstallFile::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TCustomInstallFile>("TCustomInstallFile", &TFileRelated::StaticClassInfo()).Build();
  return info;
}

const ClassInfo& TInstallFile::StaticClassInfo() {
  using F = TInstallFile;
  static const ClassInfo info =
      InstallFileProperties(ClassBuilder<F>("TInstallFile", &TCustomInstallFile::StaticClassInfo()).Creatable())
          .Property("ActiveX", &F::ActiveX, &F::SetActiveX, false)
          .Property("Net", &F::Net, &F::SetNet, false)
          .Property("RegisterAsHelp", &F::RegisterAsHelp, &F::SetRegisterAsHelp, false)
          .Property("RunAfterInstall", &F::RunAfterInstall, &F::SetRunAfterInstall, false)
          .Build();
  return info;
}

const ClassInfo& TUninstallEXE::StaticClassInfo() {
  using U = TUninstallEXE;
  static const ClassInfo info =
      InstallFileProperties(ClassBuilder<U>("TUninstallEXE", &TCustomInstallFile::StaticClassInfo()).Creatable())
          .Property("Net", &U::Net, &U::SetNet, true)
          .Enum("State", kInstallFileStateInfo, &U::State, &U::SetState, ifsNone)
          .Build();
  return info;
}

TCustomInstallFile::TCustomInstallFile(TComponent* owner) : TFileRelated(owner) {
  SetNet(false);
  if (EngineContext* ctx = Context()) {
    // A file is kept in its container's archive unless the project says
    // otherwise.
    StoreArchiveFileType(StandardSpecifier<TpsContainerArchiveFile>(ctx));
    ctx->Files().Add(this);
    unique_id_ = ctx->UniqueIds().Acquire();
  }
}

TCustomInstallFile::~TCustomInstallFile() {
  EngineContext* ctx = Context();
  if (ctx == nullptr) return;
  ctx->Files().Remove(this);
  ctx->DeferredRegistrations().Remove(this);
  // A number given to several files (the table was full) stays used while
  // any of them lives.
  for (TCustomInstallFile* other : ctx->Files()) {
    if (other->unique_id_ == unique_id_) return;
  }
  ctx->UniqueIds().Release(unique_id_);
}

TUninstallEXE::TUninstallEXE(TComponent* owner) : TCustomInstallFile(owner) { SetNet(true); }

int TCustomInstallFile::ComponentType() const { return kTypeInstallFile; }

std::string TCustomInstallFile::InstalledPath() { return GetDestPath() + "\\" + dest_name_; }

std::string TCustomInstallFile::SourcePath() const {
  std::string dir = include_from_dir_;
  EngineContext* ctx = Context();
  // A host directory is read as Z:\..., as the archive stored it.
  if (!dir.empty() && dir[0] == '/' && ctx != nullptr) {
    try {
      dir = ctx->GetMachine().GetPaths().FullPath(dir);
    } catch (const EPlatformError&) {
      // A directory the machine cannot reach stays as written; its member
      // is then not found, with the path named.
    }
  }
  return JoinSource(dir, file_name_);
}

void TCustomInstallFile::SetUniqueID(std::int32_t id) {
  unique_id_ = id;
  if (!Loading() && Context() != nullptr) Context()->UniqueIds().Mark(id);
}

void TCustomInstallFile::Loaded() {
  const bool was_loading = Loading();
  TFileRelated::Loaded();
  EngineContext* ctx = Context();
  if (!was_loading || ctx == nullptr) return;
  UniqueIdTable& ids = ctx->UniqueIds();
  if (ids.BeginRebuild()) {
    if (ProjectForm* form = FormOf(this)) {
      form->WhenLoaded([&ids] { ids.EndRebuild(); });
    } else {
      ids.EndRebuild();
    }
  }
  ids.Mark(unique_id_);
}

void TCustomInstallFile::SetState(TInstallFileState state) {
  if (Loading() || state == ifsNone) {
    state_ = state;
    return;
  }
  // Each action sets its own state while it runs and leaves ifsNone.
  switch (state) {
    case ifsCompress:
      Compress();
      break;
    case ifsInstall:
      Process();
      break;
    case ifsCopying:
      Copy();
      break;
    case ifsNone:
      break;
  }
  state_ = ifsNone;
}

// --- The settings rule ------------------------------------------------------------

TCustomInstallFile::Settings TCustomInstallFile::CurrentSettings() const {
  Settings s;
  s.container = Container();
  s.dest_name = dest_name_;
  s.file_name = file_name_;
  s.include_from_dir = include_from_dir_;
  s.dest_dir = DestDir();
  s.dest_dir_type = DestDirType();
  s.file_type = file_type_;
  s.active_x = active_x_;
  return s;
}

void TCustomInstallFile::SetActiveX(bool value) {
  if (Loading() || applying_) {
    active_x_ = value;
    return;
  }
  Settings s = CurrentSettings();
  s.active_x = value;
  ApplySettings(s);
}

void TCustomInstallFile::SetDestName(const std::string& name) {
  if (Loading() || applying_) {
    dest_name_ = name;
    return;
  }
  Settings s = CurrentSettings();
  s.dest_name = name;
  ApplySettings(s);
}

void TCustomInstallFile::SetFileName(const std::string& name) {
  if (Loading() || applying_) {
    file_name_ = name;
    return;
  }
  Settings s = CurrentSettings();
  s.file_name = name;
  ApplySettings(s);
}

void TCustomInstallFile::SetFileType(TInstallFileType type) {
  if (Loading() || applying_) {
    file_type_ = type;
    return;
  }
  Settings s = CurrentSettings();
  s.file_type = type;
  ApplySettings(s);
}

void TCustomInstallFile::SetIncludeFromDir(const std::string& dir) {
  if (Loading() || applying_) {
    include_from_dir_ = dir;
    return;
  }
  Settings s = CurrentSettings();
  s.include_from_dir = dir;
  ApplySettings(s);
}

void TCustomInstallFile::SetDestDir(const std::string& dir) {
  if (Loading() || applying_) {
    TFileRelated::SetDestDir(dir);
    return;
  }
  Settings s = CurrentSettings();
  s.dest_dir = dir;
  ApplySettings(s);
}

void TCustomInstallFile::SetDestDirType(TCustomPathSpecifier* specifier) {
  if (Loading() || applying_) {
    TFileRelated::SetDestDirType(specifier);
    return;
  }
  Settings s = CurrentSettings();
  s.dest_dir_type = specifier;
  ApplySettings(s);
}

void TCustomInstallFile::SetContainer(TInstallContainer* container) {
  if (Loading() || applying_) {
    TFileRelated::SetContainer(container);
    return;
  }
  Settings s = CurrentSettings();
  s.container = container;
  ApplySettings(s);
}

void TCustomInstallFile::ApplySettings(Settings s) {
  EngineContext* ctx = Context();
  const Settings old = CurrentSettings();
  struct Applying {  // nested writes below store their values only
    bool& flag;
    explicit Applying(bool& f) : flag(f) { flag = true; }
    ~Applying() { flag = false; }
  } applying(applying_);

  // 1. Files live in file containers.
  if (s.container != nullptr && dynamic_cast<TFileContainer*>(s.container) == nullptr) {
    Raise<IECustomInstallFile>(ctx, kFileNeedsFileContainer, {DisplayName()});
  }
  // 2. One source path once per container. A file without a name yet has
  // no source, so several new files may wait in one container.
  const bool container_changed = s.container != old.container;
  const bool name_changed = !WinNamesEqual(s.file_name, old.file_name);
  const bool dir_changed = !WinNamesEqual(s.include_from_dir, old.include_from_dir);
  const std::string source = JoinSource(s.include_from_dir, s.file_name);
  if ((container_changed || name_changed || dir_changed) && s.container != nullptr && !IsBlankText(s.file_name)) {
    for (TInstallContainer* h : s.container->HelperList()) {
      auto* file = dynamic_cast<TCustomInstallFile*>(h);
      if (file != nullptr && file != this &&
          WinNamesEqual(JoinSource(file->include_from_dir_, file->file_name_), source)) {
        Raise<IECustomInstallFile>(ctx, kDuplicateSourcePath, {source});
      }
    }
  }
  // 3. A new file name names the installed file too.
  if (name_changed && !IsBlankText(s.file_name)) s.dest_name = s.file_name;
  // 4. Help files and self-registering files are known by their source.
  const std::string ext = UpperExtension(s.file_name);
  if (name_changed || dir_changed) {
    register_as_help_ = ext == ".HLP" || ext == ".CNT";
    if (ext == ".OCX") {
      s.active_x = true;
    } else {
      std::swap(include_from_dir_, s.include_from_dir);
      std::swap(file_name_, s.file_name);
      s.active_x = IsOleSelfRegister();
      std::swap(include_from_dir_, s.include_from_dir);
      std::swap(file_name_, s.file_name);
    }
  }
  // 5. A self-registering file is a system-wide library.
  if (s.active_x && !old.active_x) s.file_type = iftSystemWideDLL;
  // 6. Programs and libraries placed in the Windows or system directory.
  if (s.dest_dir_type != old.dest_dir_type && (ext == ".DLL" || ext == ".OCX" || ext == ".BLL" || ext == ".EXE")) {
    if (dynamic_cast<TpsWindow*>(s.dest_dir_type) != nullptr || dynamic_cast<TpsBDEDLL*>(s.dest_dir_type) != nullptr) {
      overwrite_mode_ = owVersionDate;
    } else if (dynamic_cast<TpsSystem*>(s.dest_dir_type) != nullptr) {
      s.file_type = iftSystemWideDLL;
    }
  }
  // 7. Libraries are replaced only by newer ones; shared ones are counted.
  if (s.file_type != old.file_type) {
    switch (s.file_type) {
      case iftJustADLL:
      case iftApplicationSpecificDLL:
        overwrite_mode_ = owVersionDate;
        break;
      case iftVendorSharedDLL:
      case iftSystemWideDLL:
        update_dll_counter_ = true;
        overwrite_mode_ = owVersionDate;
        break;
      case iftNormal:
        break;
    }
  }
  // 8. The destination type, then the container, by the tree's rules (a new
  // container points the destination at its own).
  if (s.dest_dir_type != DestDirType()) TFileRelated::SetDestDirType(s.dest_dir_type);
  if (s.container != Container()) {
    TFileRelated::SetContainer(s.container);
    if (container_changed) {
      s.dest_dir = DestDir();
      s.dest_dir_type = DestDirType();
    }
  }
  // 9. Where libraries of each kind go.
  switch (s.file_type) {
    case iftApplicationSpecificDLL:
      TFileRelated::SetDestDirType(StandardSpecifier<TpsMainInstall>(ctx));
      s.dest_dir = "\\System";
      break;
    case iftVendorSharedDLL:
      TFileRelated::SetDestDirType(StandardSpecifier<TpsCommonFiles>(ctx));
      s.dest_dir = "\\System";
      break;
    case iftSystemWideDLL:
      TFileRelated::SetDestDirType(StandardSpecifier<TpsSystem>(ctx));
      break;
    case iftNormal:
    case iftJustADLL:
      break;
  }
  // 10. Store.
  include_from_dir_ = s.include_from_dir;
  file_name_ = s.file_name;
  TFileRelated::SetDestDir(s.dest_dir);
  dest_name_ = s.dest_name;
  file_type_ = s.file_type;
  active_x_ = s.active_x;
}

void ResolveSourceDirectories(TComponent& root, const std::string& base_dir) {
  for (int i = 0; i < root.ComponentCount(); ++i) {
    auto* file = dynamic_cast<TCustomInstallFile*>(root.Components(i));
    if (file == nullptr) continue;
    const std::string& dir = file->IncludeFromDir();
    const bool absolute = dir.empty() || dir[0] == '/' || dir[0] == '\\' || WinDriveLetter(dir).has_value();
    if (absolute) continue;
    std::string joined = base_dir;
    if (joined.empty() || joined.back() != '/') joined += '/';
    joined += dir == "." ? std::string() : dir;
    while (joined.size() > 1 && joined.back() == '/') joined.pop_back();
    file->StoreIncludeFromDir(joined);
  }
}

bool TCustomInstallFile::IsOleSelfRegister() const {
  EngineContext* ctx = Context();
  if (ctx == nullptr || IsBlankText(file_name_)) return false;
  std::optional<std::vector<std::uint8_t>> block;
  try {
    block = GetVersionInfo(ctx->GetMachine()).GetFileVersionInfo(SourcePath());
  } catch (const EPlatformError&) {
    return false;  // a source the machine cannot reach has no resource
  }
  if (!block) return false;
  auto translation = VerQueryValue(*block, "\\VarFileInfo\\Translation");
  if (!translation || translation->size() < 4) return false;
  const unsigned language = (*translation)[0] | ((*translation)[1] << 8);
  const unsigned code_page = (*translation)[2] | ((*translation)[3] << 8);
  char table[16];
  std::snprintf(table, sizeof table, "%04X%04X", language & 0xFFFFu, code_page & 0xFFFFu);
  return VerQueryValue(*block, std::string("\\StringFileInfo\\") + table + "\\OLESelfRegister").has_value();
}

}  // namespace brimwell
