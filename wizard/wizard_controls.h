// The controls of the wizard pages, drawn with Qt Widgets. Each is a
// translatable control (framework/translatable_control.h) owned by its page
// form, so the translator walks, translates and sets the fonts of a page
// like any other form, and each drives one widget. The page's layout is
// kept here, in pixels at 96 dots per inch as the pages were designed:
// every control has designed bounds and an alignment, and aligned controls
// are laid out inside their parent as the designer's forms do (top ones
// stacked from the top, bottom ones from the bottom, then left, right and
// the client control in what is left). Labels that wrap their text grow to
// the height of the text for their width.
#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QWidget>

#include <string>
#include <vector>

#include "framework/translatable_control.h"
#include "translate/translate_controls.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTextEdit;

namespace brimwell {

class TPicture;

// Where a control goes in its parent: stacked from a side, filling what is
// left, or at its designed bounds.
enum class WizAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// A rectangle in a parent's client area.
struct PageRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const PageRect&) const = default;
};

// The font a control draws with: the installed face standing in for the
// stored one, at the pixel size of its point size at 96 dots per inch.
QFont ToQtFont(const TFont& font);
QString ToQt(const std::string& text);
std::string FromQt(const QString& text);

// Layout and widget of one control (a mixin of the control classes below).
class ControlLayout {
 public:
  virtual ~ControlLayout() = default;

  QWidget* Widget() const { return widget_; }
  WizAlign Align() const { return align_; }
  void SetAlign(WizAlign align) { align_ = align; }
  // Bounds in the parent's client area, as designed or as laid out.
  const PageRect& Bounds() const { return bounds_; }
  void SetBounds(int left, int top, int width, int height);
  // Space kept free inside the control's edges for its children.
  int BorderWidth() const { return border_width_; }
  void SetBorderWidth(int width) { border_width_ = width; }
  // The area children are laid out in, in the control's coordinates.
  virtual PageRect ClientArea() const;
  // The height the control wants for `width`; -1: its bounds' height.
  virtual int WantedHeight(int) const { return -1; }
  // Lays out the aligned children, then their children.
  virtual void LayOutChildren();
  std::vector<ControlLayout*> LayoutChildren() const;

 protected:
  explicit ControlLayout(QWidget* widget) : widget_(widget) {}
  // Records bounds that the window system keeps for the widget itself.
  void StoreBounds(const PageRect& bounds) { bounds_ = bounds; }
  // The control as a translatable control (its children are found there).
  virtual const TranslatableControl& Self() const = 0;

 private:
  QPointer<QWidget> widget_;
  WizAlign align_ = WizAlign::alNone;
  PageRect bounds_;
  int border_width_ = 0;
};

// The widget of a parent control, the one new child widgets go into;
// nullptr for a parent without one.
QWidget* ParentWidget(PlainControl* parent);

// Keeps a path edit in lower case, as the pages show every path: true when
// it changed the text, which makes the edit report a change once more.
bool KeepLowerCase(QLineEdit* edit);

// Names a new control and puts it under `parent`.
template <class C>
void Place(C* control, PlainControl* parent, const std::string& name) {
  control->SetName(name);
  control->SetParent(parent);
}

// A control of one of the translatable classes with a widget.
template <class Base>
class QtControl : public Base, public ControlLayout {
 public:
  template <class... Args>
  QtControl(TComponent* owner, QWidget* widget, Args... args) : Base(owner, args...), ControlLayout(widget) {}

  void SetCaption(const std::string& caption) override {
    Base::SetCaption(caption);
    CaptionChanged();
  }
  void SetVisible(bool visible) override {
    Base::SetVisible(visible);
    if (Widget() != nullptr) Widget()->setVisible(visible);
  }
  void SetControlFont(const TFont& font) override {
    Base::SetControlFont(font);
    if (Widget() != nullptr) Widget()->setFont(ToQtFont(font));
  }
  void Realign() override {
    Base::Realign();
    LayOutChildren();
  }

 protected:
  virtual void CaptionChanged() {}
  const TranslatableControl& Self() const override { return *this; }
};

