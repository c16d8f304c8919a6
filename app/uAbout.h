#pragma once
// The texts of the about box; ui/AboutBox shows them.

namespace about {

inline constexpr const wchar_t* Caption = L"About";
inline constexpr const wchar_t* ProductAndVersion = L"ORVIK Streams Editor 1.1";

} // namespace about
