#!/usr/bin/env bash
# Extraction benchmark: one payload of about 300 MB of mixed files (text, binary
# records, already-compressed data, many small files) packed in LZMA2 solid blocks
# (7z) by korvel-pack, then extracted by korvel-pack extract (the
# installer's InstallPackage), by 7z x and by bsdtar -xf. Median of RUNS runs
# each, wall and CPU seconds; writes bench/results/extract.json and prints a table.
# Quick mode: PACKAGE=FILE extracts that setup package instead (e.g. the
# install benchmark's) and only prints; TOOLS="korvel-pack extract,7z x"
# picks tools; BASELINE_PACK=BINARY adds an older korvel-pack to the same rounds.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${BUILD:-$ROOT/build}
RUNS=${RUNS:-3}
WORK=${BENCH_WORK:-$ROOT/build-inst/bench-extract}
# Debian's 7zip package names its program 7zz.
command -v 7z >/dev/null || command -v 7zz >/dev/null || { apt-get update -qq && apt-get install -y -qq 7zip; }
SEVENZ=$(command -v 7z || command -v 7zz)
command -v bsdtar >/dev/null || { apt-get update -qq && apt-get install -y -qq libarchive-tools; }
cmake --build "$BUILD" --target korvel-pack >/dev/null
PACK=$BUILD/tools/korvel-pack/korvel-pack
mkdir -p "$WORK"
exec python3 - "$ROOT" "$PACK" "$WORK" "$RUNS" "$SEVENZ" "${PACKAGE:-}" "${TOOLS:-}" "${BASELINE_PACK:-}" <<'PY'
import json, os, random, resource, shutil, statistics, subprocess, sys, time
root, pack, work, runs, sevenz = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5]
given_package, only_tools, baseline = sys.argv[6], sys.argv[7], sys.argv[8]
sys.dont_write_bytecode = True  # no cache files in the source tree
sys.path.insert(0, f"{root}/bench")
from payload_files import cut_payload, payload_writer, tree
payload, package, archive = f"{work}/payload", f"{work}/package.exe", f"{work}/payload.7z"
if given_package:
    package, archive = os.path.abspath(given_package), f"{work}/given-payload.7z"
GENERATOR = 3  # bump when the payload recipe changes (3: korvel-pack packs solid blocks)

VOCAB = []

