#include "converter/formats/AiffWriter.h"

#include "converter/Bytes.h"
#include "converter/formats/AiffExtended.h"
#include "converter/formats/TagText.h"
#include "converter/formats/TagWriter.h"

namespace sx {

Bytes WriteAiff(const TAudio& Audio, const TTags& Tags) {
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
  if (Tags.Empty())
    return Out;
  for (const auto& [Id, Text] :
       {std::pair<const char*, const std::string&>{"NAME", Tags.Title}, {"AUTH", Tags.Artist}}) {
    const std::string Coded = Utf8ToWindows1252(Text);
    if (!Coded.empty())
      PutChunk(Out, Id, Bytes(Coded.begin(), Coded.end()), false);
  }
  PutChunk(Out, "ID3 ", Id3v2Tag(Tags), false);
  if (uint64_t(Out.size()) - 8 > 0xFFFFFFFFull)
    throw EConvertError("Sound too long for an AIFF file");
  SetBE32(Out, 4, static_cast<uint32_t>(Out.size() - 8));
  return Out;
}

} // namespace sx
