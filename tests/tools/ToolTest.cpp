// orvik-streams as a user runs it: a separate process on generated packs, its output read back.

#include "tools/orvik-streams/Tool.h"
#include "base/Paths.h"
#include "base/Records.h"
#include "base/Text.h"
#include "converter/formats/EAStreamWriter.h"
#include "converter/formats/WaveReader.h"
#include "converter/formats/WaveWriter.h"
#include "definitions/DefinitionSession.h"
#include "definitions/Preload.h"
#include "definitions/uTypes.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "tests/converter/Signals.h"
#include "tests/fixtures/Bigf.h"
#include "tests/fixtures/CrashLoop.h"
#include "tests/fixtures/Definition.h"
#include "tests/fixtures/DemoGame.h"
#include "tools/make-demo/Demo.h"
#include "workflows/KeptOriginals.h"
#include "workflows/Messages.h"
#include "workflows/SoundtrackExport.h"
#include "workflows/SoundtrackPack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#ifndef _WIN32
#endif

using namespace fixtures;

namespace {

// Just enough JSON to read the tool's output: objects, arrays, strings without escapes beyond \" and
// \\, numbers, booleans and null. Anything else fails the test.
struct TValue {
  enum { Null, Number, String, Array, Object, Boolean } Kind = Null;
  int64_t Int = 0;
  double Real = 0; // a number's value; Int is its whole part
  bool Flag = false;
  std::string Text;
  std::vector<TValue> Items;
  std::map<std::string, TValue> Fields;
  const TValue& operator[](const std::string& Key) const { return Fields.at(Key); }
  const TValue& operator[](size_t Index) const { return Items.at(Index); }
};

class TParser {
public:
  explicit TParser(const std::string& Text) : FText(Text) {}
  TValue Parse() {
    TValue Value = ParseValue();
    Skip();
    if (FPos != FText.size())
      throw std::runtime_error("text after the JSON value");
    return Value;
  }

private:
  void Skip() {
    while (FPos < FText.size() && std::isspace(static_cast<unsigned char>(FText[FPos])))
      ++FPos;
  }
  char Next() {
    Skip();
    if (FPos >= FText.size())
      throw std::runtime_error("JSON cut short");
    return FText[FPos];
  }
  void Expect(char C) {
    if (Next() != C)
      throw std::runtime_error(std::string("expected ") + C + " at " + std::to_string(FPos));
    ++FPos;
  }
  std::string ParseString() {
    Expect('"');
    std::string Text;
    while (FPos < FText.size() && FText[FPos] != '"') {
      if (FText[FPos] == '\\')
        ++FPos;
      Text += FText.at(FPos++);
    }
    Expect('"');
    return Text;
  }
  TValue ParseValue() {
    TValue V;
    char C = Next();
    if (C == '{') {
      V.Kind = TValue::Object;
      ++FPos;
      while (Next() != '}') {
        std::string Key = ParseString();
        Expect(':');
        V.Fields[Key] = ParseValue();
        if (Next() == ',')
          ++FPos;
      }
      ++FPos;
    } else if (C == '[') {
      V.Kind = TValue::Array;
      ++FPos;
      while (Next() != ']') {
        V.Items.push_back(ParseValue());
        if (Next() == ',')
          ++FPos;
      }
      ++FPos;
    } else if (C == '"') {
      V.Kind = TValue::String;
      V.Text = ParseString();
    } else if (FText.compare(FPos, 4, "null") == 0) {
      FPos += 4;
    } else if (FText.compare(FPos, 4, "true") == 0 || FText.compare(FPos, 5, "false") == 0) {
      V.Kind = TValue::Boolean;
      V.Flag = FText[FPos] == 't';
      FPos += V.Flag ? 4 : 5;
    } else {
      size_t Used = 0;
      V.Kind = TValue::Number;
      V.Real = std::stod(FText.substr(FPos), &Used);
      V.Int = static_cast<int64_t>(V.Real);
      FPos += Used;
    }
    return V;
  }
  const std::string& FText;
  size_t FPos = 0;
};

struct TRun {
  int Code;
  std::string Out, Err;
};

std::string Quoted(const std::string& Text) {
  return "\"" + Text + "\"";
}

// A pack of one song, a short EA stream, that Samples take.
Bytes OneSongPack(const std::string& Archive, std::vector<TPackSample> Samples) {
  const Bytes Song = sx::WriteEAStream(sxtest::Sine(22050, 600, 440.0, 0.4), sx::TEACodec::EAXA);
  TPackManifest Packed;
  Packed.Songs = {{"songs/1.asf",
                   Archive,
                   "packed.asf",
                   {static_cast<uint32_t>(Song.size()), Crc32(Song.data(), Song.size())}}};
  Packed.Samples = std::move(Samples);
  return MakeBigf({{"manifest", PackManifestBytes(Packed)}, {"songs/1.asf", Song}});
}

class ToolTest : public ::testing::Test {
protected:
  // Runs the built tool as a child process: its own exit code and output, with no shell in between.
  TRun Run(const std::vector<std::string>& Arguments) {
    std::string Tool =
        JoinPath(JoinPath(platform::ProgramFolder(), "cli"), "orvik-streams") + platform::ExecutableSuffix();
    std::string Parameters;
    for (const std::string& Argument : Arguments)
      Parameters += (Parameters.empty() ? "" : " ") + Quoted(Argument);
    platform::TCapturedRun Child;
    const bool Started =
        platform::ExecuteCapturing(platform::FileNameToWide(Tool), platform::FileNameToWide(Parameters),
                                   platform::FileNameToWide(Dir.File("")), Child);
    EXPECT_TRUE(Started) << Tool;
    return {Started ? Child.ExitCode : -1, Child.Output, Child.Errors};
  }

