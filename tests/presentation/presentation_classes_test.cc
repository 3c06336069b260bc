// The presentation components without a window system: gradient bands,
// label style rules and the label's drawing plan, the advertising panel's
// show driven by real component calls, project round trips and refusals.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/component_calls.h"
#include "engine/parameter_objects.h"
#include "presentation/advertise_panel.h"
#include "presentation/backdrop.h"
#include "presentation/image.h"
#include "presentation/label.h"
#include "presentation/presentation_classes.h"
#include "presentation/primary_instance.h"
#include "presentation/rotate_3d_label.h"
#include "tests/engine/engine_fixture.h"

namespace brimwell::testing {
namespace {

using ::testing::ElementsAre;

// --- Gradient -----------------------------------------------------------------

struct Bands {
  std::vector<GradientBand> all;
  // The colour that fills pixel row or column `at` (the last band wins, as
  // on screen).
  std::uint32_t At(int at, bool vertical) const {
    std::uint32_t rgb = 0xDEADBEEF;
    for (const GradientBand& b : all) {
      const int from = vertical ? b.left : b.top, to = vertical ? b.right : b.bottom;
      if (at >= from && at < to) rgb = b.rgb;
    }
    return rgb;
  }
};

Bands BandsOf(TDirection direction, int width, int height, TColor start = clBlue, TColor end = clBlack) {
  TBackdrop backdrop(nullptr);
  backdrop.SetDirection(direction);
  backdrop.SetStartColor(start);
  backdrop.SetEndColor(end);
  backdrop.SetBounds(0, 0, width, height);
  Bands bands;
  backdrop.PaintBands([&](const GradientBand& b) { bands.all.push_back(b); });
  return bands;
}

TEST(GradientTest, MulDivRoundsHalvesAwayFromZero) {
  EXPECT_EQ(MulDiv(1, 1, 2), 1);
  EXPECT_EQ(MulDiv(-1, 1, 2), -1);
  EXPECT_EQ(MulDiv(3, 1, 4), 1);
  EXPECT_EQ(MulDiv(1, 1, 4), 0);
  EXPECT_EQ(MulDiv(5, -255, 255), -5);
  EXPECT_EQ(MulDiv(2000000000, 2000000000, 2000000000), 2000000000);  // no overflow
  EXPECT_EQ(MulDiv(7, 7, 0), -1);
}

TEST(GradientTest, UpFromBlueToBlackOn512PixelsMakes256BandsOfTwo) {
  Bands bands = BandsOf(TDirection::bdUp, 10, 512);
  ASSERT_EQ(bands.all.size(), 256u);
  for (std::size_t i = 0; i < bands.all.size(); ++i) {
    EXPECT_EQ(bands.all[i].top, static_cast<int>(2 * i));
    EXPECT_EQ(bands.all[i].bottom - bands.all[i].top, 2);
    EXPECT_EQ(bands.all[i].right, 10);
  }
  EXPECT_EQ(bands.all.front().rgb, 0xFF0000u);  // pure blue on top
  EXPECT_EQ(bands.all.back().rgb, 0x000000u);   // pure black at the bottom
  EXPECT_EQ(bands.all[128].rgb, 0x7F0000u);     // 255 + MulDiv(128, -255, 255)
}

TEST(GradientTest, EveryDirectionPutsItsColoursAtTheEdgesAndTheMiddle) {
  const std::uint32_t s = 0x0000FF, e = 0x00FF00;  // red start, green end
  struct Case {
    TDirection d;
    bool vertical;
    std::uint32_t first, middle, last;
  };
  // Unmirrored gradients reach the far colour at the far edge; mirrored
  // ones have it in the two middle bands.
  const Case cases[] = {
      {TDirection::bdUp, false, s, 0, e},       {TDirection::bdDown, false, e, 0, s},
      {TDirection::bdLeft, true, s, 0, e},      {TDirection::bdRight, true, e, 0, s},
      {TDirection::bdHorzIn, false, e, s, e},   {TDirection::bdHorzOut, false, s, e, s},
      {TDirection::bdVertIn, true, s, e, s},    {TDirection::bdVertOut, true, e, s, e},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(kDirectionInfo.names[static_cast<int>(c.d)]));
    Bands bands = BandsOf(c.d, 600, 400, clRed, clLime);
    const int extent = c.vertical ? 600 : 400;
    EXPECT_EQ(bands.At(0, c.vertical), c.first);
    EXPECT_EQ(bands.At(extent - 1, c.vertical), c.last);
    if (c.middle != 0) {
      EXPECT_EQ(bands.At(extent / 2, c.vertical), c.middle);
    }
    for (const GradientBand& b : bands.all) {  // bands never leave the area
      EXPECT_GE(b.left, 0);
      EXPECT_GE(b.top, 0);
      EXPECT_LE(b.right, 600);
      EXPECT_LE(b.bottom, 400);
    }
  }
}

TEST(GradientTest, SmallAndEmptyAreasGiveEmptyBandsOnly) {
  Bands bands = BandsOf(TDirection::bdUp, 50, 100);
  int covered = 0;
  for (std::size_t i = 0; i < bands.all.size(); ++i) {
    const GradientBand& b = bands.all[i];
    EXPECT_EQ(b.top, MulDiv(static_cast<int>(i), 100, 256));
    EXPECT_EQ(b.bottom, MulDiv(static_cast<int>(i) + 1, 100, 256));
    covered += b.bottom - b.top;
  }
  EXPECT_EQ(covered, 100);  // every row exactly once
  for (const GradientBand& b : BandsOf(TDirection::bdVertOut, 0, 0).all) EXPECT_TRUE(b.Empty());
}

TEST(GradientTest, SystemColoursAreResolved) {
  Bands bands = BandsOf(TDirection::bdUp, 4, 256, clWindow, clWindowText);
  EXPECT_EQ(bands.all.front().rgb, 0xFFFFFFu);
  EXPECT_EQ(bands.all.back().rgb, 0x000000u);
}

// --- Label style and the label's plan -------------------------------------------

TEST(LabelStyleTest, AngleOutsideAFullTurnBecomesZero) {
  TLabelStyle style;
  int changes = 0;
  style.OnChange = [&] { ++changes; };
  style.SetAngle(45);
  EXPECT_EQ(style.Angle(), 45);
  style.SetAngle(360);
  EXPECT_EQ(style.Angle(), 0);
  style.SetAngle(359);
  style.SetAngle(-10);
  EXPECT_EQ(style.Angle(), 0);
  EXPECT_EQ(changes, 4);
  style.SetAngle(720);  // 0 again: no change, no repaint
  EXPECT_EQ(changes, 4);
}

TEST(LabelStyleTest, LeftTopColourIsKeptAsideWhileTheWhiteSwitchIsOn) {
  TLabelStyle style;
  int changes = 0;
  style.OnChange = [&] { ++changes; };
  style.SetAShadeLeftTop(clYellow);
  EXPECT_EQ(changes, 1);
  style.SetAShadeLTSet(true);  // raised, yellow kept aside: repaint in white
  EXPECT_EQ(style.AShadeLeftTop(), clWhite);
  EXPECT_EQ(style.SavedLeftTop(), clYellow);
  EXPECT_EQ(changes, 2);
  style.SetAShadeLeftTop(clRed);  // ignored while on
  EXPECT_EQ(style.AShadeLeftTop(), clWhite);
  EXPECT_EQ(changes, 2);
  style.SetAShadeLTSet(false);  // yellow comes back, without a notification
  EXPECT_EQ(style.AShadeLeftTop(), clYellow);
  EXPECT_EQ(changes, 2);

  style.SetAStyle3D(T3DEffectShort::A3dShadowed);
  changes = 0;
  style.SetAShadeLTSet(true);  // a shadow draws no highlight: nothing to repaint
  EXPECT_EQ(changes, 0);
}

TEST(LabelStyleTest, ShadeOffsetsRepaintOnlyAShadow) {
  TLabelStyle style;
  int changes = 0;
  style.OnChange = [&] { ++changes; };
  style.SetAHShadeOffSet(3);
  style.SetAVShadeOffSet(3);
  EXPECT_EQ(changes, 0);
  style.SetAStyle3D(T3DEffectShort::A3dShadowed);
  style.SetAHShadeOffSet(4);
  style.SetAVShadeOffSet(-4);
  EXPECT_EQ(changes, 3);
  TLabelStyle copy;
  int copy_changes = 0;
  copy.OnChange = [&] { ++copy_changes; };
  copy.Assign(style);
  EXPECT_EQ(copy_changes, 1);
  EXPECT_EQ(copy.AHShadeOffSet(), 4);
  EXPECT_EQ(copy.AStyle3D(), T3DEffectShort::A3dShadowed);
}

class RotatedLabelTest : public EngineTest {
 protected:
  TRotate3DLabel* Label(int width, int height) {
    auto* label = Make<TRotate3DLabel>("Title");
    label->SetBounds(0, 0, width, height);
    label->SetAlignment(TAlignment::taCenter);
    return label;
  }
};

TEST_F(RotatedLabelTest, ANewLabelIsBoldRaisedAndTransparent) {
  auto* label = Make<TRotate3DLabel>("Title");
  EXPECT_EQ(label->Font().Name(), "Arial");
  EXPECT_TRUE(label->Font().Style().Contains(TFontStyle::fsBold));
  EXPECT_EQ(label->LabelStyle().AStyle3D(), T3DEffectShort::A3dRaised);
  EXPECT_FALSE(label->LabelStyle().AShadeLTSet());
  EXPECT_TRUE(label->MyTransparent());
  EXPECT_EQ(label->Color(), clWindow);
  EXPECT_DOUBLE_EQ(label->Cosine(), 1.0);
  EXPECT_DOUBLE_EQ(label->Sine(), 0.0);
}

TEST_F(RotatedLabelTest, RaisedAtZeroDegreesDrawsHighlightShadeAndCaption) {
  auto* label = Label(200, 50);
  label->Font().SetColor(clRed);
  LabelPaintPlan plan = label->PlanPaint(81, 17);
  const int x = 100 - 40, y = 25 - 8;  // cx - T(81 * 0.5), cy - T(17 * 0.5)
  ASSERT_EQ(plan.passes.size(), 3u);
  EXPECT_EQ(plan.passes[0].origin, (LabelPoint{x - 1, y - 1}));
  EXPECT_EQ(plan.passes[0].colour, clWhite);
  EXPECT_EQ(plan.passes[1].origin, (LabelPoint{x + 1, y + 1}));
  EXPECT_EQ(plan.passes[1].colour, clGray);
  EXPECT_EQ(plan.passes[2].origin, (LabelPoint{x, y}));
  EXPECT_EQ(plan.passes[2].colour, clRed);
  EXPECT_FALSE(plan.box);

  label->LabelStyle().SetAStyle3D(T3DEffectShort::A3dResit);
  plan = label->PlanPaint(81, 17);
  EXPECT_EQ(plan.passes[0].origin, (LabelPoint{x + 1, y + 1}));  // highlight now bottom-right
  EXPECT_EQ(plan.passes[1].origin, (LabelPoint{x - 1, y - 1}));

  label->LabelStyle().SetAStyle3D(T3DEffectShort::A3dShadowed);
  plan = label->PlanPaint(81, 17);
  ASSERT_EQ(plan.passes.size(), 2u);
  EXPECT_EQ(plan.passes[0].origin, (LabelPoint{x + 5, y - 5}));
}

TEST_F(RotatedLabelTest, LeftAndRightAlignmentStartAtTheEdges) {
  auto* label = Label(200, 50);
  label->SetAlignment(TAlignment::taRightJustify);
  EXPECT_EQ(label->PlanPaint(81, 17).passes.back().origin.x, 200 - 81);
  label->SetAlignment(TAlignment::taLeftJustify);
  EXPECT_EQ(label->PlanPaint(81, 17).passes.back().origin.x, 0);
}

TEST_F(RotatedLabelTest, AQuarterTurnStandsTheCaptionAndItsBoxUp) {
  auto* label = Label(60, 300);
  label->LabelStyle().SetAngle(90);
  label->SetMyTransparent(false);
  LabelPaintPlan plan = label->PlanPaint(100, 20);
  EXPECT_NEAR(label->Cosine(), 0.0, 1e-12);
  EXPECT_DOUBLE_EQ(label->Sine(), 1.0);
  EXPECT_EQ(plan.angle, 90);
  // Origin: cx - T(th/2), cy + T(tw/2): the caption reads upwards from there.
  EXPECT_EQ(plan.passes.back().origin, (LabelPoint{30 - 10, 150 + 50}));
  ASSERT_TRUE(plan.box);
  // bw 110, bh 27: the box is 27 wide and 110 tall about the centre.
  EXPECT_THAT(plan.box_corners, ElementsAre(LabelPoint{30 - 13, 150 + 55}, LabelPoint{30 - 13, 150 - 55},
                                            LabelPoint{30 + 13, 150 - 55}, LabelPoint{30 + 13, 150 + 55}));
}

TEST_F(RotatedLabelTest, AnOpaqueLabelDropsItsEffectForGoodAndKeepsItsColour) {
  auto* backdrop = Make<TBackdrop>("Back");
  backdrop->SetColor(clNavy);
  auto* label = Label(200, 50);
  label->SetParent(backdrop);
  label->SetParentColor(true);
  EXPECT_EQ(label->DrawColor(), clNavy);
  label->SetMyTransparent(false);
  EXPECT_FALSE(label->ParentColor());
  EXPECT_EQ(label->Color(), clNavy);
  backdrop->SetColor(clMaroon);
  LabelPaintPlan plan = label->PlanPaint(50, 10);
  EXPECT_EQ(plan.box_colour, clNavy);
  EXPECT_EQ(plan.passes.size(), 1u);  // the caption alone
  label->SetMyTransparent(true);
  EXPECT_EQ(label->LabelStyle().AStyle3D(), T3DEffectShort::A3dNormal);
}

// --- Projects -------------------------------------------------------------------

class PresentationProjectTest : public EngineTest {
 protected:
  PresentationProjectTest() { RegisterPresentationClasses(registry_); }

