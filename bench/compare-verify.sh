#!/bin/sh
# `tessellon verify` of stored backups beside a peer that only reads the same remote, on the data
# bench/compare-backup.sh generates under $TESSELLON_BENCH_DATA (default /tmp/tessellon-bench-data;
# run it first, or this script runs it):
#   verify_many_vs_find: the backup of 100,000 small files checked for presence and size, against
#     find -printf of the remote's sizes and dates.
#   verify_read_data_vs_cat: the ~4 GiB backup of photos and videos read back and compared with
#     their checksums (verify --read-data), against cat of the same remote files to /dev/null.
# Both take the medians of three alternating pairs on a warm remote.
# Usage: bench/compare-verify.sh <build folder>
set -eu
build=${1:-${TESSELLON_BUILD_DIR:-}}
backup="$build/bench/tessellon_bench_backup"
cli="$build/hosts/cli/tessellon"
[ -x "$backup" ] || { echo "build tessellon_bench_backup first" >&2; exit 1; }
[ -x "$cli" ] || { echo "build the tessellon command first" >&2; exit 1; }
bench_dir=$(cd "$(dirname "$0")" && pwd)
data=${TESSELLON_BENCH_DATA:-/tmp/tessellon-bench-data}
if [ ! -f "$data/home.done" ] || [ ! -f "$data/many.done" ]; then
  echo "compare-verify: generating the data through compare-backup.sh" >&2
  sh "$bench_dir/compare-backup.sh" "$build" >&2
fi

scratch="$data/scratch-verify"
rm -rf "$scratch"
mkdir -p "$scratch/tmp" "$scratch/config"

verdict() { python3 -c "import sys; v,t=float(sys.argv[1]),float(sys.argv[2]); print('PASS' if v<=t else 'MISS')" "$1" "$2"; }
ratio() { python3 -c "import sys; print('%.2f' % (float(sys.argv[1]) / float(sys.argv[2])))" "$1" "$2"; }
median() { python3 -c "import sys; v=sorted(map(float,sys.argv[1:])); print(v[len(v)//2])" "$@"; }
# The command over a remote with one device, the backup this computer made; it must find it whole.
timed_verify() {
  remote=$1
  shift
  TMPDIR="$scratch/tmp" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" \
    "$bench_dir/timed-run" "$cli" verify -q --remote "$remote" "$@"
}
# compare <name> <target> <peer command...>: three alternating pairs of the peer and `verify_args`.
compare() {
  name=$1 target=$2
  shift 2
  "$@" >/dev/null
  peers="" ours=""
  for pair in 1 2 3; do
    peers="$peers $("$bench_dir/timed-run" "$@")"
    # shellcheck disable=SC2086
    ours="$ours $(timed_verify "$remote_under_test" $verify_args)"
  done
  peer_s=$(median $peers)
  ours_s=$(median $ours)
  echo "$name: ours${ours}s, peer${peers}s (medians ${ours_s}s, ${peer_s}s)" >&2
  r=$(ratio "$ours_s" "$peer_s")
  echo "BENCH $name $r ratio target <= $target $(verdict "$r" "$target")"
}

"$backup" "$data/many" "$scratch/remote-many" "$scratch/work-many" >/dev/null
remote_under_test="$scratch/remote-many" verify_args=""
compare verify_many_vs_find 3 find "$scratch/remote-many" -type f -printf '%s %T@\n'
rm -rf "$scratch/remote-many" "$scratch/work-many"

"$backup" "$data/home" "$scratch/remote" "$scratch/work" >/dev/null
device=$(ls "$scratch/remote")
remote_under_test="$scratch/remote" verify_args="--read-data"
compare verify_read_data_vs_cat 1.5 \
  find "$scratch/remote/$device/images" "$scratch/remote/$device/videos" -type f -exec cat {} +
rm -rf "$scratch"
