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
};

// The number of workers a machine's processors give: one per processor, at least one.
unsigned ProcessorCount();

// Runs jobs 0 to Count - 1 on Workers threads (at least one), preparing no more than Workers jobs
// beyond the one awaited. Before each Finish it reads Cancel: once set, no further job is finished and
// the call returns false after the workers have ended (a job in Work completes first). An exception from
// Prepare or Finish, or from Work (raised again when its job is awaited), ends the run the same way and
// then propagates. Returns true when every job was finished.
bool RunOrderedJobs(size_t Count, unsigned Workers, const TOrderedJobs& Jobs,
                    const std::atomic<bool>* Cancel = nullptr);
