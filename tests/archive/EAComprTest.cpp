// RefPack compression: the documented streams byte for byte, round trips through the test decoder, the
// optimised compressor against the slow reference compressor, bounds, and CompressFile.

#include "archive/EACompr.h"

#include "base/Exceptions.h"
#include "tests/fixtures/RefPack.h"
#include "tests/fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <string>

using fixtures::Bytes;
using fixtures::Concat;
using fixtures::FromHex;
using fixtures::RefPackCommand;
using fixtures::RefPackDecode;
using fixtures::RefPackForm;
using fixtures::ToHex;

namespace {

Bytes Repeat(uint8_t Value, size_t Count) {
  return Bytes(Count, Value);
}

Bytes Times(const Bytes& Part, size_t Count) {
  Bytes Result;
  for (size_t I = 0; I < Count; ++I)
    Result.insert(Result.end(), Part.begin(), Part.end());
  return Result;
}

// CompressBuffer on a copy of Data followed by the 1,028 bytes of zero slack; Size must come back as the
// length.
Bytes Compress(const Bytes& Data) {
  Bytes Buffer(Data);
  Buffer.resize(Data.size() + eacompr::kInputSlack, 0);
  int32_t Size = static_cast<int32_t>(Data.size());
  Bytes Stream = CompressBuffer(Buffer.data(), Size);
  EXPECT_EQ(static_cast<size_t>(Size), Stream.size());
  return Stream;
}

Bytes Random(size_t Count, uint32_t Seed) {
  std::mt19937 Engine(Seed);
  Bytes Result(Count);
  for (uint8_t& Byte : Result)
    Byte = static_cast<uint8_t>(Engine());
  return Result;
}

// Random bytes from a small alphabet: many short matches.
Bytes Skewed(size_t Count, uint32_t Seed, unsigned Alphabet) {
  std::mt19937 Engine(Seed);
  Bytes Result(Count);
  for (uint8_t& Byte : Result)
    Byte = static_cast<uint8_t>('a' + Engine() % Alphabet);
  return Result;
}

// Text-like data: words of a small vocabulary with spaces, punctuation and line breaks.
Bytes TextLike(size_t Count, uint32_t Seed) {
  static const char* const Words[] = {"the",    "stream", "sample", "archive", "music", "of",     "and",
                                      "ORVIK",  "to",     "a",      "singer",  "album", "offset", "in",
                                      "player", "game",   "sound",  "file",    "is",    "preload"};
  std::mt19937 Engine(Seed);
  Bytes Result;
  while (Result.size() < Count) {
    const char* Word = Words[Engine() % 20 % (1 + Engine() % 20)];
    Result.insert(Result.end(), Word, Word + std::strlen(Word));
    unsigned Pick = Engine() % 16;
    Result.push_back(Pick == 0 ? '\n' : Pick == 1 ? ',' : ' ');
  }
  Result.resize(Count);
  return Result;
}

// Every back-reference in the form the command rule picks, within the ranges; no long one at distance
// 131072; a literal run shorter than 112 only directly before a back-reference or the stop command; the
// stop command last and only once.
void ExpectPartForms(const std::vector<RefPackCommand>& Commands) {
  ASSERT_FALSE(Commands.empty());
  for (size_t I = 0; I < Commands.size(); ++I) {
    const RefPackCommand& C = Commands[I];
    SCOPED_TRACE("command " + std::to_string(I) + " at stream offset " + std::to_string(C.StreamOffset));
    switch (C.Form) {
    case RefPackForm::Short:
      EXPECT_TRUE(C.Length <= 10 && C.Distance <= 1024);
      break;
    case RefPackForm::Medium:
      EXPECT_FALSE(C.Length <= 10 && C.Distance <= 1024);
      EXPECT_TRUE(C.Length <= 67 && C.Distance <= 16384);
      break;
    case RefPackForm::Long:
      EXPECT_FALSE(C.Length <= 67 && C.Distance <= 16384);
      EXPECT_LT(C.Distance, 131072u);
      EXPECT_GE(C.Length, 5u);
      break;
    case RefPackForm::Literals:
      ASSERT_LT(I + 1, Commands.size());
      if (C.Literals < 112) {
        EXPECT_NE(Commands[I + 1].Form, RefPackForm::Literals);
      }
      break;
    case RefPackForm::Stop:
      EXPECT_EQ(I + 1, Commands.size());
      break;
    }
    if (C.Form == RefPackForm::Medium || C.Form == RefPackForm::Long) {
      EXPECT_FALSE(C.Length == 4 && C.Distance > 16384);
    }
  }
  EXPECT_EQ(Commands.back().Form, RefPackForm::Stop);
}

// The full check of one input: the stream decodes to the input, has the rule's command forms, stays within
// the worst-case bound and is byte for byte the stream of the reference compressor.
void ExpectRoundTrip(const Bytes& Data, const std::string& Label) {
  SCOPED_TRACE(Label + " (" + std::to_string(Data.size()) + " bytes)");
  Bytes Stream = Compress(Data);
  ASSERT_FALSE(Stream.empty());
  EXPECT_LE(Stream.size(), eacompr::MaxCompressedSize(static_cast<int32_t>(Data.size())));
  std::vector<RefPackCommand> Commands;
  Bytes Decoded;
  ASSERT_NO_THROW(Decoded = RefPackDecode(Stream, &Commands));
  ASSERT_EQ(Decoded.size(), Data.size());
  EXPECT_TRUE(Decoded == Data);
  ExpectPartForms(Commands);
  Bytes Reference = fixtures::RefPackReferenceCompress(Data);
  if (Stream != Reference) {
    size_t At = 0;
    while (At < Stream.size() && At < Reference.size() && Stream[At] == Reference[At])
      ++At;
    ADD_FAILURE() << "stream differs from the reference at byte " << At << " (ours " << Stream.size()
                  << " bytes, the reference's " << Reference.size() << ")";
  }
}

// ---------------------------------------------------------------------------------------------------
// The documented streams, byte for byte.

struct KnownStream {
  const char* Name;
  std::function<Bytes()> Input;
  const char* Expected; // hex of the complete stream
};

const Bytes kDigits = FromHex("30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46 47 48 49 4A");

const KnownStream kKnownStreams[] = {
    {"empty", [] { return Bytes(); }, "10 FB 00 00 00 | FC"},
    {"64 x 41", [] { return Repeat(0x41, 64); }, "10 FB 00 00 40 | BB 40 00 41 | FC"},
    {"2000 x 78", [] { return Repeat(0x78, 2000); }, "10 FB 00 07 D0 | CD 00 00 FF 78 | CC 00 00 C6 | FC"},
    {"abcdefgh x 3", [] { return Times(fixtures::TextBytes("abcdefgh"), 3); },
     "10 FB 00 00 18 | E1 61 62 63 64 65 66 67 68 | 8C 00 07 | FC"},
    {"hello world into the slack",
     [] {
       return Concat({fixtures::TextBytes("hello world"), Repeat(0, 4), fixtures::TextBytes(", and "),
                      fixtures::TextBytes("hello world")});
     },
     "10 FB 00 00 20 | E2 68 65 6C 6C 6F 20 77 6F 72 6C 64 00 00 00 | E0 2C 20 61 6E | 87 80 14 64 20 | FC"},
    // The three final bytes lie 1,103 bytes after their copy: too far for length 3.
    {"abc, 1100 zeros, abc",
     [] {
       return Concat({fixtures::TextBytes("abc"), Repeat(0, 1100), fixtures::TextBytes("abc")});
     },
     "10 FB 00 04 52 | E0 61 62 63 00 | CC 00 00 FF | C0 00 00 42 | FF 61 62 63"},
    // Length 4 at distance 2,004: the medium form.
    {"abcd, 2000 zeros, abcd",
     [] {
       return Concat({fixtures::TextBytes("abcd"), Repeat(0, 2000), fixtures::TextBytes("abcd")});
     },
     "10 FB 00 07 D8 | E0 61 62 63 64 | CD 00 00 FF 00 | CC 00 00 C6 | 80 07 D3 | FC"},
    // Length 20 at distance 17,020: the long form.
    {"20 bytes, 17000 zeros, the 20 bytes",
     [] {
       return Concat({kDigits, Repeat(0, 17000), kDigits});
     },
     "10 FB 00 42 90 | E4 30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46 47 48 49 4A | CD 00 00 FF 00 |"
     "CC 00 00 FF CC 00 00 FF CC 00 00 FF CC 00 00 FF CC 00 00 FF CC 00 00 FF CC 00 00 FF CC 00 00 FF |"
     "CC 00 00 FF CC 00 00 FF CC 00 00 FF CC 00 00 FF CC 00 00 FF CC 00 00 FF CC 00 00 FF |"
     "C8 00 00 22 | C0 42 7B 0F | FC"},
    // Literals only: runs of 112, then the rest in multiples of 4, the last 0 to 3 in the stop command.
    {"one byte", [] { return FromHex("10"); }, "10 FB 00 00 01 | FD 10"},
    {"two bytes", [] { return FromHex("FB 10"); }, "10 FB 00 00 02 | FE FB 10"},
    {"three bytes", [] { return FromHex("01 02 03"); }, "10 FB 00 00 03 | FF 01 02 03"},
    {"four bytes", [] { return FromHex("01 02 03 04"); }, "10 FB 00 00 04 | E0 01 02 03 04 | FC"},
    {"five bytes", [] { return FromHex("01 02 03 04 05"); }, "10 FB 00 00 05 | E0 01 02 03 04 | FD 05"},
    // The shortest and the farthest short form: length 3 at distance 1,024.
    {"length 3 at distance 1024",
     [] {
       return Concat({FromHex("AA BB CC"), Bytes(1021, 0x00), FromHex("AA BB CC")});
     },
     "10 FB 00 04 03 | E0 AA BB CC 00 | CC 00 00 F7 | 60 FF | FC"},
};

TEST(EACompr, KnownStreamsByteForByte) {
  for (const KnownStream& Case : kKnownStreams) {
    SCOPED_TRACE(Case.Name);
    Bytes Data = Case.Input();
    Bytes Stream = Compress(Data);
    EXPECT_EQ(ToHex(Stream), ToHex(FromHex(Case.Expected)));
    Bytes Decoded;
    ASSERT_NO_THROW(Decoded = RefPackDecode(Stream));
    EXPECT_TRUE(Decoded == Data);
    EXPECT_EQ(ToHex(fixtures::RefPackReferenceCompress(Data)), ToHex(FromHex(Case.Expected)));
  }
}

TEST(EACompr, SizeFieldIsTheLengthBigEndian) {
  Bytes Stream = Compress(Repeat(0x78, 2000));
  ASSERT_GE(Stream.size(), 5u);
  EXPECT_EQ(ToHex(Bytes(Stream.begin(), Stream.begin() + 5)), "10FB0007D0");
  Stream = Compress(fixtures::Pattern(0x0A0B0C, 1));
  ASSERT_GE(Stream.size(), 5u);
  EXPECT_EQ(ToHex(Bytes(Stream.begin() + 2, Stream.begin() + 5)), "0A0B0C");
}

// Bytes 0, 1, ..., 255: no pair repeats, so nothing but literals: 6 + L + ceil(floor(L / 4) / 28) bytes.
TEST(EACompr, LiteralOnlyStreamsHaveTheLengthOfThePart) {
  for (size_t L = 0; L <= 256; ++L) {
    SCOPED_TRACE(L);
    Bytes Data(L);
    for (size_t I = 0; I < L; ++I)
      Data[I] = static_cast<uint8_t>(I);
    Bytes Expected = {0x10, 0xFB, 0x00, static_cast<uint8_t>(L >> 8), static_cast<uint8_t>(L & 0xFF)};
    size_t S = 0;
    while (L - S >= 4) {
      size_t Count = std::min<size_t>(4 * ((L - S) / 4), 112);
      Expected.push_back(static_cast<uint8_t>(0xE0 + Count / 4 - 1));
      Expected.insert(Expected.end(), Data.begin() + static_cast<std::ptrdiff_t>(S),
                      Data.begin() + static_cast<std::ptrdiff_t>(S + Count));
      S += Count;
    }
    Expected.push_back(static_cast<uint8_t>(0xFC + (L - S)));
    Expected.insert(Expected.end(), Data.begin() + static_cast<std::ptrdiff_t>(S), Data.end());
    ASSERT_EQ(Expected.size(), 6 + L + (L / 4 + 27) / 28);
    EXPECT_EQ(ToHex(Compress(Data)), ToHex(Expected));
  }
}

// ---------------------------------------------------------------------------------------------------
// Refusals.

TEST(EACompr, AlreadyCompressedDataIsRefusedWithSizeZero) {
  Bytes Data = Concat({FromHex("10 FB"), fixtures::Pattern(100, 3), Bytes(eacompr::kInputSlack, 0)});
  int32_t Size = 102;
  EXPECT_TRUE(CompressBuffer(Data.data(), Size).empty());
  EXPECT_EQ(Size, 0);
  // A compressed stream of ours, compressed again.
  Bytes Stream = Compress(Repeat(0x41, 64));
  Stream.resize(Stream.size() + eacompr::kInputSlack, 0);
  Size = 10;
  EXPECT_TRUE(CompressBuffer(Stream.data(), Size).empty());
  EXPECT_EQ(Size, 0);
  // Exactly the two flag bytes.
  Bytes Flags = FromHex("10 FB");
  Size = 2;
  EXPECT_TRUE(CompressBuffer(Flags.data(), Size).empty());
  EXPECT_EQ(Size, 0);
}

TEST(EACompr, IsCompressedLooksAtTheFirstTwoBytes) {
  EXPECT_FALSE(IsCompressed(nullptr));
  EXPECT_TRUE(IsCompressed(FromHex("10 FB").data()));
  EXPECT_TRUE(IsCompressed(FromHex("10 FB 00 00 00 FC").data()));
  EXPECT_FALSE(IsCompressed(FromHex("11 FB").data()));
  EXPECT_FALSE(IsCompressed(FromHex("FB 10").data()));
  EXPECT_FALSE(IsCompressed(FromHex("10 FA").data()));
  EXPECT_FALSE(IsCompressed(FromHex("00 00").data()));
}

TEST(EACompr, FlagBytesLaterOrAloneAreCompressed) {
  ExpectRoundTrip(FromHex("00 10 FB"), "flags at offset 1");
  ExpectRoundTrip(FromHex("10"), "first flag byte alone");
  ExpectRoundTrip(FromHex("FB 10 FB"), "flags reversed");
}

TEST(EACompr, InvalidArgumentsGiveNilWithSizeUnchanged) {
  Bytes Data(16, 0x33);
  int32_t Size = -1;
  EXPECT_TRUE(CompressBuffer(Data.data(), Size).empty());
  EXPECT_EQ(Size, -1);
  Size = 5;
  EXPECT_TRUE(CompressBuffer(nullptr, Size).empty());
  EXPECT_EQ(Size, 5);
  // Nil with no bytes is the empty input.
  Size = 0;
  EXPECT_EQ(ToHex(CompressBuffer(nullptr, Size)), "10FB000000FC");
  EXPECT_EQ(Size, 6);
}

TEST(EACompr, InputsOf16MiBOrMoreAreRefused) {
  Bytes Data(eacompr::kMaxInputSize + 1, 0x20);
  int32_t Size = eacompr::kMaxInputSize;
  EXPECT_TRUE(CompressBuffer(Data.data(), Size).empty());
  EXPECT_EQ(Size, eacompr::kMaxInputSize);
  Size = eacompr::kMaxInputSize + 1;
  EXPECT_TRUE(CompressBuffer(Data.data(), Size).empty());
  EXPECT_EQ(Size, eacompr::kMaxInputSize + 1);
  // One byte less fits the 24-bit size field: FF FF FF.
  Size = eacompr::kMaxInputSize - 1;
  Bytes Stream = CompressBuffer(Data.data(), Size);
  ASSERT_FALSE(Stream.empty());
  EXPECT_EQ(static_cast<size_t>(Size), Stream.size());
  EXPECT_EQ(ToHex(Bytes(Stream.begin(), Stream.begin() + 5)), "10FBFFFFFF");
  Data.resize(eacompr::kMaxInputSize - 1);
  EXPECT_TRUE(RefPackDecode(Stream) == Data);
}

// ---------------------------------------------------------------------------------------------------
// Round trips, each also compared byte for byte with the reference compressor.

TEST(EACompr, RoundTripsOfManySizes) {
  std::vector<size_t> Sizes = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 63, 64, 65};
  for (size_t L = 104; L <= 124; ++L) // around the 112-byte literal limit
    Sizes.push_back(L);
  for (size_t L : {223u, 224u, 225u, 226u, 227u, 228u, 335u, 336u, 337u})
    Sizes.push_back(L);
  for (size_t L = 1020; L <= 1036; ++L) // around the longest match
    Sizes.push_back(L);
  for (size_t L : {2055u, 2056u, 2057u, 4096u, 16383u, 16384u, 16385u, 65537u})
    Sizes.push_back(L);
  uint32_t Seed = 1;
  for (size_t L : Sizes) {
    ExpectRoundTrip(Random(L, Seed++), "random");
    ExpectRoundTrip(Skewed(L, Seed++, 2), "two letters");
    ExpectRoundTrip(Skewed(L, Seed++, 5), "five letters");
    ExpectRoundTrip(TextLike(L, Seed++), "text");
    ExpectRoundTrip(Repeat(0x00, L), "zeros");
    ExpectRoundTrip(Repeat(0x5A, L), "run");
    if (testing::Test::HasFatalFailure())
      return;
  }
}

