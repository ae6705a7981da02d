#!/usr/bin/env bash
# Bytes on the wire and wall time of the client update from version A to B by
# the chunked, the partial and the full way, side by side in one run, served by
# nginx on loopback (natively: PackageUpdateChild and publish of a build). Cases:
#   (a) regions:   B rewrites or inserts 1% of the records of the archive (two
#                  fifths of the client) in three contiguous regions
#   (a) scattered: the same share of records, spread one by one over the archive
#   (b) added:     B adds a new file of a twentieth of the client
#   (c) unchanged: B is A itself (its own publication)
# The chunked way is the launcher as it is; the partial way the same launcher
# under a URL that serves no chunk index (it may take the full way where more
# than half of the data is stale, as it would); the full way fetches the whole
# package into empty folders. Not a test: run by hand, or --tiny in scripts/bench.sh.
#   bash scripts/bench-chunks.sh [--tiny] [--mib N] [--work DIR] [NATIVE_BUILD_DIR]
# Defaults: a client of 1024 MiB (--tiny: 16 MiB), build/linux. --work keeps the
# client versions and their publications in DIR and reuses those already there
# (publishing the 1 GiB versions takes most of an hour on two cores). Lines:
#   "<case>: changed C bytes; chunked N bytes T s; partial N bytes T s (WAY); full N bytes T s; chunked/changed R"
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source scripts/lib/peers.sh
peers_start
mib=1024
if [ "${1:-}" = --tiny ]; then
    mib=16
    shift
fi
if [ "${1:-}" = --mib ]; then
    mib=$2
    shift 2
fi
work=$peers_work/chunks
if [ "${1:-}" = --work ]; then
    work=$(realpath -m "$2")
    shift 2
fi
build=${1:-build/linux}
child="$build/bin/PackageUpdateChild" publish="$build/bin/publish"
for program in "$child" "$publish"; do
    [ -x "$program" ] || { echo "no $program: build the targets PackageUpdateChild and publish"; exit 1; }
done

www=$work/www
mkdir -p "$www/plain"
# The client versions and, per case, the changed bytes (changed.txt).
[ -s "$work/changed.txt" ] || python3 - "$work" "$mib" <<'PYTHON'
import os, random, sys
work, mib = sys.argv[1], int(sys.argv[2])
rng = random.Random(25)
total = mib << 20

def record(number):
    body = rng.randbytes(rng.randrange(150, 1500)).hex()
    return b"record %09d|%s\n" % (number, body.encode())

def write(folder, files):
    for name, data in files.items():
        path = os.path.join(work, folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)

records = []
size = 0
while size < total * 2 // 5:
    records.append(record(len(records)))
    size += len(records[-1])
other = {}
for number in range(max(4, mib // 8)):
    share = (total * 3 // 5) // max(4, mib // 8)
    other["data/pack%03d.bin" % number] = rng.randbytes(share) if number % 2 else b"".join(
        record(10**8 + number * 10**6 + line) for line in range(share // 1900))
a = dict(other, **{"data/archive.dat": b"".join(records)})
write("A", a)

def edited(chosen):
    out, changed = [], 0
    for index, rec in enumerate(records):
        if index in chosen:
            new = record(10**9 + index)
            changed += len(new)
            # Every third chosen record gains a new one after it; the others are rewritten.
            out += [rec, new] if index % 3 == 0 else [new]
        else:
            out.append(rec)
    return b"".join(out), changed

count = max(3, len(records) // 100)
starts = [len(records) * k // 4 for k in (1, 2, 3)]
regions = {s + i for s in starts for i in range(count // 3)}
scattered = set(rng.sample(range(len(records)), count))
added = rng.randbytes(total // 20)
changes = {}
for case, files in (("regions", None), ("scattered", None), ("added", None), ("unchanged", None)):
    if case in ("regions", "scattered"):
        archive, changes[case] = edited(regions if case == "regions" else scattered)
        files = dict(other, **{"data/archive.dat": archive})
    elif case == "added":
        files, changes[case] = dict(a, **{"data/new/added.bin": added}), len(added)
    else:
        changes[case] = 0
        continue
    write(case, files)
with open(os.path.join(work, "changed.txt"), "w") as out:
    for case, count in changes.items():
        out.write("%s %d\n" % (case, count))
PYTHON

# The version a case updates to: "unchanged" is A itself.
version_of() { if [ "$1" = unchanged ]; then echo A; else echo "$1"; fi; }
published() {
    [ -s "$www/Startup$1.chunks" ] && return
    local start
    start=$(date +%s.%N)
    "$publish" client --source "$work/$1" --version "$1" --out "$www" --chunk-store "$www" >/dev/null
    ln -sf "../Startup$1.pkg" "$www/plain/Startup$1.pkg"
    ln -sf "../Startup$1.crc" "$www/plain/Startup$1.crc"
    echo "publish $1${2:-}: $(python3 -c "print(round($(date +%s.%N) - $start, 1))") s"
}
published A
while read -r case _; do
    [ "$case" = unchanged ] || published "$case" " after A (into the store)"
done <"$work/changed.txt"
peers_nginx "$www" || exit 1
traffic=$peers_work/nginx/traffic.log
url="http://127.0.0.1:$nginx_port"
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); client A: $(du -sb "$work/A" | cut -f1) bytes, package $(stat -c %s "$www/StartupA.pkg") bytes"

# run NAME BASE VERSION FROM: an update into a copy of FROM (empty: none); prints "BYTES SECONDS WAY".
run() {
    local trial=$work/trial-$1 before
    rm -rf "$trial"
    mkdir -p "$trial/download"
    if [ -n "$4" ]; then cp -a "$4" "$trial/publish"; else mkdir -p "$trial/publish"; fi
    before=$(wc -l <"$traffic")
    local begin end
    begin=$(date +%s.%N)
    "$child" update "$2/" "Startup$3" "$trial/publish" "$trial/download" >"$trial/log.txt" ||
        { echo "the update to $3 ($1) failed: $(tail -n 3 "$trial/log.txt")" >&2; exit 1; }
    end=$(date +%s.%N)
    local bytes way
    bytes=$(tail -n +"$((before + 1))" "$traffic" | awk -F'|' '{sum += $5} END {print sum + 0}')
    way=$(sed -n 's/^Client updated to .* (\([a-z]*\) way.*/\1/p; s/^Client is up to date.*/none/p' "$trial/log.txt" | tail -n 1)
    echo "$bytes $(python3 -c "print(round($end - $begin, 2))") $way"
}

installed=$work/installed-A
rm -rf "$installed"
run install "$url/plain" A "" >/dev/null
mv "$work/trial-install/publish" "$installed"
index_size() { stat -c %s "$www/Startup$1.chunks"; }
while read -r case changed; do
    version=$(version_of "$case")
    read -r cb ct cw <<<"$(run chunked "$url" "$version" "$installed")"
    read -r pb pt pw <<<"$(run partial "$url/plain" "$version" "$installed")"
    read -r fb ft fw <<<"$(run full "$url/plain" "$version" "")"
    ratio=$(python3 -c "print('-' if $changed == 0 else round(($cb - $(index_size "$version")) / $changed, 2))")
    echo "($case): changed $changed bytes; chunked $cb bytes $ct s ($cw); partial $pb bytes $pt s ($pw);" \
        "full $fb bytes $ft s; index $(index_size "$version") bytes; chunked/changed without the index $ratio"
done <"$work/changed.txt"
