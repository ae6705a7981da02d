#include "xLogFileTarget.h"

#include "xEngineContext.h"

xLogFileTarget::xLogFileTarget(const xEngineContext& context)
    : xLogTarget(xWString(context.LogBasePath)), BasePath(context.LogBasePath),
      SingleFile(context.LogSingleFile), Disabled(context.LogFileDisabled)
{
    if (Disabled)
        return;
    const uint32_t lastCategory = SingleFile ? 0 : LogCategoryCount - 1;
    for (uint32_t category = 0; category <= lastCategory; ++category)
        OpenCategory(category);
}

xLogFileTarget::~xLogFileTarget()
{
    for (auto& entry : Streams)
        std::fclose(entry.second);
}

void xLogFileTarget::OpenCategory(uint32_t category)
{
    if (Streams.count(category) != 0)
        return;
    const xString path = BasePath + LogCategorySuffix(static_cast<LogCategory>(category)) + ".txt";
    FILE* stream = OpenStream(path);
    if (stream != nullptr)
        Streams[category] = stream;
}

bool xLogFileTarget::HasFile(LogCategory category) const
{
    return Streams.count(static_cast<uint32_t>(category)) != 0;
}

void xLogFileTarget::Write(const xString& prefix, LogLevel, LogCategory category, int, int,
                           const xString& message)
{
    if (Disabled)
        return;
    const xString line = prefix + message;
    const uint32_t categoryNumber = static_cast<uint32_t>(category);
    WriteLine(categoryNumber, line);
    if (categoryNumber != 0)
        WriteLine(0, line);
}

void xLogFileTarget::WriteLine(uint32_t category, const xString& line)
{
    const auto found = Streams.find(category);
    if (found == Streams.end())
        return;
    WriteStream(found->second, line);
}
