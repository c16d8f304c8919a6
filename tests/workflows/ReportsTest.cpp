// The converter's report lines read back, good and damaged, and the command lines the converter is given.

#include "base/Exceptions.h"
#include "base/Text.h"
#include "platform/FileSystem.h"
#include "tests/fixtures/TestFiles.h"
#include "workflows/Converter.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

using namespace fixtures;

namespace {

const std::string kMeasure =
    "{\"input\":\"a.wav\",\"integrated\":-14.23,\"truePeak\":-0.82,\"samplePeak\":-1.10,"
    "\"sampleRate\":44100,\"channels\":2,\"seconds\":215.347,\"frames\":9496803,\"codec\":\"MicroTalk "
    "10:1\"}";
const std::string kOutlined =
    kMeasure.substr(0, kMeasure.size() - 1) + ",\"envelope\":[[[-3,5],[0,0]],[[-32768,32767],[1,2]]]}";
const std::string kTags = "{\"input\":\"b.mp3\",\"title\":\"Caf\\u00e9 \\\"Noir\\\"\",\"artist\":null,"
                          "\"album\":\"\\ud83c\\udfb5 x\\/y\"}";
const std::string kGain =
    "{\"output\":\"out.asf\",\"gainRequested\":6.00,\"gainApplied\":3.21,\"heldBack\":true,"
    "\"truePeak\":-4.21}";
const std::string kMatched = "{\"output\":\"out.asf\",\"integrated\":-20.50,\"gainRequested\":6.50,"
                             "\"gainApplied\":6.50,\"heldBack\":false}";

} // namespace

TEST(ReportsTest, GoodLinesAreReadWithTheirFields) {
  std::optional<TMeasureReport> M = ParseMeasureLine(kMeasure + "\r");
  ASSERT_TRUE(M);
  EXPECT_EQ(M->Input, "a.wav");
  EXPECT_DOUBLE_EQ(*M->Integrated, -14.23);
  EXPECT_DOUBLE_EQ(*M->TruePeak, -0.82);
  EXPECT_DOUBLE_EQ(M->Seconds, 215.347);
  EXPECT_EQ(M->Codec, "MicroTalk 10:1");
  EXPECT_TRUE(M->Error.empty());
  EXPECT_EQ(M->SampleRate, 44100u);
  EXPECT_EQ(M->Channels, 2u);
  EXPECT_TRUE(M->Envelope.empty());
  std::optional<TMeasureReport> Outlined = ParseMeasureLine(kOutlined);
  ASSERT_TRUE(Outlined);
  EXPECT_EQ(Outlined->Envelope,
            (std::vector<std::vector<TEnvelopePoint>>{{{-3, 5}, {0, 0}}, {{-32768, 32767}, {1, 2}}}));
  std::optional<TMeasureReport> Silent =
      ParseMeasureLine("{ \"input\" : \"s.wav\", \"integrated\": null, \"truePeak\": null, \"samplePeak\": "
                       "null, \"seconds\": 1e0, \"later\": true, \"more\": [1, [2]] }");
  ASSERT_TRUE(Silent);
  EXPECT_EQ(Silent->Codec, "") << "a line without the codec";
  EXPECT_EQ(Silent->Channels, 0u);
  EXPECT_FALSE(Silent->Integrated);
  EXPECT_FALSE(Silent->TruePeak);

  std::optional<TTagsReport> T = ParseTagsLine(kTags);
  ASSERT_TRUE(T);
  EXPECT_EQ(T->Title, "Caf\xC3\xA9 \"Noir\"");
  EXPECT_EQ(T->Artist, "");
  EXPECT_EQ(T->Album, "\xF0\x9F\x8E\xB5 x/y");

  std::optional<TGainReport> G = ParseGainLine(kGain);
  ASSERT_TRUE(G);
  EXPECT_DOUBLE_EQ(G->Requested, 6.0);
  EXPECT_DOUBLE_EQ(G->Applied, 3.21);
  EXPECT_TRUE(G->HeldBack);
  EXPECT_DOUBLE_EQ(*G->TruePeak, -4.21);
  EXPECT_FALSE(G->Measured);
  std::optional<TGainReport> Matched = ParseGainLine(kMatched);
  ASSERT_TRUE(Matched && Matched->Measured);
  EXPECT_DOUBLE_EQ(*Matched->Integrated, -20.5);
  EXPECT_FALSE(Matched->TruePeak) << "a peak under the ceiling's reach is left out";
  Matched = ParseGainLine("{\"output\":\"s\",\"integrated\":null,\"gainRequested\":0,\"gainApplied\":0,"
                          "\"heldBack\":false,\"truePeak\":null}");
  ASSERT_TRUE(Matched && Matched->Measured) << "silence";
  EXPECT_FALSE(Matched->Integrated);

  for (const auto& Parse :
       {std::function<bool(const std::string&)>([](auto& L) { return bool(ParseMeasureLine(L)); }),
        std::function<bool(const std::string&)>([](auto& L) { return bool(ParseTagsLine(L)); })}) {
    EXPECT_TRUE(Parse("{\"input\":\"c.wav\",\"error\":\"The input is not a known sound format\"}"));
  }
  EXPECT_EQ(ParseTagsLine("{\"input\":\"c.wav\",\"error\":\"bad\"}")->Error, "bad");
  EXPECT_EQ(ReportLines("one\r\n\r\ntwo\nthree"), (std::vector<std::string>{"one", "two", "three"}));
}

