#include "base/ByteOrder.h"
#include "base/Exceptions.h"
#include "base/OwnedList.h"
#include "base/Paths.h"
#include "base/Records.h"
#include "base/ScopeGuard.h"
#include "base/Streams.h"
#include "platform/Faults.h"
#include "platform/FileSystem.h"
#include "tests/fixtures/TestFiles.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

using namespace fixtures;

namespace {

template <class Action> std::string ErrorOf(Action Run) {
  try {
    Run();
  } catch (const Exception& E) {
    return E.what();
  }
  return "";
}

struct Counted {
  explicit Counted(int& Alive) : Alive(Alive) { ++Alive; }
  ~Counted() { --Alive; }
  int& Alive;
};

} // namespace

TEST(Exceptions, CarryTheRuntimesExactMessages) {
  EXPECT_EQ(ErrorOf([] { throw EListError(-1); }), "List index out of bounds (-1)");
  EXPECT_EQ(ErrorOf([] { throw EReadError(); }), "Stream read error");
  EXPECT_EQ(ErrorOf([] { throw EWriteError(); }), "Stream write error");
  EXPECT_EQ(ErrorOf([] { throw EOSError(0); }), "A call to an OS function failed");
  EXPECT_EQ(ErrorOf([] { CheckOSError(5); }),
            std::string("System Error.  Code: 5.") + platform::LineBreak() + platform::SystemErrorText(5));
  EXPECT_EQ(ErrorOf([] { CheckOSError(0); }), "");
  EXPECT_EQ(ErrorOf([] { throw EStreamSyncException("out of step"); }), "out of step");

  TempDir Dir;
  std::string Missing = Dir.File("no.dat");
  EXPECT_EQ(ErrorOf([&] { TFileStream(Missing, TFileAccess::Read); }),
            "Cannot open file \"" + Missing + "\". " + platform::SystemErrorText(2));
  std::string Bad = Dir.File("nofolder") + platform::PathDelimiter() + "x.dat";
  EXPECT_EQ(ErrorOf([&] {
              TFileStream(Bad, TFileAccess::Create);
            }).rfind("Cannot create file \"" + Bad + "\". ", 0),
            0u);
}

TEST(Streams, ReadAndWriteBuffersFailOnShortTransfers) {
  TempDir Dir;
  std::string Path = Dir.File("s.bin");
  {
    TFileStream Out(Path, TFileAccess::Create);
    Bytes Data = Pattern(100, 1);
    Out.WriteBuffer(Data.data(), Data.size());
    EXPECT_EQ(Out.Size(), 100);
    platform::InjectFault(platform::FaultKind::Write, 1, platform::DiskFullError());
    EXPECT_THROW(Out.WriteBuffer(Data.data(), 1), EWriteError);
    platform::ClearFaults();
  }
  TFileStream In(Path, TFileAccess::Read);
  Bytes Back(100);
  In.ReadBuffer(Back.data(), 60);
  EXPECT_EQ(In.Position(), 60);
  EXPECT_THROW(In.ReadBuffer(Back.data(), 41), EReadError);
  In.SetPosition(10);
  EXPECT_EQ(In.Read(Back.data(), 1000), 90u);
  platform::InjectFault(platform::FaultKind::Read, 1, platform::AccessDeniedError());
  In.SetPosition(0);
  EXPECT_THROW(In.ReadBuffer(Back.data(), 1), EReadError);
  platform::ClearFaults();
}

