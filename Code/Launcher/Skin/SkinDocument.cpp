#include "SkinDocument.h"

#include "xLogLine.h"
#include "xStringOps.h"
#include "xTextConversion.h"

#include <rapidxml/rapidxml.hpp>

#include <climits>
#include <cstdlib>

namespace
{
using Node = rapidxml::xml_node<char>;
using Attribute = rapidxml::xml_attribute<char>;

bool NameIs(const char* name, size_t length, const char* wanted)
{
    return EqualsNoCase(xString(name, length), wanted);
}

const char* FindValue(Node* node, const char* name)
{
    for (Attribute* attribute = node->first_attribute(); attribute; attribute = attribute->next_attribute())
    {
        if (NameIs(attribute->name(), attribute->name_size(), name))
            return attribute->value();
    }
    return nullptr;
}

int32_t IntegerOf(Node* node, const char* name)
{
    const char* value = FindValue(node, name);
    return value ? ReadSkinInteger(value) : 0;
}

bool FlagOf(Node* node, const char* name)
{
    const char* value = FindValue(node, name);
    return value && ReadSkinFlag(value);
}

xString TextOf(Node* node, const char* name)
{
    const char* value = FindValue(node, name);
    return value ? xString(value) : xString();
}

int32_t SaturatingAdd(int32_t a, int32_t b)
{
    return ClampToInt32(static_cast<int64_t>(a) + b);
}

SkinRect RectOf(Node* node)
{
    SkinRect rect;
    rect.Left = IntegerOf(node, "PosX");
    rect.Top = IntegerOf(node, "PosY");
    rect.Right = SaturatingAdd(rect.Left, IntegerOf(node, "Width"));
    rect.Bottom = SaturatingAdd(rect.Top, IntegerOf(node, "Height"));
    return rect;
}

// The window's alpha is Opacity x 255 as an integer: a value outside 0 to 1 (or
// none at all) would not convert, so it is held to that range; NaN counts as absent.
float OpacityOf(float value)
{
    if (!(value >= 0.0f))
        return value < 0.0f ? 0.0f : 1.0f;
    return value > 1.0f ? 1.0f : value;
}

void ReadWindow(Node* node, const xWString& defaultTitle, WindowDescription& window)
{
    window.Type = IntegerOf(node, "Type");
    window.XDesiredPositionOnScreen = IntegerOf(node, "XDesiredPositionOnScreen");
    window.YDesiredPositionOnScreen = IntegerOf(node, "YDesiredPositionOnScreen");
    window.WidthDesiredOnScreen = IntegerOf(node, "WidthDesiredOnScreen");
    window.HeightDesiredOnScreen = IntegerOf(node, "HeightDesiredOnScreen");
    window.CornerRadius = IntegerOf(node, "CornerRadius");
    window.MinWidth = IntegerOf(node, "MinWidth");
    window.MinHeight = IntegerOf(node, "MinHeight");
    window.MaxWidth = IntegerOf(node, "MaxWidth");
    window.MaxHeight = IntegerOf(node, "MaxHeight");
    window.Transparency = IntegerOf(node, "Transparency");
    window.HasOSWindowBorder = FlagOf(node, "HasOSWindowBorder");
    window.IsInTaskbar = FlagOf(node, "IsInTaskbar");
    window.IsTopmostWindow = FlagOf(node, "IsTopmostWindow");
    window.ActivateWhenFirstShown = FlagOf(node, "ActivateWhenFirstShown");
    window.FocusWhenFirstShown = FlagOf(node, "FocusWhenFirstShown");
    window.HasCloseButton = FlagOf(node, "HasCloseButton");
    window.HasMinimize = FlagOf(node, "HasMinimize");
    window.HasMaximize = FlagOf(node, "HasMaximize");
    window.HasSizingFrame = FlagOf(node, "HasSizingFrame");
    window.IsModalWindow = FlagOf(node, "IsModalWindow");
    window.IsRegularWindow = FlagOf(node, "IsRegularWindow");
    const xString title = TextOf(node, "Title");
    window.Title = title.IsEmpty() ? defaultTitle : Utf8ToWide(title);
    const char* opacity = FindValue(node, "Opacity");
    window.Opacity = opacity ? OpacityOf(ReadSkinFloat(opacity)) : 1.0f;
}

SkinImage ReadImage(Node* node)
{
    SkinImage image;
    image.Path = TextOf(node, "Path");
    image.Left = IntegerOf(node, "PosX");
    image.Top = IntegerOf(node, "PosY");
    return image;
}

SkinButton ReadButton(Node* node)
{
    SkinButton button;
    button.Id = TextOf(node, "ID");
    button.Rect = RectOf(node);
    button.AnchorX = button.Rect.Left;
    button.AnchorY = button.Rect.Top;
    button.NormalPath = TextOf(node, "Normal");
    button.HoverPath = TextOf(node, "Hover");
    button.ClickPath = TextOf(node, "Click");
    button.OffsetHover = IntegerOf(node, "OffsetHover");
    button.OffsetClick = IntegerOf(node, "OffsetClick");
    button.TopRight = FlagOf(node, "TopRight");
    return button;
}

// Counts one more element of a kind; false past the limit (logged once per kind).
bool Admit(size_t count, const char* kind)
{
    if (count < MaxSkinElements)
        return true;
    if (count == MaxSkinElements)
        LogErrorLine("Skin document has more than %u %s elements; the rest are left out",
                     static_cast<unsigned>(MaxSkinElements), kind);
    return false;
}
} // namespace

int32_t ReadSkinInteger(const char* text)
{
    return ClampToInt32(std::strtoll(text, nullptr, 10));
}

bool ReadSkinFlag(const char* text)
{
    return text[0] == '1';
}

float ReadSkinFloat(const char* text)
{
    return static_cast<float>(std::strtod(text, nullptr));
}

bool ParseSkinDocument(const std::vector<uint8_t>& text, const xWString& defaultTitle, SkinDocument& document)
{
    document = SkinDocument();
    // The parser works in place and needs a terminated text.
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back(0);
    rapidxml::xml_document<char> xml;
    try
    {
        xml.parse<0>(buffer.data());
    }
    catch (const rapidxml::parse_error& error)
    {
        LogErrorLine("Skin document is no valid XML: %s", error.what());
        return false;
    }
    Node* root = xml.first_node();
    Node* window = root ? root->first_node() : nullptr;
    if (!window)
    {
        LogErrorLine("Skin document has no window element");
        return false;
    }
    ReadWindow(window, defaultTitle, document.Window);

    // Three passes, so each list keeps document order whatever the mix.
    size_t seen = 0;
    for (Node* child = window->first_node(); child; child = child->next_sibling())
    {
        if (child->type() == rapidxml::node_element && NameIs(child->name(), child->name_size(), "Image") &&
            Admit(seen++, "Image"))
            document.Images.push_back(ReadImage(child));
    }
    seen = 0;
    for (Node* child = window->first_node(); child; child = child->next_sibling())
    {
        if (child->type() == rapidxml::node_element && NameIs(child->name(), child->name_size(), "Button") &&
            Admit(seen++, "Button"))
            document.Buttons.push_back(ReadButton(child));
    }
    seen = 0;
    for (Node* child = window->first_node(); child; child = child->next_sibling())
    {
        if (child->type() != rapidxml::node_element ||
            !NameIs(child->name(), child->name_size(), "WebPage") || !Admit(seen++, "WebPage"))
            continue;
        document.Pages.push_back(RectOf(child));
        if (const char* url = FindValue(child, "URL"))
        {
            document.PageAddress = url;
            document.HasPageAddress = true;
        }
    }
    return true;
}
