#include "framework/collection.h"

#include <string>

#include "framework/exception.h"

namespace brimwell {

const ClassInfo& TCollection::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TCollection>("TCollection", nullptr).Build();
  return info;
}

int TCollectionItem::Index() const {
  if (collection_ == nullptr) return -1;
  for (int i = 0; i < collection_->Count(); ++i) {
    if (&collection_->Items(i) == this) return i;
  }
  return -1;
}

TCollection::TCollection(const ClassInfo& item_class,
                         std::function<std::unique_ptr<TCollectionItem>(TCollection&)> make_item)
    : item_class_(item_class), make_item_(std::move(make_item)) {}

TCollectionItem& TCollection::Items(int index) const {
  if (index < 0 || index >= Count()) {
    throw EComponentError("List index out of bounds (" + std::to_string(index) + ")");
  }
  return *items_[static_cast<std::size_t>(index)];
}

TCollectionItem& TCollection::Add() {
  items_.push_back(make_item_(*this));
  TCollectionItem& item = *items_.back();
  item.collection_ = this;
  Changed(&item);
  return item;
}

void TCollection::Delete(int index) {
  Items(index);  // range check
  items_.erase(items_.begin() + index);
  Changed(nullptr);
}

void TCollection::Clear() {
  items_.clear();
  Changed(nullptr);
}

void TCollection::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TCollection*>(&source);
  if (other == nullptr || &other->item_class_ != &item_class_) {
    throw EConvertError("Cannot assign a " + source.ClassName() + " to a " + ClassName());
  }
  if (other == this) return;
  Clear();
  for (const auto& item : other->items_) Add().Assign(*item);
}

}  // namespace brimwell
