// MicroTalk bitstream: the stream header's bit order, and the lengths of the innovation codes.
#include "converter/codecs/MicroTalkFrame.h"
#include "converter/formats/EAStreamReader.h"
#include "converter/formats/EAStreamWriter.h"
#include "tests/converter/Signals.h"
#include "tests/fixtures/TestFiles.h"

#include <gtest/gtest.h>

using namespace sx;

namespace {

// The first block's channel data: flag 1, marker 0, then the 15-bit header least significant bit first
// (reduced bandwidth 1, threshold 8, gain 7, multiplier 28), then the first reflection index.
TEST(MicroTalk, StreamHeaderBitsComeFirst) {
  for (TEACodec Codec : {TEACodec::MicroTalk10, TEACodec::MicroTalk5}) {
    const Bytes Stream = WriteEAStream(sxtest::Silence(22050, 2000), Codec);
    const size_t Data = 36 + 12 + 8 + 4 + 4; // SCHl, SCCl, SCDl header, count, one offset
    ASSERT_GT(Stream.size(), Data + 4);
    EXPECT_EQ(Stream[Data], 1);
    EXPECT_EQ(Stream[Data + 1], 0);
    const uint8_t Reduced = Codec == TEACodec::MicroTalk10 ? 1 : 0;
    EXPECT_EQ(Stream[Data + 2], Reduced | 8 << 1 | (7 & 7) << 5);
    // Bit 15 is the first bit of the first reflection index: silence gives entry 32 (0.0), bit 0 of 32 is 0.
    EXPECT_EQ(Stream[Data + 3], (7 >> 3) | 28 << 1);
    TMTBitReader R(&Stream[Data + 2], 2);
    TMTStreamHeader H;
    ReadMTStreamHeader(R, H);
    EXPECT_EQ(H.ReducedBandwidth, Codec == TEACodec::MicroTalk10);
    EXPECT_EQ(H.BaseThreshold, 8u);
    EXPECT_EQ(H.BaseGain, 7u);
    EXPECT_EQ(H.BaseMultiplier, 28u);
  }
}

// Code lengths from the two-model table: model 0 "00" 0, "01" -1, "10" +1, then k ones, a zero and a
// sign for +-k; model 1 one bit shorter from 2 up; escape and zero run at the all-ones end.
TEST(MicroTalk, InnovationCodesHaveTheirLengths) {
  TMTStreamHeader Full;
  Full.ReducedBandwidth = false;
  const TMTTables T(Full);
  struct {
    const char* Name;
    std::vector<int> Values;
    bool Multipulse;
    size_t Bits;
  } Cases[] = {
      // 00 01 10 | 1100 (model 1) | 1101 | 1111110 0 1 | 1111110 11 0 0 | run of 70: 1111111 + 6 | run of 31:
      // 11111111 + 6 (model 0 after a run)
      {"multipulse", {0, -1, 1, -2, 3, 7, -9}, true, 2 + 2 + 2 + 4 + 4 + 9 + 11 + 13 + 14},
      // seven zeros cost no more one by one than as a run: 7 x 00 | 1111101 (model 1) | run of 70 in model 1:
      // 1111111 + 6 | run of 30 in model 0: 11111111 + 6
      {"multipulse short runs", {0, 0, 0, 0, 0, 0, 0, 5}, true, 7 * 2 + 7 + 13 + 14},
      {"relp", {2, -2, 0, 2}, false, 2 + 2 + 1 + 2 + 104},
  };
  for (auto& C : Cases) {
    int Values[kMTSubframeSamples] = {};
    std::copy(C.Values.begin(), C.Values.end(), Values);
    EXPECT_EQ(MTInnovationBits(T, C.Multipulse, Values), C.Bits) << C.Name;
    // Written and read back inside a frame, the values survive.
    TMTFrame F;
    F.RCIndex[0] = C.Multipulse ? 1 : 40;
    for (int J = 4; J < kMTOrder; ++J)
      F.RCIndex[J] = 16;
    for (TMTSubframe& S : F.Sub)
      std::copy(Values, Values + kMTSubframeSamples, S.Values);
    Bytes Out;
    TMTBitWriter W(&Out);
    WriteMTFrame(W, T, F);
    TMTBitReader R(Out.data(), Out.size());
    TMTFrame Back;
    ReadMTFrame(R, T, Back);
    for (const TMTSubframe& S : Back.Sub)
      EXPECT_EQ(std::vector<int>(S.Values, S.Values + kMTSubframeSamples),
                std::vector<int>(Values, Values + kMTSubframeSamples))
          << C.Name;
    EXPECT_EQ(W.Count(), 64 + 4 * (18 + C.Bits)) << C.Name;
  }
}

} // namespace
