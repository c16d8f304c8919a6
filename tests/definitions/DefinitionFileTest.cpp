// The definition file's byte layout: a whole small file read and written back, every truncation of it,
// and counts, archive names and description fields at their limits.

#include "base/Exceptions.h"
#include "platform/FileSystem.h"
#include "tests/definitions/PackFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace deftest {
namespace {

using fixtures::FromHex;
using fixtures::TempDir;

const char* const kWorkedExample =
    // counts: 1 archive, 1 description, 2 streams
    "010000000100000002000000"
    // archive 0: "music.viv", zero-filled to 32 bytes
    "6D757369632E7669760000000000000000000000000000000000000000000000"
    // description 0, Name: "Song"
    "536F6E6700000000000000000000000000000000000000000000000000000000"
    "0000000000000000000000000000000000000000000000000000000000000000"
    // description 0, Singer: " "
    "2000000000000000000000000000000000000000000000000000000000000000"
    "0000000000000000000000000000000000000000000000000000000000000000"
    // description 0, Album: " "
    "2000000000000000000000000000000000000000000000000000000000000000"
    "0000000000000000000000000000000000000000000000000000000000000000"
    // sample counts: stream 0 has 1, stream 1 has 2
    "0100000002000000"
    // stream 0, sample 0: offset 2048, archive 0, description 0
    "000800000000000000000000"
    // stream 1, sample 0: offset 4160, archive 0, no description
    "4010000000000000FFFFFFFF"
    // stream 1, sample 1: offset 2048, archive 0, description 0
    "000800000000000000000000";

// music.viv with "song1" at 2048 and "song2" at 4160, after a filler entry.
void WriteMusicArchive(const TempDir& Dir) {
  std::vector<fixtures::BigfEntry> Entries = {{"filler", fixtures::Pattern(1984, 1)},
                                              {"song1", fixtures::Pattern(2100, 2)},
                                              {"song2", fixtures::Pattern(500, 3)}};
  ASSERT_EQ(fixtures::BigfDataOffset(Entries, 1), 2048u);
  ASSERT_EQ(fixtures::BigfDataOffset(Entries, 2), 4160u);
  fixtures::WriteFile(Dir.File("music.viv"), fixtures::MakeBigf(Entries));
}

void Load(TStreamPack& Pack, const Bytes& File) {
  TMemoryStream Stream(File);
  Pack.LoadFromStream(Stream);
}

Bytes Save(TStreamPack& Pack) {
  TMemoryStream Stream;
  Pack.SaveToStream(Stream);
  return Stream.Bytes();
}

std::vector<int32_t> SampleCounts(const TStreamPack& Pack) {
  std::vector<int32_t> Counts;
  for (int32_t I = 0; I < Pack.StreamCount(); ++I)
    Counts.push_back(Pack.Streams(I)->SampleCount());
  return Counts;
}

void ExpectSample(const TStreamData& Sample, uint32_t Offset, int32_t Description, const char* File) {
  EXPECT_EQ(Sample.FileOffset, Offset);
  EXPECT_EQ(Sample.ArchiveIndex, 0);
  EXPECT_EQ(Sample.DescriptionIndex, Description);
  ASSERT_NE(Sample.StreamFile(), nullptr);
  EXPECT_EQ(Sample.StreamFile()->Name, File);
}

TEST(DefinitionFile, WorkedExampleReadsEveryFieldAndWritesBackByteForByte) {
  TempDir Dir;
  WriteMusicArchive(Dir);
  Bytes File = FromHex(kWorkedExample);
  ASSERT_EQ(File.size(), 280u);
  fixtures::WriteFile(Dir.File("streams.dat"), File);

  TStreamPack Pack(Dir.Path());
  Pack.LoadFromFile(Dir.File("streams.dat"));
  ASSERT_EQ(Pack.ArchiveCount(), 1);
  EXPECT_EQ(Pack.Archives(0)->FileName, Dir.File("music.viv"));
  EXPECT_EQ(Pack.Archives(0)->FileCount(), 3);
  ASSERT_EQ(Pack.DescriptionCount(), 1);
  const TStreamDescription& Description = *Pack.Descriptions(0);
  EXPECT_EQ(FieldText(Description.Name), "Song");
  EXPECT_EQ(FieldText(Description.Singer), " ");
  EXPECT_EQ(FieldText(Description.Album), " ");
  EXPECT_EQ(Description.Album[1], '\0');
  ASSERT_EQ(SampleCounts(Pack), (std::vector<int32_t>{1, 2}));
  for (int32_t I = 0; I < 2; ++I)
    EXPECT_EQ(Pack.Streams(I)->Pack, &Pack);
  EXPECT_EQ(Pack.Streams(1)->Samples(0)->MusicStream, Pack.Streams(1));
  ExpectSample(*Pack.Streams(0)->Samples(0), 2048, 0, "song1");
  ExpectSample(*Pack.Streams(1)->Samples(0), 4160, -1, "song2");
  ExpectSample(*Pack.Streams(1)->Samples(1), 2048, 0, "song1");
  EXPECT_EQ(Pack.Streams(1)->Samples(1)->Description(), &Description);
  EXPECT_EQ(Pack.Streams(1)->Samples(0)->Description(), nullptr);

  EXPECT_EQ(fixtures::ToHex(Save(Pack)), fixtures::ToHex(File));
  Pack.SaveToFile(Dir.File("copy.dat"));
  EXPECT_EQ(fixtures::ReadFile(Dir.File("copy.dat")), File);
  EXPECT_TRUE(Dir.ScratchFiles().empty());

  std::filesystem::create_directory(Dir.File("folder.dat"));
  try {
    Pack.SaveToFile(Dir.File("folder.dat"));
    ADD_FAILURE() << "no error";
  } catch (const EFCreateError& Error) {
    std::string Expected = "Cannot create file \"" + platform::FullPath(Dir.File("folder.dat")) + "\". ";
    EXPECT_EQ(std::string(Error.what()).substr(0, Expected.size()), Expected);
  }
  EXPECT_TRUE(Dir.ScratchFiles().empty());
}

// Every prefix of the worked example fails with a read error and keeps exactly the archives,
// descriptions and streams that were complete: the archive ends at 44, the description at 236, stream 0's
// record at 256 and stream 1's at 280.
TEST(DefinitionFile, TruncationKeepsWhatWasComplete) {
  TempDir Dir;
  WriteMusicArchive(Dir);
  Bytes File = FromHex(kWorkedExample);
  for (size_t Length = 0; Length < File.size(); ++Length) {
    SCOPED_TRACE(Length);
    TStreamPack Pack(Dir.Path());
    try {
      Load(Pack, Bytes(File.begin(), File.begin() + Length));
      ADD_FAILURE() << "no error";
    } catch (const EReadError& Error) {
      EXPECT_STREQ(Error.what(), "Stream read error");
    }
    EXPECT_EQ(Pack.ArchiveCount(), Length >= 44 ? 1 : 0);
    EXPECT_EQ(Pack.DescriptionCount(), Length >= 236 ? 1 : 0);
    EXPECT_EQ(SampleCounts(Pack), Length >= 256 ? std::vector<int32_t>{1} : std::vector<int32_t>{});
  }
}

TEST(DefinitionFile, CountsOfZeroNegativeAndEmptyStreams) {
  struct Case {
    const char* Name;
    const char* Input;
    std::vector<int32_t> Streams; // sample count of each stream read
    int64_t BytesRead;
    const char* Output;
  };
  const Case Cases[] = {
      {"12 zero bytes", "00000000 00000000 00000000", {}, 12, "00000000 00000000 00000000"},
      {"negative stream count skips the sample counts",
       "00000000 00000000 FFFFFFFF 01000000 02000000",
       {},
       12,
       "00000000 00000000 00000000"},
      {"negative archive and description counts",
       "FBFFFFFF 00000080 00000000 6D757369 632E7669 7600",
       {},
       12,
       "00000000 00000000 00000000"},
      {"empty streams stay, a negative sample count reads as none",
       "00000000 00000000 02000000 00000000 FDFFFFFF 40000000",
       {0, 0},
       20,
       "00000000 00000000 02000000 00000000 00000000"},
      {"bytes after the last record are not read and not written back",
       "00000000 00000000 01000000 01000000 40000000 07000000 FFFFFFFF DEADBEEF 00",
       {1},
       28,
       "00000000 00000000 01000000 01000000 40000000 07000000 FFFFFFFF"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TStreamPack Pack("");
    TMemoryStream Stream(FromHex(C.Input));
    Pack.LoadFromStream(Stream);
    EXPECT_EQ(Stream.Position(), C.BytesRead);
    EXPECT_EQ(Pack.ArchiveCount(), 0);
    EXPECT_EQ(Pack.DescriptionCount(), 0);
    EXPECT_EQ(SampleCounts(Pack), C.Streams);
    EXPECT_EQ(fixtures::ToHex(Save(Pack)), fixtures::ToHex(FromHex(C.Output)));
  }
}

// A count far beyond the file fails when the bytes run out; nothing is reserved from it first (a 32-bit
// process could not reserve it at all).
TEST(DefinitionFile, HugeCountsFailWhenTheBytesRunOut) {
  struct Case {
    const char* Name;
    const char* Input;
    int32_t Descriptions;
    std::vector<int32_t> Streams;
  };
  const Case Cases[] = {
      {"archives", "FFFFFF7F 00000000 00000000", 0, {}},
      {"descriptions", "00000000 FFFFFF7F 00000000", 0, {}},
      {"streams", "00000000 00000000 FFFFFF7F 05000000 00000000", 0, {}},
      {"samples of the second stream",
       "00000000 00000000 02000000 01000000 FFFFFF7F 40000000 00000000 FFFFFFFF 80000000 00000000",
       0,
       {1}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TStreamPack Pack("");
    EXPECT_THROW(Load(Pack, FromHex(C.Input)), EReadError);
    EXPECT_EQ(Pack.DescriptionCount(), C.Descriptions);
    EXPECT_EQ(SampleCounts(Pack), C.Streams);
  }
}

Bytes NameField(const std::string& Text) {
  Bytes Field = fixtures::TextBytes(Text);
  Field.resize(32, 0);
  return Field;
}

Bytes OneArchive(const Bytes& Field) {
  return fixtures::Concat({FromHex("01000000 00000000 00000000"), Field});
}

// How a name field is opened and how it is written back: relative to the definition's folder, at most 32
// bytes, zero-filled.
TEST(DefinitionFile, ArchiveNameFields) {
  const std::string Full32 = "abcdefghijklmnopqrstuvwxyz012345";
  struct Case {
    const char* Name;
    Bytes Field;
    std::string Opened; // relative to the definition's folder
    Bytes Written;
  };
  Bytes Garbage = NameField("music.viv");
  for (size_t I = 10; I < 32; ++I)
    Garbage[I] = static_cast<uint8_t>(0xA0 + I);
  const Case Cases[] = {
      {"32 bytes without a zero", fixtures::TextBytes(Full32), Full32, fixtures::TextBytes(Full32)},
      {"bytes after the zero", Garbage, "music.viv", NameField("music.viv")},
      {"a folder part", NameField("sub/inner.viv"), "sub/inner.viv", NameField("sub/inner.viv")},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TempDir Dir;
    std::filesystem::create_directory(Dir.File("sub"));
    fixtures::WriteFile(Dir.File(C.Opened), fixtures::MakeBigf({{"x", fixtures::Pattern(10, 1)}}));
    TStreamPack Pack(Dir.Path());
    Load(Pack, OneArchive(C.Field));
    ASSERT_EQ(Pack.ArchiveCount(), 1);
    EXPECT_EQ(Pack.Archives(0)->FileName, Dir.File(C.Opened));
    EXPECT_EQ(Pack.Archives(0)->FileCount(), 1);
    EXPECT_EQ(Save(Pack), OneArchive(C.Written));
  }
}

// Archive names come from whoever shared the definition, and what they name is opened and at save
// replaced: a name must stay inside the definition's folder on either platform. Every escape target
// exists, so a name that got through would load.
TEST(DefinitionFile, ArchiveNamesStayInsideTheDefinitionsFolder) {
  const std::pair<const char*, bool> Cases[] = {
      {"music.viv", true},
      {"sub/inner.viv", true},
      {"sub\\back.viv", true},
      {"./music.viv", true},
      {"sub/../music.viv", true},
      {"sub\\..\\music.viv", true},
      {"console.viv", true},
      {"nullify.viv", true},
      {"com10.viv", true},
      {"lpt.viv", true},
      {"..music.viv", true},
      {"../escape.viv", false},
      {"..\\escape.viv", false},
      {"sub/../../escape.viv", false},
      {"sub/./../../escape.viv", false},
      {"../../../../dev/urandom", false},
      {"/etc/passwd", false},
      {"\\Windows\\win.ini", false},
      {"C:\\escape.viv", false},
      {"c:escape.viv", false},
      {"\\\\server\\share\\a.viv", false},
      {"\\\\.\\PhysicalDrive0", false},
      {"\\\\?\\C:\\a.viv", false},
      {"//./pipe/x", false},
      {"CON", false},
      {"nul.viv", false},
      {"NUL .viv", false},
      {"com1", false},
      {"Com1.txt", false},
      {"lpt9.viv", false},
      {"sub/aux.viv", false},
      {"sub\\prn", false},
      {"conin$", false},
      {"CONOUT$.x", false},
      {"music.viv:stream", false},
      {"music.viv.", false},
      {"music.viv ", false},
  };
  for (const auto& [Name, Accepted] : Cases) {
    SCOPED_TRACE(Name);
    TempDir Dir;
    const std::string Base = Dir.File("game") + platform::PathDelimiter();
    std::filesystem::create_directories(Base + "sub");
    fixtures::WriteFile(Dir.File("escape.viv"), fixtures::MakeBigf({}));
    if (Accepted)
      fixtures::WriteFile(Base + Name, fixtures::MakeBigf({}));
    fixtures::WriteFile(Base + "streams.dat", OneArchive(NameField(Name)));
    TStreamPack Pack(Base);
    try {
      Pack.LoadFromFile(Base + "streams.dat");
      EXPECT_TRUE(Accepted) << "loaded";
      EXPECT_EQ(Pack.ArchiveCount(), 1);
    } catch (const EFOpenError& Error) {
      EXPECT_FALSE(Accepted) << Error.what();
      EXPECT_EQ(std::string(Error.what()),
                "Cannot open file \"" + Base + Name +
                    "\". An archive must be a file in the folder of the definition "
                    "file or in a folder below it");
    }
    EXPECT_EQ(TStreamPack::ArchivePathsOf(Base + "streams.dat").size(), Accepted ? 1u : 0u);
  }
}

// A 44-byte definition naming a device outside its folder once hung the editor reading an endless
// entry count; it is refused before anything is opened.
TEST(DefinitionFile, DefinitionNamingADeviceOutsideItsFolderIsRefused) {
  const Bytes File = FromHex("01000000 00000000 00000000"
                             "2E2E2F2E2E2F2E2E2F2E2E2F6465762F7572616E646F6D 000000000000000000");
  ASSERT_EQ(File.size(), 44u);
  TempDir Dir;
  fixtures::WriteFile(Dir.File("streams.dat"), File);
  TStreamPack Pack(Dir.Path());
  EXPECT_THROW(Pack.LoadFromFile(Dir.File("streams.dat")), EFOpenError);
  EXPECT_EQ(Pack.ArchiveCount(), 0);
}

// A name longer than the field is cut, and the cut name is what the next load opens. An archive outside
// the definition's folder is named by its file-name part.
TEST(DefinitionFile, LongArchiveNameIsCutTo32AndReopenedUnderThatName) {
  TempDir Dir;
  const std::string Long40 = "abcdefghijklmnopqrstuvwxyz0123456789ABCD";
  fixtures::WriteFile(Dir.File("music.viv"), fixtures::MakeBigf({}));
  TStreamPack Pack(Dir.Path());
  Load(Pack, OneArchive(NameField("music.viv")));
  Pack.Archives(0)->FileName = Dir.File(Long40);
  Bytes Written = Save(Pack);
  EXPECT_EQ(Written, OneArchive(fixtures::TextBytes(Long40.substr(0, 32))));

  TStreamPack Reread(Dir.Path());
  try {
    Load(Reread, Written);
    ADD_FAILURE() << "no error";
  } catch (const EFOpenError& Error) {
    std::string Expected =
        "Cannot open file \"" + platform::FullPath(Dir.File(Long40.substr(0, 32))) + "\". ";
    EXPECT_EQ(std::string(Error.what()).substr(0, Expected.size()), Expected);
  }
  EXPECT_EQ(Reread.ArchiveCount(), 0);

  for (const char* Elsewhere : {"C:\\games\\orvik\\far.viv", "/other/folder/far.viv"}) {
    Pack.Archives(0)->FileName = Elsewhere;
    EXPECT_EQ(Save(Pack), OneArchive(NameField("far.viv"))) << Elsewhere;
  }
}

// A missing archive stops the load; the archives opened before it stay. A missing or locked definition
// file is not read at all.
TEST(DefinitionFile, MissingArchiveStopsTheLoad) {
  TempDir Dir;
  fixtures::WriteFile(Dir.File("one.viv"), fixtures::MakeBigf({}));
  Bytes File = MakeDefinition({{"one.viv", "two.viv"}, {{"Song", "", ""}}, {}});
  TStreamPack Pack(Dir.Path());
  EXPECT_THROW(Load(Pack, File), EFOpenError);
  EXPECT_EQ(Pack.ArchiveCount(), 1);
  EXPECT_EQ(Pack.DescriptionCount(), 0);
  EXPECT_THROW(Pack.LoadFromFile(Dir.File("absent.dat")), EFOpenError);

  fixtures::WriteFile(Dir.File("locked.dat"), File);
  TFileStream Writer(Dir.File("locked.dat"), TFileAccess::ReadWrite);
  TStreamPack Locked(Dir.Path());
  EXPECT_THROW(Locked.LoadFromFile(Dir.File("locked.dat")), EFOpenError);
  EXPECT_EQ(Locked.ArchiveCount(), 0);
}

// Description fields are kept as raw bytes: 64 bytes without a zero read as a 64-character text, and
// bytes after a field's first zero survive a round trip.
TEST(DefinitionFile, DescriptionFieldsRoundTripRawBytes) {
  Bytes Full(64, 'n');
  Bytes Tail = fixtures::TextBytes("ab");
  Tail.push_back(0);
  Bytes After = fixtures::Pattern(61, 9);
  Tail.insert(Tail.end(), After.begin(), After.end());
  Bytes File = fixtures::Concat({FromHex("00000000 01000000 00000000"), Full, Tail, Bytes(64, 0)});
  TStreamPack Pack("");
  Load(Pack, File);
  ASSERT_EQ(Pack.DescriptionCount(), 1);
  EXPECT_EQ(FieldText(Pack.Descriptions(0)->Name), std::string(64, 'n'));
  EXPECT_EQ(FieldText(Pack.Descriptions(0)->Singer), "ab");
  EXPECT_EQ(FieldText(Pack.Descriptions(0)->Album), "");
  EXPECT_EQ(Save(Pack), File);
}

} // namespace
} // namespace deftest
