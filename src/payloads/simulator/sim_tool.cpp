#include "payloads/simulator/sim_tool.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>

#include "payloads/simulator/deflate_size.h"

namespace sim {
namespace {

constexpr std::string_view kTroubleshootingUrl =
    "https://docs.espressif.com/projects/esptool/en/latest/troubleshooting.html";
constexpr std::uint64_t kRomBaud = 115200;
constexpr std::uint64_t kFlashWriteSize = 0x4000;  // the stub's block for compressed data
constexpr std::uint64_t kSectorSize = 0x1000;
constexpr std::uint64_t kAppOffset = 0x10000;
constexpr int kConnectAttempts = 7;
constexpr int kSyncTriesPerAttempt = 5;
constexpr std::size_t kImageHeaderBytes = 24;
constexpr unsigned char kImageMagic = 0xE9;

struct ChipName {
  std::string_view key;
  std::string_view name;
};

// The --chip choices of the tool, in its order.
constexpr std::array<ChipName, 13> kChipList = {{{"esp8266", "ESP8266"},
                                                 {"esp32", "ESP32"},
                                                 {"esp32s2", "ESP32-S2"},
                                                 {"esp32s3", "ESP32-S3"},
                                                 {"esp32c3", "ESP32-C3"},
                                                 {"esp32c2", "ESP32-C2"},
                                                 {"esp32c6", "ESP32-C6"},
                                                 {"esp32c61", "ESP32-C61"},
                                                 {"esp32c5", "ESP32-C5"},
                                                 {"esp32h2", "ESP32-H2"},
                                                 {"esp32h21", "ESP32-H21"},
                                                 {"esp32p4", "ESP32-P4"},
                                                 {"esp32h4", "ESP32-H4"}}};

// The chips a simulated device can have: those of the two M5Stick models.
struct DeviceChip {
  std::string_view key;
  std::string_view name;
  unsigned image_chip_id;
  std::uint64_t bootloader_offset;
  std::string_view description;
  std::string_view features;
  std::string_view usb_mode;  // empty: an external USB-UART bridge
  std::array<unsigned char, 3> mac_prefix;
  std::uint64_t flash_bytes;
};

constexpr std::array<DeviceChip, 2> kDevices = {{
    {"esp32",
     "ESP32",
     0,
     0x1000,
     "ESP32-PICO-V3-02 (revision v3.1)",
     "Wi-Fi, BT, Dual Core + LP Core, 240MHz, Embedded Flash, Embedded PSRAM, "
     "Vref calibration in eFuse, Coding Scheme None",
     "",
     {0x24, 0x0a, 0xc4},
     8 * 1024 * 1024},
    {"esp32s3",
     "ESP32-S3",
     9,
     0x0,
     "ESP32-S3 (QFN56) (revision v0.2)",
     "Wi-Fi, BT 5 (LE), Dual Core + LP Core, 240MHz, Embedded PSRAM 8MB (AP_3v3)",
     "USB-Serial/JTAG",
     {0xdc, 0x54, 0x75},
     8 * 1024 * 1024},
}};

const DeviceChip& DeviceFor(std::string_view key) {
  return *std::find_if(kDevices.begin(), kDevices.end(),
                       [key](const DeviceChip& d) { return d.key == key; });
}

std::string_view ChipNameFor(std::string_view key) {
  for (const auto& chip : kChipList) {
    if (chip.key == key) {
      return chip.name;
    }
  }
  return key;
}

// A usage error as the command-line framework reports it.
struct UsageError {
  std::string command;  // empty for the tool's own options
  std::string message;
};

struct FatalError {
  std::string message;
};

std::string Format(const char* format, auto... values) {
  std::array<char, 512> buffer{};
  const int n = std::snprintf(buffer.data(), buffer.size(), format, values...);
  return std::string(buffer.data(), static_cast<std::size_t>(std::max(n, 0)));
}

std::string Hex8(std::uint64_t value) {
  return Format("0x%08llx", static_cast<unsigned long long>(value));
}

// Text that standard output cannot encode: the runtime's own error, which the tool does not
// catch.
struct EncodeError {
  std::string message;  // the last line of the traceback
};

// The code points of well-formed UTF-8 (it came from the UTF-16 command line).
std::vector<char32_t> CodePoints(std::string_view utf8) {
  std::vector<char32_t> points;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k) {
      point = (point << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    points.push_back(point);
    i += length;
  }
  return points;
}

// How the runtime's encoding error names one character.
std::string EscapedCharacter(char32_t point) {
  const auto value = static_cast<unsigned>(point);
  return point < 0x100     ? Format("\\x%02x", value)
         : point < 0x10000 ? Format("\\u%04x", value)
                           : Format("\\U%08x", value);
}

// A Python string literal of `text`, as repr() shows it in the tool's messages.
std::string PyRepr(std::string_view text) {
  const bool double_quoted =
      text.find('\'') != std::string_view::npos && text.find('"') == std::string_view::npos;
  const char quote = double_quoted ? '"' : '\'';
  std::string out(1, quote);
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\\' || c == quote) {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < 0x20 || u == 0x7F) {
      out += Format("\\x%02x", static_cast<unsigned>(u));
    } else {
      out += c;
    }
  }
  return out + quote;
}

