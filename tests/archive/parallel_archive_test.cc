// TBrwlCompress with several threads: the archive and the events do not
// depend on the number of compressing threads, abort and a full disk stop
// within one block and leave a readable archive, the streams are ordinary
// zlib streams, and extraction inflating ahead on a second thread writes the
// same files with the same events, stops and fails as one thread does.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <thread>
#include <utility>

#include "archive/archive_reader.h"
#include "archive/brwl_compress.h"
#include "archive/compression_pipeline.h"
#include "archive/memory_stream.h"
#include "archive/zlib_stream.h"
#include "tests/archive/archive_builder.h"
#include "tests/archive/machine_fixture.h"
#include "tests/testutil/error_of.h"
#include "tests/archive/pe_fixture.h"

namespace brimwell {
namespace {

using testing::Bytes;
using testing::ErrorOf;

class ParallelArchiveTest : public testing::ArchiveTest {
 protected:
  static constexpr int kId = 7;

  std::string Source(const std::string& name, const std::string& content) {
    WriteFile(HostDir() / name, content, DateTimeParts{2020, 2, 3, 4, 5, 6, 0});
    return machine_->GetPaths().FullPath((HostDir() / name).string());
  }
  // Sources of many sizes: empty, a few bytes, several 64 KB blocks of
  // compressed output, and one above the limit of a member held in memory.
  std::vector<std::string> MixedSources(bool with_large) {
    std::vector<std::string> s;
    s.push_back(Source("empty.bin", ""));
    for (int i = 0; i < 24; ++i) {
      std::size_t size = (static_cast<std::size_t>(i) * 7919u) % 9000u + 1u;
      if (i % 6 == 5) size = 150000 + static_cast<std::size_t>(i) * 1000;  // incompressible blocks
      s.push_back(Source("f" + std::to_string(i) + ".dat",
                         testing::MixedContent(size, static_cast<unsigned>(i))));
    }
    if (with_large) {
      s.insert(s.begin() + 10,
               Source("large.bin", std::string(kWholeMemberLimit + 12345, 'L') +
                                       testing::MixedContent(70000, 99)));
    }
    return s;
  }
  // Every event of an adding, with what it carried.
  void RecordEvents() {
    auto log = std::make_shared<std::vector<std::string>>();
    auto line = [](const char* what, const TlzhFileStats& s) {
      return std::string(what) + " " + s.FileName + " " + std::to_string(s.BytesDone) + " " +
             std::to_string(s.CompressedSize) + " " + std::to_string(s.FileDone) + " " +
             std::to_string(s.TotalBytesDone) + " " + std::to_string(s.FilePercent) + " " +
             std::to_string(s.Header.CompressedSize);
    };
    compress_->OnBeforeAdding = [=](TBrwlCompress&, const TlzhFileStats& s) {
      log->push_back(line("before", s));
    };
    compress_->OnStatus = [=](TBrwlCompress&, const TlzhFileStats& s) {
      log->push_back(line("status", s));
    };
    compress_->OnAfterAdding = [=](TBrwlCompress&, const TlzhFileStats& s) {
      log->push_back(line("after", s));
    };
    events_ = log;
  }
  std::shared_ptr<std::vector<std::string>> events_;
};

TEST_F(ParallelArchiveTest, ArchiveAndEventsDoNotDependOnTheThreads) {
  const std::vector<std::string> sources = MixedSources(true);
  std::vector<Bytes> archives;
  std::vector<std::vector<std::string>> logs;
  for (int threads : {1, 2, 5}) {
    compress_->SetThreads(threads);
    RecordEvents();
    const std::string name = "C:\\BUILD\\t" + std::to_string(threads) + ".1";
    Compress(sources, false, kId, name);
    archives.push_back(ArchiveBytes(name));
    logs.push_back(*events_);
  }
  EXPECT_EQ(archives[0], archives[1]);
  EXPECT_EQ(archives[0], archives[2]);
  EXPECT_EQ(logs[0], logs[1]);
  EXPECT_EQ(logs[0], logs[2]);
  // Before, progress per 64 KB of stream, the last status, after: per member.
  std::size_t befores = 0, dones = 0;
  for (const std::string& e : logs[0]) {
    befores += e.rfind("before", 0) == 0;
    dones += e.rfind("status", 0) == 0 && e.find(" 1 ") != std::string::npos;
  }
  EXPECT_EQ(befores, sources.size());
  EXPECT_EQ(dones, sources.size());
  EXPECT_GT(logs[0].size(), 3 * sources.size());  // the large members report steps too

  // Every stream is an ordinary zlib stream of the source's bytes.
  MemoryStream s(archives[0]);
  ArchiveDirectory dir = ReadArchiveDirectory(s, 0);
  ASSERT_EQ(dir.headers.size(), sources.size());
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const TFileHeader& h = dir.headers[i];
    Inflater inflater;
    inflater.SetInput(std::span<const std::uint8_t>(
        archives[0].data() + h.DataPos, static_cast<std::size_t>(h.CompressedSize)));
    std::string out(static_cast<std::size_t>(h.FileSize) + 1, '\0');
    std::size_t n = 0, got;
    while ((got = inflater.Inflate(std::span(reinterpret_cast<std::uint8_t*>(out.data()) + n,
                                             out.size() - n))) > 0) {
      n += got;
    }
    EXPECT_TRUE(inflater.Finished()) << i;
    out.resize(n);
    EXPECT_EQ(out, ReadFile(Host(sources[i]))) << i;
    EXPECT_EQ(h.FileName, sources[i]);
    EXPECT_EQ(archives[0][static_cast<std::size_t>(h.DataPos)], 0x78);
    EXPECT_EQ(archives[0][static_cast<std::size_t>(h.DataPos) + 1], 0xDA);  // the maximum level
  }
}

TEST_F(ParallelArchiveTest, AbortStopsAtTheNextBlockAndKeepsCompleteMembers) {
  compress_->SetThreads(2);
  const std::vector<std::string> sources = MixedSources(false);
  Compress({sources[1]}, false, kId);
  const Bytes first = ArchiveBytes("C:\\BUILD\\files.1");
  for (std::size_t stop_after : {2u, 7u, 20u}) {
    int events = 0, after_abort = 0, aborted = 0;
    compress_->OnAborted = [&](TComponent&) { ++aborted; };
    compress_->OnStatus = [&](TBrwlCompress& c, const TlzhFileStats&) {
      if (c.Abort()) ++after_abort;
      if (static_cast<std::size_t>(++events) == stop_after) c.SetAbort(true);
    };
    Compress(sources, true, kId);
    EXPECT_EQ(aborted, 1);
    EXPECT_EQ(after_abort, 0) << stop_after;  // no event after the stop was asked for
    // The archive ends with its last complete member and counts only those.
    Bytes bytes = ArchiveBytes("C:\\BUILD\\files.1");
    MemoryStream s(bytes);
    ArchiveDirectory dir = ReadArchiveDirectory(s, 0);
    ASSERT_GE(dir.headers.size(), 1u);
    EXPECT_EQ(dir.headers.back().NextHeaderPos, static_cast<std::int32_t>(bytes.size()));
    EXPECT_TRUE(std::equal(first.begin() + 4, first.end(), bytes.begin() + 4));
    // Starting again from the shortened archive.
    compress_->OnStatus = nullptr;
    Compress({sources[1]}, false, kId);
  }
}

// Every event of an extraction, with what it carried.
std::shared_ptr<std::vector<std::string>> RecordExtraction(TBrwlCompress& c) {
  auto log = std::make_shared<std::vector<std::string>>();
  auto line = [](const char* what, const TlzhFileStats& s) {
    return std::string(what) + " " + s.FileName + " " + std::to_string(s.BytesDone) + " " +
           std::to_string(s.FileDone) + " " + std::to_string(s.TotalBytesDone) + " " +
           std::to_string(s.FilePercent) + " " + std::to_string(s.TotalPercent);
  };
  c.OnBeforeExtracting = [=](TBrwlCompress&, const TlzhFileStats& s) {
    log->push_back(line("before", s));
  };
  c.OnStatus = [=](TBrwlCompress&, const TlzhFileStats& s) { log->push_back(line("status", s)); };
  return log;
}

TEST_F(ParallelArchiveTest, ExtractionInflatingAheadWritesTheSameFilesAndEvents) {
  const std::vector<std::string> sources = MixedSources(true);
  Compress(sources, false, kId);
  // Every member, one twice, in another order than stored; one left out by
  // a handler after it may have been inflated ahead.
  std::vector<std::string> lines(sources.rbegin(), sources.rend());
  lines.insert(lines.begin() + 3, sources[4]);
  std::vector<std::vector<std::string>> logs;
  for (int threads : {1, 2}) {
    compress_->SetThreads(threads);
    auto log = RecordExtraction(*compress_);
    compress_->OnBeforeExtracting = [log, skip = sources[7]](TBrwlCompress& c,
                                                             const TlzhFileStats& s) {
      log->push_back("before " + s.FileName);
      if (s.FileName == skip) c.SkipFile = true;
    };
    const std::string dir = "C:\\OUT" + std::to_string(threads);
    compress_->SetCompressedFile("C:\\BUILD\\files.1");
    compress_->SetExtractDirectory(dir);
    compress_->SetFilesToProcessLines(lines);
    compress_->Extract();
    logs.push_back(*log);
    for (const std::string& source : sources) {
      const std::string name(source.substr(source.find_last_of('\\') + 1));
      if (source == sources[7]) {
        EXPECT_FALSE(Files().FileExists(dir + "\\" + name));
      } else {
        EXPECT_EQ(ReadFile(Host(dir + "\\" + name)), ReadFile(Host(source))) << name;
      }
    }
  }
  EXPECT_EQ(logs[0], logs[1]);
  EXPECT_GT(logs[0].size(), 3 * sources.size());
}

TEST_F(ParallelArchiveTest, ExtractionInflatingAheadStopsAndFailsAsItWouldAlone) {
  compress_->SetThreads(2);
  const std::vector<std::string> sources = MixedSources(false);
  Compress(sources, false, kId);
  // Abort from an event: no further event, no further file.
  int events = 0, after_abort = 0, aborted = 0;
  compress_->OnAborted = [&](TComponent&) { ++aborted; };
  compress_->OnStatus = [&](TBrwlCompress& c, const TlzhFileStats&) {
    if (c.Abort()) ++after_abort;
    if (++events == 9) c.SetAbort(true);
  };
  compress_->SetCompressedFile("C:\\BUILD\\files.1");
  compress_->SetExtractDirectory("C:\\OUT");
  compress_->SetFilesToProcessLines(sources);
  compress_->Extract();
  EXPECT_EQ(aborted, 1);
  EXPECT_EQ(after_abort, 0);
  std::size_t written = 0;
  for (const std::string& source : sources) {
    written += Files().FileExists("C:\\OUT\\" + source.substr(source.find_last_of('\\') + 1));
  }
  EXPECT_LT(written, sources.size());

  // A damaged member in the middle: the members before it are written and the
  // error is the one a single thread gives.
  Bytes bytes = ArchiveBytes("C:\\BUILD\\files.1");
  MemoryStream s(bytes);
  ArchiveDirectory dir = ReadArchiveDirectory(s, 0);
  const TFileHeader& bad = dir.headers[12];
  bytes[static_cast<std::size_t>(bad.DataPos + bad.CompressedSize / 2)] ^= 0x55;
  testing::WriteHostFile(Host("C:\\BUILD\\bad.1"), bytes);
  compress_->OnStatus = nullptr;
  std::vector<std::string> errors;
  for (int threads : {1, 2}) {
    compress_->SetThreads(threads);
    compress_->SetCompressedFile("C:\\BUILD\\bad.1");
    compress_->SetExtractDirectory("C:\\BAD" + std::to_string(threads));
    compress_->SetFilesToProcessLines(sources);
    errors.push_back(ErrorOf([&] { compress_->Extract(); }));
    const std::string before = sources[11].substr(sources[11].find_last_of('\\') + 1);
    EXPECT_TRUE(Files().FileExists("C:\\BAD" + std::to_string(threads) + "\\" + before));
  }
  EXPECT_NE(errors[0], "(no error)");
  EXPECT_EQ(errors[0], errors[1]);
}

// The lines are looked up once per extraction; a handler that switches to
// another archive midway makes the next line be looked up there, as with
// one thread.
TEST_F(ParallelArchiveTest, AnArchiveSwitchedByAHandlerIsSearchedForTheNextMember) {
  const std::vector<std::string> sources = MixedSources(false);
  Compress(sources, false, kId);
  Compress({sources[3]}, false, kId, "C:\\BUILD\\other.1");
  std::vector<std::string> errors;
  for (int threads : {1, 2}) {
    compress_->SetThreads(threads);
    compress_->OnStatus = [](TBrwlCompress& c, const TlzhFileStats& s) {
      if (s.FileDone) c.SetCompressedFile("C:\\BUILD\\other.1");
    };
    errors.push_back(ErrorOf([&] { Extract(sources, "C:\\OUT" + std::to_string(threads)); }));
    EXPECT_TRUE(Files().FileExists("C:\\OUT" + std::to_string(threads) + "\\empty.bin"));
    EXPECT_FALSE(Files().FileExists("C:\\OUT" + std::to_string(threads) + "\\f0.dat"));
  }
  EXPECT_EQ(errors[0], "The file <" + sources[1] + "> was not found in the archive <C:\\BUILD\\other.1>");
  EXPECT_EQ(errors[1], errors[0]);
}

// What an extraction left in a host directory: each entry with its
// content, date and execute bit (a directory as "<dir>").
std::map<std::string, std::string> Listing(const std::filesystem::path& dir) {
  std::map<std::string, std::string> entries;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    std::string& v = entries[e.path().filename().string()];
    if (e.is_directory()) {
      v = "<dir>";
      continue;
    }
    v = testing::ReadHostFile(e.path()) + "|" +
        std::to_string(e.last_write_time().time_since_epoch().count()) + "|" +
        std::to_string((e.status().permissions() & std::filesystem::perms::owner_exec) !=
                       std::filesystem::perms::none);
  }
  return entries;
}

