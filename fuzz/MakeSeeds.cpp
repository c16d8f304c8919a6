// Writes the seed corpus of every fuzz target into <folder>/<target>/seed-<name>: small valid inputs
// made by the project's own writers and test generators, one per layout worth starting from.

#include "base/Records.h"
#include "base/WriteJournal.h"
#include "converter/Reports.h"
#include "converter/codecs/EACodec.h"
#include "converter/codecs/FlacEncoder.h"
#include "converter/formats/AiffWriter.h"
#include "converter/formats/EAStreamWriter.h"
#include "converter/formats/FlacWriter.h"
#include "converter/formats/WaveWriter.h"
#include "tests/fixtures/Bigf.h"
#include "tests/fixtures/Definition.h"
#include "tests/fixtures/TestFiles.h"
#include "workflows/KeptOriginals.h"
#include "workflows/SoundtrackPack.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

namespace {

using fixtures::Bytes;
namespace fs = std::filesystem;

fs::path Root;

void Seed(const std::string& Target, const std::string& Name, const Bytes& Data) {
  fs::create_directories(Root / Target);
  fixtures::WriteFile((Root / Target / ("seed-" + Name)).string(), Data);
}

sx::TAudio Tone(unsigned Channels, size_t Frames) {
  sx::TAudio Audio;
  Audio.SampleRate = 22050;
  Audio.Channels = Channels;
  for (size_t I = 0; I < Frames * Channels; ++I)
    Audio.Samples.push_back(
        static_cast<int16_t>(8000 * std::sin(0.05 * double(I / Channels + I % Channels))));
  return Audio;
}

void ArchiveSeeds() {
  Seed("bigf", "empty", fixtures::MakeBigf({}));
  Seed("bigf", "three",
       fixtures::MakeBigf(
           {{"a.asf", fixtures::Pattern(100, 1)}, {"empty", {}}, {"sub\\c.asf", fixtures::Pattern(70, 2)}}));
  // Two entries naming the same data, as some tools write for a song used twice.
  Bytes Shared = fixtures::MakeBigf({{"one", fixtures::Pattern(64, 3)}, {"two", {}}});
  fixtures::PutBE32(Shared, 16 + 8 + 4, fixtures::GetBE32(Shared, 16));
  fixtures::PutBE32(Shared, 16 + 8 + 4 + 4, 64);
  Seed("bigf", "shared", Shared);

  Seed("definition", "one-archive", fixtures::MakeDefinition({{"a.viv"}, {}, {{{64, 0, -1}}}}));
  Seed("definition", "two-archives",
       fixtures::MakeDefinition({{"a.viv", "sub/b.viv"},
                                 {{"Song", "Singer", "Album"}},
                                 {{{64, 0, 0}, {64, 1, -1}}, {}, {{64, 1, 0}}}}));
  Seed("definition", "outside", fixtures::MakeDefinition({{"../outside.viv"}, {}, {}}));

  Seed("refpack", "text", fixtures::TextBytes("streams.dat streams.dat streams.dat of ORVIK, ORVIK, ORVIK"));
  Seed("refpack", "pattern", fixtures::Pattern(3000, 4));
  Seed("refpack", "zeros", Bytes(5000, 0));
}

void SoundFileSeeds() {
  Seed("wave", "mono", sx::WriteWave(Tone(1, 200)));
  Seed("wave", "stereo", sx::WriteWave(Tone(2, 100)));
  Seed("aiff", "mono", sx::WriteAiff(Tone(1, 200)));
  Seed("aiff", "stereo", sx::WriteAiff(Tone(2, 100)));
  const std::pair<const char*, sx::TEACodec> Codecs[] = {{"eaxa", sx::TEACodec::EAXA},
                                                         {"pcm16", sx::TEACodec::PcmS16LE},
                                                         {"pcm16be", sx::TEACodec::PcmS16BE},
                                                         {"pcm8", sx::TEACodec::PcmS8},
                                                         {"microtalk10", sx::TEACodec::MicroTalk10},
                                                         {"microtalk5", sx::TEACodec::MicroTalk5}};
  for (const auto& [Name, Codec] : Codecs)
    Seed("eastream", Name, sx::WriteEAStream(Tone(2, 1500), Codec));
}

// FLAC of our writer (mono, stereo, tagged), and a stream of variable blocks of a few sizes from the frame
// encoder with the stream information of a writer that knows neither length nor MD5.
void FlacSeeds() {
  Seed("flac", "mono", sx::WriteFlac(Tone(1, 600)));
  Seed("flac", "stereo", sx::WriteFlac(Tone(2, 500)));
  Seed("flac", "tagged", sx::WriteFlac(Tone(2, 40), {"Title", "Artist", "Album"}));
  Seed("tags", "flac-comments", sx::WriteFlac(Tone(1, 20), {"Caf\xC3\xA9", "Artist", "Album"}));
  Bytes Variable = {'f', 'L', 'a', 'C', 0x80, 0, 0, 34, 0, 17, 0x01, 0x20};
  Variable.resize(Variable.size() + 6, 0);
  Variable.insert(Variable.end(),
                  {0x05, 0x62, 0x22, 0xF0}); // 22050 Hz, 2 channels, 16 bits, length not known
  Variable.resize(Variable.size() + 4 + 16, 0);
  const sx::TAudio Audio = Tone(2, 700);
  sx::TFlacEncoder Encoder(2, 22050);
  const unsigned Blocks[] = {288, 17, 192, 203};
  for (size_t At = 0, I = 0; At < Audio.Frames(); At += Blocks[I++ % 4]) {
    const unsigned Block = std::min<unsigned>(Blocks[I % 4], static_cast<unsigned>(Audio.Frames() - At));
    Encoder.Encode(Audio.Samples.data() + At * 2, Block, At, true, Variable);
  }
  Seed("flac", "variable-blocks", Variable);
}

// Two blocks of one channel in the codec targets' input form (see CodecTarget.h).
Bytes CodecInput(sx::TEACodec Codec, uint8_t Choice) {
  const sx::TAudio Audio = Tone(1, 8 * sx::FrameSamples(Codec) + 4);
  std::unique_ptr<sx::TChannelEncoder> Encoder = sx::MakeEncoder(Codec);
  Bytes Input = {Choice};
  const size_t Half = Audio.Samples.size() / 2;
  for (size_t Block = 0; Block < 2; ++Block) {
    Bytes Data;
    Encoder->Encode(Audio.Samples.data() + Block * Half, Half, 1, Block == 0, Data);
    for (size_t Value : {Half, Data.size()}) {
      Input.push_back(static_cast<uint8_t>(Value));
      Input.push_back(static_cast<uint8_t>(Value >> 8));
    }
    Input.insert(Input.end(), Data.begin(), Data.end());
  }
  return Input;
}

void CodecSeeds() {
  Seed("eaxa", "blocks", CodecInput(sx::TEACodec::EAXA, 1));
  Seed("eaxa", "blocks-old", CodecInput(sx::TEACodec::EAXA, 0));
  Seed("pcm", "s16le", CodecInput(sx::TEACodec::PcmS16LE, 1));
  Seed("pcm", "s8", CodecInput(sx::TEACodec::PcmS8, 3));
  Seed("pcm", "s16be", CodecInput(sx::TEACodec::PcmS16BE, 5));
  Seed("microtalk", "10to1", CodecInput(sx::TEACodec::MicroTalk10, 1));
  Seed("microtalk", "5to1", CodecInput(sx::TEACodec::MicroTalk5, 3));
}

// MPEG-1 layer III frames of 417 bytes (128 kbit/s, 44.1 kHz, joint stereo), the first an Info tag frame
// with every optional field and an encoder extension giving delay 576 and padding 1200.
void Mp3Seeds() {
  const Bytes Header = {0xFF, 0xFB, 0x90, 0x64};
  Bytes Tagged = Header;
  Tagged.resize(36, 0);
  for (uint8_t Byte : fixtures::TextBytes("Info"))
    Tagged.push_back(Byte);
  Tagged.insert(Tagged.end(), {0, 0, 0, 0x0F, 0, 0, 0, 3, 0, 0, 0x04, 0xE3});
  Tagged.resize(Tagged.size() + 100 + 4, 0);
  Bytes Extension = fixtures::TextBytes("LAME3.100");
  Extension.resize(21, 0);
  Extension.insert(Extension.end(), {0x24, 0x04, 0xB0});
  Tagged.insert(Tagged.end(), Extension.begin(), Extension.end());
  Tagged.resize(417, 0);
  Bytes Audio = Tagged;
  for (int Frame = 0; Frame < 2; ++Frame) {
    Audio.insert(Audio.end(), Header.begin(), Header.end());
    Audio.resize(Audio.size() + 413, 0);
  }
  Seed("mp3", "info-tag", Audio);
  Bytes Id3 = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 10};
  Id3.resize(20, 0);
  Id3.insert(Id3.end(), Audio.begin() + 417, Audio.end());
  Seed("mp3", "id3", Id3);
}

