#!/usr/bin/env bash
# Builds the bench programs, runs them under Wine and prints the performance figures side by
# side with their baselines. Absolute times on shared machines are noise; the ratios, measured
# in one run on one machine, are the figures.
#
#   bench/run.sh [--quick] [--build-dir DIR]
#
# --quick: one short repetition of each figure (smaller log and runner loads), for a smoke run.
# --build-dir: the Windows build tree to use (default build/windows, the preset's own).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

quick=0
build=build/windows
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1 ;;
    --build-dir) build="$2"; shift ;;
    *) echo "usage: bench/run.sh [--quick] [--build-dir DIR]" >&2; exit 2 ;;
  esac
  shift
done

if [ "$quick" = 1 ]; then
  repeat=1; startup_repeat=2; log_lines=300,3000; log_repeat=1; perline_lines=300,3000
  runner_bytes=5000000; soak_cycles=12
else
  # One replacement per line grows with the text: 10 times fewer lines keep it to seconds.
  repeat=9; startup_repeat=21; log_lines=10000,100000; log_repeat=3; perline_lines=1000,10000
  runner_bytes=50000000; soak_cycles=200
fi

cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" --target bench_programs

out=$(mktemp -d)
cleanup() {
  rm -rf "$out"
  # Wine's server outlives its programs; it goes with the display this script started.
  if [ -n "${VTF_XVFB_PID:-}" ]; then
    stop_wine "$PWD/$build/wineprefix"
    stop_virtual_display
  fi
}
trap cleanup EXIT
[ -n "${DISPLAY:-}" ] || start_virtual_display
run() { "$build/wine-run.sh" "$@"; }
bench="$PWD/$build/bench"

# The virtual display has no window manager: without this, Wine waits about 2 s for one at
# each window's end (the window tests set the same).
run reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

echo "== start-up" >&2
programs=("bare=$bench/bench_bare_window.exe" "controls=$bench/bench_controls_window.exe"
          "program=$bench/VantorTrackerFlasher.Padded.exe"
          "standin=$PWD/$build/src/app/win32/VantorTrackerFlasher.exe")
run "$bench/bench_first_paint.exe" --repeat "$startup_repeat" "${programs[@]}" 2>/dev/null >"$out/startup"

echo "== extraction and memory" >&2
run "$bench/bench_extract.exe" --repeat "$repeat" >"$out/extract"
# The same bytes copied by cp into the same folder, from the same starting state.
folder=$(sed -n 's/^folder //p' "$out/extract" | tr -d '\r')
drive=$(printf '%s' "${folder:0:1}" | tr 'A-Z' 'a-z')
unix_folder="$PWD/$build/wineprefix/dosdevices/$drive:$(printf '%s' "${folder:2}" | tr '\\' '/')"
copy_sources=("$bench/padded/s3/esptool.exe" "$bench/padded/s3/bootloader.bin"
              "$bench/padded/s3/partitions.bin" "$bench/padded/s3/firmware.bin")
for _ in $(seq "$repeat"); do
  rm -f "$unix_folder"/{esptool.exe,bootloader.bin,partitions.bin,firmware.bin}
  python3 - "$unix_folder" "${copy_sources[@]}" >>"$out/extract" <<'PY'
import subprocess, sys, time
start = time.perf_counter()
subprocess.run(["cp", *sys.argv[2:], sys.argv[1]], check=True)
print("copy.ms %.3f" % ((time.perf_counter() - start) * 1000))
PY
done
rm -rf "$unix_folder"

echo "== log" >&2
run "$bench/bench_log.exe" --lines "$log_lines" --modes view --repeat "$log_repeat" >"$out/log"
run "$bench/bench_log.exe" --lines "$perline_lines" --modes perline --repeat 1 >>"$out/log"

echo "== runner" >&2
run "$bench/bench_runner.exe" --bytes "$runner_bytes" --repeat "$repeat" >"$out/runner"

# A stand-in build only: a release carries the real tool.
soak="$bench/VantorTrackerFlasher.Soak.exe"
if [ -f "$soak" ]; then
  echo "== soak" >&2
  run "$soak" --cycles "$soak_cycles" 2>/dev/null >"$out/soak"
  run "$soak" --cycles "$soak_cycles" --empty-log 2>/dev/null >>"$out/soak"
fi

# The program as built, less the payloads it carries.
payload_dir=$(sed -n 's/^VTF_PAYLOAD_DIR:PATH=//p' "$build/CMakeCache.txt")
[ -n "$payload_dir" ] || payload_dir="$build/src/payloads/standin"
exe="$build/src/app/win32/VantorTrackerFlasher.exe"
{
  echo "size.exe $(stat -c %s "$exe")"
  for f in esptool.exe c2_bootloader.bin c2_partitions.bin c2_firmware.bin s3_bootloader.bin \
           s3_partitions.bin s3_firmware.bin; do
    echo "size.payload $(stat -c %s "$payload_dir/$f")"
  done
} >"$out/size"

echo
echo "Machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)," \
  "$(/usr/lib/wine/wine64 --version), $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "Repetitions: $repeat, start-up $startup_repeat (median taken); log lines $log_lines ($log_repeat times)," \
  "one append per line $perline_lines; runner bytes $runner_bytes"
