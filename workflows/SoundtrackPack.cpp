#include "workflows/SoundtrackPack.h"

#include "base/ByteOrder.h"
#include "base/Exceptions.h"
#include "base/FileSetCommit.h"
#include "base/Paths.h"
#include "base/Records.h"
#include "converter/formats/EAStreamReader.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace {

const char kMagic[] = "ORVKPACK";
constexpr uint32_t kVersion = 2;
constexpr uint32_t kUndigestedVersion = 1; // songs without their size and CRC-32
constexpr uint32_t kAgainstOriginals = 1;
constexpr const char* kManifestEntry = "manifest";
constexpr uint32_t kMaxManifest = 1u << 24;
constexpr size_t kMaxName = 255;
constexpr size_t kFieldText = 63;
constexpr int64_t kMaxLoudness = 100000; // hundredths: 1000 LU either way is beyond any sound
// The smallest records: a song of three empty texts (and its digest from version 2 on), a sample without
// description or loudness.
constexpr size_t kMinSong = 3 * 4;
constexpr size_t kDigestBytes = 2 * 4;
constexpr size_t kMinSample = 4 * 4 + 2;

[[noreturn]] void Damaged(const std::string& Reason) {
  throw Exception("The soundtrack pack is damaged: " + Reason);
}

bool IsControl(char C) {
  return static_cast<unsigned char>(C) < 0x20 || C == 0x7F;
}

bool Printable(const std::string& Text) {
  return std::none_of(Text.begin(), Text.end(), IsControl);
}

// A name a pack may give for an archive or an entry: one a definition may name, printable, not too long.
bool ValidName(const std::string& Name) {
  return !Name.empty() && Name.size() <= kMaxName && IsPathInsideFolder(Name) && Printable(Name);
}

void WriteSample(TRecordWriter& Out, const TPackSample& S) {
  Out.U32(static_cast<uint32_t>(S.Stream)).U32(static_cast<uint32_t>(S.Position));
  Out.U32(static_cast<uint32_t>(S.Song)).U32(S.SongOffset).U8(S.Described ? 1 : 0);
  if (S.Described)
    Out.Text(S.Name).Text(S.Singer).Text(S.Album);
  Out.U8(S.Loudness ? 1 : 0);
  if (S.Loudness)
    Out.I64(static_cast<int64_t>(std::llround(*S.Loudness * 100)));
}

TPackSample ReadSample(TRecordReader& In, size_t SongCount) {
  TPackSample S;
  uint32_t Stream = In.U32(), Position = In.U32(), Song = In.U32();
  S.SongOffset = In.U32();
  if (Stream > kMaxPackIndex || Position > kMaxPackIndex || Song >= SongCount)
    Damaged("a sample's stream, position or song is out of range");
  S.Stream = static_cast<int32_t>(Stream);
  S.Position = static_cast<int32_t>(Position);
  S.Song = static_cast<int32_t>(Song);
  uint8_t Described = In.U8();
  if (Described > 1)
    Damaged("a sample's description flag is neither 0 nor 1");
  S.Described = Described == 1;
  if (S.Described) {
    S.Name = In.Text();
    S.Singer = In.Text();
    S.Album = In.Text();
    for (const std::string* Text : {&S.Name, &S.Singer, &S.Album}) {
      if (Text->size() > kFieldText)
        Damaged("a description text is longer than 63 bytes");
      if (!Printable(*Text))
        Damaged("a description text holds a control character");
    }
  }
  uint8_t Measured = In.U8();
  if (Measured > 1)
    Damaged("a sample's loudness flag is neither 0 nor 1");
  if (Measured == 1) {
    int64_t Hundredths = In.I64();
    if (Hundredths < -kMaxLoudness || Hundredths > kMaxLoudness)
      Damaged("a loudness is out of range");
    S.Loudness = static_cast<double>(Hundredths) / 100;
  }
  return S;
}

