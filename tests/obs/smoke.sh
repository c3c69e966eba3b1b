#!/usr/bin/env bash
# Starts Debian's OBS Studio under Xvfb with the plug-in installed from its
# release archive (scripts/package.sh) in a throw-away HOME, and checks that
# the archive's manifest matches its files, that the docks register, that
# the local server serves the chat page and the event stream, and that OBS
# closes cleanly.
#
# With the page views (default): the chat page runs inside the chat dock and
# shows what the event stream brings, the Setup dialog opens inside OBS at
# the first start, links leave for the default browser, a crashed page comes
# back, and the "Vanteo" menu and the replay banner work (desktop.sh).
# With --fallback (the views' library removed): the docks show their panel
# and no browser window opens by itself.
#
#   tests/obs/smoke.sh [--fallback] BUILD_DIR [ARTIFACT_DIR]
set -euo pipefail

fallback=0
if [ "${1:-}" = "--fallback" ]; then
	fallback=1
	shift
fi
build=$(cd "${1:?usage: smoke.sh [--fallback] BUILD_DIR [ARTIFACT_DIR]}" && pwd)
artifacts=${2:-${VANTEO_TEST_ARTIFACTS:-}}
src=$(cd "$(dirname "$0")/../.." && pwd)
obs_test=smoke
. "$src/tests/obs/obs_home.sh"
. "$src/tests/obs/desktop.sh"
trap obs_home_cleanup EXIT

