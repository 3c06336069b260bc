// FolderWindow: the window of TOpenFolderDialog (open_folder_dialog.h).
#pragma once

#include <QDialog>

#include <string>

class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace brimwell {

class EngineContext;
class TOpenFolderDialog;

class FolderWindow final : public QDialog {
 public:
  FolderWindow(EngineContext& ctx, TOpenFolderDialog& dialog);

  QTreeWidget* Tree() const { return tree_; }
  QLineEdit* PathEdit() const { return edit_; }        // nullptr without ShowPathEdit
  QPushButton* CreateButton() const { return create_; }  // nullptr without ShowCreateButton
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

  // The path selected or typed last.
  const std::string& CurrentPath() const { return current_; }
  // Selects `path` in the tree, opening its parents; false when it is not
  // an existing directory.
  bool SelectPath(const std::string& path);
  // The path of the selected item ("" for none).
  std::string SelectedPath() const;
  // The create-folder button: a typed path that does not exist, else a
  // name asked for (`name` given: no question) under the selected folder.
  void CreateFolder(const std::string* name = nullptr);

 protected:
  void accept() override;

 private:
  QTreeWidgetItem* AddFolder(QTreeWidgetItem* parent, const std::string& label, const std::string& path);
  void Expand(QTreeWidgetItem* item);
  void SelectionChanged();
  void Typed();

  EngineContext& ctx_;
  TOpenFolderDialog& dialog_;
  QTreeWidget* tree_;
  QLineEdit* edit_ = nullptr;
  QPushButton* create_ = nullptr;
  QPushButton* ok_;
  QPushButton* cancel_;
  std::string current_;
  bool selecting_ = false;
  bool typing_ = false;
};

}  // namespace brimwell
