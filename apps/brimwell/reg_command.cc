// brimwell reg: the registry of a prefix, queried and changed the way reg.exe
// does it, exported to and imported from registry editor text.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "apps/brimwell/commands.h"
#include "host/host_env.h"
#include "platform/machine.h"
#include "platform/platform_errors.h"
#include "platform/registry.h"
#include "platform/registry_text.h"
#include "platform/win_path.h"

namespace brimwell::cli {
namespace {

constexpr char kUsage[] =
    "usage: brimwell reg [--prefix DIR] query KEY [/v NAME | /ve] [/s]\n"
    "       brimwell reg [--prefix DIR] add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]\n"
    "       brimwell reg [--prefix DIR] delete KEY [/v NAME | /ve | /va] [/f]\n"
    "       brimwell reg [--prefix DIR] export [KEY] FILE|-\n"
    "       brimwell reg [--prefix DIR] import FILE|-\n"
    "\n"
    "KEY begins with a hive: HKLM, HKCU, HKCR, HKU, HKCC or the full names.\n"
    "TYPE is REG_SZ (the default), REG_DWORD, REG_BINARY, REG_EXPAND_SZ or\n"
    "REG_MULTI_SZ. DWORD data is decimal or 0x-hexadecimal; binary data is hex\n"
    "digits (\"0102ff\"); multi-string data separates its strings with \\0.\n"
    "export writes \"Windows Registry Editor Version 5.00\" text, the whole\n"
    "registry without KEY; '-' is standard output (import: standard input).\n";

constexpr char kSuccess[] = "The operation completed successfully.";
constexpr char kNotFound[] = "ERROR: The system was unable to find the specified registry key or value.";

struct Options {
  std::string prefix;
  std::string verb;
  std::vector<std::string> positional;
  std::optional<std::string> value_name;  // /v NAME, or "" for /ve
  bool all_values = false;                // /va
  bool recursive = false;                 // /s
  std::string type = "REG_SZ";
  std::string data;
};

bool IsSwitch(const std::string& a, const char* name) {
  return (a.size() > 1 && (a[0] == '/' || a[0] == '-')) && WinNamesEqual(a.substr(1), name);
}

Options Parse(Args args) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i];
    auto value = [&] { return OptionValue(args, i); };
    if (a == "--prefix") {
      o.prefix = value();
    } else if (IsSwitch(a, "v")) {
      o.value_name = value();
    } else if (IsSwitch(a, "ve")) {
      o.value_name = "";
    } else if (IsSwitch(a, "va")) {
      o.all_values = true;
    } else if (IsSwitch(a, "s")) {
      o.recursive = true;
    } else if (IsSwitch(a, "t")) {
      o.type = value();
    } else if (IsSwitch(a, "d")) {
      o.data = value();
    } else if (IsSwitch(a, "f")) {
      // Never asks: the switch is accepted for reg.exe scripts.
    } else if (o.verb.empty()) {
      o.verb = a;
    } else {
      o.positional.push_back(a);
    }
  }
  return o;
}

std::string ShowData(const RegistryValue& v, const std::string& name) {
  switch (v.type) {
    case RegistryValueType::kString:
    case RegistryValueType::kExpandString: return v.AsString(name);
    case RegistryValueType::kDword:
      if (v.data.size() == 4) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%x", v.AsDword(name));
        return buf;
      }
      break;
    case RegistryValueType::kMultiString: {
      std::string out;
      for (const std::string& s : v.AsMultiString(name)) out += (out.empty() ? "" : "\\0") + s;
      return out;
    }
    default: break;
  }
  std::string hex;
  for (unsigned char c : v.data) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", c);
    hex += buf;
  }
  return hex;
}

void PrintValue(const std::string& name, const RegistryValue& v) {
  std::printf("    %s    %s    %s\n", name.empty() ? "(Default)" : name.c_str(), RegistryTypeName(v.type).c_str(),
              ShowData(v, name).c_str());
}

void Query(Registry& registry, RegistryHive hive, const std::string& key, const std::string& shown, bool recursive) {
  std::printf("%s\n", shown.c_str());
  if (auto values = registry.Values(hive, key)) {
    for (const RegistryValueEntry& e : *values) PrintValue(e.name, e.value);
  }
  auto subkeys = registry.SubKeys(hive, key);
  if (!subkeys) return;
  std::printf("\n");
  for (const std::string& sub : *subkeys) {
    std::string child = key.empty() ? sub : key + "\\" + sub;
    if (recursive) {
      Query(registry, hive, child, shown + "\\" + sub, true);
    } else {
      std::printf("%s\\%s\n", shown.c_str(), sub.c_str());
    }
  }
}