TEST(EACompr, RoundTripsOfRunsAndPeriods) {
  for (size_t Period : {1u,  2u,   3u,    4u,    5u,    7u,    8u,    10u,   11u,    64u,    67u,
                        68u, 100u, 1023u, 1024u, 1025u, 1028u, 1029u, 5000u, 16383u, 16384u, 16385u}) {
    Bytes Unit = Random(Period, static_cast<uint32_t>(Period));
    ExpectRoundTrip(Times(Unit, 40000 / Period + 3), "period " + std::to_string(Period));
  }
  // Runs of every length up to 1,100 separated by single other bytes.
  Bytes Runs;
  for (size_t Length = 1; Length <= 1100; Length += 37) {
    Runs.insert(Runs.end(), Length, static_cast<uint8_t>(Length));
    Runs.push_back(0xEE);
  }
  ExpectRoundTrip(Runs, "runs");
  // Runs of zeros and of other values, with matches that run on into the slack at the end.
  ExpectRoundTrip(Concat({Random(50, 9), Repeat(0, 3000), Random(7, 9)}), "random, zeros, the start again");
  ExpectRoundTrip(Concat({Repeat(0, 500), FromHex("01 02 03 04 05"), Repeat(0, 500), FromHex("01 02 03")}),
                  "tail into the slack");
}

