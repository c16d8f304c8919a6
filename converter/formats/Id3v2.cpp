// ID3v2 tags. Layout: "ID3", version (2, 3 or 4), revision, flags, and the size of what follows the 10-byte
// header in four 7-bit bytes. Frames follow (after an extended header when flag 0x40 is set in 2.3 and
// 2.4): 2.2 has a 3-character id and a 3-byte size; 2.3 a 4-character id, a 4-byte size and two flag
// bytes; 2.4 the same with a 7-bit-per-byte size. A text frame is an encoding byte and the text.
#include "converter/formats/TagText.h"
#include "converter/formats/Tags.h"

#include <algorithm>
#include <vector>

namespace sx {
namespace {

using TSpan = std::vector<uint8_t>;

enum : uint8_t {
  kTagUnsynchronised = 0x80,
  kTagExtendedHeader = 0x40,
  kTag22Compressed = 0x40,
  kFrame23Compressed = 0x80,
  kFrame23Encrypted = 0x40,
  kFrame23Grouped = 0x20,
  kFrame24Grouped = 0x40,
  kFrame24Compressed = 0x08,
  kFrame24Encrypted = 0x04,
  kFrame24Unsynchronised = 0x02,
  kFrame24DataLength = 0x01,
};

uint32_t SyncSafe(const uint8_t* P) {
  return uint32_t(P[0] & 0x7F) << 21 | (P[1] & 0x7F) << 14 | (P[2] & 0x7F) << 7 | (P[3] & 0x7F);
}

uint32_t BigEndian(const uint8_t* P, int Bytes) {
  uint32_t V = 0;
  for (int I = 0; I < Bytes; ++I)
    V = V << 8 | P[I];
  return V;
}

// Undoes unsynchronisation: every 0xFF 0x00 was written for a 0xFF.
TSpan Resynchronised(const uint8_t* Data, size_t Size) {
  TSpan Out;
  Out.reserve(Size);
  for (size_t I = 0; I < Size; ++I) {
    Out.push_back(Data[I]);
    if (Data[I] == 0xFF && I + 1 < Size && Data[I + 1] == 0)
      ++I;
  }
  return Out;
}

// The text of a text frame's body: its first string, in the encoding its first byte names.
std::string FrameText(const uint8_t* Data, size_t Size) {
  if (Size == 0)
    return {};
  const uint8_t Encoding = Data[0];
  const uint8_t* Text = Data + 1;
  size_t Length = Size - 1;
  if (Encoding == 0)
    return Latin1ToUtf8(Text, UntilNul(Text, Length));
  if (Encoding == 3)
    return ValidUtf8(Text, UntilNul(Text, Length));
  if (Encoding != 1 && Encoding != 2)
    return {};
  bool Big = Encoding == 2;
  if (Length >= 2 && ((Text[0] == 0xFF && Text[1] == 0xFE) || (Text[0] == 0xFE && Text[1] == 0xFF))) {
    Big = Text[0] == 0xFE;
    Text += 2;
    Length -= 2;
  }
  size_t End = 0;
  while (End + 1 < Length && (Text[End] != 0 || Text[End + 1] != 0))
    End += 2;
  return Utf16ToUtf8(Text, End, Big);
}

std::string* Field(TTags& Tags, const std::string& Id) {
  if (Id == "TIT2" || Id == "TT2")
    return &Tags.Title;
  if (Id == "TPE1" || Id == "TP1")
    return &Tags.Artist;
  if (Id == "TALB" || Id == "TAL")
    return &Tags.Album;
  return nullptr;
}

bool IsFrameId(const uint8_t* P, size_t Length) {
  for (size_t I = 0; I < Length; ++I)
    if (!((P[I] >= 'A' && P[I] <= 'Z') || (P[I] >= '0' && P[I] <= '9')))
      return false;
  return true;
}

class TFrameWalker {
public:
  TFrameWalker(const TSpan& Frames, uint8_t Version, bool AllUnsynchronised)
      : FData(Frames), FVersion(Version), FAllUnsync(AllUnsynchronised) {}

  // Reads frames from Position until the padding, the end, or damage.
  void Read(size_t Position, TTags& Tags) {
    while (Position + HeaderSize() <= FData.size() && IsFrameId(&FData[Position], IdSize())) {
      const size_t Size = FrameSize(Position);
      const size_t Body = Position + HeaderSize();
      if (Size > FData.size() - Body)
        return;
      const std::string Id(reinterpret_cast<const char*>(&FData[Position]), IdSize());
      std::string* Target = Field(Tags, Id);
      if (Target && Target->empty())
        *Target = Trimmed(Text(Position, Body, Size));
      Position = Body + Size;
    }
  }

private:
  size_t IdSize() const { return FVersion == 2 ? 3 : 4; }
  size_t HeaderSize() const { return FVersion == 2 ? 6 : 10; }

