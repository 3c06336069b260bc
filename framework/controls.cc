#include "framework/controls.h"

#include <algorithm>

#include "framework/class_registry.h"

namespace brimwell {

// --- Class descriptions ---------------------------------------------------------

const ClassInfo& TControl::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TControl>("TControl", &TComponent::StaticClassInfo())
                                    .Object("Font", &TControl::MutableFont)
                                    .Property("Visible", &TControl::Visible, &TControl::SetVisible, true)
                                    .Build();
  return info;
}

const ClassInfo& TWinControl::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TWinControl>("TWinControl", &TControl::StaticClassInfo()).Build();
  return info;
}

const ClassInfo& TForm::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TForm>("TForm", &TWinControl::StaticClassInfo())
                                    .Creatable()
                                    .Property("Caption", &TForm::Caption, &TForm::SetCaption)
                                    .Build();
  return info;
}

const ClassInfo& TImage::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TImage>("TImage", &TControl::StaticClassInfo()).Creatable().Build();
  return info;
}

const ClassInfo& TLabel::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TLabel>("TLabel", &TControl::StaticClassInfo())
                                    .Creatable()
                                    .Property("AutoSize", &TLabel::AutoSize, &TLabel::SetAutoSize, true)
                                    .Property("Caption", &TLabel::Caption, &TLabel::SetCaption)
                                    .Build();
  return info;
}

const ClassInfo& CaptionControl::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<CaptionControl>("CaptionControl", &TWinControl::StaticClassInfo())
          .Property("Caption", &CaptionControl::Caption, &CaptionControl::SetCaption)
          .Build();
  return info;
}

const ClassInfo& TButton::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TButton>("TButton", &CaptionControl::StaticClassInfo()).Creatable().Build();
  return info;
}

const ClassInfo& TBitBtn::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TBitBtn>("TBitBtn", &TButton::StaticClassInfo()).Creatable().Build();
  return info;
}

const ClassInfo& TPanel::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TPanel>("TPanel", &CaptionControl::StaticClassInfo()).Creatable().Build();
  return info;
}

const ClassInfo& TGroupBox::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TGroupBox>("TGroupBox", &CaptionControl::StaticClassInfo()).Creatable().Build();
  return info;
}

const ClassInfo& TEdit::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TEdit>("TEdit", &TWinControl::StaticClassInfo())
                                    .Creatable()
                                    .Property("Text", &TEdit::Text, &TEdit::SetText)
                                    .Build();
  return info;
}

const ClassInfo& TMemo::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TMemo>("TMemo", &TWinControl::StaticClassInfo())
                                    .Creatable()
                                    .Property("Lines", &TMemo::Lines, &TMemo::SetLines)
                                    .Build();
  return info;
}

const ClassInfo& ItemsControl::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<ItemsControl>("ItemsControl", &CaptionControl::StaticClassInfo())
                                    .Property("Items", &ItemsControl::Items, &ItemsControl::SetItems)
                                    .Build();
  return info;
}

const ClassInfo& TListBox::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TListBox>("TListBox", &ItemsControl::StaticClassInfo()).Creatable().Build();
  return info;
}

const ClassInfo& TComboBox::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TComboBox>("TComboBox", &ItemsControl::StaticClassInfo()).Creatable().Build();
  return info;
}

const ClassInfo& TRadioGroup::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TRadioGroup>("TRadioGroup", &ItemsControl::StaticClassInfo()).Creatable().Build();
  return info;
}

const ClassInfo& TListView::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TListView>("TListView", &TWinControl::StaticClassInfo()).Creatable().Build();
  return info;
}

// --- Behaviour --------------------------------------------------------------------

TControl::TControl(TComponent* owner) : TComponent(owner) {}

TControl::~TControl() { SetParent(nullptr); }

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  if (parent_ != nullptr) std::erase(parent_->controls_, this);
  parent_ = parent;
  if (parent_ != nullptr) parent_->controls_.push_back(this);
  Changed(ControlChange::kParent);
}

void TControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  Changed(ControlChange::kVisible);
}

void TControl::SetFont(const TFont& font) {
  font_ = font;
  Changed(ControlChange::kFont);
}

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  // Children outlive their parent when another component owns them.
  std::vector<TControl*> children = controls_;
  for (TControl* child : children) child->SetParent(nullptr);
}

void TWinControl::Realign() {
  ++realign_count_;
  Changed(ControlChange::kLayout);
}

void TForm::SetCaption(std::string caption) {
  caption_ = std::move(caption);
  Changed(ControlChange::kText);
}

void TLabel::SetCaption(std::string caption) {
  caption_ = std::move(caption);
  Changed(ControlChange::kText);
}

void TLabel::SetAutoSize(bool auto_size) {
  if (auto_size == auto_size_) return;
  auto_size_ = auto_size;
  Changed(ControlChange::kAutoSize);
}

void CaptionControl::SetCaption(std::string caption) {
  caption_ = std::move(caption);
  Changed(ControlChange::kText);
}

void TEdit::SetText(std::string text) {
  text_ = std::move(text);
  Changed(ControlChange::kText);
}

void TMemo::SetLines(std::vector<std::string> lines) {
  lines_ = std::move(lines);
  Changed(ControlChange::kItems);
}

void ItemsControl::SetItems(std::vector<std::string> items) {
  items_ = std::move(items);
  Changed(ControlChange::kItems);
}

void TListView::SetColumnCaption(int index, std::string caption) {
  columns_.at(static_cast<std::size_t>(index)) = std::move(caption);
  Changed(ControlChange::kItems);
}

void TListView::AddColumn(std::string caption) {
  columns_.push_back(std::move(caption));
  Changed(ControlChange::kItems);
}

void RegisterControlClasses(ClassRegistry& registry) {
  registry.Register<TControl>();
  registry.Register<TWinControl>();
  registry.Register<TForm>();
  registry.Register<TImage>();
  registry.Register<TLabel>();
  registry.Register<TButton>();
  registry.Register<TBitBtn>();
  registry.Register<TPanel>();
  registry.Register<TGroupBox>();
  registry.Register<TEdit>();
  registry.Register<TMemo>();
  registry.Register<TListBox>();
  registry.Register<TComboBox>();
  registry.Register<TRadioGroup>();
  registry.Register<TListView>();
}

}  // namespace brimwell