# The release archive, unpacked into the user plug-in folder OBS Studio
# looks in; its manifest must name every file with its digest.
obs_home_install "$build"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
(cd "$plugin" && node -e '
const m = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"));
if (m.version !== process.argv[2]) throw new Error(`manifest version ${m.version}`);
for (const f of m.files) console.log(`${f.sha256}  ${f.path}`);
' "$release/manifest.json" "$version" >"$home/digests") || fail "the manifest cannot be read"
(cd "$plugin" && sha256sum --quiet -c "$home/digests") || fail "the manifest's digests do not match the files"
[ "$(wc -l <"$home/digests")" -eq "$(cd "$plugin" && find . -type f | wc -l)" ] ||
	fail "the manifest does not list every file of the plug-in folder"
[ -f "$plugin/bin/64bit/vanteo-webview.so" ] || fail "the archive has no vanteo-webview.so (built without Qt WebEngine?)"
[ "$(stat -c %s "$plugin/bin/64bit/vanteo.so")" -lt 16777216 ] || fail "vanteo.so is over the updater's 16 MiB"
if [ "$fallback" -eq 1 ]; then
	rm "$plugin/bin/64bit/vanteo-webview.so"
fi
desktop_prepare

# The default browser is a stand-in that records what it was asked to open:
# nothing may open by itself.
mkdir -p "$home/bin"
printf '#!/bin/sh\necho "$1" >> "%s/opened.txt"\n' "$home" > "$home/bin/xdg-open"
chmod +x "$home/bin/xdg-open"
export PATH="$home/bin:$PATH"
debug_port=$(free_port)
export QTWEBENGINE_REMOTE_DEBUGGING="127.0.0.1:$debug_port"
view() { node "$src/tests/obs/view.js" "$debug_port" "$@"; }
# A page view's address starts with $1.
view_at() { grep -q "^$1" <<<"$(view list)"; }
obs_home_start

# The server binds the first free port from 18763; other instances may hold
# lower ports. This OBS names it in the chat view's address, or in its log
# when it has no views.
if [ "$fallback" -eq 1 ]; then
	port=$(sed -n 's/.*\[vanteo\] embedded browser unavailable (port \([0-9]*\)).*/\1/p' "$log" | head -n 1)
	grep -q '\[vanteo\] page views: .*vanteo-webview.so is not installed' "$log" ||
		fail "no line saying the page views are not installed"
else
	wait_for 60 view_at "http://chat.localhost:" ||
		fail "no chat page in the chat dock: $(view list 2>&1 | tr '\n' ' ')"
	chat_url=$(view list | grep -m1 '^http://chat.localhost:')
	port=$(sed -n 's|^http://chat.localhost:\([0-9]*\)/.*|\1|p' <<<"$chat_url")
	token=$(sed -n 's|.*[?&]t=\([^&]*\).*|\1|p' <<<"$chat_url")
	grep -q '\[vanteo\] page views: Qt WebEngine' "$log" || fail "no 'page views: Qt WebEngine' in the log"
	! grep -q 'embedded browser unavailable' "$log" || fail "the chat dock fell back to its panel"
fi
# (The event stream inside OBS: the demo line in the chat dock below.)
[ -n "$port" ] && page=$(curl -s --max-time 5 "http://127.0.0.1:$port/") || fail "local server not reachable"
grep -qi '<html' <<<"$page" || fail "GET / did not return the chat page"

# Wait for the end of loading, so the docks' show-once markers are written.
config="$home/.config/obs-studio/plugin_config/vanteo"
wait_for 30 test -f "$config/shown-activity.txt"
[ -f "$config/shown.txt" ] || fail "chat dock was not shown once"
[ -f "$config/shown-activity.txt" ] || fail "activity dock was not shown once"

if [ "$fallback" -eq 0 ]; then
	# The Setup dialog opens inside OBS at the first start.
	wait_for 30 view_at "http://setup.localhost:$port/setup.html?t=" ||
		fail "the Setup dialog did not open inside OBS"
	wait_for 30 view eval "http://setup.localhost:" "document.querySelectorAll('input').length > 0" ||
		fail "the Setup page did not render"
	xdotool search --all --onlyvisible --pid "$obs_pid" --name '^Vanteo — Setup$' >/dev/null ||
		fail "no visible 'Vanteo — Setup' window"
	desktop_shot "$home/obs-setup.png"

	# A demo item sent through the server reaches the chat page's event
	# stream and is drawn in the dock.
	curl -s -o /dev/null -X POST -d '{"kind":"cheer","name":"smoke_viewer"}' "http://127.0.0.1:$port/api/demo?t=$token"
	wait_for 20 view eval "http://chat.localhost:" \
		"document.getElementById('chat').textContent.includes('smoke_viewer')" ||
		fail "the demo line did not appear in the chat dock"

	# Web addresses leave for the default browser, other schemes go nowhere;
	# the view stays on its page.
	view eval "http://chat.localhost:" "(() => {
		const a = document.createElement('a');
		a.href = 'https://example.com/clicked';
		document.body.append(a);
		a.click();
		window.open('https://example.com/opened');
		location.href = 'ftp://example.com/refused';
		return true;
	})()" >/dev/null || fail "the link script did not run"
	wait_for 10 grep -q '^https://example.com/opened$' "$home/opened.txt" || fail "window.open did not reach the default browser"
	wait_for 10 grep -q '\[vanteo\] webview: kept the view from example.com' "$log" || fail "no line for the refused navigation"
	grep -q '^https://example.com/clicked$' "$home/opened.txt" || fail "a clicked link did not reach the default browser"
	! grep -q 'refused' "$home/opened.txt" || fail "an ftp address was handed to the default browser"
	[ "$(view eval "http://chat.localhost:" "location.host")" = "\"chat.localhost:$port\"" ] ||
		fail "the chat view left its page"

	# A page whose renderer crashes comes back once.
	view crash "http://activity.localhost:" || fail "the activity page could not be crashed"
	wait_for 30 grep -q '\[vanteo\] webview: the activity.localhost page stopped; reloading it' "$log" ||
		fail "no reload after the renderer crash"
	wait_for 30 view eval "http://activity.localhost:" "document.readyState === 'complete'" ||
		fail "the activity page did not come back"

	# A check asked for from a page opens the Updates dialog inside OBS.
	curl -s -o /dev/null -X POST -d '{"action":"update"}' "http://127.0.0.1:$port/api/update?t=$token"
	wait_for 30 view eval "http://updates.localhost:$port/update.html?t=$token&mode=update" \
		"document.getElementById('current').textContent === '$version'" ||
		fail "the Updates dialog did not show the update page"

	# Closing the one and finishing the setup hide the dialogs.
	curl -s -o /dev/null -X POST -d '{"action":"close"}' "http://127.0.0.1:$port/api/update?t=$token"
	curl -s -o /dev/null -X POST -d '{}' "http://127.0.0.1:$port/api/setup-done?t=$token"
	wait_for 10 sh -c "! xdotool search --all --onlyvisible --pid $obs_pid --name '^Vanteo — (Setup|Updates)\$'" ||
		fail "a dialog stayed after it was closed"
else
	wait_for 10 grep -q '\[vanteo\] offered in the docks: Setup needed' "$log" ||
		fail "the docks did not offer the Setup page"
fi
! grep -q '\[vanteo\] script error' "$log" || fail "a page reported an error: $(grep '\[vanteo\] script error' "$log" | head -n 3)"

sleep 1 # let the window manager-less layout settle before the picture
if [ "$fallback" -eq 0 ]; then desktop_shot "$home/obs-docks.png"; else desktop_shot "$home/obs-fallback.png"; fi

[ "$fallback" -eq 1 ] || desktop_check

obs_home_stop

grep -q '\[vanteo\] shutdown complete' "$log" || fail "no '[vanteo] shutdown complete'"
grep -q '\[vanteo\] docks closed' "$log" || fail "no '[vanteo] docks closed'"
# Nothing opened one of the plug-in's pages in a browser window by itself.
! grep -q 'localhost' "$home/opened.txt" 2>/dev/null || fail "a page opened in the default browser: $(cat "$home/opened.txt")"
# The views end before the server does.
order=$(grep -o '\[vanteo\] \(browsers closed\|shutdown: connections\)' "$log" | tr '\n' '|')
[ "$fallback" -eq 1 ] || [ "$order" = "[vanteo] browsers closed|[vanteo] shutdown: connections|" ] ||
	fail "the views were not closed before the server stopped: $order"
echo "obs smoke: ok (port $port)"
