#include "converter/formats/EAStreamWriter.h"

#include "converter/Bytes.h"
#include "converter/LargeBuffers.h"
#include "converter/formats/EAStreamHeader.h"

#include <exception>
#include <thread>

namespace sx {
namespace {

// One channel's data for every block, one after another in a single buffer, and where each block's part
// ends. Channels share nothing, so each can be encoded on its own thread.
struct TChannelData {
  Bytes Data;
  std::vector<size_t> Ends;

  size_t Begin(size_t Block) const { return Block == 0 ? 0 : Ends[Block - 1]; }
  size_t Size(size_t Block) const { return Ends[Block] - Begin(Block); }
};

TChannelData EncodeChannel(const TAudio& Audio, unsigned Channel, TEACodec Codec,
                           const std::vector<size_t>& Counts) {
  std::unique_ptr<TChannelEncoder> Encoder = MakeEncoder(Codec);
  TChannelData Out;
  // Room for every block at the codec's usual rate (EA-XA: 15 bytes per 28 samples; PCM: up to 2 bytes a
  // sample), so that the buffer seldom grows.
  ReserveLarge(Out.Data,
               Codec == TEACodec::EAXA ? Audio.Frames() / 28 * 15 + 4096 : 2 * Audio.Frames() + 4096);
  Out.Ends.reserve(Counts.size());
  size_t Done = 0;
  for (size_t B = 0; B < Counts.size(); ++B) {
    Encoder->Encode(Audio.Samples.data() + Done * Audio.Channels + Channel, Counts[B], Audio.Channels, B == 0,
                    Out.Data);
    Out.Ends.push_back(Out.Data.size());
    Done += Counts[B];
  }
  return Out;
}

std::vector<TChannelData> EncodeChannels(const TAudio& Audio, TEACodec Codec,
                                         const std::vector<size_t>& Counts) {
  std::vector<TChannelData> Channels(Audio.Channels);
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

// The block's header: tag, size, sample count and each channel's offset.
size_t BlockHeaderSize(size_t Channels) {
  return 12 + 4 * Channels;
}

void AppendDataBlock(Bytes& Out, size_t Count, const std::vector<TChannelData>& Channels, size_t Block) {
  const size_t Start = Out.size();
  PutTag(Out, "SCDl");
  PutLE32(Out, 0);
  PutLE32(Out, static_cast<uint32_t>(Count));
  uint32_t Offset = 0;
  for (const TChannelData& Channel : Channels) {
    PutLE32(Out, Offset);
    Offset += static_cast<uint32_t>(Channel.Size(Block));
  }
  for (const TChannelData& Channel : Channels) {
    const auto Begin = Channel.Data.begin() + static_cast<std::ptrdiff_t>(Channel.Begin(Block));
    Out.insert(Out.end(), Begin, Begin + static_cast<std::ptrdiff_t>(Channel.Size(Block)));
  }
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
  const std::vector<TChannelData> Channels = EncodeChannels(Audio, Codec, Counts);
  size_t Total = Out.size() + 8;
  for (const TChannelData& Channel : Channels)
    Total += Channel.Data.size();
  ReserveLarge(Out, Total + Counts.size() * (BlockHeaderSize(Channels.size()) + 3));
  for (size_t B = 0; B < Counts.size(); ++B)
    AppendDataBlock(Out, Counts[B], Channels, B);
  PutTag(Out, "SCEl");
  PutLE32(Out, 8);
  return Out;
}

} // namespace sx
