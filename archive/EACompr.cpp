#include "archive/EACompr.h"

#include "base/Streams.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr int32_t kWindow = 0x20000; // chain table entries; distances stay below this
constexpr int32_t kWindowMask = kWindow - 1;
constexpr int32_t kMaxLength = 1028;
constexpr int32_t kMaxCandidates = 50;
constexpr int32_t kMaxLiteralRun = 112;
// Zero bytes after the data in the working copy: the 1,028 bytes of zero slack the match rule compares into,
// plus room for the 8-byte loads of the comparison (which may read up to 7 bytes past the 1,028th compared
// byte).
constexpr size_t kPadding = eacompr::kInputSlack + 16;

inline uint64_t Load64(const uint8_t* P) {
  uint64_t Value;
  std::memcpy(&Value, P, sizeof Value);
  return Value;
}

inline uint32_t Load32(const uint8_t* P) {
  uint32_t Value;
  std::memcpy(&Value, P, sizeof Value);
  return Value;
}

// Number of equal bytes at A and B, starting at byte 2 (the two key bytes match by construction), at
// most kMaxLength (k = 2; while in[p+k] = in[q+k] and k < 1028, increase k).
inline int32_t MatchLength(const uint8_t* A, const uint8_t* B) {
  int32_t K = 2;
  while (K < kMaxLength) {
    uint64_t Diff = Load64(A + K) ^ Load64(B + K);
    if (Diff != 0) {
      if constexpr (std::endian::native == std::endian::little)
        K += std::countr_zero(Diff) >> 3;
      else
        K += std::countl_zero(Diff) >> 3;
      return std::min(K, kMaxLength);
    }
    K += 8;
  }
  return kMaxLength;
}

// Writes the literal runs for the pending bytes In[S] .. In[Until - 1] while at least 4 are pending.
inline uint8_t* FlushLiterals(uint8_t* Out, const uint8_t* In, int32_t& S, int32_t Until) {
  while (Until - S >= 4) {
    int32_t Count = std::min(4 * ((Until - S) / 4), kMaxLiteralRun);
    *Out++ = static_cast<uint8_t>(0xE0 + (Count / 4 - 1));
    std::memcpy(Out, In + S, static_cast<size_t>(Count));
    Out += Count;
    S += Count;
  }
  return Out;
}

// The chain: one 64-bit entry per position p (index p mod 131072) that holds the gaps back to the three
// previous positions at which p's byte pair began, 17 bits each (bits 0-16: p - prev1, bits 17-33:
// prev1 - prev2, bits 34-50: prev2 - prev3). A gap of 0 marks the end of the chain (no earlier position,
// or one at least 131072 bytes further back, which lies outside the window of every later position).
// A plain chain table would hold prev1 alone; the entry of p is p - prev1 and prev1's own entry shifted
// up by 17 bits, so the walk fetches three candidates per dependent load instead of one. An entry is
// only followed for a position inside the window, which is always the position's own entry (written at
// its registration, not yet overwritten by the position 131072 later).
using Link = uint64_t;
constexpr uint64_t kGapMask = 0x1FFFF;
constexpr uint64_t kLinkMask = (uint64_t{1} << 51) - 1;

