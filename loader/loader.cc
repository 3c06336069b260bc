#include "loader/loader.h"

#include <memory>
#include <vector>

#include "archive/archive_names.h"
#include "archive/archive_reader.h"
#include "archive/host_file.h"
#include "framework/application.h"
#include "framework/exception.h"
#include "framework/format.h"
#include "framework/text_case.h"
#include "framework/toolkit_version.h"
#include "framework/ui_session.h"
#include "host/host_env.h"
#include "host/host_path.h"
#include "loader/engine_command_line.h"
#include "loader/loader_text.h"
#include "loader/program_start.h"
#include "loader/progress_bar.h"
#include "loader/setup_archive.h"
#include "loader/working_directory.h"

namespace brimwell {
namespace {

std::unique_ptr<HostFile> OpenForReading(const std::string& path) {
  std::unique_ptr<HostFile> file = HostFile::Open(path, HostFile::Mode::kRead);
  if (!file) throw Exception(Format(kCouldNotOpenFormat, {path}));
  return file;
}

}  // namespace

std::optional<std::string> FindSetup1(const std::string& dir, host::Env& env) {
  std::string exact = host::JoinPath(dir, kSetup1Name);
  if (env.FileExists(exact)) return exact;
  host::Result<std::vector<std::string>> names = env.ListDirectory(dir);
  if (!names) return std::nullopt;
  for (const std::string& name : *names) {
    if (SameText(name, kSetup1Name)) {
      std::string path = host::JoinPath(dir, name);
      if (env.FileExists(path)) return path;
    }
  }
  return std::nullopt;
}

Loader::Loader(LoaderServices services, StarWord star_word)
    : services_(std::move(services)), star_word_(star_word) {}

LoaderRun Loader::Run() {
  const std::string& executable = services_.executable;
  // Host paths only: the loader's own path never holds Windows separators.
  const std::string own_dir = host::ParentDirectory(executable);
  const std::string own_name(host::BaseName(executable));

  // Which form this is, the loader learns from its own last 56 bytes.
  if (!HostFileExists(executable)) throw Exception(kCouldNotFindExecutable + executable);
  std::unique_ptr<HostFile> own = OpenForReading(executable);
  std::optional<SelfExtractTrailer> trailer = ReadSelfExtractTrailer(*own);

  // Locate the archive: the image inside the own file (a setup.1 beside it is
  // then ignored), or setup.1 beside the loader.
  std::unique_ptr<HostFile> archive_file;
  std::int64_t base = 0, end = 0;
  if (trailer) {
    archive_file = std::move(own);
    const std::int64_t size = archive_file->Size();
    base = trailer->Setup1Start;
    // The image's inclusive end bounds every read; a trailer whose fields do
    // not fit the file still leaves the trailer itself out of reach.
    end = TrailerFitsFile(*trailer, size) ? std::int64_t{trailer->Setup1End} + 1
                                          : size - static_cast<std::int64_t>(self_extract::kTrailerSize);
  } else {
    own.reset();
    std::optional<std::string> setup1 = FindSetup1(own_dir);
    if (!setup1) throw Exception(kSetup1NotBeside + own_dir);
    archive_file = OpenForReading(*setup1);
    end = archive_file->Size();
  }

  LoaderRun run;
  run.working_dir = MakeWorkingDirectory(services_.temp_path);
  // Until the engine runs, a failure leaves nothing behind: the directory
  // made for it goes with whatever was unpacked into it.
  struct RemoveUnlessStarted {
    const std::string& dir;
    const std::string& temp_path;
    bool started = false;
    ~RemoveUnlessStarted() {
      if (!started && dir != temp_path) (void)host::Env::Default().RemoveTree(dir);
    }
  } remove_unless_started{run.working_dir, services_.temp_path};
  CheckFreeSpace(run.working_dir, services_.free_bytes(run.working_dir));

  SetupArchive archive(*archive_file, base, end);
  archive.ReadHeaders();

  const std::int64_t total = archive.TotalSize();
  std::int64_t written = 0;
  auto observe = [&](std::size_t bytes) {
    written += static_cast<std::int64_t>(bytes);
    if (services_.progress) services_.progress->SetPosition(ProgressBar::Percent(written, total));
  };
  for (std::size_t i = 0; i < archive.Headers().size(); ++i) {
    archive.Extract(i, run.working_dir, observe);
  }
  if (services_.progress) services_.progress->Finish();

  // The engine is always the first member.
  run.engine = host::JoinPath(run.working_dir, MemberFileName(archive.Headers().front().FileName));
  if (!HostFileExists(run.engine)) throw Exception(Format(kEngineNotExtracted, {run.engine}));

  EngineLaunch launch = star_word_ == StarWord::kToDisk ? EngineLaunch::kTransferToFloppies
                        : trailer                       ? EngineLaunch::kSelfExtracting
                                                        : EngineLaunch::kBesideSetup1;
  run.command_line = ComposeEngineCommandLine(launch, run.engine, own_name, own_dir);
  ProgramStart started = services_.start_program(run.command_line);
  if (started.result < 32) {
    throw Exception(Format(kCouldNotStartEngine, {run.command_line, started.result,
                                                      StartErrorText(started.result)}));
  }
  remove_unless_started.started = true;
  run.engine_status = started.exit_status;
  return run;
}

int RunLoaderProgram(std::span<const char* const> args, std::FILE* err) {
  if (!args.empty() && std::string_view(args[0]) == "--help") {
    std::fputs(kLoaderUsage, stdout);
    return 0;
  }
  if (!args.empty() && std::string_view(args[0]) == "--version") {
    std::printf("setup.exe (BrimwellLoadProgram) %s\n", std::string(ToolkitVersion()).c_str());
    return 0;
  }
  const StarWord star_word = ParseStarWord(args);
  host::Env& env = host::Env::Default();
  const bool unattended = IsUnattended();
  // Without a display an attended installation could show nothing: say so
  // now instead of starting an engine that cannot open its windows.
  if (!unattended && !DisplayAvailable(env)) {
    std::fprintf(err, "%s\n%s\n", kLoaderErrorCaption, kNoDisplay);
    return 1;
  }
  // Signals wait until the engine runs, which inherits them held and
  // decides itself how a cancel ends.
  if (unattended) env.SetTerminationSignals(host::TerminationSignals::kHeld);
  std::unique_ptr<ProgressBar> progress;
  if (star_word != StarWord::kQuiet && host::Env::Default().IsTerminal(err)) {
    progress = std::make_unique<ProgressBar>(err);
    progress->SetPosition(0);
  }

  LoaderServices services;
  host::Result<std::string> executable = env.ExecutablePath();
  services.executable = executable ? *executable : std::string();
  services.temp_path = TemporaryPath(env);
  services.free_bytes = [&env](const std::string& dir) { return FreeBytesAvailable(dir, env); };
  services.start_program = [unattended](const std::string& line) {
    return unattended ? StartProgramAndWait(line) : ProgramStart(StartProgram(line));
  };
  services.progress = progress.get();
  try {
    LoaderRun run = Loader(std::move(services), star_word).Run();
    return run.engine_status.value_or(0);
  } catch (const std::exception& e) {
    // The message box: shown, then the program ends with status 1.
    if (progress) progress->Finish();
    std::fprintf(err, "%s\n%s\n", kLoaderErrorCaption, e.what());
    return 1;
  }
}

}  // namespace brimwell
