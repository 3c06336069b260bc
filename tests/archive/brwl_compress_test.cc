// TBrwlCompress on a real machine prefix: round trips, the byte layout it
// writes, appending, events, overwrite policies, abort, full disks, refusals
// of corrupt archives and unsafe names, and splitting over removable disks.
#include "archive/brwl_compress.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>

#include "archive/archive_classes.h"
#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/dos_time.h"
#include "archive/memory_stream.h"
#include "framework/class_registry.h"
#include "framework/project_file.h"
#include "framework/sha256.h"
#include "tests/archive/archive_builder.h"
#include "tests/archive/machine_fixture.h"
#include "tests/testutil/error_of.h"
#include "tests/archive/pe_fixture.h"

namespace brimwell {
namespace {

using testing::Bytes;
using testing::ErrorOf;

class BrwlCompressTest : public testing::ArchiveTest {
 protected:
  // A source file on the host; returns its path as the engine names it.
  std::string Source(const std::string& name, const std::string& content,
                     DateTimeParts date = {2019, 5, 17, 13, 45, 10, 0}) {
    WriteFile(HostDir() / name, content, date);
    return Windows(HostDir() / name);
  }
  std::string Windows(const std::filesystem::path& host) {
    return machine_->GetPaths().FullPath(host.string());
  }
  static bool Executable(const std::filesystem::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && (st.st_mode & S_IXUSR) != 0;
  }
};

TEST_F(BrwlCompressTest, RoundTripKeepsBytesDatesAndProgramBits) {
  const std::string big = testing::MixedContent(300000, 11);
  std::string a = Source("a.txt", "alpha\n");
  std::string e = Source("empty.dat", "", {2001, 2, 3, 4, 5, 7, 0});  // odd second
  std::string b = Source("big.bin", big);
  std::string s = Source("run.sh", "#!/bin/sh\necho hi\n");
  std::string elf = Source("tool", std::string("\x7f"
                                               "ELF\x02\x01\x01",
                                               7) +
                                       std::string(100, 0));
  Compress({a, e, b, s, elf}, false, 42);
  Extract({a, e, b, s, elf});

  EXPECT_EQ(ReadFile(Host("C:\\OUT\\a.txt")), "alpha\n");
  EXPECT_EQ(ReadFile(Host("C:\\OUT\\empty.dat")), "");
  EXPECT_EQ(ReadFile(Host("C:\\OUT\\big.bin")), big);
  EXPECT_TRUE(Executable(Host("C:\\OUT\\run.sh")));
  EXPECT_TRUE(Executable(Host("C:\\OUT\\tool")));
  EXPECT_FALSE(Executable(Host("C:\\OUT\\a.txt")));
  // Dates come back at DOS resolution: the odd second rounds down.
  EXPECT_EQ(*Files().LastWriteTime("C:\\OUT\\big.bin"),
            EncodeDateTime({2019, 5, 17, 13, 45, 10, 0}));
  EXPECT_EQ(*Files().LastWriteTime("C:\\OUT\\empty.dat"), EncodeDateTime({2001, 2, 3, 4, 5, 6, 0}));
  EXPECT_TRUE(compress_->FilesToProcess().Empty());
}

TEST_F(BrwlCompressTest, AnExtractionAskedToHashTellsWhatItWroteLast) {
  const std::string content = testing::MixedContent(150000, 5);  // several blocks
  std::string a = Source("a.txt", content);
  Compress({a});
  Extract({a});
  EXPECT_FALSE(compress_->LastWritten());  // not asked
  compress_->SetDigestWritten(true);
  Extract({a});
  ASSERT_TRUE(compress_->LastWritten());
  EXPECT_EQ(compress_->LastWritten()->path, "C:\\OUT\\a.txt");
  EXPECT_EQ(compress_->LastWritten()->size, 150000);
  EXPECT_EQ(compress_->LastWritten()->sha256, Sha256Hex(content));
  EXPECT_EQ(compress_->LastWritten()->date, *Files().LastWriteTime("C:\\OUT\\a.txt"));
  // A member left as it was is not reported as written.
  compress_->SetOverwrite(owNever);
  Extract({a});
  EXPECT_FALSE(compress_->LastWritten());
}

TEST_F(BrwlCompressTest, WrittenLayoutFollowsTheFormat) {
  std::string a = Source("a.txt", std::string(1000, 'a'));
  std::string b = Source("b.txt", testing::MixedContent(5000, 3));
  Compress({a, b}, false, 1999);
  Bytes bytes = ArchiveBytes();
  MemoryStream s(bytes);
  ArchiveDirectory dir = ReadArchiveDirectory(s, 0);
  ASSERT_EQ(dir.prologue.FileCount, 2);
  EXPECT_FALSE(dir.prologue.MultiVolume);
  std::int64_t pos = kPrologueSize;
  for (const TFileHeader& h : dir.headers) {
    EXPECT_EQ(h.DataPos, pos + 172);
    EXPECT_EQ(h.EndPos, h.DataPos + h.CompressedSize - 1);
    EXPECT_EQ(h.NextHeaderPos, h.EndPos + 1);
    EXPECT_EQ(h.StartDisk, 0);
    EXPECT_EQ(h.EndDisk, 0);
    EXPECT_EQ(h.FileID, 1999);
    EXPECT_EQ(h.BatchIndex, &h - &dir.headers[0] + 1);
    EXPECT_EQ(bytes[static_cast<std::size_t>(h.DataPos)], 0x78);  // colMax: 78 DA
    EXPECT_EQ(bytes[static_cast<std::size_t>(h.DataPos) + 1], 0xDA);
    pos = h.NextHeaderPos;
  }
  EXPECT_EQ(pos, static_cast<std::int64_t>(bytes.size()));
  EXPECT_EQ(dir.headers[0].FileName, a);
  EXPECT_EQ(a.rfind("Z:\\", 0), 0u);  // the full Windows form of the source
  EXPECT_EQ(dir.headers[1].FileSize, 5000);
  EXPECT_EQ(dir.headers[0].FileDate, EncodeDateTime({2019, 5, 17, 13, 45, 10, 0}));
  EXPECT_EQ(dir.headers[0].FileVersion, "");

  // Other levels: colNone still makes a zlib stream.
  compress_->SetCompressionLevel(colNone);
  Compress({a}, false, 1, "C:\\BUILD\\none.1");
  Bytes none = ArchiveBytes("C:\\BUILD\\none.1");
  EXPECT_EQ(none[5 + 172], 0x78);
  EXPECT_EQ(none[5 + 172 + 1], 0x01);
}

TEST_F(BrwlCompressTest, AppendingLeavesEarlierBytesAlone) {
  std::string a = Source("a.txt", testing::MixedContent(20000, 1));
  std::string b = Source("b.txt", testing::MixedContent(30000, 2));
  Compress({a}, true, 1, "C:\\NEW\\DIR\\files.1");  // append onto a missing archive creates it
  Bytes first = ArchiveBytes("C:\\NEW\\DIR\\files.1");
  Compress({b}, true, 2, "C:\\NEW\\DIR\\files.1");
  Bytes both = ArchiveBytes("C:\\NEW\\DIR\\files.1");
  ASSERT_GT(both.size(), first.size());
  EXPECT_EQ(GetInt32(both.data()), 2);
  EXPECT_TRUE(std::equal(first.begin() + 4, first.end(), both.begin() + 4));
  EXPECT_EQ(compress_->IndexOfFileID(2), 1);
  EXPECT_EQ(compress_->IndexOfFileID(1), 0);

  Compress({b}, false, 3, "C:\\NEW\\DIR\\files.1");  // not appending truncates
  EXPECT_EQ(compress_->FileCount(), 1);
  EXPECT_EQ(compress_->IndexOfFileID(1), -1);
  Extract({b}, "C:\\OUT", "C:\\NEW\\DIR\\files.1");
  EXPECT_EQ(ReadFile(Host("C:\\OUT\\b.txt")), testing::MixedContent(30000, 2));
}

TEST_F(BrwlCompressTest, LongNamesAndVersionsAreCut) {
  std::filesystem::path deep = HostDir();
  while (deep.string().size() < 120) deep /= "level_directory";
  std::filesystem::path file = deep / "x.txt";
  WriteFile(file, "deep");
  std::string full = Windows(file);
  ASSERT_GT(full.size(), 100u);
  Compress({full});
  const std::string cut = full.substr(0, 100);
  EXPECT_EQ(compress_->GetFileHeaders(0).FileName, cut);
  EXPECT_EQ(ErrorOf([&] { Extract({full}); }),
            "The file <" + full + "> was not found in the archive <C:\\BUILD\\files.1>");
  compress_->ExtractAs = "deep.txt";
  Extract({cut});
  EXPECT_EQ(ReadFile(Host("C:\\OUT\\deep.txt")), "deep");

  if (!testing::HavePeTools()) GTEST_SKIP() << "windres or ld missing";
  std::string rc = testing::kVersionScript;
  rc.replace(rc.find("5,0,4277,1"), 10, "65535,65535,65535,65535");
  std::optional<std::filesystem::path> pe = testing::BuildPe32(HostDir(), "wide", rc);
  ASSERT_TRUE(pe);
  Compress({Windows(*pe)});
  EXPECT_EQ(compress_->GetFileHeaders(0).FileVersion, "65535.65535.65535.65");
}

TEST_F(BrwlCompressTest, EventsAndStatistics) {
  std::string a = Source("a.txt", testing::MixedContent(200000, 5));
  std::string b = Source("b.txt", "small");
  std::vector<std::string> log;
  std::int64_t last_total = -1;
  compress_->OnBeforeAdding = [&](TBrwlCompress&, const TlzhFileStats& s) {
    log.push_back("before " + s.FileName);
    EXPECT_EQ(s.CompressedSize, 0);
    EXPECT_EQ(s.TotalSize, 200005);
  };
  compress_->OnStatus = [&](TBrwlCompress&, const TlzhFileStats& s) {
    EXPECT_GE(s.TotalBytesDone, last_total);
    last_total = s.TotalBytesDone;
    if (s.FileDone) log.push_back("done " + std::to_string(s.BytesDone));
  };
  compress_->OnAfterAdding = [&](TBrwlCompress&, const TlzhFileStats& s) {
    log.push_back("after " + std::to_string(s.Header.CompressedSize > 0));
  };
  Compress({a, b});
  EXPECT_EQ(log, (std::vector<std::string>{"before " + a, "done 200000", "after 1", "before " + b,
                                           "done 5", "after 1"}));
  EXPECT_EQ(compress_->FileStats().TotalBytesDone, 200005);
  EXPECT_EQ(compress_->FileStats().TotalPercent, 100);
  EXPECT_GT(app_.ProcessMessagesCount(), 0);

  // Statistics of one member; totals over the archive.
  TlzhFileStats s = compress_->GetFileStats(1);
  EXPECT_EQ(s.FileName, b);
  EXPECT_EQ(s.FileSize, 5);
  EXPECT_EQ(s.TotalSize, 200005);
  EXPECT_EQ(s.Ratio, static_cast<std::int32_t>(std::round(s.CompressedSize * 100.0 / 5)));
  EXPECT_EQ(ErrorOf([&] { compress_->GetFileStats(2); }),
            "Tried to access the 2th file. This file is not defined");
  EXPECT_EQ(ErrorOf([&] { compress_->GetFileHeaders(-1); }),
            "-1 is an invalid TFileHeader index in TFileHeaders.GetFileHeaders");
  EXPECT_EQ(ErrorOf([&] { compress_->AddStatus(); }), "AddStatus has Nil DestFile");
}

TEST_F(BrwlCompressTest, OverwritePoliciesOnExistingTargets) {
  std::string a = Source("a.txt", "from the archive", {2010, 1, 1, 0, 0, 0, 0});
  Compress({a});
  auto existing = [&](const std::string& content, DateTimeParts date) {
    WriteFile(Host("C:\\OUT\\a.txt"), content, date);
  };
  int done_events = 0;
  compress_->OnStatus = [&](TBrwlCompress&, const TlzhFileStats& s) { done_events += s.FileDone; };

  compress_->SetOverwrite(owNever);
  existing("mine", {2000, 1, 1, 0, 0, 0, 0});
  Extract({a});
  EXPECT_EQ(ReadFile(Host("C:\\OUT\\a.txt")), "mine");
  EXPECT_EQ(done_events, 1);  // a member left out still ends with FileDone

  compress_->SetOverwrite(owDate);
  existing("newer", {2015, 1, 1, 0, 0, 0, 0});
  Extract({a});
  EXPECT_EQ(ReadFile(Host("C:\\OUT\\a.txt")), "newer");
  existing("older", {2005, 1, 1, 0, 0, 0, 0});
  Extract({a});
  EXPECT_EQ(ReadFile(Host("C:\\OUT\\a.txt")), "from the archive");

  compress_->SetOverwrite(owVersion);  // neither has a version: same, left alone
  existing("unversioned", {2005, 1, 1, 0, 0, 0, 0});
  Extract({a});
  EXPECT_EQ(ReadFile(Host("C:\\OUT\\a.txt")), "unversioned");

  compress_->SetOverwrite(owVersionDate);  // equal versions: the dates decide
  Extract({a});
  EXPECT_EQ(ReadFile(Host("C:\\OUT\\a.txt")), "from the archive");

  // The same name twice: under owAlways it is written twice; a handler may
  // skip or rename through OnReplace.
  compress_->SetOverwrite(owAlways);
  int replaced = 0;
  compress_->OnReplace = [&](TBrwlCompress& c, const TlzhFileStats&) {
    if (++replaced == 2) c.ExtractAs = "renamed.txt";
  };
  existing("x", {2005, 1, 1, 0, 0, 0, 0});
  Extract({a, a});
  EXPECT_EQ(replaced, 2);
  EXPECT_EQ(ReadFile(Host("C:\\OUT\\renamed.txt")), "from the archive");
  compress_->OnReplace = nullptr;
  compress_->OnBeforeExtracting = [](TBrwlCompress& c, const TlzhFileStats&) { c.SkipFile = true; };
  existing("kept", {2005, 1, 1, 0, 0, 0, 0});
  Extract({a});
  EXPECT_EQ(ReadFile(Host("C:\\OUT\\a.txt")), "kept");
}

TEST_F(BrwlCompressTest, MembersGoWhereTheHandlersSayUnderTheNamesStored) {
  std::string a = Source("a.txt", "A"), b = Source("b.txt", "B"), c = Source("c.txt", "C");
  Compress({a, b, c});
  WriteFile(Host("C:\\OUT\\B.TXT"), "old", DateTimeParts{2000, 1, 1, 0, 0, 0, 0});
  // A handler moves the third member elsewhere; the existing file of the
  // second is replaced under the name it has.
  compress_->OnBeforeExtracting = [&](TBrwlCompress& comp, const TlzhFileStats& s) {
    if (s.FileName == c) comp.SetExtractDirectory("C:\\OUT2");
  };
  Extract({a, b, c});
  EXPECT_EQ(ReadFile(Host("C:\\OUT\\a.txt")), "A");
  EXPECT_EQ(ReadFile(Host("C:\\OUT\\B.TXT")), "B");
  EXPECT_EQ(ReadFile(Host("C:\\OUT2\\c.txt")), "C");
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(Host("C:\\OUT"))) {
    names.insert(e.path().filename().string());
  }
  EXPECT_EQ(names, (std::set<std::string>{"B.TXT", "a.txt"}));

