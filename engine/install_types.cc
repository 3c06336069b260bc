#include "engine/install_types.h"

namespace brimwell {

TInstallTypeSet NormalizeInstallTypes(TInstallTypeSet current, TInstallTypeSet requested) {
  const TInstallTypeSet always{TInstallType::itAlways};
  if (requested.Empty()) return always;
  if (requested.Contains(TInstallType::itAlways) && !current.Contains(TInstallType::itAlways)) {
    return always;
  }
  if (requested != always) requested.Exclude(TInstallType::itAlways);
  return requested;
}

}  // namespace brimwell
