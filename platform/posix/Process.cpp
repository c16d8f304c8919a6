#include "platform/Process.h"
#include "platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

constexpr size_t ErrorOutputLimit = 64 * 1024;

// Reads the pipe until every write end is closed, keeping the first ErrorOutputLimit bytes.
void ReadAll(int Pipe, std::string& Output) {
  char Buffer[4096];
  for (;;) {
    ssize_t Got = read(Pipe, Buffer, sizeof Buffer);
    if (Got < 0 && errno == EINTR)
      continue;
    if (Got <= 0)
      return;
    Output.append(Buffer, std::min(static_cast<size_t>(Got), ErrorOutputLimit - Output.size()));
  }
}

} // namespace

bool ExecuteAndWait(const std::wstring& Program, const std::wstring& Parameters,
                    const std::wstring& WorkingFolder, uint16_t, const std::function<void()>&,
                    std::string* ErrorOutput) {
  std::vector<std::string> Arguments;
  for (const std::wstring& Argument : SplitCommandLine(L"\"" + Program + L"\" " + Parameters))
    Arguments.push_back(WideToAnsi(Argument));
  std::vector<char*> Argv;
  for (std::string& Argument : Arguments)
    Argv.push_back(Argument.data());
  Argv.push_back(nullptr);

  // Both ends are closed on exec; the child's standard error is a copy of the write end, which is not.
  int Pipe[2] = {-1, -1};
  if (ErrorOutput != nullptr) {
    ErrorOutput->clear();
    if (pipe2(Pipe, O_CLOEXEC) != 0)
      return false;
  }
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  std::string Folder = WideToAnsi(WorkingFolder);
  posix_spawn_file_actions_addchdir_np(&Actions, Folder.c_str());
  if (ErrorOutput != nullptr) {
    posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&Actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&Actions, Pipe[1], 2);
  }
  pid_t Child = 0;
  int Error = posix_spawn(&Child, Argv[0], &Actions, nullptr, Argv.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  if (ErrorOutput != nullptr) {
    close(Pipe[1]);
    if (Error == 0)
      ReadAll(Pipe[0], *ErrorOutput);
    close(Pipe[0]);
  }
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
