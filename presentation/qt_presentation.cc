#include "presentation/qt_presentation.h"

#include <QEvent>
#include <QFontMetrics>
#include <QImage>
#include <QMainWindow>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygon>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <map>

#include "engine/project_form.h"
#include "framework/picture.h"
#include "presentation/advertise_panel.h"
#include "presentation/backdrop.h"
#include "presentation/image.h"
#include "presentation/label.h"
#include "presentation/rotate_3d_label.h"

namespace brimwell {
namespace {

QColor ToQColor(TColor colour) {
  const std::uint32_t rgb = ColorToRGB(colour);
  return QColor(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
}

// Projects name the classic Windows faces; the metric-compatible free faces
// stand in for them.
void SubstituteFaces() {
  static const bool done = [] {
    QFont::insertSubstitution("Arial", "Liberation Sans");
    QFont::insertSubstitution("MS Sans Serif", "Liberation Sans");
    QFont::insertSubstitution("Tahoma", "Liberation Sans");
    QFont::insertSubstitution("Times New Roman", "Liberation Serif");
    QFont::insertSubstitution("Courier New", "Liberation Mono");
    return true;
  }();
  (void)done;
}

QFont ToQFont(const TFont& f) {
  QFont font(QString::fromStdString(f.Name()));
  font.setPixelSize(f.PixelSize());
  font.setBold(f.Style().Contains(TFontStyle::fsBold));
  font.setItalic(f.Style().Contains(TFontStyle::fsItalic));
  font.setUnderline(f.Style().Contains(TFontStyle::fsUnderline));
  font.setStrikeOut(f.Style().Contains(TFontStyle::fsStrikeOut));
  return font;
}

QString ToQString(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

class Presentation;

// The widget of one control: follows the control's bounds and visibility
// and draws it. The control may go first; the widget then stays hidden.
class ControlWidget : public QWidget, public ControlPeer {
 public:
  ControlWidget(TControl& control, Presentation& owner) : control_(&control), owner_(owner) {
    control.SetPeer(this);
  }
  ~ControlWidget() override { ControlWidget::Detach(); }

  // Forgets the control, which forgets this widget.
  virtual void Detach() {
    if (control_ != nullptr) control_->SetPeer(nullptr);
    control_ = nullptr;
    hide();
  }

  TControl* Control() const { return control_; }

  void Invalidate() override { update(); }
  void Relocate() override {
    if (control_ == nullptr) return;
    const ControlRect& r = control_->Bounds();
    setGeometry(r.left, r.top, r.width, r.height);
    setToolTip(control_->ShowHint() ? ToQString(control_->Hint()) : QString());
    setVisible(ShouldShow());
    update();
  }
  void ControlDestroyed() override {
    control_ = nullptr;
    hide();
  }
  void RealignForm() override;

 protected:
  virtual bool ShouldShow() const { return control_->Visible(); }

  TControl* control_;
  Presentation& owner_;
};

class BackdropWidget final : public ControlWidget {
 public:
  using ControlWidget::ControlWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    auto* backdrop = static_cast<TBackdrop*>(control_);
    if (backdrop == nullptr) return;
    QPainter p(this);
    backdrop->PaintBands([&](const GradientBand& b) {
      if (!b.Empty()) {
        p.fillRect(QRect(b.left, b.top, b.right - b.left, b.bottom - b.top),
                   QColor(RedOf(b.rgb), GreenOf(b.rgb), BlueOf(b.rgb)));
      }
    });
  }
};

class RotatedLabelWidget final : public ControlWidget {
 public:
  using ControlWidget::ControlWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    auto* label = static_cast<TRotate3DLabel*>(control_);
    if (label == nullptr) return;
    const QFont font = ToQFont(label->DrawFont());
    const QFontMetrics metrics(font);
    const QString caption = ToQString(label->Caption());
    const LabelPaintPlan plan = label->PlanPaint(metrics.horizontalAdvance(caption), metrics.height());
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);
    if (plan.box) {
      QPolygon box;
      for (const LabelPoint& corner : plan.box_corners) box << QPoint(corner.x, corner.y);
      p.setPen(Qt::black);
      p.setBrush(ToQColor(plan.box_colour));
      p.drawPolygon(box);
    }
    p.setFont(font);
    for (const LabelTextPass& pass : plan.passes) {
      p.save();
      // The caption's top-left corner is the pivot; angles turn
      // counter-clockwise on the screen, where y grows downwards.
      p.translate(pass.origin.x, pass.origin.y);
      p.rotate(-plan.angle);
      p.setPen(ToQColor(pass.colour));
      p.drawText(QPoint(0, metrics.ascent()), caption);
      p.restore();
    }
  }
};

class ImageWidget final : public ControlWidget {
 public:
  using ControlWidget::ControlWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    auto* image = static_cast<TImage*>(control_);
    if (image == nullptr || image->Picture().Empty()) return;
    const TPicture& picture = image->Picture();
    // Decoded once per picture content; LoadFromBytes replaces the buffer.
    const auto key = std::make_pair(picture.Data().data(), picture.Data().size());
    if (key != key_ || transparent_ != image->Transparent()) {
      key_ = key;
      transparent_ = image->Transparent();
      decoded_ = DecodePicture(picture);
      if (transparent_ && !decoded_.isNull()) {
        // The colour of the bottom-left pixel is left out.
        decoded_ = decoded_.convertToFormat(QImage::Format_ARGB32);
        const QRgb key_colour = decoded_.pixel(0, decoded_.height() - 1);
        for (int y = 0; y < decoded_.height(); ++y) {
          auto* line = reinterpret_cast<QRgb*>(decoded_.scanLine(y));
          for (int x = 0; x < decoded_.width(); ++x) {
            if (line[x] == key_colour) line[x] = qRgba(0, 0, 0, 0);
          }
        }
      }
    }
    if (decoded_.isNull()) return;  // a damaged picture draws nothing
    const ControlRect r = image->PictureRect(decoded_.width(), decoded_.height());
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    p.drawImage(QRect(r.left, r.top, r.width, r.height), decoded_);
  }

