#include "framework/bound_project.h"

#include <cerrno>
#include <memory>
#include <span>

#include "framework/bound_project_format.h"
#include "framework/coding.h"
#include "framework/crc32.h"
#include "framework/format.h"

namespace brimwell {
namespace {

constexpr std::size_t kCopyChunk = 1 << 16;

std::uint64_t GetLittleEndian(std::string_view bytes, std::size_t offset, std::size_t size) {
  return DecodeFixed(bytes.data() + offset, size);
}

void PutLittleEndian(std::string& bytes, std::size_t offset, std::uint64_t v, std::size_t size) {
  EncodeFixed(bytes.data() + offset, v, size);
}

std::string EncodeTrailer(std::string_view project) {
  std::string t(bound_trailer::kTrailerSize, '\0');
  PutLittleEndian(t, bound_trailer::kTrailerProjectLengthOffset, project.size(), bound_trailer::kTrailerProjectLengthSize);
  PutLittleEndian(t, bound_trailer::kTrailerProjectCrcOffset, Crc32(project), bound_trailer::kTrailerProjectCrcSize);
  PutLittleEndian(t, bound_trailer::kTrailerVersionOffset, bound_trailer::kTrailerVersion, bound_trailer::kTrailerVersionSize);
  PutLittleEndian(t, bound_trailer::kTrailerCrcOffset, Crc32(std::string_view(t).substr(0, bound_trailer::kTrailerCrcOffset)),
                  bound_trailer::kTrailerCrcSize);
  t.replace(bound_trailer::kTrailerMagicOffset, bound_trailer::kTrailerMagicSize, bound_trailer::kTrailerMagic);
  return t;
}

struct BoundProject {
  std::uint64_t offset;  // of the project's first byte
  std::uint64_t length;
  std::uint32_t crc;
};

// Decodes the trailer from `tail`, the last min(file_size, bound_trailer::kTrailerSize)
// bytes of a file of file_size bytes. Every field is checked before the
// project's place is derived from it.
std::optional<BoundProject> Locate(std::string_view tail, std::uint64_t file_size,
                                   std::string_view name) {
  if (!tail.ends_with(bound_trailer::kTrailerMagic)) return std::nullopt;
  if (tail.size() < bound_trailer::kTrailerSize) throw EBoundProjectError(Format(kBoundTrailerDamaged, {name}));
  std::uint32_t stored_crc = static_cast<std::uint32_t>(
      GetLittleEndian(tail, bound_trailer::kTrailerCrcOffset, bound_trailer::kTrailerCrcSize));
  if (Crc32(tail.substr(0, bound_trailer::kTrailerCrcOffset)) != stored_crc) {
    throw EBoundProjectError(Format(kBoundTrailerDamaged, {name}));
  }
  std::uint64_t version = GetLittleEndian(tail, bound_trailer::kTrailerVersionOffset, bound_trailer::kTrailerVersionSize);
  if (version != bound_trailer::kTrailerVersion) {
    throw EBoundProjectError(Format(kBoundTrailerVersion, {name, version}));
  }
  std::uint64_t length =
      GetLittleEndian(tail, bound_trailer::kTrailerProjectLengthOffset, bound_trailer::kTrailerProjectLengthSize);
  std::uint64_t available = file_size - bound_trailer::kTrailerSize;
  if (length > available) {
    throw EBoundProjectError(Format(kBoundProjectTruncated, {name, length, available}));
  }
  return BoundProject{available - length, length,
                      static_cast<std::uint32_t>(GetLittleEndian(
                          tail, bound_trailer::kTrailerProjectCrcOffset, bound_trailer::kTrailerProjectCrcSize))};
}

std::string CheckedProject(std::string project, const BoundProject& bound, std::string_view name) {
  if (Crc32(project) != bound.crc) throw EBoundProjectError(Format(kBoundProjectChecksum, {name}));
  return project;
}

// A file opened for reading, with positioned reads that either return all
// the bytes asked for or throw.
class InputFile {
 public:
  // Takes the opened `file`, or the error of opening it; `name` names the
  // file in messages.
  InputFile(host::Result<std::unique_ptr<host::File>> file, std::string name) : name_(std::move(name)) {
    if (!file) Fail(file.error());
    file_ = std::move(*file);
    // The size of the file opened, not of whatever the path names by now.
    host::Result<std::int64_t> size = file_->Size();
    if (!size) Fail(size.error());
    size_ = static_cast<std::uint64_t>(*size);
  }

  std::uint64_t Size() const { return size_; }

  std::string ReadAt(std::uint64_t offset, std::size_t size) {
    std::string bytes(size, '\0');
    if (std::error_code e = file_->Seek(static_cast<std::int64_t>(offset))) Fail(e);
    ReadFully(std::span(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()));
    return bytes;
  }

