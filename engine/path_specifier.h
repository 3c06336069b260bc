// Path specifiers: small components that turn a base directory (the program
// files directory, the directory of a component's container, the Windows
// system directory, ...) into an absolute path on the user's machine at
// install time. An install component names one in DestDirType (or
// ArchiveFileType) and its DestDir (or ArchiveFile) is appended.
//
// TCustomPathSpecifier is the base; TPathSpecifier is a project's own
// specifier whose path comes from its OnGetPath handler; the standard
// specifiers (standard_path_specifiers.h) derive from TStandardPathSpecifier.
#pragma once

#include <functional>
#include <string>

#include "framework/component.h"

namespace brimwell {

class EngineContext;

class TCustomPathSpecifier : public TComponent {
  BRIMWELL_CLASS_INFO()

 public:
  // Component is the one whose path is asked for; the handler may set Path.
  using TGetPathEvent = std::function<void(TComponent* component, std::string& path)>;

  explicit TCustomPathSpecifier(TComponent* owner);
  ~TCustomPathSpecifier() override;

  // Throws (IEPathSpecifier) when this specifier cannot serve `component`.
  // The base accepts everything.
  virtual void Validate(TComponent* component);
  // The text that describes the specifier; the base says "Unspecified".
  virtual std::string GetDescription();
  // The description as it applies to `component`; the base: GetDescription.
  virtual std::string GetDescriptionFor(TComponent* component);
  // The base path for `component`; the base asks OnGetPath (empty without
  // a handler). Standard specifiers compute it and drop a trailing
  // backslash.
  virtual std::string GetPath(TComponent* component);

  // The standard name ("psProgramFiles"); empty for other specifiers.
  const std::string& StandardName() const { return standard_name_; }
  // nullptr when the specifier is not on a ProjectForm.
  EngineContext* Context() const { return ctx_; }

  TGetPathEvent OnGetPath;

 protected:
  std::string standard_name_;

 private:
  EngineContext* ctx_;
};

// A project's own specifier.
class TPathSpecifier : public TCustomPathSpecifier {
  BRIMWELL_CLASS_INFO()

 public:
  static constexpr char kDefaultDescription[] = "My cool new path specifier";

  explicit TPathSpecifier(TComponent* owner) : TCustomPathSpecifier(owner) {}
  std::string GetDescription() override { return description_; }
  const std::string& Description() const { return description_; }
  void SetDescription(const std::string& text) { description_ = text; }

 private:
  std::string description_ = kDefaultDescription;
};

// Base of the fourteen standard specifiers. Each one is named after its
// standard name on its owner and is made by the install components
// themselves, so a project never stores it (it may list it to set its
// properties).
class TStandardPathSpecifier : public TCustomPathSpecifier {
  BRIMWELL_CLASS_INFO()

 public:
  TStandardPathSpecifier(TComponent* owner, const char* standard_name);
  ~TStandardPathSpecifier() override;
  bool StoredInProject() const override { return false; }
};

inline constexpr char kCouldNotFindPathSpecifier[] = "Could not find the path specifier";

// The first standard specifier of class `info` in the context's list.
// Throws IEPathSpecifier kCouldNotFindPathSpecifier when there is none.
TStandardPathSpecifier* FindStandardSpecifier(EngineContext* ctx, const ClassInfo& info);
template <class T>
T* StandardSpecifier(EngineContext* ctx) {
  return static_cast<T*>(FindStandardSpecifier(ctx, T::StaticClassInfo()));
}

}  // namespace brimwell
