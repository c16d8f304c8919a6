#pragma once
// The user messages that the window and orvik-streams both say, so that both say the same.

namespace msg {

inline constexpr const wchar_t* UnableToCompress =
    L"Unable to compress streams.dat. The file will be imported in preload archives uncompressed.";
inline constexpr const wchar_t* NewDescriptionDefault = L"New Song";
inline constexpr const wchar_t* UnableToConvertInput = L"Unable to convert the input file";
inline constexpr const wchar_t* UnableToConvertSample = L"Unable to convert the selected sample";
// clang-format off
inline constexpr const wchar_t* SaveFinished =
    L"The last save of this definition was interrupted. It has now been finished: the definition and its "
    L"archives are as they were saved.";
inline constexpr const wchar_t* ChangesRolledBack =
    L"The editor closed before its changes to this definition were saved. The definition and its archives "
    L"are as they were at the last save.";
inline constexpr const wchar_t* JournalSetAside =
    L"The record of this definition's unsaved changes could not be trusted, so nothing in it was applied: "
    L"the definition and its archives are as the files are now. The record was set aside as";
// clang-format on
inline constexpr const char* KeptDefinitionRefused =
    "This definition is the kept copy of the game's original music, which only a restore reads: it is "
    "not changed";

} // namespace msg
