#include "xDisplayInfo.h"

#include <utility>

bool DecodeEdidResolution(const uint8_t* edid, size_t length, int32_t& width, int32_t& height)
{
    constexpr size_t DescriptorEnd = 72;
    if (!edid || length < DescriptorEnd)
        return false;
    // Horizontal active pixels: byte 56 and the high nibble of byte 58; vertical
    // active lines: byte 59 and the high nibble of byte 61.
    width = ((edid[58] >> 4) << 8) | edid[56];
    height = ((edid[61] >> 4) << 8) | edid[59];
    return true;
}

xWString MonitorShortId(const xWString& deviceId)
{
    constexpr size_t PrefixLength = 8;
    return deviceId.Length() > PrefixLength ? xWString(deviceId.c_str() + PrefixLength) : xWString();
}

std::vector<MonitorRecord> ListMonitors(const std::vector<DisplayMonitorCandidate>& candidates,
                                        const std::function<bool(int32_t&, int32_t&)>& findResolution)
{
    std::vector<MonitorRecord> monitors;
    for (const DisplayMonitorCandidate& candidate : candidates)
    {
        if (!candidate.AdapterOnDesktop || !candidate.MonitorActive || candidate.MonitorMirroring)
            continue;
        MonitorRecord record;
        record.ShortId = MonitorShortId(candidate.DeviceId);
        if (!findResolution(record.NativeWidth, record.NativeHeight))
            continue;
        record.DeviceId = candidate.DeviceId;
        record.Primary = candidate.AdapterPrimary;
        monitors.push_back(std::move(record));
    }
    return monitors;
}

RegistryWalkStep NextRegistryWalkStep(uint32_t status)
{
    constexpr uint32_t Success = 0;
    constexpr uint32_t MoreData = 234;
    if (status == Success)
        return RegistryWalkStep::Read;
    return status == MoreData ? RegistryWalkStep::Skip : RegistryWalkStep::Stop;
}
