#!/usr/bin/env bash
# Downloads a 256 MiB file from a native nginx on 127.0.0.1 with our three downloaders (under
# Wine), native curl and aria2c -x2 -s2 unthrottled, and a 64 MiB one at 4 MB/s per connection
# (where two ranges should take half the time of one). Unthrottled it also measures the
# ceiling Wine sets (one bare Winsock connection: receive only, then also WriteFile, then also
# MD5; a bare libcurl handle; a bare WinHTTP read loop, also with WriteFile and MD5) and native
# md5sum over the cached file. Then it runs the install pipeline to the package's start (a trivial
# package with a 128 MiB payload) beside native curl -o + md5sum. Prints medians (best of the
# runs for the pipeline) in MB/s (10^6 bytes per second), the ratios, and the peak working set
# of our process. With BENCH_BASE=<commit> the same bench programs are also built on that
# commit's code and run alternately with ours, so before and after come from one run. Our
# programs run stripped, as the installer ships. Stops everything it started, also on failure.
#   VLM_BUILD=<build folder> (default build-bench, build-bench-x64 for the twin)
#   BENCH_RUNS=3  BENCH_SIZE_MIB=256  BENCH_PIPELINE_MIB=128  BENCH_BASE=<commit>
#   BENCH_SLOW_MIB=64  BENCH_SLOW_RATE=4000000 (bytes per second and connection)
#   BENCH_CASES="fast slow start" (unthrottled, throttled, to the package's start: the default all)
#   BENCH_START_TYPES="1 3 2" (the downloaders the pipeline runs to the package's start)
#   VLM_ARCH=i686|x86_64 (default: what the host runs)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BENCH_BUILD=${VLM_BUILD:-}
source "$ROOT/scripts/lib.sh"

RUNS=${BENCH_RUNS:-3}
SIZE_MIB=${BENCH_SIZE_MIB:-256}
SLOW_MIB=${BENCH_SLOW_MIB:-64}
SLOW_RATE=${BENCH_SLOW_RATE:-4000000}
PIPE_MIB=${BENCH_PIPELINE_MIB:-128}
BASE=${BENCH_BASE:-}
CASES=" ${BENCH_CASES:-fast slow start} "
START_TYPES=${BENCH_START_TYPES:-1 3 2}
NGINX_PID=""

