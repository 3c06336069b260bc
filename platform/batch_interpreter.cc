#include "platform/batch_interpreter.h"

#include "framework/command_line_text.h"
#include "platform/file_system.h"
#include "platform/linux_processes.h"
#include "platform/platform_errors.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::string Unquote(std::string_view s) {
  s = Trim(s);
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  return std::string(s);
}

bool HasWildcards(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

class Interpreter {
 public:
  explicit Interpreter(FileSystem& files) : files_(files) {}

  void Line(std::string_view raw) {
    std::string_view line = Trim(raw);
    while (!line.empty() && line.front() == '@') line = Trim(line.substr(1));
    if (line.empty() || line.starts_with("::")) return;
    std::size_t blank = line.find_first_of(" \t");
    std::string command = WinUpperCase(line.substr(0, blank));
    std::string_view rest = blank == std::string_view::npos ? std::string_view() : Trim(line.substr(blank));
    if (command == "REM" || command == "ECHO" || command == "CLS") return;
    try {
      if (command == "ERASE" || command == "DEL") {
        Erase(Unquote(rest));
      } else if (command == "DELTREE") {
        while (rest.starts_with("/")) {
          std::size_t next = rest.find_first_of(" \t");
          rest = next == std::string_view::npos ? std::string_view() : Trim(rest.substr(next));
        }
        DelTree(Unquote(rest));
      } else if (command == "MOVE") {
        Move(rest);
      } else {
        Fail(std::string(line) + ": unknown command");
      }
    } catch (const EPlatformError& e) {
      Fail(std::string(line) + ": " + e.what());
    }
  }

  BatchReport Take() { return std::move(report_); }

 private:
  void Note(std::string text) { report_.lines.push_back(std::move(text)); }
  void Fail(std::string text) {
    report_.lines.push_back(std::move(text));
    ++report_.failures;
  }

  void Erase(const std::string& target) {
    if (target.empty()) return Fail("ERASE: no file named");
    if (HasWildcards(target)) {
      auto found = files_.FindFiles(target);
      if (!found) return Note("ERASE " + target + ": nothing to delete");
      for (const FindData& f : *found) {
        if (!(f.attributes & kFileAttributeDirectory)) Erase(JoinWinPath(ExtractFilePath(target), f.name));
      }
      return;
    }
    if (!files_.FileExists(target)) return Note("ERASE " + target + ": not found");
    if (WinStatus s = files_.DeleteFile(target); !s) {
      return Fail("ERASE " + target + ": " + WinErrorText(s.error()));
    }
    Note("ERASE " + target);
  }

  // Deletes a file or a whole directory; read-only and hidden files too.
  bool RemoveTree(const std::string& path) {
    if (files_.FileExists(path)) {
      (void)files_.SetAttributes(path, kFileAttributeNormal);
      WinStatus s = files_.DeleteFile(path);
      if (!s) Fail("DELTREE " + path + ": " + WinErrorText(s.error()));
      return s.ok();
    }
    bool ok = true;
    if (auto found = files_.FindFiles(JoinWinPath(path, "*.*"))) {
      for (const FindData& f : *found) ok = RemoveTree(JoinWinPath(path, f.name)) && ok;
    }
    if (!ok) return false;
    WinStatus s = files_.RemoveDirectory(path);
    if (!s) Fail("DELTREE " + path + ": " + WinErrorText(s.error()));
    return s.ok();
  }

  void DelTree(const std::string& target) {
    if (target.empty()) return Fail("DELTREE: nothing named");
    if (!files_.FileExists(target) && !files_.DirectoryExists(target)) {
      return Note("DELTREE " + target + ": not found");
    }
    if (RemoveTree(ExcludeTrailingBackslash(target))) Note("DELTREE " + target);
  }

  void Move(std::string_view rest) {
    while (rest.starts_with("/")) {
      std::size_t next = rest.find_first_of(" \t");
      rest = next == std::string_view::npos ? std::string_view() : Trim(rest.substr(next));
    }
    std::string from, to;
    if (rest.find('"') != std::string_view::npos) {
      std::vector<std::string> args = SplitCommandLine(rest);
      if (args.size() != 2) return Fail("MOVE " + std::string(rest) + ": needs a source and a target");
      from = args[0];
      to = args[1];
    } else {
      // Unquoted paths may hold blanks (the prefix has no short names):
      // split where the part before the blank names an existing file.
      std::size_t first_split = std::string_view::npos;
      for (std::size_t i = rest.find(' '); i != std::string_view::npos; i = rest.find(' ', i + 1)) {
        if (first_split == std::string_view::npos) first_split = i;
        std::string candidate(Trim(rest.substr(0, i)));
        if (!candidate.empty() && files_.FileExists(candidate)) {
          from = candidate;
          to = std::string(Trim(rest.substr(i + 1)));
          break;
        }
      }
      if (from.empty()) {
        if (first_split == std::string_view::npos) return Fail("MOVE " + std::string(rest) + ": needs a source and a target");
        from = std::string(Trim(rest.substr(0, first_split)));
        to = std::string(Trim(rest.substr(first_split + 1)));
      }
    }
    if (files_.DirectoryExists(to)) to = JoinWinPath(to, ExtractFileName(from));
    WinStatus s = files_.MoveFileEx(from, to, kMoveReplaceExisting | kMoveCopyAllowed);
    if (!s) return Fail("MOVE " + from + " " + to + ": " + WinErrorText(s.error()));
    Note("MOVE " + from + " " + to);
  }

  FileSystem& files_;
  BatchReport report_;
};

}  // namespace

BatchReport RunBatchText(FileSystem& files, std::string_view text) {
  Interpreter interpreter(files);
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t nl = text.find('\n', pos);
    interpreter.Line(text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos));
    if (nl == std::string_view::npos) break;
    pos = nl + 1;
  }
  return interpreter.Take();
}

BatchReport RunBatchFile(FileSystem& files, std::string_view batch_path) {
  auto opened = files.Open(batch_path, FileAccess::kRead, kShareAll, FileDisposition::kOpenExisting);
  if (!opened) {
    BatchReport report;
    report.lines.push_back(std::string(batch_path) + ": " + WinErrorText(opened.error()));
    report.failures = 1;
    return report;
  }
  std::string text;
  char buffer[8192];
  while (true) {
    IoResult read = (*opened)->Read(buffer, sizeof buffer);
    if (read.bytes == 0 || !read.ok()) break;
    text.append(buffer, read.bytes);
  }
  opened->reset();  // the batch may erase itself
  return RunBatchText(files, text);
}

}  // namespace brimwell
