#include "framework/ui_session.h"

#include <optional>

namespace brimwell {
namespace {

constexpr char kRuntimeVariable[] = "XDG_RUNTIME_DIR";
constexpr char kRuntimePrefix[] = "brimwell-runtime-";

bool IsSet(host::Env& env, const char* name) {
  std::optional<std::string> value = env.GetEnv(name);
  return value && !value->empty();
}

}  // namespace

bool DisplayAvailable(host::Env& env) {
  return IsSet(env, "QT_QPA_PLATFORM") || IsSet(env, "DISPLAY") || IsSet(env, "WAYLAND_DISPLAY");
}

UiPlatform ChooseUiPlatform(bool unattended, host::Env& env) {
  if (DisplayAvailable(env)) return UiPlatform::kLibraryChoice;
  return unattended ? UiPlatform::kOffscreen : UiPlatform::kNone;
}

PrivateRuntimeDirectory::PrivateRuntimeDirectory(host::Env& env) : env_(env) {
  if (IsSet(env_, kRuntimeVariable)) return;
  // A name nobody had before, made private in one step: nothing another
  // user prepared in the shared temporary directory is ever taken over.
  host::Result<std::string> made = env_.MakeTemporaryDirectory(env_.TemporaryDirectory(), kRuntimePrefix);
  if (!made) return;
  if (env_.SetEnvironmentVariable(kRuntimeVariable, *made)) {
    (void)env_.RemoveTree(*made);
    return;
  }
  path_ = *made;
}

PrivateRuntimeDirectory::~PrivateRuntimeDirectory() {
  if (!path_.empty()) (void)env_.RemoveTree(path_);
}

}  // namespace brimwell
