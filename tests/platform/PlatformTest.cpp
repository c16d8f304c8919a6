#include "base/Paths.h"
#include "platform/Faults.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "tests/fixtures/TestFiles.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#endif

using namespace fixtures;
using platform::File;
using platform::FileAccess;

namespace {

class PlatformTest : public ::testing::Test {
protected:
  void TearDown() override { platform::ClearFaults(); }
  TempDir Dir;
};

// A folder on another file system than the test folder, if the machine has one.
std::string OtherVolumeFolder(const std::string& Than) {
  for (const char* Candidate : {"/dev/shm", "Z:\\dev\\shm"}) {
    std::error_code Error;
    if (!std::filesystem::is_directory(Candidate, Error))
      continue;
    std::string Probe = JoinPath(Candidate, "orvik-probe-" + std::to_string(std::rand()));
    WriteFile(Probe, {1});
    int Rename = platform::MoveFile(Probe, Than + "probe");
    if (Rename == 0) {
      platform::DeleteFile(Than + "probe");
      continue;
    }
    platform::DeleteFile(Probe);
    return Candidate;
  }
  return "";
}

} // namespace

TEST_F(PlatformTest, SharingModesExcludeWritersWhileAFileIsOpen) {
  std::string Path = Dir.File("shared.bin");
  WriteFile(Path, Pattern(10, 1));
  {
    File Reader;
    ASSERT_EQ(Reader.Open(Path, FileAccess::Read), 0);
    File SecondReader;
    EXPECT_EQ(SecondReader.Open(Path, FileAccess::Read), 0) << "readers share";
    File Writer;
    EXPECT_NE(Writer.Open(Path, FileAccess::ReadWrite), 0) << "a writer got in beside a reader";
    EXPECT_NE(Writer.Open(Path, FileAccess::Create), 0) << "a creator got in beside a reader";
    EXPECT_FALSE(Writer.IsOpen());
  }
  EXPECT_EQ(ReadFile(Path), Pattern(10, 1)) << "a refused create truncated the file";
  {
    File Writer;
    ASSERT_EQ(Writer.Open(Path, FileAccess::ReadWrite), 0);
    File Other;
    EXPECT_NE(Other.Open(Path, FileAccess::Read), 0) << "a reader got in beside a writer";
    EXPECT_NE(Other.Open(Path, FileAccess::ReadWrite), 0);
  }
  File Again;
  EXPECT_EQ(Again.Open(Path, FileAccess::ReadWrite), 0) << "closing released the file";
}

#ifndef _WIN32
// A child forked while a file was open holds its lock until the child execs or ends, even after this
// process closed the file: the next open waits that out instead of failing as if another writer had it.
TEST_F(PlatformTest, AnOpenWaitsForAChildThatStillHoldsAClosedFile) {
  std::string Path = Dir.File("journal.bin");
  WriteFile(Path, Pattern(10, 1));
  File Writer;
  ASSERT_EQ(Writer.Open(Path, FileAccess::ReadWrite), 0);
  const pid_t Child = ::fork();
  ASSERT_NE(Child, -1);
  if (Child == 0) {
    const timespec Pause = {0, 60'000'000};
    ::nanosleep(&Pause, nullptr);
    ::_exit(0);
  }
  Writer.Close();
  File Again;
  EXPECT_EQ(Again.Open(Path, FileAccess::ReadWrite), 0);
  int Status = 0;
  ::waitpid(Child, &Status, 0);
}
#endif

