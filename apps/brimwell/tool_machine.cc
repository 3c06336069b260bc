#include "apps/brimwell/tool_machine.h"

#include "host/host_env.h"
#include "host/host_path.h"
#include "platform/platform_errors.h"

namespace brimwell::cli {

bool HasDriveLetter(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

ToolMachine::ToolMachine(const std::string& prefix_option, bool windows_paths) {
  host::Env& env = host::Env::Default();
  std::optional<std::string> named = env.GetEnv("BRIMWELL_PREFIX");
  const bool asked = !prefix_option.empty() || (named && !named->empty());
  const std::filesystem::path dir = prefix_option.empty() ? DefaultPrefixDir() : std::filesystem::path(prefix_option);
  if (asked || windows_paths || IsPrefix(dir)) {
    machine_ = OpenMachine(dir, PrefixCreation::kMustExist);
    return;
  }
  const std::string temp = env.TemporaryDirectory();
  host::Result<std::string> made = env.MakeTemporaryDirectory(temp, "brimwell-scratch-");
  if (!made) throw EPrefixError("cannot make a scratch prefix in " + temp + ": " + made.error().message());
  scratch_dir_ = *made;
  try {
    machine_ = OpenMachine(host::JoinPath(scratch_dir_, "prefix"), PrefixCreation::kCreateIfMissing);
  } catch (const std::exception&) {
    (void)env.RemoveTree(scratch_dir_);  // the destructor does not run for a failed constructor
    throw;
  }
}

ToolMachine::~ToolMachine() {
  machine_.reset();
  if (!scratch_dir_.empty()) (void)host::Env::Default().RemoveTree(scratch_dir_);  // best effort
}

}  // namespace brimwell::cli
