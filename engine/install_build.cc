// Build mode (-b) and the transfer to floppies (-f): the project builds its
// own distribution. setup.1 holds the engine and the presetup files,
// setup.exe is a copy of the toolkit's loader, files.1 (and the net
// archives) are filled by the tree's Compress, filelist.lst describes the
// net files, and a stand-alone setup.exe carries setup.1, files.1 and the
// 56-byte trailer at its end.
#include <cstdlib>
#include <functional>
#include <limits>
#include <memory>

#include "archive/archive_format.h"
#include "archive/brwl_compress.h"
#include "engine/api_routines.h"
#include "engine/custom_install_file.h"
#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "engine/install.h"
#include "engine/net_location_access.h"
#include "engine/project_form.h"
#include "engine/remote_file_list.h"
#include "framework/application.h"
#include "framework/format.h"
#include "host/host_env.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/registry.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

constexpr std::size_t kCopyBlock = 8192;
constexpr std::size_t kAppendBlock = 1 << 20;

std::string Trimmed(std::string_view s) {
  std::size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return {};
  std::size_t e = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(b, e - b + 1));
}

// Copies up to `count` bytes from `from` (at its position) to the end of
// `to`; the bytes copied. `after_block` runs after each block.
std::uint64_t CopyBytes(File& from, File& to, std::uint64_t count, std::size_t block,
                        const std::function<void()>& after_block = {}) {
  std::vector<char> buffer(block);
  std::uint64_t done = 0;
  while (done < count) {
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(block, count - done));
    IoResult r = from.Read(buffer.data(), want);
    if (!r.ok() || r.bytes == 0) break;
    IoResult w = to.Write(buffer.data(), r.bytes);
    if (!w.ok()) break;
    done += w.bytes;
    if (w.bytes < r.bytes) break;
    if (after_block) after_block();
  }
  return done;
}

// Reverts the driver's archive settings however the build ends.
class ArchiveSettingsScope {
 public:
  explicit ArchiveSettingsScope(TCustomInstall& driver)
      : driver_(driver), type_(driver.ArchiveFileType()), file_(driver.ArchiveFile()) {}
  ~ArchiveSettingsScope() {
    driver_.SetArchiveFileType(type_);
    driver_.SetArchiveFile(file_);
  }

 private:
  TCustomInstall& driver_;
  TCustomPathSpecifier* type_;
  std::string file_;
};

}  // namespace

std::string TCustomInstall::FindToolkitDirectory(bool raise_if_missing) {
  EngineContext* ctx = Context();
  Machine& machine = ctx->GetMachine();
  std::string search = machine.GetRegistry().FindString(RegistryHive::kCurrentUser, kSearchPathKey, kSearchPathValue)
                           .value_or(std::string());
  if (!Trimmed(search).empty()) {
    std::size_t start = 0;
    while (start <= search.size()) {
      std::size_t end = search.find(';', start);
      if (end == std::string::npos) end = search.size();
      std::string dir = Trimmed(std::string_view(search).substr(start, end - start));
      if (!dir.empty() && machine.GetFileSystem().FileExists(IncludeTrailingBackslash(dir) + kToolkitMarker)) {
        return StripTrailingBackslash(dir);
      }
      start = end + 1;
    }
  }
  if (raise_if_missing) Raise<IEInstall>(ctx, kToolkitNotOnSearchPath);
  return {};
}

void TCustomInstall::BuildSetup1(const std::string& engine_path, const std::string& setup1) {
  EngineContext* ctx = Context();
  if (Trimmed(engine_path).empty()) Raise<IEInstall>(ctx, kExecutableBlank);
  if (!ctx->GetMachine().GetFileSystem().FileExists(engine_path)) {
    Raise<IEInstall>(ctx, kExecutableMissing, {engine_path});
  }
  // Temporary installable files of the project, outside every container:
  // the engine starts a new setup.1, each presetup file is appended.
  auto compress = [&](const std::string& path, TlzhCommand command, bool first) {
    auto file = std::make_unique<TCustomInstallFile>(Owner());
    if (!first) file->SetNet(false);
    file->SetFileName(ExtractFileName(path));
    file->SetIncludeFromDir(StripTrailingBackslash(ExtractFileDir(path)));
    file->SetAddToArchive(command);
    file->SetArchiveFileType(nullptr);
    file->SetArchiveFile(setup1);
    file->Compress();
  };
  compress(engine_path, lzcOverwrite, true);
  for (const std::string& line : presetup_files_) compress(line, lzcOnlyAdd, false);
}

