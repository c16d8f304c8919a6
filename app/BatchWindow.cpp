#include "app/BatchWindow.h"

#include "app/BusyCursor.h"
#include "app/ErrorReport.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "workflows/LoudnessTarget.h"
#include "workflows/TagDescriptions.h"

#include <algorithm>
#include <cstdio>

namespace {

const wchar_t* const kMatchCaption = L"&Match the loudness to the definition's songs";

std::wstring SampleText(int32_t Stream, int32_t Sample) {
  return L"Stream " + std::to_wstring(Stream) + L", sample " + std::to_wstring(Sample);
}

std::wstring SongText(const std::vector<std::wstring>& Archives, const TPlannedSong& Song) {
  std::wstring Text = SampleText(Song.Stream, Song.Sample);
  const std::wstring& Archive = Archives.at(static_cast<size_t>(Song.ArchiveIndex));
  if (Song.NewSample)
    return Text + L" (new, in " + Archive + L")";
  if (Song.SharedWith)
    return Text + L", new entry (the old one is shared with " +
           SampleText(Song.SharedWith->Stream, Song.SharedWith->Sample) + L")";
  if (Song.AsNewFile)
    return Text + L" (new entry in " + Archive + L")";
  return Text;
}

const wchar_t* StepText(TSongStep Step) {
  switch (Step) {
  case TSongStep::Convert:
    return L"Converting...";
  case TSongStep::Ready:
    return L"Converted";
  case TSongStep::Write:
    return L"Writing...";
  }
  return L"";
}

std::wstring ResultText(const TSongResult& Song) {
  if (Song.State == TSongResult::Failed)
    return L"Failed: " + AnsiToWide(Song.Failure);
  if (Song.State == TSongResult::Cancelled)
    return L"Not imported";
  std::wstring Text = (Song.Song.AsNewFile ? L"Added as " : L"Replaced ") + AnsiToWide(Song.Entry);
  Text += Song.NewDescription ? L", new description" : L", description updated";
  if (!Song.Lost.empty())
    Text += L", characters lost: " + WideFromUtf8(Song.Lost);
  if (Song.Cut)
    Text += L", a tag cut to 63 characters";
  return Text;
}

// The title of the song a planned song takes the place of: its sample's description's name; empty for a
// new sample or one without a description.
std::wstring TitleReplaced(const TStreamPack& Pack, const TPlannedSong& Song) {
  if (Song.NewSample)
    return L"";
  const TStreamData& Sample = *Pack.Streams(Song.Stream)->Samples(Song.Sample);
  if (Sample.DescriptionIndex < 0 || Sample.DescriptionIndex >= Pack.DescriptionCount())
    return L"";
  return AnsiToWide(FieldText(Sample.Description()->Name));
}

// "-14.2" with Digits after the point, "+3.50" with a sign.
std::wstring DecimalText(double Value, int Digits, bool Signed = false) {
  char Text[32];
  std::snprintf(Text, sizeof Text, Signed ? "%+.*f" : "%.*f", Digits, Value);
  return AnsiToWide(Text);
}

} // namespace

TBatchRun::TBatchRun(TStreamPack& Pack, TDefinitionSession& Session, std::vector<TPlannedSong> Plan,
                     const std::vector<std::wstring>& Names, IConverterProcess& Process,
                     TLoudnessTarget& Target, const TServices& Services)
    : TBatchWindowModel(L"Import Songs",
                        {{L"File", 160},
                         {L"Goes to", 210},
                         {L"Replaces", 120},
                         {L"Trim and fade", 130},
                         {L"Loudness", 80},
                         {L"Gain", 110},
                         {L"Result", 160}},
                        {L"&Import", -1, L"Import the songs"}),
      chkMatchLoudness(kMatchCaption, true), FPack(Pack), FSession(Session), FPlan(std::move(Plan)),
      FConverter(Process), FTarget(Target), FServices(Services), FMeasured(FPlan.size()) {
  for (int32_t I = 0; I < Pack.ArchiveCount(); ++I)
    FArchiveNames.push_back(AnsiToWide(ExtractFileName(Pack.Archives(I)->FileName)));
  for (size_t I = 0; I < FPlan.size(); ++I)
    Rows.push_back({ExtractFileName(I < Names.size() ? Names[I] : AnsiToWide(FPlan[I].Source)),
                    SongText(FArchiveNames, FPlan[I]), TitleReplaced(Pack, FPlan[I]),
                    ShapeText(FPlan[I].Shape), L"", L"", L"Waiting"});
  if (FTarget.Measured)
    FReported.Target = FTarget.Value;
  ShowTargetCaption(FReported);
  Status.SetText(std::to_wstring(FPlan.size()) + L" file(s) to import.");
  Check = &chkMatchLoudness;
  if (FServices.ShapeDialog != nullptr && FServices.MessageBoxes != nullptr && FServices.Screen != nullptr) {
    RowAction = &btnShape;
    btnShape.SetEnabled(false);
  }
}

