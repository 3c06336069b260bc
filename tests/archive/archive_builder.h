// Builds archive images in memory, straight from the format's invariants, so
// that the reader can be tested apart from the writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/zlib_stream.h"

namespace brimwell::testing {

using Bytes = std::vector<std::uint8_t>;

struct TestMember {
  std::string name;
  std::string content;
  std::int32_t id = 0;
  std::string version;
  double date = 45000.5;
};

inline TestMember Member(std::string name, std::string content, std::int32_t id = 0) {
  TestMember m;
  m.name = std::move(name);
  m.content = std::move(content);
  m.id = id;
  return m;
}

inline Bytes Deflate(const std::string& content, int level = kZlibBestLevel) {
  Deflater d(level);
  d.SetInput(std::span(reinterpret_cast<const std::uint8_t*>(content.data()), content.size()));
  Bytes out;
  std::uint8_t buf[4096];
  while (!d.Finished()) {
    std::size_t n = d.Deflate(buf, true);
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

inline TFileHeader HeaderFor(const TestMember& m, std::size_t batch_index) {
  TFileHeader h;
  h.BatchIndex = static_cast<std::int32_t>(batch_index);
  h.FileDate = m.date;
  h.FileName = m.name;
  h.FileSize = static_cast<std::int32_t>(m.content.size());
  h.FileID = m.id;
  h.FileVersion = m.version;
  return h;
}

inline void Append(Bytes& to, std::span<const std::uint8_t> bytes) {
  to.insert(to.end(), bytes.begin(), bytes.end());
}

// A single-file archive: prologue, then header and stream for each member.
inline Bytes BuildSingleFile(const std::vector<TestMember>& members) {
  Bytes out;
  Append(out, EncodePrologue({static_cast<std::int32_t>(members.size()), false}));
  for (const TestMember& m : members) {
    TFileHeader h = HeaderFor(m, 1);
    Bytes stream = Deflate(m.content);
    std::int32_t pos = static_cast<std::int32_t>(out.size());
    h.DataPos = pos + static_cast<std::int32_t>(kFileHeaderSize);
    h.CompressedSize = static_cast<std::int32_t>(stream.size());
    h.EndPos = h.DataPos + h.CompressedSize - 1;
    h.NextHeaderPos = h.EndPos + 1;
    Append(out, EncodeFileHeader(h));
    Append(out, stream);
  }
  return out;
}

// A multi-volume set over disks of the given capacities (the last one
// repeats); disks[0] is disk file 1. A disk changes only when a write falls
// short, as when splitting onto floppies.
inline std::vector<Bytes> BuildMultiVolume(const std::vector<TestMember>& members,
                                           std::vector<std::size_t> capacities) {
  std::vector<Bytes> disks(1);
  std::vector<TFileHeader> headers;
  Append(disks[0], EncodePrologue({static_cast<std::int32_t>(members.size()), true}));
  for (std::size_t i = 0; i < members.size(); ++i) {
    headers.push_back(HeaderFor(members[i], 1));
    Append(disks[0], EncodeFileHeader(headers.back()));  // placeholder, same size
  }
  for (std::size_t i = 0; i < members.size(); ++i) {
    TFileHeader& h = headers[i];
    Bytes stream = Deflate(members[i].content);
    h.StartDisk = static_cast<std::uint8_t>(disks.size());
    h.DataPos = static_cast<std::int32_t>(disks.back().size());
    h.CompressedSize = static_cast<std::int32_t>(stream.size());
    std::size_t done = 0;
    while (done < stream.size()) {
      std::size_t capacity = capacities[std::min(disks.size(), capacities.size()) - 1];
      std::size_t room = capacity > disks.back().size() ? capacity - disks.back().size() : 0;
      if (room == 0) {
        disks.emplace_back();
        continue;
      }
      std::size_t n = std::min(room, stream.size() - done);
      disks.back().insert(disks.back().end(), stream.begin() + static_cast<std::ptrdiff_t>(done),
                          stream.begin() + static_cast<std::ptrdiff_t>(done + n));
      done += n;
    }
    h.EndDisk = static_cast<std::uint8_t>(disks.size());
    h.EndPos = static_cast<std::int32_t>(disks.back().size()) - 1;
  }
  for (std::size_t i = 0; i < headers.size(); ++i) {
    std::size_t pos = kPrologueSize + i * kFileHeaderSize;
    headers[i].NextHeaderPos = static_cast<std::int32_t>(pos + kFileHeaderSize);
    FileHeaderBytes b = EncodeFileHeader(headers[i]);
    std::copy(b.begin(), b.end(), disks[0].begin() + static_cast<std::ptrdiff_t>(pos));
  }
  return disks;
}

inline std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

// Deterministic content that compresses somewhat but not entirely.
inline std::string MixedContent(std::size_t size, std::uint32_t seed) {
  std::string s(size, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (std::size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = (x >> 16) % 4 == 0 ? static_cast<char>(x >> 24) : "abcdefgh \n"[(x >> 20) % 10];
  }
  return s;
}

}  // namespace brimwell::testing
