// A folder of songs imported at once with loudness matching, beside the same songs imported one at a time.
//
// Usage: orvik_batch_import_bench <scratch folder> <seconds> "<command>" <song>...
// <command> starts the Windows build of orvik-streams under Wine (for example
// "/usr/lib/wine/wine64 /path/orvik-streams.exe"); paths given to it are Wine's Z: paths. Each song is
// <seconds> long, 44.1 kHz stereo. In a fresh demo game, one run of
//   import-batch DEF --stream 1 --sample 0 --json SONGS...
// replaces the stream's samples from 0 on and appends the rest; in another fresh demo game, whose stream 1
// first gets enough samples for every song (tiny placeholders, untimed), one run of
//   import DEF --stream 1 --sample I SONG
// per song, each its own process. Prints the wall time of each, their ratio, where the batch's time went
// (from the times its progress lines arrived), and the load of the machine before and after. Then, as the
// floor under both, the converter alone (sx -pcstream -eaxa_blk, from the sx folder beside the program)
// on every song one after another: its wall time and its processor time, which a batch on this machine
// cannot spread over more than its cores, and the batch's wall time against that floor, and its processor
// time (with the converters it ran) against the converter's alone; then the same against the converter
// alone doing what the batch asked of it, matching each song to the batch's loudness target. Fails
// unless every command succeeds and every sample 0..N-1 of stream 1 then holds a whole EA-XA song of the
// expected length; the batch must also report every song imported with a gain toward its target.
#include "base/Paths.h"
#include "bench/WineCommands.h"
#include "converter/formats/WaveWriter.h"
#include "definitions/uTypes.h"
#include "tools/make-demo/Demo.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace {

constexpr int32_t kStream = 1;

using namespace winebench;

std::string LoadAverage() {
  std::ifstream In("/proc/loadavg");
  double One = 0, Five = 0;
  In >> One >> Five;
  char Text[64];
  std::snprintf(Text, sizeof Text, "%.2f (1 min), %.2f (5 min)", One, Five);
  return Text;
}

std::string ReadText(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), {});
}

size_t Count(const std::string& Text, const std::string& Part) {
  size_t N = 0;
  for (size_t At = Text.find(Part); At != std::string::npos; At = Text.find(Part, At + 1))
    ++N;
  return N;
}

std::unique_ptr<TStreamPack> OpenDemo(const std::string& Definition) {
  auto Pack = std::make_unique<TStreamPack>(ExtractFilePath(Definition));
  Pack->LoadFromFile(Definition);
  return Pack;
}

// Every one of the first Songs samples of the stream holds a distinct stereo EA-XA song of Seconds at
// 44.1 kHz: 15 bytes per 28 samples and channel, and a little for headers and raw frames.
void CheckImported(const std::string& Definition, size_t Songs, double Seconds) {
  auto Pack = OpenDemo(Definition);
  const TEAMusicStream& Stream = *Pack->Streams(kStream);
  if (Stream.SampleCount() < static_cast<int32_t>(Songs))
    throw std::runtime_error(Definition + ": stream 1 has too few samples");
  const double Expected = Seconds * 44100 * 2 * 15 / 28;
  std::vector<const TEAStreamFile*> Seen;
  for (int32_t I = 0; I < static_cast<int32_t>(Songs); ++I) {
    const TEAStreamFile* File = Stream.Samples(I)->StreamFile();
    if (File == nullptr || File->Size < Expected || File->Size > Expected * 1.05)
      throw std::runtime_error(Definition + ": sample " + std::to_string(I) + " holds no whole song");
    for (const TEAStreamFile* Other : Seen)
      if (Other == File)
        throw std::runtime_error(Definition + ": sample " + std::to_string(I) + " shares its song");
    Seen.push_back(File);
  }
}

// User and system seconds of the children this process has waited for.
double ChildrenProcessor() {
  struct rusage Usage {};
  getrusage(RUSAGE_CHILDREN, &Usage);
  auto Seconds = [](const timeval& T) { return double(T.tv_sec) + double(T.tv_usec) / 1e6; };
  return Seconds(Usage.ru_utime) + Seconds(Usage.ru_stime);
}

// Waits for the descendants that ended and were handed to this process (see main), so that their
// processor time counts among its children's.
void ReapOrphans() {
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
}

