// What the simulated tool does, as set through its environment. This comment and README.md next
// to it are the one description of these variables.
//
//   VTF_SIM_PORTS       Which ports have a device and of which chip: "COM7=esp32s3,COM8=esp32".
//                       Port names match without regard to case ("cOM7" finds COM7); chip names
//                       are esp32 or esp32s3, in any case, with or without a hyphen. Entries that
//                       are not "port=chip" with one of these chips are ignored. A port that is not
//                       listed is silent; unset or empty means no port answers.
//   VTF_SIM_EXIT_CODE   The exit code, forced after the normal output: a decimal number from
//                       -2147483648 to 4294967295 (negative values wrap, so -1 and 4294967295 are
//                       the same code). Anything else is ignored.
//   VTF_SIM_OUTPUT      Comma-separated output variants, in any case; unknown names are ignored:
//                         crlf            every line ends with CR LF
//                         nofinalnewline  the last line of the whole output has no line feed
//                         longline        a line of 3000 bytes (before its line feed)
//                         highbytes       bytes above 127 in the ANSI code page, and the
//                                         three-byte sequence E2 9C 94 at stream offsets
//                                         1023-1025, split by the first 1024-byte read
//                         stderr          four lines written alternately to standard output and
//                                         standard error, each its own write
//                         blank           an empty line, a line of three blanks, a line of
//                                         blanks and a tab
//                         cr              a line with a carriage return in its middle
//                         nul             a line with a NUL byte in its middle, then a line
//                                         written as UTF-16 (a NUL after each ASCII byte)
//                         silent          no output at all (the exit code is unchanged)
//                       The extra lines of these variants come first, in the order above, before
//                       the tool's own output.
//   VTF_SIM_LINES       N extra lines "Extra line i of N" (i from 1), after the variants' lines.
//   VTF_SIM_BYTES       N extra bytes in lines of 100 bytes ("Bulk output line ..."), written in
//                       64 KiB pieces, after the extra lines.
//   VTF_SIM_TIME_SCALE  A factor for the device's delays: 1 is a real device at the requested
//                       baud rate (a full M5Stick S3 flash takes about 13 s), 0 or unset is no
//                       delay at all.
//   VTF_SIM_LOG         A file to which each run appends two lines in UTF-8:
//                       "command: " followed by the whole command line as received, at start;
//                       "exit: " followed by the exit code (unsigned decimal), at the end.
//   VTF_SIM_CHILD       1: before any output the tool starts a copy of itself that inherits
//                       its standard handles (a pipe's write end among them) and runs until it
//                       is ended, as the launcher of a one-file packed tool starts the real one;
//                       apart: the same copy, inheriting no handle at all. The log then gets
//                       "child: " and the copy's process id. Other values are ignored.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sim {

struct OutputVariants {
  bool crlf = false;
  bool no_final_newline = false;
  bool long_line = false;
  bool high_bytes = false;
  bool interleaved_stderr = false;
  bool blank_lines = false;
  bool inner_cr = false;
  bool nul_bytes = false;
  bool silent = false;
};

struct SimSettings {
  // Port name as listed, and the chip key ("esp32" or "esp32s3") of the device on it.
  std::vector<std::pair<std::string, std::string>> ports;
  OutputVariants output;
  std::uint64_t extra_lines = 0;
  std::uint64_t extra_bytes = 0;
  std::optional<std::uint32_t> exit_code;
  double time_scale = 0;
  std::string log_path;  // UTF-8; empty means no log
  // A copy of the tool started before any output that runs until it is ended: none, one that
  // holds the tool's standard handles, or one that holds none of them.
  enum class Child { kNone, kHoldingHandles, kApart };
  Child child = Child::kNone;
};

// Reads the settings through `get` (the value of one environment variable, in UTF-8, or nothing
// when it is not set).
SimSettings ReadSettings(const std::function<std::optional<std::string>(std::string_view)>& get);

// Chip key of the device on `port`, or nothing for a silent port.
std::optional<std::string> DeviceOnPort(const SimSettings& settings, std::string_view port);

// The tool's own spelling of a chip argument: lower case, hyphens removed ("ESP32-S3" -> esp32s3).
std::string NormalizeChipName(std::string_view name);

}  // namespace sim
