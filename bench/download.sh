#!/usr/bin/env bash
# Download benchmark: korvel-fetch against aria2c over the same simulated
# mirrors, both verifying a 150001432-byte file with whole-file and 1 MiB MD5s.
# Writes bench/results/download.json and prints a table.
# BUILD_AGAINST=DIR (bench/against.sh sets it, with AGAINST_NAME) adds the
# korvel-fetch of that build: each run of a scenario runs both builds and
# aria2c one after the other, the table gains the other build's seconds and
# the ratio, and no results file is written.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${BUILD:-$ROOT/build}
RUNS=${RUNS:-3}
# SCENARIOS=1,3 runs only those (the results file is written only for all).
SCENARIOS=${SCENARIOS:-}
command -v aria2c >/dev/null || { apt-get update -qq && apt-get install -y -qq aria2; }
cmake --build "$BUILD" --target korvel-fetch korvel-mirror >/dev/null
if [ -n "${BUILD_AGAINST:-}" ]; then
  cmake --build "$BUILD_AGAINST" --target korvel-fetch >/dev/null
fi
WORK=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$WORK"' EXIT
head -c 150001432 /dev/urandom > "$WORK/pkg.exe"
exec python3 - "$ROOT" "$BUILD" "$WORK" "$RUNS" "$SCENARIOS" "${BUILD_AGAINST:-}" \
  "${AGAINST_NAME:-other}" <<'PY'
import hashlib, json, os, re, statistics, subprocess, sys, time
root, build, work, runs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
only = {int(x) for x in sys.argv[5].split(",") if x}
against, against_name = sys.argv[6], sys.argv[7]
mirror_bin = f"{build}/tools/korvel-mirror/korvel-mirror"
fetch_bin = f"{build}/tools/korvel-fetch/korvel-fetch"
# The engines compared; both use this build's mirrors.
FETCHERS = {"korvel-fetch": fetch_bin}
if against:
    FETCHERS["against"] = f"{against}/tools/korvel-fetch/korvel-fetch"
TOOLS = ["korvel-fetch", "aria2c"] + (["against"] if against else [])
data = open(f"{work}/pkg.exe", "rb").read()
size = len(data)
whole = hashlib.md5(data).hexdigest().upper()
blocks = [hashlib.md5(data[o:o + 1048576]).hexdigest().upper() for o in range(0, size, 1048576)]
MB = 1000000
base = 4 * MB
scenarios = [
    ("1: 5 mirrors x 4 MB/s per connection", [f"rate={base}"] * 5),
    ("2: 1/2/4/8/16 MB/s per connection", [f"rate={r * MB}" for r in (1, 2, 4, 8, 16)]),
    ("3: as 1, one mirror corrupts a byte", [f"rate={base}"] * 4 + [f"rate={base},corrupt=140000000"]),
    # Per connection: a 20 MB stall would never trigger inside the 15 MB ranges.
    ("4: as 1, one mirror stalls after 10 MB of each range", [f"rate={base}"] * 4 + [f"rate={base},stall=10000000"]),
    ("5: unlimited loopback", [""] * 5),
    # The destination already holds the first 60 % (an interrupted run).
    ("6: as 1, resuming with 60 % on disk", [f"rate={base}"] * 5, 0.6),
]

def start_mirrors(opts):
    mirrors = []
    for i, o in enumerate(opts):
        mirrors += ["--mirror", f"127.0.0.{11 + i}:{18200 + i}" + ("," + o if o else "")]
    p = subprocess.Popen([mirror_bin, "--file", f"pkg.exe={work}/pkg.exe"] + mirrors,
                         stdout=subprocess.PIPE, text=True)
    while "ready" not in p.stdout.readline():
        pass
    return p, [f"http://127.0.0.{11 + i}:{18200 + i}/download/pkg.exe" for i in range(len(opts))]

def write_inputs(urls):
    x = f'<?xml version="1.0" encoding="utf-8"?>\n<download size="{size}" name="pkg.exe" version="1">'
    x += f'<url size="{len(urls)}">' + "".join(f'<item_{i} value="{u}"/>' for i, u in enumerate(urls))
    hs = [whole] + blocks
    x += f'</url><hash size="{len(hs)}">' + "".join(f'<item_{i} value="{h}"/>' for i, h in enumerate(hs))
    open(f"{work}/cfg.xml", "w").write(x + "</hash></download>\n")
    m = '<?xml version="1.0" encoding="UTF-8"?>\n<metalink xmlns="urn:ietf:params:xml:ns:metalink">'
    m += f'<file name="pkg.exe"><size>{size}</size><hash type="md5">{whole.lower()}</hash>'
    m += '<pieces length="1048576" type="md5">' + "".join(f"<hash>{b.lower()}</hash>" for b in blocks)
    m += "</pieces>" + "".join(f'<url priority="1">{u}</url>' for u in urls) + "</file></metalink>\n"
    open(f"{work}/pkg.meta4", "w").write(m)

def timed(cmd):
    t = time.monotonic()
    r = subprocess.run(["/usr/bin/time", "-v"] + cmd, capture_output=True, text=True)
    wall = time.monotonic() - t
    rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", r.stderr).group(1))
    return wall, rss * 1024, r.returncode, r.stdout

def fetch_summary(stdout):
    for line in stdout.splitlines():
        if '"summary":true' in line:
            return json.loads(line)
    return {}

