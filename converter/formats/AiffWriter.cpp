#include "converter/formats/AiffWriter.h"

#include "converter/Bytes.h"
#include "converter/formats/AiffExtended.h"

namespace sx {

Bytes WriteAiff(const TAudio& Audio) {
  CheckWritable(Audio);
  const uint64_t DataSize = uint64_t(Audio.Samples.size()) * 2;
  if (DataSize > 0xFFFFFFFFull - 54)
    throw EConvertError("Sound too long for an AIFF file");
  Bytes Out;
  Out.reserve(54 + DataSize);
  PutTag(Out, "FORM");
  PutBE32(Out, static_cast<uint32_t>(46 + DataSize));
  PutTag(Out, "AIFF");
  PutTag(Out, "COMM");
  PutBE32(Out, 18);
  PutBE16(Out, Audio.Channels);
  PutBE32(Out, static_cast<uint32_t>(Audio.Frames()));
  PutBE16(Out, 16);
  PutExtended(Out, Audio.SampleRate);
  PutTag(Out, "SSND");
  PutBE32(Out, static_cast<uint32_t>(8 + DataSize));
  PutBE32(Out, 0);
  PutBE32(Out, 0);
  for (int16_t S : Audio.Samples)
    PutBE16(Out, static_cast<uint16_t>(S));
  return Out;
}

} // namespace sx
