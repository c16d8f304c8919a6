#include "archive/uEAStream.h"
#include "base/Paths.h"
#include "platform/Faults.h"
#include "platform/FileSystem.h"
#include "tests/fixtures/Bigf.h"

#include <gtest/gtest.h>

#include <set>

using namespace fixtures;

namespace {

// 100 data bytes 00 01 02 ... 63.
Bytes Counting(size_t Count) {
  Bytes Data(Count);
  for (size_t I = 0; I < Count; ++I)
    Data[I] = static_cast<uint8_t>(I);
  return Data;
}

std::string LoadError(TEAStream& Archive, const std::string& Path) {
  try {
    Archive.LoadFromFile(Path);
  } catch (const Exception& E) {
    return E.what();
  }
  return "";
}

// An archive laid out by hand: records point wherever Offsets says, data written there.
Bytes HandLaid(const std::vector<BigfEntry>& Entries, const std::vector<uint32_t>& Offsets, size_t Length) {
  Bytes Out = TextBytes("BIGF");
  AppendLE32(Out, static_cast<uint32_t>(Length));
  AppendBE32(Out, static_cast<uint32_t>(Entries.size()));
  size_t HeaderSize = 16;
  for (const BigfEntry& Entry : Entries)
    HeaderSize += 9 + Entry.Name.size();
  AppendBE32(Out, static_cast<uint32_t>(HeaderSize));
  for (size_t I = 0; I < Entries.size(); ++I) {
    AppendBE32(Out, Offsets[I]);
    AppendBE32(Out, static_cast<uint32_t>(Entries[I].Data.size()));
    Out.insert(Out.end(), Entries[I].Name.begin(), Entries[I].Name.end());
    Out.push_back(0);
  }
  Out.resize(Length, 0xEE);
  for (size_t I = 0; I < Entries.size(); ++I)
    std::copy(Entries[I].Data.begin(), Entries[I].Data.end(), Out.begin() + Offsets[I]);
  return Out;
}

Bytes Exported(TEAStreamFile* Entry, const TempDir& Dir) {
  std::string Path = Dir.File("export.bin");
  Entry->SaveToFile(Path);
  return ReadFile(Path);
}

class EAStreamTest : public ::testing::Test {
protected:
  void TearDown() override {
    platform::ClearFaults();
    EXPECT_TRUE(Dir.ScratchFiles().empty()) << "a scratch file was left behind";
  }
  TempDir Dir;
};

} // namespace

// Scratch names are asked for in quick succession by parallel jobs, which then make their files under
// names changed from them: none may be handed out twice.
TEST(TempFileName, NoNameIsHandedOutTwice) {
  std::set<std::string> Names;
  for (int I = 0; I < 300; ++I) {
    std::string Name = MakeTempFileName("~tst");
    EXPECT_FALSE(platform::IsFile(Name));
    EXPECT_TRUE(Names.insert(Name).second) << Name;
  }
}

TEST_F(EAStreamTest, WritesTheEmptyAndTheOneEntryArchiveByteForByte) {
  TEAStream Empty;
  TMemoryStream Out;
  Empty.SaveToStream(Out);
  EXPECT_EQ(ToHex(Out.Bytes()), "42494746"
                                "10000000"
                                "00000000"
                                "00000010");

  // The source archive keeps its entry at an odd place after a gap; the rebuild lays it out anew.
  std::string Source = Dir.File("one.big");
  WriteFile(Source, HandLaid({{"SONG1", Counting(100)}}, {301}, 401));
  TEAStream Archive;
  Archive.LoadFromFile(Source);
  std::string Target = Dir.File("rebuilt.big");
  Archive.SaveToFile(Target);
  EXPECT_EQ(ReadFile(Target),
            FromHex("42494746 A4000000 00000001 0000001E"   // magic, total, count, header size
                    "00000040 00000064 534F4E473100"        // offset 64, size 100, "SONG1"
                    "0000 00000000000000000000000000000000" // zeros up to position 63
                    "00000000000000000000000000000000"
                    "000102030405060708090A0B0C0D0E0F" // the data, positions 64..163
                    "101112131415161718191A1B1C1D1E1F"
                    "202122232425262728292A2B2C2D2E2F"
                    "303132333435363738393A3B3C3D3E3F"
                    "404142434445464748494A4B4C4D4E4F"
                    "505152535455565758595A5B5C5D5E5F"
                    "60616263"));
  // Only the pending pair describes the new file until CommitOffsets.
  EXPECT_EQ(Archive.Files(0)->Offset, 301u);
  EXPECT_EQ(Archive.Files(0)->DirectoryPos, 16u);
  EXPECT_EQ(Archive.Files(0)->NewOffset, 64u);
  EXPECT_EQ(Archive.Files(0)->NewDirectoryPos, 16u);
}