Bytes Text(const std::string& Plain) {
  return Bytes(Plain.begin(), Plain.end());
}

// An ID3v2 text frame of Version holding Body (an encoding byte and text); sizes below 128 read the same
// in every version.
Bytes Id3Frame(int Version, const std::string& Id, const Bytes& Body, uint8_t Flags = 0) {
  Bytes Out = Text(Id);
  const size_t Size = Body.size();
  if (Version == 2)
    Out.insert(Out.end(), {0, 0, uint8_t(Size)});
  else
    Out.insert(Out.end(), {0, 0, 0, uint8_t(Size), 0, Flags});
  Out.insert(Out.end(), Body.begin(), Body.end());
  return Out;
}

Bytes Id3Tag(int Version, uint8_t Flags, const Bytes& Frames) {
  Bytes Out = Text("ID3");
  const size_t Size = Frames.size();
  Out.insert(Out.end(), {uint8_t(Version), 0, Flags, 0, 0, uint8_t(Size >> 7 & 0x7F), uint8_t(Size & 0x7F)});
  Out.insert(Out.end(), Frames.begin(), Frames.end());
  return Out;
}

Bytes Chunk(const std::string& Id, const Bytes& Data, bool LittleEndian) {
  Bytes Out = Text(Id);
  const uint32_t Size = uint32_t(Data.size());
  if (LittleEndian)
    Out.insert(Out.end(), {uint8_t(Size), uint8_t(Size >> 8), 0, 0});
  else
    Out.insert(Out.end(), {0, 0, uint8_t(Size >> 8), uint8_t(Size)});
  Out.insert(Out.end(), Data.begin(), Data.end());
  if (Size & 1)
    Out.push_back(0);
  return Out;
}