  // Saves the form, loads the text on a fresh engine and returns it again.
  std::string RoundTrip() {
    std::string saved = SaveProject(*form_);
    Start({});
    LoadProject(saved, registry_, *form_);
    return saved;
  }
  std::string LoadError(const std::string& components) {
    try {
      Load(components);
    } catch (const EProjectError& e) {
      return e.Message();
    }
    return "(loaded)";
  }
};

TEST_F(PresentationProjectTest, EveryClassStartsWithItsDeclaredDefaults) {
  ClassRegistry presentation;
  RegisterPresentationClasses(presentation);
  EXPECT_EQ(FindDefaultMismatches(presentation), std::vector<std::string>{});
}

TEST_F(PresentationProjectTest, TheTwoNewComponentDefaultsSurviveEitherWay) {
  // Unstated: the values a new component has.
  Load(R"([{"class": "TRotate3DLabel", "name": "L"}, {"class": "TAdvertisePanel", "name": "P"}])");
  EXPECT_FALSE(Find<TRotate3DLabel>("L")->LabelStyle().AShadeLTSet());
  EXPECT_EQ(Find<TAdvertisePanel>("P")->Behavior().IncrementTime(), 5000u);

  // Stated as the historical stored defaults: kept, and kept again on save.
  Start({});
  Load(R"([{"class": "TRotate3DLabel", "name": "L", "properties": {"LabelStyle": {"AShadeLTSet": true}}},
           {"class": "TAdvertisePanel", "name": "P",
            "properties": {"Behavior": {"IncrementTime": 20000, "FlipMethod": "fmTimeInterval"}}}])");
  RoundTrip();
  EXPECT_TRUE(Find<TRotate3DLabel>("L")->LabelStyle().AShadeLTSet());
  EXPECT_EQ(Find<TAdvertisePanel>("P")->Behavior().IncrementTime(), 20000u);
  EXPECT_EQ(Find<TAdvertisePanel>("P")->Behavior().FlipMethod(), TFlipMethod::fmTimeInterval);
}