// Reads the song of the pack's Entry whole and returns its digest; raises for a song that is empty, too
// large or not an EA stream the game can read: a PC stream that the converter's reader reads whole, cut
// nowhere.
TSongDigest CheckSong(const std::string& Name, TEAStreamFile& Entry) {
  if (Entry.Size == 0)
    Damaged("the song " + Name + " is empty");
  if (Entry.Size > kMaxPackSongBytes)
    Damaged("the song " + Name + " is larger than " + std::to_string(kMaxPackSongBytes >> 20) + " MB");
  TMemoryStream Data;
  Entry.SaveToStream(Data);
  const std::vector<uint8_t>& Bytes = Data.Bytes();
  TSongDigest Digest{Entry.Size, Crc32(Bytes.data(), Bytes.size())};
  std::string Reason;
  try {
    sx::TEAStreamInfo Info;
    sx::TAudio Audio = sx::ReadEAStream(Bytes, &Info);
    if (!Audio.Warnings.empty())
      Reason = Audio.Warnings.front();
    else if (Info.Header.Platform != sx::kPlatformPC)
      Reason = "not a PC stream";
  } catch (const Exception& Error) {
    Reason = Error.Message();
  }
  if (!Reason.empty())
    Damaged("the song " + Name + " is not an EA stream the game can read (" + Reason + ")");
  return Digest;
}

bool Before(const TPackSample& A, const TPackSample& B) {
  return A.Stream < B.Stream || (A.Stream == B.Stream && A.Position < B.Position);
}

// ---- export ----

std::string ArchiveNameIn(const TStreamPack& Pack, const TEAStream& Archive) {
  const std::string& Path = Archive.FileName;
  return Path.rfind(Pack.BasePath, 0) == 0 ? Path.substr(Pack.BasePath.size()) : ExtractFileName(Path);
}

// True when the original sample holds the same song at the same place and the same description.
bool SameAsOriginal(const TStreamData& Original, const TEAStreamFile& Entry, uint32_t Offset,
                    const TPackSample& Described) {
  const TEAStreamFile* Kept = EntryOfSample(Original);
  return Kept != nullptr && Original.FileOffset - Kept->Offset == Offset &&
         DigestOf(*Kept) == DigestOf(Entry) && SameDescription(Original, Described);
}

TPackSample Describe(const TStreamData& Sample, int32_t Stream, int32_t Position) {
  TPackSample S;
  S.Stream = Stream;
  S.Position = Position;
  const TStreamPack& Pack = *Sample.MusicStream->Pack;
  S.Described = Sample.DescriptionIndex >= 0 && Sample.DescriptionIndex < Pack.DescriptionCount();
  if (S.Described) {
    const TStreamDescription& D = *Sample.Description();
    // A definition holds printable texts; a pack that carried other bytes would be refused by its readers.
    S.Name = PrintableText(FieldText(D.Name));
    S.Singer = PrintableText(FieldText(D.Singer));
    S.Album = PrintableText(FieldText(D.Album));
  }
  return S;
}

// Measures each song of the pack from a scratch copy, in one run of the converter.
void MeasureSongs(TConverter& Converter, const std::vector<TEAStreamFile*>& Entries,
                  TPackManifest& Manifest) {
  std::vector<std::string> Scratch;
  std::vector<TMeasureReport> Reports;
  try {
    for (TEAStreamFile* Entry : Entries) {
      Scratch.push_back(ChangeFileExt(MakeTempFileName("~asf"), ".asf"));
      Entry->SaveToFile(Scratch.back());
    }
    Reports = Converter.Measure(Scratch);
  } catch (...) {
    for (const std::string& Path : Scratch)
      if (platform::IsFile(Path))
        platform::DeleteFile(Path);
    throw;
  }
  for (const std::string& Path : Scratch)
    CheckOSError(platform::DeleteFile(Path));
  for (TPackSample& Sample : Manifest.Samples)
    Sample.Loudness = Reports[static_cast<size_t>(Sample.Song)].Integrated;
}

