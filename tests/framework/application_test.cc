#include "framework/headless_application.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "framework/exception.h"

namespace brimwell {
namespace {

class HeadlessApplicationTest : public ::testing::Test {
 protected:
  static MessageBoxRequest Box(std::string text, MessageBoxButtons buttons, int default_button = 0) {
    MessageBoxRequest r;
    r.text = std::move(text);
    r.buttons = buttons;
    r.default_button = default_button;
    return r;
  }

  std::ostringstream out_;
  HeadlessApplication app_{false, out_};
};

TEST_F(HeadlessApplicationTest, MessageBoxesTakeScriptedAnswersThenTheirDefault) {
  app_.QueueAnswer(ModalResult::kCancel);
  app_.QueueAnswer(ModalResult::kNo);
  EXPECT_EQ(app_.MessageBox(Box("Insert disk 2", MessageBoxButtons::kOKCancel)), ModalResult::kCancel);
  EXPECT_EQ(app_.MessageBox(Box("Replace?", MessageBoxButtons::kYesNoCancel)), ModalResult::kNo);
  EXPECT_EQ(app_.MessageBox(Box("Replace?", MessageBoxButtons::kYesNoCancel, 2)), ModalResult::kCancel);
  EXPECT_EQ(app_.MessageBox(Box("Retry?", MessageBoxButtons::kRetryCancel, 7)), ModalResult::kRetry);
  ASSERT_EQ(app_.MessageBoxes().size(), 4u);
  EXPECT_EQ(app_.MessageBoxes()[0].text, "Insert disk 2");
  EXPECT_EQ(out_.str(), "");  // not echoed unless asked
}

TEST_F(HeadlessApplicationTest, AScriptedAnswerThatIsNoButtonIsAnError) {
  app_.QueueAnswer(ModalResult::kYes);
  EXPECT_THROW(app_.MessageBox(Box("Insert disk 2", MessageBoxButtons::kOKCancel)), Exception);
}

TEST(HeadlessApplicationEchoTest, UnattendedBoxesArePrintedWithTheTitleAsDefaultCaption) {
  std::ostringstream out;
  HeadlessApplication app(true, out);
  app.SetTitle("Tool Setup");
  MessageBoxRequest r;
  r.text = "Please insert disk 2";
  r.buttons = MessageBoxButtons::kOKCancel;
  EXPECT_EQ(app.MessageBox(r), ModalResult::kOK);
  r.caption = "Error";
  r.buttons = MessageBoxButtons::kAbortRetryIgnore;
  r.default_button = 1;
  EXPECT_EQ(app.MessageBox(r), ModalResult::kRetry);
  EXPECT_EQ(out.str(),
            "[Tool Setup] Please insert disk 2 (OK/Cancel)\n"
            "[Error] Please insert disk 2 (Abort/Retry/Ignore)\n");
}

TEST(UnattendedTest, OnlyTheValueOneMeansUnattended) {
  ::setenv("BRIMWELL_UNATTENDED", "1", 1);
  EXPECT_TRUE(IsUnattended());
  ::setenv("BRIMWELL_UNATTENDED", "0", 1);
  EXPECT_FALSE(IsUnattended());
  ::unsetenv("BRIMWELL_UNATTENDED");
  EXPECT_FALSE(IsUnattended());
}

TEST_F(HeadlessApplicationTest, ScopedCursorRestoresTheCursorItReplaced) {
  try {
    ScopedCursor busy(app_);
    EXPECT_EQ(app_.GetCursor(), Cursor::kHourGlass);
    {
      ScopedCursor normal(app_, Cursor::kDefault);  // a prompt during a long operation
      EXPECT_EQ(app_.GetCursor(), Cursor::kDefault);
    }
    EXPECT_EQ(app_.GetCursor(), Cursor::kHourGlass);
    throw std::runtime_error("extraction failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(app_.GetCursor(), Cursor::kDefault);
  EXPECT_EQ(app_.CursorHistory(),
            (std::vector<Cursor>{Cursor::kHourGlass, Cursor::kDefault, Cursor::kHourGlass,
                                 Cursor::kDefault}));
}

TEST_F(HeadlessApplicationTest, UnhandledExceptionsGoToTheHandlerOrAnErrorBox) {
  app_.HandleException(std::runtime_error("Cannot open the file x"));
  ASSERT_EQ(app_.MessageBoxes().size(), 1u);
  EXPECT_EQ(app_.MessageBoxes()[0].text, "Cannot open the file x");
  EXPECT_EQ(app_.MessageBoxes()[0].icon, MessageBoxIcon::kError);

  std::string handled;
  app_.OnException = [&](const std::exception& e) { handled = e.what(); };
  app_.HandleException(EAbort());
  EXPECT_EQ(handled, "Operation aborted");
  EXPECT_EQ(app_.MessageBoxes().size(), 1u);
}

}  // namespace
}  // namespace brimwell
