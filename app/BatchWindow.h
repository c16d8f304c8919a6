#pragma once
// The batch window's logic: the songs of a batch import listed with where each goes and the choice to
// match their loudness to the definition's own songs; once the user starts it, the batch runs on a thread
// of its own while the window shows each song's step and the whole batch's progress, and at the end one
// list of what was done and what failed.
//
// From the start to the end of the run the run alone touches the definition: the window that shows this
// logic is modal, and its thread only reads what the run reports, in Poll.

#include "app/Controls.h"
#include "app/Services.h"
#include "app/TrimAndFade.h"
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

// One line of the batch window's list. Replaces: the title of the song that the file takes the place of;
// Shape: its trim and fade-out.
struct TBatchRow {
  std::wstring File, Song, Replaces, Shape, Loudness, Gain, Result;
  bool operator==(const TBatchRow&) const = default;
};

// What the batch window shows and how it answers, for a run of songs on a thread of its own: a list whose
// columns the run names, one option above it (a check box or a list to choose from), the run's progress and
// status, and Start and Cancel (Close once the run has ended).
class TBatchWindowModel {
public:
  struct TColumn {
    const wchar_t* Caption;
    int Width; // at 96 DPI; the last column takes what the others leave
  };
  TBatchWindowModel(std::wstring Caption, std::vector<TColumn> Columns, TActionModel Start)
      : Caption(std::move(Caption)), Columns(std::move(Columns)), btnStart(std::move(Start)) {}
  virtual ~TBatchWindowModel() = default;
  TBatchWindowModel(const TBatchWindowModel&) = delete;
  TBatchWindowModel& operator=(const TBatchWindowModel&) = delete;

  // ---- controls ----
  const std::wstring Caption;
  const std::vector<TColumn> Columns;
  virtual size_t RowCount() const = 0;
  virtual std::wstring Cell(size_t Row, size_t Column) const = 0;
  // Runs after a row's cells changed.
  std::function<void(size_t Row)> RowChanged;
  TCheckModel* Check = nullptr;  // the option as a check box, or none
  TComboModel* Choice = nullptr; // the option as a list, or none
  std::wstring ChoiceLabel;      // the list's label
  TProgressModel Progress;
  TStatusModel Status;
  TActionModel btnStart;
  TActionModel btnCancel{L"Cancel", -1, L"Stop after the songs in hand"};
  // A button for the selected rows, or none; with one, the list takes several rows. It can be pressed while
  // rows are selected and the run has not started.
  TActionModel* RowAction = nullptr;

  // ---- events ----
  virtual void btnStartClick() = 0;
  virtual void RowActionClick() {}
  // The rows the user has selected, in the list's order; set by the window.
  void SelectRows(std::vector<size_t> Rows);
  const std::vector<size_t>& SelectedRows() const { return FSelected; }
  // True when the window closes: before the start and after the end. While the run goes on, it stops after
  // the songs in hand, and what they did stays.
  bool btnCancelClick();
  // Shows what the run reported since the last call; on the window's thread, after Wake and on a timer.
  virtual void Poll() = 0;
  // Set by the window: called from any thread when the run has something new for Poll.
  std::function<void()> Wake;
  // Once the window has closed: a run still going stops after the songs in hand, and its end is shown.
  void StopAndWait();

  bool Started() const { return FStarted; }
  bool Ended() const { return FEnded; }

protected:
  // Runs Body on the run's own thread, Start disabled.
  void StartRun(std::function<void()> Body);
  // Once the run has told its end: its thread is joined, and the run has ended.
  void EndRun();
  // The status at the end, Cancel become Close: Stopped and the error's text when one ended the run, else
  // Done, then how many failed and whether Cancel stopped it.
  void ShowEnd(const std::exception_ptr& Error, const wchar_t* Stopped, std::wstring Done, size_t Failed,
               bool Cancelled);
  // Stops a run still going after the songs in hand and waits for it; each subclass's destructor calls it,
  // before the members the run uses go.
  void StopRun();

  std::atomic<bool> FCancel{false};

private:
  std::thread FThread;
  bool FStarted = false, FEnded = false;
  std::vector<size_t> FSelected;
};

class TBatchRun : public TBatchWindowModel {
public:
  // Names are the files as the user named them, one per planned song. Target is the open definition's,
  // filled in when this batch measures it. With Services' shape dialog, the selected songs can be trimmed
  // and faded out before the start (the dialog's refusals go to its message boxes, the measure of the
  // songs shows its cursor).
  TBatchRun(TStreamPack& Pack, TDefinitionSession& Session, std::vector<TPlannedSong> Plan,
            const std::vector<std::wstring>& Names, IConverterProcess& Process, TLoudnessTarget& Target,
            const TServices& Services = {});
  // Stops the run after the songs in hand and waits for it.
  ~TBatchRun();

  // ---- controls ----
  std::vector<TBatchRow> Rows;
  TCheckModel chkMatchLoudness;
  TActionModel btnShape{L"&Trim and Fade...", -1, L"Trim and fade out the selected songs"};
  size_t RowCount() const override { return Rows.size(); }
  std::wstring Cell(size_t Row, size_t Column) const override;

  // ---- events ----
  void btnStartClick() override;
  // Trim and Fade...: the selected songs' lengths (measured once each) in the shape dialog, filled with
  // their shape when they share one; what it gives, once checked, becomes the shape of each, and empty
  // fields take it away. A refusal is said and the dialog comes again with what was typed.
  void RowActionClick() override;
  void Poll() override;

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
  std::vector<TSongLength> SelectedLengths();

  TStreamPack& FPack;
  std::vector<std::wstring> FArchiveNames; // read before the run, which alone touches the pack meanwhile
  TDefinitionSession& FSession;
  std::vector<TPlannedSong> FPlan;
  TConverter FConverter;
  TLoudnessTarget& FTarget;
  TServices FServices;
  std::vector<std::optional<TMeasureReport>> FMeasured; // per row, once measured for the shape dialog
  std::mutex FLock;
  TReported FReported;
  bool FMatch = true; // the check box's state when the batch started
  TBatchResult FResult;
  std::exception_ptr FError;
};
