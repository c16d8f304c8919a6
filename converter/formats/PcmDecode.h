#pragma once
// Turns the raw sample bytes of Wave and AIFF files into 16-bit interleaved sound, mixing more than two
// channels down to stereo.

#include "converter/Audio.h"
#include "converter/Bytes.h"

namespace sx {

enum class TPcmEncoding {
  Unsigned, // 8-bit Wave: 128 is silence
  Signed,   // two's complement integers
  Float,    // IEEE single precision, full scale at +-1.0
};

struct TPcmLayout {
  unsigned Bits = 16; // 8, 16, 24 or 32
  TPcmEncoding Encoding = TPcmEncoding::Signed;
  bool BigEndian = false;
  unsigned Channels = 1;
};

// Raises EConvertError ("Unsupported sample format: <bits>-bit") unless DecodePcm takes Layout: readers
// call it before they compute sizes from the layout.
void CheckPcmLayout(const TPcmLayout& Layout);

// Decodes Frames frames of Layout from Data (which must hold them all). Wider samples are rounded to 16
// bits; more than two channels are mixed to stereo (front left/right at full weight, centre and the
// further channels at -3 dB, the low-frequency channel left out, the sum scaled so it cannot clip).
// Raises EConvertError for an unsupported layout.
TAudio DecodePcm(const uint8_t* Data, size_t Frames, const TPcmLayout& Layout, uint32_t SampleRate);

// Decodes the sample data of a Wave or AIFF file at R: Frames frames of FrameSize bytes, or as many whole
// ones as the file still holds when it is cut off, with a warning.
TAudio ReadFrames(TByteReader& R, size_t Frames, size_t FrameSize, const TPcmLayout& Layout,
                  uint32_t SampleRate);

} // namespace sx
