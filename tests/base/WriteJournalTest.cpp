// The write journal's file: its layout pinned by a whole small file, and every prefix and every damaged
// copy of a journal recovered without harm, applying exactly the records that are whole.

#include "base/WriteJournal.h"
#include "base/Paths.h"
#include "base/Records.h"
#include "platform/FileSystem.h"
#include "tests/fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace fixtures;

namespace {

TEST(WriteJournal, ARecordIsItsTypeLengthPayloadAndChecksum) {
  TempDir Dir;
  TWriteJournal Journal(Dir.File("d.~journal"));
  Journal.BeforeCreate(Dir.File("x.~new"));
  EXPECT_EQ(ReadFile(Dir.File("d.~journal")),
            FromHex("04000000 0b000000 | 02 | 06000000 782e7e6e6577 | c4ff243e"))
      << "type 4 (a file created), payload length 11, role 2 (a member of the folder), the name relative to "
         "the journal's folder as length and bytes, CRC-32";
  Journal.Rollback();
  EXPECT_FALSE(FileExists(Dir.File("d.~journal")));
}

// A file written in place, replaced by a longer one that is written too, put back, written again, and
// replaced by the longer one once more (an add to an archive, its undo and its redo): a rollback passes
// back through every file that held the name and ends with the first; a commit keeps the last and
// deletes the backups.
TEST(WriteJournal, ARollbackPassesBackThroughEveryFileThatHeldTheName) {
  for (bool Committed : {false, true}) {
    SCOPED_TRACE(Committed ? "committed" : "rolled back");
    TempDir Dir;
    const std::string A = Dir.File("a.big"), Path = Dir.File("d.~journal");
    const std::string U1 = A + ".~undo", U2 = A + ".~undo2", U3 = A + ".~undo3";
    const Bytes First = Pattern(100, 1);
    WriteFile(A, First);
    TWriteJournal J(Path);
    auto Patch = [&](int64_t At, size_t Longer) {
      J.BeforeWrite(A, At, 4);
      Bytes Now = ReadFile(A);
      for (int64_t I = At; I < At + 4; ++I)
        Now[static_cast<size_t>(I)] ^= 0xFF;
      WriteFile(A, Concat({Now, Pattern(Longer, 9)}));
    };
    auto Exchange = [&](const std::string& Away, const std::string& Back) {
      J.BeforeReplace(A, Away);
      ASSERT_EQ(platform::MoveFile(A, Away), 0);
      J.BeforeMove(Back, A);
      ASSERT_EQ(platform::MoveFile(Back, A), 0);
    };
    Patch(8, 10);
    J.BeforeReplace(A, U1);
    ASSERT_EQ(platform::MoveFile(A, U1), 0);
    WriteFile(A, Pattern(160, 2));
    Patch(20, 40);
    Exchange(U2, U1);
    Patch(30, 5);
    Exchange(U3, U2);
    const Bytes Last = ReadFile(A);
    if (Committed) {
      J.Commit({});
      J.Finish();
      EXPECT_EQ(ReadFile(A), Last);
    } else {
      EXPECT_EQ(J.Rollback().Outcome, TWriteJournal::TOutcome::RolledBack);
      EXPECT_EQ(ReadFile(A), First);
    }
    for (const std::string& Left : {U1, U2, U3, Path})
      EXPECT_FALSE(FileExists(Left)) << Left;
  }
}

// A transaction that died: F patched in place and extended, G replaced with its old file kept as a
// backup, and a copy created. Its journal cut at every length, and damaged at every byte, is recovered:
// each record that is whole is applied and the first torn or damaged one ends the journal.
class JournalSweep : public ::testing::Test {
protected:
  JournalSweep() {
    Original = Pattern(300, 1);
    OldG = Pattern(200, 2);
    NewG = Pattern(250, 3);
    Transact();
    Journal = ReadFile(Path);
    Changed = ReadFile(F);
    // The records' ends, from their payloads (a name is its role, then its length and its bytes relative to
    // the folder): Length, Bytes, Backup, Created.
    auto Name = [](const std::string& Path) { return 5 + ExtractFileName(Path).size(); };
    size_t Ends[4] = {12 + Name(F) + 8, 12 + Name(F) + 8 + 4 + 8, 12 + Name(G) + Name(Backup),
                      12 + Name(Copy)};
    for (size_t I = 0, End = 0; I < 4; ++I)
      RecordEnds.push_back(End += Ends[I]);
  }
  void Transact() {
    for (const std::string& Name : {Path, Copy, Backup})
      if (FileExists(Name))
        platform::DeleteFile(Name);
    WriteFile(F, Original);
    WriteFile(G, OldG);
    TWriteJournal J(Path);
    J.BeforeWrite(F, 10, 8);
    Bytes Patched = Original;
    for (int I = 10; I < 18; ++I)
      Patched[I] ^= 0xFF;
    WriteFile(F, Concat({Patched, Pattern(100, 4)}));
    J.BeforeReplace(G, Backup);
    platform::MoveFile(G, Backup);
    WriteFile(G, NewG);
    J.BeforeCreate(Copy);
    WriteFile(Copy, Pattern(30, 5));
  }
  // The files after recovering a journal of which the first Whole records survive.
  std::vector<Bytes> Expected(size_t Whole) const {
    Bytes FNow = Whole >= 2 ? Original : Whole >= 1 ? Bytes(Changed.begin(), Changed.begin() + 300) : Changed;
    return {FNow, Whole >= 3 ? OldG : NewG, Whole >= 4 ? Bytes() : Pattern(30, 5)};
  }
  std::vector<Bytes> Recovered(const Bytes& JournalBytes) {
    Transact();
    WriteFile(Path, JournalBytes);
    TWriteJournal::Recover(Path);
    EXPECT_FALSE(FileExists(Path));
    return {ReadFile(F), ReadFile(G), FileExists(Copy) ? ReadFile(Copy) : Bytes()};
  }
  size_t WholeRecords(size_t Length) const {
    size_t Whole = 0;
    while (Whole < RecordEnds.size() && RecordEnds[Whole] <= Length)
      ++Whole;
    return Whole;
  }

