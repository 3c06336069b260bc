// Errors of the archive reader, writer and component. Every archive error is
// an EBrwlCompress; a write that falls short is EbcDiskFull and a stop asked
// for through the component's Abort flag is EbcAborted.
#pragma once

#include "framework/exception.h"

namespace brimwell {

BRIMWELL_EXCEPTION(EBrwlCompress, EBrimwellAbnormal);
BRIMWELL_EXCEPTION(EbcDiskFull, EBrwlCompress);
BRIMWELL_EXCEPTION(EbcAborted, EBrwlCompress);

// The input/output error of directory creation ("Unable to create
// directory" for a path without a directory part).
BRIMWELL_EXCEPTION(EInOutError, Exception);

}  // namespace brimwell
