#!/usr/bin/env bash
# Downloads a 256 MiB file from a native nginx on 127.0.0.1 with our three downloaders (under
# Wine), native curl and aria2c -x2 -s2; unthrottled and at 20 MiB/s per connection. Unthrottled
# it also measures the ceiling Wine sets (one bare Winsock connection: receive only, then also
# WriteFile, then also MD5; a bare libcurl handle) and native md5sum over the cached file. Prints
# the median of 3 runs in MB/s (10^6 bytes per second), the ratios to curl and aria2c, and the
# peak working set of our process. Stops everything it started, also on failure.
#   VLM_BUILD=<build folder> (default build-bench, build-bench-x64 for the twin)
#   BENCH_RUNS=3  BENCH_SIZE_MIB=256  VLM_ARCH=i686|x86_64 (default: what the host runs)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BENCH_BUILD=${VLM_BUILD:-}
source "$ROOT/scripts/lib.sh"

RUNS=${BENCH_RUNS:-3}
SIZE_MIB=${BENCH_SIZE_MIB:-256}
DATA="$VLM_BUILD/bench-download"
NGINX_PID=""

cleanup() {
  if [ -n "$NGINX_PID" ]; then
    kill "$NGINX_PID" 2>/dev/null || true
    wait "$NGINX_PID" 2>/dev/null || true
    NGINX_PID=""
  fi
  vlm_stop
  rm -rf "$DATA/out"
}
trap cleanup EXIT

need=()
command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || need+=(nginx-light)
command -v aria2c >/dev/null || need+=(aria2)
if [ ${#need[@]} -gt 0 ]; then
  echo "== installing ${need[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi
NGINX=$(command -v nginx || echo /usr/sbin/nginx)

vlm_prepare >/dev/null
arch=$(vlm_default_arch)
vlm_use_arch "$arch" "${BENCH_BUILD:-$ROOT/build-bench$([ "$arch" = x86_64 ] && echo -x64)}"
echo "== benchmarking $(vlm_describe_build)"
VLM_TARGETS="vlm_download_bench vlm_socket_bench" vlm_build >/dev/null
vlm_wine_prefix
vlm_start_wineserver

mkdir -p "$DATA/out" "$DATA/tmp"
if [ ! -f "$DATA/bench.bin" ] || [ "$(stat -c %s "$DATA/bench.bin")" -ne $((SIZE_MIB * 1048576)) ]; then
  echo "== making a ${SIZE_MIB} MiB package"
  head -c $((SIZE_MIB * 1048576)) /dev/urandom >"$DATA/bench.bin"
fi
MD5=$(md5sum "$DATA/bench.bin" | cut -d' ' -f1)
rm -rf "$DATA/files"
mkdir -p "$DATA/files/$MD5"
ln -f "$DATA/bench.bin" "$DATA/files/$MD5/bench.bin"

PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$DATA/nginx.conf" <<CONF
master_process off;
daemon off;
worker_processes 1;
error_log $DATA/error.log warn;
pid $DATA/nginx.pid;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  client_body_temp_path $DATA/tmp/body;
  proxy_temp_path $DATA/tmp/proxy;
  fastcgi_temp_path $DATA/tmp/fastcgi;
  uwsgi_temp_path $DATA/tmp/uwsgi;
  scgi_temp_path $DATA/tmp/scgi;
  types { application/octet-stream bin; }
  server {
    listen 127.0.0.1:$PORT;
    location /fast/ { alias $DATA/files/; }
    location /slow/ { alias $DATA/files/; limit_rate 20m; }
  }
}
CONF
"$NGINX" -p "$DATA" -c "$DATA/nginx.conf" -e "$DATA/error.log" &
NGINX_PID=$!
for _ in $(seq 50); do
  curl -sfI "http://127.0.0.1:$PORT/fast/$MD5/bench.bin" >/dev/null 2>&1 && break
  sleep 0.1
done
curl -sfI "http://127.0.0.1:$PORT/fast/$MD5/bench.bin" >/dev/null || { echo "nginx did not come up"; exit 1; }

BYTES=$((SIZE_MIB * 1048576))
OUT="$DATA/out/bench.bin"
OUT_WIN=$(winepath -w "$OUT" 2>/dev/null)
PEAKS="$DATA/out/peaks"
: >"$PEAKS"

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Each prints the seconds of one download.
run_curl() { rm -f "$OUT"; curl -s -o "$OUT" -w '%{time_total}\n' "$1"; }
run_aria2() {
  rm -f "$OUT"
  local t0 t1
  t0=$(date +%s.%N)
  aria2c -q -x2 -s2 --file-allocation=none --allow-overwrite=true -d "$DATA/out" -o bench.bin "$1" >/dev/null
  t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc -l
}
run_ours() {
  rm -f "$OUT"
  local line
  line=$(wine "$VLM_BUILD/bin/vlm_download_bench.exe" "$1" "$2" "$OUT_WIN" 900 </dev/null 2>/dev/null | tr -d '\r')
  case "$line" in *code=1003*) ;; *) echo "our downloader $1 failed: $line" >&2; return 1 ;; esac
  echo "$line" | sed -n 's/.*peak_working_set=\([0-9]*\).*/\1/p' >>"$PEAKS"
  echo "$line" | sed -n 's/.*seconds=\([0-9.]*\).*/\1/p'
}

