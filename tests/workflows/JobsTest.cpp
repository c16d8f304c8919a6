// Parallel work finished in order, cancelled and failing; the median.

#include "workflows/LoudnessTarget.h"
#include "workflows/OrderedJobs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

TEST(JobsTest, WorkRunsOnWorkersAndFinishesInOrderOnTheCallingThread) {
  for (unsigned Workers : {1u, 2u, 5u})
    for (size_t Count : {0u, 1u, 7u, 40u}) {
      SCOPED_TRACE(std::to_string(Workers) + " workers, " + std::to_string(Count) + " jobs");
      std::mutex Lock;
      std::set<std::thread::id> WorkThreads;
      std::vector<size_t> Prepared, Finished;
      std::vector<int> Results(Count, -1);
      size_t Discarded = 0;
      const std::thread::id Caller = std::this_thread::get_id();
      TOrderedJobs Jobs;
      Jobs.Prepare = [&](size_t I) {
        EXPECT_EQ(std::this_thread::get_id(), Caller);
        EXPECT_LE(I, Finished.size() + Workers) << "prepared too far ahead";
        Prepared.push_back(I);
      };
      Jobs.Work = [&](size_t I) {
        std::lock_guard<std::mutex> Guard(Lock);
        WorkThreads.insert(std::this_thread::get_id());
        Results[I] = static_cast<int>(I * I);
      };
      Jobs.Finish = [&](size_t I) {
        EXPECT_EQ(std::this_thread::get_id(), Caller);
        EXPECT_EQ(Results[I], static_cast<int>(I * I)) << "finished before its work";
        Finished.push_back(I);
      };
      Jobs.Discard = [&](size_t) { ++Discarded; };
      EXPECT_TRUE(RunOrderedJobs(Count, Workers, Jobs));
      std::vector<size_t> InOrder(Count);
      for (size_t I = 0; I < Count; ++I)
        InOrder[I] = I;
      EXPECT_EQ(Prepared, InOrder);
      EXPECT_EQ(Finished, InOrder);
      EXPECT_EQ(Discarded, 0u);
      EXPECT_EQ(WorkThreads.count(Caller), 0u);
      EXPECT_LE(WorkThreads.size(), Workers);
    }
}

TEST(JobsTest, ACancelOrAnErrorStopsAfterTheJobsInHandAndDiscardsTheRest) {
  enum TStop { CancelInFinish, ThrowInWork, ThrowInFinish, ThrowInPrepare };
  for (TStop Stop : {CancelInFinish, ThrowInWork, ThrowInFinish, ThrowInPrepare})
    for (unsigned Workers : {1u, 3u}) {
      SCOPED_TRACE(std::to_string(Stop) + ", " + std::to_string(Workers) + " workers");
      const size_t Count = 20, StopAt = 4;
      std::atomic<bool> Cancel{false};
      std::set<size_t> Prepared, Finished, Discarded;
      TOrderedJobs Jobs;
      Jobs.Prepare = [&](size_t I) {
        if (Stop == ThrowInPrepare && I == StopAt)
          throw std::runtime_error("prepare");
        Prepared.insert(I);
      };
      Jobs.Work = [&](size_t I) {
        if (Stop == ThrowInWork && I == StopAt)
          throw std::runtime_error("work");
      };
      Jobs.Finish = [&](size_t I) {
        Finished.insert(I);
        if (Stop == CancelInFinish && I == StopAt)
          Cancel = true;
        if (Stop == ThrowInFinish && I == StopAt)
          throw std::runtime_error("finish");
      };
      Jobs.Discard = [&](size_t I) { Discarded.insert(I); };
      bool Completed = true;
      std::string Error;
      try {
        Completed = RunOrderedJobs(Count, Workers, Jobs, &Cancel);
      } catch (const std::runtime_error& E) {
        Error = E.what();
      }
      const char* Expected[] = {"", "work", "finish", "prepare"};
      EXPECT_EQ(Error, Expected[Stop]);
      EXPECT_EQ(Completed, Stop != CancelInFinish);
      // Finished: 0..StopAt (the job in hand finishes), but a failed work never reaches Finish; after a
      // cancel, so do the jobs whose work had started, at most one per worker.
      if (Stop == ThrowInPrepare)
        EXPECT_LE(Finished.size(), StopAt);
      else if (Stop == CancelInFinish)
        EXPECT_TRUE(Finished.size() >= StopAt + 1 && Finished.size() <= StopAt + 1 + Workers)
            << Finished.size();
      else
        EXPECT_EQ(Finished.size(), Stop == ThrowInWork ? StopAt : StopAt + 1);
      EXPECT_TRUE(Finished.empty() || *Finished.rbegin() + 1 == Finished.size()) << "finished in order";
      // Every prepared job was either finished or discarded, never both.
      for (size_t I : Prepared)
        EXPECT_NE(Finished.count(I), Discarded.count(I)) << I;
      for (size_t I : Discarded)
        EXPECT_EQ(Prepared.count(I), 1u) << I;
      EXPECT_LT(Prepared.size(), Count);
    }
}

