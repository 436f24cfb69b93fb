#!/usr/bin/env bash
# The installer doing its job for real, under Wine: it downloads the demo product 1.0 from
# the package server on 127.0.0.1, installs it, then upgrades it to 2.0 (the old version's
# uninstaller runs first). Clicks are real input. Prints where the product went, the
# registry values, the state files, the installer's log lines and the screenshots. Last, a
# quiet run (no window, an exit code, a log file) installs the served version again through a
# proxy, and a deployment tool's command lines remove it, install it for the machine, detect
# it and remove it again, each with its exit code and result file. Then the MSI does the same
# through msiexec, and an offline layout is made and installed from with the server stopped.
#
# Runs on $DISPLAY when there is one, headless under Xvfb otherwise (or with
# VLM_FORCE_XVFB=1). VLM_DEMO_DOWNLOADTYPE=1|2|3 picks the downloader (default 1).
# Runs the shipped 32-bit build, or its 64-bit twin on hosts that cannot run 32-bit
# programs; VLM_ARCH=i686|x86_64 picks one.
# Safe to rerun: it starts from a clean demo state and stops everything it started, also
# on failure or Ctrl-C.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

VLM_TARGETS=${VLM_TARGETS:-"VellumoraInstaller vlm_demo_packages vlm_package_server vlm_demo_driver vlm_trust_root"}
DOWNLOAD_TYPE=${VLM_DEMO_DOWNLOADTYPE:-1}
SERVER_PID=""
SERVER_PORT=""
INSTALLER_PID=""
PROXY_PID=""

# Windows path of a file under / (drive Z: of every prefix).
win() { local p=$1; echo "Z:${p//\//\\}"; }
say() { printf '\n== %s\n' "$*"; }
fail() { printf '\n!! %s\n' "$*" >&2; exit 1; }

# GET on the package server, body only; bash's own sockets, bounded by 5 s.
http_get() {
  local path=$1
  exec 3<>"/dev/tcp/127.0.0.1/$SERVER_PORT" || return 1
  printf 'GET %s HTTP/1.0\r\nHost: 127.0.0.1:%s\r\nConnection: close\r\n\r\n' "$path" "$SERVER_PORT" >&3
  timeout 5 cat <&3 | tr -d '\r' | sed '1,/^$/d'
  exec 3<&-
}

# Ends a background process we started, waiting at most a few seconds.
end_process() {
  local pid=$1
  [ -n "$pid" ] || return 0
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
  fi
  wait "$pid" 2>/dev/null || true
}