void TCustomInstall::CompressTree(const std::string& files1) {
  EngineContext* ctx = Context();
  SetArchiveFileType(nullptr);
  SetArchiveFile(files1);
  for (TCustomInstallFile* f : ctx->Files()) f->SetCompressedInBuild(false);
  unsigned options = coRelocate | coBuild | coCompressExcluded;
  if (distribute_type_ == TDistributeType::dtTraditional) options |= coForceNetFilesLocal;
  if (distribute_type_ == TDistributeType::dtWeb) options |= coForceFilesNet;
  // Each file compresses itself by itself, one after the other; the
  // sources are compressed ahead on every core in the walk's order (the
  // tree depth first), so the walk mostly writes finished members.
  TBrwlCompress& main = ctx->MainArchive();
  if (auto threads = host::Env::Default().GetEnv(kBuildThreadsVariable)) main.SetThreads(std::atoi(threads->c_str()));
  std::vector<std::string> sources;
  for (TCustomInstallFile* file : FilesInWalkOrder(false)) sources.push_back(file->SourcePath());
  struct LookaheadScope {
    TBrwlCompress& archive;
    ~LookaheadScope() { archive.SetLookahead(nullptr); }
  } lookahead{main};
  main.SetLookahead(main.MakeLookahead(sources));
  Compress(options);
}

std::vector<TCustomInstallFile*> TCustomInstall::FilesInWalkOrder(bool selected_only) const {
  std::vector<TCustomInstallFile*> files;
  std::function<void(const TInstallContainer&)> collect = [&](const TInstallContainer& container) {
    for (TInstallContainer* h : container.HelperList()) {
      if (selected_only && (!h->Processable() || !h->Include() || !h->IsSelected())) continue;
      if (auto* file = dynamic_cast<TCustomInstallFile*>(h)) files.push_back(file);
      if (auto* sub = dynamic_cast<TFileContainer*>(h)) collect(*sub);
    }
  };
  collect(*this);
  return files;
}

void TCustomInstall::WriteFileList() {
  EngineContext* ctx = Context();
  std::string mirror;
  if (NetLocationAccess* access = ctx->NetAccess(); access != nullptr && NetLocation() != nullptr) {
    mirror = access->RelativeMirrorPath(*NetLocation());
  }
  std::string dir = ExtractFileDir(ArchiveFile());
  if (!mirror.empty()) dir = IncludeTrailingBackslash(dir) + mirror;
  FileSystem& fs = ctx->GetMachine().GetFileSystem();
  fs.ForceDirectories(dir);
  std::vector<RemoteFileRecord> records;
  for (TCustomInstallFile* f : ctx->Files()) {
    if (!f->CompressedInBuild()) continue;
    RemoteFileRecord r;
    r.size = static_cast<std::int32_t>(f->FileSize());
    r.date = f->FileDate();
    r.name = f->Name();
    r.version = f->Version();
    records.push_back(r);
  }
  const std::string path = IncludeTrailingBackslash(dir) + kRemoteFileListName;
  const std::string bytes = EncodeFileList(records);
  auto out = fs.Open(path, FileAccess::kWrite, kShareNone, FileDisposition::kCreateAlways);
  if (!out.ok()) Raise<IEInstall>(ctx, kCannotWriteFileList, {path});
  IoResult w = (*out)->Write(bytes.data(), bytes.size());
  if (!w.ok() || w.bytes != bytes.size()) Raise<IEInstall>(ctx, kCannotWriteFileList, {path});
}

void TCustomInstall::MakeSelfExtracting(const std::string& setup_exe, const std::string& setup1,
                                        const std::string& files1) {
  EngineContext* ctx = Context();
  FileSystem& fs = ctx->GetMachine().GetFileSystem();
  auto exe = fs.Open(setup_exe, FileAccess::kReadWrite, kShareNone, FileDisposition::kOpenExisting);
  if (!exe.ok()) Raise<IEInstall>(ctx, kCannotMakeSelfExtracting, {setup1, setup_exe});
  File& out = **exe;
  auto end = out.Seek(0, SeekOrigin::kEnd);
  if (!end.ok()) Raise<IEInstall>(ctx, kCannotMakeSelfExtracting, {setup1, setup_exe});
  std::uint64_t position = *end;
  auto offset = [&](std::uint64_t value) {
    if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
      Raise<IEInstall>(ctx, kSelfExtractingTooLarge, {setup_exe});
    }
    return static_cast<std::int32_t>(value);
  };
  // Appends `part`; its first and last offsets in setup.exe.
  auto append = [&](const std::string& part) {
    auto in = fs.Open(part, FileAccess::kRead, kShareRead, FileDisposition::kOpenExisting);
    if (!in.ok()) Raise<IEInstall>(ctx, kCannotMakeSelfExtracting, {part, setup_exe});
    auto size = (*in)->Size();
    if (!size.ok()) Raise<IEInstall>(ctx, kCannotMakeSelfExtracting, {part, setup_exe});
    offset(position + *size);
    std::uint64_t copied = CopyBytes(**in, out, *size, kAppendBlock);
    if (copied < *size) Raise<IEInstall>(ctx, kCannotMakeSelfExtracting, {part, setup_exe});
    std::pair<std::int32_t, std::int32_t> range{offset(position), offset(position + copied - 1)};
    position += copied;
    return range;
  };
  SelfExtractTrailer trailer;
  std::tie(trailer.Setup1Start, trailer.Setup1End) = append(setup1);
  if (fs.FileExists(files1)) std::tie(trailer.Files1Start, trailer.Files1End) = append(files1);
  TrailerBytes bytes = EncodeTrailer(trailer);
  IoResult w = out.Write(bytes.data(), bytes.size());
  if (!w.ok() || w.bytes != bytes.size()) Raise<IEInstall>(ctx, kCannotMakeSelfExtracting, {setup1, setup_exe});
}

