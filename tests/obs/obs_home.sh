# OBS Studio in a throw-away HOME under Xvfb, with Vanteo installed from its
# release archive (scripts/package.sh). Sourced by the smoke test and the
# footprint benchmark; the caller defines fail (message) and sets src (the
# source tree).
#
#   obs_home_install BUILD_DIR   new $home; the archive unpacked in $release,
#                                its vanteo/ folder installed as $plugin
#   obs_home_start               starts OBS; sets $runner, $obs_pid, $log and
#                                exports DISPLAY and XAUTHORITY of its Xvfb
#   obs_home_stop                closes OBS like Ctrl+C; fails after 30 s
#   obs_home_cleanup             for the EXIT trap: ends our OBS, removes $home
#   free_port                    prints a free TCP port of 127.0.0.1

home= runner= obs_pid= log=

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
	local deadline=$((SECONDS + 90))
	while [ $SECONDS -lt $deadline ]; do
		log=$(ls -1t "$home/.config/obs-studio/logs"/*.txt 2>/dev/null | head -n 1 || true)
		[ -n "$log" ] && grep -q '\[vanteo\] dock registered' "$log" && break
		kill -0 "$runner" 2>/dev/null || fail "OBS exited early: $(tail -n 20 "$home/obs.stdout")"
		sleep 0.5
	done
	[ -n "$log" ] && grep -q '\[vanteo\] dock registered' "$log" || fail "no '[vanteo] dock registered' in the OBS log"
	# Our own obs (a child of xvfb-run): other OBS instances may run beside it.
	obs_pid=$(pgrep -x obs -P "$runner" || true)
	[ -n "$obs_pid" ] || fail "no obs process"
	DISPLAY=$(tr '\0' '\n' <"/proc/$obs_pid/environ" | sed -n 's/^DISPLAY=//p')
	XAUTHORITY=$(tr '\0' '\n' <"/proc/$obs_pid/environ" | sed -n 's/^XAUTHORITY=//p')
	export DISPLAY XAUTHORITY
}

obs_home_stop() {
	kill -INT "$obs_pid"
	local deadline=$((SECONDS + 30))
	while [ $SECONDS -lt $deadline ] && kill -0 "$obs_pid" 2>/dev/null; do
		sleep 0.5
	done
	! kill -0 "$obs_pid" 2>/dev/null || fail "OBS did not close within 30 s"
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
