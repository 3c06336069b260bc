#include "presentation/presentation_classes.h"

#include "framework/class_registry.h"
#include "presentation/advertise_panel.h"
#include "presentation/backdrop.h"
#include "presentation/image.h"
#include "presentation/label.h"
#include "presentation/rotate_3d_label.h"

namespace brimwell {

void RegisterPresentationClasses(ClassRegistry& registry) {
  // Abstract bases, named by references.
  registry.Register<TControl>();
  registry.Register<TWinControl>();
  registry.Register<TPageControl>();
  // Components a project holds.
  registry.Register<TBackdrop>();
  registry.Register<TRotate3DLabel>();
  registry.Register<TAdvertisePanel>();
  registry.Register<TTabSheet>();
  registry.Register<TImage>();
  registry.Register<TLabel>();
}

}  // namespace brimwell
