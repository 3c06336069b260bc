#include "system/install_ini_file.h"

#include "engine/api_routines.h"
#include "engine/component_calls.h"
#include "engine/engine_context.h"
#include "engine/meta_variables.h"
#include "engine/path_specifier.h"
#include "engine/uninstall_record.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/profile_strings.h"
#include "system/system_errors.h"
#include "system/system_log.h"

namespace brimwell {
namespace {

bool HoldsLineBreak(std::string_view text) { return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos; }

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

const char* IniSectionProblem(std::string_view section) {
  if (HoldsLineBreak(section)) return kIniTextHoldsLineBreak;
  if (section.find(']') != std::string_view::npos) return kIniSectionHoldsBracket;
  return nullptr;
}

const char* IniIdentProblem(std::string_view ident) {
  if (HoldsLineBreak(ident)) return kIniTextHoldsLineBreak;
  std::string_view name = Trimmed(ident);
  if (name.empty() || name.find('=') != std::string_view::npos || name.front() == '[' || name.front() == ';') {
    return kIniIdentUnreadable;
  }
  return nullptr;
}

const char* IniValueProblem(std::string_view value) { return HoldsLineBreak(value) ? kIniTextHoldsLineBreak : nullptr; }

// --- TINIEntry ---------------------------------------------------------------

const ClassInfo& TINIEntry::StaticClassInfo() {
  using E = TINIEntry;
  static const ClassInfo info = ClassBuilder<E>("TINIEntry", nullptr)
                                    .Property("Ident", &E::Ident, &E::SetIdent, kDefaultIniIdent)
                                    .Reference("PathSpecifier", "TCustomPathSpecifier", &E::PathSpecifier,
                                               &E::SetPathSpecifier)
                                    .Property("Section", &E::Section, &E::SetSection, kDefaultIniSection)
                                    .Property("Value", &E::Value, &E::SetValue)
                                    .Build();
  return info;
}

TINIEntry::TINIEntry(TCollection* collection) : TCollectionItem(collection) {}

bool TINIEntry::Linked() const { return owner_ != nullptr && !owner_->Loading(); }

void TINIEntry::Refuse(const char* problem) const {
  Raise<IEINIEntry>(owner_ != nullptr ? owner_->Context() : nullptr, problem);
}

void TINIEntry::SetIdent(const std::string& ident) {
  if (const char* problem = IniIdentProblem(ident)) Refuse(problem);
  ident_ = ident;
}

void TINIEntry::SetSection(const std::string& section) {
  if (const char* problem = IniSectionProblem(section)) Refuse(problem);
  section_ = section;
}

void TINIEntry::SetValue(const std::string& value) {
  if (const char* problem = IniValueProblem(value)) Refuse(problem);
  value_ = value;
}

void TINIEntry::SetPathSpecifier(TCustomPathSpecifier* specifier) {
  if (specifier != nullptr && Linked()) {
    specifier->Validate(owner_);
    value_ = "%p";
  }
  path_specifier_ = specifier;
  if (specifier != nullptr && owner_ != nullptr) owner_->FreeNotification(specifier);
}

std::string TINIEntry::GetResolvedValue() const {
  if (path_specifier_ == nullptr) return value_;
  return ExpandPathVariable(value_, path_specifier_->GetPath(owner_));
}

void TINIEntry::WriteToFile(const std::string& path) const {
  EngineContext* ctx = owner_ != nullptr ? owner_->Context() : nullptr;
  const std::string value = GetResolvedValue();
  // A specifier's path is checked only now: it may hold anything.
  if (const char* problem = IniValueProblem(value)) Refuse(problem);
  if (ctx == nullptr) Raise<IEInstallINIFile>(ctx, kUnableToWriteIni, {path});
  if (!ctx->GetMachine().GetProfileStrings().WriteString(path, section_, ident_, value)) {
    Raise<IEInstallINIFile>(ctx, kUnableToWriteIni, {path});
  }
}

void TINIEntry::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TINIEntry*>(&source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  ident_ = other->ident_;
  section_ = other->section_;
  value_ = other->value_;
  path_specifier_ = other->path_specifier_;
  if (path_specifier_ != nullptr && owner_ != nullptr) owner_->FreeNotification(path_specifier_);
}

// --- TINIEntries -------------------------------------------------------------

const ClassInfo& TINIEntries::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TINIEntries>("TINIEntries", &TCollection::StaticClassInfo()).Build();
  return info;
}

namespace {

TCustomInstallINIFile* RequireIniOwner(TCustomInstallINIFile* owner) {
  if (owner == nullptr) Raise<IEINIEntries>(nullptr, kIniEntriesNilOwner);
  return owner;
}

}  // namespace

TINIEntries::TINIEntries(TCustomInstallINIFile* owner)
    : TCollection(TINIEntry::StaticClassInfo(),
                  [owner = RequireIniOwner(owner)](TCollection& collection) {
                    auto entry = std::make_unique<TINIEntry>(&collection);
                    entry->owner_ = owner;
                    return std::unique_ptr<TCollectionItem>(std::move(entry));
                  }),
      owner_(owner) {}

TINIEntry& TINIEntries::AddEntry(const std::string& section, const std::string& ident, const std::string& value) {
  TINIEntry& entry = Add();
  entry.SetSection(section);
  entry.SetIdent(ident);
  entry.SetValue(value);
  return entry;
}

// --- TCustomInstallINIFile ---------------------------------------------------

const ClassInfo& TCustomInstallINIFile::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TCustomInstallINIFile>("TCustomInstallINIFile", &TInstallObject::StaticClassInfo()).Build();
  return info;
}

