#include "converter/formats/WaveWriter.h"

#include "converter/Bytes.h"
#include "converter/formats/TagWriter.h"

namespace sx {

Bytes WriteWave(const TAudio& Audio, const TTags& Tags) {
  CheckWritable(Audio);
  const uint64_t DataSize = uint64_t(Audio.Samples.size()) * 2;
  if (DataSize > 0xFFFFFFFFull - 44)
    throw EConvertError("Sound too long for a Wave file");
  Bytes Out;
  Out.reserve(44 + DataSize);
  PutTag(Out, "RIFF");
  PutLE32(Out, static_cast<uint32_t>(36 + DataSize));
  PutTag(Out, "WAVE");
  PutTag(Out, "fmt ");
  PutLE32(Out, 16);
  PutLE16(Out, 1);
  PutLE16(Out, Audio.Channels);
  PutLE32(Out, Audio.SampleRate);
  PutLE32(Out, Audio.SampleRate * Audio.Channels * 2);
  PutLE16(Out, Audio.Channels * 2);
  PutLE16(Out, 16);
  PutTag(Out, "data");
  PutLE32(Out, static_cast<uint32_t>(DataSize));
  for (int16_t S : Audio.Samples)
    PutLE16(Out, static_cast<uint16_t>(S));
  if (Tags.Empty())
    return Out;
  PutChunk(Out, "LIST", WaveInfoList(Tags), true);
  PutChunk(Out, "id3 ", Id3v2Tag(Tags), true);
  if (uint64_t(Out.size()) - 8 > 0xFFFFFFFFull)
    throw EConvertError("Sound too long for a Wave file");
  SetLE32(Out, 4, static_cast<uint32_t>(Out.size() - 8));
  return Out;
}

} // namespace sx
