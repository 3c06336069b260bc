// The archive format and the reading layer: layout, directory checks,
// lookups, trailer, and member inflation from single-file, embedded and
// multi-volume archives.
#include "archive/archive_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <limits>

#include "archive/archive_errors.h"
#include "archive/host_file.h"
#include "archive/member_inflater.h"
#include "archive/memory_stream.h"
#include "archive/program_content.h"
#include "tests/archive/archive_builder.h"

namespace brimwell {
namespace {

using testing::Bytes;
using testing::TestMember;

std::string ReadError(const Bytes& bytes) {
  MemoryStream s(bytes);
  try {
    ReadArchiveDirectory(s, 0);
  } catch (const EBrwlCompress& e) {
    return e.what();
  }
  return "";
}

void Patch32(Bytes& b, std::size_t pos, std::int32_t v) { PutInt32(&b[pos], v); }

// Position of header k (0-based) in a single-file archive built by BuildSingleFile.
std::size_t HeaderPos(const Bytes& b, int k) {
  std::size_t pos = kPrologueSize;
  for (int i = 0; i < k; ++i)
    pos = static_cast<std::size_t>(GetInt32(&b[pos + kNextHeaderPosOffset]));
  return pos;
}

TEST(ArchiveFormatTest, HeaderFieldsLandAtTheirOffsets) {
  TFileHeader h;
  h.BatchIndex = 3;
  h.FileDate = 36526.5;
  h.EndDisk = 2;
  h.EndPos = 0x01020304;
  h.FileName = "C:\\SRC\\A.EXE";
  h.NextHeaderPos = 77;
  h.FileSize = 1000;
  h.DataPos = 177;
  h.CompressedSize = 55;
  h.StartDisk = 1;
  h.FileID = 1999;
  h.FileVersion = "5.0.4277.1";
  FileHeaderBytes b = EncodeFileHeader(h);
  EXPECT_EQ(GetInt32(&b[0]), 3);
  EXPECT_EQ(b[12], 2);
  EXPECT_EQ(b[13] | b[14] | b[15], 0);
  EXPECT_EQ(b[16], 0x04);
  EXPECT_EQ(b[19], 0x01);
  EXPECT_EQ(b[20], 12);
  EXPECT_EQ(std::string(b.begin() + 21, b.begin() + 33), "C:\\SRC\\A.EXE");
  EXPECT_EQ(b[121] | b[122] | b[123], 0);
  EXPECT_EQ(GetInt32(&b[124]), 77);
  EXPECT_EQ(GetInt32(&b[128]), 1000);
  EXPECT_EQ(GetInt32(&b[132]), 177);
  EXPECT_EQ(GetInt32(&b[136]), 55);
  EXPECT_EQ(b[140], 1);
  EXPECT_EQ(GetInt32(&b[144]), 1999);
  EXPECT_EQ(b[148], 10);
  EXPECT_EQ(std::string(b.begin() + 149, b.begin() + 159), "5.0.4277.1");
  // 36526.5 as a little-endian double: 0x40E1D5D000000000.
  EXPECT_EQ(b[4], 0x00);
  EXPECT_EQ(b[10], 0xE1);
  EXPECT_EQ(b[11], 0x40);
  EXPECT_EQ(DecodeFileHeader(b), h);
}

TEST(ArchiveFormatTest, ShortStringsAreCutAndReadBackCut) {
  TFileHeader h;
  h.FileName = std::string(101, 'n') + "x";
  h.FileVersion = "1.2.3.4-with-a-long-tail";
  std::optional<TFileHeader> back = DecodeFileHeader(EncodeFileHeader(h));
  EXPECT_EQ(back->FileName, std::string(100, 'n'));
  EXPECT_EQ(back->FileVersion, "1.2.3.4-with-a-long-");

  // Bytes past the length are not significant; a length byte beyond the field
  // reads as the whole field; the upper bytes of disk numbers carry nothing.
  FileHeaderBytes b = EncodeFileHeader({});
  b[kFileNameOffset] = 2;
  b[kFileNameOffset + 1] = 'a';
  b[kFileNameOffset + 2] = 'b';
  b[kFileNameOffset + 3] = 'c';
  b[kFileVersionOffset] = 250;
  b[kEndDiskOffset + 1] = 7;
  back = DecodeFileHeader(b);
  EXPECT_EQ(back->FileName, "ab");
  EXPECT_EQ(back->FileVersion.size(), 20u);
  EXPECT_EQ(back->EndDisk, 0);
}

TEST(ArchiveFormatTest, LoaderEntriesOf164BytesKeepFifteenVersionCharacters) {
  TFileHeader h;
  h.FileName = "setupengine.exe";
  h.FileVersion = "12345678901234567890";
  FileHeaderBytes b = EncodeFileHeader(h);
  std::optional<TFileHeader> back = DecodeFileHeader(std::span(b.data(), kLoaderHeaderSize));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->FileVersion, "123456789012345");
  EXPECT_EQ(back->FileName, "setupengine.exe");
  EXPECT_FALSE(DecodeFileHeader(std::span(b.data(), kFileVersionOffset)));
}

TEST(ArchiveFormatTest, TrailerLayoutAndTheWorkedExample) {
  SelfExtractTrailer t{68608, 514296, 514297, 3954024};
  TrailerBytes b = EncodeTrailer(t);
  EXPECT_EQ(b[0], 14);
  EXPECT_EQ(std::string(b.begin() + 1, b.begin() + 15), "SELFEXTRACTING");
  EXPECT_EQ(b[15], 0);
  EXPECT_EQ(GetInt32(&b[16]), 68608);
  EXPECT_EQ(GetInt32(&b[28]), 3954024);
  for (std::size_t i = 32; i < 56; ++i) EXPECT_EQ(b[i], 0) << i;
  EXPECT_EQ(DecodeTrailer(b), t);
  EXPECT_TRUE(TrailerFitsFile(t, 3954081));
  EXPECT_FALSE(TrailerFitsFile(t, 3954080));  // files.1 would run into the trailer

  SelfExtractTrailer no_files{68608, 514296, 0, 0};
  EXPECT_FALSE(no_files.HasFiles1());
  EXPECT_TRUE(TrailerFitsFile(no_files, 514297 + 56));

  b[5] = 'x';  // marker spoiled: a plain program, not an error
  EXPECT_FALSE(DecodeTrailer(b));
  MemoryStream tiny(Bytes(55, 0));
  EXPECT_FALSE(ReadSelfExtractTrailer(tiny));
}

TEST(ArchiveReaderTest, EmptyArchiveIsFiveBytes) {
  Bytes b = testing::BuildSingleFile({});
  ASSERT_EQ(b.size(), 5u);
  MemoryStream s(b);
  ArchiveDirectory dir = ReadArchiveDirectory(s, 0);
  EXPECT_EQ(dir.prologue.FileCount, 0);
  EXPECT_TRUE(dir.headers.empty());
}

// Counts the reads that reach bytes in memory.
class CountingStream : public ArchiveStream {
 public:
  explicit CountingStream(Bytes bytes) : bytes_(std::move(bytes)) {}
  std::size_t Read(std::span<std::uint8_t> buffer) override {
    ++reads;
    return bytes_.Read(buffer);
  }
  std::size_t Write(std::span<const std::uint8_t> data) override { return bytes_.Write(data); }
  void Seek(std::int64_t position) override { bytes_.Seek(position); }
  std::int64_t Position() override { return bytes_.Position(); }
  std::int64_t Size() override { return bytes_.Size(); }
  int reads = 0;

