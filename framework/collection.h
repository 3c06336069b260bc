// Collections: an ordered list of items of one class, owned by a component
// or sub-object and stored in a project as an array of objects (registry
// entries, INI lines). Items have published properties of their own.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "framework/persistent.h"

namespace brimwell {

class TCollection;

class TCollectionItem : public TPersistent {
 public:
  explicit TCollectionItem(TCollection* collection) : collection_(collection) {}
  TCollection* Collection() const { return collection_; }
  // Position in the collection, -1 when not in one.
  int Index() const;

 private:
  friend class TCollection;
  TCollection* collection_;
};

class TCollection : public TPersistent {
  BRIMWELL_CLASS_INFO()

 public:
  // `item_class` describes the items; `make_item` creates one for this
  // collection (the collection takes ownership).
  TCollection(const ClassInfo& item_class,
              std::function<std::unique_ptr<TCollectionItem>(TCollection&)> make_item);

  const ClassInfo& ItemClass() const { return item_class_; }
  int Count() const { return static_cast<int>(items_.size()); }
  // Throws EComponentError "List index out of bounds (%d)".
  TCollectionItem& Items(int index) const;
  TCollectionItem& Add();
  void Delete(int index);
  void Clear();
  // Replaces the items with copies of `source`'s items (same item class).
  void Assign(const TPersistent& source) override;

 protected:
  // Called after an item was added or removed, and after Clear (item nullptr).
  virtual void Changed(TCollectionItem* /*item*/) {}

 private:
  const ClassInfo& item_class_;
  std::function<std::unique_ptr<TCollectionItem>(TCollection&)> make_item_;
  std::vector<std::unique_ptr<TCollectionItem>> items_;
};

}  // namespace brimwell
