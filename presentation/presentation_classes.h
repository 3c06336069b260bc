// Registers the presentation classes (the backdrop, the rotated label, the
// advertising panel and its pages, pictures and plain labels, and the
// abstract bases that references name) in a class registry. This part
// needs no window system, so the command-line tools can load and check a
// project that holds them; the Qt drawing attaches to the loaded controls.
#pragma once

namespace brimwell {

class ClassRegistry;

void RegisterPresentationClasses(ClassRegistry& registry);

}  // namespace brimwell
