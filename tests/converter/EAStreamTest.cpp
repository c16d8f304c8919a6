// EA stream writer and reader: round trips through every codec, the block layout, and the header bytes.
#include "converter/Bytes.h"
#include "converter/formats/EAStreamReader.h"
#include "converter/formats/EAStreamWriter.h"
#include "tests/converter/Signals.h"
#include "tests/fixtures/TestFiles.h"

#include <gtest/gtest.h>

using namespace sx;

namespace {

struct TSound {
  const char* Name;
  TAudio Audio;
  bool MusicLike; // tonal content the lossy codecs are expected to code well
};

std::vector<TSound> Sounds() {
  return {
      {"chirp mono 22050", sxtest::Chirp(22050, 30000, 100, 3000), true},
      {"chirp to 10 kHz", sxtest::Chirp(22050, 30000, 100, 10000), false},
      {"chord mono 44100", sxtest::Chord(44100, 50000), true},
      {"silence mono", sxtest::Silence(22050, 7000), false},
      {"square full scale", sxtest::Square(22050, 9000, 441), false},
      {"stereo chord/chirp 32000",
       sxtest::Stereo(sxtest::Chord(32000, 40000), sxtest::Chirp(32000, 40000, 3000, 200, 0.3)), true},
      {"silence stereo, 1 frame", sxtest::Silence(11025, 1, 2), false},
      {"mono, 29 samples", sxtest::Chirp(22050, 29, 100, 200), false},
  };
}

struct TCodecCase {
  const char* Name;
  TEACodec Codec;
  double MinMusicSnr;
};

// SNR floors of the lossy codecs on the tonal signals. MicroTalk's floor is what its simple encoder
// reaches here (25.3 to 30.4 dB when recorded) with a margin.
const TCodecCase kCodecs[] = {
    {"s16l", TEACodec::PcmS16LE, 999},   {"s8", TEACodec::PcmS8, 30},       {"eaxa", TEACodec::EAXA, 30},
    {"mt10", TEACodec::MicroTalk10, 20}, {"mt5", TEACodec::MicroTalk5, 20},
};

TEST(EAStream, RoundTripsKeepLengthChannelsAndQuality) {
  for (const TCodecCase& C : kCodecs) {
    for (const TSound& S : Sounds()) {
      SCOPED_TRACE(std::string(C.Name) + ", " + S.Name);
      TEAStreamInfo Info;
      TAudio Back = ReadEAStream(WriteEAStream(S.Audio, C.Codec), &Info);
      EXPECT_EQ(Back.SampleRate, S.Audio.SampleRate);
      EXPECT_EQ(Back.Channels, S.Audio.Channels);
      ASSERT_EQ(Back.Samples.size(), S.Audio.Samples.size());
      const double Snr = sxtest::SnrDb(S.Audio, Back);
      if (C.Codec == TEACodec::PcmS16LE) {
        EXPECT_EQ(Back.Samples, S.Audio.Samples);
      } else if (C.Codec == TEACodec::PcmS8) {
        // Nearest multiple of 256, except at the top where 127 * 256 is the largest.
        for (size_t I = 0; I < Back.Samples.size(); ++I)
          ASSERT_LE(std::abs(S.Audio.Samples[I] - Back.Samples[I]),
                    S.Audio.Samples[I] > 32512 + 128 ? 255 : 128)
              << I;
      } else if (S.MusicLike) {
        EXPECT_GE(Snr, C.MinMusicSnr);
      }
      if (S.Name == std::string("silence mono")) {
        EXPECT_LE(sxtest::MaxDifference(S.Audio, Back), C.Codec == TEACodec::EAXA ? 0 : 16);
      }
      if (S.MusicLike)
        std::printf("  %-5s %-26s %6.2f dB\n", C.Name, S.Name, Snr);
    }
  }
}

// Blocks of about 1/15 s, ending on whole frames; a remainder shorter than a frame joins the last block;
// the count block holds the number of data blocks.
TEST(EAStream, BlocksFollowTheBlockRate) {
  struct {
    TEACodec Codec;
    uint32_t Rate;
    size_t Total;
    std::vector<size_t> Expected;
  } Cases[] = {
      {TEACodec::MicroTalk10, 22050, 4000, {1728, 1296, 976}},
      {TEACodec::EAXA, 22050, 3000, {1484, 1456, 60}},
      {TEACodec::EAXA, 22050, 2968, {1484, 1456, 28}},
      {TEACodec::EAXA, 22050, 2950, {1484, 1466}},
      {TEACodec::EAXA, 22050, 10, {10}},
      {TEACodec::EAXA, 22050, 100, {28, 72}},
      {TEACodec::MicroTalk5, 44100, 1000, {432, 568}},
      {TEACodec::PcmS16LE, 8000, 5, {2, 3}},
      {TEACodec::PcmS16LE, 22050, 3000, {1470, 1470, 60}},
      {TEACodec::PcmS8, 44100, 6000, {2940, 2940, 120}},
  };
  for (auto& C : Cases) {
    TAudio Sound = sxtest::Chirp(C.Rate, C.Total, 200, 900);
    TEAStreamInfo Info;
    ReadEAStream(WriteEAStream(Sound, C.Codec), &Info);
    std::vector<size_t> Counts;
    for (const TEABlockInfo& B : Info.Blocks)
      Counts.push_back(B.Samples);
    EXPECT_EQ(Counts, C.Expected) << int(C.Codec) << " " << C.Total;
    EXPECT_EQ(Info.CountField, C.Expected.size());
  }
}

// Every block's data is consumed exactly: only MicroTalk's guard byte and the padding to 4 are left, all
// zero. MicroTalk blocks start with flag 1 in the first block and 0 later; our frames carry no raw data.
TEST(EAStream, DecodersConsumeEveryBlockExactly) {
  TAudio Sound = sxtest::Stereo(sxtest::Chord(22050, 20000), sxtest::Chirp(22050, 20000, 100, 5000));
  for (const TCodecCase& C : kCodecs) {
    TEAStreamInfo Info;
    ReadEAStream(WriteEAStream(Sound, C.Codec), &Info);
    const bool MicroTalk = C.Codec == TEACodec::MicroTalk10 || C.Codec == TEACodec::MicroTalk5;
    for (size_t B = 0; B < Info.Blocks.size(); ++B) {
      for (size_t Ch = 0; Ch < 2; ++Ch) {
        const TChannelBlockInfo& I = Info.Blocks[B].Channels[Ch];
        const size_t Left = I.Available - I.Consumed, Guard = MicroTalk ? 1 : 0;
        SCOPED_TRACE(std::string(C.Name) + " block " + std::to_string(B) + " channel " + std::to_string(Ch));
        EXPECT_TRUE(I.TrailingZero);
        EXPECT_EQ(I.RawFrames, 0u);
        if (Ch == 0)
          EXPECT_EQ(Left, Guard);
        else
          EXPECT_TRUE(Left >= Guard && Left <= Guard + 3);
        if (MicroTalk) {
          EXPECT_EQ(I.Flag, B == 0 ? 1 : 0);
          EXPECT_EQ(I.Frames, (Info.Blocks[B].Samples + 431) / 432);
        }
      }
    }
  }
}

// A whole small stream: header tags after FD (version 3, channels, rate, count, codec), the count block,
// two data blocks (a short sound is split so that FFmpeg can open it) with their offset tables, the end
// block.
TEST(EAStream, WritesTheDocumentedBytes) {
  TAudio Sound;
  Sound.SampleRate = 44100;
  Sound.Channels = 2;
  Sound.Samples = {1, -1, 256, -256, 0x7FFF, -0x8000};
  const auto Expected =
      fixtures::FromHex("53 43 48 6c 24 00 00 00 | 50 54 00 00 | 06 01 65 | fd | 80 01 03 | 82 01 02"
                        "| 84 02 ac 44 | 85 01 03 | a0 01 08 | ff 00 00 00"
                        "| 53 43 43 6c 0c 00 00 00 02 00 00 00"
                        "| 53 43 44 6c 18 00 00 00 | 01 00 00 00 | 00 00 00 00 02 00 00 00 | 01 00 | ff ff"
                        "| 53 43 44 6c 1c 00 00 00 | 02 00 00 00 | 00 00 00 00 04 00 00 00"
                        "| 00 01 ff 7f | 00 ff 00 80"
                        "| 53 43 45 6c 08 00 00 00");
  EXPECT_EQ(fixtures::ToHex(WriteEAStream(Sound, TEACodec::PcmS16LE)), fixtures::ToHex(Expected));
  // Values take the shortest big-endian length that holds them.
  Sound.Samples.assign(70000, 0);
  Sound.Channels = 1;
  const Bytes Long = WriteEAStream(Sound, TEACodec::PcmS8);
  EXPECT_EQ(fixtures::ToHex(Bytes(Long.begin() + 19, Long.begin() + 34)),
            fixtures::ToHex(fixtures::FromHex("82 01 01 | 84 02 ac 44 | 85 03 01 11 70 | a0 01 09")));
}

} // namespace
