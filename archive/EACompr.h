#pragma once
// RefPack compression (unit EACompr): turns a block of bytes into a RefPack stream, the byte-oriented
// LZ77-type format opened by the flag bytes 0x10 0xFB that the game reads from its preload archives.
// The system only writes RefPack; it recognises a stream by its first two bytes so that data already
// compressed is not compressed again.
//
// Stream: 10 FB, the uncompressed length as 24-bit big-endian, then commands ending with one stop command:
//   short  0DDLLLNN dddddddd                    length 3..10,   distance 1..1024
//   medium 10LLLLLL NNDDDDDD dddddddd           length 4..67,   distance 1..16384
//   long   110DLLNN DDDDDDDD dddddddd llllllll  length 5..1028, distance 1..131071 (131072 never written)
//   literal run 111CCCCC (E0..FB), ((C + 1) * 4) literal bytes follow (4..112)
//   stop   111111NN (FC..FF), NN literal bytes follow
// A back-reference's NN literal bytes follow its own bytes and stand in the data before the copied stretch.
//
// The match finder, the greedy parse and the choice of commands are fixed, so every byte of a stream is
// determined by the input: a pair table (most recent position of each two-
// byte key) and a chain of earlier positions with the same key, at most 50 candidates per position, a
// window of 131,071 bytes, lengths up to 1,028, the nearest of equally long matches, comparisons that
// run on past the end of the data into 1,028 zero bytes of slack (the match is cut to the data after the
// choice). No state survives a call.

#include <cstdint>
#include <string>
#include <vector>

namespace eacompr {

// Bytes of zero slack after the data that the match comparison is defined to run into. This implementation
// never reads beyond Size bytes: it behaves as if the slack were there and zero-filled, so callers need
// not supply it (supplying it is harmless).
inline constexpr int32_t kInputSlack = 1028;
// Inputs of this many bytes or more are refused: the stream's size field has 24 bits.
inline constexpr int32_t kMaxInputSize = 1 << 24;

// The worst-case length of the stream for Size input bytes (never exceeded; a stream without any
// back-reference is 6 + Size + ceil(floor(Size / 4) / 28) bytes long).
size_t MaxCompressedSize(int32_t Size);

// CompressBuffer without the allocation of the result: writes the stream for the Size bytes at Data to
// Out, which has room for MaxCompressedSize(Size) bytes (nothing after the stream is written), and
// returns the stream's length. Returns 0 when it refuses: Data already compressed (Size >= 2), Size
// negative or >= kMaxInputSize, Data nil with Size > 0, or memory for the tables not available.
size_t CompressInto(const uint8_t* Data, int32_t Size, uint8_t* Out);

} // namespace eacompr

// True when Data is not nil and its first two bytes are 0x10 0xFB. The caller supplies at least two
// readable bytes.
bool IsCompressed(const uint8_t* Data);

// Compresses the Size bytes at Data into a new RefPack stream.
//  - Data already starts with 10 FB (Size >= 2): returns an empty buffer (nil) and sets Size to 0.
//  - Size negative, Size >= 16,777,216, Data nil with Size > 0, or memory not available: returns an empty
//    buffer and leaves Size unchanged.
//  - Otherwise: returns the complete stream (never empty: at least 6 bytes) and sets Size to its length.
// The output is sized for the worst case, so an input that does not shrink still gets a valid stream.
std::vector<uint8_t> CompressBuffer(const uint8_t* Data, int32_t& Size);

// Compresses the whole file SourceFileName into TargetFileName (created or replaced). Returns true when
// the target now holds the stream; false when CompressBuffer failed (already compressed, too large), in
// which case the target is neither created nor touched. Raises EFOpenError when the source cannot be
// opened, EFCreateError when the target cannot be created, EReadError/EWriteError from the file layer.
bool CompressFile(const std::string& SourceFileName, const std::string& TargetFileName);
