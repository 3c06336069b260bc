#include "translate/translate_classes.h"

#include "framework/class_registry.h"
#include "framework/controls.h"
#include "translate/translate_controls.h"
#include "translate/translator.h"

namespace brimwell {

const ClassInfo& TTranslateLabel::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TTranslateLabel>("TTranslateLabel", &TLabel::StaticClassInfo())
                                    .Creatable()
                                    .Property("GLID", &TTranslateLabel::GLID, &TTranslateLabel::SetGLID, 0)
                                    .Build();
  return info;
}

const ClassInfo& TTranslateBitBtn::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TTranslateBitBtn>("TTranslateBitBtn", &TBitBtn::StaticClassInfo())
                                    .Creatable()
                                    .Property("GLID", &TTranslateBitBtn::GLID, &TTranslateBitBtn::SetGLID, 0)
                                    .Build();
  return info;
}

void RegisterTranslateClasses(ClassRegistry& registry) {
  RegisterControlClasses(registry);
  registry.Register<TTranslator>();
  registry.Register<TTranslateLabel>();
  registry.Register<TTranslateBitBtn>();
}

}  // namespace brimwell
