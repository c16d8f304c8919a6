// EA-XA: the decoder against hand-made frames whose output was checked with an independent decoder, and
// the encoder's quality and its agreement with the decoder.
#include "converter/codecs/EAXA.h"
#include "converter/formats/EAStreamReader.h"
#include "converter/formats/EAStreamWriter.h"
#include "tests/converter/Signals.h"
#include "tests/fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace sx;
using fixtures::FromHex;

namespace {

const char* kHeader =
    "53 43 48 6c 24 00 00 00 50 54 00 00 06 01 65 fd 80 01 03 82 01 %C 84 02 56 22 85 01 54 a0 01 0a"
    "ff 00 00 00 53 43 43 6c 0c 00 00 00 03 00 00 00";

std::string Header(char Channels) {
  std::string H = kHeader;
  H.replace(H.find("%C"), 2, std::string("0") + Channels);
  return H;
}

std::vector<int> Samples(const TAudio& A) {
  return {A.Samples.begin(), A.Samples.end()};
}

const std::vector<int> kVectorA = {
    0,   1,    2,    3,    4,    5,    6,    7,    -8,   -7,   -6,   -5,  -4,  -3,   -2,   -1,   0,
    1,   2,    3,    4,    5,    6,    7,    -8,   -7,   -6,   -5,   23,  73,  140,  220,  309,  404,
    502, 601,  700,  797,  891,  981,  1066, 1146, 1161, 1123, 1042, 927, 787, 628,  457,  278,  96,
    -86, -265, -439, -606, -765, -651, -340, 38,   350,  503,  469,  286, 34,  -194, -327, -334, -231,
    -67, 95,   203,  229,  176,  72,   -41,  -125, -157, -134, -71,  6,   70,  101,  94,   57};

TEST(EAXA, DecodesHandMadeStreams) {
  const std::string F1 = "0c 01 23 45 67 89 ab cd ef 01 23 45 67 89 ab",
                    F2 = "2a 77 77 77 77 77 77 77 88 88 88 88 88 88 88",
                    F3 = "3f 1f 1f 1f 1f 1f 1f 1f 1f 1f 1f 1f 1f 1f 1f",
                    F4 = "1c 00 00 00 00 00 00 00 00 00 00 00 00 00 00";
  const std::string MonoBlock = "53 43 44 6c 20 00 00 00 1c 00 00 00 00 00 00 00";
  const std::string End = "53 43 45 6c 08 00 00 00";
  // Mono: three blocks of one frame each; filter 2 and 3 carry history across the blocks.
  TAudio A = ReadEAStream(
      FromHex(Header('1') + MonoBlock + F1 + "00" + MonoBlock + F2 + "00" + MonoBlock + F3 + "00" + End));
  EXPECT_EQ(A.SampleRate, 22050u);
  EXPECT_EQ(Samples(A), kVectorA);

  // A raw frame: the prediction continues from the history words it carries, not from its samples.
  std::string Raw = "ee 13 88 00 00";
  for (int I = 0; I < 28; ++I)
    Raw += " 03 e8";
  TAudio B = ReadEAStream(FromHex(Header('1') + "53 43 44 6c 50 00 00 00 1c 00 00 00 00 00 00 00" + Raw +
                                  "00 00 00" + MonoBlock + F4 + "00" + MonoBlock + F3 + "00" + End));
  ASSERT_EQ(B.Samples.size(), 84u);
  EXPECT_EQ(B.Samples[27], 1000);
  EXPECT_EQ(B.Samples[28], 4687);
  EXPECT_EQ(B.Samples[55], 815);
  EXPECT_EQ(B.Samples[56], 500);
  EXPECT_EQ(B.Samples[83], -23);

  // Stereo: the right channel's offset is 15; a negative history times 240/256 floors to -1.
  const std::string StereoBlock = "53 43 44 6c 34 00 00 00 1c 00 00 00 00 00 00 00 0f 00 00 00";
  TAudio C = ReadEAStream(FromHex(Header('2') + StereoBlock + F1 + F3 + "00 00" + StereoBlock + F2 + F4 +
                                  "00 00" + StereoBlock + F3 + F1 + "00 00" + End));
  ASSERT_EQ(C.Channels, 2u);
  ASSERT_EQ(C.Samples.size(), 168u);
  const std::vector<int> RightStart = {0, -1, -2, -3, -3, -3, -2, -1, 0, 0};
  for (size_t I = 0; I < 84; ++I)
    EXPECT_EQ(C.Samples[2 * I], kVectorA[I]) << I;
  for (size_t I = 0; I < RightStart.size(); ++I)
    EXPECT_EQ(C.Samples[2 * I + 1], RightStart[I]) << I;
  for (size_t I = 28; I < 56; ++I)
    EXPECT_EQ(C.Samples[2 * I + 1], -1) << I;
  for (size_t I = 56; I < 84; ++I)
    EXPECT_EQ(C.Samples[2 * I + 1], kVectorA[I - 56]) << I;
}

// The encoder must end each frame in exactly the state the decoder reaches, or errors would build up.
TEST(EAXA, EncoderTracksTheDecoderAndReachesItsQuality) {
  struct {
    const char* Name;
    TAudio Sound;
    double MinSnr;
  } Cases[] = {
      {"chord 22050", sxtest::Chord(22050, 22050), 30},
      {"chord 44100", sxtest::Chord(44100, 44100), 30},
      {"chirp", sxtest::Chirp(22050, 22050, 50, 4000), 30},
      {"chirp to 10 kHz", sxtest::Chirp(22050, 22050, 50, 10000), 20},
      {"quiet chirp", sxtest::Chirp(44100, 22050, 100, 2000, 0.01), 30},
  };
  for (auto& C : Cases) {
    TEAXAState Encoder, Decoder;
    TAudio Decoded = C.Sound;
    for (size_t Start = 0; Start + kEAXAFrameSamples <= C.Sound.Samples.size(); Start += kEAXAFrameSamples) {
      uint8_t Frame[kEAXARawFrameBytes];
      const size_t Size = EncodeEAXAFrame(&C.Sound.Samples[Start], Encoder, Frame);
      ASSERT_TRUE(Frame[0] >> 4 <= 3 || Frame[0] == 0xEE) << C.Name;
      ASSERT_EQ(DecodeEAXAFrame(Frame, Size, Decoder, &Decoded.Samples[Start]), Size);
      ASSERT_EQ(Encoder.H1, Decoder.H1) << C.Name << " frame " << Start / 28;
      ASSERT_EQ(Encoder.H2, Decoder.H2) << C.Name << " frame " << Start / 28;
    }
    EXPECT_GE(sxtest::SnrDb(C.Sound, Decoded), C.MinSnr) << C.Name;
  }
}

// A plain search: every filter and shift, every code tried for every sample, nothing cut short. The
// encoder's shortcuts (nearest code by division, trial order, early stop) must not lose to it when it may
// not fall back on raw frames.
int64_t ReferenceError(const int16_t* X, TEAXAState State) {
  const int C1[4] = {0, 240, 460, 392}, C2[4] = {0, 0, -208, -220};
  int64_t Best = INT64_MAX;
  for (int F = 0; F < 4; ++F)
    for (int S = 0; S <= 12; ++S) {
      int32_t H1 = State.H1, H2 = State.H2;
      int64_t Error = 0;
      for (int I = 0; I < 28; ++I) {
        int32_t BestY = 0;
        for (int D = -8; D <= 7; ++D) {
          int32_t Y = std::clamp((D * (1 << (20 - S)) + C1[F] * H1 + C2[F] * H2) >> 8, -32768, 32767);
          if (D == -8 || std::abs(Y - X[I]) < std::abs(BestY - X[I]))
            BestY = Y;
        }
        Error += int64_t(BestY - X[I]) * (BestY - X[I]);
        H2 = H1;
        H1 = BestY;
      }
      Best = std::min(Best, Error);
    }
  return Best;
}

// The clipped chord sits at the 16-bit limits, where the decoder's clamp decides between two codes.
TEST(EAXA, EncoderFindsTheBestPairOfEachFrame) {
  TAudio Clipped = sxtest::Chord(44100, 5600);
  for (int16_t& V : Clipped.Samples)
    V = Clamp16(int64_t(V) * 4);
  struct {
    const char* Name;
    TAudio Sound;
  } Cases[] = {{"chord", sxtest::Chord(22050, 5600)},
               {"chirp", sxtest::Chirp(44100, 5600, 300, 15000)},
               {"square", sxtest::Square(22050, 5600, 441)},
               {"clipped chord", Clipped}};
  for (auto& C : Cases) {
    TEAXAState State;
    for (size_t Start = 0; Start + 28 <= C.Sound.Samples.size(); Start += 28) {
      const int16_t* X = &C.Sound.Samples[Start];
      const int64_t Reference = ReferenceError(X, State);
      uint8_t Frame[kEAXARawFrameBytes];
      TEAXAState Decoder = State;
      EncodeEAXAFrame(X, State, Frame, kEAXAFrameSamples, false);
      int16_t Out[28];
      DecodeEAXAFrame(Frame, kEAXAFrameBytes, Decoder, Out);
      int64_t Error = 0;
      for (int I = 0; I < 28; ++I)
        Error += int64_t(Out[I] - X[I]) * (Out[I] - X[I]);
      ASSERT_EQ(Error, Reference) << C.Name << " frame " << Start / 28;
    }
  }
}

// The vectorised searches (sixteen pairs at a time where the processor has AVX2, eight with SSE2) must
// choose exactly as the plain one, frame after frame: at the 16-bit limits (full-scale squares, clipping,
// predictions beyond them), in noise where raw frames are written, in quiet and silent passages where
// pairs tie, and for every starting history the frames before leave.
TEST(EAXA, VectorAndPlainSearchesWriteTheSameBytes) {
#if defined(__x86_64__)
  EXPECT_TRUE(EAXAVectorSearch()); // SSE2 is the baseline there: the comparison below is never plain to plain
#endif
  TAudio Clipped = sxtest::Chord(44100, 22050);
  for (int16_t& V : Clipped.Samples)
    V = Clamp16(int64_t(V) * 6);
  const TAudio Cases[] = {sxtest::Song(44100, 1.5),
                          sxtest::Square(44100, 11025, 1000),
                          Clipped,
                          sxtest::Square(8000, 4000, 1900),
                          sxtest::PinkNoise(22050, 11025, 1, 1.0, 7),
                          sxtest::Chirp(48000, 24000, 20, 20000, 0.99),
                          sxtest::Sine(8000, 4000, 100, 0.0005),
                          sxtest::Silence(22050, 560)};
  const TEAXASearch Searches[] = {TEAXASearch::Vector, TEAXASearch::Sse2, TEAXASearch::Plain};
  for (const TAudio& Sound : Cases) {
    TEAXAState States[3];
    for (size_t Start = 0; Start + kEAXAFrameSamples <= Sound.Samples.size(); Start += kEAXAFrameSamples) {
      uint8_t Frames[3][kEAXARawFrameBytes] = {};
      size_t Sizes[3];
      for (int K = 0; K < 3; ++K)
        Sizes[K] = EncodeEAXAFrame(&Sound.Samples[Start], States[K], Frames[K], kEAXAFrameSamples, true,
                                   Searches[K]);
      for (int K = 0; K < 2; ++K) {
        ASSERT_EQ(std::vector<uint8_t>(Frames[K], Frames[K] + Sizes[K]),
                  std::vector<uint8_t>(Frames[2], Frames[2] + Sizes[2]))
            << "search " << K << ", frame " << Start / 28;
        ASSERT_EQ(States[K].H1, States[2].H1);
        ASSERT_EQ(States[K].H2, States[2].H2);
      }
    }
  }
}

// Where no filter and shift can follow the signal (a full-scale square's edges, clipping), raw frames keep
// the error small; half-scale squares and the padding of a stream's last partial frame need none.
TEST(EAXA, RawFramesAndThePaddedLastFrameKeepTheErrorSmall) {
  TAudio Clipped = sxtest::Chord(44100, 44100);
  for (int16_t& V : Clipped.Samples)
    V = Clamp16(int64_t(V) * 4);
  TAudio HalfSquare = sxtest::Square(22050, 22050, 441);
  for (int16_t& V : HalfSquare.Samples)
    V = static_cast<int16_t>(V / 2);
  struct {
    const char* Name;
    TAudio Sound;
    double MinSnr;
  } Cases[] = {
      {"square 22050", sxtest::Square(22050, 22050, 441), 60},
      {"square 44100", sxtest::Square(44100, 44100, 1000), 60},
      {"square 48000", sxtest::Square(48000, 48000, 100), 60},
      {"half-scale square", HalfSquare, 80},
      {"clipped chord", Clipped, 56},
  };
  for (auto& C : Cases) {
    const TAudio Decoded = ReadEAStream(WriteEAStream(C.Sound, TEACodec::EAXA));
    EXPECT_GE(sxtest::SnrDb(C.Sound, Decoded), C.MinSnr) << C.Name;
  }
  // Every length of the last frame: its samples are no worse than the 980 before them.
  const TAudio Chord = sxtest::Chord(22050, 1008);
  for (size_t Tail = 1; Tail < kEAXAFrameSamples; ++Tail) {
    TAudio Sound = Chord;
    Sound.Samples.resize(980 + Tail);
    const TAudio Decoded = ReadEAStream(WriteEAStream(Sound, TEACodec::EAXA));
    ASSERT_EQ(Decoded.Samples.size(), Sound.Samples.size());
    int Body = 0, Last = 0;
    for (size_t I = 0; I < Sound.Samples.size(); ++I)
      (I < 980 ? Body : Last) =
          std::max(I < 980 ? Body : Last, std::abs(Decoded.Samples[I] - Sound.Samples[I]));
    EXPECT_LE(Last, Body) << "last frame of " << Tail << " samples";
  }
}

} // namespace

