#include "platform/Process.h"

namespace platform {

std::vector<std::wstring> SplitCommandLine(const std::wstring& CommandLine) {
  std::vector<std::wstring> Arguments;
  std::wstring Current;
  bool Quoted = false;
  bool Pending = false;
  for (wchar_t C : CommandLine) {
    if (C == L'"') {
      Quoted = !Quoted;
      Pending = true;
    } else if ((C == L' ' || C == L'\t') && !Quoted) {
      if (Pending)
        Arguments.push_back(Current);
      Current.clear();
      Pending = false;
    } else {
      Current += C;
      Pending = true;
    }
  }
  if (Pending)
    Arguments.push_back(Current);
  return Arguments;
}

} // namespace platform
