// TCustomInstallFile: the base of installable files (registered type 2000),
// as far as the component tree and the driver need it: every file joins the
// process-wide file list, has a size for the progress totals, a destination
// name, and may ask to be started after the installation. Extraction,
// overwrite rules, self-registration and the uninstall log come with the
// installable-file components that derive from it.
#pragma once

#include <cstdint>
#include <string>

#include "engine/file_related.h"

namespace brimwell {

class TCustomInstallFile : public TFileRelated {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TCustomInstallFile(TComponent* owner);
  ~TCustomInstallFile() override;

  int ComponentType() const override;

  const std::string& DestName() const { return dest_name_; }
  virtual void SetDestName(const std::string& name) { dest_name_ = name; }
  bool RunAfterInstall() const { return run_after_install_; }
  void SetRunAfterInstall(bool run) { run_after_install_ = run; }
  // Bytes to install (from the archive header or the source file).
  std::int64_t FileSize() const { return file_size_; }
  void SetFileSize(std::int64_t size) { file_size_ = size; }

  // GetDestPath + "\" + DestName.
  std::string InstalledPath();

  // Reads size, date and version from the archive header; nothing here.
  virtual void ReadInfoFromArchive();
  // The self-registration deferred to the end of the run; nothing here.
  virtual void RegisterDeferred();

 private:
  std::string dest_name_;
  bool run_after_install_ = false;
  std::int64_t file_size_ = 0;
};

}  // namespace brimwell
