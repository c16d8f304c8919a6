#pragma once
// Synthesised test sound, measures of how close two sounds are, and a way to run outside programs.

#include "converter/Audio.h"

#include <string>

namespace sxtest {

using sx::TAudio;

// Frames frames at Rate of each kind; Amplitude is a fraction of full scale.
TAudio Chirp(uint32_t Rate, size_t Frames, double FromHz, double ToHz, double Amplitude = 0.5);
TAudio Chord(uint32_t Rate, size_t Frames); // three notes with harmonics and a slow envelope
TAudio Silence(uint32_t Rate, size_t Frames, unsigned Channels = 1);
TAudio Square(uint32_t Rate, size_t Frames, double Hz); // full scale, +-32767
// A sine of Amplitude (fraction of full scale) starting at Phase (radians) in each of Channels channels.
TAudio Sine(uint32_t Rate, size_t Frames, double Hz, double Amplitude, unsigned Channels = 1,
            double Phase = 0);
// Pink noise (-3 dB per octave) of about Amplitude peak, the same for the same Seed; stereo channels differ.
TAudio PinkNoise(uint32_t Rate, size_t Frames, unsigned Channels, double Amplitude, uint32_t Seed);
// A short stereo piece: a chord, drum hits of noise, a chirp, and a quiet bridge far below the rest.
TAudio Song(uint32_t Rate, double Seconds);
// Left and right from two mono sounds of the same length and rate.
TAudio Stereo(const TAudio& Left, const TAudio& Right);

// Signal-to-noise ratio of Decoded against Original in dB over their common samples (999 when equal).
double SnrDb(const TAudio& Original, const TAudio& Decoded);
// The largest absolute sample difference.
int MaxDifference(const TAudio& A, const TAudio& B);

// Runs a command line through the system's shell and returns its exit status (0 for success).
int RunCommand(const std::string& Line);
// The oracle programs the tests compare with, where the machine has them.
inline const std::string kFfmpeg = "/usr/bin/ffmpeg";
// True if the outside program at Path can be started from this process (ffmpeg is a native program:
// under Wine it may not be reachable).
bool CanRun(const std::string& Path);
// The shell's name of the null device.
const char* NullDevice();

} // namespace sxtest
