// The selected song's picture through the window's logic, with the fake converter behind a gate: each step
// shows the picture of the selected entry's bytes (the fake's outline gives their count), measured only when
// that song was not seen before; and the strip knows whether the preview plays the song shown.

#include "tests/app/EditorFixture.h"
#include "tests/app/GatedProcess.h"

#include "platform/Process.h"

#include <chrono>
#include <functional>
#include <thread>

using namespace fixtures;

namespace {

class SongPictureTest : public EditorTest {
protected:
  SongPictureTest() {
    ConverterProcess = &Gate;
    Form = NewForm();
    Form->picSong.Attach([] {}); // the test polls
    OpenStandard();
  }
  ~SongPictureTest() override {
    Gate.OpenGate();
    Form.reset();
  }
  // Polls as the window does until the measure ends.
  void WaitForPicture() {
    for (int I = 0; I < 1000 && Form->picSong.State() == TSongPicture::TState::Measuring; ++I) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      Form->picSong.Poll();
    }
  }

  TGatedProcess Gate{platform::ProgramFolder()};
};

} // namespace

TEST_F(SongPictureTest, ASongIsMeasuredOnceAndTheLatestSelectionWins) {
  std::string Song = Dir.File("song.wav");
  WriteFile(Song, Pattern(333, 20));
  Gate.HeldAction = Gate.Held = "-measure";
  struct TStep {
    const char* What;
    std::function<void()> Act;
    bool Measured;   // the picture is not there at once
    size_t Measures; // converter runs in all after the step
  } Steps[] = {
      {"a2 asked for while a1 is measured, b1 in between",
       [&] {
         Select({0, 0, 0});
         while (Gate.RunsWith("-measure") == 0)
           std::this_thread::sleep_for(std::chrono::milliseconds(5));
         Select({0, 1, 0});
         Select({0, 0, 1});
         Gate.OpenGate();
       },
       true, 2},
      {"b1, never measured",
       [&] {
         Select({0, 1, 0});
       },
       true, 3},
      {"a1, seen before",
       [&] {
         Select({0, 0, 0});
       },
       false, 3},
      {"a1 imported anew",
       [&] {
         Dialogs.OpenAnswers.push_back(W(Song));
         Form->actSampleImportExecute();
       },
       true, 4},
      {"the import undone", [&] { Form->actEditUndoExecute(); }, false, 4},
      {"the import made again", [&] { Form->actEditRedoExecute(); }, false, 4},
      {"saved: the archive rebuilt, its entries moved",
       [&] {
         Boxes.Answers = {TMsgResult::No}; // no preload update
         Form->actFileSaveExecute();
         Boxes.Shown.clear();
         Select({0, 1, 0});
         Select({0, 0, 0});
       },
       false, 4},
  };
  for (const TStep& Step : Steps) {
    SCOPED_TRACE(Step.What);
    Run(Step.Act);
    ASSERT_TRUE(Boxes.Shown.empty()) << WideToAnsi(Boxes.Shown[0].Text);
    EXPECT_EQ(Form->picSong.State() == TSongPicture::TState::Measuring, Step.Measured);
    WaitForPicture();
    ASSERT_EQ(Form->picSong.State(), TSongPicture::TState::Shown) << WideToAnsi(Form->picSong.Text());
    EXPECT_EQ(Gate.RunsWith("-measure"), Step.Measures);
    const TMeasureReport& Report = Form->picSong.Report();
    ASSERT_EQ(Report.Envelope.size(), 1u);
    EXPECT_EQ(Report.Envelope[0].size(), kSongOutlinePoints);
    EXPECT_EQ(static_cast<uint32_t>(Report.Envelope[0][0].Max), Form->SelectedSample()->StreamFile()->Size);
  }
  EXPECT_EQ(Form->picSong.Text(), L"0:01.0    EA-XA    22050 Hz    mono    -20.0 LUFS");
  EXPECT_EQ(Form->picSong.PeakText(), L"peak -6.0 dBTP");
  // The strip says that the preview plays while the song played is the one shown.
  Run([&] { Form->actSamplePreviewExecute(); });
  EXPECT_TRUE(Form->picSong.Playing());
  Select({0, 1, 0});
  EXPECT_FALSE(Form->picSong.Playing());
  Select({0, 0, 0});
  EXPECT_TRUE(Form->picSong.Playing());
  Form->StopPreview();
  EXPECT_FALSE(Form->picSong.Playing());
  Form->CloseDefinition();
  EXPECT_EQ(Form->picSong.State(), TSongPicture::TState::Hidden);
}
