// The soundtrack window's logic on the demo game with the real converter, in a scripted window: the rows,
// a cancelled measuring, sorting, a double-click, and Match Loudness as one step of the edit history.

#include "app/LevelsWindow.h"
#include "base/Paths.h"
#include "platform/Process.h"
#include "tests/app/EditorFixture.h"
#include "tools/make-demo/Demo.h"
#include "workflows/KeptOriginals.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#ifdef ORVIK_REAL_SX_FOLDER

using namespace fixtures;

namespace {

// The real converter; measuring runs after the first wait until the gate opens.
class THeldMeasures : public IConverterProcess {
public:
  explicit THeldMeasures(const std::string& Folder) : FReal(Folder) {}
  TConverterRun Run(const std::wstring& Parameters) override {
    if (Parameters.rfind(L"-measure", 0) == 0) {
      std::unique_lock<std::mutex> Hold(FLock);
      if (FMeasures++ > 0)
        FOpened.wait(Hold, [&] { return Open; });
    }
    return FReal.Run(Parameters);
  }
  void OpenGate() {
    std::lock_guard<std::mutex> Hold(FLock);
    Open = true;
    FOpened.notify_all();
  }
  bool Open = false;

private:
  TSystemConverterProcess FReal;
  std::mutex FLock;
  std::condition_variable FOpened;
  int FMeasures = 0;
};

// Shows the window as the real one does (its measuring starts) and hands it to Script.
class TScriptedLevelsWindow : public ILevelsWindow {
public:
  void ShowModal(TLevelsWindow& Window) override {
    Window.Workers = 1;
    Window.Wake = [this] {
      std::lock_guard<std::mutex> Hold(FLock);
      FPending = true;
      FWoken.notify_one();
    };
    Window.Show();
    Script(Window);
    WaitForEnd(Window);
    EXPECT_TRUE(Window.btnCloseClick());
  }
  // Polls as the window's timer does until the run has ended; once CancelWhen says so after a poll, presses
  // Cancel and runs AfterCancel.
  void WaitForEnd(TLevelsWindow& Window, const std::function<bool()>& CancelWhen = {},
                  const std::function<void()>& AfterCancel = {}) {
    bool Cancelled = false;
    for (int Polls = 0; Window.Running() && Polls < 2400; ++Polls) {
      std::unique_lock<std::mutex> Hold(FLock);
      FWoken.wait_for(Hold, std::chrono::milliseconds(50), [&] { return FPending; });
      FPending = false;
      Hold.unlock();
      Window.Poll();
      if (!Cancelled && CancelWhen && CancelWhen()) {
        Cancelled = true;
        EXPECT_EQ(Window.btnClose.Caption(), L"Cancel");
        EXPECT_FALSE(Window.btnCloseClick()) << "the window stays until the songs in hand are done";
        AfterCancel();
      }
    }
    ASSERT_FALSE(Window.Running());
  }
  std::function<void(TLevelsWindow&)> Script;

private:
  std::mutex FLock;
  std::condition_variable FWoken;
  bool FPending = false;
};

std::optional<double> Number(const std::wstring& Cell) {
  if (Cell.empty() || Cell == L"silence")
    return std::nullopt;
  const size_t Colon = Cell.find(L':');
  return Colon != std::wstring::npos
             ? std::stod(Cell.substr(0, Colon)) * 60 + std::stod(Cell.substr(Colon + 1))
             : std::stod(Cell);
}

class LevelsWindowTest : public EditorTest {
protected:
  LevelsWindowTest() {
    demo::MakeDemo(Dir.File("demo"));
    Demo = JoinPath(JoinPath(Dir.File("demo"), "audio"), "streams.dat");
    LevelsWindow = &Window;
    ConverterProcess = &Process;
    Form = NewForm(&RealRunner, RealFolder);
    TKeptOriginals(Demo, "").Decline();
    Open(Demo);
  }
  ~LevelsWindowTest() override { Process.OpenGate(); }
  Bytes Archive(const char* Name) const { return ReadFile(JoinPath(ExtractFilePath(Demo), Name)); }
  // The rows' cells of Column in the order shown.
  static std::vector<std::wstring> Shown(const TLevelsWindow& W, size_t Column) {
    std::vector<std::wstring> Cells;
    for (size_t Row : W.Order())
      Cells.push_back(W.Cell(Row, Column));
    return Cells;
  }

  std::string RealFolder =
      JoinPath(platform::ProgramFolder(), ORVIK_REAL_SX_FOLDER) + platform::PathDelimiter();
  std::string Demo;
  THeldMeasures Process{RealFolder};
  TScriptedLevelsWindow Window;
};

} // namespace

