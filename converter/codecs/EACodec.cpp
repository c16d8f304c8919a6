#include "converter/codecs/EACodec.h"

#include "converter/codecs/EAXA.h"
#include "converter/codecs/EAXACodec.h"
#include "converter/codecs/MicroTalk.h"
#include "converter/codecs/MicroTalkCodec.h"
#include "converter/codecs/PcmCodec.h"

namespace sx {

const char* EACodecName(TEACodec Codec) {
  switch (Codec) {
  case TEACodec::EAXA:
    return "EA-XA";
  case TEACodec::MicroTalk10:
    return "MicroTalk 10:1";
  case TEACodec::MicroTalk5:
    return "MicroTalk 5:1";
  case TEACodec::PcmS16LE:
    return "s16l";
  case TEACodec::PcmS16BE:
    return "s16b";
  default:
    return "s8";
  }
}

size_t FrameSamples(TEACodec Codec) {
  switch (Codec) {
  case TEACodec::EAXA:
    return kEAXAFrameSamples;
  case TEACodec::MicroTalk10:
  case TEACodec::MicroTalk5:
    return kMTFrameSamples;
  default:
    return 1;
  }
}

std::unique_ptr<TChannelEncoder> MakeEncoder(TEACodec Codec) {
  switch (Codec) {
  case TEACodec::EAXA:
    return MakeEAXAEncoder();
  case TEACodec::MicroTalk10:
    return MakeMicroTalkEncoder(true);
  case TEACodec::MicroTalk5:
    return MakeMicroTalkEncoder(false);
  default:
    return MakePcmEncoder(Codec);
  }
}

std::unique_ptr<TChannelDecoder> MakeDecoder(TEACodec Codec, TEAVariant Variant) {
  switch (Codec) {
  case TEACodec::EAXA:
    return MakeEAXADecoder(Variant);
  case TEACodec::MicroTalk10:
  case TEACodec::MicroTalk5:
    return MakeMicroTalkDecoder(Variant);
  default:
    return MakePcmDecoder(Codec);
  }
}

} // namespace sx
