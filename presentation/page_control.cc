#include "presentation/page_control.h"

#include <algorithm>

#include "framework/format.h"

namespace brimwell {
namespace {

constexpr char kNotAPage[] = "%s is not a page of this control";
constexpr char kPageIndexError[] = "Page index out of bounds (%d)";
constexpr char kPageOutsidePageControl[] = "A page can only lie on a page control, not on %s";

}  // namespace

const ClassInfo& TPageControl::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TPageControl>("TPageControl", &TWinControl::StaticClassInfo())
                                    .Colour("Color", &TPageControl::Color, &TPageControl::SetColor, clBtnFace)
                                    .Object("Font", static_cast<TFont& (TPageControl::*)()>(&TPageControl::Font))
                                    .Build();
  return info;
}

TPageControl::TPageControl(TComponent* owner) : TWinControl(owner) {}

TPageControl::~TPageControl() {
  const std::vector<TTabSheet*> pages = pages_;
  for (TTabSheet* page : pages) page->SetPageControl(nullptr);
}

TTabSheet* TPageControl::Pages(int index) const {
  if (index < 0 || index >= PageCount()) throw EComponentError(Format(kPageIndexError, {index}));
  return pages_[static_cast<std::size_t>(index)];
}

int TPageControl::ActivePageIndex() const {
  auto it = std::find(pages_.begin(), pages_.end(), active_);
  return it == pages_.end() ? -1 : static_cast<int>(it - pages_.begin());
}

void TPageControl::SetActivePage(TTabSheet* page) {
  if (page != nullptr && page->PageControl() != this) {
    throw EComponentError(Format(kNotAPage, {page->Name()}));
  }
  if (page == active_) return;
  active_ = page;
  // Only the active page is visible; hidden pages keep their own Visible.
  for (TTabSheet* p : pages_) {
    if (p->Peer() != nullptr) p->Peer()->Relocate();
  }
  Invalidate();
}

bool TPageControl::TabsShowing() const {
  return std::any_of(pages_.begin(), pages_.end(), [](const TTabSheet* p) { return p->TabVisible(); });
}

ControlRect TPageControl::ClientRect() const {
  const int tabs = TabsShowing() ? kTabHeight : 0;
  return {kFrameWidth, tabs + kFrameWidth, std::max(Width() - 2 * kFrameWidth, 0),
          std::max(Height() - tabs - 2 * kFrameWidth, 0)};
}

void TPageControl::Loaded() {
  TWinControl::Loaded();
  if (active_ == nullptr && !pages_.empty()) SetActivePage(pages_.front());
}

void TPageControl::InsertPage(TTabSheet* page) {
  pages_.push_back(page);
  if (active_ == nullptr && !Loading()) SetActivePage(page);
}

void TPageControl::RemovePage(TTabSheet* page) {
  auto it = std::find(pages_.begin(), pages_.end(), page);
  if (it == pages_.end()) return;
  const bool was_active = page == active_;
  it = pages_.erase(it);
  if (was_active) {
    active_ = nullptr;
    if (!pages_.empty()) SetActivePage(it != pages_.end() ? *it : pages_.back());
  }
  Invalidate();
}

// --- TTabSheet ----------------------------------------------------------------

const ClassInfo& TTabSheet::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TTabSheet>("TTabSheet", &TWinControl::StaticClassInfo())
          .Creatable()
          .Reference("PageControl", "TPageControl", &TTabSheet::PageControl, &TTabSheet::SetPageControl)
          .Enum("Align", kAlignInfo, &TTabSheet::Align, &TTabSheet::SetAlign, TAlign::alClient)
          .Property("Caption", &TTabSheet::Caption, &TTabSheet::SetCaption)
          .Colour("Color", &TTabSheet::Color, &TTabSheet::SetColor, clBtnFace)
          .Object("Font", static_cast<TFont& (TTabSheet::*)()>(&TTabSheet::Font))
          .Property("TabVisible", &TTabSheet::TabVisible, &TTabSheet::SetTabVisible, true)
          .Build();
  return info;
}

TTabSheet::TTabSheet(TComponent* owner) : TWinControl(owner) { SetAlign(TAlign::alClient); }

TTabSheet::~TTabSheet() {
  if (page_control_ != nullptr) page_control_->RemovePage(this);
}

void TTabSheet::SetPageControl(TPageControl* control) {
  if (control == page_control_) return;
  if (page_control_ != nullptr) {
    page_control_->RemovePage(this);
    RemoveFreeNotification(page_control_);
  }
  page_control_ = control;
  if (control != nullptr) {
    control->InsertPage(this);
    FreeNotification(control);
  }
  TWinControl::SetParent(control);
}

void TTabSheet::SetParent(TWinControl* parent) {
  if (parent == page_control_) return;
  auto* control = dynamic_cast<TPageControl*>(parent);
  if (parent != nullptr && control == nullptr) {
    throw EComponentError(Format(kPageOutsidePageControl, {parent->Name()}));
  }
  SetPageControl(control);
}

void TTabSheet::SetCaption(const std::string& caption) {
  caption_ = caption;
  if (page_control_ != nullptr) page_control_->Invalidate();
}

void TTabSheet::SetTabVisible(bool visible) {
  if (visible == tab_visible_) return;
  tab_visible_ = visible;
  if (page_control_ != nullptr && !Loading()) {
    page_control_->Realign();
    page_control_->Invalidate();
  }
}

int TTabSheet::PageIndex() const {
  if (page_control_ == nullptr) return -1;
  const auto& pages = page_control_->PageList();
  return static_cast<int>(std::find(pages.begin(), pages.end(), this) - pages.begin());
}

void TTabSheet::Notification(TComponent* component, Operation operation) {
  if (operation == Operation::kRemove && component == page_control_) page_control_ = nullptr;
  TWinControl::Notification(component, operation);
}

}  // namespace brimwell
