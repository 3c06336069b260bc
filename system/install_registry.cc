#include "system/install_registry.h"

#include "engine/component_calls.h"
#include "engine/engine_context.h"
#include "engine/install.h"
#include "engine/meta_variables.h"
#include "engine/path_specifier.h"
#include "engine/uninstall_record.h"
#include "platform/machine.h"
#include "platform/platform_errors.h"
#include "system/system_errors.h"
#include "system/system_log.h"

namespace brimwell {

RegistryHive HiveOf(TRootKeys root) {
  switch (root) {
    case TRootKeys::hkClassesRoot: return RegistryHive::kClassesRoot;
    case TRootKeys::hkCurrentConfig: return RegistryHive::kCurrentConfig;
    case TRootKeys::hkCurrentUser: return RegistryHive::kCurrentUser;
    case TRootKeys::hkDynData: return RegistryHive::kDynData;
    case TRootKeys::hkLocalMachine: return RegistryHive::kLocalMachine;
    case TRootKeys::hkUsers: return RegistryHive::kUsers;
  }
  return RegistryHive::kLocalMachine;
}

// --- TRegistryEntry ----------------------------------------------------------

const ClassInfo& TRegistryEntry::StaticClassInfo() {
  using E = TRegistryEntry;
  static const ClassInfo info =
      ClassBuilder<E>("TRegistryEntry", nullptr)
          .Property("Boolean", &E::Boolean, &E::SetBoolean, false)
          .Enum("EntryType", kRegistryEntryTypeInfo, &E::EntryType, &E::SetEntryType, TRegistryEntryType::retText)
          .Property("Ident", &E::Ident, &E::SetIdent)
          .Property("Integer", &E::Integer, &E::SetInteger, 0)
          .Reference("PathSpecifier", "TCustomPathSpecifier", &E::PathSpecifier, &E::SetPathSpecifier)
          .Property("Text", &E::Text, &E::SetText)
          .Build();
  return info;
}

TRegistryEntry::TRegistryEntry(TCollection* collection) : TCollectionItem(collection) {}

bool TRegistryEntry::Linked() const { return owner_ != nullptr && !owner_->Loading(); }

void TRegistryEntry::SetBoolean(bool value) {
  boolean_ = value;
  if (Linked()) entry_type_ = TRegistryEntryType::retBoolean;
}

void TRegistryEntry::SetInteger(std::int32_t value) {
  integer_ = value;
  if (Linked()) entry_type_ = TRegistryEntryType::retInteger;
}

void TRegistryEntry::SetText(const std::string& text) {
  text_ = text;
  if (Linked()) entry_type_ = TRegistryEntryType::retText;
}

void TRegistryEntry::SetIdent(const std::string& ident) {
  // The registry's own interface ends a name at its first NUL: such a name
  // would be written as another one.
  if (ident.find('\0') != std::string::npos) {
    Raise<IERegistryEntry>(owner_ != nullptr ? owner_->Context() : nullptr, kRegistryIdentHoldsNul);
  }
  ident_ = ident;
}

void TRegistryEntry::SetPathSpecifier(TCustomPathSpecifier* specifier) {
  if (specifier != nullptr && Linked()) {
    specifier->Validate(owner_);
    text_ = "%p";
    entry_type_ = TRegistryEntryType::retText;
  }
  path_specifier_ = specifier;
  if (specifier != nullptr && owner_ != nullptr) owner_->FreeNotification(specifier);
}

std::string TRegistryEntry::GetResolvedText() const {
  if (path_specifier_ == nullptr) return text_;
  return ExpandPathVariable(text_, path_specifier_->GetPath(owner_));
}

RegistryValue TRegistryEntry::Value() const {
  switch (entry_type_) {
    case TRegistryEntryType::retInteger: return RegistryValue::Dword(static_cast<std::uint32_t>(integer_));
    case TRegistryEntryType::retBoolean: return RegistryValue::Dword(boolean_ ? 1 : 0);
    case TRegistryEntryType::retText: break;
  }
  return RegistryValue::String(GetResolvedText());
}

void TRegistryEntry::WriteEntry(TRootKeys root, const std::string& key) const {
  EngineContext* ctx = owner_ != nullptr ? owner_->Context() : nullptr;
  const std::string owner_name = owner_ != nullptr ? owner_->Name() : std::string();
  if (ctx == nullptr) Raise<IERegistryEntry>(ctx, kCannotCreateRegistryKey, {owner_name, key});
  Registry& registry = ctx->GetMachine().GetRegistry();
  const RegistryHive hive = HiveOf(root);
  if (!registry.CreateKey(hive, key)) Raise<IERegistryEntry>(ctx, kCannotCreateRegistryKey, {owner_name, key});
  if (!registry.SetValue(hive, key, ident_, Value())) Raise<ERegistryException>(ctx, kCannotSetRegistryData, {ident_});
}

void TRegistryEntry::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TRegistryEntry*>(&source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  boolean_ = other->boolean_;
  entry_type_ = other->entry_type_;
  ident_ = other->ident_;
  integer_ = other->integer_;
  text_ = other->text_;
  path_specifier_ = other->path_specifier_;
  if (path_specifier_ != nullptr && owner_ != nullptr) owner_->FreeNotification(path_specifier_);
}

// --- TRegistryEntries --------------------------------------------------------

const ClassInfo& TRegistryEntries::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TRegistryEntries>("TRegistryEntries", &TCollection::StaticClassInfo()).Build();
  return info;
}

