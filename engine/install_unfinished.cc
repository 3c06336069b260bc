// Work that is finished after Windows restarts (the "Unfinished" key of the
// install record and the RunOnce entry that starts the engine again with
// -r), the restart itself, and the clean-up at the end of a run.
#include <charconv>

#include "engine/api_routines.h"
#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "engine/install.h"
#include "framework/application.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/platform_errors.h"
#include "platform/registry.h"
#include "platform/restart.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

constexpr RegistryHive kHive = RegistryHive::kLocalMachine;

}  // namespace

void TCustomInstall::ClearUnfinished() {
  EngineContext* ctx = Context();
  if (ctx->InstallRecordKey().empty()) Raise<IEInstall>(ctx, kUnfinishedNeedsRecord);
  ctx->GetMachine()
      .GetRegistry()
      .DeleteTree(kHive, ctx->InstallRecordKey() + "\\" + kUnfinishedSubkey)
      .IgnoreError();  // nothing to clear is fine
}

void TCustomInstall::AddUnfinished(const std::string& name, int kind) {
  EngineContext* ctx = Context();
  if (ctx->InstallRecordKey().empty()) Raise<IEInstall>(ctx, kUnfinishedNeedsRecord);
  ++unfinished_count_;
  const std::string key = ctx->InstallRecordKey() + "\\" + kUnfinishedSubkey;
  const std::string value = std::to_string(kind);
  if (!ctx->GetMachine().GetRegistry().WriteString(kHive, key, name, value).ok()) {
    Raise<IEInstall>(ctx, kCannotWriteUnfinished, {key, name, value});
  }
}

std::vector<std::string> TCustomInstall::ReadUnfinished() {
  EngineContext* ctx = Context();
  if (ctx->InstallRecordKey().empty()) Raise<IEInstall>(ctx, kUnfinishedNeedsRecord);
  std::vector<std::string> lines;
  auto values = ctx->GetMachine().GetRegistry().Values(kHive, ctx->InstallRecordKey() + "\\" + kUnfinishedSubkey);
  if (!values.ok()) return lines;
  for (const RegistryValueEntry& v : *values) {
    std::string data = v.value.type == RegistryValueType::kString ? v.value.data : std::string();
    lines.push_back(v.name + ";" + data);
  }
  return lines;
}

void TCustomInstall::RegisterRunOnce() {
  EngineContext* ctx = Context();
  std::string command = QuoteArgument(ctx->ExecutablePath()) + " -r";
  if (HasSwitch(EngineSwitch::kSelfExtract)) {
    std::string setup = SetupProgramPath();
    command += " " + QuoteArgument("-e" + ExtractFileName(setup)) + " " +
               QuoteArgument("-s" + StripTrailingBackslash(ExtractFileDir(setup)));
  } else {
    // With the loading program, SetupProgramPath joins the source directory
    // with the second argument, which is a switch, not a file name; the
    // source directory itself is what the resumed run needs.
    std::string dir = use_loading_program_ ? install_source_dir_
                                           : StripTrailingBackslash(ExtractFileDir(SetupProgramPath()));
    command += " " + QuoteArgument("-s" + dir);
  }
  if (HasSwitch(EngineSwitch::kCleanup)) command += " -c";

  if (!WriteRunOnce(kRunOnceUnfinished, command)) Raise<IEInstall>(ctx, kCannotRegisterRunOnce);
}

bool TCustomInstall::WriteRunOnce(const std::string& base_name, const std::string& command) {
  EngineContext* ctx = Context();
  Registry& reg = ctx->GetMachine().GetRegistry();
  if (!reg.CreateKey(kHive, kRunOnceKey).ok()) return false;
  std::string name = base_name;
  for (int n = 1; reg.ValueExists(kHive, kRunOnceKey, name); ++n) name = base_name + std::to_string(n);
  bool ok = reg.WriteString(kHive, kRunOnceKey, name, command).ok() && reg.Flush().ok();
  ctx->Log().Write("runonce", name + " = " + command + (ok ? "" : " (failed)"));
  return ok;
}

void TCustomInstall::SaveLanguage() {
  EngineContext* ctx = Context();
  const TranslatorHook& translator = ctx->Translator();
  if (!translator.target_language || ctx->InstallRecordKey().empty()) return;
  ctx->GetMachine()
      .GetRegistry()
      .WriteDword(kHive, ctx->InstallRecordKey(), "Language", static_cast<std::uint32_t>(translator.target_language()))
      .IgnoreError();  // the resumed run then uses the translator's own language
}