echo
python3 - "$out" "$log_lines" "$perline_lines" "$runner_bytes" <<'PY'
import collections, os, statistics, sys

out, log_lines, perline_lines, runner_bytes = sys.argv[1:4] + [int(sys.argv[4])]
values = collections.defaultdict(list)
for name in os.listdir(out):
    path = os.path.join(out, name)
    if not os.path.isfile(path):
        continue
    with open(path, errors="replace") as f:
        for line in f:
            parts = line.split()
            if len(parts) == 2:
                try:
                    values[parts[0]].append(float(parts[1]))
                except ValueError:
                    pass

def median(key):
    return statistics.median(values[key])

MiB = 1024 * 1024
rows = []

def ratio_row(figure, measured, baseline, target, unit="ms"):
    ratio = measured / baseline
    rows.append((figure, f"{measured:.1f} {unit}", f"{baseline:.1f} {unit}", f"{ratio:.2f}x",
                 f"<= {target}x", "yes" if ratio <= target else "no"))

# The floor: the same controls in an empty window, what Wine itself needs to show them.
ratio_row("start-up to first paint (against its controls alone)", median("startup.program"),
          median("startup.controls"), 1.2)
if values.get("startup.standin"):
    ratio_row("  (stand-in payloads)", median("startup.standin"), median("startup.controls"), 1.2)
# Not figures: the floor and the program against a window without controls.
ratio_row("  (floor against a bare window)", median("startup.controls"), median("startup.bare"),
          1.2)
ratio_row("  (program against a bare window)", median("startup.program"), median("startup.bare"),
          1.2)
ratio_row("extraction (S3 choice)", median("extract.ms"), median("copy.ms"), 1.5)
growth = median("memory.private_peak_growth")
rows.append(("memory: private growth", f"{growth / MiB:.2f} MiB", "before extraction",
             "-", "<= 1.5 MiB", "yes" if growth <= 1.5 * MiB else "no"))
for mode, counts, label in (("view", log_lines, "log (MemoLog)"),
                            ("perline", perline_lines, "  (one append per line)")):
    small, large = (int(n) for n in counts.split(","))
    t_small, t_large = median(f"log.{mode}.{small}.ms"), median(f"log.{mode}.{large}.ms")
    kept = all(median(f"log.{mode}.{n}.kept") == n for n in (small, large))
    ratio = t_large / t_small
    rows.append((label, f"{t_large:.0f} ms @{large}", f"{t_small:.0f} ms @{small}",
                 f"{ratio:.1f}", "<= 12, all kept",
                 "yes" if ratio <= 12 and kept else "no"))
ratio_row(f"runner ({runner_bytes / 1e6:g} MB)", median("runner.handler.ms"),
          median("runner.raw.ms"), 2)
runner_growth = median("runner.private_peak_growth")
rows.append(("  private growth", f"{runner_growth / MiB:.2f} MiB", "before the run", "-",
             "flat", "yes" if runner_growth <= 1.5 * MiB else "no"))
payloads = sum(values["size.payload"])
size = median("size.exe") - payloads
rows.append(("size less payloads", f"{size / MiB:.2f} MiB", f"{payloads / MiB:.2f} MiB payloads",
             "-", "<= 1 MiB", "yes" if size <= MiB else "no"))

header = ("figure", "measured", "baseline", "ratio", "target", "holds")
widths = [max(len(str(r[i])) for r in rows + [header]) for i in range(len(header))]
for row in [header] + rows:
    print("  ".join(str(cell).ljust(width) for cell, width in zip(row, widths)).rstrip())
PY

# What the process holds as whole cycles go by, with the log kept (as the user has it) and
# with the log emptied after each cycle; Wine answers 0 for GDI and USER objects.
if [ -s "$out/soak" ]; then
  echo
  python3 - "$out/soak" <<'PY'
import sys

figures = {}
with open(sys.argv[1], errors="replace") as f:
    for line in f:
        parts = line.split()
        if len(parts) == 2 and parts[0].startswith("soak."):
            figures[parts[0][5:]] = int(float(parts[1]))
cycles = figures["kept.cycles"]
print(f"soak: {cycles} whole cycles (model, port list, probe, flash), no delay")
points = ["start", "10", str(cycles)] if cycles > 10 else ["start", str(cycles)]
header = ["after"] + [f"{p} (log {log})" for log in ("kept", "emptied") for p in points]
rows = [("private bytes (KiB)", "private", 1024), ("GDI objects", "gdi", 1),
        ("USER objects", "user", 1), ("windows", "windows", 1), ("open handles", "handles", 1),
        ("log text written (KiB)", "log_chars", 512)]
def cell(log, point, key, scale):
    value = figures.get(f"{log}.{point}.{key}")
    return "-" if value is None else f"{value / scale:.0f}"
table = [header] + [[label] + [cell(log, p, key, scale) for log in ("kept", "emptied")
                               for p in points] for label, key, scale in rows]
widths = [max(len(row[i]) for row in table) for i in range(len(header))]
for row in table:
    print("  ".join(text.ljust(width) for text, width in zip(row, widths)).rstrip())
PY
fi
