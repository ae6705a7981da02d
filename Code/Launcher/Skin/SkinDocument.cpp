#include "SkinDocument.h"

#include "xLogLine.h"
#include "xStringOps.h"
#include "xTextConversion.h"

#include <rapidxml/rapidxml.hpp>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>

namespace
{
using Node = rapidxml::xml_node<char>;
using Attribute = rapidxml::xml_attribute<char>;

// Names of elements and attributes are matched ignoring ASCII case.
bool NameIs(Node* node, const char* wanted)
{
    return EqualsNoCase(xString(node->name(), node->name_size()), wanted);
}

const char* FindValue(Node* node, const char* name)
{
    const Attribute* attribute = node->first_attribute(name, 0, false);
    return attribute ? attribute->value() : nullptr;
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

int32_t CoordinateOf(Node* node, const char* name)
{
    const int32_t value = IntegerOf(node, name);
    return value > MaxSkinCoordinate    ? MaxSkinCoordinate
           : value < -MaxSkinCoordinate ? -MaxSkinCoordinate
                                        : value;
}

SkinRect RectOf(Node* node)
{
    SkinRect rect;
    rect.Left = CoordinateOf(node, "PosX");
    rect.Top = CoordinateOf(node, "PosY");
    rect.Right = rect.Left + CoordinateOf(node, "Width");
    rect.Bottom = rect.Top + CoordinateOf(node, "Height");
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
    window.XDesiredPositionOnScreen = CoordinateOf(node, "XDesiredPositionOnScreen");
    window.YDesiredPositionOnScreen = CoordinateOf(node, "YDesiredPositionOnScreen");
    window.WidthDesiredOnScreen = CoordinateOf(node, "WidthDesiredOnScreen");
    window.HeightDesiredOnScreen = CoordinateOf(node, "HeightDesiredOnScreen");
    window.CornerRadius = CoordinateOf(node, "CornerRadius");
    window.MinWidth = CoordinateOf(node, "MinWidth");
    window.MinHeight = CoordinateOf(node, "MinHeight");
    window.MaxWidth = CoordinateOf(node, "MaxWidth");
    window.MaxHeight = CoordinateOf(node, "MaxHeight");
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
    image.Left = CoordinateOf(node, "PosX");
    image.Top = CoordinateOf(node, "PosY");
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
    button.OffsetHover = CoordinateOf(node, "OffsetHover");
    button.OffsetClick = CoordinateOf(node, "OffsetClick");
    button.TopRight = FlagOf(node, "TopRight");
    return button;
}

// The index of the '>' that ends the tag opening at `at`, past quoted
// attribute values; the text's end when there is none.
size_t SkipTag(const std::vector<uint8_t>& text, size_t at)
{
    uint8_t quote = 0;
    for (++at; at < text.size(); ++at)
    {
        if (quote != 0)
            quote = text[at] == quote ? 0 : quote;
        else if (text[at] == '"' || text[at] == '\'')
            quote = text[at];
        else if (text[at] == '>')
            return at;
    }
    return at;
}

bool StartsWith(const std::vector<uint8_t>& text, size_t at, const char* prefix)
{
    for (; *prefix != 0; ++prefix, ++at)
        if (at >= text.size() || text[at] != static_cast<uint8_t>(*prefix))
            return false;
    return true;
}

// The index of the last character of the comment, CDATA section, declaration
// or processing instruction opening at `at`: no element lies inside one.
size_t SkipMarkup(const std::vector<uint8_t>& text, size_t at)
{
    const char* end = StartsWith(text, at, "<!--")        ? "-->"
                      : StartsWith(text, at, "<![CDATA[") ? "]]>"
                      : StartsWith(text, at, "<?")        ? "?>"
                                                          : ">";
    for (at += 2; at < text.size(); ++at)
        if (StartsWith(text, at, end))
            return at + std::char_traits<char>::length(end) - 1;
    return at;
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

size_t SkinElementDepth(const std::vector<uint8_t>& text, size_t limit)
{
    size_t depth = 0;
    size_t deepest = 0;
    for (size_t at = 0; at < text.size() && deepest <= limit; ++at)
    {
        if (text[at] != '<')
            continue;
        const size_t next = at + 1;
        if (next < text.size() && (text[next] == '!' || text[next] == '?'))
            at = SkipMarkup(text, at);
        else if (next < text.size() && text[next] == '/')
        {
            depth -= depth > 0 ? 1 : 0;
            at = SkipTag(text, at);
        }
        else
        {
            at = SkipTag(text, at);
            const bool empty = at < text.size() && text[at - 1] == '/';
            if (!empty)
                deepest = std::max(deepest, ++depth);
        }
    }
    return deepest;
}

bool ParseSkinDocument(const std::vector<uint8_t>& text, const xWString& defaultTitle, SkinDocument& document)
{
    document = SkinDocument();
    if (SkinElementDepth(text, MaxSkinDepth) > MaxSkinDepth)
    {
        LogErrorLine("Skin document nests elements deeper than %u levels; refused",
                     static_cast<unsigned>(MaxSkinDepth));
        return false;
    }
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
        if (child->type() == rapidxml::node_element && NameIs(child, "Image") && Admit(seen++, "Image"))
            document.Images.push_back(ReadImage(child));
    }
    seen = 0;
    for (Node* child = window->first_node(); child; child = child->next_sibling())
    {
        if (child->type() == rapidxml::node_element && NameIs(child, "Button") && Admit(seen++, "Button"))
            document.Buttons.push_back(ReadButton(child));
    }
    seen = 0;
    for (Node* child = window->first_node(); child; child = child->next_sibling())
    {
        if (child->type() != rapidxml::node_element || !NameIs(child, "WebPage") || !Admit(seen++, "WebPage"))
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
