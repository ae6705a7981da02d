#!/usr/bin/env bash
# Signed updates for the signature tests, made by the real publisher (OpenSSL):
#   make-signed-updates.sh PUBLISH OUT
# OUT/key-a, OUT/key-b   two key pairs (update-key.pem, update-key.pub)
# OUT/client             the client folder published
# OUT/a                  signed by key a: Startup1.0.5.* and Startup1.0.6.* (package,
#                        manifest, .sig), ClientVersionSID.txt (default=1.0.5) and its .sig,
#                        launcher/qtmx1000002.exe (a stand-in of 300000 bytes) and
#                        launcher/LauncherVersion.txt with .sig (by `publish sign`); also
#                        signed under their own names: launcher/qtmx1000001.exe (another
#                        build) and launcher/Other.txt (1000003, to serve under a wrong name)
#                        unhashed/Startup1.0.5.crc with .sig: version 1.0.5's manifest
#                        without its sha256 attributes, as older publishers wrote it
# OUT/b                  the same files signed by key b (the publisher's bytes repeat)
set -euo pipefail
publish=$1 out=$2
mkdir -p "$out/client/data" "$out/a/launcher" "$out/b/launcher"
"$publish" keygen --out "$out/key-a" >/dev/null
"$publish" keygen --out "$out/key-b" >/dev/null
printf 'text %.0s' $(seq 2000) >"$out/client/data/text.txt"
head -c 40000 /dev/urandom >"$out/client/noise.bin"
printf 'x=1\n' >"$out/client/data/settings.ini"
for key in a b; do
    for version in 1.0.5 1.0.6; do
        "$publish" client --source "$out/client" --version "$version" --out "$out/$key" --threads 1 \
            --key "$out/key-$key/update-key.pem" >/dev/null
    done
    "$publish" version --file "$out/$key/ClientVersionSID.txt" --set default=1.0.5 \
        --key "$out/key-$key/update-key.pem" >/dev/null
done
# The manifest read back (an Lzma86 container is a flag byte before an LZMA-alone
# stream), its sha256 attributes dropped, packed again (`publish font` packs any
# file into one container) and signed under its name.
mkdir -p "$out/a/unhashed"
tail -c +2 "$out/a/Startup1.0.5.crc" | xz --format=lzma -dc | sed 's/ sha256="[0-9a-f]*"//g' \
    >"$out/a/unhashed/manifest.xml"
"$publish" font --source "$out/a/unhashed/manifest.xml" --out "$out/a/unhashed/Startup1.0.5.crc" >/dev/null 2>&1
"$publish" sign --key "$out/key-a/update-key.pem" --file "$out/a/unhashed/Startup1.0.5.crc" >/dev/null
head -c 300000 /dev/urandom >"$out/a/launcher/qtmx1000002.exe"
printf '1000002\n' >"$out/a/launcher/LauncherVersion.txt"
head -c 300000 /dev/urandom >"$out/a/launcher/qtmx1000001.exe"
printf '1000003\n' >"$out/a/launcher/Other.txt"
for file in qtmx1000001.exe Other.txt; do
    "$publish" sign --key "$out/key-a/update-key.pem" --file "$out/a/launcher/$file" >/dev/null
done
cp "$out/a/launcher/qtmx1000002.exe" "$out/a/launcher/LauncherVersion.txt" "$out/b/launcher/"
for key in a b; do
    for file in qtmx1000002.exe LauncherVersion.txt; do
        "$publish" sign --key "$out/key-$key/update-key.pem" --file "$out/$key/launcher/$file" >/dev/null
    done
done
