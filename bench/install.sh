#!/usr/bin/env bash
# Install benchmark: the real installer (bench_install runs it in-process as
# the end-to-end tests do) downloads a ~150 MB demo-like setup package from 5
# mirrors at 4 MB/s per connection and installs it. The seconds from the click
# on the install button to the finished page are set beside the download ideal
# (package bytes / aggregate mirror rate, as bench/download.sh computes it)
# plus `7zz x` of the same payload archive into a fresh folder; the paint
# thread's and the render thread's CPU shares are measured while downloading
# and while installing.
# Median of RUNS runs; writes bench/results/install.json (install-7zz.json,
# install-7zz-blocks.json for the 7zz builders) and prints a table.
# The default builder, korvel-pack, packs the payload in solid blocks of 16 MB
# (which the installer decodes side by side); korvel-pack-one-block packs one
# solid block (`--solid-block 0`); 7zz packs it with `7zz a -mx9 -mmt2` (one
# solid block), 7zz-blocks with `7zz a -mx9 -ms=16m -mmt2`, each wrapped with
# `korvel-pack build --payload-7z`.
# Each builder's package is made once and its build time kept beside it.
# BUILD_AGAINST=DIR (bench/against.sh sets it, with AGAINST_NAME) runs the
# bench_install of that build too, one run of each after the other with the
# same package and mirrors, prints both builds' medians and their ratios, and
# writes no results file.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${BUILD:-$ROOT/build}
RUNS=${RUNS:-3}
WORK=${BENCH_WORK:-$BUILD/bench-install}
command -v 7zz >/dev/null || { apt-get update -qq && apt-get install -y -qq 7zip; }
cmake --build "$BUILD" --target bench_install korvel-pack korvel-demo-app korvel-demo-deployment >/dev/null
if [ -n "${BUILD_AGAINST:-}" ]; then
  cmake --build "$BUILD_AGAINST" --target bench_install >/dev/null
fi
mkdir -p "$WORK"
exec python3 - "$ROOT" "$BUILD" "$WORK" "$RUNS" "${PAYLOAD_BUILDER:-korvel-pack}" \
  "${BUILD_AGAINST:-}" "${AGAINST_NAME:-other}" <<'PY'
import json, os, random, shutil, statistics, subprocess, sys, time
root, build, work, runs, builder = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5]
against, against_name = sys.argv[6], sys.argv[7]
sys.dont_write_bytecode = True  # no cache files in the source tree
sys.path.insert(0, f"{root}/bench")
from payload_files import cut_payload, payload_writer, tree
SEVEN_ZIP_SWITCHES = {"7zz": ["-mx9", "-mmt2"], "7zz-blocks": ["-mx9", "-ms=16m", "-mmt2"]}
OWN_SWITCHES = {"korvel-pack": [], "korvel-pack-one-block": ["--solid-block", "0"]}
if builder not in OWN_SWITCHES and builder not in SEVEN_ZIP_SWITCHES:
    sys.exit("PAYLOAD_BUILDER must be korvel-pack, korvel-pack-one-block, 7zz or 7zz-blocks, "
             f"not {builder}")
bench = f"{build}/bench/install/bench_install"
pack = f"{build}/tools/korvel-pack/korvel-pack"
demo_app = f"{build}/tools/korvel-demo-app/korvel-demo-app"
demo_payload = f"{build}/demo-deployment/payload"
suffix = "" if builder == "korvel-pack" else "-" + builder
payload, archive = f"{work}/payload", f"{work}/payload{suffix}.7z"
package = f"{work}/Korvel12_x64{suffix}.exe"
MIRRORS, RATE, CONNECTIONS = 5, 4000000, 2  # korvel-mirror rate=4000000; two transfers a mirror
GENERATOR = 1  # bump when the payload recipe changes
PACKAGE_RECIPE = 2  # bump when a builder packs differently (2: korvel-pack packs solid blocks)

