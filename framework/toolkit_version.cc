#include "framework/toolkit_version.h"

namespace brimwell {

std::string_view ToolkitVersion() { return BRIMWELL_TOOLKIT_VERSION; }

}  // namespace brimwell
