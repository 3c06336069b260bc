#include "presentation/advertise_panel.h"

#include <cmath>

#include "engine/component_calls.h"
#include "engine/engine_context.h"
#include "engine/file_container.h"
#include "engine/grab_call.h"
#include "engine/install.h"
#include "engine/parameter_objects.h"
#include "engine/project_form.h"
#include "framework/application.h"
#include "presentation/primary_instance.h"

namespace brimwell {
namespace {

// Rounding to the nearest integer, halves to even.
int R(double v) { return static_cast<int>(std::nearbyint(v)); }

}  // namespace

const EnumInfo kFlipMethodInfo{"TFlipMethod", {"fmTimeInterval", "fmPercentageInterval"}};

const ClassInfo& TAdvertisePanelBehavior::StaticClassInfo() {
  // IncrementTime is declared with the value a new panel has (5000), not
  // with the historical stored default (20000): a value equal to the
  // declared default is left out of a project, and must come back as it was.
  using B = TAdvertisePanelBehavior;
  static const ClassInfo info =
      ClassBuilder<B>("TAdvertisePanelBehavior", nullptr)
          .Property("AutoLoop", &B::AutoLoop, &B::SetAutoLoop, true)
          .Property("HideTabs", &B::HideTabs, &B::SetHideTabs, true)
          .Enum("FlipMethod", kFlipMethodInfo, &B::FlipMethod, &B::SetFlipMethod, TFlipMethod::fmPercentageInterval)
          .Property("IncrementTime", &B::IncrementTime, &B::SetIncrementTime, std::uint32_t{5000})
          .Property("RelativeHeight", &B::RelativeHeight, &B::SetRelativeHeight, 40)
          .Property("RelativeWidth", &B::RelativeWidth, &B::SetRelativeWidth, 50)
          .Property("VerticalCenter", &B::VerticalCenter, &B::SetVerticalCenter, 30)
          .Property("HorizontalCenter", &B::HorizontalCenter, &B::SetHorizontalCenter, 50)
          .Property("VisibleUntilCopy", &B::VisibleUntilCopy, &B::SetVisibleUntilCopy, false)
          .Build();
  return info;
}

const ClassInfo& TAdvertisePanel::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TAdvertisePanel>("TAdvertisePanel", &TPageControl::StaticClassInfo())
          .Creatable()
          .Object("Behavior", &TAdvertisePanel::Behavior)
          .Reference("Container", "TFileContainer", &TAdvertisePanel::Container, &TAdvertisePanel::SetContainer)
          .Build();
  return info;
}

TAdvertisePanel::TAdvertisePanel(TComponent* owner) : TPageControl(owner), grab_(Create<TGrabCall>(this)) {
  grab_->OnCall = [this](TInstallContainer* container, int call, TPersistent* po) {
    if (!Designing()) HandleCall(container, call, po);
  };
  if (EngineContext* ctx = Context()) SetContainer(ctx->Driver());
  ClaimPrimaryInDesigner(*this, owner != nullptr && owner->Designing());
}

TAdvertisePanel::~TAdvertisePanel() { ReleasePrimary(*this); }

void TAdvertisePanel::SetContainer(TFileContainer* container) {
  if (container == container_) return;
  if (container_ != nullptr) RemoveFreeNotification(container_);
  container_ = container;
  if (container != nullptr) FreeNotification(container);
}

void TAdvertisePanel::SetTag(std::int32_t tag) { WritePrimaryTag(*this, tag); }

void TAdvertisePanel::Notification(TComponent* component, Operation operation) {
  if (operation == Operation::kRemove && component == container_) container_ = nullptr;
  TPageControl::Notification(component, operation);
}

