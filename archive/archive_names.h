// Names of archive sets. The archives the system makes carry the extension
// ".1"; the disk files of a multi-volume set are the same name with ".2",
// ".3", ... Works on Windows paths and host paths alike (either separator).
#pragma once

#include <string>
#include <string_view>

namespace brimwell {

// `path` with its extension (the text from the last "." of the file-name part
// on) replaced by "." and `disk` in decimal; a name without extension gains one.
std::string DiskFileName(std::string_view path, int disk);

// True when both names denote the same archive set: their ".1" forms are
// equal without regard to case.
bool SameArchiveSet(std::string_view a, std::string_view b);

// The file-name part of a path (after the last "\\", "/" or drive colon).
std::string_view FileNamePart(std::string_view path);
// The directory part without trailing separator ("" when there is none).
std::string_view DirectoryPart(std::string_view path);

// The first ";"-separated token of a FilesToProcess line.
std::string_view FirstToken(std::string_view line);

}  // namespace brimwell
