#include "app/LevelsWindow.h"

#include "app/ErrorReport.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "workflows/LoudnessTarget.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cwctype>

const TLevelsWindow::TColumnInfo TLevelsWindow::Columns[ColumnCount] = {
    {L"Song", 140, false},   {L"Streams", 140, false},  {L"Description", 160, false}, {L"Duration", 60, true},
    {L"Loudness", 80, true}, {L"True peak", 124, true}, {L"Level", 120, false},       {L"Result", 120, false},
};

namespace {

const wchar_t* const kTypedTarget = L"This loudness (LUFS):";

// "-14.2" with Digits after the point, "+3.50" with a sign.
std::wstring LevelFigure(double Value, int Digits, bool Signed = false) {
  if (std::abs(Value) < 0.5 * std::pow(10.0, -Digits))
    Value = 0; // no "-0.0"
  char Text[32];
  std::snprintf(Text, sizeof Text, Signed ? "%+.*f" : "%.*f", Digits, Value);
  return AnsiToWide(Text);
}

// "3:07": minutes and seconds, rounded to the second.
std::wstring DurationText(double Seconds) {
  const long long Whole = std::llround(std::max(0.0, Seconds));
  char Text[32];
  std::snprintf(Text, sizeof Text, "%lld:%02lld", Whole / 60, Whole % 60);
  return AnsiToWide(Text);
}

std::wstring StreamsText(const std::vector<TSampleRef>& Samples) {
  std::wstring Text;
  for (const TSampleRef& Ref : Samples)
    Text += (Text.empty() ? L"Stream " : L"; stream ") + std::to_wstring(Ref.Stream) + L", sample " +
            std::to_wstring(Ref.Sample);
  return Text;
}

// "Singer - Name" of the first sample that has a description.
std::wstring DescriptionText(const TStreamPack& Pack, const std::vector<TSampleRef>& Samples) {
  for (const TSampleRef& Ref : Samples) {
    const TStreamData& Sample = *Pack.Streams(Ref.Stream)->Samples(Ref.Sample);
    if (Sample.DescriptionIndex < 0 || Sample.DescriptionIndex >= Pack.DescriptionCount())
      continue;
    const TStreamDescription& Description = *Sample.Description();
    const std::string Singer = FieldText(Description.Singer), Name = FieldText(Description.Name);
    return AnsiToWide(Singer.empty() || Name.empty() ? Singer + Name : Singer + " - " + Name);
  }
  return L"";
}

std::wstring RelevelText(const TRelevelSong& Song) {
  switch (Song.State) {
  case TRelevelSong::Failed:
    return L"Failed: " + AnsiToWide(Song.Failure);
  case TRelevelSong::Cancelled:
    return L"Not re-levelled";
  case TRelevelSong::Unchanged:
    if (!Song.LoudnessBefore)
      return L"Unchanged: no loudness (silence, or under 0.4 s)";
    return Song.HeldBack ? L"Unchanged: its peak is at the limit" : L"Unchanged: at the target";
  case TRelevelSong::Relevelled:
    break;
  }
  return L"Gain " + LevelFigure(Song.Gain.value_or(0), 2, true) + L" dB" +
         (Song.HeldBack ? L", held back by the peak limit" : L"");
}

std::wstring Lower(std::wstring Text) {
  for (wchar_t& C : Text)
    C = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(C)));
  return Text;
}

// A number typed by a user: an optional sign, digits, and a decimal point or comma; blanks around.
std::optional<double> TypedNumber(const std::wstring& Typed) {
  const size_t First = Typed.find_first_not_of(L' '), Last = Typed.find_last_not_of(L' ');
  if (First == std::wstring::npos || Last - First > 12)
    return std::nullopt;
  std::string Text;
  for (wchar_t C : Typed.substr(First, Last - First + 1))
    Text += C == L',' ? '.' : C == L'\x2212' ? '-' : C < 128 ? static_cast<char>(C) : '?';
  const size_t Digits = Text[0] == '-' || Text[0] == '+' ? 1 : 0;
  if (Text.size() == Digits || Text.find_first_not_of(".0123456789", Digits) != std::string::npos ||
      std::count(Text.begin(), Text.end(), '.') > 1 || Text.find_first_of("0123456789") == std::string::npos)
    return std::nullopt;
  return std::strtod(Text.c_str(), nullptr);
}

} // namespace

