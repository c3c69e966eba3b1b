#!/usr/bin/env bash
# Starts the developer host on its own settings folder and prints the page
# addresses. Ctrl+C stops it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANTEO_BUILD_DIR:-$root/build}
config=${VANTEO_DEMO_CONFIG:-$HOME/.config/vanteo-devhost}
mkdir -p "$config"

fifo=$(mktemp -u /tmp/vanteo-demo.XXXXXX)
mkfifo "$fifo"
"$build/vanteo-devhost" --config-dir "$config" --web-dir "$root/web" >"$fifo" &
host=$!
trap 'kill -INT $host 2>/dev/null; wait $host 2>/dev/null; rm -f "$fifo"' EXIT INT TERM

read -r line <"$fifo"
port=$(sed -n 's/^ready port=\([0-9]*\) token=.*/\1/p' <<<"$line")
token=$(sed -n 's/^ready port=[0-9]* token=\(.*\)$/\1/p' <<<"$line")
if [ -z "$port" ]; then
	echo "the developer host did not start" >&2
	exit 1
fi
cat <<EOT
Vanteo developer host is running (settings in $config).
Open these pages in a browser:
  Chat:     http://chat.localhost:$port/?t=$token
  Activity: http://activity.localhost:$port/feed.html?t=$token
Press Ctrl+C to stop.
EOT
wait $host