#ifdef _WIN32
// A file whose name the code page lacks (music from anywhere in the world) is still named in it, by its
// short name: from a dialog's wide name and from a folder's listing alike, so that the file opens.
TEST_F(PlatformTest, NamesTheCodePageLacksStillOpen) {
  const std::wstring Foreign = L"\u97F3\u697D \U0001F3B5 song.wav", Plain = L"plain song.wav";
  ASSERT_NE(platform::FileNameToWide(platform::WideToFileName(Foreign)), Foreign) << "the code page has it";
  for (const std::wstring& Name : {Foreign, Plain}) {
    std::ofstream Made(std::filesystem::path(platform::FileNameToWide(Dir.Path()) + Name));
    ASSERT_TRUE(Made.is_open());
  }
  const std::string Narrow = platform::NarrowFileName(platform::FileNameToWide(Dir.Path()) + Foreign);
  EXPECT_TRUE(platform::IsFile(Narrow)) << Narrow;
  std::vector<std::string> Names;
  ASSERT_EQ(platform::FilesInFolder(Dir.Path(), Names), 0);
  ASSERT_EQ(Names.size(), 2u);
  for (const std::string& Name : Names) {
    File Listed;
    EXPECT_EQ(Listed.Open(Dir.File(Name), FileAccess::Read), 0) << Name;
  }
  EXPECT_NE(std::find(Names.begin(), Names.end(), "plain song.wav"), Names.end());
  EXPECT_NE(std::find(Names.begin(), Names.end(), ExtractFileName(Narrow)), Names.end())
      << "the listing and the dialog's name agree";
}
#endif

TEST_F(PlatformTest, FilesReadWriteSeekAndResize) {
  std::string Path = Dir.File("data.bin");
  File Out;
  ASSERT_EQ(Out.Open(Path, FileAccess::Create), 0);
  size_t Done = 0;
  Bytes Data = Pattern(1000, 2);
  ASSERT_EQ(Out.Write(Data.data(), Data.size(), Done), 0);
  EXPECT_EQ(Done, 1000u);
  int64_t Position = 0;
  ASSERT_EQ(Out.Seek(-10, platform::SeekOrigin::End, Position), 0);
  EXPECT_EQ(Position, 990);
  Bytes Tail(20);
  ASSERT_EQ(Out.Read(Tail.data(), Tail.size(), Done), 0);
  EXPECT_EQ(Done, 10u) << "a read at the end returns what is there";
  ASSERT_EQ(Out.SetSize(300), 0);
  int64_t Size = 0;
  ASSERT_EQ(Out.GetSize(Size), 0);
  EXPECT_EQ(Size, 300);
  Out.Close();
  EXPECT_EQ(ReadFile(Path), Bytes(Data.begin(), Data.begin() + 300));

  File Missing;
  EXPECT_NE(Missing.Open(Dir.File("missing"), FileAccess::Read), 0);
  EXPECT_NE(Missing.Open(Dir.Path(), FileAccess::Read), 0) << "a folder opened as a file";
}

TEST_F(PlatformTest, DeleteMoveAndIsFile) {
  std::string A = Dir.File("a.bin"), B = Dir.File("b.bin");
  EXPECT_FALSE(platform::IsFile(A));
  EXPECT_FALSE(platform::IsFile(Dir.Path())) << "a folder is not a file";
  std::filesystem::create_directory(Dir.File("folder"));
  EXPECT_FALSE(platform::IsFile(Dir.File("folder")));
  EXPECT_NE(platform::DeleteFile(Dir.File("folder")), 0);
  WriteFile(A, {1, 2});
  EXPECT_TRUE(platform::IsFile(A));
  WriteFile(B, {3});
  EXPECT_NE(platform::MoveFile(A, B), 0) << "a move must not overwrite";
  EXPECT_EQ(ReadFile(B), Bytes({3}));
  ASSERT_EQ(platform::DeleteFile(B), 0);
  EXPECT_EQ(platform::MoveFile(A, B), 0);
  EXPECT_FALSE(platform::IsFile(A));
  EXPECT_EQ(ReadFile(B), Bytes({1, 2}));
  EXPECT_NE(platform::DeleteFile(A), 0);
}