cleanup() {
  if [ -n "$NGINX_PID" ]; then
    kill "$NGINX_PID" 2>/dev/null || true
    wait "$NGINX_PID" 2>/dev/null || true
    NGINX_PID=""
  fi
  vlm_stop
  [ -z "${DATA:-}" ] || rm -rf "$DATA/out"
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
DATA="$VLM_BUILD/bench-download"
PROGRAMS="vlm_download_bench vlm_pipeline_bench"
echo "== benchmarking $(vlm_describe_build)"
VLM_TARGETS="$PROGRAMS vlm_socket_bench vlm_trivial_package" vlm_build >/dev/null
mkdir -p "$DATA/bin/after" "$DATA/out" "$DATA/tmp"
for p in $PROGRAMS; do
  "$arch-w64-mingw32-strip" -o "$DATA/bin/after/$p.exe" "$VLM_BUILD/bin/$p.exe"
done
VARIANTS=(after)
if [ -n "$BASE" ]; then
  # The same bench programs on the base's code: its tree with today's bench/download.
  echo "== building the bench programs on $BASE"
  base_dir="$VLM_BUILD/bench-base"
  mkdir -p "$DATA/bin/before"
  stamp="$(git -C "$ROOT" rev-parse "$BASE") $(cat "$ROOT"/bench/download/* | md5sum)"
  if [ "$(cat "$base_dir/stamp" 2>/dev/null)" != "$stamp" ]; then
    rm -rf "$base_dir/src"
    mkdir -p "$base_dir/src"
    git -C "$ROOT" archive "$BASE" | tar -x -C "$base_dir/src"
    rm -rf "$base_dir/src/bench/download"
    cp -r "$ROOT/bench/download" "$base_dir/src/bench/download"
    ln -sfn "$(readlink -f "$ROOT/.deps")" "$base_dir/src/.deps"
    echo "$stamp" >"$base_dir/stamp"
  fi
  if [ ! -f "$base_dir/build/build.ninja" ]; then
    cmake -S "$base_dir/src" -B "$base_dir/build" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$base_dir/src/cmake/mingw-$arch.cmake" \
      -DVLM_SHIPPED_BUILD="$base_dir/build" -DVLM_TWIN_BUILD="$base_dir/build" >/dev/null
  fi
  # shellcheck disable=SC2086
  cmake --build "$base_dir/build" --target $PROGRAMS >/dev/null
  for p in $PROGRAMS; do
    "$arch-w64-mingw32-strip" -o "$DATA/bin/before/$p.exe" "$base_dir/build/bin/$p.exe"
  done
  VARIANTS=(after before)
fi
vlm_wine_prefix
vlm_start_wineserver
unset http_proxy https_proxy HTTP_PROXY all_proxy no_proxy

# The packages: random bytes for the downloads; for the pipeline a trivial package whose image
# is followed by random bytes, as an installer's archive follows its stub.
make_file() { # path MiB [head]
  local path=$1 size=$(($2 * 1048576)) head=${3:-}
  if [ ! -f "$path" ] || [ "$(stat -c %s "$path")" -ne "$size" ] || [ -n "$head" ]; then
    echo "== making $(basename "$path") ($2 MiB)"
    if [ -n "$head" ]; then
      "$arch-w64-mingw32-strip" -o "$path" "$head"
    else
      : >"$path"
    fi
    local have
    have=$(stat -c %s "$path")
    head -c $((size - have)) /dev/urandom >>"$path"
  fi
}
make_file "$DATA/bench.bin" "$SIZE_MIB"
make_file "$DATA/slow.bin" "$SLOW_MIB"
make_file "$DATA/package.exe" "$PIPE_MIB" "$VLM_BUILD/bin/vlm_trivial_package.exe"
MD5=$(md5sum "$DATA/bench.bin" | cut -d' ' -f1)
SLOW_MD5=$(md5sum "$DATA/slow.bin" | cut -d' ' -f1)
PKG_MD5=$(md5sum "$DATA/package.exe" | cut -d' ' -f1)
rm -rf "$DATA/files"
mkdir -p "$DATA/files/$MD5" "$DATA/files/$SLOW_MD5" "$DATA/files/$PKG_MD5"
ln -f "$DATA/bench.bin" "$DATA/files/$MD5/bench.bin"
ln -f "$DATA/slow.bin" "$DATA/files/$SLOW_MD5/bench.bin"
ln -f "$DATA/package.exe" "$DATA/files/$PKG_MD5/package.exe"

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
  types { application/octet-stream bin exe; }
  server {
    listen 127.0.0.1:$PORT;
    location /fast/ { alias $DATA/files/; }
    location /slow/ { alias $DATA/files/; limit_rate $SLOW_RATE; }
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
declare -A SCENARIO_BYTES=([fast]=$BYTES [slow]=$((SLOW_MIB * 1048576)))
SLOW_LABEL="$(echo "$SLOW_RATE / 1000000" | bc -l | sed 's/\.*0*$//') MB/s/conn"
OUT="$DATA/out/bench.bin"
OUT_WIN=$(winepath -w "$OUT" 2>/dev/null)
INST="$DATA/out/inst"
INST_WIN=$(winepath -w "$INST" 2>/dev/null)
PEAKS="$DATA/out/peaks"
: >"$PEAKS.after"
: >"$PEAKS.before"

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
least() { sort -g | head -1; }
elapsed() { # command...: seconds it took
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null
  t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc -l
}

# Each prints the seconds of one download.
run_curl() { rm -f "$OUT"; curl -s -o "$OUT" -w '%{time_total}\n' "$1"; }
run_aria2() {
  rm -f "$OUT"
  elapsed aria2c -q -x2 -s2 --file-allocation=none --allow-overwrite=true -d "$DATA/out" -o bench.bin "$1"
}
run_ours() { # variant type url
  rm -f "$OUT"
  local line
  line=$(wine "$DATA/bin/$1/vlm_download_bench.exe" "$2" "$3" "$OUT_WIN" 900 </dev/null 2>/dev/null | tr -d '\r')
  case "$line" in *code=1003*) ;; *) echo "our downloader $2 ($1) failed: $line" >&2; return 1 ;; esac
  echo "$line" | sed -n "s/.*peak_working_set=\([0-9]*\).*/$2 \1/p" >>"$PEAKS.$1"
  echo "$line" | sed -n 's/.*seconds=\([0-9.]*\).*/\1/p'
}
# The ceiling: the same GET over one Winsock connection (or a bare libcurl handle, or a bare
# WinHTTP request) under Wine, 1 MiB reads, the body dropped, written or also hashed.
run_socket() { # mode path
  rm -f "$OUT"
  local line
  line=$(wine "$VLM_BUILD/bin/vlm_socket_bench.exe" "$PORT" "$2" "$1" 1024 "$OUT_WIN" </dev/null 2>/dev/null | tr -d '\r')
  case "$line" in *bytes=$BYTES*) ;; *) echo "socket bench $1 failed: $line" >&2; return 1 ;; esac
  echo "$line" | sed -n 's/.*seconds=\([0-9.]*\).*/\1/p'
}
# MD5 alone, natively, over the package already in the page cache.
run_md5sum() { elapsed md5sum "$DATA/bench.bin"; }
# To the package's start: the reference downloads, then hashes; we hash while we download.
curl_then_md5sum() { curl -s -o "$OUT" "$1" && md5sum "$OUT"; }
run_curl_md5sum() { rm -f "$OUT"; elapsed curl_then_md5sum "$1"; }
GAPS="$DATA/out/gaps"
: >"$GAPS"
run_pipeline() { # variant type url
  rm -rf "$INST"
  mkdir -p "$INST"
  local line
  line=$(wine "$DATA/bin/$1/vlm_pipeline_bench.exe" "$2" "$3" "$INST_WIN" 300 </dev/null 2>/dev/null | tr -d '\r')
  case "$line" in *"failure=0 type=$2 "*) ;; *) echo "the pipeline ($1, type $2) failed or ran another type: $line" >&2; return 1 ;; esac
  echo "$line" | awk -v v="$1/type-$2" '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); f[kv[1]] = kv[2] } }
    END { printf "%s %.3f\n", v, f["seconds"] - f["downloaded"] }' >>"$GAPS"
  echo "$line" | sed -n 's/.*seconds=\([0-9.]*\).*/\1/p'
}

