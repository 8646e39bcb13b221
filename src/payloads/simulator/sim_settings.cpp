#include "payloads/simulator/sim_settings.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace sim {
namespace {

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    c = AsciiLower(c);
  }
  return out;
}

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) {
    return {};
  }
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::vector<std::string_view> SplitCommas(std::string_view text) {
  std::vector<std::string_view> parts;
  while (true) {
    const auto comma = text.find(',');
    parts.push_back(Trim(text.substr(0, comma)));
    if (comma == std::string_view::npos) {
      break;
    }
    text.remove_prefix(comma + 1);
  }
  return parts;
}

std::uint64_t ParseCount(const std::optional<std::string>& value) {
  if (!value) {
    return 0;
  }
  const std::string_view text = Trim(*value);
  std::uint64_t n = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  return (ec == std::errc{} && end == text.data() + text.size()) ? n : 0;
}

std::optional<std::uint32_t> ParseExitCode(const std::optional<std::string>& value) {
  if (!value) {
    return std::nullopt;
  }
  const std::string_view text = Trim(*value);
  std::int64_t n = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc{} || end != text.data() + text.size() || text.empty()) {
    return std::nullopt;
  }
  if (n < -2147483648LL || n > 4294967295LL) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(n);
}

double ParseScale(const std::optional<std::string>& value) {
  if (!value) {
    return 0;
  }
  const std::string text(Trim(*value));
  char* end = nullptr;
  const double scale = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(scale) || scale < 0) {
    return 0;
  }
  return scale;
}

}  // namespace

std::string NormalizeChipName(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c != '-') {
      out.push_back(AsciiLower(c));
    }
  }
  return out;
}

SimSettings ReadSettings(const std::function<std::optional<std::string>(std::string_view)>& get) {
  SimSettings settings;

  if (const auto ports = get("VTF_SIM_PORTS")) {
    for (std::string_view entry : SplitCommas(*ports)) {
      const auto eq = entry.find('=');
      if (eq == std::string_view::npos) {
        continue;
      }
      const std::string_view port = Trim(entry.substr(0, eq));
      const std::string chip = NormalizeChipName(Trim(entry.substr(eq + 1)));
      if (port.empty() || (chip != "esp32" && chip != "esp32s3")) {
        continue;
      }
      settings.ports.emplace_back(std::string(port), chip);
    }
  }

  if (const auto output = get("VTF_SIM_OUTPUT")) {
    OutputVariants& v = settings.output;
    for (std::string_view name : SplitCommas(*output)) {
      const std::string key = Lower(name);
      if (key == "crlf") {
        v.crlf = true;
      }
      if (key == "nofinalnewline") {
        v.no_final_newline = true;
      }
      if (key == "longline") {
        v.long_line = true;
      }
      if (key == "highbytes") {
        v.high_bytes = true;
      }
      if (key == "stderr") {
        v.interleaved_stderr = true;
      }
      if (key == "blank") {
        v.blank_lines = true;
      }
      if (key == "cr") {
        v.inner_cr = true;
      }
      if (key == "nul") {
        v.nul_bytes = true;
      }
      if (key == "silent") {
        v.silent = true;
      }
    }
  }

  settings.extra_lines = ParseCount(get("VTF_SIM_LINES"));
  settings.extra_bytes = ParseCount(get("VTF_SIM_BYTES"));
  settings.exit_code = ParseExitCode(get("VTF_SIM_EXIT_CODE"));
  settings.time_scale = ParseScale(get("VTF_SIM_TIME_SCALE"));
  if (const auto log = get("VTF_SIM_LOG")) {
    settings.log_path = *log;
  }
  if (const auto child = get("VTF_SIM_CHILD")) {
    const std::string_view value = Trim(*child);
    settings.child = value == "1"       ? SimSettings::Child::kHoldingHandles
                     : value == "apart" ? SimSettings::Child::kApart
                                        : SimSettings::Child::kNone;
  }
  return settings;
}

std::optional<std::string> DeviceOnPort(const SimSettings& settings, std::string_view port) {
  const std::string wanted = Lower(port);
  for (const auto& [name, chip] : settings.ports) {
    if (Lower(name) == wanted) {
      return chip;
    }
  }
  return std::nullopt;
}

}  // namespace sim
