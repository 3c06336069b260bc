// Small component classes with every kind of published property, used to
// exercise the component model and the project file without engine classes.
#pragma once

#include <string>
#include <vector>

#include "framework/class_registry.h"
#include "framework/collection.h"
#include "framework/component.h"
#include "framework/picture.h"

namespace brimwell::testing {

enum class TColourMode { cmPlain, cmFancy, cmLoud };
inline const EnumInfo kColourModeInfo{"TColourMode", {"cmPlain", "cmFancy", "cmLoud"}};
using TColourModes = EnumSet<TColourMode>;

class TInfo : public TPersistent {
  BRIMWELL_CLASS_INFO()
 public:
  std::string Company() const { return company_; }
  void SetCompany(const std::string& v) { company_ = v; }
  std::int32_t Revision() const { return revision_; }
  void SetRevision(std::int32_t v) { revision_ = v; }

 private:
  std::string company_;
  std::int32_t revision_ = 1;
};

class TLine : public TCollectionItem {
  BRIMWELL_CLASS_INFO()
 public:
  using TCollectionItem::TCollectionItem;
  std::string Key() const { return key_; }
  void SetKey(const std::string& v) { key_ = v; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v) { enabled_ = v; }

 private:
  std::string key_;
  bool enabled_ = true;
};

// The target of references.
class TTarget : public TComponent {
  BRIMWELL_CLASS_INFO()
 public:
  using TComponent::TComponent;
};

class TSpecialTarget : public TTarget {
  BRIMWELL_CLASS_INFO()
 public:
  using TTarget::TTarget;
};

// A component made by another's constructor, never stored itself.
class TAutoMade : public TTarget {
  BRIMWELL_CLASS_INFO()
 public:
  using TTarget::TTarget;
  bool StoredInProject() const override { return false; }
};

class TWidget : public TComponent {
  BRIMWELL_CLASS_INFO()
 public:
  explicit TWidget(TComponent* owner);

  bool Visible() const { return visible_; }
  void SetVisible(bool v) { visible_ = v; }
  std::int32_t Order() const { return order_; }
  // Outside loading a negative order is refused; while loading it is stored.
  void SetOrder(std::int32_t v);
  std::uint32_t Size() const { return size_; }
  void SetSize(std::uint32_t v) { size_ = v; }
  std::string Caption() const { return caption_; }
  void SetCaption(const std::string& v) { caption_ = v; }
  TColourMode Mode() const { return mode_; }
  void SetMode(TColourMode v) { mode_ = v; }
  TColourModes Modes() const { return modes_; }
  void SetModes(TColourModes v) { modes_ = v; }
  std::vector<std::string> Lines() const { return lines_; }
  void SetLines(const std::vector<std::string>& v) { lines_ = v; }
  std::int32_t Colour() const { return colour_; }
  void SetColour(std::int32_t v) { colour_ = v; }
  TTarget* Target() const { return target_; }
  void SetTarget(TTarget* t);
  TInfo& Info() { return info_; }
  TCollection& Entries() { return entries_; }
  TPicture& Image() { return image_; }

  int loaded_calls = 0;
  int order_at_loaded = 0;
  void Loaded() override;

 protected:
  void Notification(TComponent* component, Operation operation) override;

 private:
  bool visible_ = true;
  std::int32_t order_ = -1;
  std::uint32_t size_ = 0;
  std::string caption_ = "Widget";
  TColourMode mode_ = TColourMode::cmPlain;
  TColourModes modes_{TColourMode::cmFancy};
  std::vector<std::string> lines_;
  std::int32_t colour_ = 0xFF0000;
  TTarget* target_ = nullptr;
  TInfo info_;
  TCollection entries_;
  TPicture image_;
};

// A container whose constructor makes an auto component on its owner.
class TMaker : public TComponent {
  BRIMWELL_CLASS_INFO()
 public:
  explicit TMaker(TComponent* owner);
  // Defaults to the component the constructor makes.
  TTarget* Made() const { return made_; }
  void SetMade(TTarget* t);
  bool made_assigned = false;

 protected:
  void Notification(TComponent* component, Operation operation) override;

 private:
  TTarget* made_ = nullptr;
};

class TRoot : public TComponent {
  BRIMWELL_CLASS_INFO()
 public:
  TRoot() : TComponent(nullptr) {}
};

void RegisterTestClasses(ClassRegistry& registry);

}  // namespace brimwell::testing
