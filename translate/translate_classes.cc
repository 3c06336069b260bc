#include "translate/translate_classes.h"

#include "framework/class_registry.h"
#include "translate/translate_controls.h"
#include "translate/translator.h"

namespace brimwell {

const ClassInfo& TTranslateLabel::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TTranslateLabel>("TTranslateLabel", &PlainControl::StaticClassInfo())
                                    .Creatable()
                                    .Property("AutoSize", &TTranslateLabel::AutoSize, &TTranslateLabel::SetAutoSize, true)
                                    .Property("GLID", &TTranslateLabel::GLID, &TTranslateLabel::SetGLID, 0)
                                    .Build();
  return info;
}

const ClassInfo& TTranslateBitBtn::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TTranslateBitBtn>("TTranslateBitBtn", &PlainControl::StaticClassInfo())
                                    .Creatable()
                                    .Property("GLID", &TTranslateBitBtn::GLID, &TTranslateBitBtn::SetGLID, 0)
                                    .Build();
  return info;
}

void RegisterTranslateClasses(ClassRegistry& registry) {
  registry.Register<TTranslator>();
  registry.Register<TTranslateLabel>();
  registry.Register<TTranslateBitBtn>();
}

}  // namespace brimwell
