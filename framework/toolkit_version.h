// The toolkit's version, as every program prints it for --version.
#pragma once

#include <string_view>

namespace brimwell {

// "0.1": the version the build was configured with.
std::string_view ToolkitVersion();

}  // namespace brimwell
