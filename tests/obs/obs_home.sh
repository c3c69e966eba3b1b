# OBS Studio in a throw-away HOME under Xvfb, with Vanteo installed from its
# release archive (scripts/package.sh). Sourced by the smoke test and the
# footprint benchmark; the caller sets src (the source tree) and may set
# obs_test (its name in messages) or define fail (message) itself.
#
#   obs_home_install BUILD_DIR   new $home; the archive unpacked in $release,
#                                its vanteo/ folder installed as $plugin
#   obs_home_start               starts OBS; sets $runner, $obs_pid, $log and
#                                exports DISPLAY and XAUTHORITY of its Xvfb
#   obs_home_stop                closes OBS like Ctrl+C; fails after 30 s
#   obs_home_cleanup             for the EXIT trap: ends our OBS, removes $home
#   free_port                    prints a free TCP port of 127.0.0.1
#   wait_for SECONDS COMMAND..   waits for COMMAND (also a function) to succeed
#   fail MESSAGE                 unless the caller has one: the message and the
#                                plug-in's log lines, then exit 1

home= runner= obs_pid= log=

declare -F fail >/dev/null || fail() {
	echo "obs ${obs_test:-test}: FAIL: $*" >&2
	if [ -n "${log:-}" ] && [ -f "$log" ]; then
		echo "---- OBS log (vanteo lines and errors) ----" >&2
		grep -E 'vanteo|error|Failed' "$log" | tail -n 60 >&2 || true
	fi
	exit 1
}

wait_for() {
	local deadline=$((SECONDS + $1))
	shift
	until "$@" >/dev/null 2>&1; do
		[ $SECONDS -lt $deadline ] || return 1
		sleep 0.2
	done
}

# Our OBS has written "dock registered" to its log, or has ended.
obs_home_registered() {
	log=$(ls -1t "$home/.config/obs-studio/logs"/*.txt 2>/dev/null | head -n 1 || true)
	{ [ -n "$log" ] && grep -q '\[vanteo\] dock registered' "$log"; } || ! kill -0 "$runner" 2>/dev/null
}

obs_home_install() {
	home=$(mktemp -d /tmp/vanteo-obs-home.XXXXXX)
	release="$home/release"
	plugin="$home/.config/obs-studio/plugins/vanteo"
	local archive
	archive=$("$src/scripts/package.sh" --build-dir "$1" --out "$home/dist") || fail "scripts/package.sh failed"
	mkdir -p "$release" "$(dirname "$plugin")"
	tar -C "$release" -xzf "$archive"
	cp -r "$release/vanteo" "$plugin"
	# No first-run wizard.
	printf '[General]\nFirstRun=false\nLastVersion=486539266\n' >"$home/.config/obs-studio/global.ini"
}

obs_home_start() {
	export HOME="$home" LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb
	unset WAYLAND_DISPLAY
	# Chromium's sandbox refuses to run as root; the test machines do.
	[ "$(id -u)" -ne 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1
	xvfb-run -a -s "-screen 0 1600x900x24" obs --disable-shutdown-check --multi --disable-updater \
		>"$home/obs.stdout" 2>&1 &
	runner=$!
	wait_for 90 obs_home_registered || true
	kill -0 "$runner" 2>/dev/null || fail "OBS exited early: $(tail -n 20 "$home/obs.stdout")"
	[ -n "$log" ] && grep -q '\[vanteo\] dock registered' "$log" || fail "no '[vanteo] dock registered' in the OBS log"
	# Our own obs (a child of xvfb-run): other OBS instances may run beside it.
	obs_pid=$(pgrep -x obs -P "$runner" || true)
	[ -n "$obs_pid" ] || fail "no obs process"
	DISPLAY=$(tr '\0' '\n' <"/proc/$obs_pid/environ" | sed -n 's/^DISPLAY=//p')
	XAUTHORITY=$(tr '\0' '\n' <"/proc/$obs_pid/environ" | sed -n 's/^XAUTHORITY=//p')
	export DISPLAY XAUTHORITY
	# OBS has finished loading (our menu is built then) and shows its window:
	# tests act on a started OBS, not on one still coming up.
	wait_for 60 obs_home_shown || fail "OBS did not finish loading and show its window"
}

obs_home_shown() {
	grep -q '\[vanteo\] menu:' "$log" &&
		xdotool search --onlyvisible --pid "$obs_pid" --name '^OBS ' >/dev/null 2>&1
}

obs_home_stop() {
	kill -INT "$obs_pid"
	wait_for 30 eval "! kill -0 $obs_pid" || fail "OBS did not close within 30 s"
	local status=0
	wait "$runner" 2>/dev/null || status=$?
	[ "$status" -eq 0 ] || fail "OBS ended with status $status: $(tail -n 20 "$home/obs.stdout")"
	grep -q 'Number of memory leaks: 0$' "$log" || fail "OBS did not end cleanly"
}

obs_home_cleanup() {
	# A failure before obs_pid was known still ends our OBS.
	if [ -z "$obs_pid" ] && [ -n "$runner" ]; then
		obs_pid=$(pgrep -x obs -P "$runner" || true)
	fi
	if [ -n "$obs_pid" ] && kill -0 "$obs_pid" 2>/dev/null; then
		kill -KILL "$obs_pid" 2>/dev/null || true
	fi
	[ -z "$home" ] || rm -rf "$home"
}

free_port() {
	node -e "const s=require('net').createServer().listen(0,'127.0.0.1',()=>{console.log(s.address().port);s.close()})"
}
