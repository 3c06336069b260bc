// TranslatableControl: what the code below the user interface (the
// translator) needs of a control on a page: its role (form, picture, label,
// memo, list, list view or other), visibility, automatic sizing, font, the
// texts of a memo, list or list view, and its child controls. Its captions
// and other texts are its published string properties. The wizard's Qt
// controls implement it; PlainControl below implements it without a window,
// for tests and for the translating controls of a project.
#pragma once

#include <string>
#include <vector>

#include "framework/component.h"
#include "framework/font.h"

namespace brimwell {

enum class ControlRole {
  kOther,
  kForm,      // a page or dialog: never hidden while translated
  kImage,     // a picture: never hidden while translated
  kLabel,     // sizes itself to its text (AutoSize)
  kMemo,      // ListTexts are the lines of one text
  kItemList,  // list box, combo box, radio group: ListTexts are its items
  kListView,  // ListTexts are its column titles
};

class TranslatableControl {
 public:
  virtual ~TranslatableControl() = default;

  virtual ControlRole Role() const = 0;
  virtual bool Visible() const = 0;
  virtual void SetVisible(bool visible) = 0;
  // Labels only.
  virtual bool AutoSize() const { return false; }
  virtual void SetAutoSize(bool) {}
  virtual const TFont& ControlFont() const = 0;
  // Copies `font` into the control's font.
  virtual void SetControlFont(const TFont& font) = 0;
  // The lines of a memo, the items of a list, the column titles of a list
  // view; empty for the other roles.
  virtual std::vector<std::string> ListTexts() const { return {}; }
  virtual void SetListTexts(std::vector<std::string>) {}
  // A windowed control holds child controls and lays them out.
  virtual bool IsWindowed() const { return false; }
  virtual std::vector<TranslatableControl*> ChildControls() const { return {}; }
  // Lays the child controls out again after their texts or fonts changed.
  virtual void Realign() {}
};

// A control without a window: it keeps what it is told. Publishes Caption,
// Visible and Font. Child controls are those given this control as parent.
class PlainControl : public TComponent, public TranslatableControl {
  BRIMWELL_CLASS_INFO()

 public:
  PlainControl(TComponent* owner, ControlRole role = ControlRole::kOther, bool windowed = false);
  // Leaves its parent; its children lose theirs.
  ~PlainControl() override;

  const std::string& Caption() const { return caption_; }
  // Virtual: a control with a window shows its new caption.
  virtual void SetCaption(const std::string& caption) { caption_ = caption; }
  PlainControl* Parent() const { return parent_; }
  void SetParent(PlainControl* parent);

  ControlRole Role() const override { return role_; }
  bool Visible() const override { return visible_; }
  void SetVisible(bool visible) override { visible_ = visible; }
  bool AutoSize() const override { return auto_size_; }
  void SetAutoSize(bool auto_size) override { auto_size_ = auto_size; }
  const TFont& ControlFont() const override { return font_; }
  void SetControlFont(const TFont& font) override { font_.Assign(font); }
  TFont& Font() { return font_; }
  std::vector<std::string> ListTexts() const override { return list_texts_; }
  void SetListTexts(std::vector<std::string> texts) override { list_texts_ = std::move(texts); }
  bool IsWindowed() const override { return windowed_; }
  std::vector<TranslatableControl*> ChildControls() const override;
  void Realign() override { ++realign_count_; }
  int RealignCount() const { return realign_count_; }

 private:
  ControlRole role_;
  bool windowed_;
  std::string caption_;
  bool visible_ = true;
  bool auto_size_ = true;
  TFont font_;
  std::vector<std::string> list_texts_;
  PlainControl* parent_ = nullptr;
  std::vector<PlainControl*> children_;  // not owned
  int realign_count_ = 0;
};

}  // namespace brimwell
