// TCustomInstallRegistry / TInstallRegistry: the install component that
// writes a list of values into one key of the user's registry, and records
// the key, its hive and the value names in the product's uninstall record.
// The key is given absolutely (Key) or composed from the driver's product
// information (KeySpecifierType). Each value is one TRegistryEntry: text
// (which may embed a path specifier's path as %p), a DWORD or a Boolean
// written as the DWORD 1 or 0. OnBeforeWriteEntry may skip single values.
//
// TCustomInstallRegistry holds the behaviour, TInstallRegistry publishes
// the properties; registered type 8500, so it runs after the INI files,
// link groups and links of its container.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/install_object.h"
#include "framework/collection.h"
#include "platform/registry.h"

namespace brimwell {

class TCustomInstallRegistry;
class TCustomPathSpecifier;

enum class TRootKeys { hkClassesRoot, hkCurrentConfig, hkCurrentUser, hkDynData, hkLocalMachine, hkUsers };
inline const EnumInfo kRootKeysInfo{
    "TRootKeys",
    {"hkClassesRoot", "hkCurrentConfig", "hkCurrentUser", "hkDynData", "hkLocalMachine", "hkUsers"}};
// The platform's hive for a root (the record stores the ordinal, not this).
RegistryHive HiveOf(TRootKeys root);

enum class TRegistryEntryType { retText, retInteger, retBoolean };
inline const EnumInfo kRegistryEntryTypeInfo{"TRegistryEntryType", {"retText", "retInteger", "retBoolean"}};

enum class TKeySpecifier { ksAbsolute, ksCompanyName, ksProductName, ksVersion };
inline const EnumInfo kKeySpecifierInfo{"TKeySpecifier",
                                        {"ksAbsolute", "ksCompanyName", "ksProductName", "ksVersion"}};

inline constexpr char kDefaultRegistryKey[] = "\\SOFTWARE\\MyStuff";
inline constexpr char kSoftwareKey[] = "\\SOFTWARE\\";
inline constexpr char kNoInstallComponent[] = "There is no TInstall component in your project";
inline constexpr char kCannotCreateRegistryKey[] = "%s cannot create the key %s in the registry";
inline constexpr char kRegistryEntriesNilOwner[] = "Cannot create a TRegistryEntries component with a Nil Owner";
inline constexpr char kCannotSetRegistryData[] = "Failed to set data for '%s'";
inline constexpr char kRegistryIdentHoldsNul[] = "A registry value name cannot hold a NUL character";
// The record of one run, below the product's uninstall key (HKLM):
//   RegistryKeys                          "Entries" = "<n>" (REG_SZ)
//   RegistryKeys\RegistryKey<n>           "Key" = GetKeyPath (REG_SZ),
//                                         "Root" = TRootKeys ordinal (REG_DWORD)
//   RegistryKeys\RegistryKey<n>\Entries   "<Ident>" = resolved Text (REG_SZ),
//                                         for every entry, vetoed ones too
inline constexpr char kRegistryKeysList[] = "RegistryKeys";
inline constexpr char kRegistryKeyItem[] = "RegistryKey";

// One value of a registry component.
class TRegistryEntry : public TCollectionItem {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TRegistryEntry(TCollection* collection);

  bool Boolean() const { return boolean_; }
  // Outside loading also makes EntryType retBoolean; likewise for Integer
  // (retInteger) and Text (retText).
  void SetBoolean(bool value);
  TRegistryEntryType EntryType() const { return entry_type_; }
  void SetEntryType(TRegistryEntryType type) { entry_type_ = type; }
  const std::string& Ident() const { return ident_; }
  // Throws IERegistryEntry for a name holding NUL, which no registry
  // value name can.
  void SetIdent(const std::string& ident);
  std::int32_t Integer() const { return integer_; }
  void SetInteger(std::int32_t value);
  const std::string& Text() const { return text_; }
  void SetText(const std::string& text);
  TCustomPathSpecifier* PathSpecifier() const { return path_specifier_; }
  // Outside loading a specifier first validates the owning component (and
  // may throw), then Text becomes "%p" and EntryType retText. nullptr only
  // clears the reference.
  void SetPathSpecifier(TCustomPathSpecifier* specifier);

  // The owning component (set when the entry is added).
  TCustomInstallRegistry* Owner() const { return owner_; }

