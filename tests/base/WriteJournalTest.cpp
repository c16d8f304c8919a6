// The write journal's file: its layout pinned by a whole small file, and every prefix and every damaged
// copy of a journal recovered without harm, applying exactly the records that are whole.

#include "base/WriteJournal.h"
#include "base/Paths.h"
#include "platform/FileSystem.h"
#include "tests/fixtures/TestFiles.h"

#include <gtest/gtest.h>

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
    size_t Ends[4] = {12 + Name(F) + 8, 12 + Name(F) + 8 + 4 + 8, 12 + Name(G) + Name(Backup), 12 + Name(Copy)};
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
