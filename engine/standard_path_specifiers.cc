#include "engine/standard_path_specifiers.h"

#include <algorithm>
#include <vector>

#include "engine/api_routines.h"
#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "engine/file_container.h"
#include "engine/project_form.h"
#include "engine/shell_folders.h"
#include "platform/machine.h"
#include "platform/platform_errors.h"
#include "platform/registry.h"

namespace brimwell {
namespace {

std::string NameOf(const TComponent* c) { return c != nullptr ? c->Name() : std::string(); }

TInstallObject* RequireInstallObject(TCustomPathSpecifier& spec, TComponent* component) {
  auto* object = dynamic_cast<TInstallObject*>(component);
  if (object == nullptr) {
    Raise<IEPathSpecifier>(spec.Context(), kSpecifierNeedsInstallObject,
                           {NameOf(component), "TInstallObject", spec.StandardName()});
  }
  return object;
}

InstallDriver* RequireDriver(TCustomPathSpecifier& spec, TComponent* component) {
  EngineContext* ctx = spec.Context();
  InstallDriver* driver = ctx != nullptr ? ctx->DriverView() : nullptr;
  if (driver == nullptr) Raise<IEPathSpecifier>(ctx, kNoInstallForSpecifier, {NameOf(component)});
  return driver;
}

const EngineContext& Ctx(const TCustomPathSpecifier& spec) {
  if (spec.Context() == nullptr) Raise<IEPathSpecifier>(nullptr, kCouldNotFindPathSpecifier);
  return *spec.Context();
}

}  // namespace

#define BRIMWELL_SPECIFIER_INFO(T)                                                                 \
  const ClassInfo& T::StaticClassInfo() {                                                          \
    static const ClassInfo info = ClassBuilder<T>(#T, &TStandardPathSpecifier::StaticClassInfo()) \
                                      .Creatable()                                                 \
                                      .Build();                                                    \
    return info;                                                                                   \
  }

BRIMWELL_SPECIFIER_INFO(TpsCommonFiles)
BRIMWELL_SPECIFIER_INFO(TpsContainerArchiveFile)
BRIMWELL_SPECIFIER_INFO(TpsContainerDestDir)
BRIMWELL_SPECIFIER_INFO(TpsDesktopMenu)
BRIMWELL_SPECIFIER_INFO(TpsInstallSource)
BRIMWELL_SPECIFIER_INFO(TpsMainInstall)
BRIMWELL_SPECIFIER_INFO(TpsProgramFiles)
BRIMWELL_SPECIFIER_INFO(TpsProgramMenu)
BRIMWELL_SPECIFIER_INFO(TpsStartMenu)
BRIMWELL_SPECIFIER_INFO(TpsStartupMenu)
BRIMWELL_SPECIFIER_INFO(TpsSystem)
BRIMWELL_SPECIFIER_INFO(TpsMainArchiveFile)
BRIMWELL_SPECIFIER_INFO(TpsWindow)

#undef BRIMWELL_SPECIFIER_INFO

const ClassInfo& TpsBDEDLL::StaticClassInfo() {
  using B = TpsBDEDLL;
  static const ClassInfo info =
      ClassBuilder<B>("TpsBDEDLL", &TStandardPathSpecifier::StaticClassInfo())
          .Creatable()
          .Property("DatabaseEngineKey", &B::DatabaseEngineKey, &B::SetDatabaseEngineKey, kDefaultKey)
          .Property("DatabaseEngineDirectory", &B::DatabaseEngineDirectory, &B::SetDatabaseEngineDirectory,
                    kDefaultDirectory)
          .Build();
  return info;
}

// --- psBDEDLL ---------------------------------------------------------------------

std::string TpsBDEDLL::GetDescription() { return "Path of the database engine's DLLs"; }

std::string TpsBDEDLL::GetPath(TComponent* /*component*/) {
  const EngineContext& ctx = Ctx(*this);
  // A value of another type counts as missing.
  std::optional<std::string> dll_path =
      ctx.GetMachine().GetRegistry().FindString(RegistryHive::kLocalMachine, key_, kDllPathValue);
  if (dll_path && !dll_path->empty()) return dll_path->substr(0, dll_path->find(';'));
  return GetShellFolder(ctx, ShellFolder::kProgramFiles) + "\\" + directory_;
}

// --- Folders without rules --------------------------------------------------------

std::string TpsCommonFiles::GetDescription() {
  return "Path of the common files directory under the program files directory";
}
std::string TpsCommonFiles::GetPath(TComponent*) { return GetShellFolder(Ctx(*this), ShellFolder::kCommonFiles); }

std::string TpsDesktopMenu::GetDescription() { return "Path of the Desktop"; }
std::string TpsDesktopMenu::GetPath(TComponent*) { return GetShellFolder(Ctx(*this), ShellFolder::kDesktop); }

std::string TpsProgramFiles::GetDescription() { return "Path of the program files directory"; }
std::string TpsProgramFiles::GetPath(TComponent*) { return GetShellFolder(Ctx(*this), ShellFolder::kProgramFiles); }

std::string TpsProgramMenu::GetDescription() { return "Path of the Programs folder under the Start Menu"; }
std::string TpsProgramMenu::GetPath(TComponent*) { return GetShellFolder(Ctx(*this), ShellFolder::kPrograms); }

std::string TpsStartMenu::GetDescription() { return "Path of Start Menu"; }
std::string TpsStartMenu::GetPath(TComponent*) { return GetShellFolder(Ctx(*this), ShellFolder::kStartMenu); }

std::string TpsStartupMenu::GetDescription() {
  return "Path of the Startup folder in the Programs folder under the Start Menu";
}
std::string TpsStartupMenu::GetPath(TComponent*) { return GetShellFolder(Ctx(*this), ShellFolder::kStartup); }

std::string TpsSystem::GetDescription() { return "Path of system directory"; }
std::string TpsSystem::GetPath(TComponent*) { return GetShellFolder(Ctx(*this), ShellFolder::kSystem); }

std::string TpsWindow::GetDescription() { return "Path of the Windows directory"; }
std::string TpsWindow::GetPath(TComponent*) { return GetShellFolder(Ctx(*this), ShellFolder::kWindows); }

// --- The container's archive ------------------------------------------------------

std::string TpsContainerArchiveFile::GetDescription() { return "Path to the archive file of the container"; }

void TpsContainerArchiveFile::Validate(TComponent* component) {
  TInstallObject* object = RequireInstallObject(*this, component);
  if (object->Container() == nullptr) {
    Raise<IEPathSpecifier>(Context(), kContainerArchiveNeedsContainer, {NameOf(component)});
  }
  if (dynamic_cast<TFileRelated*>(object->Container()) == nullptr) {
    Raise<IEPathSpecifier>(Context(), kContainerArchiveNotFileRelated, {NameOf(component)});
  }
}

std::string TpsContainerArchiveFile::GetPath(TComponent* component) {
  Validate(component);
  auto* container = static_cast<TFileRelated*>(static_cast<TInstallObject*>(component)->Container());
  return StripTrailingBackslash(container->GetArchivePath());
}

// --- The container's destination --------------------------------------------------

std::string TpsContainerDestDir::GetDescription() { return "Path of the group (container)"; }

void TpsContainerDestDir::Validate(TComponent* component) {
  TInstallObject* object = RequireInstallObject(*this, component);
  if (object->Container() == nullptr) {
    Raise<IEPathSpecifier>(Context(), kContainerDestDirNeedsContainer, {NameOf(component)});
  }
}

std::string TpsContainerDestDir::GetDescriptionFor(TComponent* component) {
  try {
    Validate(component);
  } catch (const IEPathSpecifier&) {
    return GetDescription();  // no container to name
  }
  TInstallContainer* container = static_cast<TInstallObject*>(component)->Container();
  std::string name = container->Name();
  if (auto* files = dynamic_cast<TFileContainer*>(container)) name = files->GroupName();
  return EngineText(Context(), kContainerDescriptionFor, {name});
}

std::string TpsContainerDestDir::GetPath(TComponent* component) {
  Validate(component);
  return StripTrailingBackslash(static_cast<TInstallObject*>(component)->Container()->GetDestPath());
}

// --- The driver's directories -----------------------------------------------------

std::string TpsInstallSource::GetDescription() { return "Path from which the user ran the install"; }

void TpsInstallSource::Validate(TComponent* component) { RequireDriver(*this, component); }

std::string TpsInstallSource::GetPath(TComponent* component) {
  return StripTrailingBackslash(RequireDriver(*this, component)->DriverSourceDir());
}

std::string TpsMainInstall::GetDescription() { return "Path of the destination directory of the TInstall"; }

void TpsMainInstall::Validate(TComponent* component) {
  InstallDriver* driver = RequireDriver(*this, component);
  if (component == &driver->DriverComponent()) Raise<IEPathSpecifier>(Context(), kMainInstallForInstall);
}

std::string TpsMainInstall::GetPath(TComponent* component) {
  Validate(component);
  return StripTrailingBackslash(Context()->DriverView()->DriverDestPath());
}

std::string TpsMainArchiveFile::GetDescription() {
  return "Archive containing most or all non-internet installation files";
}

void TpsMainArchiveFile::Validate(TComponent* component) { RequireDriver(*this, component); }

std::string TpsMainArchiveFile::GetPath(TComponent* component) {
  InstallDriver* driver = RequireDriver(*this, component);
  if (driver->DriverHasSwitch(EngineSwitch::kSelfExtract)) {
    const std::string& name = driver->DriverSwitchArgument(EngineSwitch::kSelfExtract);
    if (name.find_first_not_of(' ') == std::string::npos) Raise<IEPathSpecifier>(Context(), kSelfExtractorNameMissing);
    return StripTrailingBackslash(driver->DriverSourceDir() + "\\" + name);
  }
  return StripTrailingBackslash(driver->DriverSourceDir() + "\\files.1");
}

// --- Placing them -----------------------------------------------------------------

namespace {

// Makes a T unless `present` (the classes of the specifiers there) has one.
template <class T>
void Ensure(ProjectForm& form, const std::vector<const ClassInfo*>& present) {
  if (std::find(present.begin(), present.end(), &T::StaticClassInfo()) == present.end()) Create<T>(&form);
}

}  // namespace

void EnsureStandardPathSpecifiers(ProjectForm& form) {
  // One look at the specifiers there serves for every class (each install
  // component of a project comes here).
  std::vector<const ClassInfo*> present;
  for (TStandardPathSpecifier* s : form.Context().StandardPathSpecifiers()) present.push_back(&s->ClassType());
  Ensure<TpsBDEDLL>(form, present);
  Ensure<TpsCommonFiles>(form, present);
  Ensure<TpsContainerArchiveFile>(form, present);
  Ensure<TpsContainerDestDir>(form, present);
  Ensure<TpsDesktopMenu>(form, present);
  Ensure<TpsInstallSource>(form, present);
  Ensure<TpsMainInstall>(form, present);
  Ensure<TpsProgramFiles>(form, present);
  Ensure<TpsProgramMenu>(form, present);
  Ensure<TpsStartMenu>(form, present);
  Ensure<TpsStartupMenu>(form, present);
  Ensure<TpsSystem>(form, present);
  Ensure<TpsMainArchiveFile>(form, present);
  Ensure<TpsWindow>(form, present);
}

}  // namespace brimwell
