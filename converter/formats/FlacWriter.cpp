#include "converter/formats/FlacWriter.h"

#include "converter/Bytes.h"
#include "converter/Md5.h"
#include "converter/codecs/FlacBits.h"
#include "converter/codecs/FlacEncoder.h"

#include <algorithm>

namespace sx {
namespace {

constexpr unsigned kBlockSize = 4096;
using flac::kStreamInfo;
using flac::kVorbisComment;
constexpr uint8_t kLastBlock = 0x80;
constexpr char kVendor[] = "sx, the ORVIK Streams Editor's converter";

void PutBlockHeader(Bytes& Out, uint8_t Type, size_t Length) {
  Out.push_back(Type);
  Out.push_back(static_cast<uint8_t>(Length >> 16));
  Out.push_back(static_cast<uint8_t>(Length >> 8));
  Out.push_back(static_cast<uint8_t>(Length));
}

void PutText(Bytes& Out, const std::string& Text) {
  PutLE32(Out, static_cast<uint32_t>(Text.size()));
  Out.insert(Out.end(), Text.begin(), Text.end());
}

// The VORBIS_COMMENT block's body: little-endian lengths, the vendor, then NAME=value comments.
Bytes VorbisComment(const TTags& Tags) {
  std::vector<std::string> Comments;
  for (const auto& [Name, Value] : {std::pair<const char*, const std::string&>{"TITLE", Tags.Title},
                                    {"ARTIST", Tags.Artist},
                                    {"ALBUM", Tags.Album}})
    if (!Value.empty())
      Comments.push_back(std::string(Name) + "=" + Value);
  Bytes Body;
  PutText(Body, kVendor);
  PutLE32(Body, static_cast<uint32_t>(Comments.size()));
  for (const std::string& C : Comments)
    PutText(Body, C);
  return Body;
}

} // namespace

Bytes WriteFlac(const TAudio& Audio, const TTags& Tags) {
  CheckWritable(Audio);
  const Bytes Comment = VorbisComment(Tags);
  if (Comment.size() >= (1u << 24))
    throw EConvertError("Tags too long for a FLAC file");
  const size_t Frames = Audio.Frames();
  const unsigned Channels = Audio.Channels;
  Bytes Out;
  Out.reserve(46 + Comment.size() + Audio.Samples.size()); // about half the 16-bit samples' size
  PutTag(Out, "fLaC");
  PutBlockHeader(Out, kStreamInfo, 34);
  const size_t Info = Out.size();
  Out.resize(Out.size() + 34);
  PutBlockHeader(Out, kVorbisComment | kLastBlock, Comment.size());
  Out.insert(Out.end(), Comment.begin(), Comment.end());

  TFlacEncoder Encoder(Channels, Audio.SampleRate);
  TMd5 Md5;
  Bytes Pcm;
  size_t Smallest = SIZE_MAX, Largest = 0;
  uint64_t Number = 0;
  for (size_t At = 0; At < Frames; At += kBlockSize, ++Number) {
    const unsigned Block = static_cast<unsigned>(std::min<size_t>(kBlockSize, Frames - At));
    const int16_t* Samples = Audio.Samples.data() + At * Channels;
    Pcm.clear();
    for (size_t I = 0; I < size_t(Block) * Channels; ++I)
      PutLE16(Pcm, static_cast<uint16_t>(Samples[I]));
    Md5.Add(Pcm.data(), Pcm.size());
    const size_t Before = Out.size();
    Encoder.Encode(Samples, Block, Number, false, Out);
    Smallest = std::min(Smallest, Out.size() - Before);
    Largest = std::max(Largest, Out.size() - Before);
  }
  if (Frames == 0)
    Smallest = 0;

  // STREAMINFO: block sizes 16 bits each, frame sizes 24, rate 20, channels - 1 3, bits - 1 5, total 36, MD5.
  uint8_t* P = Out.data() + Info;
  P[0] = P[2] = kBlockSize >> 8;
  P[1] = P[3] = kBlockSize & 0xFF;
  for (int I = 0; I < 3; ++I) {
    P[4 + I] = static_cast<uint8_t>(Smallest >> (16 - 8 * I));
    P[7 + I] = static_cast<uint8_t>(Largest >> (16 - 8 * I));
  }
  const uint64_t Fields = uint64_t(Audio.SampleRate) << 44 | uint64_t(Channels - 1) << 41 |
                          uint64_t(16 - 1) << 36 | uint64_t(Frames);
  for (int I = 0; I < 8; ++I)
    P[10 + I] = static_cast<uint8_t>(Fields >> (56 - 8 * I));
  const std::array<uint8_t, 16> Digest = Md5.Finish();
  std::copy(Digest.begin(), Digest.end(), P + 18);
  return Out;
}

} // namespace sx