// Tags of every kind the reader knows, each in a small file.
void TagSeeds() {
  const Bytes Latin1 = {0, 'C', 'a', 'f', 0xE9};
  const Bytes Utf16 = {1, 0xFF, 0xFE, 'B', 0, 0xE4, 0, 'n', 0, 'd', 0};
  const Bytes Utf16Be = {2, 0, 'A', 0, 'l', 0, 'b', 0, 0xFC};
  const Bytes Utf8 = {3, 'S', 0xC3, 0xB1, 'o', 'r', 0, 'x'};
  Seed("tags", "id3v22",
       Id3Tag(2, 0,
              fixtures::Concat(
                  {Id3Frame(2, "TT2", Latin1), Id3Frame(2, "TP1", Utf16), Id3Frame(2, "TAL", Utf8)})));
  Seed(
      "tags", "id3v23",
      Id3Tag(3, 0, fixtures::Concat({Id3Frame(3, "TIT2", Utf16), Id3Frame(3, "TPE1", Latin1), Bytes(8, 0)})));
  Seed("tags", "id3v23-unsync-extended",
       Id3Tag(3, 0xC0,
              fixtures::Concat({{0, 0, 0, 6, 0, 0, 0, 0, 0, 0},
                                Id3Frame(3, "TIT2", {1, 0xFF, 0x00, 0xFE, 0xFF, 0x00, 0x00, 'a', 0}),
                                Id3Frame(3, "TALB", {0, 'g', 'r'}, 0x20)})));
  Seed("tags", "id3v24",
       Id3Tag(4, 0x40,
              fixtures::Concat({{0, 0, 0, 6, 1, 0},
                                Id3Frame(4, "TIT2", Utf8),
                                Id3Frame(4, "TPE1", Utf16Be),
                                Id3Frame(4, "TALB", {0, 0, 0, 3, 0, 'a', 0xFF, 0, 'b'}, 0x03)})));
  // A frame of 200 bytes sized plainly (0xC8), as some writers do, where 7-bit bytes belong.
  Seed("tags", "id3v24-plain-sizes",
       Id3Tag(4, 0, fixtures::Concat({Id3Frame(4, "TIT2", Bytes(200, 'p')), Id3Frame(4, "TPE1", Latin1)})));
  Bytes V1 = Text("TAG");
  V1.resize(128, 'x');
  Seed("tags", "id3v1", fixtures::Concat({Bytes(40, 0x55), V1}));
  const Bytes Wave = sx::WriteWave(Tone(1, 20));
  Seed("tags", "wave-info-id3",
       fixtures::Concat(
           {Wave,
            Chunk("LIST",
                  fixtures::Concat({Text("INFO"), Chunk("INAM", Text("Name"), true),
                                    Chunk("IART", Text("Art"), true), Chunk("IPRD", Text("Prd"), true)}),
                  true),
            Chunk("id3 ", Id3Tag(3, 0, Id3Frame(3, "TIT2", Latin1)), true)}));
  Seed("tags", "aiff-name-auth-id3",
       fixtures::Concat({sx::WriteAiff(Tone(1, 20)), Chunk("NAME", Text("Name"), false),
                         Chunk("AUTH", Text("Auth"), false),
                         Chunk("ID3 ", Id3Tag(4, 0, Id3Frame(4, "TIT2", Utf8)), false)}));
}

