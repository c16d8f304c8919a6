#include "converter/Reports.h"

#include "converter/Converter.h"
#include "converter/Json.h"
#include "converter/analysis/Envelope.h"
#include "converter/analysis/Loudness.h"
#include "converter/formats/Tags.h"

namespace sx {
namespace {

std::string Field(const char* Name, const std::string& Json) {
  return std::string(",\"") + Name + "\":" + Json;
}

// [[[min,max],...],...], one array per channel.
std::string EnvelopeJson(const std::vector<std::vector<TEnvelopePoint>>& Channels) {
  std::string Json = "[";
  for (const std::vector<TEnvelopePoint>& Points : Channels) {
    Json += Json.size() == 1 ? "[" : ",[";
    for (const TEnvelopePoint& P : Points) {
      Json += Json.back() == '[' ? "[" : ",[";
      Json += std::to_string(P.Min) + "," + std::to_string(P.Max) + "]";
    }
    Json += "]";
  }
  return Json + "]";
}

std::string TextOrNull(const std::string& Text) {
  return Text.empty() ? "null" : JsonString(Text);
}

} // namespace

std::string MeasureReport(const std::string& Input, size_t Points) {
  std::string Codec;
  const TAudio Audio = ReadAudio(LoadFile(Input), &Codec);
  const TLoudness L = MeasureLoudness(Audio);
  std::string Line = "{\"input\":" + JsonString(Input) + Field("integrated", JsonNumber(L.Integrated)) +
                     Field("truePeak", JsonNumber(L.TruePeak)) +
                     Field("samplePeak", JsonNumber(L.SamplePeak)) +
                     Field("sampleRate", std::to_string(Audio.SampleRate)) +
                     Field("channels", std::to_string(Audio.Channels)) +
                     Field("seconds", JsonNumber(double(Audio.Frames()) / Audio.SampleRate, 3)) +
                     Field("frames", std::to_string(Audio.Frames())) + Field("codec", JsonString(Codec));
  if (Points != 0)
    Line += Field("envelope", EnvelopeJson(Envelope(Audio, Points)));
  return Line + "}";
}

std::string TagsReport(const std::string& Input) {
  return TagsReport(Input, LoadFile(Input));
}

std::string TagsReport(const std::string& Input, const Bytes& Data) {
  const TTags Tags = ReadFileTags(Data, Input);
  return "{\"input\":" + JsonString(Input) + Field("title", TextOrNull(Tags.Title)) +
         Field("artist", TextOrNull(Tags.Artist)) + Field("album", TextOrNull(Tags.Album)) + "}";
}

std::string ErrorReport(const std::string& Input, const std::string& Message) {
  return "{\"input\":" + JsonString(Input) + Field("error", JsonString(Message)) + "}";
}

} // namespace sx
