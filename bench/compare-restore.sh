#!/bin/sh
# A whole restore through the facade from the folder-backed remote into an empty home, beside a
# plain durable copy in the same run, on the photo and video home of compare-backup.sh (generated
# there once under $TESSELLON_BENCH_DATA, default /tmp/tessellon-bench-data):
#   restore_full_vs_cp: restore of ~3,000 photos and a dozen videos, durable (sync), against
#     cp -a + sync of the same home.
#   restore_peak_rss_mb: peak memory of that restore.
# Usage: bench/compare-restore.sh <build folder>
set -eu
build=${1:-${TESSELLON_BUILD_DIR:-}}
backup="$build/bench/tessellon_bench_backup"
restore="$build/bench/tessellon_bench_restore"
[ -x "$backup" ] && [ -x "$restore" ] || { echo "build the bench drivers first" >&2; exit 1; }
data=${TESSELLON_BENCH_DATA:-/tmp/tessellon-bench-data}
[ -f "$data/home.done" ] || { echo "run bench/compare-backup.sh first: it makes the data" >&2; exit 1; }

now() { python3 -c 'import time; print(time.time())'; }
since() { python3 -c "import sys,time; print('%.3f' % (time.time() - float(sys.argv[1])))" "$1"; }
verdict() { python3 -c "import sys; v,t=float(sys.argv[1]),float(sys.argv[2]); print('PASS' if v<=t else 'MISS')" "$1" "$2"; }
ratio() { python3 -c "import sys; print('%.2f' % (float(sys.argv[1]) / float(sys.argv[2])))" "$1" "$2"; }

scratch="$data/scratch-restore"
rm -rf "$scratch"
mkdir -p "$scratch"
"$backup" "$data/home" "$scratch/remote" "$scratch/work-backup" >/dev/null
sync

start=$(now); cp -a "$data/home" "$scratch/copy"; sync; cp_s=$(since "$start")
rm -rf "$scratch/copy"; sync

start=$(now)
set -- $("$restore" "$scratch/remote" "$scratch/home" "$scratch/work")
sync
full_s=$(since "$start"); rss=$4
# Every file back with its content: the same bytes in the same places.
(cd "$data/home" && find Pictures Movies -type f -printf '%p %s\n' | sort) >"$scratch/want"
(cd "$scratch/home" && find Pictures Movies -type f -printf '%p %s\n' | sort) >"$scratch/got"
cmp -s "$scratch/want" "$scratch/got" || { echo "restored tree differs from the source" >&2; exit 1; }
echo "full restore: ours ${full_s}s (${rss} MB peak), cp -a + sync ${cp_s}s" >&2
r=$(ratio "$full_s" "$cp_s")
echo "BENCH restore_full_vs_cp $r ratio target <= 2.5 $(verdict "$r" 2.5)"
echo "BENCH restore_peak_rss_mb $rss MB target <= 150 $(verdict "$rss" 150)"
rm -rf "$scratch"
