#pragma once
// A scripted batch window for the batch imports of the window's logic.

#include "app/BatchWindow.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <vector>

// Starts the batch (or closes the window at once), then polls it as the real window's timer does until it
// has ended; CancelWhen, asked after each poll, presses Cancel once.
class TScriptedBatchWindow : public IBatchWindow {
public:
  void ShowModal(TBatchWindowModel& Model) override {
    auto& Run = dynamic_cast<TBatchRun&>(Model);
    Before = Run.Rows;
    MatchCaption = Run.chkMatchLoudness.Caption();
    if (BeforeStart)
      BeforeStart(Run);
    if (!Start) {
      EXPECT_TRUE(Run.btnCancelClick());
      return;
    }
    std::mutex Lock;
    std::condition_variable Woken;
    bool Pending = false;
    Run.Wake = [&] {
      std::lock_guard<std::mutex> Hold(Lock);
      Pending = true;
      Woken.notify_one();
    };
    Run.chkMatchLoudness.SetChecked(Match);
    Run.btnStartClick();
    EXPECT_FALSE(Run.chkMatchLoudness.Enabled());
    bool Cancelled = false;
    while (!Run.Ended()) {
      {
        std::unique_lock<std::mutex> Hold(Lock);
        Woken.wait_for(Hold, std::chrono::milliseconds(100), [&] { return Pending; });
        Pending = false;
      }
      Run.Poll();
      Statuses.push_back(Run.Status.Text());
      if (OnPoll)
        OnPoll(Run);
      if (!Cancelled && CancelWhen && CancelWhen(Run)) {
        Cancelled = true;
        EXPECT_FALSE(Run.btnCancelClick()) << "the window stays until the songs in hand are done";
        if (AfterCancel)
          AfterCancel();
      }
    }
    After = Run.Rows;
    MatchCaption = Run.chkMatchLoudness.Caption();
    EXPECT_EQ(Run.btnCancel.Caption(), L"Close");
    EXPECT_TRUE(Run.btnCancelClick());
  }

  bool Start = true, Match = true;
  std::function<bool(TBatchRun&)> CancelWhen;
  std::function<void()> AfterCancel;
  std::function<void(TBatchRun&)> OnPoll;
  // Runs once the window shows, before the start.
  std::function<void(TBatchRun&)> BeforeStart;
  std::vector<TBatchRow> Before, After;
  std::vector<std::wstring> Statuses;
  std::wstring MatchCaption;
};