  // A.big (a1, a2), B.big (b1); descriptions 0, 1; streams [A a1 d0, B b1 none], [A a2 d1], [].
  std::string WritePack(uint32_t BrokenOffset = 0) {
    A = {{"a1.asf", Pattern(100, 1)}, {"a2.asf", Pattern(200, 2)}};
    B = {{"b1.asf", Pattern(80, 3)}};
    WriteFile(Dir.File("A.big"), MakeBigf(A));
    WriteFile(Dir.File("B.big"), MakeBigf(B));
    Def.Archives = {"A.big", "B.big"};
    Def.Descriptions = {{"Name0", "Singer0", "Album0"}, {"Name \"1\"", "Singer1", "Album1"}};
    Def.Streams = {
        {{BigfDataOffset(A, 0), 0, 0}, {BrokenOffset ? BrokenOffset : BigfDataOffset(B, 0), 1, -1}},
        {{BigfDataOffset(A, 1), 0, 1}},
        {}};
    WriteFile(Dir.File("streams.dat"), MakeDefinition(Def));
    return Dir.File("streams.dat");
  }

  TempDir Dir;
  std::vector<BigfEntry> A, B;
  Definition Def;
};

} // namespace

TEST_F(ToolTest, InfoAsJsonDescribesThePackAndVerifyNamesABrokenSample) {
  std::string Path = WritePack();
  TRun Info = Run({"info", Path, "--json"});
  ASSERT_EQ(Info.Code, 0) << Info.Err;
  TValue J = TParser(Info.Out).Parse();
  const std::vector<BigfEntry>* Archives[2] = {&A, &B};
  ASSERT_EQ(J["archives"].Items.size(), 2u);
  for (size_t I = 0; I < 2; ++I) {
    EXPECT_EQ(J["archives"][I]["name"].Text, Def.Archives[I]);
    EXPECT_EQ(J["archives"][I]["entries"].Int, static_cast<int64_t>(Archives[I]->size()));
    EXPECT_EQ(J["archives"][I]["size"].Int, static_cast<int64_t>(MakeBigf(*Archives[I]).size()));
  }
  ASSERT_EQ(J["descriptions"].Items.size(), 2u);
  EXPECT_EQ(J["descriptions"][1]["name"].Text, "Name \"1\"");
  EXPECT_EQ(J["descriptions"][1]["singer"].Text, "Singer1");
  EXPECT_EQ(J["descriptions"][0]["album"].Text, "Album0");
  ASSERT_EQ(J["streams"].Items.size(), Def.Streams.size());
  for (size_t S = 0; S < Def.Streams.size(); ++S) {
    ASSERT_EQ(J["streams"][S].Items.size(), Def.Streams[S].size());
    for (size_t I = 0; I < Def.Streams[S].size(); ++I) {
      const TValue& Sample = J["streams"][S][I];
      const DefSample& Want = Def.Streams[S][I];
      EXPECT_EQ(Sample["archive"].Int, Want.ArchiveIndex);
      EXPECT_EQ(Sample["offset"].Int, Want.FileOffset);
      EXPECT_EQ(Sample["description"].Int, Want.DescriptionIndex);
      const std::vector<BigfEntry>& Entries = *Archives[Want.ArchiveIndex];
      for (size_t E = 0; E < Entries.size(); ++E)
        if (BigfDataOffset(Entries, E) == Want.FileOffset) {
          EXPECT_EQ(Sample["entry"].Text, Entries[E].Name);
          EXPECT_EQ(Sample["size"].Int, static_cast<int64_t>(Entries[E].Data.size()));
        }
    }
  }
  TRun Good = Run({"verify", Path});
  EXPECT_EQ(Good.Code, 0) << Good.Out;

  // A file under a backup's name that no journal knows of is neither in the way nor written over.
  WriteFile(Path + ".~old", TextBytes("backup"));
  Bytes Before = ReadFile(Path);
  TRun Saved = Run({"describe", Path, "--description", "0", "--name", "Other"});
  EXPECT_EQ(Saved.Code, 0) << Saved.Err;
  EXPECT_NE(ReadFile(Path), Before);
  EXPECT_EQ(ReadFile(Path + ".~old"), TextBytes("backup"));
  platform::DeleteFile(Path + ".~old");

  WritePack(99999);
  TRun Bad = Run({"verify", Path});
  EXPECT_EQ(Bad.Code, 1);
  EXPECT_NE(Bad.Out.find("stream 0 sample 1: no entry of B.big holds offset 99999"), std::string::npos)
      << Bad.Out;
  Definition Outside;
  Outside.Archives = {"../A.big"};
  WriteFile(Dir.File("outside.dat"), MakeDefinition(Outside));
  TRun Refused = Run({"verify", Dir.File("outside.dat")});
  EXPECT_EQ(Refused.Code, 1);
  EXPECT_NE(Refused.Out.find("An archive must be a file in the folder of the definition file"),
            std::string::npos)
      << Refused.Out;
  TRun BadInfo = Run({"info", Path, "--json"});
  ASSERT_EQ(BadInfo.Code, 0) << BadInfo.Err;
  EXPECT_EQ(TParser(BadInfo.Out).Parse()["streams"][0][1]["entry"].Kind, TValue::Null);
}

