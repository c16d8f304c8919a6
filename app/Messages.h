#pragma once
// The program's user messages and fixed texts, in one place; those that orvik-streams says too are in
// workflows/Messages.h.

#include "workflows/Messages.h"

namespace msg {

inline constexpr const wchar_t* ApplicationTitle = L"ORVIK Streams Editor";
inline constexpr const wchar_t* SaveChanges = L"Do you want to save changes?";
inline constexpr const wchar_t* CannotRemoveDescription = L"Cannot remove this description";
inline constexpr const wchar_t* ConfirmDeleteDescription =
    L"Are you sure you want to delete the selected description?";
inline constexpr const wchar_t* UpdatePreload =
    L"Do you want to update ORVIK preload directory with the new definition file?";
inline constexpr const char* CorruptDefinition =
    "The definition file or one of the archives is corrupt. Please restore the default files.";
inline constexpr const char* NotYetImplemented = "Not yet implemented";
inline constexpr const wchar_t* NoDescription = L"[No Description]";
inline constexpr const wchar_t* NewDescriptionCaption = L"New Description";
inline constexpr const wchar_t* NewDescriptionPrompt = L"Enter the new song name";
inline constexpr const wchar_t* Preview = L"Preview";
inline constexpr const wchar_t* Stop = L"Stop";
inline constexpr const wchar_t* RebuildingArchives = L"Rebuilding archives...";
inline constexpr const wchar_t* SaveEndsHistory =
    L"Saved. The changes made before a save cannot be undone after it.";
// clang-format off
inline constexpr const wchar_t* ImportAgain =
    L"Do you want to import the songs imported since then again, as unsaved changes?";
// clang-format on
inline constexpr const wchar_t* PreloadUpdated = L"Preload directory updated: ";
inline constexpr const wchar_t* NoPreloadArchives =
    L"The preload directory was not updated: this folder holds none of the preload archives faudio.viv, "
    L"gaudio.viv and gaudiofa.viv:";
inline constexpr const wchar_t* NoPreloadEntry =
    L"The preload directory was not updated: none of its preload archives holds an entry named ";
inline constexpr const wchar_t* KeepOriginalMusic =
    L"This is the first change to the game's music. Do you want to keep a copy of its original music first (";
inline constexpr const wchar_t* KeepOriginalMusicEnd =
    L")? File > Restore Original Music then puts it back whenever you want. If you answer No, you are not "
    L"asked again.";
inline constexpr const wchar_t* KeepingOriginalMusic = L"Keeping the original music...";
inline constexpr const wchar_t* OriginalMusicKept = L"The original music is kept in ";
inline constexpr const wchar_t* RestoreOriginalMusic =
    L"Do you want to put the game's original music back? The definition, its archives and the preload "
    L"archives become as they were before the first change.";
inline constexpr const wchar_t* RestoreDiscards = L" Your unsaved changes are lost.";
inline constexpr const wchar_t* RestoringOriginalMusic = L"Restoring the original music...";
inline constexpr const wchar_t* OriginalMusicRestored = L"The original music is back.";
inline constexpr const wchar_t* KeptDefinitionReadOnly =
    L"This definition is the kept copy of the game's original music: it opens read-only, and nothing is "
    L"saved, imported or applied to it. File > Restore Original Music in the game's own definition puts it "
    L"back.";
inline constexpr const wchar_t* PackFilter = L"ORVIK Soundtrack Pack (*.orvikpack)|*.orvikpack";
inline constexpr const wchar_t* ApplyPack = L"Do you want to apply this soundtrack pack? It changes:";
inline constexpr const wchar_t* PackChangesNothing =
    L"The soundtrack pack changes nothing in this definition.";
inline constexpr const wchar_t* PreloadDialogCaption = L"Selecet <ORVIK>\\preload directory...";

} // namespace msg
