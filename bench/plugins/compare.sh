#!/bin/bash
# Compares the figures of the shipped analyzer modules with established tools, side by side on
# this machine, and checks how well each repeats against the reference's own repeatability:
#   - memory bandwidth (copy, scale, add, triad) against STREAM built here from stream.c at -O2,
#     with the module's own array size, or STREAM_MIB MiB per array when set (arrays far past
#     any cache, so that a module whose arrays still fit in a hidden cache shows as too fast);
#   - memory latency against a pointer chase built here from chase.c at -O2, same working sets;
#   - sequential disk write and read against fio: same file system, size, 1 MiB blocks, direct
#     I/O, queue depth 1, and a flush after each fifth of the file as the module does; random
#     4 KiB reads against fio randread over the same file (direct I/O, queue depth 1, 1.25 s);
#   - thread scaling of the CPU tests against sysbench cpu on one thread and on all threads.
# The runs are interleaved (module run i, then its reference run i), so that both see the same
# load on a shared machine; the ratio is the median of the per-run ratios. STREAM and the chase
# time themselves by processor time, as the Memory module does (REF_CPU_CLOCK=1; set it empty
# for the wall clock): on a quiet machine the two agree, on a busy one the wall clock counts
# the time other programs held the processor.
# Usage: [STREAM_MIB=n] [MODULES="CPU Memory"] bench/plugins/compare.sh [build directory] [runs]
#   (default: ./build, 5 runs, every module)
# The modules are loaded by kqa_modulerun, which uses the program's own host code. fio and
# sysbench are installed with apt-get when missing (as root, or with sudo).
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
BUILD=$(cd "${1:-build}" && pwd) || { echo "no build directory" >&2; exit 2; }
RUNS=${2:-5}
BIN=$BUILD/bin
RUN=$BUILD/bench/plugins/kqa_modulerun
[ -x "$RUN" ] || { echo "build kqa_modulerun first: ninja -C $BUILD kqa_modulerun" >&2; exit 2; }
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"; rm -f "$BIN/.fio-compare.tmp"' EXIT

install_tool() {
    command -v "$1" >/dev/null 2>&1 && return 0
    echo "installing $1..." >&2
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo -n"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "$1" >"$TMP/apt-$1.log" 2>&1 ||
        { $sudo apt-get update -q >/dev/null 2>&1 &&
          DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "$1" >>"$TMP/apt-$1.log" 2>&1; }
    command -v "$1" >/dev/null 2>&1 || echo "$1 could not be installed (see apt-get)" >&2
}
install_tool fio
install_tool sysbench

echo "Quillon 97 module figures against reference tools — $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "Machine: $(nproc) CPUs usable, $(uname -r), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo

export REF_CPU_CLOCK=${REF_CPU_CLOCK-1}
echo "building STREAM and the pointer chase at -O2..." >&2
gcc -O2 -o "$TMP/stream" "$HERE/stream.c" 2>"$TMP/stream.err" || rm -f "$TMP/stream"
gcc -O2 -o "$TMP/chase" "$HERE/chase.c" 2>"$TMP/chase.err" || rm -f "$TMP/chase"

# The disk test writes into the program directory; fio gets the same directory.
export QUILLON_DISK_TESTDIR=$BIN
NCPU=$(nproc)
MODULES=${MODULES:-System CPU Memory Disk Video}
module() { # name run
    [ -f "$BIN/$1.kqa" ] || return 1
    case " $MODULES " in *" $1 "*) ;; *) return 1 ;; esac
    "$RUN" "$BIN/$1.kqa" 1 >"$TMP/$1.$2.out" 2>"$TMP/$1.$2.err" || echo "$1.kqa failed" >&2
}
attr() { # name run item -> leading number of the value
    awk -F'\t' -v item="attr 1 $3" '$1 == item {print $2 + 0; exit}' "$TMP/$1.$2.out" 2>/dev/null
}
for i in $(seq 1 "$RUNS"); do
    echo "round $i of $RUNS..." >&2
    module System "$i"

    module CPU "$i" && if command -v sysbench >/dev/null 2>&1; then
        for t in 1 "$NCPU"; do
            sysbench cpu --threads="$t" --time=2 run 2>/dev/null |
                awk '/events per second/ {print $4}' >"$TMP/sysbench-$t-$i.out"
        done
    fi

    if module Memory "$i"; then
        MIB=${STREAM_MIB:-$(attr Memory "$i" "Memory Bandwidth~Array Size")}
        N=$(awk -v m="${MIB:-128}" 'BEGIN {printf "%d", m * 131072}')
        [ -x "$TMP/stream" ] && "$TMP/stream" "$N" >"$TMP/stream.$i.out"
        [ -x "$TMP/chase" ] && "$TMP/chase" 16 256 2048 16384 131072 >"$TMP/chase.$i.out"
    fi

    module Disk "$i" && {
    SIZE=$(attr Disk "$i" "Disk Tests~Test File Size")
    SIZE=${SIZE:-256}
    REP=$(awk -v s="$SIZE" 'BEGIN {r = int(s / 5); print r < 1 ? 1 : r}')
    if command -v fio >/dev/null 2>&1; then
        # A fresh file, as the module's test writes one; the write flushes after each fifth.
        rm -f "$BIN/.fio-compare.tmp"
        fio --name=seqwrite --filename="$BIN/.fio-compare.tmp" --rw=write --bs=1M --size="${SIZE}M" \
            --direct=1 --ioengine=psync --iodepth=1 --numjobs=1 --fdatasync="$REP" \
            --output-format=json >"$TMP/fio-write-$i.json" 2>>"$TMP/fio.err" || echo failed >"$TMP/fio-write-$i.json"
        fio --name=seqread --filename="$BIN/.fio-compare.tmp" --rw=read --bs=1M --size="${SIZE}M" \
            --direct=1 --ioengine=psync --iodepth=1 --numjobs=1 \
            --output-format=json >"$TMP/fio-read-$i.json" 2>>"$TMP/fio.err" || echo failed >"$TMP/fio-read-$i.json"
        fio --name=randread --filename="$BIN/.fio-compare.tmp" --rw=randread --bs=4k --size="${SIZE}M" \
            --direct=1 --ioengine=psync --iodepth=1 --numjobs=1 --time_based --runtime=1250ms \
            --output-format=json >"$TMP/fio-randread-$i.json" 2>>"$TMP/fio.err" || echo failed >"$TMP/fio-randread-$i.json"
        rm -f "$BIN/.fio-compare.tmp"
    fi
    }

    module Video "$i"