TEST_F(PresentationProjectTest, ATreeOfControlsRoundTripsWithItsPicture) {
  Load(R"([{"class": "TBackdrop", "name": "Back", "properties": {"Direction": "bdVertOut", "StartColor": 255}},
           {"class": "TRotate3DLabel", "name": "Title",
            "properties": {"Parent": "Back", "Caption": "Acme Tool", "Alignment": "taCenter",
                           "Font": {"Size": 28, "Style": ["fsBold", "fsItalic"], "Color": 16777215},
                           "LabelStyle": {"Angle": 45, "AStyle3D": "A3dShadowed"}}},
           {"class": "TImage", "name": "Logo",
            "properties": {"Parent": "Back", "Picture": ")" BRIMWELL_TEST_DATA R"(/framework/tiny.bmp", "Stretch": true}}])");
  RoundTrip();
  auto* back = Find<TBackdrop>("Back");
  auto* title = Find<TRotate3DLabel>("Title");
  auto* logo = Find<TImage>("Logo");
  ASSERT_TRUE(back && title && logo);
  EXPECT_EQ(back->Direction(), TDirection::bdVertOut);
  EXPECT_EQ(back->StartColor(), clRed);
  EXPECT_EQ(back->Align(), TAlign::alClient);
  EXPECT_THAT(back->Controls(), ElementsAre(title, logo));
  EXPECT_EQ(title->Font().Size(), 28);
  EXPECT_EQ(title->Font().Style(), (TFontStyles{TFontStyle::fsBold, TFontStyle::fsItalic}));
  EXPECT_EQ(title->LabelStyle().Angle(), 45);
  EXPECT_EQ(title->LabelStyle().AStyle3D(), T3DEffectShort::A3dShadowed);
  EXPECT_FALSE(logo->Picture().Empty());
  EXPECT_TRUE(logo->Stretch());

  // A label whose font lost its bold style keeps it lost.
  title->Font().SetStyle({});
  RoundTrip();
  EXPECT_TRUE(Find<TRotate3DLabel>("Title")->Font().Style().Empty());
}