void TCustomInstall::BuildDistributables(const std::string& engine_path, const std::string& build_dir,
                                         bool stand_alone) {
  EngineContext* ctx = Context();
  FileSystem& fs = ctx->GetMachine().GetFileSystem();
  if (stand_alone && !use_loading_program_) Raise<IEInstall>(ctx, kStandAloneNeedsLoader);
  const std::string dir = IncludeTrailingBackslash(build_dir);
  const std::string setup_exe = dir + "setup.exe";
  const std::string setup1 = dir + "setup.1";
  const std::string files1 = dir + "files.1";
  RunLog& log = ctx->Log();

  if (use_loading_program_) {
    log.Write("build", "setup.1 " + setup1);
    fs.ForceDirectories(StripTrailingBackslash(dir));
    if (OnBeforeBuildSetupFile) OnBeforeBuildSetupFile(this);
    try {
      BuildSetup1(engine_path, setup1);
    } catch (const EbcDiskFull&) {
      Raise<IEInstall>(ctx, kSetup1DiskFull);
    }
    if (OnAfterBuildSetupFile) OnAfterBuildSetupFile(this);
    std::string toolkit;
    try {
      toolkit = FindToolkitDirectory(true);
    } catch (const IEInstall&) {
      Raise<IEInstall>(ctx, kToolkitKeyInvalid, {kToolkitKeyNamed});
    }
    const std::string loader = toolkit + "\\" + kLoaderProgramName;
    if (!fs.FileExists(loader)) Raise<IEInstall>(ctx, kLoaderNotFound, {loader});
    log.Write("build", "setup.exe from " + loader);
    if (!fs.CopyFile(loader, setup_exe, false)) Raise<IEInstall>(ctx, kCannotCopyLoader, {loader, setup_exe});
  } else {
    const std::string target = dir + ExtractFileName(engine_path);
    if (OnBeforeCopyEngine) OnBeforeCopyEngine(this, engine_path);
    fs.ForceDirectories(StripTrailingBackslash(dir));
    if (!fs.CopyFile(engine_path, target, false)) Raise<IEInstall>(ctx, kCannotCopyEngine, {engine_path, target});
    if (OnAfterCopyEngine) OnAfterCopyEngine(this);
  }

  {
    ArchiveSettingsScope restore(*this);
    log.Write("build", "compress the tree into " + files1);
    if (OnBeforeCompressTree) OnBeforeCompressTree(this);
    CompressTree(files1);
    if (distribute_type_ != TDistributeType::dtTraditional) WriteFileList();
  }
  if (OnAfterCompressTree) OnAfterCompressTree(this);

  if (stand_alone) {
    log.Write("build", "self-extracting " + setup_exe);
    if (OnBeforeSelfExtract) OnBeforeSelfExtract(this);
    MakeSelfExtracting(setup_exe, setup1, files1);
    if (OnAfterSelfExtract) OnAfterSelfExtract(this);
  }
}

