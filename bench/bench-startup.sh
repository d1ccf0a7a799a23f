#!/usr/bin/env bash
# Start-up figures of the launcher: the time from start to exit of a same-day start (the
# settings file holds a "Last_XLS" of today, so nothing is opened and no box appears) against
# an empty program built with the same compiler, flags and link options
# (bench/startup/empty.cpp, built by bench/startup/build_empty.py):
#   1. the Linux program (dist/linux/AutoQuillmer), natively;
#   2. the Windows x86_64 program (dist/win64/AutoQuillmer.exe) under Wine, each program
#      started the same way through tests/harness/wine-run.sh in a private prefix, with the
#      programs on another processor than Wine's server and on the server's own, the two
#      programs in turns;
#   3. the release program (dist/win32/AutoQuillmer.exe) under the emulated 32-bit Wine
#      (tests/harness/wine32-run.sh), with one waiting program kept running in its prefix as the
#      end-to-end tests do, the two programs in turns.
# Prints the medians and their ratio (aim: at most 1.15x), the ratios of all three side by
# side, the programs' sizes (including the release program
# dist/win32/AutoQuillmer.exe) and their peak memory ("Maximum resident set size").
#   bench/bench-startup.sh                 default run counts
#   RUNS=300 WINE_RUNS=60 WINE32_RUNS=20 bench/bench-startup.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
. tests/harness/common.sh
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

work="$(mktemp -d "${TMPDIR:-/tmp}/aq-bench-startup.XXXXXX")"
trap 'rm -rf "$work"' EXIT

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

# --- Wine: each part runs in a session of the test harness (tests/harness/wine.py) -----------------
# A private prefix (made on first use) whose server stays up between the runs, for the emulated
# Wine with one waiting program as the end-to-end tests have it; all ended when the part ends.
# Every call of a Windows program under Wine is a round trip to the server, and one that must
# wake the other processor costs several times one that does not: unbound, the runs of either
# program fall into two crowds of times as the system happens to place them. So the 64-bit
# program is timed twice, its server on the second processor: once with the programs on the
# first (each call crosses, as in most unbound runs) and once on the server's own (the quick
# crowd, in which the launcher's own calls weigh the most). The emulated runs spend their time
# in the emulator and are left unbound.
in_session() { python3 -m tests.harness.wine --plain "$@"; }
# (A machine of one processor times the same way twice.)
programs_cpu=0
server_cpu=$(($(nproc) > 1 ? 1 : 0))

# In the program's folder: one start through RUNNER that must be a same-day start.
same_day_start() {
  local run="$1" seconds="$2" what="$3"
  timeout "$seconds" "$run" ./AutoQuillmer.exe
  if ls Dozeboard_*.xls >/dev/null 2>&1 || ! grep -q '^LastQuillmer=' AutoQuillmer.ini; then
    echo "the $what did not take the start as a same-day start" >&2
    exit 1
  fi
  echo "   settings: $(grep -E '^(Last_XLS|LastQuillmer)=' AutoQuillmer.ini | tr -d '\r' | tr '\n' ' ')"
}

# In the program's folder: the empty program and the launcher timed, each started through RUNNER,
# in turns (empty, launcher, launcher, empty, ...), so that a change of pace of the machine
# while they run (the emulator's especially) weighs on both alike. Writes NAME.json in the
# form of hyperfine's export: per program the median, the extremes and the mean CPU time of
# the runs (with the processes they started).
timed_starts() {
  local name="$1" runs="$2" warmup="$3" run="$4"
  python3 - "$work/$name.json" "$runs" "$warmup" "$run" <<'PY'
import json, os, resource, shlex, statistics, subprocess, sys, time
out, runs, warmup, run = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), shlex.split(sys.argv[4])
names = {"empty": "./empty.exe", "launcher": "./AutoQuillmer.exe"}
times = {n: [] for n in names}
cpu = {n: [0.0, 0.0] for n in names}
def start(n):
    subprocess.run(run + [names[n]], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)
for i in range(warmup):
    for n in names:
        start(n)
for i in range(runs):
    for n in (("empty", "launcher") if i % 2 == 0 else ("launcher", "empty")):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        t = time.perf_counter()
        start(n)
        times[n].append(time.perf_counter() - t)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu[n][0] += after.ru_utime - before.ru_utime
        cpu[n][1] += after.ru_stime - before.ru_stime
json.dump({"results": [{"command": n, "median": statistics.median(times[n]), "min": min(times[n]),
                        "max": max(times[n]), "user": cpu[n][0] / runs, "system": cpu[n][1] / runs}
                       for n in names]}, open(out, "w"))
