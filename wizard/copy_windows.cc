#include "wizard/copy_windows.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>

#include <cmath>
#include <cstdio>

#include "archive/archive_names.h"
#include "engine/engine_context.h"
#include "engine/parameter_objects.h"
#include "framework/format.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "translate/translation_site.h"
#include "wizard/open_folder_dialog.h"

namespace brimwell {

namespace {

WizLabel* Label(TComponent* owner, PlainControl* parent, const std::string& name, std::int32_t glid,
                const std::string& text, PageRect r, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
  auto* label = new WizLabel(owner, parent, name, glid, text, false);
  label->Label()->setAlignment(align);
  label->SetAutoSize(false);
  label->SetBounds(r.left, r.top, r.width, r.height);
  return label;
}

// A floppy disk, drawn: the window's pictures.
QPixmap Floppy(QColor body) {
  QPixmap pixmap(36, 36);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(body.darker(160), 1));
  p.setBrush(body);
  p.drawRoundedRect(QRectF(1.5, 1.5, 33, 33), 2, 2);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xc8, 0xcc, 0xd0));  // the shutter
  p.drawRect(QRectF(9, 2, 16, 11));
  p.setBrush(body.darker(130));
  p.drawRect(QRectF(19, 4, 4, 7));
  p.setBrush(QColor(0xf4, 0xf4, 0xf0));  // the label
  p.drawRect(QRectF(6, 18, 24, 15));
  p.setPen(QPen(QColor(0x90, 0x90, 0xa0), 1));
  for (int y : {22, 26, 30}) p.drawLine(QPointF(9, y), QPointF(27, y));
  return pixmap;
}

WizImage* Picture(TComponent* owner, PlainControl* parent, const std::string& name, const QPixmap& pixmap,
                  PageRect r) {
  auto* image = new WizImage(owner, parent, name);
  image->SetBounds(r.left, r.top, r.width, r.height);
  image->Label()->setPixmap(pixmap);
  return image;
}

WizImage* Icon(TComponent* owner, PlainControl* parent, const std::string& name, QStyle::StandardPixmap which,
               PageRect r) {
  auto* image = new WizImage(owner, parent, name);
  image->SetBounds(r.left, r.top, r.width, r.height);
  image->Label()->setPixmap(image->Widget()->style()->standardIcon(which).pixmap(32, 32));
  return image;
}

std::int64_t SteadyMs() {
  static QElapsedTimer timer = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  return timer.elapsed();
}

std::string NamePart(const std::string& path) { return std::string(FileNamePart(path)); }

}  // namespace

WizProgressBar::WizProgressBar(TComponent* owner, PlainControl* parent, const std::string& name)
    : QtControl<PlainControl>(owner, new QProgressBar(ParentWidget(parent)), ControlRole::kOther, true) {
  SetName(name);
  SetParent(parent);
  Bar()->setRange(0, 100);
  Bar()->setValue(0);
  Bar()->setTextVisible(false);
}

QProgressBar* WizProgressBar::Bar() const { return static_cast<QProgressBar*>(Widget()); }

int WizProgressBar::Position() const { return Bar()->value(); }

std::string DurationText(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  }
  return text;
}

// --- The copy progress window -------------------------------------------------------------

