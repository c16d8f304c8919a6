// MP3 input without an outside encoder: hand-made layer III frames whose side information codes no
// spectral data decode to silence of exactly the frame's length. This runs wherever the system's MP3
// decoder does, also under Wine; the FFmpeg cases cover real music.
#include "converter/Converter.h"
#include "converter/formats/Mp3Reader.h"
#include "tests/converter/Signals.h"

#include <gtest/gtest.h>

using namespace sx;

namespace {

// Frames layer III frames at 128 kbit/s: MPEG-1 at 44100 or 32000 Hz, MPEG-2 at 22050 Hz.
Bytes SilentMp3(uint32_t Rate, bool Stereo, size_t Frames, bool Id3) {
  Bytes Out;
  if (Id3)
    Out = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const bool Mpeg1 = Rate != 22050;
  const uint8_t Frequency = Rate == 32000 ? 2 : 0;
  const uint8_t Bitrate = Mpeg1 ? 9 : 12; // 128 kbit/s in both tables
  const size_t Size = (Mpeg1 ? 144 : 72) * 128000 / Rate;
  for (size_t F = 0; F < Frames; ++F) {
    Out.push_back(0xFF);
    Out.push_back(Mpeg1 ? 0xFB : 0xF3);
    Out.push_back(static_cast<uint8_t>(Bitrate << 4 | Frequency << 2));
    Out.push_back(Stereo ? 0x00 : 0xC0);
    Out.insert(Out.end(), Size - 4, 0);
  }
  return Out;
}

TEST(Mp3, SilentFramesDecodeToTheirLength) {
  struct {
    uint32_t Rate;
    bool Stereo;
    bool Id3;
    size_t SamplesPerFrame;
  } Cases[] = {{44100, true, false, 1152}, {32000, false, true, 1152}, {22050, true, true, 576}};
  for (auto& C : Cases) {
    SCOPED_TRACE(std::to_string(C.Rate) + (C.Stereo ? " stereo" : " mono"));
    const Bytes Data = SilentMp3(C.Rate, C.Stereo, 40, C.Id3);
    ASSERT_EQ(DetectInput(Data), TInputKind::Mp3);
    TAudio A = ReadAudio(Data);
    EXPECT_EQ(A.SampleRate, C.Rate);
    EXPECT_EQ(A.Channels, C.Stereo ? 2u : 1u);
    // Decoders may hold back or drop a frame at either end, never more.
    EXPECT_NEAR(double(A.Frames()), 40.0 * C.SamplesPerFrame, 2.0 * C.SamplesPerFrame);
    // Some decoders (Wine's ACM codec) dither their output by a few units.
    EXPECT_LE(sxtest::MaxDifference(A, sxtest::Silence(C.Rate, A.Frames(), A.Channels)), 4);
  }
}

TEST(Mp3, RecognisesOnlyRealFrames) {
  EXPECT_EQ(DetectInput(SilentMp3(44100, true, 3, false)), TInputKind::Mp3);
  Bytes Lone = SilentMp3(44100, true, 2, false);
  Lone[Lone.size() / 2] = 0x12; // the second frame's sync is gone
  EXPECT_EQ(DetectInput(Lone), TInputKind::Unknown);
  Bytes Layer2 = SilentMp3(44100, true, 3, false);
  Layer2[1] = 0xFD;
  EXPECT_EQ(DetectInput(Layer2), TInputKind::Unknown);
  TMp3Frame F;
  ASSERT_TRUE(FindMp3Frame(SilentMp3(32000, false, 1, true), 0, F));
  EXPECT_EQ(F.Offset, 20u);
  EXPECT_EQ(F.Size, 576u);
  EXPECT_EQ(F.BitRate, 128000u);
}

} // namespace
