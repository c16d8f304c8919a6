#include "platform/Process.h"
#include "platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
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

std::vector<std::string> ArgumentsOf(const std::wstring& Program, const std::wstring& Parameters) {
  std::vector<std::string> Arguments;
  for (const std::wstring& Argument : SplitCommandLine(L"\"" + Program + L"\" " + Parameters))
    Arguments.push_back(WideToAnsi(Argument));
  return Arguments;
}

// Starts the program with Actions (a change of folder is added): the one place that starts a child. Returns
// posix_spawn's error.
int Spawn(std::vector<std::string> Arguments, const std::wstring& WorkingFolder,
          posix_spawn_file_actions_t& Actions, pid_t& Child) {
  std::vector<char*> Argv;
  for (std::string& Argument : Arguments)
    Argv.push_back(Argument.data());
  Argv.push_back(nullptr);
  std::string Folder = WideToAnsi(WorkingFolder);
  posix_spawn_file_actions_addchdir_np(&Actions, Folder.c_str());
  return posix_spawn(&Child, Argv[0], &Actions, nullptr, Argv.data(), environ);
}

int WaitFor(pid_t Child) {
  int Status = 0;
  while (waitpid(Child, &Status, 0) < 0) {
  }
  return Status;
}

// A child that could not run its program (a missing converter) ends at once with 127.
bool Started(int Status) {
  return Status != -1 && !(WIFEXITED(Status) && WEXITSTATUS(Status) == 127);
}

// A file that is gone as soon as it is made: its descriptor alone keeps it, closed on exec unless
// handed to the child explicitly.
int AnonymousFile() {
  std::string Folder;
  const char* Dir = std::getenv("TMPDIR");
  Folder = Dir != nullptr && *Dir != '\0' ? Dir : "/tmp";
  std::string Template = Folder + "/~capXXXXXX";
  int Fd = ::mkostemp(Template.data(), O_CLOEXEC);
  if (Fd >= 0)
    ::unlink(Template.c_str());
  return Fd;
}

std::string ReadFromStart(int Fd) {
  std::string Text;
  char Buffer[4096];
  ::lseek(Fd, 0, SEEK_SET);
  for (ssize_t Got; (Got = ::read(Fd, Buffer, sizeof Buffer)) > 0;)
    Text.append(Buffer, static_cast<size_t>(Got));
  return Text;
}

} // namespace

bool ExecuteAndWait(const std::wstring& Program, const std::wstring& Parameters,
                    const std::wstring& WorkingFolder, uint16_t, const std::function<void()>&,
                    std::string* ErrorOutput) {
  // Both ends are closed on exec; the child's standard error is a copy of the write end, which is not.
  int Pipe[2] = {-1, -1};
  if (ErrorOutput != nullptr) {
    ErrorOutput->clear();
    if (pipe2(Pipe, O_CLOEXEC) != 0)
      return false;
  }
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  if (ErrorOutput != nullptr) {
    posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&Actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&Actions, Pipe[1], 2);
  }
  pid_t Child = 0;
  int Error = Spawn(ArgumentsOf(Program, Parameters), WorkingFolder, Actions, Child);
  posix_spawn_file_actions_destroy(&Actions);
  if (ErrorOutput != nullptr) {
    close(Pipe[1]);
    if (Error == 0)
      ReadAll(Pipe[0], *ErrorOutput);
    close(Pipe[0]);
  }
  return Error == 0 && Started(WaitFor(Child));
}

bool ExecuteCapturing(const std::wstring& Program, const std::wstring& Parameters,
                      const std::wstring& WorkingFolder, TCapturedRun& Run) {
  int Out = AnonymousFile(), Err = AnonymousFile();
  int Status = -1;
  if (Out >= 0 && Err >= 0) {
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_adddup2(&Actions, Out, 1);
    posix_spawn_file_actions_adddup2(&Actions, Err, 2);
    pid_t Child = 0;
    if (Spawn(ArgumentsOf(Program, Parameters), WorkingFolder, Actions, Child) == 0)
      Status = WaitFor(Child);
    posix_spawn_file_actions_destroy(&Actions);
    Run.Output = ReadFromStart(Out);
    Run.Errors = ReadFromStart(Err);
    Run.ExitCode = Status != -1 && WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  }
  for (int Fd : {Out, Err})
    if (Fd >= 0)
      ::close(Fd);
  return Started(Status);
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
