// TOpenFolderDialog: lets the user pick a directory of the Windows machine
// the engine sees (the prefix's drives, C:\..., never the host tree as
// such). A modal window with the folder tree, an edit line showing the
// selected path in which a path can be typed (TOFDPathEdit), a button that
// makes a new folder under the selected one (TOFDCreateButton), OK and
// Cancel. A typed path that does not exist is created when the user
// confirms; a folder that cannot be made is reported and the window stays
// open.
#pragma once

#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace brimwell {

class EngineContext;
class FileSystem;
class FolderWindow;

// The file system's answers for a path the user typed: a path it cannot map
// (an unknown drive, a malformed name) is no directory and cannot be made.
bool DirectoryExistsSafely(FileSystem& fs, const std::string& path);
bool ForceDirectoriesSafely(FileSystem& fs, const std::string& path);

// Texts of the window (passed through the translator).
inline constexpr char kBrowseFolderTitle[] = "Browse for Folder";
inline constexpr char kCreateFolderCaption[] = "&New Folder";
inline constexpr char kNewFolderPrompt[] = "Name of the new folder:";
inline constexpr char kCannotCreateFolder[] = "Cannot create the folder %s";

class TOpenFolderDialog {
 public:
  using TCreateFolderEvent = std::function<void(TOpenFolderDialog* sender, bool& allow)>;

  explicit TOpenFolderDialog(EngineContext& ctx);
  ~TOpenFolderDialog();

  // In: the folder to select first; out: the chosen folder.
  std::string Path;
  bool ShowCreateButton = true;
  bool ShowPathEdit = true;
  TCreateFolderEvent OnCreateFolder;

  // True when a folder was chosen (Path holds it); false for Cancel.
  bool Execute();

  // The nearest existing directory of `path` (cutting off the last "\"
  // part until one exists; "C:" becomes "C:\"), or empty.
  std::string NearestExisting(const std::string& path) const;

  // Test hook: called once the window is shown, before its modal loop.
  std::function<void(FolderWindow&)> OnShown;

 private:
  EngineContext& ctx_;
};

}  // namespace brimwell
