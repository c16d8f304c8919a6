#include "workflows/SongFiles.h"

#include "archive/uEAStream.h"
#include "base/Exceptions.h"
#include "base/FileSetCommit.h"
#include "base/Paths.h"
#include "base/SongName.h"
#include "base/Streams.h"
#include "base/Text.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "workflows/JournaledImport.h"

namespace {

std::string ScratchName(const char* Prefix, const char* Extension) {
  return ChangeFileExt(MakeTempFileName(Prefix), Extension);
}

void Tell(const TSongFileSteps& Steps, TSongFileStep Step) {
  if (Steps)
    Steps(Step);
}

} // namespace

TSongTags TagsOf(const TStreamData& Sample) {
  TSongTags Tags;
  if (Sample.DescriptionIndex < 0 || Sample.DescriptionIndex >= Sample.MusicStream->Pack->DescriptionCount())
    return Tags;
  const TStreamDescription& Description = *Sample.Description();
  Tags.Title = Trimmed(FieldText(Description.Name));
  Tags.Artist = Trimmed(FieldText(Description.Singer));
  Tags.Album = Trimmed(FieldText(Description.Album));
  return Tags;
}

TConversion ConvertInPlaceOf(TConverter& Converter, const TConverterFormat& Format, const std::wstring& Input,
                             const std::wstring& Output, const TSongTags& Tags) {
  std::wstring Aside = platform::IsFile(Output) ? TFileSetCommit::OldName(Output) : L"";
  auto PutBack = [&] {
    if (!Aside.empty() && !platform::IsFile(Output))
      platform::MoveFile(Aside, Output);
  };
  if (!Aside.empty())
    if (int Error = platform::MoveFile(Output, Aside))
      throw EFCreateError(WideToAnsi(Output), Error);
  TConversion Conversion;
  try {
    Conversion = Converter.ConvertTagged(Format, Input, Output, Tags);
  } catch (...) {
    PutBack();
    throw;
  }
  PutBack();
  if (Conversion.Made && !Aside.empty() && platform::IsFile(Aside))
    platform::DeleteFile(Aside);
  return Conversion;
}

TConversion ExportSong(TConverter& Converter, TEAStreamFile& File, const TConverterFormat& Format,
                       const std::wstring& Output, const TSongTags& Tags, const TSongFileSteps& Steps) {
  std::string Extracted = ScratchName("~asf", ".asf");
  TConversion Conversion;
  try {
    Tell(Steps, TSongFileStep::Extracting);
    File.SaveToFile(Extracted);
    Tell(Steps, TSongFileStep::Converting);
    Conversion = ConvertInPlaceOf(Converter, Format, platform::FileNameToWide(Extracted), Output, Tags);
  } catch (...) {
    DeleteIfPresent(Extracted);
    throw;
  }
  CheckOSError(platform::DeleteFile(Extracted));
  return Conversion;
}

TConversion PreviewSong(TConverter& Converter, TEAStreamFile& File, std::string& Preview,
                        const TSongFileSteps& Steps) {
  std::string Played = ScratchName("~wav", ".wav");
  TConversion Conversion;
  try {
    Conversion = ExportSong(Converter, File, *FindConverterFormat("wave"), platform::FileNameToWide(Played),
                            {}, Steps);
  } catch (...) {
    DeleteIfPresent(Played);
    throw;
  }
  if (Conversion.Made)
    Preview = Played;
  else
    DeleteIfPresent(Played);
  return Conversion;
}

TSongImport ImportSong(TConverter& Converter, TImportJournal& Journal, TStreamData& Sample, bool AsNewFile,
                       const std::wstring& Input, const TImportDescription& Description,
                       const TSongFileSteps& Steps, const TSongShape& Shape) {
  // What would refuse the import refuses it before the converter runs.
  Sample.Archive();
  if (!AsNewFile && Sample.StreamFile() == nullptr)
    throw Exception("The sample is bound to no file of its archive");
  TSongImport Result;
  std::string Converted = ScratchName("~asf", ".asf");
  try {
    Tell(Steps, TSongFileStep::Converting);
    Result.Conversion =
        Converter.Convert(SongFormat(), Input, platform::FileNameToWide(Converted), std::nullopt, Shape);
    if (Result.Conversion.Made) {
      Tell(Steps, TSongFileStep::Importing);
      // The journal notes the file by a name it can open again, which gives back its own long name.
      std::string EntryName = ChangeFileExt(ExtractFileName(WideToAnsi(Input)), ".asf");
      ImportThroughJournal(Journal, Sample, AsNewFile, EntryName, platform::NarrowFileName(Input), Converted,
                           Description);
      Result.EntryName = Sample.StreamFile()->Name;
    }
  } catch (...) {
    DeleteIfPresent(Converted);
    throw;
  }
  if (Result.Conversion.Made)
    CheckOSError(platform::DeleteFile(Converted));
  else
    DeleteIfPresent(Converted);
  return Result;
}
