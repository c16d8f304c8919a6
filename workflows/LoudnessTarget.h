#pragma once
// The loudness of the songs a definition holds, and the target a batch matches new songs to: the median
// integrated loudness of those songs.

#include "definitions/uTypes.h"
#include "workflows/Converter.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// One distinct entry used by a sample of the definition.
struct TSongLoudness {
  int32_t ArchiveIndex = 0;
  std::string Entry;
  TMeasureReport Measure; // Error holds the converter's reason when it could not be measured
};

struct TDefinitionLoudness {
  std::vector<TSongLoudness> Songs; // in the order their first sample comes, stream by stream
  std::optional<double> Target;     // the median; none when no song has an integrated loudness
  bool Cancelled = false;
};

// The median of the values (the mean of the middle two for an even count); none for no values.
std::optional<double> Median(std::vector<double> Values);

// Told how many songs are measured of how many.
using TMeasureProgress = std::function<void(size_t Done, size_t Total)>;

// Measures every distinct entry that a sample uses: each is copied to a scratch file and measured by the
// converter, several files per run, one run per worker (0: one per processor) at a time. Samples whose
// archive index or offset leads nowhere are left out. Cancel is read between runs: once set, no run
// starts, the runs under way are finished, and no target is given. Scratch files are deleted. Raises the
// converter's and the file layer's errors.
TDefinitionLoudness MeasureDefinition(const TStreamPack& Pack, TConverter& Converter, unsigned Workers = 0,
                                      const TMeasureProgress& Progress = {},
                                      const std::atomic<bool>* Cancel = nullptr);

// Told of each song as soon as it is measured, with its position in the list measured.
using TSongMeasured = std::function<void(const TSongLoudness& Song, size_t Index)>;

// Measures the entries Files of Pack's archives as MeasureDefinition measures the definition's songs, one
// result per file in their order, the target being their median; Measured, when given, is called on the
// calling thread as each song's result comes, in order. When Cancel stops it, the songs measured before
// keep their results (the others an empty Entry), and there is no target.
TDefinitionLoudness MeasureSongs(const TStreamPack& Pack, const std::vector<TEAStreamFile*>& Files,
                                 TConverter& Converter, unsigned Workers = 0,
                                 const TMeasureProgress& Progress = {},
                                 const std::atomic<bool>* Cancel = nullptr,
                                 const TSongMeasured& Measured = {});