# The ceiling: the same GET over one Winsock connection (or a bare libcurl handle) under Wine,
# 1 MiB reads like our receive buffer, the body dropped, written or also hashed.
run_socket() { # mode path
  rm -f "$OUT"
  local line
  line=$(wine "$VLM_BUILD/bin/vlm_socket_bench.exe" "$PORT" "$2" "$1" 1024 "$OUT_WIN" </dev/null 2>/dev/null | tr -d '\r')
  case "$line" in *bytes=$BYTES*) ;; *) echo "socket bench $1 failed: $line" >&2; return 1 ;; esac
  echo "$line" | sed -n 's/.*seconds=\([0-9.]*\).*/\1/p'
}
# MD5 alone, natively, over the package already in the page cache.
run_md5sum() {
  local t0 t1
  t0=$(date +%s.%N)
  md5sum "$DATA/bench.bin" >/dev/null
  t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc -l
}

declare -A RESULT
measure() { # name scenario command...
  local name=$1 scenario=$2
  shift 2
  local times=()
  for _ in $(seq "$RUNS"); do
    times+=("$("$@")")
  done
  local med
  med=$(printf '%s\n' "${times[@]}" | median)
  RESULT[$name/$scenario]=$(echo "$BYTES / $med / 1000000" | bc -l)
  printf '   %-22s %-11s runs: %s s -> median %.2f s\n' "$name" "$scenario" "${times[*]}" "$med"
}

for scenario in fast slow; do
  url="http://127.0.0.1:$PORT/$scenario/$MD5/bench.bin"
  echo "== $scenario: $url"
  measure "curl" "$scenario" run_curl "$url"
  measure "aria2c -x2 -s2" "$scenario" run_aria2 "$url"
  measure "single stream (1)" "$scenario" run_ours 1 "$url"
  measure "WinHTTP (2)" "$scenario" run_ours 2 "$url"
  measure "segmented (3)" "$scenario" run_ours 3 "$url"
  if [ "$scenario" = fast ]; then
    path="/fast/$MD5/bench.bin"
    measure "Winsock recv" "$scenario" run_socket recv "$path"
    measure "Winsock+WriteFile" "$scenario" run_socket writefile "$path"
    measure "Winsock+WriteFile+MD5" "$scenario" run_socket writefile+md5 "$path"
    measure "bare libcurl recv" "$scenario" run_socket curl-recv "$path"
    measure "md5sum (native)" "$scenario" run_md5sum
  fi
done

echo
printf '| %-22s | %-12s | %9s | %9s | %10s |\n' "downloader" "case" "MB/s" "× curl" "× aria2c"
printf '|%s|%s|%s|%s|%s|\n' "------------------------" "--------------" "-----------" "-----------" "------------"
CEILING=("Winsock recv" "Winsock+WriteFile" "Winsock+WriteFile+MD5" "bare libcurl recv" "md5sum (native)")
for scenario in fast slow; do
  label=$([ "$scenario" = fast ] && echo unthrottled || echo "20 MiB/s/conn")
  names=("curl" "aria2c -x2 -s2" "single stream (1)" "WinHTTP (2)" "segmented (3)")
  [ "$scenario" = fast ] && names+=("${CEILING[@]}")
  for name in "${names[@]}"; do
    v=${RESULT[$name/$scenario]}
    printf '| %-22s | %-12s | %9.1f | %9.2f | %10.2f |\n' "$name" "$label" "$v" \
      "$(echo "$v / ${RESULT[curl/$scenario]}" | bc -l)" "$(echo "$v / ${RESULT[aria2c -x2 -s2/$scenario]}" | bc -l)"
  done
done
echo
printf 'segmented / single stream at 20 MiB/s per connection: %.2f\n' \
  "$(echo "${RESULT[segmented (3)/slow]} / ${RESULT[single stream (1)/slow]}" | bc -l)"
printf 'single stream / curl unthrottled: %.2f\n' "$(echo "${RESULT[single stream (1)/fast]} / ${RESULT[curl/fast]}" | bc -l)"
printf 'single stream / Winsock+WriteFile+MD5 (one thread, hashing in line): %.2f\n' \
  "$(echo "${RESULT[single stream (1)/fast]} / ${RESULT[Winsock+WriteFile+MD5/fast]}" | bc -l)"
printf 'md5sum alone / curl unthrottled: %.2f\n' "$(echo "${RESULT[md5sum (native)/fast]} / ${RESULT[curl/fast]}" | bc -l)"
printf 'peak working set of our process: %.1f MiB (largest of all runs)\n' \
  "$(sort -g "$PEAKS" | tail -1 | awk '{ print $1 / 1048576 }')"
