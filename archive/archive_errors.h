// Errors of the archive reader, writer and component. Every archive error is
// an EBrwlCompress; a write that falls short is EbcDiskFull and a stop asked
// for through the component's Abort flag is EbcAborted.
#pragma once

#include "framework/exception.h"

namespace brimwell {

BRIMWELL_EXCEPTION(EBrwlCompress, EBrimwellAbnormal);
BRIMWELL_EXCEPTION(EbcDiskFull, EBrwlCompress);
BRIMWELL_EXCEPTION(EbcAborted, EBrwlCompress);

}  // namespace brimwell
