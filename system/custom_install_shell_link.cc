#include "system/custom_install_shell_link.h"

#include <algorithm>
#include <cctype>

#include "engine/api_routines.h"
#include "engine/component_calls.h"
#include "engine/custom_install_file.h"
#include "engine/engine_context.h"
#include "engine/file_container.h"
#include "engine/install.h"
#include "engine/meta_variables.h"
#include "engine/path_specifier.h"
#include "engine/shell_folders.h"
#include "engine/standard_path_specifiers.h"
#include "engine/uninstall_record.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/platform_errors.h"
#include "platform/profile_strings.h"
#include "platform/shell_link_format.h"
#include "platform/shell_links.h"
#include "platform/text_encoding.h"
#include "system/custom_shell_link_group.h"
#include "system/program_manager.h"
#include "system/ps_object_link.h"
#include "system/system_errors.h"

namespace brimwell {
namespace {

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string Trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return std::string(s);
}

// Where the extension of a file name starts (its last "." after the last
// path delimiter), or npos.
std::size_t ExtensionStart(std::string_view name) {
  const std::size_t dot = name.find_last_of(".\\:");
  return dot != std::string_view::npos && name[dot] == '.' ? dot : std::string_view::npos;
}

std::string ExtractFileExt(std::string_view name) {
  const std::size_t dot = ExtensionStart(name);
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string ChangeFileExt(std::string_view name, std::string_view ext) {
  const std::size_t dot = ExtensionStart(name);
  return std::string(name.substr(0, dot)) + std::string(ext);
}

std::string ExtractFileName(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\:/");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string DirectoryOf(std::string_view path) {
  const std::size_t slash = path.rfind('\\');
  return StripTrailingBackslash(slash == std::string_view::npos ? std::string_view() : path.substr(0, slash));
}

constexpr std::uint32_t kHResultUnexpected = 0x8000FFFFu;
constexpr std::uint32_t kHResultNoAggregation = 0x80040110u;
constexpr std::uint32_t kHResultClassNotRegistered = 0x80040154u;
constexpr std::uint32_t kHResultOutOfMemory = 0x8007000Eu;
constexpr std::uint32_t kHResultInvalidArg = 0x80070057u;

void CheckHResult(HResult result) {
  if (!Succeeded(result)) throw EOleSysError(result);
}

}  // namespace

std::string OleErrorText(const EngineContext* ctx, std::int32_t code, const std::string& own_message) {
  switch (static_cast<std::uint32_t>(code)) {
    case kHResultUnexpected: return EngineText(ctx, kOleUnexpected);
    case kHResultNoAggregation: return EngineText(ctx, kOleNoAggregation);
    case kHResultClassNotRegistered: return EngineText(ctx, kOleClassNotRegistered);
    case kHResultOutOfMemory: return EngineText(ctx, kOleOutOfMemory);
    case kHResultInvalidArg: return EngineText(ctx, kOleInvalidArg);
    case 0: return "";
    default: return own_message;
  }
}

// --- TCustomInstallShellLink ---------------------------------------------------

const ClassInfo& TCustomInstallShellLink::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TCustomInstallShellLink>("TCustomInstallShellLink", &TInstallObject::StaticClassInfo()).Build();
  return info;
}

TCustomInstallShellLink::TCustomInstallShellLink(TComponent* owner) : TInstallObject(owner) { SetProcessable(true); }

int TCustomInstallShellLink::ComponentType() const { return kTypeShellLink; }

std::string TCustomInstallShellLink::NameWithExtension(const std::string& name) const {
  const std::string ext = Upper(ExtractFileExt(name));
  if (ext == ".URL" || ext == ".LNK") return name;
  std::string previous = ExtractFileExt(link_name_);
  return ChangeFileExt(name, previous.empty() ? ".LNK" : previous);
}

void TCustomInstallShellLink::SetLinkName(const std::string& name) {
  if (Loading() || Trim(name).empty()) {
    link_name_ = name;
    return;
  }
  if (Upper(ExtractFileExt(name)) == ".URL") SetObjectLink(nullptr);
  link_name_ = NameWithExtension(name);
}

