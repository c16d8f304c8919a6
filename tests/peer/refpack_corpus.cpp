// Writes the corpus of the peer interoperability test (tests/peer/run) into a folder: for each generated
// input NAME, the files NAME.bin (the input), NAME.ours (our RefPack stream of it, from CompressBuffer)
// and NAME.bounded (the stream of our algorithm with the one rule of the qfs-compression package
// that differs: match comparisons stop at the end of the data instead of running on into the zero slack).
// manifest.txt lists the names, one per line. Before writing, every stream of ours is checked against
// the reference compressor (tests/fixtures/RefPack) and decoded by the test decoder; the
// tool exits non-zero if either check fails.
//
// Usage: refpack_corpus FOLDER [SEED]   (the same SEED gives the same corpus; default 1)

#include "archive/EACompr.h"
#include "tests/fixtures/RefPack.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct Input {
  std::string Name;
  Bytes Data;
};

class Generator {
public:
  explicit Generator(uint32_t Seed) : FEngine(Seed) {}

  uint32_t Next() { return static_cast<uint32_t>(FEngine()); }
  uint32_t Below(uint32_t N) { return N == 0 ? 0 : Next() % N; }

  Bytes Random(size_t Count) {
    Bytes Result(Count);
    for (uint8_t& Byte : Result)
      Byte = static_cast<uint8_t>(Next());
    return Result;
  }

  Bytes Alphabet(size_t Count, unsigned Letters) {
    Bytes Result(Count);
    for (uint8_t& Byte : Result)
      Byte = static_cast<uint8_t>('a' + Below(Letters));
    return Result;
  }

  // Words of a vocabulary, Zipf-like, with spaces, punctuation and line breaks.
  Bytes Text(size_t Count) {
    static const char* const Words[] = {
        "the",   "of",    "and",      "stream", "sample", "archive", "music",   "to",     "in",    "a",
        "ORVIK", "album", "singer",   "name",   "offset", "file",    "is",      "player", "song",  "game",
        "sound", "track", "preload",  "editor", "with",   "that",    "for",     "on",     "EA",    "SPORTS",
        "audio", "data",  "position", "length", "window", "copy",    "literal", "byte",   "bytes", "table"};
    const size_t WordCount = sizeof Words / sizeof Words[0];
    Bytes Result;
    while (Result.size() < Count) {
      size_t Rank = Below(static_cast<uint32_t>(WordCount));
      Rank = Rank * Below(static_cast<uint32_t>(WordCount)) / WordCount; // skewed towards the first words
      const char* Word = Words[Rank];
      Result.insert(Result.end(), Word, Word + std::strlen(Word));
      uint32_t Pick = Below(20);
      Result.push_back(Pick == 0 ? '\n' : Pick == 1 ? ',' : Pick == 2 ? '.' : ' ');
    }
    Result.resize(Count);
    return Result;
  }

  // Binary records like a definition file's: little-endian integers and zero-padded 64-byte text fields.
  Bytes Records(size_t Count) {
    Bytes Result;
    auto Le32 = [&](uint32_t V) {
      for (int I = 0; I < 4; ++I)
        Result.push_back(static_cast<uint8_t>(V >> (8 * I)));
    };
    Bytes Words = Text(4096);
    uint32_t Offset = 0;
    while (Result.size() < Count) {
      Le32(Below(3));                                 // archive index
      Le32(Offset += 64 * (1 + Below(50000)));        // data offset
      Le32(Below(4) == 0 ? 0xFFFFFFFFu : Below(300)); // description index or -1
      for (int Field = 0; Field < 3 && Below(2) == 0; ++Field) {
        size_t Start = Below(4000);
        size_t Length = 1 + Below(40);
        Bytes Field64(64, 0);
        std::memcpy(Field64.data(), Words.data() + Start, Length);
        Result.insert(Result.end(), Field64.begin(), Field64.end());
      }
    }
    Result.resize(Count);
    return Result;
  }

