// What a re-levelling costs in quality: the 60 s clip stored in each EA stream codec (the song as the game
// holds it) is decoded, given a gain as a re-level gives it (held under -1 dBTP), encoded again in the same
// codec and decoded; the second generation is compared with the sound it was encoded from. The first
// generation's own loss beside it says how much of the song's quality the second one takes.
//
// Usage: orvik_relevel_loss_bench
// Fails if a generation is not the clip's length, or is far from the sound it was made from.
#include "bench/converter/BenchKit.h"
#include "converter/analysis/Gain.h"
#include "converter/analysis/Loudness.h"
#include "converter/analysis/TruePeak.h"
#include "converter/codecs/EACodec.h"
#include "converter/formats/EAStreamReader.h"
#include "converter/formats/EAStreamWriter.h"

using namespace bench;

namespace {

TAudio Generation(const TAudio& From, TEACodec Codec) {
  return ReadEAStream(WriteEAStream(From, Codec));
}

double Level(const std::optional<double>& Value) {
  return Value.value_or(-999);
}

} // namespace

int main() {
  const TAudio Clip = MusicClip();
  std::printf("clip: %.0f s, %u Hz, stereo; gains as a re-level gives them, held under %.0f dBTP\n\n",
              kSeconds, kRate, kTruePeakCeilingDb);
  std::printf("%-16s %9s %11s %10s %12s %12s\n", "codec", "gain dB", "1st SNR dB", "2nd SNR dB",
              "loudness LU", "true peak dB");
  const TEACodec Codecs[] = {TEACodec::EAXA, TEACodec::MicroTalk10, TEACodec::MicroTalk5, TEACodec::PcmS16LE,
                             TEACodec::PcmS8};
  for (TEACodec Codec : Codecs) {
    const TAudio First = Generation(Clip, Codec);
    const double FirstSnr = SnrDb(Clip.Samples, First.Samples, Clip.Samples.size());
    for (double Gain : {0.0, -6.0, 3.0}) {
      TAudio Given = First;
      const TGainResult Limited = LimitGain(Gain, TruePeak(First));
      if (Limited.Applied != 0)
        ApplyGain(Given, Limited);
      const TAudio Second = Generation(Given, Codec);
      if (Second.Samples.size() != Clip.Samples.size()) {
        std::fprintf(stderr, "%s: the second generation has %zu frames, not %zu\n", EACodecName(Codec),
                     Second.Frames(), Clip.Frames());
        return 1;
      }
      const double Snr = SnrDb(Given.Samples, Second.Samples, Given.Samples.size());
      if (Snr < 5) {
        std::fprintf(stderr, "%s: the second generation is not the song (SNR %.1f dB)\n", EACodecName(Codec),
                     Snr);
        return 1;
      }
      const TLoudness Before = MeasureLoudness(Given), After = MeasureLoudness(Second);
      std::printf("%-16s %+9.2f %11.1f %10.1f %+12.3f %+12.3f\n", EACodecName(Codec), Limited.Applied,
                  FirstSnr, Snr, Level(After.Integrated) - Level(Before.Integrated),
                  Level(After.TruePeak) - Level(Before.TruePeak));
    }
  }
  return 0;
}
