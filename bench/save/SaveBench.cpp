// Save and open at the speed of the disk.
//
// Usage: orvik_save_bench <scratch folder>
// Generates three archives of about 100 MB (120 entries each) with a definition, then measures side by
// side: a plain copy of one archive (cp), and the same copy flushed to the disk (cp, sync); Save after a
// replace-import into one archive; Save after an add-import into one archive; and the open of a definition of
// 10,000 samples over three archives of 1,000 entries. For each: wall time, and the bytes and calls the
// process read and wrote
// (/proc/self/io). Each Save is checked by reopening the definition: every sample must give the bytes it
// should, or the benchmark fails.
#include "base/Paths.h"
#include "definitions/uTypes.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct TIo {
  long long ReadBytes = 0, WrittenBytes = 0, ReadCalls = 0, WriteCalls = 0;
};

TIo ProcessIo() {
  std::ifstream In("/proc/self/io");
  std::map<std::string, long long> Fields;
  std::string Key;
  long long Value = 0;
  while (In >> Key >> Value)
    Fields[Key] = Value;
  return {Fields["rchar:"], Fields["wchar:"], Fields["syscr:"], Fields["syscw:"]};
}

struct TMeasure {
  double Ms;
  TIo Io;
};

template <class F> TMeasure Measure(F&& Run) {
  TIo Before = ProcessIo();
  auto Start = std::chrono::steady_clock::now();
  Run();
  double Ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start).count();
  TIo After = ProcessIo();
  return {Ms,
          {After.ReadBytes - Before.ReadBytes, After.WrittenBytes - Before.WrittenBytes,
           After.ReadCalls - Before.ReadCalls, After.WriteCalls - Before.WriteCalls}};
}

void PutBE32(Bytes& Out, uint32_t V) {
  for (int S = 24; S >= 0; S -= 8)
    Out.push_back(static_cast<uint8_t>(V >> S));
}

void PutLE32(Bytes& Out, uint32_t V) {
  for (int S = 0; S <= 24; S += 8)
    Out.push_back(static_cast<uint8_t>(V >> S));
}

// A compact archive of Count entries of Size bytes each, the data filled from Seed; returns the data
// offsets.
std::vector<uint32_t> WriteArchive(const std::string& Path, int Count, uint32_t Size, uint32_t Seed) {
  uint32_t Directory = 16;
  for (int I = 0; I < Count; ++I)
    Directory += 9 + static_cast<uint32_t>(("song" + std::to_string(I) + ".asf").size());
  std::vector<uint32_t> Offsets;
  uint32_t At = (Directory + 63) / 64 * 64;
  for (int I = 0; I < Count; ++I, At = (At + Size + 63) / 64 * 64)
    Offsets.push_back(At);
  uint32_t Total = Offsets.back() + Size;
  Bytes Head = {'B', 'I', 'G', 'F'};
  PutLE32(Head, Total);
  PutBE32(Head, static_cast<uint32_t>(Count));
  PutBE32(Head, Directory);
  for (int I = 0; I < Count; ++I) {
    PutBE32(Head, Offsets[static_cast<size_t>(I)]);
    PutBE32(Head, Size);
    std::string Name = "song" + std::to_string(I) + ".asf";
    Head.insert(Head.end(), Name.begin(), Name.end());
    Head.push_back(0);
  }
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  Head.resize(Offsets[0], 0);
  Out.write(reinterpret_cast<const char*>(Head.data()), static_cast<std::streamsize>(Head.size()));
  Bytes Data(Size);
  for (int I = 0; I < Count; ++I) {
    for (uint32_t J = 0; J < Size; ++J)
      Data[J] = static_cast<uint8_t>((J * 31 + static_cast<uint32_t>(I) * 7 + Seed) >> 3);
    Out.seekp(Offsets[static_cast<size_t>(I)]);
    Out.write(reinterpret_cast<const char*>(Data.data()), Size);
  }
  return Offsets;
}

// A definition naming the archives, with Samples samples spread over them in one stream.
void WriteDefinition(const std::string& Path, const std::vector<std::string>& Archives,
                     const std::vector<std::vector<uint32_t>>& Offsets, int Samples) {
  Bytes Out;
  PutLE32(Out, static_cast<uint32_t>(Archives.size()));
  PutLE32(Out, 0);
  PutLE32(Out, 1);
  for (const std::string& Name : Archives) {
    Bytes Field(32, 0);
    std::copy(Name.begin(), Name.end(), Field.begin());
    Out.insert(Out.end(), Field.begin(), Field.end());
  }
  PutLE32(Out, static_cast<uint32_t>(Samples));
  for (int I = 0; I < Samples; ++I) {
    size_t Archive = static_cast<size_t>(I) % Archives.size();
    PutLE32(Out, Offsets[Archive][(static_cast<size_t>(I) / Archives.size()) % Offsets[Archive].size()]);
    PutLE32(Out, static_cast<uint32_t>(Archive));
    PutLE32(Out, 0xFFFFFFFFu);
  }
  std::ofstream(Path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(Out.data()), static_cast<std::streamsize>(Out.size()));
}

