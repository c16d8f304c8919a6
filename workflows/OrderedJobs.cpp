#include "workflows/OrderedJobs.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace {

class TJobQueue {
public:
  TJobQueue(size_t Count, const TOrderedJobs& Jobs) : FDone(Count, false), FErrors(Count), FJobs(Jobs) {}

  void Push(size_t I) {
    {
      std::lock_guard<std::mutex> Lock(FMutex);
      FReady.push_back(I);
    }
    FChanged.notify_all();
  }

  // Raises again what Work(I) raised.
  void AwaitDone(size_t I) {
    std::unique_lock<std::mutex> Lock(FMutex);
    FChanged.wait(Lock, [&] { return bool(FDone[I]); });
    if (FErrors[I])
      std::rethrow_exception(FErrors[I]);
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
  std::mutex FMutex;
  std::condition_variable FChanged;
  std::deque<size_t> FReady;
  std::vector<char> FDone;
  std::vector<std::exception_ptr> FErrors;
  bool FStopped = false;
  const TOrderedJobs& FJobs;
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
  TJobQueue Queue(Count, Jobs);
  TWorkers Pool(Queue, Workers, Jobs);
  for (size_t Next = 0; Next < Count; ++Next) {
    if (Cancel != nullptr && Cancel->load())
      return false;
    for (; Pool.Prepared < Count && Pool.Prepared <= Next + Workers; ++Pool.Prepared) {
      Jobs.Prepare(Pool.Prepared);
      Queue.Push(Pool.Prepared);
    }
    Queue.AwaitDone(Next);
    // A cancel that came while the job worked stops the run before it writes anything more.
    if (Cancel != nullptr && Cancel->load())
      return false;
    Pool.Finished = Next + 1; // Finish owns the job from here, whether it succeeds or raises
    Jobs.Finish(Next);
  }
  return true;
}
