#pragma once

#include "xString.h"

#include <functional>

// Cuts a one-line text so that it fits `maxWidth` pixels as `measure` sees it:
// the text itself when it fits, else its longest start of whole code points
// (a surrogate pair is never split) followed by "…", else "…" alone, else
// nothing when not even "…" fits. The canvases call it rather than rely on the
// text layout's own trimming, which Wine's GDI+ ignores.
xWString FitTextToWidth(const xWString& text, float maxWidth,
                        const std::function<float(const xWString&)>& measure);
