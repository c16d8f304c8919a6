// MP3 decoding through libmpg123, fed from memory.
#include "converter/formats/Mp3Reader.h"

#include "converter/LargeBuffers.h"

#include <mpg123.h>

#include <memory>

namespace sx {
namespace {

struct THandleDeleter {
  void operator()(mpg123_handle* H) const {
    mpg123_close(H);
    mpg123_delete(H);
  }
};
using THandle = std::unique_ptr<mpg123_handle, THandleDeleter>;

THandle OpenDecoder() {
#if MPG123_API_VERSION < 46
  mpg123_init();
#endif
  int Error = MPG123_OK;
  THandle H(mpg123_new(nullptr, &Error));
  if (!H)
    throw EConvertError(std::string("MP3 decoder unavailable: ") + mpg123_plain_strerror(Error));
  mpg123_param(H.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  mpg123_format_none(H.get());
  for (long Rate : {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L})
    mpg123_format(H.get(), Rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  if (mpg123_open_feed(H.get()) != MPG123_OK)
    throw EConvertError(std::string("MP3 decoder unavailable: ") + mpg123_strerror(H.get()));
  return H;
}

} // namespace

TAudio ReadMp3(const Bytes& Input) {
  const TMp3Frames Frames = CollectMp3Frames(Input);
  THandle H = OpenDecoder();
  TAudio Audio;
  ReserveLarge(Audio.Samples, Frames.Samples);
  std::vector<uint8_t> Buffer(1 << 16);
  const uint8_t* In = Frames.Data.data();
  size_t InSize = Frames.Data.size();
  while (true) {
    size_t Done = 0;
    int Result = mpg123_decode(H.get(), In, InSize, Buffer.data(), Buffer.size(), &Done);
    In = nullptr;
    InSize = 0;
    if (Result == MPG123_NEW_FORMAT) {
      long Rate = 0;
      int Channels = 0, Encoding = 0;
      mpg123_getformat(H.get(), &Rate, &Channels, &Encoding);
      if (Audio.Channels != 0 && (Audio.SampleRate != uint32_t(Rate) || Audio.Channels != unsigned(Channels)))
        throw EConvertError("MP3 stream changes its sample rate or channels");
      Audio.SampleRate = static_cast<uint32_t>(Rate);
      Audio.Channels = static_cast<unsigned>(Channels);
    }
    const int16_t* Samples = reinterpret_cast<const int16_t*>(Buffer.data());
    Audio.Samples.insert(Audio.Samples.end(), Samples, Samples + Done / 2);
    if (Result == MPG123_NEED_MORE || Result == MPG123_DONE)
      break;
    if (Result == MPG123_ERR)
      throw EConvertError(std::string("Damaged MP3 file: ") + mpg123_strerror(H.get()));
  }
  if (Audio.Channels == 0 || Audio.Samples.empty())
    throw EConvertError("Damaged MP3 file: no audio frames");
  Audio.Samples.resize(Audio.Frames() * Audio.Channels);
  if (Frames.DamagedPlaces != 0)
    Audio.Warnings.push_back(Frames.Warning());
  return Audio;
}

} // namespace sx
