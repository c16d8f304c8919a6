#include "workflows/ConverterReports.h"

#include "converter/analysis/Envelope.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

namespace {

struct TValue {
  enum TKind { Null, Boolean, Number, String, List } Kind = Null;
  bool Flag = false;
  double Value = 0;
  std::string Text;          // UTF-8
  std::vector<TValue> Items; // of a list
};

// Lists nest this deep at most (an outline is a list of channels of slices of two numbers); deeper nesting
// is refused before it can exhaust the stack.
constexpr int kDeepestList = 3;

using TObject = std::map<std::string, TValue>;

void AppendUtf8(std::string& Out, uint32_t Code) {
  if (Code < 0x80) {
    Out += static_cast<char>(Code);
  } else if (Code < 0x800) {
    Out += static_cast<char>(0xC0 | (Code >> 6));
    Out += static_cast<char>(0x80 | (Code & 0x3F));
  } else if (Code < 0x10000) {
    Out += static_cast<char>(0xE0 | (Code >> 12));
    Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Code & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (Code >> 18));
    Out += static_cast<char>(0x80 | ((Code >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Code & 0x3F));
  }
}

// A reader of one flat JSON object: string keys, values null, true, false, a number or a string. Every
// method returns false at the first thing it does not accept.
class TLineReader {
public:
  explicit TLineReader(const std::string& Line) : FText(Line) {}

  bool ReadObject(TObject& Object) {
    if (!Take('{'))
      return false;
    if (Take('}'))
      return AtEnd();
    do {
      std::string Key;
      TValue Value;
      if (!ReadString(Key) || !Take(':') || !ReadValue(Value) ||
          !Object.emplace(std::move(Key), std::move(Value)).second)
        return false;
    } while (Take(','));
    return Take('}') && AtEnd();
  }

private:
  void SkipBlanks() {
    while (FPos < FText.size() && (FText[FPos] == ' ' || FText[FPos] == '\t' || FText[FPos] == '\r'))
      ++FPos;
  }
  bool Take(char C) {
    SkipBlanks();
    if (FPos >= FText.size() || FText[FPos] != C)
      return false;
    ++FPos;
    return true;
  }
  bool AtEnd() {
    SkipBlanks();
    return FPos == FText.size();
  }
  bool TakeWord(const char* Word) {
    SkipBlanks();
    std::string W = Word;
    if (FText.compare(FPos, W.size(), W) != 0)
      return false;
    FPos += W.size();
    return true;
  }
  bool ReadHex4(uint32_t& Code) {
    if (FText.size() - FPos < 4)
      return false;
    Code = 0;
    for (int I = 0; I < 4; ++I) {
      char C = FText[FPos++];
      int Digit = C >= '0' && C <= '9'   ? C - '0'
                  : C >= 'a' && C <= 'f' ? C - 'a' + 10
                  : C >= 'A' && C <= 'F' ? C - 'A' + 10
                                         : -1;
      if (Digit < 0)
        return false;
      Code = Code * 16 + static_cast<uint32_t>(Digit);
    }
    return true;
  }
  // \uXXXX, with a surrogate pair as one character; a lone surrogate is refused.
  bool ReadEscapedCode(std::string& Out) {
    uint32_t Code = 0;
    if (!ReadHex4(Code) || (Code >= 0xDC00 && Code < 0xE000))
      return false;
    if (Code >= 0xD800 && Code < 0xDC00) {
      uint32_t Low = 0;
      if (!TakeWord("\\u") || !ReadHex4(Low) || Low < 0xDC00 || Low >= 0xE000)
        return false;
      Code = 0x10000 + ((Code - 0xD800) << 10) + (Low - 0xDC00);
    }
    AppendUtf8(Out, Code);
    return true;
  }
  bool ReadString(std::string& Out) {
    if (!Take('"'))
      return false;
    while (FPos < FText.size()) {
      unsigned char C = static_cast<unsigned char>(FText[FPos++]);
      if (C == '"')
        return true;
      if (C < 0x20)
        return false;
      if (C != '\\') {
        Out += static_cast<char>(C);
        continue;
      }
      if (FPos >= FText.size())
        return false;
      char E = FText[FPos++];
      const std::string From = "\"\\/bfnrt", To = "\"\\/\b\f\n\r\t";
      if (E == 'u') {
        if (!ReadEscapedCode(Out))
          return false;
      } else if (From.find(E) != std::string::npos) {
        Out += To[From.find(E)];
      } else {
        return false;
      }
    }
    return false;
  }
  bool ReadNumber(double& Value) {
    SkipBlanks();
    size_t Start = FPos;
    while (FPos < FText.size() && std::string("+-.0123456789eE").find(FText[FPos]) != std::string::npos)
      ++FPos;
    std::string Text = FText.substr(Start, FPos - Start);
    char* End = nullptr;
    Value = Text.empty() ? 0 : std::strtod(Text.c_str(), &End);
    return !Text.empty() && End == Text.c_str() + Text.size() && std::isfinite(Value);
  }
  // A list of numbers and lists, at most kDeepestList deep.
  bool ReadList(TValue& Value, int Depth) {
    Value.Kind = TValue::List;
    if (Depth >= kDeepestList)
      return false;
    if (Take(']'))
      return true;
    do {
      Value.Items.emplace_back();
      TValue& Item = Value.Items.back();
      SkipBlanks();
      if (FPos < FText.size() && FText[FPos] == '[') {
        ++FPos;
        if (!ReadList(Item, Depth + 1))
          return false;
      } else {
        Item.Kind = TValue::Number;
        if (!ReadNumber(Item.Value))
          return false;
      }
    } while (Take(','));
    return Take(']');
  }
  bool ReadValue(TValue& Value) {
    SkipBlanks();
    if (FPos >= FText.size())
      return false;
    char C = FText[FPos];
    if (C == '[') {
      ++FPos;
      return ReadList(Value, 0);
    }
    if (C == '"') {
      Value.Kind = TValue::String;
      return ReadString(Value.Text);
    }
    if (TakeWord("null"))
      return true;
    for (bool Flag : {true, false})
      if (TakeWord(Flag ? "true" : "false")) {
        Value.Kind = TValue::Boolean;
        Value.Flag = Flag;
        return true;
      }
    Value.Kind = TValue::Number;
    return ReadNumber(Value.Value);
  }

