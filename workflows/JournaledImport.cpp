#include "workflows/JournaledImport.h"

#include "base/Exceptions.h"

void ImportThroughJournal(TImportJournal& Journal, TStreamData& Sample, bool AsNewFile,
                          const std::string& EntryName, const std::string& Source,
                          const std::string& Converted, const TImportDescription& Description) {
  if (!AsNewFile) {
    TEAStreamFile* File = Sample.StreamFile();
    if (File == nullptr)
      throw Exception("The sample is bound to no file of its archive");
    Journal.BeforeImport(Sample, false, "", Source, Converted, Description);
    Journal.BeforeReplace(*File);
    Sample.ImportFile(Converted, false, "");
    return;
  }
  TEAStream& Archive = *Sample.Archive();
  Journal.BeforeImport(Sample, true, EntryName, Source, Converted, Description);
  Journal.BeforeAdd(Archive);
  struct TAfterAdd {
    TImportJournal& Journal;
    TEAStream& Archive;
    ~TAfterAdd() { Journal.AfterAdd(Archive); }
  } AfterAdd{Journal, Archive};
  Sample.ImportFile(Converted, true, EntryName);
}
