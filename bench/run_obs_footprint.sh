#!/usr/bin/env bash
# Memory and CPU of OBS Studio with Vanteo, under Xvfb with software
# rendering: once with the docks' fallback panels (no page views) and once
# with both docks showing their pages (Qt WebEngine), the pages idle (no
# channel, so no traffic). Prints RSS of the obs process, RSS and PSS of obs
# with its Qt WebEngine helper processes, and CPU (percent of one core)
# over a minute. A
# benchmark, not a test: it never fails on the figures.
#
#   bench/run_obs_footprint.sh [BUILD_DIR, default build]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$src/build}" && pwd)
settle=20 window=60

fail() { echo "footprint: $*" >&2; exit 1; }
. "$src/tests/obs/obs_home.sh"
trap obs_home_cleanup EXIT

# obs and every process below it, one pid per line.
family() {
	ps -e -o pid=,ppid= | awk -v root="$obs_pid" '
		{ parent[$1] = $2 }
		END { keep[root] = 1; print root
		      do { grew = 0; for (p in parent) if (!(p in keep) && (parent[p] in keep)) { keep[p] = 1; print p; grew = 1 } } while (grew) }'
}
kib() { awk -v k="$1" '$1 == k":" { print $2 }' "$2" 2>/dev/null || echo 0; }
ticks() { local sum=0 p; for p in "$@"; do sum=$((sum + $(awk '{ print $14 + $15 }' "/proc/$p/stat" 2>/dev/null || echo 0))); done; echo "$sum"; }
percent() { echo "$1 * 100 / $(getconf CLK_TCK) / $window" | bc -l; }

measure() { # label, remove-views flag
	obs_home_install "$build"
	[ "$2" -eq 0 ] || rm -f "$plugin/bin/64bit/vanteo-webview.so"
	# A channel is set, so Setup stays closed; it is not reachable, so the
	# pages stay idle.
	mkdir -p "$home/.config/obs-studio/plugin_config/vanteo"
	echo '{"kick":"someone","setupDone":true}' >"$home/.config/obs-studio/plugin_config/vanteo/config.json"
	obs_home_start
	sleep "$settle"
	local rss_obs rss_all=0 pss_all=0 p
	rss_obs=$(kib VmRSS "/proc/$obs_pid/status")
	for p in $(family); do
		rss_all=$((rss_all + $(kib VmRSS "/proc/$p/status")))
		pss_all=$((pss_all + $(kib Pss "/proc/$p/smaps_rollup")))
	done
	local helpers
	helpers=$(family | tail -n +2)
	local obs0 all0 obs1 all1
	obs0=$(ticks "$obs_pid") all0=$(ticks "$obs_pid" $helpers)
	sleep "$window"
	obs1=$(ticks "$obs_pid") all1=$(ticks "$obs_pid" $helpers)
	printf '%-20s obs: RSS %3d MiB, CPU %4.1f %%   with %d helpers: RSS %3d MiB, PSS %3d MiB, CPU %4.1f %%\n' \
		"$1" $((rss_obs / 1024)) "$(percent $((obs1 - obs0)))" "$(wc -w <<<"$helpers")" \
		$((rss_all / 1024)) $((pss_all / 1024)) "$(percent $((all1 - all0)))"
	obs_home_stop
	obs_home_cleanup
	home= runner= obs_pid= log=
}

measure "panels (no views)" 1
measure "both docks as pages" 0