void TCustomInstallShellLink::SetObjectLink(TInstallContainer* component) {
  if (Loading()) {
    object_link_ = component;
    if (component != nullptr) FreeNotification(component);
    return;
  }
  if (component == nullptr) {
    object_link_ = nullptr;
    object_location_type_ = nullptr;
    return;
  }
  object_link_ = component;
  FreeNotification(component);
  SetObjectLocationType(EnsureObjectLinkSpecifier(this));
  object_location_.clear();
  if (auto* file = dynamic_cast<TCustomInstallFile*>(component)) {
    link_name_ = ChangeFileExt(file->DestName(), ".lnk");
  } else if (auto* group = dynamic_cast<TFileContainer*>(component)) {
    link_name_ = group->GroupName() + ".lnk";
  } else {
    link_name_ = component->Name() + ".lnk";
  }
  if (Container() == nullptr && AcceptsContainer(component)) SetContainer(component);
}

void TCustomInstallShellLink::SetObjectLocation(const std::string& location) {
  if (Loading()) {
    object_location_ = location;
    return;
  }
  if (dynamic_cast<TpsObjectLink*>(object_location_type_) != nullptr) {
    object_location_.clear();
    return;
  }
  object_location_ = location;
  if (!Trim(link_name_).empty() && link_name_ != ".LNK") return;
  const std::string upper = Upper(location);
  for (const char* scheme : {"HTTP://", "FTP://"}) {
    const std::size_t at = upper.find(scheme);
    if (at != std::string::npos) {
      SetLinkName(location.substr(at + std::string_view(scheme).size()) + ".URL");
      return;
    }
  }
  const std::string file = ExtractFileName(location);
  SetLinkName(ChangeFileExt(file, ""));
}

void TCustomInstallShellLink::SetObjectLocationType(TCustomPathSpecifier* specifier) {
  if (!Loading() && specifier != nullptr) specifier->Validate(this);
  object_location_type_ = specifier;
  if (specifier != nullptr) FreeNotification(specifier);
  if (!Loading() && dynamic_cast<TpsObjectLink*>(specifier) != nullptr) object_location_.clear();
}

void TCustomInstallShellLink::SetDestDirType(TCustomPathSpecifier* /*specifier*/) {
  TInstallContainer::SetDestDirType(Context() != nullptr ? StandardSpecifier<TpsContainerDestDir>(Context())
                                                          : nullptr);
}

bool TCustomInstallShellLink::AcceptsContainer(TInstallContainer* /*container*/) const { return true; }

std::string TCustomInstallShellLink::GetLinkFileName() { return GetDestPath() + "\\" + link_name_; }

bool TCustomInstallShellLink::IsInternetShortcut() const { return Upper(ExtractFileExt(link_name_)) == ".URL"; }

std::string TCustomInstallShellLink::GetObjectPath() {
  if (object_location_type_ != nullptr) return object_location_type_->GetPath(this) + object_location_;
  return StripTrailingBackslash(object_location_);
}

void TCustomInstallShellLink::MakeFolder(const std::string& folder) {
  EngineContext* ctx = Context();
  FileSystem& files = ctx->GetMachine().GetFileSystem();
  if (files.DirectoryExists(folder)) return;
  if (files.ForceDirectories(folder)) ctx->Log().Write("link", "folder " + folder);
}

void TCustomInstallShellLink::InstallObjects() {
  EngineContext* ctx = Context();
  if (Trim(link_name_).empty()) Raise<IEInstallShellLink>(ctx, kLinkNameBlank, {DisplayName()});
  if (object_link_ != nullptr) {
    // A link group processed after this link's own group is made now: its
    // folder is created below, so the link to it is not lost.
    const bool later_group =
        dynamic_cast<TCustomShellLinkGroup*>(object_link_) != nullptr && object_link_->IsSelected();
    if (!object_link_->Processed() && !later_group) {
      // Not installed in this run (its group was not chosen): no link, and
      // the link's own helpers wait with it.
      if (ctx != nullptr) ctx->Log().Write("link", "skipped " + DisplayName() + ": " + object_link_->DisplayName() +
                                                       " was not installed");
      return;
    }
    if (object_link_->InheritsFrom("TUninstallEXE")) {
      if (ctx == nullptr || ctx->Driver() == nullptr) Raise<IEInstallShellLink>(ctx, kLinkNeedsInstall, {DisplayName()});
      parameters_ = ctx->Driver()->Information().ProductName();
    }
    if (dynamic_cast<TCustomShellLinkGroup*>(object_link_) != nullptr && ctx != nullptr) {
      MakeFolder(object_link_->GetDestPath());
    }
  }
  if (IsInternetShortcut()) {
    CreateInternetShortcut();
  } else {
    switch (method_) {
      case mtShellLinkInterface: CreateShellLinkFile(); break;
      case mtProgramManager: CreateProgramManagerItem(); break;
      case mtAutoDetect: {
        const int kind = WindowsKind(*ctx);
        if (kind == kWindows95 || kind == kWindowsNT) {
          CreateShellLinkFile();
        } else {
          CreateProgramManagerItem();
        }
        break;
      }
    }
  }
  TInstallObject::InstallObjects();
}