cleanup() {
  set +e
  if [ -n "$INSTALLER_PID" ]; then
    kill "$INSTALLER_PID" 2>/dev/null
    end_process "$INSTALLER_PID"
    INSTALLER_PID=""
  fi
  if [ -n "$PROXY_PID" ]; then
    kill "$PROXY_PID" 2>/dev/null
    end_process "$PROXY_PID"
    PROXY_PID=""
  fi
  if [ -n "$SERVER_PID" ]; then
    [ -n "$SERVER_PORT" ] && http_get /admin/stop >/dev/null 2>&1
    end_process "$SERVER_PID"
    SERVER_PID=""
  fi
  # Whatever else still runs in the demo's prefix (the product, a stray child) goes with it.
  vlm_stop
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A file's text, whether Windows wrote it as UTF-16 or as ANSI.
text_of() {
  if [ "$(head -c 2 "$1" | od -An -tx1 | tr -d ' ')" = "fffe" ]; then
    iconv -f UTF-16 -t UTF-8 "$1"
  else
    cat "$1"
  fi | tr -d '\r'
}

# Text of an ini file, whether Windows wrote it as UTF-16 or as ANSI.
show_ini() {
  local file=$1
  if [ ! -f "$file" ]; then
    echo "   (missing: $file)"
    return
  fi
  echo "   $file:"
  text_of "$file" | sed 's/^/     /'
}

product_folder() {
  local value
  value=$(wine reg query 'HKCU\Software\TarvikSoft\Vellumora' /v InstallPath 2>/dev/null | tr -d '\r' \
    | sed -n 's/.*InstallPath[[:space:]]*REG_SZ[[:space:]]*//p')
  [ -n "$value" ] && winepath -u "$value" 2>/dev/null
}

user_folder() { ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming 2>/dev/null | grep -v /Public/ | head -1; }

show_installation() {
  local folder=$1 version=$2
  say "where the product went: $folder"
  (cd "$folder" && ls -l --time-style=+%T) | sed 's/^/   /'
  echo "   install.rec (the package's record of what it installed):"
  tr -d '\r' <"$folder/install.rec" | sed 's/^/     /'
  local built="$VLM_BUILD/tools/demo_package/payload-$version/Quorvel.exe"
  if cmp -s "$folder/Quorvel.exe" "$built"; then
    echo "   Quorvel.exe is byte for byte the $version build ($built)"
  else
    fail "Quorvel.exe is not the $version build"
  fi
  local roaming
  roaming=$(user_folder)
  echo "   shortcuts:"
  ls -1 "$roaming/../../Desktop/"*.lnk "$roaming/Microsoft/Internet Explorer/Quick Launch/"*.lnk 2>/dev/null \
    | sed "s|$WINEPREFIX/||; s/^/     /" || echo "     (none)"
  say "registry: HKCU\\Software\\TarvikSoft\\Vellumora"
  wine reg query 'HKCU\Software\TarvikSoft\Vellumora' | tr -d '\r' | grep REG_ | sed 's/^ */   /' \
    || fail "reg query found no values under HKCU\\Software\\TarvikSoft\\Vellumora"
  say "state files"
  show_ini "$folder/set.ini"
  show_ini "$roaming/TarvikData/TarvikQuill/TKSensorsAnalytics.ini"
}

# One installer run, driven by vlm_demo_driver.exe: $1 name, $2 how it starts (button or existing).
run_installer() {
  local name=$1 start=$2
  local log="$DEMO/$name.log"
  say "running the installer ($name): wine vlmlog.exe --timeout=180 $(win "$DEMO/app/VellumoraInstaller.exe")"
  wine "$VLM_BUILD/bin/vlmlog.exe" --timeout=180 "$(win "$DEMO/app/VellumoraInstaller.exe")" \
    </dev/null >"$log" 2>&1 &
  INSTALLER_PID=$!
  local status=0
  wine "$VLM_BUILD/bin/vlm_demo_driver.exe" --start="$start" --log="$(win "$log")" --shots="$(win "$DEMO/shots")" \
    --name="$name" --timeout=120 </dev/null | tr -d '\r' | sed 's/^/   /' || status=$?
  # The window is closed (or the driver gave up): the installer ends within seconds.
  end_process "$INSTALLER_PID"
  INSTALLER_PID=""
  say "the installer's log lines ($name, $(wc -l <"$log") lines, from vlmlog.exe)"
  tr -d '\r' <"$log" | sed 's/^/   /'
  [ "$status" -eq 0 ] || fail "the $name run did not finish (see the driver's lines and the log above)"
}

vlm_prepare
# The shipped 32-bit build where this host runs it, the 64-bit twin where it does not.
vlm_use_arch "$(vlm_default_arch)"
DEMO=$VLM_BUILD/demo
# The MSI wraps the shipped build; wixl (package wixl) builds it.
if [ "$VLM_ARCH_IN_USE" = i686 ] && command -v wixl >/dev/null; then
  VLM_TARGETS="$VLM_TARGETS vlm_msi_package"
fi
MSI=$VLM_BUILD/bin/VellumoraInstaller.msi
# A Wine prefix of its own: the demo installs into it and resets it on every run.
export WINEPREFIX=$VLM_BUILD/demo-wineprefix
say "building what is missing into $VLM_BUILD ($VLM_TARGETS)"
echo "   the installer that runs: $(vlm_describe_build)"
vlm_build
vlm_wine_prefix
vlm_start_display
vlm_start_wineserver
echo "   display $DISPLAY$([ -n "$VLM_STARTED_XVFB" ] && echo ' (Xvfb, headless)'), Wine prefix $WINEPREFIX"

say "starting from a clean state: no Vellumora installed, no earlier demo files"
# An MSI an earlier demo left installed goes through msiexec, as it came.
[ -f "$MSI" ] && { timeout 200 wine msiexec /x "$(win "$MSI")" /qn </dev/null >/dev/null 2>&1 || true; }
wine reg delete 'HKCU\Software\TarvikSoft' /f >/dev/null 2>&1 || true
wine reg delete 'HKLM\Software\TarvikSoft' /f /reg:32 >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX/drive_c/Program Files (x86)/TarvikQuill" "$WINEPREFIX/drive_c/Program Files/TarvikQuill"
roaming=$(user_folder)
rm -rf "$roaming/TarvikData" "$roaming/../../Desktop/Vellumora.lnk" \
  "$roaming/Microsoft/Internet Explorer/Quick Launch/Vellumora.lnk" \
  "$roaming/../Local/Temp/~TarvikTemp.92482B06FB471E17"
rm -rf "$DEMO"
mkdir -p "$DEMO/app" "$DEMO/packages" "$DEMO/shots"
cp "$VLM_BUILD/bin/VellumoraPackage-1.0.exe" "$VLM_BUILD/bin/VellumoraPackage-2.0.exe" "$DEMO/packages/"
# The one-stream downloader refuses packages under 1 MiB and the two-range one wants 20 MiB
# to split; zeros after the program's image leave it working as before. The build signed the
# packages with the test signer; padded, they are signed again (bytes after a signature break it).
PKI=$VLM_BUILD/signing/pki
for package in "$DEMO"/packages/*.exe; do
  "$VLM_ROOT/tools/signing/test_pki.sh" pad-sign "$PKI" leafA "$package" \
    "$([ "$DOWNLOAD_TYPE" = 3 ] && echo 21M || echo 2M)"
done

say "the product's signer: the test root the build made ($PKI), trusted in the demo's Wine prefix"
wine "$VLM_BUILD/bin/vlm_trust_root.exe" "$(win "$PKI/rootA.der")" </dev/null || fail "could not trust the test root"
PIN=$(cat "$PKI/rootA.sha256")
openssl x509 -in "$PKI/rootA.pem" -noout -subject -fingerprint -sha256 | sed 's/^/   /'

say "starting the package server on 127.0.0.1 with VellumoraPackage-1.0.exe"
wine "$VLM_BUILD/bin/vlm_package_server.exe" --package="$(win "$DEMO/packages/VellumoraPackage-1.0.exe")" \
  --port=0 --port-file="$(win "$DEMO/server.port")" --lifetime=900 </dev/null >"$DEMO/server.log" 2>&1 &
SERVER_PID=$!
for _ in $(seq 200); do
  [ -s "$DEMO/server.port" ] && break
  kill -0 "$SERVER_PID" 2>/dev/null || break
  sleep 0.1
done
[ -s "$DEMO/server.port" ] || { cat "$DEMO/server.log"; fail "the package server did not start"; }
SERVER_PORT=$(tr -d '\r\n ' <"$DEMO/server.port")
tr -d '\r' <"$DEMO/server.log" | sed 's/^/   /'

say "the product team's settings file beside a copy of the installer: $DEMO/app"
cp "$VLM_BUILD/bin/VellumoraInstaller.exe" "$DEMO/app/"
cat >"$DEMO/app/TarvikInstallerConfig.ini" <<EOF
[Install]
; where the package comes from (the server answers 302 to /packages/<md5>/<name>)
DownloadUrl=http://127.0.0.1:$SERVER_PORT/redirect/ver1/quorvel/download_silent/1.0/installer/123456
; 1 one stream, 2 WinHTTP, 3 two parallel ranges (packages of 20 MiB and more)
DownloadType=$DOWNLOAD_TYPE
DownloadScale=0.5
; true: check the network first and warn when it is poor
IsCheckNet=false
; extra arguments for the package: here, slower steps so each page can be seen
InstCmd=-stepms=250
; run only packages signed by a chain holding this certificate (the demo's test root)
PackageSigner=$PIN
EOF
sed 's/^/   /' "$DEMO/app/TarvikInstallerConfig.ini"

run_installer 1-install button
say "the signer the installer accepted"
tr -d '\r' <"$DEMO/1-install.log" | grep -E 'PackageSigner|signature (accepted|refused)' | sed 's/^.*>: /   /' \
  || fail "no signature check in the log"
folder=$(product_folder) || fail "no InstallPath in the registry after the install"
show_installation "$folder" 1.0
echo "   the package file is gone again: $(ls "$folder"/__Package_* 2>/dev/null || echo 'yes')"

say "serving version 2.0: GET /admin/serve?file=VellumoraPackage-2.0.exe"
served=$(http_get "/admin/serve?file=VellumoraPackage-2.0.exe")
echo "   now served at $served"
case $served in *VellumoraPackage-2.0.exe) ;; *) fail "the server did not switch to 2.0" ;; esac
# A file only 1.0's record lists: the old uninstaller must take it away.
echo "leftover of 1.0" >"$folder/only-in-1.0.txt"
echo "file=only-in-1.0.txt" >>"$folder/install.rec"
echo "   added only-in-1.0.txt to 1.0's install record, so its removal shows"

run_installer 2-upgrade existing
say "the upgrade's order, in the installer's log: the package first (downloaded and checked into the work folder), then 1.0's removal, then the package"
tr -d '\r' <"$DEMO/2-upgrade.log" \
  | grep -E 'acquired first|DL_CODE_SUCCESS|Uninstall|UNIST|un_asa|_\?=|signature|goes into place|IST_CODE_START|verdict' \
  | sed 's/^/   /' || fail "no removal in the upgrade's log"
order=$(tr -d '\r' <"$DEMO/2-upgrade.log" | grep -oE 'DL_CODE_SUCCESS|UNIST_CODE_SUCCESS|IST_CODE_START' | uniq | tr '\n' ' ')
[ "$order" = "DL_CODE_SUCCESS UNIST_CODE_SUCCESS IST_CODE_START " ] \
  || fail "the upgrade did not run download, removal, package in that order: $order"
echo "   order: download, removal, package"
[ ! -e "$folder/only-in-1.0.txt" ] || fail "1.0's uninstaller did not run: only-in-1.0.txt is still there"
echo "   only-in-1.0.txt is gone: 1.0's uninstaller removed what 1.0's record listed"
folder=$(product_folder) || fail "no InstallPath in the registry after the upgrade"
show_installation "$folder" 2.0

# A free port on loopback for the proxy.
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

say "3. a quiet upgrade through a proxy: tinyproxy on 127.0.0.1, its own config and log in $DEMO/proxy"
command -v tinyproxy >/dev/null || fail "tinyproxy is missing: run scripts/setup-system.sh"
mkdir -p "$DEMO/proxy"
PROXY_PORT=$(free_port)
printf '%s\n' "Port $PROXY_PORT" "Listen 127.0.0.1" "Timeout 30" "MaxClients 8" "Allow 127.0.0.1" \
  "LogLevel Info" "LogFile \"$DEMO/proxy/tinyproxy.log\"" >"$DEMO/proxy/tinyproxy.conf"
: >"$DEMO/proxy/tinyproxy.log"
tinyproxy -d -c "$DEMO/proxy/tinyproxy.conf" </dev/null >"$DEMO/proxy/tinyproxy.out" 2>&1 &
PROXY_PID=$!
# Ready when it says so (a probe connection would show in its log among the installer's).
for _ in $(seq 50); do
  grep -q 'Accepting connections' "$DEMO/proxy/tinyproxy.log" && break
  kill -0 "$PROXY_PID" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$PROXY_PID" 2>/dev/null || { cat "$DEMO/proxy/tinyproxy.out"; fail "tinyproxy did not start"; }
echo "   tinyproxy pid $PROXY_PID on 127.0.0.1:$PROXY_PORT"
# The proxy by name, the server by address: Wine sends a direct request line when the two
# are the same text.
# The log file a deployment tool would collect: UTF-8, appended, written line by line.
quiet_file="$DEMO/3-quiet-file.log"
quiet_args=(-quiet=true "-proxy=localhost:$PROXY_PORT" "-log=$(win "$quiet_file")")
say "running the installer quietly: VellumoraInstaller.exe ${quiet_args[*]} (the server still serves 2.0)"
quiet_log="$DEMO/3-quiet.log"
quiet_status=0
timeout 200 wine "$VLM_BUILD/bin/vlmlog.exe" --timeout=180 "$(win "$DEMO/app/VellumoraInstaller.exe")" \
  "${quiet_args[@]}" </dev/null >"$quiet_log" 2>&1 || quiet_status=$?
echo "   exit code: $quiet_status (0: installed; every code is in docs/settings.md, \"Deploying to many machines\")"
say "the installer's log lines (quiet run, $(wc -l <"$quiet_log") lines, from vlmlog.exe)"
tr -d '\r' <"$quiet_log" | sed 's/^/   /'
[ -s "$quiet_file" ] || fail "the quiet run wrote no log file at $quiet_file"
say "the first lines of its log file ($quiet_file, $(wc -l <"$quiet_file") lines, UTF-8)"
head -n 4 "$quiet_file" | tr -d '\r' | sed 's/^/   /'
say "the proxy's log lines ($DEMO/proxy/tinyproxy.log)"
# One "Connect" and one "Request" line per request that went through it.
if ! grep -E 'Connect \(|Request \(' "$DEMO/proxy/tinyproxy.log" | sed 's/^/   /' | grep .; then
  echo "   (none: the requests went direct)"
fi
kill "$PROXY_PID" 2>/dev/null
end_process "$PROXY_PID"
PROXY_PID=""
[ "$quiet_status" -eq 0 ] || fail "the quiet run ended with exit code $quiet_status"
grep -q 'UNIST_CODE_SUCCESS' "$quiet_log" || fail "the quiet run did not remove the installed version first"
folder=$(product_folder) || fail "no InstallPath in the registry after the quiet run"
show_installation "$folder" 2.0

# One quiet run as a deployment tool makes it: $1 name, then the installer's options. Prints
# the command line, its exit code and its result file; the code is left in deploy_status.
deploy_run() {
  local name=$1 result="$DEMO/4-$1.json"
  shift
  local args=("$@" "-log=$(win "$DEMO/4-$name.log")" "-resultfile=$(win "$result")")
  say "deployment, $name: VellumoraInstaller.exe ${args[*]}"
  deploy_status=0
  timeout 200 wine "$VLM_BUILD/bin/vlmlog.exe" --timeout=180 "$(win "$DEMO/app/VellumoraInstaller.exe")" \
    "${args[@]}" </dev/null >"$DEMO/4-$name.out" 2>&1 || deploy_status=$?
  echo "   exit code: $deploy_status"
  [ -s "$result" ] || fail "no result file at $result"
  tr -d '\r' <"$result" | sed 's/^/   /'
}
# The detection rule of docs/settings.md: InstallVersion in the machine's record, 32-bit view.
machine_version() {
  wine reg query 'HKLM\Software\TarvikSoft\Vellumora' /v InstallVersion /reg:32 2>/dev/null | tr -d '\r' \
    | sed -n 's/.*REG_SZ *//p'
}

