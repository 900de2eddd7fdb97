#!/bin/sh
# Backups and restores over the network remotes beside rclone copy to the same servers, in the same
# run, on loopback: Apache httpd with mod_dav and a one-node Ceph RADOS Gateway, both started here
# with fresh state and stopped by process id at the end. The data: about 1 GiB of photos (0.2 to 6
# MiB) and one 200 MiB video, generated once under $TESSELLON_BENCH_DATA.
#   backup_webdav_vs_rclone, backup_s3_vs_rclone: a first backup / rclone copy (4 transfers each).
#   restore_webdav_vs_rclone, restore_s3_vs_rclone: a restore into an empty home / rclone copy back.
#   backup_remote_peak_rss_mb: the largest peak memory of the command in those runs.
# Usage: bench/compare-remotes.sh <build folder>
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
mkdir "$scratch/dav/ours" "$scratch/dav/peer"
[ "$(id -u)" -eq 0 ] && chown www-data: "$scratch/dav/ours" "$scratch/dav/peer"
export RCLONE_CONFIG_DAV_TYPE=webdav RCLONE_CONFIG_DAV_URL="http://127.0.0.1:$dav_port"
export RCLONE_CONFIG_DAV_VENDOR=other
export RCLONE_CONFIG_CEPH_TYPE=s3 RCLONE_CONFIG_CEPH_PROVIDER=Ceph
export RCLONE_CONFIG_CEPH_ENDPOINT="$AWS_ENDPOINT_URL" RCLONE_CONFIG_CEPH_ENV_AUTH=true

# Wall seconds and the peak memory (MB) of a command.
measured() {
  python3 -c '
import resource, subprocess, sys, time
start = time.time()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, check=True)
print("%.3f %d" % (time.time() - start, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss // 1024))
' "$@"
}
ratio() { python3 -c "import sys; print('%.2f' % (float(sys.argv[1]) / float(sys.argv[2])))" "$1" "$2"; }
verdict() { python3 -c "import sys; print('PASS' if float(sys.argv[1]) <= float(sys.argv[2]) else 'MISS')" "$1" "$2"; }
home="$data/remote-home"
peak=0
for kind in webdav s3; do
  if [ $kind = webdav ]; then
    ours="dav://127.0.0.1:$dav_port/ours" peer="dav:peer"
  else
    ours="s3://ours/backups" peer="ceph:peer"
  fi
  run="$scratch/$kind"
  mkdir -p "$run"
  set -- env TMPDIR="$run/tmp" XDG_CONFIG_HOME="$run/config" XDG_DATA_HOME="$run/data" "$cli"
  sync
  read -r ours_s ours_rss <<EOF2
$(measured "$@" backup -q --remote "$ours" --only images,videos --pictures "$home/Pictures" --movies "$home/Movies")
EOF2
  read -r peer_s _ <<EOF2
$(measured rclone copy --transfers 4 "$home" "$peer/home")
EOF2
  r=$(ratio "$ours_s" "$peer_s")
  echo "$kind backup: ours ${ours_s}s (${ours_rss} MB peak), rclone copy ${peer_s}s" >&2
  echo "BENCH backup_${kind}_vs_rclone $r ratio target <= 1.0 $(verdict "$r" 1.0)"
  [ "$ours_rss" -gt "$peak" ] && peak=$ours_rss
  read -r ours_s ours_rss <<EOF2
$(measured "$@" restore -q --remote "$ours" --only images,videos --pictures "$run/back/Pictures" --movies "$run/back/Movies")
EOF2
  read -r peer_s _ <<EOF2
$(measured rclone copy --transfers 4 "$peer/home" "$run/peer-back")
EOF2
  r=$(ratio "$ours_s" "$peer_s")
  echo "$kind restore: ours ${ours_s}s (${ours_rss} MB peak), rclone copy ${peer_s}s" >&2
  echo "BENCH restore_${kind}_vs_rclone $r ratio target <= 1.0 $(verdict "$r" 1.0)"
  [ "$ours_rss" -gt "$peak" ] && peak=$ours_rss
  diff -r "$home/Pictures" "$run/back/Pictures" >/dev/null || echo "$kind: the restored pictures differ" >&2
done
echo "BENCH backup_remote_peak_rss_mb $peak MB target < 150 $(verdict "$peak" 149.99)"
