// Title, artist and album: ID3v2.2/2.3/2.4 in every text encoding and layout option, ID3v1, Wave INFO and
// AIFF text chunks, the order between them, file names, and the program's JSON, on hand-built tags and on
// files FFmpeg writes.
#include "converter/formats/Tags.h"
#include "converter/Converter.h"
#include "converter/Json.h"
#include "converter/formats/AiffWriter.h"
#include "converter/formats/FlacWriter.h"
#include "converter/formats/WaveWriter.h"
#include "tests/converter/Signals.h"
#include "tests/fixtures/TestFiles.h"

#include <gtest/gtest.h>

using namespace sx;
using fixtures::Concat;
using fixtures::FromHex;

namespace {

const std::string kTitle = "Café Señor — Ünïcode";
const std::u16string kTitle16 = u"Café Señor — Ünïcode";
// kTitle in ISO-8859-1, which has no dash.
const Bytes kTitleLatin1 = FromHex("43 61 66 E9 20 53 65 F1 6F 72 20 DC 6E EF 63 6F 64 65");
const std::string kTitleLatin1Utf8 = "Café Señor Ünïcode";

Bytes Text(const std::string& Plain) {
  return Bytes(Plain.begin(), Plain.end());
}

Bytes Utf16(const std::u16string& Text, bool BigEndian, bool Bom) {
  Bytes Out;
  auto Put = [&](char16_t C) {
    Out.push_back(static_cast<uint8_t>(BigEndian ? C >> 8 : C));
    Out.push_back(static_cast<uint8_t>(BigEndian ? C : C >> 8));
  };
  if (Bom)
    Put(0xFEFF);
  for (char16_t C : Text)
    Put(C);
  return Out;
}

Bytes Be32(uint32_t V, bool SyncSafe) {
  const int Shift = SyncSafe ? 7 : 8;
  const uint32_t Mask = SyncSafe ? 0x7F : 0xFF;
  return {uint8_t(V >> 3 * Shift & Mask), uint8_t(V >> 2 * Shift & Mask), uint8_t(V >> Shift & Mask),
          uint8_t(V & Mask)};
}

// A text frame's body: the encoding byte and the encoded text.
Bytes Body(uint8_t Encoding, const Bytes& Encoded) {
  return Concat({{Encoding}, Encoded});
}

// A frame of ID3v2.3 (plain size) or 2.4 (7 bits a byte unless Plain), with the second flag byte.
Bytes Frame(int Version, const std::string& Id, const Bytes& Data, uint8_t Flags = 0, bool Plain = false) {
  return Concat({Text(Id), Be32(uint32_t(Data.size()), Version == 4 && !Plain), {0, Flags}, Data});
}

// A whole tag: "ID3", version, revision 0, flags, the size in 7-bit bytes, then Frames.
Bytes Tag(int Version, uint8_t Flags, const Bytes& Frames) {
  return Concat({Text("ID3"), {uint8_t(Version), 0, Flags}, Be32(uint32_t(Frames.size()), true), Frames});
}

// A 128-byte ID3v1 tag; Track makes it ID3v1.1.
Bytes Id3v1(const Bytes& Title, const Bytes& Artist, const Bytes& Album, uint8_t Track = 0) {
  Bytes Out = Text("TAG");
  for (const Bytes* Field : {&Title, &Artist, &Album}) {
    Bytes Padded = *Field;
    Padded.resize(30, 0);
    Out.insert(Out.end(), Padded.begin(), Padded.end());
  }
  Out.resize(128, 0);
  Out[125] = 0;
  Out[126] = Track;
  Out[127] = 12; // genre
  return Out;
}

Bytes Cut(Bytes Data, size_t Keep) {
  Data.resize(Keep);
  return Data;
}

// Some audio frames for a tag to stand in front of: the readers of tags do not decode them.
const Bytes kAudio(600, 0x55);

TEST(Tags, ReadsEveryId3Layout) {
  const Bytes Padding(16, 0);
  const Bytes Long = Concat({Body(0, Text("Long one")), Bytes(191, 0)});        // 200 bytes: 0xC8 plainly
  const Bytes Quarter = Concat({Body(3, Text("Two five six")), Bytes(243, 0)}); // 256: 0x100 plainly
  struct {
    const char* Name;
    Bytes File;
    std::string Title, Artist, Album;
  } Cases[] = {
      // ID3v2.2: 3-character ids and 3-byte sizes; ISO-8859-1, UTF-16 with a byte-order mark, a trailing NUL.
      {"2.2",
       Concat({FromHex("494433 02 00 00 00000037"
                       "545432 00000B 00 436166E9205365F16F72"               // TT2 "Café Señor"
                       "545031 00000F 01 FFFE C400 7200 7400 6900 7300 7400" // TP1 "Ärtist"
                       "54414C 000007 00 416C62756D 00"                      // TAL "Album"
                       "00000000"),
               kAudio}),
       "Café Señor", "Ärtist", "Album"},
      // ID3v2.3 unsynchronised as a whole: FF FE FF 00 was written FF 00 FE FF 00 00.
      {"2.3 unsynchronised",
       Concat({FromHex("494433 03 00 80 00000015"
                       "54495432 00000009 0000 01 FF00FE FF0000 6500 7300"), // TIT2 "ÿes"
               kAudio}),
       "ÿes", "", ""},
      {"2.3 UTF-16 both byte orders and ISO-8859-1",
       Concat({Tag(3, 0,
                   Concat({Frame(3, "TIT2", Body(1, Utf16(kTitle16, false, true))),
                           Frame(3, "TPE1", Body(1, Utf16(u"Ärtist", true, true))),
                           Frame(3, "TALB", Body(0, kTitleLatin1)), Padding})),
               kAudio}),
       kTitle, "Ärtist", kTitleLatin1Utf8},
      {"2.3 extended header, a grouped frame, other frames first",
       Concat({Tag(3, 0x40,
                   Concat({FromHex("00000006 0000 00000000"), Frame(3, "TCON", Body(0, Text("Rock"))),
                           Frame(3, "TIT2", Concat({{7}, Body(0, Text("Grouped"))}), 0x20),
                           Frame(3, "TPE1", Body(0, Text("  Blanks around  ")))})),
               kAudio}),
       "Grouped", "Blanks around", ""},
      {"2.4 UTF-8, UTF-16BE, UTF-16 with a mark",
       Concat({Tag(4, 0,
                   Concat({Frame(4, "TIT2", Body(3, Text(kTitle))),
                           Frame(4, "TPE1", Body(2, Utf16(kTitle16, true, false))),
                           Frame(4, "TALB", Body(1, Utf16(kTitle16, false, true))), Padding})),
               kAudio}),
       kTitle, kTitle, kTitle},
      {"2.4 extended header, several values, padding",
       Concat({Tag(4, 0x40,
                   Concat({FromHex("00000006 01 00"),
                           Frame(4, "TIT2", Body(3, Text(std::string("One\0Two", 7)))),
                           Frame(4, "TPE1", Body(0, Text("Band"))), Padding})),
               kAudio}),
       "One", "Band", ""},
      {"2.4 with plain sizes",
       Concat({Tag(4, 0,
                   Concat({Frame(4, "TIT2", Long, 0, true), Frame(4, "TALB", Quarter, 0, true),
                           Frame(4, "TPE1", Body(0, Text("After them")), 0, true)})),
               kAudio}),
       "Long one", "After them", "Two five six"},
      // 2.4 unsynchronises frame bodies, each flagged or all by the tag's flag; a data length indicator.
      {"2.4 unsynchronised frames",
       Concat({Tag(4, 0,
                   Concat({Frame(4, "TIT2", FromHex("00000009 01 FF00FE FF0000 6500 7300"), 0x03),
                           Frame(4, "TPE1", Body(0, Text("Plain")))})),
               kAudio}),
       "ÿes", "Plain", ""},
      {"2.4 unsynchronised tag",
       Concat({Tag(4, 0x80, Concat({Frame(4, "TALB", FromHex("01 FF00FE FF0000 6500 7300"))})), kAudio}), "",
       "", "ÿes"},
      // A compressed or encrypted frame is not read: the title comes from the ID3v1 tag.
      {"2.3 compressed title, ID3v1 behind",
       Concat({Tag(3, 0, Concat({Frame(3, "TIT2", FromHex("00000010 789C"), 0x80)})), kAudio,
               Id3v1(Text("From v1"), Text("Artist v1"), kTitleLatin1)}),
       "From v1", "Artist v1", kTitleLatin1Utf8},
      {"ID3v1.1 with UTF-8 as FFmpeg writes it",
       Concat({kAudio, Id3v1(Text("Café"), Text("Señor"), Text("Ünïcode"), 7)}), "Café", "Señor", "Ünïcode"},
      // The tag claims more than the file holds: the frames before the cut still count.
      {"2.3 cut off",
       Cut(Tag(3, 0, Concat({Frame(3, "TPE1", Body(0, Text("Whole"))), Frame(3, "TIT2", Bytes(50, 0))})), 60),
       "", "Whole", ""},
      // Damage: a frame larger than the tag, a version that does not exist, an extended header past the end.
      {"2.3 frame past the end",
       Tag(3, 0, Concat({Frame(3, "TPE1", Body(0, Text("Kept"))), FromHex("54495432 7FFFFFFF 0000 00 41")})),
       "", "Kept", ""},
      {"version 5", Concat({FromHex("494433 05 00 00 00000010"), Frame(3, "TIT2", Body(0, Text("No")))}), "",
       "", ""},
      {"2.4 extended header too long",
       Tag(4, 0x40, Concat({FromHex("00007F7F 01 00"), Frame(4, "TIT2", Body(0, Text("No")))})), "", "", ""},
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    const TTags Tags = ReadTags(C.File);
    EXPECT_EQ(Tags.Title, C.Title);
    EXPECT_EQ(Tags.Artist, C.Artist);
    EXPECT_EQ(Tags.Album, C.Album);
  }
}

// A RIFF or IFF chunk; an odd size gets its pad byte.
Bytes Chunk(const char* Id, const Bytes& Data, bool LittleEndian) {
  Bytes Out = Text(Id);
  const uint32_t Size = uint32_t(Data.size());
  const Bytes SizeBytes =
      LittleEndian ? Bytes{uint8_t(Size), uint8_t(Size >> 8), uint8_t(Size >> 16), uint8_t(Size >> 24)}
                   : Be32(Size, false);
  Out = Concat({Out, SizeBytes, Data});
  if (Size & 1)
    Out.push_back(0);
  return Out;
}

// Appends Chunks to a whole Wave or AIFF file and mends the size of its outer chunk.
Bytes WithChunks(Bytes File, const Bytes& Chunks, bool LittleEndian) {
  File.insert(File.end(), Chunks.begin(), Chunks.end());
  const uint32_t Size = uint32_t(File.size() - 8);
  for (int I = 0; I < 4; ++I)
    File[4 + I] = uint8_t(LittleEndian ? Size >> 8 * I : Size >> (24 - 8 * I));
  return File;
}

// The containers' own text, ID3 chunks inside them, and the order of the sources: ID3v2, then the
// container's text, then ID3v1, field by field.
TEST(Tags, ReadsWaveAndAiffChunksInOrder) {
  const TAudio Sound = sxtest::Chord(22050, 1000);
  const Bytes Wave = WriteWave(Sound), Aiff = WriteAiff(Sound);
  const Bytes Info = Chunk("LIST",
                           Concat({Text("INFO"), Chunk("INAM", Concat({Text(kTitle), {0}}), true),
                                   Chunk("IART", Concat({kTitleLatin1, {0}}), true),
                                   Chunk("ISFT", Text("Writer"), true), Chunk("IPRD", Text("Album"), true)}),
                           true);
  const Bytes Id3 = Tag(3, 0, Frame(3, "TIT2", Body(0, Text("From ID3"))));
  struct {
    const char* Name;
    Bytes File;
    std::string Title, Artist, Album;
  } Cases[] = {
      {"Wave INFO", WithChunks(Wave, Info, true), kTitle, kTitleLatin1Utf8, "Album"},
      {"Wave INFO before the data",
       WithChunks(Cut(Wave, 36), Concat({Info, Bytes(Wave.begin() + 36, Wave.end())}), true), kTitle,
       kTitleLatin1Utf8, "Album"},
      {"Wave id3 chunk over INFO", WithChunks(Wave, Concat({Info, Chunk("id3 ", Id3, true)}), true),
       "From ID3", kTitleLatin1Utf8, "Album"},
      {"Wave ID3 chunk", WithChunks(Wave, Chunk("ID3 ", Id3, true), true), "From ID3", "", ""},
      {"AIFF NAME and AUTH",
       WithChunks(Aiff, Concat({Chunk("NAME", Text(kTitle), false), Chunk("AUTH", kTitleLatin1, false)}),
                  false),
       kTitle, kTitleLatin1Utf8, ""},
      {"AIFF ID3 chunk over NAME",
       WithChunks(Aiff,
                  Concat({Chunk("NAME", Text("Name"), false), Chunk("ID3 ", Id3, false),
                          Chunk("AUTH", Text("Auth"), false)}),
                  false),
       "From ID3", "Auth", ""},
      {"ID3v2 over ID3v1",
       Concat({Tag(4, 0, Frame(4, "TIT2", Body(3, Text("Two")))), kAudio,
               Id3v1(Text("One"), Text("Artist one"), Text("Album one"))}),
       "Two", "Artist one", "Album one"},
      // Windows-1252 where the bytes are not UTF-8: the euro sign, a dash and a curly quote among Latin-1.
      {"Wave INFO in Windows-1252",
       WithChunks(Wave,
                  Chunk("LIST",
                        Concat({Text("INFO"), Chunk("INAM", FromHex("80 20 97 20 93 E9 94 00"), true)}),
                        true),
                  true),
       "€ — “é”", "", ""},
      // Vorbis comments, names in any case, after a padding block; an ID3v2 tag before "fLaC" wins.
      {"FLAC comments",
       Concat({Text("fLaC"), FromHex("00 000022"), Bytes(34, 0), FromHex("01 000003 000000"),
               FromHex("84 000033"), FromHex("02000000"), Text("sx"), FromHex("03000000"),
               FromHex("0B000000"), Text("tItLe=Café"), FromHex("0B000000"), Text("ARTIST= Me "),
               FromHex("07000000"), Text("album=A")}),
       "Café", "Me", "A"},
      {"FLAC after ID3v2",
       Concat({Tag(4, 0, Frame(4, "TIT2", Body(3, Text("From ID3")))), Text("fLaC"), FromHex("00 000022"),
               Bytes(34, 0), FromHex("84 00001E 02000000"), Text("sx"), FromHex("02000000 04000000"),
               Text("A=B="), FromHex("08000000"), Text("TITLE=No")}),
       "From ID3", "", ""},
      // A chunk that claims more than the file holds is read as far as it goes.
      {"Wave INFO cut off", Cut(WithChunks(Wave, Info, true), Wave.size() + 52), kTitle, "", ""},
      {"EA stream or unknown", kAudio, "", "", ""},
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    const TTags Tags = ReadTags(C.File);
    EXPECT_EQ(Tags.Title, C.Title);
    EXPECT_EQ(Tags.Artist, C.Artist);
    EXPECT_EQ(Tags.Album, C.Album);
    if (DetectInput(C.File) == TInputKind::Wave || DetectInput(C.File) == TInputKind::Aiff) {
      EXPECT_NO_THROW(ReadAudio(C.File)) << "the tags keep the file readable";
    }
  }
}

TEST(Tags, NamesFromTheFileName) {
  struct {
    std::string Path, Title, Artist;
  } Cases[] = {
      {"Artist - Title.mp3", "Title", "Artist"},
      {"/music/Só Eu - Canção.wav", "Canção", "Só Eu"},
      {"C:\\Music\\A - B - C.aiff", "B - C", "A"},
      {"folder.d/Only a title.asf", "Only a title", ""},
      {"No extension", "No extension", ""},
      {"dir\\ Spaced  -  Out .mp3", "Out", "Spaced"},
      {".hidden", ".hidden", ""},
  };
  for (auto& C : Cases) {
    const TTags Tags = TagsFromFileName(C.Path);
    EXPECT_EQ(Tags.Title, C.Title) << C.Path;
    EXPECT_EQ(Tags.Artist, C.Artist) << C.Path;
    EXPECT_EQ(Tags.Album, "") << C.Path;
  }
  // The name stands in only when the tags give neither title nor artist.
  const Bytes AlbumOnly = Concat({Tag(3, 0, Frame(3, "TALB", Body(0, Text("Album")))), kAudio});
  const TTags Named = ReadFileTags(AlbumOnly, "x/Band - Song.mp3");
  EXPECT_EQ(std::vector<std::string>({Named.Title, Named.Artist, Named.Album}),
            std::vector<std::string>({"Song", "Band", "Album"}));
  const Bytes TitleOnly = Concat({Tag(3, 0, Frame(3, "TIT2", Body(0, Text("Tagged")))), kAudio});
  EXPECT_EQ(ReadFileTags(TitleOnly, "x/Band - Song.mp3").Artist, "");
}

// The lines of Text, without their ends (CR LF from a Windows program's standard output).
std::vector<std::string> Lines(const std::string& Text) {
  std::vector<std::string> Out;
  for (size_t Begin = 0, End; (End = Text.find('\n', Begin)) != std::string::npos; Begin = End + 1)
    Out.push_back(Text.substr(Begin, End - Begin - (End > Begin && Text[End - 1] == '\r')));
  return Out;
}

std::string Expected(const std::string& Input, const char* Title, const char* Artist, const char* Album) {
  auto Value = [](const char* V) { return V ? "\"" + std::string(V) + "\"" : std::string("null"); };
  return "{\"input\":" + JsonString(Input) + ",\"title\":" + Value(Title) + ",\"artist\":" + Value(Artist) +
         ",\"album\":" + Value(Album) + "}";
}

// The program's lines: one per input, escaped JSON in UTF-8, null for what is not known.
TEST(Tags, PrintsOneJsonLinePerInput) {
  fixtures::TempDir Dir;
  const std::string Quoted = Dir.File("quoted.mp3"), Named = Dir.File("Só Eu - Canção.wav"),
                    Missing = Dir.File("missing.mp3");
  fixtures::WriteFile(Quoted, Concat({Tag(4, 0,
                                          Concat({Frame(4, "TIT2", Body(3, Text("Say \"hi\"\t\\ now"))),
                                                  Frame(4, "TALB", Body(3, Text(kTitle)))})),
                                      kAudio}));
  fixtures::WriteFile(Named, WriteWave(sxtest::Chord(22050, 100)));
  std::string Out, Err;
  EXPECT_EQ(RunConverter({"-tags", Quoted, Missing, Named}, Out, Err), 2);
  const std::vector<std::string> L = Lines(Out);
  ASSERT_EQ(L.size(), 3u) << Out;
  EXPECT_EQ(L[0], Expected(Quoted, "Say \\\"hi\\\"\\u0009\\\\ now", nullptr, kTitle.c_str()));
  EXPECT_EQ(L[1].find("{\"input\":" + JsonString(Missing) + ",\"error\":\"Cannot open file"), 0u) << L[1];
  EXPECT_EQ(L[2], Expected(Named, "Canção", "Só Eu", nullptr));
  // A conversion with -with-tags prints the input's line first, then its gain's.
  std::string Converted;
  ASSERT_EQ(
      RunConverter({"-wave", "-with-tags", "-gain=-3", Named, "-=" + Dir.File("out.wav")}, Converted, Err), 0)
      << Err;
  const std::vector<std::string> C = Lines(Converted);
  ASSERT_EQ(C.size(), 2u) << Converted;
  EXPECT_EQ(C[0], L[2]);
  EXPECT_EQ(C[1].rfind("{\"output\":", 0), 0u) << C[1];
  // The built program, as the editor runs it (through the shell, whose code page need not be UTF-8: the
  // file names are plain ASCII).
  const std::string Report = Dir.File("report.txt"), Plain = Dir.File("Band - Song.wav");
  fixtures::WriteFile(Plain, WriteWave(sxtest::Chord(22050, 100)));
  ASSERT_EQ(sxtest::RunCommand("\"" + std::string(SX_PATH) + "\" -tags \"" + Quoted + "\" \"" + Plain +
                               "\" > \"" + Report + "\""),
            0);
  const Bytes Printed = fixtures::ReadFile(Report);
  EXPECT_EQ(Lines(std::string(Printed.begin(), Printed.end())),
            std::vector<std::string>({L[0], Expected(Plain, "Song", "Band", nullptr)}));
}

// The output of a command, through the shell, as text.
std::string Output(const std::string& Command, const fixtures::TempDir& Dir) {
  const std::string File = Dir.File("output.txt");
  EXPECT_EQ(sxtest::RunCommand(Command + " > \"" + File + "\""), 0) << Command;
  const Bytes Printed = fixtures::ReadFile(File);
  return std::string(Printed.begin(), Printed.end());
}

// -title=, -artist=, -album= on export: read back by sx -tags from each format, and by readers of our own
// where they run (not under Wine): metaflac and FFmpeg the Vorbis comments, FFmpeg the ID3 chunk of AIFF,
// exiftool the Wave INFO chunk in Windows-1252 ('?' for what it lacks) and the id3 chunk in Unicode.
TEST(Tags, ExportedTagsReadBack) {
  fixtures::TempDir Dir;
  const std::string Source = Dir.File("source.wav");
  fixtures::WriteFile(Source,
                      WriteWave(sxtest::Stereo(sxtest::Chord(22050, 11025), sxtest::Chord(22050, 11025))));
  const std::string Title = "Café Noir", Artist = "Ärtist ☕ — Nº1", Album = "Albüm";
  const char* Outputs[][2] = {{"-flac", "out.flac"}, {"-wave", "out.wav"}, {"-aiff", "out.aif"}};
  std::string Inputs;
  for (const auto& O : Outputs) {
    std::string StdOut, StdErr;
    ASSERT_EQ(RunConverter({O[0], "-title=" + Title, "-artist=" + Artist, "-album=" + Album, Source,
                            "-=" + Dir.File(O[1])},
                           StdOut, StdErr),
              0)
        << StdErr;
    Inputs += " \"" + Dir.File(O[1]) + "\"";
  }
  EXPECT_EQ(Lines(Output("\"" + std::string(SX_PATH) + "\" -tags" + Inputs, Dir)),
            std::vector<std::string>(
                {Expected(Dir.File("out.flac"), Title.c_str(), Artist.c_str(), Album.c_str()),
                 Expected(Dir.File("out.wav"), Title.c_str(), Artist.c_str(), Album.c_str()),
                 Expected(Dir.File("out.aif"), Title.c_str(), Artist.c_str(), Album.c_str())}));
  const std::string Ffprobe = "/usr/bin/ffprobe", Metaflac = "/usr/bin/metaflac",
                    Exiftool = "/usr/bin/exiftool";
  if (!sxtest::CanRun(Ffprobe) || !fixtures::FileExists(Metaflac) || !fixtures::FileExists(Exiftool))
    GTEST_SKIP() << "ffprobe, metaflac and exiftool cannot be started from this process (not under Wine)";
  EXPECT_EQ(Output(Metaflac + " --export-tags-to=- \"" + Dir.File("out.flac") + "\"", Dir),
            "TITLE=" + Title + "\nARTIST=" + Artist + "\nALBUM=" + Album + "\n");
  // FFmpeg keeps the names as the file has them: Vorbis comments upper case, its own names for ID3 frames.
  const std::pair<const char*, std::string> Probes[] = {
      {"out.flac", "TAG:TITLE=" + Title + "\nTAG:ARTIST=" + Artist + "\nTAG:ALBUM=" + Album + "\n"},
      {"out.aif", "TAG:title=" + Title + "\nTAG:artist=" + Artist + "\nTAG:album=" + Album + "\n"}};
  for (const auto& [Name, Probed] : Probes)
    EXPECT_EQ(Output(Ffprobe + " -v error -show_entries format_tags=title,artist,album -of default=nw=1 \"" +
                         Dir.File(Name) + "\"",
                     Dir),
              Probed)
        << Name;
  EXPECT_EQ(Output(Exiftool +
                       " -s3 -RIFF:Title -RIFF:Artist -RIFF:Product -ID3:Title -ID3:Artist -ID3:Album \"" +
                       Dir.File("out.wav") + "\"",
                   Dir),
            Title + "\nÄrtist ? — Nº1\n" + Album + "\n" + Title + "\n" + Artist + "\n" + Album + "\n");
}

// Files FFmpeg tags: ID3v2.3 (UTF-16 with a mark, or ISO-8859-1 for plain ASCII), ID3v2.4 (UTF-8), ID3v1
// (UTF-8 bytes), Wave LIST/INFO with and without a bext chunk, AIFF NAME/AUTH and an AIFF ID3 chunk; a Wave
// file with FFmpeg's ID3v2.3 tag as its "id3 " chunk. All read in one run of the program.
TEST(Tags, ReadsWhatFfmpegWrites) {
  const std::string Ffmpeg = "/usr/bin/ffmpeg";
  if (!sxtest::CanRun(Ffmpeg))
    GTEST_SKIP() << Ffmpeg << " cannot be started from this process (a native program, not under Wine)";
  fixtures::TempDir Dir;
  const std::string Meta =
      " -metadata title=\"" + kTitle + "\" -metadata artist=\"Ärtist\" -metadata album=\"Albüm\"";
  const char* Title = kTitle.c_str();
  struct {
    const char* Name;
    std::string Arguments;
    const char *Title, *Artist, *Album;
  } Cases[] = {
      {"v3.mp3", Meta + " -id3v2_version 3", Title, "Ärtist", "Albüm"},
      {"v3 ascii.mp3", " -metadata title=Plain -metadata artist=Band -id3v2_version 3", "Plain", "Band",
       nullptr},
      {"v4.mp3", Meta + " -id3v2_version 4", Title, "Ärtist", "Albüm"},
      {"v1.mp3", Meta + " -write_id3v1 1", Title, "Ärtist", "Albüm"}, // its ID3v2 tag is cut off below
      {"info.wav", Meta, Title, "Ärtist", "Albüm"},
      {"bext.wav", Meta + " -write_bext 1", Title, "Ärtist", "Albüm"},
      {"plain.aiff", " -metadata title=\"" + kTitle + "\" -metadata author=\"Ärtist\"", Title, "Ärtist",
       nullptr},
      {"id3v4.aiff", Meta + " -write_id3v2 1", Title, "Ärtist", "Albüm"},
      {"id3v3.aiff", Meta + " -write_id3v2 1 -id3v2_version 3", Title, "Ärtist", "Albüm"},
  };
  std::string Inputs;
  for (auto& C : Cases) {
    const std::string File = Dir.File(C.Name);
    ASSERT_EQ(sxtest::RunCommand(Ffmpeg + " -v error -y -f lavfi -i sine=duration=0.5" + C.Arguments + " \"" +
                                 File + "\""),
              0)
        << C.Name;
    Inputs += " \"" + File + "\"";
  }
  // Only the ID3v1 tag: the ID3v2 tag in front is cut off.
  const std::string V1 = Dir.File("v1.mp3");
  Bytes Data = fixtures::ReadFile(V1);
  ASSERT_EQ(Data[3], 4);
  const size_t Id3Size = 10 + (Data[6] << 21 | Data[7] << 14 | Data[8] << 7 | Data[9]);
  fixtures::WriteFile(V1, Bytes(Data.begin() + Id3Size, Data.end()));
  // FFmpeg's ID3v2.3 tag as the "id3 " chunk of a Wave file.
  Data = fixtures::ReadFile(Dir.File("v3.mp3"));
  const Bytes Id3(Data.begin(), Data.begin() + 10 + (Data[6] << 21 | Data[7] << 14 | Data[8] << 7 | Data[9]));
  const std::string Chunked = Dir.File("id3 chunk.wav");
  fixtures::WriteFile(Chunked,
                      WithChunks(WriteWave(sxtest::Chord(22050, 999)), Chunk("id3 ", Id3, true), true));
  Inputs += " \"" + Chunked + "\"";

  const std::string Report = Dir.File("report.txt");
  ASSERT_EQ(sxtest::RunCommand("\"" + std::string(SX_PATH) + "\" -tags" + Inputs + " > \"" + Report + "\""),
            0);
  const Bytes Printed = fixtures::ReadFile(Report);
  const std::vector<std::string> L = Lines(std::string(Printed.begin(), Printed.end()));
  ASSERT_EQ(L.size(), std::size(Cases) + 1);
  for (size_t I = 0; I < std::size(Cases); ++I)
    EXPECT_EQ(L[I], Expected(Dir.File(Cases[I].Name), Cases[I].Title, Cases[I].Artist, Cases[I].Album));
  EXPECT_EQ(L.back(), Expected(Chunked, Title, "Ärtist", "Albüm"));
}

} // namespace
