#pragma once
// The details panel's picture of the selected song: its outline for the strip, and one line about it
// (length, codec, rate, channels, loudness, peak) or about why there is none. A song is measured by the
// converter on a thread of this model's own, one song at a time: the song asked for last is the next one
// measured, and songs asked for in between are skipped. Pictures are kept by song (workflows/SongPicture.h)
// until Forget, so that a song seen before shows at once, and an entry that an import changed is measured
// anew while an undone import finds its old picture.
//
// Pictures are made for a view only: until one attaches, the model stays Hidden and neither reads nor
// measures anything, so the window's logic runs headless as before. Everything runs on the window's thread
// but the view's wake, which the measuring thread calls when it has a picture; the view then calls Poll,
// which shows it.

#include "workflows/SongPicture.h"

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class TSongPicture {
public:
  enum class TState {
    Hidden,    // no sample selected
    NoSong,    // the sample's entry holds nothing
    Measuring, // the song is being measured
    Shown,     // Report() is the song's
    Unreadable // the converter cannot read the song, or the entry could not be read
  };

  // Converter is asked, on the window's thread, for the converter of each measure.
  explicit TSongPicture(std::function<IConverterProcess&()> Converter, size_t Points = kSongOutlinePoints);
  // Stops as Stop does.
  ~TSongPicture();
  TSongPicture(const TSongPicture&) = delete;
  TSongPicture& operator=(const TSongPicture&) = delete;

  // Called by the view before anything else: Wake is called from the measuring thread when Poll has news.
  void Attach(std::function<void()> Wake);
  // Shows the song of Entry (nullptr: the sample has none): kept, or measured. Reads the entry's bytes.
  void Show(TEAStreamFile* Entry);
  void Hide();
  // Drops every kept picture (the definition was closed); a measure under way is not shown nor kept.
  void Forget();
  // Lets the measure under way finish and starts no other; before the converter goes.
  void Stop();
  // Takes in what the measuring thread finished, and shows the selected song's picture when it is there.
  void Poll();
  // While the preview of the song shown plays, the strip says so.
  void SetPlaying(bool Playing);

  TState State() const { return FState; }
  bool Playing() const { return FPlaying && FPlayed == FSelected; }
  // The song's report when Shown: its Envelope is the outline.
  const TMeasureReport& Report() const { return FReport; }
  // The line under the strip: length, codec, rate, channels and loudness when Shown, else what is going
  // on or why there is no picture; empty when Hidden.
  std::wstring Text() const;
  // When Shown: the true peak ("-0.4 dBTP"; empty for silence), and whether it passes -1 dBTP.
  std::wstring PeakText() const;
  bool PeakOver() const;

  // For the view: runs after every change of what the picture shows.
  std::function<void()> Changed;

private:
  struct TRequest {
    TSongKey Key;
    std::vector<uint8_t> Bytes;
    IConverterProcess* Process = nullptr;
    uint64_t Generation = 0;
  };
  struct TFinished {
    TSongKey Key;
    TMeasureReport Report;
    uint64_t Generation = 0;
  };
  void Set(TState State, std::wstring Reason = {});
  void ShowKept(const TMeasureReport& Report);
  void Request(TEntrySong Song);
  void Measure();

  std::function<IConverterProcess&()> FConverter;
  size_t FPoints;
  std::function<void()> FWake; // empty until a view attaches
  std::map<TSongKey, TMeasureReport> FKept;
  TSongKey FSelected;
  TState FState = TState::Hidden;
  std::wstring FReason;
  TMeasureReport FReport;
  bool FPlaying = false;
  TSongKey FPlayed; // the song the preview plays
  uint64_t FGeneration = 0;

  // Shared with the measuring thread, under FLock.
  mutable std::mutex FLock;
  std::condition_variable FWork;
  std::optional<TRequest> FPending;
  std::optional<TSongKey> FRunning; // of the current generation
  std::vector<TFinished> FFinished;
  bool FStopping = false;
  std::thread FThread;
};
