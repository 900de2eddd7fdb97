#!/bin/sh
# Media scans against their floor, on data generated once under $TESSELLON_BENCH_DATA (default
# /tmp/tessellon-bench-data):
#   preview_scan_vs_find: our preview scan of 100,000 small files in 1,000 folders against
#     find -printf of size and date; also its peak memory per item.
#   fingerprint_vs_reference: fingerprinting 3,000 photos of 0.2 to 6 MiB with an empty cache
#     against a program that only preads the three sample windows and MD5s them.
# Both sides run warm (the data is read once before either is timed).
# Usage: bench/compare-media.sh <build folder>
set -eu
build=${1:-${TESSELLON_BUILD_DIR:-}}
scan="$build/bench/tessellon_bench_media_scan"
reference="$build/bench/tessellon_bench_fingerprint_reference"
[ -x "$scan" ] && [ -x "$reference" ] || { echo "build the media benchmarks first" >&2; exit 1; }
data=${TESSELLON_BENCH_DATA:-/tmp/tessellon-bench-data}

python3 - "$data" <<'PY'
import os, random, sys
data = sys.argv[1]
small = os.path.join(data, "preview", "Pictures")
if not os.path.exists(os.path.join(data, "preview.done")):
    for d in range(1000):
        folder = os.path.join(small, "d%03d" % d)
        os.makedirs(folder, exist_ok=True)
        for f in range(100):
            with open(os.path.join(folder, "f%03d.jpg" % f), "wb") as out:
                out.write(os.urandom(64 + (d * 100 + f) % 200))
    open(os.path.join(data, "preview.done"), "w").close()
large = os.path.join(data, "photos", "Pictures")
if not os.path.exists(os.path.join(data, "photos.done")):
    rng = random.Random(7)
    for n in range(3000):
        folder = os.path.join(large, "p%02d" % (n // 100))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "IMG_%04d.jpg" % n), "wb") as out:
            out.write(os.urandom(rng.randint(200 * 1024, 6 * 1024 * 1024)))
    open(os.path.join(data, "photos.done"), "w").close()
PY

ratio() { python3 -c "import sys; a,b,t=map(float,sys.argv[1:]); r=a/b; print('%.2f %s' % (r, 'PASS' if r<=t else 'MISS'))" "$@"; }

# Preview scan against find, both warm, in three alternating pairs compared by their medians.
timed_find() { "$(dirname "$0")/timed-run" find "$data/preview/Pictures" -type f -printf '%s %T@\n'; }
median() { python3 -c "import sys; v=sorted(map(float,sys.argv[1:])); print(v[len(v)//2])" "$@"; }
timed_find >/dev/null
finds=""; scans=""
for pair in 1 2 3; do
  finds="$finds $(timed_find)"
  tmp=$(mktemp -d)
  set -- $("$scan" preview "$data/preview" "$tmp")
  scans="$scans $2"; items=$3; per_item=$4
  rm -rf "$tmp"
done
find_s=$(median $finds); ours_s=$(median $scans)
set -- $(ratio "$ours_s" "$find_s" 3)
echo "preview: ours${scans}s for $items items, find${finds}s (medians ${ours_s}s, ${find_s}s)" >&2
echo "BENCH preview_scan_vs_find $1 ratio target <= 3 $2"
memory=$(python3 -c "print('PASS' if $per_item <= 1024 else 'MISS')")
echo "BENCH preview_scan_peak_memory_per_item $per_item bytes target <= 1024 $memory"

# Fingerprints with an empty cache against the bare window reads; the cache is in a new folder.
find "$data/photos/Pictures" -name '*.jpg' | sort >"$data/photos.list"
"$reference" <"$data/photos.list" >/dev/null
# Three alternating pairs compared by their medians, as for the scan: one pair is a tenth of a
# second and reads whatever the shared machine was doing then.
ours=""; references=""
for pair in 1 2 3; do
  tmp=$(mktemp -d)
  set -- $("$scan" fingerprint "$data/photos" "$tmp")
  ours="$ours $2"
  rm -rf "$tmp"
  set -- $("$reference" <"$data/photos.list")
  references="$references $2"
done
ours_s=$(median $ours); reference_s=$(median $references)
set -- $(ratio "$ours_s" "$reference_s" 1.5)
echo "fingerprint: ours${ours}s, reference${references}s (medians ${ours_s}s, ${reference_s}s)" >&2
echo "BENCH fingerprint_vs_reference $1 ratio target <= 1.5 $2"
