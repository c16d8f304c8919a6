// MicroTalk bitstream: the stream header's bit order, the lengths of the innovation codes, and the decode of
// a hand-worked pair of frames.
#include "converter/codecs/MicroTalkCodec.h"
#include "converter/codecs/MicroTalkFrame.h"
#include "converter/formats/EAStreamReader.h"
#include "converter/formats/EAStreamWriter.h"
#include "tests/converter/Signals.h"
#include "tests/fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <random>

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

// The samples a 10:1 channel decoder makes of one block holding Frames in the PCM-capable framing.
std::vector<int16_t> DecodeFrames(const std::vector<TMTFrame>& Frames) {
  const TMTStreamHeader Header;
  const TMTTables T(Header);
  Bytes Block{1};
  for (const TMTFrame& F : Frames) {
    Block.push_back(0); // frame marker
    TMTBitWriter W(&Block);
    if (&F == &Frames[0])
      WriteMTStreamHeader(W, Header);
    WriteMTFrame(W, T, F);
  }
  Block.push_back(0);
  std::vector<int16_t> Out;
  TChannelBlockInfo Info;
  MakeMicroTalkDecoder(TEAVariant{})
      ->Decode(Block.data(), Block.size(), Frames.size() * kMTFrameSamples, true, Out, Info);
  EXPECT_EQ(Info.Consumed + 1, Block.size());
  return Out;
}

// Two 10:1 frames whose output follows by hand from the codec's rules. Header: gains G[0] = 8 x (1 + 7) = 64,
// G[1] = 64 x 1.068 = 68.352; multipulse below index 24. Frame 1 has every reflection coefficient 0, so the
// output is the excitation itself:
// - subframe 0, gain 64 halved to 32 as the other positions are interpolated: +1 at position 20 gives 32
//   there, 32 x 0.59738597 = 19.1 beside it, 32 x -0.11459156 = -3.67 three away, 32 x 0.01803268 = 0.58
//   five away; -3 at position 80 gives -96, -57.3, 11.0, -1.73;
// - subframe 1, gain index 1, odd positions, others zero: +7 (an escape code) at 109 gives 478.5 and -1 at
//   215 gives -68.4;
// - subframe 2 repeats the excitation from 108 + 88 samples back at pitch gain 5/15: 32 / 3 = 10.7 at 216
//   and 19.1 / 3 = 6.37 at 217.
// Frame 2 moves the first reflection coefficient a quarter of the way to entry 8 (-0.95163703) for samples
// 0..11, so y[n] = e[n] + 0.23790926 y[n-1]: a pulse of 64 rings as 64, 15.2, 3.62, 0.86, 0.21.
TEST(MicroTalk, HandWorkedFramesDecodeToTheirSamples) {
  TMTFrame First, Second;
  for (TMTFrame* F : {&First, &Second})
    for (int J = 4; J < kMTOrder; ++J)
      F->RCIndex[J] = 32;
  First.Sub[0].Values[10] = 1;
  First.Sub[0].Values[40] = -3;
  First.Sub[1] = {.GainIndex = 1, .Align = 1};
  First.Sub[1].Values[0] = 7;
  First.Sub[1].Values[53] = -1;
  First.Sub[2] = {.Lag = 88, .PitchCode = 5};
  for (TMTSubframe& S : First.Sub)
    S.Zero = &S != &First.Sub[0];
  Second.RCIndex[0] = 8;
  Second.Sub[0].Values[0] = 1;
  Second.Sub[0].Zero = 1;
  const std::vector<int16_t> Out = DecodeFrames({First, Second});
  ASSERT_EQ(Out.size(), 2 * kMTFrameSamples);
  const std::pair<size_t, int16_t> Expected[] = {
      {14, 0},  {15, 1},  {17, -4},  {18, 0},    {19, 19},  {20, 32},   {21, 19},
      {23, -4}, {25, 1},  {75, -2},  {77, 11},   {79, -57}, {80, -96},  {81, -57},
      {83, 11}, {85, -2}, {108, 0},  {109, 478}, {110, 0},  {215, -68}, {216, 11},
      {217, 6}, {431, 0}, {432, 64}, {433, 15},  {434, 4},  {435, 1},   {436, 0}};
  for (const auto& [At, Sample] : Expected)
    EXPECT_EQ(Out[At], Sample) << "sample " << At;
}

// Twenty frames of random parameters, decoded by a float implementation of the game's arithmetic written
// apart from ours. A last-bit difference anywhere in the predictor, the interpolation or the gains grows
// into samples that differ by one.
TEST(MicroTalk, RandomFramesDecodeAsTheGamesArithmetic) {
  std::mt19937 Random(16);
  auto Pick = [&](unsigned Count) { return static_cast<unsigned>(Random() % Count); };
  const TMTStreamHeader Header;
  const TMTTables T(Header);
  std::vector<TMTFrame> Frames(20);
  for (TMTFrame& F : Frames) {
    for (int J = 0; J < kMTOrder; ++J)
      F.RCIndex[J] = 16 + Pick(32);
    for (unsigned I = 0; I < 4; ++I) {
      TMTSubframe& S = F.Sub[I];
      S = {.Lag = Pick(I == 0 ? 217 : 256),
           .PitchCode = Pick(16),
           .GainIndex = Pick(24),
           .Align = Pick(2),
           .Zero = Pick(2)};
      for (size_t K = 0; K < MTCodedValues(T); ++K)
        S.Values[K] = MTMultipulse(T, F) ? int(Pick(9)) - 4 : 2 * (int(Pick(3)) - 1);
    }
  }
  const std::vector<int16_t> Out = DecodeFrames(Frames);
  ASSERT_EQ(Out.size(), 20 * kMTFrameSamples);
  // Eight of these positions came out one off with the textbook predictor recursion and interpolation sums.
  const std::pair<size_t, int16_t> Expected[] = {
      {0, -183},    {130, 282},   {1000, -607}, {1800, 594},   {2904, 593},   {4011, -91}, {4321, 291},
      {5008, 1361}, {6000, -317}, {7694, 3230}, {8155, -2036}, {8544, -1265}, {8639, -910}};
  for (const auto& [At, Sample] : Expected)
    EXPECT_EQ(Out[At], Sample) << "sample " << At;
}

} // namespace
