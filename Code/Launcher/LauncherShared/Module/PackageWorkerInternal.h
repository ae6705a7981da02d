#pragma once

#include "ChunkIndex.h"
#include "ChunkPlan.h"
#include "Manifest.h"
#include "PackageWorker.h"
#include "RangePlan.h"
#include "UpdateContext.h"
#include "VerifiedState.h"

#include "xFile.h"
#include "xString.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the pieces of the package worker share: the manifest fetch
// (ManifestFetch.cpp), the writing of client files (ClientFileWriter.cpp), the
// full way (FullPackageWay.cpp, EarlyWriter.cpp), the partial way
// (PartialPackageWay.cpp) and the update thread's policy (PackageWorker.cpp).
namespace PackageWorkerInternal
{
struct DecoderBuffers;

void PauseAfter(const PackageRetryPolicy& policy, int attempt);
double Now();

// Where DownloadFile puts a file of this name.
xWString DownloadedFile(const UpdateContext& context, const xString& name);
xWString EntryPath(const PackageJob& job, const ManifestEntry& entry);
bool IsUpToDate(const UpdateContext& context, const PackageJob& job, const ManifestEntry& entry);
// An entry that could not be written leaves the client not whole, unless what
// stays on disk is right anyway (the full way rewrites up-to-date files too).
bool LeftStale(const UpdateContext& context, const PackageJob& job, const ManifestEntry& entry, bool written);
// True when no file is left stale; else says how many are.
bool ReportStale(int staleFiles);
// A name with its ASCII letters folded: Windows finds a file by either case.
std::string PathKey(const xWString& name);

enum class ManifestRead
{
    Read,
    Missing,  // none fetched and none from an earlier run
    Broken,   // there, but not an Lzma86 container holding well-formed XML
    Refused,  // its signature is missing or wrong (signed updates only)
    Unhashed, // signed, but without a SHA-256 for the package or a file (signed updates only)
};

// A manifest as fetched: the SHA-256 of its file, and its entries unless the
// file is the one the verified state was made from (then kept unparsed, in
// case the state no longer vouches for every file).
struct FetchedManifest
{
    Sha256Digest Hash{};
    bool Parsed = false;
    Manifest Content;
    std::vector<uint8_t> Container; // while not parsed
};

// Fetches the manifest and reads it; it takes its name in the download folder
// only once read (and, signed updates on, its signature checked). A file whose
// SHA-256 is `vouched` is not unpacked: its signature is checked, it is
// hashed, and that is all it takes. When no
// transfer comes whole, the one an earlier run left there is read instead. One
// that is missing (never fetched, none from an earlier run) or arrives broken is
// fetched again, a bounded number of times: without it nothing says whether the
// client is whole. A refused signature, or a signed manifest without SHA-256
// sums, is final: nothing is taken from it, and it is not kept.
ManifestRead FetchManifest(UpdateContext& context, const PackageJob& job, const PackageRetryPolicy& policy,
                           const Sha256Digest* vouched, FetchedManifest& fetched);
// Unpacks and reads a manifest fetched unparsed.
ManifestRead ParseFetchedManifest(FetchedManifest& fetched, const xString& name);

// How writing a client file ended. The bytes are wrong when they do not match
// the entry's checksums, or its container does not unpack.
enum class PutResult
{
    InPlace,
    Failed, // not written, for another reason than its bytes (with an error line unless quiet)
    Undecodable,
    Mismatch,
};

bool WrongBytes(PutResult result);
// The line for a file whose bytes came out wrong where no later try fetches them again.
void LogWrongBytes(const ManifestEntry& entry, PutResult result);

// A client file from its package data in memory, unpacked (into `unpacked`)
// when the entry says so. Each client file goes through a temporary name that
// is moved onto the real one only when every byte is on disk and matches the
// entry's checksums; anything else leaves the earlier file as it was. Write
// failures get an error line unless `quiet` (a later try will say it); wrong
// bytes are the caller's to tell.
PutResult WriteEntryFile(UpdateContext& context, const PackageJob& job, const ManifestEntry& entry,
                         const uint8_t* data, size_t length, std::vector<uint8_t>& unpacked,
                         bool quiet = false);
PutResult WriteEntryFile(UpdateContext& context, const PackageJob& job, const ManifestEntry& entry,
                         const uint8_t* data, size_t length);
// A stored client file copied from the package file in pieces, so even a very
// large one never sits in memory whole.
PutResult CopyEntryFile(UpdateContext& context, const PackageJob& job, const ManifestEntry& entry,
                        xFile& package, bool quiet);
// A packed client file: its container read from the package file, then unpacked.
PutResult UnpackEntryFile(UpdateContext& context, const PackageJob& job, const ManifestEntry& entry,
                          xFile& package, DecoderBuffers& buffers, bool quiet);

// The bytes of an entry's data the writer reads: dataSize of a container,
// origSize of a file stored as it is.
uint64_t BytesToRead(const ManifestEntry& entry);
bool FitsInData(const ManifestEntry& entry, uint64_t dataStart, uint64_t dataLength);

// The chunked way (ChunkedPackageWay.cpp): when the server has the version's
// chunk index (signed, in a build with a key), every stale file it names whose
// old copy is on disk and whose missing chunks cost fewer bytes than its range
// is made from that copy's chunks and the missing ones; the rest go by ranges.
struct ChunkedFile
{
    const ManifestEntry* Entry = nullptr; // in the stale list the plan was made from
    ChunkFilePlan Plan;
};
struct ChunkedWay
{
    ChunkIndex Index;
    std::vector<ChunkedFile> Files;
    std::vector<ManifestEntry> ByRanges;
    // The bytes the way moves: the chunks' requests and the other files' ranges.
    uint64_t Bytes() const;
};
// Decided from the index and the cut of the old copies alone, before any
// chunk is fetched; without a usable index every stale file goes by ranges.
ChunkedWay PlanChunkedWay(const UpdateContext& context, const PackageJob& job,
                          const std::vector<ManifestEntry>& stale);
// Makes the planned files; returns the stale files left to the partial way
// (those that went by ranges, and those that could not be made from chunks).
// `used` tells whether a file was made from chunks.
std::vector<ManifestEntry> ChunkedPackageDownload(UpdateContext& context, const PackageJob& job,
                                                  const ChunkedWay& way, bool& used);

// The check of the client (ClientCheck.cpp). Files the verified state
// (VerifiedState.h) vouches for are not read; every other one is hashed whole.

// What one listing per folder of the publish folder tells about the named
// client files: per name its stamp (none when missing), and the temporary
// files a killed update left of them (named within the publish folder).
struct ClientListing
{
    std::vector<std::optional<FileStamp>> Stamps;
    std::vector<xWString> Leftovers;
};
// A name the listing lacks is asked for alone (Windows finds a name in any case).
ClientListing ListClient(const xEngineFileSystem& files, const PackageJob& job,
                         const std::vector<xWString>& names);

struct ClientSurvey
{
    // Sums of the package data: all of it, and the part that must be fetched.
    uint64_t Total = 0;
    uint64_t Needed = 0;
    // The manifest without the entries whose names leave the publish folder.
    Manifest Safe;
    size_t ManifestEntries = 0; // safe or not
    std::vector<ManifestEntry> Stale;
    // The safe entries as listed before any file was read, and whether their bytes were found right.
    ClientListing Listing;
    std::vector<bool> Verified;
    Sha256Digest ManifestHash{};
    // The record on disk already says all this: of this manifest, every file trusted.
    bool RecordCurrent = false;
};

xWString VerifiedStatePath(const PackageJob& job);
// The record the check may trust; none (with the line that says the check
// reads every file) when it is missing, damaged, or the job asks for the full check.
std::optional<VerifiedState> LoadVerifiedState(const UpdateContext& context, const PackageJob& job);
// The SHA-256 of the manifest file whose every entry the record names (made
// under a key, in a build with one): that manifest need not be unpacked while
// every file shows the stamp recorded. Null otherwise.
const Sha256Digest* WholeClientManifest(const PackageJob& job, const std::optional<VerifiedState>& record);
// True when every file the record names shows the stamp it had when its bytes
// were found right: the client is whole without a read or the manifest's entries.
bool TrustsWholeClient(const UpdateContext& context, const PackageJob& job, const VerifiedState& record,
                       ClientListing& listing);
ClientSurvey SurveyClient(const UpdateContext& context, const PackageJob& job, const Manifest& manifest,
                          const Sha256Digest& manifestHash, const std::optional<VerifiedState>& record);
// The safe entries listed again (after an update wrote them).
ClientListing ListClient(const UpdateContext& context, const PackageJob& job, const ClientSurvey& survey);
// Before anything is written into the client: no record may vouch for a file
// being rewritten. False, with an error line, when it stays.
bool ForgetVerifiedState(const UpdateContext& context, const PackageJob& job);
// After a check or an update that ended well (unless the record is current):
// the files found right whose stamps did not change since (and those
// `written`, with their stamps `now`), once the publish folder's files are on the disk.
void RecordVerifiedState(const UpdateContext& context, const PackageJob& job, const ClientSurvey& survey,
                         const std::vector<bool>& written, const ClientListing& now);

// Whether the volumes of the download and publish folders have room for the
// full way; says which one is short when not.
bool RoomForFullWay(UpdateContext& context, const PackageJob& job, const Manifest& manifest);
} // namespace PackageWorkerInternal
