#include "presentation/control.h"

#include <algorithm>

#include "engine/project_form.h"
#include "framework/format.h"

namespace brimwell {

const EnumInfo kAlignmentInfo{"TAlignment", {"taLeftJustify", "taRightJustify", "taCenter"}};
const EnumInfo kAlignInfo{"TAlign", {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"}};

const ClassInfo& TControl::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TControl>("TControl", &TComponent::StaticClassInfo())
          .Reference("Parent", "TWinControl", &TControl::Parent, &TControl::SetParent)
          .Property("Left", &TControl::Left, &TControl::SetLeft, 0)
          .Property("Top", &TControl::Top, &TControl::SetTop, 0)
          .Property("Width", &TControl::Width, &TControl::SetWidth, 0)
          .Property("Height", &TControl::Height, &TControl::SetHeight, 0)
          .Enum("Align", kAlignInfo, &TControl::Align, &TControl::SetAlign, TAlign::alNone)
          .Property("Enabled", &TControl::Enabled, &TControl::SetEnabled, true)
          .Property("Hint", &TControl::Hint, &TControl::SetHint)
          .Property("ShowHint", &TControl::ShowHint, &TControl::SetShowHint, false)
          .Property("ParentShowHint", &TControl::ParentShowHint, &TControl::SetParentShowHint, true)
          .Property("Tag", &TControl::Tag, &TControl::SetTag, 0)
          .Property("Visible", &TControl::Visible, &TControl::SetVisible, true)
          .Build();
  return info;
}

TControl::TControl(TComponent* owner) : TComponent(owner), ctx_(ContextOf(owner)) {
  font_.OnChange = [this] {
    parent_font_ = false;
    Invalidate();
  };
}

TControl::~TControl() {
  if (peer_ != nullptr) {
    ControlPeer* peer = peer_;
    peer_ = nullptr;
    peer->ControlDestroyed();
  }
  if (parent_ != nullptr) {
    std::erase(parent_->controls_, this);
    parent_->ControlRemoved(this);
  }
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  for (const TControl* p = parent; p != nullptr; p = p->parent_) {
    if (p == this) {
      throw EComponentError(Format(kParentCycle, {Name().empty() ? ClassName() : Name()}));
    }
  }
  TWinControl* old = parent_;
  if (old != nullptr) {
    std::erase(old->controls_, this);
    RemoveFreeNotification(old);
    old->ControlRemoved(this);
  }
  parent_ = parent;
  if (parent != nullptr) {
    parent->controls_.push_back(this);
    FreeNotification(parent);
    parent->ControlAdded(this);
  }
  if (Loading()) return;
  if (old != nullptr) old->Realign();
  Relocated();
}

void TControl::SetBounds(int left, int top, int width, int height) {
  if (width < 0) throw EPropertyError(Format(kNegativeSize, {width}));
  if (height < 0) throw EPropertyError(Format(kNegativeSize, {height}));
  ControlRect r{left, top, width, height};
  if (r == bounds_) return;
  bounds_ = r;
  if (!Loading()) Relocated();
}

void TControl::SetAlign(TAlign align) {
  if (align == align_) return;
  align_ = align;
  if (!Loading()) Relocated();
}

void TControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (!Loading()) Relocated();
}

bool TControl::Showing() const {
  for (const TControl* c = this; c != nullptr; c = c->parent_) {
    if (!c->visible_) return false;
  }
  return true;
}

void TControl::SetHint(const std::string& hint) {
  hint_ = hint;
  if (peer_ != nullptr && !Loading()) peer_->Relocate();
}

void TControl::SetShowHint(bool show) {
  show_hint_ = show;
  parent_show_hint_ = false;
}

void TControl::SetColor(TColor color) {
  parent_color_ = false;
  if (color == color_) return;
  color_ = color;
  Invalidate();
}

void TControl::SetParentColor(bool v) {
  if (v == parent_color_) return;
  parent_color_ = v;
  Invalidate();
}

void TControl::SetParentFont(bool v) {
  if (v == parent_font_) return;
  parent_font_ = v;
  Invalidate();
}

TColor TControl::DrawColor() const {
  return parent_color_ && parent_ != nullptr ? parent_->DrawColor() : color_;
}

const TFont& TControl::DrawFont() const {
  return parent_font_ && parent_ != nullptr ? parent_->DrawFont() : font_;
}

void TControl::Invalidate() {
  if (peer_ != nullptr && !Loading()) peer_->Invalidate();
}

void TControl::Loaded() {
  TComponent::Loaded();
  if (peer_ != nullptr) peer_->Relocate();
}

void TControl::Notification(TComponent* component, Operation operation) {
  if (operation == Operation::kRemove && component == parent_) {
    parent_ = nullptr;  // the parent's destructor has dropped us from its list already
    if (!Destroying()) Relocated();
  }
  TComponent::Notification(component, operation);
}

void TControl::Relocated() {
  if (aligning_) {
    if (peer_ != nullptr) peer_->Relocate();
    return;
  }
  if (parent_ != nullptr) {
    parent_->Realign();
  } else if (peer_ != nullptr) {
    peer_->RealignForm();
  }
  if (peer_ != nullptr) peer_->Relocate();
}

// --- TWinControl -------------------------------------------------------------

const ClassInfo& TWinControl::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TWinControl>("TWinControl", &TControl::StaticClassInfo()).Build();
  return info;
}

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  // Children lose their parent; they stay owned by the form.
  std::vector<TControl*> children = std::move(controls_);
  controls_.clear();
  for (TControl* c : children) {
    c->parent_ = nullptr;
    c->RemoveFreeNotification(this);
  }
}

ControlRect TWinControl::ClientRect() const { return {0, 0, Width(), Height()}; }

void TWinControl::Realign() {
  if (Loading()) return;
  AlignControls(controls_, ClientRect());
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
  const bool resized = width != Width() || height != Height();
  TControl::SetBounds(left, top, width, height);
  if (resized) Realign();
}

void TWinControl::Loaded() {
  TControl::Loaded();
  Realign();
}

void AlignControls(const std::vector<TControl*>& controls, ControlRect client) {
  int left = client.left;
  int top = client.top;
  int right = client.left + client.width;
  int bottom = client.top + client.height;
  auto place = [](TControl* c, int l, int t, int w, int h) {
    // Sizes are clamped, so SetBounds cannot throw here.
    c->aligning_ = true;
    c->SetBounds(l, t, std::max(w, 0), std::max(h, 0));
    c->aligning_ = false;
  };
  // The sides in the order they take their space.
  for (TAlign pass : {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight, TAlign::alClient}) {
    for (TControl* c : controls) {
      if (c->Align() != pass || !c->Visible()) continue;
      switch (pass) {
        case TAlign::alTop:
          place(c, left, top, right - left, c->Height());
          top += c->Height();
          break;
        case TAlign::alBottom:
          bottom -= c->Height();
          place(c, left, bottom, right - left, c->Height());
          break;
        case TAlign::alLeft:
          place(c, left, top, c->Width(), bottom - top);
          left += c->Width();
          break;
        case TAlign::alRight:
          right -= c->Width();
          place(c, right, top, c->Width(), bottom - top);
          break;
        case TAlign::alClient:
          place(c, left, top, right - left, bottom - top);
          break;
        case TAlign::alNone: break;
      }
    }
  }
}

}  // namespace brimwell
