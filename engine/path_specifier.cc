#include "engine/path_specifier.h"

#include "engine/engine_context.h"
#include "engine/project_form.h"

namespace brimwell {

const ClassInfo& TCustomPathSpecifier::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TCustomPathSpecifier>("TCustomPathSpecifier", &TComponent::StaticClassInfo()).Build();
  return info;
}

const ClassInfo& TPathSpecifier::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TPathSpecifier>("TPathSpecifier", &TCustomPathSpecifier::StaticClassInfo())
          .Creatable()
          .Property("Description", &TPathSpecifier::Description, &TPathSpecifier::SetDescription,
                    kDefaultDescription)
          .Build();
  return info;
}

const ClassInfo& TStandardPathSpecifier::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TStandardPathSpecifier>(
                                    "TStandardPathSpecifier", &TCustomPathSpecifier::StaticClassInfo())
                                    .Build();
  return info;
}

TCustomPathSpecifier::TCustomPathSpecifier(TComponent* owner)
    : TComponent(owner), ctx_(ContextOf(owner)) {
  if (ctx_ != nullptr) ctx_->PathSpecifiers().Add(this);
}

TCustomPathSpecifier::~TCustomPathSpecifier() {
  if (ctx_ != nullptr) ctx_->PathSpecifiers().Remove(this);
}

void TCustomPathSpecifier::Validate(TComponent* /*component*/) {}

std::string TCustomPathSpecifier::GetDescription() { return "Unspecified"; }

std::string TCustomPathSpecifier::GetDescriptionFor(TComponent* /*component*/) { return GetDescription(); }

std::string TCustomPathSpecifier::GetPath(TComponent* component) {
  std::string path;
  if (OnGetPath) OnGetPath(component, path);
  return path;
}

TStandardPathSpecifier::TStandardPathSpecifier(TComponent* owner, const char* standard_name)
    : TCustomPathSpecifier(owner) {
  standard_name_ = standard_name;
  SetName(standard_name);
  if (Context() != nullptr) Context()->StandardPathSpecifiers().Add(this);
}

TStandardPathSpecifier::~TStandardPathSpecifier() {
  if (Context() != nullptr) Context()->StandardPathSpecifiers().Remove(this);
}

TStandardPathSpecifier* FindStandardSpecifier(EngineContext* ctx, const ClassInfo& info) {
  if (ctx != nullptr) {
    for (TStandardPathSpecifier* s : ctx->StandardPathSpecifiers()) {
      if (&s->ClassType() == &info) return s;
    }
  }
  Raise<IEPathSpecifier>(ctx, kCouldNotFindPathSpecifier);
}

}  // namespace brimwell
