#include "wizard/wizard_controls.h"

#include <QFontMetrics>
#include <QFrame>
#include <QPainter>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>

#include <algorithm>

#include "framework/picture.h"
#include "translate/font_faces.h"

namespace brimwell {

QString ToQt(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQt(const QString& text) { return text.toUtf8().toStdString(); }

QFont ToQtFont(const TFont& f) {
  QFont font(ToQt(InstalledFace(f.Name(), f.Charset())));
  font.setPixelSize(f.PixelSize());
  font.setBold(f.Style().Contains(TFontStyle::fsBold));
  font.setItalic(f.Style().Contains(TFontStyle::fsItalic));
  font.setUnderline(f.Style().Contains(TFontStyle::fsUnderline));
  font.setStrikeOut(f.Style().Contains(TFontStyle::fsStrikeOut));
  // The designed sizes leave no room for hinting differences.
  font.setHintingPreference(QFont::PreferNoHinting);
  return font;
}

// --- Layout -----------------------------------------------------------------------

void ControlLayout::SetBounds(int left, int top, int width, int height) {
  bounds_ = {left, top, std::max(0, width), std::max(0, height)};
  if (widget_ != nullptr) widget_->setGeometry(left, top, bounds_.width, bounds_.height);
}

PageRect ControlLayout::ClientArea() const {
  return {border_width_, border_width_, std::max(0, bounds_.width - 2 * border_width_),
          std::max(0, bounds_.height - 2 * border_width_)};
}

std::vector<ControlLayout*> ControlLayout::LayoutChildren() const {
  std::vector<ControlLayout*> children;
  for (TranslatableControl* c : Self().ChildControls()) {
    if (auto* layout = dynamic_cast<ControlLayout*>(c)) children.push_back(layout);
  }
  return children;
}

void ControlLayout::LayOutChildren() {
  std::vector<ControlLayout*> children = LayoutChildren();
  PageRect r = ClientArea();
  int top = r.top, bottom = r.top + r.height, left = r.left, right = r.left + r.width;
  auto shown = [](ControlLayout* c) { return c->Self().Visible(); };
  auto height_of = [](ControlLayout* c, int width) {
    int wanted = c->WantedHeight(width);
    return wanted >= 0 ? wanted : c->Bounds().height;
  };
  for (ControlLayout* c : children) {
    if (!shown(c) || c->Align() != WizAlign::alTop) continue;
    const int h = height_of(c, right - left);
    c->SetBounds(left, top, right - left, h);
    top += h;
  }
  for (ControlLayout* c : children) {
    if (!shown(c) || c->Align() != WizAlign::alBottom) continue;
    const int h = height_of(c, right - left);
    bottom -= h;
    c->SetBounds(left, bottom, right - left, h);
  }
  for (ControlLayout* c : children) {
    if (!shown(c) || c->Align() != WizAlign::alLeft) continue;
    c->SetBounds(left, top, c->Bounds().width, std::max(0, bottom - top));
    left += c->Bounds().width;
  }
  for (ControlLayout* c : children) {
    if (!shown(c) || c->Align() != WizAlign::alRight) continue;
    right -= c->Bounds().width;
    c->SetBounds(right, top, c->Bounds().width, std::max(0, bottom - top));
  }
  for (ControlLayout* c : children) {
    if (!shown(c) || c->Align() != WizAlign::alClient) continue;
    c->SetBounds(left, top, std::max(0, right - left), std::max(0, bottom - top));
  }
  for (ControlLayout* c : children) {
    if (c->Align() == WizAlign::alNone) {
      const PageRect& b = c->Bounds();
      const int wanted = c->WantedHeight(b.width);
      c->SetBounds(b.left, b.top, b.width, wanted >= 0 ? wanted : b.height);
    }
    c->LayOutChildren();
  }
}

// --- The controls -------------------------------------------------------------------

QWidget* ParentWidget(PlainControl* parent) {
  auto* layout = dynamic_cast<ControlLayout*>(parent);
  return layout != nullptr ? layout->Widget() : nullptr;
}

bool KeepLowerCase(QLineEdit* edit) {
  const QString lower = edit->text().toLower();
  if (lower == edit->text()) return false;
  const int cursor = edit->cursorPosition();
  edit->setText(lower);
  edit->setCursorPosition(cursor);
  return true;
}

WizPanel::WizPanel(TComponent* owner, QWidget* parent_widget, PlainControl* parent, const std::string& name)
    : QtControl<PlainControl>(owner, new QWidget(parent_widget != nullptr ? parent_widget : ParentWidget(parent)),
                              ControlRole::kOther, true) {
  Place(this, parent, name);
}

WizLabel::WizLabel(TComponent* owner, PlainControl* parent, const std::string& name, std::int32_t glid,
                   const std::string& text, bool word_wrap)
    : QtControl<TTranslateLabel>(owner, new QLabel(ParentWidget(parent))) {
  Place(this, parent, name);
  SetGLID(glid);
  Label()->setWordWrap(word_wrap);
  Label()->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label()->setTextFormat(Qt::PlainText);
  SetCaption(text);
}

QLabel* WizLabel::Label() const { return static_cast<QLabel*>(Widget()); }

void WizLabel::CaptionChanged() {
  if (Label() != nullptr) Label()->setText(ToQt(Caption()));
}

int WizLabel::WantedHeight(int width) const {
  // An empty label keeps its designed height (the spacers).
  if (Caption().empty() || !AutoSize() || Label() == nullptr) return -1;
  QFontMetrics metrics(Label()->font());
  if (!Label()->wordWrap()) return metrics.height();
  QRect r = metrics.boundingRect(QRect(0, 0, std::max(1, width), 100000), Qt::TextWordWrap, ToQt(Caption()));
  return r.height();
}

WizButton::WizButton(TComponent* owner, PlainControl* parent, const std::string& name, std::int32_t glid,
                     const std::string& text)
    : QtControl<TTranslateBitBtn>(owner, new QPushButton(ParentWidget(parent))) {
  Place(this, parent, name);
  SetGLID(glid);
  SetCaption(text);
}

QPushButton* WizButton::Button() const { return static_cast<QPushButton*>(Widget()); }

void WizButton::CaptionChanged() {
  if (Button() != nullptr) Button()->setText(ToQt(Caption()));
}

WizMemo::WizMemo(TComponent* owner, PlainControl* parent, const std::string& name)
    : QtControl<PlainControl>(owner, new QTextEdit(ParentWidget(parent)), ControlRole::kMemo) {
  Place(this, parent, name);
  Edit()->setReadOnly(true);
  Edit()->setAcceptRichText(false);
  Edit()->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Edit()->setLineWrapMode(QTextEdit::WidgetWidth);
  // The button-face colour of the designed page.
  QPalette palette = Edit()->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Button));
  Edit()->setPalette(palette);
}

