// The screenshot cases of the main form: a backdrop in each direction with
// the product's title, rotated labels in each style at 0, 45 and 90
// degrees, and an advertising page during a copy.
#include <QBuffer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <string>

#include "apps/screens/screen_stage.h"
#include "engine/component_calls.h"
#include "engine/install_file_group.h"
#include "engine/parameter_objects.h"
#include "engine/project_form.h"
#include "framework/base64.h"

namespace brimwell::screens {
namespace {

const char* const kDirections[] = {"bdUp",     "bdDown",    "bdLeft",   "bdRight",
                                   "bdHorzIn", "bdHorzOut", "bdVertIn", "bdVertOut"};

// The title the product's main form usually carries.
std::string Title(const std::string& parent) {
  return R"({"class": "TRotate3DLabel", "name": "Title", "properties": {"Parent": ")" + parent +
         R"(", "Left": 24, "Top": 16, "Width": 620, "Height": 60, "Caption": "Brimwell Sample Tool 2.1",
          "Font": {"Name": "Arial", "Size": 30, "Style": ["fsBold", "fsItalic"], "Color": 16777215},
          "LabelStyle": {"AStyle3D": "A3dShadowed", "AHShadeOffSet": 3, "AVShadeOffSet": 3, "AShadeRightBottom": 0}}})";
}

std::string Backdrop(const std::string& direction, int start, int end) {
  return R"({"class": "TBackdrop", "name": "Back", "properties": {"Direction": ")" + direction +
         R"(", "StartColor": )" + std::to_string(start) + R"(, "EndColor": )" + std::to_string(end) + "}}";
}

// Three labels of one style, turned 0, 45 and 90 degrees.
std::string StyledLabels(const std::string& style, const std::string& word, bool opaque) {
  std::string out;
  const int angles[] = {0, 45, 90};
  const int lefts[] = {0, 342, 684};
  for (int i = 0; i < 3; ++i) {
    const std::string angle = std::to_string(angles[i]);
    out += R"(, {"class": "TRotate3DLabel", "name": "Label)" + angle + R"(", "properties": {"Parent": "Back",
        "Left": )" + std::to_string(lefts[i]) + R"(, "Top": 100, "Width": 340, "Height": 560,
        "Alignment": "taCenter", "Caption": ")" + word + " " + angle + R"( degrees",
        "MyTransparent": )" + (opaque ? "false" : "true") + R"(, "Color": 14745599,
        "Font": {"Name": "Arial", "Size": 24, "Style": ["fsBold"], "Color": 8388608},
        "LabelStyle": {"Angle": )" + angle + R"(, "AStyle3D": ")" + style + R"("}}})";
  }
  return out;
}

// A picture for an advertising page, made here so the case needs no file:
// a bitmap of a few coloured shapes, inlined as the project would carry it.
std::string PagePicture(QColor from, QColor to) {
  QImage image(220, 267, QImage::Format_RGB32);
  QPainter p(&image);
  QLinearGradient g(0, 0, 220, 267);
  g.setColorAt(0, from);
  g.setColorAt(1, to);
  p.fillRect(image.rect(), g);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(255, 255, 255, 200));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPoint(110, 90), 55, 55);
  p.drawRect(50, 170, 120, 60);
  p.end();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "BMP");
  std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
  return "data:image/bmp;base64," + Base64Encode(data);
}

std::string AdvertPage(int index, const std::string& heading, const std::string& text, QColor from, QColor to) {
  const std::string page = "Page" + std::to_string(index);
  return R"(, {"class": "TTabSheet", "name": ")" + page + R"(", "properties": {"PageControl": "Ads",
              "Caption": ")" + heading + R"(", "Color": 16777215}},
            {"class": "TImage", "name": "Picture)" + std::to_string(index) + R"(", "properties": {"Parent": ")" + page +
         R"(", "Left": 16, "Top": 16, "Width": 220, "Height": 267, "Picture": ")" + PagePicture(from, to) + R"("}},
            {"class": "TLabel", "name": "Heading)" + std::to_string(index) + R"(", "properties": {"Parent": ")" + page +
         R"(", "Left": 252, "Top": 16, "Width": 236, "Height": 30, "Caption": ")" + heading + R"(",
              "Transparent": true, "Font": {"Name": "Arial", "Size": 14, "Style": ["fsBold"], "Color": 8388608}}},
            {"class": "TLabel", "name": "Text)" + std::to_string(index) + R"(", "properties": {"Parent": ")" + page +
         R"(", "Left": 252, "Top": 56, "Width": 236, "Height": 227, "Caption": ")" + text + R"(",
              "Transparent": true, "WordWrap": true, "Font": {"Name": "Arial", "Size": 12, "Style": []}}})";
}

