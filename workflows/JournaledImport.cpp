#include "workflows/JournaledImport.h"

#include "base/Exceptions.h"
#include "base/ScopeGuard.h"

void ImportThroughJournal(TImportJournal& Journal, TStreamData& Sample, bool AsNewFile,
                          const std::string& EntryName, const std::string& Source,
                          const std::string& Converted, const TImportDescription& Description,
                          bool TakeConverted) {
  if (!AsNewFile) {
    TEAStreamFile* File = Sample.StreamFile();
    if (File == nullptr)
      throw Exception("The sample is bound to no file of its archive");
    const std::string Kept =
        Journal.BeforeImport(Sample, false, "", Source, Converted, Description, TakeConverted);
    Journal.BeforeReplace(*File);
    Sample.ImportFile(Kept, false, "");
    Journal.AfterReplace();
    return;
  }
  TEAStream& Archive = *Sample.Archive();
  const std::string Kept =
      Journal.BeforeImport(Sample, true, EntryName, Source, Converted, Description, TakeConverted);
  Journal.BeforeAdd(Archive);
  TScopeGuard AfterAdd([&] { Journal.AfterAdd(Archive); }); // whether the add succeeded or failed
  Sample.ImportFile(Kept, true, EntryName);
}

void AddThroughJournal(TImportJournal& Journal, TStreamPack& Pack, int32_t ArchiveIndex,
                       const std::vector<TJournaledAdd>& Adds) {
  if (Adds.empty())
    return;
  Pack.CheckArchiveIndexes();
  TEAStream& Archive = *Pack.Archives(ArchiveIndex);
  std::vector<TEAStream::TNewEntry> Entries;
  for (const TJournaledAdd& Add : Adds) {
    Entries.push_back({Journal.BeforeImport(*Add.Sample, true, Add.EntryName, Add.Source, Add.Converted,
                                            Add.Description, Add.TakeConverted),
                       Add.EntryName});
  }
  Journal.BeforeAdd(Archive);
  TScopeGuard AfterAdd([&] { Journal.AfterAdd(Archive); }); // whether the add succeeded or failed
  // As a single add: the rebuilt file is in place, and nothing below can fail before the offsets commit.
  std::vector<TEAStreamFile*> Added = Archive.AddFiles(Entries);
  Pack.CarrySampleOffsets(ArchiveIndex);
  Archive.CommitOffsets();
  for (size_t I = 0; I < Adds.size(); ++I)
    Adds[I].Sample->SetStreamFile(Added[I]);
}
