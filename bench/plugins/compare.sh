#!/bin/bash
# Compares the figures of the shipped analyzer modules with established tools, side by side on
# this machine, and checks how well they repeat:
#   - memory copy and triad bandwidth against a STREAM build made here from stream.c at -O2;
#   - sequential disk write and read against fio with direct I/O on the same file system;
#   - integer throughput on all threads over one thread against the CPUs this process may use;
#   - five consecutive runs of every module: spread (max - min) over median of each figure, and
#     each module's own run time.
# Usage: bench/plugins/compare.sh [build directory]   (default: ./build)
# The modules are loaded by kqa_modulerun, which uses the program's own host code.
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
BUILD=$(cd "${1:-build}" && pwd) || { echo "no build directory" >&2; exit 2; }
BIN=$BUILD/bin
RUN=$BUILD/bench/plugins/kqa_modulerun
RUNS=5
[ -x "$RUN" ] || { echo "build kqa_modulerun first: ninja -C $BUILD kqa_modulerun" >&2; exit 2; }
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"; rm -f "$BIN/.fio-compare.tmp"' EXIT

echo "Quillon 97 module figures against reference tools — $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "Machine: $(nproc) CPUs usable, $(uname -r), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo

# The disk test writes into the program directory; fio gets the same directory.
export QUILLON_DISK_TESTDIR=$BIN
for m in System CPU Memory Disk Video; do
    if [ -f "$BIN/$m.kqa" ]; then
        echo "running $m.kqa $RUNS times..." >&2
        "$RUN" "$BIN/$m.kqa" "$RUNS" >"$TMP/$m.out" 2>"$TMP/$m.err" || echo "$m.kqa failed" >&2
    fi
done

echo "building STREAM from stream.c at -O2..." >&2
if gcc -O2 -o "$TMP/stream" "$HERE/stream.c" 2>"$TMP/stream.err"; then
    for i in 1 2 3; do "$TMP/stream" >>"$TMP/stream.out"; done
fi

if ! command -v fio >/dev/null 2>&1; then
    echo "installing fio..." >&2
    apt-get install -y fio >/dev/null 2>&1 || DEBIAN_FRONTEND=noninteractive apt-get install -y -q fio >/dev/null 2>&1
fi
SIZE=$(awk -F'\t' '/^attr [0-9]+ Disk Tests~Test File Size/ {print $2+0}' "$TMP/Disk.out" 2>/dev/null | sort -n | tail -1)
: "${SIZE:=256}"
if command -v fio >/dev/null 2>&1; then
    echo "running fio on $BIN with ${SIZE} MiB..." >&2
    for i in 1 2 3; do
        # A fresh file each time, as the module's test writes one.
        rm -f "$BIN/.fio-compare.tmp"
        for rw in write read; do
            fio --name=seq$rw --filename="$BIN/.fio-compare.tmp" --rw=$rw --bs=1M --size="${SIZE}M" --direct=1 \
                --ioengine=psync --iodepth=1 --numjobs=1 --output-format=json >"$TMP/fio-$rw-$i.json" 2>>"$TMP/fio.err" \
                || echo "failed" >"$TMP/fio-$rw-$i.json"
        done
    done
else
    echo "fio could not be installed" >"$TMP/fio.err"
fi

python3 - "$TMP" "$(nproc)" <<'PY'
import json, os, re, statistics, sys
tmp, ncpu = sys.argv[1], int(sys.argv[2])

def module(name):
    runs, times = {}, []
    path = os.path.join(tmp, name + ".out")
    if not os.path.exists(path):
        return None
    for line in open(path, errors="replace"):
        if line.startswith("time "):
            times.append(float(line.split()[2]))
        elif line.startswith("attr "):
            head, _, value = line.rstrip("\n").partition("\t")
            run, item = head[5:].split(" ", 1)
            runs.setdefault(item, []).append(value)
    return {"times": times, "attrs": runs}

def number(v):
    m = re.match(r"\s*(-?[0-9.]+)", v)
    return float(m.group(1)) if m else None

def numbers(mod, item):
    if not mod or item not in mod["attrs"]:
        return []
    return [x for x in (number(v) for v in mod["attrs"][item]) if x is not None]

def spread(xs):
    med = statistics.median(xs)
    return (max(xs) - min(xs)) / med if med else 0.0

mods = {m: module(m) for m in ["System", "CPU", "Memory", "Disk", "Video"]}
rows = []
def row(label, ours, ref, target, ok):
    rows.append((label, ours, ref, target, "ok" if ok else "MISSED" if ok is not None else "-"))

print("Agreement with the reference tools (module: median of the runs)")
print("%-45s %14s %14s %8s  %s" % ("figure", "module", "reference", "ratio", "target"))
def show(label, ours, ref, lo, hi, note=""):
    if ours is None or ref is None:
        print("%-45s %14s %14s %8s  %s" % (label, "-" if ours is None else "%.0f" % ours,
                                           note or "-", "-", "not comparable" if note else "missing"))
        return
    r = ours / ref if ref else float("nan")
    ok = lo <= r <= hi
    print("%-45s %14.0f %14.0f %8.3f  %.2f..%.2f %s" % (label, ours, ref, r, lo, hi, "ok" if ok else "MISSED"))

