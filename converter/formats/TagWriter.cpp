#include "converter/formats/TagWriter.h"

#include "converter/Bytes.h"
#include "converter/formats/TagText.h"

namespace sx {

void PutChunk(Bytes& Out, const char* Id, const Bytes& Body, bool LittleEndian) {
  if (Body.size() > 0xFFFFFFF0u)
    throw EConvertError("Tags too long");
  PutTag(Out, Id);
  const auto Size = static_cast<uint32_t>(Body.size());
  LittleEndian ? PutLE32(Out, Size) : PutBE32(Out, Size);
  Out.insert(Out.end(), Body.begin(), Body.end());
  if (Size & 1)
    Out.push_back(0);
}

Bytes Id3v2Tag(const TTags& Tags) {
  Bytes Frames;
  for (const auto& [Id, Text] : {std::pair<const char*, const std::string&>{"TIT2", Tags.Title},
                                 {"TPE1", Tags.Artist},
                                 {"TALB", Tags.Album}}) {
    if (Text.empty())
      continue;
    const std::string Utf16 = Utf8ToUtf16LE(Text);
    PutTag(Frames, Id);
    PutBE32(Frames, static_cast<uint32_t>(3 + Utf16.size())); // the encoding byte, the mark, the text
    Frames.insert(Frames.end(), {0, 0, 1, 0xFF, 0xFE});       // no flags; UTF-16 with a byte-order mark
    Frames.insert(Frames.end(), Utf16.begin(), Utf16.end());
  }
  if (Frames.size() >= (1u << 28))
    throw EConvertError("Tags too long for ID3v2");
  const auto Size = static_cast<uint32_t>(Frames.size());
  Bytes Tag = {'I',
               'D',
               '3',
               3,
               0,
               0, // version 2.3.0, no flags
               static_cast<uint8_t>(Size >> 21 & 0x7F),
               static_cast<uint8_t>(Size >> 14 & 0x7F),
               static_cast<uint8_t>(Size >> 7 & 0x7F),
               static_cast<uint8_t>(Size & 0x7F)};
  Tag.insert(Tag.end(), Frames.begin(), Frames.end());
  return Tag;
}

Bytes WaveInfoList(const TTags& Tags) {
  Bytes List;
  PutTag(List, "INFO");
  for (const auto& [Id, Text] : {std::pair<const char*, const std::string&>{"INAM", Tags.Title},
                                 {"IART", Tags.Artist},
                                 {"IPRD", Tags.Album}}) {
    if (Text.empty())
      continue;
    const std::string Coded = Utf8ToWindows1252(Text);
    Bytes Body(Coded.begin(), Coded.end());
    Body.push_back(0);
    PutChunk(List, Id, Body, true);
  }
  return List;
}

} // namespace sx
