// TStringList: an ordered list of text lines, the value behind every
// string-list property (descriptions, licence text, presetup files, language
// lines) and the line buffer that files are read into and written from.
//
// A plain value: copying copies the lines. Lines are byte strings (the
// toolkit's texts are single-byte or UTF-8); a line never contains a line
// break once it came through SetText or LoadFromFile.
//
// Every method that changes the list is virtual and works on the lines
// directly, never through another virtual method, so a derived list (one
// that re-parses its lines after a change) sees each operation exactly once.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "framework/exception.h"

namespace brimwell {

BRIMWELL_EXCEPTION(EStringListError, Exception);

// Raised for an index outside the list; %d is the index.
inline constexpr char kListIndexError[] = "List index out of bounds (%d)";
// Raised by LoadFromFile and SaveToFile; the first %s is the path, the
// second the system's reason.
inline constexpr char kCannotOpenFile[] = "Cannot open file \"%s\". %s";
inline constexpr char kCannotCreateFile[] = "Cannot create file \"%s\". %s";

class TStringList {
 public:
  // The line break that Text() puts after each line and SaveToFile writes.
  static constexpr std::string_view kLineBreak = "\r\n";

  TStringList() = default;
  TStringList(std::initializer_list<std::string> lines) : lines_(lines) {}
  explicit TStringList(std::vector<std::string> lines) : lines_(std::move(lines)) {}
  TStringList(const TStringList&) = default;
  TStringList(TStringList&&) = default;
  TStringList& operator=(const TStringList&) = default;
  TStringList& operator=(TStringList&&) = default;
  virtual ~TStringList() = default;

  int Count() const { return static_cast<int>(lines_.size()); }
  bool Empty() const { return lines_.empty(); }
  const std::vector<std::string>& Lines() const { return lines_; }
  auto begin() const { return lines_.begin(); }
  auto end() const { return lines_.end(); }

  // The line at index; throws EStringListError (kListIndexError) outside
  // 0..Count()-1.
  const std::string& Strings(int index) const;
  virtual void SetStrings(int index, std::string value);

  // Appends a line; returns its index.
  virtual int Add(std::string line);
  // Appends every line of other (other may be this list).
  virtual void AddStrings(const TStringList& other);
  // Inserts before index; index may be Count() to append. Throws
  // EStringListError outside 0..Count().
  virtual void Insert(int index, std::string line);
  // Throws EStringListError outside 0..Count()-1.
  virtual void Delete(int index);
  // Moves the line at cur_index so that it ends up at new_index. Throws
  // EStringListError when either is outside 0..Count()-1.
  virtual void Move(int cur_index, int new_index);
  virtual void Exchange(int index1, int index2);
  virtual void Clear();
  // Replaces the lines by those of other (other may be this list).
  virtual void Assign(const TStringList& other);

  // Whether IndexOf and the name=value helpers compare without regard to
  // case (the default) or exactly. Case folding covers the ASCII letters;
  // other bytes compare as they are. Not copied by Assign.
  bool CaseSensitive() const { return case_sensitive_; }
  void SetCaseSensitive(bool value) { case_sensitive_ = value; }

  // Index of the first line equal to s under CaseSensitive(), or -1.
  int IndexOf(std::string_view s) const { return IndexOf(s, case_sensitive_); }
  int IndexOf(std::string_view s, bool case_sensitive) const;

  // All lines, each followed by kLineBreak ("" for an empty list), so that
  // SetText(Text()) gives back the same lines, an empty last line included.
  std::string Text() const;
  // Replaces the lines by text split at CR LF, LF or a lone CR; a break at
  // the very end does not start another line.
  virtual void SetText(std::string_view text);

  // Name=value lines. The name is the text before the first "=", the value
  // the text after it; a line without "=" has neither (both "").
  std::string Names(int index) const;
  std::string ValueFromIndex(int index) const;
  // Index of the first line whose name equals name under CaseSensitive(), or -1.
  int IndexOfName(std::string_view name) const;
  // The value of the first line named name; "" when there is none.
  std::string Values(std::string_view name) const;
  // Sets the value of the first line named name, appending "name=value"
  // when there is none; an empty value deletes that line.
  virtual void SetValues(std::string_view name, std::string_view value);

  // Reads a host file as text (SetText of its bytes; a leading UTF-8 byte
  // order mark is dropped). Throws EStreamError (kCannotOpenFile) when it
  // cannot be read; the list is unchanged then.
  virtual void LoadFromFile(const std::string& path);
  // Writes Text() to a host file, replacing it. Throws EStreamError
  // (kCannotCreateFile) when it cannot be written.
  void SaveToFile(const std::string& path) const;

  // Same lines in the same order, compared exactly.
  bool operator==(const TStringList& other) const { return lines_ == other.lines_; }

 protected:
  // Throws EStringListError unless 0 <= index < Count() (or <= Count() when
  // end_allowed).
  void CheckIndex(int index, bool end_allowed = false) const;
  std::vector<std::string>& MutableLines() { return lines_; }

 private:
  std::vector<std::string> lines_;
  bool case_sensitive_ = false;
};

}  // namespace brimwell