// The loudness target's form: a byte of channels and rate, a byte of gain, 16-bit samples.
void LoudnessSeeds() {
  auto Input = [](uint8_t Choice, int8_t Gain, size_t Samples, double Step, double Level) {
    Bytes In = {Choice, static_cast<uint8_t>(Gain)};
    for (size_t I = 0; I < Samples; ++I) {
      const double Quiet = I > Samples / 2 ? 0.01 : 1;
      const auto V = static_cast<int16_t>(Level * Quiet * 32767 * std::sin(Step * double(I)));
      In.push_back(static_cast<uint8_t>(V));
      In.push_back(static_cast<uint8_t>(V >> 8));
    }
    return In;
  };
  Seed("loudness", "mono-8k-loud-then-quiet", Input(0, 12, 6000, 0.3, 0.5));
  Seed("loudness", "stereo-8k-near-full-scale", Input(1, 2, 7000, 1.5, 0.99));
  Seed("loudness", "mono-48k-short", Input(12, -20, 500, 0.05, 0.2));
  Seed("loudness", "stereo-4k", Input(15, 0, 200, 0.5, 0.5));
}

// The pack of Manifest with Songs as its songs 1, 2, ..., each song's size and CRC-32 taken from its bytes.
Bytes PackOf(TPackManifest Manifest, const std::vector<Bytes>& Songs) {
  std::vector<fixtures::BigfEntry> Entries = {{"manifest", {}}};
  for (size_t I = 0; I < Songs.size(); ++I) {
    Manifest.Songs[I].Digest = {static_cast<uint32_t>(Songs[I].size()),
                                Crc32(Songs[I].data(), Songs[I].size())};
    Entries.push_back({Manifest.Songs[I].Entry, Songs[I]});
  }
  Entries[0].Data = PackManifestBytes(Manifest);
  return fixtures::MakeBigf(Entries);
}