  TempDir Dir;
  std::string F = Dir.File("f.big"), G = Dir.File("g.big"), Backup = Dir.File("g.big.~undo"),
              Copy = Dir.File("f.big.~new"), Path = Dir.File("d.~journal");
  Bytes Original, OldG, NewG, Journal, Changed;
  std::vector<size_t> RecordEnds;
};

TEST_F(JournalSweep, EveryPrefixAppliesTheWholeRecords) {
  ASSERT_EQ(RecordEnds.back(), Journal.size());
  for (size_t Length = 0; Length <= Journal.size(); ++Length) {
    SCOPED_TRACE("cut at " + std::to_string(Length));
    EXPECT_EQ(Recovered(Bytes(Journal.begin(), Journal.begin() + static_cast<std::ptrdiff_t>(Length))),
              Expected(WholeRecords(Length)));
  }
}

TEST_F(JournalSweep, ADamagedRecordEndsTheJournal) {
  for (size_t At = 0; At < Journal.size(); ++At) {
    SCOPED_TRACE("damaged at " + std::to_string(At));
    Bytes Damaged = Journal;
    Damaged[At] ^= 0x5A;
    EXPECT_EQ(Recovered(Damaged), Expected(WholeRecords(At)));
  }
}

} // namespace

namespace {

// A game folder with a journal that may name its definition ("streams.dat"), the one archive it names
// ("ingame.big") and the kept folder, beside a sentinel folder and with a file of the user's inside it.
class HostileJournal : public ::testing::Test {
protected:
  HostileJournal() {
    std::filesystem::create_directories(Game);
    std::filesystem::create_directories(Sentinel);
    Scope.IsMember = [](const std::string& Name) { return Name == "ingame.big"; };
    Scope.KeptFolder = "Original music";
  }
  void WriteGame() {
    WriteFile(GameFile("streams.dat"), Pattern(60, 1));
    WriteFile(GameFile("ingame.big"), Pattern(100, 2));
    WriteFile(GameFile("notes.txt"), Pattern(30, 3));
    WriteFile(JoinPath(Sentinel, "victim.txt"), Pattern(40, 4));
  }
  std::vector<Bytes> Everything() const {
    return {ReadFile(GameFile("streams.dat")), ReadFile(GameFile("ingame.big")),
            ReadFile(GameFile("notes.txt")), ReadFile(JoinPath(Sentinel, "victim.txt"))};
  }
  std::string GameFile(const std::string& Name) const { return JoinPath(Game, Name); }