stream = {}
if os.path.exists(os.path.join(tmp, "stream.out")):
    for line in open(os.path.join(tmp, "stream.out")):
        k, v = line.split()
        stream.setdefault(k, []).append(float(v))
mem = mods["Memory"]
for kernel in ["Copy", "Triad"]:
    ours = numbers(mem, "Memory Bandwidth~%s Bandwidth" % kernel)
    ref = stream.get(kernel)
    show("Memory %s (MB/s) vs STREAM -O2" % kernel, statistics.median(ours) if ours else None,
         statistics.median(ref) if ref else None, 0.85, 1.15)

def fio_bw(rw):
    vals, err = [], None
    for i in (1, 2, 3):
        p = os.path.join(tmp, "fio-%s-%d.json" % (rw, i))
        if not os.path.exists(p):
            continue
        try:
            text = open(p).read()
            j = json.loads(text[text.index("{"):])
            job = j["jobs"][0]
            if job.get("error"):
                err = "fio error %d" % job["error"]
                continue
            vals.append(job[rw]["bw_bytes"] / 1e6)
        except Exception:
            err = "fio failed"
    if len(vals) > 1:
        fio_spread[rw] = spread(vals)
    return (statistics.median(vals) if vals else None), err

fio_spread = {}

disk = mods["Disk"]
direct = disk["attrs"].get("Disk Tests~Direct I/O", ["?"])[-1] if disk else "?"
for rw, item in [("write", "Sequential Write"), ("read", "Sequential Read")]:
    ours = numbers(disk, "Disk Tests~" + item)
    ref, err = fio_bw(rw)
    note = ""
    if not direct.startswith("yes"):
        note, ref = "not comparable", None
    elif ref is None:
        note = "not comparable (%s)" % (err or "no fio")
    show("Disk %s (MB/s) vs fio direct=1" % item, statistics.median(ours) if ours else None, ref, 0.85, 1.15, note)

cpu = mods["CPU"]
single = numbers(cpu, "CPU Integer Test~Integer Single-Thread")
multi = numbers(cpu, "CPU Integer Test~Integer All Threads")
if single and multi:
    scaling = statistics.median(multi) / statistics.median(single)
    ok = scaling >= 0.9 * ncpu
    print("%-45s %14.2f %14d %8.3f  >= 0.90 %s" % ("CPU integer all/one thread vs CPUs", scaling, ncpu,
                                                   scaling / ncpu, "ok" if ok else "MISSED"))
else:
    print("%-45s %14s %14d %8s  missing" % ("CPU integer all/one thread vs CPUs", "-", ncpu, "-"))

print()
print("Repeatability over %s consecutive runs: spread = (max - min) / median" % max(
    (len(m["times"]) for m in mods.values() if m), default=0))
print("%-52s %14s %8s %8s" % ("figure", "median", "spread", "target"))
figures = [
    ("CPU", 0.03, ["CPU Integer Test~Integer Single-Thread", "CPU Integer Test~Integer All Threads",
                   "CPU Float Test~Float Single-Thread", "CPU Float Test~Float All Threads"]),
    ("Memory", 0.03, ["Memory Bandwidth~Copy Bandwidth", "Memory Bandwidth~Scale Bandwidth",
                      "Memory Bandwidth~Add Bandwidth", "Memory Bandwidth~Triad Bandwidth"]),
    ("Disk", 0.10, ["Disk Tests~Sequential Write", "Disk Tests~Sequential Read", "Disk Tests~Random 4 KiB Read"]),
    ("Video", 0.10, ["Drawing Tests~Lines", "Drawing Tests~Rectangles", "Drawing Tests~Text",
                     "Drawing Tests~Image Copies"]),
]
for name, target, items in figures:
    if name == "Video":
        for rw in ("write", "read"):
            if rw in fio_spread:
                print("%-52s %14s %7.1f%%   (the reference itself, 3 runs)" % ("fio " + rw, "", 100 * fio_spread[rw]))
    m = mods[name]
    if not m:
        print("%-52s %14s" % (name + ".kqa", "not built"))
        continue
    extra = [k for k in m["attrs"] if name == "Memory" and k.startswith("Memory Latency~") and k.endswith("Latency")]
    for item in items + extra:
        xs = numbers(m, item)
        if len(xs) < 2:
            continue
        s = spread(xs)
        t = target
        print("%-52s %14.1f %7.1f%% %7.0f%% %s" % (name + " " + item.split("~")[-1], statistics.median(xs), 100 * s,
                                                  100 * t, "ok" if s <= t else "MISSED"))
    if name == "Memory":
        stream_triad = stream.get("Triad")
        if stream_triad and len(stream_triad) > 1:
            print("%-52s %14.1f %7.1f%%   (the reference itself)" % ("STREAM Triad", statistics.median(stream_triad),
                                                                    100 * spread(stream_triad)))

print()
print("Own run time of each module's tests (kqaRunTests, per run)")
limits = {"System": None, "CPU": 10, "Memory": 8, "Disk": 8, "Video": 4}
for name, lim in limits.items():
    m = mods[name]
    if not m or not m["times"]:
        print("%-10s not built" % name)
        continue
    t = m["times"]
    verdict = "" if lim is None else ("limit %d s %s" % (lim, "ok" if max(t) <= lim else "MISSED"))
    print("%-10s median %6.2f s, longest %6.2f s  %s" % (name, statistics.median(t), max(t), verdict))
PY
