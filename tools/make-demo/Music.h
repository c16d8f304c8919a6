#pragma once
// Short synthesised pieces for the demo game: a melody, chords, a bass line and drums over two bars, made
// with plain arithmetic only (no library maths), so the same score gives the same samples on every build.

#include "converter/Audio.h"

#include <string>

namespace demo {

// One piece. Patterns are written in steps of an eighth note (16 steps in two bars): a melody step is a
// scale degree '1'..'9' (above the key's root), '-' to hold the note before or '.' for silence; a drum
// step is 'x' to strike or '.' to rest. An empty pattern leaves its instrument out.
struct TScore {
  int Tempo = 120;              // beats per minute
  int Root = 60;                // MIDI note of the key's first degree
  bool Minor = false;           // natural minor scale instead of major
  std::string Chords;           // four scale degrees, one chord per half bar ("1564"); empty: no chords
  std::string Melody;           // 16 steps
  bool Bass = false;            // the chords' roots two octaves down, on every beat
  std::string Kick, Snare, Hat; // 16 steps each
};

// Two bars of Score, 16-bit stereo at 22,050 Hz, peaking at about -2 dB.
sx::TAudio Render(const TScore& Score);

} // namespace demo