// Only regular files open: a device never ends and a pipe blocks its reader, so both get the open error
// at once, as a folder does, in every access mode.
TEST_F(PlatformTest, OnlyRegularFilesOpen) {
  const bool Windows = platform::PathDelimiter() == '\\';
  std::vector<std::pair<std::string, int>> Refused = {
      {Dir.Path(), 0}, {Windows ? "NUL" : "/dev/null", platform::NotAFileError()}};
#ifndef _WIN32
  ASSERT_EQ(::mkfifo(Dir.File("pipe").c_str(), 0600), 0);
  Refused.push_back({Dir.File("pipe"), platform::NotAFileError()});
#endif
  for (const auto& [Path, Expected] : Refused)
    for (FileAccess Access : {FileAccess::Read, FileAccess::ReadWrite, FileAccess::Create}) {
      SCOPED_TRACE(Path);
      File F;
      int Error = F.Open(Path, Access);
      EXPECT_NE(Error, 0);
      if (Expected != 0) {
        EXPECT_EQ(Error, Expected);
      }
      EXPECT_FALSE(F.IsOpen());
    }
}

TEST_F(PlatformTest, ReplaceFilePutsTheNewFileInPlaceOrLeavesTheOldOne) {
  std::string Source = Dir.File("new.bin"), Target = Dir.File("target.bin");
  WriteFile(Target, {1, 1, 1});
  EXPECT_NE(platform::ReplaceFile(Source, Target), 0) << "a missing source replaced the target";
  EXPECT_EQ(ReadFile(Target), Bytes({1, 1, 1}));

  WriteFile(Source, {2, 2});
  ASSERT_EQ(platform::ReplaceFile(Source, Target), 0);
  EXPECT_EQ(ReadFile(Target), Bytes({2, 2}));
  EXPECT_FALSE(platform::IsFile(Source));

  WriteFile(Source, {3});
  ASSERT_EQ(platform::ReplaceFile(Source, Dir.File("fresh.bin")), 0) << "a target that does not exist yet";
  EXPECT_EQ(ReadFile(Dir.File("fresh.bin")), Bytes({3}));

  platform::InjectFault(platform::FaultKind::Move, 1, platform::AccessDeniedError());
  WriteFile(Source, {4});
  EXPECT_EQ(platform::ReplaceFile(Source, Target), platform::AccessDeniedError());
  EXPECT_EQ(ReadFile(Target), Bytes({2, 2}));
  EXPECT_TRUE(platform::IsFile(Source));
}

TEST_F(PlatformTest, ReplaceFileAcrossVolumesCopiesBesideTheTarget) {
  std::string Other = OtherVolumeFolder(Dir.Path());
  if (Other.empty())
    GTEST_SKIP() << "no second file system on this machine";
  std::string Source = JoinPath(Other, "orvik-replace-" + std::to_string(std::rand()));
  std::string Target = Dir.File("target.bin");
  WriteFile(Target, {9});
  Bytes Data = Pattern(200000, 3);
  WriteFile(Source, Data);
  ASSERT_EQ(platform::ReplaceFile(Source, Target), 0);
  EXPECT_EQ(ReadFile(Target), Data);
  EXPECT_FALSE(platform::IsFile(Source));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir.Path()), {}), 2) << "scratch copy left";
}

TEST_F(PlatformTest, TemporaryNamesAreUniqueFilesInTheTemporaryFolder) {
  std::string Folder;
  ASSERT_EQ(platform::TempFolder(Folder), 0);
  EXPECT_EQ(Folder, Dir.ScratchPath());
  std::string First, Second;
  ASSERT_EQ(platform::CreateUniqueFile(Folder, "~compr", First), 0);
  ASSERT_EQ(platform::CreateUniqueFile(Folder, "~compr", Second), 0);
  EXPECT_NE(First, Second);
  EXPECT_TRUE(platform::IsFile(First)) << "the unique name is reserved by an empty file";
  EXPECT_EQ(ReadFile(First).size(), 0u);
  EXPECT_EQ(ExtractFilePath(First), Folder);
  EXPECT_EQ(ExtractFileName(First).substr(0, 3), "~co");
}