TLevelsWindow::TLevelsWindow(TStreamPack& Pack, TDefinitionSession* Session, IConverterProcess& Process)
    : FPack(Pack), FSession(Session), FConverter(Process) {
  std::vector<const TEAStreamFile*> Entries;
  for (int32_t S = 0; S < Pack.StreamCount(); ++S)
    for (int32_t K = 0; K < Pack.Streams(S)->SampleCount(); ++K) {
      const TStreamData& Sample = *Pack.Streams(S)->Samples(K);
      if (Sample.ArchiveIndex < 0 || Sample.ArchiveIndex >= Pack.ArchiveCount() ||
          Sample.StreamFile() == nullptr)
        continue;
      const auto Found = std::find(Entries.begin(), Entries.end(), Sample.StreamFile());
      if (Found != Entries.end()) {
        FRows[static_cast<size_t>(Found - Entries.begin())].Samples.push_back({S, K});
        continue;
      }
      Entries.push_back(Sample.StreamFile());
      TLevelsRow Row;
      Row.ArchiveIndex = Sample.ArchiveIndex;
      Row.Entry = Sample.StreamFile()->Name;
      Row.Song = AnsiToWide(ExtractFileName(Pack.Archives(Row.ArchiveIndex)->FileName) + "\\" + Row.Entry);
      Row.Samples.push_back({S, K});
      FRows.push_back(std::move(Row));
    }
  for (TLevelsRow& Row : FRows) {
    Row.Streams = StreamsText(Row.Samples);
    Row.Description = DescriptionText(Pack, Row.Samples);
  }
  FOrder.resize(FRows.size());
  FPosition.resize(FRows.size());
  for (size_t I = 0; I < FRows.size(); ++I)
    FOrder[I] = FPosition[I] = I;
  edtTarget.SetText(L"-16.0");
  cboTarget.Add(L"");
  cboTarget.Add(kTypedTarget);
  cboTarget.SetItemIndex(0);
  ShowMedianChoice();
  btnMatch.SetEnabled(false);
  Status.SetText(std::to_wstring(FRows.size()) + L" song(s).");
}

TLevelsWindow::~TLevelsWindow() {
  FCancel = true;
  if (FThread.joinable())
    FThread.join();
}

// ---- what the rows show ----

std::optional<double> TLevelsWindow::Median() const {
  std::vector<double> Levels;
  for (const TLevelsRow& Row : FRows)
    if (Row.Measure && Row.Measure->Integrated)
      Levels.push_back(*Row.Measure->Integrated);
  return ::Median(std::move(Levels));
}

bool TLevelsWindow::AllMeasured() const {
  return std::all_of(FRows.begin(), FRows.end(),
                     [](const TLevelsRow& Row) { return Row.Measure.has_value(); });
}

std::optional<double> TLevelsWindow::Level(size_t Row) const {
  const std::optional<TMeasureReport>& Measure = FRows.at(Row).Measure;
  const std::optional<double> Middle = Median();
  if (!Measure || !Measure->Integrated || !Middle)
    return std::nullopt;
  return *Measure->Integrated - *Middle;
}

bool TLevelsWindow::PeakOver(size_t Row) const {
  const std::optional<TMeasureReport>& Measure = FRows.at(Row).Measure;
  return Measure && Measure->TruePeak && *Measure->TruePeak > kPeakLimit;
}

std::wstring TLevelsWindow::Cell(size_t Row, size_t Column) const {
  const TLevelsRow& R = FRows.at(Row);
  const bool Measured = R.Measure && R.Measure->Error.empty();
  switch (Column) {
  case colSong:
    return R.Song;
  case colStreams:
    return R.Streams;
  case colDescription:
    return R.Description;
  case colDuration:
    return Measured ? DurationText(R.Measure->Seconds) : L"";
  case colLoudness:
    return !Measured               ? L""
           : R.Measure->Integrated ? LevelFigure(*R.Measure->Integrated, 1) + L" LUFS"
                                   : L"silence";
  case colPeak:
    if (!Measured)
      return L"";
    return R.Measure->TruePeak
               ? LevelFigure(*R.Measure->TruePeak, 1) + L" dBTP" + (PeakOver(Row) ? L" (over -1)" : L"")
               : L"silence";
  case colLevel:
    return Level(Row) ? LevelFigure(*Level(Row), 1, true) + L" LU" : L"";
  case colResult:
    return R.Result;
  }
  return L"";
}

// ---- sorting ----

void TLevelsWindow::HeaderClick(size_t Column) {
  if (Column >= ColumnCount)
    return;
  FDescending = Column == FSortColumn && !FDescending;
  FSortColumn = Column;
  Sort();
}

