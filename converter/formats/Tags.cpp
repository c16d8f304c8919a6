#include "converter/formats/Tags.h"

#include "base/SongName.h"
#include "converter/Bytes.h"
#include "converter/formats/AiffReader.h"
#include "converter/formats/FlacReader.h"
#include "converter/formats/TagText.h"
#include "converter/formats/WaveReader.h"

#include <functional>

namespace sx {
namespace {

constexpr size_t kId3v1Size = 128;

using TChunkVisitor = std::function<void(const std::string& Id, const uint8_t* Body, size_t Size)>;

// Visits the chunks of a RIFF or IFF body from Begin to the end of Data, each with its id and the bytes it
// holds (cut at the end of the file). Sizes are 32-bit, little-endian in RIFF, big-endian in IFF; a chunk
// of odd size is followed by a pad byte.
void VisitChunks(const Bytes& Data, size_t Begin, bool LittleEndian, const TChunkVisitor& Visit) {
  size_t At = Begin;
  while (At + 8 <= Data.size()) {
    const uint8_t* P = Data.data() + At;
    const size_t Size = LittleEndian ? LoadLE32(P + 4) : LoadBE32(P + 4);
    const size_t Available = std::min(Size, Data.size() - At - 8);
    Visit(std::string(reinterpret_cast<const char*>(P), 4), P + 8, Available);
    if (Size > Data.size() - At - 8)
      return;
    At += 8 + Size + (Size & 1);
  }
}

std::string ChunkText(const uint8_t* Body, size_t Size) {
  return Trimmed(UntypedTextToUtf8(Body, UntilNul(Body, Size)));
}

void SetIfEmpty(std::string& Field, std::string Value) {
  if (Field.empty())
    Field = std::move(Value);
}

// LIST/INFO: "INFO" and then chunks of zero-terminated text.
void ReadInfoList(const uint8_t* Body, size_t Size, TTags& Tags) {
  if (Size < 4 || std::string(reinterpret_cast<const char*>(Body), 4) != "INFO")
    return;
  const Bytes List(Body + 4, Body + Size);
  VisitChunks(List, 0, true, [&](const std::string& Id, const uint8_t* Text, size_t Length) {
    if (Id == "INAM")
      SetIfEmpty(Tags.Title, ChunkText(Text, Length));
    else if (Id == "IART")
      SetIfEmpty(Tags.Artist, ChunkText(Text, Length));
    else if (Id == "IPRD")
      SetIfEmpty(Tags.Album, ChunkText(Text, Length));
  });
}

void ReadWaveTags(const Bytes& Data, TTags& Id3, TTags& Native) {
  VisitChunks(Data, 12, true, [&](const std::string& Id, const uint8_t* Body, size_t Size) {
    if (Id == "LIST")
      ReadInfoList(Body, Size, Native);
    else if (Id == "id3 " || Id == "ID3 ")
      ReadId3v2(Body, Size, Id3);
  });
}

void ReadAiffTags(const Bytes& Data, TTags& Id3, TTags& Native) {
  VisitChunks(Data, 12, false, [&](const std::string& Id, const uint8_t* Body, size_t Size) {
    if (Id == "NAME")
      SetIfEmpty(Native.Title, ChunkText(Body, Size));
    else if (Id == "AUTH")
      SetIfEmpty(Native.Artist, ChunkText(Body, Size));
    else if (Id == "ID3 " || Id == "id3 ")
      ReadId3v2(Body, Size, Id3);
  });
}

// "NAME=value" of a Vorbis comment into the field it names (TITLE, ARTIST or ALBUM, in any case).
void ReadComment(const uint8_t* Text, size_t Size, TTags& Tags) {
  const std::string Comment(reinterpret_cast<const char*>(Text), Size);
  const size_t Equals = Comment.find('=');
  if (Equals == std::string::npos)
    return;
  std::string Name = Comment.substr(0, Equals);
  for (char& C : Name)
    C = (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C;
  std::string* Field = Name == "TITLE"    ? &Tags.Title
                       : Name == "ARTIST" ? &Tags.Artist
                       : Name == "ALBUM"  ? &Tags.Album
                                          : nullptr;
  if (Field)
    SetIfEmpty(*Field, Trimmed(ValidUtf8(Comment.substr(Equals + 1))));
}

// The VORBIS_COMMENT block among FLAC's metadata blocks: a vendor string, a count and the comments, each
// with a little-endian 32-bit length.
void ReadFlacTags(const Bytes& Data, TTags& Tags) {
  size_t At = FlacMarker(Data) + 4;
  while (At + 4 <= Data.size()) {
    const uint8_t* Head = Data.data() + At;
    const size_t Length = size_t(Head[1]) << 16 | Head[2] << 8 | Head[3], Left = Data.size() - At - 4;
    const size_t Size = std::min(Length, Left);
    if ((Head[0] & 0x7F) == 4) {
      const uint8_t* Body = Head + 4;
      size_t Pos = 0;
      const auto Next = [&](size_t& Value) {
        if (Size - Pos < 4)
          return false;
        Value = LoadLE32(Body + Pos);
        Pos += 4;
        return true;
      };
      size_t Vendor = 0, Count = 0;
      if (!Next(Vendor) || Vendor > Size - Pos)
        return;
      Pos += Vendor;
      if (!Next(Count))
        return;
      for (size_t I = 0, Entry = 0; I < Count && Next(Entry) && Entry <= Size - Pos; ++I, Pos += Entry)
        ReadComment(Body + Pos, Entry, Tags);
      return;
    }
    if ((Head[0] & 0x80) || Length > Left)
      return;
    At += 4 + Length;
  }
}

} // namespace

void TTags::Complete(const TTags& Other) {
  SetIfEmpty(Title, Other.Title);
  SetIfEmpty(Artist, Other.Artist);
  SetIfEmpty(Album, Other.Album);
}

void ReadId3v1(const Bytes& Data, TTags& Tags) {
  if (Data.size() < kId3v1Size)
    return;
  // "TAG", then title, artist and album of 30 bytes each, padded with zeros or blanks.
  const uint8_t* P = Data.data() + Data.size() - kId3v1Size;
  if (P[0] != 'T' || P[1] != 'A' || P[2] != 'G')
    return;
  SetIfEmpty(Tags.Title, ChunkText(P + 3, 30));
  SetIfEmpty(Tags.Artist, ChunkText(P + 33, 30));
  SetIfEmpty(Tags.Album, ChunkText(P + 63, 30));
}

TTags ReadTags(const Bytes& Data) {
  TTags Id3, Native, Last;
  if (IsWave(Data))
    ReadWaveTags(Data, Id3, Native);
  else if (IsAiff(Data))
    ReadAiffTags(Data, Id3, Native);
  else
    ReadId3v2(Data.data(), Data.size(), Id3);
  if (IsFlac(Data))
    ReadFlacTags(Data, Native);
  ReadId3v1(Data, Last);
  Id3.Complete(Native);
  Id3.Complete(Last);
  return Id3;
}

TTags TagsFromFileName(const std::string& Path) {
  const TSongName Named = SongNameFromFile(Path);
  TTags Tags;
  Tags.Artist = ValidUtf8(Named.Artist);
  Tags.Title = ValidUtf8(Named.Title);
  return Tags;
}

TTags ReadFileTags(const Bytes& Data, const std::string& Path) {
  TTags Tags = ReadTags(Data);
  if (Tags.Title.empty() && Tags.Artist.empty()) {
    const TTags Named = TagsFromFileName(Path);
    Tags.Title = Named.Title;
    Tags.Artist = Named.Artist;
  }
  return Tags;
}

} // namespace sx