// Every prefix of a good line is refused, and so is each kind of damage.
TEST(ReportsTest, DamagedLinesAreRefusedWhole) {
  for (const std::string& Good : {kMeasure, kOutlined, kTags, kGain, kMatched})
    for (size_t Length = 0; Length < Good.size(); ++Length) {
      std::string Cut = Good.substr(0, Length);
      EXPECT_FALSE(ParseMeasureLine(Cut) || ParseTagsLine(Cut) || ParseGainLine(Cut)) << Cut;
    }
  auto Replaced = [](const std::string& Line, const std::string& From, const std::string& To) {
    std::string Out = Line;
    Out.replace(Out.find(From), From.size(), To);
    return Out;
  };
  const std::vector<std::string> BadMeasures = {
      Replaced(kMeasure, "-14.23", "\"-14.23\""),       // a number as text
      Replaced(kMeasure, "-14.23", "-1423"),            // out of range
      Replaced(kMeasure, "-14.23", "nan"),              // not JSON
      Replaced(kMeasure, "-14.23", "1e999"),            // infinite
      Replaced(kMeasure, "-14.23", "-14.2.3"),          // two points
      Replaced(kMeasure, "\"integrated\":-14.23,", ""), // missing
      Replaced(kMeasure, "\"seconds\":215.347", "\"seconds\":null"),
      Replaced(kMeasure, "\"input\":\"a.wav\"", "\"input\":3"),
      Replaced(kMeasure, "\"channels\":2", "\"channels\":2,\"truePeak\":0"), // a key twice
      kMeasure + " x",
      "[" + kMeasure + "]",
      Replaced(kMeasure, "a.wav", "a\x01.wav"), // a raw control character
      Replaced(kMeasure, "a.wav", "a\\q.wav"),  // an unknown escape
      Replaced(kMeasure, "\"MicroTalk 10:1\"", "10"),
      Replaced(kMeasure, "\"MicroTalk 10:1\"", "\"\""),
      Replaced(kMeasure, "MicroTalk 10:1", std::string(33, 'x')),
      Replaced(kMeasure, "MicroTalk 10:1", "Micro\\nTalk"),
      Replaced(kMeasure, "\"channels\":2", "\"channels\":0"),
      Replaced(kMeasure, "\"channels\":2", "\"channels\":1.5"),
      Replaced(kMeasure, "44100", "-44100"),
      Replaced(kOutlined, "[[[-3,5],[0,0]],", "["), // fewer lists than channels
      Replaced(kOutlined, "[0,0]],", "],"),         // channels of different lengths
      Replaced(kOutlined, "[-3,5]", "[5,-3]"),      // min above max
      Replaced(kOutlined, "-32768", "-32769"),      // beyond 16 bits
      Replaced(kOutlined, "[1,2]", "[1.5,2]"),      // not a sample
      Replaced(kOutlined, "[1,2]", "[1,2,3]"),      // not a pair
      Replaced(kOutlined, "[1,2]", "[[1],2]"),      // nested too deep
      Replaced(kOutlined, "[[[-3,5],[0,0]],[[-32768,32767],[1,2]]]", "[[],[]]"), // no slices
      Replaced(kOutlined, "\"channels\":2,", ""), // an outline of unknown channels
      [&] {
        std::string Many = "[[-1,1]";
        for (int I = 0; I < 100000; ++I)
          Many += ",[0,0]";
        return Replaced(Replaced(kOutlined, "\"channels\":2", "\"channels\":1"),
                        "[[[-3,5],[0,0]],[[-32768,32767],[1,2]]]", "[" + Many + "]]");
      }(), // a slice more than the converter ever gives
  };
  for (const std::string& Line : BadMeasures)
    EXPECT_FALSE(ParseMeasureLine(Line)) << Line;
  const std::vector<std::string> BadTags = {
      Replaced(kTags, "\\ud83c\\udfb5", "\\ud83c"), // a lone high surrogate
      Replaced(kTags, "\\ud83c\\udfb5", "\\udfb5"), // a lone low surrogate
      Replaced(kTags, "\\u00e9", "\\u00g9"),        Replaced(kTags, "\"artist\":null", "\"artist\":false"),
      Replaced(kTags, "\"artist\":null,", ""),
  };
  for (const std::string& Line : BadTags)
    EXPECT_FALSE(ParseTagsLine(Line)) << Line;
  const std::vector<std::string> BadGains = {
      Replaced(kGain, "\"heldBack\":true", "\"heldBack\":1"),
      Replaced(kGain, "\"heldBack\":true", "\"heldBack\":false"), // applied differs from requested
      Replaced(kGain, "3.21", "7.00"),                            // more than requested
      Replaced(kGain, "6.00", "61.00"),
      Replaced(kGain, "\"truePeak\":-4.21", "\"truePeak\":\"x\""),
      Replaced(kMatched, "-20.50", "\"-20.50\""),
      Replaced(kMatched, "-20.50", "null"), // no loudness, yet a gain
  };
  for (const std::string& Line : BadGains)
    EXPECT_FALSE(ParseGainLine(Line)) << Line;
}