TEST_F(EAStreamTest, ReadsEveryFieldOfTheDirectory) {
  std::vector<BigfEntry> Entries = {{"a.asf", Pattern(70, 1)}, {"Mixed Case.ASF", Pattern(5, 2)}, {"e", {}}};
  std::string Path = Dir.File("three.big");
  WriteFile(Path, MakeBigf(Entries));
  TEAStream Archive;
  Archive.LoadFromFile(Path);
  EXPECT_EQ(Archive.FileName, Path);
  EXPECT_EQ(Archive.HeaderSize, 16u + 14 + 23 + 10);
  ASSERT_EQ(Archive.FileCount(), 3);
  uint32_t RecordPos = 16;
  for (int I = 0; I < 3; ++I) {
    TEAStreamFile* Entry = Archive.Files(I);
    EXPECT_EQ(Entry->Name, Entries[I].Name);
    EXPECT_EQ(Entry->Size, Entries[I].Data.size());
    EXPECT_EQ(Entry->Offset, BigfDataOffset(Entries, I));
    EXPECT_EQ(Entry->DirectoryPos, RecordPos);
    EXPECT_EQ(Entry->Owner, &Archive);
    EXPECT_EQ(Exported(Entry, Dir), Entries[I].Data);
    RecordPos += 9 + static_cast<uint32_t>(Entries[I].Name.size());
  }
  EXPECT_STREQ(std::string(LoadError(Archive, Path)).c_str(), "");
  try {
    Archive.Files(3);
    ADD_FAILURE() << "no list error";
  } catch (const EListError& E) {
    EXPECT_STREQ(E.what(), "List index out of bounds (3)");
  }
  EXPECT_THROW(Archive.Files(-1), EListError);
}

TEST_F(EAStreamTest, RebuildSortsByOffsetAlignsTo64AndGivesEmptyEntriesNoBytes) {
  std::vector<BigfEntry> Entries = {{"late", Pattern(130, 3)}, {"empty", {}}, {"early", Pattern(77, 4)}};
  std::string Path = Dir.File("unordered.big");
  WriteFile(Path, HandLaid(Entries, {5000, 2000, 100}, 5200));
  TEAStream Archive;
  Archive.LoadFromFile(Path);
  std::string Target = Dir.File("rebuilt.big");
  Archive.SaveToFile(Target);

  ASSERT_EQ(Archive.FileCount(), 3);
  EXPECT_EQ(Archive.Files(0)->Name, "early");
  EXPECT_EQ(Archive.Files(1)->Name, "empty");
  EXPECT_EQ(Archive.Files(2)->Name, "late");
  std::vector<BigfEntry> Sorted = {Entries[2], Entries[1], Entries[0]};
  EXPECT_EQ(ReadFile(Target), MakeBigf(Sorted));
  // header 16 + directory 14 + 14 + 13 = 57: first data at 64, 64 + 77 = 141 -> 192 for both the empty
  // entry and the next one.
  EXPECT_EQ(Archive.Files(0)->NewOffset, 64u);
  EXPECT_EQ(Archive.Files(1)->NewOffset, 192u);
  EXPECT_EQ(Archive.Files(2)->NewOffset, 192u);
  EXPECT_EQ(ReadFile(Target).size(), 192u + 130);
  EXPECT_EQ(Archive.Files(2)->Offset, 5000u);

  Archive.CommitOffsets();
  Archive.FileName = Target;
  EXPECT_EQ(Exported(Archive.Files(1), Dir), Bytes());
  EXPECT_EQ(Exported(Archive.Files(2), Dir), Entries[0].Data);
  EXPECT_EQ(Archive.Files(2)->NewOffset, 0u);
  EXPECT_EQ(Archive.Files(2)->DirectoryPos, 16u + 14 + 14);
}

