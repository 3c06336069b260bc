#include "platform/linux_paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <vector>

#include "framework/format.h"
#include "framework/text_case.h"
#include "platform/platform_errors.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

constexpr char kUnknownDrive[] = "Cannot map the path %s: the drive %s: is not mapped in the prefix";
constexpr char kUncPath[] = "Cannot map the network path %s: only drive letters are mapped";
constexpr char kInvalidName[] = "The path %s holds characters that Windows does not allow in names";
constexpr char kNotOnAnyDrive[] = "The host path %s is not reachable through any drive of the prefix";

// File systems whose modification times keep fractions of a second.
bool KeepsFineTimes(decltype(statfs::f_type) type) {
  switch (static_cast<unsigned long>(type)) {
    case 0xEF53:      // ext2/3/4
    case 0x01021994:  // tmpfs
    case 0x58465342:  // xfs
    case 0x9123683E:  // btrfs
    case 0x794C7630:  // overlayfs
    case 0x2FC12FC1:  // zfs
    case 0xF2F52010:  // f2fs
      return true;
    default:
      return false;
  }
}

bool SameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Characters Windows refuses in a path (the wildcards stay: masks pass
// through here and simply match nothing as names).
bool HasInvalidCharacters(std::string_view path) {
  for (std::size_t i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (c < 32 || c == '<' || c == '>' || c == '|' || c == '"') return true;
    if (c == ':' && i != 1) return true;
  }
  return false;
}

// The components of `rest`, as views into it.
std::vector<std::string_view> SplitComponents(std::string_view rest) {
  std::vector<std::string_view> parts;
  std::size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && IsWinPathSeparator(rest[i])) ++i;
    std::size_t start = i;
    while (i < rest.size() && !IsWinPathSeparator(rest[i])) ++i;
    if (i > start) parts.push_back(rest.substr(start, i - start));
  }
  return parts;
}

// True for "X:\..." with backslashes only, no empty, "." or ".." component:
// what NormalizeWinPath leaves as it is (but for the letter's case), as
// most paths the engine translates are.
bool IsNormalFullPath(std::string_view path) {
  if (path.size() < 3 || path[1] != ':' || path[2] != '\\') return false;
  const char letter = AsciiUpper(path[0]);
  if (letter < 'A' || letter > 'Z') return false;
  std::size_t start = 3;  // of the current component
  for (std::size_t i = 3; i <= path.size(); ++i) {
    if (i < path.size() && path[i] == '/') return false;
    if (i == path.size() || path[i] == '\\') {
      std::string_view part = path.substr(start, i - start);
      if (part == "." || part == "..") return false;
      if (part.empty() && i < path.size()) return false;  // a doubled separator
      start = i + 1;
    }
  }
  return true;
}

// True when `path` lies in `dir` (both lexically normal, absolute); `rest`
// receives the part below `dir`.
bool Below(const std::filesystem::path& dir, const std::filesystem::path& path,
           std::filesystem::path& rest) {
  auto d = dir.begin(), p = path.begin();
  for (; d != dir.end(); ++d, ++p) {
    if (d->empty()) continue;  // a trailing separator of `dir`
    if (p == path.end() || *d != *p) return false;
  }
  rest.clear();
  for (; p != path.end(); ++p) {
    if (!p->empty()) rest /= *p;
  }
  return true;
}

}  // namespace

std::optional<std::filesystem::path> DriveTarget(const std::filesystem::path& prefix, char letter) {
  char lower = static_cast<char>(letter >= 'A' && letter <= 'Z' ? letter - 'A' + 'a' : letter);
  std::filesystem::path link = prefix / "dosdevices" / (std::string(1, lower) + ":");
  std::error_code ec;
  std::filesystem::path target = std::filesystem::read_symlink(link, ec);
  if (ec) {
    if (lower == 'c' && std::filesystem::is_directory(prefix / "drive_c")) return prefix / "drive_c";
    return std::nullopt;
  }
  if (target.is_relative()) target = (prefix / "dosdevices" / target).lexically_normal();
  std::string text = target.string();
  if (text.size() > 1 && text.back() == '/') target = text.substr(0, text.size() - 1);
  return target;
}

LinuxPaths::LinuxPaths(std::filesystem::path prefix, const PrefixConfig& config)
    : prefix_(std::move(prefix)), dosdevices_(prefix_ / "dosdevices"), config_(config) {}

LinuxPaths::~LinuxPaths() {
  if (dosdevices_fd_ >= 0) ::close(dosdevices_fd_);
}

