// TControl and TWinControl: the visual components a project places on the
// main form (the backdrop, labels, pictures, the advertising panel and its
// pages). They hold what the project states (position, size, alignment,
// visibility, parent) and lay out aligned children, without any window
// system: a ControlPeer attached by the user interface draws them and is
// told about every change that needs a repaint or a move. So a project with
// these classes loads, checks and saves without Qt.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/colour.h"
#include "framework/component.h"
#include "framework/exception.h"
#include "framework/font.h"

namespace brimwell {

class TWinControl;
class TControl;
class EngineContext;
struct ControlRect;
void AlignControls(const std::vector<TControl*>& controls, ControlRect client);

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
extern const EnumInfo kAlignInfo;

// How a caption sits in its control.
enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
extern const EnumInfo kAlignmentInfo;

struct ControlRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const ControlRect&) const = default;
};

// Raised for a negative width or height (%d: the value).
inline constexpr char kNegativeSize[] = "A size cannot be negative (%d)";
// Raised when a control would contain itself (%s: its name).
inline constexpr char kParentCycle[] = "%s cannot be placed inside itself";

// What the user interface is told about a control. The peer belongs to the
// user interface; the control only points at it and tells it when the
// control goes away.
class ControlPeer {
 public:
  virtual ~ControlPeer() = default;
  // The control's look changed: draw it again.
  virtual void Invalidate() = 0;
  // Position, size, visibility or parent changed.
  virtual void Relocate() = 0;
  // The control is being destroyed; the peer must not use it any more.
  virtual void ControlDestroyed() = 0;
  // A control without a parent changed its alignment, visibility or size:
  // the form lays out its top-level controls again.
  virtual void RealignForm() {}
};

class TControl : public TComponent {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  // The control this one lies on; nullptr: the main form itself.
  TWinControl* Parent() const { return parent_; }
  // Throws EComponentError (kParentCycle) for a parent inside this control.
  virtual void SetParent(TWinControl* parent);

  int Left() const { return bounds_.left; }
  int Top() const { return bounds_.top; }
  int Width() const { return bounds_.width; }
  int Height() const { return bounds_.height; }
  void SetLeft(std::int32_t v) { SetBounds(v, bounds_.top, bounds_.width, bounds_.height); }
  void SetTop(std::int32_t v) { SetBounds(bounds_.left, v, bounds_.width, bounds_.height); }
  // Throw EPropertyError (kNegativeSize) for a negative value.
  void SetWidth(std::int32_t v) { SetBounds(bounds_.left, bounds_.top, v, bounds_.height); }
  void SetHeight(std::int32_t v) { SetBounds(bounds_.left, bounds_.top, bounds_.width, v); }
  const ControlRect& Bounds() const { return bounds_; }
  virtual void SetBounds(int left, int top, int width, int height);

  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  // Visible, and so is every parent.
  bool Showing() const;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& hint);
  bool ShowHint() const { return show_hint_; }
  void SetShowHint(bool show);
  bool ParentShowHint() const { return parent_show_hint_; }
  void SetParentShowHint(bool v) { parent_show_hint_ = v; }
  std::int32_t Tag() const { return tag_; }
  virtual void SetTag(std::int32_t tag) { tag_ = tag; }

  // Colour and font; published by the classes that show them.
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  bool ParentColor() const { return parent_color_; }
  void SetParentColor(bool v);
  TFont& Font() { return font_; }
  const TFont& Font() const { return font_; }
  bool ParentFont() const { return parent_font_; }
  void SetParentFont(bool v);
  // The colour and font to draw with: the parent's when following it.
  TColor DrawColor() const;
  const TFont& DrawFont() const;

  // The user interface's peer (nullptr: none). Not owned.
  ControlPeer* Peer() const { return peer_; }
  void SetPeer(ControlPeer* peer) { peer_ = peer; }
  // Asks the peer to draw the control again.
  void Invalidate();

  void Loaded() override;

  // The context of the owning project form; nullptr outside one.
  EngineContext* Context() const { return ctx_; }

 protected:
  void Notification(TComponent* component, Operation operation) override;
  // Tells the peer (or the parent's layout) that the bounds or visibility
  // changed.
  void Relocated();

 private:
  friend class TWinControl;
  friend void AlignControls(const std::vector<TControl*>& controls, ControlRect client);

  EngineContext* ctx_;
  TWinControl* parent_ = nullptr;
  ControlRect bounds_;
  TAlign align_ = TAlign::alNone;
  bool visible_ = true;
  bool enabled_ = true;
  std::string hint_;
  bool show_hint_ = false;
  bool parent_show_hint_ = true;
  std::int32_t tag_ = 0;
  TColor color_ = clBtnFace;
  bool parent_color_ = false;
  TFont font_;
  bool parent_font_ = false;
  ControlPeer* peer_ = nullptr;
  bool aligning_ = false;  // bounds being set by the parent's layout
};

// A control that can hold other controls.
class TWinControl : public TControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;

  // The controls lying on this one, in the order they were placed.
  const std::vector<TControl*>& Controls() const { return controls_; }
  // The area children are laid out in, in this control's coordinates.
  virtual ControlRect ClientRect() const;
  // Lays out the aligned children again.
  void Realign();

  void SetBounds(int left, int top, int width, int height) override;
  void Loaded() override;

 protected:
  virtual void ControlAdded(TControl*) {}
  virtual void ControlRemoved(TControl*) {}

 private:
  friend class TControl;
  std::vector<TControl*> controls_;  // not owned
};

// Lays out `controls` inside `client`: top-aligned ones stack from the top,
// then bottom, left and right ones from their sides, and client-aligned ones
// take what is left. Controls that are hidden or not aligned stay put.
void AlignControls(const std::vector<TControl*>& controls, ControlRect client);

}  // namespace brimwell
