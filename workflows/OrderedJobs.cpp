#include "workflows/OrderedJobs.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace {

class TJobQueue {
public:
  TJobQueue(size_t Count, const TOrderedJobs& Jobs, const std::atomic<bool>* Cancel)
      : FDone(Count, false), FErrors(Count), FJobs(Jobs), FCancel(Cancel) {}

  void Push(size_t I) {
    {
      std::lock_guard<std::mutex> Lock(FMutex);
      FReady.push_back(I);
    }
    FChanged.notify_all();
  }

  // False when job I was withdrawn before it started; raises again what Work(I) raised.
  bool AwaitDone(size_t I) {
    std::unique_lock<std::mutex> Lock(FMutex);
    FChanged.wait(Lock, [&] { return FDone[I] || I >= FWithdrawnFrom; });
    if (!FDone[I])
      return false;
    if (FErrors[I])
      std::rethrow_exception(FErrors[I]);
    return true;
  }

  // Takes back the jobs no worker has started, and returns the first job withdrawn, now or before
  // (Prepared when there is none): every job before it has started, as workers take jobs in the order
  // they were pushed.
  size_t Withdraw(size_t Prepared) {
    std::lock_guard<std::mutex> Lock(FMutex);
    WithdrawReady();
    return std::min(FWithdrawnFrom, Prepared);
  }

  void Stop() {
    {
      std::lock_guard<std::mutex> Lock(FMutex);
      FStopped = true;
    }
    FChanged.notify_all();
  }

  void WorkerLoop() {
    for (;;) {
      size_t I = 0;
      {
        std::unique_lock<std::mutex> Lock(FMutex);
        FChanged.wait(Lock, [&] { return FStopped || !FReady.empty(); });
        if (FStopped)
          return;
        if (FCancel != nullptr && FCancel->load()) { // a job that has not started no longer does
          WithdrawReady();
          Lock.unlock();
          FChanged.notify_all();
          continue;
        }
        I = FReady.front();
        FReady.pop_front();
      }
      std::exception_ptr Error;
      try {
        FJobs.Work(I);
      } catch (...) {
        Error = std::current_exception();
      }
      {
        std::lock_guard<std::mutex> Lock(FMutex);
        FDone[I] = true;
        FErrors[I] = Error;
      }
      FChanged.notify_all();
    }
  }

private:
  // With FMutex held.
  void WithdrawReady() {
    if (!FReady.empty())
      FWithdrawnFrom = std::min(FWithdrawnFrom, FReady.front());
    FReady.clear();
  }

  std::mutex FMutex;
  std::condition_variable FChanged;
  std::deque<size_t> FReady;
  std::vector<char> FDone;
  std::vector<std::exception_ptr> FErrors;
  size_t FWithdrawnFrom = SIZE_MAX; // jobs from here on were withdrawn before they started
  bool FStopped = false;
  const TOrderedJobs& FJobs;
  const std::atomic<bool>* FCancel;
};

// Stops and joins the workers, then discards what was prepared and not finished, however the run ends.
class TWorkers {
public:
  TWorkers(TJobQueue& Queue, unsigned Count, const TOrderedJobs& Jobs) : FQueue(Queue), FJobs(Jobs) {
    for (unsigned I = 0; I < Count; ++I)
      FThreads.emplace_back([&Queue] { Queue.WorkerLoop(); });
  }
  ~TWorkers() {
    FQueue.Stop();
    for (std::thread& Thread : FThreads)
      Thread.join();
    for (size_t I = Finished; I < Prepared; ++I)
      FJobs.Discard(I);
  }
  size_t Prepared = 0, Finished = 0;

private:
  TJobQueue& FQueue;
  const TOrderedJobs& FJobs;
  std::vector<std::thread> FThreads;
};

} // namespace

unsigned ProcessorCount() {
  unsigned Count = std::thread::hardware_concurrency();
  return Count == 0 ? 1 : Count;
}

bool RunOrderedJobs(size_t Count, unsigned Workers, const TOrderedJobs& Jobs,
                    const std::atomic<bool>* Cancel) {
  Workers = Workers == 0 ? 1 : Workers;
  const size_t Ahead = Jobs.Ahead == 0 ? Workers : Jobs.Ahead;
  TJobQueue Queue(Count, Jobs, Cancel);
  TWorkers Pool(Queue, Workers, Jobs);
  bool Cancelled = false;
  size_t End = Count; // once cancelled: the first job whose Work had not started
  auto SeeCancel = [&] {
    if (!Cancelled && Cancel != nullptr && Cancel->load()) {
      Cancelled = true;
      End = Queue.Withdraw(Pool.Prepared);
    }
  };
  for (size_t Next = 0; Next < End; ++Next) {
    SeeCancel();
    for (; !Cancelled && Pool.Prepared < Count && Pool.Prepared <= Next + Ahead; ++Pool.Prepared) {
      Jobs.Prepare(Pool.Prepared);
      Queue.Push(Pool.Prepared);
    }
    if (Next >= End)
      break;
    if (!Queue.AwaitDone(Next)) { // a worker saw the cancel first and withdrew it
      Cancelled = true;
      break;
    }
    // A cancel that came while the job worked lets it, and every other job under way, finish.
    SeeCancel();
    Pool.Finished = Next + 1; // Finish owns the job from here, whether it succeeds or raises
    Jobs.Finish(Next);
  }
  return !Cancelled;
}
