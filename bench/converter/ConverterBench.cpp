// Encoding speed and quality of every EA stream variant on 60 s of synthesised 44.1 kHz stereo music, and
// FFmpeg's adpcm_ms encoder on the same clip for comparison.
//
// Usage: orvik_converter_bench <scratch folder>
// For each variant: bits per sample, the SNR of our own decode, and the encoding speed as a multiple of
// real time (best of several runs) with the process held to one core and with every core. Fails if a
// decode has the wrong length, or if FFmpeg's decode of the EA-XA stream differs from ours.
#include "converter/formats/EAStreamReader.h"
#include "converter/formats/EAStreamWriter.h"
#include "converter/formats/WaveReader.h"
#include "converter/formats/WaveWriter.h"

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

using namespace sx;

namespace {

constexpr uint32_t kRate = 44100;
constexpr double kSeconds = 60;

double Note(double Hz, double T, double Age) {
  double V = 0;
  for (int H = 1; H <= 6; ++H)
    V += std::sin(2 * std::numbers::pi * Hz * H * T) / H * std::exp(-Age * H * 1.5);
  return V;
}

// Chords changing every half second over a bass line, with hi-hat noise bursts; the chord sits more to
// the left, the bass and drums to the right.
TAudio MusicClip() {
  const double Roots[4] = {220.0, 174.61, 261.63, 196.0};
  const double Ratios[3] = {1.0, 1.2599, 1.4983};
  std::mt19937 Random(1);
  std::uniform_real_distribution<double> Noise(-1, 1);
  TAudio A;
  A.SampleRate = kRate;
  A.Channels = 2;
  const size_t Frames = static_cast<size_t>(kSeconds * kRate);
  A.Samples.reserve(2 * Frames);
  for (size_t N = 0; N < Frames; ++N) {
    const double T = double(N) / kRate, Beat = std::fmod(T, 0.5), Eighth = std::fmod(T, 0.25);
    const double Root = Roots[size_t(T / 2) % 4];
    double Chord = 0;
    for (double R : Ratios)
      Chord += Note(Root * R, T, Beat);
    const double Bass = Note(Root / 4, T, Beat * 0.5);
    const double Hat = Noise(Random) * std::exp(-Eighth * 60);
    const double Left = 4200 * Chord + 2500 * Bass + 1200 * Hat;
    const double Right = 2400 * Chord + 5200 * Bass + 3000 * Hat;
    A.Samples.push_back(Clamp16(std::lround(Left)));
    A.Samples.push_back(Clamp16(std::lround(Right)));
  }
  return A;
}

double SnrDb(const std::vector<int16_t>& Original, const std::vector<int16_t>& Decoded, size_t Count) {
  double Signal = 0, Noise = 0;
  for (size_t I = 0; I < Count; ++I) {
    const double S = Original[I], D = S - Decoded[I];
    Signal += S * S;
    Noise += D * D;
  }
  return Noise == 0 ? 999 : 10 * std::log10(Signal / Noise);
}

Bytes Load(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(In), {});
}

void Save(const std::string& Path, const Bytes& Data) {
  std::ofstream(Path, std::ios::binary).write(reinterpret_cast<const char*>(Data.data()), Data.size());
}

bool Run(const std::string& Line) {
  if (std::system(Line.c_str()) == 0)
    return true;
  std::fprintf(stderr, "failed: %s\n", Line.c_str());
  return false;
}

// The best elapsed time of Runs calls of Work.
template <typename F> double BestSeconds(int Runs, F Work) {
  double Best = 1e9;
  for (int R = 0; R < Runs; ++R) {
    const auto Start = std::chrono::steady_clock::now();
    Work();
    Best = std::min(Best, std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count());
  }
  return Best;
}

