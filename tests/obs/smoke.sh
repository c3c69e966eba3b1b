#!/usr/bin/env bash
# Starts Debian's OBS Studio under Xvfb with the built plug-in installed in a
# throw-away HOME, checks that the docks register, that the local server
# serves the chat page and the event stream, that the "Vanteo" menu and the
# replay banner work (tests/obs/desktop.sh), and that OBS closes cleanly.
#
#   tests/obs/smoke.sh BUILD_DIR [ARTIFACT_DIR]
set -euo pipefail

build=$(cd "${1:?usage: smoke.sh BUILD_DIR [ARTIFACT_DIR]}" && pwd)
artifacts=${2:-${VANTEO_TEST_ARTIFACTS:-}}
src=$(cd "$(dirname "$0")/../.." && pwd)
home=$(mktemp -d /tmp/vanteo-obs-home.XXXXXX)
obs_pid=
runner=
cleanup() {
	# A failure before obs_pid was known still ends our OBS.
	if [ -z "$obs_pid" ] && [ -n "$runner" ]; then
		obs_pid=$(pgrep -x obs -P "$runner" || true)
	fi
	if [ -n "$obs_pid" ] && kill -0 "$obs_pid" 2>/dev/null; then
		kill -KILL "$obs_pid" 2>/dev/null || true
	fi
	rm -rf "$home"
}
trap cleanup EXIT

fail() {
	echo "obs smoke: FAIL: $*" >&2
	if [ -n "${log:-}" ] && [ -f "$log" ]; then
		echo "---- OBS log (vanteo lines and errors) ----" >&2
		grep -E 'vanteo|error|Failed' "$log" | tail -n 60 >&2 || true
	fi
	exit 1
}

# The user plug-in layout OBS Studio looks in.
plugin="$home/.config/obs-studio/plugins/vanteo"
mkdir -p "$plugin/bin/64bit" "$plugin/data"
cp "$build/vanteo.so" "$plugin/bin/64bit/vanteo.so"
cp -r "$src/web" "$plugin/data/web"
cp -r "$src/data/locale" "$plugin/data/locale"
mkdir -p "$home/.config/obs-studio"
printf '[General]\nFirstRun=false\nLastVersion=486539266\n' > "$home/.config/obs-studio/global.ini"
. "$src/tests/obs/desktop.sh"
desktop_prepare

# The plug-in opens the Setup page in the default browser when nothing is
# set up and OBS has no embedded browser; a stand-in records the address
# instead of starting a real browser.
mkdir -p "$home/bin"
printf '#!/bin/sh\necho "$1" >> "%s/opened.txt"\n' "$home" > "$home/bin/xdg-open"
chmod +x "$home/bin/xdg-open"

export HOME="$home" LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb PATH="$home/bin:$PATH"
unset WAYLAND_DISPLAY
xvfb-run -a -s "-screen 0 1600x900x24" obs --disable-shutdown-check --multi --disable-updater \
	>"$home/obs.stdout" 2>&1 &
runner=$!

logdir="$home/.config/obs-studio/logs"
log=
deadline=$((SECONDS + 90))
while [ $SECONDS -lt $deadline ]; do
	log=$(ls -1t "$logdir"/*.txt 2>/dev/null | head -n 1 || true)
	if [ -n "$log" ] && grep -q '\[vanteo\] dock registered' "$log"; then
		break
	fi
	kill -0 "$runner" 2>/dev/null || fail "OBS exited early: $(tail -n 20 "$home/obs.stdout")"
	sleep 0.5
done
[ -n "$log" ] && grep -q '\[vanteo\] dock registered' "$log" || fail "no '[vanteo] dock registered' in the OBS log"
# Our own obs (a child of xvfb-run): other OBS instances may run beside it.
obs_pid=$(pgrep -x obs -P "$runner" || true)
[ -n "$obs_pid" ] || fail "no obs process"

# The server binds the first free port from 18763; this OBS names it in its
# log (other instances may hold lower ports).
port=$(sed -n 's/.*\[vanteo\] embedded browser unavailable (port \([0-9]*\)).*/\1/p' "$log" | head -n 1)
if [ -n "$port" ] && ! curl -s -o /dev/null --max-time 2 "http://127.0.0.1:$port/"; then
	port=
fi
[ -n "$port" ] || fail "local server not reachable on 18763-18782"

page=$(curl -s --max-time 5 "http://127.0.0.1:$port/")
grep -qi '<html' <<<"$page" || fail "GET / did not return the chat page"

events=$(curl -s -N --max-time 2 "http://127.0.0.1:$port/api/events" || true)
grep -q '^event: config$' <<<"$events" || fail "event stream sent no config event"
grep -q '^event: status$' <<<"$events" || fail "event stream sent no status event"
grep -q '^event: viewers$' <<<"$events" || fail "event stream sent no viewers event"

# Wait for the end of loading, so the docks' show-once markers are written.
deadline=$((SECONDS + 30))
while [ $SECONDS -lt $deadline ] && [ ! -f "$home/.config/obs-studio/plugin_config/vanteo/shown-activity.txt" ]; do
	sleep 0.5
done
[ -f "$home/.config/obs-studio/plugin_config/vanteo/shown.txt" ] || fail "chat dock was not shown once"
[ -f "$home/.config/obs-studio/plugin_config/vanteo/shown-activity.txt" ] || fail "activity dock was not shown once"
deadline=$((SECONDS + 10))
while [ $SECONDS -lt $deadline ] && ! grep -q "^http://setup.localhost:$port/setup.html?t=" "$home/opened.txt" 2>/dev/null; do
	sleep 0.5
done
grep -q "^http://setup.localhost:$port/setup.html?t=" "$home/opened.txt" 2>/dev/null ||
	fail "the Setup page was not opened in the default browser"

if [ -n "$artifacts" ] && command -v import >/dev/null 2>&1; then
	mkdir -p "$artifacts"
	env_of_obs() { tr '\0' '\n' <"/proc/$obs_pid/environ" | sed -n "s/^$1=//p"; }
	sleep 2 # let the window manager-less layout settle before the picture
	DISPLAY=$(env_of_obs DISPLAY) XAUTHORITY=$(env_of_obs XAUTHORITY) \
		import -window root "$artifacts/obs-docks.png" || true
fi

desktop_check

kill -INT "$obs_pid"
deadline=$((SECONDS + 30))
while [ $SECONDS -lt $deadline ] && kill -0 "$obs_pid" 2>/dev/null; do
	sleep 0.5
done
kill -0 "$obs_pid" 2>/dev/null && fail "OBS did not close within 30 s"
wait "$runner" 2>/dev/null || true

grep -q '\[vanteo\] shutdown complete' "$log" || fail "no '[vanteo] shutdown complete'"
grep -q '\[vanteo\] docks closed' "$log" || fail "no '[vanteo] docks closed'"
echo "obs smoke: ok (port $port)"
