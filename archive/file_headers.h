// TFileHeaders: the archive component's list of file headers, each with a
// flag telling whether it was read from the archive file (or is a new header
// of the running Compress).
#pragma once

#include <cstddef>
#include <vector>

#include "archive/archive_format.h"

namespace brimwell {

class TFileHeaders {
 public:
  struct Entry {
    TFileHeader header;
    bool from_archive = false;
  };

  int Count() const { return static_cast<int>(entries_.size()); }
  bool Empty() const { return entries_.empty(); }
  void Clear() { entries_.clear(); }
  void Reserve(std::size_t n) { entries_.reserve(n); }
  void Add(TFileHeader header, bool from_archive) {
    entries_.push_back({std::move(header), from_archive});
  }
  // Unchecked access; callers check the index against Count().
  Entry& operator[](int index) { return entries_[static_cast<std::size_t>(index)]; }
  const Entry& operator[](int index) const { return entries_[static_cast<std::size_t>(index)]; }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

  // The records alone, in order (for lookups shared with the reader).
  std::vector<TFileHeader> Records() const {
    std::vector<TFileHeader> r;
    r.reserve(entries_.size());
    for (const Entry& e : entries_) r.push_back(e.header);
    return r;
  }

 private:
  std::vector<Entry> entries_;
};

}  // namespace brimwell
