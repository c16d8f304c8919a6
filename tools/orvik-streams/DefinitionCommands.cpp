// info, verify and the commands that change a definition's descriptions or put it into the preload
// archives.

#include "base/Paths.h"
#include "base/Streams.h"
#include "base/Text.h"
#include "definitions/Preload.h"
#include "tools/orvik-streams/Commands.h"
#include "tools/orvik-streams/Json.h"
#include "tools/orvik-streams/Utf8.h"
#include "workflows/KeptOriginals.h"
#include "workflows/Messages.h"
#include "workflows/SoundtrackPack.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

int64_t FileSize(const std::string& Path) {
  TFileStream File(Path, TFileAccess::Read);
  return File.Size();
}

// The description texts the options give, each with its field, in the definition's code page.
using TTexts = std::vector<std::pair<TDescriptionField TStreamDescription::*, std::string>>;

TTexts TextsOf(const TArguments& Args) {
  const std::pair<const char*, TDescriptionField TStreamDescription::*> Fields[] = {
      {"name", &TStreamDescription::Name},
      {"singer", &TStreamDescription::Singer},
      {"album", &TStreamDescription::Album}};
  TTexts Texts;
  for (const auto& [Option, Field] : Fields)
    if (Args.Has(Option))
      Texts.emplace_back(Field, DescriptionArgument(Args.Value(Option)));
  return Texts;
}

void SetTexts(TStreamDescription& D, const TTexts& Texts) {
  for (const auto& [Field, Text] : Texts)
    SetFieldText(D.*Field, Text);
}

// A description field as the tool writes it.
std::string Shown(const TDescriptionField& Field) {
  return Utf8FromCodePage(FieldText(Field));
}

} // namespace

int Info(const TArguments& Args, TContext& C) {
  auto Pack = LoadForReading(Args.Positional(0), C);
  if (Args.Has("json")) {
    TJson J(C.Out);
    J.BeginObject();
    J.Key("archives").BeginArray();
    for (int32_t I = 0; I < Pack->ArchiveCount(); ++I) {
      TEAStream& A = *Pack->Archives(I);
      J.BeginObject()
          .Key("name")
          .String(Utf8FromNarrow(ExtractFileName(A.FileName)))
          .Key("entries")
          .Number(A.FileCount());
      J.Key("size").Number(FileSize(A.FileName)).EndObject();
    }
    J.EndArray().Key("descriptions").BeginArray();
    for (int32_t I = 0; I < Pack->DescriptionCount(); ++I) {
      TStreamDescription& D = *Pack->Descriptions(I);
      J.BeginObject().Key("name").String(Shown(D.Name)).Key("singer").String(Shown(D.Singer));
      J.Key("album").String(Shown(D.Album)).EndObject();
    }
    J.EndArray().Key("streams").BeginArray();
    for (int32_t S = 0; S < Pack->StreamCount(); ++S) {
      J.BeginArray();
      for (int32_t I = 0; I < Pack->Streams(S)->SampleCount(); ++I) {
        TStreamData& Sample = *Pack->Streams(S)->Samples(I);
        TEAStreamFile* File = EntryOfSample(Sample);
        J.BeginObject().Key("archive").Number(Sample.ArchiveIndex).Key("offset").Number(Sample.FileOffset);
        J.Key("entry");
        File ? J.String(Utf8FromNarrow(File->Name)) : J.Null();
        J.Key("size");
        File ? J.Number(File->Size) : J.Null();
        J.Key("description").Number(Sample.DescriptionIndex).EndObject();
      }
      J.EndArray();
    }
    J.EndArray().EndObject();
    C.Out << "\n";
    return 0;
  }
  C.Out << "Archives:\n";
  for (int32_t I = 0; I < Pack->ArchiveCount(); ++I) {
    TEAStream& A = *Pack->Archives(I);
    C.Out << "  " << I << "  " << Utf8FromNarrow(ExtractFileName(A.FileName)) << "  " << A.FileCount()
          << " entries, " << FileSize(A.FileName) << " bytes\n";
  }
  C.Out << "Descriptions:\n";
  for (int32_t I = 0; I < Pack->DescriptionCount(); ++I) {
    TStreamDescription& D = *Pack->Descriptions(I);
    C.Out << "  " << I << "  " << Shown(D.Singer) << ": " << Shown(D.Name) << " (" << Shown(D.Album) << ")\n";
  }
  C.Out << "Streams:\n";
  for (int32_t S = 0; S < Pack->StreamCount(); ++S) {
    C.Out << "  Stream " << S << ": " << Pack->Streams(S)->SampleCount() << " samples\n";
    for (int32_t I = 0; I < Pack->Streams(S)->SampleCount(); ++I) {
      TStreamData& Sample = *Pack->Streams(S)->Samples(I);
      TEAStreamFile* File = EntryOfSample(Sample);
      TStreamDescription* D =
          Sample.DescriptionIndex >= 0 && Sample.DescriptionIndex < Pack->DescriptionCount()
              ? Sample.Description()
              : nullptr;
      C.Out << "    " << I << "  " << Utf8FromNarrow(ArchiveName(*Pack, Sample.ArchiveIndex)) << "  "
            << (File ? Utf8FromNarrow(File->Name) + ", " + std::to_string(File->Size) + " bytes"
                     : "(no entry at offset " + std::to_string(Sample.FileOffset) + ")")
            << "  " << (D ? Shown(D->Name) : "[No Description]") << "\n";
    }
  }
  return 0;
}

