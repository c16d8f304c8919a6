// FLAC on the 60 s clip of 44.1 kHz stereo: our encoder's speed (held to one core) and size beside the flac
// tool's -5 on the same samples, and our decoder's speed on our file and on flac's.
//
// Usage: orvik_flac_bench <scratch folder>
// Fails if our decode of either file is not the clip, or if flac -t refuses our file.
#include "bench/converter/BenchKit.h"
#include "converter/formats/FlacReader.h"
#include "converter/formats/FlacWriter.h"
#include "converter/formats/WaveWriter.h"

using namespace bench;

int main(int Argc, char** Argv) {
  if (Argc != 2) {
    std::fprintf(stderr, "usage: orvik_flac_bench <scratch folder>\n");
    return 2;
  }
  const std::string Dir = std::string(Argv[1]) + "/";
  const TAudio Clip = MusicClip();
  const double RawBytes = 2.0 * Clip.Samples.size();
  std::printf("clip: %.0f s, %u Hz, stereo, synthesised music, %.0f bytes of 16-bit samples\n", kSeconds,
              kRate, RawBytes);
  Save(Dir + "clip.wav", WriteWave(Clip));

  Bytes Ours;
  TTimes Encode, DecodeOurs, DecodeTheirs;
  {
    TOneCore Hold;
    Encode = BestTimes(7, [&] { Ours = WriteFlac(Clip); });
  }
  Save(Dir + "ours.flac", Ours);
  if (!Run("flac -s -t '" + Dir + "ours.flac'"))
    return 1;
  // flac -5 as it comes (an 8 KB padding block and a seek table) and with its frames alone.
  if (!Run("flac -s -f -5 '" + Dir + "clip.wav' -o '" + Dir + "flac5.flac'") ||
      !Run("flac -s -f -5 --no-padding --no-seektable '" + Dir + "clip.wav' -o '" + Dir + "flac5-bare.flac'"))
    return 1;
  const Bytes Theirs = Load(Dir + "flac5.flac"), Bare = Load(Dir + "flac5-bare.flac");
  // flac's own speed at -5 on one core, as a child process: start-up and reading the Wave file included.
  double FlacEncode = 1e9;
  for (int R = 0; R < 3; ++R) {
    const double Before = ChildProcessorSeconds();
    if (!Run("taskset -c 0 flac -s -f -5 '" + Dir + "clip.wav' -o '" + Dir + "again.flac'"))
      return 1;
    FlacEncode = std::min(FlacEncode, ChildProcessorSeconds() - Before);
  }
  TAudio Back, BackTheirs;
  {
    TOneCore Hold;
    DecodeOurs = BestTimes(7, [&] { Back = ReadFlac(Ours); });
    DecodeTheirs = BestTimes(7, [&] { BackTheirs = ReadFlac(Theirs); });
  }
  if (Back.Samples != Clip.Samples || BackTheirs.Samples != Clip.Samples) {
    std::fprintf(stderr, "a decode differs from the clip\n");
    return 1;
  }
  std::printf("%-34s %10s %8s %12s\n", "", "bytes", "ratio", "1 core");
  std::printf("%-34s %10zu %8.3f %11.0fx\n", "sx -flac, encode", Ours.size(), Ours.size() / RawBytes,
              kSeconds / Encode.Processor);
  std::printf("%-34s %10zu %8.3f %11.0fx\n", "flac -5, encode (whole process)", Theirs.size(),
              Theirs.size() / RawBytes, kSeconds / FlacEncode);
  std::printf("%-34s %10zu %8.3f %12s\n", "flac -5 --no-padding --no-seektable", Bare.size(),
              Bare.size() / RawBytes, "-");
  std::printf("%-34s %10s %8s %11.0fx\n", "sx decode of sx -flac", "", "", kSeconds / DecodeOurs.Processor);
  std::printf("%-34s %10s %8s %11.0fx\n", "sx decode of flac -5", "", "", kSeconds / DecodeTheirs.Processor);
  std::printf("size of sx -flac: %.4f of flac -5's file, %.4f of its frames alone\n",
              double(Ours.size()) / Theirs.size(), double(Ours.size()) / Bare.size());
  return 0;
}
