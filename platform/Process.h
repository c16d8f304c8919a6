#pragma once
// Child processes and the program's own location.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// Starts Program with Parameters in WorkingFolder and waits for it to end. The command line is a double
// quote, Program, a double quote, one blank, then Parameters as they are. Windows: CreateProcessW with no
// inherited handles, CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, the caller's environment and
// STARTF_USESHOWWINDOW with ShowMode; natively posix_spawn with the command line split by the same quoting
// rule (double quotes group, nothing is escaped). Returns false when the process could not be started.
// The exit code is not read. With WhileWaiting, the wait on Windows also wakes for the thread's message
// queue (paint, timer and input messages) and calls it each time, so that a window can keep painting;
// natively it is not called.
//
// With ErrorOutput, the program's standard error is a pipe whose bytes (the first 64 KiB) end up in
// ErrorOutput; its standard input and output then lead nowhere. The pipe's write end is the one handle the
// program inherits: on Windows it alone is inheritable and it alone is listed for the program
// (PROC_THREAD_ATTRIBUTE_HANDLE_LIST), natively every other descriptor is closed on exec. The pipe is
// read while the program runs, so it never blocks on a full pipe; the call returns once the program has
// ended and the last copy of the write end is closed.
bool ExecuteAndWait(const std::wstring& Program, const std::wstring& Parameters,
                    const std::wstring& WorkingFolder, uint16_t ShowMode,
                    const std::function<void()>& WhileWaiting = {}, std::string* ErrorOutput = nullptr);

// What a captured child process gave.
struct TCapturedRun {
  int ExitCode = 0;
  std::string Output, Errors; // its standard output and standard error, as bytes
};

// Starts Program with Parameters in WorkingFolder as ExecuteAndWait does, but with no console of its own
// (Windows: DETACHED_PROCESS, so that no console host holds its handles after it ends) and its standard
// output and standard error each going into a scratch file that is read back into Run and
// deleted (the system deletes it when the last handle closes, even if this process dies). Safe to call
// from several threads at once: a child inherits only its own two files. Returns false when the process
// could not be started (or its scratch files not made).
bool ExecuteCapturing(const std::wstring& Program, const std::wstring& Parameters,
                      const std::wstring& WorkingFolder, TCapturedRun& Run);

// Splits a command line into arguments: blanks separate, double quotes group and are dropped.
std::vector<std::wstring> SplitCommandLine(const std::wstring& CommandLine);

// The folder of the running program's executable, with its trailing delimiter, in the ANSI code page.
std::string ProgramFolder();

// The suffix of executable file names: ".exe" on Windows, empty natively.
const char* ExecutableSuffix();

// This process's command line as the system gave it (Windows: GetCommandLineW; natively the arguments
// joined by blanks).
std::wstring OwnCommandLine(int Argc, char** Argv);

} // namespace platform
