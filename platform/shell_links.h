// The shell's link object as the engine uses it: COM initialisation, the
// creation of a shell link object (its IShellLinkA and IPersistFile), the
// setters of target, hot key, arguments and working directory, and Save,
// which writes a real .LNK file (shell_link_file.h) through the machine's
// file service. Results are COM result codes (HRESULT), as the engine tests
// them; ShellLinksWithFaults makes any call answer a chosen failure.
//
// The service also reads link files back, for listings and tests.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform_errors.h"
#include "platform/shell_link_file.h"
#include "platform/win_error.h"

namespace brimwell {

class Machine;

using HResult = std::int32_t;

inline constexpr HResult kSOk = 0;
inline constexpr HResult kSFalse = 1;
inline constexpr HResult kEUnexpected = static_cast<HResult>(0x8000FFFFu);
inline constexpr HResult kEFail = static_cast<HResult>(0x80004005u);
inline constexpr HResult kClassENoAggregation = static_cast<HResult>(0x80040110u);
inline constexpr HResult kRegdbEClassNotReg = static_cast<HResult>(0x80040154u);
inline constexpr HResult kEOutOfMemory = static_cast<HResult>(0x8007000Eu);
inline constexpr HResult kEInvalidArg = static_cast<HResult>(0x80070057u);

inline bool Succeeded(HResult result) { return result >= 0; }
// HRESULT_FROM_WIN32.
inline HResult HResultFromWin32(WinError error) {
  return error == kErrorSuccess ? kSOk : static_cast<HResult>(0x80070000u | (error & 0xFFFFu));
}
// The system's text for a result code ("Unspecified error", the Win32 text
// of a HRESULT_FROM_WIN32 code, ...).
std::string HResultText(HResult result);

// A COM call that failed (EOleSysError): carries the result code; the
// message is the code's text.
class EOleSysError : public EPlatformError {
 public:
  explicit EOleSysError(HResult code) : EPlatformError(HResultText(code)), code_(code) {}
  EOleSysError(std::string message, HResult code) : EPlatformError(std::move(message)), code_(code) {}
  const char* ClassName() const override { return "EOleSysError"; }
  HResult ErrorCode() const { return code_; }

 private:
  HResult code_;
};

// One shell link object: IShellLinkA and its IPersistFile.
class ShellLinkObject {
 public:
  ShellLinkObject() = default;
  ShellLinkObject(const ShellLinkObject&) = delete;
  ShellLinkObject& operator=(const ShellLinkObject&) = delete;
  virtual ~ShellLinkObject() = default;

  // The target: a full Windows path, or any other text (kept as the
  // relative path). kEInvalidArg for an empty path or one of kLinkMaxPath
  // characters or more.
  virtual HResult SetPath(std::string_view path) = 0;
  // Low byte virtual-key code, high byte modifier flags; stored unchanged.
  virtual HResult SetHotkey(std::uint16_t hot_key) = 0;
  // kEInvalidArg for kLinkMaxArguments characters or more.
  virtual HResult SetArguments(std::string_view arguments) = 0;
  // kEInvalidArg for kLinkMaxPath characters or more.
  virtual HResult SetWorkingDirectory(std::string_view dir) = 0;
  // IPersistFile::Save: writes the link to `file` (a Windows path in
  // UTF-16), replacing an existing file. The file is written beside under a
  // temporary name and renamed, so a failure never leaves a damaged link.
  // HRESULT_FROM_WIN32 of the file error on failure (kErrorInvalidName for
  // a name Windows refuses, kErrorPathNotFound for a missing folder).
  virtual HResult Save(std::u16string_view file, bool remember) = 0;
};

class ShellLinks {
 public:
  ShellLinks() = default;
  ShellLinks(const ShellLinks&) = delete;
  ShellLinks& operator=(const ShellLinks&) = delete;
  virtual ~ShellLinks() = default;

  // CoInitialize: kSOk the first time, kSFalse afterwards.
  virtual HResult CoInitialize() = 0;
  // CoCreateInstance of the shell link class asking for IShellLinkA. On
  // success `object` holds the new object.
  virtual HResult CreateShellLink(std::unique_ptr<ShellLinkObject>& object) = 0;
  // Reads the link file at `path`: the file's error when it cannot be
  // read; throws EShellLinkFormat when its contents are not a link.
  virtual WinResult<ShellLinkData> ReadLink(std::string_view path) = 0;
};

// The shell link service of `machine`, writing and reading through its file
// service; `machine` must outlive it.
std::unique_ptr<ShellLinks> NewShellLinks(Machine& machine);
// The machine's shell link service: the one attached to it (a test attaches
// a ShellLinksWithFaults), else a new one attached on first use.
ShellLinks& ShellLinksOf(Machine& machine);

// A shell link service over another that answers chosen calls with chosen
// failures, for tests; every other call is forwarded.
class ShellLinksWithFaults : public ShellLinks {
 public:
  enum class Call { kCoInitialize, kCreate, kSetPath, kSetHotkey, kSetArguments, kSetWorkingDirectory, kSave };

  explicit ShellLinksWithFaults(std::unique_ptr<ShellLinks> target) : target_(std::move(target)) {}
  // From now on `call` answers `result` without reaching the target.
  void Fail(Call call, HResult result) { faults_[call] = result; }
  void Heal(Call call) { faults_.erase(call); }
  // The fault set for `call`, if any (used by the objects it makes).
  const HResult* FaultFor(Call call) const {
    auto it = faults_.find(call);
    return it == faults_.end() ? nullptr : &it->second;
  }

  HResult CoInitialize() override;
  HResult CreateShellLink(std::unique_ptr<ShellLinkObject>& object) override;
  WinResult<ShellLinkData> ReadLink(std::string_view path) override { return target_->ReadLink(path); }

 private:
  std::unique_ptr<ShellLinks> target_;
  std::map<Call, HResult> faults_;
};

}  // namespace brimwell
