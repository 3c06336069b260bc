// TTranslateLabel and TTranslateBitBtn: a label and a bitmap button that
// carry a GLID, the number of their text in the language tables. A
// translator gives them the target table's text for that number and never
// looks their caption up by its wording; GLID 0 means none, a negative GLID
// keeps the control out of translation altogether. Without a window here;
// the wizard's Qt controls show them.
#pragma once

#include <cstdint>

#include "framework/translatable_control.h"

namespace brimwell {

class TTranslateLabel : public PlainControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TTranslateLabel(TComponent* owner) : PlainControl(owner, ControlRole::kLabel) {}
  std::int32_t GLID() const { return glid_; }
  void SetGLID(std::int32_t glid) { glid_ = glid; }

 private:
  std::int32_t glid_ = 0;
};

class TTranslateBitBtn : public PlainControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TTranslateBitBtn(TComponent* owner) : PlainControl(owner, ControlRole::kOther, true) {}
  std::int32_t GLID() const { return glid_; }
  void SetGLID(std::int32_t glid) { glid_ = glid; }

 private:
  std::int32_t glid_ = 0;
};

}  // namespace brimwell
