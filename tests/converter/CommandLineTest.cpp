// The command line: splitting, parsing, and the built program run with the editor's exact command lines.
#include "converter/CommandLine.h"
#include "converter/Converter.h"
#include "converter/formats/EAStreamReader.h"
#include "converter/formats/EAStreamWriter.h"
#include "converter/formats/WaveWriter.h"
#include "tests/converter/Signals.h"
#include "tests/fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace sx;

namespace {

TEST(CommandLine, ParsesTheOptions) {
  struct {
    std::vector<std::string> Arguments;
    TOutputKind Kind;
    TEACodec Codec;
  } Good[] = {
      {{"-wave", "i", "-=o"}, TOutputKind::Wave, TEACodec::EAXA},
      {{"-aiff", "i", "-=o"}, TOutputKind::Aiff, TEACodec::EAXA},
      {{"-pcstream", "-eaxa_blk", "i", "-=o"}, TOutputKind::EAStream, TEACodec::EAXA},
      {{"-pcstream", "-s16l_blk", "i", "-=o"}, TOutputKind::EAStream, TEACodec::PcmS16LE},
      {{"-pcstream", "-s8_blk", "i", "-=o"}, TOutputKind::EAStream, TEACodec::PcmS8},
      {{"-pcstream", "-mt_blk", "i", "-=o"}, TOutputKind::EAStream, TEACodec::MicroTalk10},
      {{"-=o", "i", "-mt5_blk", "-pcstream"}, TOutputKind::EAStream, TEACodec::MicroTalk5},
      {{"-pcstream", "i", "-=o"}, TOutputKind::EAStream, TEACodec::EAXA},
      {{"-flac", "i", "-=o"}, TOutputKind::Flac, TEACodec::EAXA},
  };
  for (auto& C : Good) {
    TCommand Command = ParseCommand(C.Arguments);
    EXPECT_EQ(Command.Kind, C.Kind);
    EXPECT_EQ(Command.Codec, C.Codec);
    EXPECT_EQ(Command.Input, "i");
    EXPECT_EQ(Command.Output, "o");
  }
  const std::vector<std::vector<std::string>> Bad = {
      {"i", "-=o"},
      {"-wave", "-=o"},
      {"-wave", "i"},
      {"-wave", "i", "-="},
      {"-wave", "i", "j", "-=o"},
      {"-wave", "-aiff", "i", "-=o"},
      {"-wave", "-eaxa_blk", "i", "-=o"},
      {"-pcstream", "-mt_blk", "-s8_blk", "i", "-=o"},
      {"-mp3", "i", "-=o"},
      {"-wave", "i", "-=o", "-=p"},
  };
  for (auto& Arguments : Bad)
    EXPECT_THROW(ParseCommand(Arguments), EConvertError) << ::testing::PrintToString(Arguments);
}

TEST(CommandLine, ParsesGainsAndReports) {
  const std::pair<std::string, double> Gains[] = {{"-gain=6", 6},        {"-gain=-3.5", -3.5},
                                                  {"-gain=+0.25", 0.25}, {"-gain=60", 60},
                                                  {"-gain=-60", -60},    {"-gain=0", 0}};
  for (const auto& [Option, Db] : Gains) {
    const TCommand C = ParseCommand({"-pcstream", Option, "i", "-=o"});
    ASSERT_TRUE(C.GainDb) << Option;
    EXPECT_EQ(*C.GainDb, Db) << Option;
    EXPECT_EQ(C.Action, TAction::Convert);
  }
  EXPECT_FALSE(ParseCommand({"-wave", "i", "-=o"}).GainDb);
  for (const auto& [Option, Lufs] :
       std::initializer_list<std::pair<std::string, double>>{{"-loudness=-14", -14},
                                                             {"-loudness=-70", -70},
                                                             {"-loudness=10", 10},
                                                             {"-loudness=-23.5", -23.5}}) {
    const TCommand C = ParseCommand({"-pcstream", Option, "i", "-=o"});
    EXPECT_TRUE(C.Loudness && *C.Loudness == Lufs && !C.GainDb) << Option;
  }
  struct {
    std::vector<std::string> Arguments;
    TAction Action;
    std::vector<std::string> Inputs;
  } Reports[] = {
      {{"-measure", "a"}, TAction::Measure, {"a"}},
      {{"-measure", "a b", "c"}, TAction::Measure, {"a b", "c"}},
      {{"x", "-tags"}, TAction::Tags, {"x"}},
      {{"-tags", "-tags", "x"}, TAction::Tags, {"x"}},
  };
  for (auto& R : Reports) {
    const TCommand C = ParseCommand(R.Arguments);
    EXPECT_EQ(C.Action, R.Action);
    EXPECT_EQ(C.Reports, R.Inputs);
  }
  const std::vector<std::vector<std::string>> Bad = {
      {"-wave", "-gain=", "i", "-=o"},
      {"-wave", "-gain=abc", "i", "-=o"},
      {"-wave", "-gain=60.5", "i", "-=o"},
      {"-wave", "-gain=1e2", "i", "-=o"},
      {"-wave", "-gain=nan", "i", "-=o"},
      {"-wave", "-gain=inf", "i", "-=o"},
      {"-wave", "-gain=0x10", "i", "-=o"},
      {"-wave", "-gain=1-2", "i", "-=o"},
      {"-wave", "-gain=.", "i", "-=o"},
      {"-wave", "-gain=1", "-gain=1", "i", "-=o"},
      {"-wave", "-loudness=-70.5", "i", "-=o"},
      {"-wave", "-loudness=10.01", "i", "-=o"},
      {"-wave", "-loudness=", "i", "-=o"},
      {"-wave", "-loudness=-14", "-loudness=-14", "i", "-=o"},
      {"-wave", "-loudness=-14", "-gain=1", "i", "-=o"},
      {"-measure", "-loudness=-14", "a"},
      {"-gain=3", "i", "-=o"},
      {"-measure"},
      {"-measure", "-tags", "a"},
      {"-measure", "-wave", "a"},
      {"-tags", "a", "-=o"},
      {"-measure", "-gain=3", "a"},
      {"-tags", ""},
  };
  for (auto& Arguments : Bad)
    EXPECT_THROW(ParseCommand(Arguments), EConvertError) << ::testing::PrintToString(Arguments);
}

// -title=, -artist=, -album=: UTF-8 text for a Wave, AIFF or FLAC output, each once, without control
// characters; an empty one tags nothing.
TEST(CommandLine, ParsesTags) {
  const TCommand C = ParseCommand({"-flac", "-artist=Ärtist ☕", "i", "-title=Café Noir", "-album=", "-=o"});
  EXPECT_EQ(C.Tags.Title, "Café Noir");
  EXPECT_EQ(C.Tags.Artist, "Ärtist ☕");
  EXPECT_EQ(C.Tags.Album, "");
  EXPECT_TRUE(ParseCommand({"-wave", "i", "-=o"}).Tags.Empty());
  EXPECT_EQ(ParseCommand({"-aiff", "-album=\"Q\" = 1", "i", "-=o"}).Tags.Album, "\"Q\" = 1");
  struct {
    std::vector<std::string> Arguments;
    std::string Message;
  } Bad[] = {
      {{"-pcstream", "-title=T", "i", "-=o"}, "-title, -artist and -album need -wave, -aiff or -flac"},
      {{"-pcstream", "-mt_blk", "-album=", "i", "-=o"},
       "-title, -artist and -album need -wave, -aiff or -flac"},
      {{"-wave", "-title=a", "-title=b", "i", "-=o"}, "More than one -title given"},
      {{"-wave", "-artist=a\tb", "i", "-=o"},
       "-artist must not hold control characters (line breaks, tabs and the like)"},
      {{"-wave", "-album=a\nb", "i", "-=o"},
       "-album must not hold control characters (line breaks, tabs and the like)"},
      {{"-flac", "-title=a\x7F", "i", "-=o"},
       "-title must not hold control characters (line breaks, tabs and the like)"},
      {{"-flac", "-title=a\xC2\x85", "i", "-=o"},
       "-title must not hold control characters (line breaks, tabs and the like)"},
      {{"-flac", "-title=Caf\xE9", "i", "-=o"}, "-title is not UTF-8 text"},
      {{"-tags", "-title=T", "a"}, "-measure and -tags take input files only, not -title=T"},
  };
  for (auto& B : Bad) {
    try {
      ParseCommand(B.Arguments);
      ADD_FAILURE() << "accepted " << ::testing::PrintToString(B.Arguments);
    } catch (const EConvertError& E) {
      EXPECT_EQ(E.what(), B.Message);
    }
  }
}

std::string EditorLine(const std::string& Option, const std::string& Input, const std::string& Output) {
  return "\"" + std::string(SX_PATH) + "\" " + Option + "\"" + Input + "\" -=\"" + Output + "\"";
}

// Export and preview: an extracted ".asf" in, each of the seven options out. Import: the user's file in,
// an EA-XA stream out. All paths hold blanks.
TEST(CommandLine, RunsTheEditorsCommandLines) {
  fixtures::TempDir Dir;
  const std::string Folder = Dir.File("my music folder");
  ASSERT_TRUE(std::filesystem::create_directory(Folder));
  const std::string Asf = Folder + "/~asf 12.asf";
  TAudio Sound = sxtest::Stereo(sxtest::Chord(22050, 9000), sxtest::Chirp(22050, 9000, 100, 3000));
  fixtures::WriteFile(Asf, WriteEAStream(Sound, TEACodec::EAXA));
  struct {
    const char* Option;
    const char* Name;
    TInputKind Kind;
  } Exports[] = {
      {"-wave ", "song one.wav", TInputKind::Wave},
      {"-pcstream -eaxa_blk ", "song two.asf", TInputKind::EAStream},
      {"-pcstream -s16l_blk ", "song 3.asf", TInputKind::EAStream},
      {"-pcstream -s8_blk ", "song 4.asf", TInputKind::EAStream},
      {"-pcstream -mt_blk ", "song 5.asf", TInputKind::EAStream},
      {"-pcstream -mt5_blk ", "song 6.asf", TInputKind::EAStream},
      {"-aiff ", "song 7.aif", TInputKind::Aiff},
      {"-flac ", "song 8.flac", TInputKind::Flac},
  };
  for (auto& E : Exports) {
    const std::string Out = Folder + "/" + E.Name;
    ASSERT_EQ(sxtest::RunCommand(EditorLine(E.Option, Asf, Out)), 0) << E.Option;
    const Bytes Data = fixtures::ReadFile(Out);
    EXPECT_EQ(DetectInput(Data), E.Kind) << E.Option;
    TAudio Back = ReadAudio(Data);
    EXPECT_EQ(Back.Samples.size(), Sound.Samples.size()) << E.Option;
    EXPECT_EQ(Back.Channels, 2u) << E.Option;
    EXPECT_EQ(Back.SampleRate, 22050u) << E.Option;
    // The import takes what the export made.
    const std::string Imported = Folder + "/~asf import " + E.Name + ".asf";
    ASSERT_EQ(sxtest::RunCommand(EditorLine("-pcstream -eaxa_blk ", Out, Imported)), 0) << E.Option;
    TEAStreamInfo Info;
    EXPECT_EQ(ReadEAStream(fixtures::ReadFile(Imported), &Info).Samples.size(), Sound.Samples.size());
    EXPECT_EQ(Info.Layout.Codec, TEACodec::EAXA);
  }
  EXPECT_EQ(Dir.ScratchFiles().size(), 0u);
}

TEST(CommandLine, FailuresExitNonZeroWithoutOutput) {
  fixtures::TempDir Dir;
  const std::string Bad = Dir.File("not sound.wav"), Out = Dir.File("out file.wav");
  fixtures::WriteFile(Bad, fixtures::TextBytes("hello"));
  EXPECT_NE(sxtest::RunCommand(EditorLine("-wave ", Bad, Out) + " 2> \"" + Dir.File("err.txt") + "\""), 0);
  EXPECT_FALSE(fixtures::FileExists(Out));
  const Bytes Err = fixtures::ReadFile(Dir.File("err.txt"));
  EXPECT_NE(std::string(Err.begin(), Err.end()).find("not a known sound format"), std::string::npos);
  EXPECT_NE(sxtest::RunCommand("\"" + std::string(SX_PATH) + "\" > " + sxtest::NullDevice()), 0);
  EXPECT_NE(sxtest::RunCommand(EditorLine("-flac ", Bad, Out) + " 2> " + sxtest::NullDevice()), 0);
  EXPECT_FALSE(fixtures::FileExists(Out));
}

} // namespace
