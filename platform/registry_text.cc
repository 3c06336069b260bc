#include "platform/registry_text.h"

#include <cctype>
#include <cstdio>
#include <ostream>
#include <vector>

#include "framework/format.h"
#include "platform/platform_errors.h"
#include "platform/text_encoding.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

constexpr char kLineError[] = "line %d: %s";
constexpr char kOldHeader[] = "REGEDIT4";
constexpr std::size_t kWrapColumn = 76;
constexpr char kKeyNotExportable[] = "the key %s holds a control character, which registry text cannot carry";
constexpr char kValueNotExportable[] =
    "the value name \"%s\" of the key %s holds a line break, which registry text cannot carry";

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

std::string NameOf(std::string_view name) { return name.empty() ? std::string("@") : Quote(name); }

// "hex(n):" followed by the bytes, wrapped the way the registry editor
// wraps them.
std::string HexData(std::string head, std::string_view bytes) {
  std::string out = std::move(head);
  std::size_t line_start = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(bytes[i]));
    out += buf;
    if (i + 1 < bytes.size()) {
      out += ',';
      if (out.size() - line_start > kWrapColumn) {
        out += "\\\n  ";
        line_start = out.size() - 2;
      }
    }
  }
  return out;
}

std::string ValueLine(const RegistryValueEntry& entry) {
  const RegistryValue& v = entry.value;
  std::string head = NameOf(entry.name) + "=";
  switch (v.type) {
    case RegistryValueType::kString:
      if (v.data.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos) return head + Quote(v.data);
      // Line breaks and NULs cannot stand between quotes.
      return HexData(head + "hex(1):", Utf8ToUtf16Le(v.data) + std::string(2, '\0'));
    case RegistryValueType::kDword:
      if (v.data.size() == 4) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", v.AsDword(entry.name));
        return head + buf;
      }
      return HexData(head + "hex(4):", v.data);
    case RegistryValueType::kBinary: return HexData(head + "hex:", v.data);
    case RegistryValueType::kExpandString:
      return HexData(head + "hex(2):", Utf8ToUtf16Le(v.data) + std::string(2, '\0'));
    case RegistryValueType::kMultiString: return HexData(head + "hex(7):", Utf8ToUtf16Le(v.data));
    default: break;
  }
  char buf[24];
  std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
  return HexData(head + buf, v.data);
}

// `text` with each control character shown as \xNN, for messages.
std::string Visible(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f') {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned char>(c));
      out += buf;
    } else {
      out += c;
    }
  }
  return out;
}

bool HasControlCharacter(std::string_view text) { return Visible(text).size() != text.size(); }

void ExportKey(Registry& registry, RegistryHive hive, const std::string& key, const std::string& shown,
               std::ostream& out) {
  // The text has no way to carry a line break in a name: it would start a
  // line of its own, a key or value of its choosing. Such a name is
  // refused, never written (keys made here cannot hold one; a store
  // written otherwise might).
  if (HasControlCharacter(shown)) throw ERegistryTextError(Format(kKeyNotExportable, {Visible(shown)}));
  out << "[" << shown << "]\n";
  if (auto values = registry.Values(hive, key)) {
    for (const RegistryValueEntry& entry : *values) {
      if (entry.name.find_first_of("\r\n") != std::string::npos) {
        throw ERegistryTextError(Format(kValueNotExportable, {Visible(entry.name), Visible(shown)}));
      }
      out << ValueLine(entry) << "\n";
    }
  }
  out << "\n";
  if (auto subkeys = registry.SubKeys(hive, key)) {
    for (const std::string& sub : *subkeys) {
      ExportKey(registry, hive, key.empty() ? sub : key + "\\" + sub, shown + "\\" + sub, out);
    }
  }
}

std::string CleanKey(std::string_view key) {
  std::string out;
  std::size_t i = 0;
  while (i < key.size()) {
    while (i < key.size() && key[i] == '\\') ++i;
    std::size_t start = i;
    while (i < key.size() && key[i] != '\\') ++i;
    if (i > start) {
      if (!out.empty()) out += '\\';
      out += key.substr(start, i - start);
    }
  }
  return out;
}

// --- Import ---------------------------------------------------------------

class Importer {
 public:
  Importer(Registry& registry, bool unicode) : registry_(registry), unicode_(unicode) {}