  // Stretches of the kinds above, with copies of earlier stretches from near and far.
  Bytes Mixed(size_t Count) {
    Bytes Result;
    while (Result.size() < Count) {
      switch (Below(6)) {
      case 0: {
        Bytes Part = Text(200 + Below(4000));
        Result.insert(Result.end(), Part.begin(), Part.end());
        break;
      }
      case 1: {
        Bytes Part = Random(50 + Below(800));
        Result.insert(Result.end(), Part.begin(), Part.end());
        break;
      }
      case 2:
        Result.insert(Result.end(), 10 + Below(3000), static_cast<uint8_t>(Below(3) == 0 ? Next() : 0));
        break;
      case 3:
      case 4: {
        if (Result.empty())
          break;
        size_t Back = 1 + Below(static_cast<uint32_t>(std::min<size_t>(Result.size(), 140000)));
        size_t Length = std::min<size_t>(Back, 3 + Below(2500));
        size_t From = Result.size() - Back;
        for (size_t I = 0; I < Length; ++I)
          Result.push_back(Result[From + I]);
        break;
      }
      default: {
        Bytes Part = Records(300 + Below(3000));
        Result.insert(Result.end(), Part.begin(), Part.end());
      }
      }
    }
    Result.resize(Count);
    return Result;
  }

private:
  std::mt19937 FEngine;
};

Bytes Join(std::initializer_list<Bytes> Parts) {
  Bytes Result;
  for (const Bytes& Part : Parts)
    Result.insert(Result.end(), Part.begin(), Part.end());
  return Result;
}

Bytes Text(const char* Chars) {
  return Bytes(Chars, Chars + std::strlen(Chars));
}

std::vector<Input> MakeCorpus(uint32_t Seed) {
  Generator G(Seed);
  std::vector<Input> Corpus;
  auto Add = [&](std::string Name, Bytes Data) {
    if (Data.size() >= 2 && Data[0] == 0x10 && Data[1] == 0xFB)
      Data[0] = 0x11; // the compressor would refuse it, as it must
    Corpus.push_back({std::move(Name), std::move(Data)});
  };

  // Sizes at every boundary of the format, in several kinds of data.
  std::vector<size_t> Sizes = {0, 1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 13};
  for (size_t L = 108; L <= 118; ++L)
    Sizes.push_back(L);
  for (size_t L : {223u, 224u, 225u, 228u, 1023u, 1024u, 1025u, 1027u, 1028u, 1029u, 1030u, 2056u, 2057u})
    Sizes.push_back(L);
  for (size_t L : Sizes) {
    std::string Suffix = "-" + std::to_string(L);
    Add("random" + Suffix, G.Random(L));
    Add("text" + Suffix, G.Text(L));
    Add("letters2" + Suffix, G.Alphabet(L, 2));
    Add("run" + Suffix, Bytes(L, static_cast<uint8_t>(G.Next())));
    Add("zeros" + Suffix, Bytes(L, 0));
  }

  // Larger inputs of each kind.
  for (size_t L : {4096u, 65536u, 300000u}) {
    std::string Suffix = "-" + std::to_string(L);
    Add("random" + Suffix, G.Random(L));
    Add("text" + Suffix, G.Text(L));
    Add("letters4" + Suffix, G.Alphabet(L, 4));
    Add("records" + Suffix, G.Records(L));
    Add("mixed" + Suffix, G.Mixed(L));
  }
  Add("mixed-1048576", G.Mixed(1048576));
  Add("text-1048576", G.Text(1048576));

  // Periods around the limits of the three forms.
  for (size_t Period :
       {1u, 2u, 3u, 9u, 10u, 11u, 66u, 67u, 68u, 1024u, 1025u, 1028u, 16384u, 16385u, 65536u}) {
    Bytes Unit = G.Random(Period);
    Bytes Data;
    while (Data.size() < 3 * Period + 5000)
      Data.insert(Data.end(), Unit.begin(), Unit.end());
    Add("period-" + std::to_string(Period), Data);
  }

  // A block repeated at distances around the window's end and the short and medium limits.
  for (size_t Distance : {1024u, 1025u, 16384u, 16385u, 131070u, 131071u, 131072u, 131073u}) {
    for (size_t Length : {3u, 4u, 5u, 67u, 68u, 1028u, 1100u}) {
      if (Length >= Distance)
        continue;
      Bytes Block = G.Random(Length);
      for (uint8_t& Byte : Block)
        Byte |= 0x80;
      Add("repeat-" + std::to_string(Distance) + "-" + std::to_string(Length),
          Join({Block, G.Alphabet(Distance - Length, 26), Block, G.Alphabet(1 + G.Below(20), 26)}));
    }
  }

  // Matches at the end of the data whose copies are followed by different bytes: our comparison
  // runs on into the zero slack, so a copy followed by zeros counts as longer.
  Add("tail-zero-far", Join({Text("XYZW"), Bytes(8, 0), Text("XYZW"), Bytes(8, 0x11), Text("XYZW")}));
  Add("tail-zero-near", Join({Text("XYZW"), Bytes(8, 0x11), Text("XYZW"), Bytes(8, 0), Text("XYZW")}));
  Add("tail-hello", Join({Text("hello world"), Bytes(4, 0), Text(", and "), Text("hello world")}));
  for (int I = 0; I < 20; ++I) {
    Bytes Tail = G.Random(3 + G.Below(30));
    Add("tail-mixed-" + std::to_string(I),
        Join({Tail, Bytes(1 + G.Below(40), 0), G.Random(G.Below(2000)), Tail, G.Random(1 + G.Below(5)),
              G.Random(G.Below(3000)), Tail}));
  }

  // More random mixtures.
  for (int I = 0; I < 24; ++I)
    Add("mixed-any-" + std::to_string(I), G.Mixed(1 + G.Below(I < 12 ? 5000 : 200000)));
  return Corpus;
}

