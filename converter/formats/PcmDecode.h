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

// The weight of one input channel on the left and right outputs of a mix to stereo.
struct TMixWeight {
  double Left = 0;
  double Right = 0;
};

// The weights for Wave's default channel order (front left, front right, centre, low frequency, back left,
// back right, then further channels alternately left and right): the fronts at full weight, the centre on
// both sides and the further channels on theirs at -3 dB, the low-frequency channel left out.
std::vector<TMixWeight> WaveMixWeights(unsigned Channels);

// Mixes frames of more than two channels to stereo: each output is the weighted sum of the inputs divided
// by the sum of its weights, so that it cannot clip, rounded to 16 bits.
class TStereoMix {
public:
  explicit TStereoMix(std::vector<TMixWeight> Weights);
  // Frame holds one value per channel, full scale at 2^31; appends the left and the right sample to Out.
  void Mix(const double* Frame, std::vector<int16_t>& Out) const;

private:
  std::vector<TMixWeight> FWeights;
  double FSumLeft = 0;
  double FSumRight = 0;
};

// Decodes Frames frames of Layout from Data (which must hold them all). Wider samples are rounded to 16
// bits, halves away from zero; more than two channels are mixed to stereo with WaveMixWeights.
// Raises EConvertError for an unsupported layout.
TAudio DecodePcm(const uint8_t* Data, size_t Frames, const TPcmLayout& Layout, uint32_t SampleRate);

// Decodes the sample data of a Wave or AIFF file at R: Frames frames of FrameSize bytes, or as many whole
// ones as the file still holds when it is cut off, with a warning.
TAudio ReadFrames(TByteReader& R, size_t Frames, size_t FrameSize, const TPcmLayout& Layout,
                  uint32_t SampleRate);

} // namespace sx
