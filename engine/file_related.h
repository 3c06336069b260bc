// TFileRelated: an install object that has an archive: the archive path
// (ArchiveFileType + ArchiveFile), how a build adds to it (AddToArchive),
// whether it lives at a net location (Net, NetLocation), and a downloaded
// local copy (LocalArchivePath) recorded in the install record so a resumed
// run finds it again.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "archive/brwl_compress.h"
#include "engine/install_object.h"

namespace brimwell {

inline constexpr char kNoNetLocationFor[] = "Could not find a net install location for %s";
inline constexpr char kOwnNetLocationNotFilled[] =
    "%s could not install itself because the TNetLocation component's properties, in the NetLocation "
    "property, have not been filled in";
inline constexpr char kDriverLoginNotFilled[] =
    "%s could not install itself because the LoginInformation property of the TInstall component has "
    "not been properly filled in";
inline constexpr char kLocalFileValue[] = "LocalFile";

class TFileRelated : public TInstallObject {
  BRIMWELL_CLASS_INFO()

 public:
  // Sender, FileName, Bytes, TotalBytes, FileSize, Buffer.
  using TDataReceivedEvent =
      std::function<void(TComponent* sender, const std::string& file_name, std::int32_t bytes,
                         std::int32_t total_bytes, std::int32_t file_size, const std::uint8_t* buffer)>;

  explicit TFileRelated(TComponent* owner);

  const std::string& LocalArchivePath() const { return local_archive_path_; }
  void SetLocalArchivePath(const std::string& path) { local_archive_path_ = path; }
  TlzhCommand AddToArchive() const { return add_to_archive_; }
  void SetAddToArchive(TlzhCommand command) { add_to_archive_ = command; }
  bool ArchiveInfoRead() const { return archive_info_read_; }
  void SetArchiveInfoRead(bool read) { archive_info_read_ = read; }
  const std::string& ArchiveFile() const { return archive_file_; }
  // Outside loading, stores "" while ArchiveFileType is psContainerArchiveFile
  // or psMainArchiveFile (those yield a file, not a directory).
  virtual void SetArchiveFile(const std::string& file);
  TCustomPathSpecifier* ArchiveFileType() const { return archive_file_type_; }
  // Validates outside loading; the two file-yielding specifiers empty
  // ArchiveFile.
  virtual void SetArchiveFileType(TCustomPathSpecifier* specifier);
  bool Net() const { return net_; }
  virtual void SetNet(bool net) { net_ = net; }
  // A TCustomNetInstallLocation (net_location_access.h), or nullptr.
  TComponent* NetLocation() const { return net_location_; }
  virtual void SetNetLocation(TComponent* location);

  TDataReceivedEvent OnDataReceived;

  // Download progress: fires OnDataReceived, component call -988 and
  // information event 1014 to the container.
  virtual void DataReceived(const std::string& file_name, std::int32_t bytes, std::int32_t total_bytes,
                            std::int32_t file_size, const std::uint8_t* buffer);
  // Fetches this component's archive from its net location into a fresh
  // temporary file (LocalArchivePath) unless a recorded copy exists. Throws
  // kNoNetLocationFor, the login messages, the location's errors, and
  // EAIUserAbort when the user cancelled.
  virtual void DownloadArchive();
  // True when a downloaded copy exists at LocalArchivePath.
  virtual bool ArchiveAvailable();
  // Records LocalArchivePath as "LocalFile" under the install record (write
  // failures are ignored).
  virtual void RecordLocalFile();
  // ArchiveFileType's path for this component followed by ArchiveFile, or
  // ArchiveFile alone; without a trailing backslash.
  virtual std::string GetArchivePath();
  // The recorded downloaded copy: non-blank and naming an existing file.
  std::optional<std::string> LookupLocalFile() const;
  // The net location this component's archive lives at: its own, else the
  // first found going up its chain of file containers, else the driver's
  // (or the process-wide default); nullptr when there is none.
  virtual TComponent* FindNetLocation();

  // Outside loading a file-related container makes ArchiveFileType
  // psContainerArchiveFile (ArchiveFile emptied); any other clears a
  // psContainerArchiveFile type.
  void SetContainer(TInstallContainer* container) override;
  // Outside loading a changed Order moves the component to its new place in
  // its container (which renumbers); without a container it is ignored.
  void SetOrder(std::int32_t order) override;
  void Loaded() override;

 protected:
  void Notification(TComponent* component, Operation operation) override;
  void StoreArchiveFileType(TCustomPathSpecifier* specifier);
  void MarkArchiveFileTypeDefaulted() { archive_file_type_defaulted_ = true; }

 private:
  std::string local_archive_path_;
  TlzhCommand add_to_archive_ = lzcOverwrite;
  bool archive_info_read_ = false;
  std::string archive_file_;
  TCustomPathSpecifier* archive_file_type_ = nullptr;
  bool archive_file_type_assigned_ = false;
  bool archive_file_type_defaulted_ = false;
  bool net_ = true;
  TComponent* net_location_ = nullptr;
};

}  // namespace brimwell
