// TLabel: a plain caption in a font and colour, for the text of an
// advertising page or a line on the backdrop. WordWrap breaks a long
// caption at word boundaries inside the label's width; Layout places the
// text block at the top, middle or bottom.
#pragma once

#include <string>

#include "presentation/control.h"

namespace brimwell {

enum class TTextLayout { tlTop, tlCenter, tlBottom };
extern const EnumInfo kTextLayoutInfo;

class TLabel : public TControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TLabel(TComponent* owner);

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment alignment);
  // On: nothing is drawn behind the text.
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  bool WordWrap() const { return word_wrap_; }
  void SetWordWrap(bool v);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout layout);

 private:
  std::string caption_;
  TAlignment alignment_ = TAlignment::taLeftJustify;
  bool transparent_ = false;
  bool word_wrap_ = false;
  TTextLayout layout_ = TTextLayout::tlTop;
};

}  // namespace brimwell