RegistryValue MakeValue(const std::string& type_name, const std::string& data) {
  auto type = ParseRegistryTypeName(type_name);
  if (!type) throw EPlatformError("unknown value type " + type_name);
  switch (*type) {
    case RegistryValueType::kString: return RegistryValue::String(data);
    case RegistryValueType::kExpandString: return {RegistryValueType::kExpandString, data};
    case RegistryValueType::kDword: {
      std::optional<std::int64_t> n = data.empty() ? 0 : ParseNumber(data);
      if (!n || *n < 0 || *n > 0xFFFFFFFFll) {
        throw EPlatformError("the REG_DWORD data \"" + data +
                             "\" is not a number from 0 to 4294967295 (decimal, or hexadecimal after 0x)");
      }
      return RegistryValue::Dword(static_cast<std::uint32_t>(*n));
    }
    case RegistryValueType::kBinary: {
      if (data.size() % 2 != 0 || data.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        throw EPlatformError("bad REG_BINARY data " + data);
      }
      std::string bytes;
      for (std::size_t i = 0; i < data.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(data.substr(i, 2), nullptr, 16));
      }
      return RegistryValue::Binary(bytes);
    }
    case RegistryValueType::kMultiString: {
      std::vector<std::string> strings;
      std::size_t pos = 0;
      while (!data.empty()) {
        std::size_t sep = data.find("\\0", pos);
        strings.push_back(data.substr(pos, sep == std::string::npos ? std::string::npos : sep - pos));
        if (sep == std::string::npos) break;
        pos = sep + 2;
      }
      return RegistryValue::MultiString(strings);
    }
    default: break;
  }
  throw EPlatformError("unsupported value type " + type_name);
}

int Fail(const char* message) {
  std::fprintf(stderr, "%s\n", message);
  return 1;
}

}  // namespace

int RunReg(Args args) {
  if (auto status = AnswerHelp(args, kUsage, true)) return *status;
  Options o = Parse(args);
  std::unique_ptr<Machine> machine =
      OpenMachine(o.prefix.empty() ? DefaultPrefixDir() : std::filesystem::path(o.prefix), PrefixCreation::kMustExist);
  Registry& registry = machine->GetRegistry();
  std::string verb = WinLowerCase(o.verb);

  if (verb == "query" || verb == "add" || verb == "delete") {
    if (o.positional.size() != 1) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    auto [hive, key] = ParseRegistryPath(o.positional[0]);
    std::string shown = std::string(HiveName(hive)) + (key.empty() ? "" : "\\" + ExcludeTrailingBackslash(key));
    if (verb == "query") {
      if (!registry.KeyExists(hive, key)) return Fail(kNotFound);
      if (o.value_name) {
        auto value = registry.QueryValue(hive, key, *o.value_name);
        if (!value) return Fail(kNotFound);
        std::printf("%s\n", shown.c_str());
        PrintValue(*o.value_name, *value);
        return 0;
      }
      Query(registry, hive, key, shown, o.recursive);
      return 0;
    }
    if (verb == "add") {
      WinStatus s = registry.CreateKey(hive, key);
      if (s && o.value_name) s = registry.SetValue(hive, key, *o.value_name, MakeValue(o.type, o.data));
      if (s) s = registry.Flush();
      if (!s) throw EPlatformError("ERROR: " + WinErrorText(s.error()));
      std::printf("%s\n", kSuccess);
      return 0;
    }
    // delete
    WinStatus s;
    if (o.value_name) {
      s = registry.DeleteValue(hive, key, *o.value_name);
    } else if (o.all_values) {
      auto names = registry.ValueNames(hive, key);
      if (!names) return Fail(kNotFound);
      for (const std::string& name : *names) {
        if (s) s = registry.DeleteValue(hive, key, name);
      }
    } else {
      s = registry.DeleteTree(hive, key);
    }
    if (!s && s.error() == kErrorFileNotFound) return Fail(kNotFound);
    if (s) s = registry.Flush();
    if (!s) throw EPlatformError("ERROR: " + WinErrorText(s.error()));
    std::printf("%s\n", kSuccess);
    return 0;
  }

  if (verb == "export") {
    if (o.positional.empty() || o.positional.size() > 2) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    std::ostringstream text;
    if (o.positional.size() == 2) {
      auto [hive, key] = ParseRegistryPath(o.positional[0]);
      if (!ExportRegistryText(registry, hive, key, text)) return Fail(kNotFound);
    } else {
      ExportAllRegistryText(registry, text);
    }
    const std::string& file = o.positional.back();
    if (file == "-") {
      std::cout << text.str();
      std::cout.flush();
      return 0;
    }
    // Written beside and renamed over: a full disk leaves the old file, not
    // a cut-off export that would import as less than the registry held.
    if (std::error_code ec = host::Env::Default().WriteFileAtomically(file, text.str())) {
      throw EPlatformError("cannot write " + file + ": " + ec.message());
    }
    std::printf("%s\n", kSuccess);
    return 0;
  }

  if (verb == "import") {
    if (o.positional.size() != 1) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    std::stringstream buffer;
    if (o.positional[0] == "-") {
      buffer << std::cin.rdbuf();
    } else {
      std::ifstream in(o.positional[0], std::ios::binary);
      if (!in) throw EPlatformError("cannot read " + o.positional[0]);
      buffer << in.rdbuf();
    }
    ImportRegistryText(registry, buffer.str());
    WinStatus s = registry.Flush();
    if (!s) throw EPlatformError("ERROR: " + WinErrorText(s.error()));
    std::printf("%s\n", kSuccess);
    return 0;
  }

  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace brimwell::cli
