#include "converter/EACodec.h"

#include "converter/EAXA.h"
#include "converter/EAXACodec.h"
#include "converter/MicroTalk.h"
#include "converter/MicroTalkCodec.h"
#include "converter/PcmCodec.h"

namespace sx {

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