done

python3 - "$TMP" "$RUNS" "$NCPU" <<'PY'
import glob, json, os, re, statistics, sys
tmp, runs, ncpu = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])

def number(v):
    m = re.match(r"\s*(-?[0-9.]+)", v or "")
    return float(m.group(1)) if m else None

def module(name):
    """Per run: {item: value}, and the run's own time."""
    out = {}
    for i in range(1, runs + 1):
        p = os.path.join(tmp, "%s.%d.out" % (name, i))
        if not os.path.exists(p):
            continue
        attrs, t = {}, None
        for line in open(p, errors="replace"):
            if line.startswith("time "):
                t = float(line.split()[2])
            elif line.startswith("attr "):
                head, _, value = line.rstrip("\n").partition("\t")
                attrs[head.split(" ", 2)[2]] = value
        out[i] = (attrs, t)
    return out

mods = {m: module(m) for m in ["System", "CPU", "Memory", "Disk", "Video"]}

def series(name, item):
    return {i: number(a.get(item)) for i, (a, _) in mods[name].items() if number(a.get(item)) is not None}

def spread(xs):
    xs = list(xs)
    if len(xs) < 2:
        return None
    med = statistics.median(xs)
    return (max(xs) - min(xs)) / med if med else 0.0

def reference(pattern, parse):
    vals = {}
    for i in range(1, runs + 1):
        p = os.path.join(tmp, pattern % i)
        if os.path.exists(p):
            try:
                v = parse(open(p).read())
            except Exception:
                v = None
            if v is not None:
                vals[i] = v
    return vals

def keyed(text, key):
    for line in text.splitlines():
        k, _, v = line.partition(" ")
        if k == key:
            return float(v)
    return None

def fio(rw, file=None, key="bw_bytes", unit=1e6):
    def parse(text):
        j = json.loads(text[text.index("{"):])
        job = j["jobs"][0]
        return None if job.get("error") else job[rw][key] / unit
    return reference("fio-%s-%%d.json" % (file or rw), parse)

def sysbench(threads):
    return reference("sysbench-%d-%%d.out" % threads, lambda t: float(t.split()[0]) if t.strip() else None)

rows = []  # (label, module series, reference series, agreement range or None)
for k in ["Copy", "Scale", "Add", "Triad"]:
    rows.append(("Memory %s (MB/s) vs STREAM -O2" % k, series("Memory", "Memory Bandwidth~%s Bandwidth" % k),
                 reference("stream.%d.out", lambda t, k=k: keyed(t, k)), (0.85, 1.15)))
for kib, label in [(16, "16 KiB"), (256, "256 KiB"), (2048, "2 MiB"), (16384, "16 MiB"), (131072, "128 MiB")]:
    rows.append(("Memory Latency %s (ns) vs chase" % label, series("Memory", "Memory Latency~Latency " + label),
                 reference("chase.%d.out", lambda t, kib=kib: keyed(t, str(kib))), (0.85, 1.15)))
direct = all(a.get("Disk Tests~Direct I/O", "").startswith("yes") for a, _ in mods["Disk"].values())
for rw, item in [("write", "Sequential Write"), ("read", "Sequential Read")]:
    rows.append(("Disk %s (MB/s) vs fio direct=1" % item, series("Disk", "Disk Tests~" + item),
                 fio(rw) if direct else {}, (0.85, 1.15)))
