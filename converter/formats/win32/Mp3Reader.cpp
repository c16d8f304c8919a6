// MP3 decoding through the ACM MP3 codec of msacm32. ACM decodes every frame it is given, so the
// encoder's delay and padding that a LAME "Info"/"Xing" frame records are trimmed here, as gapless
// decoders do; the tag frame itself is not audio and is not passed on.
#include "converter/formats/Mp3Reader.h"

#include "converter/LargeBuffers.h"

#include <windows.h>
// windows.h first: the multimedia headers build on its types.
#include <mmreg.h>
#include <msacm.h>

#include <algorithm>

namespace sx {
namespace {

class TAcmStream {
public:
  TAcmStream(const TMp3Frame& F) {
    MPEGLAYER3WAVEFORMAT Source{};
    Source.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    Source.wfx.nChannels = static_cast<WORD>(F.Channels);
    Source.wfx.nSamplesPerSec = F.SampleRate;
    Source.wfx.nAvgBytesPerSec = F.BitRate / 8;
    Source.wfx.nBlockAlign = 1;
    Source.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    Source.wID = MPEGLAYER3_ID_MPEG;
    Source.fdwFlags = MPEGLAYER3_FLAG_PADDING_OFF;
    Source.nBlockSize = static_cast<WORD>(F.Size);
    Source.nFramesPerBlock = 1;
    WAVEFORMATEX Target{};
    Target.wFormatTag = WAVE_FORMAT_PCM;
    Target.nChannels = static_cast<WORD>(F.Channels);
    Target.nSamplesPerSec = F.SampleRate;
    Target.wBitsPerSample = 16;
    Target.nBlockAlign = static_cast<WORD>(2 * F.Channels);
    Target.nAvgBytesPerSec = F.SampleRate * Target.nBlockAlign;
    MMRESULT R =
        ::acmStreamOpen(&FHandle, nullptr, &Source.wfx, &Target, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME);
    if (R != 0)
      throw EConvertError("No MP3 decoder installed (ACM error " + std::to_string(R) + ")");
  }
  ~TAcmStream() { ::acmStreamClose(FHandle, 0); }
  TAcmStream(const TAcmStream&) = delete;
  TAcmStream& operator=(const TAcmStream&) = delete;

  // Converts Size bytes and returns how many were used; the PCM goes to Out. The two buffers are kept
  // from one call to the next: every chunk but the last has the same size.
  size_t Convert(const uint8_t* Data, size_t Size, DWORD Flags, std::vector<int16_t>& Out) {
    DWORD OutSize = 0;
    if (::acmStreamSize(FHandle, static_cast<DWORD>(Size), &OutSize, ACM_STREAMSIZEF_SOURCE) != 0 ||
        OutSize == 0)
      OutSize = 1 << 16;
    FIn.assign(Data, Data + Size);
    FPcm.resize(std::max<size_t>(FPcm.size(), OutSize + 4608 * 4));
    ACMSTREAMHEADER H{};
    H.cbStruct = sizeof(H);
    H.pbSrc = FIn.data();
    H.cbSrcLength = static_cast<DWORD>(FIn.size());
    H.pbDst = FPcm.data();
    H.cbDstLength = static_cast<DWORD>(FPcm.size());
    if (::acmStreamPrepareHeader(FHandle, &H, 0) != 0)
      throw EConvertError("MP3 decoder failed to start");
    MMRESULT R = ::acmStreamConvert(FHandle, &H, Flags);
    ::acmStreamUnprepareHeader(FHandle, &H, 0);
    if (R != 0)
      throw EConvertError("Damaged MP3 file (ACM error " + std::to_string(R) + ")");
    const int16_t* S = reinterpret_cast<const int16_t*>(FPcm.data());
    Out.insert(Out.end(), S, S + H.cbDstLengthUsed / 2);
    return H.cbSrcLengthUsed;
  }

private:
  HACMSTREAM FHandle = nullptr;
  std::vector<uint8_t> FIn, FPcm;
};

} // namespace

TAudio ReadMp3(const Bytes& Input) {
  const TMp3Frames Frames = CollectMp3Frames(Input);
  const Bytes& Data = Frames.Data;
  TMp3Frame First;
  if (!FindMp3Frame(Data, 0, First))
    throw EConvertError("Damaged MP3 file: no audio frames");
  const TMp3Gapless Gapless = ReadMp3Gapless(Data, First);
  size_t Pos = First.Offset + (Gapless.TagFrame ? First.Size : 0);
  TMp3Frame Format = First;
  if (Gapless.TagFrame && !FindMp3Frame(Data, Pos, Format))
    throw EConvertError("Damaged MP3 file: no audio frames");
  TAudio Audio;
  ReserveLarge(Audio.Samples, Frames.Samples);
  Audio.SampleRate = Format.SampleRate;
  Audio.Channels = Format.Channels;
  TAcmStream Stream(Format);
  constexpr size_t kChunk = 1 << 14;
  DWORD Flags = ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_BLOCKALIGN;
  while (Pos < Data.size()) {
    const size_t Size = std::min(kChunk, Data.size() - Pos);
    size_t Used = Stream.Convert(Data.data() + Pos, Size, Flags, Audio.Samples);
    Flags = ACM_STREAMCONVERTF_BLOCKALIGN;
    if (Used == 0)
      break;
    Pos += Used;
  }
  if (Pos < Data.size())
    Stream.Convert(Data.data() + Pos, Data.size() - Pos, ACM_STREAMCONVERTF_END, Audio.Samples);
  const size_t Count = Audio.Frames();
  if (Count == 0)
    throw EConvertError("Damaged MP3 file: no audio frames");
  const size_t Head = std::min(Count, Gapless.Delay), Tail = std::min(Count - Head, Gapless.Padding);
  Audio.Samples.erase(Audio.Samples.begin(), Audio.Samples.begin() + Head * Audio.Channels);
  Audio.Samples.resize((Count - Head - Tail) * Audio.Channels);
  if (Frames.DamagedPlaces != 0)
    Audio.Warnings.push_back(Frames.Warning());
  return Audio;
}

} // namespace sx