 private:
  std::pair<const std::uint8_t*, std::size_t> key_{nullptr, 0};
  bool transparent_ = false;
  QImage decoded_;
};

class LabelWidget final : public ControlWidget {
 public:
  using ControlWidget::ControlWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    auto* label = static_cast<TLabel*>(control_);
    if (label == nullptr) return;
    QPainter p(this);
    if (!label->Transparent()) p.fillRect(rect(), ToQColor(label->DrawColor()));
    p.setFont(ToQFont(label->DrawFont()));
    p.setPen(ToQColor(label->DrawFont().Color()));
    int flags = label->WordWrap() ? Qt::TextWordWrap : 0;
    switch (label->Alignment()) {
      case TAlignment::taLeftJustify: flags |= Qt::AlignLeft; break;
      case TAlignment::taRightJustify: flags |= Qt::AlignRight; break;
      case TAlignment::taCenter: flags |= Qt::AlignHCenter; break;
    }
    switch (label->Layout()) {
      case TTextLayout::tlTop: flags |= Qt::AlignTop; break;
      case TTextLayout::tlCenter: flags |= Qt::AlignVCenter; break;
      case TTextLayout::tlBottom: flags |= Qt::AlignBottom; break;
    }
    p.drawText(rect(), flags, ToQString(label->Caption()));
  }
};

