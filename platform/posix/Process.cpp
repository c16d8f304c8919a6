#include "platform/Process.h"
#include "platform/Text.h"

#include <climits>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

bool ExecuteAndWait(const std::wstring& Program, const std::wstring& Parameters,
                    const std::wstring& WorkingFolder, uint16_t, const std::function<void()>&) {
  std::vector<std::string> Arguments;
  for (const std::wstring& Argument : SplitCommandLine(L"\"" + Program + L"\" " + Parameters))
    Arguments.push_back(WideToAnsi(Argument));
  std::vector<char*> Argv;
  for (std::string& Argument : Arguments)
    Argv.push_back(Argument.data());
  Argv.push_back(nullptr);

  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  std::string Folder = WideToAnsi(WorkingFolder);
  posix_spawn_file_actions_addchdir_np(&Actions, Folder.c_str());
  pid_t Child = 0;
  int Error = posix_spawn(&Child, Argv[0], &Actions, nullptr, Argv.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  if (Error != 0)
    return false;
  int Status = 0;
  while (waitpid(Child, &Status, 0) < 0) {
  }
  // A child that could not run its program (a missing converter) ends at once with 127.
  return !(WIFEXITED(Status) && WEXITSTATUS(Status) == 127);
}

std::string ProgramFolder() {
  char Buffer[PATH_MAX];
  ssize_t Length = readlink("/proc/self/exe", Buffer, sizeof Buffer - 1);
  std::string Path = Length > 0 ? std::string(Buffer, static_cast<size_t>(Length)) : std::string();
  return Path.substr(0, Path.rfind('/') + 1);
}

const char* ExecutableSuffix() {
  return "";
}

std::wstring OwnCommandLine(int Argc, char** Argv) {
  std::wstring Line;
  for (int I = 0; I < Argc; ++I)
    Line += (I > 0 ? L" " : L"") + AnsiToWide(Argv[I]);
  return Line;
}

} // namespace platform
