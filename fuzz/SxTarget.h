#pragma once
// The properties every sound reader of the converter keeps, whatever its input: it returns sound that
// every writer takes (one or two channels, a rate, whole frames) or raises the converter's error.

#include "converter/Audio.h"
#include "fuzz/Fuzz.h"

namespace fuzz {

template <class TReader> int ReadSound(const uint8_t* Data, size_t Size, TReader Read) {
  sx::TAudio Audio;
  try {
    Audio = Read(Bytes(Data, Data + Size));
  } catch (const sx::EConvertError&) {
    return 0;
  }
  FUZZ_CHECK(Audio.Channels == 1 || Audio.Channels == 2);
  FUZZ_CHECK(Audio.SampleRate != 0);
  FUZZ_CHECK(Audio.Samples.size() % Audio.Channels == 0);
  return 0;
}

} // namespace fuzz