bool LinuxPaths::RecentlyChanged(const std::filesystem::path& dir, const struct stat& st,
                                 const struct timespec& now) {
  // File systems that keep nanoseconds stamp a change with the kernel's
  // coarse clock, up to one of its ticks behind: once the time is two ticks
  // old, any later change carries a later time. Others may round to
  // seconds (or two, on FAT).
  static const std::int64_t fine_window_ns = [] {
    struct timespec res {};
    std::int64_t tick = 10'000'000;
    if (::clock_getres(CLOCK_REALTIME_COARSE, &res) == 0) {
      tick = static_cast<std::int64_t>(res.tv_sec) * 1'000'000'000 + res.tv_nsec;
    }
    return std::max<std::int64_t>(20'000'000, 3 * tick);
  }();
  std::int64_t window_ns = 2'000'000'000;
  if (!fine_times_known_ || fine_times_dev_ != st.st_dev) {
    struct statfs fs {};
    fine_times_ = ::statfs(dir.c_str(), &fs) == 0 && KeepsFineTimes(fs.f_type);
    fine_times_dev_ = st.st_dev;
    fine_times_known_ = true;
  }
  if (fine_times_) window_ns = fine_window_ns;
  const std::int64_t age_ns = (static_cast<std::int64_t>(now.tv_sec) - st.st_mtim.tv_sec) * 1'000'000'000 +
                              (now.tv_nsec - st.st_mtim.tv_nsec);
  return age_ns < window_ns;
}

std::uint64_t LinuxPaths::RefreshTargets() {
  const std::filesystem::path& dosdevices = dosdevices_;
  auto read_all = [this, &dosdevices] {
    // One listing says which of the 26 links exist; only those are read
    // (and C:, which falls back to drive_c without a link).
    std::array<bool, 26> listed{};
    if (DIR* d = ::opendir(dosdevices.c_str())) {
      while (struct dirent* e = ::readdir(d)) {
        const char* n = e->d_name;
        if (n[0] >= 'a' && n[0] <= 'z' && n[1] == ':' && n[2] == '\0') listed[static_cast<std::size_t>(n[0] - 'a')] = true;
      }
      ::closedir(d);
    } else {
      listed.fill(true);
    }
    DriveTargets targets;
    for (int i = 0; i < 26; ++i) {
      if (listed[static_cast<std::size_t>(i)] || i == 'C' - 'A') {
        targets[static_cast<std::size_t>(i)] = DriveTarget(prefix_, static_cast<char>('A' + i));
      }
    }
    return targets;
  };
  // A table read afresh that differs from the one kept gives a new
  // generation, which drops what was derived from the old one.
  auto store = [this](DriveTargets&& targets) {
    if (targets != drives_) {
      drives_ = std::move(targets);
      ++drives_generation_;
    }
  };
  struct stat st;
  struct timespec now {};
  const bool have_time = ::clock_gettime(CLOCK_REALTIME, &now) == 0;
  // One hold of the lock for the look at the table and the decision.
  std::unique_lock<std::mutex> lock(drives_mutex_);
  if (!have_time || !StatDosdevices(st, now) || RecentlyChanged(dosdevices, st, now)) {
    lock.unlock();
    DriveTargets targets = read_all();
    lock.lock();
    store(std::move(targets));
    drives_valid_ = false;  // read again on the next call
    return drives_generation_;
  }
  if (!drives_valid_ || !SameTime(drives_mtime_, st.st_mtim) || drives_dev_ != st.st_dev ||
      drives_ino_ != st.st_ino) {
    store(read_all());
    drives_mtime_ = st.st_mtim;
    drives_dev_ = st.st_dev;
    drives_ino_ = st.st_ino;
    drives_valid_ = true;
  }
  return drives_generation_;
}

