#include "framework/bound_project.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>

#include "framework/bound_project_format.h"
#include "framework/crc32.h"
#include "framework/format.h"

namespace brimwell {
namespace {

namespace fs = std::filesystem;

// Where the kernel shows the running executable, even after it was renamed.
constexpr char kOwnExecutable[] = "/proc/self/exe";
constexpr std::size_t kCopyChunk = 1 << 16;
constexpr int kTemporaryNameAttempts = 16;

std::uint64_t GetLittleEndian(std::string_view bytes, std::size_t offset, std::size_t size) {
  std::uint64_t v = 0;
  for (std::size_t i = size; i-- > 0;) v = (v << 8) | static_cast<unsigned char>(bytes[offset + i]);
  return v;
}

void PutLittleEndian(std::string& bytes, std::size_t offset, std::uint64_t v, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i, v >>= 8) bytes[offset + i] = static_cast<char>(v & 0xFF);
}

std::string EncodeTrailer(std::string_view project) {
  std::string t(kTrailerSize, '\0');
  PutLittleEndian(t, kTrailerProjectLengthOffset, project.size(), kTrailerProjectLengthSize);
  PutLittleEndian(t, kTrailerProjectCrcOffset, Crc32(project), kTrailerProjectCrcSize);
  PutLittleEndian(t, kTrailerVersionOffset, kTrailerVersion, kTrailerVersionSize);
  PutLittleEndian(t, kTrailerCrcOffset, Crc32(std::string_view(t).substr(0, kTrailerCrcOffset)),
                  kTrailerCrcSize);
  t.replace(kTrailerMagicOffset, kTrailerMagicSize, kTrailerMagic);
  return t;
}

struct BoundProject {
  std::uint64_t offset;  // of the project's first byte
  std::uint64_t length;
  std::uint32_t crc;
};

// Decodes the trailer from `tail`, the last min(file_size, kTrailerSize)
// bytes of a file of file_size bytes. Every field is checked before the
// project's place is derived from it.
std::optional<BoundProject> Locate(std::string_view tail, std::uint64_t file_size,
                                   std::string_view name) {
  if (!tail.ends_with(kTrailerMagic)) return std::nullopt;
  if (tail.size() < kTrailerSize) throw EBoundProjectError(Format(kBoundTrailerDamaged, {name}));
  std::uint32_t stored_crc = static_cast<std::uint32_t>(
      GetLittleEndian(tail, kTrailerCrcOffset, kTrailerCrcSize));
  if (Crc32(tail.substr(0, kTrailerCrcOffset)) != stored_crc) {
    throw EBoundProjectError(Format(kBoundTrailerDamaged, {name}));
  }
  std::uint64_t version = GetLittleEndian(tail, kTrailerVersionOffset, kTrailerVersionSize);
  if (version != kTrailerVersion) {
    throw EBoundProjectError(Format(kBoundTrailerVersion, {name, version}));
  }
  std::uint64_t length =
      GetLittleEndian(tail, kTrailerProjectLengthOffset, kTrailerProjectLengthSize);
  std::uint64_t available = file_size - kTrailerSize;
  if (length > available) {
    throw EBoundProjectError(Format(kBoundProjectTruncated, {name, length, available}));
  }
  return BoundProject{available - length, length,
                      static_cast<std::uint32_t>(GetLittleEndian(
                          tail, kTrailerProjectCrcOffset, kTrailerProjectCrcSize))};
}

std::string CheckedProject(std::string project, const BoundProject& bound, std::string_view name) {
  if (Crc32(project) != bound.crc) throw EBoundProjectError(Format(kBoundProjectChecksum, {name}));
  return project;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// A file opened for reading, with positioned reads that either return all
// the bytes asked for or throw.
class InputFile {
 public:
  // Opens `path`; `name` names the file in messages.
  InputFile(const fs::path& path, std::string name)
      : name_(std::move(name)), file_(std::fopen(path.c_str(), "rb")) {
    if (!file_) Fail(errno);
    // The size of the file opened, not of whatever the path names by now.
    if (std::fseek(file_.get(), 0, SEEK_END) != 0) Fail(errno);
    long size = std::ftell(file_.get());
    if (size < 0) Fail(errno);
    size_ = static_cast<std::uint64_t>(size);
  }

  std::uint64_t Size() const { return size_; }

  std::string ReadAt(std::uint64_t offset, std::size_t size) {
    std::string bytes(size, '\0');
    if (std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) != 0) Fail(errno);
    if (std::fread(bytes.data(), 1, size, file_.get()) != size) Fail(ReadError());
    return bytes;
  }

  // Writes the first `size` bytes of the file to `out`.
  void CopyTo(std::FILE* out, std::uint64_t size, const fs::path& out_path) {
    if (std::fseek(file_.get(), 0, SEEK_SET) != 0) Fail(errno);
    std::string chunk(kCopyChunk, '\0');
    while (size > 0) {
      std::size_t n = size < kCopyChunk ? static_cast<std::size_t>(size) : kCopyChunk;
      if (std::fread(chunk.data(), 1, n, file_.get()) != n) Fail(ReadError());
      if (std::fwrite(chunk.data(), 1, n, out) != n) {
        throw EStreamError(Format(kBoundCannotWrite, {out_path.string(), std::strerror(errno)}));
      }
      size -= n;
    }
  }

 private:
  // A read that ends early without an error met a file that shrank under us.
  int ReadError() const { return std::ferror(file_.get()) ? errno : EIO; }
  [[noreturn]] void Fail(int error) const {
    throw EStreamError(Format(kBoundCannotRead, {name_, std::strerror(error)}));
  }

  std::string name_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  std::uint64_t size_ = 0;
};

std::optional<BoundProject> LocateInFile(InputFile& file, std::string_view name) {
  std::uint64_t size = file.Size();
  std::size_t tail_size = size < kTrailerSize ? static_cast<std::size_t>(size) : kTrailerSize;
  return Locate(file.ReadAt(size - tail_size, tail_size), size, name);
}

std::optional<std::string> ReadFromFile(const fs::path& path, const std::string& name) {
  InputFile input(path, name);
  std::optional<BoundProject> bound = LocateInFile(input, name);
  if (!bound) return std::nullopt;
  return CheckedProject(input.ReadAt(bound->offset, static_cast<std::size_t>(bound->length)),
                        *bound, name);
}

// A file being written under a temporary name beside its final path. It is
// removed again unless Commit renamed it into place.
class TemporaryOutput {
 public:
  explicit TemporaryOutput(const fs::path& final_path) : final_(final_path) {
    std::random_device random;
    for (int attempt = 0; attempt < kTemporaryNameAttempts && !file_; ++attempt) {
      path_ = final_;
      path_ += Format(".%x.tmp", {random()});
      // "x": create exclusively, never reuse a file someone else made.
      file_.reset(std::fopen(path_.c_str(), "wbx"));
      if (!file_ && errno != EEXIST) break;
    }
    if (!file_) Fail(errno);
  }
  TemporaryOutput(const TemporaryOutput&) = delete;
  TemporaryOutput& operator=(const TemporaryOutput&) = delete;
  ~TemporaryOutput() {
    if (committed_) return;
    file_.reset();
    std::error_code ignored;  // best effort: the error being reported matters more
    fs::remove(path_, ignored);
  }