TEST_F(EAStreamTest, OddDirectoriesReadAsTheGameWrites) {
  // A count of FF FF FF FF is negative: no entries, no error.
  Bytes Negative = FromHex("42494746 10000000 FFFFFFFF 00000010");
  std::string Path = Dir.File("odd.big");
  WriteFile(Path, Negative);
  TEAStream Archive;
  Archive.LoadFromFile(Path);
  EXPECT_EQ(Archive.FileCount(), 0);
  EXPECT_EQ(Archive.FileName, Path);

  // A 300-byte name keeps its first 259 bytes and the next record is read from the right place.
  std::string Long(300, 'n');
  for (size_t I = 0; I < Long.size(); ++I)
    Long[I] = static_cast<char>('a' + I % 26);
  std::vector<BigfEntry> Entries = {{Long, Pattern(10, 5)}, {"next", Pattern(20, 6)}};
  WriteFile(Path, MakeBigf(Entries));
  Archive.LoadFromFile(Path);
  ASSERT_EQ(Archive.FileCount(), 2);
  EXPECT_EQ(Archive.Files(0)->Name, Long.substr(0, 259));
  EXPECT_EQ(Archive.Files(1)->Name, "next");
  EXPECT_EQ(Archive.Files(1)->DirectoryPos, 16u + 8 + 301);
  EXPECT_EQ(Exported(Archive.Files(1), Dir), Entries[1].Data);

  // Names are bytes: high characters survive a rebuild unchanged.
  std::vector<BigfEntry> Ansi = {{"Caf\xE9 \xC4\xD6\xDC.asf", Pattern(3, 7)}};
  WriteFile(Path, MakeBigf(Ansi));
  Archive.LoadFromFile(Path);
  std::string Target = Dir.File("ansi.big");
  Archive.SaveToFile(Target);
  EXPECT_EQ(ReadFile(Target), MakeBigf(Ansi));
}

TEST_F(EAStreamTest, EveryTruncatedDirectoryFailsWithAReadErrorAndLeavesNoEntries) {
  std::vector<BigfEntry> Entries = {{"first.asf", Pattern(40, 8)}, {"second.asf", Pattern(50, 9)}};
  Bytes Whole = MakeBigf(Entries);
  size_t DirectoryEnd = 16 + 18 + 19;
  std::string Good = Dir.File("good.big");
  WriteFile(Good, Whole);
  std::string Path = Dir.File("cut.big");
  for (size_t Length = 0; Length <= Whole.size(); ++Length) {
    WriteFile(Path, Bytes(Whole.begin(), Whole.begin() + Length));
    TEAStream Archive;
    Archive.LoadFromFile(Good);
    std::string Error = LoadError(Archive, Path);
    if (Length < DirectoryEnd) {
      EXPECT_EQ(Error, "Stream read error") << "length " << Length;
      EXPECT_EQ(Archive.FileCount(), 0) << "length " << Length;
      EXPECT_NE(Archive.FileName, Good);
      EXPECT_NE(Archive.FileName, Path);
      EXPECT_FALSE(platform::IsFile(Archive.FileName));
    } else {
      EXPECT_EQ(Error, "") << "length " << Length;
      EXPECT_EQ(Archive.FileCount(), 2);
    }
  }
}