// Writes the pack's archive: the manifest, then each song's data copied from its archive.
void WritePackArchive(const std::string& Path, const std::vector<uint8_t>& Manifest,
                      const TPackManifest& Pack, const std::vector<TEAStreamFile*>& Entries) {
  std::vector<std::string> Names = {kManifestEntry};
  std::vector<uint32_t> Sizes = {static_cast<uint32_t>(Manifest.size())};
  for (size_t I = 0; I < Entries.size(); ++I) {
    Names.push_back(Pack.Songs[I].Entry);
    Sizes.push_back(Entries[I]->Size);
  }
  uint32_t HeaderSize = 16;
  for (const std::string& Name : Names)
    HeaderSize += 8 + static_cast<uint32_t>(Name.size()) + 1;
  std::vector<uint32_t> Offsets;
  uint64_t At = HeaderSize;
  for (uint32_t Size : Sizes) {
    At = (At + 63) / 64 * 64;
    Offsets.push_back(static_cast<uint32_t>(At));
    At += Size;
  }
  if (At > UINT32_MAX)
    throw Exception("The soundtrack pack would be larger than 4 GB");
  std::vector<uint8_t> Header = {'B', 'I', 'G', 'F'};
  PutLE32(Header, static_cast<uint32_t>(At));
  PutBE32(Header, static_cast<uint32_t>(Names.size()));
  PutBE32(Header, HeaderSize);
  for (size_t I = 0; I < Names.size(); ++I) {
    PutBE32(Header, Offsets[I]);
    PutBE32(Header, Sizes[I]);
    Header.insert(Header.end(), Names[I].begin(), Names[I].end());
    Header.push_back(0);
  }
  TFileStream Out(Path, TFileAccess::Create);
  Out.WriteBuffer(Header.data(), Header.size());
  PadStream(Out, 64);
  Out.WriteBuffer(Manifest.data(), Manifest.size());
  for (const TEAStreamFile* Entry : Entries) {
    PadStream(Out, 64);
    TFileStream In(Entry->Owner->FileName, TFileAccess::Read);
    In.SetPosition(Entry->Offset);
    Out.CopyFrom(In, Entry->Size);
  }
  Out.Flush();
}

} // namespace

TEAStreamFile* EntryOfSample(const TStreamData& Sample) {
  const TStreamPack& Pack = *Sample.MusicStream->Pack;
  if (Sample.ArchiveIndex < 0 || Sample.ArchiveIndex >= Pack.ArchiveCount())
    return nullptr;
  return Sample.StreamFile();
}

bool SameDescription(const TStreamData& Sample, const TPackSample& Packed) {
  const TStreamPack& Pack = *Sample.MusicStream->Pack;
  bool Described = Sample.DescriptionIndex >= 0 && Sample.DescriptionIndex < Pack.DescriptionCount();
  if (Described != Packed.Described)
    return false;
  if (!Described)
    return true;
  const TStreamDescription& D = *Sample.Description();
  return FieldText(D.Name) == Packed.Name && FieldText(D.Singer) == Packed.Singer &&
         FieldText(D.Album) == Packed.Album;
}

TSongDigest DigestOf(const TEAStreamFile& Entry) {
  TSongDigest Digest{Entry.Size, 0};
  TFileStream In(Entry.Owner->FileName, TFileAccess::Read);
  In.SetPosition(Entry.Offset);
  std::vector<uint8_t> Block(TStream::kCopyBlockSize);
  for (uint32_t Left = Entry.Size; Left > 0;) {
    size_t Count = std::min<size_t>(Left, Block.size());
    In.ReadBuffer(Block.data(), Count);
    Digest.Crc = Crc32(Block.data(), Count, Digest.Crc);
    Left -= static_cast<uint32_t>(Count);
  }
  return Digest;
}

std::vector<uint8_t> PackManifestBytes(const TPackManifest& Manifest) {
  TRecordWriter Out;
  Out.Magic(kMagic).U32(kVersion).U32(Manifest.AgainstOriginals ? kAgainstOriginals : 0);
  Out.U32(static_cast<uint32_t>(Manifest.Songs.size()));
  for (const TPackSong& Song : Manifest.Songs)
    Out.Text(Song.Entry).Text(Song.Archive).Text(Song.Name).U32(Song.Digest.Size).U32(Song.Digest.Crc);
  Out.U32(static_cast<uint32_t>(Manifest.Samples.size()));
  for (const TPackSample& Sample : Manifest.Samples)
    WriteSample(Out, Sample);
  return Out.Sealed();
}

