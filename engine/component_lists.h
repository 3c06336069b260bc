// The process-wide lists of live components that the engine walks: every
// install container, every installable file, the files whose registration
// waits for the end of the run, every path specifier and the standard ones.
// Components enter a list in their constructor and leave it in their
// destructor; the lists own nothing.
#pragma once

#include <algorithm>
#include <iterator>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/engine_errors.h"

namespace brimwell {

class TCustomInstallFile;
class TCustomPathSpecifier;
class TInstallContainer;
class TStandardPathSpecifier;

// A list of live objects in the order they were added. Adding nullptr
// throws the list's own message (`blank_message`, already translated by the
// caller when needed).
template <class T, class E>
class LiveList {
 public:
  explicit LiveList(const char* blank_message) : blank_message_(blank_message) {}
  LiveList(const LiveList&) = delete;
  LiveList& operator=(const LiveList&) = delete;

  void Add(T* item) {
    if (item == nullptr) throw E(blank_message_);
    items_.push_back(item);
    members_.insert(item);
  }
  // Removes the item; nothing for an item that is not listed. Looks from
  // the end: components go last created first.
  void Remove(const T* item) {
    if (members_.erase(item) == 0) return;
    auto it = std::find(items_.rbegin(), items_.rend(), item);
    if (it != items_.rend()) items_.erase(std::next(it).base());
  }
  void Clear() {
    items_.clear();
    members_.clear();
  }
  // In constant time: a component going away asks this of every other one.
  bool Contains(const T* item) const { return members_.count(item) != 0; }
  int Count() const { return static_cast<int>(items_.size()); }
  T* Items(int index) const { return items_.at(static_cast<std::size_t>(index)); }
  // A copy, for walks during which components may come or go.
  std::vector<T*> Snapshot() const { return items_; }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  const char* blank_message_;
  std::vector<T*> items_;
  std::unordered_multiset<const T*> members_;
};

inline constexpr char kBlankContainerEntry[] =
    "Cannot add a blank entry to the TInstallContainerList object";
inline constexpr char kBlankFileEntry[] = "Cannot add a blank entry to the TCustomInstallFileList object";
inline constexpr char kNilPathSpecifier[] = "Tried to add a nil object to the path specifier list";

class TInstallContainerList : public LiveList<TInstallContainer, IEInstallContainer> {
 public:
  TInstallContainerList() : LiveList(kBlankContainerEntry) {}
};

class TCustomInstallFileList : public LiveList<TCustomInstallFile, IEInstallContainer> {
 public:
  TCustomInstallFileList() : LiveList(kBlankFileEntry) {}
};

class TPathSpecifierList : public LiveList<TCustomPathSpecifier, IEPathSpecifier> {
 public:
  TPathSpecifierList() : LiveList(kNilPathSpecifier) {}
};

class TStandardPathSpecList : public LiveList<TStandardPathSpecifier, IEPathSpecifier> {
 public:
  TStandardPathSpecList() : LiveList(kNilPathSpecifier) {}
};

// The UniqueID slots of installable files: 2000 numbers, each used or free.
class UniqueIdTable {
 public:
  static constexpr int kSize = 2000;

  UniqueIdTable() { Clear(); }
  // The first free number from 0 up, now used; 0 (not marked) when every
  // number is taken.
  int Acquire() {
    for (int i = first_free_; i < kSize; ++i) {
      if (!used_[i]) {
        used_[i] = true;
        first_free_ = i + 1;
        return i;
      }
    }
    first_free_ = kSize;  // a project of many files takes 0 for each file past the table
    return 0;
  }
  // Marks or frees a number; numbers outside 0..1999 are ignored.
  void Mark(int id) {
    if (id >= 0 && id < kSize) used_[id] = true;
  }
  void Release(int id) {
    if (id >= 0 && id < kSize) {
      used_[id] = false;
      if (id < first_free_) first_free_ = id;
    }
  }
  bool Used(int id) const { return id >= 0 && id < kSize && used_[id]; }
  void Clear() {
    std::fill(std::begin(used_), std::end(used_), false);
    first_free_ = 0;
  }

  // After a project is loaded the table is rebuilt from the stored numbers:
  // the first file to finish loading clears it (BeginRebuild answers true
  // once per load), each file then marks its own number.
  bool BeginRebuild() {
    if (rebuilding_) return false;
    rebuilding_ = true;
    Clear();
    return true;
  }
  void EndRebuild() { rebuilding_ = false; }

 private:
  bool used_[kSize];
  // No number below this one is free.
  int first_free_ = 0;
  bool rebuilding_ = false;
};

}  // namespace brimwell