// The parse and the command output on In (L data bytes followed by kPadding zero bytes) into Out (room for
// MaxCompressedSize(L)); returns the end of the stream, or nullptr if the coverage check fails.
uint8_t* Encode(const uint8_t* In, int32_t L, uint8_t* Out, int32_t* Pairs, Link* Chain) {
  std::fill_n(Pairs, 65536, -1);
  std::fill_n(Chain, kWindow, Link{0}); // read (and ignored) for a position outside the window

  *Out++ = 0x10;
  *Out++ = 0xFB;
  *Out++ = static_cast<uint8_t>((L >> 16) & 0xFF);
  *Out++ = static_cast<uint8_t>((L >> 8) & 0xFF);
  *Out++ = static_cast<uint8_t>(L & 0xFF);

  int32_t S = 0;
  for (int32_t P = 0; P < L; ++P) {
    const uint8_t* Here = In + P;
    // Candidates lie at positions >= Lowest (distance below 131072); -1 (none) is always below it.
    const int32_t Lowest = std::max(0, P - (kWindow - 1));
    // Register P: every position, also those an earlier back-reference covers.
    const uint32_t Key = (uint32_t{Here[0]} << 8) | Here[1];
    const int32_t Q = Pairs[Key];
    Pairs[Key] = P;
    const Link Before = Chain[Q & kWindowMask];
    const Link Entry = Q >= Lowest
                           ? static_cast<Link>(static_cast<uint32_t>(P - Q)) | ((Before << 17) & kLinkMask)
                           : Link{0};
    Chain[P & kWindowMask] = Entry;
    if (P < S)
      continue;

    // Search the chain, most recent first, at most 50 candidates inside the window; only a strictly
    // longer match replaces the best, so the nearest of equally long matches wins. A candidate can only
    // be longer than B if its byte at B matches (and, for B >= 5, the four bytes ending there), which is
    // tested first. Examine returns false when the search is over (B reached the maximum length).
    int32_t B = 0;
    int32_t D = 0;
    auto Examine = [&](int32_t Candidate) {
      const uint8_t* There = In + Candidate;
      if (B >= 5) {
        if (Load32(There + B - 3) != Load32(Here + B - 3))
          return true;
      } else if (B >= 2) {
        if (There[B] != Here[B])
          return true;
      }
      int32_t K = MatchLength(Here, There);
      if (K > B) {
        B = K;
        D = P - Candidate;
        return B < kMaxLength; // no later candidate can be strictly longer
      }
      return true;
    };
    int32_t Left = kMaxCandidates;
    int32_t Candidate = P;
    Link Gaps = Entry;
    for (;;) {
      // Three candidates from the gaps of the current entry; a gap of 0 ends the chain.
      int32_t Gap = static_cast<int32_t>(Gaps & kGapMask);
      if (Gap == 0 || (Candidate -= Gap) < Lowest || !Examine(Candidate) || --Left == 0)
        break;
      Gap = static_cast<int32_t>((Gaps >> 17) & kGapMask);
      if (Gap == 0 || (Candidate -= Gap) < Lowest || !Examine(Candidate) || --Left == 0)
        break;
      Gap = static_cast<int32_t>(Gaps >> 34);
      if (Gap == 0 || (Candidate -= Gap) < Lowest || !Examine(Candidate) || --Left == 0)
        break;
      Gaps = Chain[Candidate & kWindowMask]; // the third candidate's own entry: the next three
    }

    if (B > L - P)
      B = L - P; // a match never reaches beyond the data
    if (B < 3 || (B == 3 && D > 1024) || (B == 4 && D > 16384))
      continue; // In[P] stays pending as a literal

    Out = FlushLiterals(Out, In, S, P);
    int32_t N = P - S; // 0 to 3
    int32_t Dm = D - 1;
    if (B <= 10 && D <= 1024) {
      *Out++ = static_cast<uint8_t>(((Dm >> 8) << 5) | ((B - 3) << 2) | N);
      *Out++ = static_cast<uint8_t>(Dm & 0xFF);
    } else if (B <= 67 && D <= 16384) {
      *Out++ = static_cast<uint8_t>(0x80 | (B - 4));
      *Out++ = static_cast<uint8_t>((N << 6) | (Dm >> 8));
      *Out++ = static_cast<uint8_t>(Dm & 0xFF);
    } else {
      *Out++ = static_cast<uint8_t>(0xC0 | ((Dm >> 16) << 4) | (((B - 5) >> 8) << 2) | N);
      *Out++ = static_cast<uint8_t>((Dm >> 8) & 0xFF);
      *Out++ = static_cast<uint8_t>(Dm & 0xFF);
      *Out++ = static_cast<uint8_t>((B - 5) & 0xFF);
    }
    for (int32_t I = S; I < P; ++I)
      *Out++ = In[I];
    S = P + B;
  }

  Out = FlushLiterals(Out, In, S, L);
  int32_t N = L - S;
  if (N < 0 || N > 3)
    return nullptr;
  *Out++ = static_cast<uint8_t>(0xFC + N);
  for (int32_t I = S; I < L; ++I)
    *Out++ = In[I];
  S += N;
  return S == L ? Out : nullptr;
}

} // namespace

