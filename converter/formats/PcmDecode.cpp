#include "converter/formats/PcmDecode.h"

#include "converter/LargeBuffers.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace sx {
namespace {

int32_t ReadRaw(const uint8_t* P, unsigned Bytes, bool BigEndian) {
  uint32_t V = 0;
  for (unsigned I = 0; I < Bytes; ++I)
    V |= static_cast<uint32_t>(P[BigEndian ? I : Bytes - 1 - I]) << (8 * (Bytes - 1 - I));
  return static_cast<int32_t>(V << (32 - 8 * Bytes)); // left-aligned, so every width shares one scale
}

// One sample as a value with full scale at 2^31.
double SampleValue(const uint8_t* P, const TPcmLayout& L) {
  if (L.Encoding == TPcmEncoding::Float) {
    uint32_t Bits = static_cast<uint32_t>(ReadRaw(P, 4, L.BigEndian));
    float F;
    std::memcpy(&F, &Bits, 4);
    return std::isfinite(F) ? static_cast<double>(F) * 2147483648.0 : 0.0;
  }
  int32_t V = ReadRaw(P, L.Bits / 8, L.BigEndian);
  if (L.Encoding == TPcmEncoding::Unsigned)
    V = static_cast<int32_t>(static_cast<uint32_t>(V) ^ 0x80000000u);
  return V;
}

int16_t To16(double V) {
  return Clamp16(std::llround(V / 65536.0));
}

} // namespace

std::vector<TMixWeight> WaveMixWeights(unsigned Channels) {
  const double Half = std::sqrt(0.5);
  std::vector<TMixWeight> Weights(Channels);
  for (unsigned C = 0; C < Channels; ++C) {
    TMixWeight& W = Weights[C];
    if (C == 0)
      W.Left = 1;
    else if (C == 1)
      W.Right = 1;
    else if (C == 2)
      W.Left = W.Right = Half;
    else if (C == 3)
      continue;
    else if (C % 2 == 0)
      W.Left = Half;
    else
      W.Right = Half;
  }
  return Weights;
}

TStereoMix::TStereoMix(std::vector<TMixWeight> Weights) : FWeights(std::move(Weights)) {
  for (const TMixWeight& W : FWeights) {
    FSumLeft += W.Left;
    FSumRight += W.Right;
  }
}

void TStereoMix::Mix(const double* Frame, std::vector<int16_t>& Out) const {
  double Left = 0, Right = 0;
  for (size_t C = 0; C < FWeights.size(); ++C) {
    Left += FWeights[C].Left * Frame[C];
    Right += FWeights[C].Right * Frame[C];
  }
  Out.push_back(To16(Left / FSumLeft));
  Out.push_back(To16(Right / FSumRight));
}

void CheckPcmLayout(const TPcmLayout& L) {
  bool Valid = L.Encoding == TPcmEncoding::Float
                   ? L.Bits == 32
                   : (L.Bits == 8 || L.Bits == 16 || L.Bits == 24 || L.Bits == 32);
  if (!Valid || L.Channels == 0)
    throw EConvertError("Unsupported sample format: " + std::to_string(L.Bits) + "-bit");
}

TAudio DecodePcm(const uint8_t* Data, size_t Frames, const TPcmLayout& L, uint32_t SampleRate) {
  CheckPcmLayout(L);
  TAudio Audio;
  Audio.SampleRate = SampleRate;
  Audio.Channels = L.Channels > 2 ? 2 : L.Channels;
  ReserveLarge(Audio.Samples, Frames * Audio.Channels);
  const size_t Width = L.Bits / 8;
  if (L.Encoding == TPcmEncoding::Signed && L.Bits == 16 && !L.BigEndian && L.Channels <= 2 &&
      std::endian::native == std::endian::little) { // already the samples as they are kept
    Audio.Samples.resize(Frames * L.Channels);
    if (Frames != 0)
      std::memcpy(Audio.Samples.data(), Data, Audio.Samples.size() * sizeof(int16_t));
    return Audio;
  }
  if (L.Channels <= 2) {
    for (size_t I = 0; I < Frames * L.Channels; ++I)
      Audio.Samples.push_back(To16(SampleValue(Data + I * Width, L)));
    return Audio;
  }
  const TStereoMix Mix(WaveMixWeights(L.Channels));
  std::vector<double> Frame(L.Channels);
  for (size_t F = 0; F < Frames; ++F) {
    for (unsigned C = 0; C < L.Channels; ++C)
      Frame[C] = SampleValue(Data + (F * L.Channels + C) * Width, L);
    Mix.Mix(Frame.data(), Audio.Samples);
  }
  return Audio;
}

TAudio ReadFrames(TByteReader& R, size_t Frames, size_t FrameSize, const TPcmLayout& Layout,
                  uint32_t SampleRate) {
  const size_t Whole = std::min(Frames, R.Left() / FrameSize);
  TAudio Audio = DecodePcm(R.Take(Whole * FrameSize), Whole, Layout, SampleRate);
  if (Whole < Frames)
    Audio.Warnings.push_back(R.TruncatedWarning(Whole, "sample frames"));
  return Audio;
}

} // namespace sx
