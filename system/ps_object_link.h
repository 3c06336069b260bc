// TpsObjectLink: the path specifier "psObjectLink" that yields the path of
// the install component a shell link points at (its ObjectLink): the
// installed file's full path, or the destination of a group or other
// container. Every form holding a link holds one.
#pragma once

#include "engine/path_specifier.h"

namespace brimwell {

inline constexpr char kObjectLinkDescription[] = "Path of the file or file group in the ObjectLink property";
inline constexpr char kObjectLinkNeedsObjectLink[] =
    "Cannot use ddObjectLink for %s unless you assign a value to ObjectLink";

class TpsObjectLink : public TStandardPathSpecifier {
  BRIMWELL_CLASS_INFO()

 public:
  static constexpr char kStandardName[] = "psObjectLink";
  explicit TpsObjectLink(TComponent* owner) : TStandardPathSpecifier(owner, kStandardName) {}

  std::string GetDescription() override;
  // The component must be a TCustomInstallShellLink whose ObjectLink is set
  // (IEPathSpecifier otherwise).
  void Validate(TComponent* component) override;
  // Validates, then the linked file's installed path, or GetDestPath of the
  // linked component; without a trailing backslash.
  std::string GetPath(TComponent* component) override;
};

// The form's TpsObjectLink, made under its standard name when missing.
TpsObjectLink* EnsureObjectLinkSpecifier(TComponent* form_or_component);

}  // namespace brimwell