const ClassInfo& TInstallINIFile::StaticClassInfo() {
  using I = TInstallINIFile;
  static const ClassInfo info =
      ClassBuilder<I>("TInstallINIFile", &TCustomInstallINIFile::StaticClassInfo())
          .Creatable()
          .Reference("Container", "TInstallContainer", &I::Container, &I::SetContainer)
          .Property("DestDir", &I::DestDir, &I::SetDestDir)
          .Reference("DestDirType", "TCustomPathSpecifier", &I::DestDirType, &I::SetDestDirType)
          .Property("FileName", &I::FileName, &I::SetFileName, kDefaultIniFileName)
          .Property("Include", &I::Include, &I::SetInclude, true)
          .Set("InstallTypes", kInstallTypeInfo, &I::InstallTypes, &I::SetInstallTypes,
               TInstallTypeSet{TInstallType::itAlways})
          .Collection("Lines", static_cast<TINIEntries& (I::*)()>(&I::Lines))
          .Build();
  return info;
}

TCustomInstallINIFile::TCustomInstallINIFile(TComponent* owner) : TInstallObject(owner), lines_(this) {
  SetProcessable(true);
  SetInclude(true);
}

TCustomInstallINIFile::~TCustomInstallINIFile() = default;

int TCustomInstallINIFile::ComponentType() const { return kTypeIniFile; }

void TCustomInstallINIFile::SetLines(const TINIEntries& lines) { lines_.Assign(lines); }

void TCustomInstallINIFile::SetFileName(const std::string& name) {
  if (!Loading() && Trimmed(name).empty()) return;
  file_name_ = name;
}

std::string TCustomInstallINIFile::FilePath() { return GetDestPath() + "\\" + file_name_; }

void TCustomInstallINIFile::LogEntry(const char* action, const TINIEntry& entry, const std::string& path) const {
  if (Context() == nullptr || !Context()->Log().Enabled()) return;
  Context()->Log().Write("ini", std::string(action) + " " + path + " [" + entry.Section() + "] " +
                                    QuoteForLog(entry.Ident()) + " " + QuoteForLog(entry.GetResolvedValue()));
}

void TCustomInstallINIFile::InstallObjects() {
  const std::string dir = GetDestPath();
  if (Trimmed(dir).empty()) Raise<IEInstallINIFile>(Context(), kIniDestDirBlank, {DisplayName()});
  if (Context() == nullptr || !Context()->GetMachine().GetFileSystem().ForceDirectories(dir)) {
    Raise<IEInstallINIFile>(Context(), kUnableToCreateIniDirectory, {dir});
  }
  const std::string path = dir + "\\" + file_name_;
  // By index: a handler may add entries as it goes.
  for (int i = 0; i < lines_.Count(); ++i) {
    TINIEntry& entry = lines_.Items(i);
    bool go_on = true;
    if (OnBeforeWriteEntry) OnBeforeWriteEntry(this, &entry, go_on);
    if (go_on) {
      entry.WriteToFile(path);
      LogEntry("write", entry, path);
    } else {
      LogEntry("vetoed", entry, path);
    }
  }
  TInstallObject::InstallObjects();
}

void TCustomInstallINIFile::WriteUninstallInfo(const std::string& key) {
  if (Context() == nullptr) return;
  const UninstallRecord record(*Context(), key);
  const std::string item = record.AppendKey(kIniFilesList, kIniFileItem);
  const std::string path = FilePath();
  record.WriteString(item, "FilePath", path);
  for (int i = 0; i < lines_.Count(); ++i) {
    const TINIEntry& entry = lines_.Items(i);
    record.WriteString(item + "\\Entries\\" + entry.Section(), entry.Ident(), entry.GetResolvedValue());
  }
  Context()->Log().Write("uninstall",
                         item + " " + QuoteForLog(path) + " " + std::to_string(lines_.Count()) + " values");
}

void TCustomInstallINIFile::LoadFromINIFile(const std::string& file) {
  if (Context() == nullptr) return;
  ProfileStrings& profile = Context()->GetMachine().GetProfileStrings();
  // Everything is read before Lines changes, so a refused value leaves
  // Lines as it was.
  TINIEntries fresh(this);
  for (const std::string& section : profile.SectionNames(file)) {
    for (const std::string& ident : profile.KeyNames(file, section)) {
      fresh.AddEntry(section, ident, profile.GetString(file, section, ident, ""));
    }
  }
  lines_.Assign(fresh);
}

void TCustomInstallINIFile::Loaded() {
  TInstallObject::Loaded();
  for (int i = 0; i < lines_.Count(); ++i) lines_.Items(i).owner_ = this;
}

void TCustomInstallINIFile::Notification(TComponent* component, Operation operation) {
  if (operation == Operation::kRemove && component != nullptr) {
    for (int i = 0; i < lines_.Count(); ++i) {
      TINIEntry& entry = lines_.Items(i);
      if (entry.path_specifier_ == component) entry.path_specifier_ = nullptr;
    }
  }
  TInstallObject::Notification(component, operation);
}

}  // namespace brimwell
