#pragma once
// Re-levelling songs in place: each song is decoded from its archive entry, given the gain that brings its
// integrated loudness to a target (held back by the converter so that its true peak stays at or under
// -1 dBTP), encoded again in the codec it is stored in and at its own rate, and written in place of the
// entry through the definition's import journal, as an import is: a discard or a crash undoes it. The
// definition itself is not saved here: the caller saves once at the end, rebuilding the archives.
//
// A song is an archive entry: when several samples play one entry, it is re-levelled once, for all of them.

#include "definitions/DefinitionSession.h"
#include "definitions/uTypes.h"
#include "workflows/BatchPlan.h"
#include "workflows/Converter.h"
#include "workflows/LoudnessTarget.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// A gain smaller than this (dB) is not worth the loss of a second encoding: the song is left as it is.
constexpr double kSmallestRelevelGainDb = 0.05;
// A song that its true peak holds back from the target is at the limit when the gain left is smaller than
// this (dB): it is left as it is too.
constexpr double kSmallestHeldGainDb = 0.5;

struct TRelevelSong {
  // Relevelled: written with its gain. Unchanged: within kSmallestRelevelGainDb of the target, quieter than
  // the target with its true peak at the limit already (HeldBack, kSmallestHeldGainDb), or without an
  // integrated loudness (silence, under 0.4 s). Failed: the converter's reason is in Failure.
  enum TState { Relevelled, Unchanged, Failed, Cancelled } State = Cancelled;
  TSampleRef Sample; // the first of the given samples that plays it
  int32_t ArchiveIndex = 0;
  std::string Entry;                    // its name in the archive
  std::string Codec;                    // what it is stored as, as the converter names it
  std::optional<double> LoudnessBefore; // integrated, LUFS
  std::optional<double> TruePeakBefore; // dBTP; none for digital silence
  std::optional<double> Gain;           // Relevelled: the gain the converter applied (dB)
  bool HeldBack = false;                // the true-peak limit kept the gain below the one asked
  std::string Failure;
};

struct TRelevelOptions {
  std::optional<double> Target; // LUFS; none: the median loudness of the definition's songs
  unsigned Workers = 0;         // converters at a time; 0: one per processor
  // Read between songs, as a batch import reads it: the songs in hand are finished and written, the rest
  // left as cancelled. Read too while the definition is measured for its median.
  const std::atomic<bool>* Cancel = nullptr;
  TMeasureProgress Measuring; // while the definition's songs are measured for the median
  // Called on the calling thread once the target is known, before the first song.
  std::function<void(double Target)> Targeted;
  // Called on the calling thread after each song, with its position and the number of songs.
  std::function<void(const TRelevelSong& Song, size_t Index, size_t Count)> SongDone;
};

struct TRelevelResult {
  std::optional<double> Target; // the target the songs were brought to; none when no song of the
                                // definition has a loudness to take a median of (nothing is changed)
  std::vector<TRelevelSong> Songs;
  bool Cancelled = false;
  size_t CountOf(TRelevelSong::TState State) const;
};

// The samples of Stream (of every stream without one) that are bound to an entry, in stream order.
std::vector<TSampleRef> SamplesWithSongs(const TStreamPack& Pack,
                                         std::optional<int32_t> Stream = std::nullopt);

// The songs Samples play, each once, in the order of the first sample that plays it. Raises, before anything
// is changed, the list error for a stream or sample outside its list and "Stream N sample K is bound to no
// file of its archive".
std::vector<TRelevelSong> PlanRelevel(const TStreamPack& Pack, const std::vector<TSampleRef>& Samples);

// Re-levels the songs Samples play in Pack, whose definition Session holds. Without a target in Options the
// definition's songs are measured first (MeasureDefinition) and their median taken. Each song is measured
// again and converted on a worker thread, and written on the calling thread, one at a time, in order. A song
// the converter cannot read, or stored in a codec it cannot write, is listed as failed and the others go on.
// Raises as PlanRelevel, before the definition is measured; then, after the workers have stopped and with
// every scratch file gone, the errors of writing an archive and of starting the converter; the songs written
// before stay journaled.
TRelevelResult RelevelSongs(TStreamPack& Pack, TDefinitionSession& Session,
                            const std::vector<TSampleRef>& Samples, TConverter& Converter,
                            const TRelevelOptions& Options);