TEST_F(ToolTest, BadArgumentsGiveTheUsageAndExitCode2) {
  std::string Path = WritePack();
  const std::vector<std::vector<std::string>> Cases = {
      {},
      {"frobnicate"},
      {"info"},
      {"info", Path, "extra"},
      {"info", Path, "--colour"},
      {"export", Path, "--stream", "0", Dir.File("x.wav")},
      {"export", Path, "--stream", "zero", "--sample", "0", Dir.File("x.wav")},
      {"export", Path, "--stream", "0", "--sample", "0", Dir.File("x.wav"), "--format", "ogg"},
      {"import", Path, "--stream", "0", "--sample"},
      {"describe", Path, "--description", "0"},
      {"describe", Path, "--description", "0", "--name", std::string(64, 'x')},
      {"describe", Path, "--name", "Other"},
      {"add-description", Path, "--album", std::string(64, 'x')},
      {"archive", "unpack", Dir.File("A.big")},
      {"archive", "extract", Dir.File("A.big"), "a1.asf"},
      {"import-batch", Path, "--stream", "0", Dir.File("x.wav")},
      {"import-batch", Path, "--stream", "0", "--sample", "0", "--add", "A.big", Dir.File("x.wav")},
      {"import-batch", Path, "--stream", "0", "--sample", "0"},
      {"import", Path, "--stream", "0", "--sample", "0", Dir.File("x.wav"), "--start", "-1"},
      {"import", Path, "--stream", "0", "--sample", "0", Dir.File("x.wav"), "--fade-out", "1e2"},
      {"import", Path, "--stream", "0", "--sample", "0", Dir.File("x.wav"), "--end", "86401"},
      {"import-batch", Path, "--stream", "0", "--sample", "0", "--start", "2", "--end", "1.5",
       Dir.File("x.wav")},
      {"loudness"},
      {"relevel", Path, "--sample", "0"},
      {"relevel", Path, "--stream", "0", "--sample", "0", "--sample", "first"},
      {"relevel", Path, "--target", "-70.5"},
      {"relevel", Path, "--target", "1e1"},
      {"relevel", Path, "--target", "--5"},
  };
  Bytes Before = ReadFile(Path);
  for (const auto& Arguments : Cases) {
    std::string Line;
    for (const std::string& Argument : Arguments)
      Line += Argument.substr(0, 20) + " ";
    TRun Result = Run(Arguments);
    EXPECT_EQ(Result.Code, 2) << Line;
    EXPECT_NE(Result.Err.find("Usage: orvik-streams"), std::string::npos) << Line << "\n" << Result.Err;
  }
  EXPECT_EQ(ReadFile(Path), Before);
  EXPECT_FALSE(std::filesystem::exists(Dir.File(kKeptMusicFolder))) << "refused before anything is kept";
  TRun Help = Run({"import", "--help"});
  EXPECT_EQ(Help.Code, 0);
  EXPECT_EQ(Help.Out.find("Usage: orvik-streams import DEF"), 0u) << Help.Out;
}

// The tool reads and writes UTF-8, the definition holds the code page: a description is stored in the code
// page and comes back out in UTF-8, one that the code page lacks a character of or that is too long there
// is refused before anything is kept or written, and a name from an archive reaches JSON as valid UTF-8.
TEST_F(ToolTest, DescriptionsAreUtf8AtTheToolAndTheCodePageInTheDefinition) {
  const std::string Path = Dir.File("streams.dat"), Kept = Dir.File(kKeptMusicFolder);
  struct TCase {
    std::string Given; // UTF-8
    int Code;
    std::string Stored; // the code page's bytes
  };
  const TCase Cases[] = {
      {"Caf\xC3\xA9 Noir", 0, "Caf\xE9 Noir"},
      {std::string(62, 'x') + "\xC3\xA9", 0, std::string(62, 'x') + "\xE9"}, // 64 bytes in UTF-8, 63 stored
      {std::string(63, 'x') + "\xC3\xA9", 2, ""},
      {"\xE6\x97\xA5\xE6\x9C\xAC", 2, ""}, // 日本
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Given);
    RemoveTree(Kept);
    WritePack();
    const Bytes Before = ReadFile(Path);
    std::ostringstream Out, Err, Json;
    EXPECT_EQ(RunTool({"describe", Path, "--description", "1", "--name", Case.Given}, Out, Err), Case.Code);
    if (Case.Code != 0) {
      EXPECT_NE(Err.str().find("Usage: orvik-streams describe"), std::string::npos) << Err.str();
      EXPECT_EQ(ReadFile(Path), Before);
      EXPECT_FALSE(std::filesystem::exists(Kept));
      continue;
    }
    TStreamPack Pack(Dir.File(""));
    Pack.LoadFromFile(Path);
    EXPECT_EQ(FieldText(Pack.Descriptions(1)->Name), Case.Stored);
    ASSERT_EQ(RunTool({"info", Path, "--json"}, Json, Err), 0);
    EXPECT_EQ(TParser(Json.str()).Parse()["descriptions"][1]["name"].Text, Case.Given);
    ASSERT_EQ(RunTool({"info", Path}, Out, Err), 0);
    EXPECT_NE(Out.str().find("Singer1: " + Case.Given + " (Album1)"), std::string::npos) << Out.str();
  }
  // An entry name of a byte outside ASCII and a control character (of the same length as b1.asf).
  WriteFile(Dir.File("B.big"), MakeBigf({{"\xE9\x01.asf", Pattern(80, 3)}}));
  std::ostringstream Json, Err;
  ASSERT_EQ(RunTool({"info", Path, "--json"}, Json, Err), 0) << Err.str();
#ifdef _WIN32
  const std::string Entry = "\"\xC3\xA9\\u0001.asf\""; // the code page's character
#else
  const std::string Entry = "\"\xEF\xBF\xBD\\u0001.asf\""; // the byte is no UTF-8: U+FFFD
#endif
  EXPECT_NE(Json.str().find("\"entry\":" + Entry), std::string::npos) << Json.str();
}

// A conversion that fails says the window's message, then on the next line the converter's own reason; the
// failed import leaves the definition and its archives as they were.
TEST_F(ToolTest, AConversionThatFailsNamesTheConvertersReason) {
  const std::string Path = WritePack();
  WriteFile(Dir.File("notes.wav"), TextBytes("not a sound"));
  const Bytes Before = Concat({ReadFile(Path), ReadFile(Dir.File("A.big"))});
  struct TCase {
    std::vector<std::string> Arguments;
    const wchar_t* Message;
  };
  const TCase Cases[] = {
      {{"import", Path, "--stream", "0", "--sample", "0", Dir.File("notes.wav")}, msg::UnableToConvertInput},
      // a1.asf holds no EA stream
      {{"export", Path, "--stream", "0", "--sample", "0", Dir.File("a1.wav")}, msg::UnableToConvertSample},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Arguments[0]);
    std::ostringstream Out, Err;
    EXPECT_EQ(RunTool(Case.Arguments, Out, Err), 1);
    // The message comes after any note, as a line of its own.
    std::istringstream Lines(Err.str());
    std::string Line, Reason;
    while (std::getline(Lines, Line) && Line != WideToAnsi(Case.Message)) {
    }
    std::getline(Lines, Reason);
    EXPECT_EQ(Line, WideToAnsi(Case.Message)) << Err.str();
    EXPECT_NE(Reason.find("not a known sound format"), std::string::npos) << Err.str();
  }
  EXPECT_EQ(Concat({ReadFile(Path), ReadFile(Dir.File("A.big"))}), Before);
  EXPECT_TRUE(Dir.Leftovers().empty());
}

