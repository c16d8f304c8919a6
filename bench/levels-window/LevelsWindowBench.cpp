// The soundtrack window (View > Soundtrack...) of the real editor filled for the demo game and for a
// generated game of many long songs: the time from the menu command until the list shows, and until every
// song's loudness is in it; beside the converter alone measuring the same songs in one run.
//
// Usage: orvik_levels_bench <scratch folder> [SONGS] [SECONDS] [RUNS]
// Runs on a display, as the editor does; the converter lies in sx\ beside the program. Makes the demo game
// and a game of SONGS (default 50) generated songs of SECONDS (default 180) each, stored as EA-XA stereo at
// 22,050 Hz in one archive, then opens each RUNS (default 3) times. Fails unless every row of the list shows
// a loudness and the converter measured every song.
#include "archive/uEAStream.h"
#include "base/Paths.h"
#include "base/Streams.h"
#include "base/Text.h"
#include "converter/Converter.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "tools/make-demo/Demo.h"
#include "ui/ErrorGuard.h"
#include "ui/LevelsWindow.h"
#include "ui/MainWindow.h"
#include "ui/WinServices.h"
#include "workflows/Converter.h"

#include <chrono>
#include <cmath>
#include <commctrl.h>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

double Since(TClock::time_point Start) {
  return std::chrono::duration<double>(TClock::now() - Start).count();
}

// Song Index: two tones and a little noise, its level swelling and fading, each song at its own level.
sx::TAudio Song(int Index, int Seconds) {
  sx::TAudio Audio;
  Audio.SampleRate = 22050;
  Audio.Channels = 2;
  const size_t Frames = static_cast<size_t>(Seconds) * Audio.SampleRate;
  Audio.Samples.resize(Frames * 2);
  const double Level = 0.1 + 0.6 * ((Index * 7) % 50) / 50.0, Pi = 3.14159265358979;
  uint32_t Noise = 12345u + static_cast<uint32_t>(Index);
  for (size_t F = 0; F < Frames; ++F) {
    const double T = static_cast<double>(F) / Audio.SampleRate;
    const double Swell = Level * (0.6 + 0.4 * std::sin(2 * Pi * T / (Index + 7)));
    Noise = Noise * 1664525u + 1013904223u;
    const double Hiss = (static_cast<double>(Noise >> 16) / 65536.0 - 0.5) * 0.2;
    const double Left = std::sin(2 * Pi * (180 + 13 * Index) * T) * 0.5 + Hiss;
    const double Right = std::sin(2 * Pi * (270 + 19 * Index) * T) * 0.5 + Hiss;
    Audio.Samples[2 * F] = static_cast<int16_t>(std::lround(32767 * Swell * Left));
    Audio.Samples[2 * F + 1] = static_cast<int16_t>(std::lround(32767 * Swell * Right));
  }
  return Audio;
}

// A game in Folder whose one stream plays Songs songs of Seconds, all in songs.big.
std::string MakeGame(const std::string& Folder, int Songs, int Seconds) {
  const std::string Audio = JoinPath(Folder, "audio");
  std::filesystem::create_directories(Audio);
  const std::string ArchivePath = JoinPath(Audio, "songs.big"), Scratch = JoinPath(Audio, "song.~asf");
  TEAStream Archive;
  Archive.SaveToFile(ArchivePath);
  Archive.LoadFromFile(ArchivePath);
  sx::TCommand Command;
  Command.Kind = sx::TOutputKind::EAStream;
  Command.Codec = sx::TEACodec::EAXA;
  for (int I = 0; I < Songs; ++I) {
    TMemoryStream(sx::WriteAudio(Song(I, Seconds), Command)).SaveToFile(Scratch);
    Archive.AddFile(Scratch, "song" + std::to_string(I) + ".asf");
    Archive.CommitOffsets();
  }
  DeleteIfPresent(Scratch);
  TStreamPack Pack(IncludeTrailingPathDelimiter(Audio));
  TEAStream* Songs_ = Pack.AddArchive("songs.big");
  TEAMusicStream* Stream = Pack.AddStream();
  for (int32_t I = 0; I < Songs_->FileCount(); ++I)
    Stream->AddSample(Songs_->Files(I));
  const std::string Definition = JoinPath(Audio, "streams.dat");
  Pack.SaveToFile(Definition);
  return Definition;
}

std::wstring Text(HWND Window) {
  wchar_t Buffer[512] = {};
  ::GetWindowTextW(Window, Buffer, 512);
  return Buffer;
}

// What the timer sees of the window: when its list first showed, when every song was measured, and the
// loudness cells then.
struct TWatch {
  TClock::time_point Start;
  double Shown = 0, Filled = 0;
  std::vector<std::wstring> Loudness;
} Watch;