TEST_F(PlatformTest, FaultsFailTheNthCallOnceOrFromThenOn) {
  using platform::FaultKind;
  std::string Path = Dir.File("f.bin");
  WriteFile(Path, {1});
  File F;
  platform::InjectFault(FaultKind::Open, 2, platform::DiskFullError());
  EXPECT_EQ(F.Open(Path, FileAccess::Read), 0);
  EXPECT_EQ(F.Open(Path, FileAccess::Read), platform::DiskFullError());
  EXPECT_EQ(F.Open(Path, FileAccess::Read), 0) << "a one-shot fault fired twice";
  EXPECT_EQ(platform::FaultCallCount(FaultKind::Open), 3);
  EXPECT_EQ(platform::FaultCallCount(FaultKind::Create), 0) << "kinds are counted apart";

  platform::InjectFault(FaultKind::Read, 1, platform::AccessDeniedError(), true);
  uint8_t Byte = 0;
  size_t Done = 7;
  EXPECT_EQ(F.Read(&Byte, 1, Done), platform::AccessDeniedError());
  EXPECT_EQ(Done, 0u);
  EXPECT_EQ(F.Read(&Byte, 1, Done), platform::AccessDeniedError()) << "a persistent fault stopped";
  platform::ClearFaults();
  EXPECT_EQ(F.Read(&Byte, 1, Done), 0);
  EXPECT_EQ(Byte, 1);
  EXPECT_EQ(platform::FaultCallCount(FaultKind::Read), 1);
}

TEST_F(PlatformTest, ErrorTextsAndAnsiText) {
  for (int Code : {2, platform::AccessDeniedError(), platform::DiskFullError()}) {
    std::string Text = platform::SystemErrorText(Code);
    EXPECT_FALSE(Text.empty()) << Code;
    EXPECT_NE(Text.back(), '.') << Code;
    EXPECT_EQ(Text.find_first_of("\r\n"), std::string::npos) << Code;
  }
  std::string Ascii;
  for (char C = ' '; C < 127; ++C)
    Ascii += C;
  EXPECT_EQ(platform::WideToAnsi(platform::AnsiToWide(Ascii)), Ascii);
  EXPECT_EQ(platform::AnsiToWide("Song 1"), L"Song 1");
  EXPECT_EQ(platform::AnsiToWide(std::string("Caf\xE9", 4)), L"Caf\u00E9");
  EXPECT_EQ(platform::WideToAnsi(L"Caf\u00E9"), std::string("Caf\xE9", 4));
}

TEST(CommandLine, SplitsLikeTheCallerQuotes) {
  // Paths arrive quoted as they are, without escaping: a backslash is a plain character.
  struct {
    const wchar_t* Line;
    std::vector<std::wstring> Expected;
  } Cases[] = {
      {L"\"C:\\Program Files\\ORVIK\\sx\\sx.exe\" -wave \"C:\\Temp\\~asf1.asf\" -=\"C:\\My Music\\a b.wav\"",
       {L"C:\\Program Files\\ORVIK\\sx\\sx.exe", L"-wave", L"C:\\Temp\\~asf1.asf",
        L"-=C:\\My Music\\a b.wav"}},
      {L"sx  -pcstream\t-eaxa_blk \"in\" -=\"out\"", {L"sx", L"-pcstream", L"-eaxa_blk", L"in", L"-=out"}},
      {L"\"C:\\dir\\\" -=\"\"", {L"C:\\dir\\", L"-="}},
      {L"a\"b c\"d \"\"", {L"ab cd", L""}},
      {L"", {}},
  };
  for (auto& C : Cases)
    EXPECT_EQ(platform::SplitCommandLine(C.Line), C.Expected) << platform::WideToAnsi(C.Line);
}
