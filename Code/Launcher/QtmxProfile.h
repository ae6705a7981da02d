#pragma once

#include "ProductProfile.h"

// The profile of this product, 霜石纪元 ("qtmx").
class QtmxProfile : public ProductProfile
{
public:
    bool SupportsSelfUpdate() const override { return true; }
    xWString GameTitle() const override { return u"霜石纪元"; }
    xWString ProductCode() const override { return u"qtmx"; }
    bool AcceptArguments(const std::vector<xWString>& arguments) override;
    bool SetLoginString(const xWString& login) override;
    bool VerifiesEveryLogin() const override;
    xWString GetGameArguments() override;
    xWString ShortcutName() const override { return u"霜石纪元"; }
    xWString WebShortcutName() const override { return {}; }
    xWString ServerNamePattern() const override { return {}; }
    xWString AppDataSubfolder() const override { return u"Brightfen/rwgametidemark/"; }
    xWString HomePageUrl() const override;
    xString ClientBaseUrl() const override;
    xString LauncherUpdateBaseUrl() const override;
    xString AutoLoginTranslateUrl() const override;
    void OpenLink(const char* linkName) override;

    // The page of a link button ("mainpage", "charge", "forum", "service"; ASCII
    // case ignored), or empty for any other name.
    static xWString LinkPage(const char* linkName);

    // Handed to the game on its command line.
    xWString LoginString;
};