  void Line(int number, std::string_view line) {
    number_ = number;
    if (line.empty() || line.front() == ';') return;
    if (line.front() == '[') return Key(line);
    if (!key_) Error("a value before any [key]");
    Value(line);
  }

  RegistryImportResult result;

 private:
  [[noreturn]] void Error(const std::string& what) {
    throw ERegistryTextError(Format(kLineError, {number_, what}));
  }

  void Key(std::string_view line) {
    std::size_t close = line.rfind(']');
    if (close == std::string_view::npos) Error("a key without its closing ]");
    std::string_view path = line.substr(1, close - 1);
    bool remove = !path.empty() && path.front() == '-';
    if (remove) path.remove_prefix(1);
    std::pair<RegistryHive, std::string> where;
    try {
      where = ParseRegistryPath(path);
    } catch (const ERegistryException& e) {
      Error(e.what());
    }
    where.second = CleanKey(where.second);
    if (remove) {
      if (!where.second.empty()) (void)registry_.DeleteTree(where.first, where.second);
      key_.reset();
      ++result.keys;
      return;
    }
    WinStatus s = registry_.CreateKey(where.first, where.second);
    if (!s) Error("cannot create the key " + Visible(path) + ": " + WinErrorText(s.error()));
    key_ = where;
    ++result.keys;
  }

  // A quoted string starting at `text[0]`; `rest` receives what follows.
  std::string ParseQuoted(std::string_view text, std::string_view& rest) {
    std::string out;
    std::size_t i = 1;
    for (; i < text.size(); ++i) {
      if (text[i] == '\\' && i + 1 < text.size()) {
        out += text[++i];
      } else if (text[i] == '"') {
        rest = text.substr(i + 1);
        return out;
      } else {
        out += text[i];
      }
    }
    Error("a string without its closing quote");
  }

  std::string ParseHexBytes(std::string_view text) {
    std::string bytes;
    std::size_t i = 0;
    while (i < text.size()) {
      while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == ',')) ++i;
      if (i >= text.size()) break;
      std::size_t start = i;
      while (i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i]))) ++i;
      if (i == start || i - start > 2) Error("bad hexadecimal data");
      bytes += static_cast<char>(std::stoi(std::string(text.substr(start, i - start)), nullptr, 16));
      if (i < text.size() && text[i] != ',' && text[i] != ' ' && text[i] != '\t') Error("bad hexadecimal data");
    }
    return bytes;
  }

  std::string FromWide(std::string_view bytes, bool strip_nul) {
    if (!unicode_) {
      std::string text(bytes);
      if (strip_nul) {
        while (!text.empty() && text.back() == '\0') text.pop_back();
      }
      return text;
    }
    std::optional<std::string> text = Utf16LeToUtf8(bytes);
    if (!text) Error("UTF-16 data of odd length");
    if (strip_nul) {
      while (!text->empty() && text->back() == '\0') text->pop_back();
    }
    return *text;
  }

  void Value(std::string_view line) {
    std::string name;
    std::string_view rest;
    if (line.front() == '@') {
      rest = line.substr(1);
    } else if (line.front() == '"') {
      name = ParseQuoted(line, rest);
    } else {
      Error("a line that is neither a key nor a value");
    }
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    if (rest.empty() || rest.front() != '=') Error("a value without '='");
    rest.remove_prefix(1);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.remove_suffix(1);

    RegistryValue value;
    if (rest == "-") {
      (void)registry_.DeleteValue(key_->first, key_->second, name);
      ++result.values;
      return;
    }
    if (!rest.empty() && rest.front() == '"') {
      std::string_view after;
      value = RegistryValue::String(ParseQuoted(rest, after));
      if (!after.empty()) Error("text after the closing quote");
    } else if (rest.size() > 6 && WinNamesEqual(rest.substr(0, 6), "dword:")) {
      std::string_view digits = rest.substr(6);
      if (digits.empty() || digits.size() > 8 ||
          digits.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos) {
        Error("bad dword data");
      }
      value = RegistryValue::Dword(static_cast<std::uint32_t>(std::stoul(std::string(digits), nullptr, 16)));
    } else if (rest.size() >= 4 && WinNamesEqual(rest.substr(0, 4), "hex:")) {
      value = RegistryValue::Binary(ParseHexBytes(rest.substr(4)));
    } else if (rest.size() > 4 && WinNamesEqual(rest.substr(0, 4), "hex(")) {
      std::size_t close = rest.find("):");
      if (close == std::string_view::npos) Error("bad hex(type) data");
      std::string type_text(rest.substr(4, close - 4));
      if (type_text.empty() || type_text.size() > 8 ||
          type_text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        Error("bad hex(type) data");
      }
      auto type = static_cast<RegistryValueType>(std::stoul(type_text, nullptr, 16));
      std::string bytes = ParseHexBytes(rest.substr(close + 2));
      switch (type) {
        case RegistryValueType::kString:
        case RegistryValueType::kExpandString: bytes = FromWide(bytes, true); break;
        case RegistryValueType::kMultiString: bytes = FromWide(bytes, false); break;
        default: break;
      }
      value = RegistryValue{type, bytes};
    } else {
      Error("data of unknown form: " + std::string(rest));
    }
    WinStatus s = registry_.SetValue(key_->first, key_->second, name, value);
    if (!s) Error("cannot write the value " + name + ": " + WinErrorText(s.error()));
    ++result.values;
  }

  Registry& registry_;
  bool unicode_;
  int number_ = 0;
  std::optional<std::pair<RegistryHive, std::string>> key_;
};

}  // namespace

