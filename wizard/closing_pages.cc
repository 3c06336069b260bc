#include "wizard/closing_pages.h"

#include <QPushButton>
#include <QRadioButton>

#include <cstdio>

#include "engine/engine_context.h"
#include "engine/install.h"
#include "translate/translation_site.h"

namespace brimwell {

namespace {

constexpr int kButtonTop = 15;
constexpr int kButtonRight = 457;
constexpr int kButtonGap = 5;

WizLabel* TopLabel(TBaseInstallForm* form, const std::string& name, std::int32_t glid, const std::string& text,
                   int height = 14) {
  auto* label = new WizLabel(form, form->Content(), name, glid, text);
  label->SetAlign(WizAlign::alTop);
  label->SetBounds(0, 0, 100, height);
  return label;
}

constexpr char kRebootYes[] = "Yes, I would like to reboot windows";
constexpr char kRebootNo[] = "No, I would not like to reboot windows";

}  // namespace

// --- The common part ---------------------------------------------------------------------

TClosingForm::TClosingForm(EngineContext* ctx, const std::string& form_class, QWidget* parent_widget)
    : TBaseInstallForm(ctx, form_class, parent_widget, 8) {
  SetOrder(10);
  CancelBtn()->SetVisible(false);
  finish_ = new WizButton(this, ButtonPanel(), "FinishBtn", 72, "Finish");
  finish_->SetBounds(368, kButtonTop, 89, 33);
  QObject::connect(finish_->Button(), &QPushButton::clicked, [this] { Safely([this] { NextPage(); }); });
  QWidget::setTabOrder(BackBtn()->Widget(), ProceedBtn()->Widget());
  QWidget::setTabOrder(ProceedBtn()->Widget(), finish_->Widget());
}

void TClosingForm::LayOutChildren() {
  // The buttons shown stand from the right edge, Finish last: all three
  // stand where Previous, Next and Cancel stand on the other pages.
  int right = kButtonRight;
  for (WizButton* button : {finish_, ProceedBtn(), BackBtn()}) {
    if (button == nullptr || !button->Visible()) continue;
    const int width = button == finish_ ? 89 : 75;
    button->SetBounds(right - width, kButtonTop, width, 33);
    right -= width + kButtonGap;
  }
  TBaseInstallForm::LayOutChildren();
}

void TClosingForm::PreparePage() {
  BackBtn()->SetVisible(!IsFirstPage());
  ProceedBtn()->SetVisible(!IsLastPage());
  finish_->SetVisible(!ProceedBtn()->Visible());
  LayOutChildren();
  if (!Widget()->isVisible()) return;
  if (finish_->Visible() && FinishTakesFocus()) {
    finish_->Button()->setFocus();
    finish_->Button()->setDefault(true);
  } else if (ProceedBtn()->Visible()) {
    ProceedBtn()->Button()->setFocus();
  }
}

void TClosingForm::AssignFrom(TCustomBaseInstallDlg& dialog) {
  TBaseInstallForm::AssignFrom(dialog);
  // Shown alone, Next and Finish both close the page with OK.
  finish_->SetVisible(true);
  ProceedBtn()->SetVisible(true);
  LayOutChildren();
}

// --- Reboot ------------------------------------------------------------------------------

TRebootForm::TRebootForm(EngineContext* ctx, QWidget* parent_widget)
    : TClosingForm(ctx, "TRebootForm", parent_widget) {
  SetCaption("Reboot windows");
  Label1 = TopLabel(this, "Label1", 52,
                    "Several components could not be installed on your system because they were in use. For the "
                    "installation to proceed, you will need to reboot your computer. If you decide not to reboot "
                    "now, the software will probably not work until you do reboot.");
  Label2 = TopLabel(this, "Label2", 0, "");
  RG = new WizGroupBox(this, Content(), "RG", "");
  RG->SetAlign(WizAlign::alTop);
  RG->SetBounds(0, 0, 100, 64);
  Yes = new QRadioButton(RG->Widget());
  No = new QRadioButton(RG->Widget());
  Yes->setChecked(true);
  QObject::connect(Yes, &QRadioButton::toggled, [this] { Safely([this] { Chosen(); }); });
  QWidget::setTabOrder(Yes, No);
  QWidget::setTabOrder(No, BackBtn()->Widget());
  Translate();
}

void TRebootForm::Translate() {
  TClosingForm::Translate();
  if (Yes == nullptr) return;
  Yes->setText(ToQt(TranslateMessage(Site(), kRebootYes)));
  No->setText(ToQt(TranslateMessage(Site(), kRebootNo)));
  Yes->setFont(Label1->Widget()->font());
  No->setFont(Label1->Widget()->font());
  LayOutChildren();
}

void TRebootForm::LayOutChildren() {
  TClosingForm::LayOutChildren();
  if (Yes == nullptr) return;
  const int width = std::max(0, RG->Bounds().width - 24);
  const int row = std::max(20, Yes->sizeHint().height());
  const int top = RG->CaptionHeight() / 2 + 8;
  Yes->setGeometry(12, top, width, row);
  No->setGeometry(12, top + row + 4, width, row);
  const int wanted = top + 2 * row + 4 + 10;
  if (RG->Bounds().height != wanted) {
    RG->SetBounds(RG->Bounds().left, RG->Bounds().top, RG->Bounds().width, wanted);
    TClosingForm::LayOutChildren();
  }
}

void TRebootForm::SetAnswer(int index) { (index == 0 ? Yes : No)->setChecked(true); }

int TRebootForm::Answer() const { return Yes->isChecked() ? 0 : 1; }

void TRebootForm::Chosen() {
  EngineContext* ctx = Context();
  if (ctx != nullptr && ctx->Driver() != nullptr) ctx->Driver()->SetReboot(Answer() == 0);
}

void TRebootForm::PreparePage() {
  TClosingForm::PreparePage();
  EngineContext* ctx = Context();
  if (ctx != nullptr && ctx->Driver() != nullptr && ctx->Driver()->Reboot()) SetAnswer(0);
  // Selecting writes the flag, also when the answer was selected already.
  Chosen();
}

void TRebootForm::AssignFrom(TCustomBaseInstallDlg& dialog) {
  TClosingForm::AssignFrom(dialog);
  // Alone it is in no wizard: it offers Next only.
  FinishBtn()->SetVisible(false);
  PreparePage();
  BackBtn()->SetVisible(false);
  ProceedBtn()->SetVisible(true);
  FinishBtn()->SetVisible(false);
  LayOutChildren();
}

// --- Good installation -------------------------------------------------------------------

TGoodInstallForm::TGoodInstallForm(EngineContext* ctx, QWidget* parent_widget)
    : TClosingForm(ctx, "TGoodInstallForm", parent_widget) {
  SetCaption("Setup complete");
  // The standard sentence; the further labels hold the project's own
  // paragraphs, when it gives them.
  TranslateLabel1 = TopLabel(this, "TranslateLabel1", 38,
                             "The product has been installed. You can start it from the Programs folder of the Start "
                             "menu.");
  TranslateLabel2 = TopLabel(this, "TranslateLabel2", 0, "");
  TranslateLabel3 = TopLabel(this, "TranslateLabel3", 0, "");
  Label1 = TopLabel(this, "Label1", 0, "");
  for (WizLabel* label : {TranslateLabel2, TranslateLabel3, Label1}) label->SetVisible(false);
  // The page keeps its designed font unless its dialog says otherwise.
  SetAutoSetFont(false);
  LayOutChildren();
}

void TGoodInstallForm::AssignFrom(TCustomBaseInstallDlg& dialog) {
  auto* good = dynamic_cast<TGoodInstallationDlg*>(&dialog);
  if (good != nullptr && !good->CompletionText().empty()) {
    // The project's own words: each paragraph in a label of its own, with
    // a blank line between, translated by their wording where a table
    // knows them.
    std::vector<std::string> lines = good->CompletionText();
    while (lines.size() > 4) {
      lines[3] += "\n" + lines[4];
      lines.erase(lines.begin() + 4);
    }
    WizLabel* labels[] = {TranslateLabel1, TranslateLabel2, TranslateLabel3, Label1};
    for (std::size_t i = 0; i < 4; ++i) {
      labels[i]->SetGLID(0);
      labels[i]->SetCaption(i < lines.size() ? lines[i] + (i + 1 < lines.size() ? "\n" : "") : "");
      labels[i]->SetVisible(i < lines.size());
    }
  }
  TClosingForm::AssignFrom(dialog);
}

// --- Bad installation ----------------------------------------------------------------------

TBadInstallForm::TBadInstallForm(EngineContext* ctx, QWidget* parent_widget)
    : TClosingForm(ctx, "TBadInstallForm", parent_widget) {
  SetCaption("Setup incomplete");
  TopLabel = brimwell::TopLabel(this, "TopLabel", 60,
                                "This software has not been properly installed and will not work correctly if you "
                                "try to use it.");
  Label1 = brimwell::TopLabel(this, "Label1", 0, "");
  // Why, in the words of the error (already in the user's language).
  ErrorLabel = brimwell::TopLabel(this, "ErrorLabel", 0, "");
  ErrorLabel->SetVisible(false);
  LayOutChildren();
}

void TBadInstallForm::PreparePage() {
  TClosingForm::PreparePage();
  EngineContext* ctx = Context();
  const std::string error = ctx != nullptr && ctx->Driver() != nullptr ? ctx->Driver()->RunError() : "";
  ErrorLabel->SetCaption(error);
  ErrorLabel->SetVisible(!error.empty());
  LayOutChildren();
}

void TBadInstallForm::RunUnattended() {
  EngineContext* ctx = Context();
  const std::string error = ctx != nullptr && ctx->Driver() != nullptr ? ctx->Driver()->RunError() : "";
  std::string line = Caption() + ": " + (error.empty() ? TopLabel->Caption() : error);
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

void RegisterClosingPages(QtWizardHost& host) {
  host.RegisterForm("TRebootForm", [](EngineContext* ctx, QWidget* parent) -> std::unique_ptr<TBaseInstallForm> {
    return std::make_unique<TRebootForm>(ctx, parent);
  });
  host.RegisterForm("TGoodInstallForm", [](EngineContext* ctx, QWidget* parent) -> std::unique_ptr<TBaseInstallForm> {
    return std::make_unique<TGoodInstallForm>(ctx, parent);
  });
  host.RegisterForm("TBadInstallForm", [](EngineContext* ctx, QWidget* parent) -> std::unique_ptr<TBaseInstallForm> {
    return std::make_unique<TBadInstallForm>(ctx, parent);
  });
}

}  // namespace brimwell
