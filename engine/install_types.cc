#include "engine/install_types.h"

#include "framework/text_case.h"

namespace brimwell {
namespace {

// The order in which a run picks its starting type among those offered.
constexpr TInstallType kStartOrder[] = {TInstallType::itDefault, TInstallType::itCompact, TInstallType::itFull,
                                        TInstallType::itCustom};

}  // namespace

TInstallTypeSet NormalizeInstallTypes(TInstallTypeSet current, TInstallTypeSet requested) {
  const TInstallTypeSet always{TInstallType::itAlways};
  if (requested.Empty()) return always;
  if (requested.Contains(TInstallType::itAlways) && !current.Contains(TInstallType::itAlways)) {
    return always;
  }
  if (requested != always) requested.Exclude(TInstallType::itAlways);
  return requested;
}

bool SelectedFor(bool include, TInstallTypeSet types, TInstallType current) {
  if (!include) return false;
  return current == TInstallType::itAlways || current == TInstallType::itCustom ||
         types.Contains(TInstallType::itAlways) || types.Contains(current);
}

TInstallType StartInstallType(TInstallTypeSet offered) {
  for (TInstallType t : kStartOrder) {
    if (offered.Contains(t)) return t;
  }
  return TInstallType::itAlways;
}

std::vector<TInstallType> OfferedInstallTypes(TInstallTypeSet offered) {
  std::vector<TInstallType> types;
  for (TInstallType t : kStartOrder) {
    if (offered.Contains(t)) types.push_back(t);
  }
  if (types.empty()) types.push_back(TInstallType::itAlways);
  return types;
}

std::string InstallTypeName(TInstallType type) {
  return std::string(kInstallTypeInfo.names.at(static_cast<std::size_t>(type)));
}

std::optional<TInstallType> ParseInstallType(std::string_view text) {
  static const std::pair<const char*, TInstallType> kWords[] = {
      {"Full", TInstallType::itFull},     {"Default", TInstallType::itDefault},
      {"Typical", TInstallType::itDefault}, {"Compact", TInstallType::itCompact},
      {"Always", TInstallType::itAlways}, {"Custom", TInstallType::itCustom},
  };
  for (const auto& [word, type] : kWords) {
    if (SameText(text, word) || SameText(text, "it" + std::string(word))) return type;
  }
  return std::nullopt;
}

}  // namespace brimwell