int Verify(const TArguments& Args, TContext& C) {
  const std::string& Definition = Args.Positional(0);
  RecoverBeforeReading(Definition, C);
  std::vector<std::string> Problems;
  for (const std::string& Path : TStreamPack::ArchivePathsOf(Definition)) {
    try {
      TEAStream Archive;
      Archive.LoadFromFile(Path);
    } catch (const std::exception& Error) {
      Problems.push_back("archive " + Path + ": " + Error.what());
    }
  }
  std::unique_ptr<TStreamPack> Pack;
  if (Problems.empty()) {
    try {
      Pack = LoadPack(Definition); // also refuses archive names that leave the definition's folder
    } catch (const std::exception& Error) {
      Problems.push_back(Error.what());
    }
  }
  if (Pack) {
    for (int32_t A = 0; A < Pack->ArchiveCount(); ++A) {
      TEAStream& Archive = *Pack->Archives(A);
      int64_t Size = FileSize(Archive.FileName);
      std::vector<TEAStreamFile*> Files;
      for (int32_t I = 0; I < Archive.FileCount(); ++I) {
        TEAStreamFile* File = Archive.Files(I);
        Files.push_back(File);
        if (int64_t(File->Offset) + File->Size > Size)
          Problems.push_back("archive " + ExtractFileName(Archive.FileName) + ": entry " + File->Name +
                             " lies outside the file");
      }
      std::sort(Files.begin(), Files.end(), [](auto* X, auto* Y) { return X->Offset < Y->Offset; });
      // Entries of the same data share it; only ranges that partly cover each other are wrong.
      for (size_t I = 1; I < Files.size(); ++I) {
        TEAStreamFile *P = Files[I - 1], *F = Files[I];
        bool Same = P->Offset == F->Offset && P->Size == F->Size;
        if (!Same && int64_t(P->Offset) + P->Size > F->Offset)
          Problems.push_back("archive " + ExtractFileName(Archive.FileName) + ": entries " + P->Name +
                             " and " + F->Name + " overlap");
      }
    }
    for (int32_t S = 0; S < Pack->StreamCount(); ++S)
      for (int32_t I = 0; I < Pack->Streams(S)->SampleCount(); ++I) {
        TStreamData& Sample = *Pack->Streams(S)->Samples(I);
        std::string Which = "stream " + std::to_string(S) + " sample " + std::to_string(I) + ": ";
        if (Sample.ArchiveIndex < 0 || Sample.ArchiveIndex >= Pack->ArchiveCount())
          Problems.push_back(Which + "no archive " + std::to_string(Sample.ArchiveIndex));
        else if (Sample.StreamFile() == nullptr)
          Problems.push_back(Which + "no entry of " + ArchiveName(*Pack, Sample.ArchiveIndex) +
                             " holds offset " + std::to_string(Sample.FileOffset));
        if (Sample.DescriptionIndex < -1 || Sample.DescriptionIndex >= Pack->DescriptionCount())
          Problems.push_back(Which + "no description " + std::to_string(Sample.DescriptionIndex));
      }
  }
  for (const std::string& Problem : Problems)
    C.Out << Utf8FromNarrow(Problem) << "\n";
  C.Out << (Problems.empty() ? "OK: " : "FAILED: ") << Utf8FromNarrow(Definition) << ", " << Problems.size()
        << " problem(s)\n";
  return Problems.empty() ? 0 : 1;
}

int Describe(const TArguments& Args, TContext& C) {
  // Refused before anything is kept or locked.
  const TTexts Texts = TextsOf(Args);
  if (Texts.empty())
    throw EUsage("give at least one of --name, --singer, --album");
  const int32_t Index = Args.Index("description");
  const std::string& Definition = Args.Positional(0);
  ChangeDefinition(Definition, C, [&](TStreamPack& Pack, TDefinitionSession& Session) {
    SetTexts(*Pack.Descriptions(Index), Texts);
    Save(Pack, Session, false);
  });
  return 0;
}

int AddDescription(const TArguments& Args, TContext& C) {
  const TTexts Texts = TextsOf(Args);
  const std::string& Definition = Args.Positional(0);
  int32_t Added = -1;
  ChangeDefinition(Definition, C, [&](TStreamPack& Pack, TDefinitionSession& Session) {
    Pack.AddDescription("", "", WideToAnsi(msg::NewDescriptionDefault));
    Added = Pack.DescriptionCount() - 1;
    SetTexts(*Pack.Descriptions(Added), Texts);
    Save(Pack, Session, false);
  });
  C.Out << "Added description " << Added << "\n";
  return 0;
}
int RemoveDescription(const TArguments& Args, TContext& C) {
  const std::string& Definition = Args.Positional(0);
  ChangeDefinition(Definition, C, [&](TStreamPack& Pack, TDefinitionSession& Session) {
    Pack.DeleteDescription(Args.Index("description"));
    Save(Pack, Session, false);
  });
  return 0;
}

int UpdatePreload(const TArguments& Args, TContext& C) {
  const std::string& Definition = Args.Positional(0);
  // Only a definition that opens goes into the game.
  ChangeDefinition(Definition, Args.Positional(1), C, [&](TStreamPack&, TDefinitionSession&) {
    UpdatePreloadFolder(Definition, Args.Positional(1),
                        [&C] { C.Err << "warning: " << WideToAnsi(msg::UnableToCompress) << "\n"; }, {});
  });
  return 0;
}