 private:
  MemoryStream bytes_;
};

// Headers lie between the members' streams: small members put many of them
// in one read, large ones apart, and a header may straddle two reads.
TEST(ArchiveReaderTest, HeadersBetweenSmallAndLargeMembersAreAllRead) {
  std::vector<TestMember> members;
  std::uint32_t seed = 7;
  auto noise = [&seed](std::size_t size) {  // incompressible, so sizes vary as made
    std::string text(size, '\0');
    for (char& c : text) {
      seed = seed * 1103515245u + 12345u;
      c = static_cast<char>(seed >> 24);
    }
    return text;
  };
  for (int i = 0; i < 400; ++i) {
    const std::size_t size = i % 97 == 50 ? 40000 : static_cast<std::size_t>(i * 37 % 300);
    members.push_back(testing::Member("C:\\src\\f" + std::to_string(i) + ".txt", noise(size), i));
  }
  Bytes archive = testing::BuildSingleFile(members);
  // Embedded behind other bytes, as in a self-extracting program.
  Bytes embedded(1234, 0x5A);
  embedded.insert(embedded.end(), archive.begin(), archive.end());
  embedded.resize(embedded.size() + 99, 0x5A);
  CountingStream s(embedded);
  ArchiveDirectory dir = ReadArchiveDirectory(s, 1234, static_cast<std::int64_t>(1234 + archive.size()));
  ASSERT_EQ(dir.headers.size(), members.size());
  for (std::size_t i = 0; i < members.size(); ++i) {
    EXPECT_EQ(dir.headers[i].FileName, members[i].name);
    EXPECT_EQ(dir.headers[i].FileSize, static_cast<std::int32_t>(members[i].content.size()));
    EXPECT_EQ(dir.headers[i].FileID, static_cast<std::int32_t>(i));
  }
  EXPECT_LT(s.reads, 60);  // not a read per header
  // A directory cut short still fails as before.
  CountingStream cut(Bytes(archive.begin(), archive.begin() + static_cast<std::ptrdiff_t>(archive.size() / 2)));
  EXPECT_THROW(ReadArchiveDirectory(cut, 0), EBrwlCompress);
}

TEST(ArchiveReaderTest, LookupsByNameAndByID) {
  Bytes b = testing::BuildSingleFile(
      {testing::Member("C:\\a\\One.txt", "1", 7), testing::Member("C:\\a\\two.txt", "2", 7),
       testing::Member("c:\\A\\ONE.TXT", "3", 2500), testing::Member("C:\\b\\three", "4", 0)});
  MemoryStream s(b);
  ArchiveDirectory dir = ReadArchiveDirectory(s, 0);
  ASSERT_EQ(dir.headers.size(), 4u);
  EXPECT_EQ(FindMemberByName(dir.headers, "C:\\A\\one.TXT;x;y"), 0);  // first equal name wins
  EXPECT_EQ(FindMemberByName(dir.headers, "C:\\a\\two.txt"), 1);
  EXPECT_EQ(FindMemberByName(dir.headers, "two.txt"), -1);
  EXPECT_EQ(FindMemberByName(dir.headers, ""), -1);

  // The index answers as the linear search does, for every header's own
  // name and for names in other cases, with tokens and missing.
  MemberNameIndex names;
  names.Build(dir.headers);
  EXPECT_EQ(names.Size(), 3u);
  for (const std::string wanted : {"C:\\A\\one.TXT;x;y", "c:\\a\\TWO.txt", "two.txt", "",
                                   "C:\\b\\three;", "C:\\b\\three "}) {
    EXPECT_EQ(names.Find(wanted), FindMemberByName(dir.headers, wanted)) << wanted;
  }
  names.Add("C:\\b\\THREE", 9);  // an equal name already indexed stays
  EXPECT_EQ(names.Find("c:\\B\\three"), 3);
  names.Clear();
  EXPECT_EQ(names.Find("C:\\a\\two.txt"), -1);

  FileIDTable ids;
  ids.Build(dir.headers);
  EXPECT_EQ(ids.Lookup(7), 1);  // a later header with the same ID wins
  EXPECT_EQ(ids.Lookup(0), 3);
  EXPECT_EQ(ids.Lookup(2500), -1);
  EXPECT_EQ(ids.Lookup(-1), -1);
  EXPECT_EQ(ids.Lookup(5), -1);
  ids.Build({});
  EXPECT_EQ(ids.Lookup(7), -1);  // nothing survives from another archive
}

TEST(ArchiveReaderTest, SingleFileLayoutInvariantsHold) {
  Bytes b = testing::BuildSingleFile(
      {testing::Member("a", "hello"), testing::Member("b", std::string(5000, 'z'))});
  MemoryStream s(b);
  ArchiveDirectory dir = ReadArchiveDirectory(s, 0);
  std::int64_t pos = kPrologueSize;
  for (const TFileHeader& h : dir.headers) {
    EXPECT_EQ(h.DataPos, pos + 172);
    EXPECT_EQ(h.EndPos, h.DataPos + h.CompressedSize - 1);
    EXPECT_EQ(h.NextHeaderPos, h.EndPos + 1);
    EXPECT_EQ(b[static_cast<std::size_t>(h.DataPos)], 0x78);
    EXPECT_EQ(b[static_cast<std::size_t>(h.DataPos) + 1], 0xDA);
    pos = h.NextHeaderPos;
  }
  EXPECT_EQ(pos, static_cast<std::int64_t>(b.size()));
}

TEST(ArchiveReaderTest, CorruptDirectoriesAreRefusedWithTheirMessages) {
  const std::string kCount = "Could not read the file header count for the compressed file";
  const std::string kCorrupt =
      "Could not read the file headers for the compressed file. The Archive file could possible "
      "be corrupt";
  const Bytes good = testing::BuildSingleFile(
      {testing::Member("first", "abc"), testing::Member("second", "defgh")});
  const std::size_t h1 = HeaderPos(good, 1);
  ASSERT_EQ(ReadError(good), "");

  struct Case {
    const char* what;
    std::function<void(Bytes&)> spoil;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"prologue cut", [](Bytes& b) { b.resize(4); }, kCount},
      {"header cut", [&](Bytes& b) { b.resize(h1 + 100); }, kCorrupt},
      {"negative count", [](Bytes& b) { Patch32(b, 0, -1); }, kCorrupt},
      {"count beyond the file", [](Bytes& b) { Patch32(b, 0, 0x7FFFFFFF); }, kCorrupt},
      {"one header too many", [](Bytes& b) { Patch32(b, 0, 3); }, kCorrupt},
      {"data inside its header", [](Bytes& b) { Patch32(b, 5 + kDataPosOffset, 100); }, kCorrupt},
      {"end past the file",
       [&](Bytes& b) { Patch32(b, h1 + kEndPosOffset, static_cast<std::int32_t>(b.size())); },
       kCorrupt},
      {"size disagrees with end",
       [](Bytes& b) {
         Patch32(b, 5 + kCompressedSizeOffset, GetInt32(&b[5 + kCompressedSizeOffset]) + 1);
       },
       kCorrupt},
      {"next header backwards", [](Bytes& b) { Patch32(b, 5 + kNextHeaderPosOffset, 5); },
       kCorrupt},
      {"next header into the data",
       [](Bytes& b) { Patch32(b, 5 + kNextHeaderPosOffset, GetInt32(&b[5 + kEndPosOffset])); },
       kCorrupt},
      {"negative file size", [](Bytes& b) { Patch32(b, 5 + kFileSizeOffset, -5); }, kCorrupt},
      {"disk number in a single file", [](Bytes& b) { b[5 + kEndDiskOffset] = 3; }, kCorrupt},
      {"blank name",
       [](Bytes& b) {
         b[5 + kFileNameOffset + 1] = ' ';
         b[5 + kFileNameOffset] = 1;
       },
       "Tried to add an invalid file header"},
      {"empty name", [&](Bytes& b) { b[h1 + kFileNameOffset] = 0; },
       "Tried to add an invalid file header"},
  };
  for (const Case& c : cases) {
    Bytes b = good;
    c.spoil(b);
    EXPECT_EQ(ReadError(b), c.message) << c.what;
  }
}

