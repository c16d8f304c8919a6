// Writes the seed corpus of every fuzz target into <folder>/<target>/seed-<name>: small valid inputs
// made by the project's own writers and test generators, one per layout worth starting from.

#include "converter/formats/AiffWriter.h"
#include "converter/codecs/EACodec.h"
#include "converter/formats/EAStreamWriter.h"
#include "converter/formats/WaveWriter.h"
#include "tests/fixtures/Bigf.h"
#include "tests/fixtures/Definition.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

namespace {

using fixtures::Bytes;
namespace fs = std::filesystem;

fs::path Root;

void Seed(const std::string& Target, const std::string& Name, const Bytes& Data) {
  fs::create_directories(Root / Target);
  fixtures::WriteFile((Root / Target / ("seed-" + Name)).string(), Data);
}

sx::TAudio Tone(unsigned Channels, size_t Frames) {
  sx::TAudio Audio;
  Audio.SampleRate = 22050;
  Audio.Channels = Channels;
  for (size_t I = 0; I < Frames * Channels; ++I)
    Audio.Samples.push_back(
        static_cast<int16_t>(8000 * std::sin(0.05 * double(I / Channels + I % Channels))));
  return Audio;
}

void ArchiveSeeds() {
  Seed("bigf", "empty", fixtures::MakeBigf({}));
  Seed("bigf", "three",
       fixtures::MakeBigf(
           {{"a.asf", fixtures::Pattern(100, 1)}, {"empty", {}}, {"sub\\c.asf", fixtures::Pattern(70, 2)}}));
  // Two entries naming the same data, as some tools write for a song used twice.
  Bytes Shared = fixtures::MakeBigf({{"one", fixtures::Pattern(64, 3)}, {"two", {}}});
  fixtures::PutBE32(Shared, 16 + 8 + 4, fixtures::GetBE32(Shared, 16));
  fixtures::PutBE32(Shared, 16 + 8 + 4 + 4, 64);
  Seed("bigf", "shared", Shared);

  Seed("definition", "one-archive", fixtures::MakeDefinition({{"a.viv"}, {}, {{{64, 0, -1}}}}));
  Seed("definition", "two-archives",
       fixtures::MakeDefinition({{"a.viv", "sub/b.viv"},
                                 {{"Song", "Singer", "Album"}},
                                 {{{64, 0, 0}, {64, 1, -1}}, {}, {{64, 1, 0}}}}));
  Seed("definition", "outside", fixtures::MakeDefinition({{"../outside.viv"}, {}, {}}));

  Seed("refpack", "text", fixtures::TextBytes("streams.dat streams.dat streams.dat of ORVIK, ORVIK, ORVIK"));
  Seed("refpack", "pattern", fixtures::Pattern(3000, 4));
  Seed("refpack", "zeros", Bytes(5000, 0));
}

void SoundFileSeeds() {
  Seed("wave", "mono", sx::WriteWave(Tone(1, 200)));
  Seed("wave", "stereo", sx::WriteWave(Tone(2, 100)));
  Seed("aiff", "mono", sx::WriteAiff(Tone(1, 200)));
  Seed("aiff", "stereo", sx::WriteAiff(Tone(2, 100)));
  const std::pair<const char*, sx::TEACodec> Codecs[] = {{"eaxa", sx::TEACodec::EAXA},
                                                         {"pcm16", sx::TEACodec::PcmS16LE},
                                                         {"pcm16be", sx::TEACodec::PcmS16BE},
                                                         {"pcm8", sx::TEACodec::PcmS8},
                                                         {"microtalk10", sx::TEACodec::MicroTalk10},
                                                         {"microtalk5", sx::TEACodec::MicroTalk5}};
  for (const auto& [Name, Codec] : Codecs)
    Seed("eastream", Name, sx::WriteEAStream(Tone(2, 1500), Codec));
}

// Two blocks of one channel in the codec targets' input form (see CodecTarget.h).
Bytes CodecInput(sx::TEACodec Codec, uint8_t Choice) {
  const sx::TAudio Audio = Tone(1, 8 * sx::FrameSamples(Codec) + 4);
  std::unique_ptr<sx::TChannelEncoder> Encoder = sx::MakeEncoder(Codec);
  Bytes Input = {Choice};
  const size_t Half = Audio.Samples.size() / 2;
  for (size_t Block = 0; Block < 2; ++Block) {
    Bytes Data;
    Encoder->Encode(Audio.Samples.data() + Block * Half, Half, 1, Block == 0, Data);
    for (size_t Value : {Half, Data.size()}) {
      Input.push_back(static_cast<uint8_t>(Value));
      Input.push_back(static_cast<uint8_t>(Value >> 8));
    }
    Input.insert(Input.end(), Data.begin(), Data.end());
  }
  return Input;
}

void CodecSeeds() {
  Seed("eaxa", "blocks", CodecInput(sx::TEACodec::EAXA, 1));
  Seed("eaxa", "blocks-old", CodecInput(sx::TEACodec::EAXA, 0));
  Seed("pcm", "s16le", CodecInput(sx::TEACodec::PcmS16LE, 1));
  Seed("pcm", "s8", CodecInput(sx::TEACodec::PcmS8, 3));
  Seed("pcm", "s16be", CodecInput(sx::TEACodec::PcmS16BE, 5));
  Seed("microtalk", "10to1", CodecInput(sx::TEACodec::MicroTalk10, 1));
  Seed("microtalk", "5to1", CodecInput(sx::TEACodec::MicroTalk5, 3));
}

// MPEG-1 layer III frames of 417 bytes (128 kbit/s, 44.1 kHz, joint stereo), the first an Info tag frame
// with every optional field and an encoder extension giving delay 576 and padding 1200.
void Mp3Seeds() {
  const Bytes Header = {0xFF, 0xFB, 0x90, 0x64};
  Bytes Tagged = Header;
  Tagged.resize(36, 0);
  for (uint8_t Byte : fixtures::TextBytes("Info"))
    Tagged.push_back(Byte);
  Tagged.insert(Tagged.end(), {0, 0, 0, 0x0F, 0, 0, 0, 3, 0, 0, 0x04, 0xE3});
  Tagged.resize(Tagged.size() + 100 + 4, 0);
  Bytes Extension = fixtures::TextBytes("LAME3.100");
  Extension.resize(21, 0);
  Extension.insert(Extension.end(), {0x24, 0x04, 0xB0});
  Tagged.insert(Tagged.end(), Extension.begin(), Extension.end());
  Tagged.resize(417, 0);
  Bytes Audio = Tagged;
  for (int Frame = 0; Frame < 2; ++Frame) {
    Audio.insert(Audio.end(), Header.begin(), Header.end());
    Audio.resize(Audio.size() + 413, 0);
  }
  Seed("mp3", "info-tag", Audio);
  Bytes Id3 = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 10};
  Id3.resize(20, 0);
  Id3.insert(Id3.end(), Audio.begin() + 417, Audio.end());
  Seed("mp3", "id3", Id3);
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: orvik_fuzz_seeds <corpus folder>\n");
    return 1;
  }
  Root = argv[1];
  ArchiveSeeds();
  SoundFileSeeds();
  CodecSeeds();
  Mp3Seeds();
  return 0;
}
