#include "xDisplayInfo.h"

#include "xTextConversion.h"

#include <gdk/gdk.h>
#include <gdk/gdkx.h>

#include <X11/Xatom.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <string>

namespace
{
// The EDID bytes of an output, as the X server's RandR names them; empty
// when the server has none (Xvfb, many virtual machines).
std::vector<uint8_t> OutputEdid(Display* display, RROutput output)
{
    std::vector<uint8_t> edid;
    const Atom name = XInternAtom(display, RR_PROPERTY_RANDR_EDID, True);
    if (name == None)
        return edid;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    if (XRRGetOutputProperty(display, output, name, 0, 256, False, False, AnyPropertyType, &type, &format,
                             &count, &left, &data) == Success &&
        format == 8 && data != nullptr)
        edid.assign(data, data + count);
    if (data != nullptr)
        XFree(data);
    return edid;
}

// The X server's connected outputs with a picture on them, as monitor candidates,
// and the EDID of each by its id.
std::vector<DisplayMonitorCandidate> ListOutputs(Display* display, std::vector<std::vector<uint8_t>>& edids)
{
    std::vector<DisplayMonitorCandidate> candidates;
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
    if (resources == nullptr)
        return candidates;
    const RROutput primary = XRRGetOutputPrimary(display, DefaultRootWindow(display));
    for (int i = 0; i < resources->noutput; ++i)
    {
        XRROutputInfo* output = XRRGetOutputInfo(display, resources, resources->outputs[i]);
        if (output == nullptr)
            continue;
        DisplayMonitorCandidate candidate;
        // "MONITOR\" and the output's name, so that the short id is the name.
        candidate.DeviceId = u"MONITOR\\" + Utf8ToWide(std::string(output->name, output->nameLen).c_str());
        candidate.AdapterOnDesktop = true;
        candidate.AdapterPrimary =
            resources->outputs[i] == primary || (primary == None && candidates.empty());
        candidate.MonitorActive = output->connection == RR_Connected && output->crtc != None;
        candidates.push_back(candidate);
        edids.push_back(OutputEdid(display, resources->outputs[i]));
        XRRFreeOutputInfo(output);
    }
    XRRFreeScreenResources(resources);
    return candidates;
}

void ReadMonitors(GdkDisplay* display, xDisplayInfo& info)
{
    if (!GDK_IS_X11_DISPLAY(display))
        return;
    std::vector<std::vector<uint8_t>> edids;
    const std::vector<DisplayMonitorCandidate> candidates = ListOutputs(GDK_DISPLAY_XDISPLAY(display), edids);
    size_t next = 0;
    // ListMonitors asks for each listed candidate's resolution in order; the
    // skipped ones (inactive) are passed over here the same way.
    std::vector<size_t> listed;
    for (size_t i = 0; i < candidates.size(); ++i)
        if (candidates[i].MonitorActive)
            listed.push_back(i);
    info.Monitors = ListMonitors(candidates,
                                 [&](int32_t& width, int32_t& height)
                                 {
                                     const std::vector<uint8_t>& edid = edids[listed[next++]];
                                     return DecodeEdidResolution(edid.data(), edid.size(), width, height);
                                 });
}
} // namespace

void ReadDisplayInfo(xDisplayInfo& info)
{
    info.Reset();
    // Without a display (no DISPLAY, no X server) there are no screens to ask.
    if (!gdk_init_check(nullptr, nullptr))
        return;
    GdkDisplay* display = gdk_display_get_default();
    const int count = display != nullptr ? gdk_display_get_n_monitors(display) : 0;
    if (count == 0)
        return;
    GdkMonitor* primary = gdk_display_get_primary_monitor(display);
    if (primary == nullptr)
        primary = gdk_display_get_monitor(display, 0);
    GdkRectangle screen{}, work{};
    gdk_monitor_get_geometry(primary, &screen);
    gdk_monitor_get_workarea(primary, &work);
    info.ScreenWidth = screen.width;
    info.ScreenHeight = screen.height;
    info.WorkLeft = work.x;
    info.WorkTop = work.y;
    info.WorkRight = work.x + work.width;
    info.WorkBottom = work.y + work.height;
    info.VirtualLeft = screen.x;
    info.VirtualTop = screen.y;
    info.VirtualRight = screen.x + screen.width;
    info.VirtualBottom = screen.y + screen.height;
    for (int i = 0; i < count; ++i)
    {
        GdkRectangle each{};
        gdk_monitor_get_geometry(gdk_display_get_monitor(display, i), &each);
        info.VirtualLeft = std::min(info.VirtualLeft, each.x);
        info.VirtualTop = std::min(info.VirtualTop, each.y);
        info.VirtualRight = std::max(info.VirtualRight, each.x + each.width);
        info.VirtualBottom = std::max(info.VirtualBottom, each.y + each.height);
    }
    ReadMonitors(display, info);
}
