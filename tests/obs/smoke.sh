#!/usr/bin/env bash
# Starts Debian's OBS Studio under Xvfb with the built plug-in installed in a
# throw-away HOME, checks that the docks register, that the local server
# serves the chat page and the event stream, and that OBS closes cleanly.
#
#   tests/obs/smoke.sh BUILD_DIR [ARTIFACT_DIR]
set -euo pipefail

build=$(cd "${1:?usage: smoke.sh BUILD_DIR [ARTIFACT_DIR]}" && pwd)
artifacts=${2:-${VANTEO_TEST_ARTIFACTS:-}}
src=$(cd "$(dirname "$0")/../.." && pwd)
home=$(mktemp -d /tmp/vanteo-obs-home.XXXXXX)
obs_pid=
cleanup() {
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

export HOME="$home" LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb
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
obs_pid=$(pgrep -n -x obs || true)
[ -n "$obs_pid" ] || fail "no obs process"

# The server binds the first free port from 18763.
port=
for p in $(seq 18763 18782); do
	if curl -s -o /dev/null --max-time 2 "http://127.0.0.1:$p/"; then
		port=$p
		break
	fi
done
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

if [ -n "$artifacts" ] && command -v import >/dev/null 2>&1; then
	mkdir -p "$artifacts"
	env_of_obs() { tr '\0' '\n' <"/proc/$obs_pid/environ" | sed -n "s/^$1=//p"; }
	sleep 2 # let the window manager-less layout settle before the picture
	DISPLAY=$(env_of_obs DISPLAY) XAUTHORITY=$(env_of_obs XAUTHORITY) \
		import -window root "$artifacts/obs-docks.png" || true
fi

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
