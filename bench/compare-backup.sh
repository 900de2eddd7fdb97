#!/bin/sh
# Whole backups through the facade to the folder-backed remote, beside their peers in the same run,
# on data generated once under $TESSELLON_BENCH_DATA (default /tmp/tessellon-bench-data), on the
# same disk as the remote:
#   backup_full_vs_cp: a first backup of ~3,000 photos (0.2 to 6 MiB) and a dozen videos (50 to
#     300 MiB), durable (sync), against cp -a + sync of the same home.
#   backup_peak_rss_mb: peak memory of that backup.
#   cli_backup_overhead: the same first backup through the `tessellon` command / the library path.
#   backup_nochange_s: the second backup with nothing changed (a peer that only compares
#     attributes needs about 0.3 s on this data).
#   backup_nochange_many_vs_find: a nothing-changed backup of 100,000 small files against
#     find -printf of their sizes and dates.
#   backup_nochange_many_peak_rss_mb: the largest peak memory of those nothing-changed backups.
# Usage: bench/compare-backup.sh <build folder>
set -eu
build=${1:-${TESSELLON_BUILD_DIR:-}}
backup="$build/bench/tessellon_bench_backup"
[ -x "$backup" ] || { echo "build tessellon_bench_backup first" >&2; exit 1; }
data=${TESSELLON_BENCH_DATA:-/tmp/tessellon-bench-data}
mkdir -p "$data"