TEST_F(LevelsWindowTest, MeasuresSortsAndMatchesTheSelectedSongsInOneUndoStep) {
  const Bytes Frontend = Archive("frontend.big"), Ingame = Archive("ingame.big"),
              Replay = Archive("replay.big");
  Window.Script = [&](TLevelsWindow& W) {
    // Twelve songs; the theme plays in two streams. Cancel once the first four are in: they stay.
    ASSERT_EQ(W.Rows().size(), 12u);
    EXPECT_EQ(W.Rows()[0].Song, L"frontend.big\\theme.asf");
    EXPECT_EQ(W.Rows()[0].Streams, L"Stream 0, sample 0; stream 2, sample 3");
    EXPECT_EQ(W.Rows()[0].Description, L"The Offside Trap - Kick Off");
    std::vector<std::wstring> Early;
    Window.WaitForEnd(
        W,
        [&] {
          if (W.Cell(3, TLevelsWindow::colLoudness).empty())
            return false;
          for (size_t Row = 0; Row < 4; ++Row)
            Early.push_back(W.Cell(Row, TLevelsWindow::colLoudness));
          return true;
        },
        [&] { Process.OpenGate(); });
    ASSERT_EQ(Early.size(), 4u);
    for (size_t Row = 0; Row < 4; ++Row)
      EXPECT_EQ(W.Cell(Row, TLevelsWindow::colLoudness), Early[Row]);
    EXPECT_TRUE(W.Cell(11, TLevelsWindow::colLoudness).empty());
    EXPECT_NE(W.Status.Text().find(L"stopped by Cancel"), std::wstring::npos) << WideToAnsi(W.Status.Text());
    ASSERT_TRUE(W.btnMeasure.Enabled());
    W.btnMeasureClick();
    Window.WaitForEnd(W);
    ASSERT_TRUE(W.AllMeasured());
    EXPECT_EQ(W.Progress.Permille(), 1000) << "every song measured, the bar full";
    // Each row's numbers are its own song's: two bars at the demo's tempo, the level against the median.
    const double Tempos[] = {118, 100, 90, 76, 128, 124, 140, 150, 110, 70, 132, 96};
    const double Median = *W.Median();
    for (size_t Row = 0; Row < 12; ++Row) {
      EXPECT_NEAR(*Number(W.Cell(Row, TLevelsWindow::colDuration)), 8 * 60 / Tempos[Row], 0.51) << Row;
      EXPECT_NEAR(*Number(W.Cell(Row, TLevelsWindow::colLevel)),
                  *Number(W.Cell(Row, TLevelsWindow::colLoudness)) - Median, 0.101);
    }

    // Clicks on headers, each sorting by what its cells say.
    const struct {
      size_t Column;
      bool Descending;
    } Sorts[] = {{TLevelsWindow::colLoudness, false}, {TLevelsWindow::colLoudness, true},
                 {TLevelsWindow::colDuration, false}, {TLevelsWindow::colPeak, false},
                 {TLevelsWindow::colSong, false},     {TLevelsWindow::colSong, true}};
    for (const auto& Sort : Sorts) {
      W.HeaderClick(Sort.Column);
      ASSERT_EQ(W.SortDescending(), Sort.Descending);
      const std::vector<std::wstring> Cells = Shown(W, Sort.Column);
      for (size_t I = 1; I < Cells.size(); ++I) {
        SCOPED_TRACE(WideToAnsi(Cells[I - 1] + L" / " + Cells[I]));
        if (Sort.Column == TLevelsWindow::colSong)
          EXPECT_TRUE(Sort.Descending ? Cells[I - 1] >= Cells[I] : Cells[I - 1] <= Cells[I]);
        else
          EXPECT_TRUE(Sort.Descending ? Number(Cells[I - 1]) >= Number(Cells[I])
                                      : Number(Cells[I - 1]) <= Number(Cells[I]));
      }
    }
    W.RowDoubleClick(5);
    EXPECT_EQ(Form->SelectedSample(), Form->Pack()->Streams(1)->Samples(1));

    // A target outside the converter's range runs nothing; then the theme and two songs of the match go to
    // -22 LUFS (each quieter: none is at its peak limit already).
    W.SelectionChange({0, 4, 5});
    W.cboTarget.UserSelect(1);
    for (const wchar_t* Typed : {L"", L"loud", L"-80", L"11", L"-1-2"}) {
      W.edtTarget.SetText(Typed);
      W.btnMatchClick();
      EXPECT_FALSE(W.Running()) << WideToAnsi(Typed);
      EXPECT_NE(W.Status.Text().find(L"from -70 to 10"), std::wstring::npos) << WideToAnsi(Typed);
    }
    EXPECT_FALSE(Form->History().CanUndo());
    W.edtTarget.SetText(L" -22,0 ");
    W.btnMatchClick();
    Window.WaitForEnd(W);
    EXPECT_EQ(W.Status.Text(), L"Re-levelled 3 of 3 song(s) to -22.0 LUFS.");
    // Each within 0.5 LU of the target, or short of it with its peak at the limit.
    for (size_t Row : {0, 4, 5}) {
      const std::wstring Result = W.Cell(Row, TLevelsWindow::colResult);
      SCOPED_TRACE(WideToAnsi(Result));
      EXPECT_EQ(Result.rfind(L"Gain ", 0), 0u);
      if (Result.find(L"held back by the peak limit") != std::wstring::npos)
        EXPECT_NEAR(*Number(W.Cell(Row, TLevelsWindow::colPeak)), -1, 0.3);
      else
        EXPECT_NEAR(*Number(W.Cell(Row, TLevelsWindow::colLoudness)), -22, 0.5);
    }
    EXPECT_TRUE(W.Cell(1, TLevelsWindow::colResult).empty());
  };
  Run([&] { Form->actViewSoundtrackExecute(); });
  ASSERT_TRUE(Boxes.Shown.empty()) << WideToAnsi(Boxes.Shown[0].Text);
  EXPECT_EQ(Archive("replay.big"), Replay) << "no song of the replay archive was selected";
  EXPECT_NE(Archive("frontend.big"), Frontend);
  EXPECT_TRUE(Form->DefinitionChanged() && Form->ArchivesChanged());

  // One step takes the three songs back.
  Form->ApplicationEventsIdle();
  EXPECT_EQ(Form->actEditUndo.Caption(), L"Undo Match Loudness");
  Run([&] { Form->actEditUndoExecute(); });
  EXPECT_FALSE(Form->History().CanUndo());
  EXPECT_EQ(Archive("frontend.big"), Frontend);
  EXPECT_EQ(Archive("ingame.big"), Ingame);
  EXPECT_FALSE(Form->DefinitionChanged() || Form->ArchivesChanged());
}

#endif
