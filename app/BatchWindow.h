#pragma once
// The batch window's logic: the songs of a batch import listed with where each goes and the choice to
// match their loudness to the definition's own songs; once the user starts it, the batch runs on a thread
// of its own while the window shows each song's step and the whole batch's progress, and at the end one
// list of what was done and what failed.
//
// From the start to the end of the run the run alone touches the definition: the window that shows this
// logic is modal, and its thread only reads what the run reports, in Poll.

#include "app/Controls.h"
#include "definitions/DefinitionSession.h"
#include "workflows/BatchImport.h"
#include "workflows/Converter.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// The loudness that an open definition's new songs are matched to: the median of its songs, measured
// once, by the first batch that matches loudness.
struct TLoudnessTarget {
  bool Measured = false;
  std::optional<double> Value; // none: no song of the definition has a loudness
};

// One line of the batch window's list. Replaces: the title of the song that the file takes the place of.
struct TBatchRow {
  std::wstring File, Song, Replaces, Loudness, Gain, Result;
  bool operator==(const TBatchRow&) const = default;
};

class TBatchRun {
public:
  // Names are the files as the user named them, one per planned song. Target is the open definition's,
  // filled in when this batch measures it.
  TBatchRun(TStreamPack& Pack, TDefinitionSession& Session, std::vector<TPlannedSong> Plan,
            const std::vector<std::wstring>& Names, IConverterProcess& Process, TLoudnessTarget& Target);
  // Stops the run after the songs in hand and waits for it.
  ~TBatchRun();
  TBatchRun(const TBatchRun&) = delete;
  TBatchRun& operator=(const TBatchRun&) = delete;

  // ---- controls ----
  const std::wstring Caption = L"Import Songs";
  std::vector<TBatchRow> Rows;
  // Runs after Rows[Row] changed.
  std::function<void(size_t Row)> RowChanged;
  TCheckModel chkMatchLoudness;
  TProgressModel Progress;
  TStatusModel Status;
  TActionModel btnStart{L"&Import", -1, L"Import the songs"};
  TActionModel btnCancel{L"Cancel", -1, L"Stop after the songs in hand"};

  // ---- events ----
  void btnStartClick();
  // True when the window closes: before the start and after the end. While the batch runs, it stops after
  // the songs in hand; what was imported stays.
  bool btnCancelClick();
  // Shows what the run reported since the last call; on the window's thread, after Wake and on a timer.
  void Poll();
  // Set by the window: called from any thread when the run has something new for Poll.
  std::function<void()> Wake;

  // Once the window has closed: a run still going stops after the songs in hand, and its end is shown.
  void StopAndWait();

  bool Started() const { return FStarted; }
  bool Ended() const { return FEnded; }
  // Once ended: what the batch did (empty when it stopped before its first song), and the error that ended
  // it, if one did.
  const TBatchResult& Result() const { return FResult; }
  std::exception_ptr Error() const { return FError; }

private:
  // What the run reports, under FLock.
  struct TReported {
    size_t Measured = 0, ToMeasure = 0;
    bool Measuring = false;
    std::vector<std::optional<TSongStep>> Steps;
    std::vector<std::optional<TSongResult>> Done;
    std::optional<std::optional<double>> Target; // once known: the loudness target
    bool Ended = false;
  };
  void Run();
  void Report(const std::function<void(TReported&)>& Change);
  void ShowRow(size_t Row, const TBatchRow& Text);
  TBatchRow RowText(size_t Row, const TReported& Now) const;
  void ShowEnd();
  void ShowTargetCaption(const TReported& Now);

  TStreamPack& FPack;
  std::vector<std::wstring> FArchiveNames; // read before the run, which alone touches the pack meanwhile
  TDefinitionSession& FSession;
  std::vector<TPlannedSong> FPlan;
  TConverter FConverter;
  TLoudnessTarget& FTarget;
  std::atomic<bool> FCancel{false};
  std::mutex FLock;
  TReported FReported;
  std::thread FThread;
  bool FStarted = false, FEnded = false;
  bool FMatch = true; // the check box's state when the batch started
  TBatchResult FResult;
  std::exception_ptr FError;
};
