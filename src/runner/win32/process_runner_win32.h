// Runs a command line as a hidden child process with its output captured.
#pragma once

#include <string>

#include "runner/line_cutter.h"

// Starts the command line hidden, with one pipe for standard output and standard error and no
// standard input; reads the output 1024 bytes at a time, decodes each read from the ANSI code
// page, and hands every complete, trimmed line to `onLine` before the next read. Returns the
// exit code as a signed 32-bit integer, or -1 when the pipe or the process cannot be created.
// No process of the tool outlives the run: what the tool started and left running is ended
// when the run ends, and everything when the line handler throws or this program ends. A
// process that keeps its inherited write end open keeps the output, and so the run, going.
int RunHiddenProcess(const std::wstring& commandLine, const LineHandler& onLine);
