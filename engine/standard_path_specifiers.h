// The fourteen standard path specifiers. Each is placed on the project's
// form under its standard name (the name a project uses to refer to it, for
// example "DestDirType": "psProgramFiles") by the first install component
// created there, in the order of EnsureStandardPathSpecifiers.
#pragma once

#include <string>

#include "engine/path_specifier.h"

namespace brimwell {

class ProjectForm;

// Validation messages. The first %s is the component's name.
inline constexpr char kSpecifierNeedsInstallObject[] = "%s must be a %s to use the %s path specifier";
inline constexpr char kContainerArchiveNeedsContainer[] =
    "Cannot use ddContainerArchiveFile for %s unless you assign a Container";
inline constexpr char kContainerArchiveNotFileRelated[] =
    "Cannot use the ddContainerArchiveFile path specifier for %s because the Container is not a "
    "TFileRelated descendant";
inline constexpr char kContainerDestDirNeedsContainer[] =
    "Cannot use ddContainerDestDir for %s unless you assign a Container";
inline constexpr char kNoInstallForSpecifier[] =
    "There is no TInstall component so the path specifier could not be expanded for %s";
inline constexpr char kMainInstallForInstall[] =
    "Cannot use the ddMainInstallDir path specifier for a TInstall component";
inline constexpr char kSelfExtractorNameMissing[] =
    "You forgot to pass in the name of the self-extracting executable. Usage example: \"-eSetup.exe\"";

// psContainerDestDir's description for a component: the container's
// GroupName (file containers) or name.
inline constexpr char kContainerDescriptionFor[] = "Path of the <%s> group";

#define BRIMWELL_STANDARD_SPECIFIER_BODY(T, NAME)                                \
  BRIMWELL_CLASS_INFO()                                                          \
 public:                                                                         \
  static constexpr char kStandardName[] = NAME;                                  \
  explicit T(TComponent* owner) : TStandardPathSpecifier(owner, kStandardName) {} \
  std::string GetDescription() override;                                        \
  std::string GetPath(TComponent* component) override;

// The database engine's DLL directory: the first ";"-separated item of the
// "DLLPath" value under HKEY_LOCAL_MACHINE\<DatabaseEngineKey>; when that
// value is missing or empty, the program files directory + "\" +
// DatabaseEngineDirectory. Both settings are published, so a product sets
// them by listing psBDEDLL in its project. The result keeps a trailing
// backslash when it has one.
class TpsBDEDLL : public TStandardPathSpecifier {
  BRIMWELL_STANDARD_SPECIFIER_BODY(TpsBDEDLL, "psBDEDLL")
  static constexpr char kDefaultKey[] = "\\SOFTWARE\\Database Engine";
  static constexpr char kDefaultDirectory[] = "Common Files\\Database Engine";
  static constexpr char kDllPathValue[] = "DLLPath";

  const std::string& DatabaseEngineKey() const { return key_; }
  void SetDatabaseEngineKey(const std::string& key) { key_ = key; }
  const std::string& DatabaseEngineDirectory() const { return directory_; }
  void SetDatabaseEngineDirectory(const std::string& dir) { directory_ = dir; }

 private:
  std::string key_ = kDefaultKey;
  std::string directory_ = kDefaultDirectory;
};

class TpsCommonFiles : public TStandardPathSpecifier {
  BRIMWELL_STANDARD_SPECIFIER_BODY(TpsCommonFiles, "psCommonFiles")
};

// The archive path of the component's container; the component must be an
// install object whose container is file-related.
class TpsContainerArchiveFile : public TStandardPathSpecifier {
  BRIMWELL_STANDARD_SPECIFIER_BODY(TpsContainerArchiveFile, "psContainerArchiveFile")
  void Validate(TComponent* component) override;
};

// The destination of the component's container.
class TpsContainerDestDir : public TStandardPathSpecifier {
  BRIMWELL_STANDARD_SPECIFIER_BODY(TpsContainerDestDir, "psContainerDestDir")
  void Validate(TComponent* component) override;
  std::string GetDescriptionFor(TComponent* component) override;
};

class TpsDesktopMenu : public TStandardPathSpecifier {
  BRIMWELL_STANDARD_SPECIFIER_BODY(TpsDesktopMenu, "psDesktopMenu")
};

// The driver's InstallSourceDir.
class TpsInstallSource : public TStandardPathSpecifier {
  BRIMWELL_STANDARD_SPECIFIER_BODY(TpsInstallSource, "psInstallSource")
  void Validate(TComponent* component) override;
};

// The driver's destination directory; not for the driver itself.
class TpsMainInstall : public TStandardPathSpecifier {
  BRIMWELL_STANDARD_SPECIFIER_BODY(TpsMainInstall, "psMainInstall")
  void Validate(TComponent* component) override;
};

class TpsProgramFiles : public TStandardPathSpecifier {
  BRIMWELL_STANDARD_SPECIFIER_BODY(TpsProgramFiles, "psProgramFiles")
};

class TpsProgramMenu : public TStandardPathSpecifier {
  BRIMWELL_STANDARD_SPECIFIER_BODY(TpsProgramMenu, "psProgramMenu")
};

class TpsStartMenu : public TStandardPathSpecifier {
  BRIMWELL_STANDARD_SPECIFIER_BODY(TpsStartMenu, "psStartMenu")
};

class TpsStartupMenu : public TStandardPathSpecifier {
  BRIMWELL_STANDARD_SPECIFIER_BODY(TpsStartupMenu, "psStartupMenu")
};

class TpsSystem : public TStandardPathSpecifier {
  BRIMWELL_STANDARD_SPECIFIER_BODY(TpsSystem, "psSystem")
};

// The main archive, a file: with -e the self-extracting program
// (InstallSourceDir + "\" + the -e name), otherwise InstallSourceDir +
// "\files.1".
class TpsMainArchiveFile : public TStandardPathSpecifier {
  BRIMWELL_STANDARD_SPECIFIER_BODY(TpsMainArchiveFile, "psMainArchiveFile")
  void Validate(TComponent* component) override;
};

class TpsWindow : public TStandardPathSpecifier {
  BRIMWELL_STANDARD_SPECIFIER_BODY(TpsWindow, "psWindow")
};

#undef BRIMWELL_STANDARD_SPECIFIER_BODY

// Creates on `form` each standard specifier of which no instance exists
// yet, in the order of the classes above.
void EnsureStandardPathSpecifiers(ProjectForm& form);

}  // namespace brimwell