TEST(Streams, CopyFromMovesExactlyCountBytesAcrossBlocks) {
  const int64_t Count = TStream::kCopyBlockSize * 2 + 3;
  Bytes Data = Pattern(static_cast<size_t>(Count) + 10, 2);
  TMemoryStream Source(Data);
  Source.SetPosition(5);
  TMemoryStream Dest;
  Dest.WriteBuffer("ab", 2);
  EXPECT_EQ(Dest.CopyFrom(Source, Count), Count);
  EXPECT_EQ(Dest.Size(), Count + 2);
  EXPECT_TRUE(std::equal(Data.begin() + 5, Data.begin() + 5 + Count, Dest.Bytes().begin() + 2));
  EXPECT_EQ(Source.Position(), 5 + Count);
  EXPECT_EQ(Dest.CopyFrom(Source, 0), 0);
  EXPECT_EQ(Dest.Size(), Count + 2) << "a copy of 0 bytes copied something";
  EXPECT_THROW(Dest.CopyFrom(Source, 6), EReadError) << "source had only 5 bytes left";
}

TEST(Streams, AWholeFileCopyIsFlushedAndEveryFailureRaises) {
  TempDir Dir;
  const std::string Source = Dir.File("a.big"), Target = Dir.File("b.big");
  const Bytes Data = Pattern(static_cast<size_t>(TStream::kCopyBlockSize) + 7, 3);
  WriteFile(Source, Data);
  WriteFile(Target, Pattern(5000000, 4)); // longer than the source: emptied first
  platform::ClearFaults();
  CopyWholeFile(Source, Target);
  EXPECT_EQ(ReadFile(Target), Data);
  EXPECT_GT(platform::FaultCallCount(platform::FaultKind::Flush), 0) << "the copy was not flushed";
  struct TCase {
    const char* What;
    platform::FaultKind Kind;
  };
  for (const TCase& Case :
       {TCase{"read", platform::FaultKind::Read}, TCase{"write", platform::FaultKind::Write},
        TCase{"flush", platform::FaultKind::Flush}, TCase{"create", platform::FaultKind::Create}}) {
    SCOPED_TRACE(Case.What);
    platform::ClearFaults();
    platform::InjectFault(Case.Kind, 1, platform::DiskFullError());
    EXPECT_THROW(CopyWholeFile(Source, Target), Exception);
    platform::ClearFaults();
  }
  EXPECT_THROW(CopyWholeFile(Dir.File("missing.big"), Target), EFOpenError);
}

TEST(Streams, DeleteIfPresentSaysWhetherAFileIsLeft) {
  TempDir Dir;
  const std::string Present = Dir.File("x.tmp");
  WriteFile(Present, Pattern(3, 1));
  platform::InjectFault(platform::FaultKind::Delete, 1, platform::AccessDeniedError());
  EXPECT_FALSE(DeleteIfPresent(Present));
  platform::ClearFaults();
  EXPECT_TRUE(platform::IsFile(Present));
  EXPECT_TRUE(DeleteIfPresent(Present));
  EXPECT_FALSE(platform::IsFile(Present));
  EXPECT_TRUE(DeleteIfPresent(Present)) << "an absent file";
  EXPECT_TRUE(DeleteIfPresent("")) << "an empty name";
  EXPECT_TRUE(DeleteIfPresent(Dir.Path())) << "a folder is not a file";
  EXPECT_TRUE(platform::IsFolder(Dir.Path()));
}

TEST(ByteOrder, NumbersLoadAndStoreInBothOrders) {
  const uint8_t Bytes[4] = {0x12, 0x34, 0x56, 0xF8};
  EXPECT_EQ(LoadLE16(Bytes), 0x3412u);
  EXPECT_EQ(LoadBE16(Bytes), 0x1234u);
  EXPECT_EQ(LoadLE32(Bytes), 0xF8563412u);
  EXPECT_EQ(LoadBE32(Bytes), 0x123456F8u);
  for (uint32_t Value : {0u, 1u, 0x80000000u, 0xF8563412u, 0xFFFFFFFFu}) {
    uint8_t LE[4], BE[4];
    StoreLE32(LE, Value);
    StoreBE32(BE, Value);
    EXPECT_EQ(LoadLE32(LE), Value);
    EXPECT_EQ(LoadBE32(BE), Value);
    EXPECT_EQ(LE[0], BE[3]);
    EXPECT_EQ(LE[3], static_cast<uint8_t>(Value >> 24));
  }
}