  // The directory removed between two members is made again.
  compress_->OnBeforeExtracting = [&](TBrwlCompress&, const TlzhFileStats& s) {
    if (s.FileName == b) std::filesystem::remove_all(Host("C:\\OUT"));
  };
  Extract({a, b});
  EXPECT_FALSE(std::filesystem::exists(Host("C:\\OUT\\a.txt")));
  EXPECT_EQ(ReadFile(Host("C:\\OUT\\b.txt")), "B");
}

TEST_F(BrwlCompressTest, AbortStopsQuietlyAndKeepsTheArchiveReadable) {
  std::string big = Source("big.bin", testing::MixedContent(2000000, 9));
  std::string small = Source("small.txt", "small");
  Compress({small});
  int aborted = 0;
  compress_->OnAborted = [&](TComponent&) { ++aborted; };
  compress_->OnStatus = [&](TBrwlCompress& c, const TlzhFileStats& s) {
    if (s.BytesDone > 100000) c.SetAbort(true);
  };
  Compress({big, small}, true, 2);
  EXPECT_EQ(aborted, 1);
  EXPECT_TRUE(compress_->FilesToProcess().Empty());
  // Only the complete members count: the first, written before.
  {
    Bytes bytes = ArchiveBytes();
    MemoryStream s(bytes);
    EXPECT_EQ(ReadArchiveDirectory(s, 0).headers.size(), 1u);
  }

  compress_->OnStatus = nullptr;
  Compress({big}, true, 3);
  EXPECT_EQ(compress_->FileCount(), 2);
  compress_->OnStatus = [&](TBrwlCompress& c, const TlzhFileStats& s) {
    if (s.BytesDone > 100000) c.SetAbort(true);
  };
  Extract({big});  // no error reaches the caller
  EXPECT_EQ(aborted, 2);
  EXPECT_TRUE(compress_->Abort());
}

TEST_F(BrwlCompressTest, FullDiskRaisesEbcDiskFull) {
  std::string big = Source("big.bin", testing::MixedContent(100000, 4));
  Compress({big});
  SetDiskCapacity(20000);
  ASSERT_TRUE(Files().InsertDisk('A', 1));
  EXPECT_EQ(ErrorOf([&] { Extract({big}, "A:\\"); }), "The disk is full");
  try {
    Extract({big}, "A:\\");
  } catch (const EbcDiskFull& e) {
    EXPECT_STREQ(e.ClassName(), "EbcDiskFull");
  }
  // A handler is told, and the write is tried once more before failing.
  int told = 0;
  compress_->OnFullDisk = [&](TComponent&) { ++told; };
  EXPECT_THROW(Extract({big}, "A:\\"), EbcDiskFull);
  EXPECT_EQ(told, 1);
  EXPECT_TRUE(compress_->Abort());
}

TEST_F(BrwlCompressTest, CorruptArchivesAreRefusedBeforeAnyFileIsMade) {
  std::string a = Source("a.txt", "abc");
  Compress({a});
  Bytes good = ArchiveBytes();
  const std::string kCorrupt =
      "Could not read the file headers for the compressed file. The Archive file could possible "
      "be corrupt";
  for (auto spoil : std::vector<std::function<void(Bytes&)>>{
           [](Bytes& b) { PutInt32(&b[5 + kDataPosOffset], 1 << 30); },
           [](Bytes& b) { PutInt32(&b[5 + kEndPosOffset], 1 << 30); },
           [](Bytes& b) { PutInt32(&b[5 + kNextHeaderPosOffset], 0); },
           [](Bytes& b) { PutInt32(&b[0], 1 << 24); },
           [](Bytes& b) { b.resize(100); },
       }) {
    Bytes b = good;
    spoil(b);
    testing::WriteHostFile(Host("C:\\BUILD\\bad.1"), b);
    compress_->SetCompressedFile("C:\\BUILD\\elsewhere.1");
    EXPECT_EQ(ErrorOf([&] { Extract({a}, "C:\\NOTMADE", "C:\\BUILD\\bad.1"); }), kCorrupt);
    EXPECT_FALSE(Files().DirectoryExists("C:\\NOTMADE"));
  }
  // A stream whose size disagrees with the header.
  Bytes b = good;
  PutInt32(&b[5 + kFileSizeOffset], 2);
  testing::WriteHostFile(Host("C:\\BUILD\\size.1"), b);
  EXPECT_EQ(ErrorOf([&] { Extract({a}, "C:\\OUT", "C:\\BUILD\\size.1"); }),
            "The decompressed file's size does not match with the actual size of the file.  The "
            "file is " +
                a);
  EXPECT_EQ(ErrorOf([&] { Extract({a}, "C:\\OUT", "C:\\BUILD\\missing.1"); }),
            "Cannot open the compressed file C:\\BUILD\\missing.1");
}

TEST_F(BrwlCompressTest, ExtractionStaysInsideItsDirectory) {
  // Members whose names end in "..", or with an ExtractAs leading out.
  Bytes archive = testing::BuildSingleFile(
      {testing::Member("C:\\SRC\\..", "dots"), testing::Member("C:\\SRC\\ok.txt", "fine")});
  ASSERT_TRUE(Files().ForceDirectories("C:\\BUILD"));
  testing::WriteHostFile(Host("C:\\BUILD\\evil.1"), archive);
  EXPECT_EQ(ErrorOf([&] { Extract({"C:\\SRC\\.."}, "C:\\OUT\\IN", "C:\\BUILD\\evil.1"); }),
            "The file name <..> would be written outside the directory C:\\OUT\\IN");
  compress_->OnReplace = [](TBrwlCompress& c, const TlzhFileStats&) { c.ExtractAs = "..\\x.txt"; };
  Extract({"C:\\SRC\\ok.txt"}, "C:\\OUT\\IN", "C:\\BUILD\\evil.1");
  EXPECT_EQ(ErrorOf([&] { Extract({"C:\\SRC\\ok.txt"}, "C:\\OUT\\IN", "C:\\BUILD\\evil.1"); }),
            "The file name <..\\x.txt> would be written outside the directory C:\\OUT\\IN");
  EXPECT_FALSE(Files().FileExists("C:\\OUT\\x.txt"));
  // ExtractAs given with directories or a drive keeps only its file name.
  compress_->OnReplace = nullptr;
  compress_->ExtractAs = "D:\\elsewhere\\..\\name.txt";
  Extract({"C:\\SRC\\ok.txt"}, "C:\\OUT\\IN", "C:\\BUILD\\evil.1");
  EXPECT_EQ(ReadFile(Host("C:\\OUT\\IN\\name.txt")), "fine");
  // A host directory is read as Z:\...: members land inside it.
  Extract({"C:\\SRC\\ok.txt"}, (HostDir() / "hostout").string(), "C:\\BUILD\\evil.1");
  EXPECT_EQ(ReadFile(HostDir() / "hostout" / "ok.txt"), "fine");
  // No directory at all.
  EXPECT_EQ(ErrorOf([&] { Extract({"C:\\SRC\\ok.txt"}, "", "C:\\BUILD\\evil.1"); }),
            "Unable to create directory");
}

TEST_F(BrwlCompressTest, SourcesOfTwoGigabytesAreRefusedBeforeWriting) {
  std::filesystem::path huge = HostDir() / "huge.bin";
  { std::ofstream(huge) << ""; }
  std::filesystem::resize_file(huge, std::uintmax_t{1} << 31);  // sparse
  std::string small = Source("small.txt", "small");
  Compress({small});
  Bytes before = ArchiveBytes();
  EXPECT_EQ(ErrorOf([&] {
              Compress({small, Windows(huge)}, false);
            }),
            "The file " + Windows(huge) +
                " is too large for an archive: files must be smaller than 2 GB");
  EXPECT_EQ(ArchiveBytes(), before);  // not even truncated
  EXPECT_EQ(ErrorOf([&] { Compress({Windows(HostDir() / "none.txt")}); }),
            "Cannot open the file " + Windows(HostDir() / "none.txt"));
}

TEST_F(BrwlCompressTest, SplitsOverThreeDisksAndReadsBackAcrossThem) {
  std::vector<std::string> sources;
  std::vector<std::string> contents;
  for (int i = 0; i < 4; ++i) {
    contents.push_back(testing::MixedContent(40000 + 7000 * static_cast<std::size_t>(i), 20 + i));
    sources.push_back(Source("part" + std::to_string(i) + ".bin", contents.back()));
  }
  Compress(sources);
  const std::int64_t archive_size = static_cast<std::int64_t>(ArchiveBytes().size());
  SetDiskCapacity(archive_size / 2 - 1000);  // three disks
  ASSERT_TRUE(Files().InsertDisk('A', 1));

  std::vector<int> requests;
  compress_->OnNewDisk = [&](TBrwlCompress&, int disk, std::string& path) {
    requests.push_back(disk);
    ASSERT_TRUE(Files().InsertDisk('A', disk));
    EXPECT_EQ(path.rfind("A:", 0), 0u) << path;
  };
  compress_->SplitToDisks("A:\\", "files.1");
  EXPECT_EQ(requests, (std::vector<int>{2, 3, 1}));  // disk 1 again for the final table

  // The table on disk 1 describes where every stream lies.
  Bytes disk1 = testing::ReadHostBytes(root_ / "prefix" / "disks" / "a" / "1" / "files.1");
  MemoryStream s1(disk1);
  ArchiveDirectory dir = ReadArchiveDirectory(s1, 0);
  ASSERT_TRUE(dir.prologue.MultiVolume);
  ASSERT_EQ(dir.headers.size(), 4u);
  EXPECT_EQ(dir.headers[0].StartDisk, 1);
  EXPECT_EQ(dir.headers[0].DataPos, 5 + 4 * 172);
  EXPECT_EQ(dir.headers.back().EndDisk, 3);
  for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(dir.headers[k].NextHeaderPos, 5 + 172 * (k + 1));
  EXPECT_TRUE(std::filesystem::exists(root_ / "prefix" / "disks" / "a" / "3" / "files.3"));

  // Read back from the set with disk 1 in the drive, asking for the others.
  requests.clear();
  Files().InsertDisk('A', 1).IgnoreError();
  TBrwlCompress reader(nullptr);
  reader.SetServices({machine_.get(), versions_.get(), &app_, {}});
  reader.OnNewDisk = compress_->OnNewDisk;
  reader.SetCompressedFile("A:\\files.1");
  reader.SetExtractDirectory("C:\\BACK");
  reader.SetFilesToProcessLines(sources);
  reader.Extract();
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(ReadFile(Host("C:\\BACK\\part" + std::to_string(i) + ".bin")),
              contents[static_cast<std::size_t>(i)])
        << i;
  }
  EXPECT_FALSE(requests.empty());
  EXPECT_EQ(reader.CompressedFile(), "A:\\files." + std::to_string(requests.back()));