// The times at which the batch's progress lines (standard error with --json) arrived, and the processor
// time of the batch with every converter it ran.
struct TBatchRun {
  double Total = 0;
  double Processor = 0;
  double Measured = 0;              // the definition's songs measured
  double Target = 0;                // the loudness matched (LUFS)
  std::vector<double> SongsWritten; // each song written into its archive, in order; the save follows
};

TBatchRun RunBatch(const std::string& Command, const std::string& Folder,
                   const std::vector<std::string>& Songs) {
  const std::string Definition = Folder + "/audio/streams.dat";
  std::string Line = Command + " import-batch " + WinePath(Definition) + " --stream 1 --sample 0 --json";
  for (const std::string& Song : Songs)
    Line.append(" ").append(WinePath(Song));
  Line += " 2>&1 > " + Quoted(Folder + "/result.json");
  TBatchRun Times;
  ReapOrphans();
  const double Before = ChildrenProcessor();
  const TClock::time_point Start = TClock::now();
  FILE* Progress = popen(Line.c_str(), "r");
  if (Progress == nullptr)
    throw std::runtime_error("cannot start: " + Line);
  std::string Log;
  char Text[4096];
  while (std::fgets(Text, sizeof Text, Progress) != nullptr) {
    const std::string Got = Text;
    Log += Got;
    if (Got.rfind("Loudness target", 0) == 0)
      Times.Measured = Since(Start);
    else if (Got.rfind("[", 0) == 0)
      Times.SongsWritten.push_back(Since(Start));
  }
  const int Status = pclose(Progress);
  Times.Total = Since(Start);
  ReapOrphans();
  Times.Processor = ChildrenProcessor() - Before;
  if (Status != 0 || Times.SongsWritten.size() != Songs.size())
    throw std::runtime_error("import-batch failed:\n" + Log);
  const std::string Result = ReadText(Folder + "/result.json");
  const size_t Target = Result.find("\"target\":");
  if (Target != std::string::npos)
    Times.Target = std::atof(Result.c_str() + Target + 9);
  if (Count(Result, "\"state\":\"imported\"") != Songs.size() || Count(Result, "\"gain\":null") != 0 ||
      Result.find("\"target\":null") != std::string::npos)
    throw std::runtime_error("import-batch did not match every song's loudness:\n" + Result);
  return Times;
}

// Stream 1 of the demo gets a tiny silent sample for every song it lacks, as new entries of the archive of
// its last sample.
void AddPlaceholders(const std::string& Command, const std::string& Folder, size_t Songs) {
  const std::string Definition = Folder + "/audio/streams.dat";
  auto Pack = OpenDemo(Definition);
  const TEAMusicStream& Stream = *Pack->Streams(kStream);
  const size_t Have = static_cast<size_t>(Stream.SampleCount());
  if (Have >= Songs)
    return;
  const std::string Archive = ExtractFileName(Stream.Samples(Stream.SampleCount() - 1)->Archive()->FileName);
  sx::TAudio Silence;
  Silence.SampleRate = 44100;
  Silence.Channels = 2;
  Silence.Samples.assign(2 * 2205, 0);
  const sx::Bytes Wave = sx::WriteWave(Silence);
  std::string Line = Command + " import-batch " + WinePath(Definition) + " --stream 1 --add " +
                     Quoted(Archive) + " --no-loudness";
  for (size_t I = Have; I < Songs; ++I) {
    const std::string Path = Folder + "/placeholder " + std::to_string(I) + ".wav";
    std::ofstream(Path, std::ios::binary).write(reinterpret_cast<const char*>(Wave.data()), Wave.size());
    Line.append(" ").append(WinePath(Path));
  }
  Run(Line + " > /dev/null");
}

// The converter alone on every song, one run after another: wall and processor seconds (user and system,
// of the runs, which Wine starts as this process's children).
struct TConverterAlone {
  double Wall = 0, Processor = 0;
};

TConverterAlone RunConverterAlone(const std::string& Command, const std::string& Folder,
                                  const std::vector<std::string>& Songs, const std::string& Options) {
  const std::string Program = "orvik-streams.exe";
  const size_t At = Command.rfind(Program);
  if (At == std::string::npos)
    throw std::runtime_error("the command names no " + Program + ": " + Command);
  const std::string Converter = std::string(Command).replace(At, Program.size(), "sx/sx.exe");
  TConverterAlone Times;
  const double Before = ChildrenProcessor();
  const TClock::time_point Start = TClock::now();
  for (const std::string& Song : Songs)
    Run(Converter + " -pcstream -eaxa_blk " + Options + WinePath(Song) +
        " -=" + WinePath(Folder + "/alone.asf") + " > /dev/null");
  Times.Wall = Since(Start);
  Times.Processor = ChildrenProcessor() - Before;
  return Times;
}

