#include "tests/converter/Signals.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <random>

namespace sxtest {
namespace {

TAudio Mono(uint32_t Rate, size_t Frames) {
  TAudio A;
  A.SampleRate = Rate;
  A.Channels = 1;
  A.Samples.resize(Frames);
  return A;
}

} // namespace

TAudio Chirp(uint32_t Rate, size_t Frames, double FromHz, double ToHz, double Amplitude) {
  TAudio A = Mono(Rate, Frames);
  const double Seconds = double(Frames) / Rate;
  for (size_t N = 0; N < Frames; ++N) {
    double T = double(N) / Rate;
    double Phase = 2 * std::numbers::pi * (FromHz * T + (ToHz - FromHz) * T * T / (2 * Seconds));
    A.Samples[N] = static_cast<int16_t>(std::lround(32767 * Amplitude * std::sin(Phase)));
  }
  return A;
}

TAudio Chord(uint32_t Rate, size_t Frames) {
  TAudio A = Mono(Rate, Frames);
  const double Notes[3] = {220.0, 277.18, 329.63};
  for (size_t N = 0; N < Frames; ++N) {
    double T = double(N) / Rate, V = 0;
    for (double F : Notes)
      for (int H = 1; H <= 4; ++H)
        V += std::sin(2 * std::numbers::pi * F * H * T + H) / (H * H);
    double Envelope = 0.6 + 0.4 * std::sin(2 * std::numbers::pi * 1.5 * T);
    A.Samples[N] = static_cast<int16_t>(std::lround(5000 * Envelope * V));
  }
  return A;
}

TAudio Silence(uint32_t Rate, size_t Frames, unsigned Channels) {
  TAudio A;
  A.SampleRate = Rate;
  A.Channels = Channels;
  A.Samples.assign(Frames * Channels, 0);
  return A;
}

TAudio Square(uint32_t Rate, size_t Frames, double Hz) {
  TAudio A = Mono(Rate, Frames);
  for (size_t N = 0; N < Frames; ++N)
    A.Samples[N] = std::fmod(double(N) * Hz / Rate, 1.0) < 0.5 ? 32767 : -32767;
  return A;
}

TAudio Sine(uint32_t Rate, size_t Frames, double Hz, double Amplitude, unsigned Channels, double Phase) {
  TAudio A = Silence(Rate, Frames, Channels);
  for (size_t N = 0; N < Frames; ++N) {
    const double V = Amplitude * 32767 * std::sin(2 * std::numbers::pi * Hz * double(N) / Rate + Phase);
    for (unsigned C = 0; C < Channels; ++C)
      A.Samples[N * Channels + C] = static_cast<int16_t>(std::lround(V));
  }
  return A;
}

TAudio PinkNoise(uint32_t Rate, size_t Frames, unsigned Channels, double Amplitude, uint32_t Seed) {
  TAudio A = Silence(Rate, Frames, Channels);
  std::mt19937 Random(Seed);
  for (unsigned C = 0; C < Channels; ++C) {
    // White noise through a sum of first-order low passes whose corners are spread a few octaves apart.
    double B[6] = {};
    const double Pole[6] = {0.99886, 0.99332, 0.96900, 0.86650, 0.55000, -0.7616};
    const double Gain[6] = {0.0555179, 0.0750759, 0.1538520, 0.3104856, 0.5329522, -0.0168980};
    for (size_t N = 0; N < Frames; ++N) {
      const double White = double(Random()) / Random.max() * 2 - 1;
      double Sum = White * 0.5362;
      for (int K = 0; K < 6; ++K) {
        B[K] = Pole[K] * B[K] + White * Gain[K];
        Sum += B[K];
      }
      A.Samples[N * Channels + C] =
          static_cast<int16_t>(std::clamp(Sum * Amplitude * 32767 / 4, -32767.0, 32767.0));
    }
  }
  return A;
}

TAudio Song(uint32_t Rate, double Seconds) {
  const size_t Frames = static_cast<size_t>(Seconds * Rate);
  TAudio Left = Chord(Rate, Frames), Right = Chirp(Rate, Frames, 80, 6000, 0.3);
  const TAudio Drums = PinkNoise(Rate, Frames, 1, 1.0, 7);
  for (size_t N = 0; N < Frames; ++N) {
    const double T = double(N) / Rate, Beat = std::fmod(T, 0.5);
    const double Hit = Beat < 0.08 ? Drums.Samples[N] * (1 - Beat / 0.08) : 0;
    // The bridge, from 40 % to 60 % of the piece, is 40 dB down: the relative gate leaves it out.
    const double Level = T > 0.4 * Seconds && T < 0.6 * Seconds ? 0.01 : 1;
    Left.Samples[N] = static_cast<int16_t>(std::clamp((Left.Samples[N] + Hit) * Level, -32767.0, 32767.0));
    Right.Samples[N] = static_cast<int16_t>(std::clamp((Right.Samples[N] + Hit) * Level, -32767.0, 32767.0));
  }
  return Stereo(Left, Right);
}

TAudio Stereo(const TAudio& Left, const TAudio& Right) {
  TAudio A;
  A.SampleRate = Left.SampleRate;
  A.Channels = 2;
  for (size_t N = 0; N < Left.Samples.size(); ++N) {
    A.Samples.push_back(Left.Samples[N]);
    A.Samples.push_back(Right.Samples[N]);
  }
  return A;
}

double SnrDb(const TAudio& Original, const TAudio& Decoded) {
  double Signal = 0, Noise = 0;
  for (size_t I = 0; I < std::min(Original.Samples.size(), Decoded.Samples.size()); ++I) {
    double S = Original.Samples[I], D = S - Decoded.Samples[I];
    Signal += S * S;
    Noise += D * D;
  }
  return Noise == 0 ? 999 : 10 * std::log10(Signal / Noise);
}

int MaxDifference(const TAudio& A, const TAudio& B) {
  int Max = 0;
  for (size_t I = 0; I < std::min(A.Samples.size(), B.Samples.size()); ++I)
    Max = std::max(Max, std::abs(A.Samples[I] - B.Samples[I]));
  return Max;
}

int RunCommand(const std::string& Line) {
#ifdef _WIN32
  // cmd.exe drops the first and the last quote of its command, so the whole line gets one more pair.
  return std::system(("\"" + Line + "\"").c_str());
#else
  return std::system(Line.c_str());
#endif
}

const char* NullDevice() {
#ifdef _WIN32
  return "nul";
#else
  return "/dev/null";
#endif
}

bool CanRun(const std::string& Path) {
  return RunCommand("\"" + Path + "\" -version > " + NullDevice() + " 2>&1") == 0;
}

} // namespace sxtest