namespace {

// Layouts older converters wrote: version 1 EA-XA (4 history bytes before each channel's frames, skipped),
// version 0 interleaved PCM (no offset table), and big-endian split PCM.
TEST(EAStreamReader, ReadsOlderLayouts) {
  const std::string End = "53 43 45 6c 08 00 00 00";
  struct {
    const char* Name;
    std::string Hex;
    unsigned Channels;
    std::vector<int> Expected;
  } Cases[] = {
      {"EA-XA version 1",
       "53 43 48 6c 14 00 00 00 50 54 00 00 fd 80 01 01 a0 01 0a ff"
       "53 43 44 6c 24 00 00 00 1c 00 00 00 00 00 00 00 12 34 56 78"
       "0c 01 23 45 67 89 ab cd ef 01 23 45 67 89 ab 00" +
           End,
       1,
       {0, 1, 2, 3, 4, 5, 6, 7, -8, -7, -6, -5, -4, -3, -2, -1, 0, 1, 2, 3, 4, 5, 6, 7, -8, -7, -6, -5}},
      {"PCM version 0 interleaved",
       "53 43 48 6c 14 00 00 00 50 54 00 00 fd 82 01 02 85 01 02 ff"
       "53 43 44 6c 14 00 00 00 02 00 00 00 01 00 02 00 ff ff fe ff" +
           End,
       2,
       {1, 2, -1, -2}},
      {"PCM 8-bit version 0 interleaved",
       "53 43 48 6c 14 00 00 00 50 54 00 00 fd 81 01 08 85 01 03 ff"
       "53 43 44 6c 10 00 00 00 03 00 00 00 01 ff 80 00" +
           End,
       1,
       {256, -256, -32768}},
      {"PCM big-endian split",
       "53 43 48 6c 18 00 00 00 50 54 00 00 fd 80 01 03 a0 01 07 85 01 01 ff 00"
       "53 43 44 6c 14 00 00 00 01 00 00 00 00 00 00 00 12 34 00 00" +
           End,
       1,
       {0x1234}},
  };
  for (auto& C : Cases) {
    TAudio A = ReadEAStream(FromHex(C.Hex));
    EXPECT_EQ(A.Channels, C.Channels) << C.Name;
    EXPECT_EQ(A.SampleRate, 22050u) << C.Name;
    EXPECT_EQ(Samples(A), C.Expected) << C.Name;
  }
}

} // namespace