TEST(ScopeGuard, RunsOnceWhenTheScopeEndsByReturnOrThrow) {
  int Runs = 0;
  {
    TScopeGuard Guard([&] { ++Runs; });
    EXPECT_EQ(Runs, 0);
  }
  EXPECT_EQ(Runs, 1);
  try {
    TScopeGuard Guard([&] { ++Runs; });
    throw EReadError();
  } catch (const EReadError&) {
  }
  EXPECT_EQ(Runs, 2);
}

TEST(Streams, MemoryStreamGrowsSeeksAndRoundTripsFiles) {
  TMemoryStream M;
  M.SetPosition(4);
  M.WriteBuffer("xy", 2);
  EXPECT_EQ(M.Bytes(), Bytes({0, 0, 0, 0, 'x', 'y'}));
  uint8_t Byte = 0;
  EXPECT_EQ(M.Read(&Byte, 1), 0u);
  EXPECT_EQ(M.Seek(-2, SeekOrigin::End), 4);
  EXPECT_EQ(M.Read(&Byte, 1), 1u);
  EXPECT_EQ(Byte, 'x');
  M.SetSize(1);
  EXPECT_EQ(M.Position(), 1);
  TempDir Dir;
  M.SaveToFile(Dir.File("m.bin"));
  TMemoryStream Loaded;
  Loaded.LoadFromFile(Dir.File("m.bin"));
  EXPECT_EQ(Loaded.Bytes(), Bytes({0}));
}

// Reads and seeks of every size, across and beyond the buffer, give the source's bytes and positions.
TEST(Streams, ABufferedReaderReadsWhatItsSourceHolds) {
  std::vector<uint8_t> Bytes(300);
  for (size_t I = 0; I < Bytes.size(); ++I)
    Bytes[I] = static_cast<uint8_t>(I * 7);
  TMemoryStream Source(Bytes);
  TBufferedReader Reader(Source, 16);
  std::srand(1234);
  for (int Step = 0; Step < 500; ++Step) {
    SCOPED_TRACE(Step);
    if (std::rand() % 4 == 0)
      Reader.SetPosition(std::rand() % 320);
    int64_t At = Reader.Position();
    size_t Count = static_cast<size_t>(std::rand() % 40);
    std::vector<uint8_t> Got(Count);
    size_t Read = Reader.Read(Got.data(), Count);
    size_t Expected = At >= 300 ? 0 : std::min<size_t>(Count, static_cast<size_t>(300 - At));
    ASSERT_EQ(Read, Expected);
    EXPECT_TRUE(std::equal(Got.begin(), Got.begin() + static_cast<ptrdiff_t>(Read),
                           Bytes.begin() + std::min<int64_t>(At, 300)));
    EXPECT_EQ(Reader.Position(), At + static_cast<int64_t>(Read));
  }
  EXPECT_EQ(Reader.Size(), 300);
  EXPECT_THROW(Reader.SetSize(1), EWriteError);
}

// The check value of CRC-32, and the same CRC however a buffer is split, eight bytes at a time or one.
TEST(Records, Crc32GivesTheCheckValueAcrossAnySplit) {
  const std::string Check = "123456789";
  EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(Check.data()), Check.size()), 0xCBF43926u);
  const fixtures::Bytes Data = fixtures::Pattern(100, 7);
  uint32_t Byte = 0;
  for (uint8_t B : Data)
    Byte = Crc32(&B, 1, Byte);
  for (size_t Split = 0; Split <= Data.size(); Split += 7)
    EXPECT_EQ(Crc32(Data.data() + Split, Data.size() - Split, Crc32(Data.data(), Split)), Byte) << Split;
}