// Numbers sort by value and texts without regard to case, either way round; a song without the number
// sorts last both ways, and equal ones stay in the definition's order.
void TLevelsWindow::Sort() {
  auto Number = [this](size_t Row) -> std::optional<double> {
    const std::optional<TMeasureReport>& M = FRows[Row].Measure;
    if (!M || !M->Error.empty())
      return std::nullopt;
    switch (FSortColumn) {
    case colDuration:
      return M->Seconds;
    case colLoudness:
    case colLevel:
      return M->Integrated;
    case colPeak:
      return M->TruePeak;
    }
    return std::nullopt;
  };
  auto Before = [&](size_t A, size_t B) {
    if (FSortColumn == colStreams) {
      const TSampleRef &X = FRows[A].Samples[0], &Y = FRows[B].Samples[0];
      return FDescending ? std::pair(Y.Stream, Y.Sample) < std::pair(X.Stream, X.Sample)
                         : std::pair(X.Stream, X.Sample) < std::pair(Y.Stream, Y.Sample);
    }
    if (FSortColumn == colSong || FSortColumn == colDescription || FSortColumn == colResult) {
      const std::wstring X = Lower(Cell(A, FSortColumn)), Y = Lower(Cell(B, FSortColumn));
      return FDescending ? Y < X : X < Y;
    }
    const std::optional<double> X = Number(A), Y = Number(B);
    if (!X || !Y)
      return X.has_value() && !Y.has_value();
    return FDescending ? *Y < *X : *X < *Y;
  };
  for (size_t I = 0; I < FOrder.size(); ++I)
    FOrder[I] = I;
  std::stable_sort(FOrder.begin(), FOrder.end(), Before);
  for (size_t I = 0; I < FOrder.size(); ++I)
    FPosition[FOrder[I]] = I;
  if (OrderChanged)
    OrderChanged();
}

// ---- events ----

void TLevelsWindow::SelectionChange(std::vector<size_t> Rows) {
  Rows.erase(std::remove_if(Rows.begin(), Rows.end(), [this](size_t Row) { return Row >= FRows.size(); }),
             Rows.end());
  std::sort(Rows.begin(), Rows.end());
  FSelection = std::move(Rows);
  ShowButtons();
}

void TLevelsWindow::RowDoubleClick(size_t Row) {
  if (Row >= FRows.size() || Running() || !OnSelectSample)
    return;
  const TSampleRef Sample = FRows[Row].Samples[0];
  OnSelectSample(Sample);
  Status.SetText(L"Stream " + std::to_wstring(Sample.Stream) + L", sample " + std::to_wstring(Sample.Sample) +
                 L" is selected in the main window.");
}

void TLevelsWindow::Show() {
  std::vector<size_t> All(FRows.size());
  for (size_t I = 0; I < All.size(); ++I)
    All[I] = I;
  if (!All.empty())
    Start([this, All] { Measure(All, TReported::Measuring); }, false);
}

void TLevelsWindow::btnMeasureClick() {
  if (Running())
    return;
  std::vector<size_t> Rows;
  for (size_t I = 0; I < FRows.size(); ++I)
    if (!FRows[I].Measure)
      Rows.push_back(I);
  if (!Rows.empty())
    Start([this, Rows] { Measure(Rows, TReported::Measuring); }, false);
}

std::optional<double> TLevelsWindow::TypedTarget() {
  const std::optional<double> Typed = TypedNumber(edtTarget.Text());
  if (Typed && *Typed >= kLowestTargetLufs && *Typed <= kHighestTargetLufs)
    return Typed;
  Status.SetText(L"Type the target loudness as a number from " + LevelFigure(kLowestTargetLufs, 0) + L" to " +
                 LevelFigure(kHighestTargetLufs, 0) + L" (LUFS), not \"" + edtTarget.Text() + L"\".");
  return std::nullopt;
}

void TLevelsWindow::btnMatchClick() {
  if (Running() || FSession == nullptr || FSelection.empty())
    return;
  std::optional<double> Target;
  if (cboTarget.ItemIndex() == 1) {
    Target = TypedTarget();
    if (!Target)
      return;
  } else if (AllMeasured()) { // else the songs are measured for their median first
    Target = Median();
  }
  if (OnMatchStarts)
    OnMatchStarts();
  const std::vector<size_t> Rows = FSelection;
  FMatched = Rows.size();
  for (size_t Row : Rows) {
    FRows[Row].Result = L"Waiting";
    if (RowChanged)
      RowChanged(Row);
  }
  Start([this, Rows, Target] { Match(Rows, Target); }, true);
}