bool LinuxPaths::StatDosdevices(struct stat& st, const struct timespec& now) {
  // The directory held open answers without a walk along its path; its
  // path is looked at again every tenth of a second, in case another
  // directory was put in its place while the one held lives on elsewhere.
  const std::int64_t now_ms = static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
  const bool path_due = now_ms - dosdevices_checked_ms_ >= 100 || now_ms < dosdevices_checked_ms_;
  if (dosdevices_fd_ >= 0 && !path_due && ::fstat(dosdevices_fd_, &st) == 0 && st.st_nlink > 0) return true;
  struct stat at_path;
  if (::stat(dosdevices_.c_str(), &at_path) != 0) return false;
  if (dosdevices_fd_ >= 0 && (::fstat(dosdevices_fd_, &st) != 0 || st.st_dev != at_path.st_dev ||
                              st.st_ino != at_path.st_ino || st.st_nlink == 0)) {
    ::close(dosdevices_fd_);
    dosdevices_fd_ = -1;
  }
  if (dosdevices_fd_ < 0) dosdevices_fd_ = ::open(dosdevices_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  dosdevices_checked_ms_ = now_ms;
  st = at_path;
  return true;
}

LinuxPaths::DriveTargets LinuxPaths::Targets() {
  RefreshTargets();
  std::lock_guard<std::mutex> lock(drives_mutex_);
  return drives_;
}

bool LinuxPaths::TargetText(char letter, std::string& out) {
  if (letter < 'A' || letter > 'Z') return false;
  RefreshTargets();
  std::lock_guard<std::mutex> lock(drives_mutex_);
  const std::optional<std::filesystem::path>& target = drives_[static_cast<std::size_t>(letter - 'A')];
  if (!target) return false;
  out = target->native();
  return true;
}

std::optional<std::filesystem::path> LinuxPaths::Target(char letter) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  if (letter < 'A' || letter > 'Z') return std::nullopt;
  RefreshTargets();
  std::lock_guard<std::mutex> lock(drives_mutex_);
  return drives_[static_cast<std::size_t>(letter - 'A')];
}

std::string LinuxPaths::Complete(std::string_view windows_path) {
  if (IsWinUncPath(windows_path)) throw EPathError(Format(kUncPath, {windows_path}));
  if (HasInvalidCharacters(windows_path)) throw EPathError(Format(kInvalidName, {windows_path}));
  if (IsNormalFullPath(windows_path)) {
    std::string path(windows_path);
    path[0] = AsciiUpper(path[0]);
    return path;
  }
  std::string path;
  if (auto drive = WinDriveLetter(windows_path)) {
    std::string_view rest = windows_path.substr(2);
    if (!rest.empty() && IsWinPathSeparator(rest.front())) {
      path = std::string(1, *drive) + ":" + std::string(rest);
    } else if (WinDriveLetter(current_directory_) == drive) {
      path = JoinWinPath(current_directory_, rest);  // "X:name" on the current drive
    } else {
      path = std::string(1, *drive) + ":\\" + std::string(rest);
    }
  } else if (!windows_path.empty() && IsWinPathSeparator(windows_path.front())) {
    path = current_directory_.substr(0, 2) + std::string(windows_path);
  } else {
    path = JoinWinPath(current_directory_, windows_path);
  }
  path = NormalizeWinPath(path);
  if (path.size() == 2) path += '\\';
  return path;
}

std::filesystem::path LinuxPaths::ToHost(std::string_view windows_path) {
  Seen seen;
  return ToHost(windows_path, seen);
}

std::filesystem::path LinuxPaths::ToHost(std::string_view windows_path, Seen& seen) {
  struct stat st;
  return ToHost(windows_path, seen, st);
}

std::filesystem::path LinuxPaths::ToHost(std::string_view windows_path, Seen& seen, struct stat& st) {
  seen = Seen::kUnknown;
  std::string root;
  std::string full;                     // holds the text of `parts` for a Windows path
  std::vector<std::string> host_parts;  // and these for a host path
  std::vector<std::string_view> parts;
  if (!windows_path.empty() && windows_path.front() == '/') {
    // A host absolute path, as a user gives it on the command line.
    root = "/";
    for (const auto& part : std::filesystem::path(windows_path).lexically_normal()) {
      std::string p = part.string();
      if (!p.empty() && p != "/") host_parts.push_back(p);
    }
    parts.assign(host_parts.begin(), host_parts.end());
  } else {
    full = Complete(windows_path);
    char drive = full[0];
    if (!TargetText(drive, root)) {
      if (!config_.removable.count(drive)) throw EPathError(Format(kUnknownDrive, {windows_path, std::string(1, drive)}));
      // A removable drive without a disk: a folder that never exists, so
      // every operation finds nothing there.
      root = (prefix_ / "disks" / std::string(1, static_cast<char>(drive - 'A' + 'a')) / kNoDiskFolder).native();
    }
    parts = SplitComponents(std::string_view(full).substr(2));
  }

  // Most paths name what exists under its own spelling, or a new entry of
  // a directory that does: one or two lstat calls settle those, where the
  // walk below costs one per component.
  if (!parts.empty()) {
    // Joined as text: the path is made once, at the end.
    std::string exact = root;
    auto join = [&exact](std::string_view part) {
      if (exact.empty() || exact.back() != '/') exact += '/';
      exact += part;
    };
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) join(parts[i]);
    std::string parent = exact;
    join(parts.back());
    if (::lstat(exact.c_str(), &st) == 0) {
      if (!S_ISLNK(st.st_mode)) seen = S_ISDIR(st.st_mode) ? Seen::kDirectory : Seen::kFile;
      return exact;
    }
    if (::lstat(parent.c_str(), &st) == 0) {
      // A directory that is no link needs no second look. (`st` is the
      // parent's now: `seen` says nothing of the entry from here on.)
      const bool directory = S_ISDIR(st.st_mode);
      std::string found = FindName(parent, std::string(parts.back()), directory ? &st : nullptr);
      if (found.empty()) {
        if (directory) seen = Seen::kMissing;
        return exact;
      }
      exact = std::move(parent);
      join(found);
      return exact;
    }
  }
  std::filesystem::path host = root;
  bool exists = true;
  for (std::string_view part : parts) {
    std::filesystem::path candidate = host / std::filesystem::path(part);
    if (exists && ::lstat(candidate.c_str(), &st) != 0) {
      std::string found = FindName(host.native(), std::string(part));
      if (!found.empty()) {
        candidate = host / found;
      } else {
        exists = false;  // nothing below a missing name can exist
      }
    }
    host = std::move(candidate);
  }
  return host;
}

