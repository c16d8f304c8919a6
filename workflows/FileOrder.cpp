#include "workflows/FileOrder.h"

#include "base/Exceptions.h"
#include "base/Paths.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cctype>

namespace {

bool IsDigit(char C) {
  return C >= '0' && C <= '9';
}

char Lower(char C) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
}

// The digit run starting at At: its significant digits (leading zeros dropped) and where it ends.
std::string DigitRun(const std::string& Text, size_t& At, size_t& Zeros) {
  size_t Start = At;
  while (At < Text.size() && IsDigit(Text[At]))
    ++At;
  std::string Run = Text.substr(Start, At - Start);
  size_t First = Run.find_first_not_of('0');
  std::string Significant = First == std::string::npos ? "" : Run.substr(First);
  Zeros = Run.size() - Significant.size();
  return Significant;
}

// <0, 0 or >0 in natural order, ignoring case.
int NaturalCompare(const std::string& A, const std::string& B) {
  size_t I = 0, J = 0;
  while (I < A.size() && J < B.size()) {
    if (IsDigit(A[I]) && IsDigit(B[J])) {
      size_t ZerosA = 0, ZerosB = 0;
      std::string X = DigitRun(A, I, ZerosA), Y = DigitRun(B, J, ZerosB);
      if (X.size() != Y.size())
        return X.size() < Y.size() ? -1 : 1;
      if (int Order = X.compare(Y))
        return Order;
      if (ZerosA != ZerosB)
        return ZerosA < ZerosB ? -1 : 1;
      continue;
    }
    if (Lower(A[I]) != Lower(B[J]))
      return static_cast<unsigned char>(Lower(A[I])) < static_cast<unsigned char>(Lower(B[J])) ? -1 : 1;
    ++I;
    ++J;
  }
  return (I < A.size()) - (J < B.size());
}

bool IsFolder(const std::string& Path) {
  std::vector<std::string> Ignored;
  return !platform::IsFile(Path) && platform::FilesInFolder(Path, Ignored) == 0;
}

} // namespace

bool NaturalLess(const std::string& A, const std::string& B) {
  int Order = NaturalCompare(A, B);
  return Order != 0 ? Order < 0 : A < B;
}

bool IsAudioFileName(const std::string& Name) {
  std::string Extension = ExtractFileExt(Name);
  std::transform(Extension.begin(), Extension.end(), Extension.begin(), Lower);
  for (const char* Known : {".wav", ".wave", ".aif", ".aiff", ".aifc", ".mp3", ".flac", ".asf"})
    if (Extension == Known)
      return true;
  return false;
}

std::vector<std::string> ExpandInputs(const std::vector<std::string>& Paths) {
  std::vector<std::string> Files;
  for (const std::string& Path : Paths) {
    if (!IsFolder(Path)) {
      Files.push_back(Path);
      continue;
    }
    std::vector<std::string> Names;
    CheckOSError(platform::FilesInFolder(Path, Names));
    for (const std::string& Name : Names)
      if (IsAudioFileName(Name))
        Files.push_back(JoinPath(Path, Name));
  }
  std::stable_sort(Files.begin(), Files.end(), [](const std::string& A, const std::string& B) {
    const std::string NameA = ExtractFileName(A), NameB = ExtractFileName(B);
    return NaturalCompare(NameA, NameB) != 0 ? NaturalLess(NameA, NameB) : NaturalLess(A, B);
  });
  return Files;
}
