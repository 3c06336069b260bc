// A fresh engine for each test: a temporary prefix, a headless application,
// an EngineContext and its ProjectForm, and a class registry holding the
// engine's classes plus the small test classes below. Everything lives in a
// temporary directory that is removed afterwards.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/custom_install_file.h"
#include "engine/engine_classes.h"
#include "engine/engine_context.h"
#include "engine/grab_call.h"
#include "engine/install.h"
#include "engine/install_file_group.h"
#include "engine/project_form.h"
#include "engine/standard_path_specifiers.h"
#include "framework/class_registry.h"
#include "framework/headless_application.h"
#include "framework/project_file.h"
#include "platform/machine.h"
#include "platform/registry.h"
#include "tests/testutil/error_of.h"
#include "tests/testutil/temp_dir.h"

namespace brimwell::testing {

// An installable file with the properties the tree needs, creatable by
// name so projects can hold it. Its installation only walks the tree: it
// has no source and no archive, and it writes no uninstall record.
class TTestFile : public TCustomInstallFile {
  BRIMWELL_CLASS_INFO()
 public:
  explicit TTestFile(TComponent* owner) : TCustomInstallFile(owner) {}
  std::int32_t Size() const { return static_cast<std::int32_t>(FileSize()); }
  void SetSize(std::int32_t size) { SetFileSize(size); }
  int read_info_calls = 0;
  void ReadInfoFromArchive() override { ++read_info_calls; }
  void InstallObjects() override { TInstallContainer::InstallObjects(); }
  void WriteUninstallInfo(const std::string&) override {}
};

// A class named like the database-engine installer, which always goes first.
class TInstallBDE : public TCustomInstallFile {
  BRIMWELL_CLASS_INFO()
 public:
  explicit TInstallBDE(TComponent* owner) : TCustomInstallFile(owner) {}
};

// A non-file install object that is processed (type 8500, like registry
// entries) and records the order in which objects were processed.
class TTestEntry : public TInstallObject {
  BRIMWELL_CLASS_INFO()
 public:
  explicit TTestEntry(TComponent* owner) : TInstallObject(owner) { SetProcessable(true); }
  int ComponentType() const override { return 8500; }
  int finished = 0;
  void FinishAfterReboot() override { ++finished; }
};

void RegisterTestClasses(ClassRegistry& registry);

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() : app_(false, echo_) {
    machine_ = OpenMachine(tmp_.path() / "prefix");
    // English messages whatever the host locale says.
    machine_->SetUserDefaultLangId(0x0409);
    RegisterEngineClasses(registry_);
    RegisterTestClasses(registry_);
    engine_exe_ = tmp_.path() / "engine" / "setupengine";
    WriteHostFile(engine_exe_, "engine executable");
    Start({});
  }
  ~EngineTest() override {
    form_.reset();
    ctx_.reset();
  }

  // Starts a fresh engine (a new process, as far as the engine can tell)
  // with these arguments; the prefix stays.
  void Start(std::vector<std::string> arguments, std::filesystem::path exe = {}) {
    form_.reset();
    ctx_.reset();
    EngineContext::Options options;
    options.arguments = std::move(arguments);
    options.executable = exe.empty() ? engine_exe_ : exe;
    options.log = std::make_unique<RunLog>(log_file());
    ctx_ = std::make_unique<EngineContext>(app_, *machine_, std::move(options));
    form_ = std::make_unique<ProjectForm>(*ctx_, ProjectForm::Kind::kForm, app_.Form());
  }

  // Loads a project given as the JSON array of its components.
  void Load(const std::string& components) {
    LoadProject(R"({"format": "brimwell-project/1", "components": )" + components + "}", registry_, *form_);
  }
  // The message of the error loading `components` raises; "(no error)".
  std::string ErrorOfLoad(const std::string& components) {
    return ErrorOf([&] { Load(components); });
  }


  template <class T>
  T* Find(const std::string& name) {
    return dynamic_cast<T*>(form_->FindComponent(name));
  }
  template <class T>
  T* Make(const std::string& name) {
    T* c = Create<T>(form_.get());
    c->SetName(name);
    return c;
  }
  // A driver made in code, loaded (command line parsed, mode chosen).
  TInstall* MakeDriver(const std::string& name = "Install1") {
    auto* driver = Make<TInstall>(name);
    driver->Loaded();
    return driver;
  }

  Registry& registry() { return machine_->GetRegistry(); }
  std::filesystem::path log_file() const { return tmp_.path() / "run.log"; }
  std::string Log() const { return ReadHostFile(log_file()); }
  // A host directory reachable by the engine (as Z:\...).
  std::filesystem::path HostDir(const std::string& name) const {
    auto dir = tmp_.path() / name;
    std::filesystem::create_directories(dir);
    return dir;
  }

  TempDir tmp_;
  std::ostringstream echo_;
  HeadlessApplication app_;
  std::unique_ptr<Machine> machine_;
  ClassRegistry registry_;
  std::filesystem::path engine_exe_;
  std::unique_ptr<EngineContext> ctx_;
  std::unique_ptr<ProjectForm> form_;
};

// Records every component call a TGrabCall receives.
struct CallRecorder {
  std::vector<int> calls;
  std::vector<std::string> senders;
  void Attach(TGrabCall* grab) {
    grab->OnCall = [this](TInstallContainer* container, int call, TPersistent*) {
      calls.push_back(call);
      senders.push_back(container->Name());
    };
  }
};

}  // namespace brimwell::testing
