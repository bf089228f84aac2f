#!/usr/bin/env bash
# The fuzzing step of CI: builds the fuzz preset, runs every target for a fixed number of
# inputs from its seed corpus (fixed seed, so the run is repeatable), then over the saved
# reproducers of earlier findings in fuzz/regressions/<target>/. Any crash, leak, sanitizer
# report, timeout or broken property fails the script.
#
# Usage: fuzz/run-ci.sh [target ...]   (default: all targets)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# target  runs  max_len (bytes)
targets=(
  "y4m_reader        100000  10000"
  "pnm_reader        100000   2048"
  "png_reader        100000   4096"
  "script_arguments  200000    512"
  "filter             20000   1024"
  "engine             30000   4096"
)
wanted=("$@")

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

bin=$root/build-fuzz/bin
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
common=(-rss_limit_mb=2048 -timeout=30 -print_final_stats=1)

# Without address-space randomisation (which leaks into the comparison operands libFuzzer
# learns from, and so into its mutations) and without corpus reloads (which are timed), a
# run with a fixed seed is repeatable.
norandom=()
if setarch "$(uname -m)" -R true 2>/dev/null; then norandom=(setarch "$(uname -m)" -R); fi

failed=0
summary=()
report_failure() {  # log file
  echo "---- last lines of $1 ----"
  tail -n 60 "$1"
  echo "----"
}

for entry in "${targets[@]}"; do
  read -r name runs max_len <<<"$entry"
  if ((${#wanted[@]})) && [[ " ${wanted[*]} " != *" $name "* ]]; then continue; fi
  exe=$bin/${name}_fuzz
  work=$scratch/$name
  mkdir -p "$work/corpus" "$work/artifacts"
  # The fuzzer adds what it finds to its corpus directory: work on a copy.
  cp -R fuzz/corpus/"$name"/. "$work/corpus/"

  log=$work/fuzz.log
  start=$SECONDS
  status=ok
  if ! "${norandom[@]}" "$exe" "${common[@]}" -seed=1 -reload=0 -runs="$runs" -max_len="$max_len" \
      -artifact_prefix="$work/artifacts/" "$work/corpus" >"$log" 2>&1; then
    status=FAILED
    report_failure "$log"
  fi
  stats=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 |
    grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+' || true)

  regressions=0
  if [[ -d fuzz/regressions/$name ]]; then
    mapfile -t inputs < <(find fuzz/regressions/"$name" -type f | sort)
    regressions=${#inputs[@]}
    if ((regressions)); then
      rlog=$work/regressions.log
      if ! "$exe" "${common[@]}" -artifact_prefix="$work/artifacts/regression-" "${inputs[@]}" \
          >"$rlog" 2>&1; then
        status=FAILED
        report_failure "$rlog"
      fi
    fi
  fi

  [[ $status == ok ]] || failed=1
  line=$(printf '%-17s %-6s %7s runs  %3ss  %s  regressions: %s' "$name" "$status" "$runs" \
    "$((SECONDS - start))" "${stats:-no stats}" "$regressions")
  summary+=("$line")
  echo "$line"
done

echo
echo "fuzzing summary:"
printf '  %s\n' "${summary[@]}"
exit "$failed"