// A block repeated at distances around the window's end (131,071 allowed, 131,072 not) and around the
// short and medium limits; the data between is random.
TEST(EACompr, LongRepeatsAtTheWindowEdges) {
  struct Edge {
    size_t Distance;
    size_t Length;
    bool Reachable;
  };
  const Edge Edges[] = {{131070, 200, true},  {131071, 200, true},  {131072, 200, false},
                        {131073, 200, false}, {131071, 1028, true}, {131071, 1500, true},
                        {16384, 4, true},     {16385, 4, false},    {16385, 5, true},
                        {1024, 3, true},      {1025, 3, false},     {1025, 4, true}};
  uint32_t Seed = 100;
  for (const Edge& E : Edges) {
    SCOPED_TRACE("distance " + std::to_string(E.Distance) + ", length " + std::to_string(E.Length));
    // Filler without the block's pairs: random letters; the block and what follows: bytes >= 0x80.
    Bytes Block = Random(E.Length, Seed++);
    for (uint8_t& Byte : Block)
      Byte |= 0x80;
    Bytes Filler = Skewed(E.Distance - E.Length, Seed++, 26);
    Bytes Tail = FromHex("7F 7E 7D 7C 7B");
    Bytes Data = Concat({Block, Filler, Block, Tail});
    ExpectRoundTrip(Data, "window edge");
    std::vector<RefPackCommand> Commands;
    RefPackDecode(Compress(Data), &Commands);
    size_t Second = E.Distance; // where the second copy starts
    bool Found = false;
    uint32_t Farthest = 0;
    for (const RefPackCommand& C : Commands) {
      if (C.Length == 0)
        continue;
      Farthest = std::max(Farthest, C.Distance);
      if (C.Distance == E.Distance && C.OutputOffset + C.Literals == Second)
        Found = true;
    }
    EXPECT_EQ(Found, E.Reachable);
    EXPECT_LT(Farthest, 131072u);
  }
}