TCopyFileForm::TCopyFileForm(EngineContext* ctx) : TBaseDuringCopyForm(ctx, "TCopyFileForm") {
  SetCaption("Copying installation files");
  Clock = SteadyMs;
  if (ctx != nullptr) SetDM(FindDialogManager(ctx, TManagerType::dmDuringCopyFiles));
  QWidget* window = Widget();
  window->setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  SetBounds(0, 0, kWidth, kHeight);

  pnlLeft = new WizPanel(this, nullptr, this, "pnlLeft");
  pnlLeft->SetAlign(WizAlign::alLeft);
  pnlLeft->SetBounds(0, 0, 56, kHeight);
  UnZipImage = Icon(this, pnlLeft, "UnZipImage", QStyle::SP_FileIcon, {12, 26, 32, 32});
  TransferBitmap = Icon(this, pnlLeft, "TransferBitmap", QStyle::SP_ArrowDown, {12, 26, 32, 32});
  TransferBitmap->SetVisible(false);

  pnlRight = new WizPanel(this, nullptr, this, "pnlRight");
  pnlRight->SetAlign(WizAlign::alRight);
  pnlRight->SetBounds(0, 0, 97, kHeight);
  CancelBtn = new WizButton(this, pnlRight, "CancelBtn", 6, "Cancel");
  CancelBtn->SetBounds(4, 30, 89, 25);

  auto* middle = new WizPanel(this, nullptr, this, "pnlMiddle");
  middle->SetAlign(WizAlign::alClient);
  const int width = kWidth - 56 - 97;
  lblCopyFileHeader = Label(this, middle, "lblCopyFileHeader", 14, "Processing", {0, 10, width - 60, 16});
  // The estimate, in figures that need no translation.
  lblTimeLeft = Label(this, middle, "lblTimeLeft", 0, "", {width - 60, 10, 60, 16}, Qt::AlignRight | Qt::AlignVCenter);
  pnlFile = new WizPanel(this, nullptr, middle, "pnlFile");
  pnlFile->SetBounds(0, 30, width, 25);
  auto* sunken = new QFrame(pnlFile->Widget());
  sunken->setFrameShape(QFrame::Panel);
  sunken->setFrameShadow(QFrame::Sunken);
  sunken->setGeometry(0, 0, width, 25);
  Label7 = Label(this, pnlFile, "Label7", 0, "", {0, 0, 10, 25});
  lblCopyingFile = Label(this, pnlFile, "lblCopyingFile", 0, "---", {10, 2, width - 20, 21});
  Label8 = Label(this, pnlFile, "Label8", 0, "", {width - 10, 0, 10, 25});
  Label3 = Label(this, middle, "Label3", 0, "", {0, 55, width, 3});
  Label5 = Label(this, middle, "Label5", 0, "", {width - 186, 60, 10, 20});
  Label1 = Label(this, middle, "Label1", 15, "File progress", {0, 60, width - 186, 20},
                 Qt::AlignRight | Qt::AlignVCenter);
  ProgressBar1 = new WizProgressBar(this, middle, "ProgressBar1");
  ProgressBar1->SetBounds(width - 176, 62, 176, 16);
  Label4 = Label(this, middle, "Label4", 0, "", {0, 80, width, 3});
  Label6 = Label(this, middle, "Label6", 0, "", {width - 186, 85, 10, 20});
  Label2 = Label(this, middle, "Label2", 16, "Total progress", {0, 85, width - 186, 20},
                 Qt::AlignRight | Qt::AlignVCenter);
  ProgressBar2 = new WizProgressBar(this, middle, "ProgressBar2");
  ProgressBar2->SetBounds(width - 176, 87, 176, 16);

  QObject::connect(CancelBtn->Button(), &QPushButton::clicked, [this] { CancelCopy(); });
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
  QObject::connect(escape, &QShortcut::activated, [this] { CancelCopy(); });
  window->resize(kWidth, kHeight);
  LayOutChildren();
}

void TCopyFileForm::LayOutChildren() {
  StoreBounds({0, 0, Widget()->width(), Widget()->height()});
  TBaseDuringCopyForm::LayOutChildren();
}

void TCopyFileForm::ShowFile(const std::string& name) {
  // A long name keeps its end, where the file's own name is.
  QLabel* label = lblCopyingFile->Label();
  const QString text = ToQt(name);
  lblCopyingFile->SetCaption(name);
  label->setText(QFontMetrics(label->font()).elidedText(text, Qt::ElideLeft, label->width()));
}