void TCustomInstallShellLink::InitializeCOM() {
  if (com_initialized_) return;
  const HResult result = ShellLinksOf(Context()->GetMachine()).CoInitialize();
  if (result != kSOk && result != kSFalse) Raise<IEInstallShellLink>(Context(), kCannotInitializeCom, {result});
  com_initialized_ = true;
}

void TCustomInstallShellLink::CreateShellLinkFile() {
  EngineContext* ctx = Context();
  InitializeCOM();
  const std::string folder = GetDestPath();
  MakeFolder(folder);
  const std::string arguments = ExpandMetaVariables(*ctx, parameters_, this);
  const std::string target = GetObjectPath();
  const std::string file = GetLinkFileName();

  ShellLinks& links = ShellLinksOf(ctx->GetMachine());
  std::unique_ptr<ShellLinkObject> link;
  CheckHResult(links.CreateShellLink(link));  // unconverted, as COM raised it
  try {
    CheckHResult(link->SetPath(target));
    CheckHResult(link->SetHotkey(static_cast<std::uint16_t>(hot_key_)));
    CheckHResult(link->SetArguments(arguments));
    CheckHResult(link->SetWorkingDirectory(DirectoryOf(target)));
    // The name goes to the shell in UTF-16, in a buffer of 260 wide
    // characters with the terminator: a longer name is refused here rather
    // than cut.
    const std::string units = Utf8ToUtf16Le(file);
    if (units.size() / 2 + 1 > kLinkMaxPath) throw Exception(EngineText(ctx, kLinkFileNameTooLong, {file}));
    std::u16string wide;
    for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
      wide += static_cast<char16_t>(static_cast<unsigned char>(units[i]) |
                                    static_cast<unsigned char>(units[i + 1]) << 8);
    }
    CheckHResult(link->Save(wide, true));
  } catch (const EOleSysError& e) {
    Raise<IEInstallShellLink>(ctx, kLinkNotInstalledCode,
                              {DisplayName(), OleErrorText(ctx, e.ErrorCode(), e.Message()), e.ErrorCode()});
  } catch (const Exception& e) {
    Raise<IEInstallShellLink>(ctx, kLinkNotInstalled, {DisplayName(), e.Message()});
  }
  std::string line = "shortcut " + file + " -> " + target;
  if (!arguments.empty()) line += " " + arguments;
  ctx->Log().Write("link", line);
}

void TCustomInstallShellLink::CreateInternetShortcut() {
  EngineContext* ctx = Context();
  MakeFolder(GetDestPath());
  const std::string file = GetLinkFileName();
  try {
    WinStatus written = ctx->GetMachine().GetProfileStrings().WriteString(file, "InternetShortcut", "URL",
                                                                          object_location_);
    if (!written) throw Exception(WinErrorText(written.error()));
  } catch (const Exception& e) {
    Raise<IEInstallShellLink>(ctx, kLinkNotInstalled, {DisplayName(), e.Message()});
  }
  ctx->Log().Write("link", "internet shortcut " + file + " -> " + object_location_);
}