namespace eacompr {

size_t MaxCompressedSize(int32_t Size) {
  // Header 5 + stop 1 + every data byte once + one literal-run byte per 112 literal bytes, plus one
  // per back-reference for the shorter run before it, which the back-reference saves (it covers at
  // least one byte more than its own command bytes): 7 + Size + Size / 112.
  size_t L = Size > 0 ? static_cast<size_t>(Size) : 0;
  return 7 + L + L / kMaxLiteralRun;
}

size_t CompressInto(const uint8_t* Data, int32_t Size, uint8_t* Out) {
  if (Size >= 2 && IsCompressed(Data))
    return 0;
  if (Size < 0 || Size >= kMaxInputSize || (Data == nullptr && Size > 0))
    return 0;
  const int32_t L = Size;
  try {
    // A private copy of the data followed by the zero slack, so that the comparisons need no end test
    // and nothing past the caller's Size bytes is read.
    std::unique_ptr<uint8_t[]> In(new uint8_t[static_cast<size_t>(L) + kPadding]);
    if (L > 0)
      std::memcpy(In.get(), Data, static_cast<size_t>(L));
    std::memset(In.get() + L, 0, kPadding);
    std::unique_ptr<int32_t[]> Pairs(new int32_t[65536]);
    std::unique_ptr<Link[]> Chain(new Link[kWindow]);
    uint8_t* End = Encode(In.get(), L, Out, Pairs.get(), Chain.get());
    return End == nullptr ? 0 : static_cast<size_t>(End - Out);
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

} // namespace eacompr

bool IsCompressed(const uint8_t* Data) {
  return Data != nullptr && Data[0] == 0x10 && Data[1] == 0xFB;
}

std::vector<uint8_t> CompressBuffer(const uint8_t* Data, int32_t& Size) {
  // With fewer than two data bytes the second byte lies in the (zero) slack, so the test is false.
  if (Size >= 2 && IsCompressed(Data)) {
    Size = 0;
    return {};
  }
  if (Size < 0 || Size >= eacompr::kMaxInputSize || (Data == nullptr && Size > 0))
    return {};
  std::vector<uint8_t> Output;
  try {
    Output.resize(eacompr::MaxCompressedSize(Size));
  } catch (const std::bad_alloc&) {
    return {};
  }
  size_t Length = eacompr::CompressInto(Data, Size, Output.data());
  if (Length == 0)
    return {};
  Output.resize(Length);
  Size = static_cast<int32_t>(Length);
  return Output;
}

bool CompressFile(const std::string& SourceFileName, const std::string& TargetFileName) {
  std::vector<uint8_t> Source;
  {
    TFileStream Input(SourceFileName, TFileAccess::Read);
    int64_t Length = Input.Size();
    if (Length >= eacompr::kMaxInputSize)
      return false; // CompressBuffer would refuse it: no need to read it
    Source.resize(static_cast<size_t>(Length));
    Input.ReadBuffer(Source.data(), Source.size());
  }
  int32_t Size = static_cast<int32_t>(Source.size());
  std::vector<uint8_t> Stream = CompressBuffer(Source.data(), Size);
  if (Stream.empty())
    return false;
  TFileStream Target(TargetFileName, TFileAccess::Create);
  Target.WriteBuffer(Stream.data(), Stream.size());
  return true;
}
