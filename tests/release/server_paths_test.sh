#!/usr/bin/env bash
# The nginx configuration docs/settings.md gives for the redirect endpoint, served by nginx:
# every path the installer's code asks of the endpoint is answered with a redirect (the
# package's with its MD5 in the next-to-last segment), as HEAD and as GET; anything else 404.
# Exit 77: skipped, nginx is not installed.
#   server_paths_test.sh SOURCE_DIR
set -euo pipefail
src=$1
nginx=$(command -v nginx || echo /usr/sbin/nginx)
if [ ! -x "$nginx" ]; then
  echo "SKIPPED: nginx is not installed (package nginx-light; scripts/setup-system.sh installs it)"
  exit 77
fi
tmp=$(mktemp -d)
pid=""
cleanup() {
  [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

mapfile -t paths < <(grep -rhoE 'L"/redirect/[^"]*"' "$src/src" | sed 's/^L"//; s/"$//' | sort -u)
# A DownloadUrl with ${ROUTE} asks each route word in place of download_silent.
for word in $(grep -rhoE 'L"download_silent[a-z0-9_]*"' "$src/src" | sed 's/^L"//; s/"$//' | sort -u); do
  paths+=("/redirect/ver1/quorvel/$word/1.0/installer/123456")
done
mapfile -t paths < <(printf '%s\n' "${paths[@]}" | sort -u)
[ ${#paths[@]} -ge 3 ] || { echo "FAIL: found only ${#paths[@]} endpoint paths in the code"; exit 1; }

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
server=$(sed -n '/^```nginx$/,/^```$/p' "$src/docs/settings.md" | sed '1d; $d' |
  sed "s/listen 80;/listen 127.0.0.1:$port;/")
[ -n "$server" ] || { echo "FAIL: no nginx block in docs/settings.md"; exit 1; }
cat >"$tmp/nginx.conf" <<CONF
daemon off;
master_process off;
pid $tmp/nginx.pid;
error_log $tmp/error.log;
events {}
http {
    access_log off;
    client_body_temp_path $tmp/body;
    proxy_temp_path $tmp/proxy;
    fastcgi_temp_path $tmp/fastcgi;
    uwsgi_temp_path $tmp/uwsgi;
    scgi_temp_path $tmp/scgi;
$server
}
CONF
"$nginx" -p "$tmp" -c "$tmp/nginx.conf" -e "$tmp/error.log" 2>"$tmp/start.log" &
pid=$!

base=http://127.0.0.1:$port
for _ in $(seq 50); do
  curl -s -o /dev/null --max-time 1 "$base/" && break
  kill -0 "$pid" 2>/dev/null || { echo "FAIL: nginx did not start: $(cat "$tmp/start.log" "$tmp/error.log" 2>/dev/null)"; exit 1; }
  sleep 0.1
done

answer() { # HEAD|GET path: "status location"
  local head=()
  [ "$1" = GET ] || head=(--head)
  curl -s -o /dev/null --max-time 5 "${head[@]}" -w '%{http_code} %{redirect_url}' "$base$2"
}
for path in "${paths[@]}"; do
  for method in HEAD GET; do
    read -r status location <<<"$(answer "$method" "$path")"
    [ "$status" = 302 ] && [[ $location == http*://* ]] || { echo "FAIL: $method $path: $status $location"; exit 1; }
    if [[ $path == */download_silent* ]]; then
      segment=$(basename "$(dirname "$location")")
      [[ $segment =~ ^[0-9a-f]{32}$ ]] || { echo "FAIL: the package's URL carries no MD5: $location"; exit 1; }
    fi
  done
  echo "$path -> $location"
done
read -r status _ <<<"$(answer GET /redirect/ver1/quorvel/unknown/1.0/installer/123456)"
[ "$status" = 404 ] || { echo "FAIL: an unknown path answered $status"; exit 1; }
echo "an unknown path: 404"
