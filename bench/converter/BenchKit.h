#pragma once
// What the converter's benchmarks share: the 60 s clip of synthesised music they encode, files in and out,
// and timing held to one core.
#include "converter/Audio.h"

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

namespace bench {

using namespace sx;

inline constexpr uint32_t kRate = 44100;
inline constexpr double kSeconds = 60;

inline double Note(double Hz, double T, double Age) {
  double V = 0;
  for (int H = 1; H <= 6; ++H)
    V += std::sin(2 * std::numbers::pi * Hz * H * T) / H * std::exp(-Age * H * 1.5);
  return V;
}

// Chords changing every half second over a bass line, with hi-hat noise bursts; the chord sits more to
// the left, the bass and drums to the right.
inline TAudio MusicClip() {
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

inline double SnrDb(const std::vector<int16_t>& Original, const std::vector<int16_t>& Decoded, size_t Count) {
  double Signal = 0, Noise = 0;
  for (size_t I = 0; I < Count; ++I) {
    const double S = Original[I], D = S - Decoded[I];
    Signal += S * S;
    Noise += D * D;
  }
  return Noise == 0 ? 999 : 10 * std::log10(Signal / Noise);
}

inline Bytes Load(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(In), {});
}

inline void Save(const std::string& Path, const Bytes& Data) {
  std::ofstream(Path, std::ios::binary).write(reinterpret_cast<const char*>(Data.data()), Data.size());
}

inline bool Run(const std::string& Line) {
  if (std::system(Line.c_str()) == 0)
    return true;
  std::fprintf(stderr, "failed: %s\n", Line.c_str());
  return false;
}

inline double ProcessorSeconds() {
  timespec T{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &T);
  return double(T.tv_sec) + T.tv_nsec * 1e-9;
}

// The processor time of the child processes that have ended.
inline double ChildProcessorSeconds() {
  rusage U{};
  getrusage(RUSAGE_CHILDREN, &U);
  return double(U.ru_utime.tv_sec + U.ru_stime.tv_sec) + (U.ru_utime.tv_usec + U.ru_stime.tv_usec) * 1e-6;
}

// The best of Runs calls of Work: elapsed time, and the processor time of all the process's threads.
struct TTimes {
  double Elapsed = 1e9;
  double Processor = 1e9;
};

template <typename F> TTimes BestTimes(int Runs, F Work) {
  TTimes Best;
  for (int R = 0; R < Runs; ++R) {
    const auto Start = std::chrono::steady_clock::now();
    const double CpuStart = ProcessorSeconds();
    Work();
    Best.Processor = std::min(Best.Processor, ProcessorSeconds() - CpuStart);
    Best.Elapsed = std::min(Best.Elapsed,
                            std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count());
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

} // namespace bench
