#include "engine/api_routines.h"

#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "platform/file_system.h"
#include "platform/machine.h"

namespace brimwell {

int WindowsKind(const EngineContext& ctx) {
  WindowsVersion v = ctx.GetMachine().GetWindowsVersion();
  switch (v.platform_id) {
    case kVerPlatformWin32s: return kWindowsWin32s;
    case kVerPlatformWin32Windows: return kWindows95;
    case kVerPlatformWin32NT: {
      std::string text = std::to_string(v.major) + "." + std::to_string(v.minor);
      return text.find("3.5") != std::string::npos ? kWindowsNT35 : kWindowsNT;
    }
    default: return kWindowsOther;
  }
}

std::string MakeTempFileName(const EngineContext& ctx, bool keep) {
  FileSystem& fs = ctx.GetMachine().GetFileSystem();
  std::string dir = fs.TempPath();
  auto name = fs.GetTempFileName(dir, "bat", 0);
  if (!name.ok()) Raise<EAPIRoutines>(&ctx, kCannotCreateTempFile);
  if (!keep) fs.DeleteFile(*name).IgnoreError();  // only the name is wanted
  return *name;
}

std::string SystemDirectory(const EngineContext& ctx) {
  std::string dir = ctx.GetMachine().GetFileSystem().SystemDirectory();
  if (dir.empty()) Raise<EAPIRoutines>(&ctx, kCannotGetSystemDir);
  return StripTrailingBackslash(dir);
}

std::string WindowsDirectory(const EngineContext& ctx) {
  std::string dir = ctx.GetMachine().GetFileSystem().WindowsDirectory();
  if (dir.empty()) Raise<EAPIRoutines>(&ctx, kCannotGetWindowsDir);
  return StripTrailingBackslash(dir);
}

std::string ShortPathName(const EngineContext& ctx, std::string_view path) {
  auto s = ctx.GetMachine().GetFileSystem().GetShortPathName(path);
  return s.ok() ? *s : std::string(path);
}

std::string StripTrailingBackslash(std::string_view path) {
  if (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.remove_suffix(1);
  return std::string(path);
}

std::string StripTrailingBackslash(std::string&& path) {
  if (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return std::move(path);
}

}  // namespace brimwell