TEST(EACompr, RoundTripsOfLargerMixedData) {
  Bytes Mixed;
  uint32_t Seed = 7;
  while (Mixed.size() < 600000) {
    switch (Seed % 5) {
    case 0:
      Mixed = Concat({Mixed, TextLike(3000 + Seed % 977, Seed)});
      break;
    case 1:
      Mixed = Concat({Mixed, Random(500 + Seed % 333, Seed)});
      break;
    case 2:
      Mixed = Concat({Mixed, Repeat(static_cast<uint8_t>(Seed), 100 + Seed % 2000)});
      break;
    case 3: { // an earlier stretch again, from up to 200,000 bytes back
      size_t Back = std::min<size_t>(Mixed.size(), 1 + Seed * 7919 % 200000);
      size_t Length = std::min<size_t>(Back, 5 + Seed % 3000);
      Bytes Copy(Mixed.end() - static_cast<std::ptrdiff_t>(Back),
                 Mixed.end() - static_cast<std::ptrdiff_t>(Back) + static_cast<std::ptrdiff_t>(Length));
      Mixed = Concat({Mixed, Copy});
      break;
    }
    default:
      Mixed = Concat({Mixed, Skewed(1000, Seed, 3)});
    }
    Seed = Seed * 1103515245u + 12345u;
  }
  ExpectRoundTrip(Mixed, "mixed");
}