  TempDir Dir;
  std::string Game = Dir.File("game"), Sentinel = Dir.File("sentinel"),
              Journal = GameFile("streams.dat.~journal");
  TJournalScope Scope;
};

// A record as the journal frames it: type, payload length, payload, CRC-32 of the three before.
Bytes Record(uint32_t Type, const TRecordWriter& Payload) {
  TRecordWriter Head;
  Head.U32(Type).U32(static_cast<uint32_t>(Payload.Result().size()));
  Bytes Framed = Concat({Head.Result(), Payload.Result()});
  return Concat({Framed, TRecordWriter().U32(Crc32(Framed.data(), Framed.size())).Result()});
}

TRecordWriter Named(uint8_t Role, const std::string& Name) {
  TRecordWriter Out;
  Out.U8(Role).Text(Name);
  return Out;
}

enum : uint8_t { Subject = 1, Member = 2, Kept = 3, Song = 4 };
enum : uint32_t {
  Length = 1,
  Write = 2,
  Backup = 3,
  Created = 4,
  Note = 5,
  Commit = 6,
  Garbage = 8,
  Moved = 9
};

TEST_F(HostileJournal, NothingOutsideItsRolesChangesAndTheJournalIsSetAside) {
  const std::string Outside = JoinPath(Sentinel, "victim.txt");
  const Bytes Abc = TextBytes("abc");
  const Bytes InGame = Record(Length, Named(Member, "ingame.big").I64(100));
  struct TCase {
    const char* What;
    Bytes Journal;
    Bytes Backup = {}; // when not empty, the archive's backup ("ingame.big.~undo") beside it
  };
  const TCase Cases[] = {
      {"a length of an absolute path", Record(Length, Named(Member, Outside).I64(0))},
      {"bytes written through ../", Record(Write, Named(Member, "../sentinel/victim.txt").I64(0).Bytes(Abc))},
      {"bytes written through ..\\",
       Record(Write, Named(Member, "..\\sentinel\\victim.txt").I64(0).Bytes(Abc))},
      {"a backup put back from outside",
       Record(Backup, Named(Member, "ingame.big").U8(Member).Text("../sentinel/victim.txt"))},
      {"the user's file as a backup",
       Record(Backup, Named(Member, "ingame.big").U8(Member).Text("notes.txt"))},
      {"a file moved back from outside",
       Record(Moved, Named(Member, "ingame.big").U8(Member).Text("../sentinel/victim.txt"))},
      {"the user's file moved back as a backup",
       Record(Moved, Named(Member, "ingame.big").U8(Member).Text("notes.txt"))},
      {"the user's file as created", Record(Created, Named(Member, "notes.txt"))},
      {"the user's file as garbage", Record(Garbage, Named(Member, "notes.txt"))},
      {"a kept copy as garbage", Record(Garbage, Named(Kept, "Original music/audio/streams.dat"))},
      {"a commit onto the user's file", Record(Commit, Named(Member, "notes.txt")
                                                           .U32(1)
                                                           .U8(Member)
                                                           .Text("notes.txt.~new")
                                                           .U8(Member)
                                                           .Text("notes.txt.~old"))},
      {"a kept song outside its folder", Record(Note, TRecordWriter().Bytes(Abc).U8(Song).Text(
                                                          "streams.dat.~songs/../../sentinel/victim.txt"))},
      {"a role that is not the name's", Record(Length, Named(Subject, "ingame.big").I64(10))},
      {"a role of no kind", Record(Length, Named(9, "ingame.big").I64(10))},
      {"a record of no kind", Record(99, TRecordWriter())},
      {"bytes at offset -1", Concat({InGame, Record(Write, Named(Member, "ingame.big").I64(-1).Bytes(Abc))})},
      {"bytes at offset 2^62",
       Concat({InGame, Record(Write, Named(Member, "ingame.big").I64(int64_t(1) << 62).Bytes(Abc))})},
      {"bytes past the end of the file",
       Concat({InGame, Record(Write, Named(Member, "ingame.big").I64(99).Bytes(Abc))})},
      {"bytes past the end of the file, within a backup it does not name",
       Concat({InGame, Record(Write, Named(Member, "ingame.big").I64(150).Bytes(Abc))}), Pattern(200, 5)},
      {"a negative length", Record(Length, Named(Member, "ingame.big").I64(-5))},
      {"a length past 4 GiB", Record(Length, Named(Member, "ingame.big").I64(int64_t(1) << 40))},
      {"a journal larger than any change writes",
       Concat({InGame, Bytes(size_t(TWriteJournal::kMaxJournalSize), 0)})},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.What);
    WriteGame();
    const std::string Backup = GameFile("ingame.big.~undo");
    if (!Case.Backup.empty())
      WriteFile(Backup, Case.Backup);
    const std::vector<Bytes> Before = Everything();
    WriteFile(Journal, Case.Journal);
    TWriteJournal::TRecovery Result = TWriteJournal::Recover(Journal, Scope);
    EXPECT_EQ(Result.Outcome, TWriteJournal::TOutcome::SetAside);
    EXPECT_EQ(Everything(), Before);
    EXPECT_FALSE(FileExists(Journal));
    EXPECT_EQ(ExtractFilePath(Result.SetAsideAs), ExtractFilePath(Journal));
    EXPECT_EQ(ReadFile(Result.SetAsideAs), Case.Journal) << "the journal is kept whole under its new name";
    EXPECT_FALSE(Result.Reason.empty());
    EXPECT_EQ(TWriteJournal::Recover(Journal, Scope).Outcome, TWriteJournal::TOutcome::Nothing)
        << "the next open is not blocked";
    platform::DeleteFile(Result.SetAsideAs);
    if (!Case.Backup.empty()) {
      EXPECT_EQ(ReadFile(Backup), Case.Backup);
      platform::DeleteFile(Backup);
    }
  }
  // The same records within their roles and bounds are applied: the archive is cut back; a length past
  // its end leaves it as it is.
  Bytes Expected = Pattern(100, 2);
  for (int64_t Cut : {int64_t(5000), int64_t(60)}) {
    WriteGame();
    WriteFile(Journal, Concat({Record(Length, Named(Member, "ingame.big").I64(Cut)),
                               Record(Write, Named(Member, "ingame.big").I64(57).Bytes(Abc))}));
    EXPECT_EQ(TWriteJournal::Recover(Journal, Scope).Outcome, TWriteJournal::TOutcome::RolledBack);
    Expected.resize(static_cast<size_t>(std::min<int64_t>(Cut, 100)));
    std::copy(Abc.begin(), Abc.end(), Expected.begin() + 57);
    EXPECT_EQ(ReadFile(GameFile("ingame.big")), Expected);
  }
}

} // namespace