  // Without a handler a missing disk stops the extraction.
  Files().InsertDisk('A', 1).IgnoreError();
  TBrwlCompress lone(nullptr);
  lone.SetServices({machine_.get(), versions_.get(), &app_, {}});
  lone.SetCompressedFile("A:\\files.1");
  lone.SetExtractDirectory("C:\\LONE");
  lone.SetFilesToProcessLines({sources.back()});
  EXPECT_EQ(ErrorOf([&] { lone.Extract(); }),
            "Could not open the correct disk file " + std::to_string(dir.headers.back().StartDisk));
}

TEST_F(BrwlCompressTest, SplitWithoutNewDiskHandler) {
  std::string a = Source("a.bin", testing::MixedContent(60000, 1));
  Compress({a});
  SetDiskCapacity(10000);
  ASSERT_TRUE(Files().InsertDisk('A', 1));
  EXPECT_EQ(ErrorOf([&] { compress_->SplitToDisks("A:\\", "files.1"); }),
            "There was no event handler for the OnNewDisk event, therefore no new disk could be "
            "inserted");
  EXPECT_TRUE(compress_->Abort());
}

TEST_F(BrwlCompressTest, HeaderSetsAndIdentifiers) {
  std::string a = Source("a.txt", "a");
  Compress({a}, false, 5, "C:\\ONE\\files.1");
  Compress({a}, false, 6, "C:\\TWO\\files.1");
  compress_->SetCompressedFile("C:\\ONE\\files.1");
  EXPECT_EQ(compress_->IndexOfFileID(5), 0);
  // Another name of the same set keeps the headers loaded.
  compress_->SetCompressedFile("c:\\one\\FILES.2");
  EXPECT_TRUE(compress_->HeadersLoaded());
  compress_->SetCompressedFile("C:\\TWO\\files.1");
  EXPECT_FALSE(compress_->HeadersLoaded());
  EXPECT_EQ(compress_->IndexOfFileID(5), -1);  // nothing left from the other archive
  EXPECT_EQ(compress_->IndexOfFileID(6), 0);
  EXPECT_EQ(compress_->IndexOfFileID(2000), -1);

  TStringList lines{"  ", "x;y", "", "\t"};
  compress_->SetFilesToProcess(lines);
  EXPECT_EQ(compress_->FilesToProcess().Lines(), (std::vector<std::string>{"x;y"}));
  EXPECT_EQ(ErrorOf([&] { Compress({a}, false, 1, "files.1"); }), "Unable to create directory");
}