void TCopyFileForm::Estimate(std::int64_t done, std::int64_t total) {
  const std::int64_t now = Clock ? Clock() : 0;
  if (started_ms_ < 0) {
    started_ms_ = now;
    started_bytes_ = done;
  }
  const std::int64_t elapsed = now - started_ms_;
  const std::int64_t gained = done - started_bytes_;
  // A guess after a second of work, from the rate so far.
  if (total <= 0 || gained <= 0 || elapsed < 1000) {
    time_left_.clear();
  } else {
    const double rate = static_cast<double>(gained) / static_cast<double>(elapsed);  // bytes a millisecond
    const auto seconds = static_cast<std::int64_t>(std::ceil(static_cast<double>(std::max<std::int64_t>(0, total - done)) / rate / 1000.0));
    time_left_ = DurationText(seconds);
  }
  lblTimeLeft->SetCaption(time_left_.empty() ? "" : "~ " + time_left_);
}

void TCopyFileForm::UpdateProgress(TFileStatusParameter* file, TDownloadStatusParameter* download) {
  if (file != nullptr) {
    TransferBitmap->SetVisible(false);
    UnZipImage->SetVisible(true);
    ProgressBar2->Bar()->setValue(std::clamp(file->TotalPercent, 0, 100));
    ProgressBar1->Bar()->setValue(std::clamp<int>(file->Status.FilePercent, 0, 100));
    ShowFile(NamePart(file->Status.FileName));
    Estimate(file->RunningTotal, file->TotalBytes);
  } else if (download != nullptr) {
    TransferBitmap->SetVisible(true);
    UnZipImage->SetVisible(false);
    ProgressBar1->Bar()->setValue(std::clamp(download->Percent, 0, 100));
    ShowFile(NamePart(download->FileName));
  }
  Report();
  // The copy does not return to the message loop between files.
  if (Widget()->isVisible()) Widget()->repaint();
}

