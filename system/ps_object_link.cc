#include "system/ps_object_link.h"

#include "engine/api_routines.h"
#include "engine/custom_install_file.h"
#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "engine/project_form.h"
#include "engine/standard_path_specifiers.h"
#include "system/custom_install_shell_link.h"

namespace brimwell {

const ClassInfo& TpsObjectLink::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TpsObjectLink>("TpsObjectLink", &TStandardPathSpecifier::StaticClassInfo()).Creatable().Build();
  return info;
}

std::string TpsObjectLink::GetDescription() { return kObjectLinkDescription; }

void TpsObjectLink::Validate(TComponent* component) {
  auto* link = dynamic_cast<TCustomInstallShellLink*>(component);
  const std::string name = component != nullptr ? component->Name() : std::string();
  if (link == nullptr) {
    Raise<IEPathSpecifier>(Context(), kSpecifierNeedsInstallObject, {name, "TCustomInstallShellLink", kStandardName});
  }
  if (link->ObjectLink() == nullptr) Raise<IEPathSpecifier>(Context(), kObjectLinkNeedsObjectLink, {name});
}

std::string TpsObjectLink::GetPath(TComponent* component) {
  Validate(component);
  TInstallContainer* target = static_cast<TCustomInstallShellLink*>(component)->ObjectLink();
  if (auto* file = dynamic_cast<TCustomInstallFile*>(target)) return StripTrailingBackslash(file->InstalledPath());
  return StripTrailingBackslash(target->GetDestPath());
}

TpsObjectLink* EnsureObjectLinkSpecifier(TComponent* component) {
  ProjectForm* form = dynamic_cast<ProjectForm*>(component);
  if (form == nullptr) form = FormOf(component);
  if (form == nullptr) return nullptr;
  for (int i = 0; i < form->ComponentCount(); ++i) {
    if (auto* found = dynamic_cast<TpsObjectLink*>(form->Components(i))) return found;
  }
  return Create<TpsObjectLink>(form);  // named after its standard name
}

}  // namespace brimwell
