#!/usr/bin/env bash
# Signed updates for the signature tests, made by the real publisher (OpenSSL):
#   make-signed-updates.sh PUBLISH OUT
# OUT/key-a, OUT/key-b   two key pairs (update-key.pem, update-key.pub)
# OUT/client             the client folder published
# OUT/a                  signed by key a: Startup1.0.5.* and Startup1.0.6.* (package,
#                        manifest, chunk index and pack, .sig), ClientVersionSID.txt (default=1.0.5, serial 20,
#                        expiring in 2099) and its .sig, launcher/qtmx1000002.exe (a
#                        stand-in of 300000 bytes) and launcher/LauncherVersion.txt
#                        (1000002, expiring in 2099) with .sig; also signed under their own
#                        names: launcher/qtmx1000001.exe (another build) and
#                        launcher/Other.txt (1000003, to serve under a wrong name);
#                        simhei.fnt (by `publish font --key`: a stand-in font brought to
#                        the CRC-32C the launcher accepts) and its .sig
# OUT/a/replay           ClientVersionSID.txt with serial 10, signed (an older publication)
# OUT/a/expired          ClientVersionSID.txt (serial 30) and launcher/LauncherVersion.txt,
#                        both expired in 2001, signed
# OUT/a/unstamped        both version files signed without a stamp (as before stamps)
# OUT/a/unhashed         Startup1.0.5.crc with .sig: version 1.0.5's manifest without its
#                        sha256 attributes, as older publishers wrote it
# OUT/b                  the same files signed by key b (the publisher's bytes repeat)
set -euo pipefail
publish=$1 out=$2
mkdir -p "$out/client/data" "$out/a/launcher" "$out/b/launcher"
"$publish" keygen --out "$out/key-a" >/dev/null
"$publish" keygen --out "$out/key-b" >/dev/null
printf 'text %.0s' $(seq 2000) >"$out/client/data/text.txt"
head -c 400000 /dev/urandom >"$out/client/noise.bin"
printf 'x=1\n' >"$out/client/data/settings.ini"
for key in a b; do
    for version in 1.0.5 1.0.6; do
        "$publish" client --source "$out/client" --version "$version" --out "$out/$key" --threads 1 \
            --key "$out/key-$key/update-key.pem" >/dev/null
    done
    "$publish" version --file "$out/$key/ClientVersionSID.txt" --set default=1.0.5 --serial 20 \
        --expires 2099-01-01 --key "$out/key-$key/update-key.pem" >/dev/null
done
mkdir -p "$out/a/replay" "$out/a/expired/launcher" "$out/a/unstamped/launcher"
"$publish" version --file "$out/a/replay/ClientVersionSID.txt" --set default=1.0.5 --serial 10 \
    --expires 2099-01-01 --key "$out/key-a/update-key.pem" >/dev/null
printf 'default=1.0.5\nserial=30,expires=2001-01-01T00:00:00Z\n' >"$out/a/expired/ClientVersionSID.txt"
printf '1000002\nexpires=2001-01-01T00:00:00Z\n' >"$out/a/expired/launcher/LauncherVersion.txt"
printf 'default=1.0.5\n' >"$out/a/unstamped/ClientVersionSID.txt"
printf '1000002\n' >"$out/a/unstamped/launcher/LauncherVersion.txt"
for file in expired/ClientVersionSID.txt expired/launcher/LauncherVersion.txt unstamped/ClientVersionSID.txt \
    unstamped/launcher/LauncherVersion.txt; do
    "$publish" sign --key "$out/key-a/update-key.pem" --file "$out/a/$file" >/dev/null
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
    "$publish" sign --key "$out/key-$key/update-key.pem" --file "$out/$key/launcher/qtmx1000002.exe" >/dev/null
    "$publish" version --file "$out/$key/launcher/LauncherVersion.txt" --expires 2099-01-01 \
        --key "$out/key-$key/update-key.pem" >/dev/null
done
"$publish" font --source "$out/client/data/text.txt" --force-crc32c 0x03487F00 --out "$out/a/simhei.fnt" \
    --key "$out/key-a/update-key.pem" >/dev/null
cp "$out/a/simhei.fnt" "$out/b/simhei.fnt"
"$publish" sign --key "$out/key-b/update-key.pem" --file "$out/b/simhei.fnt" >/dev/null
