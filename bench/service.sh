#!/usr/bin/env bash
# Report service under load: CLIENTS (200) concurrent installers post
# reports and logs for SECONDS (30) on loopback against korvel-report-service.
# Checks that every acknowledged post is stored (rows in the service's SQLite
# database against acknowledgements) and writes bench/results/service.json.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${BUILD:-$ROOT/build}
CLIENTS=${CLIENTS:-200}
SECONDS_RUN=${SECONDS_RUN:-30}
cmake --build "$BUILD" --target korvel-report-service korvel-load >/dev/null
WORK=$(mktemp -d)
SERVICE_PID=
cleanup() {
  [ -n "$SERVICE_PID" ] && kill "$SERVICE_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
ulimit -n 4096 2>/dev/null || true

"$BUILD/tools/korvel-report-service/korvel-report-service" --listen 127.0.0.1:0 \
  --db "$WORK/reports.db" --log-dir "$WORK/logs" >"$WORK/service.out" 2>&1 &
SERVICE_PID=$!
for _ in $(seq 100); do
  grep -q "listening on" "$WORK/service.out" && break
  sleep 0.1
done
URL=$(sed -nE 's/.*listening on (http:[^ ]+).*/\1/p' "$WORK/service.out")
[ -n "$URL" ] || { cat "$WORK/service.out"; exit 1; }

set +e
"$BUILD/tools/korvel-load/korvel-load" --url "$URL" --clients "$CLIENTS" \
  --seconds "$SECONDS_RUN" >"$WORK/load.json"
load_status=$?
set -e
kill "$SERVICE_PID"
wait "$SERVICE_PID" || true
SERVICE_PID=

exec python3 - "$WORK" "$ROOT/bench/results/service.json" "$load_status" <<'PY'
import json, os, sqlite3, sys
work, out, load_status = sys.argv[1], sys.argv[2], int(sys.argv[3])
load = json.load(open(f"{work}/load.json"))
db = sqlite3.connect(f"{work}/reports.db")
reports = db.execute("select count(*) from reports").fetchone()[0]
distinct = db.execute("select count(distinct uuid) from reports").fetchone()[0]
logs = db.execute("select count(*) from logs").fetchone()[0]
log_files = len(os.listdir(f"{work}/logs"))
result = dict(load)
result.update({
    "stored_reports": reports, "stored_distinct_uuids": distinct,
    "stored_logs": logs, "log_files": log_files,
    "lost_reports": load["reports_acked"] - reports,
    "lost_logs": load["logs_acked"] - logs,
})
ok = (load_status == 0 and result["lost_reports"] == 0 and result["lost_logs"] == 0
      and distinct == reports and log_files == logs)
result["ok"] = ok
os.makedirs(os.path.dirname(out), exist_ok=True)
with open(out, "w") as f:
    json.dump(result, f, indent=2)
    f.write("\n")
print(f"service bench: {load['clients']} clients, {load['seconds']} s, {load['posts']} posts "
      f"({load['posts_per_second']}/s)")
print(f"  acknowledged: {load['reports_acked']} reports, {load['logs_acked']} logs; "
      f"stored: {reports} reports ({distinct} distinct runs), {logs} logs, {log_files} files")
print(f"  refused {load['refused']}, transport errors {load['transport_errors']}, "
      f"lost {result['lost_reports']} reports / {result['lost_logs']} logs")
print(f"  latency p50 {load['p50_ms']} ms, p99 {load['p99_ms']} ms, max {load['max_ms']} ms")
print("  OK" if ok else "  FAILED")
sys.exit(0 if ok else 1)
PY