bool TLevelsWindow::btnCloseClick() {
  if (!Running())
    return true;
  FCancel = true;
  ShowButtons();
  Status.SetText(L"Stopping after the songs in hand...");
  return false;
}

void TLevelsWindow::StopAndWait() {
  if (!Running())
    return;
  FCancel = true;
  if (FThread.joinable())
    FThread.join();
  Poll();
}

// ---- the run ----

void TLevelsWindow::Start(std::function<void()> Body, bool Matching) {
  FCancel = false;
  FError = nullptr;
  FWrote = false;
  FReported = {};
  FMatching = Matching;
  FRelevelled = FFailed = 0;
  FRunning = true;
  Status.SetText(L"Starting...");
  Progress.Show(0, 1);
  FThread = std::thread([this, Body = std::move(Body)] {
    try {
      Body();
    } catch (...) {
      FError = std::current_exception();
    }
    Report([](TReported& R) { R.Ended = true; });
  });
  ShowButtons();
}

void TLevelsWindow::Report(const std::function<void(TReported&)>& Change) {
  {
    std::lock_guard<std::mutex> Lock(FLock);
    Change(FReported);
  }
  if (Wake)
    Wake();
}

// On the run's thread. Each song is read through its first sample, as the archive holds it now.
void TLevelsWindow::Measure(std::vector<size_t> Rows, TReported::TPhase Phase) {
  std::vector<TEAStreamFile*> Files;
  for (size_t Row : Rows) {
    const TSampleRef Ref = FRows[Row].Samples[0];
    Files.push_back(FPack.Streams(Ref.Stream)->Samples(Ref.Sample)->StreamFile());
  }
  Report([&](TReported& R) {
    R.Phase = Phase;
    R.Done = 0;
    R.Total = Rows.size();
  });
  MeasureSongs(
      FPack, Files, FConverter, Workers,
      [this](size_t Done, size_t) { Report([&](TReported& R) { R.Done = Done; }); }, &FCancel,
      [&](const TSongLoudness& Song, size_t I) {
        Report([&](TReported& R) { R.Measured.emplace_back(Rows[I], Song.Measure); });
      });
}

// On the run's thread.
void TLevelsWindow::Match(const std::vector<size_t>& Rows, std::optional<double> Target) {
  std::vector<TSampleRef> Samples;
  for (size_t Row : Rows)
    Samples.push_back(FRows[Row].Samples[0]);
  TRelevelOptions Options;
  Options.Target = Target;
  Options.Cancel = &FCancel;
  Options.Workers = Workers;
  Options.Measuring = [this](size_t Done, size_t Total) {
    Report([&](TReported& R) {
      R.Phase = TReported::MeasuringGame;
      R.Done = Done;
      R.Total = Total;
    });
  };
  Options.Targeted = [&](double Value) {
    Report([&](TReported& R) {
      R.Phase = TReported::Relevelling;
      R.Target = Value;
      R.Done = 0;
      R.Total = Rows.size();
    });
  };
  std::vector<size_t> Again; // the rows re-levelled, to be measured again
  Options.SongDone = [&](const TRelevelSong& Song, size_t I, size_t) {
    if (Song.State == TRelevelSong::Relevelled) {
      FWrote = true;
      Again.push_back(Rows[I]);
    }
    Report([&](TReported& R) {
      R.Relevelled.emplace_back(Rows[I], Song);
      R.Done = I + 1;
    });
  };
  TRelevelResult Result;
  try {
    Result = RelevelSongs(FPack, *FSession, Samples, FConverter, Options);
  } catch (...) {
    FWrote = true; // a song may have been written before the error
    throw;
  }
  if (!Result.Target)
    Report([](TReported& R) { R.NoTarget = true; });
  if (!FCancel && !Again.empty())
    Measure(Again, TReported::MeasuringAgain);
}

// ---- what the window shows of the run ----

