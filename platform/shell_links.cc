#include "platform/shell_links.h"

#include <cctype>

#include "framework/format.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/shell_link_format.h"
#include "platform/text_encoding.h"

namespace brimwell {
namespace {

// Characters Windows refuses in a file name (besides the separators).
bool IsBadNameCharacter(char c) {
  return static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"/|?*").find(c) != std::string_view::npos;
}

// The link file's name is checked the way CreateFile would: a full path
// ("X:\..."), no empty component, no character a name cannot hold, no name
// ending in a blank or a dot.
bool IsValidLinkFileName(std::string_view path) {
  if (path.size() < 4 || !std::isalpha(static_cast<unsigned char>(path[0])) || path[1] != ':' || path[2] != '\\') {
    return false;
  }
  std::size_t begin = 3;
  while (begin <= path.size()) {
    std::size_t end = path.find('\\', begin);
    if (end == std::string_view::npos) end = path.size();
    std::string_view part = path.substr(begin, end - begin);
    if (part.empty() || part.back() == ' ' || part.back() == '.') return false;
    for (char c : part) {
      if (IsBadNameCharacter(c)) return false;
    }
    begin = end + 1;
  }
  return true;
}

std::string DirectoryOf(std::string_view path) {
  const std::size_t slash = path.rfind('\\');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

class LinuxShellLinkObject final : public ShellLinkObject {
 public:
  explicit LinuxShellLinkObject(Machine& machine) : machine_(machine) {}

  HResult SetPath(std::string_view path) override {
    if (path.empty() || path.size() >= kLinkMaxPath) return kEInvalidArg;
    target_ = std::string(path);
    // The header describes the target as it is now, when it exists.
    FileSystem& files = machine_.GetFileSystem();
    link_.file_attributes = 0;
    link_.file_size = 0;
    try {
      if (auto attributes = files.GetAttributes(target_)) link_.file_attributes = *attributes;
      if (files.FileExists(target_)) {
        if (auto size = files.FileSize(target_)) {
          link_.file_size = static_cast<std::uint32_t>(std::min<std::uint64_t>(*size, 0xFFFFFFFFu));
        }
      }
      if (target_.size() >= 2 && target_[1] == ':') {
        link_.drive_type = static_cast<std::uint32_t>(files.GetDriveType(target_[0]));
      }
    } catch (const EPathError&) {
      // A target the machine cannot map is still a valid link target.
    }
    return kSOk;
  }
  HResult SetHotkey(std::uint16_t hot_key) override {
    link_.hot_key = hot_key;
    return kSOk;
  }
  HResult SetArguments(std::string_view arguments) override {
    if (arguments.size() >= kLinkMaxArguments) return kEInvalidArg;
    link_.arguments = std::string(arguments);
    return kSOk;
  }
  HResult SetWorkingDirectory(std::string_view dir) override {
    if (dir.size() >= kLinkMaxPath) return kEInvalidArg;
    link_.working_directory = std::string(dir);
    return kSOk;
  }

  HResult Save(std::u16string_view file, bool /*remember*/) override {
    std::string units;
    for (char16_t u : file) {
      units += static_cast<char>(u & 0xFF);
      units += static_cast<char>(u >> 8);
    }
    const std::string name = Utf16LeToUtf8(units).value_or(std::string());
    if (name.empty() || name.size() >= kLinkMaxPath || !IsValidLinkFileName(name)) {
      return HResultFromWin32(kErrorInvalidName);
    }
    const bool local = target_.size() >= 3 && std::isalpha(static_cast<unsigned char>(target_[0])) &&
                       target_[1] == ':' && target_[2] == '\\';
    ShellLinkData link = link_;
    if (local) {
      link.local_base_path = target_;
      link.relative_path = RelativeLinkPath(DirectoryOf(name), target_);
    } else {
      link.local_base_path.clear();
      link.relative_path = target_;
    }
    const std::string bytes = EncodeShellLink(link);

    FileSystem& files = machine_.GetFileSystem();
    try {
      if (!files.DirectoryExists(DirectoryOf(name))) return HResultFromWin32(kErrorPathNotFound);
      const std::string temp = name + ".~new";
      {
        auto out = files.Open(temp, FileAccess::kWrite, kShareNone, FileDisposition::kCreateAlways);
        if (!out) return HResultFromWin32(out.error());
        IoResult written = (*out)->Write(bytes.data(), bytes.size());
        if (!written.ok() || written.bytes != bytes.size()) {
          out->reset();
          files.DeleteFile(temp).IgnoreError();
          return HResultFromWin32(written.ok() ? kErrorDiskFull : written.error);
        }
      }
      WinStatus moved = files.MoveFileEx(temp, name, kMoveReplaceExisting);
      if (!moved) {
        files.DeleteFile(temp).IgnoreError();
        return HResultFromWin32(moved.error());
      }
    } catch (const EPathError&) {
      return HResultFromWin32(kErrorInvalidName);
    }
    return kSOk;
  }

 private:
  Machine& machine_;
  std::string target_;
  ShellLinkData link_;
};

class LinuxShellLinks final : public ShellLinks {
 public:
  explicit LinuxShellLinks(Machine& machine) : machine_(machine) {}

  HResult CoInitialize() override {
    if (initialized_) return kSFalse;
    initialized_ = true;
    return kSOk;
  }
  HResult CreateShellLink(std::unique_ptr<ShellLinkObject>& object) override {
    object = std::make_unique<LinuxShellLinkObject>(machine_);
    return kSOk;
  }
  WinResult<ShellLinkData> ReadLink(std::string_view path) override {
    FileSystem& files = machine_.GetFileSystem();
    auto in = files.Open(path, FileAccess::kRead, kShareReadWrite, FileDisposition::kOpenExisting);
    if (!in) return in.status();
    std::string bytes;
    char buffer[8192];
    for (;;) {
      IoResult got = (*in)->Read(buffer, sizeof buffer);
      if (!got.ok()) return WinResult<ShellLinkData>::Error(got.error);
      if (got.bytes == 0) break;
      bytes.append(buffer, got.bytes);
      if (bytes.size() > kLinkMaxFileSize) break;  // the decoder refuses it
    }
    return DecodeShellLink(bytes);
  }

 private:
  Machine& machine_;
  bool initialized_ = false;
};

// An object whose calls first look at the faults of the service that made it.
class FaultyShellLinkObject final : public ShellLinkObject {
 public:
  using Call = ShellLinksWithFaults::Call;
  FaultyShellLinkObject(const ShellLinksWithFaults& faults, std::unique_ptr<ShellLinkObject> target)
      : faults_(faults), target_(std::move(target)) {}

  HResult SetPath(std::string_view path) override {
    return Fault(Call::kSetPath) ? *Fault(Call::kSetPath) : target_->SetPath(path);
  }
  HResult SetHotkey(std::uint16_t hot_key) override {
    return Fault(Call::kSetHotkey) ? *Fault(Call::kSetHotkey) : target_->SetHotkey(hot_key);
  }
  HResult SetArguments(std::string_view arguments) override {
    return Fault(Call::kSetArguments) ? *Fault(Call::kSetArguments) : target_->SetArguments(arguments);
  }
  HResult SetWorkingDirectory(std::string_view dir) override {
    return Fault(Call::kSetWorkingDirectory) ? *Fault(Call::kSetWorkingDirectory) : target_->SetWorkingDirectory(dir);
  }
  HResult Save(std::u16string_view file, bool remember) override {
    return Fault(Call::kSave) ? *Fault(Call::kSave) : target_->Save(file, remember);
  }

 private:
  const HResult* Fault(Call call) const { return faults_.FaultFor(call); }
  const ShellLinksWithFaults& faults_;
  std::unique_ptr<ShellLinkObject> target_;
};

}  // namespace

std::string HResultText(HResult result) {
  const auto code = static_cast<std::uint32_t>(result);
  switch (code) {
    case 0: return "The operation completed successfully.";
    case 0x8000FFFFu: return "Catastrophic failure";
    case 0x80004001u: return "Not implemented";
    case 0x80004002u: return "No such interface supported";
    case 0x80004005u: return "Unspecified error";
    case 0x80040110u: return "Class does not support aggregation (or class object is remote)";
    case 0x80040154u: return "Class not registered";
    default: break;
  }
  if ((code & 0xFFFF0000u) == 0x80070000u) return WinErrorText(code & 0xFFFFu);
  return Format("OLE error %.8x", {static_cast<unsigned long long>(code)});
}

std::unique_ptr<ShellLinks> NewShellLinks(Machine& machine) { return std::make_unique<LinuxShellLinks>(machine); }

ShellLinks& ShellLinksOf(Machine& machine) {
  if (ShellLinks* links = machine.Find<ShellLinks>()) return *links;
  machine.Attach<ShellLinks>(NewShellLinks(machine));
  return *machine.Find<ShellLinks>();
}

HResult ShellLinksWithFaults::CoInitialize() {
  if (const HResult* fault = FaultFor(Call::kCoInitialize)) return *fault;
  return target_->CoInitialize();
}

HResult ShellLinksWithFaults::CreateShellLink(std::unique_ptr<ShellLinkObject>& object) {
  if (const HResult* fault = FaultFor(Call::kCreate)) return *fault;
  std::unique_ptr<ShellLinkObject> inner;
  HResult result = target_->CreateShellLink(inner);
  if (Succeeded(result)) object = std::make_unique<FaultyShellLinkObject>(*this, std::move(inner));
  return result;
}

}  // namespace brimwell
