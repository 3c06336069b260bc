// brimwell prefix products|snapshot|diff and brimwell uninstall: the
// installed products of a prefix, snapshots of a prefix and their
// differences, and starting a product's uninstall program.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "apps/brimwell/commands.h"
#include "framework/exception.h"
#include "host/host_env.h"
#include "platform/machine.h"
#include "platform/platform_errors.h"
#include "platform/processes.h"
#include "platform/win_error.h"
#include "uninstall/prefix_snapshot.h"
#include "uninstall/product_record.h"

namespace brimwell::cli {
namespace {

constexpr char kUninstallUsage[] =
    "usage: brimwell uninstall PRODUCT [--prefix DIR]\n"
    "\n"
    "Starts the uninstall program of PRODUCT (see 'brimwell prefix products') as\n"
    "its uninstall record gives it, waits for it and exits with its status\n"
    "(0 removed; 1 not completely; 3 not installed; 4 cancelled; 5 changed files\n"
    "kept). BRIMWELL_UNATTENDED=1 removes it without asking.\n";

std::filesystem::path PrefixOf(const std::string& dir) {
  return dir.empty() ? DefaultPrefixDir() : std::filesystem::path(dir);
}

std::string ReadText(const std::string& path) {
  auto text = host::Env::Default().ReadFile(path);
  if (!text) throw Exception("cannot read " + path + ": " + text.error().message());
  return *text;
}

std::string SizeText(std::uint64_t bytes) {
  char text[32];
  if (bytes >= 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  } else if (bytes >= 1024) {
    std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024.0);
  } else {
    std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
  }
  return text;
}

int Products(const std::vector<std::string>& rest) {
  if (rest.size() > 1) throw Exception("unexpected argument " + rest[1]);
  std::unique_ptr<Machine> machine = OpenMachine(PrefixOf(rest.empty() ? "" : rest[0]), PrefixCreation::kMustExist);
  std::vector<InstalledProduct> products = ListInstalledProducts(*machine);
  if (products.empty()) {
    std::puts("(no installed products)");
    return 0;
  }
  for (const InstalledProduct& p : products) {
    std::printf("%s%s%s\n  in %s, %zu files, %s\n", p.name.c_str(), p.version.empty() ? "" : " ", p.version.c_str(),
                p.location.empty() ? "(no folder recorded)" : p.location.c_str(), p.files, SizeText(p.size).c_str());
  }
  return 0;
}

int Snapshot(const std::vector<std::string>& rest) {
  if (rest.empty()) throw Exception("name the file to write the snapshot to");
  if (rest.size() > 2) throw Exception("unexpected argument " + rest[2]);
  const std::string out = rest.back();
  std::unique_ptr<Machine> machine =
      OpenMachine(PrefixOf(rest.size() == 2 ? rest[0] : ""), PrefixCreation::kMustExist);
  const std::string json = SnapshotToJson(TakeSnapshot(*machine));
  if (out == "-") {
    std::fputs(json.c_str(), stdout);
    return 0;
  }
  if (std::error_code error = host::Env::Default().WriteFileAtomically(out, json)) {
    throw Exception("cannot write " + out + ": " + error.message());
  }
  return 0;
}

int Diff(const std::vector<std::string>& rest) {
  bool json = false;
  std::vector<std::string> files;
  for (const std::string& a : rest) {
    if (a == "--json") {
      json = true;
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) throw Exception("name two snapshots: BEFORE.json AFTER.json");
  const PrefixSnapshot before = SnapshotFromJson(ReadText(files[0]));
  const PrefixSnapshot after = SnapshotFromJson(ReadText(files[1]));
  const std::vector<SnapshotChange> changes = CompareSnapshots(before, after);
  std::fputs((json ? ChangesToJson(changes) : ChangesToText(changes)).c_str(), stdout);
  return changes.empty() ? 0 : 1;
}

}  // namespace

std::optional<int> RunPrefixProductVerbs(Args args) {
  const std::string verb = args[0];
  if (verb != "products" && verb != "snapshot" && verb != "diff") return std::nullopt;
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (verb == "products") return Products(rest);
  if (verb == "snapshot") return Snapshot(rest);
  return Diff(rest);
}

int RunUninstall(Args args) {
  if (auto status = AnswerHelp(args, kUninstallUsage, true)) return *status;
  std::string dir;
  std::string product;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string a = args[i];
    if (a == "--prefix") {
      dir = OptionValue(args, i);
    } else {
      product += (product.empty() ? "" : " ") + a;
    }
  }
  std::unique_ptr<Machine> machine = OpenMachine(PrefixOf(dir), PrefixCreation::kMustExist);
  const ProductRecord record = ReadProductRecord(machine->GetRegistry(), product);
  if (!record.exists) {
    std::fprintf(stderr, "brimwell uninstall: %s is not installed on this machine\n", product.c_str());
    return 3;
  }
  if (record.uninstall_string.empty()) {
    throw Exception(product + " has no uninstall program: its record holds no UninstallString");
  }
  WinResult<int> status = machine->GetProcesses().RunAndWait(record.uninstall_string, ShowState::kShowNormal);
  if (!status.ok()) {
    throw Exception("cannot start " + record.uninstall_string + ": " + WinErrorText(status.error()));
  }
  return *status;
}

}  // namespace brimwell::cli
