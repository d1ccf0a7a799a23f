#!/usr/bin/env bash
# Start-up figures of the launcher: the time from start to exit of a same-day start (the
# settings file holds a "Last_XLS" of today, so nothing is opened and no box appears) against
# an empty program built with the same compiler, flags and link options
# (bench/startup/empty.cpp, built by bench/startup/build_empty.py):
#   1. the Linux program (dist/linux/AutoQuillmer), natively;
#   2. the Windows x86_64 program (dist/win64/AutoQuillmer.exe) under Wine, each program
#      started the same way through scripts/test/wine-run.sh in a private prefix;
#   3. the release program (dist/win32/AutoQuillmer.exe) under the emulated 32-bit Wine
#      (scripts/test/wine32-run.sh), with one waiting program kept running in its prefix as the
#      end-to-end tests do.
# Prints the medians and their ratio, the programs' sizes (including the release program
# dist/win32/AutoQuillmer.exe) and their peak memory ("Maximum resident set size").
#   scripts/bench/bench-startup.sh                 default run counts
#   RUNS=300 WINE_RUNS=60 WINE32_RUNS=20 scripts/bench/bench-startup.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"
runs="${RUNS:-300}"
wine_runs="${WINE_RUNS:-40}"
wine32_runs="${WINE32_RUNS:-10}"

bash scripts/setup.sh --tests
need=()
command -v hyperfine >/dev/null 2>&1 || need+=(hyperfine)
[ -x /usr/bin/time ] || need+=(time)
if [ "${#need[@]}" -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}" >/dev/null
fi

echo "== building"
for preset in linux win64 win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)" --target AutoQuillmer >/dev/null
done
out="$root/build/bench-startup"
python3 bench/startup/build_empty.py build/linux "$out/linux/empty"
python3 bench/startup/build_empty.py build/win64 "$out/win64/empty.exe"
python3 bench/startup/build_empty.py build/win32 "$out/win32/empty.exe"
cmake --preset win32-tests >/dev/null
cmake --build --preset win32-tests -j"$(nproc)" --target aqprobe >/dev/null