namespace {

TCustomInstallRegistry* RequireRegistryOwner(TCustomInstallRegistry* owner) {
  if (owner == nullptr) Raise<IERegistryEntries>(nullptr, kRegistryEntriesNilOwner);
  return owner;
}

}  // namespace

// Entries are linked to their owner as soon as they exist, so an entry
// added while the installation runs resolves %p for its component too.
TRegistryEntries::TRegistryEntries(TCustomInstallRegistry* owner)
    : TCollection(TRegistryEntry::StaticClassInfo(),
                  [owner = RequireRegistryOwner(owner)](TCollection& collection) {
                    auto entry = std::make_unique<TRegistryEntry>(&collection);
                    entry->owner_ = owner;
                    return std::unique_ptr<TCollectionItem>(std::move(entry));
                  }),
      owner_(owner) {}

// --- TCustomInstallRegistry --------------------------------------------------

const ClassInfo& TCustomInstallRegistry::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TCustomInstallRegistry>("TCustomInstallRegistry", &TInstallObject::StaticClassInfo()).Build();
  return info;
}

const ClassInfo& TInstallRegistry::StaticClassInfo() {
  using R = TInstallRegistry;
  static const ClassInfo info =
      ClassBuilder<R>("TInstallRegistry", &TCustomInstallRegistry::StaticClassInfo())
          .Creatable()
          .Reference("Container", "TInstallContainer", &R::Container, &R::SetContainer)
          .Collection("Entries", static_cast<TRegistryEntries& (R::*)()>(&R::Entries))
          .Set("InstallTypes", kInstallTypeInfo, &R::InstallTypes, &R::SetInstallTypes,
               TInstallTypeSet{TInstallType::itAlways})
          .Property("Key", &R::Key, &R::SetKey, kDefaultRegistryKey)
          .Enum("KeySpecifierType", kKeySpecifierInfo, &R::KeySpecifierType, &R::SetKeySpecifierType,
                TKeySpecifier::ksAbsolute)
          .Enum("RootKey", kRootKeysInfo, &R::RootKey, &R::SetRootKey, TRootKeys::hkLocalMachine)
          .Build();
  return info;
}

TCustomInstallRegistry::TCustomInstallRegistry(TComponent* owner) : TInstallObject(owner), entries_(this) {
  SetProcessable(true);
  SetInclude(true);
}

TCustomInstallRegistry::~TCustomInstallRegistry() = default;

int TCustomInstallRegistry::ComponentType() const { return kTypeRegistry; }

void TCustomInstallRegistry::SetEntries(const TRegistryEntries& entries) { entries_.Assign(entries); }

void TCustomInstallRegistry::SetKey(const std::string& key) {
  key_ = key_specifier_ == TKeySpecifier::ksAbsolute ? key : std::string();
}

void TCustomInstallRegistry::SetKeySpecifierType(TKeySpecifier type) {
  if (!Loading() && type != TKeySpecifier::ksAbsolute) {
    if (Context() == nullptr || Context()->Driver() == nullptr) {
      Raise<IEInstallRegistry>(Context(), kNoInstallComponent);
    }
    key_.clear();
    root_key_ = TRootKeys::hkLocalMachine;
    WatchDriver();
  }
  key_specifier_ = type;
}

