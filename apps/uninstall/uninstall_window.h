// The uninstall program's window, laid out like a page of the install
// wizard (470 x 368, the theme picture on the left, the buttons at the
// bottom right under a rule, Arial 8 pt): first the question, then the
// progress with the list of what was done, then the summary and Close.
#pragma once

#include <QDialog>

#include <string>

#include "uninstall/uninstaller.h"

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace brimwell {

class UninstallWindow final : public QDialog {
 public:
  explicit UninstallWindow(const std::string& product);

  // The question page; Remove accepts, Cancel rejects.
  void ShowQuestion();
  // The progress page, with the Close button disabled.
  void ShowProgress(int planned_steps);
  void AddStep(const UninstallStep& step, int done, int total);
  // The summary with Close enabled.
  void ShowSummary(const UninstallReport& report);

 private:
  std::string product_;
  QLabel* heading_ = nullptr;
  QLabel* text_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QListWidget* list_ = nullptr;
  QPushButton* remove_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* close_ = nullptr;
};

// The line a step shows in the list and in text reports.
std::string StepLine(const UninstallStep& step);

}  // namespace brimwell
