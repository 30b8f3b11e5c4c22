#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

namespace korvessan {

// The tracker's serial command set, as far as this tool speaks it. A command
// is one line of upper-case ASCII ending in '$', written in one burst; the
// tracker answers with raw bytes.
inline constexpr std::string_view ReadVersionCommand = "FL_READ_VERSION$";
inline constexpr std::string_view EraseAllCommand = "FL_ERASE_NUM,8192$";
// Nine characters of version text and a line feed.
inline constexpr std::uint32_t VersionReplyLength = 10;
// The erase reports progress as one byte per 16 blocks started, 0 to 31.
inline constexpr std::uint8_t LastProgressByte = 31;

// The line both ends use.
inline constexpr std::uint32_t LineBaudRate = 115200;
// The bridge hands on even a single received byte after at most this long.
inline constexpr std::uint8_t LineLatencyMs = 1;

// Time-outs of the two ways the tool opens a device, in milliseconds.
struct TTimeoutProfile {
  std::uint32_t ReadMs;
  std::uint32_t WriteMs;
};
inline constexpr TTimeoutProfile IdentifyProfile{100, 100};
inline constexpr TTimeoutProfile EraseProfile{1, 1};

} // namespace korvessan
