// The presentation controls drawn with Qt offscreen into an image, checked
// pixel by pixel: gradient edges, the sides of the 3-D effects, a turned
// label's shape, pages turning during a copy, damaged pictures.
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

#include "engine/component_calls.h"
#include "engine/parameter_objects.h"
#include "presentation/advertise_panel.h"
#include "presentation/backdrop.h"
#include "presentation/image.h"
#include "presentation/presentation_classes.h"
#include "presentation/qt_presentation.h"
#include "presentation/rotate_3d_label.h"
#include "tests/engine/engine_fixture.h"

namespace brimwell::testing {
namespace {

class QtPresentationTest : public EngineTest {
 protected:
  static void SetUpTestSuite() {
    if (QApplication::instance() == nullptr) {
      static int argc = 1;
      static char name[] = "presentation_tests";
      static char* argv[] = {name, nullptr};
      new QApplication(argc, argv);  // lives for the whole test program
    }
  }
  QtPresentationTest() { RegisterPresentationClasses(registry_); }

  // Draws the loaded form on a host of that size and returns the picture.
  QImage Render(int width = 400, int height = 300) {
    if (!presentation_) {
      host_ = std::make_unique<QWidget>();
      host_->resize(width, height);
      presentation_ = std::make_unique<QtPresentation>(*form_, *host_);
    }
    QApplication::processEvents();
    return host_->grab().toImage().convertToFormat(QImage::Format_RGB32);
  }

  // A solid backdrop of one colour under everything else.
  static std::string Solid(int colour) {
    return R"({"class": "TBackdrop", "name": "Back", "properties": {"StartColor": )" + std::to_string(colour) +
           R"(, "EndColor": )" + std::to_string(colour) + "}}";
  }

  void TearDown() override {
    presentation_.reset();
    host_.reset();
  }

  std::unique_ptr<QWidget> host_;
  std::unique_ptr<QtPresentation> presentation_;
};

// The mean position of the pixels a predicate picks, and how many.
struct Spot {
  double x = 0, y = 0;
  int count = 0;
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
};
template <class Pick>
Spot Locate(const QImage& image, Pick pick) {
  Spot s;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (!pick(QColor(image.pixel(x, y)))) continue;
      s.x += x;
      s.y += y;
      ++s.count;
      s.left = std::min(s.left, x);
      s.right = std::max(s.right, x);
      s.top = std::min(s.top, y);
      s.bottom = std::max(s.bottom, y);
    }
  }
  if (s.count > 0) {
    s.x /= s.count;
    s.y /= s.count;
  }
  return s;
}

bool IsWhite(const QColor& c) { return c.red() > 235 && c.green() > 235 && c.blue() > 235; }
bool IsGrey(const QColor& c) {
  return c.red() >= 0x70 && c.red() <= 0x90 && std::abs(c.red() - c.green()) < 8 && std::abs(c.red() - c.blue()) < 8;
}
bool IsRed(const QColor& c) { return c.red() > 200 && c.green() < 60 && c.blue() < 60; }

TEST_F(QtPresentationTest, EachGradientStartsAndEndsWithItsColours) {
  const QRgb start = qRgb(255, 0, 0), end = qRgb(0, 255, 0);  // StartColor red, EndColor lime
  struct Case {
    const char* direction;
    bool vertical;  // bands side by side
    QRgb first, last;
  };
  const Case cases[] = {{"bdUp", false, start, end},      {"bdDown", false, end, start},
                        {"bdLeft", true, start, end},     {"bdRight", true, end, start},
                        {"bdHorzIn", false, end, end},    {"bdHorzOut", false, start, start},
                        {"bdVertIn", true, start, start}, {"bdVertOut", true, end, end}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.direction);
    TearDown();
    Start({});
    Load(std::string(R"([{"class": "TBackdrop", "name": "Back", "properties": {"StartColor": 255, "EndColor": 65280,
                                                                               "Direction": ")") +
         c.direction + "\"}}]");
    QImage image = Render(300, 200);
    for (int i = 0; i < (c.vertical ? 200 : 300); i += 37) {  // along the whole edge
      EXPECT_EQ(c.vertical ? image.pixel(0, i) : image.pixel(i, 0), c.first);
      EXPECT_EQ(c.vertical ? image.pixel(299, i) : image.pixel(i, 199), c.last);
    }
    const bool mirrored = std::string(c.direction).find("In") != std::string::npos ||
                          std::string(c.direction).find("Out") != std::string::npos;
    if (mirrored) {  // the middle has the other colour
      const QRgb middle = c.first == start ? end : start;
      EXPECT_EQ(c.vertical ? image.pixel(150, 100) : image.pixel(150, 100), middle);
    }
  }
}

