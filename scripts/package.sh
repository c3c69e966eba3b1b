#!/usr/bin/env bash
# Builds a Release of Vanteo and writes the archive that a release is made
# of, in dist/:
#
#   vanteo-<version>-linux-x86_64.tar.gz
#     vanteo/bin/64bit/vanteo.so, vanteo-webview.so   (stripped)
#     vanteo/data/web/…, vanteo/data/locale/…
#     manifest.json   (what the updater reads: version, each file of the
#                      vanteo/ folder with its SHA-256, release notes)
#
#   scripts/package.sh [--build-dir DIR] [--out DIR]
#
# --build-dir packages an existing build instead of configuring a Release in
# build-release/ (the tests use their own build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=
out=$root/dist

while [ $# -gt 0 ]; do
	case "$1" in
	--build-dir) build=$(cd "${2:?}" && pwd); shift 2 ;;
	--out) out=${2:?}; shift 2 ;;
	*) echo "usage: scripts/package.sh [--build-dir DIR] [--out DIR]" >&2; exit 2 ;;
	esac
done

if [ -z "$build" ]; then
	build=$root/build-release
	cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTEO_BUILD_TESTS=OFF >/dev/null
	cmake --build "$build" --parallel "$(nproc)"
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "package: no project version in $build" >&2; exit 1; }

stage=$(mktemp -d /tmp/vanteo-package.XXXXXX)
trap 'rm -rf "$stage"' EXIT
cmake --install "$build" --prefix "$stage/vanteo" >/dev/null
[ -f "$stage/vanteo/bin/64bit/vanteo.so" ] || { echo "package: the install holds no vanteo.so" >&2; exit 1; }
[ -f "$stage/vanteo/bin/64bit/vanteo-webview.so" ] ||
	echo "package: warning: no vanteo-webview.so (built without Qt WebEngine); the docks need obs-browser" >&2
cmake -DPLUGIN_DIR="$stage/vanteo" -DVERSION="$version" -DNOTES="$root/release-notes.json" \
	-DOUTPUT="$stage/manifest.json" -P "$root/cmake/manifest.cmake" >/dev/null

mkdir -p "$out"
archive="$out/vanteo-$version-linux-x86_64.tar.gz"
tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner -czf "$archive" vanteo manifest.json
echo "$archive"
