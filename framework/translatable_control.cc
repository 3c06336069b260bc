#include "framework/translatable_control.h"

#include <algorithm>

namespace brimwell {

const ClassInfo& PlainControl::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<PlainControl>("PlainControl", &TComponent::StaticClassInfo())
                                    .Property("Caption", &PlainControl::Caption, &PlainControl::SetCaption)
                                    .Object("Font", &PlainControl::Font)
                                    .Property("Visible", &PlainControl::Visible, &PlainControl::SetVisible, true)
                                    .Build();
  return info;
}

PlainControl::PlainControl(TComponent* owner, ControlRole role, bool windowed)
    : TComponent(owner), role_(role), windowed_(windowed) {}

PlainControl::~PlainControl() {
  SetParent(nullptr);
  for (PlainControl* child : children_) child->parent_ = nullptr;
}

void PlainControl::SetParent(PlainControl* parent) {
  if (parent_ != nullptr) std::erase(parent_->children_, this);
  parent_ = parent;
  if (parent_ != nullptr) parent_->children_.push_back(this);
}

std::vector<TranslatableControl*> PlainControl::ChildControls() const {
  return std::vector<TranslatableControl*>(children_.begin(), children_.end());
}

}  // namespace brimwell