Bytes EntryBytes(TEAStreamFile& File, const std::string& Scratch) {
  File.SaveToFile(Scratch);
  std::ifstream In(Scratch, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
}

// Every sample's entry name and bytes; a Save must keep them (but for the imported sample).
std::vector<std::pair<std::string, Bytes>> Bound(TStreamPack& Pack, const std::string& Scratch) {
  std::vector<std::pair<std::string, Bytes>> Out;
  ForEachSample(Pack, [&](TStreamData& S) {
    TEAStreamFile* File = S.StreamFile();
    if (File == nullptr) {
      std::fprintf(stderr, "FAIL: a sample lost its file\n");
      std::exit(1);
    }
    Out.push_back({File->Name, EntryBytes(*File, Scratch)});
  });
  return Out;
}

void Report(const char* What, const TMeasure& M, double CopyMs, long long ArchiveBytes) {
  std::printf(
      "%-34s %9.1f ms %6.2fx cp   read %7.1f MB in %7lld calls   written %7.1f MB (%5.2fx archive) in %6lld "
      "calls\n",
      What, M.Ms, CopyMs > 0 ? M.Ms / CopyMs : 0.0, M.Io.ReadBytes / 1e6, M.Io.ReadCalls,
      M.Io.WrittenBytes / 1e6, static_cast<double>(M.Io.WrittenBytes) / static_cast<double>(ArchiveBytes),
      M.Io.WriteCalls);
}

long long FileSize(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary | std::ios::ate);
  return static_cast<long long>(In.tellg());
}

} // namespace

int main(int Argc, char** Argv) {
  if (Argc != 2) {
    std::fprintf(stderr, "usage: orvik_save_bench <scratch folder>\n");
    return 2;
  }
  std::string Dir = std::string(Argv[1]) + "/";
  std::string Scratch = Dir + "entry.bin";
  std::vector<std::string> Names = {"A.big", "B.big", "C.big"};
  std::vector<std::vector<uint32_t>> Offsets;
  for (size_t I = 0; I < Names.size(); ++I)
    Offsets.push_back(WriteArchive(Dir + Names[I], 120, 850000, static_cast<uint32_t>(I)));
  std::string Def = Dir + "streams.dat";
  WriteDefinition(Def, Names, Offsets, 360);
  long long ArchiveBytes = FileSize(Dir + "A.big");
  std::printf("pack: 3 archives of %.1f MB, 120 entries each, 360 samples\n", ArchiveBytes / 1e6);

  TMeasure Copy = Measure([&] {
    if (std::system(("cp '" + Dir + "A.big' '" + Dir + "copy.big'").c_str()) != 0)
      std::exit(1);
  });
  std::remove((Dir + "copy.big").c_str());
  // cp runs in a child: its bytes are not this process's.
  std::printf("%-34s %9.1f ms\n", "cp of one archive", Copy.Ms);
  // The same copy made durable, as a save must make its new files before it relies on them.
  TMeasure Synced = Measure([&] {
    if (std::system(("cp '" + Dir + "A.big' '" + Dir + "copy.big' && sync '" + Dir + "copy.big'").c_str()) !=
        0)
      std::exit(1);
  });
  std::remove((Dir + "copy.big").c_str());
  std::printf("%-34s %9.1f ms\n", "cp and sync of one archive", Synced.Ms);

  Bytes Recording(900000);
  for (size_t I = 0; I < Recording.size(); ++I)
    Recording[I] = static_cast<uint8_t>(I * 13 >> 2);
  std::ofstream(Dir + "new.asf", std::ios::binary)
      .write(reinterpret_cast<const char*>(Recording.data()), static_cast<std::streamsize>(Recording.size()));

  for (bool Add : {false, true}) {
    TStreamPack Pack(Dir);
    Pack.LoadFromFile(Def);
    TStreamData& Sample = *Pack.Streams(0)->Samples(3); // in A
    Sample.ImportFile(Dir + "new.asf", Add, "added.asf");
    auto Expected = Bound(Pack, Scratch);
    TMeasure Save = Measure([&] { Pack.SaveWithArchives(Def, true); });
    Report(Add ? "Save after an add-import" : "Save after a replace-import", Save, Copy.Ms, ArchiveBytes);
    TStreamPack Reopened(Dir);
    Reopened.LoadFromFile(Def);
    if (Bound(Reopened, Scratch) != Expected) {
      std::fprintf(stderr, "FAIL: the saved definition binds a sample to other bytes\n");
      return 1;
    }
  }

  std::vector<std::vector<uint32_t>> Small;
  std::vector<std::string> SmallNames = {"a.big", "b.big", "c.big"};
  for (size_t I = 0; I < SmallNames.size(); ++I)
    Small.push_back(WriteArchive(Dir + SmallNames[I], 1000, 100, static_cast<uint32_t>(I)));
  WriteDefinition(Dir + "large.dat", SmallNames, Small, 10000);
  int32_t Count = 0;
  TMeasure Open = Measure([&] {
    TStreamPack Pack(Dir);
    Pack.LoadFromFile(Dir + "large.dat");
    Count = Pack.Streams(0)->SampleCount();
  });
  if (Count != 10000) {
    std::fprintf(stderr, "FAIL: %d samples read\n", Count);
    return 1;
  }
  std::printf("%-34s %9.1f ms   read %7.3f MB in %7lld calls\n", "open of 10,000 samples", Open.Ms,
              Open.Io.ReadBytes / 1e6, Open.Io.ReadCalls);
  return 0;
}
