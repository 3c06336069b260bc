// Win32 error codes as the platform services report them, and the small result
// types that carry them. The engine keeps Windows semantics: an operation that
// can fail in an expected way (a file in use, a missing key) returns a status
// with the Win32 error code that GetLastError would give, and the caller puts
// that code into its own message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace brimwell {

using WinError = std::uint32_t;

inline constexpr WinError kErrorSuccess = 0;
inline constexpr WinError kErrorInvalidFunction = 1;
inline constexpr WinError kErrorFileNotFound = 2;
inline constexpr WinError kErrorPathNotFound = 3;
inline constexpr WinError kErrorTooManyOpenFiles = 4;
inline constexpr WinError kErrorAccessDenied = 5;
inline constexpr WinError kErrorInvalidHandle = 6;
inline constexpr WinError kErrorNotEnoughMemory = 8;
inline constexpr WinError kErrorBadFormat = 11;
inline constexpr WinError kErrorInvalidDrive = 15;
inline constexpr WinError kErrorNotSameDevice = 17;
inline constexpr WinError kErrorNotReady = 21;
inline constexpr WinError kErrorSharingViolation = 32;
inline constexpr WinError kErrorLockViolation = 33;
inline constexpr WinError kErrorHandleDiskFull = 39;
inline constexpr WinError kErrorNotSupported = 50;
inline constexpr WinError kErrorFileExists = 80;
inline constexpr WinError kErrorInvalidParameter = 87;
inline constexpr WinError kErrorDiskFull = 112;
inline constexpr WinError kErrorCallNotImplemented = 120;
inline constexpr WinError kErrorInsufficientBuffer = 122;
inline constexpr WinError kErrorInvalidName = 123;
inline constexpr WinError kErrorModNotFound = 126;
inline constexpr WinError kErrorProcNotFound = 127;
inline constexpr WinError kErrorNegativeSeek = 131;
inline constexpr WinError kErrorDirNotEmpty = 145;
inline constexpr WinError kErrorAlreadyExists = 183;
inline constexpr WinError kErrorBadExeFormat = 193;
inline constexpr WinError kErrorFilenameExcedRange = 206;
inline constexpr WinError kErrorDirectory = 267;
inline constexpr WinError kErrorMoreData = 234;
inline constexpr WinError kErrorNoMoreItems = 259;
inline constexpr WinError kErrorPrivilegeNotHeld = 1314;
inline constexpr WinError kErrorBadPathname = 161;
inline constexpr WinError kErrorBadNetPath = 53;
inline constexpr WinError kErrorWriteFault = 29;
inline constexpr WinError kErrorReadFault = 30;
inline constexpr WinError kErrorRegistryCorrupt = 1015;
inline constexpr WinError kErrorRegistryIoFailed = 1016;
inline constexpr WinError kErrorKeyDeleted = 1018;
inline constexpr WinError kErrorChildMustBeVolatile = 1021;
inline constexpr WinError kErrorDatatypeMismatch = 1629;
inline constexpr WinError kErrorFileCorrupt = 1392;

// The system's text for a code ("The system cannot find the file specified.");
// "Unknown error <n>." for a code without one.
std::string WinErrorText(WinError error);

// Outcome of an operation without a value: success, or the Win32 error code.
class [[nodiscard]] WinStatus {
 public:
  WinStatus() = default;  // success
  static WinStatus Ok() { return WinStatus(); }
  static WinStatus Error(WinError error) { return WinStatus(error); }

  bool ok() const { return error_ == kErrorSuccess; }
  explicit operator bool() const { return ok(); }
  WinError error() const { return error_; }
  // Marks a status as deliberately ignored (clean-up paths that ignore failures).
  void IgnoreError() const {}

 private:
  explicit WinStatus(WinError error) : error_(error) {}
  WinError error_ = kErrorSuccess;
};

// Outcome of an operation that yields a value: the value, or the Win32 error
// code. Accessing the value of a failed result is a programming error.
template <typename T>
class [[nodiscard]] WinResult {
 public:
  WinResult(T value) : value_(std::move(value)) {}  // NOLINT: success converts implicitly
  WinResult(WinStatus status) : error_(status.ok() ? kErrorInvalidFunction : status.error()) {}
  static WinResult Error(WinError error) { return WinResult(WinStatus::Error(error)); }

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  WinError error() const { return ok() ? kErrorSuccess : error_; }
  WinStatus status() const { return ok() ? WinStatus::Ok() : WinStatus::Error(error_); }

  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }
  // The value, or `fallback` when the operation failed.
  T value_or(T fallback) const& { return ok() ? *value_ : std::move(fallback); }

 private:
  std::optional<T> value_;
  WinError error_ = kErrorSuccess;
};

// Outcome of a read or a write: the bytes moved and, when fewer than asked
// were moved because of a fault (a full disk, a read error), the error code.
// A read at the end of a file moves 0 bytes with no error.
struct [[nodiscard]] IoResult {
  std::size_t bytes = 0;
  WinError error = kErrorSuccess;
  bool ok() const { return error == kErrorSuccess; }
};

}  // namespace brimwell
