// Wave and AIFF: every sample layout the readers accept, the writers' whole files, the 80-bit rate.
#include "converter/Bytes.h"
#include "converter/Converter.h"
#include "converter/formats/AiffExtended.h"
#include "converter/formats/AiffReader.h"
#include "converter/formats/AiffWriter.h"
#include "converter/formats/WaveReader.h"
#include "converter/formats/WaveWriter.h"
#include "tests/converter/Signals.h"
#include "tests/fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace sx;
using fixtures::FromHex;

namespace {

Bytes WaveFile(uint16_t Tag, unsigned Channels, unsigned Bits, const Bytes& Data, bool Extensible = false) {
  Bytes Fmt;
  PutLE16(Fmt, Extensible ? 0xFFFE : Tag);
  PutLE16(Fmt, Channels);
  PutLE32(Fmt, 8000);
  PutLE32(Fmt, 8000 * Channels * Bits / 8);
  PutLE16(Fmt, Channels * Bits / 8);
  PutLE16(Fmt, Bits);
  if (Extensible) {
    PutLE16(Fmt, 22);
    PutLE16(Fmt, Bits);
    PutLE32(Fmt, 0);
    PutLE16(Fmt, Tag);
    Fmt.insert(Fmt.end(), 14, 0x11);
  }
  Bytes Out;
  PutTag(Out, "RIFF");
  PutLE32(Out, 0);
  PutTag(Out, "WAVE");
  PutTag(Out, "LIST"); // an unknown chunk of odd size, with its pad byte
  PutLE32(Out, 3);
  Out.insert(Out.end(), {'a', 'b', 'c', 0});
  PutTag(Out, "fmt ");
  PutLE32(Out, static_cast<uint32_t>(Fmt.size()));
  Out.insert(Out.end(), Fmt.begin(), Fmt.end());
  PutTag(Out, "data");
  PutLE32(Out, static_cast<uint32_t>(Data.size()));
  Out.insert(Out.end(), Data.begin(), Data.end());
  return Out;
}

Bytes FloatBytes(std::initializer_list<float> Values, bool BigEndian) {
  Bytes Out;
  for (float F : Values) {
    uint32_t U;
    std::memcpy(&U, &F, 4);
    BigEndian ? PutBE32(Out, U) : PutLE32(Out, U);
  }
  return Out;
}

TEST(WaveReader, ReadsEverySampleLayout) {
  struct {
    const char* Name;
    Bytes File;
    unsigned Channels;
    std::vector<int16_t> Expected;
  } Cases[] = {
      {"8-bit unsigned", WaveFile(1, 1, 8, {0x80, 0xFF, 0x00, 0x81}), 1, {0, 32512, -32768, 256}},
      {"16-bit stereo", WaveFile(1, 2, 16, FromHex("01 00 ff ff 00 80 ff 7f")), 2, {1, -1, -32768, 32767}},
      {"24-bit rounds",
       WaveFile(1, 1, 24, FromHex("80 34 12 7f 34 12 00 00 80")),
       1,
       {0x1235, 0x1234, -32768}},
      {"32-bit", WaveFile(1, 1, 32, FromHex("00 80 34 12 ff ff ff 7f")), 1, {0x1235, 32767}},
      {"float",
       WaveFile(3, 1, 32, FloatBytes({0.5f, -1.0f, 2.0f, 0.0f}, false)),
       1,
       {16384, -32768, 32767, 0}},
      {"extensible 16-bit", WaveFile(1, 1, 16, FromHex("34 12"), true), 1, {0x1234}},
      {"extensible float", WaveFile(3, 1, 32, FloatBytes({-0.25f}, false), true), 1, {-8192}},
      // 5.1: FL FR FC LFE BL BR to stereo: left = (FL + .707 FC + .707 BL) / 2.414, LFE left out
      {"six channels", WaveFile(1, 6, 16, FromHex("00 40 00 20 00 40 ff 7f 00 00 00 c0")), 2, {11585, 3393}},
  };
  for (auto& C : Cases) {
    TAudio A = ReadWave(C.File);
    EXPECT_EQ(A.SampleRate, 8000u) << C.Name;
    EXPECT_EQ(A.Channels, C.Channels) << C.Name;
    EXPECT_EQ(A.Samples, C.Expected) << C.Name;
  }
}

Bytes AiffFile(const char* Form, unsigned Channels, unsigned Bits, const char* Compression,
               const Bytes& Data) {
  Bytes Comm;
  PutBE16(Comm, Channels);
  PutBE32(Comm, static_cast<uint32_t>(Data.size() / (Channels * Bits / 8)));
  PutBE16(Comm, Bits);
  PutExtended(Comm, 11025);
  if (Compression) {
    PutTag(Comm, Compression);
    Comm.insert(Comm.end(), {3, 'a', 'b', 'c'});
  }
  Bytes Out;
  PutTag(Out, "FORM");
  PutBE32(Out, 0);
  PutTag(Out, Form);
  PutTag(Out, "COMM");
  PutBE32(Out, static_cast<uint32_t>(Comm.size()));
  Out.insert(Out.end(), Comm.begin(), Comm.end());
  PutTag(Out, "SSND");
  PutBE32(Out, static_cast<uint32_t>(Data.size() + 12));
  PutBE32(Out, 4); // an offset before the first sample
  PutBE32(Out, 0);
  Out.insert(Out.end(), 4, 0xAA);
  Out.insert(Out.end(), Data.begin(), Data.end());
  return Out;
}

TEST(AiffReader, ReadsAiffAndAiffC) {
  struct {
    const char* Name;
    Bytes File;
    std::vector<int16_t> Expected;
  } Cases[] = {
      {"AIFF 16", AiffFile("AIFF", 1, 16, nullptr, FromHex("12 34 80 00")), {0x1234, -32768}},
      {"AIFF 8 signed", AiffFile("AIFF", 1, 8, nullptr, FromHex("7f 80 00")), {32512, -32768, 0}},
      {"AIFF 24 stereo", AiffFile("AIFF", 2, 24, nullptr, FromHex("12 34 80 ff ff ff")), {0x1235, 0}},
      {"AIFF-C NONE", AiffFile("AIFC", 1, 16, "NONE", FromHex("00 01")), {1}},
      {"AIFF-C sowt", AiffFile("AIFC", 1, 16, "sowt", FromHex("01 00 00 80")), {1, -32768}},
      {"AIFF-C fl32", AiffFile("AIFC", 1, 32, "fl32", FloatBytes({-0.5f}, true)), {-16384}},
  };
  for (auto& C : Cases) {
    TAudio A = ReadAiff(C.File);
    EXPECT_EQ(A.SampleRate, 11025u) << C.Name;
    EXPECT_EQ(A.Samples, C.Expected) << C.Name;
  }
  EXPECT_THROW(ReadAiff(AiffFile("AIFC", 1, 16, "ima4", FromHex("00 01"))), EConvertError);
}

TEST(AiffReader, ExtendedRatesMatchTheKnownBytes) {
  struct {
    uint32_t Rate;
    const char* Hex;
  } Cases[] = {{8000, "40 0B FA 00 00 00 00 00 00 00"},  {11025, "40 0C AC 44 00 00 00 00 00 00"},
               {22050, "40 0D AC 44 00 00 00 00 00 00"}, {32000, "40 0D FA 00 00 00 00 00 00 00"},
               {44100, "40 0E AC 44 00 00 00 00 00 00"}, {48000, "40 0E BB 80 00 00 00 00 00 00"},
               {1, "3F FF 80 00 00 00 00 00 00 00"}};
  for (auto& C : Cases) {
    Bytes Out;
    PutExtended(Out, C.Rate);
    EXPECT_EQ(fixtures::ToHex(Out), fixtures::ToHex(FromHex(C.Hex))) << C.Rate;
    EXPECT_EQ(ReadExtended(Out.data()), C.Rate);
  }
  EXPECT_EQ(ReadExtended(FromHex("C0 0E AC 44 00 00 00 00 00 00").data()), 0u); // negative
  EXPECT_EQ(ReadExtended(FromHex("7F FF 80 00 00 00 00 00 00 00").data()), 0u); // infinite
}

TEST(PcmWriters, WriteTheCanonicalFiles) {
  TAudio A;
  A.SampleRate = 22050;
  A.Channels = 2;
  A.Samples = {1, -2, 0x7FFF, -0x8000};
  EXPECT_EQ(
      fixtures::ToHex(WriteWave(A)),
      fixtures::ToHex(FromHex("52 49 46 46 2c 00 00 00 57 41 56 45 | 66 6d 74 20 10 00 00 00 | 01 00 02 00"
                              "22 56 00 00 88 58 01 00 04 00 10 00 | 64 61 74 61 08 00 00 00"
                              "01 00 fe ff ff 7f 00 80")));
  EXPECT_EQ(
      fixtures::ToHex(WriteAiff(A)),
      fixtures::ToHex(FromHex("46 4f 52 4d 00 00 00 36 41 49 46 46 | 43 4f 4d 4d 00 00 00 12 00 02"
                              "00 00 00 02 00 10 40 0d ac 44 00 00 00 00 00 00 | 53 53 4e 44 00 00 00 10"
                              "00 00 00 00 00 00 00 00 00 01 ff fe 7f ff 80 00")));
  // Through the command line: without tags, or with empty ones, the same canonical bytes; with tags, the
  // same sound followed by the tag chunks, Windows-1252 text ('?' for what it lacks) and ID3v2.3 in UTF-16.
  fixtures::TempDir Dir;
  fixtures::WriteFile(Dir.File("in.wav"), WriteWave(A));
  const std::string WaveSound =
      "52 49 46 46 %s 57 41 56 45 66 6d 74 20 10 00 00 00 01 00 02 00"
      "22 56 00 00 88 58 01 00 04 00 10 00 64 61 74 61 08 00 00 00 01 00 fe ff ff 7f 00 80";
  const std::string AiffSound =
      "46 4f 52 4d %s 41 49 46 46 43 4f 4d 4d 00 00 00 12 00 02 00 00 00 02 00 10"
      "40 0d ac 44 00 00 00 00 00 00 53 53 4e 44 00 00 00 10 00 00 00 00 00 00 00 00"
      "00 01 ff fe 7f ff 80 00";
  const std::string Id3 = "49 44 33 03 00 00 00 00 00 20 | 54 49 54 32 00 00 00 05 00 00 01 FF FE E9 00 | "
                          "54 50 45 31 00 00 00 07 00 00 01 FF FE 3D D8 DF DC"; // "é", then U+1F4DF
  auto With = [](std::string Sound, const char* Size) { return Sound.replace(Sound.find("%s"), 2, Size); };
  struct {
    const char* Option;
    std::vector<std::string> Tags;
    std::string Hex;
  } Cases[] = {
      {"-wave", {}, With(WaveSound, "2c 00 00 00")},
      {"-wave", {"-title=", "-artist=", "-album="}, With(WaveSound, "2c 00 00 00")},
      {"-aiff", {}, With(AiffSound, "00 00 00 36")},
      {"-aiff", {"-album="}, With(AiffSound, "00 00 00 36")},
      {"-wave",
       {"-title=é", "-artist=\U0001F4DF"},
       With(WaveSound, "7e 00 00 00") +
           "4C 49 53 54 18 00 00 00 49 4E 46 4F | 49 4E 41 4D 02 00 00 00 E9 00 |" +
           "49 41 52 54 02 00 00 00 3F 00 | 69 64 33 20 2A 00 00 00" + Id3},
      {"-aiff",
       {"-title=é", "-artist=\U0001F4DF"},
       With(AiffSound, "00 00 00 7c") + "4E 41 4D 45 00 00 00 01 E9 00 | 41 55 54 48 00 00 00 01 3F 00 |" +
           "49 44 33 20 00 00 00 2A" + Id3},
  };
  for (auto& C : Cases) {
    std::vector<std::string> Arguments = C.Tags;
    Arguments.insert(Arguments.begin(), C.Option);
    Arguments.push_back(Dir.File("in.wav"));
    Arguments.push_back("-=" + Dir.File("out"));
    std::string Out, Err;
    ASSERT_EQ(RunConverter(Arguments, Out, Err), 0) << Err;
    EXPECT_EQ(fixtures::ToHex(fixtures::ReadFile(Dir.File("out"))), fixtures::ToHex(FromHex(C.Hex)))
        << ::testing::PrintToString(Arguments);
  }

  TAudio Sound = sxtest::Stereo(sxtest::Chord(48000, 1000), sxtest::Square(48000, 1000, 1000));
  EXPECT_EQ(ReadWave(WriteWave(Sound)).Samples, Sound.Samples);
  EXPECT_EQ(ReadAiff(WriteAiff(Sound)).Samples, Sound.Samples);
  EXPECT_EQ(ReadAiff(WriteAiff(Sound)).SampleRate, 48000u);
}

} // namespace
