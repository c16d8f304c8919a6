// Encoding speed and quality of every EA stream variant on 60 s of synthesised 44.1 kHz stereo music, and
// FFmpeg's adpcm_ms encoder on the same clip for comparison.
//
// Usage: orvik_converter_bench <scratch folder> <sx>
// For each variant: bits per sample, the SNR of our own decode, and the encoding speed as a multiple of
// real time (best of several runs) with the process held to one core and with every core. Then sx (the
// converter program) beside FFmpeg's adpcm_ms encoder on the same Wave file, by processor time, and their
// ratio. Fails if a decode has the wrong length, if sx's stream differs from the one made here, or if
// FFmpeg's decode of the EA-XA stream differs from ours.
#include "bench/converter/BenchKit.h"
#include "converter/formats/EAStreamReader.h"
#include "converter/formats/EAStreamWriter.h"
#include "converter/formats/WaveReader.h"
#include "converter/formats/WaveWriter.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <numbers>
#include <random>
#include <sched.h>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace sx;

namespace {

using namespace bench;

double Median(std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  return Values[Values.size() / 2];
}

struct TVariant {
  const char* Name;
  TEACodec Codec;
  int Runs;
};

} // namespace

int main(int Argc, char** Argv) {
  if (Argc != 3) {
    std::fprintf(stderr, "usage: orvik_converter_bench <scratch folder> <sx>\n");
    return 2;
  }
  const std::string Dir = std::string(Argv[1]) + "/", Converter = Argv[2];
  const TAudio Clip = MusicClip();
  std::printf("clip: %.0f s, %u Hz, stereo, synthesised music; %d cores available\n", kSeconds, kRate,
              TOneCore::Cores());
  // One core: the process held to one processor, timed by the processor time it used, which other
  // programs on the machine do not inflate. All cores: elapsed time, with the channels on threads of their
  // own; "threads busy" is processor time over elapsed time, 2 when both channels really run at once.
  std::printf("%-16s %8s %10s %12s %12s %13s\n", "variant", "bits/smp", "SNR dB", "1 core", "all cores",
              "threads busy");
  const TVariant Variants[] = {{"EA-XA", TEACodec::EAXA, 5},
                               {"MicroTalk 10:1", TEACodec::MicroTalk10, 2},
                               {"MicroTalk 5:1", TEACodec::MicroTalk5, 2},
                               {"PCM s16l", TEACodec::PcmS16LE, 5},
                               {"PCM s8", TEACodec::PcmS8, 5}};
  Bytes EAXAStream;
  for (const TVariant& V : Variants) {
    Bytes Stream;
    TTimes One;
    {
      TOneCore Hold;
      One = BestTimes(V.Runs, [&] { Stream = WriteEAStream(Clip, V.Codec); });
    }
    const TTimes All = BestTimes(V.Runs, [&] { Stream = WriteEAStream(Clip, V.Codec); });
    const TAudio Ours = ReadEAStream(Stream);
    if (Ours.Samples.size() != Clip.Samples.size()) {
      std::fprintf(stderr, "%s: our decode has %zu samples, not %zu\n", V.Name, Ours.Samples.size(),
                   Clip.Samples.size());
      return 1;
    }
    std::printf("%-16s %8.2f %10.2f %11.1fx %11.1fx %13.2f\n", V.Name,
                8.0 * Stream.size() / Clip.Samples.size(),
                SnrDb(Clip.Samples, Ours.Samples, Clip.Samples.size()), kSeconds / One.Processor,
                kSeconds / All.Elapsed, All.Processor / All.Elapsed);
    if (V.Codec == TEACodec::EAXA)
      EAXAStream = Stream;
  }

  Save(Dir + "clip.wav", WriteWave(Clip));
  Save(Dir + "clip.asf", EAXAStream);
  const std::string Ffmpeg = "ffmpeg -v error -y ";
  if (!Run(Ffmpeg + "-i '" + Dir + "clip.asf' -bitexact -map_metadata -1 -c:a pcm_s16le '" + Dir +
           "eaxa.wav'"))
    return 1;
  // The converter against FFmpeg's adpcm_ms encoder, each a whole process (start-up, reading the Wave
  // file, encoding, writing) on the same file, timed by the processor time it used as a child of this one,
  // in pairs run one right after the other so that both meet the same load: the median of each, and the
  // median of the pairs' ratios.
  constexpr int kPairs = 7;
  std::vector<double> SxTimes, MsTimes, Ratios;
  for (int R = 0; R < kPairs; ++R) {
    double Before = ChildProcessorSeconds();
    if (!Run("'" + Converter + "' -pcstream -eaxa_blk '" + Dir + "clip.wav' -='" + Dir + "sx.asf'"))
      return 1;
    SxTimes.push_back(ChildProcessorSeconds() - Before);
    Before = ChildProcessorSeconds();
    if (!Run(Ffmpeg + "-threads 1 -i '" + Dir + "clip.wav' -c:a adpcm_ms '" + Dir + "ms.wav'"))
      return 1;
    MsTimes.push_back(ChildProcessorSeconds() - Before);
    Ratios.push_back(MsTimes.back() / SxTimes.back());
  }
  if (Load(Dir + "sx.asf") != EAXAStream) {
    std::fprintf(stderr, "sx wrote other EA-XA bytes than the encoder gives in this process\n");
    return 1;
  }
  const double MsOne = Median(MsTimes);
  if (!Run(Ffmpeg + "-i '" + Dir + "ms.wav' -bitexact -map_metadata -1 -c:a pcm_s16le '" + Dir +
           "ms-decoded.wav'"))
    return 1;
  const TAudio Ours = ReadEAStream(EAXAStream);
  const TAudio Theirs = ReadWave(Load(Dir + "eaxa.wav"));
  for (size_t I = 0; I < Theirs.Samples.size(); ++I)
    if (Theirs.Samples[I] != Ours.Samples[I]) {
      std::fprintf(stderr, "FFmpeg's decode of our EA-XA differs from ours at sample %zu\n", I);
      return 1;
    }
  const TAudio Ms = ReadWave(Load(Dir + "ms-decoded.wav"));
  const size_t MsBytes = Load(Dir + "ms.wav").size();
  std::printf("%-16s %8.2f %10.2f %11.1fx %12s (the whole ffmpeg process, one thread)\n", "ffmpeg adpcm_ms",
              8.0 * MsBytes / Clip.Samples.size(),
              SnrDb(Clip.Samples, Ms.Samples, std::min(Ms.Samples.size(), Clip.Samples.size())),
              kSeconds / MsOne, "-");
  std::printf("sx -pcstream -eaxa_blk, the whole process: %.3f processor-s; ffmpeg -c:a adpcm_ms: %.3f "
              "processor-s (medians of %d pairs)\n",
              Median(SxTimes), MsOne, kPairs);
  std::printf(
      "EA-XA against adpcm_ms by processor time: %.2fx (the median of the pairs' ratios; 1.00x: as fast)\n",
      Median(Ratios));
  std::printf("FFmpeg decodes our EA-XA exactly (%zu of %zu samples; FFmpeg drops a last partial frame)\n",
              Theirs.Samples.size(), Clip.Samples.size());
  return 0;
}