TEST_F(BrwlCompressTest, CopyFileUnderThePolicy) {
  std::string src = Source("tool.sh", "#!/bin/sh\n", {2012, 3, 4, 5, 6, 8, 0});
  ASSERT_TRUE(Files().ForceDirectories("C:\\COPY"));
  int statuses = 0;
  compress_->OnStatus = [&](TBrwlCompress&, const TlzhFileStats& s) { statuses += s.FileDone; };
  compress_->CopyFile(src, "C:\\COPY\\tool.sh");
  EXPECT_EQ(ReadFile(Host("C:\\COPY\\tool.sh")), "#!/bin/sh\n");
  EXPECT_EQ(*Files().LastWriteTime("C:\\COPY\\tool.sh"), EncodeDateTime({2012, 3, 4, 5, 6, 8, 0}));
  EXPECT_TRUE(Executable(Host("C:\\COPY\\tool.sh")));
  EXPECT_EQ(statuses, 1);
  EXPECT_EQ(compress_->ExtractDirectory(), "C:\\COPY");

  compress_->SetOverwrite(owNever);
  WriteFile(Host("C:\\COPY\\tool.sh"), "mine");
  compress_->SkipFile = true;  // a leftover skip does not matter for a copy
  compress_->CopyFile(src, "C:\\COPY\\tool.sh");
  EXPECT_EQ(ReadFile(Host("C:\\COPY\\tool.sh")), "mine");
  compress_->SetOverwrite(owAlways);
  compress_->SkipFile = true;
  compress_->CopyFile(src, "C:\\COPY\\tool.sh");
  EXPECT_EQ(ReadFile(Host("C:\\COPY\\tool.sh")), "#!/bin/sh\n");
  EXPECT_EQ(ErrorOf([&] { compress_->CopyFile(src + ".none", "C:\\COPY\\x"); }),
            "Cannot open the file " + src + ".none");
}