say "4. a deployment tool's command lines: remove the account's installation, install for the machine, detect, remove"
deploy_run remove-user -quiet=true -uninstall=true
[ "$deploy_status" -eq 0 ] || fail "the removal of the account's installation ended with $deploy_status"
deploy_run install-machine -quiet=true -scope=machine -shortcuts=desktop
[ "$deploy_status" -eq 0 ] || fail "the machine-wide install ended with $deploy_status"
detected=$(machine_version)
echo "   detection rule: InstallVersion in HKLM\Software\TarvikSoft\Vellumora (32-bit view) = '$detected'"
[ -n "$detected" ] || fail "the machine-wide install recorded no InstallVersion"
deploy_run remove-machine -quiet=true -uninstall=true
[ "$deploy_status" -eq 0 ] || fail "the machine-wide removal ended with $deploy_status"
[ -z "$(machine_version)" ] || fail "the removal left the machine's record"
deploy_run remove-again -quiet=true -uninstall=true
[ "$deploy_status" -eq 12 ] || fail "a removal with nothing installed ended with $deploy_status, not 12"

# 5. Deploy once, install on many. The MSI wraps the shipped 32-bit build only.
if [ -f "$MSI" ]; then
  # msiexec ACTION PROPERTIES…: $1 name, $2 /i or /x; its verbose log beside the others.
  msi_run() {
    local name=$1 action=$2
    shift 2
    local args=("$action" "$(win "$MSI")" /qn "$@" /l*v "$(win "$DEMO/5-$name.msi.log")")
    say "msiexec, $name: msiexec ${args[*]}"
    msi_status=0
    timeout 200 wine msiexec "${args[@]}" </dev/null >/dev/null 2>&1 || msi_status=$?
    echo "   exit code: $msi_status"
    # The MSI log's lines the package's own actions wrote.
    text_of "$DEMO/5-$name.msi.log" | grep 'Vellumora: ' | sed 's/^/   /' || true
  }
  say "5. an MSI for deployment tools: installed for the machine through msiexec, detected, removed"
  msi_run install /i "DOWNLOADURL=http://127.0.0.1:$SERVER_PORT/redirect/ver1/quorvel/download_silent/1.0/installer/123456" \
    "LOG=$(win "$DEMO/5-msi-installer.log")"
  [ "$msi_status" -eq 0 ] || fail "msiexec /i ended with $msi_status"
  detected=$(machine_version)
  echo "   detection rule: InstallVersion in HKLM\Software\TarvikSoft\Vellumora (32-bit view) = '$detected'"
  [ -n "$detected" ] || fail "the MSI's installation recorded no InstallVersion"
  msi_run remove /x
  [ "$msi_status" -eq 0 ] || fail "msiexec /x ended with $msi_status"
  [ -z "$(machine_version)" ] || fail "the MSI's removal left the machine's record"