  // True if a frame, the padding or the end of the tag starts at Position.
  bool FrameFollows(size_t Position) const {
    if (Position == FData.size())
      return true;
    if (Position > FData.size())
      return false;
    if (Position + 4 <= FData.size() && IsFrameId(&FData[Position], 4))
      return true;
    for (size_t I = Position; I < FData.size(); ++I) // padding: zeros to the end
      if (FData[I] != 0)
        return false;
    return true;
  }

  // The frame's size. Some writers put plain 32-bit sizes in 2.4 tags: a size with a byte of 0x80 or more
  // is one; so is a size whose 7-bit reading leads nowhere while the plain reading leads to the next frame.
  size_t FrameSize(size_t Position) const {
    const uint8_t* P = &FData[Position + IdSize()];
    if (FVersion == 2)
      return BigEndian(P, 3);
    const size_t Plain = BigEndian(P, 4);
    if (FVersion == 3 || (P[0] | P[1] | P[2] | P[3]) & 0x80)
      return Plain;
    const size_t Safe = SyncSafe(P);
    const size_t Body = Position + HeaderSize();
    if (Safe != Plain && !FrameFollows(Body + Safe) && FrameFollows(Body + Plain))
      return Plain;
    return Safe;
  }

  // The text of a title, artist or album frame; empty for one that is compressed or encrypted.
  std::string Text(size_t Position, size_t Body, size_t Size) const {
    const uint8_t* Data = &FData[Body];
    if (FVersion == 2)
      return FrameText(Data, Size);
    const uint8_t Flags = FData[Position + 9];
    size_t Skip = 0;
    bool Unsync = false;
    if (FVersion == 3) {
      if (Flags & (kFrame23Compressed | kFrame23Encrypted))
        return {};
      Skip = (Flags & kFrame23Grouped) ? 1 : 0;
    } else {
      if (Flags & (kFrame24Compressed | kFrame24Encrypted))
        return {};
      Skip = ((Flags & kFrame24Grouped) ? 1 : 0) + ((Flags & kFrame24DataLength) ? 4 : 0);
      Unsync = FAllUnsync || (Flags & kFrame24Unsynchronised);
    }
    if (Skip > Size)
      return {};
    if (!Unsync)
      return FrameText(Data + Skip, Size - Skip);
    const TSpan Plain = Resynchronised(Data + Skip, Size - Skip);
    return FrameText(Plain.data(), Plain.size());
  }

  const TSpan& FData;
  uint8_t FVersion;
  bool FAllUnsync;
};

// Where the frames start: after the extended header, whose size counts itself in 2.4 (7 bits a byte) but
// not in 2.3. Past the end when the extended header is damaged.
size_t FirstFrame(const TSpan& Frames, uint8_t Version, uint8_t Flags) {
  if (Version == 2 || !(Flags & kTagExtendedHeader))
    return 0;
  if (Frames.size() < 4)
    return Frames.size() + 1;
  return Version == 3 ? 4 + size_t(BigEndian(Frames.data(), 4)) : size_t(SyncSafe(Frames.data()));
}

} // namespace

bool ReadId3v2(const uint8_t* Data, size_t Size, TTags& Tags) {
  if (Size < 10 || Data[0] != 'I' || Data[1] != 'D' || Data[2] != '3')
    return false;
  const uint8_t Version = Data[3], Flags = Data[5];
  if (Version < 2 || Version > 4 || (Version == 2 && (Flags & kTag22Compressed)))
    return true;
  const size_t Length = std::min<size_t>(SyncSafe(Data + 6), Size - 10);
  // Before 2.4, unsynchronisation covers the whole tag after its header; in 2.4 each frame's body.
  const bool WholeTag = Version < 4 && (Flags & kTagUnsynchronised);
  const TSpan Frames = WholeTag ? Resynchronised(Data + 10, Length) : TSpan(Data + 10, Data + 10 + Length);
  const size_t First = FirstFrame(Frames, Version, Flags);
  if (First <= Frames.size())
    TFrameWalker(Frames, Version, Version == 4 && (Flags & kTagUnsynchronised)).Read(First, Tags);
  return true;
}

} // namespace sx