def program_bytes(rng, size):
    # Program-like content that compresses poorly: mostly machine code and
    # packed data (noise here), some tables of repeated records.
    out = bytearray()
    while len(out) < size:
        if rng.random() < 0.85:
            out += rng.randbytes(4096)
        else:
            record = rng.randbytes(12) + bytes(4)
            out += (record * 256)[:4096]
    return bytes(out[:size])

def generate():
    rng = random.Random(20201015)
    shutil.rmtree(payload, ignore_errors=True)
    shutil.copytree(demo_payload, payload)  # the demo product: main application, repair tool, docs
    put = payload_writer(payload)
    for i in range(26):                          # libraries: ~104 MB
        put(f"bin/KorvelCore{i:02d}.dll", program_bytes(rng, rng.randint(2000000, 6000000)), 0o755)
    for i in range(48):                          # plug-ins: ~43 MB
        put(f"plugins/filter{i:02d}.dll", program_bytes(rng, rng.randint(200000, 1600000)), 0o755)
    for i in range(400):                         # small resources: ~3 MB
        put(f"resources/res{i // 100}/item{i:03d}.bin", program_bytes(rng, rng.randint(1000, 12000)))

FACTS = ["--uninstaller", demo_app, "--registry-name", "Korvel 12", "--short-name", "Korvel12 (x64)",
         "--version", "12.0.0.2", "--product-name", "Korvel 12", "--release-date", "2020-10-15",
         "--web-address", "http://www.korvel.example/",
         "--publisher", "Copyright (C) 2019-2021 Korvel Software Ltd.", "--x64"]

def build_package():
    """Packs the payload with the chosen builder; returns the seconds it took."""
    start = time.monotonic()
    if builder in SEVEN_ZIP_SWITCHES:
        made = f"{work}/vendor-payload.7z"
        if os.path.exists(made):
            os.remove(made)
        subprocess.run(["7zz", "a", "-t7z", *SEVEN_ZIP_SWITCHES[builder], "-bd", "-bso0", "-bsp0",
                        made, "."], cwd=payload, check=True)
        source = ["--payload-7z", made]
    else:
        source = ["--payload", payload, "--mtime", "1602720000", *OWN_SWITCHES[builder]]
    subprocess.run([pack, "build", *source, *FACTS, "-o", package], check=True)
    seconds = time.monotonic() - start
    if builder in SEVEN_ZIP_SWITCHES:
        os.remove(made)  # the package holds it byte for byte
    return seconds

stamp, package_stamp = f"{work}/generator", f"{work}/package{suffix}.json"
if not os.path.exists(stamp) or open(stamp).read() != str(GENERATOR):
    print("generating the payload (once) ...", flush=True)
    generate()
    open(stamp, "w").write(str(GENERATOR))
    for old in [f"{work}/package{'' if b == 'korvel-pack' else '-' + b}.json"
                for b in [*OWN_SWITCHES, *SEVEN_ZIP_SWITCHES]]:
        if os.path.exists(old):
            os.remove(old)
built = json.load(open(package_stamp)) if os.path.exists(package_stamp) else {}
if not built and os.path.exists(package):
    built = {"generator": GENERATOR, "builder": builder, "build_seconds": None}  # made earlier
if (built.get("generator") != GENERATOR or built.get("package_recipe", 1) != PACKAGE_RECIPE
        or not os.path.exists(package)):
    print(f"building the package with {builder} (once) ...", flush=True)
    built = {"generator": GENERATOR, "package_recipe": PACKAGE_RECIPE, "builder": builder,
             "build_seconds": build_package(),
             "load_average": os.getloadavg()[0]}
    json.dump(built, open(package_stamp, "w"))
info = cut_payload(pack, package, archive)
payload_bytes, payload_files = tree(payload)
package_bytes = os.path.getsize(package)
subprocess.run([bench, "selftest"], check=True)
against_bench = f"{against}/bench/install/bench_install" if against else None
if against_bench:
    subprocess.run([against_bench, "selftest"], check=True)