declare -A RESULT
# Runs each named command RUNS times, interleaved, the order turning every run, and keeps the
# median (or, with PICK=least, the best) seconds of each.
#   measure SCENARIO NAME 'COMMAND' [NAME 'COMMAND']...
measure() {
  local scenario=$1
  shift
  local names=() commands=() run i n
  while [ $# -gt 0 ]; do
    names+=("$1")
    commands+=("$2")
    shift 2
  done
  n=${#names[@]}
  declare -A times=()
  for ((run = 0; run < RUNS; run++)); do
    for ((k = 0; k < n; k++)); do
      i=$(((k + run) % n))
      times[$i]+="$(eval "${commands[$i]}") "
    done
  done
  for ((i = 0; i < n; i++)); do
    local picked
    picked=$(echo "${times[$i]}" | tr ' ' '\n' | grep . | "${PICK:-median}")
    RESULT[${names[$i]}/$scenario]=$picked
    printf '   %-30s %-9s runs: %s-> %s %.3f s\n' "${names[$i]}" "$scenario" "${times[$i]}" "${PICK:-median}" "$picked"
  done
}
suffix() { if [ "$1" = before ]; then echo ", before"; fi; }
start_label() { case $1 in 1) echo "single stream to start" ;; 2) echo "WinHTTP to start" ;; *) echo "segmented to start" ;; esac; }
# Our downloaders, after and (with a base) before.
ours() { # scenario type label url
  local args=() v
  for v in "${VARIANTS[@]}"; do
    args+=("$3$(suffix "$v")" "run_ours $v $2 $4")
  done
  printf '%s\n' "${args[@]}"
}

