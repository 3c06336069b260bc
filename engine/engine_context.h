// EngineContext: the process-wide state of one engine run, created at
// start-up and handed to the project's root (ProjectForm), from which every
// component reaches it. Nothing of it is static, so each test makes a fresh
// one. It holds the services the engine talks to (the user interface, the
// Windows machine), the lists of live components, the single driver, the
// install-record key, the shared archive component and version reader, the
// translator hook and the run log.
#pragma once

#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <typeindex>
#include <unordered_map>
#include <vector>

#include "engine/command_line.h"
#include "engine/component_lists.h"
#include "engine/run_log.h"
#include "framework/format.h"

namespace brimwell {

class Application;
class Machine;
class NetLocationAccess;
class NetLocationState;
class TBrwlCompress;
class TVersionResource;
class TComponent;
class TCustomInstall;
class TTranslator;

// Exit status of setupengine.
inline constexpr int kExitOk = 0;
inline constexpr int kExitRunFailed = 1;     // the run or a mode ended in an error
inline constexpr int kExitProjectError = 2;  // the project could not be read
inline constexpr int kExitUserAbort = 3;     // the user cancelled the installation
inline constexpr int kExitInstallRunning = 4;  // another installation runs on the machine

// What the translator offers the rest of the engine. Until a translator
// exists, texts pass unchanged and there is no target language. The main
// translator fills it when it registers itself (SetMainTranslator).
struct TranslatorHook {
  // English text in, text of the target language out.
  std::function<std::string(std::string_view)> translate;
  // The target language's ordinal (TBrwlLanguage) and its setter.
  std::function<int()> target_language;
  std::function<void(int)> set_target_language;
};

// The install driver as the components below it see it: what a container,
// a file or a path specifier needs of the run without knowing the driver's
// class. TCustomInstall implements it.
class InstallDriver {
 public:
  // The driver itself, as a component of the tree.
  virtual const TComponent& DriverComponent() const = 0;
  // Information.ProductName: names the product's uninstall key.
  virtual std::string DriverProductName() const = 0;
  // True for a distribution on disks or a directory (no web or network
  // archives).
  virtual bool DriverDistributesTraditionally() const = 0;
  // The driver's own net location; nullptr when it has none.
  virtual TComponent* DriverNetLocation() const = 0;
  // The destination directory of the installation.
  virtual std::string DriverDestPath() = 0;
  // The switches of the engine's command line.
  virtual bool DriverHasSwitch(EngineSwitch s) const = 0;
  virtual const std::string& DriverSwitchArgument(EngineSwitch s) const = 0;
  // Where the distributables lie (the -s switch or the engine's directory).
  virtual const std::string& DriverSourceDir() const = 0;

 protected:
  ~InstallDriver() = default;
};

class EngineContext {
 public:
  struct Options {
    // The command-line arguments after the program path.
    std::vector<std::string> arguments;
    // Host path of the running engine; empty: the executable of this process.
    std::filesystem::path executable;
    // nullptr: a disabled log.
    std::unique_ptr<RunLog> log;
  };

  // `app` and `machine` must outlive the context, and the context must
  // outlive every component that uses it.
  EngineContext(Application& app, Machine& machine, Options options);
  EngineContext(const EngineContext&) = delete;
  EngineContext& operator=(const EngineContext&) = delete;
  ~EngineContext();

  Application& App() const { return app_; }
  Machine& GetMachine() const { return machine_; }
  const std::vector<std::string>& Arguments() const { return arguments_; }
  const std::filesystem::path& ExecutableHostPath() const { return executable_; }
  // The running engine as a Windows path ("Z:\...").
  std::string ExecutablePath() const;

  // --- Translation ----------------------------------------------------------
  void SetTranslator(TranslatorHook hook) { translator_ = std::move(hook); }
  const TranslatorHook& Translator() const { return translator_; }
  bool HasTranslator() const { return static_cast<bool>(translator_.translate); }
  std::string Translate(std::string_view text) const;
  // The process's main translator (the first TTranslator made under a form
  // of this context), or nullptr. Setting it points the hook at it; nullptr
  // leaves texts untranslated again.
  TTranslator* MainTranslator() const { return main_translator_; }
  void SetMainTranslator(TTranslator* translator);

  RunLog& Log() const { return *log_; }

  // --- Process-wide lists ---------------------------------------------------
  TInstallContainerList& Containers() { return containers_; }
  TCustomInstallFileList& Files() { return files_; }
  // Files whose self-registration waits for the end of the run.
  TCustomInstallFileList& DeferredRegistrations() { return deferred_; }
  TPathSpecifierList& PathSpecifiers() { return path_specifiers_; }
  TStandardPathSpecList& StandardPathSpecifiers() { return standard_specifiers_; }
  UniqueIdTable& UniqueIds() { return unique_ids_; }

