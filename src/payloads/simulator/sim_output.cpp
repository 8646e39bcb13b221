#include "payloads/simulator/sim_output.h"

#include <cstdint>
#include <string>

namespace sim {
namespace {

constexpr std::size_t kChunk = 64 * 1024;
constexpr std::size_t kLongLineBytes = 3000;
constexpr std::size_t kBulkLineBytes = 100;
// The first read of a 1024-byte reader ends between these two bytes of E2 9C 94.
constexpr std::size_t kSplitSequenceOffset = 1023;

std::string HighBytesBlock(bool crlf) {
  // Latin letters, degree, copyright, micro, euro and y-diaeresis in Windows-1252.
  std::string block =
      "High bytes: caf\xE9 na\xEFve 20\xB0"
      "C \xA9 \xB5s \x80 \xFF";
  block += crlf ? "\r\n" : "\n";
  const std::string label = "Split sequence: ";
  block += label;
  block.append(kSplitSequenceOffset - block.size(), 'x');
  block += "\xE2\x9C\x94 end";
  // The sink turns each line feed into CR LF itself; the offset above counted it already.
  if (crlf) {
    block.erase(block.find("\r\n"), 1);
  }
  return block + "\n";
}

std::string LongLine() {
  const std::string head = "Long line begins ";
  const std::string tail = " long line ends";
  std::string line = head;
  for (std::size_t i = 0; line.size() + tail.size() < kLongLineBytes; ++i) {
    line.push_back(static_cast<char>('0' + i % 10));
  }
  return line + tail + "\n";
}

// Writes `count` generated lines in pieces of about 64 KiB.
template <typename MakeLine>
void WriteLines(OutputSink& sink, std::uint64_t count, MakeLine make_line) {
  std::string piece;
  for (std::uint64_t i = 1; i <= count; ++i) {
    piece += make_line(i);
    if (piece.size() >= kChunk) {
      sink.Write(Stream::kOut, piece);
      piece.clear();
    }
  }
  if (!piece.empty()) {
    sink.Write(Stream::kOut, piece);
  }
}

std::string BulkLine(std::uint64_t number, std::size_t length) {
  std::string line = "Bulk output line " + std::to_string(number) + " ";
  if (line.size() + 1 > length) {
    line.resize(length - 1);
  }
  line.append(length - 1 - line.size(), '.');
  return line + "\n";
}

}  // namespace

VariantSink::VariantSink(OutputSink& next, const OutputVariants& variants)
    : next_(next), variants_(variants) {}

void VariantSink::Write(Stream stream, std::string_view bytes) {
  if (variants_.silent || bytes.empty()) {
    return;
  }
  std::string data;
  if (held_newline_) {
    held_newline_ = false;
    if (held_stream_ == stream) {
      data = "\n";
    } else {
      Emit(held_stream_, "\n");
    }
  }
  data += bytes;
  if (variants_.no_final_newline && data.back() == '\n') {
    data.pop_back();
    held_newline_ = true;
    held_stream_ = stream;
  }
  if (!data.empty()) {
    Emit(stream, data);
  }
}

void VariantSink::Emit(Stream stream, std::string_view data) {
  if (!variants_.crlf) {
    next_.Write(stream, data);
    return;
  }
  std::string converted;
  for (char c : data) {
    if (c == '\n') {
      converted += '\r';
    }
    converted += c;
  }
  next_.Write(stream, converted);
}

void WriteExtraOutput(const SimSettings& settings, OutputSink& sink) {
  const OutputVariants& v = settings.output;
  if (v.high_bytes) {
    sink.Write(Stream::kOut, HighBytesBlock(v.crlf));
  }
  if (v.long_line) {
    sink.Write(Stream::kOut, LongLine());
  }
  if (v.interleaved_stderr) {
    for (int i = 1; i <= 4; ++i) {
      const bool out = i % 2 == 1;
      sink.Write(out ? Stream::kOut : Stream::kErr, "Interleaved line " + std::to_string(i) +
                                                        " on standard " +
                                                        (out ? "output" : "error") + "\n");
      sink.Pause(0.01);
    }
  }
  if (v.blank_lines) {
    sink.Write(Stream::kOut, "\n");
    sink.Write(Stream::kOut, "   \n");
    sink.Write(Stream::kOut, " \t \n");
  }
  if (v.inner_cr) {
    sink.Write(Stream::kOut, "Carriage return here\rand the line goes on\n");
  }
  if (v.nul_bytes) {
    using namespace std::string_view_literals;
    sink.Write(Stream::kOut, "NUL here\0and the line goes on\n"sv);
    // As a tool writing UTF-16 would: the NUL after the line feed starts the next line.
    std::string wide;
    for (const char c : std::string_view("Wide line\n")) {
      wide += c;
      wide += '\0';
    }
    sink.Write(Stream::kOut, wide);
  }

  const std::uint64_t lines = settings.extra_lines;
  WriteLines(sink, lines, [lines](std::uint64_t i) {
    return "Extra line " + std::to_string(i) + " of " + std::to_string(lines) + "\n";
  });

  const std::uint64_t full = settings.extra_bytes / kBulkLineBytes;
  const std::size_t rest = settings.extra_bytes % kBulkLineBytes;
  WriteLines(sink, full, [](std::uint64_t i) { return BulkLine(i, kBulkLineBytes); });
  if (rest > 0) {
    sink.Write(Stream::kOut, BulkLine(full + 1, rest));
  }
}

}  // namespace sim