  // Writes the first `size` bytes of the file to `out`.
  void CopyTo(host::AtomicFile& out, std::uint64_t size, const std::string& out_path) {
    if (std::error_code e = file_->Seek(0)) Fail(e);
    std::string chunk(kCopyChunk, '\0');
    while (size > 0) {
      std::size_t n = size < kCopyChunk ? static_cast<std::size_t>(size) : kCopyChunk;
      ReadFully(std::span(reinterpret_cast<std::uint8_t*>(chunk.data()), n));
      if (std::error_code e = out.Append(std::string_view(chunk.data(), n))) {
        throw EStreamError(Format(kBoundCannotWrite, {out_path, e.message()}));
      }
      size -= n;
    }
  }

 private:
  void ReadFully(std::span<std::uint8_t> buffer) {
    while (!buffer.empty()) {
      host::Result<std::size_t> n = file_->Read(buffer);
      if (!n) Fail(n.error());
      // A read that ends early without an error met a file that shrank.
      if (*n == 0) Fail(host::ErrnoError(EIO));
      buffer = buffer.subspan(*n);
    }
  }
  [[noreturn]] void Fail(std::error_code error) const {
    throw EStreamError(Format(kBoundCannotRead, {name_, error.message()}));
  }

  std::string name_;
  std::unique_ptr<host::File> file_;
  std::uint64_t size_ = 0;
};

std::optional<BoundProject> LocateInFile(InputFile& file, std::string_view name) {
  std::uint64_t size = file.Size();
  std::size_t tail_size = size < bound_trailer::kTrailerSize ? static_cast<std::size_t>(size) : bound_trailer::kTrailerSize;
  return Locate(file.ReadAt(size - tail_size, tail_size), size, name);
}

std::optional<std::string> ReadFromFile(InputFile& input, const std::string& name) {
  std::optional<BoundProject> bound = LocateInFile(input, name);
  if (!bound) return std::nullopt;
  return CheckedProject(input.ReadAt(bound->offset, static_cast<std::size_t>(bound->length)),
                        *bound, name);
}

// The engine's permissions, with execute added wherever reading is allowed.
unsigned ExecutablePermissions(host::Env& env, const std::string& engine) {
  host::Result<unsigned> mode = env.FileMode(engine);
  unsigned p = mode ? (*mode & 0777) : 0600;
  return p | ((p & 0444) >> 2);
}

}  // namespace

void BindProject(const std::string& engine, std::string_view project, const std::string& out,
                 host::Env& env) {
  InputFile input(env.OpenFile(engine, host::OpenMode::kRead), engine);
  std::optional<BoundProject> old = LocateInFile(input, engine);
  // Everything before an old project is the engine itself.
  std::uint64_t engine_size = old ? old->offset : input.Size();
  // Written under a temporary name beside `out` and renamed over it only
  // when complete; dropped on the way, the temporary file goes too.
  host::Result<std::unique_ptr<host::AtomicFile>> output = env.NewAtomicFile(out);
  auto fail = [&](std::error_code e) { throw EStreamError(Format(kBoundCannotWrite, {out, e.message()})); };
  if (!output) fail(output.error());
  input.CopyTo(**output, engine_size, out);
  if (std::error_code e = (*output)->Append(project)) fail(e);
  if (std::error_code e = (*output)->Append(EncodeTrailer(project))) fail(e);
  if (std::error_code e = (*output)->Commit(ExecutablePermissions(env, engine))) fail(e);
}

std::optional<std::string> ReadBoundProject(const std::string& file, host::Env& env) {
  InputFile input(env.OpenFile(file, host::OpenMode::kRead), file);
  return ReadFromFile(input, file);
}

std::optional<std::string> ReadBoundProjectFromBytes(std::string_view bytes, std::string_view name) {
  std::size_t tail_size = bytes.size() < bound_trailer::kTrailerSize ? bytes.size() : bound_trailer::kTrailerSize;
  std::optional<BoundProject> bound = Locate(bytes.substr(bytes.size() - tail_size), bytes.size(), name);
  if (!bound) return std::nullopt;
  return CheckedProject(std::string(bytes.substr(bound->offset, bound->length)), *bound, name);
}

std::string RunningExecutablePath(host::Env& env) {
  host::Result<std::string> path = env.ExecutablePath();
  if (!path) throw EStreamError(Format(kBoundCannotRead, {"the running program", path.error().message()}));
  return *path;
}

bool IsEngineExecutable(const std::string& file, host::Env& env) {
  host::Result<std::string> bytes = env.ReadFile(file);
  if (!bytes || !bytes->starts_with("\x7f" "ELF")) return false;
  std::string mark = BRIMWELL_ENGINE_MARK_HEAD;
  mark += BRIMWELL_ENGINE_MARK_TAIL;
  return bytes->find(mark) != std::string::npos;
}

std::optional<std::string> ReadOwnBoundProject(host::Env& env) {
  // Read the file the program was started from rather than whatever its
  // path names by now: it stays valid even when the file was moved or
  // replaced since. Messages name the path, which tells the user more.
  std::string name = RunningExecutablePath(env);
  InputFile input(env.OpenExecutable(), name);
  return ReadFromFile(input, name);
}

}  // namespace brimwell