std::wstring TBatchRun::Cell(size_t Row, size_t Column) const {
  static constexpr std::wstring TBatchRow::*Fields[] = {
      &TBatchRow::File,     &TBatchRow::Song, &TBatchRow::Replaces, &TBatchRow::Shape,
      &TBatchRow::Loudness, &TBatchRow::Gain, &TBatchRow::Result};
  return Column < std::size(Fields) ? Rows.at(Row).*Fields[Column] : L"";
}

void TBatchWindowModel::SelectRows(std::vector<size_t> Rows) {
  std::erase_if(Rows, [this](size_t Row) { return Row >= RowCount(); });
  FSelected = std::move(Rows);
  if (RowAction != nullptr)
    RowAction->SetEnabled(!FStarted && !FSelected.empty());
}

void TBatchWindowModel::StartRun(std::function<void()> Body) {
  btnStart.SetEnabled(false);
  if (RowAction != nullptr)
    RowAction->SetEnabled(false);
  Status.SetText(L"Starting...");
  FStarted = true;
  FThread = std::thread(std::move(Body));
}

bool TBatchWindowModel::btnCancelClick() {
  if (!Started() || FEnded)
    return true;
  FCancel = true;
  btnCancel.SetEnabled(false);
  Status.SetText(L"Stopping after the songs in hand...");
  return false;
}

void TBatchWindowModel::StopRun() {
  FCancel = true;
  if (FThread.joinable())
    FThread.join();
}

void TBatchWindowModel::StopAndWait() {
  if (!Started() || FEnded)
    return;
  StopRun();
  Poll();
}

void TBatchWindowModel::EndRun() {
  if (FThread.joinable())
    FThread.join();
  FEnded = true;
}

void TBatchWindowModel::ShowEnd(const std::exception_ptr& Error, const wchar_t* Stopped, std::wstring Done,
                                size_t Failed, bool Cancelled) {
  if (Failed > 0)
    Done += L"; " + std::to_wstring(Failed) + L" failed";
  if (Cancelled)
    Done += L"; stopped by Cancel";
  Status.SetText(Error ? Stopped + ErrorReportText(Error) : Done + L".");
  btnCancel.SetCaption(L"Close");
  btnCancel.SetEnabled(true);
}

TBatchRun::~TBatchRun() {
  StopRun();
}

void TBatchRun::btnStartClick() {
  if (Started())
    return;
  FMatch = chkMatchLoudness.Checked();
  chkMatchLoudness.SetEnabled(false);
  FReported.Steps.assign(FPlan.size(), std::nullopt);
  FReported.Done.assign(FPlan.size(), std::nullopt);
  StartRun([this] { Run(); });
}

// The selected songs with their lengths; those not measured yet are measured together, the window waiting
// meanwhile: the dialog needs them before it opens, and a song is measured once however often it opens.
std::vector<TSongLength> TBatchRun::SelectedLengths() {
  std::vector<std::string> Sources;
  std::vector<size_t> Measuring;
  for (size_t Row : SelectedRows())
    if (!FMeasured[Row]) {
      Sources.push_back(FPlan[Row].Source);
      Measuring.push_back(Row);
    }
  if (!Sources.empty()) {
    TBusyCursor Busy(*FServices.Screen);
    std::vector<TMeasureReport> Reports = FConverter.Measure(Sources);
    for (size_t I = 0; I < Measuring.size(); ++I)
      FMeasured[Measuring[I]] = Reports[I];
  }
  std::vector<TSongLength> Lengths;
  for (size_t Row : SelectedRows()) {
    const TMeasureReport& Report = *FMeasured[Row];
    Lengths.push_back(
        {Rows[Row].File, Report.Error.empty() ? std::optional<double>(Report.Seconds) : std::nullopt});
  }
  return Lengths;
}

void TBatchRun::RowActionClick() {
  if (RowAction == nullptr || !btnShape.Enabled())
    return;
  const std::vector<TSongLength> Lengths = SelectedLengths();
  const std::vector<size_t> Selected = SelectedRows();
  const TSongShape& First = FPlan[Selected.front()].Shape;
  bool Shared =
      std::all_of(Selected.begin(), Selected.end(), [&](size_t Row) { return FPlan[Row].Shape == First; });
  TShapeFields Fields = Shared ? FieldsOf(First) : TShapeFields{};
  for (;;) {
    if (!FServices.ShapeDialog->Execute(LengthsText(Lengths), Fields))
      return;
    TShapeChoice Choice = ShapeFromFields(Fields, Lengths);
    if (Choice.Refusal.empty()) {
      for (size_t Row : Selected) {
        FPlan[Row].Shape = Choice.Shape;
        TBatchRow Text = Rows[Row];
        Text.Shape = ShapeText(Choice.Shape);
        ShowRow(Row, Text);
      }
      return;
    }
    FServices.MessageBoxes->Show(Choice.Refusal, L"Trim and Fade", TMsgButtons::OK, TMsgIcon::Warning);
  }
}

void TBatchRun::Report(const std::function<void(TReported&)>& Change) {
  {
    std::lock_guard<std::mutex> Lock(FLock);
    Change(FReported);
  }
  if (Wake)
    Wake();
}