TEST_F(QtPresentationTest, RaisedAndRecessedPutHighlightAndShadeOnOppositeSides) {
  for (const char* style : {"A3dRaised", "A3dResit"}) {
    SCOPED_TRACE(style);
    TearDown();
    Start({});
    Load("[" + Solid(0xFF0000) + R"(, {"class": "TRotate3DLabel", "name": "T", "properties": {"Parent": "Back",
            "Width": 400, "Height": 300, "Alignment": "taCenter", "Caption": "IIII HHHH",
            "Font": {"Size": 40, "Color": 255}, "LabelStyle": {"AStyle3D": ")" + style + R"("}}}])");
    QImage image = Render();
    Spot white = Locate(image, IsWhite), grey = Locate(image, IsGrey), red = Locate(image, IsRed);
    ASSERT_GT(white.count, 20);
    ASSERT_GT(grey.count, 20);
    ASSERT_GT(red.count, 200);
    if (std::string(style) == "A3dRaised") {
      EXPECT_LT(white.x, grey.x);  // light from the top left
      EXPECT_LT(white.y, grey.y);
    } else {
      EXPECT_GT(white.x, grey.x);
      EXPECT_GT(white.y, grey.y);
    }
    // The caption is centred.
    EXPECT_NEAR(red.x, 200, 12);
    EXPECT_NEAR(red.y, 150, 12);
  }
}

TEST_F(QtPresentationTest, AQuarterTurnedLabelIsTallerThanWide) {
  Load("[" + Solid(0xFF0000) + R"(, {"class": "TRotate3DLabel", "name": "T", "properties": {"Parent": "Back",
          "Width": 300, "Height": 300, "Alignment": "taCenter", "Caption": "A long caption",
          "Font": {"Size": 20, "Color": 255}, "LabelStyle": {"Angle": 90, "AStyle3D": "A3dNormal"}}}])");
  Spot upright = Locate(Render(300, 300), IsRed);
  ASSERT_GT(upright.count, 100);
  EXPECT_GT(upright.bottom - upright.top, 2 * (upright.right - upright.left));
  EXPECT_NEAR((upright.top + upright.bottom) / 2.0, 150, 10);  // centred on the label

  Find<TRotate3DLabel>("T")->LabelStyle().SetAngle(0);
  Spot flat = Locate(Render(), IsRed);
  EXPECT_GT(flat.right - flat.left, 2 * (flat.bottom - flat.top));
}

TEST_F(QtPresentationTest, TheOpaqueBoxIsFilledWithTheLabelsColour) {
  Load("[" + Solid(0xFF0000) + R"(, {"class": "TRotate3DLabel", "name": "T", "properties": {"Parent": "Back",
          "Width": 300, "Height": 300, "Alignment": "taCenter", "Caption": "Boxed", "MyTransparent": false,
          "Color": 65535, "Font": {"Size": 20, "Color": 255}, "LabelStyle": {"Angle": 45}}}])");
  Spot yellow = Locate(Render(300, 300), [](const QColor& c) { return c == QColor(255, 255, 0); });
  ASSERT_GT(yellow.count, 500);
  EXPECT_NEAR(yellow.x, 150, 6);
  EXPECT_NEAR(yellow.y, 150, 6);
  // Turned 45 degrees: the box reaches further up and down than a flat one would.
  EXPECT_GT(yellow.bottom - yellow.top, 40);
}

class QtAdvertTest : public QtPresentationTest {
 protected:
  void LoadPanel(const std::string& behavior) {
    std::string components = "[" + Solid(0x000000) + R"(, {"class": "TInstallFileGroup", "name": "Group"},
        {"class": "TAdvertisePanel", "name": "Ads", "properties": {"Container": "Group", "Parent": "Back",
         "Behavior": )" + behavior + "}}";
    const int colours[] = {0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF};
    for (int i = 0; i < 4; ++i) {
      components += R"(, {"class": "TTabSheet", "name": "P)" + std::to_string(i) +
                    R"(", "properties": {"PageControl": "Ads", "Color": )" + std::to_string(colours[i]) + "}}";
    }
    Load(components + "]");
    group_ = Find<TInstallFileGroup>("Group");
    app_.SetScreenSize({400, 300});
  }
  void Progress(int percent) {
    TFileStatusParameter status;
    status.TotalPercent = percent;
    group_->BroadcastComponentCall(kCallProgress, &status);
  }
  QRgb Middle() { return Render().pixel(200, 90); }  // the panel's centre

  TInstallFileGroup* group_ = nullptr;
};

