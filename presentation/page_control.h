// TPageControl and TTabSheet: a stack of pages of which one is shown at a
// time, with a row of tabs that can be hidden page by page. A page names
// its page control through PageControl; pages keep the order in which they
// were placed.
#pragma once

#include <string>
#include <vector>

#include "presentation/control.h"

namespace brimwell {

class TTabSheet;

class TPageControl : public TWinControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TPageControl(TComponent* owner);
  ~TPageControl() override;

  int PageCount() const { return static_cast<int>(pages_.size()); }
  TTabSheet* Pages(int index) const;
  const std::vector<TTabSheet*>& PageList() const { return pages_; }
  // nullptr when there are no pages.
  TTabSheet* ActivePage() const { return active_; }
  int ActivePageIndex() const;
  // Shows `page` (one of this control's pages, or nullptr for none).
  void SetActivePage(TTabSheet* page);
  // Whether the row of tabs is drawn: some page has its tab visible.
  bool TabsShowing() const;
  // Height of the row of tabs, in pixels, when it is drawn.
  static constexpr int kTabHeight = 22;
  // Width of the raised frame around the pages.
  static constexpr int kFrameWidth = 2;

  ControlRect ClientRect() const override;
  void Loaded() override;

 private:
  friend class TTabSheet;
  void InsertPage(TTabSheet* page);
  void RemovePage(TTabSheet* page);

  std::vector<TTabSheet*> pages_;  // not owned
  TTabSheet* active_ = nullptr;
};

class TTabSheet : public TWinControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TTabSheet(TComponent* owner);
  ~TTabSheet() override;

  TPageControl* PageControl() const { return page_control_; }
  void SetPageControl(TPageControl* control);
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  bool TabVisible() const { return tab_visible_; }
  void SetTabVisible(bool visible);
  int PageIndex() const;

  // A page lies on its page control: its parent follows PageControl.
  void SetParent(TWinControl* parent) override;

 protected:
  void Notification(TComponent* component, Operation operation) override;

 private:
  TPageControl* page_control_ = nullptr;
  std::string caption_;
  bool tab_visible_ = true;
};

}  // namespace brimwell
