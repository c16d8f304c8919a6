#pragma once
// The soundtrack window's logic: every song the open definition uses, one row each (a song is an archive
// entry, which several samples may play), with the samples that play it and its description, and, once
// measured, its duration, loudness and true peak, and its loudness against the median of the songs. The
// rows sort by any column. Selected songs can be brought to one loudness (Match Loudness): re-levelled in
// place through the definition's import journal, then measured again.
//
// Measuring and re-levelling run on a thread of their own while the window shows their progress. From the
// start to the end of a run the run alone touches the definition: the window that shows this logic is
// modal, and its thread only reads what the run reports, in Poll.

#include "app/Controls.h"
#include "definitions/DefinitionSession.h"
#include "workflows/Converter.h"
#include "workflows/Relevel.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// One song of the list.
struct TLevelsRow {
  int32_t ArchiveIndex = 0;
  std::string Entry;
  std::vector<TSampleRef> Samples; // those that play it, in stream order
  std::wstring Song, Streams, Description;
  std::optional<TMeasureReport> Measure; // once measured (an Error when it could not be)
  std::wstring Result;                   // what the last Match Loudness did with it
};

class TLevelsWindow {
public:
  enum TColumn : size_t {
    colSong,
    colStreams,
    colDescription,
    colDuration,
    colLoudness,
    colPeak,
    colLevel,
    colResult,
    ColumnCount
  };
  struct TColumnInfo {
    const wchar_t* Caption;
    int Width;  // at 96 DPI
    bool Right; // numbers, aligned right
  };
  static const TColumnInfo Columns[ColumnCount];
  // The true peak past which a row's peak is marked (dBTP).
  static constexpr double kPeakLimit = -1;

  // Session is the open definition's, or nullptr for one open for reading only (nothing is re-levelled).
  TLevelsWindow(TStreamPack& Pack, TDefinitionSession* Session, IConverterProcess& Process);
  // Stops a run after the songs in hand and waits for it.
  ~TLevelsWindow();
  TLevelsWindow(const TLevelsWindow&) = delete;
  TLevelsWindow& operator=(const TLevelsWindow&) = delete;

  // ---- controls ----
  const std::vector<TLevelsRow>& Rows() const { return FRows; }
  std::wstring Cell(size_t Row, size_t Column) const;
  // The row's loudness less the median (LU), for its bar; none until both are known.
  std::optional<double> Level(size_t Row) const;
  bool PeakOver(size_t Row) const;
  // The median integrated loudness of the songs measured; none before one has a loudness.
  std::optional<double> Median() const;
  bool AllMeasured() const;
  // The rows in the order shown, and the position each row is shown at.
  const std::vector<size_t>& Order() const { return FOrder; }
  size_t PositionOf(size_t Row) const { return FPosition.at(Row); }
  size_t SortColumn() const { return FSortColumn; }
  bool SortDescending() const { return FDescending; }
  // Run after the order changed, and after a row's cells changed.
  std::function<void()> OrderChanged;
  std::function<void(size_t Row)> RowChanged;
  // The target of Match Loudness: the median (item 0) or the loudness typed in edtTarget (item 1).
  TComboModel cboTarget;
  TEditModel edtTarget{8};
  TProgressModel Progress;
  TStatusModel Status;
  TActionModel btnMatch{L"&Match Loudness", -1, L"Bring the selected songs to the target loudness"};
  TActionModel btnMeasure{L"Mea&sure", -1, L"Measure the songs not measured yet"};
  TActionModel btnClose{L"Close", -1, L""};

  // ---- events ----
  // The window shows: every song is measured.
  void Show();
  // A click on a column's header sorts by it; a second click reverses the order.
  void HeaderClick(size_t Column);
  // The rows the user has selected.
  void SelectionChange(std::vector<size_t> Rows);
  const std::vector<size_t>& Selection() const { return FSelection; }
  // Selects the song's first sample in the main window.
  void RowDoubleClick(size_t Row);
  // Re-levels the selected songs to the target and measures them again. A typed target outside the
  // converter's range is refused with the reason in the status, and nothing runs.
  void btnMatchClick();
  // Measures the songs not measured yet.
  void btnMeasureClick();
  // True when the window closes: when no run goes on. A run stops after the songs in hand, and what they
  // did stays.
  bool btnCloseClick();
  // Shows what the run reported since the last call; on the window's thread, after Wake and on a timer.
  void Poll();
  // Set by the window: called from any thread when the run has something new for Poll.
  std::function<void()> Wake;
  // Once the window has closed: a run still going stops after the songs in hand, and its end is shown.
  void StopAndWait();
  bool Running() const { return FRunning; }

  // Converters at a time; 0: one per processor.
  unsigned Workers = 0;

  // ---- the main window's part ----
  std::function<void(TSampleRef Sample)> OnSelectSample;
  // Before Match Loudness changes anything (on the window's thread; an error there stops it), and after it,
  // told whether an archive may have changed.
  std::function<void()> OnMatchStarts;
  std::function<void(bool Changed)> OnMatchEnds;

private:
  // What the run reports, under FLock; Poll takes the songs' news.
  struct TReported {
    enum TPhase { Measuring, MeasuringGame, Relevelling, MeasuringAgain } Phase = Measuring;
    size_t Done = 0, Total = 0;
    std::vector<std::pair<size_t, TMeasureReport>> Measured;
    std::vector<std::pair<size_t, TRelevelSong>> Relevelled;
    std::optional<double> Target;
    bool NoTarget = false; // no song of the definition has a loudness to match
    bool Ended = false;
  };
  void Measure(std::vector<size_t> Rows, TReported::TPhase Phase);
  void Match(const std::vector<size_t>& Rows, std::optional<double> Target);
  void Start(std::function<void()> Body, bool Matching);
  void Report(const std::function<void(TReported&)>& Change);
  void ShowEnd();
  void ShowProgress(const TReported& Now);
  void ShowButtons();
  void ShowMedianChoice();
  void Sort();
  // The typed target, or none with the reason in the status.
  std::optional<double> TypedTarget();

  TStreamPack& FPack;
  TDefinitionSession* FSession;
  TConverter FConverter;
  std::vector<TLevelsRow> FRows;
  std::vector<size_t> FOrder, FPosition, FSelection;
  size_t FSortColumn = colStreams;
  bool FDescending = false;

  std::thread FThread;
  std::atomic<bool> FCancel{false};
  std::mutex FLock;
  TReported FReported;
  bool FRunning = false;
  bool FMatching = false;                            // the run is a Match Loudness, of FMatched songs
  size_t FMatched = 0, FRelevelled = 0, FFailed = 0; // of the run, as shown
  std::exception_ptr FError;                         // what ended the run, read once it has been joined
  bool FWrote = false;                               // the run may have changed an archive
};
