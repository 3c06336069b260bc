// Registers the translation classes (TTranslator, TTranslateLabel,
// TTranslateBitBtn) in a class registry, so a project can hold them. No user
// interface is linked.
#pragma once

namespace brimwell {

class ClassRegistry;

void RegisterTranslateClasses(ClassRegistry& registry);

}  // namespace brimwell