def text_file(rng, size):
    if not VOCAB:
        VOCAB.extend("".join(rng.choice("etaoinshrdlucmfwypvbgkjqxz") for _ in range(rng.randint(2, 9)))
                     for _ in range(4000))
    words = rng.choices(VOCAB, k=size // 5 + 16)
    text = " ".join(words)
    # line breaks every dozen words or so
    return text.replace(" a", "\na")[:size].encode()

def record_file(rng, size):
    # Binary-looking records: small integers and repeated field layouts.
    n = size // 16 + 1
    low = rng.randbytes(n * 2)
    kinds = bytes(rng.choices(range(4), k=n))
    fields = bytes(rng.choices(range(16), k=n))
    out = bytearray()
    for i in range(n):
        out += bytes((kinds[i], fields[i], 0, 0)) + low[2 * i:2 * i + 2] + bytes(10)
    return bytes(out[:size])

def generate():
    rng = random.Random(20201015)
    shutil.rmtree(payload, ignore_errors=True)
    os.makedirs(payload)
    put = payload_writer(payload)
    for i in range(35):                         # already compressed: ~84 MB
        put(f"media/clip{i:02d}.bin", rng.randbytes(2400000))
    for i in range(12):                         # large text: ~72 MB
        put(f"docs/manual{i:02d}.txt", text_file(rng, 6000000))
    for i in range(16000):                      # many small files: ~32 MB
        put(f"data/set{i // 500:02d}/item{i:05d}.xml", text_file(rng, rng.randint(500, 3500)))
    for i in range(20):                         # binaries: ~100 MB
        put(f"bin/lib{i:02d}.so", record_file(rng, 5000000), 0o755)
    put("Korvel.exe", record_file(rng, 3000000), 0o755)
    open(f"{payload}/.generator", "w").write(str(GENERATOR))
    open(f"{work}/uninstall.exe", "wb").write(b"MZ uninstaller")

stamp = f"{payload}/.generator"
if given_package:
    pass
elif not os.path.exists(stamp) or open(stamp).read() != str(GENERATOR) or not os.path.exists(package):
    print("generating the payload and the package (once) ...", flush=True)
    generate()
    os.remove(stamp)  # not part of the payload
    subprocess.run([pack, "build", "--payload", payload, "--uninstaller", f"{work}/uninstall.exe",
                    "--registry-name", "Korvel 12", "--short-name", "Korvel 12", "--version", "12.0.0.2",
                    "--product-name", "Korvel", "--release-date", "2020-10-15",
                    "--web-address", "https://www.example.com/", "--publisher", "Bench", "--x64",
                    "--mtime", "1602720000", "-o", package], check=True)
    open(stamp, "w").write(str(GENERATOR))
info = cut_payload(pack, package, archive)
if given_package:
    unpacked = None  # taken from 7z x's output in the first round
else:
    unpacked = tree(payload)[0] - os.path.getsize(stamp)

out = f"{work}/out"
tools = {
    "korvel-pack extract": lambda: [pack, "extract", package, out],
    "7z x": lambda: [sevenz, "x", "-y", "-bso0", "-bsp0", archive, f"-o{out}"],
    "bsdtar -xf": lambda: ["bsdtar", "-xf", archive, "-C", out],
}
if baseline:
    tools["korvel-pack extract (baseline)"] = lambda: [baseline, "extract", package, out]
if only_tools:
    wanted = [t.strip() for t in only_tools.split(",")] + ["7z x"]
    tools = {n: c for n, c in tools.items() if n in wanted or (baseline and "baseline" in n)}
    tools = dict(sorted(tools.items(), key=lambda item: item[0] != "7z x"))  # 7z x first
times = {name: [] for name in tools}
cpu = {name: [] for name in tools}
for _ in range(runs):
    for name, cmd in tools.items():
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        os.sync()  # the previous run's dirty pages must not slow this one down
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        t = time.monotonic()
        subprocess.run(cmd(), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times[name].append(time.monotonic() - t)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu[name].append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
        extra = sum(os.path.getsize(f"{out}/{n}") for n in ("uninstall.exe", "uninstall.exe.bin",
                    "uninstall.list") if os.path.exists(f"{out}/{n}"))
        if unpacked is None:
            unpacked = tree(out)[0] - extra
        if tree(out)[0] - extra != unpacked:
            sys.exit(f"{name} extracted {tree(out)[0] - extra} bytes, expected {unpacked}")
shutil.rmtree(out, ignore_errors=True)
base = statistics.median(times["7z x"])
rows = [{"tool": n, "seconds": round(statistics.median(t), 3), "runs": [round(x, 3) for x in t],
         "cpu_seconds": round(statistics.median(cpu[n]), 3),
         "ratio_to_7z": round(statistics.median(t) / base, 3)} for n, t in times.items()]
if given_package:
    print(f"{given_package}: payload {unpacked / 1e6:.1f} MB, load average {os.getloadavg()[0]:.1f}")
    print(f"{'tool':<32}{'median s':>10}{'CPU s':>8}{'ratio to 7z':>13}")
    for r in rows:
        print(f"{r['tool']:<32}{r['seconds']:>10.2f}{r['cpu_seconds']:>8.2f}{r['ratio_to_7z']:>13.2f}")
    sys.exit(0)
result = {"payload_bytes": unpacked, "packed_bytes": info["payload_size"],
          "files": sum(len(fs) for _, _, fs in os.walk(payload)) - 1, "runs": runs,
          "cpus": os.cpu_count(), "results": rows,
          "limit": "korvel-pack extract <= 1.3 x 7z x"}
os.makedirs(f"{root}/bench/results", exist_ok=True)
json.dump(result, open(f"{root}/bench/results/extract.json", "w"), indent=2)
print(f"payload {unpacked / 1e6:.1f} MB in {result['files']} files, packed {info['payload_size'] / 1e6:.1f} MB")
print(f"{'tool':<22}{'median s':>10}{'ratio to 7z':>13}")
for r in rows:
    print(f"{r['tool']:<22}{r['seconds']:>10.2f}{r['ratio_to_7z']:>13.2f}")
PY
