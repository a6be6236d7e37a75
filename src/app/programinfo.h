#pragma once

// The fixed texts of the program, shown by the about box and the window.
namespace ProgramInfo {

inline constexpr char productName[] = "Orvel";
inline constexpr char version[] = "1.4.1";
inline constexpr char qtVersionLine[] = "Qt Version: 5.3.2";

} // namespace ProgramInfo
