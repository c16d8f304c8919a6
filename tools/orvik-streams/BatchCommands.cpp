// import-batch and loudness: the shared batch workflow bound to arguments and standard output.

#include "base/Exceptions.h"
#include "base/Paths.h"
#include "platform/Process.h"
#include "tools/orvik-streams/Commands.h"
#include "tools/orvik-streams/Json.h"
#include "tools/orvik-streams/Utf8.h"
#include "workflows/BatchImport.h"
#include "workflows/BatchPlan.h"
#include "workflows/FileOrder.h"
#include "workflows/KeptOriginals.h"
#include "workflows/LoudnessTarget.h"

#include <cstdio>
#include <iomanip>
#include <sstream>

namespace {

std::string Decimal(const std::optional<double>& Value, bool Signed = false) {
  if (!Value)
    return "-";
  char Text[32];
  std::snprintf(Text, sizeof Text, Signed ? "%+.2f" : "%.2f", *Value);
  return Text;
}

std::string SongText(const TSongResult& R) {
  return "stream " + std::to_string(R.Song.Stream) + " sample " + std::to_string(R.Song.Sample);
}

// Where an imported song went.
std::string EntryText(const TSongResult& R) {
  if (!R.Song.SharedWith)
    return std::string(R.Song.AsNewFile ? "added as " : "replaced ") + Utf8FromNarrow(R.Entry);
  return "new entry " + Utf8FromNarrow(R.Entry) + " (the old one is shared with Stream " +
         std::to_string(R.Song.SharedWith->Stream) + ", sample " + std::to_string(R.Song.SharedWith->Sample) +
         ")";
}

std::string Outcome(const TSongResult& R) {
  if (R.State == TSongResult::Failed)
    return "failed: " + Utf8FromNarrow(R.Failure);
  if (R.State == TSongResult::Cancelled)
    return "not imported (cancelled)";
  std::string Text = EntryText(R);
  Text += R.NewDescription ? ", new description " : ", description ";
  Text += std::to_string(R.Description);
  if (R.HeldBack)
    Text += ", gain held back by the peak limit";
  if (!R.Lost.empty())
    Text += ", characters lost: " + R.Lost;
  if (R.Cut)
    Text += ", a tag cut to 63 characters";
  return Text;
}

void ProgressLine(std::ostream& Out, const TSongResult& R, size_t Index, size_t Count) {
  Out << "[" << Index + 1 << "/" << Count << "] " << Utf8FromNarrow(R.Song.Source) << ": ";
  if (R.State == TSongResult::Imported)
    Out << SongText(R) << ", " << Decimal(R.LoudnessBefore) << " LUFS, gain " << Decimal(R.Gain, true)
        << " dB";
  else
    Out << Outcome(R);
  Out << "\n" << std::flush;
}

void ResultTable(std::ostream& Out, const TBatchResult& Result) {
  Out << std::left << std::setw(29) << "File" << std::setw(22) << "Song" << std::setw(9) << "LUFS"
      << std::setw(8) << "Gain"
      << "Result\n";
  for (const TSongResult& R : Result.Songs)
    Out << std::setw(28) << Utf8FromNarrow(ExtractFileName(R.Song.Source)) << " " << std::setw(21)
        << (R.State == TSongResult::Imported ? SongText(R) : "-") << " " << std::setw(8)
        << Decimal(R.LoudnessBefore) << " " << std::setw(7) << Decimal(R.Gain, true) << " " << Outcome(R)
        << "\n";
  Out << Result.ImportedCount() << " of " << Result.Songs.size() << " file(s) imported"
      << (Result.Cancelled ? " (cancelled)" : "") << "\n";
}

void ResultJson(std::ostream& Out, const TBatchResult& Result, const std::optional<double>& Target) {
  const char* States[] = {"imported", "failed", "cancelled"};
  TJson J(Out);
  J.BeginObject().Key("target").Decimal(Target).Key("songs").BeginArray();
  for (const TSongResult& R : Result.Songs) {
    bool Done = R.State == TSongResult::Imported;
    J.BeginObject().Key("file").String(Utf8FromNarrow(R.Song.Source)).Key("state").String(States[R.State]);
    J.Key("stream").Number(R.Song.Stream).Key("sample");
    Done ? J.Number(R.Song.Sample) : J.Null();
    J.Key("entry");
    Done ? J.String(Utf8FromNarrow(R.Entry)) : J.Null();
    J.Key("description");
    Done ? J.Number(R.Description) : J.Null();
    J.Key("newDescription").Boolean(Done && R.NewDescription);
    J.Key("loudness")
        .Decimal(R.LoudnessBefore)
        .Key("gain")
        .Decimal(R.Gain)
        .Key("heldBack")
        .Boolean(R.HeldBack);
    J.Key("lost").String(R.Lost).Key("cut").Boolean(R.Cut).Key("error");
    R.State == TSongResult::Failed ? J.String(Utf8FromNarrow(R.Failure)) : J.Null();
    J.EndObject();
  }
  J.EndArray().EndObject();
  Out << "\n";
}

TBatchTarget TargetOf(const TArguments& Args) {
  if (Args.Has("sample") == Args.Has("add"))
    throw EUsage("give either --sample K or --add ARCHIVE");
  TBatchTarget Target;
  Target.Stream = Args.Index("stream");
  if (Args.Has("sample"))
    Target.StartSample = Args.Index("sample");
  else
    Target.Archive = Args.Value("add");
  if (Args.Has("add") && Target.Archive.empty())
    throw EUsage("--add needs an archive's name");
  return Target;
}

std::vector<std::string> InputsOf(const TArguments& Args) {
  std::vector<std::string> Paths;
  for (size_t I = 1; I < Args.PositionalCount(); ++I)
    Paths.push_back(Args.Positional(I));
  std::vector<std::string> Files = ExpandInputs(Paths);
  if (Files.empty())
    throw Exception("No audio files to import (.wav, .aif, .aiff, .mp3, .flac or .asf)");
  return Files;
}

// The definition's median loudness, said on Progress.
std::optional<double> MeasureTarget(const TStreamPack& Pack, TConverter& Converter, std::ostream& Progress) {
  TDefinitionLoudness Measured = MeasureDefinition(Pack, Converter, 0, [&](size_t Done, size_t Total) {
    Progress << "Measuring the definition's songs: " << Done << "/" << Total << "\n" << std::flush;
  });
  if (Measured.Target)
    Progress << "Loudness target: " << Decimal(Measured.Target)
             << " LUFS, the median of the definition's songs\n";
  else
    Progress << "No song of the definition has a loudness to match: the songs keep their level\n";
  return Measured.Target;
}

} // namespace