// ---------------------------------------------------------------------------------------------------
// Bounds, slack, determinism.

TEST(EACompr, NothingIsWrittenAfterTheStreamNorReadAfterTheData) {
  const uint8_t Canary = 0xA5;
  std::vector<Bytes> Inputs = {Bytes(),           Random(1, 1),
                               Random(3, 2),      Random(112, 3),
                               Random(113, 4),    Random(4099, 5),
                               TextLike(5000, 6), Repeat(0, 3000),
                               Skewed(777, 7, 2), Concat({kDigits, Repeat(0, 17000), kDigits})};
  for (const Bytes& Data : Inputs) {
    SCOPED_TRACE(Data.size());
    Bytes Expected = Compress(Data); // with the zero slack
    // Non-zero bytes after the data: the compressor must behave as if they were the zero slack.
    Bytes Input = Concat({Data, Bytes(eacompr::kInputSlack + 64, Canary)});
    const size_t Room = eacompr::MaxCompressedSize(static_cast<int32_t>(Data.size()));
    Bytes Out(Room + 256, Canary);
    size_t Length = eacompr::CompressInto(Input.data(), static_cast<int32_t>(Data.size()), Out.data());
    ASSERT_EQ(Length, Expected.size());
    EXPECT_LE(Length, Room);
    EXPECT_TRUE(std::equal(Expected.begin(), Expected.end(), Out.begin()));
    EXPECT_TRUE(std::all_of(Out.begin() + static_cast<std::ptrdiff_t>(Length), Out.end(), [&](uint8_t B) {
      return B == Canary;
    })) << "bytes written after the stream";
    EXPECT_TRUE(std::all_of(Input.begin() + static_cast<std::ptrdiff_t>(Data.size()), Input.end(),
                            [&](uint8_t B) { return B == Canary; }));
    EXPECT_TRUE(std::equal(Data.begin(), Data.end(), Input.begin())) << "input changed";
  }
}