def verify(path):
    return os.path.exists(path) and hashlib.md5(open(path, "rb").read()).hexdigest().upper() == whole

results = []
for number, (name, opts, *rest) in enumerate(scenarios, 1):
    if only and number not in only:
        continue
    prefill = rest[0] if rest else 0
    mirrors, urls = start_mirrors(opts)
    write_inputs(urls)
    row = {"scenario": name}
    seen = {t: {"walls": [], "rsss": [], "ok": True, "latencies": [], "kept": 0} for t in TOOLS}
    # Run by run, every tool once: a change of load meets all of them alike.
    for _ in range(runs):
        for tool in TOOLS:
            s = seen[tool]
            out = f"{work}/out-{tool}"
            subprocess.run(["rm", "-rf", out]); os.makedirs(out)
            if prefill:
                open(f"{out}/pkg.exe", "wb").write(data[:int(size * prefill)])
            if tool in FETCHERS:
                cmd = [FETCHERS[tool], f"{work}/cfg.xml", f"{out}/pkg.exe"]
            else:
                cmd = ["aria2c", "-q", "-d", out, "-M", f"{work}/pkg.meta4", "--split=10",
                       "--max-connection-per-server=2", "--min-split-size=1M",
                       "--check-integrity=true", "--file-allocation=none", "--allow-overwrite=true"]
            wall, rss, rc, stdout = timed(cmd)
            s["ok"] = s["ok"] and rc == 0 and verify(f"{out}/pkg.exe")
            s["walls"].append(wall); s["rsss"].append(rss)
            if tool in FETCHERS:
                # From the last byte in to the final event, as the engine saw it.
                summary = fetch_summary(stdout)
                if "last_byte_seconds" in summary:
                    s["latencies"].append(summary["seconds"] - summary["last_byte_seconds"])
                s["kept"] = summary.get("kept_bytes", 0)
    for tool in TOOLS:
        s = seen[tool]
        wall = statistics.median(s["walls"])
        row[tool] = {"seconds": round(wall, 3), "peak_rss_bytes": max(s["rsss"]),
                     "mb_per_s": round(size / MB / wall, 2), "verified": s["ok"]}
        if tool in FETCHERS:
            row[tool]["finish_latency_s"] = round(max(s["latencies"]), 3) if s["latencies"] else None
            row[tool]["kept_bytes"] = s["kept"]
    mirrors.terminate(); mirrors.wait()
    rates = [int(re.search(r"rate=(\d+)", o).group(1)) * 2 for o in opts if "rate=" in o]
    ideal = size / sum(rates) if len(rates) == len(opts) else None
    k, a = row["korvel-fetch"]["seconds"], row["aria2c"]["seconds"]
    row["ratio_to_aria2c"] = round(a / k, 3)  # above 1: korvel-fetch faster
    row["ideal_seconds"] = round(ideal, 3) if ideal else None
    row["ratio_to_ideal"] = round(ideal / k, 3) if ideal else None
    if prefill:
        # The resumed run against the full download of scenario 1 in this run.
        first = next((r for r in results if r["scenario"].startswith("1:")), None)
        row["ideal_seconds"] = row["ratio_to_ideal"] = None
        row["share_of_scenario_1"] = round(k / first["korvel-fetch"]["seconds"], 3) if first else None
    if against:
        row["ratio_to_against"] = round(row["against"]["seconds"] / k, 3)  # above 1: this build faster
    results.append(row)
if against:
    print(f"this build ({build}) against {against_name} ({against}), median of {runs}, "
          f"load average {os.getloadavg()[0]:.2f} at the end")
    print(f"{'scenario':42} {'this s':>8} {against_name[:10]:>10} {'other/this':>10} {'aria2c s':>9} ok")
    for r in results:
        k, o, a = r["korvel-fetch"], r["against"], r["aria2c"]
        print(f"{r['scenario']:42} {k['seconds']:8.2f} {o['seconds']:10.2f} {r['ratio_to_against']:10.3f} "
              f"{a['seconds']:9.2f} {k['verified'] and o['verified'] and a['verified']}")
    sys.exit(0)
if not only:
  json.dump({"file_size": size, "runs": runs, "results": results},
            open(f"{root}/bench/results/download.json", "w"), indent=2)
print(f"{'scenario':42} {'korvel s':>9} {'aria2c s':>9} {'k MB/s':>7} {'a MB/s':>7} {'vs aria2':>8} {'vs ideal':>8} "
      f"{'k RSS MB':>8} {'a RSS MB':>8} {'finish s':>8} {'kept MB':>7} {'of sc.1':>7} ok")
for r in results:
    k, a = r["korvel-fetch"], r["aria2c"]
    print(f"{r['scenario']:42} {k['seconds']:9.2f} {a['seconds']:9.2f} {k['mb_per_s']:7.1f} {a['mb_per_s']:7.1f} "
          f"{r['ratio_to_aria2c']:8.2f} {str(r['ratio_to_ideal']):>8} {k['peak_rss_bytes']/2**20:8.0f} "
          f"{a['peak_rss_bytes']/2**20:8.0f} {str(k['finish_latency_s']):>8} {k['kept_bytes']/MB:7.1f} "
          f"{str(r.get('share_of_scenario_1', '')):>7} {k['verified'] and a['verified']}")
PY
