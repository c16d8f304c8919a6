// Any output of the converter read as its report lines, each line read as a -measure, a -tags and a gain
// report. The lines hold no LF and none is empty; a line printed again with CR LF splits back to itself.
// Each line reads the same with a CR at its end. What a reader accepts keeps its contract: an error line
// says nothing else, levels and gains lie in their ranges, a gain held back is smaller than the one asked
// and one not held back is that gain. An accepted measure or tags report whose texts are valid UTF-8,
// written again the way the converter writes it, reads back as the same texts, and numbers within the
// half hundredth of their printing.
#include "converter/Json.h"
#include "converter/Reports.h"
#include "converter/analysis/Envelope.h"
#include "converter/formats/TagText.h"
#include "fuzz/Fuzz.h"
#include "workflows/ConverterReports.h"

#include <cmath>

namespace {

bool InRange(const std::optional<double>& Level) {
  return !Level || (std::isfinite(*Level) && *Level >= -200 && *Level <= 30);
}

bool Near(const std::optional<double>& A, const std::optional<double>& B, double Tolerance) {
  return A.has_value() == B.has_value() && (!A || std::abs(*A - *B) <= Tolerance);
}

bool ValidUtf8(const std::string& Text) {
  return sx::ValidUtf8(Text) == Text;
}

std::string Field(const char* Name, const std::string& Json) {
  return std::string(",\"") + Name + "\":" + Json;
}

std::string TextOrNull(const std::string& Text) {
  return Text.empty() ? "null" : sx::JsonString(Text);
}

// The report Parse reads from Line, which it must read alike with a CR at its end.
template <class TParse> auto Parsed(TParse Parse, const std::string& Line) {
  auto Report = Parse(Line);
  FUZZ_CHECK(Report.has_value() == Parse(Line + "\r").has_value());
  return Report;
}

void CheckMeasure(const std::string& Line) {
  const std::optional<TMeasureReport> R = Parsed(ParseMeasureLine, Line);
  if (!R)
    return;
  if (!R->Error.empty()) {
    FUZZ_CHECK(!R->Integrated && !R->TruePeak && !R->SamplePeak && R->Seconds == 0);
    if (ValidUtf8(R->Input) && ValidUtf8(R->Error)) {
      const std::optional<TMeasureReport> Again = ParseMeasureLine(sx::ErrorReport(R->Input, R->Error));
      FUZZ_CHECK(Again && Again->Input == R->Input && Again->Error == R->Error);
    }
    return;
  }
  FUZZ_CHECK(InRange(R->Integrated) && InRange(R->TruePeak) && InRange(R->SamplePeak));
  FUZZ_CHECK(std::isfinite(R->Seconds) && R->Seconds >= 0 && R->Seconds <= 1e7);
  // An outline has a list per channel, all of one length within the converter's limit, each slice ordered.
  FUZZ_CHECK(R->Envelope.empty() || R->Envelope.size() == R->Channels);
  for (const std::vector<TEnvelopePoint>& Channel : R->Envelope) {
    FUZZ_CHECK(Channel.size() == R->Envelope[0].size() && !Channel.empty() &&
               Channel.size() <= sx::kMaxEnvelopePoints);
    for (const TEnvelopePoint& P : Channel)
      FUZZ_CHECK(P.Min <= P.Max);
  }
  if (!ValidUtf8(R->Input))
    return;
  const std::string Written =
      "{\"input\":" + sx::JsonString(R->Input) + Field("integrated", sx::JsonNumber(R->Integrated)) +
      Field("truePeak", sx::JsonNumber(R->TruePeak)) + Field("samplePeak", sx::JsonNumber(R->SamplePeak)) +
      Field("sampleRate", "44100") + Field("channels", "2") +
      Field("seconds", sx::JsonNumber(R->Seconds, 3)) + "}";
  const std::optional<TMeasureReport> Again = ParseMeasureLine(Written);
  FUZZ_CHECK(Again && Again->Input == R->Input && Again->Error.empty());
  FUZZ_CHECK(Near(Again->Integrated, R->Integrated, 0.0051) && Near(Again->TruePeak, R->TruePeak, 0.0051) &&
             Near(Again->SamplePeak, R->SamplePeak, 0.0051) &&
             std::abs(Again->Seconds - R->Seconds) <= 0.00051);
}

void CheckTags(const std::string& Line) {
  const std::optional<TTagsReport> R = Parsed(ParseTagsLine, Line);
  if (!R)
    return;
  if (!R->Error.empty()) {
    FUZZ_CHECK(R->Title.empty() && R->Artist.empty() && R->Album.empty());
    return;
  }
  if (!ValidUtf8(R->Input) || !ValidUtf8(R->Title) || !ValidUtf8(R->Artist) || !ValidUtf8(R->Album))
    return;
  const std::optional<TTagsReport> Again =
      ParseTagsLine("{\"input\":" + sx::JsonString(R->Input) + Field("title", TextOrNull(R->Title)) +
                    Field("artist", TextOrNull(R->Artist)) + Field("album", TextOrNull(R->Album)) + "}");
  FUZZ_CHECK(Again && Again->Input == R->Input && Again->Error.empty() && Again->Title == R->Title &&
             Again->Artist == R->Artist && Again->Album == R->Album);
}

void CheckGain(const std::string& Line) {
  const std::optional<TGainReport> R = Parsed(ParseGainLine, Line);
  if (!R)
    return;
  FUZZ_CHECK(std::isfinite(R->Requested) && std::abs(R->Requested) <= 60);
  FUZZ_CHECK(std::isfinite(R->Applied) && R->Applied <= R->Requested + 0.01 && InRange(R->TruePeak));
  FUZZ_CHECK(R->HeldBack || std::abs(R->Applied - R->Requested) <= 0.01);
  FUZZ_CHECK(R->Measured || !R->Integrated);
  FUZZ_CHECK(InRange(R->Integrated) &&
             (R->Integrated || !R->Measured || (R->Requested == 0 && R->Applied == 0)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string Output(reinterpret_cast<const char*>(Data), Size);
  for (const std::string& Line : ReportLines(Output)) {
    FUZZ_CHECK(!Line.empty() && Line.find('\n') == std::string::npos);
    FUZZ_CHECK(ReportLines(Line + "\r\n") == std::vector<std::string>{Line});
    CheckMeasure(Line);
    CheckTags(Line);
    CheckGain(Line);
  }
  return 0;
}
