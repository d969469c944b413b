#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the suites, the
# Debian package built, installed, used and removed again (as root), the same
# suites under AddressSanitizer + UndefinedBehaviorSanitizer, and each fuzz
# target for QLK_FUZZ_SECONDS (default 60). `--quick` runs the first stage only.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
quick=0
[ "${1:-}" = "--quick" ] && quick=1

"$root/scripts/setup.sh"

passed=0
failed=0
run_suites() {  # run_suites BUILD_DIR
  local log status=0
  log=$(mktemp)
  ctest --test-dir "$1" --output-on-failure -j "$(nproc)" --timeout 600 2>&1 | tee "$log" || status=$?
  local line total nfail
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
  rm -f "$log"
  if [ -z "$line" ]; then failed=$((failed + 1)); return 1; fi
  nfail=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
  passed=$((passed + total - nfail))
  failed=$((failed + nfail))
  return $status
}

overall=0
echo "== build and test"
"$root/scripts/build.sh" release
run_suites "$root/build" || overall=1

if [ $quick -eq 0 ]; then
  echo "== package: build, install, use and remove"
  status=0
  { deb=$("$root/scripts/package.sh") && "$root/tests/install/install_check.sh" "$deb"; } || status=$?
  if [ $status -eq 0 ]; then
    passed=$((passed + 1))
  elif [ $status -eq 3 ] && [ "${QLK_REQUIRE_PEERS:-}" != 1 ]; then
    echo "(the install check was skipped)"
  else
    failed=$((failed + 1)); overall=1
  fi

  echo "== build and test under AddressSanitizer + UndefinedBehaviorSanitizer"
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
  export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp}
  "$root/scripts/build.sh" asan
  run_suites "$root/build-asan" || overall=1

  echo "== fuzz"
  "$root/scripts/build.sh" fuzz
  seconds=${QLK_FUZZ_SECONDS:-60}
  for fuzzer in "$root"/build-fuzz/bin/qlk-fuzz-*; do
    [ -x "$fuzzer" ] || continue
    name=${fuzzer##*/qlk-fuzz-}
    corpus=$(mktemp -d)
    seeds=()
    [ -d "$root/tests/fuzz/corpus/$name" ] && seeds+=("$root/tests/fuzz/corpus/$name")
    echo "-- $name for ${seconds}s"
    if "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
         -artifact_prefix="$root/build-fuzz/" "$corpus" "${seeds[@]}" >"$root/build-fuzz/$name.log" 2>&1; then
      passed=$((passed + 1))
      grep -E '^(stat::number_of_executed_units|Done)' "$root/build-fuzz/$name.log" || true
    else
      failed=$((failed + 1)); overall=1
      tail -n 60 "$root/build-fuzz/$name.log"
    fi
    rm -rf "$corpus"
  done
fi

echo "tests: $passed passed, $failed failed"
exit $overall
