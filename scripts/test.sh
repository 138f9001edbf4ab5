#!/usr/bin/env bash
# Builds every preset and runs every test: native (with sanitizers), and each Windows build under
# Wine where this host can run it; both Windows builds include the benchmark's programs, built but
# not run. Where the kernel executes no 32-bit code, the 32-bit program is still built and checked
# from its file (headers, imports, version block, icon, manifest) by the 64-bit build's identity
# tests; QUILLMARK_WIN64_ONLY=1 takes that path on any host.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
# shellcheck source=scripts/host.sh
. scripts/host.sh
jobs=$(nproc)

suites=(native windows64)
if host_runs_32bit_code; then suites=(native windows windows64); fi

# Both Windows builds include the benchmark's programs, so that a change which breaks them fails
# here with warnings as errors, although the tests don't run them.
cmake --preset native >/dev/null
cmake --preset windows -DQUILLMARK_BENCH=ON >/dev/null
cmake --preset windows64 -DQUILLMARK_BENCH=ON -DQUILLMARK_CHECK_X86_BUILD="$root/build/windows" \
  >/dev/null
for preset in native windows windows64; do
  cmake --build --preset "$preset" -j "$jobs"
done

status=0
for preset in "${suites[@]}"; do
  echo "== $preset tests"
  ctest --preset "$preset" || status=1
done
echo "== release package"
bash scripts/package.sh || status=1
if ! host_runs_32bit_code; then
  echo "== The 32-bit program was built and checked from its file, not run: $(host_32bit_reason)."
fi
exit $status