void CALLBACK Look(HWND, UINT, UINT_PTR, DWORD) {
  HWND Window = ::FindWindowW(ui::LevelsWindowClass, nullptr);
  if (Window == nullptr || Watch.Filled > 0)
    return;
  if (Watch.Shown == 0)
    Watch.Shown = Since(Watch.Start);
  if (Text(::GetDlgItem(Window, ui::IDC_LEVELS_STATUS)).find(L" measured") == std::wstring::npos)
    return;
  Watch.Filled = Since(Watch.Start);
  HWND List = ::GetDlgItem(Window, ui::IDC_LEVELS_LIST);
  for (int Row = 0; Row < static_cast<int>(::SendMessageW(List, LVM_GETITEMCOUNT, 0, 0)); ++Row) {
    wchar_t Cell[64] = {};
    LVITEMW Item{};
    Item.iSubItem = TLevelsWindow::colLoudness;
    Item.pszText = Cell;
    Item.cchTextMax = 64;
    ::SendMessageW(List, LVM_GETITEMTEXTW, static_cast<WPARAM>(Row), reinterpret_cast<LPARAM>(&Item));
    Watch.Loudness.push_back(Cell);
  }
  ::PostMessageW(Window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

// Opens Definition in the editor and View > Soundtrack... Runs times; prints each, then the converter alone.
void Bench(const char* What, const std::string& Definition, int Runs) {
  ui::TWinServices Services;
  ui::SetErrorReportBoxes(&Services.MessageBoxes);
  ui::TMainWindow Window(Services.Services());
  Services.SetMainWindow(Window.Handle());
  ::ShowWindow(Window.Handle(), SW_SHOW);
  TfrmORVStreams& Form = Window.Form();
  Form.actFileOpenDialog.FileName = AnsiToWide(Definition);
  Form.actFileOpenAccept();
  if (Form.Pack() == nullptr)
    throw std::runtime_error("the definition did not open");
  std::vector<std::string> Entries;
  TStreamPack& Pack = *Form.Pack();
  for (int32_t A = 0; A < Pack.ArchiveCount(); ++A)
    for (int32_t I = 0; I < Pack.Archives(A)->FileCount(); ++I) {
      Entries.push_back(
          JoinPath(ExtractFilePath(Definition), "entry" + std::to_string(Entries.size()) + ".asf"));
      Pack.Archives(A)->Files(I)->SaveToFile(Entries.back());
    }
  for (int Run = 0; Run < Runs; ++Run) {
    Watch = {};
    Watch.Start = TClock::now();
    const UINT_PTR Timer = ::SetTimer(nullptr, 0, 10, &Look);
    ui::Guarded([&] { Form.actViewSoundtrackExecute(); });
    ::KillTimer(nullptr, Timer);
    size_t Measured = 0;
    for (const std::wstring& Cell : Watch.Loudness)
      Measured += Cell.find(L" LUFS") != std::wstring::npos;
    if (Watch.Filled == 0 || Measured != Entries.size())
      throw std::runtime_error(std::string(What) + ": " + std::to_string(Measured) + " of " +
                               std::to_string(Entries.size()) + " songs show a loudness");
    std::printf("%s: %zu songs; the list shown after %.3f s, every song measured after %.2f s\n", What,
                Entries.size(), Watch.Shown, Watch.Filled);
    std::fflush(stdout);
  }
  TSystemConverterProcess Process(platform::ProgramFolder());
  TConverter Converter(Process);
  const TClock::time_point Start = TClock::now();
  const std::vector<TMeasureReport> Reports = Converter.Measure(Entries);
  const double Alone = Since(Start);
  for (const TMeasureReport& Report : Reports)
    if (!Report.Error.empty() || !Report.Integrated)
      throw std::runtime_error("the converter could not measure " + Report.Input + ": " + Report.Error);
  std::printf("%s: the converter alone, every song in one run: %.2f s\n", What, Alone);
  std::fflush(stdout);
  for (const std::string& Entry : Entries)
    DeleteIfPresent(Entry);
}

} // namespace

int main(int Argc, char** Argv) {
  if (Argc < 2) {
    std::fprintf(stderr, "usage: orvik_levels_bench <scratch folder> [SONGS] [SECONDS] [RUNS]\n");
    return 2;
  }
  const std::string Scratch = Argv[1];
  const int Songs = Argc > 2 ? std::atoi(Argv[2]) : 50, Seconds = Argc > 3 ? std::atoi(Argv[3]) : 180,
            Runs = Argc > 4 ? std::atoi(Argv[4]) : 3;
  if (Songs < 1 || Songs > 1000 || Seconds < 1 || Seconds > 3600 || Runs < 1 || Runs > 100) {
    std::fprintf(stderr, "orvik_levels_bench: 1 to 1000 songs of 1 to 3600 s, 1 to 100 runs\n");
    return 2;
  }
  INITCOMMONCONTROLSEX Controls{sizeof Controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&Controls);
  try {
    demo::MakeDemo(JoinPath(Scratch, "demo"));
    Bench("demo", JoinPath(JoinPath(JoinPath(Scratch, "demo"), "audio"), "streams.dat"), Runs);
    const TClock::time_point Start = TClock::now();
    const std::string Game = MakeGame(JoinPath(Scratch, "game"), Songs, Seconds);
    std::printf("(the game of %d songs of %d s made in %.1f s)\n", Songs, Seconds, Since(Start));
    const std::string What = std::to_string(Songs) + " songs of " + std::to_string(Seconds) + " s";
    Bench(What.c_str(), Game, Runs);
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "orvik_levels_bench: %s\n", Error.what());
    return 1;
  }
  return 0;
}