TEST_F(PresentationProjectTest, BadValuesAreRefusedNamingComponentAndProperty) {
  EXPECT_EQ(LoadError(R"([{"class": "TBackdrop", "name": "Back", "properties": {"Width": -5}}])"),
            "component \"Back\" (TBackdrop), property \"Width\": A size cannot be negative (-5)");
  EXPECT_EQ(LoadError(R"([{"class": "TRotate3DLabel", "name": "T", "properties": {"Font": {"Size": 0}}}])"),
            "component \"T\" (TRotate3DLabel), property \"Font.Size\": Font size 0 is outside 1..1000 points");
  EXPECT_THAT(LoadError(R"([{"class": "TImage", "name": "I", "properties": {"Picture": "data:image/bmp;base64,Qk0A"}}])"),
              ::testing::StartsWith("component \"I\" (TImage), property \"Picture\": Bitmap image is not valid"));
  EXPECT_EQ(LoadError(R"([{"class": "TBackdrop", "name": "A", "properties": {"Parent": "B"}},
                          {"class": "TBackdrop", "name": "B", "properties": {"Parent": "A"}}])"),
            "component \"B\" (TBackdrop), property \"Parent\": B cannot be placed inside itself");
  EXPECT_EQ(LoadError(R"([{"class": "TBackdrop", "name": "A"},
                          {"class": "TTabSheet", "name": "Page", "properties": {"Parent": "A"}}])"),
            "component \"Page\" (TTabSheet), property \"Parent\": A page can only lie on a page control, not on A");
  // Angles beyond a full turn load as 0 rather than failing.
  Load(R"([{"class": "TRotate3DLabel", "name": "T", "properties": {"LabelStyle": {"Angle": 400}}}])");
  EXPECT_EQ(Find<TRotate3DLabel>("T")->LabelStyle().Angle(), 0);
}