  // --- The driver and its record --------------------------------------------
  // The driver component, for the code that knows its class; nullptr
  // when the project has none.
  TCustomInstall* Driver() const { return driver_; }
  // The same driver through the narrow interface the component base
  // classes use.
  InstallDriver* DriverView() const { return driver_view_; }
  // Both views of one driver (or both nullptr).
  void SetDriver(TCustomInstall* driver, InstallDriver* view) {
    driver_ = driver;
    driver_view_ = view;
  }
  const std::string& InstallRecordKey() const { return install_record_key_; }
  void SetInstallRecordKey(std::string key) { install_record_key_ = std::move(key); }
  // The net location every file-related component falls back to.
  TComponent* DefaultNetLocation() const { return default_net_location_; }
  void SetDefaultNetLocation(TComponent* location) { default_net_location_ = location; }

  // --- Seams to later subsystems --------------------------------------------
  // The archive component shared by every file whose archive is the
  // driver's (it carries the self-extracting offset), and the one version
  // reader.
  TBrwlCompress& MainArchive() const { return *main_archive_; }
  TVersionResource& Versions() const { return *versions_; }
  // The net install locations' list, current location and download-cancel
  // flag.
  NetLocationState& NetLocations() const { return *net_locations_; }
  // How components reach their net locations; starts as the locations'
  // own access (net_access.h); a test may put another one in its place.
  NetLocationAccess* NetAccess() const { return net_access_.get(); }
  void SetNetAccess(std::unique_ptr<NetLocationAccess> access);

  // State that subsystems above the engine keep per run (the registry of
  // link groups, the Program Manager client, ...), one object per type.
  // The context owns it and frees it before everything else it holds.
  template <class T>
  T* FindExtension() const {
    auto it = extensions_.find(std::type_index(typeid(T)));
    return it == extensions_.end() ? nullptr : static_cast<T*>(it->second.get());
  }
  template <class T>
  T& AttachExtension(std::unique_ptr<T> extension) {
    T& attached = *extension;
    extensions_[std::type_index(typeid(T))] = std::shared_ptr<void>(std::move(extension));
    return attached;
  }

  // A cancel of the whole run asked from outside: an unattended engine
  // takes an interrupt, hang-up or termination signal for the user's
  // Cancel. The run asks at its steps and before each file; when a signal
  // came, this logs it and throws EAIUserAbort, which ends the run as a
  // cancel does (exit status kExitUserAbort).
  void CheckCancelRequest() const;

  // The exit status setupengine reports (kExitOk unless a run failed).
  int ExitStatus() const { return exit_status_; }
  void SetExitStatus(int status) { exit_status_ = status; }

  // The user confirmed a cancel while the installation worked (the copy
  // window's Cancel): the copy stops at its next block and nothing more is
  // installed. Cleared at the start of a run.
  bool UserAbortRequested() const { return user_abort_requested_; }
  void SetUserAbortRequested(bool requested) { user_abort_requested_ = requested; }

 private:
  Application& app_;
  Machine& machine_;
  std::vector<std::string> arguments_;
  std::filesystem::path executable_;
  std::unique_ptr<RunLog> log_;
  TranslatorHook translator_;
  TTranslator* main_translator_ = nullptr;
  TInstallContainerList containers_;
  TCustomInstallFileList files_;
  TCustomInstallFileList deferred_;
  TPathSpecifierList path_specifiers_;
  TStandardPathSpecList standard_specifiers_;
  UniqueIdTable unique_ids_;
  TCustomInstall* driver_ = nullptr;
  InstallDriver* driver_view_ = nullptr;
  std::string install_record_key_;
  TComponent* default_net_location_ = nullptr;
  std::unique_ptr<TVersionResource> versions_;
  std::unique_ptr<TBrwlCompress> main_archive_;
  std::unique_ptr<NetLocationState> net_locations_;
  std::unique_ptr<NetLocationAccess> net_access_;
  int exit_status_ = kExitOk;
  bool user_abort_requested_ = false;
  // Last, so it goes first.
  std::unordered_map<std::type_index, std::shared_ptr<void>> extensions_;
};

// A message of the engine: `format` passed through the translator of `ctx`
// (none when ctx is nullptr), then formatted with `args`. Without arguments
// the text is used as it is, so texts holding "%" (the meta-variable
// messages) need no escaping.
std::string EngineText(const EngineContext* ctx, std::string_view format,
                       std::initializer_list<FormatArg> args = {});

// Throws exception class E with EngineText(ctx, format, args).
template <class E>
[[noreturn]] void Raise(const EngineContext* ctx, std::string_view format,
                        std::initializer_list<FormatArg> args = {}) {
  throw E(EngineText(ctx, format, args));
}

}  // namespace brimwell
