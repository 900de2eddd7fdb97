#!/bin/sh
# The cost of telling touched files from changed ones. A fingerprint samples three windows of a file,
# so a file whose date changed at its size and fingerprint is read whole once before the backup takes
# it for the stored content:
#   backup_touched_vs_cat: `tessellon backup` of 16 files of 64 MiB, every one touched since the last
#     backup (nothing is uploaded), against cat of the same files to /dev/null.
# Medians of three alternating pairs, on files the page cache holds.
# Usage: bench/compare-touched.sh <build folder>
set -eu
build=${1:-${TESSELLON_BUILD_DIR:-}}
cli="$build/hosts/cli/tessellon"
[ -x "$cli" ] || { echo "build the tessellon command first" >&2; exit 1; }
bench_dir=$(cd "$(dirname "$0")" && pwd)
data=${TESSELLON_BENCH_DATA:-/tmp/tessellon-bench-data}/touched
mkdir -p "$data/home/Pictures" "$data/home/Movies"
if [ ! -f "$data/home.done" ]; then
  for i in $(seq 1 16); do head -c 67108864 /dev/urandom >"$data/home/Pictures/p$i.jpg"; done
  touch "$data/home.done"
fi
scratch="$data/scratch"
rm -rf "$scratch"
mkdir -p "$scratch/tmp" "$scratch/config" "$scratch/data" "$scratch/remote"

ratio() { python3 -c "import sys; print('%.2f' % (float(sys.argv[1]) / float(sys.argv[2])))" "$1" "$2"; }
median() { python3 -c "import sys; v=sorted(map(float,sys.argv[1:])); print(v[len(v)//2])" "$@"; }
verdict() { python3 -c "import sys; v,t=float(sys.argv[1]),float(sys.argv[2]); print('PASS' if v<=t else 'MISS')" "$1" "$2"; }
backup() {
  env HOME="$data/home" TMPDIR="$scratch/tmp" XDG_CONFIG_HOME="$scratch/config" \
    XDG_DATA_HOME="$scratch/data" "$bench_dir/timed-run" "$cli" backup -q --remote \
    "$scratch/remote" --pictures "$data/home/Pictures" --movies "$data/home/Movies" --only images
}

backup >/dev/null
cat "$data/home/Pictures"/*.jpg >/dev/null
peers="" ours=""
for pair in 1 2 3; do
  peers="$peers $("$bench_dir/timed-run" sh -c "cat '$data/home/Pictures'/*.jpg")"
  # A whole second apart: a recorded date is compared to the second.
  touch -d "@$((1700000000 + pair * 60))" "$data/home/Pictures"/*.jpg
  ours="$ours $(backup)"
done
stored=$(find "$scratch/remote" -path '*/images/*' -type f | wc -l)
[ "$stored" -eq 16 ] || { echo "compare-touched: $stored files stored, 16 expected" >&2; exit 1; }
peer_s=$(median $peers)
ours_s=$(median $ours)
echo "backup_touched_vs_cat: ours${ours}s, peer${peers}s (medians ${ours_s}s, ${peer_s}s)" >&2
r=$(ratio "$ours_s" "$peer_s")
echo "BENCH backup_touched_vs_cat $r ratio target <= 1.5 $(verdict "$r" "1.5")"
rm -rf "$scratch"