// Python's int(text, 0): decimal without leading zeros, or 0x/0o/0b, with single underscores
// between digits and blanks around.
std::optional<std::int64_t> ParseAutoInt(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() >= 2 && text[0] == '0') {
    const char p = static_cast<char>(text[1] | 0x20);
    base = p == 'x' ? 16 : p == 'o' ? 8 : p == 'b' ? 2 : 10;
    if (base != 10) {
      text.remove_prefix(2);
      if (!text.empty() && text.front() == '_') {
        text.remove_prefix(1);
      }
    }
  }
  if (text.empty() || text.front() == '_' || text.back() == '_') {
    return std::nullopt;
  }
  std::int64_t value = 0;
  bool nonzero_seen = false;
  bool leading_zero = false;
  char previous = 0;
  for (char c : text) {
    if (c == '_') {
      if (previous == '_') {
        return std::nullopt;
      }
      previous = c;
      continue;
    }
    int digit = -1;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    }
    if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    }
    if (digit < 0 || digit >= base) {
      return std::nullopt;
    }
    if (base == 10 && !nonzero_seen && digit == 0 && previous == 0) {
      leading_zero = true;
    }
    if (digit != 0) {
      if (leading_zero) {
        return std::nullopt;
      }
      nonzero_seen = true;
    }
    if (value > (std::numeric_limits<std::int64_t>::max() - digit) / base) {
      return std::nullopt;
    }
    value = value * base + digit;
    previous = c;
  }
  return negative ? -value : value;
}

struct ImageFile {
  std::uint64_t address = 0;
  std::string name;  // as given, in console bytes
  std::string bytes;
  std::string name_utf8;
};

class ToolRun {
 public:
  ToolRun(const std::vector<std::string>& args, const SimSettings& settings, const ToolHost& host,
          OutputSink& sink)
      : args_(args), settings_(settings), host_(host), sink_(sink) {}