void AdvertDuringCopy(ScreenStage& stage, bool tabs) {
  std::string components = "[" + Backdrop("bdUp", 0x804000, 0x200000) + ", " + Title("Back") + R"(,
      {"class": "TInstallFileGroup", "name": "Program"},
      {"class": "TAdvertisePanel", "name": "Ads", "properties": {"Container": "Program", "Parent": "Back",
       "Behavior": {"HideTabs": )" + (tabs ? "false, \"RelativeHeight\": 43, \"VerticalCenter\": 34" : "true") + "}}}";
  components += AdvertPage(1, "Fast to start", "Brimwell Sample Tool opens your largest projects in seconds, and keeps them open while you work on something else. Start where you left off, every time.",
                           QColor(40, 120, 200), QColor(10, 40, 90));
  components += AdvertPage(2, "Works with your files",
                           "Reads and writes the formats you already use, so nothing has to be converted. Open a file from a colleague and send it back just as it came.",
                           QColor(230, 140, 30), QColor(150, 40, 20));
  components += AdvertPage(3, "Help when you need it", "Press F1 anywhere for help on what you are doing. The guided tour shows the ten things most people want on their first day.",
                           QColor(60, 170, 90), QColor(10, 80, 40));
  stage.Load(components + "]");
  // The copy: the group starts its pass and reports 40 % of the total.
  auto* group = dynamic_cast<TInstallFileGroup*>(stage.Form().FindComponent("Program"));
  group->BroadcastComponentCall(kCallBeforeInstallObjects, group);
  TFileStatusParameter status;
  status.TotalPercent = 40;
  group->BroadcastComponentCall(kCallProgress, &status);
}

}  // namespace

std::vector<ScreenCase> AllCases() {
  std::vector<ScreenCase> cases;
  const int colours[][2] = {{0xFF0000, 0x000000}, {0x800000, 0xFFC080}, {0x008000, 0x000000}, {0x0000A0, 0x00C0FF},
                            {0x400000, 0xFF8040}, {0x600060, 0xF0B0F0}, {0x404040, 0xE0E0E0}, {0x804000, 0x000000}};
  for (int i = 0; i < 8; ++i) {
    const std::string direction = kDirections[i];
    const int start = colours[i][0], end = colours[i][1];
    cases.push_back({"backdrop-" + direction, "the main form with a " + direction + " backdrop and the title",
                     [direction, start, end](ScreenStage& stage) {
                       stage.Load("[" + Backdrop(direction, start, end) + ", " + Title("Back") + "]");
                     }});
  }
  struct Style {
    const char* name;
    const char* value;
    const char* word;
    bool opaque;
  };
  for (const Style& s : {Style{"raised", "A3dRaised", "Raised", false}, Style{"recessed", "A3dResit", "Recessed", false},
                         Style{"shadowed", "A3dShadowed", "Shadowed", false},
                         Style{"opaque", "A3dRaised", "Opaque", true}}) {
    const std::string value = s.value, word = s.word;
    const bool opaque = s.opaque;
    cases.push_back({std::string("label-") + s.name, std::string("rotated labels, ") + s.name + ", at 0, 45 and 90 degrees",
                     [value, word, opaque](ScreenStage& stage) {
                       stage.Load("[" + Backdrop("bdUp", 0xC0C0C0, 0x606060) + StyledLabels(value, word, opaque) + "]");
                     }});
  }
  cases.push_back({"advert-copy", "an advertising page turned at 40 % of a copy",
                   [](ScreenStage& stage) { AdvertDuringCopy(stage, false); }});
  cases.push_back({"advert-tabs", "the same page of a panel that keeps its tabs",
                   [](ScreenStage& stage) { AdvertDuringCopy(stage, true); }});
  AddWizardCases(cases);
  AddUninstallCases(cases);
  return cases;
}

}  // namespace brimwell::screens
