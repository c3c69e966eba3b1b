#!/usr/bin/env bash
# Builds Vanteo, installs it as a user plug-in of OBS Studio and starts OBS.
#
#   scripts/run.sh          install the plug-in and start OBS Studio
#   scripts/run.sh --demo   start the developer host instead (no OBS, no
#                           internet) and print the page addresses
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANTEO_BUILD_DIR:-$root/build}

demo=0
case "${1:-}" in
--demo) demo=1 ;;
"") ;;
*)
	echo "usage: scripts/run.sh [--demo]" >&2
	exit 2
	;;
esac

"$root/scripts/deps.sh"
"$root/scripts/build.sh"
if [ "$demo" -eq 1 ]; then
	(cd "$root/tests" && npm ci --no-audit --no-fund --loglevel=error)
fi

if [ "$demo" -eq 0 ]; then
	# The destination is this user's plug-in folder, computed now rather
	# than when the build folder was configured (perhaps under another HOME).
	plugin="$HOME/.config/obs-studio/plugins/vanteo"
	cmake --install "$build" --prefix "$plugin" >/dev/null
	if [ ! -s "$plugin/bin/64bit/vanteo.so" ]; then
		echo "Vanteo was not installed: $plugin/bin/64bit/vanteo.so is missing" >&2
		exit 1
	fi
	echo "Vanteo installed in $plugin"
	if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
		echo "No display found: start OBS Studio from your desktop session." >&2
		exit 0
	fi
	exec obs
fi

exec "$root/scripts/demo.sh"