fi

say "6. an offline layout: the package fetched once into a folder, then installed from it with the server stopped"
LAYOUT=$DEMO/layout
deploy_run layout "-layout=$(win "$LAYOUT")"
[ "$deploy_status" -eq 0 ] || fail "the layout run ended with $deploy_status"
(cd "$LAYOUT" && find . -type f | sort | sed 's/^/   /')
show_ini "$LAYOUT/TarvikInstallerConfig.ini"
say "stopping the package server: nothing below can reach it"
http_get /admin/stop >/dev/null 2>&1 || true
end_process "$SERVER_PID"
SERVER_PID=""
say "installing from the layout: $(win "$LAYOUT/VellumoraInstaller.exe") -quiet=true -scope=machine"
layout_status=0
timeout 200 wine "$VLM_BUILD/bin/vlmlog.exe" --timeout=180 "$(win "$LAYOUT/VellumoraInstaller.exe")" -quiet=true \
  -scope=machine "-log=$(win "$DEMO/6-from-layout.log")" </dev/null >"$DEMO/6-from-layout.out" 2>&1 || layout_status=$?
echo "   exit code: $layout_status"
tr -d '\r' <"$DEMO/6-from-layout.log" | grep -E 'is read from the file|MD5|quiet: exit code' | sed 's/^/   /' || true
[ "$layout_status" -eq 0 ] || fail "the install from the layout ended with $layout_status"
echo "   detection rule: InstallVersion = '$(machine_version)'"
[ -n "$(machine_version)" ] || fail "the install from the layout recorded no InstallVersion"
layout_status=0
timeout 200 wine "$VLM_BUILD/bin/vlmlog.exe" --timeout=180 "$(win "$LAYOUT/VellumoraInstaller.exe")" -quiet=true \
  -uninstall=true </dev/null >"$DEMO/6-remove.out" 2>&1 || layout_status=$?
echo "   removed with the layout's copy: exit code $layout_status"
[ "$layout_status" -eq 0 ] || fail "the removal ended with $layout_status"

say "what the package server saw"
tr -d '\r' <"$DEMO/server.log" | grep -E '^(HEAD|GET)' | sed 's/^/   /'

say "screenshots of each page ($DEMO/shots)"
ls -l "$DEMO/shots" | tail -n +2 | sed 's/^/   /'

say "done: 1.0 installed, upgraded to 2.0 through 1.0's uninstaller, quietly again through a proxy, then removed, installed for the machine and removed as a deployment tool would$([ -f "$MSI" ] && echo ', and through the MSI'), installed from an offline layout with no server ($(vlm_describe_build))"
