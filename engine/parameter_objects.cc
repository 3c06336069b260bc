#include "engine/parameter_objects.h"

namespace brimwell {

#define BRIMWELL_PLAIN_CLASS(T)                                        \
  const ClassInfo& T::StaticClassInfo() {                              \
    static const ClassInfo info = ClassBuilder<T>(#T, nullptr).Build(); \
    return info;                                                       \
  }

BRIMWELL_PLAIN_CLASS(TMessageParameter)
BRIMWELL_PLAIN_CLASS(TFileStatusParameter)
BRIMWELL_PLAIN_CLASS(TDownloadStatusParameter)
BRIMWELL_PLAIN_CLASS(TDiskParameter)
BRIMWELL_PLAIN_CLASS(TList)

#undef BRIMWELL_PLAIN_CLASS

}  // namespace brimwell