// Every song out to Wave, every Wave back into its own sample: each sample then holds what the converter
// makes of its file, the definition still verifies, and a description edit saves.
TEST_F(ToolTest, ExportAllThenImportEverySongBackAndEditADescription) {
  std::string Demo = Dir.File("demo");
  demo::MakeDemo(Demo);
  std::string Path = JoinPath(JoinPath(Demo, "audio"), "streams.dat");
  std::string Out = Dir.File("songs");
  TRun All = Run({"export-all", Path, Out, "--format", "flac"});
  ASSERT_EQ(All.Code, 0) << All.Err;
  EXPECT_NE(All.Out.find("[12/12] The Offside Trap - Highlights.flac"), std::string::npos) << All.Out;
  EXPECT_NE(All.Out.find("12 of 12 songs written, 3 playlists"), std::string::npos) << All.Out;
  TRun Again = Run({"export-all", Path, Out, "--format", "flac", "--stream", "1"});
  EXPECT_EQ(Again.Code, 1);
  EXPECT_NE(Again.Err.find("(--overwrite replaces them)"), std::string::npos) << Again.Err;

  // The first sample of each song, in stream order, with the file export-all named after its description.
  std::vector<std::pair<std::string, std::pair<int, int>>> Songs;
  {
    TStreamPack Pack(JoinPath(Demo, "audio") + platform::PathDelimiter());
    Pack.LoadFromFile(Path);
    TSoundtrackPlan Plan = PlanSoundtrack(Pack, *FindConverterFormat("flac"), TSongNames::Description);
    for (int32_t S = 0; S < Pack.StreamCount(); ++S)
      for (int32_t I = 0; I < Pack.Streams(S)->SampleCount(); ++I)
        for (const TSoundtrackSong& Song : Plan.Songs)
          if (Song.File == Pack.Streams(S)->Samples(I)->StreamFile() &&
              std::find_if(Songs.begin(), Songs.end(),
                           [&](const auto& Seen) { return Seen.first == Song.Name; }) == Songs.end())
            Songs.push_back({Song.Name, {S, I}});
  }
  ASSERT_EQ(Songs.size(), 12u);
  for (const auto& [Name, Where] : Songs) {
    std::string Flac = JoinPath(Out, Name);
    ASSERT_TRUE(FileExists(Flac)) << Name;
    TRun Import = Run({"import", Path, "--stream", std::to_string(Where.first), "--sample",
                       std::to_string(Where.second), Flac});
    ASSERT_EQ(Import.Code, 0) << Name << ": " << Import.Err;
  }
  TRun Verify = Run({"verify", Path});
  EXPECT_EQ(Verify.Code, 0) << Verify.Out;

  std::string Sx = JoinPath(JoinPath(JoinPath(platform::ProgramFolder(), "cli"), "sx"), "sx") +
                   platform::ExecutableSuffix();
  TStreamPack Pack(JoinPath(Demo, "audio") + platform::PathDelimiter());
  Pack.LoadFromFile(Path);
  for (const auto& [Name, Where] : Songs) {
    std::string Expected = Dir.File("expected.asf");
    platform::ExecuteAndWait(
        AnsiToWide(Sx),
        AnsiToWide("-pcstream -eaxa_blk \"" + JoinPath(Out, Name) + "\" -=\"" + Expected + "\""),
        AnsiToWide(Dir.Path()), 0);
    TEAStreamFile* File = Pack.Streams(Where.first)->Samples(Where.second)->StreamFile();
    ASSERT_NE(File, nullptr) << Name;
    File->SaveToFile(Dir.File("stored.asf"));
    EXPECT_EQ(ReadFile(Dir.File("stored.asf")), ReadFile(Expected)) << Name;
  }

  TRun Describe = Run({"describe", Path, "--description", "3", "--singer", "Someone Else"});
  ASSERT_EQ(Describe.Code, 0) << Describe.Err;
  TRun Info = Run({"info", Path, "--json"});
  EXPECT_EQ(TParser(Info.Out).Parse()["descriptions"][3]["singer"].Text, "Someone Else");
  EXPECT_TRUE(Dir.Leftovers().empty());
}