TEST_F(PresentationProjectTest, BehaviourPercentagesAreClampedOnLoad) {
  Load(R"([{"class": "TAdvertisePanel", "name": "P", "properties": {"Behavior":
            {"RelativeHeight": -7, "RelativeWidth": 250, "VerticalCenter": -1}}}])");
  auto& b = Find<TAdvertisePanel>("P")->Behavior();
  EXPECT_EQ(b.RelativeHeight(), 0);
  EXPECT_EQ(b.RelativeWidth(), 100);
  EXPECT_EQ(b.VerticalCenter(), -1);
}

TEST_F(PresentationProjectTest, AlignedControlsShareTheirParent) {
  Load(R"([{"class": "TBackdrop", "name": "Back", "properties": {"Align": "alNone", "Width": 400, "Height": 300}},
           {"class": "TLabel", "name": "Top", "properties": {"Parent": "Back", "Align": "alTop", "Height": 30}},
           {"class": "TLabel", "name": "Left", "properties": {"Parent": "Back", "Align": "alLeft", "Width": 50}},
           {"class": "TBackdrop", "name": "Rest", "properties": {"Parent": "Back"}}])");
  EXPECT_EQ(Find<TLabel>("Top")->Bounds(), (ControlRect{0, 0, 400, 30}));
  EXPECT_EQ(Find<TLabel>("Left")->Bounds(), (ControlRect{0, 30, 50, 270}));
  EXPECT_EQ(Find<TBackdrop>("Rest")->Bounds(), (ControlRect{50, 30, 350, 270}));
  Find<TBackdrop>("Back")->SetWidth(500);
  EXPECT_EQ(Find<TBackdrop>("Rest")->Bounds(), (ControlRect{50, 30, 450, 270}));
  Find<TLabel>("Top")->SetVisible(false);
  EXPECT_EQ(Find<TBackdrop>("Rest")->Bounds(), (ControlRect{50, 0, 450, 300}));
}