// Holds the process to its first allowed processor, or gives it back every one it had.
class TOneCore {
public:
  TOneCore() {
    sched_getaffinity(0, sizeof(FAll), &FAll);
    cpu_set_t One;
    CPU_ZERO(&One);
    for (int C = 0; C < CPU_SETSIZE; ++C)
      if (CPU_ISSET(C, &FAll)) {
        CPU_SET(C, &One);
        break;
      }
    sched_setaffinity(0, sizeof(One), &One);
  }
  ~TOneCore() { sched_setaffinity(0, sizeof(FAll), &FAll); }
  static int Cores() {
    cpu_set_t Set;
    sched_getaffinity(0, sizeof(Set), &Set);
    return CPU_COUNT(&Set);
  }

private:
  cpu_set_t FAll;
};

struct TVariant {
  const char* Name;
  TEACodec Codec;
  int Runs;
};

} // namespace

int main(int Argc, char** Argv) {
  if (Argc != 2) {
    std::fprintf(stderr, "usage: orvik_converter_bench <scratch folder>\n");
    return 2;
  }
  const std::string Dir = std::string(Argv[1]) + "/";
  const TAudio Clip = MusicClip();
  std::printf("clip: %.0f s, %u Hz, stereo, synthesised music; %d cores available\n", kSeconds, kRate,
              TOneCore::Cores());
  std::printf("%-16s %8s %10s %12s %12s\n", "variant", "bits/smp", "SNR dB", "1 core", "all cores");
  const TVariant Variants[] = {{"EA-XA", TEACodec::EAXA, 5},
                               {"MicroTalk 10:1", TEACodec::MicroTalk10, 2},
                               {"MicroTalk 5:1", TEACodec::MicroTalk5, 2},
                               {"PCM s16l", TEACodec::PcmS16LE, 5},
                               {"PCM s8", TEACodec::PcmS8, 5}};
  Bytes EAXAStream;
  for (const TVariant& V : Variants) {
    Bytes Stream;
    double One;
    {
      TOneCore Hold;
      One = BestSeconds(V.Runs, [&] { Stream = WriteEAStream(Clip, V.Codec); });
    }
    const double All = BestSeconds(V.Runs, [&] { Stream = WriteEAStream(Clip, V.Codec); });
    const TAudio Ours = ReadEAStream(Stream);
    if (Ours.Samples.size() != Clip.Samples.size()) {
      std::fprintf(stderr, "%s: our decode has %zu samples, not %zu\n", V.Name, Ours.Samples.size(),
                   Clip.Samples.size());
      return 1;
    }
    std::printf("%-16s %8.2f %10.2f %11.1fx %11.1fx\n", V.Name, 8.0 * Stream.size() / Clip.Samples.size(),
                SnrDb(Clip.Samples, Ours.Samples, Clip.Samples.size()), kSeconds / One, kSeconds / All);
    if (V.Codec == TEACodec::EAXA)
      EAXAStream = Stream;
  }

  Save(Dir + "clip.wav", WriteWave(Clip));
  Save(Dir + "clip.asf", EAXAStream);
  const std::string Ffmpeg = "ffmpeg -v error -y ";
  if (!Run(Ffmpeg + "-i '" + Dir + "clip.asf' -bitexact -map_metadata -1 -c:a pcm_s16le '" + Dir +
           "eaxa.wav'"))
    return 1;
  const double MsOne = BestSeconds(
      3, [&] { Run(Ffmpeg + "-threads 1 -i '" + Dir + "clip.wav' -c:a adpcm_ms '" + Dir + "ms.wav'"); });
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
  std::printf("%-16s %8.2f %10.2f %11.1fx %12s (whole ffmpeg process, one thread)\n", "ffmpeg adpcm_ms",
              8.0 * MsBytes / Clip.Samples.size(),
              SnrDb(Clip.Samples, Ms.Samples, std::min(Ms.Samples.size(), Clip.Samples.size())),
              kSeconds / MsOne, "-");
  std::printf("FFmpeg decodes our EA-XA exactly (%zu of %zu samples; FFmpeg drops a last partial frame)\n",
              Theirs.Samples.size(), Clip.Samples.size());
  return 0;
}
