// The path service over a prefix directory on Linux (see paths.h).
#pragma once

#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/paths.h"
#include "platform/prefix_config.h"

namespace brimwell {

class LinuxPaths final : public Paths {
 public:
  // `config` must outlive the service; its removable drives give the drive
  // types.
  LinuxPaths(std::filesystem::path prefix, const PrefixConfig& config);
  ~LinuxPaths() override;

  std::filesystem::path ToHost(std::string_view windows_path) override;
  std::filesystem::path ToHost(std::string_view windows_path, Seen& seen) override;
  // ToHost, also giving the entry's status in `st` when `seen` says kFile or
  // kDirectory: the status of an entry that is no link, the same whether
  // links are followed or not, so the caller need not look again.
  std::filesystem::path ToHost(std::string_view windows_path, Seen& seen, struct stat& st);
  std::string ToWindows(const std::filesystem::path& host_path) override;
  std::string FullPath(std::string_view windows_path) override;
  std::vector<DriveMapping> Drives() override;
  std::optional<DriveMapping> Drive(char letter) override;
  std::string CurrentDirectory() override;
  bool SetCurrentDirectory(std::string_view windows_path) override;
  void NoteCreated(const std::filesystem::path& host_path) override;
  void NoteRemoved(const std::filesystem::path& host_path) override;

  // How many times a directory was read to look a name up without case (for
  // tests and benchmarks of the cache).
  std::uint64_t ListingCount() const { return listings_; }

 private:
  struct Listing {
    struct timespec mtime {};
    dev_t dev = 0;
    ino_t ino = 0;
    // Upper-cased name -> the names stored under it, sorted, so that the
    // choice among names differing only in case is stable.
    std::unordered_map<std::string, std::vector<std::string>> names;
  };

  // The drive letter, the rest after "X:" and whether the path is relative to
  // that drive's current directory, for a Windows path.
  std::string Complete(std::string_view windows_path);
  // The existing name in `dir` equal to `name` without case; empty if none.
  // `known`: the directory's stat when the caller has it (a directory).
  std::string FindName(const std::string& dir, const std::string& name, const struct stat* known = nullptr);
  // Listings by host directory, found by a view of its name as well.
  struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  using Listings = std::unordered_map<std::string, Listing, StringHash, std::equal_to<>>;
  // Re-reads the directory's stat into its listing after our own change;
  // drops the listing when the directory is gone.
  void Touch(Listings::iterator listing);
  // The target of each drive letter A..Z (see DriveTarget), read once and
  // kept while the dosdevices directory stays as it was; a directory changed
  // within its file system's resolution of times (RecentlyChanged) is read
  // afresh on every call, since a change in the same tick of its
  // modification time would go unseen.
  using DriveTargets = std::array<std::optional<std::filesystem::path>, 26>;
  DriveTargets Targets();
  // Brings drives_ up to date by the rule above; returns its generation,
  // which changes whenever the table read differs from the one kept.
  std::uint64_t RefreshTargets();
  // The status of the dosdevices directory, through the directory held
  // open, checked against its path every tenth of a second (`now`); false
  // when it cannot be had.
  bool StatDosdevices(struct stat& st, const struct timespec& now);  // drives_mutex_ held
  // True when the directory's modification time `st` is so close to `now`
  // that a second change could still carry the same time: its contents
  // cannot be judged by the time then. The window is the file system's
  // resolution of the time.
  bool RecentlyChanged(const std::filesystem::path& dir, const struct stat& st,
                       const struct timespec& now);  // drives_mutex_ held
  std::optional<std::filesystem::path> Target(char letter);
  // The Windows form kept for the absolute host path `host_path` when the
  // drive table (brought up to date here; its generation into
  // `generation`) is still the one it was made with.
  std::optional<std::string> LastWindowsForm(std::string_view host_path, std::uint64_t& generation);
  // ToWindows past that cache: `absolute` and `generation` as found by it.
  std::string MapToWindows(const std::filesystem::path& host_path, bool absolute, std::uint64_t generation);
  // Target(letter) of an upper-case letter as text into `out`, without a
  // copy of the path; false when unmapped.
  bool TargetText(char letter, std::string& out);
  // The mapping of drive `letter` (upper case) showing `target`.
  std::optional<DriveMapping> Mapping(char letter, const std::optional<std::filesystem::path>& target);

  std::filesystem::path prefix_;
  std::filesystem::path dosdevices_;  // prefix_/dosdevices
  const PrefixConfig& config_;
  std::string current_directory_ = "C:\\";
  std::mutex mutex_;
  Listings listings_cache_;
  std::uint64_t listings_ = 0;
  std::mutex drives_mutex_;
  bool drives_valid_ = false;
  struct timespec drives_mtime_ {};
  dev_t drives_dev_ = 0;
  ino_t drives_ino_ = 0;
  DriveTargets drives_;
  std::uint64_t drives_generation_ = 0;
  int dosdevices_fd_ = -1;                 // O_PATH descriptor of dosdevices_
  std::int64_t dosdevices_checked_ms_ = 0;  // when its path was last looked at (ms)
  // The last absolute host path ToWindows mapped through the drive table of
  // `generation`, and its Windows form (guarded by mutex_).
  struct LastWindowsForm {
    bool valid = false;
    std::uint64_t generation = 0;
    std::string host;
    std::string windows;
  } last_windows_;
  // Whether the file system of the device fine_times_dev_ keeps fractions
  // of a second in its times.
  bool fine_times_known_ = false;
  bool fine_times_ = false;
  dev_t fine_times_dev_ = 0;
};

// The folder name an empty removable drive shows (it never exists).
inline constexpr char kNoDiskFolder[] = "no-disk";

// The host directory a drive letter of `prefix` shows: the target of
// dosdevices/<letter>: made absolute, or drive_c for C: without a link;
// nullopt when unmapped.
std::optional<std::filesystem::path> DriveTarget(const std::filesystem::path& prefix, char letter);

}  // namespace brimwell