  std::uint32_t Run() {
    if (args_.empty()) {  // a bare call shows the help and succeeds
      Out("Usage: esptool [OPTIONS] COMMAND [ARGS]...\n\n  esptool v" + std::string(kToolVersion) +
          " - serial utility for flashing, provisioning, and interacting with Espressif "
          "SoCs.\n");
      return 0;
    }
    try {
      ParseToolOptions();
      ResolveCommand();
      Out("esptool v" + std::string(kToolVersion) + "\n");
      if (command_ == "chip-id") {
        ParseChipIdArguments();
      } else {
        ParseWriteFlashArguments();
      }
      const DeviceChip& device = ConnectAndPrepare();
      try {
        if (command_ == "chip-id") {
          ChipId(device);
        } else {
          WriteFlash(device);
        }
      } catch (const FatalError&) {
        ResetDevice();
        throw;
      }
      ResetDevice();
      return 0;
    } catch (const UsageError& e) {
      const std::string prefix = e.command.empty() ? "esptool" : "esptool " + e.command;
      const std::string usage = e.command.empty()        ? " [OPTIONS] COMMAND [ARGS]..."
                                : e.command == "chip-id" ? " [OPTIONS]"
                                                         : " [OPTIONS] <address> <filename>...";
      Err("Usage: " + prefix + usage + "\nTry '" + prefix +
          " -h' for help.\n\nError: " + e.message + "\n");
      return 2;
    } catch (const FatalError& e) {
      Err("\nA fatal error occurred: " + e.message + "\n");
      return 2;
    } catch (const EncodeError& e) {
      // The frames are the simulator's own; the first and the last line are the runtime's.
      Err("Traceback (most recent call last):\n  File \"esptool\\cmds.py\", line 0, in "
          "write_flash\n" +
          e.message + "\n");
      return 1;
    }
  }

 private:
  void Out(std::string_view text) { sink_.Write(Stream::kOut, text); }
  void Err(std::string_view text) { sink_.Write(Stream::kErr, text); }
  void Pause(double seconds) { sink_.Pause(seconds); }
  std::string Console(std::string_view utf8) const { return host_.to_console(utf8); }

  // A line of standard output that holds a file name, encoded the way the tool's runtime does
  // it: a character that the output cannot take ends the run.
  void OutWithName(const std::string& before, const std::string& name_utf8,
                   const std::string& after) {
    if (host_.prints) {
      const std::vector<char32_t> text = CodePoints(before + name_utf8 + after);
      for (std::size_t start = 0; start < text.size(); ++start) {
        if (host_.prints(text[start])) {
          continue;
        }
        // One-byte and UTF-8 codecs report the whole run of characters they cannot encode,
        // the multi-byte ones a single character.
        const bool run = host_.codec == "charmap" || host_.codec == "utf-8";
        std::size_t end = start + 1;
        while (run && end < text.size() && !host_.prints(text[end])) {
          ++end;
        }
        const std::string reason = host_.codec == "charmap" ? "character maps to <undefined>"
                                   : host_.codec == "utf-8" ? "surrogates not allowed"
                                                            : "illegal multibyte sequence";
        const std::string which =
            end - start == 1
                ? "character '" + EscapedCharacter(text[start]) + "' in position " +
                      std::to_string(start)
                : "characters in position " + std::to_string(start) + "-" + std::to_string(end - 1);
        throw EncodeError{"UnicodeEncodeError: '" + host_.codec + "' codec can't encode " + which +
                          ": " + reason};
      }
    }
    Out(before + Console(name_utf8) + after);
  }

  // --chip/-c, --port/-p and --baud/-b, before the command.
  void ParseToolOptions() {
    while (next_ < args_.size()) {
      const std::string& arg = args_[next_];
      if (arg.size() < 2 || arg[0] != '-') {
        break;
      }
      std::string name = arg;
      std::optional<std::string> value;
      if (arg.starts_with("--")) {
        const auto eq = arg.find('=');
        if (eq != std::string::npos) {
          name = arg.substr(0, eq);
          value = arg.substr(eq + 1);
        }
      }
      ++next_;
      const bool chip = name == "--chip" || name == "-c";
      const bool port = name == "--port" || name == "-p";
      const bool baud = name == "--baud" || name == "-b";
      if (!chip && !port && !baud) {
        throw UsageError{"", "No such option: " + Console(name)};
      }
      if (!value) {
        if (next_ >= args_.size()) {
          throw UsageError{"", "Option '" + Console(name) + "' requires an argument."};
        }
        value = args_[next_++];
      }
      if (chip) {
        chip_ = CheckedChip(*value);
      }
      if (port) {
        port_ = *value;
      }
      if (baud) {
        const auto parsed = ParseAutoInt(*value);
        if (!parsed) {
          throw UsageError{"", "Invalid value for '--baud' / '-b': " + PyRepr(Console(*value)) +
                                   " is not a valid integer."};
        }
        baud_ = *parsed;
      }
    }
  }

