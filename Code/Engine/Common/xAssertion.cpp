#include "xAssertion.h"

#include "xDebugger.h"
#include "xFormat.h"

namespace
{
// A text that filled its buffer may end between the two halves of a surrogate
// pair; a lone high half would show as garbage, so it goes.
void DropDanglingHighSurrogate(char16_t* text)
{
    const size_t length = TextLength(text);
    if (length > 0 && text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF)
        text[length - 1] = 0;
}

const char16_t* const ReportFormat = u"%s( %i ): Assertion failed: %s";
const char16_t* const ReportWithNoteFormat = u"%s( %i ): Assertion failed: %s\n %s\n";
} // namespace

xWString BuildAssertionReport(const char* expression, const char* sourcePath, int line,
                              const char16_t* format, va_list arguments)
{
    const xWString wideExpression(xString(expression != nullptr ? expression : ""));
    const xWString widePath(xString(sourcePath != nullptr ? sourcePath : ""));

    char16_t report[AssertionBufferSize] = {};
    if (format == nullptr)
    {
        swprintf_Replacement(report, AssertionBufferSize, ReportFormat, widePath.c_str(), line,
                             wideExpression.c_str());
        DropDanglingHighSurrogate(report);
        return xWString(report);
    }

    char16_t note[AssertionBufferSize] = {};
    vswprintf_Replacement(note, AssertionBufferSize, format, arguments);
    DropDanglingHighSurrogate(note);
    if (swprintf_Replacement(report, AssertionBufferSize, ReportWithNoteFormat, widePath.c_str(), line,
                             wideExpression.c_str(), note) < 0)
    {
        // The formatter leaves out a text that does not fit as a whole, which would
        // lose the whole note; cut the note to the room the rest leaves instead.
        const int fixedLength = swprintf_Replacement(report, AssertionBufferSize, ReportWithNoteFormat,
                                                     widePath.c_str(), line, wideExpression.c_str(), u"");
        if (fixedLength >= 0)
        {
            const size_t room = AssertionBufferSize - 1 - static_cast<size_t>(fixedLength);
            if (TextLength(note) > room)
            {
                note[room] = 0;
                DropDanglingHighSurrogate(note);
            }
            swprintf_Replacement(report, AssertionBufferSize, ReportWithNoteFormat, widePath.c_str(), line,
                                 wideExpression.c_str(), note);
        }
    }
    DropDanglingHighSurrogate(report);
    return xWString(report);
}

void ReportAssertion(const char* expression, const char* sourcePath, int line, const char16_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    const xWString report = BuildAssertionReport(expression, sourcePath, line, format, arguments);
    va_end(arguments);
    if (IsDebuggerAttached())
        ShowAssertionToDebugger(report);
}
