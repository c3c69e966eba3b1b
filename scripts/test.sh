#!/usr/bin/env bash
# Installs what the tests need, checks the include rule between the folders
# of src/ and the C++ formatting, builds, and runs every test: the unit
# suites, the Node suites and the OBS Studio tests (through CTest), the
# server, hub and abuse suites again under ThreadSanitizer, then a short run
# of each fuzz target when clang is present.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANTEO_BUILD_DIR:-$root/build}

"$root/scripts/deps.sh"
if [ -f "$root/tests/package-lock.json" ]; then
	(cd "$root/tests" && npm ci --no-audit --no-fund --loglevel=error)
fi
"$root/scripts/check_includes.sh"
# Every C++ file as .clang-format writes it.
(cd "$root" && git ls-files -z '*.cpp' '*.h' '*.hpp' '*.cc' '*.c' | xargs -0 clang-format --dry-run -Werror)
"$root/scripts/build.sh"

export VANTEO_TEST_ARTIFACTS=${VANTEO_TEST_ARTIFACTS:-$root/tests/artifacts}
mkdir -p "$VANTEO_TEST_ARTIFACTS"
(cd "$build" && ctest --output-on-failure --timeout 900)

# Requests, connection workers and shutdown race each other by design; a
# data race there is ThreadSanitizer's kind of fault. Any report fails the
# run (the process then exits with 66).
tsan=${VANTEO_TSAN_BUILD_DIR:-$root/build-tsan}
cmake -S "$root" -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTEO_SANITIZE=thread >/dev/null
cmake --build "$tsan" --parallel "$(nproc)" --target unit_server unit_hub unit_abuse
(cd "$tsan" && TSAN_OPTIONS="second_deadlock_stack=1 exitcode=66" \
	ctest -R '^unit_(server|hub|abuse)$' --output-on-failure --timeout 900)

if command -v clang++ >/dev/null 2>&1 && [ -x "$root/tests/fuzz/run.sh" ]; then
	"$root/tests/fuzz/run.sh" "$build-fuzz" "${VANTEO_FUZZ_SECONDS:-20}"
fi