void TAdvertisePanel::Loaded() {
  TPageControl::Loaded();
  if (grab_->Loading()) grab_->Loaded();
  // A panel that names no container follows the driver, as a new one does.
  if (container_ == nullptr) {
    if (EngineContext* ctx = Context()) SetContainer(ctx->Driver());
  }
  if (Designing()) return;
  grab_->SetContainer(container_);
  if (!behavior_.VisibleUntilCopy()) {
    SetVisible(false);
    if (EngineContext* ctx = Context()) ctx->App().ProcessMessages();
  }
  if (behavior_.HideTabs()) {
    for (TTabSheet* page : PageList()) page->SetTabVisible(false);
  }
}

void TAdvertisePanel::HandleCall(TInstallContainer*, int call, TPersistent* po) {
  switch (call) {
    case kCallBeforeInstallObjects: Start(); break;
    case kCallProgress: Progress(po); break;
    case kCallPassDone: Stop(); break;
    default: break;
  }
}

void TAdvertisePanel::Start() {
  EngineContext* ctx = Context();
  const ScreenSize screen = ctx != nullptr ? ctx->App().GetScreenSize() : ScreenSize{};
  const double sw = screen.width, sh = screen.height;
  int left = Left(), top = Top(), width = Width(), height = Height();
  if (behavior_.RelativeHeight() >= 0) height = R(sh * behavior_.RelativeHeight() * 0.01);
  if (behavior_.RelativeWidth() >= 0) width = R(sw * behavior_.RelativeWidth() * 0.01);
  if (behavior_.VerticalCenter() >= 0) top = R(sh * behavior_.VerticalCenter() * 0.01 - height * 0.5);
  if (behavior_.HorizontalCenter() >= 0) left = R(sw * behavior_.HorizontalCenter() * 0.01 - width * 0.5);
  SetBounds(left, top, width, height);
  if (PageCount() > 0) SetActivePage(Pages(0));
  SetVisible(true);
  if (ctx != nullptr) ctx->App().ProcessMessages();
  percent_reached_ = 0;
  running_ = false;
  method_in_use_ = behavior_.FlipMethod();
  if (method_in_use_ == TFlipMethod::fmTimeInterval) {
    SetTimer(true, behavior_.IncrementTime());
  } else {
    // At least 1: with more than 200 pages the rounded share would be 0 and
    // every progress call would turn a page.
    step_ = PageCount() > 0 ? std::max(R(100.0 / PageCount()), 1) : 10;
    running_ = true;
  }
}

void TAdvertisePanel::Progress(TPersistent* po) {
  if (!running_ || behavior_.FlipMethod() != TFlipMethod::fmPercentageInterval) return;
  if (po == nullptr) throw IException(EngineText(Context(), kNilPO, {Name()}));
  const auto* status = dynamic_cast<const TFileStatusParameter*>(po);
  if (status == nullptr) throw IException(EngineText(Context(), kPONotFileStatus, {Name()}));
  const int next = percent_reached_ + step_;
  if (next >= 100 || status->TotalPercent < next) return;
  const int index = ActivePageIndex();
  if (index < 0 || index >= PageCount() - 1) return;
  SetActivePage(Pages(index + 1));
  RefreshForm();
  percent_reached_ += step_;
}

void TAdvertisePanel::Stop() {
  SetVisible(false);
  if (method_in_use_ == TFlipMethod::fmTimeInterval) {
    SetTimer(false, timer_.interval);
  } else {
    running_ = false;
  }
}

void TAdvertisePanel::Tick() {
  if (!timer_.enabled || PageCount() == 0) return;
  const int index = ActivePageIndex();
  if (index + 1 < PageCount()) {
    SetActivePage(Pages(index + 1));
  } else if (behavior_.AutoLoop()) {
    SetActivePage(Pages(0));
  } else {
    return;
  }
  RefreshForm();
}

void TAdvertisePanel::SetTimer(bool enabled, std::uint32_t interval) {
  timer_.enabled = enabled;
  timer_.interval = interval;
  if (OnTimerChanged) OnTimerChanged();
}

void TAdvertisePanel::RefreshForm() {
  ProjectForm* form = FormOf(this);
  if (form != nullptr && form->IsForm() && form->Window() != nullptr) form->Window()->Repaint();
}

}  // namespace brimwell
