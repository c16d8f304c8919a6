#pragma once
// The texts of the about box; ui/AboutBox shows them.

#include "base/Version.h"

namespace about {

inline constexpr const wchar_t* Caption = L"About";
inline constexpr const wchar_t* ProductAndVersion = L"ORVIK Streams Editor " ORVIK_VERSION_SHORT;

} // namespace about