TEST(ArchiveReaderTest, NoByteFlipOrCutBreaksTheReader) {
  Bytes good = testing::BuildSingleFile(
      {testing::Member("first", "abc"), testing::Member("second", "defgh")});
  for (std::size_t cut = 0; cut < good.size(); ++cut) {
    Bytes b(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_NE(ReadError(b), "") << cut;
  }
  for (std::size_t i = 0; i < good.size(); ++i) {
    for (std::uint8_t x : {0x01, 0x80, 0xFF}) {
      Bytes b = good;
      b[i] ^= x;
      MemoryStream s(b);
      try {
        ArchiveDirectory dir = ReadArchiveDirectory(s, 0);
        for (const TFileHeader& h : dir.headers) {
          ASSERT_LE(h.EndPos, static_cast<std::int64_t>(b.size()));
          ASSERT_GE(h.DataPos, 0);
        }
      } catch (const EBrwlCompress&) {
      }
    }
  }
}

class MemberInflaterTest : public ::testing::Test {
 protected:
  std::string Inflate(ArchiveStream& first, const TFileHeader& h, std::int64_t offset = 0,
                      std::vector<std::unique_ptr<MemoryStream>>* disks = nullptr) {
    std::string out;
    opened_.clear();
    last_ = inflater_.Inflate(
        first, h, offset,
        [&](int disk) -> ArchiveStream& {
          opened_.push_back(disk);
          if (disks == nullptr || disk < 1 || disk > static_cast<int>(disks->size())) {
            throw EBrwlCompress("no disk " + std::to_string(disk));
          }
          return *(*disks)[static_cast<std::size_t>(disk - 1)];
        },
        [&](std::span<const std::uint8_t> block) {
          EXPECT_LE(block.size(), kInflateOutputBlock);
          out.append(reinterpret_cast<const char*>(block.data()), block.size());
        });
    return out;
  }
  MemberInflater inflater_;
  MemberInflater::Result last_;
  std::vector<int> opened_;
};

TEST_F(MemberInflaterTest, SingleFileAndEmbeddedImage) {
  std::vector<TestMember> members = {testing::Member("a", testing::MixedContent(300000, 1)),
                                     testing::Member("b", ""), testing::Member("c", "x")};
  Bytes archive = testing::BuildSingleFile(members);
  Bytes program(1234, 0x90);
  program.insert(program.end(), archive.begin(), archive.end());
  SelfExtractTrailer t{1234, static_cast<std::int32_t>(program.size() - 1), 0, 0};
  testing::Append(program, EncodeTrailer(t));

  for (std::int64_t offset : {std::int64_t{0}, std::int64_t{1234}}) {
    MemoryStream s(offset == 0 ? archive : program);
    std::optional<std::int64_t> end;
    if (offset != 0) {
      std::optional<SelfExtractTrailer> found = ReadSelfExtractTrailer(s);
      ASSERT_TRUE(found);
      EXPECT_EQ(found->Setup1Start, offset);
      end = found->Setup1End + 1;
    }
    ArchiveDirectory dir = ReadArchiveDirectory(s, offset, end);
    ASSERT_EQ(dir.headers.size(), 3u);
    for (std::size_t i = 0; i < members.size(); ++i) {
      EXPECT_EQ(Inflate(s, dir.headers[i], offset), members[i].content) << i;
      EXPECT_TRUE(last_.stream_end);
      EXPECT_FALSE(last_.too_long);
    }
  }
}

TEST_F(MemberInflaterTest, MultiVolumeStreamsRunOverDisks) {
  // Disk 1 ends inside member one; disk 2 ends exactly with member two, so
  // member three starts on disk 2 at its length with no bytes there.
  std::vector<TestMember> members = {testing::Member("one", testing::MixedContent(40000, 2)),
                                     testing::Member("two", testing::MixedContent(9000, 3)),
                                     testing::Member("three", testing::MixedContent(30000, 4))};
  std::size_t table = kPrologueSize + 3 * kFileHeaderSize;
  std::size_t s0 = testing::Deflate(members[0].content).size();
  std::size_t s1 = testing::Deflate(members[1].content).size();
  std::size_t disk1 = table + s0 / 2;
  std::size_t disk2 = table + s0 + s1 - disk1;
  std::vector<Bytes> images = testing::BuildMultiVolume(members, {disk1, disk2, 1u << 20});
  ASSERT_EQ(images.size(), 3u);
  ASSERT_EQ(images[1].size(), disk2);

  std::vector<std::unique_ptr<MemoryStream>> disks;
  for (Bytes& b : images) disks.push_back(std::make_unique<MemoryStream>(b));
  ArchiveDirectory dir = ReadArchiveDirectory(*disks[0], 0);
  ASSERT_TRUE(dir.prologue.MultiVolume);
  const TFileHeader& two = dir.headers[1];
  const TFileHeader& three = dir.headers[2];
  EXPECT_EQ(two.EndDisk, 2);
  EXPECT_EQ(two.EndPos, static_cast<std::int32_t>(images[1].size()) - 1);
  EXPECT_EQ(three.StartDisk, 2);
  EXPECT_EQ(three.DataPos, static_cast<std::int32_t>(images[1].size()));

  for (std::size_t i = 0; i < members.size(); ++i) {
    const TFileHeader& h = dir.headers[i];
    ArchiveStream& first = *disks[static_cast<std::size_t>(std::max<int>(h.StartDisk, 1) - 1)];
    EXPECT_EQ(Inflate(first, h, 0, &disks), members[i].content) << i;
    EXPECT_TRUE(last_.stream_end);
  }
  EXPECT_EQ(opened_, (std::vector<int>{3}));  // the third member: disk 2 exhausted at once
}

TEST_F(MemberInflaterTest, MissingNextDiskPropagates) {
  std::vector<Bytes> images =
      testing::BuildMultiVolume({testing::Member("big", testing::MixedContent(20000, 5))}, {4000});
  std::vector<std::unique_ptr<MemoryStream>> only_first;
  only_first.push_back(std::make_unique<MemoryStream>(images[0]));
  ArchiveDirectory dir = ReadArchiveDirectory(*only_first[0], 0);
  EXPECT_THROW(Inflate(*only_first[0], dir.headers[0], 0, &only_first), EBrwlCompress);
  EXPECT_EQ(opened_, (std::vector<int>{2}));
}

TEST_F(MemberInflaterTest, SizeAndDataFaultsAreReported) {
  std::string content = testing::MixedContent(20000, 6);
  Bytes archive = testing::BuildSingleFile({testing::Member("m", content)});
  MemoryStream s(archive);
  TFileHeader h = ReadArchiveDirectory(s, 0).headers[0];

  TFileHeader shorter = h;
  shorter.FileSize = 100;  // the stream holds more: stop after FileSize bytes
  EXPECT_EQ(Inflate(s, shorter).size(), 100u);
  EXPECT_TRUE(last_.too_long);

  TFileHeader cut = h;
  cut.EndPos -= 10;  // the last bytes are never read: no stream end
  std::string partial = Inflate(s, cut);
  EXPECT_FALSE(last_.stream_end);
  EXPECT_LE(partial.size(), content.size());

  Bytes bad = archive;
  bad[static_cast<std::size_t>(h.EndPos)] ^= 0xFF;  // spoils the Adler-32
  MemoryStream b(bad);
  EXPECT_THROW(Inflate(b, h), ZlibError);
}

TEST(HostFileTest, WritesDatesAndExecutableBits) {
  char dir_template[] = "/tmp/brimwell-hostfile-XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  std::string dir = dir_template;
  std::string path = dir + "/tool";
  {
    std::unique_ptr<HostFile> f = HostFile::Open(path, HostFile::Mode::kCreate);
    ASSERT_TRUE(f);
    std::string script = "#!/bin/sh\necho hi\n";
    EXPECT_EQ(f->WriteFully(
                  std::span(reinterpret_cast<const std::uint8_t*>(script.data()), script.size())),
              script.size());
    EXPECT_TRUE(
        LooksLikeProgram(std::span(reinterpret_cast<const std::uint8_t*>(script.data()), 2)));
    EXPECT_TRUE(f->MakeExecutable());
    EXPECT_TRUE(f->SetFileDate(EncodeDateTime({2001, 2, 3, 4, 5, 6, 0})));
    EXPECT_FALSE(f->SetFileDate(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(f->SetFileDate(1e300));
  }
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IXUSR, 0u);
  EXPECT_EQ(UnixToDateTime(st.st_mtime), EncodeDateTime({2001, 2, 3, 4, 5, 6, 0}));
  EXPECT_TRUE(HostFileExists(path));
  EXPECT_FALSE(HostFileExists(dir));
  EXPECT_FALSE(HostFile::Open(dir + "/missing", HostFile::Mode::kRead));
  const std::uint8_t elf[] = {0x7F, 'E', 'L', 'F'};
  const std::uint8_t mz[] = {'M', 'Z', 0x90, 0};
  EXPECT_TRUE(LooksLikeProgram(elf));
  EXPECT_FALSE(LooksLikeProgram(mz));
  EXPECT_FALSE(LooksLikeProgram(std::span(elf, 3)));
  std::remove(path.c_str());
  rmdir(dir.c_str());
}

}  // namespace
}  // namespace brimwell