  std::string CheckedChip(std::string_view value) const {
    const std::string key = NormalizeChipName(value);
    if (key == "auto") {
      return key;
    }
    for (const auto& chip : kChipList) {
      if (chip.key == key) {
        return key;
      }
    }
    std::string choices = "'auto'";
    for (const auto& chip : kChipList) {
      choices += ", '" + std::string(chip.key) + "'";
    }
    throw UsageError{"", "Invalid value for '--chip' / '-c': " + PyRepr(Console(key)) +
                             " is not one of " + choices + "."};
  }

  // The command, in either spelling; the older underscore form draws a warning first.
  void ResolveCommand() {
    if (next_ >= args_.size()) {
      throw UsageError{"", "Missing command."};
    }
    const std::string& name = args_[next_++];
    for (std::string_view known : {"chip-id", "write-flash"}) {
      std::string underscored(known);
      std::replace(underscored.begin(), underscored.end(), '-', '_');
      if (name == known) {
        command_ = known;
        return;
      }
      if (name == underscored) {
        command_ = known;
        Out("Warning: Deprecated: Command '" + name + "' is deprecated. Use '" + command_ +
            "' instead.\n");
        return;
      }
    }
    throw UsageError{"", "No such command " + PyRepr(Console(name)) + "."};
  }

  std::vector<std::string> CommandArguments() const {
    std::vector<std::string> rest;
    for (std::size_t i = next_; i < args_.size(); ++i) {
      const std::string& arg = args_[i];
      if (arg.size() >= 2 && arg[0] == '-') {
        throw UsageError{command_, "No such option: " + Console(arg)};
      }
      rest.push_back(arg);
    }
    return rest;
  }

  void ParseChipIdArguments() {
    const auto rest = CommandArguments();
    if (rest.empty()) {
      return;
    }
    std::string message =
        rest.size() > 1 ? "Got unexpected extra arguments (" : "Got unexpected extra argument (";
    for (std::size_t i = 0; i < rest.size(); ++i) {
      if (i > 0) {
        message += ' ';
      }
      message += Console(rest[i]);
    }
    message += ')';
    throw UsageError{command_, message};
  }

  // Address and file pairs, read when they are parsed, as the tool opens its files then.
  void ParseWriteFlashArguments() {
    const auto rest = CommandArguments();
    if (rest.empty()) {
      throw UsageError{command_, "Missing argument '<address> <filename>...'."};
    }
    if (rest.size() % 2 != 0) {
      throw UsageError{command_,
                       "Invalid value: Must be pairs of an address and the binary filename to "
                       "write there."};
    }
    for (std::size_t i = 0; i < rest.size(); i += 2) {
      const auto address = ParseAutoInt(rest[i]);
      if (!address || *address < 0) {
        throw UsageError{command_,
                         "Invalid value: Address \"" + Console(rest[i]) + "\" must be a number."};
      }
      const std::string name = Console(rest[i + 1]);
      FileContent content = host_.read_file(rest[i + 1]);
      if (!content.bytes) {
        const int e = content.error_number;
        const char* text = e == 2    ? "No such file or directory"
                           : e == 13 ? "Permission denied"
                                     : "Invalid argument";
        throw UsageError{command_, "Invalid value: [Errno " + std::to_string(e) + "] " + text +
                                       ": " + PyRepr(name)};
      }
      files_.push_back(
          {static_cast<std::uint64_t>(*address), name, std::move(*content.bytes), rest[i + 1]});
    }
    std::vector<const ImageFile*> sorted;
    for (const auto& f : files_) {
      sorted.push_back(&f);
    }
    std::stable_sort(sorted.begin(), sorted.end(), [](const ImageFile* a, const ImageFile* b) {
      return a->address < b->address;
    });
    std::uint64_t end = 0;
    for (const ImageFile* f : sorted) {
      const std::uint64_t sector_start = f->address & ~(kSectorSize - 1);
      const std::uint64_t sector_end =
          ((f->address + f->bytes.size() + kSectorSize - 1) & ~(kSectorSize - 1)) - 1;
      if (sector_start < end) {
        throw UsageError{command_, Format("Invalid value: Detected overlap at address: 0x%llx "
                                          "for file: ",
                                          static_cast<unsigned long long>(f->address)) +
                                       f->name + "."};
      }
      end = sector_end;
    }
  }