TEST_F(PresentationProjectTest, OneTagOfMinusOneMarksThePrimaryOfEachClass) {
  auto* a = Make<TBackdrop>("A");
  auto* b = Make<TBackdrop>("B");
  auto* label = Make<TRotate3DLabel>("L");
  a->SetTag(kPrimaryTag);
  label->SetTag(kPrimaryTag);
  EXPECT_EQ(PrimaryOf(*b), a);
  b->SetTag(kPrimaryTag);
  EXPECT_EQ(a->Tag(), 0);
  EXPECT_EQ(PrimaryOf(*a), b);
  EXPECT_EQ(PrimaryOf(*label), label);  // each class has its own
  b->SetTag(7);
  EXPECT_EQ(PrimaryOf(*a), nullptr);
  a->SetTag(kPrimaryTag);
  delete a;
  EXPECT_EQ(PrimaryOf(*b), nullptr);

  form_->SetState(ComponentState::kDesigning, true);
  auto* designed = Make<TBackdrop>("C");  // the first in the designer claims it
  auto* second = Make<TBackdrop>("D");
  EXPECT_EQ(designed->Tag(), kPrimaryTag);
  EXPECT_EQ(second->Tag(), 0);
}

// --- The advertising panel --------------------------------------------------------

class AdvertisePanelTest : public PresentationProjectTest {
 protected:
  void LoadPanel(int pages, const std::string& behavior = "{}") {
    std::string components = R"([{"class": "TInstall", "name": "Install1"},
        {"class": "TInstallFileGroup", "name": "Group", "properties": {"Container": "Install1"}},
        {"class": "TAdvertisePanel", "name": "Ads", "properties": {"Container": "Group",
         "Left": 10, "Top": 20, "Width": 300, "Height": 200, "Behavior": )" + behavior + "}}";
    for (int i = 0; i < pages; ++i) {
      components += R"(, {"class": "TTabSheet", "name": "Page)" + std::to_string(i) +
                    R"(", "properties": {"PageControl": "Ads", "Caption": "Page )" + std::to_string(i) + "\"}}";
    }
    Load(components + "]");
    group_ = Find<TInstallFileGroup>("Group");
    panel_ = Find<TAdvertisePanel>("Ads");
  }
  void Progress(int percent) {
    TFileStatusParameter status;
    status.TotalPercent = percent;
    group_->BroadcastComponentCall(kCallProgress, &status);
  }
  int Page() const { return panel_->ActivePageIndex(); }

  TInstallFileGroup* group_ = nullptr;
  TAdvertisePanel* panel_ = nullptr;
};