  const std::string& FText;
  size_t FPos = 0;
};

std::optional<TObject> ReadLine(const std::string& Line) {
  TObject Object;
  if (!TLineReader(Line).ReadObject(Object))
    return std::nullopt;
  return Object;
}

bool Is(const TObject& O, const std::string& Key, TValue::TKind Kind) {
  auto Found = O.find(Key);
  return Found != O.end() && Found->second.Kind == Kind;
}

const TValue* Find(const TObject& O, const std::string& Key) {
  auto Found = O.find(Key);
  return Found == O.end() ? nullptr : &Found->second;
}

// A field that must be there: a number in [Low, High], or null when Nullable.
bool ReadLevel(const TObject& O, const std::string& Key, double Low, double High, bool Nullable,
               std::optional<double>& Out) {
  const TValue* V = Find(O, Key);
  if (V == nullptr)
    return false;
  if (V->Kind == TValue::Null)
    return Nullable;
  if (V->Kind != TValue::Number || V->Value < Low || V->Value > High)
    return false;
  Out = V->Value;
  return true;
}

// A text field that must be there: a string, or null for empty.
bool ReadText(const TObject& O, const std::string& Key, std::string& Out) {
  const TValue* V = Find(O, Key);
  if (V == nullptr || (V->Kind != TValue::String && V->Kind != TValue::Null))
    return false;
  Out = V->Text;
  return true;
}

// A whole number in [Low, High], when the field is there; false for anything else.
bool ReadCount(const TObject& O, const std::string& Key, double Low, double High, uint32_t& Out) {
  const TValue* V = Find(O, Key);
  if (V == nullptr)
    return true;
  if (V->Kind != TValue::Number || V->Value < Low || V->Value > High || V->Value != std::floor(V->Value))
    return false;
  Out = static_cast<uint32_t>(V->Value);
  return true;
}

// A sample of 16-bit sound: a whole number in [-32768, 32767].
bool ReadSample(const TValue& V, int16_t& Out) {
  if (V.Kind != TValue::Number || V.Value < -32768 || V.Value > 32767 || V.Value != std::floor(V.Value))
    return false;
  Out = static_cast<int16_t>(V.Value);
  return true;
}

// [[[min,max],...] per channel]: a list per channel, all of the same length, 1 to the converter's limit.
bool ReadEnvelope(const TValue& V, uint32_t Channels, std::vector<std::vector<TEnvelopePoint>>& Out) {
  if (V.Kind != TValue::List || Channels == 0 || V.Items.size() != Channels)
    return false;
  const size_t Points = V.Items[0].Items.size();
  if (Points == 0 || Points > sx::kMaxEnvelopePoints)
    return false;
  Out.assign(Channels, {});
  for (uint32_t C = 0; C < Channels; ++C) {
    const TValue& Channel = V.Items[C];
    if (Channel.Kind != TValue::List || Channel.Items.size() != Points)
      return false;
    Out[C].resize(Points);
    for (size_t I = 0; I < Points; ++I) {
      const TValue& Pair = Channel.Items[I];
      TEnvelopePoint& P = Out[C][I];
      if (Pair.Kind != TValue::List || Pair.Items.size() != 2 || !ReadSample(Pair.Items[0], P.Min) ||
          !ReadSample(Pair.Items[1], P.Max) || P.Min > P.Max)
        return false;
    }
  }
  return true;
}

// Loudness and peaks of 16-bit sound lie well inside these; anything outside is not a measurement.
constexpr double kLowestLevel = -200, kHighestLevel = 30;
constexpr double kLargestGain = 60;
// Rates and channel counts a sound file can state.
constexpr double kHighestRate = 1e6, kMostChannels = 255;

// Every report line names its input; a line with an error says nothing else. False when the line names no
// input; Done when it is an error line.
template <class TReport> bool ReadInput(const TObject& O, TReport& R, bool& Done) {
  if (!Is(O, "input", TValue::String))
    return false;
  R.Input = Find(O, "input")->Text;
  Done = Is(O, "error", TValue::String);
  if (Done)
    R.Error = Find(O, "error")->Text;
  return true;
}

} // namespace