void TLevelsWindow::Poll() {
  if (!FRunning)
    return;
  TReported Now;
  {
    std::lock_guard<std::mutex> Lock(FLock);
    Now = FReported;
    FReported.Measured.clear();
    FReported.Relevelled.clear();
  }
  for (const auto& [Row, Song] : Now.Relevelled) {
    FRows[Row].Result = RelevelText(Song);
    // Its numbers are those from before until it is measured again.
    if (Song.State == TRelevelSong::Relevelled)
      FRows[Row].Measure.reset();
    FRelevelled += Song.State == TRelevelSong::Relevelled;
    FFailed += Song.State == TRelevelSong::Failed;
    if (RowChanged)
      RowChanged(Row);
  }
  for (const auto& [Row, Measure] : Now.Measured) {
    FRows[Row].Measure = Measure;
    if (!Measure.Error.empty())
      FRows[Row].Result = L"Not measured: " + AnsiToWide(Measure.Error);
  }
  // A new loudness moves the median, and with it every row's level.
  if (!Now.Measured.empty()) {
    ShowMedianChoice();
    for (size_t Row = 0; Row < FRows.size() && RowChanged; ++Row)
      RowChanged(Row);
  }
  if (Now.Ended) {
    if (FThread.joinable())
      FThread.join();
    FRunning = false;
    // The songs done by the end, which a poll during the run may not have shown yet.
    Progress.Show(static_cast<int64_t>(Now.Done), static_cast<int64_t>(Now.Total));
    ShowEnd();
    if (FMatching && OnMatchEnds)
      OnMatchEnds(FWrote);
    Sort();
    return;
  }
  ShowProgress(Now);
}

void TLevelsWindow::ShowProgress(const TReported& Now) {
  Progress.Show(static_cast<int64_t>(Now.Done), static_cast<int64_t>(Now.Total));
  if (FCancel)
    return;
  const std::wstring Of = std::to_wstring(Now.Done) + L" of " + std::to_wstring(Now.Total);
  switch (Now.Phase) {
  case TReported::Measuring:
    Status.SetText(L"Measuring the songs: " + Of);
    break;
  case TReported::MeasuringGame:
    Status.SetText(L"Measuring the songs for their median: " + Of);
    break;
  case TReported::Relevelling:
    Status.SetText(L"Matching the loudness to " + LevelFigure(Now.Target.value_or(0), 1) + L" LUFS: " + Of +
                   L" done");
    break;
  case TReported::MeasuringAgain:
    Status.SetText(L"Measuring the re-levelled songs: " + Of);
    break;
  }
}

void TLevelsWindow::ShowEnd() {
  TReported Now;
  {
    std::lock_guard<std::mutex> Lock(FLock);
    Now = FReported;
  }
  const bool Cancelled = FCancel;
  std::wstring Text;
  if (FMatching) {
    for (size_t Row = 0; Row < FRows.size(); ++Row)
      if (FRows[Row].Result == L"Waiting") {
        FRows[Row].Result = L"Not re-levelled";
        if (RowChanged)
          RowChanged(Row);
      }
    if (Now.NoTarget)
      Text = L"No song has a loudness to match: nothing is re-levelled";
    else
      Text = L"Re-levelled " + std::to_wstring(FRelevelled) + L" of " + std::to_wstring(FMatched) +
             L" song(s)" + (Now.Target ? L" to " + LevelFigure(*Now.Target, 1) + L" LUFS" : L"");
  } else {
    const size_t Measured = static_cast<size_t>(std::count_if(
        FRows.begin(), FRows.end(), [](const TLevelsRow& Row) { return Row.Measure.has_value(); }));
    Text = std::to_wstring(FRows.size()) + L" song(s), " + std::to_wstring(Measured) + L" measured";
    if (const std::optional<double> Middle = Median())
      Text += L"; their median " + LevelFigure(*Middle, 1) + L" LUFS";
  }
  if (FFailed > 0)
    Text += L"; " + std::to_wstring(FFailed) + L" failed";
  if (Cancelled)
    Text += L"; stopped by Cancel";
  Status.SetText(FError ? (FMatching ? L"Match Loudness stopped: " : L"Measuring stopped: ") +
                              ErrorReportText(FError)
                        : Text + L".");
  ShowButtons();
}

void TLevelsWindow::ShowButtons() {
  const bool Going = Running();
  btnMatch.SetEnabled(!Going && FSession != nullptr && !FSelection.empty());
  btnMeasure.SetEnabled(!Going && !AllMeasured());
  btnClose.SetCaption(Going ? L"Cancel" : L"Close");
  btnClose.SetEnabled(!Going || !FCancel);
}

void TLevelsWindow::ShowMedianChoice() {
  const std::optional<double> Middle = Median();
  std::wstring Text = L"The median of the songs";
  if (Middle)
    Text += L" (" + LevelFigure(*Middle, 1) + L" LUFS" + (AllMeasured() ? L")" : L" so far)");
  const int Index = cboTarget.ItemIndex();
  cboTarget.BeginUpdate();
  cboTarget.Clear();
  cboTarget.Add(Text);
  cboTarget.Add(kTypedTarget);
  cboTarget.SetItemIndex(Index);
  cboTarget.EndUpdate();
}
