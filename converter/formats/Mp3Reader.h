#pragma once
// Reads MPEG audio layer III through the system's decoder: libmpg123 natively, the ACM MP3 codec of
// msacm32 on Windows. The sample rate and channel count are the stream's own.

#include "converter/Audio.h"

namespace sx {

// True if Data starts with an ID3v2 tag or an MPEG layer III frame header.
bool IsMp3(const Bytes& Data);

// Raises EConvertError when the data holds no decodable MPEG audio or the system's decoder is missing.
TAudio ReadMp3(const Bytes& Data);

// The first layer III frame header at or after Offset: its position, sample rate, channels and bit rate.
struct TMp3Frame {
  size_t Offset = 0;
  uint32_t SampleRate = 0;
  unsigned Channels = 0;
  uint32_t BitRate = 0; // bits per second
  size_t Size = 0;      // bytes of the frame
  size_t Samples = 0;   // samples per channel in the frame
};
// Returns false if none is found. Skips a leading ID3v2 tag when Offset is 0.
bool FindMp3Frame(const Bytes& Data, size_t Offset, TMp3Frame& Frame);

// The layer III frames of a file, one after the other, with whatever lies between them left out, as
// players resynchronise. A frame counts when the next frame's header follows it, when it ends the data or
// is followed by no frame header at all, or when it follows the stream's frame before it and no such
// chain starts inside it; a lone frame in another format is damage too. Raises EConvertError when the
// format changes for good, a frame in another format followed by one in the same ("MP3 stream changes
// its sample rate or channels").
struct TMp3Frames {
  Bytes Data;
  size_t DamagedPlaces = 0; // stretches left out between frames
  size_t Samples = 0;       // the frames' samples, all channels counted: room for the decoded sound
  // The warning for the damage, empty without any.
  std::string Warning() const;
};
TMp3Frames CollectMp3Frames(const Bytes& Data);

// What the Xing/Info frame that LAME (and FFmpeg's muxer) put first tells a gapless decoder: that the
// frame is a tag and not audio, and how many samples of the decoded sound are the encoder's delay (with
// the decoder's own 529) and padding.
struct TMp3Gapless {
  bool TagFrame = false;
  size_t Delay = 0;
  size_t Padding = 0;
};
// Reads the tag of First, the stream's first frame; a frame without one gives all fields 0 and false.
TMp3Gapless ReadMp3Gapless(const Bytes& Data, const TMp3Frame& First);

} // namespace sx
