// The parameter objects (PO) that travel with component calls and
// information events. A PO is any TPersistent: a component (the file being
// replaced, the container starting), one of the parameter classes below, or
// a TList of them. Receivers test the class they expect with dynamic_cast.
// The sender owns the PO; it lives for the duration of the call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/brwl_compress.h"
#include "framework/persistent.h"

namespace brimwell {

// A status text (component calls -974).
class TMessageParameter : public TPersistent {
  BRIMWELL_CLASS_INFO()
 public:
  explicit TMessageParameter(std::string text = {}) : Text(std::move(text)) {}
  std::string Text;
};

// A file's progress: its status plus the container's running total and the
// total percentage, which the busy container fills in.
class TFileStatusParameter : public TPersistent {
  BRIMWELL_CLASS_INFO()
 public:
  TlzhFileStats Status;  // the archive component's statistics of the file
  std::int64_t RunningTotal = 0;
  int TotalPercent = 0;
  std::int64_t TotalBytes = 0;  // the bytes of the container's whole pass (0: not known)
};

// Download progress of a component's archive.
class TDownloadStatusParameter : public TPersistent {
  BRIMWELL_CLASS_INFO()
 public:
  std::string FileName;
  std::int32_t Bytes = 0;       // bytes of the latest block
  std::int32_t TotalBytes = 0;  // bytes received so far
  std::int32_t FileSize = 0;
  const std::uint8_t* Buffer = nullptr;  // the latest block
  int Percent = 0;                        // TotalBytes * 100 / FileSize, 0 when unknown
};

// A request for the next disk: the handler may change Path and marks the
// request Handled.
class TDiskParameter : public TPersistent {
  BRIMWELL_CLASS_INFO()
 public:
  int DiskNumber = 0;
  std::string Path;
  bool Handled = false;
  std::string FileName;  // the disk file looked for in Path ("files.2"; "" when not known)
};

// An ordered list of parameter objects ([file, status], [file, disk]).
class TList : public TPersistent {
  BRIMWELL_CLASS_INFO()
 public:
  TList() = default;
  TList(std::initializer_list<TPersistent*> items) : Items(items) {}
  int Count() const { return static_cast<int>(Items.size()); }
  std::vector<TPersistent*> Items;  // not owned
};

}  // namespace brimwell