// Incompressible data: the stream is longer than the input and still fits the worst-case buffer.
TEST(EACompr, IncompressibleInputsStillGiveAStream) {
  for (size_t L : {1u, 2u, 3u, 4u, 5u, 111u, 112u, 113u, 116u, 3136u, 3137u, 3140u, 100000u}) {
    Bytes Data = Random(L, static_cast<uint32_t>(L) + 40);
    Bytes Stream = Compress(Data);
    ASSERT_FALSE(Stream.empty());
    EXPECT_GT(Stream.size(), L);
    EXPECT_LE(Stream.size(), eacompr::MaxCompressedSize(static_cast<int32_t>(L)));
    EXPECT_TRUE(RefPackDecode(Stream) == Data);
  }
  // The bound itself: 7 + L + L / 112, never less than the literal-only length.
  for (int32_t L = 0; L < 5000; ++L)
    ASSERT_GE(eacompr::MaxCompressedSize(L), size_t(6 + L + (L / 4 + 27) / 28)) << L;
}

TEST(EACompr, RepeatedCallsGiveIdenticalStreams) {
  Bytes A = TextLike(50000, 11);
  Bytes B = Random(30000, 12);
  Bytes First = Compress(A);
  Bytes Other = Compress(B);
  Bytes Again = Compress(A);
  EXPECT_TRUE(First == Again);
  EXPECT_TRUE(Compress(B) == Other);
  EXPECT_TRUE(Compress(A) == First);
}

