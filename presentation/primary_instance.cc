#include "presentation/primary_instance.h"

#include <map>
#include <memory>
#include <string>

#include "engine/engine_context.h"
#include "presentation/control.h"

namespace brimwell {
namespace {

// The primaries of one run, kept with the engine context.
struct Primaries {
  std::map<std::string, TControl*> by_class;  // not owned
};

TControl* Primary(EngineContext& ctx, const std::string& class_name) {
  const Primaries* p = ctx.FindExtension<Primaries>();
  if (p == nullptr) return nullptr;
  auto it = p->by_class.find(class_name);
  return it == p->by_class.end() ? nullptr : it->second;
}

void SetPrimary(EngineContext& ctx, const std::string& class_name, TControl* control) {
  Primaries* p = ctx.FindExtension<Primaries>();
  if (p == nullptr) p = &ctx.AttachExtension(std::make_unique<Primaries>());
  if (control == nullptr) {
    p->by_class.erase(class_name);
  } else {
    p->by_class[class_name] = control;
  }
}

}  // namespace

void WritePrimaryTag(TControl& control, std::int32_t tag) {
  EngineContext* ctx = control.Context();
  if (ctx != nullptr) {
    TControl* primary = Primary(*ctx, control.ClassName());
    if (tag == kPrimaryTag) {
      if (primary != &control) {
        if (primary != nullptr) primary->TControl::SetTag(0);
        SetPrimary(*ctx, control.ClassName(), &control);
      }
    } else if (primary == &control) {
      SetPrimary(*ctx, control.ClassName(), nullptr);
    }
  }
  control.TControl::SetTag(tag);
}

void ClaimPrimaryInDesigner(TControl& control, bool designing) {
  EngineContext* ctx = control.Context();
  if (!designing || ctx == nullptr || Primary(*ctx, control.ClassName()) != nullptr) return;
  WritePrimaryTag(control, kPrimaryTag);
}

void ReleasePrimary(TControl& control) {
  EngineContext* ctx = control.Context();
  if (ctx != nullptr && Primary(*ctx, control.ClassName()) == &control) SetPrimary(*ctx, control.ClassName(), nullptr);
}

TControl* PrimaryOf(const TControl& control) {
  EngineContext* ctx = control.Context();
  return ctx == nullptr ? nullptr : Primary(*ctx, control.ClassName());
}

}  // namespace brimwell
