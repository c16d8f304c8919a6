#include "tools/make-demo/Music.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace demo {

namespace {

constexpr uint32_t Rate = 22050;
constexpr int Steps = 16;
constexpr double Pi = 3.14159265358979323846;

// 2^(k/12), k = 0..11: equal temperament without pow().
constexpr double Semitones[12] = {1.0,
                                  1.0594630943592953,
                                  1.1224620483093730,
                                  1.1892071150027210,
                                  1.2599210498948732,
                                  1.3348398541700344,
                                  1.4142135623730951,
                                  1.4983070768766815,
                                  1.5874010519681994,
                                  1.6817928305074290,
                                  1.7817974362806785,
                                  1.8877486253633868};

constexpr int Major[7] = {0, 2, 4, 5, 7, 9, 11};
constexpr int Minor[7] = {0, 2, 3, 5, 7, 8, 10};

double Frequency(int Note) {
  int FromA = Note - 69;
  int Octave = FromA >= 0 ? FromA / 12 : -((11 - FromA) / 12);
  double F = 440.0 * Semitones[FromA - Octave * 12];
  for (; Octave > 0; --Octave)
    F *= 2;
  for (; Octave < 0; ++Octave)
    F /= 2;
  return F;
}

// sin(2 pi Cycles) by its series on [-pi/2, pi/2]; floor() is exact, so the result is the same everywhere.
double Sine(double Cycles) {
  double X = Cycles - std::floor(Cycles);
  if (X >= 0.5)
    X -= 1.0;
  double A = X * 2 * Pi;
  if (A > Pi / 2)
    A = Pi - A;
  else if (A < -Pi / 2)
    A = -Pi - A;
  double A2 = A * A;
  return A * (1 - A2 / 6 * (1 - A2 / 20 * (1 - A2 / 42 * (1 - A2 / 72 * (1 - A2 / 110)))));
}

double Triangle(double Cycles) {
  double X = Cycles - std::floor(Cycles);
  return 4 * (X < 0.5 ? X : 1 - X) - 1;
}

enum class TVoice { Lead, Pad, Bass, Kick, Snare, Hat };

class TMix {
public:
  TMix(int Tempo)
      : StepFrames(Rate * 60 / (static_cast<uint32_t>(Tempo) * 2)), Left(StepFrames * Steps), Right(Left) {}

  // A note of Voice from step First for Count steps; Pan from -1 (left) to 1 (right).
  void Add(TVoice Voice, int First, double Count, double Hz, double Gain, double Pan) {
    size_t Start = static_cast<size_t>(First) * StepFrames;
    size_t Length = static_cast<size_t>(Count * StepFrames);
    if (Voice == TVoice::Kick)
      Length = Rate * 15 / 100;
    else if (Voice == TVoice::Snare)
      Length = Rate * 12 / 100;
    else if (Voice == TVoice::Hat)
      Length = Rate * 4 / 100;
    double LeftGain = Gain * (Pan > 0 ? 1 - Pan : 1), RightGain = Gain * (Pan < 0 ? 1 + Pan : 1);
    double Phase = 0;
    for (size_t I = 0; I < Length && Start + I < Left.size(); ++I) {
      double T = static_cast<double>(I) / Rate, U = static_cast<double>(I) / static_cast<double>(Length);
      double V = 0, W = 0; // left and right before panning
      switch (Voice) {
      case TVoice::Lead: {
        double Env = (T < 0.01 ? T / 0.01 : 1) * (1 - U) * (1 - U);
        V = W = Env * (Sine(Hz * T) + Sine(3 * Hz * T) / 4 + Sine(5 * Hz * T) / 9);
        break;
      }
      case TVoice::Pad: {
        double Env = (T < 0.25 ? T / 0.25 : 1) * (Length - I < Rate / 10 ? (Length - I) / (Rate / 10.0) : 1);
        V = Env * Sine(Hz * T);
        W = Env * Sine(Hz * 1.003 * T);
        break;
      }
      case TVoice::Bass:
        V = W = (T < 0.005 ? T / 0.005 : 1) * (1 - U) * Triangle(Hz * T);
        break;
      case TVoice::Kick:
        Phase += (50 + 100 * (1 - U) * (1 - U)) / Rate;
        V = W = (1 - U) * (1 - U) * Sine(Phase);
        break;
      case TVoice::Snare:
        V = W = (1 - U) * (1 - U) * (0.6 * Noise() + 0.4 * Sine(185 * T));
        break;
      case TVoice::Hat: {
        double N = Noise();
        V = W = (1 - U) * (N - FLastNoise) / 2;
        FLastNoise = N;
        break;
      }
      }
      Left[Start + I] += V * LeftGain;
      Right[Start + I] += W * RightGain;
    }
  }