// A panel: a plain area that holds other controls.
class WizPanel : public QtControl<PlainControl> {
 public:
  WizPanel(TComponent* owner, QWidget* parent_widget, PlainControl* parent, const std::string& name);
};

// A label (GLID 0: translated by its wording when it has text).
class WizLabel : public QtControl<TTranslateLabel> {
 public:
  WizLabel(TComponent* owner, PlainControl* parent, const std::string& name, std::int32_t glid,
           const std::string& text, bool word_wrap = true);
  QLabel* Label() const;
  int WantedHeight(int width) const override;

 protected:
  void CaptionChanged() override;
};

// A push button with a GLID.
class WizButton : public QtControl<TTranslateBitBtn> {
 public:
  WizButton(TComponent* owner, PlainControl* parent, const std::string& name, std::int32_t glid,
            const std::string& text);
  QPushButton* Button() const;

 protected:
  void CaptionChanged() override;
};

// A read-only text of plain lines with a vertical scroll bar.
class WizMemo : public QtControl<PlainControl> {
 public:
  WizMemo(TComponent* owner, PlainControl* parent, const std::string& name);
  QTextEdit* Edit() const;
  std::vector<std::string> ListTexts() const override { return lines_; }
  void SetListTexts(std::vector<std::string> lines) override;

 private:
  std::vector<std::string> lines_;
};

// A one-line edit; its text is not a caption, so it is never translated.
class WizEdit : public QtControl<PlainControl> {
 public:
  WizEdit(TComponent* owner, PlainControl* parent, const std::string& name);
  QLineEdit* Edit() const;
};

// A picture shown centred in the control.
class WizImage : public QtControl<PlainControl> {
 public:
  WizImage(TComponent* owner, PlainControl* parent, const std::string& name);
  QLabel* Label() const;
  // Shows the picture (nothing for an empty or damaged one).
  void SetPicture(const TPicture& picture);
  bool HasPicture() const { return has_picture_; }

 private:
  bool has_picture_ = false;
};

// A horizontal sunken line.
class WizBevel : public QtControl<PlainControl> {
 public:
  WizBevel(TComponent* owner, PlainControl* parent, const std::string& name);
};

// A group box: an etched frame with its caption set into the top line;
// children lie inside the frame.
class WizGroupBox : public QtControl<PlainControl> {
 public:
  WizGroupBox(TComponent* owner, PlainControl* parent, const std::string& name, const std::string& text);
  // The height of the caption's line, which the children keep clear of.
  int CaptionHeight() const;

 protected:
  void CaptionChanged() override;
};

class WizTabSheet;

// A page control: one tab per sheet, a sheet whose tab is hidden is left
// out of the row.
class WizPageControl : public QtControl<PlainControl> {
 public:
  WizPageControl(TComponent* owner, PlainControl* parent, const std::string& name);
  QTabWidget* Tabs() const;
  const std::vector<WizTabSheet*>& Sheets() const { return sheets_; }
  void AddSheet(WizTabSheet* sheet);
  // Shows `sheet`'s tab or leaves it out.
  void SetTabVisible(WizTabSheet* sheet, bool visible);
  WizTabSheet* ActiveSheet() const;
  void SetActiveSheet(WizTabSheet* sheet);
  PageRect ClientArea() const override;
  void LayOutChildren() override;

 private:
  std::vector<WizTabSheet*> sheets_;  // not owned
};

class WizTabSheet : public QtControl<PlainControl> {
 public:
  WizTabSheet(TComponent* owner, WizPageControl* control, const std::string& name, const std::string& text);
  WizPageControl* Control() const { return control_; }
  bool TabVisible() const { return tab_visible_; }
  void SetTabVisible(bool visible) { tab_visible_ = visible; }
  // The sheet is shown through its page control, not by itself.
  void SetVisible(bool visible) override { PlainControl::SetVisible(visible); }
  // The page control places the sheet.
  void SetSheetArea(const PageRect& area) { StoreBounds(area); }

 protected:
  void CaptionChanged() override;

 private:
  WizPageControl* control_;
  bool tab_visible_ = true;
};

}  // namespace brimwell
