#!/usr/bin/env bash
# Starts Debian's OBS Studio under Xvfb (obs_home.sh) with the plug-in from
# its release archive, a stored Twitch account and every remote host stalled:
# each endpoint points at a loopback listener that accepts connections and
# never answers. The plug-in must load in well under a second, OBS must close
# within a few seconds, and the stored account must still be on disk.
#
#   tests/obs/stalled.sh BUILD_DIR
set -euo pipefail

build=$(cd "${1:?usage: stalled.sh BUILD_DIR}" && pwd)
src=$(cd "$(dirname "$0")/../.." && pwd)
obs_test=stalled
. "$src/tests/obs/obs_home.sh"
stall_pid=
cleanup() {
	obs_home_cleanup
	[ -z "$stall_pid" ] || kill "$stall_pid" 2>/dev/null || true
}
trap cleanup EXIT

# Milliseconds since midnight of an OBS log line ("HH:MM:SS.mmm: ...").
stamp_ms() {
	awk -F'[:. ]' '{ print (($1 * 60 + $2) * 60 + $3) * 1000 + $4; exit }' <<<"$1"
}

obs_home_install "$build"
# Without the page views: the time measured is the plug-in's own, not Qt
# WebEngine's start.
rm -f "$plugin/bin/64bit/vanteo-webview.so"
settings="$home/.config/obs-studio/plugin_config/vanteo"
mkdir -p "$settings"
printf '{"twitch":"streamer","tiktok":"someone","setupDone":true,"token":"tok-stored","refreshToken":"refresh-stored"}' \
	>"$settings/config.json"
# Marks both docks as shown before, so nothing but the stall is in the way.
printf '1' >"$settings/shown.txt"
printf '1' >"$settings/shown-activity.txt"

# The stalled host: every connection is accepted and held, nothing is sent;
# each one adds a line to stall.log.
node -e "
const fs = require('fs');
const held = [];
const server = require('net').createServer((s) => {
	held.push(s);
	s.on('error', () => {});
	fs.appendFileSync(process.argv[1], 'accepted\\n');
});
server.listen(0, '127.0.0.1', () => console.log(server.address().port));
" "$home/stall.log" >"$home/stall.port" &
stall_pid=$!
wait_for 10 test -s "$home/stall.port" || true
stall_port=$(cat "$home/stall.port")
[ -n "$stall_port" ] || fail "the stalled host did not start"
VANTEO_ENDPOINTS=$(node -e "
const { ENDPOINT_NAMES } = require(process.argv[1]);
console.log(ENDPOINT_NAMES.map((name) => name + '=127.0.0.1:' + process.argv[2]).join(','));
" "$src/tests/fakes/lib/endpoints.js" "$stall_port")
export VANTEO_ENDPOINTS

obs_home_start

# The load: from the plug-in's first log line to "dock registered".
first=$(grep -m 1 '\[vanteo\]' "$log")
registered=$(grep -m 1 '\[vanteo\] dock registered' "$log")
load_ms=$(($(stamp_ms "$registered") - $(stamp_ms "$first")))
echo "obs stalled: plug-in loaded in $load_ms ms"
[ "$load_ms" -lt 500 ] || fail "loading took $load_ms ms with every remote host stalled"

# Closing while the chat connect, the TikTok lookup and the token's
# validation all wait for their hosts.
stalled_three() { [ "$(wc -l <"$home/stall.log")" -ge 3 ]; }
wait_for 30 stalled_three || fail "the plug-in did not reach the stalled hosts"

began=$(date +%s%N)
obs_home_stop
exit_ms=$((($(date +%s%N) - began) / 1000000))
echo "obs stalled: OBS closed $exit_ms ms after SIGINT"
grep -q '\[vanteo\] shutdown complete' "$log" || fail "no '[vanteo] shutdown complete'"
[ "$exit_ms" -lt 5000 ] || fail "closing took $exit_ms ms with every remote host stalled"
grep -q '"token":"tok-stored"' "$settings/config.json" || fail "the stored account was lost: $(cat "$settings/config.json")"
echo "obs stalled: ok"
