// EA-XA encoding speed and quality on 60 s of synthesised 44.1 kHz stereo music.
//
// Usage: orvik_converter_bench <scratch folder>
// Prints the encoder's speed as a multiple of real time (best of several runs), the SNR of our own
// decode and of FFmpeg's decode of the stream, and the SNR that FFmpeg's adpcm_ms encoder reaches on the
// same clip at a similar bit rate. Fails if FFmpeg's decode differs from ours.
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

} // namespace

int main(int Argc, char** Argv) {
  if (Argc != 2) {
    std::fprintf(stderr, "usage: orvik_converter_bench <scratch folder>\n");
    return 2;
  }
  const std::string Dir = std::string(Argv[1]) + "/";
  const TAudio Clip = MusicClip();
  Bytes Stream;
  double Best = 1e9, BestCpu = 1e9;
  for (int Run = 0; Run < 5; ++Run) {
    const auto Start = std::chrono::steady_clock::now();
    const std::clock_t CpuStart = std::clock();
    Stream = WriteEAStream(Clip, TEACodec::EAXA);
    BestCpu = std::min(BestCpu, double(std::clock() - CpuStart) / CLOCKS_PER_SEC);
    Best = std::min(Best, std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count());
  }
  const TAudio Ours = ReadEAStream(Stream);
  if (Ours.Samples.size() != Clip.Samples.size()) {
    std::fprintf(stderr, "our decode has %zu samples, not %zu\n", Ours.Samples.size(), Clip.Samples.size());
    return 1;
  }
  std::printf("clip: %.0f s, %u Hz, stereo, synthesised music\n", kSeconds, kRate);
  std::printf("EA-XA encode: %.3f s elapsed (best of 5) = %.0fx real time; %.2f bits per sample\n", Best,
              kSeconds / Best, 8.0 * Stream.size() / Clip.Samples.size());
  std::printf("EA-XA encode: %.3f s of processor time over all threads = %.0fx real time on one core\n",
              BestCpu, kSeconds / BestCpu);
  std::printf("EA-XA SNR, our decoder:      %.2f dB\n",
              SnrDb(Clip.Samples, Ours.Samples, Clip.Samples.size()));

  Save(Dir + "clip.wav", WriteWave(Clip));
  Save(Dir + "clip.asf", Stream);
  const std::string Ffmpeg = "ffmpeg -v error -y ";
  if (!Run(Ffmpeg + "-i '" + Dir + "clip.asf' -bitexact -map_metadata -1 -c:a pcm_s16le '" + Dir +
           "eaxa.wav'") ||
      !Run(Ffmpeg + "-i '" + Dir + "clip.wav' -c:a adpcm_ms '" + Dir + "ms.wav'") ||
      !Run(Ffmpeg + "-i '" + Dir + "ms.wav' -bitexact -map_metadata -1 -c:a pcm_s16le '" + Dir +
           "ms-decoded.wav'"))
    return 1;
  const TAudio Theirs = ReadWave(Load(Dir + "eaxa.wav"));
  for (size_t I = 0; I < Theirs.Samples.size(); ++I)
    if (Theirs.Samples[I] != Ours.Samples[I]) {
      std::fprintf(stderr, "FFmpeg's decode differs from ours at sample %zu\n", I);
      return 1;
    }
  std::printf(
      "EA-XA SNR, FFmpeg's decoder: %.2f dB over %zu of %zu samples (FFmpeg drops a last partial frame)\n",
      SnrDb(Clip.Samples, Theirs.Samples, Theirs.Samples.size()), Theirs.Samples.size(), Clip.Samples.size());
  const TAudio Ms = ReadWave(Load(Dir + "ms-decoded.wav"));
  const size_t MsBytes = Load(Dir + "ms.wav").size();
  std::printf("FFmpeg adpcm_ms SNR:         %.2f dB; %.2f bits per sample\n",
              SnrDb(Clip.Samples, Ms.Samples, std::min(Ms.Samples.size(), Clip.Samples.size())),
              8.0 * MsBytes / Clip.Samples.size());
  return 0;
}