std::optional<TMeasureReport> ParseMeasureLine(const std::string& Line) {
  std::optional<TObject> O = ReadLine(Line);
  TMeasureReport R;
  bool Done = false;
  if (!O || !ReadInput(*O, R, Done))
    return std::nullopt;
  if (Done)
    return R;
  std::optional<double> Seconds;
  if (!ReadLevel(*O, "integrated", kLowestLevel, kHighestLevel, true, R.Integrated) ||
      !ReadLevel(*O, "truePeak", kLowestLevel, kHighestLevel, true, R.TruePeak) ||
      !ReadLevel(*O, "samplePeak", kLowestLevel, kHighestLevel, true, R.SamplePeak) ||
      !ReadLevel(*O, "seconds", 0, 1e7, false, Seconds))
    return std::nullopt;
  R.Seconds = *Seconds;
  if (const TValue* Codec = Find(*O, "codec")) {
    const std::string& Name = Codec->Text;
    if (Codec->Kind != TValue::String || Name.empty() || Name.size() > 32 ||
        !std::all_of(Name.begin(), Name.end(), [](char C) { return C >= 0x20 && C < 0x7F; }))
      return std::nullopt;
    R.Codec = Name;
  }
  if (!ReadCount(*O, "sampleRate", 1, kHighestRate, R.SampleRate) ||
      !ReadCount(*O, "channels", 1, kMostChannels, R.Channels))
    return std::nullopt;
  if (const TValue* Envelope = Find(*O, "envelope"))
    if (!ReadEnvelope(*Envelope, R.Channels, R.Envelope))
      return std::nullopt;
  return R;
}

std::optional<TTagsReport> ParseTagsLine(const std::string& Line) {
  std::optional<TObject> O = ReadLine(Line);
  TTagsReport R;
  bool Done = false;
  if (!O || !ReadInput(*O, R, Done))
    return std::nullopt;
  if (Done)
    return R;
  if (!ReadText(*O, "title", R.Title) || !ReadText(*O, "artist", R.Artist) || !ReadText(*O, "album", R.Album))
    return std::nullopt;
  return R;
}

std::optional<TGainReport> ParseGainLine(const std::string& Line) {
  std::optional<TObject> O = ReadLine(Line);
  TGainReport R;
  std::optional<double> Requested, Applied;
  if (!O || !Is(*O, "heldBack", TValue::Boolean) ||
      !ReadLevel(*O, "gainRequested", -kLargestGain, kLargestGain, false, Requested) ||
      !ReadLevel(*O, "gainApplied", -kLargestGain - kHighestLevel, kLargestGain, false, Applied) ||
      (Find(*O, "truePeak") != nullptr &&
       !ReadLevel(*O, "truePeak", kLowestLevel, kHighestLevel, true, R.TruePeak)))
    return std::nullopt;
  R.Requested = *Requested;
  R.Applied = *Applied;
  R.HeldBack = Find(*O, "heldBack")->Flag;
  R.Measured = Find(*O, "integrated") != nullptr;
  if (R.Measured && !ReadLevel(*O, "integrated", kLowestLevel, kHighestLevel, true, R.Integrated))
    return std::nullopt;
  // A gain held back is smaller than the one asked, never larger; a sound without a loudness gets none.
  if (R.Applied > R.Requested + 0.01 || (!R.HeldBack && std::abs(R.Applied - R.Requested) > 0.01) ||
      (R.Measured && !R.Integrated && (R.Requested != 0 || R.Applied != 0)))
    return std::nullopt;
  return R;
}

std::vector<std::string> ReportLines(const std::string& Output) {
  std::vector<std::string> Lines;
  size_t Start = 0;
  while (Start < Output.size()) {
    size_t End = Output.find('\n', Start);
    if (End == std::string::npos)
      End = Output.size();
    std::string Line = Output.substr(Start, End - Start);
    if (!Line.empty() && Line.back() == '\r')
      Line.pop_back();
    if (!Line.empty())
      Lines.push_back(Line);
    Start = End + 1;
  }
  return Lines;
}