  // Text with %p replaced by the specifier's path for the owner; Text
  // unchanged without a specifier.
  std::string GetResolvedText() const;
  // The value this entry writes.
  RegistryValue Value() const;
  // Writes the value into `key` of `root`, creating the key. Throws
  // IERegistryEntry kCannotCreateRegistryKey when the key cannot be made,
  // ERegistryException kCannotSetRegistryData when the value is refused.
  void WriteEntry(TRootKeys root, const std::string& key) const;

  // Copies the six published values, without the setters' side effects.
  void Assign(const TPersistent& source) override;

 private:
  friend class TCustomInstallRegistry;
  friend class TRegistryEntries;
  bool Linked() const;

  TCustomInstallRegistry* owner_ = nullptr;
  bool boolean_ = false;
  TRegistryEntryType entry_type_ = TRegistryEntryType::retText;
  std::string ident_;
  std::int32_t integer_ = 0;
  std::string text_;
  TCustomPathSpecifier* path_specifier_ = nullptr;
};

class TRegistryEntries : public TCollection {
  BRIMWELL_CLASS_INFO()

 public:
  using ItemType = TRegistryEntry;  // the class of the items, for the format's reference
  // Throws IERegistryEntries kRegistryEntriesNilOwner for a null owner.
  explicit TRegistryEntries(TCustomInstallRegistry* owner);

  TCustomInstallRegistry* Owner() const { return owner_; }
  TRegistryEntry& Items(int index) const { return static_cast<TRegistryEntry&>(TCollection::Items(index)); }
  TRegistryEntry& Add() { return static_cast<TRegistryEntry&>(TCollection::Add()); }

 private:
  TCustomInstallRegistry* owner_;
};

class TCustomInstallRegistry : public TInstallObject {
  BRIMWELL_CLASS_INFO()

 public:
  // Asked before each value is written; clearing Continue skips it.
  using TBeforeWriteEntry =
      std::function<void(TCustomInstallRegistry* install_registry, TRegistryEntry* entry, bool& Continue)>;

  explicit TCustomInstallRegistry(TComponent* owner);
  ~TCustomInstallRegistry() override;

  int ComponentType() const override;

  TRegistryEntries& Entries() { return entries_; }
  const TRegistryEntries& Entries() const { return entries_; }
  // Copies the items of `entries`.
  virtual void SetEntries(const TRegistryEntries& entries);
  const std::string& Key() const { return key_; }
  // Under a composed KeySpecifierType the key is not configurable: an empty
  // key is stored instead.
  virtual void SetKey(const std::string& key);
  TKeySpecifier KeySpecifierType() const { return key_specifier_; }
  // Outside loading a composed form needs an install driver (else
  // IEInstallRegistry kNoInstallComponent) and clears Key and RootKey.
  virtual void SetKeySpecifierType(TKeySpecifier type);
  TRootKeys RootKey() const { return root_key_; }
  void SetRootKey(TRootKeys root) { root_key_ = root; }

  TBeforeWriteEntry OnBeforeWriteEntry;

  // The key under RootKey that receives the values: Key without one
  // trailing backslash, or "\SOFTWARE\" + the driver's CompanyName
  // (+ "\" + ProductName (+ "\" + Version)). A composed form without a
  // driver throws IEInstallRegistry kNoInstallComponent.
  virtual std::string GetKeyPath() const;
  // Writes every entry (each after OnBeforeWriteEntry), then processes this
  // component's own helpers.
  void InstallObjects() override;
  // Adds a RegistryKey record below `key` + "\RegistryKeys": the key, the
  // root's ordinal and every entry's name with its resolved text.
  void WriteUninstallInfo(const std::string& key) override;
  void Loaded() override;

 protected:
  void Notification(TComponent* component, Operation operation) override;

 private:
  // Remembers the driver so that its removal can be noticed.
  void WatchDriver();
  void LogEntry(const char* action, const TRegistryEntry& entry, const std::string& key) const;

  TRegistryEntries entries_;
  std::string key_ = kDefaultRegistryKey;
  TKeySpecifier key_specifier_ = TKeySpecifier::ksAbsolute;
  TRootKeys root_key_ = TRootKeys::hkLocalMachine;
  TComponent* watched_driver_ = nullptr;
};

class TInstallRegistry : public TCustomInstallRegistry {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TInstallRegistry(TComponent* owner) : TCustomInstallRegistry(owner) {}
};

}  // namespace brimwell