TEST_F(QtAdvertTest, PagesTurnOnScreenAsTheCopyProgresses) {
  LoadPanel("{}");
  EXPECT_EQ(Middle(), qRgb(0, 0, 0));  // hidden until the copy starts
  group_->BroadcastComponentCall(kCallBeforeInstallObjects, group_);
  EXPECT_EQ(Middle(), qRgb(255, 0, 0));  // the first page, centred 40 % x 50 % of the screen
  QImage shown = Render();
  EXPECT_EQ(shown.pixel(200, 29), qRgb(0, 0, 0));  // above the panel: top = R(90 - 60) = 30
  EXPECT_EQ(shown.pixel(200, 30), qRgb(255, 255, 255));  // its frame
  Progress(24);
  EXPECT_EQ(Middle(), qRgb(255, 0, 0));
  Progress(25);
  EXPECT_EQ(Middle(), qRgb(0, 255, 0));
  Progress(80);
  EXPECT_EQ(Middle(), qRgb(0, 0, 255));
  group_->BroadcastComponentCall(kCallPassDone, group_);
  EXPECT_EQ(Middle(), qRgb(0, 0, 0));
}

TEST_F(QtAdvertTest, TheTimerTurnsPagesByItself) {
  LoadPanel(R"({"FlipMethod": "fmTimeInterval", "IncrementTime": 5})");
  group_->BroadcastComponentCall(kCallBeforeInstallObjects, group_);
  auto* panel = Find<TAdvertisePanel>("Ads");
  Render();
  QElapsedTimer clock;
  clock.start();
  while (panel->ActivePageIndex() < 2 && clock.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_GE(panel->ActivePageIndex(), 2);
  group_->BroadcastComponentCall(kCallPassDone, group_);
  const int page = panel->ActivePageIndex();
  clock.restart();
  while (clock.elapsed() < 50) QApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(panel->ActivePageIndex(), page);  // stopped
}

TEST_F(QtPresentationTest, DamagedPicturesAndEmptyControlsDrawNothingAndNeverFail) {
  // A bitmap header that promises 64 x 64 pixels and carries none.
  std::vector<std::uint8_t> bmp = {'B', 'M', 54, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 64, 0, 0, 0, 64, 0, 0, 0,
                                   1, 0, 24, 0};
  bmp.resize(54, 0);
  Load("[" + Solid(0x00FF00) + R"(, {"class": "TImage", "name": "I", "properties": {"Parent": "Back",
          "Width": 100, "Height": 100, "Stretch": true}},
          {"class": "TAdvertisePanel", "name": "Empty", "properties": {"Parent": "Back",
           "Behavior": {"VisibleUntilCopy": true}, "Left": 200, "Width": 0, "Height": 0}},
          {"class": "TRotate3DLabel", "name": "Nothing", "properties": {"Parent": "Back"}}])");
  Find<TImage>("I")->Picture().LoadFromBytes(bmp);
  QImage image = Render();
  EXPECT_EQ(image.pixel(50, 50), qRgb(0, 255, 0));
  EXPECT_TRUE(DecodePicture(Find<TImage>("I")->Picture()).isNull());

  // A good picture is drawn, stretched over the control.
  QImage good(4, 4, QImage::Format_RGB32);
  good.fill(qRgb(255, 0, 255));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  good.save(&buffer, "BMP");
  Find<TImage>("I")->Picture().LoadFromBytes(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  Find<TImage>("I")->Invalidate();
  image = Render();
  EXPECT_EQ(image.pixel(50, 50), qRgb(255, 0, 255));
  EXPECT_EQ(image.pixel(99, 99), qRgb(255, 0, 255));
  EXPECT_EQ(image.pixel(101, 101), qRgb(0, 255, 0));

  // JPEG pictures decode too, centred at their own size.
  QImage photo(20, 10, QImage::Format_RGB32);
  photo.fill(qRgb(0, 0, 255));
  bytes.clear();
  QBuffer jpeg(&bytes);
  jpeg.open(QIODevice::WriteOnly);
  ASSERT_TRUE(photo.save(&jpeg, "JPG", 95));
  auto* image_control = Find<TImage>("I");
  image_control->SetStretch(false);
  image_control->SetCenter(true);
  image_control->Picture().LoadFromBytes(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  EXPECT_EQ(image_control->Picture().Format(), PictureFormat::kJpeg);
  image = Render();
  const QColor middle(image.pixel(50, 50));
  EXPECT_GT(middle.blue(), 240);
  EXPECT_LT(middle.red(), 16);
  EXPECT_EQ(image.pixel(50, 42), qRgb(0, 255, 0));  // 10 pixels high: rows 45 to 54
}

TEST_F(QtPresentationTest, ControlsFreedFirstLeaveTheirWidgetsHidden) {
  Load("[" + Solid(0x00FF00) + R"(, {"class": "TBackdrop", "name": "Inner", "properties": {"Parent": "Back",
          "Align": "alNone", "Width": 100, "Height": 100, "StartColor": 255, "EndColor": 255}}])");
  EXPECT_EQ(Render().pixel(50, 50), qRgb(255, 0, 0));
  delete Find<TBackdrop>("Inner");
  EXPECT_EQ(Render().pixel(50, 50), qRgb(0, 255, 0));
  form_.reset();  // every control gone before the widgets
  Render();
}

}  // namespace
}  // namespace brimwell::testing