TEST(EACompr, TheDecoderRejectsMalformedStreams) {
  using fixtures::RefPackError;
  EXPECT_THROW(RefPackDecode(FromHex("10 FB 00 00")), RefPackError);
  EXPECT_THROW(RefPackDecode(FromHex("11 FB 00 00 00 FC")), RefPackError);
  EXPECT_THROW(RefPackDecode(FromHex("10 FB 00 00 00")), RefPackError);             // no stop
  EXPECT_THROW(RefPackDecode(FromHex("10 FB 00 00 00 FC 00")), RefPackError);       // bytes after stop
  EXPECT_THROW(RefPackDecode(FromHex("10 FB 00 00 02 FD 41")), RefPackError);       // short of the size
  EXPECT_THROW(RefPackDecode(FromHex("10 FB 00 00 01 FE 41 42")), RefPackError);    // beyond the size
  EXPECT_THROW(RefPackDecode(FromHex("10 FB 00 00 04 01 01 41 FC")), RefPackError); // before the start
  EXPECT_THROW(RefPackDecode(FromHex("10 FB 00 00 08 E1 41 42")), RefPackError);    // truncated run
  EXPECT_THROW(RefPackDecode(FromHex("10 FB 00 00 08 C0 00")), RefPackError);       // truncated command
  EXPECT_EQ(ToHex(RefPackDecode(FromHex("10 FB 00 00 04 01 00 41 FC"))), "41414141");
}

// ---------------------------------------------------------------------------------------------------
// CompressFile.

