// Any sound measured and given a gain. The input: a byte choosing mono or stereo and the sample rate, a
// byte of gain (signed, in half decibels), then 16-bit little-endian samples. Loudness is empty or a finite
// value in the range full-scale sound can reach; the true peak is at least the sample peak; after the gain
// the true peak is at or below the ceiling, and the gain given is the gain applied unless held back.
#include "converter/analysis/Gain.h"
#include "converter/analysis/Loudness.h"
#include "converter/analysis/TruePeak.h"
#include "fuzz/Fuzz.h"

#include <cmath>

namespace {

constexpr uint32_t kRates[8] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 4000};

sx::TAudio Sound(const uint8_t* Data, size_t Size) {
  sx::TAudio Audio;
  Audio.Channels = (Data[0] & 1) + 1;
  Audio.SampleRate = kRates[Data[0] >> 1 & 7];
  for (size_t I = 2; I + 1 < Size; I += 2)
    Audio.Samples.push_back(static_cast<int16_t>(Data[I] | Data[I + 1] << 8));
  Audio.Samples.resize(Audio.Frames() * Audio.Channels);
  return Audio;
}

void CheckMeasure(const sx::TAudio& Audio) {
  sx::TLoudness L;
  try {
    L = sx::MeasureLoudness(Audio);
  } catch (const sx::EConvertError&) {
    FUZZ_CHECK(Audio.SampleRate < sx::kMinLoudnessRate);
    return;
  }
  // A full-scale square wave in both channels reads about +3 LUFS; nothing passes the gate below -70.
  FUZZ_CHECK(!L.Integrated || (std::isfinite(*L.Integrated) && *L.Integrated > -70 && *L.Integrated < 10));
  FUZZ_CHECK(L.TruePeak.has_value() == L.SamplePeak.has_value());
  FUZZ_CHECK(!L.TruePeak || *L.TruePeak >= *L.SamplePeak - 1e-9);
}

void CheckGain(sx::TAudio Audio, double Requested) {
  // The converter seeks the peak only as high as the gain could take it; it decides as the whole search.
  const sx::TGainResult Gain = sx::LimitGain(Requested, Audio),
                        Whole = sx::LimitGain(Requested, sx::TruePeak(Audio));
  FUZZ_CHECK(Gain.Applied == Whole.Applied && Gain.HeldBack == Whole.HeldBack);
  FUZZ_CHECK(!Gain.TruePeak || Gain.TruePeak == Whole.TruePeak);
  FUZZ_CHECK(Gain.Applied <= Requested);
  FUZZ_CHECK(Gain.HeldBack == (Gain.Applied != Requested));
  sx::ApplyGain(Audio, Gain);
  const std::optional<double> After = sx::Decibels(sx::TruePeak(Audio));
  // Rounding to 16 bits moves the peak by a few thousandths of a decibel at the ceiling.
  FUZZ_CHECK(!After || *After <= sx::kTruePeakCeilingDb + 0.01);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 2)
    return 0;
  const sx::TAudio Audio = Sound(Data, Size);
  CheckMeasure(Audio);
  CheckGain(Audio, static_cast<int8_t>(Data[1]) / 2.0);
  return 0;
}