TEST_F(EAStreamTest, ReplacesAnEntryInPlace) {
  std::vector<BigfEntry> Entries = {{"one", Pattern(100, 10)}, {"two", Pattern(33, 11)}};
  std::string Path = Dir.File("music.big");
  Bytes Original = MakeBigf(Entries);
  WriteFile(Path, Original);
  TEAStream Archive;
  Archive.LoadFromFile(Path);

  // An empty source changes nothing, on disk or in memory.
  std::string Empty = Dir.File("empty.bin");
  WriteFile(Empty, {});
  Archive.Files(0)->LoadFromFile(Empty);
  EXPECT_EQ(ReadFile(Path), Original);
  EXPECT_EQ(Archive.Files(0)->Size, 100u);

  // New data goes to the first multiple of 64 after the old end, zero gap, record patched, header kept.
  Bytes Fresh = Pattern(250, 12);
  std::string Source = Dir.File("fresh.bin");
  WriteFile(Source, Fresh);
  Archive.Files(0)->LoadFromFile(Source);
  Bytes After = ReadFile(Path);
  uint32_t NewStart = static_cast<uint32_t>((Original.size() + 63) / 64 * 64);
  ASSERT_EQ(After.size(), NewStart + Fresh.size());
  EXPECT_TRUE(std::equal(Original.begin() + 24, Original.end(), After.begin() + 24));
  EXPECT_TRUE(std::equal(Original.begin(), Original.begin() + 16, After.begin())) << "header rewritten";
  EXPECT_EQ(Bytes(After.begin() + Original.size(), After.begin() + NewStart),
            Bytes(NewStart - Original.size(), 0));
  EXPECT_EQ(GetBE32(After, 16), NewStart);
  EXPECT_EQ(GetBE32(After, 20), Fresh.size());
  EXPECT_EQ(Archive.Files(0)->Offset, NewStart);
  EXPECT_EQ(Archive.Files(0)->Size, Fresh.size());
  EXPECT_EQ(Archive.Files(0)->DirectoryPos, 16u);
  EXPECT_EQ(Exported(Archive.Files(0), Dir), Fresh);
  EXPECT_EQ(Exported(Archive.Files(1), Dir), Entries[1].Data);

  // A replacement that cannot open the archive leaves the entry describing its old data.
  platform::InjectFault(platform::FaultKind::Open, 2, platform::AccessDeniedError());
  EXPECT_THROW(Archive.Files(1)->LoadFromFile(Source), EFOpenError);
  EXPECT_EQ(Archive.Files(1)->Size, 33u);
  EXPECT_EQ(Exported(Archive.Files(1), Dir), Entries[1].Data);
}

TEST_F(EAStreamTest, FindsAnEntryByAnyOffsetInsideItsData) {
  std::vector<BigfEntry> Entries = {{"a", Pattern(100, 1)}, {"b", Pattern(50, 2)}, {"zero", {}}};
  std::string Path = Dir.File("overlap.big");
  // "b" overlaps the end of "a"; "zero" sits inside "a" but has no bytes.
  WriteFile(Path, HandLaid(Entries, {200, 280, 250}, 400));
  TEAStream Archive;
  Archive.LoadFromFile(Path);
  TEAStreamFile* A = Archive.Files(0);
  TEAStreamFile* B = Archive.Files(1);
  struct Case {
    uint32_t Offset;
    TEAStreamFile* Expected;
  } Cases[] = {{199, nullptr}, {200, A}, {250, A},       {280, A},     {299, A},
               {300, B},       {329, B}, {330, nullptr}, {0, nullptr}, {0xFFFFFFFF, nullptr}};
  for (const Case& C : Cases)
    EXPECT_EQ(Archive.FindFileByOffset(C.Offset), C.Expected) << "offset " << C.Offset;
}

TEST_F(EAStreamTest, FindsAnEntryByItsExactNameOrSaysWhichArchiveLacksIt) {
  std::string Path = Dir.File("named.big");
  WriteFile(Path,
            MakeBigf({{"a.asf", Pattern(10, 1)}, {"b.asf", Pattern(20, 2)}, {"b.asf", Pattern(30, 3)}}));
  TEAStream Archive;
  Archive.LoadFromFile(Path);
  struct Case {
    const char* Name;
    TEAStreamFile* Expected; // nullptr: none, the error names the archive
  } Cases[] = {{"a.asf", Archive.Files(0)}, {"b.asf", Archive.Files(1)}, {"B.ASF", nullptr}, {"", nullptr}};
  for (const Case& C : Cases) {
    try {
      EXPECT_EQ(&Archive.FileNamed(C.Name), C.Expected) << C.Name;
    } catch (const Exception& E) {
      EXPECT_EQ(C.Expected, nullptr) << C.Name;
      EXPECT_EQ(std::string(E.what()), "No entry " + std::string(C.Name) + " in " + Path);
    }
  }
}