TEST_F(AdvertisePanelTest, LoadedPanelWaitsHiddenOnItsContainerWithoutTabs) {
  LoadPanel(3);
  EXPECT_FALSE(panel_->Visible());
  EXPECT_EQ(panel_->GrabCall().Container(), group_);
  for (TTabSheet* page : panel_->PageList()) EXPECT_FALSE(page->TabVisible());
  EXPECT_FALSE(panel_->TabsShowing());
  EXPECT_GT(app_.ProcessMessagesCount(), 0);
}

TEST_F(AdvertisePanelTest, VisibleUntilCopyKeepsItShownAndTabsCanStay) {
  LoadPanel(2, R"({"VisibleUntilCopy": true, "HideTabs": false})");
  EXPECT_TRUE(panel_->Visible());
  EXPECT_TRUE(panel_->TabsShowing());
  EXPECT_EQ(panel_->ClientRect(), (ControlRect{2, TPageControl::kTabHeight + 2, 296, 200 - TPageControl::kTabHeight - 4}));
}

TEST_F(AdvertisePanelTest, FourPagesTurnAtAQuarterHalfAndThreeQuarters) {
  LoadPanel(4);
  group_->BroadcastComponentCall(kCallBeforeInstallObjects, group_);
  EXPECT_TRUE(panel_->Visible());
  EXPECT_EQ(panel_->Step(), 25);
  // 1024 x 768 screen: 40 % high, 50 % wide, centred at 50 % / 30 %.
  EXPECT_EQ(panel_->Bounds(), (ControlRect{256, 77, 512, 307}));
  std::vector<int> pages;
  for (int p : {10, 24, 25, 30, 49, 50, 74, 75, 99, 100}) {
    Progress(p);
    pages.push_back(Page());
  }
  EXPECT_THAT(pages, ElementsAre(0, 0, 1, 1, 1, 2, 2, 3, 3, 3));
  EXPECT_GE(app_.Form()->RepaintCount(), 3);  // the form is refreshed at each turn

  group_->BroadcastComponentCall(kCallPassDone, group_);
  EXPECT_FALSE(panel_->Visible());
  EXPECT_FALSE(panel_->Running());
  Progress(100);  // after the pass: nothing
  EXPECT_EQ(Page(), 3);

  // The next pass starts from the first page again.
  group_->BroadcastComponentCall(kCallBeforeInstallObjects, group_);
  EXPECT_EQ(Page(), 0);
}

TEST_F(AdvertisePanelTest, ABigJumpTurnsOnePagePerCall) {
  LoadPanel(4);
  group_->BroadcastComponentCall(kCallBeforeInstallObjects, group_);
  Progress(10);
  Progress(80);
  EXPECT_EQ(Page(), 1);
  Progress(80);
  EXPECT_EQ(Page(), 2);
  Progress(80);
  EXPECT_EQ(Page(), 3);
}