QTextEdit* WizMemo::Edit() const { return static_cast<QTextEdit*>(Widget()); }

void WizMemo::SetListTexts(std::vector<std::string> lines) {
  lines_ = std::move(lines);
  QStringList text;
  for (const std::string& line : lines_) text << ToQt(line);
  if (Edit() != nullptr) Edit()->setPlainText(text.join('\n'));
}

WizEdit::WizEdit(TComponent* owner, PlainControl* parent, const std::string& name)
    : QtControl<PlainControl>(owner, new QLineEdit(ParentWidget(parent))) {
  Place(this, parent, name);
}

QLineEdit* WizEdit::Edit() const { return static_cast<QLineEdit*>(Widget()); }

WizImage::WizImage(TComponent* owner, PlainControl* parent, const std::string& name)
    : QtControl<PlainControl>(owner, new QLabel(ParentWidget(parent)), ControlRole::kImage) {
  Place(this, parent, name);
  Label()->setAlignment(Qt::AlignCenter);
}

QLabel* WizImage::Label() const { return static_cast<QLabel*>(Widget()); }

void WizImage::SetPicture(const TPicture& picture) {
  QImage image;
  if (!picture.Empty()) {
    const auto& data = picture.Data();
    image.loadFromData(data.data(), static_cast<int>(data.size()));
  }
  has_picture_ = !image.isNull();
  if (Label() != nullptr) Label()->setPixmap(has_picture_ ? QPixmap::fromImage(image) : QPixmap());
}

