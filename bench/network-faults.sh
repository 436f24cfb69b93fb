#!/usr/bin/env bash
# What a network does to a download, met by our three downloaders: a native package server
# (Python, 127.0.0.1) serves a 22 MiB package and breaks GETs after 3 MiB: the first GET goes
# silent, is reset or is closed short, or every GET goes silent (stallall; deadall: right after
# its headers, so nothing ever arrives). Prints, per downloader, the
# outcome, the time from Start to the final event and the GETs with their ranges; then how long
# a stop took in the middle of a silent transfer. Runs under Wine like download-bench.sh.
#   VLM_BUILD=<build folder> (default build-bench, build-bench-x64 for the twin)
#   BENCH_FAULTS="silent reset short stallall" (the default: all four)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BENCH_BUILD=${VLM_BUILD:-}
source "$ROOT/scripts/lib.sh"

SERVER_PID=""
cleanup() {
  if [ -n "$SERVER_PID" ]; then
    kill "$SERVER_PID" 2>/dev/null || true
    wait "$SERVER_PID" 2>/dev/null || true
    SERVER_PID=""
  fi
  vlm_stop
}
trap cleanup EXIT

vlm_prepare >/dev/null
arch=$(vlm_default_arch)
vlm_use_arch "$arch" "${BENCH_BUILD:-$ROOT/build-bench$([ "$arch" = x86_64 ] && echo -x64)}"
echo "== network faults on $(vlm_describe_build)"
VLM_TARGETS="vlm_download_bench" vlm_build >/dev/null
vlm_wine_prefix
vlm_start_wineserver
unset http_proxy https_proxy HTTP_PROXY all_proxy no_proxy

DATA="$VLM_BUILD/bench-faults"
mkdir -p "$DATA/out"
[ -f "$DATA/pkg.exe" ] || head -c $((22 * 1048576)) /dev/urandom >"$DATA/pkg.exe"
MD5=$(md5sum "$DATA/pkg.exe" | cut -d' ' -f1)
OUT_WIN=$(winepath -w "$DATA/out/pkg.exe" 2>/dev/null)

cat >"$DATA/server.py" <<'PY'
import http.server, socket, struct, sys, threading, time
port, mode, path, log = int(sys.argv[1]), sys.argv[2], sys.argv[3], open(sys.argv[4], "w", buffering=1)
body = open(path, "rb").read()
broken_after = 0 if mode == "deadall" else 3 * 1048576
gets = 0
lock = threading.Lock()

class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def log_message(self, *args):
        pass
    def answer(self, send_body):
        global gets
        first, last = 0, len(body) - 1
        rng = self.headers.get("Range", "")
        if rng.startswith("bytes="):
            a, _, b = rng[6:].partition("-")
            first, last = int(a), (int(b) if b else last)
        self.send_response(206 if rng else 200)
        self.send_header("Content-Length", str(last - first + 1))
        self.send_header("Accept-Ranges", "bytes")
        if rng:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (first, last, len(body)))
        self.end_headers()
        if not send_body:
            return
        with lock:
            gets += 1
            number = gets
        log.write("GET %s\n" % (rng or "whole"))
        broken = mode in ("stallall", "deadall") or (number == 1 and mode != "none")
        end = min(last + 1, first + broken_after) if broken else last + 1
        self.wfile.write(body[first:end])
        self.wfile.flush()
        if not broken:
            return
        if mode in ("silent", "stallall", "deadall"):
            time.sleep(3600)
        elif mode == "reset":
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.close_connection = True
        self.connection.close()
    def do_HEAD(self):
        self.answer(False)
    def do_GET(self):
        self.answer(True)

server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
server.daemon_threads = True
server.serve_forever()
PY

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
start_server() { # mode
  local port
  port=$(free_port)
  python3 "$DATA/server.py" "$port" "$1" "$DATA/pkg.exe" "$DATA/requests.log" &
  SERVER_PID=$!
  for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
  done
  URL="http://127.0.0.1:$port/files/$MD5/pkg.exe"
}
stop_server() {
  kill "$SERVER_PID" 2>/dev/null || true
  wait "$SERVER_PID" 2>/dev/null || true
  SERVER_PID=""
}
name() { case $1 in 1) echo "single stream (1)" ;; 2) echo "WinHTTP (2)" ;; 3) echo "segmented (3)" ;; esac; }

printf "%-10s %-18s %-8s %8s  %s\n" fault downloader outcome seconds "GETs (ranges)"
for mode in ${BENCH_FAULTS:-silent reset short stallall}; do
  for type in 1 3 2; do
    start_server "$mode"
    rm -f "$DATA/out/"*
    line=$(wine "$VLM_BUILD/bin/vlm_download_bench.exe" "$type" "$URL" "$OUT_WIN" 600 </dev/null 2>/dev/null | tr -d '\r' | tail -n 1 || true)
    stop_server
    code=$(sed -n 's/.*code=\([0-9]*\).*/\1/p' <<<"$line")
    seconds=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$line")
    case $code in 1003) outcome=success ;; 1004) outcome=failure ;; *) outcome="none($code)" ;; esac
    gets=$(grep -c '^GET' "$DATA/requests.log" || true)
    ranges=$(sed 's/^GET //' "$DATA/requests.log" | paste -sd, -)
    printf "%-10s %-18s %-8s %8s  %s (%s)\n" "$mode" "$(name "$type")" "$outcome" "$seconds" "$gets" "$ranges"
  done
done

echo "== a stop 5 s into a silent transfer (the stall rule would end it at 10 s)"
for type in 1 3 2; do
  start_server stallall
  line=$(VLM_BENCH_STOP_AFTER=5 wine "$VLM_BUILD/bin/vlm_download_bench.exe" "$type" "$URL" "$OUT_WIN" 600 </dev/null 2>/dev/null | tr -d '\r' | tail -n 1 || true)
  stop_server
  printf "%-18s %s\n" "$(name "$type")" "$(sed -n 's/.*\(stop_ms=[0-9]*\).*/\1/p' <<<"$line")"
done
