// TAdvertisePanel: pages of pictures and text that the project author
// designs, shown in a rectangle placed relative to the screen while a file
// container copies its files, and turned page by page as copying
// progresses (or by a timer). The panel follows its container through an
// owned TGrabCall that receives the container's component calls:
//   -992  the pass begins: place the panel, show the first page, start;
//   -998  progress (a TFileStatusParameter): turn a page at each step;
//   -996  the pass ends: hide the panel and stop.
#pragma once

#include <cstdint>
#include <functional>

#include "presentation/page_control.h"

namespace brimwell {

class TFileContainer;
class TGrabCall;
class TInstallContainer;

enum class TFlipMethod { fmTimeInterval, fmPercentageInterval };
extern const EnumInfo kFlipMethodInfo;

inline constexpr char kPONotFileStatus[] = "The PO object passed to %s is not a TFileStatusParameter object";

// How the panel is placed and how its pages turn.
class TAdvertisePanelBehavior : public TPersistent {
  BRIMWELL_CLASS_INFO()

 public:
  TAdvertisePanelBehavior() = default;

  // Whether the timer's show starts again after the last page.
  bool AutoLoop() const { return auto_loop_; }
  void SetAutoLoop(bool v) { auto_loop_ = v; }
  bool HideTabs() const { return hide_tabs_; }
  void SetHideTabs(bool v) { hide_tabs_ = v; }
  TFlipMethod FlipMethod() const { return flip_method_; }
  void SetFlipMethod(TFlipMethod method) { flip_method_ = method; }
  // Milliseconds between ticks of the timer (fmTimeInterval).
  std::uint32_t IncrementTime() const { return increment_time_; }
  void SetIncrementTime(std::uint32_t ms) { increment_time_ = ms; }
  // Percentages of the screen, -1..100; -1 keeps the designed value. A
  // value below -1 becomes 0, one above 100 becomes 100.
  std::int32_t RelativeHeight() const { return relative_height_; }
  void SetRelativeHeight(std::int32_t v) { relative_height_ = Clamp(v); }
  std::int32_t RelativeWidth() const { return relative_width_; }
  void SetRelativeWidth(std::int32_t v) { relative_width_ = Clamp(v); }
  std::int32_t VerticalCenter() const { return vertical_center_; }
  void SetVerticalCenter(std::int32_t v) { vertical_center_ = Clamp(v); }
  std::int32_t HorizontalCenter() const { return horizontal_center_; }
  void SetHorizontalCenter(std::int32_t v) { horizontal_center_ = Clamp(v); }
  // Stay visible before copying starts.
  bool VisibleUntilCopy() const { return visible_until_copy_; }
  void SetVisibleUntilCopy(bool v) { visible_until_copy_ = v; }

 private:
  static std::int32_t Clamp(std::int32_t v) { return v < -1 ? 0 : v > 100 ? 100 : v; }

  bool auto_loop_ = true;
  bool hide_tabs_ = true;
  TFlipMethod flip_method_ = TFlipMethod::fmPercentageInterval;
  std::uint32_t increment_time_ = 5000;
  std::int32_t relative_height_ = 40;
  std::int32_t relative_width_ = 50;
  std::int32_t vertical_center_ = 30;
  std::int32_t horizontal_center_ = 50;
  bool visible_until_copy_ = false;
};

// The panel's timer as the user interface sees it: armed or not, and its
// interval. The user interface runs a real timer and calls Tick().
struct PanelTimer {
  bool enabled = false;
  std::uint32_t interval = 0;
};

class TAdvertisePanel : public TPageControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TAdvertisePanel(TComponent* owner);
  ~TAdvertisePanel() override;

  TAdvertisePanelBehavior& Behavior() { return behavior_; }
  // Copies the values of `behavior`.
  void SetBehavior(const TAdvertisePanelBehavior& behavior) { behavior_.Assign(behavior); }
  // The file container whose passes the panel follows; a new panel takes
  // the install driver.
  TFileContainer* Container() const { return container_; }
  void SetContainer(TFileContainer* container);
  void SetTag(std::int32_t tag) override;

  // The component-call handler (the owned TGrabCall's OnCall). Throws
  // IException for a progress call without a TFileStatusParameter.
  void HandleCall(TInstallContainer* container, int call, TPersistent* po);
  // One tick of the timer: the next page, after the last the first again
  // when AutoLoop is on.
  void Tick();

  const PanelTimer& Timer() const { return timer_; }
  // Told whenever the timer is armed, stopped or its interval changes.
  std::function<void()> OnTimerChanged;

  bool Running() const { return running_; }
  TFlipMethod MethodInUse() const { return method_in_use_; }
  int Step() const { return step_; }
  int PercentReached() const { return percent_reached_; }
  TGrabCall& GrabCall() const { return *grab_; }

  void Loaded() override;

 protected:
  void Notification(TComponent* component, Operation operation) override;

 private:
  void Start();
  void Progress(TPersistent* po);
  void Stop();
  void SetTimer(bool enabled, std::uint32_t interval);
  // Repaints the owning form at once (the copy loop does not return to
  // the message loop between files).
  void RefreshForm();

  TAdvertisePanelBehavior behavior_;
  TFileContainer* container_ = nullptr;
  TGrabCall* grab_;  // owned through the component tree
  PanelTimer timer_;
  TFlipMethod method_in_use_ = TFlipMethod::fmPercentageInterval;
  bool running_ = false;
  int step_ = 0;
  int percent_reached_ = 0;
};

}  // namespace brimwell
