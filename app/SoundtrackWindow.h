#pragma once
// The batch window's logic for the soundtrack export: every song the definition plays, with the file it
// becomes in the folder the user chose, and the format to write; once the user starts it, the songs are
// converted on a thread of its own (several at once) while the window shows each song's step and the whole
// export's progress, and at the end one list of what was written and what failed.
//
// The window that shows this logic is modal: from the start to the end of the run, the run alone reads the
// definition.

#include "app/BatchWindow.h"
#include "workflows/SoundtrackExport.h"

#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class TSoundtrackRun : public TBatchWindowModel {
public:
  // AskReplace is asked, on the window's thread, whether the files of the folder that the export would
  // replace may be; their names are in the code page. False leaves the window as it was.
  TSoundtrackRun(TStreamPack& Pack, IConverterProcess& Process, std::string Folder,
                 std::function<bool(const std::vector<std::string>& Names)> AskReplace);
  // Stops the run after the songs in hand and waits for it.
  ~TSoundtrackRun() override;

  // ---- controls ----
  TComboModel cboFormat;
  size_t RowCount() const override { return FRows.size(); }
  std::wstring Cell(size_t Row, size_t Column) const override;

  // ---- events ----
  void btnStartClick() override;
  void Poll() override;
  const std::string& Folder() const { return FFolder; }
  // Once ended: what the export did, and the error that ended it, if one did.
  const TSoundtrackResult& Result() const { return FResult; }
  std::exception_ptr Error() const { return FError; }

private:
  struct TRow {
    std::wstring File, Song, Result;
  };
  struct TReported {
    std::vector<bool> Converting;
    std::vector<std::optional<TSoundtrackSongResult>> Done;
    bool Ended = false;
  };
  const TConverterFormat& Format() const;
  void Plan();
  void Run();
  void ShowRow(size_t Row, TRow Text);
  void ShowEnd();

  TStreamPack& FPack;
  std::string FFolder;
  std::function<bool(const std::vector<std::string>&)> FAskReplace;
  TConverter FConverter;
  TSoundtrackPlan FPlan;
  std::vector<TRow> FRows;
  std::mutex FLock;
  TReported FReported;
  TSoundtrackResult FResult;
  std::exception_ptr FError;
};