void TCopyFileForm::Report() {
  if (!IsUnattended()) return;
  // At most one line a second.
  const std::int64_t now = Clock ? Clock() : 0;
  if (reported_ms_ >= 0 && now - reported_ms_ < 1000) return;
  reported_ms_ = now;
  std::string line = Caption() + ": " + lblCopyingFile->Caption() + ", " + Label1->Caption() + " " +
                     std::to_string(ProgressBar1->Position()) + " %, " + Label2->Caption() + " " +
                     std::to_string(ProgressBar2->Position()) + " %";
  if (!time_left_.empty()) line += ", ~ " + time_left_;
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

// --- The status window -----------------------------------------------------------------------

TInstallStatusForm::TInstallStatusForm(EngineContext* ctx) : TBaseBrimwellForm(ctx, "TInstallStatusForm", nullptr) {
  QWidget* window = Widget();
  window->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  SetBounds(0, 0, 428, 58);
  window->resize(428, 58);
  pnlBack = new WizPanel(this, nullptr, this, "pnlBack");
  pnlBack->SetAlign(WizAlign::alClient);
  auto* frame = new QFrame(pnlBack->Widget());
  frame->setObjectName("StatusFrame");
  frame->setFrameShape(QFrame::Panel);
  frame->setFrameShadow(QFrame::Raised);
  frame->setLineWidth(2);
  frame->setAttribute(Qt::WA_TransparentForMouseEvents);
  Image1 = Icon(this, pnlBack, "Image1", QStyle::SP_MessageBoxInformation, {0, 0, 49, 58});
  Image1->SetAlign(WizAlign::alLeft);
  pnlMessage = new WizPanel(this, nullptr, pnlBack, "pnlMessage");
  pnlMessage->SetAlign(WizAlign::alClient);
  pnlMessage->SetBorderWidth(5);
  lblMessage = new WizLabel(this, pnlMessage, "lblMessage", 0, "", false);
  lblMessage->SetBounds(5, 5, 100, 16);
  LayOutChildren();
}

void TInstallStatusForm::LayOutChildren() {
  StoreBounds({0, 0, Widget()->width(), Widget()->height()});
  TBaseBrimwellForm::LayOutChildren();
  if (auto* frame = pnlBack->Widget()->findChild<QFrame*>("StatusFrame")) {
    frame->setGeometry(0, 0, pnlBack->Bounds().width, pnlBack->Bounds().height);
    frame->raise();
  }
}

void TInstallStatusForm::ShowText(const std::string& text) {
  lblMessage->Label()->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblMessage->Label()->setWordWrap(false);
  lblMessage->SetCaption(text);
  // Every text arrives in English.
  SetCurrentLanguage(blEnglish);
  Translate();
  const QFontMetrics metrics(lblMessage->Label()->font());
  const int text_width = metrics.horizontalAdvance(lblMessage->Label()->text());
  const int label_height = metrics.height();
  const int width = text_width + pnlBack->Bounds().left + Image1->Bounds().width + 5 + 25;
  Widget()->resize(std::max(width, 120), 58);
  LayOutChildren();
  const int client = pnlMessage->Bounds().height;
  const int top = static_cast<int>(std::nearbyint(client * 0.5 - label_height * 0.5));
  lblMessage->SetBounds(5, top, text_width + 2, label_height);
  ScreenSize screen = Context() != nullptr ? Context()->App().GetScreenSize() : ScreenSize{1024, 768};
  Widget()->move(static_cast<int>(std::nearbyint(screen.width * 0.5 - Widget()->width() * 0.5)),
                 static_cast<int>(std::nearbyint(screen.height * 0.5 - 58 * 0.5)));
}

// --- The next-disk window --------------------------------------------------------------------

TChangeDiskForm::TChangeDiskForm(EngineContext* ctx) : TBaseChangeDiskForm(ctx, "TChangeDiskForm") {
  SetCaption("Setup needs the next disk");
  if (ctx != nullptr) SetDM(FindDialogManager(ctx, TManagerType::dmChangeDisk));
  SetBounds(0, 0, kWidth, kHeight);
  // Two disks, the second over the first.
  ThemeBitmap = Picture(this, this, "ThemeBitmap", Floppy(QColor(0x40, 0x48, 0x58)), {10, 12, 40, 40});
  Image1 = Picture(this, this, "Image1", Floppy(QColor(0x1c, 0x4e, 0x9c)), {22, 24, 40, 40});
  PromptDiskLabel = Label(this, this, "PromptDiskLabel", 45, "Please insert disk number %d", {72, 12, 329, 18});
  Label2 = new WizLabel(this, this, "Label2", 46,
                        "If the files on this disk can be found in another location, for example, in another "
                        "drive, enter its full path or click the Browse button to select its path.");
  Label2->SetBounds(72, 36, 329, 30);
  Label4 = Label(this, this, "Label4", 47, "Path:", {72, 78, 120, 16});
  PathEdit = new WizEdit(this, this, "PathEdit");
  PathEdit->Edit()->setReadOnly(true);
  PathEdit->SetBounds(72, 96, 241, 23);
  BrowseBtn = new WizButton(this, this, "BrowseBtn", 48, "&Browse...");
  BrowseBtn->SetBounds(320, 95, 81, 25);
  lblNotThere = new WizLabel(this, this, "lblNotThere", 0, "");
  lblNotThere->SetBounds(72, 122, 329, 16);
  QPalette red = lblNotThere->Label()->palette();
  red.setColor(QPalette::WindowText, QColor(0xb0, 0, 0));
  lblNotThere->Label()->setPalette(red);
  lblNotThere->SetVisible(false);
  InstallBtn = new WizButton(this, this, "InstallBtn", 49, "Proceed");
  InstallBtn->SetBounds(215, 145, 89, 25);
  CancelBtn = new WizButton(this, this, "CancelBtn", 6, "Cancel");
  CancelBtn->SetBounds(312, 145, 89, 25);
  InstallBtn->Button()->setDefault(true);
  BrowseBtn->Button()->setAutoDefault(false);
  QObject::connect(BrowseBtn->Button(), &QPushButton::clicked, [this] { Browse(); });
  QObject::connect(InstallBtn->Button(), &QPushButton::clicked, [this] { Proceed(); });
  QObject::connect(CancelBtn->Button(), &QPushButton::clicked, [this] { CancelDisk(); });
  Widget()->resize(kWidth, kHeight);
  LayOutChildren();
}

void TChangeDiskForm::LayOutChildren() {
  TBaseChangeDiskForm::LayOutChildren();
  // The explanation and the warning grow downwards with their text; what
  // follows moves with them.
  const int shift = std::max(0, Label2->Bounds().top + Label2->Bounds().height + 12 - 78);
  auto place = [](ControlLayout* c, int top) { c->SetBounds(c->Bounds().left, top, c->Bounds().width, c->Bounds().height); };
  place(Label4, 78 + shift);
  place(PathEdit, 96 + shift);
  place(BrowseBtn, 95 + shift);
  place(lblNotThere, 123 + shift);
  int buttons = 145 + shift;
  if (lblNotThere->Visible()) {
    buttons = std::max(buttons, lblNotThere->Bounds().top + lblNotThere->Bounds().height + 6);
  }
  place(InstallBtn, buttons);
  place(CancelBtn, buttons);
  Widget()->resize(Widget()->width(), std::max(kHeight, buttons + 25 + 10));
  StoreBounds({0, 0, Widget()->width(), Widget()->height()});
}

void TChangeDiskForm::FillPrompt() {
  if (TDiskParameter* disk = DiskParameter()) {
    PromptDiskLabel->SetCaption(Format(TranslateMessage(Site(), "Please insert disk number %d"), {disk->DiskNumber}));
    PathEdit->Edit()->setText(ToQt(disk->Path));
  }
}

void TChangeDiskForm::PreparePage() {
  FillPrompt();
  lblNotThere->SetVisible(false);
  if (Widget()->isVisible()) InstallBtn->Button()->setFocus();
}

void TChangeDiskForm::Translate() {
  TBaseChangeDiskForm::Translate();
  FillPrompt();
}

void TChangeDiskForm::Browse() {
  TDiskParameter* disk = DiskParameter();
  if (disk == nullptr || Context() == nullptr) return;
  TOpenFolderDialog dialog(*Context());
  dialog.ShowCreateButton = false;
  dialog.ShowPathEdit = false;
  dialog.Path = disk->Path;
  if (OnBrowse) OnBrowse(dialog);
  if (dialog.Execute()) disk->Path = dialog.Path;
  PathEdit->Edit()->setText(ToQt(disk->Path));
  lblNotThere->SetVisible(false);
}

void TChangeDiskForm::Proceed() {
  TDiskParameter* disk = DiskParameter();
  if (disk != nullptr && Context() != nullptr && !disk->FileName.empty()) {
    std::string dir = disk->Path;
    while (dir.size() > 3 && dir.back() == '\\') dir.pop_back();
    const std::string file = (dir.empty() || dir.back() == '\\' ? dir : dir + "\\") + disk->FileName;
    bool there = false;
    try {
      there = Context()->GetMachine().GetFileSystem().FileExists(file);
    } catch (const std::exception&) {
      there = false;  // a drive the machine cannot map holds no disk
    }
    if (!there) {
      lblNotThere->SetCaption(Format(TranslateMessage(Site(), kDiskNotThere), {disk->DiskNumber, disk->Path}));
      lblNotThere->SetVisible(true);
      LayOutChildren();
      return;
    }
  }
  if (Window() != nullptr) Window()->done(static_cast<int>(ModalResult::kOK));
}

void RegisterCopyWindows(QtWizardHost& host) {
  host.AddDuringCopyFactory("TCopyFileForm", [](EngineContext* ctx) -> std::unique_ptr<TBaseDuringCopyForm> {
    return std::make_unique<TCopyFileForm>(ctx);
  });
  host.AddChangeDiskFactory("TChangeDiskForm", [](EngineContext* ctx) -> std::unique_ptr<TBaseChangeDiskForm> {
    return std::make_unique<TChangeDiskForm>(ctx);
  });
}

}  // namespace brimwell
