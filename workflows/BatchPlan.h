#pragma once
// Where each file of a batch goes.
//
// From sample K of stream N: the files replace the songs of samples K, K+1, ... in order; files beyond
// the stream's end become new samples at its end, bound to new entries of the archive of its last sample.
// Into a named archive: every file becomes a new sample at the end of stream N (empty or not), bound to a
// new entry of that archive. A new entry is named after its file, with the extension ".asf", made unique
// in its archive by " (2)", " (3)", ... before the extension. When two replaced samples of the batch are
// bound to the same entry, the later one gets a new entry of its archive instead, so that no song of the
// batch writes over another. Nor does a batch write over a song that a sample outside it plays: a sample
// whose entry another sample shares gets a new entry of its archive, and the plan names that other sample.

#include "definitions/uTypes.h"
#include "workflows/Converter.h"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct TBatchTarget {
  int32_t Stream = 0;
  int32_t StartSample = 0; // when Archive is empty
  std::string Archive;     // a name from the definition's archive list: every file is added to it
  // Without Archive: the index of the archive that files beyond the stream's end go to; -1 for the archive
  // of the stream's last sample.
  int32_t AddArchive = -1;
};

// A sample of a definition: its stream and its position there.
struct TSampleRef {
  int32_t Stream = 0, Sample = 0;
  bool operator==(const TSampleRef&) const = default;
};

struct TPlannedSong {
  std::string Source;
  int32_t Stream = 0;
  int32_t Sample = 0;     // the sample's position in its stream (a new sample's, once it is appended)
  bool NewSample = false; // a sample appended to the stream
  bool AsNewFile = false; // a new entry of the archive rather than the sample's entry replaced
  int32_t ArchiveIndex = 0;
  std::string EntryName; // for a new entry
  // For a new entry given because the sample's own is shared: the first sample outside the batch that
  // plays the old one.
  std::optional<TSampleRef> SharedWith;
  TSongShape Shape; // the trim and fade-out of its conversion; a plan leaves it empty
};

// The first sample of Pack, in stream order and then sample order, that is bound to Entry and that Inside
// does not count in: a sample outside a change that would write over Entry, still playing its song. None
// when every sample bound to it is inside, or for no Entry. A sample whose archive index or offset leads
// nowhere is bound to no entry.
std::optional<TSampleRef> SharerOutside(const TStreamPack& Pack, const TEAStreamFile* Entry,
                                        const std::function<bool(TSampleRef Sample)>& Inside);

// Raises, before anything is changed: the list error for a stream or start sample outside its list (the
// start may be the stream's sample count: every file is then added), "Stream N has no samples: ..." for
// an empty stream without an archive, "No archive ..." for a name not in the list, and "Stream N sample K
// is bound to no file of its archive" for a sample to be replaced that has no song.
std::vector<TPlannedSong> PlanBatch(const TStreamPack& Pack, const TBatchTarget& Target,
                                    const std::vector<std::string>& Files);

// Entry names already taken, per archive, including those given out.
class TEntryNames {
public:
  explicit TEntryNames(const TStreamPack& Pack) : FPack(Pack) {}
  // A new entry's name in the archive at ArchiveIndex, after the file Source: its name with the extension
  // ".asf", made unique (letters compared without regard to case) by " (2)", " (3)", ... before it.
  std::string Unique(int32_t ArchiveIndex, const std::string& Source);

private:
  std::set<std::string>& TakenIn(int32_t ArchiveIndex);
  const TStreamPack& FPack;
  std::map<int32_t, std::set<std::string>> FTaken;
};

// The archive of the definition named Name (its name in the definition's list, or its file name, in
// any case), or -1.
int32_t FindArchive(const TStreamPack& Pack, const std::string& Name);