python3 - "$data" <<'PY'
import os, random, sys
data = sys.argv[1]
home = os.path.join(data, "home")
if not os.path.exists(os.path.join(data, "home.done")):
    rng = random.Random(11)
    chunk = os.urandom(1 << 20)
    def write(path, size):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            while size > 0:
                # Fresh bytes at the start of every MiB keep each file's sample windows unique.
                piece = os.urandom(64 * 1024) + chunk[: (1 << 20) - 64 * 1024]
                out.write(piece[: min(size, len(piece))])
                size -= len(piece)
    for n in range(3000):
        kind = rng.random()
        low, high = (0.2, 0.6) if kind < 0.7 else (0.6, 2.0) if kind < 0.95 else (2.0, 6.0)
        write(os.path.join(home, "Pictures", "p%02d" % (n // 100), "IMG_%04d.jpg" % n),
              int(rng.uniform(low, high) * (1 << 20)))
    for n in range(12):
        write(os.path.join(home, "Movies", "clip%02d.mp4" % n), rng.randint(50, 300) << 20)
    open(os.path.join(data, "home.done"), "w").close()
many = os.path.join(data, "many")
if not os.path.exists(os.path.join(data, "many.done")):
    for d in range(1000):
        folder = os.path.join(many, "Pictures", "d%03d" % d)
        os.makedirs(folder, exist_ok=True)
        for f in range(100):
            with open(os.path.join(folder, "f%03d.jpg" % f), "wb") as out:
                out.write(os.urandom(64 + (d * 100 + f) % 200))
    os.makedirs(os.path.join(many, "Movies"), exist_ok=True)
    open(os.path.join(data, "many.done"), "w").close()
PY

now() { python3 -c 'import time; print(time.time())'; }
since() { python3 -c "import sys,time; print('%.3f' % (time.time() - float(sys.argv[1])))" "$1"; }
verdict() { python3 -c "import sys; v,t=float(sys.argv[1]),float(sys.argv[2]); print('PASS' if v<=t else 'MISS')" "$1" "$2"; }
ratio() { python3 -c "import sys; print('%.2f' % (float(sys.argv[1]) / float(sys.argv[2])))" "$1" "$2"; }

scratch="$data/scratch"
rm -rf "$scratch"
mkdir -p "$scratch"
sync

# The peer: a plain durable copy of the same home.
start=$(now); cp -a "$data/home" "$scratch/copy"; sync; cp_s=$(since "$start")
rm -rf "$scratch/copy"; sync

start=$(now)
set -- $("$backup" "$data/home" "$scratch/remote" "$scratch/work")
sync
full_s=$(since "$start"); rss=$4
echo "full backup: ours ${full_s}s (${rss} MB peak), cp -a + sync ${cp_s}s" >&2
r=$(ratio "$full_s" "$cp_s")
echo "BENCH backup_full_vs_cp $r ratio target <= 2.5 $(verdict "$r" 2.5)"
echo "BENCH backup_peak_rss_mb $rss MB target <= 150 $(verdict "$rss" 150)"

# The command on the same first backup, each run from an empty remote and fresh temporary and
# state folders. The disk slows down over a run of many-GiB writes, so the two paths alternate
# (library, command, command, library) and the sums are compared.
cli="$build/hosts/cli/tessellon"
if [ -x "$cli" ]; then
  library_run() {
    rm -rf "$scratch/remote-x" "$scratch/work-x"; sync
    start=$(now)
    "$backup" "$data/home" "$scratch/remote-x" "$scratch/work-x" >/dev/null
    sync; since "$start"
  }
  command_run() {
    rm -rf "$scratch/remote-x" "$scratch/work-x"
    mkdir -p "$scratch/remote-x" "$scratch/work-x/tmp" "$scratch/work-x/config"; sync
    start=$(now)
    TMPDIR="$scratch/work-x/tmp" XDG_CONFIG_HOME="$scratch/work-x/config" "$cli" backup -q \
      --remote "$scratch/remote-x" --pictures "$data/home/Pictures" --movies "$data/home/Movies" \
      --only images,videos
    sync; since "$start"
  }
  lib1=$(library_run); cli1=$(command_run); cli2=$(command_run); lib2=$(library_run)
  rm -rf "$scratch/remote-x" "$scratch/work-x"
  echo "full backup: tessellon backup ${cli1}s ${cli2}s, the library path ${lib1}s ${lib2}s" >&2
  r=$(python3 -c "import sys; a,b,c,d=map(float,sys.argv[1:]); print('%.2f' % ((b+c)/(a+d)))" \
    "$lib1" "$cli1" "$cli2" "$lib2")
  echo "BENCH cli_backup_overhead $r ratio target <= 1.05 $(verdict "$r" 1.05)"
fi

set -- $("$backup" "$data/home" "$scratch/remote" "$scratch/work")
echo "BENCH backup_nochange_s $2 s target <= 0.3 $(verdict "$2" 0.3)"
rm -rf "$scratch/remote" "$scratch/work"

"$backup" "$data/many" "$scratch/remote-many" "$scratch/work-many" >/dev/null
# Three alternating pairs on the same warm tree, compared by their medians: one pair alone reads
# whatever the shared machine was doing at that moment.
timed_find() { "$(dirname "$0")/timed-run" find "$data/many/Pictures" -type f -printf '%s %T@\n'; }
timed_find >/dev/null
finds=""; ours=""; rss_many=0
for pair in 1 2 3; do
  finds="$finds $(timed_find)"
  set -- $("$backup" "$data/many" "$scratch/remote-many" "$scratch/work-many")
  ours="$ours $2"
  rss_many=$(python3 -c "import sys; print(max(map(float, sys.argv[1:])))" "$rss_many" "$4")
done
median() { python3 -c "import sys; v=sorted(map(float,sys.argv[1:])); print(v[len(v)//2])" "$@"; }
find_s=$(median $finds); ours_s=$(median $ours)
echo "nothing changed, 100,000 files: ours${ours}s, find${finds}s (medians ${ours_s}s, ${find_s}s)" >&2
r=$(ratio "$ours_s" "$find_s")
echo "BENCH backup_nochange_many_vs_find $r ratio target <= 3 $(verdict "$r" 3)"
# The largest of the three runs' peaks: the record and this scan of 100,000 items, and a listing.
echo "BENCH backup_nochange_many_peak_rss_mb $rss_many MB target < 100 $(verdict "$rss_many" 99.99)"
rm -rf "$scratch"
