// TCustomInstallINIFile / TInstallINIFile: the install component that writes
// a list of values into one INI file on the user's machine (a file of the
// Windows directory, or the product's own settings file), through the
// machine's profile-string service, and records the file and its values in
// the product's uninstall record. Each value is one TINIEntry (section,
// ident, value); a value may embed a path specifier's path as %p.
// OnBeforeWriteEntry may skip single values.
//
// An INI file is a text of lines, so a section, ident or value that holds a
// line break or NUL, a section holding "]" and an ident holding "=" or
// starting with "[" or ";" cannot be written so that they read back the
// same: they would change other keys of the file. The entries refuse them.
//
// TCustomInstallINIFile holds the behaviour, TInstallINIFile publishes the
// properties; registered type 4000, so it runs before the link groups,
// links and registry components of its container.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "engine/install_object.h"
#include "framework/collection.h"

namespace brimwell {

class TCustomInstallINIFile;
class TCustomPathSpecifier;

inline constexpr char kDefaultIniFileName[] = "myapp.ini";
inline constexpr char kDefaultIniSection[] = "NewSection";
inline constexpr char kDefaultIniIdent[] = "NewIdent";
inline constexpr char kIniEntriesNilOwner[] = "Cannot create a TINIEntries component with a Nil Owner";
inline constexpr char kIniDestDirBlank[] = "The DestDir property is blank for %s";
inline constexpr char kUnableToWriteIni[] = "Unable to write to %s";
inline constexpr char kUnableToCreateIniDirectory[] = "Unable to create directory %s";
inline constexpr char kIniTextHoldsLineBreak[] =
    "An INI file cannot hold line breaks or NUL characters in a section, key or value";
inline constexpr char kIniSectionHoldsBracket[] = "An INI section name cannot hold \"]\"";
inline constexpr char kIniIdentUnreadable[] =
    "An INI key name cannot be blank, hold \"=\" or begin with \"[\" or \";\"";
// The record of one run, below the product's uninstall key (HKLM), all
// strings:
//   INIFiles                              "Entries" = "<n>"
//   INIFiles\INIFile<n>                   "FilePath" = the INI file's path
//   INIFiles\INIFile<n>\Entries\<Section> "<Ident>" = resolved Value, for
//                                         every entry, vetoed ones too
inline constexpr char kIniFilesList[] = "INIFiles";
inline constexpr char kIniFileItem[] = "INIFile";

// Why `section`, `ident` or `value` cannot be written to an INI file so that
// it reads back the same; nullptr when it can.
const char* IniSectionProblem(std::string_view section);
const char* IniIdentProblem(std::string_view ident);
const char* IniValueProblem(std::string_view value);

// One value of an INI component.
class TINIEntry : public TCollectionItem {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TINIEntry(TCollection* collection);

  // The setters throw IEINIEntry for text an INI file cannot hold (see the
  // top of this header).
  const std::string& Ident() const { return ident_; }
  void SetIdent(const std::string& ident);
  const std::string& Section() const { return section_; }
  void SetSection(const std::string& section);
  const std::string& Value() const { return value_; }
  void SetValue(const std::string& value);
  TCustomPathSpecifier* PathSpecifier() const { return path_specifier_; }
  // Outside loading a specifier first validates the owning component (and
  // may throw), then Value becomes "%p". nullptr only clears the reference.
  void SetPathSpecifier(TCustomPathSpecifier* specifier);

  TCustomInstallINIFile* Owner() const { return owner_; }

  // Value with %p replaced by the specifier's path for the owner; Value
  // unchanged without a specifier.
  std::string GetResolvedValue() const;
  // Writes [Section] Ident = GetResolvedValue into the INI file `path` (a
  // Windows path), creating the file or section when missing. Throws
  // IEINIEntry when the resolved value cannot be held, IEInstallINIFile
  // kUnableToWriteIni (the path) when the write fails; the file keeps its
  // old content then.
  virtual void WriteToFile(const std::string& path) const;

  // Copies the four published values, without the setters' side effects.
  void Assign(const TPersistent& source) override;

 private:
  friend class TCustomInstallINIFile;
  friend class TINIEntries;
  bool Linked() const;
  [[noreturn]] void Refuse(const char* problem) const;

  TCustomInstallINIFile* owner_ = nullptr;
  std::string ident_ = kDefaultIniIdent;
  std::string section_ = kDefaultIniSection;
  std::string value_;
  TCustomPathSpecifier* path_specifier_ = nullptr;
};

class TINIEntries : public TCollection {
  BRIMWELL_CLASS_INFO()

 public:
  using ItemType = TINIEntry;  // the class of the items, for the format's reference
  // Throws IEINIEntries kIniEntriesNilOwner for a null owner.
  explicit TINIEntries(TCustomInstallINIFile* owner);

  TCustomInstallINIFile* Owner() const { return owner_; }
  TINIEntry& Items(int index) const { return static_cast<TINIEntry&>(TCollection::Items(index)); }
  // A new entry linked to the owner.
  TINIEntry& Add() { return static_cast<TINIEntry&>(TCollection::Add()); }
  // Add, then set the three texts (which may throw; the entry stays then).
  TINIEntry& AddEntry(const std::string& section, const std::string& ident, const std::string& value);

 private:
  TCustomInstallINIFile* owner_;
};

class TCustomInstallINIFile : public TInstallObject {
  BRIMWELL_CLASS_INFO()

 public:
  using TBeforeWriteEntry =
      std::function<void(TCustomInstallINIFile* install_ini_file, TINIEntry* entry, bool& Continue)>;

  explicit TCustomInstallINIFile(TComponent* owner);
  ~TCustomInstallINIFile() override;

  int ComponentType() const override;

  TINIEntries& Lines() { return lines_; }
  const TINIEntries& Lines() const { return lines_; }
  // Copies the items of `lines`.
  virtual void SetLines(const TINIEntries& lines);
  const std::string& FileName() const { return file_name_; }
  // Outside loading a name that is blank after trimming is ignored.
  virtual void SetFileName(const std::string& name);

  TBeforeWriteEntry OnBeforeWriteEntry;

  // GetDestPath + "\" + FileName.
  std::string FilePath();
  // Creates the destination directory and writes every entry (each after
  // OnBeforeWriteEntry), then processes this component's own helpers.
  // Throws IEInstallINIFile kIniDestDirBlank for a blank destination,
  // IEInstallINIFile kUnableToCreateIniDirectory, and the entries' errors.
  void InstallObjects() override;
  // Adds an INIFile record below `key` + "\INIFiles": the file path and
  // every entry's section, ident and resolved value.
  void WriteUninstallInfo(const std::string& key) override;
  // Replaces Lines with every value of the INI file `file` (a Windows
  // path), sections and keys in file order.
  virtual void LoadFromINIFile(const std::string& file);
  void Loaded() override;

 protected:
  void Notification(TComponent* component, Operation operation) override;

 private:
  void LogEntry(const char* action, const TINIEntry& entry, const std::string& path) const;

  TINIEntries lines_;
  std::string file_name_ = kDefaultIniFileName;
};

class TInstallINIFile : public TCustomInstallINIFile {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TInstallINIFile(TComponent* owner) : TCustomInstallINIFile(owner) {}
};

}  // namespace brimwell
