#include "converter/formats/EAStreamWriter.h"

#include "converter/Bytes.h"
#include "converter/formats/EAStreamHeader.h"

#include <exception>
#include <thread>

namespace sx {
namespace {

// One channel's data for every block. Channels share nothing, so each can be encoded on its own thread.
std::vector<Bytes> EncodeChannel(const TAudio& Audio, unsigned Channel, TEACodec Codec,
                                 const std::vector<size_t>& Counts) {
  std::unique_ptr<TChannelEncoder> Encoder = MakeEncoder(Codec);
  std::vector<Bytes> Blocks(Counts.size());
  size_t Done = 0;
  for (size_t B = 0; B < Counts.size(); ++B) {
    Encoder->Encode(Audio.Samples.data() + Done * Audio.Channels + Channel, Counts[B], Audio.Channels, B == 0,
                    Blocks[B]);
    Done += Counts[B];
  }
  return Blocks;
}

std::vector<std::vector<Bytes>> EncodeChannels(const TAudio& Audio, TEACodec Codec,
                                               const std::vector<size_t>& Counts) {
  std::vector<std::vector<Bytes>> Channels(Audio.Channels);
  std::exception_ptr Failure;
  std::vector<std::thread> Threads;
  for (unsigned C = 1; C < Audio.Channels; ++C)
    Threads.emplace_back([&, C] {
      try {
        Channels[C] = EncodeChannel(Audio, C, Codec, Counts);
      } catch (...) {
        Failure = std::current_exception();
      }
    });
  try {
    Channels[0] = EncodeChannel(Audio, 0, Codec, Counts);
  } catch (...) {
    for (std::thread& T : Threads)
      T.join();
    throw;
  }
  for (std::thread& T : Threads)
    T.join();
  if (Failure)
    std::rethrow_exception(Failure);
  return Channels;
}

void AppendDataBlock(Bytes& Out, size_t Count, const std::vector<std::vector<Bytes>>& Channels,
                     size_t Block) {
  const size_t Start = Out.size();
  PutTag(Out, "SCDl");
  PutLE32(Out, 0);
  PutLE32(Out, static_cast<uint32_t>(Count));
  uint32_t Offset = 0;
  for (const std::vector<Bytes>& Channel : Channels) {
    PutLE32(Out, Offset);
    Offset += static_cast<uint32_t>(Channel[Block].size());
  }
  for (const std::vector<Bytes>& Channel : Channels)
    Out.insert(Out.end(), Channel[Block].begin(), Channel[Block].end());
  while ((Out.size() - Start) % 4)
    Out.push_back(0);
  SetLE32(Out, Start + 4, static_cast<uint32_t>(Out.size() - Start));
}

} // namespace

Bytes WriteEAStream(const TAudio& Audio, TEACodec Codec) {
  CheckWritable(Audio);
  if (Audio.Frames() > 0xFFFFFFFFu)
    throw EConvertError("Sound too long for an EA stream");
  const std::vector<size_t> Counts =
      EABlockSampleCounts(Audio.SampleRate, Audio.Frames(), FrameSamples(Codec));
  Bytes Out =
      WriteEAHeaderBlock(Codec, Audio.Channels, Audio.SampleRate, static_cast<uint32_t>(Audio.Frames()));
  PutTag(Out, "SCCl");
  PutLE32(Out, 12);
  PutLE32(Out, static_cast<uint32_t>(Counts.size()));
  const std::vector<std::vector<Bytes>> Channels = EncodeChannels(Audio, Codec, Counts);
  for (size_t B = 0; B < Counts.size(); ++B)
    AppendDataBlock(Out, Counts[B], Channels, B);
  PutTag(Out, "SCEl");
  PutLE32(Out, 8);
  return Out;
}

} // namespace sx
