#!/bin/sh
# What keeping earlier versions on the remote costs, through the `tessellon` command on the folder
# remote, on a home generated once under $TESSELLON_BENCH_DATA (default /tmp/tessellon-bench-data):
# 2,000 cards, 500 events and 2,000 small photos.
#   history_cost_nochange: a backup with nothing changed, history kept (30 days) / none kept.
#   restore_as_of_vs_restore: a restore as of a date before the last backup / a restore of today's.
# Each pair of runs alternates, and the medians of five are compared: the machine is shared.
# Usage: bench/compare-history.sh <build folder>
set -eu
build=${1:-${TESSELLON_BUILD_DIR:-}}
cli="$build/hosts/cli/tessellon"
[ -x "$cli" ] || { echo "build tessellon_cli first" >&2; exit 1; }
data=${TESSELLON_BENCH_DATA:-/tmp/tessellon-bench-data}
home="$data/history-home"

python3 - "$home" <<'PY'
import os, random, sys
home = sys.argv[1]
if not os.path.exists(home + ".done"):
    rng = random.Random(5)
    book = os.path.join(home, "contacts", "People")
    os.makedirs(book, exist_ok=True)
    for n in range(2000):
        with open(os.path.join(book, "c%04d.vcf" % n), "w", newline="") as out:
            out.write("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:c%04d\r\nFN:Person %04d\r\n"
                      "N:%04d;Person;;;\r\nTEL:+41 44 %07d\r\nEMAIL:p%04d@example.org\r\n"
                      "END:VCARD\r\n" % (n, n, n, rng.randrange(10**7), n))
    cal = os.path.join(home, "calendars", "Work")
    os.makedirs(cal, exist_ok=True)
    for n in range(500):
        with open(os.path.join(cal, "e%04d.ics" % n), "w", newline="") as out:
            out.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//EN\r\nBEGIN:VEVENT\r\n"
                      "UID:e%04d\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:202602%02dT%02d0000Z\r\n"
                      "SUMMARY:Meeting %d\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n"
                      % (n, 1 + n % 28, n % 24, n))
    for n in range(2000):
        path = os.path.join(home, "Pictures", "p%02d" % (n // 100), "IMG_%04d.jpg" % n)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(os.urandom(rng.randint(4, 64) * 1024))
    os.makedirs(os.path.join(home, "Movies"), exist_ok=True)
    open(home + ".done", "w").close()
PY

verdict() { python3 -c "import sys; v,t=float(sys.argv[1]),float(sys.argv[2]); print('PASS' if v<=t else 'MISS')" "$1" "$2"; }
median() { python3 -c "import sys; v=sorted(map(float,sys.argv[1:])); print(v[len(v)//2])" "$@"; }
ratio() { python3 -c "import sys; print('%.2f' % (float(sys.argv[1]) / float(sys.argv[2])))" "$1" "$2"; }

scratch="$data/scratch-history"
rm -rf "$scratch"
mkdir -p "$scratch/remote" "$scratch/tmp" "$scratch/config" "$scratch/data"
folders="--remote $scratch/remote --pictures $home/Pictures --movies $home/Movies --contacts $home/contacts --calendars $home/calendars"
tessellon() {
  env HOME="$scratch" TMPDIR="$scratch/tmp" XDG_CONFIG_HOME="$scratch/config" \
    XDG_DATA_HOME="$scratch/data" "$cli" "$@"
}
timed() {
  env HOME="$scratch" TMPDIR="$scratch/tmp" XDG_CONFIG_HOME="$scratch/config" \
    XDG_DATA_HOME="$scratch/data" "$(dirname "$0")/timed-run" "$cli" "$@"
}

# shellcheck disable=SC2086
tessellon backup -q $folders
on=""; off=""
for pair in 1 2 3 4 5; do
  # shellcheck disable=SC2086
  on="$on $(timed backup -q --keep-history 30 $folders)"
  # shellcheck disable=SC2086
  off="$off $(timed backup -q --keep-history 0 $folders)"
done
on_s=$(median $on); off_s=$(median $off)
echo "nothing changed: history kept${on}s, none kept${off}s (medians ${on_s}s, ${off_s}s)" >&2
r=$(ratio "$on_s" "$off_s")
echo "BENCH history_cost_nochange $r ratio target <= 1.05 $(verdict "$r" 1.05)"

# A date, then a backup that removes cards and photos: the restore as of the date reads the
# records and those files from the history.
sleep 0.01
then=$(date -u +%Y-%m-%dT%H:%M:%S.%3NZ)
sleep 0.01
mkdir -p "$scratch/removed"
mv "$home/contacts/People/c00"* "$home/Pictures/p00" "$scratch/removed/"
# shellcheck disable=SC2086
tessellon backup -q --prune --allow-large-removal $folders
mv "$scratch/removed/p00" "$home/Pictures/"
mv "$scratch/removed/"c00* "$home/contacts/People/"
restore_into() {
  rm -rf "$scratch/out"
  echo "--pictures $scratch/out/Pictures --movies $scratch/out/Movies --contacts $scratch/out/contacts --calendars $scratch/out/calendars --remote $scratch/remote"
}
now_runs=""; asof_runs=""
for pair in 1 2 3 4 5; do
  # shellcheck disable=SC2086
  now_runs="$now_runs $(timed restore -q $(restore_into))"
  # shellcheck disable=SC2086
  asof_runs="$asof_runs $(timed restore -q --as-of "$then" $(restore_into))"
done
# The last restore was as of the date: it brought back what the backup after it removed.
[ "$(find "$scratch/out/Pictures" -type f | wc -l)" -eq 2000 ] ||
  { echo "the restore as of $then lacks photos" >&2; exit 1; }
now_s=$(median $now_runs); asof_s=$(median $asof_runs)
echo "restore: as of a date${asof_runs}s, today's${now_runs}s (medians ${asof_s}s, ${now_s}s)" >&2
r=$(ratio "$asof_s" "$now_s")
echo "BENCH restore_as_of_vs_restore $r ratio target <= 1.2 $(verdict "$r" 1.2)"
rm -rf "$scratch"