TEST_F(EAStreamTest, AddFileRebuildsAndCommitOffsetsMovesThePendingOffsets) {
  std::vector<BigfEntry> Entries = {{"one", Pattern(90, 1)}, {"two", Pattern(10, 2)}};
  std::string Path = Dir.File("music.big");
  Bytes Original = MakeBigf(Entries);
  WriteFile(Path, Original);
  std::string Source = Dir.File("new song.asf");
  Bytes Data = Pattern(300, 3);
  WriteFile(Source, Data);
  TEAStream Archive;
  Archive.LoadFromFile(Path);
  uint32_t OldHeaderSize = Archive.HeaderSize;
  std::vector<uint32_t> OldOffsets = {Archive.Files(0)->Offset, Archive.Files(1)->Offset};

  TEAStreamFile* Added = Archive.AddFile(Source, "added.asf");
  ASSERT_EQ(Archive.FileCount(), 3);
  EXPECT_EQ(Archive.Files(2), Added);
  EXPECT_EQ(Added->Name, "added.asf");
  EXPECT_EQ(Added->Size, Data.size());
  EXPECT_EQ(Added->Offset, Original.size());
  EXPECT_EQ(Archive.HeaderSize, OldHeaderSize + 9 + 9);
  EXPECT_EQ(Archive.Files(0)->Offset, OldOffsets[0]);
  EXPECT_EQ(Archive.Files(1)->Offset, OldOffsets[1]);
  std::vector<BigfEntry> Expected = {Entries[0], Entries[1], {"added.asf", Data}};
  EXPECT_EQ(ReadFile(Path), MakeBigf(Expected));
  for (int I = 0; I < 3; ++I)
    EXPECT_EQ(Archive.Files(I)->NewOffset, BigfDataOffset(Expected, I));

  Archive.CommitOffsets();
  for (int I = 0; I < 3; ++I) {
    EXPECT_EQ(Archive.Files(I)->Offset, BigfDataOffset(Expected, I));
    EXPECT_EQ(Archive.Files(I)->NewOffset, 0u);
    EXPECT_EQ(Archive.Files(I)->NewDirectoryPos, 0u);
    EXPECT_EQ(Exported(Archive.Files(I), Dir), Expected[I].Data);
  }
  EXPECT_EQ(Archive.Files(2)->DirectoryPos, 16u + 12 + 12);
}

