#include "converter/formats/Mp3Reader.h"

#include "converter/Bytes.h"
#include "converter/LargeBuffers.h"

#include <algorithm>
#include <cstring>

namespace sx {
namespace {

// Bit rates in kbit/s of layer III, MPEG-1 and MPEG-2/2.5.
constexpr uint16_t kRates1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
constexpr uint16_t kRates2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
constexpr uint32_t kSampleRates[3] = {44100, 48000, 32000};
constexpr size_t kDecoderDelay = 529; // samples every layer III decoder adds in front

size_t SkipId3(const Bytes& Data) {
  if (Data.size() < 10 || Data[0] != 'I' || Data[1] != 'D' || Data[2] != '3')
    return 0;
  size_t Size = (Data[6] & 0x7F) << 21 | (Data[7] & 0x7F) << 14 | (Data[8] & 0x7F) << 7 | (Data[9] & 0x7F);
  return 10 + Size + ((Data[5] & 0x10) ? 10 : 0);
}

bool ParseHeader(const uint8_t* P, TMp3Frame& F) {
  if (P[0] != 0xFF || (P[1] & 0xE0) != 0xE0)
    return false;
  const unsigned Version = P[1] >> 3 & 3; // 0: 2.5, 2: 2, 3: 1
  const unsigned Layer = P[1] >> 1 & 3;   // 1: layer III
  const unsigned RateIndex = P[2] >> 4, FreqIndex = P[2] >> 2 & 3, Padding = P[2] >> 1 & 1;
  if (Version == 1 || Layer != 1 || RateIndex == 0 || RateIndex == 15 || FreqIndex == 3)
    return false;
  const bool Mpeg1 = Version == 3;
  F.SampleRate = kSampleRates[FreqIndex] >> (Version == 3 ? 0 : Version == 2 ? 1 : 2);
  F.BitRate = (Mpeg1 ? kRates1 : kRates2)[RateIndex] * 1000u;
  F.Channels = (P[3] >> 6) == 3 ? 1 : 2;
  F.Samples = Mpeg1 ? 1152 : 576;
  F.Size = F.Samples / 8 * F.BitRate / F.SampleRate + Padding;
  return true;
}

} // namespace

bool FindMp3Frame(const Bytes& Data, size_t Offset, TMp3Frame& Frame) {
  if (Offset == 0)
    Offset = SkipId3(Data);
  for (size_t I = Offset; I + 4 <= Data.size(); ++I) {
    if (ParseHeader(Data.data() + I, Frame)) {
      Frame.Offset = I;
      return true;
    }
  }
  return false;
}

namespace {

bool SameFormat(const TMp3Frame& A, const TMp3Frame& B) {
  return A.SampleRate == B.SampleRate && A.Channels == B.Channels;
}

// The frame that starts exactly at Offset, if there is one.
bool FrameAt(const Bytes& Data, size_t Offset, TMp3Frame& Frame) {
  return FindMp3Frame(Data, Offset, Frame) && Frame.Offset == Offset;
}

// True if F ends where the data ends or the next frame's header begins, or, cut off itself, is followed
// by no frame header at all.
bool Chained(const Bytes& Data, const TMp3Frame& F) {
  const size_t Next = F.Offset + F.Size;
  TMp3Frame After;
  if (Next >= Data.size())
    return Next == Data.size() || !FindMp3Frame(Data, F.Offset + 4, After);
  return !FindMp3Frame(Data, Next, After) || After.Offset == Next;
}

// True if F, found at At, belongs to the stream: followed by the next frame, or else right behind the frame
// before it in the stream's format, with no frame that is followed by another starting inside it (as when
// the next header is damaged).
bool Belongs(const Bytes& Data, const TMp3Frame& F, size_t At, const TMp3Frame* Format) {
  if (Chained(Data, F))
    return true;
  if (!Format || F.Offset != At || !SameFormat(F, *Format))
    return false;
  TMp3Frame Inside;
  for (size_t P = F.Offset + 1; FindMp3Frame(Data, P, Inside) && Inside.Offset < F.Offset + F.Size;
       P = Inside.Offset + 1)
    if (Chained(Data, Inside))
      return false;
  return true;
}

} // namespace

std::string TMp3Frames::Warning() const {
  return DamagedPlaces == 0
             ? ""
             : "Damaged MP3 file: skipped damaged data in " + std::to_string(DamagedPlaces) + " place(s)";
}

TMp3Frames CollectMp3Frames(const Bytes& Data) {
  TMp3Frames Out;
  ReserveLarge(Out.Data, Data.size()); // the frames are at most the whole input
  TMp3Frame Format, F, After;
  bool Started = false, Skipping = false;
  for (size_t At = 0; FindMp3Frame(Data, At, F);) {
    const size_t Next = F.Offset + F.Size;
    // A frame in another format is a change of format when the next frame keeps it, and damage otherwise.
    const bool Odd = Started && !SameFormat(F, Format);
    if (Odd && Belongs(Data, F, At, nullptr) && FrameAt(Data, Next, After) && !SameFormat(After, Format))
      throw EConvertError("MP3 stream changes its sample rate or channels");
    if (Odd || !Belongs(Data, F, At, Started ? &Format : nullptr)) {
      Skipping = Started;
      At = F.Offset + 1;
      continue;
    }
    Out.DamagedPlaces += Skipping || (Started && F.Offset != At);
    Skipping = false;
    Format = Started ? Format : F;
    Started = true;
    Out.Data.insert(Out.Data.end(), Data.begin() + F.Offset, Data.begin() + std::min(Next, Data.size()));
    Out.Samples += F.Samples * F.Channels;
    At = Next;
  }
  return Out;
}

bool IsMp3(const Bytes& Data) {
  TMp3Frame F;
  if (Data.size() >= 3 && Data[0] == 'I' && Data[1] == 'D' && Data[2] == '3')
    return true;
  if (Data.size() < 4 || !ParseHeader(Data.data(), F))
    return false;
  // A lone sync pattern is common in other data: want a second frame right behind the first.
  TMp3Frame Next;
  return Data.size() < F.Size + 4 || ParseHeader(Data.data() + F.Size, Next);
}

// After the tag and its flags come the optional frame count, byte count, seek table and quality, then the
// encoder extension, whose bytes 21 to 23 hold the encoder's delay and padding (12 bits each).
TMp3Gapless ReadMp3Gapless(const Bytes& Data, const TMp3Frame& F) {
  TMp3Gapless G;
  const size_t End = std::min(Data.size(), F.Offset + F.Size);
  for (size_t I = F.Offset + 4; I + 8 <= End && I < F.Offset + 40; ++I) {
    if (std::memcmp(&Data[I], "Xing", 4) != 0 && std::memcmp(&Data[I], "Info", 4) != 0)
      continue;
    G.TagFrame = true;
    const uint8_t Flags = Data[I + 7];
    size_t At = I + 8 + ((Flags & 1) ? 4 : 0) + ((Flags & 2) ? 4 : 0) + ((Flags & 4) ? 100 : 0) +
                ((Flags & 8) ? 4 : 0);
    if (At + 24 <= End) {
      const uint8_t* P = &Data[At + 21];
      G.Delay = (P[0] << 4 | P[1] >> 4) + kDecoderDelay;
      const size_t Padding = (P[1] & 15) << 8 | P[2];
      G.Padding = Padding > kDecoderDelay ? Padding - kDecoderDelay : 0;
    }
    break;
  }
  return G;
}

} // namespace sx