TPackManifest ParsePackManifest(const std::vector<uint8_t>& Bytes) {
  TSeal Seal = CheckSeal(Bytes, kMagic);
  if (Seal == TSeal::NoMagic)
    Damaged("no manifest");
  if (Seal == TSeal::Broken)
    Damaged("the manifest's checksum does not match");
  TRecordReader In = SealedBody(Bytes, kMagic);
  uint32_t Version = In.U32(), Flags = In.U32();
  if (Version != kVersion && Version != kUndigestedVersion)
    Damaged("format version " + std::to_string(Version) +
            " is not known (this editor reads versions 1 and 2)");
  if ((Flags & ~kAgainstOriginals) != 0)
    Damaged("unknown flags");
  TPackManifest Manifest;
  Manifest.AgainstOriginals = (Flags & kAgainstOriginals) != 0;
  Manifest.Digested = Version != kUndigestedVersion;
  uint32_t SongCount = In.U32();
  if (SongCount > kMaxPackSongs)
    Damaged("more than " + std::to_string(kMaxPackSongs) + " songs");
  if (SongCount > In.Left() / (kMinSong + (Manifest.Digested ? kDigestBytes : 0)))
    Damaged("the song count exceeds the manifest");
  for (uint32_t I = 0; I < SongCount; ++I) {
    TPackSong Song{In.Text(), In.Text(), In.Text(), {}};
    if (Manifest.Digested) {
      Song.Digest.Size = In.U32();
      Song.Digest.Crc = In.U32();
    }
    if (!ValidName(Song.Entry) || !ValidName(Song.Archive) || !ValidName(Song.Name))
      Damaged("a song's name is empty, too long or not a name a definition may give");
    Manifest.Songs.push_back(std::move(Song));
  }
  uint32_t SampleCount = In.U32();
  if (SampleCount > kMaxPackSamples)
    Damaged("more than " + std::to_string(kMaxPackSamples) + " samples");
  if (SampleCount > In.Left() / kMinSample)
    Damaged("the sample count exceeds the manifest");
  for (uint32_t I = 0; I < SampleCount; ++I) {
    Manifest.Samples.push_back(ReadSample(In, Manifest.Songs.size()));
    if (I > 0 && !Before(Manifest.Samples[I - 1], Manifest.Samples[I]))
      Damaged("the samples are not in order of stream and position, or one comes twice");
  }
  if (!In.Whole())
    Damaged("the manifest's length does not match its records");
  return Manifest;
}

std::unique_ptr<TSoundtrackPack> ReadPack(const std::string& Path) {
  auto Pack = std::make_unique<TSoundtrackPack>();
  Pack->Archive.LoadFromFile(Path);
  int64_t FileSize = 0;
  {
    TFileStream File(Path, TFileAccess::Read);
    FileSize = File.Size();
  }
  std::map<std::string, TEAStreamFile*> Entries;
  for (int32_t I = 0; I < Pack->Archive.FileCount(); ++I) {
    TEAStreamFile* Entry = Pack->Archive.Files(I);
    if (int64_t(Entry->Offset) + Entry->Size > FileSize)
      Damaged("the entry " + Entry->Name + " lies outside the file");
    Entries.emplace(Entry->Name, Entry);
  }
  auto Manifest = Entries.find(kManifestEntry);
  if (Manifest == Entries.end() || Manifest->second->Size > kMaxManifest)
    Damaged(Manifest == Entries.end() ? "no manifest" : "the manifest is too large");
  TMemoryStream Bytes;
  Manifest->second->SaveToStream(Bytes);
  Pack->Manifest = ParsePackManifest(Bytes.Bytes());
  std::map<std::pair<uint32_t, uint32_t>, TSongDigest> Checked; // by the data's offset and size
  for (TPackSong& Song : Pack->Manifest.Songs) {
    auto Found = Entries.find(Song.Entry);
    if (Found == Entries.end() || Found->second == Manifest->second)
      Damaged("the pack holds no song " + Song.Entry);
    TEAStreamFile& Entry = *Found->second;
    if (Pack->Manifest.Digested && Song.Digest.Size != Entry.Size)
      Damaged("the song " + Song.Entry + " is not of the size the manifest gives");
    auto Known = Checked.find({Entry.Offset, Entry.Size});
    if (Known == Checked.end())
      Known = Checked.emplace(std::make_pair(Entry.Offset, Entry.Size), CheckSong(Song.Entry, Entry)).first;
    if (!Pack->Manifest.Digested)
      Song.Digest = Known->second;
    else if (Song.Digest.Crc != Known->second.Crc)
      Damaged("the song " + Song.Entry + " does not match its checksum in the manifest");
    Pack->Songs.push_back(Found->second);
  }
  for (const TPackSample& Sample : Pack->Manifest.Samples) {
    uint32_t Size = Pack->Songs[static_cast<size_t>(Sample.Song)]->Size;
    if (Sample.SongOffset != 0 && Sample.SongOffset >= Size)
      Damaged("a sample starts outside its song");
  }
  return Pack;
}