void TCustomInstall::BuildFromInf() {
  EngineContext* ctx = Context();
  try {
    FileSystem& fs = ctx->GetMachine().GetFileSystem();
    const std::string engine = ctx->ExecutablePath();
    const std::string inf = IncludeTrailingBackslash(ExtractFileDir(engine)) + kBuildInfName;
    auto opened = fs.Open(inf, FileAccess::kRead, kShareReadWrite, FileDisposition::kOpenExisting);
    if (!opened.ok()) Raise<IEInstall>(ctx, kBuildInfMissing);
    std::string text;
    char buffer[4096];
    for (;;) {
      IoResult r = (*opened)->Read(buffer, sizeof buffer);
      if (!r.ok() || r.bytes == 0) break;
      text.append(buffer, r.bytes);
    }
    if (text.empty()) Raise<IEInstall>(ctx, kBuildInfEmpty);
    std::string first = text.substr(0, text.find('\n'));
    if (!first.empty() && first.back() == '\r') first.pop_back();
    // A blank first line names no directory: building into the engine's
    // own directory would be a guess.
    if (Trimmed(first).empty()) Raise<IEInstall>(ctx, kBuildInfEmpty);
    BuildDistributables(engine, Trimmed(first), true);
  } catch (const std::exception& e) {
    ctx->SetExitStatus(kExitRunFailed);
    ShowException(e);
  }
  ctx->App().Terminate();
}

void TCustomInstall::TransferToFloppies(const std::string& drive) {
  EngineContext* ctx = Context();
  Application& app = ctx->App();
  {
    ScopedCursor hourglass(app);
    app.ProcessMessages();
    try {
      if (!HasSwitch(EngineSwitch::kSelfExtract)) Raise<IEInstall>(ctx, kFloppiesNeedSelfExtract);
      const std::string source = GetArchivePath();
      SelfExtractTrailer trailer = ReadExtractionInfo(source);
      ShowStatusText(ctx->Translate(kTransferringToFloppies));
      FileSystem& fs = ctx->GetMachine().GetFileSystem();
      const std::string root = IncludeTrailingBackslash(drive);
      auto in = fs.Open(source, FileAccess::kRead, kShareRead, FileDisposition::kOpenExisting);
      if (!in.ok()) Raise<IEInstall>(ctx, kCannotReadExtractionInfo, {source});
      {
        auto exe = fs.Open(root + "setup.exe", FileAccess::kWrite, kShareNone, FileDisposition::kCreateAlways);
        if (!exe.ok()) Raise<IEInstall>(ctx, kCannotCreateSetupExeOnDisk);
        const auto want = static_cast<std::uint64_t>(trailer.Setup1Start);
        if (CopyBytes(**in, **exe, want, kCopyBlock) < want) Raise<IEInstall>(ctx, kCannotCreateSetupExeOnDisk);
      }
      {
        auto setup1 = fs.Open(root + "setup.1", FileAccess::kWrite, kShareNone, FileDisposition::kCreateAlways);
        if (!setup1.ok()) Raise<IEInstall>(ctx, kCannotCreateSetup1OnDisk);
        const auto want = static_cast<std::uint64_t>(trailer.Setup1End) - trailer.Setup1Start + 1;
        if (!(*in)->Seek(trailer.Setup1Start, SeekOrigin::kBegin).ok() ||
            CopyBytes(**in, **setup1, want, kCopyBlock, [&] { app.ProcessMessages(); }) < want) {
          Raise<IEInstall>(ctx, kCannotCreateSetup1OnDisk);
        }
      }
      in->reset();
      // A product without files.1 (everything on a server) is complete now.
      if (trailer.HasFiles1()) SplitFiles1(source, root, trailer.Files1Start);
      HideStatusText();
    } catch (const std::exception& e) {
      HideStatusText();
      ctx->SetExitStatus(kExitRunFailed);
      ShowException(e);
    }
  }
  app.ProcessMessages();
  app.Terminate();
}

void TCustomInstall::SplitFiles1(const std::string& source, const std::string& root, std::int32_t offset) {
  EngineContext* ctx = Context();
  Application& app = ctx->App();
  TBrwlCompress& archive = ctx->MainArchive();
  archive.OnNewDisk = [&](TBrwlCompress&, int disk, std::string&) {
    ScopedCursor normal(app, Cursor::kDefault);
    MessageBoxRequest box;
    box.text = EngineText(ctx, kInsertDisk, {disk});
    box.icon = MessageBoxIcon::kQuestion;
    box.buttons = MessageBoxButtons::kOKCancel;
    if (app.MessageBox(box) != ModalResult::kOK) Raise<IEInstall>(ctx, kAbortedByUser);
  };
  archive.OnStatus = [&](TBrwlCompress& component, const TlzhFileStats& stats) {
    if (OnArchiveStatus) OnArchiveStatus(component, stats);
    app.ProcessMessages();
  };
  struct ClearHandlers {
    TBrwlCompress& a;
    ~ClearHandlers() {
      a.OnNewDisk = nullptr;
      a.OnStatus = nullptr;
    }
  } clear{archive};
  archive.SetOffset(offset);
  archive.SetCompressedFile(source);
  archive.SplitToDisks(root, "files.1");
}

}  // namespace brimwell