TEST_F(BrwlCompressTest, CopyFileLeavesNoNameForTheNextMember) {
  std::string a = Source("a.txt", "member");
  std::string src = Source("src.txt", "copied");
  Compress({a});
  ASSERT_TRUE(Files().ForceDirectories("C:\\COPY"));
  // A finished copy, a copy left out by the policy and a failed copy: the
  // next extraction writes its member under the member's own name.
  compress_->CopyFile(src, "C:\\COPY\\copy.txt");
  EXPECT_EQ(compress_->ExtractAs, "");
  Extract({a}, "C:\\OUT1");
  EXPECT_EQ(ReadFile(Host("C:\\OUT1\\a.txt")), "member");
  EXPECT_FALSE(Files().FileExists("C:\\OUT1\\copy.txt"));

  compress_->SetOverwrite(owNever);
  compress_->CopyFile(src, "C:\\COPY\\copy.txt");
  compress_->SetOverwrite(owAlways);
  Extract({a}, "C:\\OUT2");
  EXPECT_EQ(ReadFile(Host("C:\\OUT2\\a.txt")), "member");

  EXPECT_THROW(compress_->CopyFile(src + ".none", "C:\\COPY\\lost.txt"), EBrwlCompress);
  Extract({a}, "C:\\OUT3");
  EXPECT_EQ(ReadFile(Host("C:\\OUT3\\a.txt")), "member");
  EXPECT_FALSE(Files().FileExists("C:\\OUT3\\lost.txt"));
}