void TCustomInstallRegistry::WatchDriver() {
  TCustomInstall* driver = Context() != nullptr ? Context()->Driver() : nullptr;
  if (driver == nullptr || driver == watched_driver_) return;
  watched_driver_ = driver;
  FreeNotification(driver);
}

std::string TCustomInstallRegistry::GetKeyPath() const {
  if (key_specifier_ == TKeySpecifier::ksAbsolute) {
    std::string key = key_;
    if (!key.empty() && key.back() == '\\') key.pop_back();
    return key;
  }
  TCustomInstall* driver = Context() != nullptr ? Context()->Driver() : nullptr;
  if (driver == nullptr) Raise<IEInstallRegistry>(Context(), kNoInstallComponent);
  const TInstallInformation& info = driver->Information();
  std::string key = kSoftwareKey + info.CompanyName();
  if (key_specifier_ == TKeySpecifier::ksCompanyName) return key;
  key += "\\" + info.ProductName();
  if (key_specifier_ == TKeySpecifier::ksProductName) return key;
  return key + "\\" + info.Version();
}

void TCustomInstallRegistry::LogEntry(const char* action, const TRegistryEntry& entry,
                                      const std::string& key) const {
  if (Context() == nullptr || !Context()->Log().Enabled()) return;
  const RegistryValue value = entry.Value();
  std::string data = value.type == RegistryValueType::kDword
                         ? std::to_string(value.AsDword(entry.Ident()))
                         : QuoteForLog(value.data);
  std::string hive(HiveName(HiveOf(root_key_)));
  if (key.empty() || key.front() != '\\') hive += '\\';
  Context()->Log().Write("registry", std::string(action) + " " + hive + key + " " + QuoteForLog(entry.Ident()) +
                                         " " + RegistryTypeName(value.type) + " " + data);
}

void TCustomInstallRegistry::InstallObjects() {
  // By index: a handler may add entries as it goes.
  for (int i = 0; i < entries_.Count(); ++i) {
    TRegistryEntry& entry = entries_.Items(i);
    bool go_on = true;
    if (OnBeforeWriteEntry) OnBeforeWriteEntry(this, &entry, go_on);
    if (go_on) {
      const std::string key = GetKeyPath();
      entry.WriteEntry(root_key_, key);
      LogEntry("write", entry, key);
    } else {
      // A skipped value needs no key: a composed one without a driver is
      // no error here.
      const bool has_key = key_specifier_ == TKeySpecifier::ksAbsolute ||
                           (Context() != nullptr && Context()->Driver() != nullptr);
      LogEntry("vetoed", entry, has_key ? GetKeyPath() : std::string());
    }
  }
  TInstallObject::InstallObjects();
}

void TCustomInstallRegistry::WriteUninstallInfo(const std::string& key) {
  if (Context() == nullptr) return;
  const UninstallRecord record(*Context(), key);
  const std::string item = record.AppendKey(kRegistryKeysList, kRegistryKeyItem);
  const std::string key_path = GetKeyPath();
  record.WriteString(item, "Key", key_path);
  record.WriteDword(item, "Root", static_cast<std::uint32_t>(root_key_));
  for (int i = 0; i < entries_.Count(); ++i) {
    const TRegistryEntry& entry = entries_.Items(i);
    record.WriteString(item + "\\Entries", entry.Ident(), entry.GetResolvedText());
  }
  Context()->Log().Write("uninstall", item + " " + std::string(kRootKeysInfo.names[static_cast<int>(root_key_)]) +
                                          " " + QuoteForLog(key_path) + " " +
                                          std::to_string(entries_.Count()) + " values");
}

void TCustomInstallRegistry::Loaded() {
  TInstallObject::Loaded();
  for (int i = 0; i < entries_.Count(); ++i) entries_.Items(i).owner_ = this;
  WatchDriver();
}

void TCustomInstallRegistry::Notification(TComponent* component, Operation operation) {
  if (operation == Operation::kRemove && component != nullptr) {
    for (int i = 0; i < entries_.Count(); ++i) {
      TRegistryEntry& entry = entries_.Items(i);
      if (entry.path_specifier_ == component) entry.path_specifier_ = nullptr;
    }
    if (component == watched_driver_) {
      watched_driver_ = nullptr;
      key_specifier_ = TKeySpecifier::ksAbsolute;
    }
  }
  TInstallObject::Notification(component, operation);
}

}  // namespace brimwell
