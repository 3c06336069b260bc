#include "apps/uninstall/uninstall_window.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "apps/uninstall/uninstall_ui.h"
#include "framework/format.h"
#include "presentation/qt_presentation.h"
#include "translate/font_faces.h"
#include "wizard/base_forms.h"

namespace brimwell {
namespace {

constexpr char kWindowTitle[] = "%s Uninstall";
constexpr char kQuestionHeading[] = "Remove %s";
constexpr char kQuestionText[] =
    "Are you sure you want to completely remove %s and all of its components?\n\n"
    "Files you changed after the installation are kept. Files in use are removed when the "
    "computer starts again.\n\n"
    "Click Remove to continue, or Cancel to keep %s.";
constexpr char kProgressHeading[] = "Removing %s";
constexpr char kProgressText[] = "Please wait while %s is removed from your computer.";
constexpr char kDoneHeading[] = "%s was removed";
constexpr char kNotDoneHeading[] = "%s was not removed completely";

// The wizard's page size and font (Arial 8 pt at 96 dots per inch).
constexpr int kWidth = 470;
constexpr int kHeight = 368;
constexpr int kFontPixels = 11;

}  // namespace

std::string StepLine(const UninstallStep& step) {
  std::string line = std::string(OutcomeName(step.outcome)) + ": " + step.what;
  if (!step.detail.empty()) line += " (" + step.detail + ")";
  return line;
}

UninstallWindow::UninstallWindow(const std::string& product) : product_(product) {
  setWindowTitle(QString::fromStdString(Format(kWindowTitle, {product})));
  setFixedSize(kWidth, kHeight);
  QFont font(QString::fromStdString(InstalledFace("Arial", 0)));
  font.setPixelSize(kFontPixels);
  setFont(font);

  auto* picture = new QLabel;
  picture->setPixmap(QPixmap::fromImage(DecodePicture(DefaultThemeBitmap())));
  picture->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  picture->setFixedWidth(DefaultThemeBitmap().Width());

  heading_ = new QLabel;
  QFont bold = font;
  bold.setBold(true);
  bold.setPixelSize(kFontPixels + 2);
  heading_->setFont(bold);
  heading_->setWordWrap(true);
  text_ = new QLabel;
  text_->setWordWrap(true);
  text_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  bar_ = new QProgressBar;
  bar_->setTextVisible(true);
  list_ = new QListWidget;
  // Long paths are shortened in the middle (the whole line is the item's
  // tool tip) rather than cut off at the edge.
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list_->setTextElideMode(Qt::ElideMiddle);
  list_->setUniformItemSizes(true);
  list_->setSelectionMode(QAbstractItemView::NoSelection);
  list_->setFocusPolicy(Qt::NoFocus);

  auto* right = new QVBoxLayout;
  right->setSpacing(8);
  right->addWidget(heading_);
  right->addWidget(text_);
  right->addWidget(bar_);
  right->addWidget(list_, 1);
  right->addStretch(0);

  auto* top = new QHBoxLayout;
  top->setContentsMargins(10, 10, 10, 4);
  top->setSpacing(12);
  top->addWidget(picture, 0, Qt::AlignTop);
  top->addLayout(right, 1);

  auto* rule = new QFrame;
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Sunken);

  remove_ = new QPushButton("Remove");
  cancel_ = new QPushButton("Cancel");
  close_ = new QPushButton("Close");
  for (QPushButton* b : {remove_, cancel_, close_}) b->setFixedSize(88, 30);
  connect(remove_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(close_, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(10, 6, 12, 12);
  buttons->addStretch(1);
  buttons->addWidget(remove_);
  buttons->addWidget(cancel_);
  buttons->addWidget(close_);

  auto* page = new QVBoxLayout(this);
  page->setContentsMargins(0, 0, 0, 0);
  page->setSpacing(0);
  page->addLayout(top, 1);
  page->addWidget(rule);
  page->addLayout(buttons);
}

void UninstallWindow::ShowQuestion() {
  heading_->setText(QString::fromStdString(Format(kQuestionHeading, {product_})));
  text_->setText(QString::fromStdString(Format(kQuestionText, {product_, product_})));
  text_->show();
  bar_->hide();
  list_->hide();
  remove_->show();
  cancel_->show();
  close_->hide();
  cancel_->setDefault(true);
}

void UninstallWindow::ShowProgress(int planned_steps) {
  heading_->setText(QString::fromStdString(Format(kProgressHeading, {product_})));
  text_->setText(QString::fromStdString(Format(kProgressText, {product_})));
  bar_->setRange(0, std::max(planned_steps, 1));
  bar_->setValue(0);
  bar_->show();
  list_->show();
  remove_->hide();
  cancel_->hide();
  close_->show();
  close_->setEnabled(false);
}

void UninstallWindow::AddStep(const UninstallStep& step, int done, int total) {
  bar_->setMaximum(std::max(total, 1));
  bar_->setValue(done);
  auto* item = new QListWidgetItem(QString::fromStdString(StepLine(step)));
  item->setToolTip(item->text());
  list_->addItem(item);
  list_->scrollToBottom();
}

void UninstallWindow::ShowSummary(const UninstallReport& report) {
  bar_->setValue(bar_->maximum());
  heading_->setText(
      QString::fromStdString(Format(report.Complete() ? kDoneHeading : kNotDoneHeading, {product_})));
  std::string summary = SummaryText(product_, report);
  while (!summary.empty() && summary.back() == '\n') summary.pop_back();
  text_->setText(QString::fromStdString(summary));
  close_->setEnabled(true);
  close_->setDefault(true);
}

}  // namespace brimwell
