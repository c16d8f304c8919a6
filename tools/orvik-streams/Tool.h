#pragma once
// orvik-streams: the editor's definition and archive operations from the command line, for batch work,
// scripts and Linux without Wine. Every write goes through the same model code and the same
// all-or-nothing commit as the window's Save; conversions run the converter below the tool's folder
// (sx/sx), exactly as the editor runs it.

#include <ostream>
#include <string>
#include <vector>

// Arguments, Out and Err are in UTF-8.
// Exit codes: 0 done (verify: no problem), 1 failed (the reason on Err), 2 bad arguments (usage on Err).
int RunTool(const std::vector<std::string>& Arguments, std::ostream& Out, std::ostream& Err);
// The same with the converter in the "sx" folder of ProgramFolder (with its trailing delimiter) rather
// than in the program's own.
int RunTool(const std::vector<std::string>& Arguments, std::ostream& Out, std::ostream& Err,
            const std::string& ProgramFolder);
