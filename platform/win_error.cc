#include "platform/win_error.h"

namespace brimwell {

std::string WinErrorText(WinError error) {
  switch (error) {
    case kErrorSuccess: return "The operation completed successfully.";
    case kErrorInvalidFunction: return "Incorrect function.";
    case kErrorFileNotFound: return "The system cannot find the file specified.";
    case kErrorPathNotFound: return "The system cannot find the path specified.";
    case kErrorTooManyOpenFiles: return "The system cannot open the file.";
    case kErrorNotSameDevice: return "The system cannot move the file to a different disk drive.";
    case kErrorAccessDenied: return "Access is denied.";
    case kErrorInvalidHandle: return "The handle is invalid.";
    case kErrorNotEnoughMemory: return "Not enough storage is available to process this command.";
    case kErrorBadFormat: return "An attempt was made to load a program with an incorrect format.";
    case kErrorInvalidDrive: return "The system cannot find the drive specified.";
    case kErrorNotReady: return "The device is not ready.";
    case kErrorWriteFault: return "The system cannot write to the specified device.";
    case kErrorReadFault: return "The system cannot read from the specified device.";
    case kErrorSharingViolation:
      return "The process cannot access the file because it is being used by another process.";
    case kErrorLockViolation:
      return "The process cannot access the file because another process has locked a portion of "
             "the file.";
    case kErrorHandleDiskFull: return "The disk is full.";
    case kErrorNotSupported: return "The request is not supported.";
    case kErrorBadNetPath: return "The network path was not found.";
    case kErrorFileExists: return "The file exists.";
    case kErrorInvalidParameter: return "The parameter is incorrect.";
    case kErrorDiskFull: return "There is not enough space on the disk.";
    case kErrorCallNotImplemented: return "This function is not supported on this system.";
    case kErrorInsufficientBuffer: return "The data area passed to a system call is too small.";
    case kErrorInvalidName: return "The filename, directory name, or volume label syntax is incorrect.";
    case kErrorModNotFound: return "The specified module could not be found.";
    case kErrorProcNotFound: return "The specified procedure could not be found.";
    case kErrorNegativeSeek:
      return "An attempt was made to move the file pointer before the beginning of the file.";
    case kErrorDirectory: return "The directory name is invalid.";
    case kErrorDirNotEmpty: return "The directory is not empty.";
    case kErrorBadPathname: return "The specified path is invalid.";
    case kErrorAlreadyExists: return "Cannot create a file when that file already exists.";
    case kErrorBadExeFormat: return "%1 is not a valid Win32 application.";
    case kErrorFilenameExcedRange: return "The filename or extension is too long.";
    case kErrorMoreData: return "More data is available.";
    case kErrorNoMoreItems: return "No more data is available.";
    case kErrorRegistryCorrupt: return "The configuration registry database is corrupt.";
    case kErrorRegistryIoFailed:
      return "An I/O operation initiated by the registry failed unrecoverably.";
    case kErrorKeyDeleted: return "Illegal operation attempted on a registry key that has been marked for deletion.";
    case kErrorPrivilegeNotHeld: return "A required privilege is not held by the client.";
    case kErrorFileCorrupt: return "The file or directory is corrupted and unreadable.";
    case kErrorDatatypeMismatch: return "The data is of the wrong type.";
    default: return "Unknown error " + std::to_string(error) + ".";
  }
}

}  // namespace brimwell
