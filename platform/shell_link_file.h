// Writing and reading shell link (.LNK) files: the bytes of a link to a
// local target, and a validating reader for any link file. The layout is in
// shell_link_format.h. Texts are UTF-8 here; the file holds UTF-16LE string
// data and the local base path both in the ANSI code page (Windows-1252) and
// in UTF-16LE.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform_errors.h"

namespace brimwell {

// A link file that cannot be read: the message says what is wrong and at
// which offset.
BRIMWELL_EXCEPTION(EShellLinkFormat, EPlatformError);

struct ShellLinkData {
  std::uint32_t link_flags = 0;  // as read; the writer computes its own
  std::uint32_t file_attributes = 0;
  std::uint32_t file_size = 0;
  std::int32_t icon_index = 0;
  std::uint32_t show_command = 1;
  std::uint16_t hot_key = 0;
  // From the link info: the target's full path on its volume ("C:\A\b.exe"),
  // the drive type and serial number of that volume. Empty without link info.
  std::string local_base_path;
  std::string common_path_suffix;
  std::string network_name;  // a network target's share ("\\server\share")
  std::uint32_t drive_type = 3;  // DRIVE_FIXED
  std::uint32_t drive_serial = 0;
  std::string volume_label;
  // String data; nullopt when absent.
  std::optional<std::string> name;
  std::optional<std::string> relative_path;
  std::optional<std::string> working_directory;
  std::optional<std::string> arguments;
  std::optional<std::string> icon_location;
  bool has_target_id_list = false;

  // The target as a user would name it: the local base path with the common
  // path suffix, else the network name with the suffix, else the relative
  // path; empty when the link names none of them.
  std::string Target() const;
};

// The bytes of a link file for `link`. A target given as a full local path
// ("X:\...") is stored in link info; any other target only as the relative
// path. `relative_path`, `working_directory`, `arguments` and the name are
// stored when set and not empty. Strings are UTF-16LE (IsUnicode).
std::string EncodeShellLink(const ShellLinkData& link);

// Reads a link file's bytes, checking every size and offset before it is
// used. Throws EShellLinkFormat for anything that is not a well-formed link.
ShellLinkData DecodeShellLink(std::string_view bytes);

// The path of `target` relative to the directory `from_dir` (".\b.exe",
// "..\..\A\b.exe"), both full Windows paths; nullopt when they lie on
// different drives. Components compare without case.
std::optional<std::string> RelativeLinkPath(std::string_view from_dir, std::string_view target);

// "Ctrl+Alt+F5"-style text of a hot key (empty for 0), for listings.
std::string HotKeyText(std::uint16_t hot_key);

}  // namespace brimwell