void TCustomInstall::RebootWindows() {
  EngineContext* ctx = Context();
  Restart& restart = ctx->GetMachine().GetRestart();
  bool ok = false;
  switch (WindowsKind(*ctx)) {
    case kWindows95: ok = restart.RestartWindows().ok(); break;
    case kWindowsNT: ok = restart.EnableShutdownPrivilege().ok() && restart.RestartWindows().ok(); break;
    default: break;  // Win32s and NT 3.5x are never restarted by the engine
  }
  ctx->Log().Write("step", ok ? "restart of Windows requested" : "restart of Windows failed");
  if (ok) return;
  if (OnFailedReboot) {
    OnFailedReboot(this);
  } else {
    MessageBoxRequest box;
    box.text = ctx->Translate(kCouldNotReboot);
    box.icon = MessageBoxIcon::kWarning;
    ctx->App().MessageBox(box);
  }
}

void TCustomInstall::FinishAfterReboot() { ContinueAfterReboot(); }

void TCustomInstall::ContinueAfterReboot() {
  RunSafely([this] {
    EngineContext* ctx = Context();
    running_ = true;
    ctx->SetInstallRecordKey(FindInstallRecord(false));
    Step(2, "after reboot: install record " + ctx->InstallRecordKey());
    const TranslatorHook& translator = ctx->Translator();
    if (translator.set_target_language && !ctx->InstallRecordKey().empty()) {
      // A value of another type keeps the translator's current language.
      if (auto lang = ctx->GetMachine().GetRegistry().FindDword(kHive, ctx->InstallRecordKey(), "Language")) {
        translator.set_target_language(static_cast<int>(*lang));
      }
    }
    std::vector<std::string> lines = ReadUnfinished();
    ClearUnfinished();
    for (const std::string& line : lines) {
      auto semicolon = line.find(';');
      std::string name = line.substr(0, semicolon);
      std::string kind_text = semicolon == std::string::npos ? std::string() : line.substr(semicolon + 1);
      int kind = 0;
      auto [end, error] = std::from_chars(kind_text.data(), kind_text.data() + kind_text.size(), kind);
      if (kind_text.empty() || error != std::errc() || end != kind_text.data() + kind_text.size()) {
        Raise<IEInstall>(ctx, kInvalidUnfinishedEntry, {line});
      }
      ctx->Log().Write("unfinished", line);
      if (kind == 1) {
        ctx->GetMachine().GetFileSystem().DeleteFile(name).IgnoreError();  // already gone is fine
      } else if (kind == 0) {
        for (TInstallContainer* c : ctx->Containers().Snapshot()) {
          if (c != this && SameText(c->Name(), name)) c->FinishAfterReboot();
        }
      }
    }
    FinishGoodRun();
  });
}

void TCustomInstall::CleanUp() {
  EngineContext* ctx = Context();
  if (!use_loading_program_ || HasSwitch(EngineSwitch::kDebug) || !HasSwitch(EngineSwitch::kCleanup) ||
      Designing()) {
    return;
  }
  bool continue_cleanup = true;
  if (OnBeforeCleanup) OnBeforeCleanup(this, continue_cleanup);
  if (!continue_cleanup) return;
  FileSystem& fs = ctx->GetMachine().GetFileSystem();
  const std::string engine = ctx->ExecutablePath();
  const std::string engine_dir = StripTrailingBackslash(ExtractFileDir(engine));
  for (const std::string& line : presetup_files_) {
    fs.DeleteFile(engine_dir + "\\" + ExtractFileName(line)).IgnoreError();  // missing files are fine
  }
  std::string batch = ChangeFileExt(MakeTempFileName(*ctx, false), ".bat");
  std::string text = "ERASE " + engine + "\r\n" + "DELTREE /Y " + engine_dir + "\r\n" + "ERASE " +
                     ChangeFileExt(batch, ".PIF") + "\r\n" + "ERASE " + batch + "\r\n";
  auto file = fs.Open(batch, FileAccess::kWrite, kShareNone, FileDisposition::kCreateAlways);
  if (!file.ok()) return;  // without a batch the temporary copy merely stays
  IoResult written = (*file)->Write(text.data(), text.size());
  if (!written.ok() || written.bytes != text.size()) return;
  cleanup_batch_path_ = batch;
  cleanup_batch_pending_ = true;
  ctx->Log().Write("cleanup", "batch " + batch);
}

}  // namespace brimwell
