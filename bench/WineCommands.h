#pragma once
// What the benchmarks that run the Windows programs under Wine share: wall times, and command lines with
// Wine's paths.

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <sys/wait.h>

namespace winebench {

using TClock = std::chrono::steady_clock;

inline double Since(TClock::time_point Start) {
  return std::chrono::duration<double>(TClock::now() - Start).count();
}

// Appended rather than concatenated: GCC 12 at -O3 warns of an overlapping copy in "'" + std::string.
inline std::string Quoted(const std::string& Text) {
  return std::string(1, '\'').append(Text).append(1, '\'');
}

// The path as the Windows program sees it: Wine shows the root of the file system as drive Z:.
inline std::string WinePath(std::string Path) {
  for (char& C : Path)
    C = C == '/' ? '\\' : C;
  return Quoted(std::string("Z:").append(Path));
}

// Runs a shell command line; raises when it fails, with its exit code (or the signal that ended it).
inline void Run(const std::string& Line) {
  const int Status = std::system(Line.c_str());
  std::string Failure;
  if (Status == -1)
    Failure = "cannot start";
  else if (WIFSIGNALED(Status))
    Failure = std::string("ended by signal ").append(std::to_string(WTERMSIG(Status)));
  else if (WEXITSTATUS(Status) != 0)
    Failure = std::string("failed with exit code ").append(std::to_string(WEXITSTATUS(Status)));
  if (!Failure.empty())
    throw std::runtime_error(Failure.append(": ").append(Line));
}

} // namespace winebench