int ImportBatch(const TArguments& Args, TContext& C) {
  const std::string& Definition = Args.Positional(0);
  const TSongShape Shape = ShapeOf(Args);
  TBatchTarget Target = TargetOf(Args);
  std::vector<std::string> Files = InputsOf(Args);
  bool Json = Args.Has("json");
  std::ostream& Progress = Json ? C.Err : C.Out;
  TBatchResult Result;
  TBatchOptions Options;
  ChangeDefinition(Definition, C, [&](TStreamPack& Pack, TDefinitionSession& Session) {
    std::vector<TPlannedSong> Plan = PlanBatch(Pack, Target, Files);
    for (TPlannedSong& Song : Plan)
      Song.Shape = Shape;
    TSystemConverterProcess Runner(C.ProgramFolder);
    TConverter Converter(Runner);
    if (!Args.Has("no-loudness"))
      Options.Target = MeasureTarget(Pack, Converter, Progress);
    Options.SongDone = [&](const TSongResult& R, size_t I, size_t N) { ProgressLine(Progress, R, I, N); };
    Result = ImportBatch(Pack, Session, Plan, Converter, Options);
    if (Result.ImportedCount() > 0)
      Save(Pack, Session, Result.Replaced);
  });
  if (Json)
    ResultJson(C.Out, Result, Options.Target);
  else
    ResultTable(C.Out, Result);
  return Result.ImportedCount() == Result.Songs.size() ? 0 : 1;
}

int Loudness(const TArguments& Args, TContext& C) {
  auto Pack = LoadForReading(Args.Positional(0), C);
  TSystemConverterProcess Runner(C.ProgramFolder);
  TConverter Converter(Runner);
  TDefinitionLoudness Measured = MeasureDefinition(*Pack, Converter);
  if (Args.Has("json")) {
    TJson J(C.Out);
    J.BeginObject().Key("target").Decimal(Measured.Target).Key("songs").BeginArray();
    for (const TSongLoudness& Song : Measured.Songs) {
      J.BeginObject()
          .Key("archive")
          .String(Utf8FromNarrow(ArchiveName(*Pack, Song.ArchiveIndex)))
          .Key("entry")
          .String(Utf8FromNarrow(Song.Entry));
      J.Key("integrated").Decimal(Song.Measure.Integrated).Key("truePeak").Decimal(Song.Measure.TruePeak);
      J.Key("error");
      Song.Measure.Error.empty() ? J.Null() : J.String(Utf8FromNarrow(Song.Measure.Error));
      J.EndObject();
    }
    J.EndArray().EndObject();
    C.Out << "\n";
    return 0;
  }
  C.Out << std::left << std::setw(16) << "Archive" << std::setw(29) << "Entry" << std::setw(10) << "LUFS"
        << "dBTP\n";
  for (const TSongLoudness& Song : Measured.Songs) {
    C.Out << std::setw(16) << Utf8FromNarrow(ArchiveName(*Pack, Song.ArchiveIndex)) << std::setw(28)
          << Utf8FromNarrow(Song.Entry) << " ";
    if (Song.Measure.Error.empty())
      C.Out << std::setw(9) << Decimal(Song.Measure.Integrated) << " " << Decimal(Song.Measure.TruePeak)
            << "\n";
    else
      C.Out << "cannot be measured: " << Utf8FromNarrow(Song.Measure.Error) << "\n";
  }
  C.Out << "Target (median integrated loudness): " << Decimal(Measured.Target) << " LUFS over "
        << Measured.Songs.size() << " song(s)\n";
  return 0;
}
