// The platform's small interpreter of the batch files the engine writes: the
// clean-up batch and the move batch for files in use. It knows the lines
//
//   ERASE <file>         delete a file (a missing file is no error)
//   DELTREE /Y <dir>     delete a directory with everything in it
//   MOVE <from> <to>     move a file onto another, replacing it
//
// with commands in any letter case; blank lines, "@ECHO OFF", "REM" lines
// and lines starting with "::" are skipped. Paths are Windows paths and may
// be quoted; an unquoted MOVE whose paths hold blanks is split where the
// source exists. Any other command is reported as unknown and skipped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brimwell {

class FileSystem;

struct BatchReport {
  std::vector<std::string> lines;  // one per command: what was done or why not
  int failures = 0;
};

// Runs the commands of `text` against `files`.
BatchReport RunBatchText(FileSystem& files, std::string_view text);
// Reads the batch file at the Windows path `batch_path` and runs it. A
// missing file gives one failure line.
BatchReport RunBatchFile(FileSystem& files, std::string_view batch_path);

}  // namespace brimwell
