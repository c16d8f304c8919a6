#include "workflows/SongPicture.h"

#include "base/Paths.h"
#include "base/Records.h"
#include "base/ScopeGuard.h"
#include "base/Streams.h"
#include "platform/FileSystem.h"

TEntrySong ReadEntrySong(TEAStreamFile& Entry) {
  TMemoryStream Data;
  Entry.SaveToStream(Data);
  TEntrySong Song;
  Song.Key = {Entry.Owner != nullptr ? Entry.Owner->FileName : std::string(), Entry.Name, Entry.Size,
              Crc32(Data.Bytes().data(), Data.Bytes().size())};
  Song.Bytes = Data.Bytes();
  return Song;
}

TMeasureReport MeasureSong(TConverter& Converter, const std::vector<uint8_t>& Bytes, size_t Points) {
  std::string Scratch;
  TScopeGuard Delete([&] { DeleteIfPresent(Scratch); });
  try {
    Scratch = ChangeFileExt(MakeTempFileName("~asf"), ".asf");
    {
      TFileStream File(Scratch, TFileAccess::Create);
      File.WriteBuffer(Bytes.data(), Bytes.size());
    }
    return Converter.Measure({Scratch}, Points)[0];
  } catch (const Exception& E) {
    TMeasureReport Failed;
    Failed.Error = E.Message();
    return Failed;
  }
}
