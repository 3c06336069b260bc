// Shortcuts. TCustomInstallShellLink makes one shortcut in its folder: a
// shell link file (.LNK) through the machine's shell link object, an
// Internet shortcut (.URL) through the profile strings, or, on shells
// without links, an item of a Program Manager group. Its target is an
// install component (ObjectLink: an installed file, a group's folder, the
// uninstall program) or a path below a specifier or a URL (ObjectLocation
// with ObjectLocationType). The link file is recorded with the installed
// files of the product's uninstall record.
//
// TInstallSubLink is the published link; it lives in a TSubLinkGroup.
#pragma once

#include <cstdint>
#include <string>

#include "engine/install_object.h"
#include "framework/persistent.h"

namespace brimwell {

class TCustomPathSpecifier;

enum TMethodType { mtAutoDetect, mtShellLinkInterface, mtProgramManager };
inline const EnumInfo kMethodTypeInfo{"TMethodType", {"mtAutoDetect", "mtShellLinkInterface", "mtProgramManager"}};

inline constexpr char kLinkNameBlank[] = "The LinkName is blank for %s and therefore could not be installed";
inline constexpr char kLinkNeedsInstall[] = "%s cannot perform operation because there is no TInstall component";
inline constexpr char kLinkNotInstalledCode[] =
    "The TCustomInstallShellLink %s name could not be installed. The following error was reported %s. Error code %d";
inline constexpr char kLinkNotInstalled[] =
    "The TCustomInstallShellLink %s name could not be installed. The following error was reported %s";
inline constexpr char kCannotInitializeCom[] =
    "Could not initialize IShellLink with following error code returned: %d";
inline constexpr char kNeedSubLinkGroup[] =
    "To create a TInstallSubLink you must first have at least one TSubLinkGroup component in your project";
inline constexpr char kSubLinkGroupMustContain[] =
    "A TSubLinkGroup component must be the Container for TInstallSubLink components";
// Texts of the COM result codes that have their own.
inline constexpr char kOleUnexpected[] = "Indicates an unexpected error occurred";
inline constexpr char kOleNoAggregation[] = "Indicates this class cannot be created as part of an aggregate";
inline constexpr char kOleClassNotRegistered[] =
    "Indicates that a specified class is not registered in the registration database";
inline constexpr char kOleOutOfMemory[] = "Out of memory";
inline constexpr char kOleInvalidArg[] = "Indicates one or more arguments are invalid";
// Said when a link's file name does not fit the 260 wide characters of a
// Windows path.
inline constexpr char kLinkFileNameTooLong[] = "The link's file name is longer than 259 characters: %s";

class TCustomInstallShellLink : public TInstallObject {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TCustomInstallShellLink(TComponent* owner);

  int ComponentType() const override;

  // --- Properties -------------------------------------------------------------
  std::uint32_t HotKey() const { return hot_key_; }
  void SetHotKey(std::uint32_t key) { hot_key_ = key & 0xFFFF; }
  const std::string& LinkName() const { return link_name_; }
  // Outside loading: a ".URL" name clears ObjectLink; a name with neither
  // ".URL" nor ".LNK" gets the previous name's extension (".LNK" when it had
  // none). A blank name is stored as it is.
  virtual void SetLinkName(const std::string& name);
  TMethodType Method() const { return method_; }
  void SetMethod(TMethodType method) { method_ = method; }
  TInstallContainer* ObjectLink() const { return object_link_; }
  // Outside loading: ObjectLocationType becomes psObjectLink, ObjectLocation
  // is cleared and LinkName derived from the component (its DestName with
  // ".lnk" for a file, GroupName + ".lnk" for a file group, Name + ".lnk"
  // otherwise). None clears ObjectLink and ObjectLocationType.
  virtual void SetObjectLink(TInstallContainer* component);
  const std::string& ObjectLocation() const { return object_location_; }
  // Outside loading: stays empty under psObjectLink; with a blank LinkName
  // (or exactly ".LNK") a name is derived from the location.
  virtual void SetObjectLocation(const std::string& location);
  TCustomPathSpecifier* ObjectLocationType() const { return object_location_type_; }
  // Outside loading the specifier validates this link first (and may
  // refuse); psObjectLink clears ObjectLocation.
  virtual void SetObjectLocationType(TCustomPathSpecifier* specifier);
  const std::string& Parameters() const { return parameters_; }
  void SetParameters(const std::string& parameters) { parameters_ = parameters; }

  // The folder, a backslash and LinkName.
  std::string GetLinkFileName();
  // The extension of LinkName is ".URL" (any case).
  bool IsInternetShortcut() const;
  // The target: ObjectLocationType's path followed by ObjectLocation, or
  // ObjectLocation without a trailing backslash.
  virtual std::string GetObjectPath();

  // --- Operations -------------------------------------------------------------
  void InstallObjects() override;
  void WriteUninstallInfo(const std::string& key) override;
  void ContainerDestroyed(TInstallContainer* container) override;
  // The folder's specifier is fixed (psContainerDestDir).
  void SetDestDirType(TCustomPathSpecifier* specifier) override;

  // COM for this component, once (IEInstallShellLink kCannotInitializeCom).
  virtual void InitializeCOM();
  virtual void CreateProgramManagerItem();
  virtual void CreateShellLinkFile();
  virtual void CreateInternetShortcut();

 protected:
  void Notification(TComponent* component, Operation operation) override;
  // Whether `container` may hold this link (TInstallSubLink: sub-groups).
  virtual bool AcceptsContainer(TInstallContainer* container) const;

 private:
  // Creates `folder` with its parents; the log notes it.
  void MakeFolder(const std::string& folder);
  // LinkName's rule for a new name.
  std::string NameWithExtension(const std::string& name) const;

  std::uint32_t hot_key_ = 0;
  std::string link_name_;
  TMethodType method_ = mtAutoDetect;
  TInstallContainer* object_link_ = nullptr;
  std::string object_location_;
  TCustomPathSpecifier* object_location_type_ = nullptr;
  std::string parameters_;
  bool com_initialized_ = false;
};

class TInstallSubLink : public TCustomInstallShellLink {
  BRIMWELL_CLASS_INFO()

 public:
  // Throws IEInstallShellLink kNeedSubLinkGroup when the run has no
  // sub-group; the container is the first one. Makes sure the form holds a
  // psObjectLink specifier.
  explicit TInstallSubLink(TComponent* owner);
  // Only a TSubLinkGroup (or none). Throws IEInstallShellLink
  // kSubLinkGroupMustContain.
  void SetContainer(TInstallContainer* container) override;

 protected:
  bool AcceptsContainer(TInstallContainer* container) const override;
};

// The text of a COM result code for the link's message: the table's text
// (translated), none for 0, else the error's own message.
std::string OleErrorText(const EngineContext* ctx, std::int32_t code, const std::string& own_message);

}  // namespace brimwell
