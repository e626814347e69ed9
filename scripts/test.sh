#!/usr/bin/env bash
# Builds and runs every test: the format check; the unit tests on Linux under
# AddressSanitizer and UndefinedBehaviorSanitizer (the fault sweep among
# them); for 32-bit and for 64-bit Windows the programs' image checks, the
# Windows unit-test program and the programs' end-to-end runs under Wine (the
# 32-bit ones in a QEMU guest where this machine cannot run them); the
# statically linked Linux hdsn-disks booted with Debian's kernel in QEMU; the
# Debian package (cpack -G DEB) with lintian, mandoc and systemd-analyze, and
# its program and fact read by node_exporter, promtool and Ansible; and a
# short run of every fuzz target. The last line counts the results that CTest
# wrote for all six test runs: "N passed, N failed, N skipped".
# Exits non-zero when anything failed.
#
# HDSN_FUZZ_SECONDS: seconds each fuzz target runs (20).
# HDSN_SKIP_FORMAT=1: no format check, for a tree whose files are being edited.
# HDSN_WINE32_GUEST=1: the 32-bit Wine tests in the QEMU guest even where this
# machine could run them itself.
set -uo pipefail
cd "$(dirname "$0")/.."
# QEMU, busybox and the kernel tools for the Linux proof and the 32-bit guest
# (mkfs.ext4 makes its images), the schema validator; CPack's helpers for the
# Debian package (dpkg-shlibdeps, file), the checkers of the package and the
# engines that read its output.
scripts/install-deps.sh qemu-system-x86 busybox-static kmod cpio e2fsprogs python3-jsonschema \
  dpkg-dev file lintian mandoc systemd prometheus-node-exporter prometheus ansible-core ||
  exit 1
export WINEDEBUG=-all
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$(nproc)}
status=0

if [[ ${HDSN_SKIP_FORMAT:-} == 1 ]]; then
  echo "== format: not checked (HDSN_SKIP_FORMAT=1)"
else
  echo "== format"
  scripts/format.sh --check || status=1
fi

presets=(linux i686 x86_64 linux-static deb fuzz)
for preset in "${presets[@]}"; do
  echo "== $preset"
  rm -f "build/$preset/junit.xml"
  if [[ $preset == fuzz ]]; then
    scripts/fuzz.sh "${HDSN_FUZZ_SECONDS:-20}" || status=1
  else
    cmake --workflow --preset "$preset" || status=1
  fi
done

# Tallies the test cases of CTest's JUnit file: a test skipped on purpose
# (SKIP_RETURN_CODE) or disabled is skipped; one that could not run (its
# program missing, say), which CTest also writes as "notrun", failed. Prints
# the skip reasons, then "passed failed skipped".
tally() {
  awk -v preset="$2" '
    function flush() {
      if (status == "run") passed++
      else if (status == "disabled" || (status == "notrun" && message ~ /^SKIP_/)) {
        skipped++
        print preset ": " name " " (reason != "" ? reason : "skipped")
      } else if (status != "") failed++
      status = name = message = reason = ""
    }
    /<testcase / {
      flush()
      name = $0; sub(/.*<testcase name="/, "", name); sub(/".*/, "", name)
      status = $0; sub(/.* status="/, "", status); sub(/".*/, "", status)
    }
    /<skipped message="/ { message = $0; sub(/.*<skipped message="/, "", message) }
    /skipped: / && reason == "" { reason = $0; sub(/.*skipped: /, "skipped: ", reason) }
    END { flush(); print passed + 0, failed + 0, skipped + 0 }
  ' "$1"
}

passed=0 failed=0 skipped=0
for preset in "${presets[@]}"; do
  junit=build/$preset/junit.xml
  if [[ ! -f $junit ]]; then
    echo "$preset: no test results (its configuration or build failed)"
    status=1
    continue
  fi
  counts=$(tally "$junit" "$preset")
  sed '$d' <<<"$counts"
  read -r p f s <<<"$(tail -n 1 <<<"$counts")"
  passed=$((passed + p)) failed=$((failed + f)) skipped=$((skipped + s))
done
((failed == 0)) || status=1
echo "$passed passed, $failed failed, $skipped skipped"
exit $status
