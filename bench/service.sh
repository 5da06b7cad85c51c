#!/usr/bin/env bash
# Report service under load: CLIENTS (200) concurrent installers post
# reports and logs for SECONDS_RUN (30) on loopback, once per engine in
# ENGINES ("sqlite postgres"):
#   sqlite    one korvel-report-service on a SQLite file;
#   postgres  two instances on two ports sharing one throwaway PostgreSQL
#             server (initdb + pg_ctl in a temporary folder, as the user
#             postgres when run as root), the clients split between them.
# Every acknowledged post must be stored exactly once, counted from the
# store itself. Writes bench/results/service.json.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${BUILD:-$ROOT/build}
CLIENTS=${CLIENTS:-200}
SECONDS_RUN=${SECONDS_RUN:-30}
ENGINES=${ENGINES:-sqlite postgres}
cmake --build "$BUILD" --target korvel-report-service korvel-load >/dev/null
SERVICE=$BUILD/tools/korvel-report-service/korvel-report-service
WORK=$(mktemp -d)
chmod 711 "$WORK"
PIDS=()
PGDATA_DIR=
PG_BIN=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)

as_pg_user() {
  if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -n "$PGDATA_DIR" ] && as_pg_user "$PG_BIN/pg_ctl" -D "$PGDATA_DIR" -m fast -w stop >/dev/null 2>&1 || true
  rm -rf "$WORK"
}
trap cleanup EXIT
ulimit -n 4096 2>/dev/null || true

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# start_service OUT ARGS...: starts one instance, prints its URL.
start_service() {
  local out=$1; shift
  "$SERVICE" --listen 127.0.0.1:0 --max-posts-per-minute 0 "$@" >"$out" 2>&1 &
  PIDS+=($!)
  for _ in $(seq 100); do
    grep -q "listening on" "$out" && break
    sleep 0.1
  done
  sed -nE 's/.*listening on (http:[^ ]+).*/\1/p' "$out" | grep . || { cat "$out" >&2; return 1; }
}

stop_services() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  PIDS=()
}

start_postgres() {
  [ -n "$PG_BIN" ] || { echo "no PostgreSQL server binaries (./run deps)" >&2; return 1; }
  PGDATA_DIR=$WORK/pgdata
  mkdir -p "$PGDATA_DIR"
  [ "$(id -u)" = 0 ] && chown postgres: "$PGDATA_DIR"
  as_pg_user "$PG_BIN/initdb" -D "$PGDATA_DIR" -U korvel --auth=trust -E UTF8 --locale=C >/dev/null
  PG_PORT=$(free_port)
  as_pg_user "$PG_BIN/pg_ctl" -D "$PGDATA_DIR" -l "$PGDATA_DIR/server.log" -w \
    -o "-p $PG_PORT -k $PGDATA_DIR -c listen_addresses=127.0.0.1 -c max_connections=100" start >/dev/null
  PG_URL="postgresql://korvel@127.0.0.1:$PG_PORT/postgres"
}

# count_store ENGINE: "reports distinct_uuids logs" from the store itself.
count_store() {
  local q="select count(*), count(distinct uuid), (select count(*) from logs) from reports"
  if [ "$1" = sqlite ]; then
    sqlite3 -separator ' ' "$WORK/reports.db" "$q"
  else
    psql "$PG_URL" -tA -F ' ' -c "$q"
  fi
}

run_engine() {
  local engine=$1 urls
  if [ "$engine" = sqlite ]; then
    urls=$(start_service "$WORK/service.out" --db "$WORK/reports.db")
  else
    start_postgres
    local a b
    a=$(start_service "$WORK/service-a.out" --db "$PG_URL")
    b=$(start_service "$WORK/service-b.out" --db "$PG_URL")
    urls="$a,$b"
  fi
  set +e
  "$BUILD/tools/korvel-load/korvel-load" --url "$urls" --clients "$CLIENTS" \
    --seconds "$SECONDS_RUN" >"$WORK/load-$engine.json"
  echo $? >"$WORK/load-$engine.status"
  set -e
  stop_services
  count_store "$engine" >"$WORK/store-$engine.txt"
}

for engine in $ENGINES; do run_engine "$engine"; done

python3 - "$WORK" "$ROOT/bench/results/service.json" $ENGINES <<'PY'
import json, os, sys
work, out, engines = sys.argv[1], sys.argv[2], sys.argv[3:]
results, all_ok = {}, True
for engine in engines:
    load = json.load(open(f"{work}/load-{engine}.json"))
    status = int(open(f"{work}/load-{engine}.status").read())
    reports, distinct, logs = map(int, open(f"{work}/store-{engine}.txt").read().split())
    r = dict(load)
    r.update({"engine": engine, "stored_reports": reports, "stored_distinct_uuids": distinct,
              "stored_logs": logs, "lost_reports": load["reports_acked"] - reports,
              "lost_logs": load["logs_acked"] - logs})
    r["ok"] = (status == 0 and r["lost_reports"] == 0 and r["lost_logs"] == 0
               and distinct == reports)
    all_ok &= r["ok"]
    results[engine] = r
    print(f"service bench [{engine}, {load['instances']} instance(s)]: {load['clients']} clients, "
          f"{load['seconds']} s, {load['posts']} posts ({load['posts_per_second']}/s)")
    print(f"  acknowledged: {load['reports_acked']} reports, {load['logs_acked']} logs; "
          f"stored: {reports} reports ({distinct} distinct runs), {logs} logs")
    print(f"  refused {load['refused']}, transport errors {load['transport_errors']}, "
          f"lost {r['lost_reports']} reports / {r['lost_logs']} logs")
    print(f"  latency p50 {load['p50_ms']} ms, p99 {load['p99_ms']} ms, max {load['max_ms']} ms")
    print("  OK" if r["ok"] else "  FAILED")
os.makedirs(os.path.dirname(out), exist_ok=True)
with open(out, "w") as f:
    json.dump(results, f, indent=2)
    f.write("\n")
sys.exit(0 if all_ok else 1)
PY
