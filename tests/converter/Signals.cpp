#include "tests/converter/Signals.h"

#include <cmath>
#include <cstdlib>
#include <numbers>

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
