#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

// Owns a GDI object (pen, brush, font, bitmap) and deletes it once.
struct GdiObjectDeleter
{
    void operator()(void* object) const { DeleteObject(static_cast<HGDIOBJ>(object)); }
};
template <typename Handle> using GdiObject = std::unique_ptr<std::remove_pointer_t<Handle>, GdiObjectDeleter>;