TEST(EAComprFile, CompressesTheWholeFileIntoTheTarget) {
  fixtures::TempDir Dir;
  Bytes Data = TextLike(20000, 21);
  fixtures::WriteFile(Dir.File("streams.dat"), Data);
  fixtures::WriteFile(Dir.File("out.dat"), Random(100000, 1)); // longer: replaced, not overwritten
  EXPECT_TRUE(CompressFile(Dir.File("streams.dat"), Dir.File("out.dat")));
  Bytes Stream = fixtures::ReadFile(Dir.File("out.dat"));
  EXPECT_TRUE(Stream == Compress(Data));
  EXPECT_TRUE(RefPackDecode(Stream) == Data);
  EXPECT_TRUE(fixtures::ReadFile(Dir.File("streams.dat")) == Data);
}

TEST(EAComprFile, EmptyAndTinyFiles) {
  fixtures::TempDir Dir;
  fixtures::WriteFile(Dir.File("empty"), Bytes());
  EXPECT_TRUE(CompressFile(Dir.File("empty"), Dir.File("empty.rp")));
  EXPECT_EQ(ToHex(fixtures::ReadFile(Dir.File("empty.rp"))), "10FB000000FC");
  fixtures::WriteFile(Dir.File("one"), FromHex("10"));
  EXPECT_TRUE(CompressFile(Dir.File("one"), Dir.File("one.rp")));
  EXPECT_EQ(ToHex(fixtures::ReadFile(Dir.File("one.rp"))), "10FB000001FD10");
}

TEST(EAComprFile, AlreadyCompressedSourceLeavesNoTarget) {
  fixtures::TempDir Dir;
  Bytes Stream = Compress(TextLike(5000, 22));
  fixtures::WriteFile(Dir.File("streams.dat"), Stream);
  EXPECT_FALSE(CompressFile(Dir.File("streams.dat"), Dir.File("out.dat")));
  EXPECT_FALSE(fixtures::FileExists(Dir.File("out.dat")));
  // An existing target is not touched.
  fixtures::WriteFile(Dir.File("old.dat"), FromHex("01 02 03"));
  EXPECT_FALSE(CompressFile(Dir.File("streams.dat"), Dir.File("old.dat")));
  EXPECT_EQ(ToHex(fixtures::ReadFile(Dir.File("old.dat"))), "010203");
  // Not even opened: a target that could not be created raises nothing.
  EXPECT_FALSE(CompressFile(Dir.File("streams.dat"), Dir.File("missing-folder/out.dat")));
  EXPECT_TRUE(Dir.ScratchFiles().empty());
}

TEST(EAComprFile, MissingSourceRaisesTheOpenError) {
  fixtures::TempDir Dir;
  const std::string Source = Dir.File("no-such-file.dat");
  try {
    CompressFile(Source, Dir.File("out.dat"));
    FAIL() << "no exception";
  } catch (const EFOpenError& Error) {
    std::string Prefix = "Cannot open file \"" + Source + "\". ";
    EXPECT_EQ(std::string(Error.what()).substr(0, Prefix.size()), Prefix);
    EXPECT_GT(std::string(Error.what()).size(), Prefix.size()) << "no system reason";
  }
  EXPECT_FALSE(fixtures::FileExists(Dir.File("out.dat")));
}

TEST(EAComprFile, TargetThatCannotBeCreatedRaisesTheCreateError) {
  fixtures::TempDir Dir;
  fixtures::WriteFile(Dir.File("streams.dat"), TextLike(3000, 23));
  const char Delimiter = Dir.Path().back();
  const std::string Target = Dir.File("missing-folder") + Delimiter + "out.dat";
  try {
    CompressFile(Dir.File("streams.dat"), Target);
    FAIL() << "no exception";
  } catch (const EFCreateError& Error) {
    std::string Prefix = "Cannot create file \"" + Target + "\". ";
    EXPECT_EQ(std::string(Error.what()).substr(0, Prefix.size()), Prefix);
  }
}

} // namespace