  // Finds the device, reports it, starts the stub and sets the baud rate.
  const DeviceChip& ConnectAndPrepare() {
    if (baud_ <= 0) {
      throw FatalError{"Failed to set baud rate " + std::to_string(baud_) +
                       ". The driver may not support this rate."};
    }
    const std::uint64_t initial_baud =
        static_cast<std::uint64_t>(std::min<std::int64_t>(kRomBaud, baud_));

    std::vector<std::string> ports;
    if (port_) {
      ports.push_back(*port_);
    } else {
      for (const auto& entry : settings_.ports) {
        ports.push_back(entry.first);
      }
      std::sort(ports.begin(), ports.end());
      Out("Found " + std::to_string(ports.size()) + " serial ports...\n");
    }

    std::optional<std::string> chip_key;
    std::string connected_port;
    for (auto it = ports.rbegin(); it != ports.rend() && !chip_key; ++it) {
      Out("Serial port " + Console(*it) + ":\n");
      try {
        chip_key = Connect(*it);
        connected_port = *it;
      } catch (const FatalError& e) {
        if (port_) {
          throw;
        }
        Err(Console(*it) + " failed to connect: " + e.message + "\n");
      }
    }
    if (!chip_key) {
      throw FatalError{"Could not connect to an Espressif device on any of the " +
                       std::to_string(ports.size()) + " available serial ports."};
    }

    const DeviceChip& device = DeviceFor(*chip_key);
    Out("Connected to " + std::string(device.name) + " on " + Console(connected_port) + ":\n");
    Out(Labeled("Chip type:", device.description));
    Pause(0.02);
    Out(Labeled("Features:", device.features));
    Out(Labeled("Crystal frequency:", "40MHz"));
    if (!device.usb_mode.empty()) {
      Out(Labeled("USB mode:", device.usb_mode));
    }
    mac_ = MacFor(device, connected_port);
    Out(Labeled("MAC:", mac_));
    Out("\n");

    Out("Uploading stub flasher...\n");
    Pause(0.6);
    Out("Running stub flasher...\n");
    Pause(0.05);
    Out("Stub flasher running.\n");

    transfer_baud_ = initial_baud;
    if (baud_ > static_cast<std::int64_t>(initial_baud)) {
      Out("Changing baud rate to " + std::to_string(baud_) + "...\n");
      Pause(0.05);
      Out("Changed.\n");
      transfer_baud_ = static_cast<std::uint64_t>(baud_);
    }
    Out("\n");
    return device;
  }

