#!/bin/sh
# Backups and restores over the network remotes beside rclone copy to the same servers, in the same
# run, on loopback: Apache httpd with mod_dav and a one-node Ceph RADOS Gateway, both started here
# with fresh state and stopped by process id at the end. The data: about 1 GiB of photos (0.2 to 6
# MiB) and one 200 MiB video, generated once under $TESSELLON_BENCH_DATA.
#   backup_webdav_vs_rclone, backup_s3_vs_rclone: a first backup / rclone copy (4 transfers each).
#   restore_webdav_vs_rclone, restore_s3_vs_rclone: a restore into an empty home / rclone copy back.
#   Each is the ratio of the medians of alternating pairs: five backups, three restores.
#   backup_remote_peak_rss_mb: the largest peak memory of the command in those runs.
# Usage: bench/compare-remotes.sh <build folder>  (TESSELLON_BENCH_REMOTES="s3" runs one remote)
set -eu
build=${1:-${TESSELLON_BUILD_DIR:-}}
cli="$build/hosts/cli/tessellon"
[ -x "$cli" ] || { echo "build tessellon_cli first" >&2; exit 1; }
command -v rclone >/dev/null || { echo "install rclone (scripts/install-deps --bench)" >&2; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
data=${TESSELLON_BENCH_DATA:-/tmp/tessellon-bench-data}
for name in $(env | sed -n 's/^\(AWS_[A-Za-z0-9_]*\)=.*/\1/p'); do unset "$name"; done

python3 - "$data" <<'PY'
import os, random, sys
data = sys.argv[1]
home = os.path.join(data, "remote-home")
if not os.path.exists(os.path.join(data, "remote-home.done")):
    rng = random.Random(19)
    chunk = os.urandom(1 << 20)
    def write(path, size):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            while size > 0:
                piece = os.urandom(64 * 1024) + chunk[: (1 << 20) - 64 * 1024]
                out.write(piece[: min(size, len(piece))])
                size -= len(piece)
    total, n = 0, 0
    while total < (1 << 30):
        kind = rng.random()
        low, high = (0.2, 0.6) if kind < 0.5 else (0.6, 4.0) if kind < 0.9 else (4.0, 6.0)
        size = int(rng.uniform(low, high) * (1 << 20))
        write(os.path.join(home, "Pictures", "p%02d" % (n // 100), "IMG_%04d.jpg" % n), size)
        total, n = total + size, n + 1
    write(os.path.join(home, "Movies", "clip.mp4"), 200 << 20)
    open(os.path.join(data, "remote-home.done"), "w").close()
PY

scratch="$data/remote-scratch"
rm -rf "$scratch"
mkdir -p "$scratch/dav" "$scratch/lock" "$scratch/run"
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
dav_port=$(free_port)
user=""
if [ "$(id -u)" -eq 0 ]; then
  chmod 755 "$scratch"; chown www-data: "$scratch/dav" "$scratch/lock" "$scratch/run"
  user="User www-data
Group www-data"
fi
cat >"$scratch/httpd.conf" <<CONF
ServerRoot /etc/apache2
LoadModule mpm_event_module /usr/lib/apache2/modules/mod_mpm_event.so
LoadModule authz_core_module /usr/lib/apache2/modules/mod_authz_core.so
LoadModule dav_module /usr/lib/apache2/modules/mod_dav.so
LoadModule dav_fs_module /usr/lib/apache2/modules/mod_dav_fs.so
LoadModule dir_module /usr/lib/apache2/modules/mod_dir.so
$user
Listen 127.0.0.1:$dav_port
ServerName 127.0.0.1
DefaultRuntimeDir $scratch/run
PidFile $scratch/run/httpd.pid
ErrorLog $scratch/error.log
DavLockDB $scratch/lock/DavLock
LimitRequestBody 0
DocumentRoot $scratch/dav
<Directory $scratch/dav>
  Dav On
  Require all granted
</Directory>
CONF
/usr/sbin/apache2 -f "$scratch/httpd.conf" -k start
rgw_port=$(free_port)
mon_port=$(free_port)
"$here/../tests/servers/start-ceph-gateway" "$scratch/ceph" "$mon_port" "$rgw_port" $$ \
  >"$scratch/ceph.log" 2>&1
stop_servers() {
  kill "$(cat "$scratch/run/httpd.pid")" 2>/dev/null || true
  for pid in $(cat "$scratch/ceph/pids" 2>/dev/null); do kill "$pid" 2>/dev/null || true; sleep 1; done
  rm -rf "$scratch"
}
trap stop_servers EXIT
keys=$(python3 -c "import json,sys; k=json.load(open(sys.argv[1]))['keys'][0]; print(k['access_key'], k['secret_key'])" "$scratch/ceph/user.json")
export AWS_ACCESS_KEY_ID="${keys% *}" AWS_SECRET_ACCESS_KEY="${keys#* }"
export AWS_ENDPOINT_URL="http://127.0.0.1:$rgw_port"
printf 'user = "%s:%s"\n' "$AWS_ACCESS_KEY_ID" "$AWS_SECRET_ACCESS_KEY" >"$scratch/curl.conf"
for bucket in ours peer; do
  curl -sf -K "$scratch/curl.conf" --aws-sigv4 aws:amz:us-east-1:s3 \
    -H x-amz-content-sha256:UNSIGNED-PAYLOAD -X PUT "$AWS_ENDPOINT_URL/$bucket" >/dev/null
done
# A fresh gateway makes its data pools at the first object written and its multipart pool at the
# first multipart upload, a second or more each, once: warm it up so that whichever run comes first
# does not pay for that. rclone sends a 200 MiB file in one PUT; the command uses multipart above
# 64 MiB, so only the command's first run would pay for the second pool.
s3() { curl -sf -K "$scratch/curl.conf" --aws-sigv4 aws:amz:us-east-1:s3 -H x-amz-content-sha256:UNSIGNED-PAYLOAD "$@"; }
for bucket in ours peer; do
  s3 -X PUT --data-binary warm "$AWS_ENDPOINT_URL/$bucket/warm-up" >/dev/null
  s3 -X DELETE "$AWS_ENDPOINT_URL/$bucket/warm-up" >/dev/null
  upload=$(s3 -X POST "$AWS_ENDPOINT_URL/$bucket/warm-up?uploads=" | sed -n 's:.*<UploadId>\(.*\)</UploadId>.*:\1:p')
  s3 -X DELETE "$AWS_ENDPOINT_URL/$bucket/warm-up?uploadId=$upload" >/dev/null
done
mkdir "$scratch/dav/ours" "$scratch/dav/peer"
[ "$(id -u)" -eq 0 ] && chown www-data: "$scratch/dav/ours" "$scratch/dav/peer"
: >"$scratch/rclone.conf"
export RCLONE_CONFIG="$scratch/rclone.conf"
export RCLONE_CONFIG_DAV_TYPE=webdav RCLONE_CONFIG_DAV_URL="http://127.0.0.1:$dav_port"
export RCLONE_CONFIG_DAV_VENDOR=other
export RCLONE_CONFIG_CEPH_TYPE=s3 RCLONE_CONFIG_CEPH_PROVIDER=Ceph
export RCLONE_CONFIG_CEPH_ENDPOINT="$AWS_ENDPOINT_URL" RCLONE_CONFIG_CEPH_ENV_AUTH=true

# Wall seconds, peak memory (MB) and processor seconds (user and system) of a command.
measured() {
  python3 -c '
import resource, subprocess, sys, time
start = time.time()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, check=True)
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
print("%.3f %d %.1f" % (time.time() - start, usage.ru_maxrss // 1024, usage.ru_utime + usage.ru_stime))
' "$@"
}
ratio() { python3 -c "import sys; print('%.2f' % (float(sys.argv[1]) / float(sys.argv[2])))" "$1" "$2"; }
verdict() { python3 -c "import sys; print('PASS' if float(sys.argv[1]) <= float(sys.argv[2]) else 'MISS')" "$1" "$2"; }
home="$data/remote-home"
median() { python3 -c "import sys; v=sorted(map(float,sys.argv[1:])); print(v[len(v)//2])" "$@"; }
# Alternating pairs per comparison, by their medians: one pair alone reads whatever the
# shared machine (and the gateway's first writes) did at that moment. Every run writes to a fresh
# place, and each of our backups keeps its own state, so none finds a cache of an earlier one.
peak=0
for kind in ${TESSELLON_BENCH_REMOTES:-webdav s3}; do
  run="$scratch/$kind"
  mkdir -p "$run"
  ours_of() {
    if [ $kind = webdav ]; then echo "dav://127.0.0.1:$dav_port/ours-$1"; else echo "s3://ours/backups-$1"; fi
  }
  peer_of() { if [ $kind = webdav ]; then echo "dav:peer/home-$1"; else echo "ceph:peer/home-$1"; fi; }
  # The command with the state of pair $1.
  ours_env() {
    echo "TMPDIR=$run/$1/tmp XDG_CONFIG_HOME=$run/$1/config XDG_DATA_HOME=$run/$1/data"
  }
  our_backup() {
    if [ $kind = webdav ]; then
      mkdir "$scratch/dav/ours-$1"
      [ "$(id -u)" -eq 0 ] && chown www-data: "$scratch/dav/ours-$1"
    fi
    mkdir -p "$run/$1"
    measured env $(ours_env "$1") "$cli" backup -q --remote "$(ours_of "$1")" --only images,videos \
      --pictures "$home/Pictures" --movies "$home/Movies"
  }
  # Each restore reads the first backup, into a fresh home.
  our_restore() {
    measured env $(ours_env 1) "$cli" restore -q --remote "$(ours_of 1)" --only images,videos \
      --pictures "$run/back-$1/Pictures" --movies "$run/back-$1/Movies"
  }
  peer_backup() { measured rclone copy --transfers 4 "$home" "$(peer_of "$1")"; }
  peer_restore() { measured rclone copy --transfers 4 "$(peer_of 1)" "$run/peer-back-$1"; }
  # One comparison's pair: our run and rclone's, in the order given.
  run_pair() {
    step=$1 pair=$2 first=$3
    if [ $first = ours ]; then
      set -- $(our_$step $pair); ours_s=$1 ours_rss=$2 ours_cpu=$3
      set -- $(peer_$step $pair); peer_s=$1 peer_cpu=$3
    else
      set -- $(peer_$step $pair); peer_s=$1 peer_cpu=$3
      set -- $(our_$step $pair); ours_s=$1 ours_rss=$2 ours_cpu=$3
    fi
    [ "$ours_rss" -gt "$peak" ] && peak=$ours_rss
    echo "$kind $step pair $pair: seconds ours $ours_s, rclone $peer_s; cpu seconds ours $ours_cpu, rclone $peer_cpu" >&2
    case $step in
      backup) backup_ours="$backup_ours $ours_s" backup_peer="$backup_peer $peer_s" ;;
      restore) restore_ours="$restore_ours $ours_s" restore_peer="$restore_peer $peer_s" ;;
    esac
  }
  report() {
    ours_times=$2 peer_times=$3
    ours_s=$(median $ours_times) peer_s=$(median $peer_times)
    r=$(ratio "$ours_s" "$peer_s")
    echo "$kind $1: ours$ours_times s, rclone copy$peer_times s (medians $ours_s, $peer_s)" >&2
    echo "BENCH ${1}_${kind}_vs_rclone $r ratio target <= 1.0 $(verdict "$r" 1.0)"
  }
  # The gateway's in-memory store holds 4 GiB: the first pair's copies stay for the restores, and
  # every later copy is removed as soon as its run has been timed. The gateway frees the tails of
  # large objects only when its garbage collector runs (hours later by default): run it now, before
  # the next pair, so that neither the store fills nor the collector runs during a timed run.
  remove_pair() {
    if [ $kind = s3 ]; then
      rclone purge "ceph:ours/backups-$1" && rclone purge "$(peer_of "$1")"
      radosgw-admin -c "$scratch/ceph/ceph.conf" -n client.rgw gc process --include-all >/dev/null 2>&1
    else
      rm -rf "$scratch/dav/ours-$1" "$scratch/dav/peer/home-$1"
    fi
  }
  backup_ours="" backup_peer="" restore_ours="" restore_peer=""
  sync
  run_pair backup 1 ours
  for pair in 1 2 3; do
    sync
    if [ $pair = 2 ]; then run_pair restore $pair peer; else run_pair restore $pair ours; fi
  done
  remove_pair 1
  sync
  for pair in 2 3 4 5; do
    if [ $((pair % 2)) = 0 ]; then run_pair backup $pair peer; else run_pair backup $pair ours; fi
    remove_pair $pair
    sync
  done
  report backup "$backup_ours" "$backup_peer"
  report restore "$restore_ours" "$restore_peer"
  for pair in 1 2 3; do
    diff -r "$home/Pictures" "$run/back-$pair/Pictures" >/dev/null ||
      echo "$kind: the pictures of restore $pair differ" >&2
  done
done
echo "BENCH backup_remote_peak_rss_mb $peak MB target < 150 $(verdict "$peak" 149.99)"
