// Any UTF-16 text as the process command line: the tokens it splits into, the
// "forcearg=" value normalised from each, and the launch parameter each gives.
#include "CommandLine.h"
#include "FuzzCheck.h"
#include "LaunchState.h"
#include "ProductProfile.h"

#include "SelfUpdate.h"
#include "xCommandLine.h"

#include <string>

namespace
{
// Just the parsing: no product steps run for these values.
class FuzzProfile : public ProductProfile
{
public:
    bool SupportsSelfUpdate() const override { return false; }
    xWString GameTitle() const override { return u"Fuzz"; }
    xWString ProductCode() const override { return u"fuzz"; }
    bool AcceptArguments(const std::vector<xWString>&) override { return true; }
    bool SetLoginString(const xWString&) override { return true; }
    xWString GetGameArguments() override { return {}; }
    xString ClientBaseUrl() const override { return {}; }
};

bool HasAny(const std::u16string& text, const char16_t* units)
{
    return text.find_first_of(units) != std::u16string::npos;
}

void CheckTokens(const xWString& line, bool skipProgramName)
{
    const xCommandLine tokens(line, skipProgramName);
    const std::u16string whole = Units(line);
    FUZZ_CHECK(tokens.Arguments().size() == tokens.ArgumentCount());
    // Tokens appear in the line in their order, none overlapping the next.
    size_t from = 0;
    for (size_t i = 0; i < tokens.ArgumentCount(); ++i)
    {
        const std::u16string token = Units(tokens.Argument(i));
        FUZZ_CHECK(token.find(u' ') == std::u16string::npos || tokens.Kind(i) == xCommandLine::Quoted);
        if (tokens.Kind(i) == xCommandLine::Quoted)
            FUZZ_CHECK(token.find(u'"') == std::u16string::npos);
        else
            FUZZ_CHECK(!token.empty() && (tokens.Kind(i) == xCommandLine::Option) == (token[0] == u'-'));
        const size_t at = whole.find(token, from);
        FUZZ_CHECK(at != std::u16string::npos);
        from = at + token.size();
    }
    FUZZ_CHECK(tokens.Argument(tokens.ArgumentCount()).IsEmpty());
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const xWString line = WideFromBytes(data, size);
    CheckTokens(line, true);
    CheckTokens(line, false);

    FuzzProfile profile;
    const xCommandLine tokens(line, true);
    for (size_t i = 0; i < tokens.ArgumentCount() && i < 8; ++i)
    {
        const xWString normalised = NormaliseForcedArgument(tokens.Argument(i));
        const std::u16string text = Units(normalised);
        FUZZ_CHECK(!HasAny(text, u"{}\\\"&="));
        FUZZ_CHECK(text.size() <= tokens.Argument(i).Length());

        TheLaunchState.Clear();
        profile.ParseLaunchParam(normalised);
        FUZZ_CHECK(TheLaunchState.LaunchParamParsed);
        for (const auto& [key, value] : TheLaunchState.LaunchValues)
        {
            FUZZ_CHECK(!HasAny(Units(key), u",:") && !HasAny(Units(value), u",:"));
            FUZZ_CHECK(text.find(Units(key) + u":" + Units(value)) != std::u16string::npos);
        }
        const auto sid = TheLaunchState.LaunchValues.find(u"sid");
        if (sid == TheLaunchState.LaunchValues.end())
            FUZZ_CHECK(profile.SidString.IsEmpty());

        // The same text as the login page hands it over, on to the game's command line.
        FUZZ_CHECK(TheProfile.SetLoginString(tokens.Argument(i)));
        FUZZ_CHECK(!HasAny(Units(TheProfile.GetGameArguments()), u"{}\"&"));

        // The process id a self-update stage hands over: digits only, 32 bits.
        const uint32_t processId = ParseProcessIdArgument(tokens.Argument(i));
        if (processId != 0)
        {
            const std::string digits = Narrow(xString(tokens.Argument(i)));
            FUZZ_CHECK(digits.find_first_not_of("0123456789") == std::string::npos);
            FUZZ_CHECK(std::stoull(digits) == processId);
        }
        profile.SidString = xString();
    }
    TheLaunchState.Clear();
    return 0;
}