TPackExport ExportPack(const TStreamPack& Pack, const TStreamPack* Originals, const std::string& PackPath,
                       const TPackExportOptions& Options) {
  TPackExport Result;
  TPackManifest& Manifest = Result.Manifest;
  Manifest.AgainstOriginals = Originals != nullptr;
  std::vector<TEAStreamFile*> Entries; // per song
  std::map<const TEAStreamFile*, int32_t> SongOf;
  for (int32_t S = 0; S < Pack.StreamCount(); ++S)
    for (int32_t I = 0; I < Pack.Streams(S)->SampleCount(); ++I) {
      const TStreamData& Sample = *Pack.Streams(S)->Samples(I);
      TEAStreamFile* Entry = EntryOfSample(Sample);
      if (Entry == nullptr) {
        Result.Unbound.push_back("stream " + std::to_string(S) + " sample " + std::to_string(I));
        continue;
      }
      TPackSample Described = Describe(Sample, S, I);
      Described.SongOffset = Sample.FileOffset - Entry->Offset;
      if (Originals != nullptr && S < Originals->StreamCount() && I < Originals->Streams(S)->SampleCount() &&
          SameAsOriginal(*Originals->Streams(S)->Samples(I), *Entry, Described.SongOffset, Described))
        continue;
      auto Known = SongOf.find(Entry);
      if (Known == SongOf.end()) {
        Known = SongOf.emplace(Entry, static_cast<int32_t>(Entries.size())).first;
        Entries.push_back(Entry);
        std::string Song = "songs/" + std::to_string(Entries.size()) + ".asf";
        Manifest.Songs.push_back({Song,
                                  ArchiveNameIn(Pack, *Entry->Owner),
                                  ValidName(Entry->Name) ? Entry->Name : ExtractFileName(Song),
                                  {}});
      }
      Described.Song = Known->second;
      Manifest.Samples.push_back(std::move(Described));
    }
  if (Manifest.Songs.size() > kMaxPackSongs)
    throw Exception("The soundtrack pack would hold more than " + std::to_string(kMaxPackSongs) + " songs");
  if (Manifest.Samples.size() > kMaxPackSamples)
    throw Exception("The soundtrack pack would hold more than " + std::to_string(kMaxPackSamples) +
                    " samples");
  for (size_t I = 0; I < Entries.size(); ++I)
    Manifest.Songs[I].Digest = DigestOf(*Entries[I]);
  if (Options.Converter != nullptr && !Entries.empty())
    MeasureSongs(*Options.Converter, Entries, Manifest);
  std::string Copy = TFileSetCommit::NewName(PackPath);
  try {
    WritePackArchive(Copy, PackManifestBytes(Manifest), Manifest, Entries);
    CheckOSError(platform::ReplaceFile(Copy, PackPath));
  } catch (...) {
    if (platform::IsFile(Copy))
      platform::DeleteFile(Copy);
    throw;
  }
  CheckOSError(platform::FlushFolder(ExtractFilePath(platform::FullPath(PackPath))));
  return Result;
}

std::string PrintableText(const std::string& Text) {
  std::string Shown = Text;
  std::replace_if(Shown.begin(), Shown.end(), IsControl, '?');
  return Shown;
}