// Soundtrack packs for the game folder of the pack target (a.big of two entries, two streams), their
// songs EA streams as a pack must hold.
void PackSeeds() {
  const Bytes One = sx::WriteEAStream(Tone(1, 120), sx::TEACodec::EAXA);
  const Bytes Two = sx::WriteEAStream(Tone(2, 64), sx::TEACodec::PcmS16LE);
  TPackManifest Songs;
  Songs.AgainstOriginals = true;
  Songs.Songs = {{"songs/1.asf", "a.big", "one.asf", {}}, {"songs/2.asf", "sub/b.big", "two (2).asf", {}}};
  Songs.Samples = {{0, 0, 0, 0, true, "Name", "Singer", "Album", -14.25},
                   {0, 2, 1, 8, false, "", "", "", {}},
                   {1, 0, 1, 0, true, "", "Only a singer", "", -9.5},
                   {3, 1, 0, 0, false, "", "", "", {}}};
  Seed("pack", "two-songs", PackOf(Songs, {One, Two}));
  Seed("pack", "empty", PackOf({}, {}));
  TPackManifest Shared = Songs;
  Shared.AgainstOriginals = false;
  Shared.Samples = {{0, 0, 0, 0, true, "A", "B", "C", {}},
                    {0, 1, 0, 0, true, "A", "B", "C", {}},
                    {1, 1, 0, 0, false, "", "", "", {}}};
  Seed("pack", "shared-song", PackOf(Shared, {One, One}));
}

// Manifests of kept original music: a game's whole set, an archive in a folder of its own, the definition
// alone.
void KeptManifestSeeds() {
  Seed("keptmanifest", "game",
       KeptManifestBytes({{TKeptFile::Definition, "streams.dat", 1964, 0x1234abcd},
                          {TKeptFile::Archive, "frontend.big", 70000, 0x55aa55aa},
                          {TKeptFile::Archive, "ingame.big", 120000, 0x01020304},
                          {TKeptFile::Preload, "faudio.viv", 4096, 0xdeadbeef},
                          {TKeptFile::Preload, "gaudio.viv", 4096, 0xfeedface},
                          {TKeptFile::Preload, "gaudiofa.viv", 2048, 0}}));
  Seed("keptmanifest", "archive-in-a-folder",
       KeptManifestBytes(
           {{TKeptFile::Definition, "streams.dat", 44, 7}, {TKeptFile::Archive, "sub/a.big", 64, 8}}));
  Seed("keptmanifest", "definition-alone", KeptManifestBytes({{TKeptFile::Definition, "streams.dat", 0, 0}}));
}

// Journals of real transactions on the journal target's game (streams.dat naming ingame.big), each as a
// process that died at that point left it: changes in place, an add's backup, a note with its kept song,
// the add undone, a commit of new copies, and a commit its process undid.
void JournalSeeds() {
  const fs::path Game = fs::temp_directory_path() / "orvik-journal-seeds";
  fs::remove_all(Game);
  fs::create_directories(Game / "streams.dat.~songs");
  const std::string Definition = (Game / "streams.dat").string(), Archive = (Game / "ingame.big").string();
  const std::string Journal = TWriteJournal::PathFor(Definition);
  fixtures::WriteFile(Definition, fixtures::MakeDefinition({{"ingame.big"}, {}, {}}));
  fixtures::WriteFile(Archive, fixtures::Pattern(300, 1));
  const std::string Song = (Game / "streams.dat.~songs" / "song1").string();
  fixtures::WriteFile(Song, fixtures::Pattern(20, 2));
  {
    TWriteJournal J(Journal);
    J.BeforeWrite(Archive, 16, 8);
    Seed("journal", "in-place", fixtures::ReadFile(Journal));
    J.Note(fixtures::TextBytes("import"), Song);
    J.BeforeReplace(Archive, Archive + ".~undo");
    J.BeforeCreate(Archive + ".~new");
    Seed("journal", "add-with-note", fixtures::ReadFile(Journal));
    J.BeforeReplace(Archive, Archive + ".~undo2");
    J.BeforeMove(Archive + ".~undo", Archive);
    Seed("journal", "add-undone", fixtures::ReadFile(Journal));
    J.Commit({{Archive, Archive + ".~new", Archive + ".~old"},
              {Definition, Definition + ".~new", Definition + ".~old"}});
    Seed("journal", "commit", fixtures::ReadFile(Journal));
    J.Abort();
    Seed("journal", "commit-undone", fixtures::ReadFile(Journal));
  }
  fs::remove_all(Game);
}