// Many small members inflated ahead: the files, their dates and execute
// bits, the events and the outcome of a failure or an abort are those of one
// thread.
TEST_F(ParallelArchiveTest, ManySmallMembersExtractAsWithOneThread) {
  std::vector<std::string> sources;
  for (int i = 0; i < 60; ++i) {
    const std::size_t size = (static_cast<std::size_t>(i) * 7919u) % 9000u;
    sources.push_back(Source("s" + std::to_string(i) + ".txt",
                             testing::MixedContent(size, static_cast<unsigned>(i))));
  }
  sources.push_back(Source("run.sh", "#!/bin/sh\necho hi\n"));
  sources.push_back(Source("big.bin", testing::MixedContent((1u << 20) + 5000, 3)));
  Compress(sources, false, kId);
  // One member twice: the second must see the first, written or not yet.
  std::vector<std::string> lines = sources;
  lines.insert(lines.begin() + 5, sources[2]);

  struct Outcome {
    std::vector<std::string> events;
    std::string error;
    std::map<std::string, std::string> files;
  };
  auto extract = [&](int threads, const std::string& dir,
                     const std::function<void(const std::string&)>& before) {
    compress_->SetThreads(threads);
    auto log = RecordExtraction(*compress_);
    compress_->OnBeforeExtracting = nullptr;
    EXPECT_TRUE(Files().ForceDirectories(dir));
    before(dir);
    compress_->SetCompressedFile("C:\\BUILD\\files.1");
    compress_->SetExtractDirectory(dir);
    compress_->SetFilesToProcessLines(lines);
    Outcome o;
    o.error = ErrorOf([&] { compress_->Extract(); });
    o.events = *log;
    o.files = Listing(Host(dir));
    return o;
  };
  // The same files, error and events from one thread and from two.
  auto same = [&](const std::string& tag, const std::function<void(const std::string&)>& before) {
    Outcome one = extract(1, "C:\\" + tag + "1", before);
    Outcome two = extract(2, "C:\\" + tag + "2", before);
    auto replace = [](std::string text, const std::string& from, const std::string& to) {
      const std::size_t at = text.find(from);
      return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    EXPECT_EQ(one.error, replace(two.error, tag + "2", tag + "1")) << tag;
    EXPECT_EQ(one.files, two.files) << tag;
    EXPECT_EQ(one.events, two.events) << tag;
    return one;
  };

  Outcome whole = same("ALL", [](const std::string&) {});
  EXPECT_EQ(whole.error, "(no error)");
  EXPECT_EQ(whole.files.size(), sources.size());
  EXPECT_EQ(whole.files["run.sh"].back(), '1');
  EXPECT_EQ(whole.files["s7.txt"].substr(0, 40), ReadFile(Host(sources[7])).substr(0, 40));

  // A directory standing at a member's name: that member fails, the ones
  // before it are there and none after it.
  Outcome failed = same("F", [&](const std::string& dir) {
    ASSERT_TRUE(Files().CreateDirectory(dir + "\\s30.txt").ok());
  });
  EXPECT_NE(failed.error, "(no error)");
  EXPECT_EQ(failed.files.size(), 1u + 30u);  // s0..s29 and the directory

  // Cancel from an event: the members done before it are there, whole.
  int events = 0;
  auto cancel_later = [&](const std::string&) {
    events = 0;
    auto log = compress_->OnStatus;
    compress_->OnStatus = [&events, log](TBrwlCompress& c, const TlzhFileStats& st) {
      log(c, st);
      if (++events == 70) c.SetAbort(true);
    };
  };
  Outcome cancelled = same("C", cancel_later);
  EXPECT_GT(cancelled.files.size(), 10u);
  EXPECT_LT(cancelled.files.size(), sources.size());
  compress_->OnStatus = nullptr;
}

// Members written ahead into files without a name while the extraction
// waits: the files (named in member order, an existing one replaced, one
// differing only in case not doubled, nothing left under another name), the
// events and the outcome of a failure or an abort are those of one thread.
TEST_F(ParallelArchiveTest, MembersWrittenAheadAreNamedAsFilesWrittenHere) {
  std::vector<std::string> sources;
  // More members than wait ahead at once: the first ones are inflated before
  // the directory is open, the later ones are written ahead into it.
  for (int i = 0; i < 300; ++i) {
    sources.push_back(Source("w" + std::to_string(i) + ".txt",
                             testing::MixedContent(100 + static_cast<std::size_t>(i) * 7, static_cast<unsigned>(i))));
  }
  sources.push_back(Source("run.sh", "#!/bin/sh\necho hi\n"));
  Compress(sources, false, kId);
  struct Outcome {
    std::vector<std::string> events;
    std::string error;
    std::map<std::string, std::string> files;
  };
  auto extract = [&](int threads, const std::string& dir, const std::function<void(const std::string&)>& before,
                     int abort_at) {
    compress_->SetThreads(threads);
    auto log = RecordExtraction(*compress_);
    // Now and then the extraction waits, so that the worker gets well
    // ahead of it and writes the next members ahead.
    compress_->OnBeforeExtracting = [log, n = 0](TBrwlCompress&, const TlzhFileStats& st) mutable {
      log->push_back("before " + st.FileName);
      if (++n % 40 == 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    int events = 0;
    compress_->OnStatus = [log, &events, abort_at](TBrwlCompress& c, const TlzhFileStats& st) {
      log->push_back("status " + st.FileName + " " + std::to_string(st.TotalBytesDone));
      if (++events == abort_at) c.SetAbort(true);
    };
    EXPECT_TRUE(Files().ForceDirectories(dir));
    before(dir);
    compress_->SetCompressedFile("C:\\BUILD\\files.1");
    compress_->SetExtractDirectory(dir);
    compress_->SetFilesToProcessLines(sources);
    Outcome o;
    o.error = ErrorOf([&] { compress_->Extract(); });
    o.events = *log;
    o.files = Listing(Host(dir));
    compress_->OnStatus = nullptr;
    compress_->OnBeforeExtracting = nullptr;
    return o;
  };
  auto same = [&](const std::string& tag, const std::function<void(const std::string&)>& before, int abort_at) {
    Outcome one = extract(1, "C:\\" + tag + "1", before, abort_at);
    Outcome two = extract(2, "C:\\" + tag + "2", before, abort_at);
    const std::size_t at = two.error.find(tag + "2");
    if (at != std::string::npos) two.error.replace(at, tag.size() + 1, tag + "1");
    EXPECT_EQ(one.error, two.error) << tag;
    EXPECT_EQ(one.files, two.files) << tag;
    EXPECT_EQ(one.events, two.events) << tag;
    return two;
  };
  auto existing = [&](const std::string& dir) {
    WriteFile(Host(dir) / "w203.txt", "older");
    WriteFile(Host(dir) / "W207.TXT", "older, another case");
  };
  Outcome whole = same("WA", existing, -1);
  EXPECT_EQ(whole.error, "(no error)");
  EXPECT_EQ(whole.files.size(), sources.size());  // W207.TXT replaced, not doubled
  EXPECT_EQ(whole.files.count("w207.txt"), 0u);
  EXPECT_EQ(whole.files["W207.TXT"].substr(0, 30), ReadFile(Host(sources[207])).substr(0, 30));
  EXPECT_EQ(whole.files["w203.txt"].substr(0, 30), ReadFile(Host(sources[203])).substr(0, 30));
  EXPECT_EQ(whole.files["run.sh"].back(), '1');

  // A directory at a member's name: the members before it are there, none
  // after it, and nothing under another name.
  Outcome failed = same("WF", [&](const std::string& dir) {
    ASSERT_TRUE(Files().CreateDirectory(dir + "\\w240.txt").ok());
  }, -1);
  EXPECT_NE(failed.error, "(no error)");
  EXPECT_EQ(failed.files.size(), 240u + 1u);

  // Stopped from an event: the members done before it, whole.
  Outcome stopped = same("WS", [](const std::string&) {}, 500);
  EXPECT_GT(stopped.files.size(), 10u);
  EXPECT_LT(stopped.files.size(), sources.size());
}

TEST_F(ParallelArchiveTest, FullDiskStopsWithinOneBlockAndKeepsCompleteMembers) {
  compress_->SetThreads(2);
  PrefixConfig c = machine_->Config();
  c.removable['A'] = 50000;
  machine_->UpdateConfig(c);
  ASSERT_TRUE(Files().InsertDisk('A', 1));
  std::vector<std::string> sources;
  for (int i = 0; i < 6; ++i) {
    sources.push_back(Source("r" + std::to_string(i), testing::MixedContent(30000, 40u + i)));
  }
  int told = 0;
  compress_->OnFullDisk = [&](TComponent&) { ++told; };
  compress_->SetCompressedFile("A:\\files.1");
  compress_->SetFilesToProcessLines(sources);
  EXPECT_THROW(compress_->Compress(false, 1), EbcDiskFull);
  EXPECT_EQ(told, 1);
  Bytes bytes = testing::ReadHostBytes(root_ / "prefix" / "disks" / "a" / "1" / "files.1");
  MemoryStream s(bytes);
  ArchiveDirectory dir = ReadArchiveDirectory(s, 0);
  EXPECT_GE(dir.headers.size(), 1u);
  EXPECT_LT(dir.headers.size(), sources.size());
  EXPECT_EQ(dir.headers.back().NextHeaderPos, static_cast<std::int32_t>(bytes.size()));
}

// A member above the limit of those held in memory is streamed: the peak
// memory of the process adding and extracting it grows far less than the
// member's size. (bench/archive_bench reports the same for 1 GB.)
TEST_F(ParallelArchiveTest, LargeMembersKeepMemoryFlat) {
  constexpr std::uint64_t kSize = 96u << 20;
  const std::filesystem::path big = HostDir() / "sparse.bin";
  { std::ofstream(big) << "head"; }
  std::filesystem::resize_file(big, kSize);
  const std::string source = machine_->GetPaths().FullPath(big.string());
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    struct rusage before {};
    ::getrusage(RUSAGE_SELF, &before);
    try {
      compress_->SetCompressionLevel(colFastest);
      Compress({source}, false, kId, "C:\\BUILD\\big.1");
      compress_->SetExtractDirectory("C:\\OUT");
      compress_->SetFilesToProcessLines({source});
      compress_->Extract();
    } catch (...) {
      ::_exit(2);
    }
    if (std::filesystem::file_size(Host("C:\\OUT\\sparse.bin")) != kSize) ::_exit(3);
    // The peak may only have grown by the buffers, not by the member.
    struct rusage after {};
    ::getrusage(RUSAGE_SELF, &after);
    ::_exit(after.ru_maxrss - before.ru_maxrss < 40 * 1024 ? 0 : 4);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "2: failed, 3: wrong size, 4: memory grew with the member";
}

// --- Extractions of one member each, with the archive and directory kept open ---

class KeptOpenTest : public ParallelArchiveTest {
 protected:
  void SetUp() override {
    ParallelArchiveTest::SetUp();
    sources_ = {Source("a.txt", "first member"), Source("b.dat", std::string(9000, 'b')),
                Source("c.txt", testing::MixedContent(20000, 3))};
    Compress(sources_);
    compress_->SetCompressedFile("C:\\BUILD\\files.1");
  }
  // Extracts member `i` alone into `dir`, as the engine installs a file.
  void ExtractOne(std::size_t i, const std::string& dir) {
    compress_->SetExtractDirectory(dir);
    compress_->SetFilesToProcessLines({sources_[i]});
    compress_->Extract();
  }
  std::string Written(const std::string& dir, std::size_t i) {
    const std::string& s = sources_[i];
    return ReadFile(Host(dir + "\\" + s.substr(s.find_last_of('\\') + 1)));
  }
  std::vector<std::string> sources_;
};

TEST_F(KeptOpenTest, OneByOneWritesTheSameFilesAndEventsAsOpeningEachTime) {
  std::vector<std::vector<std::string>> logs;
  for (bool keep : {false, true}) {
    compress_->SetKeepOpen(keep);
    auto log = RecordExtraction(*compress_);
    const std::string dir = keep ? "C:\\KEPT\\SUB" : "C:\\FRESH\\SUB";
    for (std::size_t i : {0u, 1u, 2u, 1u}) ExtractOne(i, dir);
    ExtractOne(2, "C:\\OTHER");  // another directory, then back
    ExtractOne(0, dir);
    for (std::size_t i = 0; i < sources_.size(); ++i) {
      EXPECT_EQ(Written(dir, i), ReadFile(Host(sources_[i])));
    }
    EXPECT_EQ(Written("C:\\OTHER", 2), ReadFile(Host(sources_[2])));
    logs.push_back(*log);
    compress_->SetKeepOpen(false);
  }
  EXPECT_EQ(logs[0], logs[1]);
}

TEST_F(KeptOpenTest, MembersInflatedAheadForTheExtractionsToComeChangeNothing) {
  // The extractions announced and those made differ: a member passed over,
  // one extracted once more than announced.
  const std::vector<std::string> announced = {sources_[0], sources_[2], sources_[1],
                                              sources_[2], sources_[1], sources_[0]};
  std::vector<std::vector<std::string>> logs;
  for (bool ahead : {false, true}) {
    compress_->SetKeepOpen(true);
    if (ahead) compress_->ExtractAheadOf(announced);
    auto log = RecordExtraction(*compress_);
    const std::string dir = ahead ? "C:\\AHEAD" : "C:\\KEPT";
    for (std::size_t i : {0u, 1u, 2u, 1u}) ExtractOne(i, dir);
    ExtractOne(2, dir + "\\OTHER");
    ExtractOne(0, dir);
    for (std::size_t i = 0; i < sources_.size(); ++i) {
      EXPECT_EQ(Written(dir, i), ReadFile(Host(sources_[i]))) << ahead;
    }
    EXPECT_EQ(Written(dir + "\\OTHER", 2), ReadFile(Host(sources_[2])));
    logs.push_back(*log);
    compress_->SetKeepOpen(false);
  }
  EXPECT_EQ(logs[0], logs[1]);

  // An archive gone after its members were inflated ahead fails as it does
  // without them.
  compress_->SetKeepOpen(true);
  compress_->ExtractAheadOf(announced);
  ExtractOne(0, "C:\\GONE");
  std::filesystem::remove(Host("C:\\BUILD\\files.1"));
  EXPECT_NE(ErrorOf([&] { ExtractOne(2, "C:\\GONE"); }), "");
  EXPECT_FALSE(Files().FileExists("C:\\GONE\\c.txt"));
}

TEST_F(KeptOpenTest, MembersInflatedAheadAreDroppedWhenTheArchiveIsWritten) {
  compress_->SetKeepOpen(true);
  compress_->ExtractAheadOf({sources_[0], sources_[1], sources_[2]});
  ExtractOne(0, "C:\\OUT");
  // Made anew with one member's bytes changed and every member where it was.
  sources_[1] = Source("b.dat", std::string(9000, 'c'));
  Compress(sources_);
  ExtractOne(1, "C:\\OUT");
  EXPECT_EQ(ReadFile(Host("C:\\OUT\\b.dat")), std::string(9000, 'c'));
}

TEST_F(KeptOpenTest, SeesADirectoryRemovedRenamedOrMadeAnewInBetween) {
  compress_->SetKeepOpen(true);
  ExtractOne(0, "C:\\OUT");
  // Renamed away: the next member goes to the path, made anew, not into the
  // directory held.
  std::filesystem::rename(Host("C:\\OUT"), Host("C:\\") / "moved");
  ExtractOne(1, "C:\\OUT");
  EXPECT_EQ(Written("C:\\OUT", 1), ReadFile(Host(sources_[1])));
  EXPECT_FALSE(std::filesystem::exists(Host("C:\\") / "moved" / "b.dat"));
  // Removed and made anew by someone else.
  std::filesystem::remove_all(Host("C:\\OUT"));
  std::filesystem::create_directory(Host("C:\\") / "OUT");
  ExtractOne(2, "C:\\OUT");
  EXPECT_EQ(Written("C:\\OUT", 2), ReadFile(Host(sources_[2])));
  // Removed: made again, as when nothing is held.
  std::filesystem::remove_all(Host("C:\\OUT"));
  ExtractOne(0, "C:\\OUT");
  EXPECT_EQ(Written("C:\\OUT", 0), ReadFile(Host(sources_[0])));
}

TEST_F(KeptOpenTest, ANameCreatedByAnotherPathInBetweenIsReplacedNotDoubled) {
  compress_->SetKeepOpen(true);
  ExtractOne(0, "C:\\OUT");
  // Another program creates B.DAT, which is b.dat to Windows.
  WriteFile(Host("C:\\OUT") / "B.DAT", "old", DateTimeParts{2001, 1, 1, 0, 0, 0, 0});
  // (Its change of the directory may fall in the clock tick of the last
  // member's; a later tick is what tells it.)
  std::filesystem::last_write_time(Host("C:\\OUT"), std::filesystem::file_time_type::clock::now() +
                                                         std::chrono::seconds(5));
  ExtractOne(1, "C:\\OUT");
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(Host("C:\\OUT"))) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 2);  // a.txt and the replaced B.DAT
  EXPECT_EQ(ReadFile(Host("C:\\OUT") / "B.DAT"), ReadFile(Host(sources_[1])));
}

TEST_F(KeptOpenTest, AnArchiveGoneOrReplacedInBetweenIsOpenedAgain) {
  compress_->SetKeepOpen(true);
  ExtractOne(0, "C:\\OUT");
  // Replaced whole by a copy written elsewhere: read from the new file.
  std::filesystem::copy_file(Host("C:\\BUILD\\files.1"), Host("C:\\BUILD") / "copy.1");
  std::filesystem::rename(Host("C:\\BUILD") / "copy.1", Host("C:\\BUILD\\files.1"));
  ExtractOne(1, "C:\\OUT");
  EXPECT_EQ(Written("C:\\OUT", 1), ReadFile(Host(sources_[1])));
  // Gone: the extraction fails as it does when nothing is held.
  std::filesystem::remove(Host("C:\\BUILD\\files.1"));
  EXPECT_NE(ErrorOf([&] { ExtractOne(2, "C:\\OUT"); }), "");
  EXPECT_FALSE(Files().FileExists("C:\\OUT\\c.txt"));
}

TEST_F(KeptOpenTest, CompressingTheArchiveHeldDoesNotWaitForItself) {
  compress_->SetKeepOpen(true);
  ExtractOne(0, "C:\\OUT");
  // A handle held for reading would keep the writer waiting for its lock
  // and then fail.
  Compress({Source("d.txt", "added later")}, true);
  compress_->SetFilesToProcessLines({sources_[2]});
  compress_->SetExtractDirectory("C:\\OUT");
  compress_->Extract();
  EXPECT_EQ(Written("C:\\OUT", 2), ReadFile(Host(sources_[2])));
  EXPECT_EQ(compress_->FileCount(), 4);
}

}  // namespace
}  // namespace brimwell
