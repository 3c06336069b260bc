#include "tests/framework/test_classes.h"

#include "framework/class_registry.h"
#include "framework/exception.h"

namespace brimwell::testing {

const ClassInfo& TInfo::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TInfo>("TInfo", nullptr)
                                    .Property("Company", &TInfo::Company, &TInfo::SetCompany)
                                    .Property("Revision", &TInfo::Revision, &TInfo::SetRevision, 1)
                                    .Build();
  return info;
}

const ClassInfo& TLine::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TLine>("TLine", nullptr)
                                    .Property("Key", &TLine::Key, &TLine::SetKey)
                                    .Property("Enabled", &TLine::Enabled, &TLine::SetEnabled, true)
                                    .Build();
  return info;
}

const ClassInfo& TTarget::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TTarget>("TTarget", &TComponent::StaticClassInfo()).Creatable().Build();
  return info;
}

const ClassInfo& TSpecialTarget::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TSpecialTarget>("TSpecialTarget", &TTarget::StaticClassInfo()).Creatable().Build();
  return info;
}

const ClassInfo& TAutoMade::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TAutoMade>("TAutoMade", &TTarget::StaticClassInfo()).Creatable().Build();
  return info;
}

const ClassInfo& TRoot::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TRoot>("TRoot", &TComponent::StaticClassInfo()).Build();
  return info;
}

TWidget::TWidget(TComponent* owner)
    : TComponent(owner),
      entries_(TLine::StaticClassInfo(), [](TCollection& c) { return std::make_unique<TLine>(&c); }) {}

const ClassInfo& TWidget::StaticClassInfo() {
  using W = TWidget;
  static const ClassInfo info =
      ClassBuilder<W>("TWidget", &TComponent::StaticClassInfo())
          .Creatable()
          .Property("Visible", &W::Visible, &W::SetVisible, true)
          .Property("Order", &W::Order, &W::SetOrder, -1)
          .Property("Size", &W::Size, &W::SetSize, 0u)
          .Property("Caption", &W::Caption, &W::SetCaption, "Widget")
          .Enum("Mode", kColourModeInfo, &W::Mode, &W::SetMode, TColourMode::cmPlain)
          .Set("Modes", kColourModeInfo, &W::Modes, &W::SetModes, TColourModes{TColourMode::cmFancy})
          .Property("Lines", &W::Lines, &W::SetLines)
          .Colour("Colour", &W::Colour, &W::SetColour, 0xFF0000)
          .Reference("Target", "TTarget", &W::Target, &W::SetTarget)
          .Object("Info", &W::Info)
          .Collection("Entries", &W::Entries)
          .Picture("Image", &W::Image)
          .Build();
  return info;
}

void TWidget::SetOrder(std::int32_t v) {
  if (!Loading() && v < -1) throw EPropertyError("Order must be -1 or more");
  order_ = v;
}

void TWidget::SetTarget(TTarget* t) {
  if (target_ != nullptr) RemoveFreeNotification(target_);
  target_ = t;
  if (target_ != nullptr) FreeNotification(target_);
}

void TWidget::Loaded() {
  TComponent::Loaded();
  ++loaded_calls;
  order_at_loaded = order_;
}

void TWidget::Notification(TComponent* component, Operation operation) {
  if (operation == Operation::kRemove && component == target_) target_ = nullptr;
  TComponent::Notification(component, operation);
}

TMaker::TMaker(TComponent* owner) : TComponent(owner) {
  if (owner != nullptr && owner->FindComponent("AutoOne") == nullptr) {
    Create<TAutoMade>(owner)->SetName("AutoOne");
  }
  if (owner != nullptr) SetMade(dynamic_cast<TTarget*>(owner->FindComponent("AutoOne")));
  made_assigned = false;
}

void TMaker::SetMade(TTarget* t) {
  made_assigned = true;
  if (made_ != nullptr) RemoveFreeNotification(made_);
  made_ = t;
  if (made_ != nullptr) FreeNotification(made_);
}

void TMaker::Notification(TComponent* component, Operation operation) {
  if (operation == Operation::kRemove && component == made_) made_ = nullptr;
  TComponent::Notification(component, operation);
}

const ClassInfo& TMaker::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TMaker>("TMaker", &TComponent::StaticClassInfo())
                                    .Creatable()
                                    .Reference("Made", "TTarget", &TMaker::Made, &TMaker::SetMade)
                                    .Build();
  return info;
}

void RegisterTestClasses(ClassRegistry& registry) {
  registry.Register<TTarget>();
  registry.Register<TSpecialTarget>();
  registry.Register<TAutoMade>();
  registry.Register<TWidget>();
  registry.Register<TMaker>();
}

}  // namespace brimwell::testing