  // One connection: the chip key of the device, or the tool's failure to get an answer.
  std::string Connect(const std::string& port) {
    const std::optional<std::string> device = DeviceOnPort(settings_, port);
    const bool automatic = chip_ == "auto";
    Out("Connecting...");
    if (!device) {
      for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        Pause(0.1);  // reset into the bootloader
        for (int sync = 0; sync < kSyncTriesPerAttempt; ++sync) {
          Pause(0.15);
          Out(".");
        }
      }
      Out("\n");
      const std::string target = automatic ? "Espressif device" : std::string(ChipNameFor(chip_));
      throw FatalError{"Failed to connect to " + target +
                       ": No serial data received.\nFor troubleshooting steps visit: " +
                       std::string(kTroubleshootingUrl)};
    }
    Pause(0.25);
    Out(".");
    Pause(0.05);
    Out("\n");
    const std::string_view name = DeviceFor(*device).name;
    if (automatic) {
      Out("Detecting chip type...");
      Pause(0.05);
      Out(" " + std::string(name) + "\n");
    } else if (*device != chip_) {
      throw FatalError{"This chip is " + std::string(name) + ", not " +
                       std::string(ChipNameFor(chip_)) + ". Wrong chip argument?"};
    }
    return *device;
  }

  void ChipId(const DeviceChip& device) {
    Out("Warning: " + std::string(device.name) + " has no chip ID. Reading MAC address instead.\n");
    Out(Labeled("MAC:", mac_));
  }

  void WriteFlash(const DeviceChip& device) {
    for (const ImageFile& file : files_) {
      CheckImage(device, file);
    }

    Out("Configuring flash size...\n");
    Pause(0.02);
    for (const ImageFile& file : files_) {
      if (file.address + file.bytes.size() > device.flash_bytes) {
        throw FatalError{"File '" + file.name + "' (length " + std::to_string(file.bytes.size()) +
                         ") at offset " + Hex8(file.address) + " will not fit in " +
                         std::to_string(device.flash_bytes) +
                         " bytes of flash. Change the flash_size argument or flashing address."};
      }
    }
    for (const ImageFile& file : files_) {
      WriteImage(file);
    }
  }

  // The tool's image checks: the chip id in the header of every image, and (the simulator's
  // own, stricter rule) an image magic where the bootloader and the application go.
  void CheckImage(const DeviceChip& device, const ImageFile& file) const {
    if (file.bytes.empty()) {
      return;
    }
    const auto magic = static_cast<unsigned char>(file.bytes[0]);
    const bool image_slot = file.address == device.bootloader_offset || file.address == kAppOffset;
    if (magic != kImageMagic) {
      if (image_slot) {
        throw FatalError{Format("Invalid firmware image magic=0x%x", magic)};
      }
      return;
    }
    if (file.bytes.size() < kImageHeaderBytes) {
      return;
    }
    const unsigned chip_id =
        static_cast<unsigned char>(file.bytes[12]) |
        (static_cast<unsigned>(static_cast<unsigned char>(file.bytes[13])) << 8);
    if (chip_id != device.image_chip_id) {
      throw FatalError{"'" + file.name + "' is not an " + std::string(device.name) +
                       " image. Use the force argument to flash anyway."};
    }
  }

  // Each image names itself and its erased range before it goes.
  void WriteImage(const ImageFile& file) {
    Out("\n");
    OutWithName("Writing '", file.name_utf8, "' at " + Hex8(file.address) + "...\n");
    const std::uint64_t over = file.address % kSectorSize;
    if (over != 0) {
      Out("Note: Flash address " + Hex8(file.address) + " is not aligned to a " +
          Format("0x%llx", static_cast<unsigned long long>(kSectorSize)) + " byte flash sector. " +
          Format("0x%llx", static_cast<unsigned long long>(over)) +
          " bytes before this address will be erased.\n");
    }
    const std::uint64_t end = file.address + file.bytes.size();
    const std::uint64_t last = (end + kSectorSize - 1) / kSectorSize * kSectorSize - 1;
    Out("Flash will be erased from " + Hex8(file.address - over) + " to " + Hex8(last) + "...\n");
    if (file.bytes.empty()) {
      OutWithName("Warning: '", file.name_utf8, "' is empty.\n");
      return;
    }
    std::string image = file.bytes;
    image.append((4 - image.size() % 4) % 4, '\xFF');
    const std::uint64_t size = image.size();
    const std::uint64_t compressed = EstimateDeflateSize(image);

    Pause(static_cast<double>(size) / 4e6);  // compressing at level 9
    Out("Compressed " + std::to_string(size) + " bytes to " + std::to_string(compressed) + "...\n");
    Out("\n");
    double seconds = 0.05;
    Pause(0.05);
    std::uint64_t sent = 0;
    while (true) {
      const std::uint64_t written = sent == compressed ? size : size * sent / compressed;
      Out(ProgressLine(file.address + written, sent, compressed));
      if (sent == compressed) {
        break;
      }
      const std::uint64_t block = std::min(kFlashWriteSize, compressed - sent);
      const double transfer =
          static_cast<double>(block) * 10.0 / static_cast<double>(transfer_baud_);
      Pause(transfer);
      seconds += transfer;
      sent += block;
    }
    Pause(0.02);
    seconds += 0.02;
    Out(Format("Wrote %llu bytes (%llu compressed) at ", static_cast<unsigned long long>(size),
               static_cast<unsigned long long>(compressed)) +
        Hex8(file.address) +
        Format(" in %.1f seconds (%.1f kbit/s).\n", seconds,
               static_cast<double>(size) / seconds * 8 / 1000));
    Out("Verifying written data...\n");
    Pause(0.02 + static_cast<double>(size) / 8e6);
    Out("Hash of data verified.\n");
  }

  // One progress update, its own line in a pipe: carriage return, text, a blank, line feed.
  static std::string ProgressLine(std::uint64_t address, std::uint64_t sent, std::uint64_t total) {
    constexpr std::uint64_t kBarLength = 30;
    const std::uint64_t filled = kBarLength * sent / total;
    std::string bar;
    if (filled == kBarLength) {
      bar.assign(kBarLength, '=');
    } else if (filled == 0) {
      bar.assign(kBarLength, ' ');
    } else {
      bar = std::string(filled - 1, '=') + ">" + std::string(kBarLength - filled, ' ');
    }
    const double percent = 100.0 * static_cast<double>(sent) / static_cast<double>(total);
    return "\rWriting at " + Hex8(address) + " [" + bar + "] " + Format("%5.1f", percent) + "% " +
           std::to_string(sent) + "/" + std::to_string(total) + " bytes... \n";
  }

  void ResetDevice() {
    Out("\n");
    Out("Hard resetting via RTS pin...\n");
    Pause(0.1);
  }

  static std::string Labeled(std::string_view label, std::string_view value) {
    std::string line(label);
    line.resize(std::max<std::size_t>(line.size(), 20), ' ');
    return line + std::string(value) + "\n";
  }

  // A stable MAC per port, so repeated runs print the same address.
  static std::string MacFor(const DeviceChip& device, std::string_view port) {
    std::uint32_t hash = 2166136261u;
    for (char c : port) {
      if (c >= 'a' && c <= 'z') {
        c = static_cast<char>(c - 'a' + 'A');
      }
      hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    return Format("%02x:%02x:%02x:%02x:%02x:%02x", device.mac_prefix[0], device.mac_prefix[1],
                  device.mac_prefix[2], (hash >> 16) & 0xFF, (hash >> 8) & 0xFF, hash & 0xFF);
  }

  const std::vector<std::string>& args_;
  const SimSettings& settings_;
  const ToolHost& host_;
  OutputSink& sink_;

  std::size_t next_ = 0;
  std::string chip_ = "auto";
  std::optional<std::string> port_;
  std::int64_t baud_ = static_cast<std::int64_t>(kRomBaud);
  std::string command_;
  std::vector<ImageFile> files_;
  std::string mac_;
  std::uint64_t transfer_baud_ = kRomBaud;
};

}  // namespace

std::uint32_t RunTool(const std::vector<std::string>& args, const SimSettings& settings,
                      const ToolHost& host, OutputSink& sink) {
  return ToolRun(args, settings, host, sink).Run();
}

}  // namespace sim