TEST(Records, ASealTellsAnotherMagicFromABrokenChecksum) {
  const std::vector<uint8_t> Whole = TRecordWriter().Magic("MAGIC").U32(7).Text("body").Sealed();
  std::vector<uint8_t> Flipped = Whole, Short(Whole.begin(), Whole.begin() + 8), Other = Whole;
  Flipped[9] ^= 1;
  Other[0] = 'N';
  const std::pair<const std::vector<uint8_t>*, TSeal> Cases[] = {
      {&Whole, TSeal::Whole}, {&Flipped, TSeal::Broken}, {&Short, TSeal::NoMagic}, {&Other, TSeal::NoMagic}};
  for (const auto& [Bytes, Expected] : Cases)
    EXPECT_EQ(CheckSeal(*Bytes, "MAGIC", 4), Expected) << Bytes->size();
  TRecordReader Body = SealedBody(Whole, "MAGIC");
  EXPECT_EQ(Body.U32(), 7u);
  EXPECT_EQ(Body.Text(), "body");
  EXPECT_TRUE(Body.Whole());
}

TEST(OwnedList, OwnsItsItemsAndChecksIndices) {
  int Alive = 0;
  {
    TOwnedList<Counted> List;
    Counted* A = List.Add(std::make_unique<Counted>(Alive));
    Counted* C = List.Add(std::make_unique<Counted>(Alive));
    Counted* B = List.Insert(1, std::make_unique<Counted>(Alive));
    EXPECT_EQ(List.Count(), 3);
    EXPECT_EQ(List.Items(0), A);
    EXPECT_EQ(List.Items(1), B);
    EXPECT_EQ(List.IndexOf(C), 2);
    EXPECT_EQ(ErrorOf([&] { List.Items(3); }), "List index out of bounds (3)");
    EXPECT_EQ(ErrorOf([&] { List.Delete(-2); }), "List index out of bounds (-2)");
    EXPECT_EQ(ErrorOf([&] { List.Insert(5, nullptr); }), "List index out of bounds (5)");
    List.Delete(0);
    EXPECT_EQ(Alive, 2);
    std::unique_ptr<Counted> Taken = List.Extract(0);
    EXPECT_EQ(Taken.get(), B);
    EXPECT_EQ(List.Count(), 1);
    EXPECT_EQ(Alive, 2);
  }
  EXPECT_EQ(Alive, 0);
}

TEST(Paths, SplitAndJoinPaths) {
  struct Case {
    std::string Path, Folder, Name, Ext, AsWav;
  } Cases[] = {
      {"C:\\Games\\ORVIK\\streams.dat", "C:\\Games\\ORVIK\\", "streams.dat", ".dat",
       "C:\\Games\\ORVIK\\streams.wav"},
      {"/home/u/music/song.v1.asf", "/home/u/music/", "song.v1.asf", ".asf", "/home/u/music/song.v1.wav"},
      {"C:\\dir.x\\noext", "C:\\dir.x\\", "noext", "", "C:\\dir.x\\noext.wav"},
      {"plain", "", "plain", "", "plain.wav"},
      {"D:file.big", "D:", "file.big", ".big", "D:file.wav"},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(ExtractFilePath(C.Path), C.Folder) << C.Path;
    EXPECT_EQ(ExtractFileName(C.Path), C.Name) << C.Path;
    EXPECT_EQ(ExtractFileExt(C.Path), C.Ext) << C.Path;
    EXPECT_EQ(ChangeFileExt(C.Path, ".wav"), C.AsWav) << C.Path;
  }
  std::string D(1, platform::PathDelimiter());
  EXPECT_EQ(IncludeTrailingPathDelimiter("x"), "x" + D);
  EXPECT_EQ(IncludeTrailingPathDelimiter("x\\"), "x\\");
  EXPECT_EQ(IncludeTrailingPathDelimiter("x/"), "x/");
  EXPECT_EQ(JoinPath("a", "b"), "a" + D + "b");
}