TEST_F(AdvertisePanelTest, OneOrNoPagesNeverTurn) {
  LoadPanel(1);
  group_->BroadcastComponentCall(kCallBeforeInstallObjects, group_);
  EXPECT_EQ(panel_->Step(), 100);
  Progress(100);
  EXPECT_EQ(Page(), 0);

  Start({});
  LoadPanel(0);
  group_->BroadcastComponentCall(kCallBeforeInstallObjects, group_);
  EXPECT_EQ(panel_->Step(), 10);
  EXPECT_TRUE(panel_->Visible());
  Progress(50);
  EXPECT_EQ(Page(), -1);
  EXPECT_EQ(panel_->PercentReached(), 0);
}

TEST_F(AdvertisePanelTest, ManyPagesStillStepByAtLeastOnePercent) {
  LoadPanel(250);
  group_->BroadcastComponentCall(kCallBeforeInstallObjects, group_);
  EXPECT_EQ(panel_->Step(), 1);
  Progress(0);
  EXPECT_EQ(Page(), 0);
}

TEST_F(AdvertisePanelTest, DesignedSizeKeptAndCentreAtThirtySevenPercent) {
  LoadPanel(2, R"({"RelativeHeight": -1, "RelativeWidth": -1, "VerticalCenter": 37})");
  app_.SetScreenSize({800, 600});
  group_->BroadcastComponentCall(kCallBeforeInstallObjects, group_);
  // top = R(600 * 0.37 - 100) = 122, left = R(400 - 150) = 250.
  EXPECT_EQ(panel_->Bounds(), (ControlRect{250, 122, 300, 200}));
}

TEST_F(AdvertisePanelTest, ProgressWithoutAStatusIsRefusedByName) {
  LoadPanel(2);
  group_->BroadcastComponentCall(kCallBeforeInstallObjects, group_);
  try {
    group_->BroadcastComponentCall(kCallProgress, nullptr);
    ADD_FAILURE() << "no error";
  } catch (const IException& e) {
    EXPECT_STREQ(e.what(), "Ads got a nil PO parameter");
  }
  TMessageParameter text("x");
  try {
    group_->BroadcastComponentCall(kCallProgress, &text);
    ADD_FAILURE() << "no error";
  } catch (const IException& e) {
    EXPECT_STREQ(e.what(), "The PO object passed to Ads is not a TFileStatusParameter object");
  }
}

TEST_F(AdvertisePanelTest, TheTimeMethodArmsTheTimerAndTicksTurnPages) {
  LoadPanel(3, R"({"FlipMethod": "fmTimeInterval", "IncrementTime": 1500})");
  int timer_changes = 0;
  panel_->OnTimerChanged = [&] { ++timer_changes; };
  panel_->Tick();  // not armed yet
  EXPECT_EQ(Page(), 0);
  group_->BroadcastComponentCall(kCallBeforeInstallObjects, group_);
  EXPECT_TRUE(panel_->Timer().enabled);
  EXPECT_EQ(panel_->Timer().interval, 1500u);
  EXPECT_FALSE(panel_->Running());
  Progress(90);  // progress turns nothing in this mode
  EXPECT_EQ(Page(), 0);
  std::vector<int> pages;
  for (int i = 0; i < 4; ++i) {
    panel_->Tick();
    pages.push_back(Page());
  }
  EXPECT_THAT(pages, ElementsAre(1, 2, 0, 1));  // AutoLoop starts again
  panel_->Behavior().SetAutoLoop(false);
  panel_->Tick();
  panel_->Tick();
  EXPECT_EQ(Page(), 2);
  group_->BroadcastComponentCall(kCallPassDone, group_);
  EXPECT_FALSE(panel_->Timer().enabled);
  EXPECT_EQ(timer_changes, 2);
}

TEST_F(AdvertisePanelTest, APanelFollowsTheDriverUnlessTold) {
  Load(R"([{"class": "TInstall", "name": "Install1"}, {"class": "TAdvertisePanel", "name": "Ads"}])");
  auto* panel = Find<TAdvertisePanel>("Ads");
  EXPECT_EQ(panel->Container(), Find<TInstall>("Install1"));
  delete Find<TInstall>("Install1");
  EXPECT_EQ(panel->Container(), nullptr);
}

}  // namespace
}  // namespace brimwell::testing