  std::FILE* get() { return file_.get(); }

  void Write(std::string_view bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) Fail(errno);
  }

  // Closes the file, gives it `permissions` and renames it over the final path.
  void Commit(fs::perms permissions) {
    if (std::fclose(file_.release()) != 0) Fail(errno);
    std::error_code ec;
    fs::permissions(path_, permissions, fs::perm_options::replace, ec);
    if (!ec) fs::rename(path_, final_, ec);
    if (ec) Fail(ec.value());
    committed_ = true;
  }

 private:
  [[noreturn]] void Fail(int error) const {
    throw EStreamError(Format(kBoundCannotWrite, {final_.string(), std::strerror(error)}));
  }

  fs::path final_;
  fs::path path_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  bool committed_ = false;
};

// The engine's permissions, with execute added wherever reading is allowed.
fs::perms ExecutablePermissions(const fs::path& engine) {
  std::error_code ec;
  fs::perms p = fs::status(engine, ec).permissions();
  if (ec || p == fs::perms::unknown) p = fs::perms::owner_read | fs::perms::owner_write;
  p &= fs::perms::mask;
  if ((p & fs::perms::owner_read) != fs::perms::none) p |= fs::perms::owner_exec;
  if ((p & fs::perms::group_read) != fs::perms::none) p |= fs::perms::group_exec;
  if ((p & fs::perms::others_read) != fs::perms::none) p |= fs::perms::others_exec;
  return p;
}

}  // namespace

void BindProject(const fs::path& engine, std::string_view project, const fs::path& out) {
  InputFile input(engine, engine.string());
  std::optional<BoundProject> old = LocateInFile(input, engine.string());
  // Everything before an old project is the engine itself.
  std::uint64_t engine_size = old ? old->offset : input.Size();
  TemporaryOutput output(out);
  input.CopyTo(output.get(), engine_size, out);
  output.Write(project);
  output.Write(EncodeTrailer(project));
  output.Commit(ExecutablePermissions(engine));
}

std::optional<std::string> ReadBoundProject(const fs::path& file) {
  return ReadFromFile(file, file.string());
}

std::optional<std::string> ReadBoundProjectFromBytes(std::string_view bytes, std::string_view name) {
  std::size_t tail_size = bytes.size() < kTrailerSize ? bytes.size() : kTrailerSize;
  std::optional<BoundProject> bound = Locate(bytes.substr(bytes.size() - tail_size), bytes.size(), name);
  if (!bound) return std::nullopt;
  return CheckedProject(std::string(bytes.substr(bound->offset, bound->length)), *bound, name);
}

fs::path RunningExecutablePath() {
  std::error_code ec;
  fs::path path = fs::read_symlink(kOwnExecutable, ec);
  if (ec) throw EStreamError(Format(kBoundCannotRead, {kOwnExecutable, ec.message()}));
  return path;
}

std::optional<std::string> ReadOwnBoundProject() {
  // Read through the kernel's link rather than the path: it stays valid
  // even when the file was moved or replaced since the program started.
  // Messages name the path, which tells the user more.
  return ReadFromFile(kOwnExecutable, RunningExecutablePath().string());
}

}  // namespace brimwell
