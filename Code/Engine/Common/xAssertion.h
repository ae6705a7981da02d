#pragma once

#include "xString.h"

#include <cstdarg>
#include <cstddef>

// Reports a failed assertion. With a debugger attached the report is shown and
// the debugger gets control; without one nothing is shown or logged. Either way
// the call returns: an assertion never ends the program.
// `format` (optional, may be null) is a wide printf format for a note that the
// report carries below the failed expression.
void ReportAssertion(const char* expression, const char* sourcePath, int line, const char16_t* format, ...);

// The report text: "<path>( <line> ): Assertion failed: <expression>", followed by
// "\n <note>\n" when a format is given. At most AssertionBufferSize - 1 units: a
// longer note is cut to fit, never between the halves of a surrogate pair.
xWString BuildAssertionReport(const char* expression, const char* sourcePath, int line,
                              const char16_t* format, va_list arguments);

constexpr size_t AssertionBufferSize = 2048;

#define xAssert(expression)                                                                                  \
    do                                                                                                       \
    {                                                                                                        \
        if (!(expression))                                                                                   \
            ReportAssertion(#expression, __FILE__, __LINE__, nullptr);                                       \
    } while (0)