TEST_F(EAStreamTest, AddFileFailingAtAnyOsCallLeavesTheArchiveAsItWas) {
  using platform::FaultKind;
  std::vector<BigfEntry> Entries = {{"one", Pattern(90, 1)}, {"two", Pattern(10, 2)}};
  Bytes Original = MakeBigf(Entries);
  Bytes Added = MakeBigf({Entries[0], Entries[1], {"new", Pattern(70, 3)}});
  std::string Path = Dir.File("music.big");
  std::string Source = Dir.File("new.asf");
  WriteFile(Source, Pattern(70, 3));
  // Once letting the old file go, once keeping it under a name of its own.
  for (bool Keep : {false, true})
    for (FaultKind Kind : {FaultKind::Open, FaultKind::Create, FaultKind::Read, FaultKind::Write,
                           FaultKind::Delete, FaultKind::Move, FaultKind::TempName}) {
      for (bool Persistent : {false, true}) {
        for (int N = 1;; ++N) {
          WriteFile(Path, Original);
          TEAStream Archive;
          Archive.LoadFromFile(Path);
          if (Keep)
            Archive.KeepReplacedAs = Path + ".kept";
          platform::ClearFaults();
          platform::InjectFault(Kind, N, platform::DiskFullError(), Persistent);
          bool Done = false;
          try {
            Archive.AddFile(Source, "new");
            Done = true;
          } catch (const Exception&) {
          }
          platform::ClearFaults();
          std::string Where = "kind " + std::to_string(static_cast<int>(Kind)) + " call " +
                              std::to_string(N) + (Keep ? " keeping" : "");
          if (platform::IsFile(Path + ".kept")) {
            EXPECT_EQ(ReadFile(Path + ".kept"), Original) << Where;
            platform::DeleteFile(Path + ".kept");
          } else {
            EXPECT_FALSE(Keep && Done) << Where << ": the old file was not kept";
          }
          if (Done) {
            EXPECT_EQ(ReadFile(Path), Added) << Where;
            break;
          }
          EXPECT_EQ(ReadFile(Path), Original) << Where;
          ASSERT_EQ(Archive.FileCount(), 2) << Where;
          EXPECT_EQ(Archive.HeaderSize, GetBE32(Original, 12)) << Where;
          for (int I = 0; I < Archive.FileCount(); ++I) {
            EXPECT_EQ(Archive.Files(I)->NewOffset, 0u) << Where;
            EXPECT_EQ(Exported(Archive.Files(I), Dir), Entries[I].Data) << Where;
          }
          // Scratch files can only stay when every delete fails.
          if (!(Kind == FaultKind::Delete && Persistent)) {
            ASSERT_TRUE(Dir.ScratchFiles().empty()) << Where << ": " << Dir.ScratchFiles()[0];
            ASSERT_TRUE(Dir.Leftovers().empty()) << Where << ": " << Dir.Leftovers()[0];
          }
          for (const std::string& Name : Dir.ScratchFiles())
            platform::DeleteFile(Dir.ScratchPath() + Name);
          for (const std::string& Left : Dir.Leftovers())
            platform::DeleteFile(Left);
          ASSERT_LT(N, 200) << "no end of faults";
        }
      }
    }
}

TEST_F(EAStreamTest, ReportsOpenAndCreateFailuresWithTheFullPathAndTheSystemsReason) {
  TEAStream Archive;
  std::string Missing = Dir.File("missing.big");
  EXPECT_EQ(LoadError(Archive, Missing),
            "Cannot open file \"" + Missing + "\". " + platform::SystemErrorText(2));
  EXPECT_FALSE(platform::SystemErrorText(2).empty());

  std::string NoFolder = Dir.File("no such folder") + platform::PathDelimiter() + "out.big";
  try {
    Archive.SaveToFile(NoFolder);
    ADD_FAILURE() << "created a file in a missing folder";
  } catch (const EFCreateError& E) {
    EXPECT_EQ(std::string(E.what()).rfind("Cannot create file \"" + NoFolder + "\". ", 0), 0u) << E.what();
  }

  // A fresh archive has no backing file: entry operations and AddFile fail with the open error.
  std::string Source = Dir.File("s.bin");
  WriteFile(Source, Pattern(5, 1));
  EXPECT_THROW(Archive.AddFile(Source, "x"), EFOpenError);
  EXPECT_EQ(Archive.FileCount(), 0);
}

TEST_F(EAStreamTest, MakesFreeScratchNamesInTheTemporaryFolder) {
  std::string First = MakeTempFileName("~viv");
  std::string Second = MakeTempFileName("~viv");
  EXPECT_NE(First, Second);
  for (const std::string& Name : {First, Second}) {
    EXPECT_EQ(ExtractFilePath(Name), Dir.ScratchPath());
    EXPECT_EQ(ExtractFileName(Name).substr(0, 3), "~vi");
    EXPECT_FALSE(platform::IsFile(Name));
  }
  std::string Wave = ChangeFileExt(MakeTempFileName("~wav"), ".wav");
  EXPECT_EQ(ExtractFilePath(Wave), Dir.ScratchPath());
  EXPECT_EQ(ExtractFileExt(Wave), ".wav");

  platform::InjectFault(platform::FaultKind::TempName, 1, platform::AccessDeniedError());
  try {
    MakeTempFileName("~asf");
    ADD_FAILURE() << "no error";
  } catch (const EOSError& E) {
    EXPECT_EQ(std::string(E.what()), "System Error.  Code: " + std::to_string(platform::AccessDeniedError()) +
                                         "." + platform::LineBreak() +
                                         platform::SystemErrorText(platform::AccessDeniedError()));
  }
}