std::string LinuxPaths::FindName(const std::string& dir, const std::string& name, const struct stat* known) {
  struct stat st;
  if (known != nullptr) {
    st = *known;
  } else if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    return std::string();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  Listing& listing = listings_cache_[dir];
  if (!SameTime(listing.mtime, st.st_mtim) || listing.dev != st.st_dev || listing.ino != st.st_ino) {
    listing.names.clear();
    listing.mtime = st.st_mtim;
    listing.dev = st.st_dev;
    listing.ino = st.st_ino;
    ++listings_;
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
      while (struct dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(std::move(n));
      }
      ::closedir(d);
    }
    for (std::string& n : names) listing.names[WinUpperCase(n)].push_back(std::move(n));
    for (auto& [upper, stored] : listing.names) std::sort(stored.begin(), stored.end());
  }
  auto it = listing.names.find(WinUpperCase(name));
  return it == listing.names.end() || it->second.empty() ? std::string() : it->second.front();
}

void LinuxPaths::Touch(Listings::iterator listing) {
  struct stat st;
  if (::stat(listing->first.c_str(), &st) != 0) {
    listings_cache_.erase(listing);
    return;
  }
  listing->second.mtime = st.st_mtim;
  listing->second.dev = st.st_dev;
  listing->second.ino = st.st_ino;
}