void TCustomInstallShellLink::CreateProgramManagerItem() {
  EngineContext* ctx = Context();
  const std::string folder = GetDestPath();
  // Program Manager holds the Programs menu only: a link relative to it, or
  // one whose folder lies below it (a sub-group's link), becomes an item.
  const bool program_menu = dynamic_cast<TpsProgramMenu*>(DestDirType()) != nullptr;
  const std::string programs = Upper(GetShellFolder(*ctx, ShellFolder::kPrograms)) + "\\";
  if (!program_menu && !Upper(folder + "\\").starts_with(programs)) return;

  const std::string group = Trim(ExtractFileName(folder));
  if (group.empty()) Raise<IEInstallShellLink>(ctx, kLinkNameBlank, {DisplayName()});
  TProgramManager& progman = ProgramManagerOf(*ctx);
  progman.CreateGroup(group);
  const std::string item = ChangeFileExt(link_name_, "");
  if (progman.FindItem(item) != -1) progman.ReplaceItem(item);
  const std::string target = GetObjectPath();
  const std::string command_line = "\"" + target + "\" " + ExpandMetaVariables(*ctx, parameters_, this);
  const std::string dir = "\"" + DirectoryOf(target) + "\"";
  progman.AddItem(command_line, item, "", 0, dir, "");
}

void TCustomInstallShellLink::WriteUninstallInfo(const std::string& key) {
  if (Context() == nullptr) return;
  UninstallRecord(*Context(), key).AppendInstalledFile(GetLinkFileName());
}

void TCustomInstallShellLink::ContainerDestroyed(TInstallContainer* container) {
  const bool linked = container != nullptr && container == object_link_;
  const bool mine = container != nullptr && container == Container();
  if (linked) object_link_ = nullptr;
  TInstallObject::ContainerDestroyed(container);
  if (linked || mine) FreeUnlessOwnerGoes(this);
}

void TCustomInstallShellLink::Notification(TComponent* component, Operation operation) {
  if (operation == Operation::kRemove && component != nullptr) {
    if (component == object_location_type_) object_location_type_ = nullptr;
    if (component == object_link_) object_link_ = nullptr;
  }
  TInstallObject::Notification(component, operation);
}

// --- TInstallSubLink ---------------------------------------------------------

const ClassInfo& TInstallSubLink::StaticClassInfo() {
  using L = TInstallSubLink;
  static const ClassInfo info =
      ClassBuilder<L>("TInstallSubLink", &TCustomInstallShellLink::StaticClassInfo())
          .Creatable()
          .Reference("Container", "TInstallContainer", &L::Container, &L::SetContainer)
          .Property("DestDir", &L::DestDir, &L::SetDestDir)
          .Property("Include", &L::Include, &L::SetInclude, true)
          .Property("HotKey", &L::HotKey, &L::SetHotKey, std::uint32_t{0})
          .Property("LinkName", &L::LinkName, &L::SetLinkName)
          .Enum("Method", kMethodTypeInfo, &L::Method, &L::SetMethod, mtAutoDetect)
          .Reference("ObjectLink", "TInstallContainer", &L::ObjectLink, &L::SetObjectLink)
          .Property("ObjectLocation", &L::ObjectLocation, &L::SetObjectLocation)
          .Reference("ObjectLocationType", "TCustomPathSpecifier", &L::ObjectLocationType, &L::SetObjectLocationType)
          .Property("Parameters", &L::Parameters, &L::SetParameters)
          .Build();
  return info;
}

TInstallSubLink::TInstallSubLink(TComponent* owner) : TCustomInstallShellLink(owner) {
  EnsureObjectLinkSpecifier(this);
  LinkGroupRegistry* groups = LinkGroupsOf(Context());
  if (groups != nullptr) {
    if (groups->sub_groups.empty()) Raise<IEInstallShellLink>(Context(), kNeedSubLinkGroup);
    SetContainer(groups->sub_groups.front());
  }
  if (Context() != nullptr) StoreDestDirType(StandardSpecifier<TpsContainerDestDir>(Context()));
  SetMethod(mtAutoDetect);
}

bool TInstallSubLink::AcceptsContainer(TInstallContainer* container) const {
  return dynamic_cast<TSubLinkGroup*>(container) != nullptr;
}

void TInstallSubLink::SetContainer(TInstallContainer* container) {
  if (container != nullptr && !AcceptsContainer(container)) Raise<IEInstallShellLink>(Context(), kSubLinkGroupMustContain);
  TCustomInstallShellLink::SetContainer(container);
}

}  // namespace brimwell