PY
  if ls Dozeboard_*.xls >/dev/null 2>&1; then
    echo "a timed start prepared a workbook: not a same-day start" >&2
    exit 1
  fi
}

wine_part() {
  set -euo pipefail
  local run="$root/tests/harness/wine-run.sh"
  cd "$work/win64"
  same_day_start "$run" 120 "Windows program"
  echo "== Wine: $wine_runs runs each, the programs on the other processor than the server's"
  timed_starts wine "$wine_runs" 5 "taskset -c $programs_cpu $run"
  echo "== Wine: $wine_runs runs each, the programs on the server's processor"
  timed_starts wine-one "$wine_runs" 5 "taskset -c $server_cpu $run"
  peak_kib "$run" ./AutoQuillmer.exe >"$work/win-peak-launcher"
  peak_kib "$run" ./empty.exe >"$work/win-peak-empty"
}

wine32_part() {
  set -euo pipefail
  cd "$work/win32"
  same_day_start "$root/tests/harness/wine32-run.sh" 300 "32-bit program"
  echo "== emulated 32-bit Wine: $wine32_runs runs each"
  timed_starts wine32 "$wine32_runs" 2 "$root/tests/harness/wine32-run.sh"
}
export -f same_day_start timed_starts peak_kib wine_part wine32_part
export root work wine_runs wine32_runs programs_cpu server_cpu

# --- 2. Windows x86_64 under Wine ---------------------------------------------------------------
echo "== Wine: preparing a same-day start"
win="$work/win64"
mkdir -p "$win"
cp dist/win64/AutoQuillmer.exe "$out/win64/empty.exe" templates/Dozeboardt1.xls templates/Dozeboardt3.xls "$win/"
export LC_ALL=ja_JP.UTF-8
# A Japanese system writes date-times as yyyy/MM/dd H:mm:ss.
{
  printf '[Execute]\nLast_XLS=%s\n\n' "$(date '+%Y/%m/%d %-H:%M:%S')"
  printf '[Date]\nTimeToNext=0:00:00\n\n'
  printf '[Launch]\nType1=1\nWindowSize=5\nYesNo=1\n\n'
} | crlf >"$win/AutoQuillmer.ini"
taskset -c "$server_cpu" python3 -m tests.harness.wine --plain --prefix "$work/wineprefix" \
  bash -c wine_part
win_peak_launcher="$(cat "$work/win-peak-launcher")"
win_peak_empty="$(cat "$work/win-peak-empty")"

# --- 3. The release program under the emulated 32-bit Wine --------------------------------------
echo "== emulated 32-bit Wine: preparing a same-day start"
w32="$work/win32"
mkdir -p "$w32"
cp dist/win32/AutoQuillmer.exe "$out/win32/empty.exe" build/win32-tests/e2e/aqprobe.exe "$w32/"
cp "$win/AutoQuillmer.ini" "$w32/"
in_session --wine32 --prefix "$work/wine32prefix" --keeper "$w32/aqprobe.exe wait" bash -c wine32_part

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

AIM = 1.15
ratios = {}
print()
print("Start-up, same-day start (median wall time of the runs, min..max in brackets;")
print("CPU: mean user+system time; load average at the end: " + open("/proc/loadavg").read().split()[0] + "):")
for title, name, count, (pl, pe) in (("Linux, native", "linux.json", runs, peaks[0:2]),
                                     ("win64 under Wine", "wine.json", wine_runs, peaks[2:4]),
                                     ("win64 under Wine, on the server's processor",
                                      "wine-one.json", wine_runs, (0, 0)),
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
    ratios[title] = ratio
    verdict = "within" if ratio <= AIM else "over"
    print(f"    ratio     {ratio:9.3f}     (launcher's own work {(l['median'] - e['median']) * 1000:+.3f} ms;"
          f" {verdict} the {AIM}x aim; CPU ratio {cpu(l) / cpu(e):.3f})")
print()
print("Same-day start / empty program, side by side (aim: at most " + f"{AIM}x):")
print("  " + "   ".join(f"{title}: {ratio:.3f}x" for title, ratio in ratios.items()))
print()
print("Sizes:")
for path in files:
    size = os.path.getsize(path)
    note = ""
    if path.endswith("dist/win32/AutoQuillmer.exe"):
        note = "  (target: at most 262144 bytes: " + ("met" if size <= 262144 else "NOT met") + ")"
    print(f"  {path:45s} {size:9d} bytes {size / 1024:8.1f} KiB{note}")
EOF
