// The simulated flashing tool: takes the tool's command line and answers with what the real
// tool (version 5 line) prints into a pipe, for the two commands this program uses, chip-id and
// write-flash. It talks to no port: the devices are those of VTF_SIM_PORTS.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "payloads/simulator/sim_output.h"
#include "payloads/simulator/sim_settings.h"

namespace sim {

inline constexpr std::string_view kToolVersion = "5.3.1";

// A file as the tool's Python runtime opens it: its bytes, or the errno of the failure
// (2 no such file, 13 permission denied, 22 anything else).
struct FileContent {
  std::optional<std::string> bytes;
  int error_number = 0;
};

struct ToolHost {
  std::function<FileContent(const std::string& path_utf8)> read_file;
  // Text taken from the command line (ports, paths), in the bytes the console output carries.
  std::function<std::string(std::string_view utf8)> to_console;
  // Whether standard output takes a character: a console takes any, a pipe what its code page
  // holds, since the tool's runtime encodes a pipe in the ANSI code page with strict errors.
  // Unset: every character.
  std::function<bool(char32_t)> prints;
  // The codec that the runtime's error names: "charmap" for a one-byte code page, "utf-8", or
  // the code page's own name ("cp932").
  std::string codec = "charmap";
};

// Runs one command line (the arguments after the program name, in UTF-8) and returns the
// tool's exit code: 0 success, 2 usage or fatal error, 1 an uncaught runtime error (a file name
// that standard output cannot encode).
std::uint32_t RunTool(const std::vector<std::string>& args, const SimSettings& settings,
                      const ToolHost& host, OutputSink& sink);

}  // namespace sim