namespace {

// The folder of a host path kept here (absolute, without "." or ".."
// parts), as parent_path would give it, without parsing the path.
std::string_view FolderOf(const std::filesystem::path& host_path) {
  std::string_view path = host_path.native();
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  return path.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace

void LinuxPaths::NoteCreated(const std::filesystem::path& host_path) {
  const std::string_view dir = FolderOf(host_path);
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = listings_cache_.find(dir);
  if (it == listings_cache_.end()) return;
  std::string name = host_path.filename().string();
  std::vector<std::string>& stored = it->second.names[WinUpperCase(name)];
  auto pos = std::lower_bound(stored.begin(), stored.end(), name);
  if (pos == stored.end() || *pos != name) stored.insert(pos, name);
  Touch(it);
}

void LinuxPaths::NoteRemoved(const std::filesystem::path& host_path) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string removed = host_path.string();
  // The removed entry may have been a listed directory, with listed ones
  // below it.
  for (auto it = listings_cache_.begin(); it != listings_cache_.end();) {
    const std::string& key = it->first;
    bool below = key == removed ||
                 (key.size() > removed.size() && key.compare(0, removed.size(), removed) == 0 &&
                  key[removed.size()] == '/');
    it = below ? listings_cache_.erase(it) : std::next(it);
  }
  auto it = listings_cache_.find(FolderOf(host_path));
  if (it == listings_cache_.end()) return;
  std::string name = host_path.filename().string();
  auto pos = it->second.names.find(WinUpperCase(name));
  if (pos != it->second.names.end()) {
    std::vector<std::string>& stored = pos->second;
    stored.erase(std::remove(stored.begin(), stored.end(), name), stored.end());
    if (stored.empty()) it->second.names.erase(pos);
  }
  Touch(it);
}

std::optional<std::string> LinuxPaths::LastWindowsForm(std::string_view host_path, std::uint64_t& generation) {
  generation = RefreshTargets();
  std::lock_guard<std::mutex> lock(mutex_);
  if (last_windows_.valid && last_windows_.generation == generation && last_windows_.host == host_path) {
    return last_windows_.windows;
  }
  return std::nullopt;
}

std::string LinuxPaths::ToWindows(const std::filesystem::path& host_path) {
  // The form of an absolute path depends on the drive table alone (unless
  // it is reached only through a link, below): the last one is kept for
  // the next call, as a product's files mostly come from a few directories.
  const bool absolute = host_path.is_absolute();
  std::uint64_t generation = 0;
  if (absolute) {
    if (auto last = LastWindowsForm(host_path.native(), generation)) return std::move(*last);
  }
  return MapToWindows(host_path, absolute, generation);
}

std::string LinuxPaths::MapToWindows(const std::filesystem::path& host_path, bool absolute,
                                     std::uint64_t generation) {
  std::filesystem::path path = std::filesystem::absolute(host_path).lexically_normal();
  auto try_map = [this](const std::filesystem::path& p) -> std::optional<std::string> {
    std::optional<std::string> best;
    std::size_t best_len = 0;
    for (const DriveMapping& drive : Drives()) {
      std::filesystem::path rest;
      std::filesystem::path target = drive.target.lexically_normal();
      if (!Below(target, p, rest)) continue;
      std::size_t len = target.string().size();
      if (best && len <= best_len) continue;
      std::string text = std::string(1, drive.letter) + ":\\";
      std::string r = rest.string();
      std::replace(r.begin(), r.end(), '/', '\\');
      best = text + r;
      best_len = len;
    }
    return best;
  };
  if (auto mapped = try_map(path)) {
    if (absolute) {
      std::lock_guard<std::mutex> lock(mutex_);
      last_windows_ = {true, generation, host_path.native(), *mapped};
    }
    return *mapped;
  }
  std::error_code ec;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
  if (!ec) {
    if (auto mapped = try_map(canonical)) return *mapped;
  }
  throw EPathError(Format(kNotOnAnyDrive, {host_path.string()}));
}

std::string LinuxPaths::FullPath(std::string_view windows_path) {
  if (!windows_path.empty() && windows_path.front() == '/') {
    // The last form kept answers before the text is made a path.
    std::uint64_t generation = 0;
    if (auto last = LastWindowsForm(windows_path, generation)) return std::move(*last);
    return MapToWindows(std::filesystem::path(windows_path), true, generation);
  }
  return Complete(windows_path);
}

std::vector<DriveMapping> LinuxPaths::Drives() {
  const DriveTargets targets = Targets();  // one look at the drive table for all letters
  std::vector<DriveMapping> drives;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    if (auto drive = Mapping(letter, targets[static_cast<std::size_t>(letter - 'A')])) {
      drives.push_back(*drive);
    }
  }
  return drives;
}

std::optional<DriveMapping> LinuxPaths::Drive(char letter) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  return Mapping(letter, Target(letter));
}

std::optional<DriveMapping> LinuxPaths::Mapping(char letter,
                                                const std::optional<std::filesystem::path>& target) {
  if (!target) {
    // An empty removable drive is still a drive.
    if (!config_.removable.count(letter)) return std::nullopt;
    return DriveMapping{letter, std::filesystem::path(), DriveType::kRemovable};
  }
  DriveType type = config_.removable.count(letter) ? DriveType::kRemovable : DriveType::kFixed;
  return DriveMapping{letter, *target, type};
}

std::string LinuxPaths::CurrentDirectory() { return current_directory_; }

bool LinuxPaths::SetCurrentDirectory(std::string_view windows_path) {
  std::string full = FullPath(windows_path);
  struct stat st;
  if (::stat(ToHost(full).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  current_directory_ = ExcludeTrailingBackslash(full);
  if (current_directory_.size() == 2) current_directory_ += '\\';
  return true;
}

const char* DriveTypeName(DriveType type) {
  switch (type) {
    case DriveType::kUnknown: return "unknown";
    case DriveType::kNoRootDir: return "none";
    case DriveType::kRemovable: return "removable";
    case DriveType::kFixed: return "fixed";
    case DriveType::kRemote: return "remote";
    case DriveType::kCdRom: return "cdrom";
    case DriveType::kRamDisk: return "ramdisk";
  }
  return "unknown";
}

}  // namespace brimwell
