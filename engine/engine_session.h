// EngineSession: one start of setupengine, below the user interface. It
// opens the machine of the prefix (BRIMWELL_PREFIX), makes the EngineContext
// and the project's form, reads the project (the one bound to the running
// executable, else the file named by BRIMWELL_PROJECT) and loads it; the
// driver's Loaded then chooses the mode. The executable only adds the
// message loop.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "framework/class_registry.h"

namespace brimwell {

class Application;
class EngineContext;
class Machine;
class MainForm;
class ProjectForm;
class RunLog;

inline constexpr char kProjectEnvironmentVariable[] = "BRIMWELL_PROJECT";
inline constexpr char kNoProject[] =
    "This engine carries no project, and the environment variable BRIMWELL_PROJECT names none";
inline constexpr char kDefaultTitle[] = "Setup";
inline constexpr char kNoDriver[] =
    "The project holds no TInstall component: there is nothing to install and nothing that would end the "
    "engine";

class EngineSession {
 public:
  struct Options {
    // The command-line arguments after the program path.
    std::vector<std::string> arguments;
    // nullptr: the log named by BRIMWELL_LOG (or none).
    std::unique_ptr<RunLog> log;
    // Host path of the engine; empty: the running executable.
    std::filesystem::path executable;
    // The prefix; empty: DefaultPrefixDir() (BRIMWELL_PREFIX, ...).
    std::filesystem::path prefix;
  };

  // `app` and `window` (the main form, may be nullptr) must outlive the
  // session. Registers the engine's classes; other subsystems register
  // theirs through Classes() before Start.
  EngineSession(Application& app, MainForm* window, Options options);
  EngineSession(const EngineSession&) = delete;
  EngineSession& operator=(const EngineSession&) = delete;
  // Frees the project's components first, then the context and machine.
  ~EngineSession();

  ClassRegistry& Classes() { return classes_; }

  // Opens the machine, reads and loads the project (which starts the mode).
  // Reports a failure in a message box (standard error when unattended) and
  // returns its exit status: kExitProjectError for a project that cannot be
  // read or loaded, kExitRunFailed for any other start-up error; kExitOk
  // otherwise.
  int Start();

  // The exit status of the run (kExitOk unless it failed).
  int ExitStatus() const;

  EngineContext* Context() const { return ctx_.get(); }
  ProjectForm* Form() const { return form_.get(); }

 private:
  int Fail(int status, const std::string& text);

  Application& app_;
  MainForm* window_;
  Options options_;
  ClassRegistry classes_;
  std::unique_ptr<Machine> machine_;
  std::unique_ptr<EngineContext> ctx_;
  std::unique_ptr<ProjectForm> form_;
  int start_status_ = 0;
};

}  // namespace brimwell
