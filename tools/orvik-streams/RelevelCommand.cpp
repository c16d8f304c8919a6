// relevel: the shared re-levelling workflow bound to arguments and standard output.

#include "base/Paths.h"
#include "tools/orvik-streams/Commands.h"
#include "tools/orvik-streams/Utf8.h"
#include "workflows/Relevel.h"

#include <cstdio>

namespace {

std::string Decimal(double Value, bool Signed = false) {
  char Text[32];
  std::snprintf(Text, sizeof Text, Signed ? "%+.2f" : "%.2f", Value);
  return Text;
}

// The samples the options name: --sample K... of --stream N, every sample of stream N, or every sample (of
// those, the ones bound to an entry). The numbers are read before the definition is opened.
class TChosenSamples {
public:
  explicit TChosenSamples(const TArguments& Args) {
    if (Args.Has("sample") && !Args.Has("stream"))
      throw EUsage("--sample needs --stream");
    if (Args.Has("stream"))
      FStream = Args.Index("stream");
    FSamples = Args.Indexes("sample");
  }

  std::vector<TSampleRef> In(const TStreamPack& Pack) const {
    if (FStream)
      Pack.Streams(*FStream); // the list error for a stream outside the list
    if (FSamples.empty())
      return SamplesWithSongs(Pack, FStream);
    std::vector<TSampleRef> Samples;
    for (int Sample : FSamples)
      Samples.push_back({*FStream, Sample});
    return Samples;
  }

private:
  std::optional<int32_t> FStream;
  std::vector<int> FSamples;
};

std::string Outcome(const TRelevelSong& Song) {
  if (Song.State == TRelevelSong::Failed)
    return "failed: " + Utf8FromNarrow(Song.Failure);
  if (!Song.LoudnessBefore)
    return "unchanged: no loudness to match (silence, or under 0.4 s)";
  std::string Text = Decimal(*Song.LoudnessBefore) + " LUFS, ";
  if (Song.State == TRelevelSong::Unchanged)
    return Text + (Song.HeldBack ? "unchanged: its peak is at the limit" : "unchanged: at the target");
  Text += "gain " + Decimal(*Song.Gain, true) + " dB";
  return Song.HeldBack ? Text + ", held back by the peak limit" : Text;
}

void ProgressLine(std::ostream& Out, const TStreamPack& Pack, const TRelevelSong& Song, size_t Index,
                  size_t Count) {
  Out << "[" << Index + 1 << "/" << Count << "] stream " << Song.Sample.Stream << " sample "
      << Song.Sample.Sample << " (" << Utf8FromNarrow(ArchiveName(Pack, Song.ArchiveIndex)) << " "
      << Utf8FromNarrow(Song.Entry) << (Song.Codec.empty() ? "" : ", " + Song.Codec) << "): " << Outcome(Song)
      << "\n"
      << std::flush;
}

} // namespace

int Relevel(const TArguments& Args, TContext& C) {
  const std::string& Definition = Args.Positional(0);
  TRelevelOptions Options;
  Options.Target = Args.Decimal("target", kLowestTargetLufs, kHighestTargetLufs);
  const TChosenSamples Chosen(Args);
  TRelevelResult Result;
  ChangeDefinition(Definition, C, [&](TStreamPack& Pack, TDefinitionSession& Session) {
    const std::vector<TSampleRef> Samples = Chosen.In(Pack);
    TSystemConverterProcess Runner(C.ProgramFolder);
    TConverter Converter(Runner);
    Options.Measuring = [&](size_t Done, size_t Total) {
      C.Out << "Measuring the definition's songs: " << Done << "/" << Total << "\n" << std::flush;
    };
    Options.Targeted = [&](double Target) {
      C.Out << "Loudness target: " << Decimal(Target) << " LUFS"
            << (Options.Target ? "" : ", the median of the definition's songs") << "\n";
    };
    Options.SongDone = [&](const TRelevelSong& Song, size_t I, size_t N) {
      ProgressLine(C.Out, Pack, Song, I, N);
    };
    Result = RelevelSongs(Pack, Session, Samples, Converter, Options);
    if (Result.CountOf(TRelevelSong::Relevelled) > 0)
      Save(Pack, Session, true);
  });
  if (!Result.Target) {
    C.Out << "No song of the definition has a loudness to match: nothing is re-levelled\n";
    return 1;
  }
  C.Out << Result.CountOf(TRelevelSong::Relevelled) << " of " << Result.Songs.size()
        << " song(s) re-levelled, " << Result.CountOf(TRelevelSong::Unchanged) << " unchanged, "
        << Result.CountOf(TRelevelSong::Failed) << " failed\n";
  return Result.CountOf(TRelevelSong::Failed) == 0 ? 0 : 1;
}