def installer_run(program=bench):
    tmp = f"{work}/tmp"
    shutil.rmtree(tmp, ignore_errors=True)
    os.makedirs(tmp)
    os.sync()  # the previous run's dirty pages must not slow this one down
    env = dict(os.environ, TMPDIR=tmp)
    r = subprocess.run([program, "run", "--package", package, "--payload", payload,
                        "--mirrors", str(MIRRORS), "--mirror-options", f"rate={RATE}"],
                       capture_output=True, text=True, env=env, timeout=300)
    lines = [l for l in r.stdout.splitlines() if l.startswith("{")]
    result = json.loads(lines[-1]) if lines else {"ok": False, "error": r.stderr[-400:]}
    if r.returncode != 0 or not result["ok"]:
        sys.exit(f"installer run failed: {result.get('error')}\n{r.stderr[-2000:]}")
    return result

def seven_zip_run():
    out = f"{work}/out"
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    os.sync()
    t = time.monotonic()
    subprocess.run(["7zz", "x", "-y", "-bso0", "-bsp0", archive, f"-o{out}"], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    seconds = time.monotonic() - t
    if tree(out)[0] != payload_bytes:
        sys.exit(f"7zz x extracted {tree(out)[0]} bytes, expected {payload_bytes}")
    shutil.rmtree(out, ignore_errors=True)
    return seconds

def compare_against():
    """Both builds run by run, one after the other; their medians and ratios."""
    keys = ["click_to_finished_seconds", "download_seconds", "install_seconds"]
    seen = {"this": [], "against": []}
    for i in range(runs):
        for side, program in (("this", bench), ("against", against_bench)):
            seen[side].append(installer_run(program))
        print(f"run {i + 1}/{runs}: this {seen['this'][-1]['click_to_finished_seconds']:.2f} s, "
              f"{against_name} {seen['against'][-1]['click_to_finished_seconds']:.2f} s "
              f"click to finished, load {os.getloadavg()[0]:.2f}", flush=True)
    print(f"this build ({build}) against {against_name} ({against}), median of {runs}")
    print(f"{'':26} {'this':>8} {against_name[:10]:>10} {'other/this':>10}")
    for key in keys:
        mine = statistics.median(r[key] for r in seen["this"])
        other = statistics.median(r[key] for r in seen["against"])
        print(f"{key:26} {mine:8.2f} {other:10.2f} {other / mine:10.3f}")

if against_bench:
    compare_against()
    sys.exit(0)

per_run = []
for i in range(runs):
    load = os.getloadavg()[0]
    r = installer_run()
    r["seven_zip_seconds"] = seven_zip_run()
    r["load_average_before"] = load
    r["paint_cpu_share_download"] = r["paint_cpu_seconds_download"] / r["download_seconds"]
    r["paint_cpu_share_install"] = r["paint_cpu_seconds_install"] / r["install_seconds"]
    r["render_cpu_share_download"] = r["render_cpu_seconds_download"] / r["download_seconds"]
    r["render_cpu_share_install"] = r["render_cpu_seconds_install"] / r["install_seconds"]
    # The whole process, in CPUs busy (2.0 = both cores); while downloading
    # this holds the in-process mirrors too.
    r["process_cpu_share_download"] = r["process_cpu_seconds_download"] / r["download_seconds"]
    r["process_cpu_share_install"] = r["process_cpu_seconds_install"] / r["install_seconds"]
    per_run.append(r)
    print(f"run {i + 1}/{runs}: {r['click_to_finished_seconds']:.2f} s click to finished, "
          f"7zz x {r['seven_zip_seconds']:.2f} s, load {load:.2f}", flush=True)

def median(key):
    return statistics.median(r[key] for r in per_run)

ideal = package_bytes / (MIRRORS * CONNECTIONS * RATE)
seven = median("seven_zip_seconds")
total = median("click_to_finished_seconds")
marks = {k: round(statistics.median(r["marks"][k] for r in per_run), 3)
         for k in per_run[0]["marks"] if all(k in r["marks"] for r in per_run)}
result = {
    "package_bytes": package_bytes, "payload_bytes": payload_bytes, "payload_files": payload_files,
    "packed_payload_bytes": info["payload_size"], "mirrors": MIRRORS,
    "payload_builder": builder, "package_build_seconds": built["build_seconds"],
    "package_build_load_average": built.get("load_average"),
    "rate_per_connection": RATE, "connections_per_mirror": CONNECTIONS, "runs": runs,
    "cpus": os.cpu_count(),
    "click_to_finished_seconds": round(total, 3),
    "download_seconds": round(median("download_seconds"), 3),
    "install_seconds": round(median("install_seconds"), 3),
    "download_ideal_seconds": round(ideal, 3),
    "seven_zip_seconds": round(seven, 3),
    "ideal_sum_seconds": round(ideal + seven, 3),
    "ratio_to_ideal_sum": round(total / (ideal + seven), 3),  # above 1: slower than the sum
    "paint_cpu_share_download": round(median("paint_cpu_share_download"), 4),
    "paint_cpu_share_install": round(median("paint_cpu_share_install"), 4),
    "render_cpu_share_download": round(median("render_cpu_share_download"), 4),
    "render_cpu_share_install": round(median("render_cpu_share_install"), 4),
    "process_cpu_share_download": round(median("process_cpu_share_download"), 3),
    "process_cpu_share_install": round(median("process_cpu_share_install"), 3),
    "marks_seconds_after_click": marks,
    "load_average_before": [round(r["load_average_before"], 2) for r in per_run],
    "per_run": per_run,
}
os.makedirs(f"{root}/bench/results", exist_ok=True)
json.dump(result, open(f"{root}/bench/results/install{suffix}.json", "w"), indent=2)

build_time = "?" if built["build_seconds"] is None else f"{built['build_seconds']:.0f}"
print(f"package {package_bytes / 1e6:.1f} MB built by {builder} in {build_time} s "
      f"(payload {payload_bytes / 1e6:.1f} MB in {payload_files} files), {MIRRORS} mirrors x {CONNECTIONS} connections x {RATE / 1e6:.0f} MB/s, {runs} runs, "
      f"{os.cpu_count()} CPUs, load before runs {result['load_average_before']}")
COLUMNS = [("click->finished s", "click_to_finished_seconds", "{:.2f}"),
           ("download s", "download_seconds", "{:.2f}"), ("install s", "install_seconds", "{:.2f}"),
           ("paint CPU dl", "paint_cpu_share_download", "{:.1%}"),
           ("paint CPU inst", "paint_cpu_share_install", "{:.1%}"),
           ("render CPU dl", "render_cpu_share_download", "{:.1%}"),
           ("render CPU inst", "render_cpu_share_install", "{:.1%}"),
           ("proc CPUs dl", "process_cpu_share_download", "{:.2f}"),
           ("proc CPUs inst", "process_cpu_share_install", "{:.2f}"),
           ("7zz x s", "seven_zip_seconds", "{:.2f}")]
print(f"{'run':>6} " + " ".join(f"{title:>{len(title)}}" for title, _, _ in COLUMNS))
for name, row in [(str(i + 1), r) for i, r in enumerate(per_run)] + [("median", None)]:
    cells = [fmt.format(row[key] if row else median(key)) for _, key, fmt in COLUMNS]
    print(f"{name:>6} " + " ".join(f"{c:>{len(t)}}" for c, (t, _, _) in zip(cells, COLUMNS)))
print(f"download ideal {ideal:.2f} s + 7zz x {seven:.2f} s = {ideal + seven:.2f} s; "
      f"click to finished / that sum = {result['ratio_to_ideal_sum']:.2f}")
print("steps (median seconds after the click): " +
      ", ".join(f"{k} {v:.2f}" for k, v in marks.items()))
PY