class PageControlWidget final : public ControlWidget {
 public:
  PageControlWidget(TPageControl& control, Presentation& owner) : ControlWidget(control, owner) {
    if (auto* panel = dynamic_cast<TAdvertisePanel*>(&control)) {
      timer_.setSingleShot(false);
      QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (auto* p = dynamic_cast<TAdvertisePanel*>(control_)) p->Tick();
      });
      panel->OnTimerChanged = [this, panel] { FollowTimer(*panel); };
      FollowTimer(*panel);  // a show may have started before the widget
    }
  }
  ~PageControlWidget() override { PageControlWidget::Detach(); }
  void Detach() override {
    timer_.stop();
    if (auto* panel = dynamic_cast<TAdvertisePanel*>(control_)) panel->OnTimerChanged = nullptr;
    ControlWidget::Detach();
  }
  void ControlDestroyed() override {
    timer_.stop();
    ControlWidget::ControlDestroyed();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    auto* control = static_cast<TPageControl*>(control_);
    if (control == nullptr) return;
    QPainter p(this);
    p.fillRect(rect(), ToQColor(control->DrawColor()));
    // The raised frame around the pages, below the tabs.
    const ControlRect client = control->ClientRect();
    const QRect frame(client.left - TPageControl::kFrameWidth, client.top - TPageControl::kFrameWidth,
                      client.width + 2 * TPageControl::kFrameWidth, client.height + 2 * TPageControl::kFrameWidth);
    p.setPen(Qt::white);
    p.drawLine(frame.topLeft(), frame.topRight());
    p.drawLine(frame.topLeft(), frame.bottomLeft());
    p.setPen(QColor(0x40, 0x40, 0x40));
    p.drawLine(frame.bottomLeft(), frame.bottomRight());
    p.drawLine(frame.topRight(), frame.bottomRight());
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawLine(frame.bottomLeft() + QPoint(1, -1), frame.bottomRight() + QPoint(-1, -1));
    p.drawLine(frame.topRight() + QPoint(-1, 1), frame.bottomRight() + QPoint(-1, -1));
    if (!control->TabsShowing()) return;
    // A row of tabs over the pages, the active one raised and joined to
    // its page.
    p.setFont(ToQFont(control->DrawFont()));
    const QFontMetrics metrics(p.font());
    int x = 2;
    for (const TTabSheet* page : control->PageList()) {
      if (!page->TabVisible()) continue;
      const QString caption = ToQString(page->Caption());
      const int w = metrics.horizontalAdvance(caption) + 16;
      const bool active = page == control->ActivePage();
      const QRect tab(x, active ? 0 : 2, w, TPageControl::kTabHeight - (active ? 0 : 2));
      p.fillRect(tab, ToQColor(active ? page->DrawColor() : control->DrawColor()));
      p.setPen(Qt::white);
      p.drawLine(tab.topLeft(), tab.bottomLeft());
      p.drawLine(tab.topLeft(), tab.topRight());
      p.setPen(QColor(0x80, 0x80, 0x80));
      p.drawLine(tab.topRight(), tab.bottomRight());
      p.setPen(ToQColor(control->DrawFont().Color()));
      p.drawText(tab, Qt::AlignCenter, caption);
      x += w;
    }
  }

 private:
  void FollowTimer(const TAdvertisePanel& panel) {
    // Like a window timer, never more often than every 10 ms: an interval
    // of 0 would otherwise turn pages as fast as the loop spins.
    constexpr std::uint32_t kShortest = 10;
    const std::uint32_t interval = std::clamp<std::uint32_t>(panel.Timer().interval, kShortest, 0x7FFFFFFF);
    timer_.setInterval(static_cast<int>(interval));
    if (panel.Timer().enabled) {
      timer_.start();
    } else {
      timer_.stop();
    }
  }

  QTimer timer_;
};

class TabSheetWidget final : public ControlWidget {
 public:
  using ControlWidget::ControlWidget;

 protected:
  bool ShouldShow() const override {
    auto* page = static_cast<TTabSheet*>(control_);
    return page->Visible() && page->PageControl() != nullptr && page->PageControl()->ActivePage() == page;
  }
  void paintEvent(QPaintEvent*) override {
    if (control_ == nullptr) return;
    QPainter p(this);
    p.fillRect(rect(), ToQColor(control_->DrawColor()));
  }
};

// Watches the host's size for the controls that lie on the form itself.
class HostWatcher final : public QObject {
 public:
  HostWatcher(QWidget& host, Presentation& owner);
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Presentation& owner_;
};

