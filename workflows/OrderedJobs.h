#pragma once
// Jobs done in parallel and finished in order: the conversions of a batch run one per processor, while
// everything that writes the user's files happens on the calling thread, one job at a time, in the
// order the jobs were given.

#include <atomic>
#include <cstddef>
#include <functional>

struct TOrderedJobs {
  // On the calling thread, before job I is handed to a worker (scratch names, files to read from). When
  // it raises, it leaves nothing of job I behind.
  std::function<void(size_t I)> Prepare;
  // On a worker thread. It must not touch what Prepare and Finish of other jobs touch.
  std::function<void(size_t I)> Work;
  // On the calling thread, for I = 0, 1, ... each as soon as its Work is done. From here job I is its own,
  // whether it returns or raises.
  std::function<void(size_t I)> Finish;
  // On the calling thread, for every job prepared but never finished (a cancel or an error); must not
  // raise.
  std::function<void(size_t I)> Discard;
  // How many jobs are prepared beyond the one awaited (0: as many as there are workers). More lets the
  // workers go on past a long job while it is awaited, for the room the jobs done and not yet finished
  // take meanwhile.
  size_t Ahead = 0;
};

// The number of workers a machine's processors give: one per processor, at least one.
unsigned ProcessorCount();

// Runs jobs 0 to Count - 1 on Workers threads (at least one), preparing no more than Jobs.Ahead jobs
// beyond the one awaited. Workers read Cancel before they start a job, and the calling thread before and
// after it awaits one: once it is set, no job starts its Work and none is prepared (those waiting for a
// worker are discarded), while every job whose Work had started is awaited and finished in order; the
// call then returns false. An exception from Prepare or Finish, or from Work (raised again when its job
// is awaited), ends the run at once: no further job is finished, the workers end (a job in Work
// completes first), and it propagates. Returns true when every job was finished.
bool RunOrderedJobs(size_t Count, unsigned Workers, const TOrderedJobs& Jobs,
                    const std::atomic<bool>* Cancel = nullptr);