namespace {

// A converter that answers from a script: the parameters it was given are kept, and the answer for a
// parameter line containing a key is returned (an output file is made when asked).
class TScriptedRunner : public IConverterProcess {
public:
  struct TAnswer {
    TConverterRun Run;
    std::string MakeOutput;
  };
  TConverterRun Run(const std::wstring& Wide) override {
    std::string Parameters = WideToAnsi(Wide);
    Calls.push_back(Parameters);
    for (const auto& [Key, Answer] : Answers)
      if (Parameters.find(Key) != std::string::npos) {
        if (!Answer.MakeOutput.empty())
          WriteFile(Answer.MakeOutput, TextBytes("song"));
        return Answer.Run;
      }
    return {};
  }
  std::map<std::string, TAnswer> Answers;
  std::vector<std::string> Calls;
};

} // namespace

TEST(ReportsTest, TheConverterIsGivenFullPathsAndItsAnswersAreChecked) {
  TempDir Dir;
  TScriptedRunner Runner;
  TConverter Converter(Runner);
  std::string Out = Dir.File("out.asf");
  Runner.Answers["quiet.wav"] = {{true, 0, kGain + "\r\n", ""}, Out};
  Runner.Answers["plain.wav"] = {{true, 0, "", ""}, Out};
  Runner.Answers["broken.wav"] = {{true, 2, "", "sx: The input is not a known sound format\r\n"}, ""};
  Runner.Answers["silent.wav"] = {{true, 2, "", ""}, ""};
  Runner.Answers["noreport.wav"] = {{true, 0, "{\"output\":1}\n", ""}, Out};
  Runner.Answers["matched.wav"] = {{true, 0, kMatched + "\r\n", ""}, Out};
  Runner.Answers["unmeasured.wav"] = {{true, 0, kGain + "\n", ""}, Out};
  Runner.Answers["-measure"] = {{true, 2, kMeasure + "\n{\"input\":\"b\",\"error\":\"cut short\"}\n", ""},
                                ""};
  Runner.Answers["only-tags.mp3"] = {{true, 2, "", "sx: No input file given"}, ""};

  TConversion Gained = Converter.Convert(SongFormat(), Dir.File("quiet.wav"), Out, 6.004);
  EXPECT_EQ(Runner.Calls.back(), "-pcstream -eaxa_blk -gain=6.00 \"" +
                                     platform::FullPath(Dir.File("quiet.wav")) + "\" -=\"" +
                                     platform::FullPath(Out) + "\"");
  ASSERT_TRUE(Gained.Made);
  EXPECT_TRUE(Gained.Gain && Gained.Gain->HeldBack);
  platform::DeleteFile(Out);

  TConversion Plain = Converter.Convert(*FindConverterFormat("wave"), Dir.File("plain.wav"), Out);
  EXPECT_EQ(Runner.Calls.back().find("-wave \""), 0u) << Runner.Calls.back();
  EXPECT_TRUE(Plain.Made && !Plain.Gain);
  platform::DeleteFile(Out);

  EXPECT_EQ(Converter.Convert(SongFormat(), Dir.File("broken.wav"), Out).Reason,
            "sx: The input is not a known sound format");
  EXPECT_EQ(Converter.Convert(SongFormat(), Dir.File("silent.wav"), Out).Reason,
            "The converter made no output (exit code 2)");
  TConversion NoReport = Converter.Convert(SongFormat(), Dir.File("noreport.wav"), Out, 1.0);
  EXPECT_FALSE(NoReport.Made) << "an unreadable gain report is a failure";
  EXPECT_EQ(NoReport.Reason, "The converter's report could not be read");
  platform::DeleteFile(Out);

  TConversion Matched = Converter.ConvertToLoudness(SongFormat(), Dir.File("matched.wav"), Out, -14.254);
  EXPECT_EQ(Runner.Calls.back(), "-pcstream -eaxa_blk -loudness=-14.25 \"" +
                                     platform::FullPath(Dir.File("matched.wav")) + "\" -=\"" +
                                     platform::FullPath(Out) + "\"");
  ASSERT_TRUE(Matched.Made && Matched.Gain && Matched.Gain->Integrated);
  EXPECT_DOUBLE_EQ(*Matched.Gain->Integrated, -20.5);
  Converter.ConvertToLoudness(SongFormat(), Dir.File("matched.wav"), Out, -95);
  EXPECT_NE(Runner.Calls.back().find(" -loudness=-70.00 "), std::string::npos)
      << "a target the converter does not take is brought within its range: " << Runner.Calls.back();
  TConversion Unmeasured = Converter.ConvertToLoudness(SongFormat(), Dir.File("unmeasured.wav"), Out, -14);
  EXPECT_FALSE(Unmeasured.Made || Unmeasured.Gain) << "a gain line without the loudness is no answer";
  // The input's tags read in the same run come first, before the gain's line; without their line, or
  // when the conversion fails, the tags are an error.
  Runner.Answers["tagged.wav"] = {
      {true, 0, "{\"input\":\"t\",\"title\":\"Song\",\"artist\":null,\"album\":null}\r\n" + kMatched + "\r\n",
       ""},
      Out};
  TTagsReport Tags;
  TConversion Tagged = Converter.ConvertToLoudness(SongFormat(), Dir.File("tagged.wav"), Out, -14, {}, &Tags);
  EXPECT_EQ(Runner.Calls.back().find("-pcstream -eaxa_blk -loudness=-14.00 -with-tags \""), 0u)
      << Runner.Calls.back();
  EXPECT_TRUE(Tagged.Made && Tagged.Gain && Tagged.Gain->Integrated);
  EXPECT_EQ(Tags.Title, "Song");
  EXPECT_TRUE(Tags.Error.empty()) << Tags.Error;
  platform::DeleteFile(Out);
  const std::pair<const char*, const char*> TagErrors[] = {
      {"plain.wav", "The converter's report could not be read"},
      {"broken.wav", "sx: The input is not a known sound format"}};
  for (const auto& [Input, Error] : TagErrors) {
    Converter.Convert(SongFormat(), Dir.File(Input), Out, std::nullopt, {}, &Tags);
    EXPECT_EQ(Tags.Error, Error) << Input;
    platform::DeleteFile(Out);
  }

  // Three inputs, two lines: the third is missing its report.
  std::vector<TMeasureReport> Measured = Converter.Measure({"x.asf", "y.asf", "z.asf"});
  EXPECT_EQ(Runner.Calls.back(), "-measure \"" + platform::FullPath("x.asf") + "\" \"" +
                                     platform::FullPath("y.asf") + "\" \"" + platform::FullPath("z.asf") +
                                     "\"");
  ASSERT_EQ(Measured.size(), 3u);
  EXPECT_TRUE(Measured[0].Error.empty());
  EXPECT_EQ(Measured[0].Input, "x.asf");
  EXPECT_EQ(Measured[1].Error, "cut short");
  EXPECT_EQ(Measured[2].Error, "The converter's report could not be read");
  // Asked for an outline of 2 slices: a line without one, or with another count, is no answer.
  Runner.Answers["-measure"].Run.Output = kOutlined + "\n" + kMeasure + "\n" +
                                          kMeasure.substr(0, kMeasure.size() - 1) +
                                          ",\"envelope\":[[[0,0]],[[0,0]]]}";
  Measured = Converter.Measure({"x.asf", "y.asf", "z.asf"}, 2);
  EXPECT_EQ(Runner.Calls.back().find("-measure -points=2 \""), 0u) << Runner.Calls.back();
  EXPECT_EQ(Measured[0].Envelope.size(), 2u);
  EXPECT_EQ(Measured[1].Error, "The converter's report could not be read");
  EXPECT_EQ(Measured[2].Error, "The converter's report could not be read");
  EXPECT_EQ(Converter.Tags({"only-tags.mp3"})[0].Error, "sx: No input file given");

  // A conversion with a trim and fade-out gives them in microseconds, before the input.
  const TSongShape Shape{1.5, std::nullopt, 2.25};
  Converter.ConvertToLoudness(SongFormat(), Dir.File("matched.wav"), Out, -14, Shape);
  EXPECT_EQ(Runner.Calls.back(),
            "-pcstream -eaxa_blk -loudness=-14.00 -start=1.500000 -fade-out=2.250000 \"" +
                platform::FullPath(Dir.File("matched.wav")) + "\" -=\"" + platform::FullPath(Out) + "\"");
  Converter.Convert(*FindConverterFormat("wave"), Dir.File("plain.wav"), Out, std::nullopt, {0, 9.1, {}});
  EXPECT_EQ(Runner.Calls.back().find("-wave -start=0.000000 -end=9.100000 \""), 0u) << Runner.Calls.back();

  Runner.Answers.clear();
  EXPECT_THROW(Converter.Measure({"x.asf"}), Exception) << "a converter that does not start";
}
