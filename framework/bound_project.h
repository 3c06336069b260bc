// Binding a project into an engine: the project's bytes are appended to a
// copy of the generic engine executable behind a trailer
// (framework/bound_project_format.h), and the engine reads them back from
// its own executable at start-up. One executable then carries one product.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "framework/exception.h"
#include "host/host_env.h"

namespace brimwell {

// A trailer is present but the data behind it is unusable.
BRIMWELL_EXCEPTION(EBoundProjectError, EStreamError);

// Messages; the first %s is always the file's path.
inline constexpr char kBoundTrailerDamaged[] = "The project trailer of %s is damaged";
inline constexpr char kBoundTrailerVersion[] =
    "The project trailer of %s has version %d, which this program does not read";
inline constexpr char kBoundProjectTruncated[] =
    "The project bound to %s is truncated: its trailer counts %d bytes, the file holds %d";
inline constexpr char kBoundProjectChecksum[] =
    "The project bound to %s does not match its checksum";
inline constexpr char kBoundCannotRead[] = "Cannot read %s: %s";
inline constexpr char kBoundCannotWrite[] = "Cannot write %s: %s";

// Writes a copy of `engine` with `project` bound to it as `out`. A project
// that engine already carries is replaced, not stacked. The copy is written
// under a temporary name beside out and renamed over out only when it is
// complete, so out is never left half-written; it gets engine's permissions
// plus execute wherever read is allowed. engine and out may be the same
// file. Throws EStreamError when a file cannot be read or written, and
// EBoundProjectError when engine carries a damaged trailer.
void BindProject(const std::string& engine, std::string_view project, const std::string& out,
                 host::Env& env = host::Env::Default());

// The project bound to `file`; std::nullopt when the file carries none.
// Throws EBoundProjectError for a damaged or truncated trailer or a project
// that fails its checksum, EStreamError when the file cannot be read.
std::optional<std::string> ReadBoundProject(const std::string& file,
                                            host::Env& env = host::Env::Default());

// The same for a file held in memory; `name` only names it in messages.
std::optional<std::string> ReadBoundProjectFromBytes(std::string_view bytes, std::string_view name);

// The mark that every engine executable carries (its main states
// BRIMWELL_ENGINE_MARK in a [[gnu::used]] constant), so that binding can
// refuse a file that is no engine. The mark is whole only in an engine: the
// code that looks for it joins the two halves at run time.
#define BRIMWELL_ENGINE_MARK_HEAD "brimwell-engine:"
#define BRIMWELL_ENGINE_MARK_TAIL "reads-a-bound-project/1"
#define BRIMWELL_ENGINE_MARK BRIMWELL_ENGINE_MARK_HEAD BRIMWELL_ENGINE_MARK_TAIL

// True when `file` is an ELF executable that carries the engine mark (an
// engine, or an engine with a project bound to it). False for anything
// else, a file that cannot be read included.
bool IsEngineExecutable(const std::string& file, host::Env& env = host::Env::Default());

// The path of the running executable. Throws EStreamError when the host
// cannot tell it.
std::string RunningExecutablePath(host::Env& env = host::Env::Default());

// The project bound to the running executable, as ReadBoundProject.
std::optional<std::string> ReadOwnBoundProject(host::Env& env = host::Env::Default());

}  // namespace brimwell
