// The Win32 error code the engine reads for an errno of the POSIX layer.
#pragma once

#ifndef VOSTREL_POSIX_LAYER
#error "platform/posix/win32_errors.h is private to the POSIX layer: include platform/*.h"
#endif

#include <cerrno>

#include "engine/file_system.h"

namespace vostrel::posix {

inline unsigned long Win32FromErrno(int error) {
  switch (error) {
    case ENOENT:
      return win32_error::kFileNotFound;
    case ENOTDIR:
      return win32_error::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return win32_error::kAccessDenied;
    case EEXIST:
      return win32_error::kFileExists;
    case ENOSPC:
    case EDQUOT:
      return win32_error::kDiskFull;
    case ENAMETOOLONG:
      return win32_error::kFilenameExcedRange;
    case ELOOP:
      return win32_error::kCantResolveFilename;
    case EIO:
      return win32_error::kIoDevice;
    case EMFILE:
    case ENFILE:
      return win32_error::kTooManyOpenFiles;
    case ENOMEM:
      return win32_error::kNotEnoughMemory;
    default:
      return win32_error::kGenFailure;
  }
}

}  // namespace vostrel::posix