bool ExportRegistryText(Registry& registry, RegistryHive hive, std::string_view key, std::ostream& out) {
  std::string clean = CleanKey(key);
  if (!registry.KeyExists(hive, clean)) return false;
  out << kRegistryTextHeader << "\n\n";
  std::string shown(HiveName(hive));
  if (!clean.empty()) shown += "\\" + clean;
  ExportKey(registry, hive, clean, shown, out);
  return true;
}

void ExportAllRegistryText(Registry& registry, std::ostream& out) {
  out << kRegistryTextHeader << "\n\n";
  for (RegistryHive hive : {RegistryHive::kLocalMachine, RegistryHive::kUsers, RegistryHive::kDynData}) {
    if (auto subkeys = registry.SubKeys(hive, "")) {
      for (const std::string& sub : *subkeys) {
        ExportKey(registry, hive, sub, std::string(HiveName(hive)) + "\\" + sub, out);
      }
    }
  }
}

RegistryImportResult ImportRegistryText(Registry& registry, std::string_view data) {
  std::string text;
  if (data.substr(0, 2) == kUtf16LeBom) {
    std::optional<std::string> decoded = Utf16LeToUtf8(data.substr(2));
    if (!decoded) throw ERegistryTextError(Format(kLineError, {1, "UTF-16 text of odd length"}));
    text = std::move(*decoded);
  } else {
    text = std::string(data.substr(data.substr(0, 3) == kUtf8Bom ? 3 : 0));
  }
  // Lines, with continuation lines (ending in a backslash) joined.
  std::vector<std::pair<int, std::string>> lines;
  std::size_t pos = 0;
  int number = 0;
  bool continuing = false;
  while (pos <= text.size()) {
    std::size_t nl = text.find('\n', pos);
    std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t start = line.find_first_not_of(" \t");
    line = start == std::string::npos ? std::string() : line.substr(start);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    if (continuing) {
      lines.back().second += line;
    } else {
      lines.emplace_back(number, line);
    }
    // A hex value goes on in the next line after a final backslash.
    std::string& last = lines.back().second;
    continuing = !last.empty() && last.back() == '\\' && WinLowerCase(last).find("=hex") != std::string::npos;
    if (continuing) last.pop_back();
    if (nl == std::string::npos) break;
    pos = nl + 1;
  }
  std::size_t first = 0;
  while (first < lines.size() && lines[first].second.empty()) ++first;
  if (first == lines.size() ||
      (lines[first].second != kRegistryTextHeader && lines[first].second != kOldHeader)) {
    throw ERegistryTextError(Format(kLineError, {first < lines.size() ? lines[first].first : 1,
                                                 std::string("the file does not begin with \"") +
                                                     kRegistryTextHeader + "\""}));
  }
  // One update: a bad line or a failed write late in the file leaves the
  // registry as it was, not holding the keys of the lines before it.
  RegistryUpdate update(registry);
  Importer importer(registry, lines[first].second == kRegistryTextHeader);
  for (std::size_t i = first + 1; i < lines.size(); ++i) importer.Line(lines[i].first, lines[i].second);
  update.Commit();
  return importer.result;
}

}  // namespace brimwell