bool WriteFile(const std::string& Path, const Bytes& Data) {
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  Out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
  return static_cast<bool>(Out);
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::cerr << "usage: refpack_corpus FOLDER [SEED]\n";
    return 2;
  }
  const std::string Folder = std::string(argv[1]) + "/";
  const uint32_t Seed = argc == 3 ? static_cast<uint32_t>(std::stoul(argv[2])) : 1;

  std::vector<Input> Corpus = MakeCorpus(Seed);
  std::ofstream Manifest(Folder + "manifest.txt", std::ios::trunc);
  int Failures = 0;
  for (size_t I = 0; I < Corpus.size(); ++I) {
    const Input& In = Corpus[I];
    char Number[32];
    std::snprintf(Number, sizeof Number, "%03zu-", I);
    const std::string Name = Number + In.Name;

    int32_t Size = static_cast<int32_t>(In.Data.size());
    Bytes Ours = CompressBuffer(In.Data.data(), Size);
    if (Ours.empty() || static_cast<size_t>(Size) != Ours.size()) {
      std::cerr << Name << ": CompressBuffer gave no stream\n";
      ++Failures;
      continue;
    }
    if (Ours != fixtures::RefPackReferenceCompress(In.Data)) {
      std::cerr << Name << ": our stream differs from the reference compressor\n";
      ++Failures;
    }
    try {
      if (fixtures::RefPackDecode(Ours) != In.Data) {
        std::cerr << Name << ": our stream does not decode to the input\n";
        ++Failures;
      }
    } catch (const fixtures::RefPackError& Error) {
      std::cerr << Name << ": our stream is malformed: " << Error.what() << "\n";
      ++Failures;
    }
    Bytes Bounded = fixtures::RefPackReferenceCompress(In.Data, fixtures::RefPackEnd::Bounded);
    if (!WriteFile(Folder + Name + ".bin", In.Data) || !WriteFile(Folder + Name + ".ours", Ours) ||
        !WriteFile(Folder + Name + ".bounded", Bounded)) {
      std::cerr << Name << ": cannot write the corpus files\n";
      return 1;
    }
    Manifest << Name << "\n";
  }
  Manifest.close();
  if (!Manifest) {
    std::cerr << "cannot write the manifest\n";
    return 1;
  }
  std::cout << "refpack_corpus: " << Corpus.size() << " inputs written, seed " << Seed << ", " << Failures
            << " self-check failures\n";
  return Failures == 0 ? 0 : 1;
}
