#pragma once

#include <gdk/gdk.h>

#include <cstdint>

// The Windows virtual-key code of a GDK key value (an X keysym), and back, so
// that key events and hot keys speak the codes the portable side knows. 0 for
// keys without a counterpart.
uint32_t VirtualKeyOfKeyval(guint keyval);
guint KeyvalOfVirtualKey(uint32_t virtualKey);