// A folder of songs into a stream of the demo, past its end, with one broken file; then into an empty
// stream without loudness matching. The definition verifies, and the loudness command finds the imported
// songs at the target (or their peak at the limit).
TEST_F(ToolTest, ImportBatchReplacesAddsAndMatchesLoudness) {
  std::string Demo = Dir.File("demo");
  demo::MakeDemo(Demo);
  std::string Path = JoinPath(JoinPath(Demo, "audio"), "streams.dat");
  std::string Songs = Dir.File("songs");
  std::filesystem::create_directories(Songs);
  WriteFile(JoinPath(Songs, "10 d.wav"), sx::WriteWave(sxtest::Sine(22050, 22050 * 2, 660, 0.8, 2)));
  WriteFile(JoinPath(Songs, "1 a.wav"), sx::WriteWave(sxtest::PinkNoise(22050, 22050 * 3, 2, 0.05, 3)));
  WriteFile(JoinPath(Songs, "2 b.wav"), TextBytes("not a sound"));
  WriteFile(JoinPath(Songs, "3 c.wav"), sx::WriteWave(sxtest::Chord(22050, 22050 * 2)));

  TRun Batch = Run({"import-batch", Path, "--stream", "1", "--sample", "3", "--json", Songs});
  EXPECT_EQ(Batch.Code, 1) << "one file failed\n" << Batch.Err;
  EXPECT_NE(Batch.Err.find("[4/4] "), std::string::npos) << Batch.Err;
  TValue J = TParser(Batch.Out).Parse();
  ASSERT_EQ(J["target"].Kind, TValue::Number) << Batch.Out;
  const double Target = J["target"].Real;
  struct TExpected {
    const char* File;
    const char* State;
    int Sample;
  };
  const TExpected Expected[] = {{"1 a.wav", "imported", 3},
                                {"2 b.wav", "failed", -1},
                                {"3 c.wav", "imported", 5},
                                {"10 d.wav", "imported", 6}};
  ASSERT_EQ(J["songs"].Items.size(), 4u);
  std::map<std::string, std::string> Entries; // entry name to file
  for (size_t I = 0; I < 4; ++I) {
    const TValue& Song = J["songs"][I];
    SCOPED_TRACE(Expected[I].File);
    EXPECT_EQ(ExtractFileName(Song["file"].Text), Expected[I].File);
    EXPECT_EQ(Song["state"].Text, Expected[I].State);
    if (Expected[I].Sample < 0) {
      EXPECT_NE(Song["error"].Text.find("not a known sound format"), std::string::npos) << Song["error"].Text;
      EXPECT_EQ(Song["sample"].Kind, TValue::Null);
      continue;
    }
    EXPECT_EQ(Song["sample"].Int, Expected[I].Sample);
    EXPECT_EQ(Song["loudness"].Kind, TValue::Number);
    EXPECT_EQ(Song["gain"].Kind, TValue::Number);
    Entries[Song["entry"].Text] = Expected[I].File;
  }
  EXPECT_EQ(Entries.size(), 3u);
  TRun Verify = Run({"verify", Path});
  EXPECT_EQ(Verify.Code, 0) << Verify.Out;

  TRun Loudness = Run({"loudness", Path, "--json"});
  ASSERT_EQ(Loudness.Code, 0) << Loudness.Err;
  TValue L = TParser(Loudness.Out).Parse();
  EXPECT_EQ(L["songs"].Items.size(), 14u) << "the demo's twelve, one replaced in place, two added";
  size_t Found = 0;
  for (const TValue& Song : L["songs"].Items) {
    if (Entries.count(Song["entry"].Text) == 0)
      continue;
    ++Found;
    SCOPED_TRACE(Song["entry"].Text);
    ASSERT_EQ(Song["integrated"].Kind, TValue::Number) << Loudness.Out;
    EXPECT_TRUE(std::abs(Song["integrated"].Real - Target) <= 0.5 ||
                std::abs(Song["truePeak"].Real + 1) <= 0.5)
        << Song["integrated"].Real << " LUFS, " << Song["truePeak"].Real << " dBTP, target " << Target;
  }
  EXPECT_EQ(Found, 3u);

  TRun Added = Run({"import-batch", Path, "--stream", "3", "--add", "REPLAY.BIG", "--no-loudness",
                    JoinPath(Songs, "3 c.wav"), JoinPath(Songs, "1 a.wav")});
  EXPECT_EQ(Added.Code, 0) << Added.Err;
  EXPECT_NE(Added.Out.find("[1/2] " + JoinPath(Songs, "1 a.wav") + ": stream 3 sample 0, "),
            std::string::npos)
      << Added.Out;
  EXPECT_NE(Added.Out.find("2 of 2 file(s) imported"), std::string::npos) << Added.Out;
  EXPECT_EQ(Added.Out.find("Loudness target"), std::string::npos) << Added.Out;
  TValue Info = TParser(Run({"info", Path, "--json"}).Out).Parse();
  ASSERT_EQ(Info["streams"][3].Items.size(), 2u);
  EXPECT_EQ(Info["streams"][3][1]["entry"].Text, "3 c.asf");
  EXPECT_EQ(Info["streams"][3][0]["archive"].Int, 2);
  EXPECT_EQ(Run({"verify", Path}).Code, 0);
  EXPECT_TRUE(Dir.Leftovers().empty());
}

// Two songs of the demo's replay stream (one of them the theme, from another archive) re-levelled to a given
// loudness: one line each, the archive that holds neither keeps its bytes, and the definition verifies.
TEST_F(ToolTest, RelevelBringsTheChosenSongsToTheTarget) {
  const std::string Demo = Dir.File("demo");
  demo::MakeDemo(Demo);
  const std::string Path = JoinPath(JoinPath(Demo, "audio"), "streams.dat");
  const std::string InGame = JoinPath(JoinPath(Demo, "audio"), "ingame.big");
  const Bytes InGameBefore = ReadFile(InGame);
  const TRun Relevel =
      Run({"relevel", Path, "--stream", "2", "--sample", "1", "--sample", "3", "--target", "-21.5"});
  ASSERT_EQ(Relevel.Code, 0) << Relevel.Err;
  for (const char* Line :
       {"Loudness target: -21.50 LUFS", "[1/2] stream 2 sample 1 (replay.big golazo.asf, EA-XA): ",
        "[2/2] stream 2 sample 3 (frontend.big theme.asf, EA-XA): ",
        "2 of 2 song(s) re-levelled, 0 unchanged, 0 failed"})
    EXPECT_NE(Relevel.Out.find(Line), std::string::npos) << Line << "\n" << Relevel.Out;
  EXPECT_EQ(ReadFile(InGame), InGameBefore);
  const TRun Verify = Run({"verify", Path});
  EXPECT_EQ(Verify.Code, 0) << Verify.Out;
}

// import and import-batch hand --start, --end and --fade-out to the converter: the song in the game is
// the part asked for, to the frame, faded out to silence.
TEST_F(ToolTest, ImportsTrimAndFadeTheSong) {
  const std::string Path = WritePack(), Song = Dir.File("song.wav");
  WriteFile(Song, sx::WriteWave(sxtest::Sine(22050, 22050 * 3, 440, 0.5, 2)));
  struct {
    std::vector<std::string> Arguments;
    const char* Stream;
    size_t Frames;
  } Cases[] = {
      {{"import", Path, "--stream", "0", "--sample", "0", Song, "--start", "0.5", "--end", "2.25",
        "--fade-out", "0.5"},
       "0",
       38588},
      {{"import-batch", Path, "--stream", "1", "--sample", "0", "--no-loudness", "--fade-out", "1", "--start",
        "1.0001", Song},
       "1",
       44098},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Arguments[0]);
    const TRun Import = Run(C.Arguments);
    ASSERT_EQ(Import.Code, 0) << Import.Err;
    ASSERT_EQ(Run({"export", Path, "--stream", C.Stream, "--sample", "0", Dir.File("back.wav")}).Code, 0);
    const sx::TAudio Back = sx::ReadWave(ReadFile(Dir.File("back.wav")));
    ASSERT_EQ(Back.Frames(), C.Frames);
    EXPECT_GT(*std::max_element(Back.Samples.begin(), Back.Samples.end()), 15000);
    // Near silence after EA-XA, whose encoder only approaches the fade's zeros.
    EXPECT_TRUE(
        std::all_of(Back.Samples.end() - 20, Back.Samples.end(), [](int16_t S) { return std::abs(S) < 16; }));
  }
}