WizBevel::WizBevel(TComponent* owner, PlainControl* parent, const std::string& name)
    : QtControl<PlainControl>(owner, new QFrame(ParentWidget(parent))) {
  Place(this, parent, name);
  auto* frame = static_cast<QFrame*>(Widget());
  frame->setFrameShape(QFrame::HLine);
  frame->setFrameShadow(QFrame::Sunken);
}

namespace {

// The frame of a group box, drawn as the designed pages show it.
class GroupFrame final : public QWidget {
 public:
  explicit GroupFrame(QWidget* parent) : QWidget(parent) {}
  QString title;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QFontMetrics metrics(font());
    const int line = metrics.height() / 2;
    const QRect frame(0, line, width() - 2, height() - line - 2);
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(frame);
    p.setPen(palette().color(QPalette::Light));
    p.drawRect(frame.translated(1, 1));
    if (title.isEmpty()) return;
    const int text_width = metrics.horizontalAdvance(title);
    p.fillRect(QRect(6, 0, text_width + 4, metrics.height()), palette().color(QPalette::Window));
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(QRect(8, 0, text_width, metrics.height()), Qt::AlignLeft | Qt::AlignVCenter, title);
  }
};

}  // namespace

WizGroupBox::WizGroupBox(TComponent* owner, PlainControl* parent, const std::string& name, const std::string& text)
    : QtControl<PlainControl>(owner, new GroupFrame(ParentWidget(parent)), ControlRole::kOther, true) {
  Place(this, parent, name);
  SetCaption(text);
}

int WizGroupBox::CaptionHeight() const {
  return Widget() != nullptr ? QFontMetrics(Widget()->font()).height() : 13;
}

void WizGroupBox::CaptionChanged() {
  if (auto* frame = static_cast<GroupFrame*>(Widget())) {
    frame->title = ToQt(Caption());
    frame->update();
  }
}

WizPageControl::WizPageControl(TComponent* owner, PlainControl* parent, const std::string& name)
    : QtControl<PlainControl>(owner, new QTabWidget(ParentWidget(parent)), ControlRole::kOther, true) {
  Place(this, parent, name);
}

QTabWidget* WizPageControl::Tabs() const { return static_cast<QTabWidget*>(Widget()); }

void WizPageControl::AddSheet(WizTabSheet* sheet) {
  sheets_.push_back(sheet);
  Tabs()->addTab(sheet->Widget(), ToQt(sheet->Caption()));
}

void WizPageControl::SetTabVisible(WizTabSheet* sheet, bool visible) {
  sheet->SetTabVisible(visible);
  const int index = Tabs()->indexOf(sheet->Widget());
  if (index >= 0) Tabs()->setTabVisible(index, visible);
}

WizTabSheet* WizPageControl::ActiveSheet() const {
  for (WizTabSheet* s : sheets_) {
    if (s->Widget() == Tabs()->currentWidget()) return s;
  }
  return nullptr;
}

void WizPageControl::SetActiveSheet(WizTabSheet* sheet) {
  if (sheet != nullptr) Tabs()->setCurrentWidget(sheet->Widget());
}

PageRect WizPageControl::ClientArea() const {
  // The sheets fill the frame below the row of tabs.
  const int tab_height = Tabs() != nullptr ? Tabs()->tabBar()->sizeHint().height() : 22;
  return {0, 0, std::max(0, Bounds().width - 4), std::max(0, Bounds().height - tab_height - 4)};
}

void WizPageControl::LayOutChildren() {
  for (WizTabSheet* sheet : sheets_) {
    sheet->SetSheetArea(ClientArea());
    sheet->LayOutChildren();
  }
}

WizTabSheet::WizTabSheet(TComponent* owner, WizPageControl* control, const std::string& name,
                         const std::string& text)
    : QtControl<PlainControl>(owner, new QWidget(), ControlRole::kOther, true), control_(control) {
  Place(this, control, name);
  PlainControl::SetCaption(text);
  control->AddSheet(this);
}

void WizTabSheet::CaptionChanged() {
  if (control_ == nullptr || control_->Tabs() == nullptr) return;
  const int index = control_->Tabs()->indexOf(Widget());
  if (index >= 0) control_->Tabs()->setTabText(index, ToQt(Caption()));
}

}  // namespace brimwell
