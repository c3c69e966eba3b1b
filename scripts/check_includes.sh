#!/usr/bin/env bash
# Keeps the includes between the folders of src/ one-way: each folder may
# include itself and the folders listed for it, which sit below it (see
# docs/architecture.md). Prints every include that breaks the rule and fails.
set -euo pipefail
src=$(cd "$(dirname "$0")/../src" && pwd)

declare -A allowed=(
	[common]=""
	[platform]="common"
	[webview]=""
	[feed]="common platform"
	[http]="common platform"
	[twitch]="common platform feed"
	[tiktok]="common platform feed"
	[kick]="common platform feed"
	[youtube]="common platform feed"
	[lookup]="common platform feed twitch tiktok kick youtube"
	[gamecapture]="common platform"
	[replaynotify]="common platform"
	[updater]="common platform"
	[hub]="common platform feed http twitch tiktok kick youtube lookup"
	[server]="common platform feed http twitch tiktok kick youtube lookup hub"
	[module]="common platform webview feed http twitch tiktok kick youtube lookup gamecapture replaynotify updater hub server"
)

status=0
for dir in "$src"/*/; do
	folder=$(basename "$dir")
	if [[ ! -v allowed[$folder] ]]; then
		echo "src/$folder: a folder without a place in the layers; add it to $0"
		status=1
		continue
	fi
	while IFS=: read -r file line text; do
		target=$(sed -E 's/^#include "([^"]*)".*/\1/' <<<"$text")
		if [[ $target != */* ]]; then
			echo "src/${file#"$src"/}:$line: include without its folder: $target"
			status=1
			continue
		fi
		layer=${target%%/*}
		[[ $layer == "$folder" ]] && continue
		if [[ " ${allowed[$folder]} " != *" $layer "* ]]; then
			echo "src/${file#"$src"/}:$line: $folder must not include $target"
			status=1
		fi
	done < <(grep -rnH '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$dir" | sed -E 's/:[[:space:]]*#[[:space:]]*include[[:space:]]*/:#include /' || true)
done
exit $status
