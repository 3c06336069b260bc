#include "engine/shell_folders.h"

#include <optional>

#include "engine/api_routines.h"
#include "engine/engine_context.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/platform_errors.h"
#include "platform/registry.h"

namespace brimwell {
namespace {

std::optional<std::string> ReadFolderValue(const EngineContext& ctx, RegistryHive hive, const char* key,
                                           const char* name) {
  // A missing key or value, or a value of another type: the default serves.
  return ctx.GetMachine().GetRegistry().FindString(hive, key, name);
}

std::string CurrentDrive(const EngineContext& ctx) {
  std::string dir = ctx.GetMachine().GetPaths().CurrentDirectory();
  if (dir.size() >= 2 && dir[1] == ':') return dir.substr(0, 2);
  return "C:";
}

std::string UserFolder(const EngineContext& ctx, const char* value, std::string fallback) {
  auto v = ReadFolderValue(ctx, RegistryHive::kCurrentUser, kShellFoldersKey, value);
  return StripTrailingBackslash(v ? *v : fallback);
}

}  // namespace

std::string GetShellFolder(const EngineContext& ctx, ShellFolder folder) {
  switch (folder) {
    case ShellFolder::kStartMenu:
      return UserFolder(ctx, "Start Menu", WindowsDirectory(ctx) + "\\Startmen");
    case ShellFolder::kPrograms: {
      auto v = ReadFolderValue(ctx, RegistryHive::kCurrentUser, kShellFoldersKey, "Programs");
      if (v) return StripTrailingBackslash(*v);
      return GetShellFolder(ctx, ShellFolder::kStartMenu) + "\\Programs";
    }
    case ShellFolder::kDesktop:
      return UserFolder(ctx, "Desktop", WindowsDirectory(ctx) + "\\Desktop");
    case ShellFolder::kStartup:
      return UserFolder(ctx, "Startup", WindowsDirectory(ctx) + "\\Startup");
    case ShellFolder::kProgramFiles: {
      auto v = ReadFolderValue(ctx, RegistryHive::kLocalMachine, kCurrentVersionKey, "ProgramFilesDir");
      return StripTrailingBackslash(v ? *v : CurrentDrive(ctx) + "\\Program Files");
    }
    case ShellFolder::kCommonFiles: {
      auto v = ReadFolderValue(ctx, RegistryHive::kLocalMachine, kCurrentVersionKey, "CommonFilesDir");
      return StripTrailingBackslash(v ? *v : CurrentDrive(ctx) + "\\Program Files\\Common Files");
    }
    case ShellFolder::kSystem: return SystemDirectory(ctx);
    case ShellFolder::kWindows: return WindowsDirectory(ctx);
  }
  return {};
}

}  // namespace brimwell
