#pragma once

#include "xString.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// One active monitor whose native resolution its EDID names.
struct MonitorRecord
{
    // The device id from its ninth character on (after the class prefix and backslash).
    xWString ShortId;
    xWString DeviceId;
    int32_t NativeWidth = 0;
    int32_t NativeHeight = 0;
    bool Primary = false;
};

// The screens as the windowing layer sees them; read at start and again when the
// display configuration changes. Whatever cannot be read stays 0 (or unlisted).
struct xDisplayInfo
{
    int32_t ScreenWidth = 0;
    int32_t ScreenHeight = 0;
    std::vector<MonitorRecord> Monitors;
    int32_t WorkLeft = 0;
    int32_t WorkTop = 0;
    int32_t WorkRight = 0;
    int32_t WorkBottom = 0;
    int32_t VirtualLeft = 0;
    int32_t VirtualTop = 0;
    int32_t VirtualRight = 0;
    int32_t VirtualBottom = 0;

    void Reset() { *this = xDisplayInfo(); }
};

// The active pixels of an EDID block's first detailed timing descriptor (bytes
// 54 to 71); false when the block is too short to hold it.
bool DecodeEdidResolution(const uint8_t* edid, size_t length, int32_t& width, int32_t& height);

// Fills the record from the system: screen, work area, virtual screen and the
// monitors whose native resolution is known. Values that cannot be read stay 0.
void ReadDisplayInfo(xDisplayInfo& info);

// A monitor as the display walk meets it, with the flags of the adapter that drives it.
struct DisplayMonitorCandidate
{
    xWString DeviceId;
    bool AdapterOnDesktop = false;
    bool AdapterPrimary = false;
    bool MonitorActive = false;
    bool MonitorMirroring = false;
};

// The device id from its ninth character on: the id starts with the "MONITOR\"
// class prefix; empty when the id is shorter.
xWString MonitorShortId(const xWString& deviceId);

// The records to list: monitors of desktop adapters that are active and not
// mirroring, each given the resolution findResolution answers when asked for it;
// a monitor whose resolution is not found is left out.
std::vector<MonitorRecord> ListMonitors(const std::vector<DisplayMonitorCandidate>& candidates,
                                        const std::function<bool(int32_t&, int32_t&)>& findResolution);

// What a walk over registry values or devices does after one step's Windows
// result code: read the item (0, success), skip one too large for its buffer
// (234, ERROR_MORE_DATA) or stop. Every other code stops the walk, not only
// 259 (ERROR_NO_MORE_ITEMS): a key deleted during the walk fails at every
// index, and skipping would walk all 2^32 of them.
enum class RegistryWalkStep
{
    Read,
    Skip,
    Stop,
};
RegistryWalkStep NextRegistryWalkStep(uint32_t status);
