#pragma once
// What the tool's commands share: where they write, how they open and save a definition; and the
// commands, one file for each group.

#include "definitions/DefinitionSession.h"
#include "definitions/uTypes.h"
#include "platform/Process.h"
#include "tools/orvik-streams/Arguments.h"
#include "workflows/Converter.h"

#include <functional>
#include <memory>
#include <ostream>
#include <string>

struct TContext {
  std::ostream& Out;
  std::ostream& Err;
  bool KeepOriginal = true; // --no-keep-original turns it off
  // The folder whose "sx" folder holds the converter: the program's own.
  std::string ProgramFolder = platform::ProgramFolder();
};

// A command that writes holds the definition's lock while it runs, after recovering what a process that
// died left behind (said on Err).
std::unique_ptr<TDefinitionSession> OpenForWriting(const std::string& Path, TContext& C);
// A command that changes the definition, its archives or the preload archives opens it so: as
// OpenForWriting, then, unless the original music is kept or was declined (or C.KeepOriginal is off),
// keeps it before anything changes, saying so on Err. PreloadFolder: the game's preload folder.
std::unique_ptr<TDefinitionSession> OpenForChange(const std::string& Path, const std::string& PreloadFolder,
                                                  TContext& C);
// A command that only reads recovers too, unless another program has the definition open: then the files
// are read as they are.
void RecoverBeforeReading(const std::string& Path, TContext& C);
std::unique_ptr<TStreamPack> LoadPack(const std::string& Definition);
std::unique_ptr<TStreamPack> LoadForReading(const std::string& Definition, TContext& C);
// Runs Work with Session, then closes Session however Work ends: what was not saved is rolled back and
// the lock released. Work's error propagates, unless closing raises one of its own.
void RunInSession(std::unique_ptr<TDefinitionSession> Session,
                  const std::function<void(TDefinitionSession& Session)>& Work);
// Opens Definition for change (OpenForChange), loads it and runs Work with the pack and the session, which
// is closed after, as RunInSession does. Without PreloadFolder: the one beside the definition's folder.
using TDefinitionWork = std::function<void(TStreamPack& Pack, TDefinitionSession& Session)>;
void ChangeDefinition(const std::string& Definition, const std::string& PreloadFolder, TContext& C,
                      const TDefinitionWork& Work);
void ChangeDefinition(const std::string& Definition, TContext& C, const TDefinitionWork& Work);
// The file name of archive Index of the definition, or "#<Index>" when there is none.
std::string ArchiveName(const TStreamPack& Pack, int32_t Index);
// Saves as the window does, all or nothing, through the definition's journal.
void Save(TStreamPack& Pack, TDefinitionSession& Session, bool Rebuild);

// info, verify, describe, add-description, remove-description and update-preload
// (DefinitionCommands.cpp).
int Info(const TArguments& Args, TContext& C);
int Verify(const TArguments& Args, TContext& C);
int Describe(const TArguments& Args, TContext& C);
int AddDescription(const TArguments& Args, TContext& C);
int RemoveDescription(const TArguments& Args, TContext& C);
int UpdatePreload(const TArguments& Args, TContext& C);
// The trim and fade-out of --start, --end and --fade-out (seconds); raises EUsage for a value that is not
// seconds in the converter's range, or an end not after the start.
TSongShape ShapeOf(const TArguments& Args);
// export, export-all and import (SongCommands.cpp).
int Export(const TArguments& Args, TContext& C);
int ExportAll(const TArguments& Args, TContext& C);
int Import(const TArguments& Args, TContext& C);
// archive (ArchiveCommands.cpp).
int ArchiveCommand(const TArguments& Args, TContext& C);
// import-batch and loudness (BatchCommands.cpp).
int ImportBatch(const TArguments& Args, TContext& C);
int Loudness(const TArguments& Args, TContext& C);
// relevel (RelevelCommand.cpp).
int Relevel(const TArguments& Args, TContext& C);
// restore-original and pack (PackCommands.cpp).
int RestoreOriginal(const TArguments& Args, TContext& C);
int PackCommand(const TArguments& Args, TContext& C);
