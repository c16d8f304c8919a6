#include "converter/EAStreamWriter.h"

#include "converter/Bytes.h"
#include "converter/EAStreamHeader.h"

namespace sx {
namespace {

void AppendDataBlock(Bytes& Out, const int16_t* Samples, size_t Count, unsigned Channels,
                     std::vector<std::unique_ptr<TChannelEncoder>>& Encoders, bool First) {
  const size_t Start = Out.size();
  PutTag(Out, "SCDl");
  PutLE32(Out, 0);
  PutLE32(Out, static_cast<uint32_t>(Count));
  const size_t Table = Out.size();
  Out.resize(Out.size() + 4 * Channels, 0);
  const size_t DataStart = Out.size();
  for (unsigned C = 0; C < Channels; ++C) {
    SetLE32(Out, Table + 4 * C, static_cast<uint32_t>(Out.size() - DataStart));
    Encoders[C]->Encode(Samples + C, Count, Channels, First, Out);
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
  std::vector<std::unique_ptr<TChannelEncoder>> Encoders;
  for (unsigned C = 0; C < Audio.Channels; ++C)
    Encoders.push_back(MakeEncoder(Codec));
  size_t Done = 0;
  for (size_t Count : Counts) {
    AppendDataBlock(Out, Audio.Samples.data() + Done * Audio.Channels, Count, Audio.Channels, Encoders,
                    Done == 0);
    Done += Count;
  }
  PutTag(Out, "SCEl");
  PutLE32(Out, 8);
  return Out;
}

} // namespace sx
