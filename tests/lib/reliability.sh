# Helpers of the reliability suites (tests/suites/rel-*.sh). Source after common.sh.

# Prints PASS/FAIL/SKIP for each test of a GoogleTest output file, with the
# label in front, and passes its FIGURE and SKIP lines on. A run that did not
# reach its end line counts as one failure.
qw_rel_report() {
  local label=$1 out=$2
  sed -nE "s/^FIGURE (.*)/FIGURE $label: \1/p; s/^SKIP (.*)/SKIP $label: \1/p" "$out"
  sed -nE "s/^\[       OK \] ([^ ]+) \(.*/PASS $label \1/p; s/^\[  FAILED  \] ([^ ]+) \(.*/FAIL $label \1/p; \
           s/^\[  SKIPPED \] ([^ ]+) \(.*/SKIP $label \1/p" "$out"
  grep -q '^\[==========\] .* ran\.' "$out" || qw_say "FAIL $label did not finish (crash or sanitizer report); see $out"
  grep -m3 -E '^(==[0-9]+==ERROR|WARNING: ThreadSanitizer|SUMMARY: )' "$out" | sed "s/^/  /" || true
}

# Builds qw_reliability in a preset (configured when needed); FALSE on failure.
qw_rel_build() {
  local preset=$1
  { [ -f "$QW_TOP/build/$preset/CMakeCache.txt" ] || cmake --preset "$preset"; } >"$QW_TOP/build/rel-$preset.log" 2>&1 &&
    cmake --build --preset "$preset" -j"$(nproc)" --target qw_reliability >>"$QW_TOP/build/rel-$preset.log" 2>&1
}

# Runs qw_reliability of a Linux preset from its folder: label, preset, then gtest arguments.
qw_rel_linux() {
  local label=$1 preset=$2; shift 2
  local dir="$QW_TOP/build/$preset/bin" out="$QW_TOP/build/reports/rel-$label.out"
  mkdir -p "$QW_TOP/build/reports"
  (cd "$dir" && TZ=UTC timeout 600 ./qw_reliability "$@" >"$out" 2>&1 </dev/null)
  qw_rel_report "$label" "$out"
}

# Runs qw_reliability.exe of win64 or win32 under Wine: label, arch, then gtest arguments.
qw_rel_wine() {
  local label=$1 arch=$2; shift 2
  local dir="$QW_TOP/build/$arch/bin" out="$QW_TOP/build/reports/rel-$label.out"
  mkdir -p "$QW_TOP/build/reports"
  if [ ! -f "$dir/qw_reliability.exe" ]; then qw_not_built "$arch" "$dir/qw_reliability.exe"; return; fi
  (cd "$dir" && TZ=UTC timeout 600 wine qw_reliability.exe "$@" >"$out" 2>&1 </dev/null)
  qw_rel_report "$label" "$out"
}