  sx::TAudio Finish() const {
    double Peak = 1e-9;
    for (size_t I = 0; I < Left.size(); ++I)
      Peak = std::max({Peak, std::fabs(Left[I]), std::fabs(Right[I])});
    double Scale = 0.8 * 32767 / Peak;
    sx::TAudio Audio;
    Audio.SampleRate = Rate;
    Audio.Channels = 2;
    size_t Fade = Rate / 50;
    for (size_t I = 0; I < Left.size(); ++I) {
      double Tail = Left.size() - I < Fade ? static_cast<double>(Left.size() - I) / Fade : 1;
      for (double V : {Left[I], Right[I]}) {
        double S = V * Scale * Tail;
        Audio.Samples.push_back(sx::Clamp16(static_cast<int64_t>(S >= 0 ? S + 0.5 : S - 0.5)));
      }
    }
    return Audio;
  }

  const size_t StepFrames;

private:
  // A fixed linear congruential sequence in [-1, 1).
  double Noise() {
    FSeed = FSeed * 1664525u + 1013904223u;
    return static_cast<int32_t>(FSeed) / 2147483648.0;
  }
  std::vector<double> Left, Right;
  uint32_t FSeed = 12345;
  double FLastNoise = 0;
};

int ScaleNote(const TScore& Score, int Degree) {
  const int* Scale = Score.Minor ? Minor : Major;
  int D = Degree - 1;
  return Score.Root + 12 * (D / 7) + Scale[D % 7];
}

void AddMelody(TMix& Mix, const TScore& Score) {
  for (int Step = 0; Step < static_cast<int>(Score.Melody.size()) && Step < Steps; ++Step) {
    char C = Score.Melody[Step];
    if (C < '1' || C > '9')
      continue;
    int Held = 1;
    while (Step + Held < static_cast<int>(Score.Melody.size()) && Score.Melody[Step + Held] == '-')
      ++Held;
    Mix.Add(TVoice::Lead, Step, Held, Frequency(ScaleNote(Score, C - '0')), 0.35, -0.2);
  }
}

void AddChords(TMix& Mix, const TScore& Score) {
  for (int Chord = 0; Chord < static_cast<int>(Score.Chords.size()) && Chord < 4; ++Chord) {
    int Degree = Score.Chords[Chord] - '0';
    const double Pans[3] = {-0.5, 0.0, 0.5};
    for (int Tone = 0; Tone < 3; ++Tone)
      Mix.Add(TVoice::Pad, Chord * 4, 4, Frequency(ScaleNote(Score, Degree + 2 * Tone) - 12), 0.14,
              Pans[Tone]);
    if (Score.Bass)
      for (int Beat = 0; Beat < 2; ++Beat)
        Mix.Add(TVoice::Bass, Chord * 4 + Beat * 2, 1.8, Frequency(ScaleNote(Score, Degree) - 24), 0.45, 0);
  }
}

void AddDrum(TMix& Mix, const std::string& Pattern, TVoice Voice, double Gain, double Pan) {
  for (int Step = 0; Step < static_cast<int>(Pattern.size()) && Step < Steps; ++Step)
    if (Pattern[Step] == 'x')
      Mix.Add(Voice, Step, 1, 0, Gain, Pan);
}

} // namespace

sx::TAudio Render(const TScore& Score) {
  TMix Mix(Score.Tempo);
  AddChords(Mix, Score);
  AddMelody(Mix, Score);
  AddDrum(Mix, Score.Kick, TVoice::Kick, 0.9, 0);
  AddDrum(Mix, Score.Snare, TVoice::Snare, 0.45, 0.1);
  AddDrum(Mix, Score.Hat, TVoice::Hat, 0.25, 0.3);
  return Mix.Finish();
}

} // namespace demo