// Lines as the converter prints them: -measure (with and without an outline) and -tags of small files (named
// as a folder of songs would name them, the names relative, as the reports echo them), an error line, and
// gain lines (of -gain and of -loudness); one output of several lines ending in CR LF as on Windows, and a
// line whose texts are \u escapes with a surrogate pair.
void ReportSeeds() {
  const fs::path Scratch = fs::temp_directory_path() / "orvik-report-seeds";
  fs::create_directories(Scratch);
  const fs::path Was = fs::current_path();
  fs::current_path(Scratch);
  fixtures::WriteFile("Derby Day - Warm Up.wav", sx::WriteWave(Tone(2, 20000)));
  fixtures::WriteFile("quiet\tnight.wav",
                      sx::WriteWave(sx::TAudio{22050, 1, std::vector<int16_t>(100, 0), {}}));
  fixtures::WriteFile(
      "tagged.wav",
      fixtures::Concat({sx::WriteWave(Tone(1, 20)),
                        Chunk("LIST",
                              fixtures::Concat({Text("INFO"), Chunk("INAM", Text("Caf\xC3\xA9"), true),
                                                Chunk("IART", Text("Art \"Q\""), true)}),
                              true)}));
  const std::string Measure = sx::MeasureReport("Derby Day - Warm Up.wav");
  const std::string Silence = sx::MeasureReport("quiet\tnight.wav");
  const std::string Outlined = sx::MeasureReport("Derby Day - Warm Up.wav", 6);
  const std::string Tags = sx::TagsReport("Derby Day - Warm Up.wav");
  const std::string Tagged = sx::TagsReport("tagged.wav");
  const std::string Error = sx::ErrorReport("gone.mp3", "Cannot open file \"gone.mp3\". No such file");
  fs::current_path(Was);
  fs::remove_all(Scratch);
  Seed("reports", "measure", Text(Measure));
  Seed("reports", "measure-silence", Text(Silence));
  Seed("reports", "measure-envelope", Text(Outlined));
  Seed("reports", "tags-from-name", Text(Tags));
  Seed("reports", "tags-info", Text(Tagged));
  Seed("reports", "error", Text(Error));
  Seed("reports", "gain",
       Text("{\"output\":\"out.asf\",\"gainRequested\":-3.50,\"gainApplied\":-3.50,\"heldBack\":false,"
            "\"truePeak\":-4.21}"));
  Seed("reports", "gain-held-back",
       Text("{\"output\":\"out.asf\",\"gainRequested\":6.00,\"gainApplied\":3.21,\"heldBack\":true,"
            "\"truePeak\":-4.21}"));
  Seed("reports", "gain-matched",
       Text("{\"output\":\"out.asf\",\"integrated\":-20.50,\"gainRequested\":6.50,\"gainApplied\":6.50,"
            "\"heldBack\":false,\"truePeak\":-9.00}"));
  Seed("reports", "gain-matched-silence",
       Text("{\"output\":\"out.asf\",\"integrated\":null,\"gainRequested\":0.00,\"gainApplied\":0.00,"
            "\"heldBack\":false,\"truePeak\":null}"));
  Seed("reports", "lines-crlf", Text(Measure + "\r\n" + Error + "\r\n" + Silence + "\r\n"));
  Seed("reports", "escapes",
       Text("{\"input\":\"\\u0053\\u00f1\\ud83c\\udfb5.mp3\",\"title\":\"a\\/b\\tc\",\"artist\":null,"
            "\"album\":\"\\\"\\\\\"}"));
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: orvik_fuzz_seeds <corpus folder>\n");
    return 1;
  }
  Root = argv[1];
  ArchiveSeeds();
  SoundFileSeeds();
  CodecSeeds();
  Mp3Seeds();
  FlacSeeds();
  TagSeeds();
  LoudnessSeeds();
  PackSeeds();
  ReportSeeds();
  KeptManifestSeeds();
  JournalSeeds();
  return 0;
}
