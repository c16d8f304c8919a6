#pragma once
// The converter as a batch runs it, for tests that must know where a batch stands when they act.

#include "base/Text.h"
#include "workflows/Converter.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

// The converter of a program folder, with a record of what each run was asked and a gate that holds back
// the runs of HeldAction (conversions unless set) whose parameters hold Held until it opens.
class TGatedProcess : public IConverterProcess {
public:
  explicit TGatedProcess(const std::string& ProgramFolder) : FReal(ProgramFolder) {}
  TConverterRun Run(const std::wstring& Wide) override {
    {
      std::string Parameters = WideToAnsi(Wide);
      std::unique_lock<std::mutex> Hold(FLock);
      Runs.push_back(Parameters);
      if (!Held.empty() && Parameters.find(HeldAction) != std::string::npos &&
          Parameters.find(Held) != std::string::npos)
        FOpened.wait(Hold, [&] { return Open; });
    }
    return FReal.Run(Wide);
  }
  void OpenGate() {
    std::lock_guard<std::mutex> Hold(FLock);
    Open = true;
    FOpened.notify_all();
  }
  size_t RunsWith(const std::string& Text) {
    std::lock_guard<std::mutex> Hold(FLock);
    return static_cast<size_t>(std::count_if(
        Runs.begin(), Runs.end(), [&](const std::string& R) { return R.find(Text) != std::string::npos; }));
  }
  std::string Held;
  std::string HeldAction = "-pcstream";
  bool Open = false;
  std::vector<std::string> Runs;

private:
  TSystemConverterProcess FReal;
  std::mutex FLock;
  std::condition_variable FOpened;
};
