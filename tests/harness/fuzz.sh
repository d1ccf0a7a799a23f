#!/usr/bin/env bash
# Builds every libFuzzer target fuzz/*_fuzz.cpp with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) against the launcher's sources and the POSIX platform layer,
# then runs each one.
#   tests/harness/fuzz.sh                 a short smoke run of every target (FUZZ_SECONDS, default 15)
#   FUZZ_SECONDS=3600 tests/harness/fuzz.sh ini_fuzz     a long campaign of one target
#   tests/harness/fuzz.sh -k PATTERN      the targets whose name holds PATTERN
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
out="$root/build/fuzz"
mkdir -p "$out"
seconds="${FUZZ_SECONDS:-15}"
pattern=""
if [ "${1:-}" = -k ]; then
  pattern="${2:-}"
  shift 2
fi
mapfile -t sources < <(find "$root/src" -name '*.cpp' ! -name '*Win.cpp' ! -name 'AutoQuillmer.cpp' | sort)
# The version header is generated when the Linux build is configured.
(cd "$root" && cmake --preset linux >/dev/null)
flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
  -I"$root/src" -I"$root/tests" -I"$root/build/linux/generated")
status=0
for target in "$root"/fuzz/*_fuzz.cpp; do
  name="$(basename "$target" .cpp)"
  if [ "$#" -gt 0 ] && [[ ! " $* " == *" $name "* ]]; then continue; fi
  [[ "$name" == *"$pattern"* ]] || continue
  clang++ "${flags[@]}" "$target" "${sources[@]}" -o "$out/$name"
  corpus="$out/corpus-$name"
  mkdir -p "$corpus"
  seeds="$root/fuzz/corpus/$name"
  echo "== $name: $seconds s"
  if ! "$out/$name" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 \
      "$corpus" ${seeds:+$( [ -d "$seeds" ] && echo "$seeds")} 2>"$out/$name.log"; then
    tail -n 40 "$out/$name.log"; status=1
  fi
  grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "$out/$name.log" | tail -n 2 || true
done
exit $status
