// Real PE files with version resources for tests: the resource script is
// compiled by windres and linked into a PE32 image by ld; a PE32+ (64-bit)
// image is derived from it by rewriting its headers in the PE32+ layout,
// keeping every section (and so every resource address) where it is.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "tests/testutil/temp_dir.h"

namespace brimwell::testing {

// A host file's bytes, and writing bytes to one.
inline std::vector<std::uint8_t> ReadHostBytes(const std::filesystem::path& path) {
  const std::string text = ReadHostFile(path);
  return std::vector<std::uint8_t>(text.begin(), text.end());
}
inline void WriteHostFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& b) {
  WriteHostFile(path, std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
}

inline bool HavePeTools() {
  return std::system(
             "command -v i686-w64-mingw32-windres >/dev/null 2>&1 && "
             "command -v ld >/dev/null 2>&1 && command -v cpp >/dev/null 2>&1") == 0;
}

// Builds a PE32 program in `dir` from the resource script `rc`; nullopt when
// the tools fail.
inline std::optional<std::filesystem::path> BuildPe32(const std::filesystem::path& dir,
                                                      const std::string& name,
                                                      const std::string& rc) {
  std::filesystem::path rc_path = dir / (name + ".rc");
  std::filesystem::path obj = dir / (name + ".o");
  std::filesystem::path exe = dir / (name + ".exe");
  { std::ofstream(rc_path) << rc; }
  std::string cmd = "i686-w64-mingw32-windres --preprocessor=cpp -O coff -o '" + obj.string() +
                    "' '" + rc_path.string() + "' && ld -m i386pe --subsystem windows -e 0 -o '" +
                    exe.string() + "' '" + obj.string() + "' 2>/dev/null";
  if (std::system(cmd.c_str()) != 0) return std::nullopt;
  return exe;
}

// The PE32+ form of a PE32 image: optional header rewritten (64-bit image
// base and stack/heap sizes, no BaseOfData), machine x86-64, sections moved
// 16 bytes on in the header area.
inline std::vector<std::uint8_t> ToPe32Plus(const std::vector<std::uint8_t>& pe32) {
  auto u16 = [&](std::size_t p) { return static_cast<std::uint32_t>(pe32[p] | pe32[p + 1] << 8); };
  auto u32 = [&](std::size_t p) {
    return static_cast<std::uint32_t>(pe32[p] | pe32[p + 1] << 8 | pe32[p + 2] << 16 |
                                      static_cast<std::uint32_t>(pe32[p + 3]) << 24);
  };
  std::vector<std::uint8_t> out = pe32;
  auto put16 = [&](std::size_t p, std::uint32_t v) {
    out[p] = static_cast<std::uint8_t>(v);
    out[p + 1] = static_cast<std::uint8_t>(v >> 8);
  };
  auto put32 = [&](std::size_t p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
      out[p + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  auto put64 = [&](std::size_t p, std::uint64_t v) {
    put32(p, static_cast<std::uint32_t>(v));
    put32(p + 4, static_cast<std::uint32_t>(v >> 32));
  };
  const std::size_t pe = u32(0x3C);
  const std::size_t coff = pe + 4;
  const std::size_t opt = coff + 20;
  const std::size_t old_opt_size = u16(coff + 16);
  const std::size_t sections = u16(coff + 2);
  const std::size_t rva_count = u32(opt + 92);
  const std::size_t new_opt_size = 112 + rva_count * 8;

  put16(coff, 0x8664);  // AMD64
  put16(coff + 16, static_cast<std::uint32_t>(new_opt_size));
  put16(coff + 18, (u16(coff + 18) & ~0x100u) | 0x20u);  // no 32BIT_MACHINE; large addresses
  put16(opt, 0x20B);
  // 2..23 (linker version, sizes, entry point, BaseOfCode) stay.
  put64(opt + 24, 0x140000000ull);  // ImageBase
  for (std::size_t i = 32; i < 72; ++i)
    out[opt + i] = pe32[opt + i];   // alignment .. DllCharacteristics
  put64(opt + 72, u32(opt + 72));   // stack reserve
  put64(opt + 80, u32(opt + 76));   // stack commit
  put64(opt + 88, u32(opt + 80));   // heap reserve
  put64(opt + 96, u32(opt + 84));   // heap commit
  put32(opt + 104, u32(opt + 88));  // loader flags
  put32(opt + 108, static_cast<std::uint32_t>(rva_count));
  std::memcpy(&out[opt + 112], &pe32[opt + 96], rva_count * 8);
  std::memcpy(&out[opt + new_opt_size], &pe32[opt + old_opt_size], sections * 40);
  return out;
}

// What Debian's pefile reads from a file: "key=value" lines for the fixed
// versions, FileOS, FileType, FileSubtype and every string of every table
// ("str:<table>:<key>=<value>"); empty when pefile is missing or finds
// nothing.
inline std::vector<std::string> PefileView(const std::filesystem::path& file) {
  std::filesystem::path out = file.string() + ".pefile.txt";
  std::string script =
      "import sys, pefile\n"
      "pe = pefile.PE(sys.argv[1])\n"
      "o = open(sys.argv[2], 'w', encoding='utf-8')\n"
      "o.write('magic=%x\\n' % pe.OPTIONAL_HEADER.Magic)\n"
      "for f in getattr(pe, 'VS_FIXEDFILEINFO', []):\n"
      "  o.write('file=%d.%d.%d.%d\\n' % (f.FileVersionMS >> 16, f.FileVersionMS & 0xFFFF, "
      "f.FileVersionLS >> 16, f.FileVersionLS & 0xFFFF))\n"
      "  o.write('product=%d.%d.%d.%d\\n' % (f.ProductVersionMS >> 16, f.ProductVersionMS & "
      "0xFFFF, f.ProductVersionLS >> 16, f.ProductVersionLS & 0xFFFF))\n"
      "  o.write('os=%x\\ntype=%x\\nsubtype=%x\\n' % (f.FileOS, f.FileType, f.FileSubtype))\n"
      "for group in getattr(pe, 'FileInfo', []):\n"
      "  for fi in group:\n"
      "    for st in getattr(fi, 'StringTable', []):\n"
      "      for k, v in st.entries.items():\n"
      "        o.write('str:%s:%s=%s\\n' % (st.LangID.decode(), k.decode(), v.decode()))\n";
  std::filesystem::path script_path = file.string() + ".py";
  { std::ofstream(script_path) << script; }
  std::string cmd = "/usr/bin/python3 '" + script_path.string() + "' '" + file.string() + "' '" +
                    out.string() + "' 2>/dev/null";
  std::vector<std::string> lines;
  if (std::system(cmd.c_str()) != 0) return lines;
  std::ifstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline constexpr char kVersionScript[] = R"rc(1 VERSIONINFO
FILEVERSION 5,0,4277,1
PRODUCTVERSION 2,1,0,7
FILEFLAGSMASK 0x3f
FILEFLAGS 0
FILEOS 0x40004
FILETYPE 3
FILESUBTYPE 2
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904E4"
    BEGIN
      VALUE "Comment", "made by windres"
      VALUE "CompanyName", "Acme Tools"
      VALUE "FileDescription", "Keyboard driver"
      VALUE "FileVersion", "5.0 text is not used"
      VALUE "InternalName", "kbd"
      VALUE "LegalCopyright", "(c) Acme"
      VALUE "LegalTrademarks", "Acme(tm)"
      VALUE "OriginalFilename", "KBD.DRV"
      VALUE "ProductName", "Acme Input"
      VALUE "ProductVersion", "2.1 beta"
    END
    BLOCK "040704E4"
    BEGIN
      VALUE "CompanyName", "Acme Werkzeuge"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1252, 0x407, 1252
  END
END
)rc";

}  // namespace brimwell::testing
