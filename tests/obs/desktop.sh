# The desktop part of the OBS smoke test, sourced by smoke.sh: the "Vanteo"
# menu driven with the keyboard through xdotool, and the replay banner shown
# by starting the replay buffer through OBS's own WebSocket server.
#
# desktop_prepare runs before OBS starts (uses $home); desktop_check runs
# while OBS is up (uses $home, $log, $obs_pid, $artifacts, fail, wait_for and
# the display that obs_home_start exports).

desktop_prepare() {
	command -v xdotool >/dev/null 2>&1 || fail "xdotool is missing (scripts/deps.sh installs it)"
	command -v import >/dev/null 2>&1 || fail "ImageMagick is missing (scripts/deps.sh installs it)"
	ws_port=$(free_port)
	local config="$home/.config/obs-studio"
	# A profile with the replay buffer on, a scene with one colour source
	# (OBS asks before recording nothing at all), and the WebSocket server
	# on a free port without a password.
	cat >>"$config/global.ini" <<-EOF
	[Basic]
	Profile=Smoke
	ProfileDir=Smoke
	SceneCollection=Smoke
	SceneCollectionFile=Smoke

	[OBSWebSocket]
	FirstLoad=false
	ServerEnabled=true
	ServerPort=$ws_port
	AuthRequired=false
	AlertsEnabled=false
	EOF
	mkdir -p "$config/basic/profiles/Smoke" "$config/basic/scenes" "$home/videos"
	cat >"$config/basic/profiles/Smoke/basic.ini" <<-EOF
	[General]
	Name=Smoke

	[Output]
	Mode=Simple

	[SimpleOutput]
	FilePath=$home/videos
	RecFormat=mkv
	RecQuality=Stream
	RecRB=true
	RecRBTime=5
	RecRBSize=64
	StreamEncoder=x264
	VBitrate=300

	[Video]
	BaseCX=640
	BaseCY=360
	OutputCX=640
	OutputCY=360
	FPSCommon=10
	EOF
	cat >"$config/basic/scenes/Smoke.json" <<-'EOF'
	{"name":"Smoke","current_scene":"Scene","current_program_scene":"Scene","scene_order":[{"name":"Scene"}],
	 "sources":[
	  {"id":"color_source_v3","versioned_id":"color_source_v3","name":"Colour",
	   "settings":{"color":4283782485,"width":640,"height":360}},
	  {"id":"scene","versioned_id":"scene","name":"Scene",
	   "settings":{"id_counter":1,"custom_size":false,"items":[{"name":"Colour","id":1,"visible":true,
	    "pos":{"x":0.0,"y":0.0},"scale":{"x":1.0,"y":1.0},"rot":0.0,"align":5,"bounds_type":0}]}}]}
	EOF
}

# Visible top-level windows of OBS, one "id x y w h" per line.
desktop_windows() {
	local id
	for id in $(xdotool search --onlyvisible --pid "$obs_pid" 2>/dev/null || true); do
		xdotool getwindowgeometry --shell "$id" 2>/dev/null |
			awk -F= -v id="$id" '{v[$1]=$2} END {print id, v["X"], v["Y"], v["WIDTH"], v["HEIGHT"]}'
	done
}

# Prints the first visible window that is not among the ids in $1.
desktop_new_window() {
	local line
	while read -r line; do
		if [ -n "$line" ] && ! grep -qw "${line%% *}" <<<"$1"; then
			echo "$line"
			return 0
		fi
	done < <(desktop_windows)
	return 1
}

# Waits up to $1 seconds for a visible window that is not among the ids in
# $2 and prints its line.
desktop_wait_new_window() {
	wait_for "$1" desktop_new_window "$2" && desktop_new_window "$2"
}

desktop_shot() {
	import -window root "$1" 2>/dev/null || fail "screenshot $1 failed"
	if [ -n "$artifacts" ]; then
		mkdir -p "$artifacts"
		cp "$1" "$artifacts/"
	fi
}

desktop_check() {
	# The menu: File opens with Alt+F, Left wraps round to the last menu of
	# the bar, which is ours; its first entry is active.
	local main before file menu
	main=$(xdotool search --pid "$obs_pid" --name '^OBS ' | head -n 1)
	[ -n "$main" ] || fail "no OBS main window on the display"
	xdotool windowfocus --sync "$main"
	before=$(desktop_windows)
	xdotool key --window "$main" alt+f
	file=$(desktop_wait_new_window 10 "$before") || fail "the File menu did not open"
	xdotool key Left
	menu=$(desktop_wait_new_window 10 "$before $file") || fail "the Vanteo menu did not open"
	sleep 0.5 # the menu's first paint
	desktop_shot "$home/obs-menu.png"
	# Chat Dock, Activity Dock, then (past the separator) the switch.
	xdotool key Down Down Return
	wait_for 10 grep -qx 0 "$home/.config/obs-studio/plugin_config/vanteo/gamecapture.txt" ||
		fail "the game capture entry did not write gamecapture.txt"

	# The banner: a 324 x 106 window in the top-right corner.
	before=$(desktop_windows)
	node "$src/tests/obs/view.js" "$ws_port" obs StartReplayBuffer || fail "the replay buffer did not start"
	local banner x y
	banner=$(desktop_wait_new_window 10 "$before") || fail "no banner when the replay buffer started"
	read -r _ x y _ _ <<<"$banner"
	[ "$(cut -d' ' -f4,5 <<<"$banner")" = "324 106" ] || fail "banner window is $(cut -d' ' -f4,5 <<<"$banner")"
	[ "$x" = "1276" ] && [ "$y" = "0" ] || fail "banner at $x,$y instead of the top-right corner"

	# Stopped again, so that OBS closes without asking.
	node "$src/tests/obs/view.js" "$ws_port" obs StopReplayBuffer || fail "the replay buffer did not stop"
	wait_for 15 grep -q 'Replay Buffer Stop' "$log" || fail "the replay buffer did not stop"
	# OBS 29 closes its window from inside its SIGINT handler; arriving
	# while the GUI thread flushes a repaint to X, that can deadlock OBS. The
	# "Replay Buffer Off" banner repaints while it fades, so let it finish.
	wait_for 10 eval '! desktop_new_window "$before"' || fail "the banner did not close by itself"
}