rows.append(("Disk Random 4 KiB Read (IOPS) vs fio randread", series("Disk", "Disk Tests~Random 4 KiB Read"),
             fio("read", "randread", "iops", 1) if direct else {}, (0.85, 1.15)))
sb1, sbn = sysbench(1), sysbench(ncpu)
sb_scaling = {i: sbn[i] / sb1[i] for i in sb1 if i in sbn and sb1[i]}
for kind in ["Integer", "Float"]:
    rows.append(("CPU %s Scaling (x) vs sysbench cpu" % kind, series("CPU", "CPU %s Test~%s Scaling" % (kind, kind)),
                 sb_scaling, (0.85, 1.15)))
rows.append(("CPU Integer Single-Thread vs sysbench 1 thread", series("CPU", "CPU Integer Test~Integer Single-Thread"), sb1, None))
rows.append(("CPU Float Single-Thread vs sysbench 1 thread", series("CPU", "CPU Float Test~Float Single-Thread"), sb1, None))
rows.append(("CPU Integer All Threads vs sysbench all threads", series("CPU", "CPU Integer Test~Integer All Threads"), sbn, None))
rows.append(("CPU Float All Threads vs sysbench all threads", series("CPU", "CPU Float Test~Float All Threads"), sbn, None))

print("Agreement: median of the per-run ratios module/reference (runs interleaved)")
print("%-50s %10s %10s %7s  %s" % ("figure", "module", "reference", "ratio", "target"))
for label, ours, ref, target in rows:
    if target is None:
        continue
    pairs = [ours[i] / ref[i] for i in ours if i in ref and ref[i]]
    if not ours or not pairs:
        why = "not comparable (direct I/O refused)" if label.startswith("Disk") and not direct else "missing"
        print("%-50s %10s %10s %7s  %s" % (label, "%.1f" % statistics.median(ours.values()) if ours else "-",
                                            "-", "-", why))
        continue
    r = statistics.median(pairs)
    ok = target[0] <= r <= target[1]
    print("%-50s %10.1f %10.1f %7.3f  %.2f..%.2f %s" % (label, statistics.median(ours.values()),
                                                      statistics.median(ref.values()), r, target[0], target[1],
                                                      "ok" if ok else "MISSED"))

print()
print("Repeatability over %d interleaved runs: spread = (max - min) / median, against the" % runs)
print("reference's own spread in the same runs (Video has no reference: 10 %)")
print("%-50s %10s %8s %8s  %s" % ("figure", "median", "spread", "ref.", ""))
for label, ours, ref, target in rows:
    s = spread(ours.values())
    if s is None:
        continue
    rs = spread(ref.values())
    verdict = "-" if rs is None else ("ok" if s <= rs else "MISSED")
    print("%-50s %10.1f %7.1f%% %7s  %s" % (label, statistics.median(ours.values()), 100 * s,
                                            "-" if rs is None else "%.1f%%" % (100 * rs), verdict))
for item in ["Drawing Tests~Lines", "Drawing Tests~Rectangles", "Drawing Tests~Text", "Drawing Tests~Image Copies"]:
    name = "Disk" if item.startswith("Disk") else "Video"
    xs = series(name, item)
    s = spread(xs.values())
    if s is not None:
        print("%-50s %10.1f %7.1f%% %7s  %s" % (name + " " + item.split("~")[1], statistics.median(xs.values()),
                                                100 * s, "10.0%", "ok" if s <= 0.10 else "MISSED"))

print()
print("Every figure stored with its spread: spread over the %d runs, and the median of the spread" % runs)
print("over each run's own repetitions (the \"<figure> Spread\" attribute); 10 % is the aim")
print("%-50s %10s %8s %8s  %s" % ("figure", "median", "runs", "reps", ""))
for name in mods:
    items = sorted({k for a, _ in mods[name].values() for k in a if k.endswith(" Spread")})
    for sp in items:
        item = sp[: -len(" Spread")]
        xs = series(name, item)
        s = spread(xs.values())
        reps = series(name, sp)
        if s is None or not reps:
            continue
        print("%-50s %10.1f %7.1f%% %7.1f%%  %s" % (name + " " + item.split("~")[-1], statistics.median(xs.values()),
                                                    100 * s, statistics.median(reps.values()),
                                                    "ok" if s <= 0.10 else "MISSED"))

print()
print("Own run time of each module's tests (kqaRunTests, per run)")
limits = {"System": None, "CPU": 10, "Memory": 8, "Disk": 8, "Video": 4}
for name, lim in limits.items():
    t = [t for _, t in mods[name].values() if t is not None]
    if not t:
        print("%-10s not built" % name)
        continue
    verdict = "" if lim is None else ("limit %d s %s" % (lim, "ok" if max(t) <= lim else "MISSED"))
    print("%-10s median %6.2f s, longest %6.2f s  %s" % (name, statistics.median(t), max(t), verdict))
busy = series("CPU", "CPU Integer Test~Load Before")
if busy:
    print()
    print("CPUs kept busy by other programs before the CPU test (median of runs): %.2f of %d" %
          (statistics.median(busy.values()), ncpu))
PY
