// The engine fixture with the system classes registered, and helpers to run
// one system component and to read the product's uninstall record.
#pragma once

#include <functional>
#include <string>

#include "system/system_classes.h"
#include "tests/engine/engine_fixture.h"

namespace brimwell::testing {

inline constexpr RegistryHive kHKLM = RegistryHive::kLocalMachine;
inline constexpr char kToolRecord[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tool";

class SystemTest : public EngineTest {
 protected:
  SystemTest() { RegisterSystemClasses(registry_); }

  // Loads a driver (Acme, Tool, 2.1, installing into C:\Program Files\Tool)
  // followed by `components` (a comma-separated list of JSON objects).
  void LoadWithDriver(const std::string& components) {
    Load(R"([{"class": "TInstall", "name": "Install1",
              "properties": {"DestDirType": "psProgramFiles", "DestDir": "\\Tool",
                             "Information": {"CompanyName": "Acme", "ProductName": "Tool", "Version": "2.1"}}})" +
         std::string(components.empty() ? "" : ",") + components + "]");
  }

  std::optional<std::string> RecordString(const std::string& subkey, const std::string& name) {
    return registry().ReadString(kHKLM, std::string(kToolRecord) + "\\" + subkey, name);
  }
};

}  // namespace brimwell::testing
