// The program's window over a generated definition, already open with a sample selected: for the README's
// screenshot and for timing a large definition by hand.
//
//   orvik_ui_showcase.exe FOLDER [SAMPLES | --demo]
//
// writes the definition and its archives into FOLDER (SAMPLES samples, 7 by default, spread over streams
// of at most 1000; with --demo, the demo game), opens it and runs the message loop until the window
// closes. FOLDER\timing.txt receives how long opening and selecting took.
#include "base/Text.h"
#include "tests/fixtures/Bigf.h"
#include "tests/fixtures/Definition.h"
#include "tools/make-demo/Demo.h"
#include "ui/ErrorGuard.h"
#include "ui/MessageLoop.h"
#include "ui/WinServices.h"

#include <chrono>
#include <commctrl.h>
#include <fstream>
#include <ole2.h>
#include <shellapi.h>

using namespace fixtures;

namespace {

// The open dialog confirms the generated definition once; every other dialog is the real one.
class TShowcaseDialogs : public ui::TWinDialogs {
public:
  bool ExecuteOpen(TFileDialogState& State) override {
    if (Path.empty())
      return TWinDialogs::ExecuteOpen(State);
    State.FileName = Path;
    Path.clear();
    return true;
  }
  std::wstring Path;
};

std::string WriteDefinition(const std::string& Folder, int Samples) {
  const char* Singers[] = {"The Quarter Notes", "Orvik Allstars", "Night Shift", "Blue Line Brass"};
  const char* Titles[] = {"Overtime", "Power Play", "Face Off", "Slap Shot", "Hat Trick", "Breakaway"};
  const char* Names[] = {"music.big", "crowd.big", "menu.big"};
  Definition Def;
  std::vector<std::vector<BigfEntry>> Archives(3);
  for (size_t A = 0; A < Archives.size(); ++A) {
    Def.Archives.push_back(Names[A]);
    for (int I = 0; I < Samples * 2 / 3 + 2; ++I) {
      std::string Number = std::to_string(1001 + I).substr(1);
      Archives[A].push_back({"song" + Number + ".asf", Pattern(64, static_cast<uint32_t>(A * 100000) + I)});
    }
  }
  for (int I = 0; I < 6; ++I)
    Def.Descriptions.push_back({Titles[I], Singers[I % 4], "Season " + std::to_string(2000 + I)});
  // Two of every three samples in music.big, the third in crowd.big; menu.big holds files no sample uses.
  size_t Next[2] = {0, 0};
  for (int I = 0; I < Samples; ++I) {
    if (I % 1000 == 0)
      Def.Streams.emplace_back();
    size_t A = I % 3 == 2 ? 1 : 0;
    Def.Streams.back().push_back(
        {BigfDataOffset(Archives[A], Next[A]++), static_cast<int32_t>(A), I % 7 - 1});
  }
  Def.Streams.emplace_back();
  for (size_t A = 0; A < Archives.size(); ++A)
    WriteFile(Folder + Names[A], MakeBigf(Archives[A]));
  WriteFile(Folder + "streams.dat", MakeDefinition(Def));
  return Folder + "streams.dat";
}

double Milliseconds(std::chrono::steady_clock::time_point Since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Since).count();
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int Show) {
  int Argc = 0;
  wchar_t** Argv = ::CommandLineToArgvW(::GetCommandLineW(), &Argc);
  if (Argc < 2)
    return 2;
  std::string Folder = WideToAnsi(Argv[1]);
  if (Folder.back() != '\\')
    Folder += '\\';
  bool Demo = Argc > 2 && std::wstring(Argv[2]) == L"--demo";
  int Samples = Argc > 2 && !Demo ? _wtoi(Argv[2]) : 7;
  ::LocalFree(Argv);

  ::OleInitialize(nullptr);
  INITCOMMONCONTROLSEX Controls{sizeof Controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&Controls);
  ui::TWinServices Services;
  TShowcaseDialogs Dialogs;
  if (Demo)
    demo::MakeDemo(Folder);
  Dialogs.Path = AnsiToWide(Demo ? Folder + "audio\\streams.dat" : WriteDefinition(Folder, Samples));
  TServices Used = Services.Services();
  Used.Dialogs = &Dialogs;
  ui::SetErrorReportBoxes(&Services.MessageBoxes);
  int ExitCode = 1;
  ui::Guarded([&] {
    ui::TMainWindow Window(Used);
    Services.SetMainWindow(Window.Handle());
    Dialogs.Owner = Window.Handle();
    Window.OnDestroyed = [] { ::PostQuitMessage(0); };
    ::ShowWindow(Window.Handle(), Show);
    std::ofstream Timing(Folder + "timing.txt");
    auto Start = std::chrono::steady_clock::now();
    Window.Form().actFileOpenExecute();
    Timing << Samples << " samples: open " << Milliseconds(Start) << " ms\n";
    TfrmORVStreams& Form = Window.Form();
    TTreeNode* Music = Form.treeFiles.Root(0)->Item(0);
    TTreeNode* Crowd = Form.treeFiles.Root(0)->Item(Form.treeFiles.Root(0)->Count() - 1);
    auto Time = [&](const char* What, int Count, auto&& Step) {
      auto Begin = std::chrono::steady_clock::now();
      for (int I = 0; I < Count; ++I)
        Step(I);
      Timing << What << ": " << Milliseconds(Begin) / Count << " ms each\n";
    };
    int Many = std::min(Music->Count(), 20);
    Time("select a sample of the same archive", Many, [&](int I) { Form.treeFiles.Select(Music->Item(I)); });
    Time("select a sample of another archive", 10,
         [&](int I) { Form.treeFiles.Select((I % 2 == 0 ? Crowd : Music)->Item(0)); });
    Time("select a stream", 10, [&](int I) { Form.treeFiles.Select(Form.treeFiles.Root(I % 2)); });
    Form.treeFiles.Select(Music->Item(Music->Count() > 1 ? 1 : 0));
    Timing.close();
    ExitCode = ui::RunMessageLoop(Window);
  });
  ::OleUninitialize();
  return ExitCode;
}
