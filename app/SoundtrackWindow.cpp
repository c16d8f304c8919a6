#include "app/SoundtrackWindow.h"

#include "base/Text.h"

#include <algorithm>

namespace {

// The formats offered, in the list's order: those whose files carry the songs' titles.
const char* const kFormats[] = {"flac", "wave", "aiff"};
const wchar_t* const kFormatNames[] = {L"FLAC (*.flac)", L"Wave (*.wav)", L"AIFF (*.aif)"};

std::wstring SongText(const TSoundtrackSong& Song) {
  std::wstring Entry = AnsiToWide(Song.File->Name);
  if (Song.Tags.Title.empty())
    return Entry;
  return AnsiToWide(SongTitle(Song.Tags)) + L" (" + Entry + L")";
}

} // namespace

TSoundtrackRun::TSoundtrackRun(TStreamPack& Pack, IConverterProcess& Process, std::string Folder,
                               std::function<bool(const std::vector<std::string>&)> AskReplace)
    : TBatchWindowModel(L"Export Soundtrack", {{L"File", 300}, {L"Song", 300}, {L"Result", 160}},
                        {L"&Export", -1, L"Write the songs"}),
      cboFormat(L"The format of the songs' files"), FPack(Pack), FFolder(std::move(Folder)),
      FAskReplace(std::move(AskReplace)), FConverter(Process) {
  for (const wchar_t* Name : kFormatNames)
    cboFormat.Add(Name);
  cboFormat.SetItemIndex(0);
  cboFormat.OnChange = [this] { Plan(); };
  Choice = &cboFormat;
  ChoiceLabel = L"&Format:";
  Plan();
  Status.SetText(std::to_wstring(FPlan.Songs.size()) + L" song(s) to write to " + AnsiToWide(FFolder) + L".");
  btnStart.SetEnabled(!FPlan.Songs.empty());
}

TSoundtrackRun::~TSoundtrackRun() {
  StopRun();
}

const TConverterFormat& TSoundtrackRun::Format() const {
  int Index = std::clamp(cboFormat.ItemIndex(), 0, static_cast<int>(std::size(kFormats)) - 1);
  return *FindConverterFormat(kFormats[Index]);
}

// The rows of the format chosen: its files' names change with it.
void TSoundtrackRun::Plan() {
  FPlan = PlanSoundtrack(FPack, Format(), TSongNames::Description);
  FRows.resize(FPlan.Songs.size());
  for (size_t I = 0; I < FPlan.Songs.size(); ++I)
    ShowRow(I, {AnsiToWide(FPlan.Songs[I].Name), SongText(FPlan.Songs[I]), L"Waiting"});
}

std::wstring TSoundtrackRun::Cell(size_t Row, size_t Column) const {
  const TRow& R = FRows.at(Row);
  return Column == 0 ? R.File : Column == 1 ? R.Song : Column == 2 ? R.Result : L"";
}

void TSoundtrackRun::ShowRow(size_t Row, TRow Text) {
  TRow& Now = FRows[Row];
  if (Now.File == Text.File && Now.Song == Text.Song && Now.Result == Text.Result)
    return;
  Now = std::move(Text);
  if (RowChanged)
    RowChanged(Row);
}

void TSoundtrackRun::btnStartClick() {
  if (Started() || !btnStart.Enabled())
    return;
  std::vector<std::string> There = ExistingFiles(FPlan, FFolder);
  if (!There.empty() && !FAskReplace(There))
    return;
  FReported.Converting.assign(FPlan.Songs.size(), false);
  FReported.Done.assign(FPlan.Songs.size(), std::nullopt);
  StartRun([this] { Run(); });
}

// On the run's thread; the results and the error are read by the window's thread only after it has
// joined this one.
void TSoundtrackRun::Run() {
  auto Report = [this](const std::function<void(TReported&)>& Change) {
    {
      std::lock_guard<std::mutex> Lock(FLock);
      Change(FReported);
    }
    if (Wake)
      Wake();
  };
  try {
    TSoundtrackOptions Options;
    Options.Cancel = &FCancel;
    Options.SongStarted = [&](size_t I) { Report([&](TReported& R) { R.Converting[I] = true; }); };
    Options.SongDone = [&](const TSoundtrackSongResult& Song, size_t I, size_t) {
      Report([&](TReported& R) { R.Done[I] = Song; });
    };
    FResult = ExportSoundtrack(FPlan, FFolder, FConverter, Format(), Options);
  } catch (...) {
    FError = std::current_exception();
  }
  Report([](TReported& R) { R.Ended = true; });
}

void TSoundtrackRun::Poll() {
  if (!Started() || Ended())
    return;
  TReported Now;
  {
    std::lock_guard<std::mutex> Lock(FLock);
    Now = FReported;
  }
  size_t Done = 0;
  for (size_t I = 0; I < FRows.size(); ++I) {
    TRow Text = FRows[I];
    if (Now.Done[I]) {
      ++Done;
      Text.Result = Now.Done[I]->State == TSoundtrackSongResult::Written
                        ? L"Written"
                        : L"Failed: " + AnsiToWide(Now.Done[I]->Failure);
    } else if (Now.Ended) {
      Text.Result = L"Not written";
    } else if (Now.Converting[I]) {
      Text.Result = L"Converting...";
    }
    ShowRow(I, std::move(Text));
  }
  Progress.Show(static_cast<int64_t>(Done), static_cast<int64_t>(FRows.size()));
  if (Now.Ended) {
    EndRun();
    ShowEnd();
  } else if (!FCancel) {
    Status.SetText(L"Exporting: " + std::to_wstring(Done) + L" of " + std::to_wstring(FRows.size()) +
                   L" done");
  }
}

void TSoundtrackRun::ShowEnd() {
  const auto Failed =
      static_cast<size_t>(std::count_if(FResult.Songs.begin(), FResult.Songs.end(), [](const auto& S) {
        return S.State == TSoundtrackSongResult::Failed;
      }));
  TBatchWindowModel::ShowEnd(FError, L"The export stopped: ",
                             L"Wrote " + std::to_wstring(FResult.WrittenCount()) + L" of " +
                                 std::to_wstring(FRows.size()) + L" song(s) and " +
                                 std::to_wstring(FPlan.Playlists.size()) + L" playlist(s) to " +
                                 AnsiToWide(FFolder),
                             Failed, FResult.Cancelled);
}
