// The publisher: builds what the launcher fetches from the client resource
// server (package, manifest, version file, compressed font).
#include "PublishCommon.h"
#include "PublishLauncher.h"
#include "PublishSignature.h"

#include "ToolFiles.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace
{
const char* const Usage = R"(publish: the publisher of client versions for the launcher.

Usage:
  publish client --source CLIENT_DIR --version VER --out OUT_DIR [--xx] [--level N]
                 [--threads N] [--key KEY.pem] [--chunk-store STORE_DIR]
  publish version --file OUT_DIR/ClientVersionSID.txt [--set KEY=VER ...] [--key KEY.pem]
                  [--expires WHEN] [--serial N]
  publish version --file OUT_DIR/LauncherVersion.txt --key KEY.pem [--expires WHEN]
  publish font --source FONT_FILE --out OUT_DIR/simhei.fnt [--force-crc32c 0xHEX]
               [--key KEY.pem]
  publish launcher --exe LAUNCHER.exe --out OUT_DIR [--name qtmx.exe] [--version N]
                   [--key KEY.pem] [--expires WHEN]
  publish keygen --out KEY_DIR
  publish sign --key KEY.pem --file FILE [--name NAME]
  publish prune-chunks --store STORE_DIR [--delete]
  publish --help

publish client
  Walks CLIENT_DIR recursively and writes OUT_DIR/Startup<VER>.pkg and
  OUT_DIR/Startup<VER>.crc (OUT_DIR is created when missing and must not lie
  inside CLIENT_DIR). Every regular file becomes one entry, named by its path
  relative to CLIENT_DIR with "/" between folders; the launcher installs it at
  that path under its publish folder. Names must be UTF-8 without "\", ":" or
  control characters, and no two may differ only in letter case.
  The package holds the files' data back to back, in name order: each file is
  stored as it is, or as an Lzma86 container when that is smaller (.exe and
  .dll files with the x86 branch-call filter). A file over 4 KiB is first
  tried on a few 64 KiB pieces at the fastest level; when they do not shrink
  by 1/32, it is stored without compressing it whole. The manifest is one Lzma86
  container holding an XML document: a root element
    <package totalSize=".." crc32c=".." [xx=".."]>
  with one element per file
    <file name=".." origSize=".." origCRC32C=".." [xx=".."] startPos=".."
          dataSize=".." bCompressed="0|1"/>
  Checksums are CRC-32C; with --xx each file and the package also get XXH32
  (attribute xx), which the launcher then checks instead. --level N sets the
  LZMA effort, 0 (fastest) to 9 (default 5). --threads N packs N files at
  once (default: one per processor); the package is the same for any N. The package must stay below
  2 GiB and each file below 1 GiB when compressed (larger ones are stored).
  Both files are written through temporary files and renamed into place,
  the package first.
  Beside them go OUT_DIR/Startup<VER>.chunkpack and OUT_DIR/Startup<VER>.chunks:
  every file cut into content-defined chunks (16/64/256 KiB), each distinct
  chunk once in the pack (Lzma86 when that is smaller, else stored), and the
  index naming each file's chunks by SHA-256 and where they lie; signed like
  the manifest with --key. With --chunk-store STORE_DIR the chunks that the
  indices in STORE_DIR (usually OUT_DIR itself) already name are not packed
  again: the new index points into their packs (docs/publishing.md).

publish version
  Creates or edits the first line of the version file: comma-separated
  KEY=VER entries, where KEY is a server id or "default" (the version for
  every server without an entry of its own). --set replaces the value of the
  first entry with that key in place, or appends the entry; every other entry
  and the rest of the file stay as they were. Keys and values must be
  non-empty and hold no ",", "=" or control characters. The result must have
  a "default" entry and fit in 2047 bytes.
  With --key (or --expires or --serial, or when the file has one already) the
  second line becomes the file's stamp, which launchers built with a key
  require: "serial=N,expires=YYYY-MM-DDTHH:MM:SSZ". They refuse the file once
  it has expired, and one whose serial is lower than any they accepted. The
  serial rises by itself (the Unix time, or the old serial plus one when that
  is higher); --serial N sets it (above the old one). --expires WHEN is <N>d,
  <N>h, YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ (UTC); default 30 days. Without
  --set the file is only stamped and signed again: run it before the expiry.
  For LauncherVersion.txt only the stamp (an expiry) is renewed.

publish font
  Packs FONT_FILE into one Lzma86 container (no filter): simhei.fnt, which the
  launcher unpacks to simhei.ttf. It warns when the font's CRC-32C is not the
  one the launcher accepts (0x03487F00): such a font would be fetched again.
  --force-crc32c 0x03487F00 appends four bytes that bring the font's CRC-32C
  to that value (found by running the CRC backwards from it), so any TrueType
  font can stand in for SimHei: font readers go by the table directory and
  ignore bytes after the last table.

publish launcher
  Reads the launcher's version from the fixed file version of LAUNCHER.exe's
  version resource, as the number ((major*100+minor)*100+build)*100+revision
  (1.0.0.2 gives 1000002), and writes OUT_DIR/<name><N>.exe (for --name
  qtmx.exe, the installed launcher's name and the default being LAUNCHER.exe's
  own: qtmx1000002.exe) and then OUT_DIR/LauncherVersion.txt holding N, each
  through a temporary file. --version N stops with an error when the build's
  version is another. With --key (or --expires) LauncherVersion.txt also
  gets the stamp line "expires=..." (see publish version). A build of
  200000 bytes or fewer, or of more than 64 MiB, is refused: launchers never
  start or fetch one. OUT_DIR is what the launcher's update base URL serves
  (LAUNCHER_UPDATE_BASE_URL; the demo builds ask
  http://127.0.0.1:18080/launcher/, i.e. ROOT/launcher with devserver --root ROOT).

publish keygen
  Makes an ECDSA P-256 key pair for signed updates: KEY_DIR/update-key.pem,
  the private key (PKCS#8 PEM, created readable by its owner only; an
  existing one is never overwritten), and KEY_DIR/update-key.pub, the public
  key as 130 hex digits of the uncompressed point, the value of the build's
  LAUNCHER_UPDATE_PUBLIC_KEY.

--key KEY.pem (client, version, font, launcher)
  Also writes a detached signature "<file>.sig" beside each file written (the
  manifest, the version file, simhei.fnt, the launcher build and
  LauncherVersion.txt), before the file itself: 64 bytes r || s of ECDSA
  P-256 over SHA-256 of "launcher-update-signature-v1", a zero byte, the
  file's name (UTF-8), a zero byte, and the file's bytes. A launcher built with the public key
  refuses these files without a good signature. Packages are not signed:
  the signed manifest's checksums cover every file in them.

publish prune-chunks
  Lists the chunk packs (*.chunkpack) in STORE_DIR that no chunk index
  (*.chunks) there names, and with --delete deletes them. Retire versions by
  deleting their files (.crc, .pkg, .chunks, .sig) first. An index that cannot
  be read stops it before anything is deleted.

publish sign
  Writes FILE.sig for any file, signed under its own name or NAME (the name
  the launcher fetches it by), e.g. after editing a version file by hand.

From a client folder to the launcher:
  publish client  --source ./client --version 1.0.5 --out ROOT/mirra/client
  publish version --file ROOT/mirra/client/ClientVersionSID.txt --set default=1.0.5
  publish font    --source simhei.ttf --out ROOT/mirra/client/simhei.fnt
  devserver --root ROOT
  The dev server then serves ROOT/mirra/client/ at
  http://127.0.0.1:18080/mirra/client/, the client base URL of the demo
  builds (presets linux-demo and windows-demo): the launcher reads the version
  file there, fetches Startup1.0.5.crc and Startup1.0.5.pkg and installs the
  files that are missing or stale. From the repository, `bash scripts/demo.sh
  --client ./client` does all of this and starts the launcher under wine64
  with a forced login, following its log until the client is in place.

Exit status: 0 done, 1 failed (nothing is left half-written), 2 bad usage.
)";

} // namespace

int main(int argc, char** argv)
{
    SetToolName("publish");
    if (argc < 2)
    {
        std::fputs(Usage, stderr);
        return 2;
    }
    const std::string command = argv[1];
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
        {
            std::fputs(Usage, stdout);
            return 0;
        }
    }
    if (command == "client")
        return RunClient(argc, argv);
    if (command == "version")
        return RunVersion(argc, argv);
    if (command == "font")
        return RunFont(argc, argv);
    if (command == "prune-chunks")
        return RunPruneChunks(argc, argv);
    if (command == "launcher")
        return RunLauncher(argc, argv);
    if (command == "keygen")
        return RunKeygen(argc, argv);
    if (command == "sign")
        return RunSign(argc, argv);
    return BadUsage(("unknown command " + command).c_str());
}
