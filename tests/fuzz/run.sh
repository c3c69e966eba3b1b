#!/bin/sh
# Builds every libFuzzer target (tests/fuzz/*_fuzz.cpp) with clang in the given
# build folder and runs each for the given number of seconds on a copy of its
# seed corpus (corpus/<name>/, if any). Exits non-zero when a build fails or a
# target finds a crash, leak or sanitizer report; the input that triggered it
# is kept in <build>/fuzz-artifacts/. Without clang++ there is nothing to run.
#
#   tests/fuzz/run.sh <build folder> [seconds per target, default 30]
set -eu

build=${1:?usage: run.sh <build folder> [seconds]}
seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

if ! command -v clang++ >/dev/null 2>&1 || ! command -v clang >/dev/null 2>&1; then
	echo "fuzz: clang not found, skipping"
	exit 0
fi

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	-DVANTEO_BUILD_FUZZERS=ON -DVANTEO_BUILD_TESTS=OFF >/dev/null

targets=
for source in "$here"/*_fuzz.cpp; do
	targets="$targets $(basename "$source" _fuzz.cpp)"
done

# shellcheck disable=SC2086
cmake --build "$build" --target $(printf 'fuzz_%s ' $targets)

mkdir -p "$build/fuzz-artifacts"
status=0
for name in $targets; do
	# New inputs go to the build folder; the committed seeds stay untouched.
	work="$build/fuzz-corpus/$name"
	mkdir -p "$work"
	seeds=$(ls -d "$here/corpus/$name" 2>/dev/null || true)
	echo "fuzz: $name for ${seconds}s"
	# shellcheck disable=SC2086
	if ! "$build/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -max_len=8192 \
		-artifact_prefix="$build/fuzz-artifacts/$name-" -print_final_stats=1 \
		"$work" $seeds >"$build/fuzz-$name.log" 2>&1; then
		echo "fuzz: $name FAILED (log: $build/fuzz-$name.log)" >&2
		tail -n 40 "$build/fuzz-$name.log" >&2
		status=1
	else
		grep -E "^(stat::number_of_executed_units|Done )" "$build/fuzz-$name.log" || true
		echo "fuzz: $name ok"
	fi
done
exit $status