// On the run's thread: everything it learns goes through Report; the results and the error are read by
// the window's thread only after it has joined this one.
void TBatchRun::Run() {
  try {
    TBatchOptions Options;
    Options.Cancel = &FCancel;
    if (FMatch && !FTarget.Measured) {
      Report([](TReported& R) { R.Measuring = true; });
      TDefinitionLoudness Measured = MeasureDefinition(
          FPack, FConverter, 0,
          [this](size_t Done, size_t Total) {
            Report([&](TReported& R) {
              R.Measured = Done;
              R.ToMeasure = Total;
            });
          },
          &FCancel);
      if (Measured.Cancelled) {
        FResult.Cancelled = true;
        Report([](TReported& R) { R.Ended = true; });
        return;
      }
      FTarget.Measured = true;
      FTarget.Value = Measured.Target;
      Report([&](TReported& R) {
        R.Measuring = false;
        R.Target = Measured.Target;
      });
    }
    if (FMatch)
      Options.Target = FTarget.Value;
    Options.SongStep = [this](size_t I, TSongStep Step) { Report([&](TReported& R) { R.Steps[I] = Step; }); };
    Options.SongDone = [this](const TSongResult& Song, size_t I, size_t) {
      Report([&](TReported& R) { R.Done[I] = Song; });
    };
    FResult = ImportBatch(FPack, FSession, FPlan, FConverter, Options);
  } catch (...) {
    FError = std::current_exception();
  }
  Report([](TReported& R) { R.Ended = true; });
}

void TBatchRun::ShowTargetCaption(const TReported& Now) {
  if (!Now.Target)
    return;
  chkMatchLoudness.SetCaption(std::wstring(kMatchCaption) + L" (" +
                              (*Now.Target ? L"target " + DecimalText(**Now.Target, 1) + L" LUFS"
                                           : std::wstring(L"none has a loudness to match")) +
                              L")");
}

TBatchRow TBatchRun::RowText(size_t Row, const TReported& Now) const {
  TBatchRow Text = Rows[Row];
  if (Now.Done[Row]) {
    const TSongResult& Song = *Now.Done[Row];
    bool Imported = Song.State == TSongResult::Imported;
    if (Imported) // where it went: a song that failed before it leaves its new sample to the next
      Text.Song = SongText(FArchiveNames, Song.Song);
    Text.Loudness = Song.LoudnessBefore ? DecimalText(*Song.LoudnessBefore, 1) + L" LUFS"
                    : Imported && FMatch && Now.Target && **Now.Target ? L"silence"
                                                                       : L"";
    Text.Gain = Song.Gain
                    ? DecimalText(*Song.Gain, 2, true) + L" dB" + (Song.HeldBack ? L" (peak limit)" : L"")
                    : L"";
    Text.Result = ResultText(Song);
  } else if (Now.Ended) {
    Text.Result = L"Not imported";
  } else if (Now.Steps[Row]) {
    Text.Result = StepText(*Now.Steps[Row]);
  }
  return Text;
}

void TBatchRun::ShowRow(size_t Row, const TBatchRow& Text) {
  if (Rows[Row] == Text)
    return;
  Rows[Row] = Text;
  if (RowChanged)
    RowChanged(Row);
}

void TBatchRun::Poll() {
  if (!Started() || Ended())
    return;
  TReported Now;
  {
    std::lock_guard<std::mutex> Lock(FLock);
    Now = FReported;
  }
  ShowTargetCaption(Now);
  for (size_t I = 0; I < Rows.size(); ++I)
    ShowRow(I, RowText(I, Now));
  size_t Done = static_cast<size_t>(
      std::count_if(Now.Done.begin(), Now.Done.end(), [](const auto& Song) { return Song.has_value(); }));
  if (Now.Ended) {
    EndRun();
    Progress.Show(static_cast<int64_t>(Done), static_cast<int64_t>(Rows.size()));
    ShowEnd();
  } else if (Now.Measuring) {
    Progress.Show(static_cast<int64_t>(Now.Measured), static_cast<int64_t>(Now.ToMeasure));
    if (!FCancel)
      Status.SetText(L"Measuring the loudness of the definition's songs: " + std::to_wstring(Now.Measured) +
                     L" of " + std::to_wstring(Now.ToMeasure));
  } else {
    Progress.Show(static_cast<int64_t>(Done), static_cast<int64_t>(Rows.size()));
    if (!FCancel)
      Status.SetText(L"Importing: " + std::to_wstring(Done) + L" of " + std::to_wstring(Rows.size()) +
                     L" done");
  }
}

void TBatchRun::ShowEnd() {
  size_t Imported = FResult.ImportedCount();
  size_t Failed =
      static_cast<size_t>(std::count_if(FResult.Songs.begin(), FResult.Songs.end(),
                                        [](const auto& S) { return S.State == TSongResult::Failed; }));
  TBatchWindowModel::ShowEnd(FError, L"The import stopped: ",
                             L"Imported " + std::to_wstring(Imported) + L" of " +
                                 std::to_wstring(Rows.size()) + L" file(s)",
                             Failed, FResult.Cancelled);
}
