#!/usr/bin/env bash
# Installs what the tests need, builds, and runs every test: the unit
# suites, the Node suites and the OBS Studio smoke test (through CTest), then
# a short run of each fuzz target when clang is present.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANTEO_BUILD_DIR:-$root/build}

"$root/scripts/deps.sh"
if [ -f "$root/tests/package-lock.json" ]; then
	(cd "$root/tests" && npm ci --no-audit --no-fund --loglevel=error)
fi
"$root/scripts/build.sh"

export VANTEO_TEST_ARTIFACTS=${VANTEO_TEST_ARTIFACTS:-$root/tests/artifacts}
mkdir -p "$VANTEO_TEST_ARTIFACTS"
(cd "$build" && ctest --output-on-failure --timeout 900)

if command -v clang++ >/dev/null 2>&1 && [ -x "$root/tests/fuzz/run.sh" ]; then
	"$root/tests/fuzz/run.sh" "$build-fuzz" "${VANTEO_FUZZ_SECONDS:-20}"
fi