# Every program of a scenario in one interleaved group, so that each meets the same load of
# the shared machine.
for scenario in fast slow; do
  [[ $CASES == *" $scenario "* ]] || continue
  url="http://127.0.0.1:$PORT/$scenario/$([ "$scenario" = fast ] && echo "$MD5" || echo "$SLOW_MD5")/bench.bin"
  echo "== $scenario: $url"
  args=("curl" "run_curl $url" "aria2c -x2 -s2" "run_aria2 $url")
  for type in 1 3 2; do
    label=$(case $type in 1) echo "single stream (1)" ;; 2) echo "WinHTTP (2)" ;; 3) echo "segmented (3)" ;; esac)
    mapfile -t -O ${#args[@]} args < <(ours "$scenario" "$type" "$label" "$url")
  done
  if [ "$scenario" = fast ]; then
    path="/fast/$MD5/bench.bin"
    args+=("Winsock recv" "run_socket recv $path" "Winsock+WriteFile" "run_socket writefile $path"
      "Winsock+WriteFile+MD5" "run_socket writefile+md5 $path" "bare libcurl recv" "run_socket curl-recv $path"
      "bare WinHTTP loop" "run_socket winhttp-recv $path" "WinHTTP+WriteFile+MD5" "run_socket winhttp-writefile+md5 $path"
      "md5sum (native)" "run_md5sum")
  fi
  measure "$scenario" "${args[@]}"
done

if [[ $CASES == *" start "* ]]; then
  pkg_url="http://127.0.0.1:$PORT/fast/$PKG_MD5/package.exe"
  echo "== to the package's start, ${PIPE_MIB} MiB: $pkg_url"
  pipeline_args=("curl -o + md5sum" "run_curl_md5sum $pkg_url")
  for type in $START_TYPES; do
    for v in "${VARIANTS[@]}"; do
      pipeline_args+=("$(start_label "$type")$(suffix "$v")" "run_pipeline $v $type $pkg_url")
    done
  done
  PICK=least measure start "${pipeline_args[@]}"
fi

rate() { echo "$1 / ${RESULT[$2]} / 1000000" | bc -l; }
ratio() { echo "${RESULT[$2]} / ${RESULT[$1]}" | bc -l; } # speed of $1 over speed of $2
echo
printf '| %-28s | %-13s | %9s | %9s | %10s |\n' "downloader" "case" "MB/s" "× curl" "× aria2c"
printf '|%s|%s|%s|%s|%s|\n' "------------------------------" "---------------" "-----------" "-----------" "------------"
for scenario in fast slow; do
  [[ $CASES == *" $scenario "* ]] || continue
  label=$([ "$scenario" = fast ] && echo unthrottled || echo "$SLOW_LABEL")
  names=("curl" "aria2c -x2 -s2")
  for type in "single stream (1)" "segmented (3)" "WinHTTP (2)"; do
    names+=("$type")
    [ -z "$BASE" ] || names+=("$type, before")
  done
  [ "$scenario" = fast ] && names+=("Winsock recv" "Winsock+WriteFile" "Winsock+WriteFile+MD5" "bare libcurl recv"
    "bare WinHTTP loop" "WinHTTP+WriteFile+MD5" "md5sum (native)")
  for name in "${names[@]}"; do
    printf '| %-28s | %-13s | %9.1f | %9.2f | %10.2f |\n' "$name" "$label" "$(rate "${SCENARIO_BYTES[$scenario]}" "$name/$scenario")" \
      "$(ratio "$name/$scenario" "curl/$scenario")" "$(ratio "$name/$scenario" "aria2c -x2 -s2/$scenario")"
  done
done
echo
summary() { # label numerator denominator
  [ -n "${RESULT[$2]:-}" ] && [ -n "${RESULT[$3]:-}" ] || return 0
  printf '%-58s %5.2f' "$1" "$(ratio "$2" "$3")"
  if [ -n "$BASE" ] && [ -n "${RESULT[${2%/*}, before/${2#*/}]:-}" ]; then
    local denominator=$3
    [ -z "${RESULT[${3%/*}, before/${3#*/}]:-}" ] || denominator="${3%/*}, before/${3#*/}"
    printf '   (before: %.2f)' "$(ratio "${2%/*}, before/${2#*/}" "$denominator")"
  fi
  echo
}
summary "WinHTTP (2) / bare WinHTTP loop, unthrottled:" "WinHTTP (2)/fast" "bare WinHTTP loop/fast"
summary "WinHTTP (2) / bare WinHTTP+WriteFile+MD5 (one thread):" "WinHTTP (2)/fast" "WinHTTP+WriteFile+MD5/fast"
summary "WinHTTP (2) / curl, unthrottled:" "WinHTTP (2)/fast" "curl/fast"
summary "segmented (3) / single stream (1), unthrottled:" "segmented (3)/fast" "single stream (1)/fast"
summary "segmented (3) / single stream (1), $SLOW_LABEL:" "segmented (3)/slow" "single stream (1)/slow"
summary "single stream (1) / curl, unthrottled:" "single stream (1)/fast" "curl/fast"
for type in $START_TYPES; do
  summary "to the package's start, type $type: ours / curl -o + md5sum (best of $RUNS):" \
    "$(start_label "$type")/start" "curl -o + md5sum/start"
done
[ ! -s "$GAPS" ] || echo "   from the download's success to the package's start (s): $(sort "$GAPS" | tr '\n' ' ')"
for v in "${VARIANTS[@]}"; do
  printf 'peak working set of our process, %s (MiB, largest of all runs, stripped): %s\n' "$v" \
    "$(awk '$2 > m[$1] { m[$1] = $2 } END { for (t in m) printf "type %s %.1f  ", t, m[t] / 1048576 }' "$PEAKS.$v")"
done
