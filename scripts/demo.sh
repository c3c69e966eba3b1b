#!/usr/bin/env bash
# Starts the developer host with the local fake services (Twitch, Kick and
# YouTube chats that play scripted conversations), so the pages show live chat without OBS,
# an account or an internet connection. Prints the page addresses; Ctrl+C
# stops everything.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANTEO_BUILD_DIR:-$root/build}
config=${VANTEO_DEMO_CONFIG:-$HOME/.config/vanteo-devhost}
channel=${VANTEO_DEMO_CHANNEL:-vanteo_demo}
mkdir -p "$config"
work=$(mktemp -d /tmp/vanteo-demo.XXXXXX)

fakes=
host=
cleanup() {
	[ -n "$host" ] && kill -INT "$host" 2>/dev/null && wait "$host" 2>/dev/null
	[ -n "$fakes" ] && kill -TERM "$fakes" 2>/dev/null && wait "$fakes" 2>/dev/null
	rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

wait_line() { # file, seconds
	local deadline=$((SECONDS + $2))
	until [ -s "$1" ] && [ "$(wc -l <"$1")" -ge 1 ]; do
		[ $SECONDS -lt $deadline ] || return 1
		sleep 0.1
	done
}

# The fake services print one JSON line with the settings that point the
# plug-in at them.
node "$root/tests/fakes/server.js" --chat-script "$root/tools/demo/chat-script.json" --keep-stdin-open \
	</dev/null >"$work/fakes.json" 2>"$work/fakes.log" &
fakes=$!
wait_line "$work/fakes.json" 30 || { echo "the fake services did not start:" >&2; cat "$work/fakes.log" >&2; exit 1; }
eval "$(node -e '
const line = require("fs").readFileSync(process.argv[1], "utf8").split("\n")[0];
const info = JSON.parse(line);
for (const [k, v] of Object.entries(info.env)) console.log(`export ${k}=${JSON.stringify(v)}`);
console.log(`control=${info.control}`);
' "$work/fakes.json")"

# The fake emote providers serve their 7TV, BetterTTV and FrankerFaceZ sets,
# which the scripted chat uses.
curl -s -o /dev/null -X POST -d '{}' "http://127.0.0.1:$control/emotes/serve"
# The fake Twitch API answers for the demo channel as the account's own, so
# "Connect Twitch" signs in (as that channel) against the local stand-in.
curl -s -o /dev/null -X POST -d "{\"users\":[{\"id\":\"1001\",\"login\":\"$channel\",\"display_name\":\"$channel\"}],
	\"tokens\":{\"tok-streamer\":{\"login\":\"$channel\",\"user_id\":\"1001\"}}}" \
	"http://127.0.0.1:$control/twitch-api/configure"
# The Setup page's channel check without an account reads the channel's web
# page: the fake site knows the demo channel too.
curl -s -o /dev/null -X POST -d "{\"name\":\"$channel\"}" "http://127.0.0.1:$control/sites/twitch"

# Kick and YouTube: the demo channel is live on both, with chat scripts of
# their own.
curl -s -o /dev/null -X POST -d "{\"name\":\"$channel\",\"mode\":\"raw\",\"body\":$(node -e '
console.log(JSON.stringify(JSON.stringify({ user: { username: process.argv[1], profile_pic: "" }, chatroom: { id: 668 },
	livestream: { viewer_count: 23 } })))' "$channel")}" "http://127.0.0.1:$control/sites/kick"
node -e 'const s = require(process.argv[1]); console.log(JSON.stringify({ channel: "chatrooms.668.v2", ...s }))' \
	"$root/tools/demo/kick-script.json" | curl -s -o /dev/null -X POST -d @- "http://127.0.0.1:$control/kick-pusher/play"
curl -s -o /dev/null -X POST -d "{\"name\":\"$channel\",\"viewers\":41}" "http://127.0.0.1:$control/youtube-live/live"
curl -s -o /dev/null -X POST --data-binary @"$root/tools/demo/youtube-script.json" "http://127.0.0.1:$control/youtube-live/play"

"$build/vanteo-devhost" --config-dir "$config" --web-dir "$root/web" >"$work/host.out" &
host=$!
wait_line "$work/host.out" 30 || { echo "the developer host did not start" >&2; exit 1; }
read -r line <"$work/host.out"
port=$(sed -n 's/^ready port=\([0-9]*\) token=.*/\1/p' <<<"$line")
token=$(sed -n 's/^ready port=[0-9]* token=\(.*\)$/\1/p' <<<"$line")

# Listen to the demo channel of the fake chat.
curl -s -o /dev/null -X POST -H 'Content-Type: application/json' \
	-d "{\"twitch\":\"$channel\",\"kick\":\"$channel\",\"youtube\":\"$channel\"}" "http://127.0.0.1:$port/api/config?t=$token"

cat <<EOT
Vanteo developer host is running with demo Twitch, Kick and YouTube chats (settings in $config).
Open these pages in a browser:
  Chat:     http://chat.localhost:$port/?t=$token
  Activity: http://activity.localhost:$port/feed.html?t=$token
  Setup:    http://setup.localhost:$port/setup.html?t=$token
"Connect Twitch" opens a local stand-in of Twitch's sign-in page (its
certificate comes from a test CA made for this run: accept the warning).
Press Ctrl+C to stop.
EOT
wait "$host"
