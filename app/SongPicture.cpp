#include "app/SongPicture.h"

#include "base/Text.h"

#include <cmath>
#include <cstdio>

namespace {

// Peaks above this leave too little room for the decoder's overshoot on the player's side.
constexpr double kHighestSafePeak = -1.0;

// m:ss.s
std::wstring Duration(double Seconds) {
  const long long Tenths = std::llround(Seconds * 10);
  wchar_t Text[40];
  std::swprintf(Text, 40, L"%lld:%02lld.%lld", Tenths / 600, Tenths % 600 / 10, Tenths % 10);
  return Text;
}

std::wstring Level(double Value, const wchar_t* Unit) {
  wchar_t Text[40];
  std::swprintf(Text, 40, L"%.1f %ls", Value, Unit);
  return Text;
}

std::wstring ChannelsText(uint32_t Channels) {
  return Channels == 1 ? L"mono" : Channels == 2 ? L"stereo" : std::to_wstring(Channels) + L" channels";
}

} // namespace

TSongPicture::TSongPicture(std::function<IConverterProcess&()> Converter, size_t Points)
    : FConverter(std::move(Converter)), FPoints(Points) {}

TSongPicture::~TSongPicture() {
  Stop();
}

void TSongPicture::Attach(std::function<void()> Wake) {
  FWake = std::move(Wake);
}

void TSongPicture::Show(TEAStreamFile* Entry) {
  FSelected = {};
  if (!FWake)
    return;
  if (Entry == nullptr || Entry->Size == 0) {
    Set(TState::NoSong);
    return;
  }
  TEntrySong Song;
  try {
    Song = ReadEntrySong(*Entry);
  } catch (const Exception& E) {
    Set(TState::Unreadable, AnsiToWide(E.Message()));
    return;
  }
  FSelected = Song.Key;
  auto Kept = FKept.find(FSelected);
  if (Kept != FKept.end()) {
    ShowKept(Kept->second);
    return;
  }
  Request(std::move(Song));
  Set(TState::Measuring);
}

void TSongPicture::Hide() {
  FSelected = {};
  Set(TState::Hidden);
}

void TSongPicture::Forget() {
  {
    std::lock_guard<std::mutex> Hold(FLock);
    FPending.reset();
    FRunning.reset();
    FFinished.clear();
  }
  ++FGeneration;
  FKept.clear();
  Set(TState::Hidden);
}

void TSongPicture::Stop() {
  {
    std::lock_guard<std::mutex> Hold(FLock);
    FStopping = true;
    FPending.reset();
  }
  FWork.notify_all();
  if (FThread.joinable())
    FThread.join();
}

void TSongPicture::Poll() {
  std::vector<TFinished> Finished;
  {
    std::lock_guard<std::mutex> Hold(FLock);
    Finished.swap(FFinished);
  }
  for (TFinished& Done : Finished)
    if (Done.Generation == FGeneration)
      FKept[Done.Key] = std::move(Done.Report);
  auto Kept = FKept.find(FSelected);
  if (FState == TState::Measuring && Kept != FKept.end())
    ShowKept(Kept->second);
}

void TSongPicture::SetPlaying(bool Playing) {
  FPlaying = Playing;
  FPlayed = FSelected;
  if (Changed)
    Changed();
}

std::wstring TSongPicture::Text() const {
  switch (FState) {
  case TState::Hidden:
    return L"";
  case TState::NoSong:
    return L"No song: the sample's file in the archive is empty.";
  case TState::Measuring:
    return L"Measuring the song...";
  case TState::Unreadable:
    return L"The song cannot be read: " + FReason;
  case TState::Shown:
    break;
  }
  std::wstring Line = Duration(FReport.Seconds);
  for (const std::wstring& Part :
       {AnsiToWide(FReport.Codec),
        FReport.SampleRate != 0 ? std::to_wstring(FReport.SampleRate) + L" Hz" : L"",
        FReport.Channels != 0 ? ChannelsText(FReport.Channels) : L"",
        FReport.Integrated ? Level(*FReport.Integrated, L"LUFS") : L"silent"})
    if (!Part.empty())
      Line += L"    " + Part;
  return Line;
}

std::wstring TSongPicture::PeakText() const {
  return FState == TState::Shown && FReport.TruePeak ? L"peak " + Level(*FReport.TruePeak, L"dBTP") : L"";
}

bool TSongPicture::PeakOver() const {
  return FState == TState::Shown && FReport.TruePeak && *FReport.TruePeak > kHighestSafePeak;
}

void TSongPicture::Set(TState State, std::wstring Reason) {
  FState = State;
  FReason = std::move(Reason);
  if (State != TState::Shown)
    FReport = {};
  if (Changed)
    Changed();
}

void TSongPicture::ShowKept(const TMeasureReport& Report) {
  if (!Report.Error.empty()) {
    Set(TState::Unreadable, AnsiToWide(Report.Error));
    return;
  }
  FReport = Report;
  Set(TState::Shown);
}

void TSongPicture::Request(TEntrySong Song) {
  IConverterProcess& Process = FConverter();
  {
    std::lock_guard<std::mutex> Hold(FLock);
    if (FRunning == Song.Key) {
      FPending.reset();
      return;
    }
    FPending = TRequest{std::move(Song.Key), std::move(Song.Bytes), &Process, FGeneration};
    if (!FThread.joinable() && !FStopping)
      FThread = std::thread([this] { Measure(); });
  }
  FWork.notify_one();
}

void TSongPicture::Measure() {
  std::unique_lock<std::mutex> Hold(FLock);
  for (;;) {
    FWork.wait(Hold, [this] { return FStopping || FPending; });
    if (FStopping)
      return;
    TRequest Job = std::move(*FPending);
    FPending.reset();
    FRunning = Job.Key;
    Hold.unlock();
    TMeasureReport Report;
    try {
      TConverter Converter(*Job.Process);
      Report = MeasureSong(Converter, Job.Bytes, FPoints);
    } catch (const std::exception& E) {
      // Nothing may leave this thread: what went wrong is the picture's line.
      Report.Error = E.what();
    }
    Hold.lock();
    FRunning.reset();
    FFinished.push_back({std::move(Job.Key), std::move(Report), Job.Generation});
    Hold.unlock();
    FWake();
    Hold.lock();
  }
}