double RunOneByOne(const std::string& Command, const std::string& Folder,
                   const std::vector<std::string>& Songs) {
  const std::string Definition = Folder + "/audio/streams.dat";
  const TClock::time_point Start = TClock::now();
  for (size_t I = 0; I < Songs.size(); ++I)
    Run(Command + " import " + WinePath(Definition) + " --stream 1 --sample " + std::to_string(I) + " " +
        WinePath(Songs[I]) + " > /dev/null");
  return Since(Start);
}

} // namespace

int main(int Argc, char** Argv) {
  if (Argc < 5) {
    std::fprintf(stderr,
                 "usage: orvik_batch_import_bench <scratch folder> <seconds> \"<command>\" <song>...\n");
    return 2;
  }
  const std::string Scratch = Argv[1], Command = Argv[3];
  const double Seconds = std::atof(Argv[2]);
  const std::vector<std::string> Songs(Argv + 4, Argv + Argc);
  // Wine starts a program's child processes detached from it; as a subreaper this process inherits them
  // when their parent lets go, and their processor time counts among its children's once it waits for
  // them.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  try {
    std::printf("%zu songs of %.0f s; load before: %s\n", Songs.size(), Seconds, LoadAverage().c_str());
    std::fflush(stdout);

    const std::string BatchFolder = Scratch + "/batch";
    demo::MakeDemo(BatchFolder);
    const TBatchRun Batch = RunBatch(Command, BatchFolder, Songs);
    CheckImported(BatchFolder + "/audio/streams.dat", Songs.size(), Seconds);
    std::printf("import-batch, one process:     %7.1f s\n  definition measured at %.1f s; songs written at",
                Batch.Total, Batch.Measured);
    for (double At : Batch.SongsWritten)
      std::printf(" %.1f", At);
    std::printf(" s; saved at %.1f s; %.1f processor-s with its converters\n", Batch.Total, Batch.Processor);
    std::fflush(stdout);

    const std::string SingleFolder = Scratch + "/single";
    demo::MakeDemo(SingleFolder);
    AddPlaceholders(Command, SingleFolder, Songs.size());
    const double OneByOne = RunOneByOne(Command, SingleFolder, Songs);
    CheckImported(SingleFolder + "/audio/streams.dat", Songs.size(), Seconds);
    std::printf("import, one process per song:  %7.1f s (%.1f s a song)\n", OneByOne,
                OneByOne / Songs.size());
    std::printf("batch is %.2fx faster; load after: %s\n", OneByOne / Batch.Total, LoadAverage().c_str());
    std::fflush(stdout);

    const TConverterAlone Alone = RunConverterAlone(Command, Scratch, Songs, "");
    const unsigned Cores = std::thread::hardware_concurrency();
    std::printf("the converter alone, no loudness: %.1f s one after another, %.1f processor-s, so at least "
                "%.1f s on %u cores\n",
                Alone.Wall, Alone.Processor, Alone.Processor / Cores, Cores);
    const double Floor = Alone.Processor / Cores;
    std::printf("batch against its floor: %.1f s / %.1f s = %.2fx; processor time against the converter "
                "alone's: %.1f / %.1f = %.2fx; load at the end: %s\n",
                Batch.Total, Floor, Batch.Total / Floor, Batch.Processor, Alone.Processor,
                Batch.Processor / Alone.Processor, LoadAverage().c_str());
    char Loudness[32];
    std::snprintf(Loudness, sizeof Loudness, "-loudness=%.2f ", Batch.Target);
    const TConverterAlone Matched = RunConverterAlone(Command, Scratch, Songs, Loudness);
    std::printf(
        "the converter alone, matching the batch's loudness (%s): %.1f processor-s, so at least %.1f s; "
        "batch against that: %.2fx, processor time %.2fx\n",
        Loudness, Matched.Processor, Matched.Processor / Cores, Batch.Total / (Matched.Processor / Cores),
        Batch.Processor / Matched.Processor);
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "orvik_batch_import_bench: %s\n", Error.what());
    return 1;
  }
  return 0;
}