// A definition open in one program is refused, unchanged, to a second that would write it; reading goes
// on, without recovering what the first has under way.
TEST_F(ToolTest, ASecondProgramThatWouldWriteRefusesAndChangesNothing) {
  std::string Path = WritePack();
  TDefinitionSession First(Path);
  First.Open();
  Bytes Before = ReadFile(Path);
  const std::vector<std::vector<std::string>> Writers = {
      {"describe", Path, "--description", "0", "--name", "Other"},
      {"add-description", Path},
      {"remove-description", Path, "--description", "1"},
      {"update-preload", Path, Dir.Path()},
      {"import-batch", Path, "--stream", "0", "--sample", "0", Dir.File("x.wav")},
  };
  for (const std::vector<std::string>& Arguments : Writers) {
    TRun Refused = Run(Arguments);
    EXPECT_EQ(Refused.Code, 1) << Arguments[0];
    std::string Line = Refused.Err.substr(0, Refused.Err.find_last_not_of("\r\n") + 1);
    EXPECT_EQ(Line, TDefinitionSession::InUseMessage(Path)) << Arguments[0];
  }
  EXPECT_EQ(ReadFile(Path), Before);
  TRun Info = Run({"info", Path});
  EXPECT_EQ(Info.Code, 0);
  EXPECT_NE(Info.Err.find(TDefinitionSession::InUseMessage(Path)), std::string::npos) << Info.Err;
  First.Close();
  EXPECT_EQ(Run({"describe", Path, "--description", "0", "--name", "Other"}).Code, 0);
}

// pack show against a definition prints no control character that the definition or its archives hold:
// each comes out as '?'.
TEST_F(ToolTest, PackShowPrintsNoControlCharacterOfAFile) {
  A = {{"a1\x1B[2J.asf", Pattern(100, 1)}};
  WriteFile(Dir.File("A.big"), MakeBigf(A));
  Def = {{"A.big"}, {{"Name0\x1B]0;x\x07", "Singer\r\n0", "Album0"}}, {{{BigfDataOffset(A, 0), 0, 0}}}};
  WriteFile(Dir.File("streams.dat"), MakeDefinition(Def));
  WriteFile(Dir.File("x.orvikpack"), OneSongPack("A.big", {{0, 0, 0, 0, true, "P", "Q", "R", {}}}));
  TRun Show = Run({"pack", "show", Dir.File("x.orvikpack"), Dir.File("streams.dat")});
  ASSERT_EQ(Show.Code, 0) << Show.Err;
  // Lines end in CR LF on Windows; no other CR may come out.
  std::string Out = Show.Out;
  for (size_t At = Out.find("\r\n"); At != std::string::npos; At = Out.find("\r\n", At))
    Out.erase(At, 1);
  EXPECT_EQ(Out.find_first_of("\x1B\x07\r"), std::string::npos) << Out;
  EXPECT_NE(Out.find("stream 0 sample 0: song a1?[2J.asf replaced by packed.asf; description "
                     "Singer??0 - Name0?]0;x? (Album0) -> Q - P (R)\n"),
            std::string::npos)
      << Out;
}

