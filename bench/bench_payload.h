// The mixed payload the archive and build benchmarks time: the same bytes
// for the same size on every run, so their figures compare.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace brimwell::bench {

// A payload of text, incompressible, structured binary and sparse files of
// sizes from 1 KB to 4 MB, about `total` bytes in all.
inline std::vector<std::filesystem::path> MakePayload(const std::filesystem::path& dir, std::uint64_t total) {
  std::filesystem::create_directories(dir);
  std::mt19937_64 rng(20260101);
  static const char* kWords[] = {"install", "archive", "version", "the",    "of",     "file",
                                 "setup",   "program", "data",    "engine", "\n",     "registry",
                                 "a",       "and",     "to",      "disk",   "window", "1999"};
  std::vector<std::filesystem::path> files;
  std::uint64_t done = 0;
  for (int i = 0; done < total; ++i) {
    std::uint64_t size = 1024ull << (rng() % 13);  // 1 KB .. 4 MB
    size += rng() % size;
    size = std::min<std::uint64_t>(size, total - done + 1024);
    std::string data;
    data.reserve(size);
    switch (i % 4) {
      case 0:  // text
        while (data.size() < size) {
          data += kWords[rng() % std::size(kWords)];
          data += ' ';
        }
        break;
      case 1:  // incompressible
        while (data.size() < size) {
          std::uint64_t r = rng();
          data.append(reinterpret_cast<const char*>(&r), 8);
        }
        break;
      case 2:  // structured records
        for (std::uint32_t n = 0; data.size() < size; ++n) {
          std::uint32_t rec[4] = {n, n * 7, 0x1000u + (n & 0xFF),
                                  static_cast<std::uint32_t>(rng() & 0xF)};
          data.append(reinterpret_cast<const char*>(rec), sizeof rec);
        }
        break;
      default:  // mostly zeros
        data.assign(size, '\0');
        for (std::uint64_t k = 0; k < size; k += 4096) data[k] = static_cast<char>(rng());
        break;
    }
    data.resize(size);
    std::filesystem::path p = dir / ("f" + std::to_string(i) + ".dat");
    std::ofstream(p, std::ios::binary)
        .write(data.data(), static_cast<std::streamsize>(data.size()));
    files.push_back(p);
    done += size;
  }
  return files;
}

}  // namespace brimwell::bench
