// The framework's controls: the windows, labels, buttons and lists a page is
// made of, as the code below the user interface sees them. The translator
// walks them through this interface (captions and other published texts,
// memo lines, list-view columns, list and radio items, font, visibility,
// automatic sizing, child controls); the Qt controls of the wizard derive
// from these classes and show every change through Changed(). The plain
// classes here keep their state and draw nothing, which is all a test needs.
//
// A control has an owner (TComponent: who frees it) and a parent (the
// windowed control it sits in); the two trees differ, as they do on a form.
#pragma once

#include <string>
#include <vector>

#include "framework/component.h"
#include "framework/font.h"

namespace brimwell {

class TWinControl;

// What changed about a control, for the user interface to show.
enum class ControlChange { kText, kFont, kVisible, kAutoSize, kItems, kParent, kLayout };

class TControl : public TComponent {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TControl(TComponent* owner);
  // Leaves its parent.
  ~TControl() override;

  TWinControl* Parent() const { return parent_; }
  // Moves the control into `parent` (nullptr: none), after its last child.
  void SetParent(TWinControl* parent);

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  const TFont& Font() const { return font_; }
  // Copies `font` into the control's font.
  void SetFont(const TFont& font);
  // For the published Font sub-object (project loading).
  TFont& MutableFont() { return font_; }

  // True for a control with a window of its own that holds child controls.
  virtual bool IsWindowed() const { return false; }

 protected:
  // Called after each change; the Qt controls show it. Nothing here.
  virtual void Changed(ControlChange) {}

 private:
  TWinControl* parent_ = nullptr;
  bool visible_ = true;
  TFont font_;
};

class TWinControl : public TControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TWinControl(TComponent* owner);
  // Children leave it first (they are not freed: their owner frees them).
  ~TWinControl() override;

  bool IsWindowed() const override { return true; }
  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const { return controls_.at(static_cast<std::size_t>(index)); }

  // Lays the child controls out again (after their texts or fonts
  // changed). The plain control only counts the requests.
  virtual void Realign();
  int RealignCount() const { return realign_count_; }

 private:
  friend class TControl;
  std::vector<TControl*> controls_;  // not owned
  int realign_count_ = 0;
};

// A top-level window: a page or a dialog. Never hidden while translated.
class TForm : public TWinControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TForm(TComponent* owner) : TWinControl(owner) {}
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);

 private:
  std::string caption_;
};

// A picture. Never hidden while translated (it holds no text).
class TImage : public TControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TImage(TComponent* owner) : TControl(owner) {}
};

class TLabel : public TControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TLabel(TComponent* owner) : TControl(owner) {}
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);
  // The label sizes itself to its text.
  bool AutoSize() const { return auto_size_; }
  void SetAutoSize(bool auto_size);

 private:
  std::string caption_;
  bool auto_size_ = true;
};

// A control whose one text is its published Caption.
class CaptionControl : public TWinControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit CaptionControl(TComponent* owner) : TWinControl(owner) {}
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);

 private:
  std::string caption_;
};

class TButton : public CaptionControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TButton(TComponent* owner) : CaptionControl(owner) {}
};

// A button with a picture beside its caption.
class TBitBtn : public TButton {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TBitBtn(TComponent* owner) : TButton(owner) {}
};

class TPanel : public CaptionControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TPanel(TComponent* owner) : CaptionControl(owner) {}
};

class TGroupBox : public CaptionControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TGroupBox(TComponent* owner) : CaptionControl(owner) {}
};

// A one-line text field.
class TEdit : public TWinControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TEdit(TComponent* owner) : TWinControl(owner) {}
  const std::string& Text() const { return text_; }
  void SetText(std::string text);

 private:
  std::string text_;
};

// A box of text lines.
class TMemo : public TWinControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TMemo(TComponent* owner) : TWinControl(owner) {}
  const std::vector<std::string>& Lines() const { return lines_; }
  void SetLines(std::vector<std::string> lines);

 private:
  std::vector<std::string> lines_;
};

// A control showing a list of items: list boxes, combo boxes and radio
// groups, whose items are translated one by one.
class ItemsControl : public CaptionControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit ItemsControl(TComponent* owner) : CaptionControl(owner) {}
  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(std::vector<std::string> items);

 private:
  std::vector<std::string> items_;
};

class TListBox : public ItemsControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TListBox(TComponent* owner) : ItemsControl(owner) {}
};

class TComboBox : public ItemsControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TComboBox(TComponent* owner) : ItemsControl(owner) {}
};

class TRadioGroup : public ItemsControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TRadioGroup(TComponent* owner) : ItemsControl(owner) {}
};

// A list in report view: its column titles are translated.
class TListView : public TWinControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TListView(TComponent* owner) : TWinControl(owner) {}
  int ColumnCount() const { return static_cast<int>(columns_.size()); }
  const std::string& ColumnCaption(int index) const { return columns_.at(static_cast<std::size_t>(index)); }
  void SetColumnCaption(int index, std::string caption);
  void AddColumn(std::string caption);

 private:
  std::vector<std::string> columns_;
};

class ClassRegistry;
// Registers the controls above, so a project can place them on its forms.
void RegisterControlClasses(ClassRegistry& registry);

}  // namespace brimwell