#ifndef _WIN32
// Every command that writes, stopped at every call of the OS seam by a kill or a power cut: the next
// command (verify) recovers by itself, and the files are as before the command or as after it. The imports
// run the fake converter, which answers at once.
TEST_F(ToolTest, EveryWritingCommandStoppedAtAnyCallRecovers) {
  const std::string Path = Dir.File("streams.dat"), Preload = Dir.File("preload");
  WriteFile(Dir.File("song.asf"), Pattern(150, 9));
  // A short Wave for the imports: 22,050 Hz, mono, 16-bit.
  Bytes Samples = Pattern(4000, 10);
  auto Le = [](uint32_t V, int Count) {
    Bytes B;
    for (int I = 0; I < Count; ++I)
      B.push_back(static_cast<uint8_t>(V >> (8 * I)));
    return B;
  };
  WriteFile(Dir.File("song.wav"), Concat({TextBytes("RIFF"), Le(36 + 4000, 4), TextBytes("WAVEfmt "),
                                          Le(16, 4), Le(1, 2), Le(1, 2), Le(22050, 4), Le(44100, 4), Le(2, 2),
                                          Le(16, 2), TextBytes("data"), Le(4000, 4), Samples}));
  // A pack that gives the first sample a song and a description and adds a sample to the second stream.
  WriteFile(Dir.File("x.orvikpack"), OneSongPack("A.big", {{0, 0, 0, 0, true, "P", "Q", "R", {}},
                                                           {1, 1, 0, 0, false, "", "", "", {}}}));
  struct TCase {
    std::vector<std::string> Arguments;
    bool EachFile; // files changed one by one (the preload archives), each old or new
  };
  const TCase Cases[] = {
      {{"import", Path, "--stream", "0", "--sample", "0", Dir.File("song.wav")}, false},
      {{"import", Path, "--stream", "1", "--sample", "0", "--add", Dir.File("song.wav")}, false},
      {{"describe", Path, "--description", "1", "--album", "Other"}, false},
      {{"remove-description", Path, "--description", "0"}, false},
      {{"update-preload", Path, Preload}, true},
      {{"pack", "apply", Path, Dir.File("x.orvikpack")}, false},
      // One song each: no converter writes its scratch file while the loop copies the folder.
      {{"import-batch", Path, "--stream", "1", "--sample", "0", "--no-loudness", Dir.File("song.wav")},
       false},
      {{"import-batch", Path, "--stream", "1", "--add", "B.big", "--no-loudness", Dir.File("song.wav")},
       false},
      {{"relevel", Path, "--stream", "1", "--target", "-14"}, false},
      {{"archive", "add", Dir.File("B.big"), Dir.File("song.asf")}, false},
      {{"archive", "rebuild", Dir.File("A.big")}, false},
  };
  auto Files = [&] {
    std::vector<Bytes> All;
    for (const char* Name : {"streams.dat", "A.big", "B.big", "preload/faudio.viv", "preload/gaudio.viv"})
      All.push_back(ReadFile(Dir.File(Name)));
    return All;
  };
  auto Setup = [&] {
    WritePack();
    // A.big with a gap, so that a rebuild changes it.
    WriteFile(Dir.File("A.big"), Concat({MakeBigf(A), Bytes(64, 0)}));
    std::filesystem::create_directories(Preload);
    for (const char* Name : {"faudio.viv", "gaudio.viv"})
      WriteFile(JoinPath(Preload, Name), MakeBigf({{"x", Pattern(50, 4)}, {"STREAMS.DAT", Pattern(30, 5)}}));
  };
  std::ostringstream Out, Err;
  int Total = 0;
  for (CrashKind Kind : {CrashKind::Kill, CrashKind::PowerDrop, CrashKind::PowerTear})
    for (const TCase& Case : Cases) {
      SCOPED_TRACE(Case.Arguments[0] + " " + Case.Arguments[1] + ", " + CrashKindName(Kind));
      Setup();
      std::vector<Bytes> Before = Files();
      ASSERT_EQ(RunTool(Case.Arguments, Out, Err, ORVIK_FAKE_SX_PROGRAM_FOLDER), 0) << Err.str();
      std::vector<Bytes> After = Files();
      ASSERT_NE(Before, After);
      Total += RunCrashLoop(
          Kind, Dir.Path(),
          [&] {
            Setup();
            for (const std::string& Left : Dir.Leftovers())
              platform::DeleteFile(Left);
          },
          [&] { RunTool(Case.Arguments, Out, Err, ORVIK_FAKE_SX_PROGRAM_FOLDER); },
          [&](int) {
            std::ostringstream VerifyOut, VerifyErr;
            EXPECT_EQ(RunTool({"verify", Path}, VerifyOut, VerifyErr), 0) << VerifyOut.str();
            if (Case.Arguments[0] == "archive")
              RunTool({"archive", "list", Case.Arguments[2]}, VerifyOut, VerifyErr); // recovers the archive
            // The preload folder keeps its own journal, which the next preload update recovers first.
            TWriteJournal::Recover(PreloadJournalPath(Preload), PreloadScope());
            std::vector<Bytes> Now = Files();
            bool Whole = Now == Before || Now == After;
            if (Case.EachFile) {
              Whole = true;
              for (size_t I = 0; I < Now.size(); ++I)
                Whole = Whole && (Now[I] == Before[I] || Now[I] == After[I]);
            }
            EXPECT_TRUE(Whole);
            EXPECT_TRUE(Dir.Leftovers().empty()) << Dir.Leftovers()[0];
          });
    }
  std::cout << "[ crashes  ] " << Total << " deaths of a command, each recovered\n";
}
#endif

#ifndef _WIN32
// A pack applied and killed at every call of the OS seam, the game folder then copied (as a user backs up
// after a crash): the copy's next command recovers the copy alone, the original stays byte for byte as the
// crash left it, and its own next command then brings it to the same state as the copy.
TEST_F(ToolTest, ACopyOfAFolderLeftByACrashRecoversItselfAndNotTheOriginal) {
  namespace fs = std::filesystem;
  const std::string Path = Dir.File("streams.dat");
  // Beside the test's folder, not in it.
  const std::string Copy = Dir.Path().substr(0, Dir.Path().size() - 1) + "-copy";
  WriteFile(Dir.File("x.orvikpack"), OneSongPack("A.big", {{0, 0, 0, 0, true, "P", "Q", "R", {}},
                                                           {1, 1, 0, 0, false, "", "", "", {}}}));
  auto Game = [](const std::string& Folder) {
    std::map<std::string, Bytes> Files;
    for (const fs::directory_entry& Entry : fs::recursive_directory_iterator(Folder)) {
      std::string Name = fs::relative(Entry.path(), Folder).generic_string();
      if (Entry.is_regular_file() && Name != "x.orvikpack")
        Files[Name] = ReadFile(Entry.path().string());
    }
    return Files;
  };
  std::ostringstream Out, Err;
  int Deaths = RunCrashLoop(
      CrashKind::Kill, Dir.Path(),
      [&] {
        WritePack();
        for (const std::string& Left : Dir.Leftovers())
          fs::remove_all(Left);
      },
      [&] {
        RunTool({"pack", "apply", Path, Dir.File("x.orvikpack")}, Out, Err);
      },
      [&](int) {
        const auto Crashed = Game(Dir.Path());
        fs::remove_all(Copy);
        fs::copy(Dir.Path(), Copy, fs::copy_options::recursive);
        std::ostringstream VerifyOut, VerifyErr;
        EXPECT_EQ(RunTool({"verify", JoinPath(Copy, "streams.dat")}, VerifyOut, VerifyErr), 0)
            << VerifyOut.str();
        EXPECT_EQ(Game(Dir.Path()), Crashed) << "the copy's recovery touched the original";
        EXPECT_EQ(RunTool({"verify", Path}, VerifyOut, VerifyErr), 0) << VerifyOut.str();
        EXPECT_EQ(Game(Dir.Path()), Game(Copy));
        EXPECT_TRUE(Dir.Leftovers().empty()) << Dir.Leftovers()[0];
      });
  RemoveTree(Copy);
  EXPECT_GT(Deaths, 10);
}
#endif