// Jobs 0 and 1 are at work on two workers when the cancel comes; job 2 waits for a worker. The two are
// finished, and job 2 never starts.
TEST(JobsTest, ACancelFinishesTheJobsWhoseWorkHadStarted) {
  std::atomic<bool> Cancel{false};
  std::promise<void> SecondStarted, Cancelled;
  std::shared_future<void> CancelSeen = Cancelled.get_future().share();
  std::mutex Lock;
  std::set<size_t> Worked, Finished, Discarded;
  TOrderedJobs Jobs;
  Jobs.Prepare = [](size_t) {};
  Jobs.Work = [&](size_t I) {
    {
      std::lock_guard<std::mutex> Guard(Lock);
      Worked.insert(I);
    }
    if (I == 0) {
      SecondStarted.get_future().wait();
      Cancel = true;
      Cancelled.set_value();
    } else if (I == 1) {
      SecondStarted.set_value();
      CancelSeen.wait();
    }
  };
  Jobs.Finish = [&](size_t I) { Finished.insert(I); };
  Jobs.Discard = [&](size_t I) { Discarded.insert(I); };
  EXPECT_FALSE(RunOrderedJobs(6, 2, Jobs, &Cancel));
  EXPECT_EQ(Worked, (std::set<size_t>{0, 1}));
  EXPECT_EQ(Finished, (std::set<size_t>{0, 1}));
  EXPECT_EQ(Discarded, (std::set<size_t>{2}));
}

// Job 0 is long: it ends only once jobs 1 to 4 have done their work. With four jobs prepared ahead, the
// second worker goes on with them meanwhile; no fifth is prepared before job 0 is finished.
TEST(JobsTest, WorkersGoOnPastALongJobAsFarAsTheyArePreparedAhead) {
  constexpr size_t kAhead = 4;
  std::mutex Lock;
  size_t LaterWorked = 0, Finished = 0;
  std::promise<void> LaterDone;
  TOrderedJobs Jobs;
  Jobs.Ahead = kAhead;
  Jobs.Prepare = [&](size_t I) { EXPECT_LE(I, Finished + kAhead) << "prepared too far ahead"; };
  Jobs.Work = [&](size_t I) {
    if (I == 0) {
      EXPECT_EQ(LaterDone.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready)
          << "the other worker stopped behind the long job";
      return;
    }
    std::lock_guard<std::mutex> Guard(Lock);
    if (I <= kAhead && ++LaterWorked == kAhead)
      LaterDone.set_value();
  };
  Jobs.Finish = [&](size_t I) { EXPECT_EQ(I, Finished++); };
  Jobs.Discard = [](size_t) { ADD_FAILURE() << "nothing is discarded"; };
  EXPECT_TRUE(RunOrderedJobs(12, 2, Jobs));
  EXPECT_EQ(Finished, 12u);
}

TEST(JobsTest, TheMedianIsTheMiddleValueOrTheMeanOfTheMiddleTwo) {
  struct TCase {
    std::vector<double> Values;
    std::optional<double> Median;
  };
  const TCase Cases[] = {
      {{}, std::nullopt},
      {{-14}, -14},
      {{-20, -10}, -15},
      {{-9, -30, -12}, -12},
      {{-23, -14, -8, -16, -40, -11}, -15},
      {{-18, -18, -18, -5}, -18},
  };
  for (const TCase& Case : Cases) {
    std::optional<double> Median = ::Median(Case.Values);
    ASSERT_EQ(bool(Median), bool(Case.Median));
    if (Median) {
      EXPECT_DOUBLE_EQ(*Median, *Case.Median);
    }
  }
}