TEST(ArchiveClassesTest, ProjectsHoldTheArchiveComponents) {
  ClassRegistry registry;
  RegisterArchiveClasses(registry);
  TComponent root(nullptr);
  LoadProject(R"({"format": "brimwell-project/1", "components": [
      {"class": "TBrwlCompress", "name": "Archive1",
       "properties": {"CompressedFile": "C:\\BUILD\\files.1", "CompressionLevel": "colFastest",
                      "Overwrite": "owVersionDate", "FilesToProcess": ["a", " ", "b"]}},
      {"class": "TVersionResource", "name": "Versions1",
       "properties": {"Language": "lnGerman", "CharacterSet": "csUnicode"}}]})",
              registry, root);
  auto* archive = dynamic_cast<TBrwlCompress*>(root.FindComponent("Archive1"));
  ASSERT_NE(archive, nullptr);
  EXPECT_EQ(archive->CompressionLevel(), colFastest);
  EXPECT_EQ(archive->Overwrite(), owVersionDate);
  EXPECT_EQ(archive->FilesToProcess().Lines(), (std::vector<std::string>{"a", "b"}));
  auto* versions = dynamic_cast<TVersionResource*>(root.FindComponent("Versions1"));
  ASSERT_NE(versions, nullptr);
  EXPECT_EQ(versions->StringTablePath(), "\\StringFileInfo\\040704B0\\");
  // Saved back: only what differs from the defaults.
  std::string saved = SaveProject(root);
  EXPECT_NE(saved.find("colFastest"), std::string::npos);
  EXPECT_EQ(saved.find("owAlways"), std::string::npos);
  EXPECT_EQ(saved.find("\"FileName\""), std::string::npos);
}

}  // namespace
}  // namespace brimwell
