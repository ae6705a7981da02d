#include "QtmxProfile.h"
#include "ProductConfig.h"

#include "xShell.h"
#include "xStringOps.h"
#include "xTextConversion.h"

namespace
{
QtmxProfile TheQtmxProfile;
}

ProductProfile& TheProfile = TheQtmxProfile;

bool QtmxProfile::AcceptArguments(const std::vector<xWString>& arguments)
{
    (void)arguments;
    return true;
}

bool QtmxProfile::SetLoginString(const xWString& login)
{
    xWString text = ReplaceAll(login, u"{", u"");
    text = ReplaceAll(text, u"}", u"");
    LoginString = ReplaceAll(text, u"\"", u"");
    return true;
}

xWString QtmxProfile::GetGameArguments()
{
    // The game reads its login values separated by commas.
    LoginString = ReplaceAll(LoginString, u"&", u",");
    return LoginString;
}

xWString QtmxProfile::HomePageUrl() const
{
    return Utf8ToWide(PRODUCT_HOME_PAGE_URL);
}

bool QtmxProfile::VerifiesEveryLogin() const
{
    return PRODUCT_VERIFY_EVERY_LOGIN != 0;
}

xString QtmxProfile::ClientBaseUrl() const
{
    return PRODUCT_CLIENT_BASE_URL;
}

xString QtmxProfile::LauncherUpdateBaseUrl() const
{
    // Empty unless the build names an update location: the check then finds no
    // newer launcher.
    return PRODUCT_LAUNCHER_UPDATE_BASE_URL;
}

xString QtmxProfile::AutoLoginTranslateUrl() const
{
    return PRODUCT_AUTOLOGIN_TRANSLATE_URL;
}

xWString QtmxProfile::LinkPage(const char* linkName)
{
    const xString name(linkName ? linkName : "");
    if (EqualsNoCase(name, "mainpage"))
        return Utf8ToWide(PRODUCT_HOME_PAGE_URL);
    if (EqualsNoCase(name, "charge"))
        return Utf8ToWide(PRODUCT_PAYMENT_URL);
    if (EqualsNoCase(name, "forum") || EqualsNoCase(name, "service"))
        return Utf8ToWide(PRODUCT_MAIN_SITE_URL);
    return {};
}

void QtmxProfile::OpenLink(const char* linkName)
{
    const xWString page = LinkPage(linkName);
    if (!page.IsEmpty())
        OpenWebPage(page);
}