work="$(mktemp -d /tmp/aq-bench-startup.XXXXXX)"
wineserver_started=""
wine32_server=""
wine32_keeper=""
cleanup() {
  if [ -n "$wine32_keeper" ]; then
    kill "$wine32_keeper" 2>/dev/null || true
  fi
  if [ -n "$wineserver_started" ]; then
    WINEPREFIX="$work/wineprefix" wineserver -k 2>/dev/null || true
  fi
  if [ -n "$wine32_server" ]; then
    WINEPREFIX="$work/wine32prefix" "$wine32_server" -k 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

crlf() { sed 's/$/\r/'; }

# Maximum resident set size in KiB of one run of a command (run in the current directory).
peak_kib() {
  /usr/bin/time -v "$@" 2>&1 >/dev/null </dev/null | sed -nE 's/.*Maximum resident set size \(kbytes\): ([0-9]+)/\1/p' | tail -n 1
}

# --- 1. Linux, natively -----------------------------------------------------------------------
echo "== Linux: preparing a same-day start"
lin="$work/linux"
mkdir -p "$lin" "$work/bin"
cp dist/linux/AutoQuillmer "$out/linux/empty" templates/Dozeboardt1.xls templates/Dozeboardt3.xls "$lin/"
# A stand-in for the desktop's opener: the one start that opens the workbook records it here.
cat >"$work/bin/xdg-open" <<EOF
#!/bin/sh
echo "\$1" >>"$work/opened.log"
exit 0
EOF
chmod +x "$work/bin/xdg-open"
printf '[Launch]\nType1=1\nWindowSize=5\nYesNo=0\n' | crlf >"$lin/AutoQuillmer.ini"
(cd "$lin" && env -u DISPLAY -u WAYLAND_DISPLAY PATH="$work/bin:$PATH" ./AutoQuillmer </dev/null)
if [ "$(wc -l <"$work/opened.log")" -ne 1 ] || ! grep -q '^Last_XLS=' "$lin/AutoQuillmer.ini"; then
  echo "the first start did not open the workbook and record it" >&2
  exit 1
fi
echo "   settings: $(grep -E '^(Last_XLS|TimeToNext)=' "$lin/AutoQuillmer.ini" | tr -d '\r' | tr '\n' ' ')"

echo "== Linux: $runs runs each"
(cd "$lin" && env -u DISPLAY -u WAYLAND_DISPLAY PATH="$work/bin:$PATH" \
  hyperfine -N --style basic --warmup 20 --runs "$runs" --export-json "$work/linux.json" \
  -n launcher ./AutoQuillmer -n empty ./empty >/dev/null)
if [ "$(wc -l <"$work/opened.log")" -ne 1 ]; then
  echo "a timed start opened the workbook: not a same-day start" >&2
  exit 1
fi
lin_peak_launcher="$(cd "$lin" && peak_kib env -u DISPLAY -u WAYLAND_DISPLAY ./AutoQuillmer)"
lin_peak_empty="$(cd "$lin" && peak_kib ./empty)"

# --- 2. Windows x86_64 under Wine ---------------------------------------------------------------
echo "== Wine: preparing a same-day start"
win="$work/win64"
mkdir -p "$win"
cp dist/win64/AutoQuillmer.exe "$out/win64/empty.exe" templates/Dozeboardt1.xls templates/Dozeboardt3.xls "$win/"
export AQ_WINEPREFIX="$work/wineprefix" LC_ALL=ja_JP.UTF-8
# A Japanese system writes date-times as yyyy/MM/dd H:mm:ss.
{
  printf '[Execute]\nLast_XLS=%s\n\n' "$(date '+%Y/%m/%d %-H:%M:%S')"
  printf '[Date]\nTimeToNext=0:00:00\n\n'
  printf '[Launch]\nType1=1\nWindowSize=5\nYesNo=1\n\n'
} | crlf >"$win/AutoQuillmer.ini"
(cd "$win" && "$root/scripts/test/wine-run.sh" ./empty.exe) # makes the prefix
wineserver_started=1
# Keeps the prefix's server up between the runs (it may still be up from the start before).
WINEPREFIX="$AQ_WINEPREFIX" wineserver -p 2>/dev/null || true
(cd "$win" && timeout 120 "$root/scripts/test/wine-run.sh" ./AutoQuillmer.exe)
if ls "$win"/Dozeboard_*.xls >/dev/null 2>&1 || ! grep -q '^LastQuillmer=' "$win/AutoQuillmer.ini"; then
  echo "the Windows program did not take the start as a same-day start" >&2
  exit 1
fi
echo "   settings: $(grep -E '^(Last_XLS|LastQuillmer)=' "$win/AutoQuillmer.ini" | tr -d '\r' | tr '\n' ' ')"

echo "== Wine: $wine_runs runs each"
(cd "$win" && hyperfine -N --style basic --warmup 5 --runs "$wine_runs" --export-json "$work/wine.json" \
  -n launcher "$root/scripts/test/wine-run.sh ./AutoQuillmer.exe" \
  -n empty "$root/scripts/test/wine-run.sh ./empty.exe" >/dev/null)
if ls "$win"/Dozeboard_*.xls >/dev/null 2>&1; then
  echo "a timed start prepared a workbook: not a same-day start" >&2
  exit 1
fi
win_peak_launcher="$(cd "$win" && peak_kib "$root/scripts/test/wine-run.sh" ./AutoQuillmer.exe)"
win_peak_empty="$(cd "$win" && peak_kib "$root/scripts/test/wine-run.sh" ./empty.exe)"

# --- 3. The release program under the emulated 32-bit Wine --------------------------------------
echo "== emulated 32-bit Wine: preparing a same-day start"
w32="$work/win32"
mkdir -p "$w32"
cp dist/win32/AutoQuillmer.exe "$out/win32/empty.exe" build/win32-tests/e2e/aqprobe.exe "$w32/"
cp "$win/AutoQuillmer.ini" "$w32/"
export AQ_WINEPREFIX="$work/wine32prefix"
wine32_root="$("$root/scripts/test/wine32-run.sh" --setup)"
(cd "$w32" && "$root/scripts/test/wine32-run.sh" ./empty.exe) # makes the prefix
wine32_server="$wine32_root/usr/lib/wine/wineserver"
# One program waits in the prefix for the whole run, so its Wine processes stay up.
(cd "$w32" && exec "$root/scripts/test/wine32-run.sh" ./aqprobe.exe wait </dev/null >/dev/null 2>&1) &
wine32_keeper=$!
(cd "$w32" && timeout 300 "$root/scripts/test/wine32-run.sh" ./AutoQuillmer.exe)
if ls "$w32"/Dozeboard_*.xls >/dev/null 2>&1 || ! grep -q '^LastQuillmer=' "$w32/AutoQuillmer.ini"; then
  echo "the 32-bit program did not take the start as a same-day start" >&2
  exit 1
fi
echo "== emulated 32-bit Wine: $wine32_runs runs each"
(cd "$w32" && hyperfine -N --style basic --warmup 2 --runs "$wine32_runs" --export-json "$work/wine32.json" \
  -n launcher "$root/scripts/test/wine32-run.sh ./AutoQuillmer.exe" \
  -n empty "$root/scripts/test/wine32-run.sh ./empty.exe" >/dev/null)
if ls "$w32"/Dozeboard_*.xls >/dev/null 2>&1; then
  echo "a timed start prepared a workbook: not a same-day start" >&2
  exit 1
fi

# --- figures ------------------------------------------------------------------------------------
python3 - "$work" "$runs" "$wine_runs" \
  "$lin_peak_launcher" "$lin_peak_empty" "$win_peak_launcher" "$win_peak_empty" \
  dist/linux/AutoQuillmer "$out/linux/empty" dist/win64/AutoQuillmer.exe "$out/win64/empty.exe" \
  dist/win32/AutoQuillmer.exe "$out/win32/empty.exe" <<'EOF'
import json, os, sys
work, runs, wine_runs = sys.argv[1], sys.argv[2], sys.argv[3]
wine32_runs = os.environ.get("WINE32_RUNS", "10")
peaks = [int(x) if x else 0 for x in sys.argv[4:8]]
files = sys.argv[8:]

def medians(name):
    data = json.load(open(os.path.join(work, name)))
    return {r["command"]: r for r in data["results"]}

print()
print("Start-up, same-day start (median wall time of the runs, min..max in brackets;")
print("CPU: mean user+system time; load average at the end: " + open("/proc/loadavg").read().split()[0] + "):")
for title, name, count, (pl, pe) in (("Linux, native", "linux.json", runs, peaks[0:2]),
                                     ("win64 under Wine", "wine.json", wine_runs, peaks[2:4]),
                                     ("win32 under the emulated Wine", "wine32.json", wine32_runs,
                                      (0, 0))):
    r = medians(name)
    l, e = r["launcher"], r["empty"]
    ratio = l["median"] / e["median"]
    print(f"  {title} ({count} runs each)")
    cpu = lambda x: (x["user"] + x["system"]) * 1000
    for label, x, peak in (("launcher", l, pl), ("empty", e, pe)):
        print(f"    {label:9s} {x['median'] * 1000:9.3f} ms  [{x['min'] * 1000:.3f}..{x['max'] * 1000:.3f}]"
              f"  CPU {cpu(x):.3f} ms" + (f"  peak RSS {peak} KiB" if peak else ""))
    verdict = "within" if ratio <= 1.10 else "over"
    print(f"    ratio     {ratio:9.3f}     (launcher's own work {(l['median'] - e['median']) * 1000:+.3f} ms;"
          f" {verdict} the 10% aim; CPU ratio {cpu(l) / cpu(e):.3f})")
print()
print("Sizes:")
for path in files:
    size = os.path.getsize(path)
    note = ""
    if path.endswith("dist/win32/AutoQuillmer.exe"):
        note = "  (target: at most 262144 bytes: " + ("met" if size <= 262144 else "NOT met") + ")"
    print(f"  {path:45s} {size:9d} bytes {size / 1024:8.1f} KiB{note}")
EOF