// An archive found compact is one whose rebuild gives exactly its bytes, so a save may leave it alone.
TEST_F(EAStreamTest, CompactMeansTheRebuildWouldWriteTheSameBytes) {
  std::vector<BigfEntry> Entries = {{"one", Pattern(100, 1)}, {"two", Pattern(70, 2)}};
  Bytes Good = MakeBigf(Entries);
  auto Edited = [&](size_t At, uint8_t Byte) {
    Bytes Out = Good;
    Out[At] = Byte;
    return Out;
  };
  Bytes Longer = Good;
  Longer.push_back(0);
  struct Case {
    const char* Name;
    Bytes Archive;
    bool Compact;
  } Cases[] = {
      {"as the tools lay it out", Good, true},
      {"no entries", MakeBigf({}), true},
      {"a byte in a gap", Edited(BigfDataOffset(Entries, 0) - 1, 7), false},
      {"a byte after the last entry", Longer, false},
      {"total size field", Edited(4, static_cast<uint8_t>(Good[4] + 1)), false},
      {"header size field", Edited(15, static_cast<uint8_t>(Good[15] + 1)), false},
      {"magic", Edited(0, 'b'), false},
      {"data not in directory order", HandLaid(Entries, {256, 64}, 356), false},
      {"two empty entries at one offset", MakeBigf({{"a", {}}, {"b", {}}, {"c", Pattern(5, 3)}}), false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    std::string Path = Dir.File("case.big");
    WriteFile(Path, C.Archive);
    TEAStream Archive;
    Archive.LoadFromFile(Path);
    bool Compact = Archive.IsCompact();
    EXPECT_EQ(Compact, C.Compact);
    Archive.SaveToFile(Dir.File("rebuilt.big"));
    if (Compact) {
      EXPECT_EQ(ReadFile(Dir.File("rebuilt.big")), C.Archive);
    }
  }
}

// A rebuild writes no more than the archive holds: entries naming the same data share one copy of it
// (a small archive whose many entries all named one stretch once made a rebuild write entries x file
// size), and entries that overlap otherwise are refused before the rebuilt file is created.
TEST_F(EAStreamTest, RebuildOfOverlappingEntriesIsBoundedByTheArchive) {
  std::vector<BigfEntry> Same;
  for (int I = 0; I < 300; ++I)
    Same.push_back({"s" + std::to_string(I), I % 7 == 3 ? Bytes{} : Pattern(20000, 7)});
  const size_t Length = 4096 + 20000;
  WriteFile(Dir.File("same.viv"), HandLaid(Same, std::vector<uint32_t>(Same.size(), 4096), Length));
  TEAStream Archive;
  Archive.LoadFromFile(Dir.File("same.viv"));
  Archive.SaveToFile(Dir.File("rebuilt.viv"));
  EXPECT_LE(ReadFile(Dir.File("rebuilt.viv")).size(), Length);
  TEAStream Rebuilt;
  Rebuilt.LoadFromFile(Dir.File("rebuilt.viv"));
  ASSERT_EQ(Rebuilt.FileCount(), 300);
  for (int I = 0; I < Rebuilt.FileCount(); I += 37)
    EXPECT_EQ(Exported(Rebuilt.Files(I), Dir), Rebuilt.Files(I)->Size == 0 ? Bytes{} : Pattern(20000, 7));

  WriteFile(Dir.File("overlap.viv"),
            HandLaid({{"a", Pattern(1000, 1)}, {"b", Pattern(1000, 2)}, {"c", Pattern(10, 3)}},
                     {128, 1600, 1100}, 2600));
  TEAStream Overlapping;
  Overlapping.LoadFromFile(Dir.File("overlap.viv"));
  try {
    Overlapping.SaveToFile(Dir.File("refused.viv"));
    ADD_FAILURE() << "an archive with overlapping entries was rebuilt";
  } catch (const Exception& E) {
    EXPECT_EQ(std::string(E.what()), "Cannot rebuild archive \"" +
                                         platform::FullPath(Dir.File("overlap.viv")) +
                                         "\". Its entries \"a\" and \"c\" share part of their data");
  }
  EXPECT_FALSE(FileExists(Dir.File("refused.viv")));
}
