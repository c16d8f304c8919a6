// RefPack compressor benchmark: CompressBuffer on 1 MiB and 8 MiB of text-like and of binary
// data, reporting the throughput in MB/s (10^6 bytes of input per second) and the output ratio. Every
// stream is decoded once with the test decoder and compared with its input before it is timed.
//
//   refpack_bench [Google Benchmark options]
//   refpack_bench --write-inputs FOLDER   writes the inputs as FOLDER/NAME.bin (for bench/refpack/compare)

#include "archive/EACompr.h"
#include "tests/fixtures/RefPack.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Text-like: words of a vocabulary, skewed towards the frequent ones, with punctuation and line breaks.
Bytes TextLike(size_t Count, uint32_t Seed) {
  static const char* const Words[] = {
      "the",     "of",     "and",    "stream", "sample",  "archive",  "music",   "to",     "in",
      "a",       "ORVIK",  "album",  "singer", "name",    "offset",   "file",    "is",     "player",
      "song",    "game",   "sound",  "track",  "preload", "editor",   "with",    "that",   "for",
      "on",      "EA",     "SPORTS", "audio",  "data",    "position", "length",  "window", "copy",
      "literal", "byte",   "bytes",  "table",  "season",  "league",   "stadium", "crowd",  "chant",
      "goal",    "replay", "menu",   "volume", "fade",    "intro",    "outro",   "loop",   "mix",
      "channel", "stereo", "mono",   "rate",   "block",   "header"};
  const uint32_t WordCount = sizeof Words / sizeof Words[0];
  std::mt19937 Engine(Seed);
  Bytes Result;
  Result.reserve(Count + 16);
  while (Result.size() < Count) {
    uint32_t Rank = Engine() % WordCount * (Engine() % WordCount) / WordCount;
    const char* Word = Words[Rank];
    Result.insert(Result.end(), Word, Word + std::strlen(Word));
    uint32_t Pick = Engine() % 24;
    Result.push_back(Pick == 0 ? '\n' : Pick == 1 ? ',' : Pick == 2 ? '.' : ' ');
  }
  Result.resize(Count);
  return Result;
}

// Binary: records of little-endian integers with zero-padded 64-byte text fields (like a definition
// file), stretches of noise, runs, and copies of earlier stretches from near and far.
Bytes Binary(size_t Count, uint32_t Seed) {
  std::mt19937 Engine(Seed);
  Bytes Words = TextLike(8192, Seed + 1);
  Bytes Result;
  Result.reserve(Count + 70000);
  auto Le32 = [&](uint32_t V) {
    for (int I = 0; I < 4; ++I)
      Result.push_back(static_cast<uint8_t>(V >> (8 * I)));
  };
  uint32_t Offset = 0;
  while (Result.size() < Count) {
    switch (Engine() % 8) {
    case 0:
    case 1:
    case 2: // a few records
      for (uint32_t N = 1 + Engine() % 20; N > 0; --N) {
        Le32(Engine() % 3);
        Le32(Offset += 64 * (1 + Engine() % 50000));
        Le32(Engine() % 4 == 0 ? 0xFFFFFFFFu : Engine() % 300);
        if (Engine() % 2 == 0) {
          Bytes Field(64, 0);
          std::memcpy(Field.data(), Words.data() + Engine() % 8000, 1 + Engine() % 40);
          Result.insert(Result.end(), Field.begin(), Field.end());
        }
      }
      break;
    case 3: // noise
      for (uint32_t N = 16 + Engine() % 2000; N > 0; --N)
        Result.push_back(static_cast<uint8_t>(Engine()));
      break;
    case 4: // a run
      Result.insert(Result.end(), 8 + Engine() % 600, static_cast<uint8_t>(Engine() % 3 == 0 ? Engine() : 0));
      break;
    default: { // an earlier stretch again, slightly changed
      if (Result.size() < 16)
        break;
      size_t Back = 1 + Engine() % std::min<size_t>(Result.size(), 120000);
      size_t Length = std::min<size_t>(Back, 8 + Engine() % 4000);
      size_t From = Result.size() - Back;
      for (size_t I = 0; I < Length; ++I)
        Result.push_back(Engine() % 97 == 0 ? static_cast<uint8_t>(Engine()) : Result[From + I]);
    }
    }
  }
  Result.resize(Count);
  return Result;
}

struct BenchInput {
  const char* Name;
  Bytes (*Make)(size_t, uint32_t);
  size_t Size;
};

const BenchInput kInputs[] = {
    {"text_1MiB", TextLike, size_t{1} << 20},
    {"text_8MiB", TextLike, size_t{8} << 20},
    {"binary_1MiB", Binary, size_t{1} << 20},
    {"binary_8MiB", Binary, size_t{8} << 20},
};

const Bytes& InputData(const BenchInput& In) {
  static std::vector<Bytes> Cache(std::size(kInputs));
  Bytes& Data = Cache[static_cast<size_t>(&In - kInputs)];
  if (Data.empty())
    Data = In.Make(In.Size, 2026);
  return Data;
}

void BM_CompressBuffer(benchmark::State& State, const BenchInput* In) {
  const Bytes& Data = InputData(*In);
  int32_t Size = static_cast<int32_t>(Data.size());
  Bytes Stream = CompressBuffer(Data.data(), Size);
  try {
    if (Stream.empty() || fixtures::RefPackDecode(Stream) != Data) {
      State.SkipWithError("the stream does not decode to the input");
      return;
    }
  } catch (const fixtures::RefPackError& Error) {
    State.SkipWithError(Error.what());
    return;
  }
  for (auto _ : State) {
    int32_t N = static_cast<int32_t>(Data.size());
    Bytes Out = CompressBuffer(Data.data(), N);
    benchmark::DoNotOptimize(Out.data());
    benchmark::ClobberMemory();
  }
  const double Bytes = static_cast<double>(Data.size());
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * static_cast<int64_t>(Data.size()));
  State.counters["MB/s"] = benchmark::Counter(Bytes / 1e6, benchmark::Counter::kIsIterationInvariantRate);
  State.counters["ratio"] = static_cast<double>(Stream.size()) / Bytes;
  State.counters["in_bytes"] = Bytes;
  State.counters["out_bytes"] = static_cast<double>(Stream.size());
}

int WriteInputs(const std::string& Folder) {
  for (const BenchInput& In : kInputs) {
    const Bytes& Data = InputData(In);
    std::ofstream Out(Folder + "/" + In.Name + ".bin", std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
    int32_t Size = static_cast<int32_t>(Data.size());
    Bytes Stream = CompressBuffer(Data.data(), Size);
    std::ofstream Ours(Folder + "/" + In.Name + ".ours", std::ios::binary | std::ios::trunc);
    Ours.write(reinterpret_cast<const char*>(Stream.data()), static_cast<std::streamsize>(Stream.size()));
    if (!Out || !Ours) {
      std::cerr << "cannot write " << Folder << "/" << In.Name << "\n";
      return 1;
    }
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--write-inputs")
    return WriteInputs(argv[2]);
  for (const BenchInput& In : kInputs)
    benchmark::RegisterBenchmark((std::string("CompressBuffer/") + In.Name).c_str(), BM_CompressBuffer, &In)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(0.5);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