// A journal that names a file outside the game is never applied: the first command sets it aside and
// says so in one line, the files stay as they are, and the next command runs as usual.
TEST_F(ToolTest, AJournalNamingAFileOutsideTheGameIsSetAsideWithANote) {
  const std::string Path = WritePack();
  const Bytes Before = ReadFile(Dir.File("A.big"));
  TRecordWriter Payload;
  Payload.U8(2).Text("../victim.txt").I64(0);
  TRecordWriter Head;
  Head.U32(1).U32(static_cast<uint32_t>(Payload.Result().size()));
  Bytes Record = Concat({Head.Result(), Payload.Result()});
  WriteFile(Dir.File("streams.dat.~journal"),
            Concat({Record, TRecordWriter().U32(Crc32(Record.data(), Record.size())).Result()}));
  TRun First = Run({"verify", Path});
  EXPECT_EQ(First.Code, 0) << First.Err;
  const size_t Note = First.Err.find("note: " + WideToAnsi(msg::JournalSetAside) + " \"" +
                                     Dir.File("streams.dat.~journal (set aside "));
  EXPECT_NE(Note, std::string::npos) << First.Err;
  EXPECT_NE(First.Err.find("\" because it names \"../victim.txt\"", Note), std::string::npos) << First.Err;
  EXPECT_EQ(ReadFile(Dir.File("A.big")), Before);
  TRun Second = Run({"verify", Path});
  EXPECT_EQ(Second.Code, 0);
  EXPECT_EQ(Second.Err, "");
}

// The original music kept by the first command that changes a game, not by later ones, nor with
// --no-keep-original or after the user's "No"; a pack of the changes carried to a fresh game; and
// restore-original putting every file back.
TEST_F(ToolTest, TheFirstChangeKeepsTheOriginalMusicThatPacksAndRestoreWorkFrom) {
  const std::string Source = Dir.File("source"), Target = Dir.File("target"), Master = Dir.File("master");
  demogame::CopyGame(Master, Source);
  demogame::CopyGame(Master, Target);
  const std::string Def = demogame::DefinitionOf(Source), Preload = demogame::PreloadOf(Source);
  const demogame::TFiles Original = demogame::MusicOf(Source);
  struct TCase {
    const char* What;
    const char* Game;
    std::vector<std::string> Arguments;
    bool Declined; // the user said No before (on a fresh copy of the game)
    bool Keeps;
  };
  const TCase Cases[] = {
      {"without asking",
       "source",
       {"describe", "DEF", "--description", "3", "--singer", "Other"},
       false,
       true},
      {"not twice", "source", {"describe", "DEF", "--description", "4", "--name", "Renamed"}, false, false},
      {"nor for the preload", "source", {"update-preload", "DEF", "PRELOAD"}, false, false},
      {"not when told", "told", {"add-description", "DEF", "--no-keep-original"}, false, false},
      {"not after No", "declined", {"remove-description", "DEF", "--description", "0"}, true, false},
      {"by the preload update", "preload", {"update-preload", "DEF", "PRELOAD"}, false, true},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.What);
    const std::string Game = Dir.File(Case.Game);
    if (Game != Source)
      demogame::CopyGame(Master, Game);
    if (Case.Declined)
      TKeptOriginals(demogame::DefinitionOf(Game), "").Decline();
    std::vector<std::string> Arguments = Case.Arguments;
    for (std::string& Argument : Arguments)
      Argument = Argument == "DEF"       ? demogame::DefinitionOf(Game)
                 : Argument == "PRELOAD" ? demogame::PreloadOf(Game)
                                         : Argument;
    TRun Change = Run(Arguments);
    ASSERT_EQ(Change.Code, 0) << Change.Err;
    EXPECT_EQ(Change.Err.find("note: the original music (7 files, ") != std::string::npos, Case.Keeps)
        << Change.Err;
    TKeptOriginals Originals(demogame::DefinitionOf(Game), demogame::PreloadOf(Game));
    EXPECT_EQ(Originals.State(), Case.Keeps || Game == Source ? TKeptState::Kept
                                 : Case.Declined              ? TKeptState::Declined
                                                              : TKeptState::None);
  }
  EXPECT_NE(demogame::MusicOf(Source), Original);

  // The kept copy is the music before the preload update: restore-original brings back every file.
  TRun Export = Run({"pack", "export", Def, Dir.File("x.orvikpack"), "--no-loudness"});
  ASSERT_EQ(Export.Code, 0) << Export.Err;
  EXPECT_NE(Export.Out.find("those that differ from the kept original music"), std::string::npos)
      << Export.Out;
  TRun Show = Run({"pack", "show", Dir.File("x.orvikpack")});
  EXPECT_NE(Show.Out.find("Renamed"), std::string::npos) << Show.Out;
  TRun Plan = Run({"pack", "show", Dir.File("x.orvikpack"), demogame::DefinitionOf(Target)});
  EXPECT_NE(Plan.Out.find("-> Derby Day - Renamed (Terrace Anthems)"), std::string::npos) << Plan.Out;
  EXPECT_NE(Plan.Out.find("-> Other - Final Whistle (Floodlit)"), std::string::npos) << Plan.Out;
  const demogame::TFiles Untouched = demogame::MusicOf(Target);
  EXPECT_EQ(demogame::MusicOf(Target), Untouched) << "show changes nothing";
  TRun Apply = Run({"pack", "apply", demogame::DefinitionOf(Target), Dir.File("x.orvikpack")});
  ASSERT_EQ(Apply.Code, 0) << Apply.Err;
  EXPECT_NE(Apply.Err.find("note: the original music (7 files, "), std::string::npos);
  EXPECT_NE(Apply.Out.find(" 0 not matching the definition"), std::string::npos) << Apply.Out;
  EXPECT_EQ(ReadFile(demogame::DefinitionOf(Target)), ReadFile(Def));

  TRun Restore = Run({"restore-original", Def});
  ASSERT_EQ(Restore.Code, 0) << Restore.Err;
  EXPECT_EQ(demogame::MusicOf(Source), Original);
  TRun Nothing = Run({"restore-original", demogame::DefinitionOf(Dir.File("told"))});
  EXPECT_EQ(Nothing.Code, 1);
  EXPECT_NE(Nothing.Err.find("No original music is kept in"), std::string::npos) << Nothing.Err;
  EXPECT_TRUE(Dir.Leftovers().empty());
}
