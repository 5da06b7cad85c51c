#!/usr/bin/env bash
# The demo: the real install road against local mirrors and a local report
# service, in a sandbox home below build/demo (nothing of the real home is
# touched). Called by `./run demo` after the build.
#
# 1. a short run that opens the custom panel (screenshots) and is closed;
# 2. the install run: the countdown starts the install, the window shows the
#    download, the installation and the finished page, then the demo presses
#    the main button, which starts the product and closes the installer.
# Exit status 0 exactly when the install succeeded.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build}
# An ordinary user trying a build someone else made keeps the demo's files in
# a folder of its own.
if [ -w "$BUILD" ]; then
    DEMO=$BUILD/demo
else
    DEMO=${TMPDIR:-/tmp}/korvel-demo-$(id -un)
    echo "demo: $BUILD is not writable; the demo's files go to $DEMO"
fi
BIN=$BUILD/tools
SETUP=$BUILD/app/korvel-setup
PACKAGES=$BUILD/demo-deployment/packages
STEP_TIMEOUT=${DEMO_STEP_TIMEOUT:-90}

rm -rf "$DEMO"
mkdir -p "$DEMO/home" "$DEMO/screens" "$DEMO/service-logs"
PIDS=()
cleanup() {
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

# ---- the sandbox ----
export HOME=$DEMO/home
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share
export XDG_STATE_HOME=$HOME/.local/state XDG_CACHE_HOME=$HOME/.cache
export XDG_DATA_DIRS=$HOME/system-share:/usr/share
export KORVEL_REGISTRY_DB=$HOME/registry.db
export ProgramW6432=$HOME/ProgramFiles
export KORVEL_URL_OPENER=$DEMO/open-url
export KORVEL_DEMO_RECORD=$DEMO/launches.jsonl
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$HOME/system-share/applications" \
         "$HOME/Desktop" "$HOME/Documents" "$HOME/Downloads" "$ProgramW6432"
cat > "$KORVEL_URL_OPENER" <<EOF
#!/bin/sh
echo "\$1" >> "$DEMO/opened-urls.txt"
EOF
chmod +x "$KORVEL_URL_OPENER"
LOG=$HOME/Documents/Korvel/Korvel12/Log/install.log

# ---- a display ----
if [ -z "${DISPLAY:-}" ]; then
    exec 7< <(Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp 2>/dev/null)
    read -r -t 20 num <&7 || { echo "demo: Xvfb did not start" >&2; exit 1; }
    export DISPLAY=:$num
    PIDS+=($(pgrep -n -u "$(id -u)" Xvfb))
    echo "demo: display $DISPLAY (Xvfb)"
fi
export SDL_VIDEODRIVER=x11

# ---- services ----
"$BIN/korvel-report-service/korvel-report-service" --listen 127.0.0.1:18090 \
    --db "$DEMO/reports.db" --log-dir "$DEMO/service-logs" > "$DEMO/service.out" 2>&1 &
PIDS+=($!)
mirror_args=()
for m in 127.0.0.11:18081 127.0.0.12:18082 127.0.0.13:18083 127.0.0.14:18084 \
         127.0.0.15:18085 127.0.0.16:18086 127.0.0.99:18089; do
    mirror_args+=(--mirror "$m,rate=100000")
done
"$BIN/korvel-mirror/korvel-mirror" --file "Korvel12_x64.exe=$PACKAGES/Korvel12_x64.exe" \
    --file "Korvel12.exe=$PACKAGES/Korvel12.exe" "${mirror_args[@]}" > "$DEMO/mirror.out" 2>&1 &
PIDS+=($!)
for _ in $(seq 100); do grep -q '^ready' "$DEMO/mirror.out" 2>/dev/null && break; sleep 0.1; done
grep -q '^ready' "$DEMO/mirror.out" || { echo "demo: mirrors did not start" >&2; cat "$DEMO/mirror.out"; exit 1; }

# ---- helpers ----
wait_for() {  # wait_for SECONDS COMMAND...
    local limit=$1; shift
    local end=$((SECONDS + limit))
    until "$@"; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.2
    done
}
log_has() { [ -f "$LOG" ] && grep -qF "$1" "$LOG"; }
window_id() { xdotool search --name "Korvel 12 Installer" 2>/dev/null | head -1; }
WIN=
find_window() { WIN=$(window_id); [ -n "$WIN" ]; }
click() {  # click X Y in window coordinates
    xdotool mousemove --window "$WIN" "$1" "$2" sleep 0.15 mousedown 1 sleep 0.1 mouseup 1
}
point() {  # "X Y" of a click point named in app/setup_geometry.h
    sed -n "s/.*$1{\([0-9]*\), *\([0-9]*\)}.*/\1 \2/p" "$ROOT/app/setup_geometry.h"
}
shot() {
    import -window "$WIN" "$DEMO/screens/$1.png" 2>/dev/null \
        || import -window root "$DEMO/screens/$1.png"
    echo "demo: screenshot $1.png"
}

# ---- run 1: the custom panel ----
"$SETUP" > "$DEMO/setup-1.out" 2>&1 &
SETUP_PID=$!
wait_for 30 find_window || { echo "demo: no installer window" >&2; exit 1; }
sleep 1.5
shot 1-install-page
click $(point kCustomToggleClick)
sleep 1
shot 2-custom-panel
click $(point kCloseButtonClick)
wait_for 30 bash -c "! kill -0 $SETUP_PID 2>/dev/null" || kill "$SETUP_PID"
echo "demo: first run closed (the service records it as cancelled)"

# ---- run 2: the countdown starts the install ----
: > "$LOG"
"$SETUP" > "$DEMO/setup-2.out" 2>&1 &
SETUP_PID=$!
wait_for 30 find_window || { echo "demo: no installer window" >&2; exit 1; }
sleep 3
shot 3-countdown
echo "demo: waiting for the countdown (31 s)"
wait_for 45 log_has "OnBtnInstall(OnInstall)" || { echo "demo: the install did not start" >&2; exit 1; }
wait_for 20 log_has "Url : " && sleep 3 && shot 4-downloading
wait_for "$STEP_TIMEOUT" log_has "Begin depack file." && sleep 0.3 && shot 5-installing
ok=1
wait_for "$STEP_TIMEOUT" log_has "Finish(AfterInstall)" || ok=0
if [ $ok = 1 ]; then
    sleep 1
    shot 6-finished
    click $(point kMainButtonClick)  # "Start Korvel 12"
fi
wait_for 40 bash -c "! kill -0 $SETUP_PID 2>/dev/null" || { kill "$SETUP_PID"; ok=0; }

# ---- what the install left ----
echo
echo "== install folder"
INSTALL=$(find "$ProgramW6432" -name uninstall.exe -printf '%h\n' | head -1)
echo "${INSTALL:-<none>}"
[ -n "$INSTALL" ] && (cd "$INSTALL" && find . -maxdepth 2 | sort | head -40)
echo
echo "== shortcuts"
find "$HOME/Desktop" "$XDG_DATA_HOME/applications" "$HOME/system-share/applications" \
     -name "*.desktop" 2>/dev/null | sed "s|$HOME|~|" | sort || true
echo
echo "== uninstall entry"
sqlite3 -separator ' = ' "$KORVEL_REGISTRY_DB" \
    "SELECT k.name || ' \\ ' || v.name, CASE v.type WHEN 4 THEN 'dword (little-endian bytes) ' || hex(v.data)
       ELSE CAST(v.data AS TEXT) END
     FROM reg_value v JOIN reg_key k ON k.id = v.key_id JOIN reg_key p ON p.id = k.parent
     WHERE p.name = 'Uninstall' ORDER BY v.rowid" 2>/dev/null || echo "<no entry>"
echo
echo "== main application's command lines"
cat "$KORVEL_DEMO_RECORD" 2>/dev/null || echo "<not started>"
echo
echo "== finish page opened"
cat "$DEMO/opened-urls.txt" 2>/dev/null || echo "<none>"
echo
echo "== reports stored by the service"
curl -s http://127.0.0.1:18090/api/install/reports.json | head -c 20000
echo
echo
echo "screenshots: $DEMO/screens"
status=$(curl -s http://127.0.0.1:18090/api/install/reports.json | grep -o '"install_status":"[a-z_]*"' | tail -1)
echo "last report: $status"
echo "ping: $(grep -o 'Ping method : [a-z-]*' "$LOG" | head -1)"
echo "mirrors used: $(curl -s http://127.0.0.1:18090/api/install/reports.json \
    | grep -o '"used_url_info_str":"[^"]*"' | tail -1)"
if [ $ok = 1 ] && [ "$status" = '"install_status":"success"' ] && [ -n "$INSTALL" ]; then
    echo "demo: install succeeded"
    exit 0
fi
echo "demo: install FAILED (see $LOG)" >&2
exit 1
