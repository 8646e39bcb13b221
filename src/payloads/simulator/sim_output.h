// Where the simulated tool's bytes go. Each Write is one write to the stream, flushed at once, so
// the flush structure of the output is exactly the sequence of Write calls.
#pragma once

#include <string>
#include <string_view>

#include "payloads/simulator/sim_settings.h"

namespace sim {

enum class Stream { kOut, kErr };

class OutputSink {
 public:
  virtual ~OutputSink() = default;
  virtual void Write(Stream stream, std::string_view bytes) = 0;
  // Time the device takes, in seconds as on a real device; the sink scales it.
  virtual void Pause(double seconds) = 0;
};

// Applies the crlf, nofinalnewline and silent variants to everything written through it.
class VariantSink final : public OutputSink {
 public:
  VariantSink(OutputSink& next, const OutputVariants& variants);
  void Write(Stream stream, std::string_view bytes) override;
  void Pause(double seconds) override { next_.Pause(seconds); }
  // Ends the output: a line feed held back as the possibly last one is dropped.
  void Finish() { held_newline_ = false; }

 private:
  void Emit(Stream stream, std::string_view data);  // applies crlf

  OutputSink& next_;
  OutputVariants variants_;
  bool held_newline_ = false;
  Stream held_stream_ = Stream::kOut;
};

// The variants' extra lines, VTF_SIM_LINES and VTF_SIM_BYTES, in that order. Written before the
// tool's own output; the highbytes block relies on being the first write of the process.
void WriteExtraOutput(const SimSettings& settings, OutputSink& sink);

}  // namespace sim
