// Repainting the main form's backdrop: the 256 solid bands of a 1024 x 768
// gradient, against Qt's own linear gradient over the same area, and a
// turned 3-D caption. Run: build/bench/presentation_bench (offscreen).
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include "presentation/backdrop.h"
#include "presentation/rotate_3d_label.h"

namespace brimwell {
namespace {

void BM_BackdropBands(benchmark::State& state) {
  TBackdrop backdrop(nullptr);
  backdrop.SetDirection(static_cast<TDirection>(state.range(0)));
  backdrop.SetBounds(0, 0, 1024, 768);
  QImage image(1024, 768, QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter p(&image);
    backdrop.PaintBands([&](const GradientBand& b) {
      if (!b.Empty()) {
        p.fillRect(QRect(b.left, b.top, b.right - b.left, b.bottom - b.top),
                   QColor(RedOf(b.rgb), GreenOf(b.rgb), BlueOf(b.rgb)));
      }
    });
  }
  state.SetLabel(std::string(kDirectionInfo.names[static_cast<std::size_t>(state.range(0))]));
}
BENCHMARK(BM_BackdropBands)->DenseRange(0, 7)->Unit(benchmark::kMicrosecond);

void BM_QtLinearGradient(benchmark::State& state) {
  QImage image(1024, 768, QImage::Format_RGB32);
  QLinearGradient g(0, 0, 0, 768);
  g.setColorAt(0, Qt::blue);
  g.setColorAt(1, Qt::black);
  for (auto _ : state) {
    QPainter p(&image);
    p.fillRect(image.rect(), g);
  }
}
BENCHMARK(BM_QtLinearGradient)->Unit(benchmark::kMicrosecond);

void BM_TurnedRaisedCaption(benchmark::State& state) {
  TRotate3DLabel label(nullptr);
  label.SetBounds(0, 0, 600, 600);
  label.SetAlignment(TAlignment::taCenter);
  label.LabelStyle().SetAngle(static_cast<int>(state.range(0)));
  QFont font("Liberation Sans");
  font.setPixelSize(40);
  font.setBold(true);
  const QString caption = "Brimwell Sample Tool 2.1";
  QImage image(600, 600, QImage::Format_RGB32);
  for (auto _ : state) {
    const QFontMetrics metrics(font);
    const LabelPaintPlan plan = label.PlanPaint(metrics.horizontalAdvance(caption), metrics.height());
    QPainter p(&image);
    p.setFont(font);
    for (const LabelTextPass& pass : plan.passes) {
      p.save();
      p.translate(pass.origin.x, pass.origin.y);
      p.rotate(-plan.angle);
      p.setPen(QColor(RedOf(ColorToRGB(pass.colour)), GreenOf(ColorToRGB(pass.colour)), BlueOf(ColorToRGB(pass.colour))));
      p.drawText(QPoint(0, metrics.ascent()), caption);
      p.restore();
    }
  }
}
BENCHMARK(BM_TurnedRaisedCaption)->Arg(0)->Arg(45)->Arg(90)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace brimwell

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  int qt_argc = 1;
  QGuiApplication app(qt_argc, argv);  // fonts need a GUI application
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