class Presentation {
 public:
  Presentation(ProjectForm& form, QWidget& host) : host_(host), watcher_(host, *this) {
    SubstituteFaces();
    for (int i = 0; i < form.ComponentCount(); ++i) {
      auto* control = dynamic_cast<TControl*>(form.Components(i));
      if (control == nullptr) continue;
      ControlWidget* widget = MakeWidget(*control);
      widget->setParent(&host);
      widgets_[control] = widget;
      order_.push_back(control);
    }
    // Children onto their parents' widgets; windowed controls over the
    // drawn-only ones that share their parent.
    for (TControl* control : order_) {
      if (TWinControl* parent = control->Parent()) {
        auto it = widgets_.find(parent);
        if (it != widgets_.end()) widgets_[control]->setParent(it->second);
      }
    }
    for (TControl* control : order_) {
      if (dynamic_cast<TWinControl*>(control) != nullptr) widgets_[control]->raise();
    }
    RealignForm();
    for (TControl* control : order_) widgets_[control]->Relocate();
  }

  ~Presentation() {
    // Widgets belong to the host and may outlive this object; widgets and
    // controls forget each other now.
    for (auto& [control, widget] : widgets_) widget->Detach();
  }

  bool Empty() const { return order_.empty(); }

  void RealignForm() {
    std::vector<TControl*> top_level;
    for (TControl* control : order_) {
      if (widgets_[control]->Control() != nullptr && control->Parent() == nullptr) top_level.push_back(control);
    }
    AlignControls(top_level, {0, 0, host_.width(), host_.height()});
  }

 private:
  ControlWidget* MakeWidget(TControl& control) {
    if (auto* backdrop = dynamic_cast<TBackdrop*>(&control)) return new BackdropWidget(*backdrop, *this);
    if (auto* label = dynamic_cast<TRotate3DLabel*>(&control)) return new RotatedLabelWidget(*label, *this);
    if (auto* image = dynamic_cast<TImage*>(&control)) return new ImageWidget(*image, *this);
    if (auto* label = dynamic_cast<TLabel*>(&control)) return new LabelWidget(*label, *this);
    if (auto* pages = dynamic_cast<TPageControl*>(&control)) return new PageControlWidget(*pages, *this);
    if (auto* page = dynamic_cast<TTabSheet*>(&control)) return new TabSheetWidget(*page, *this);
    return new ControlWidget(control, *this);
  }

  QWidget& host_;
  HostWatcher watcher_;
  std::map<TControl*, ControlWidget*> widgets_;  // owned by Qt's widget tree
  std::vector<TControl*> order_;
};

void ControlWidget::RealignForm() { owner_.RealignForm(); }

HostWatcher::HostWatcher(QWidget& host, Presentation& owner) : owner_(owner) { host.installEventFilter(this); }

bool HostWatcher::eventFilter(QObject*, QEvent* event) {
  if (event->type() == QEvent::Resize) owner_.RealignForm();
  return false;
}

}  // namespace

class QtPresentation::Impl {
 public:
  Impl(ProjectForm& form, QWidget& host) : presentation(form, host) {}
  Presentation presentation;
};

QtPresentation::QtPresentation(ProjectForm& form, QWidget& host) : impl_(std::make_unique<Impl>(form, host)) {}
QtPresentation::~QtPresentation() = default;

bool QtPresentation::Empty() const { return impl_->presentation.Empty(); }
void QtPresentation::RealignForm() { impl_->presentation.RealignForm(); }

std::unique_ptr<QtPresentation> QtPresentation::AttachToMainWindow(ProjectForm& form, QMainWindow& window) {
  bool any = false;
  for (int i = 0; i < form.ComponentCount() && !any; ++i) any = dynamic_cast<TControl*>(form.Components(i)) != nullptr;
  if (!any) return nullptr;
  auto* client = new QWidget;  // the window owns it
  window.setCentralWidget(client);
  if (const QScreen* screen = window.screen()) window.setGeometry(screen->geometry());
  window.setWindowState(window.windowState() | Qt::WindowFullScreen);
  return std::make_unique<QtPresentation>(form, *client);
}

QImage DecodePicture(const TPicture& picture) {
  const auto& data = picture.Data();
  if (data.empty()) return {};
  const char* format = picture.Format() == PictureFormat::kJpeg ? "JPG" : "BMP";
  return QImage::fromData(data.data(), static_cast<int>(data.size()), format);
}

}  // namespace brimwell
