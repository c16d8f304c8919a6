// sx -measure -points=1000 on the 60 s clip stored as an EA-XA stream: loudness, peaks, codec and an
// envelope of 1000 points from one decode, held to one core, in the process and as the whole sx program.
//
// Usage: orvik_measure_bench <scratch folder>
// Fails if the report is not the clip's (its codec, frames and envelope).
#include "bench/converter/BenchKit.h"
#include "converter/Converter.h"
#include "converter/formats/EAStreamWriter.h"

using namespace bench;

namespace {

constexpr double kGoal = 500; // times real time

void Line(const char* What, double Seconds) {
  const double Ratio = kSeconds / Seconds;
  std::printf("%-44s %8.1f ms %8.0fx real time  (%s %.0fx)\n", What, Seconds * 1000, Ratio,
              Ratio >= kGoal ? "meets" : "BELOW", kGoal);
}

} // namespace

int main(int Argc, char** Argv) {
  if (Argc != 2) {
    std::fprintf(stderr, "usage: orvik_measure_bench <scratch folder>\n");
    return 2;
  }
  const std::string Song = std::string(Argv[1]) + "/song.asf";
  Save(Song, WriteEAStream(MusicClip(), TEACodec::EAXA));
  std::printf("song: %.0f s, %u Hz, stereo, EA-XA\n", kSeconds, kRate);
  const std::vector<std::string> Arguments = {"-measure", "-points=1000", Song};
  std::string Out, Err;
  TTimes InProcess;
  {
    TOneCore Hold;
    InProcess = BestTimes(7, [&] {
      Out.clear();
      if (RunConverter(Arguments, Out, Err) != 0)
        std::fprintf(stderr, "%s", Err.c_str());
    });
  }
  const std::string Frames = "\"frames\":" + std::to_string(size_t(kSeconds * kRate)) + ",";
  if (Out.find(Frames + "\"codec\":\"EA-XA\",\"envelope\":[[[") == std::string::npos ||
      std::count(Out.begin(), Out.end(), '[') != 1 + 2 + 2 * 1000) {
    std::fprintf(stderr, "not the clip's report: %.300s\n", Out.c_str());
    return 1;
  }
  // The whole program, as the editor starts it: loading the file and writing the line included.
  double Whole = 1e9;
  for (int R = 0; R < 5; ++R) {
    const double Before = ChildProcessorSeconds();
    if (!Run("taskset -c 0 '" + std::string(SX_PATH) + "' -measure -points=1000 '" + Song + "' > /dev/null"))
      return 1;
    Whole = std::min(Whole, ChildProcessorSeconds() - Before);
  }
  Line("sx -measure -points=1000, in the process", InProcess.Processor);
  Line("sx -measure -points=1000, the whole program", Whole);
  return 0;
}
