#include "JsonText.h"

#include <cstdint>

namespace
{
class Reader
{
public:
    explicit Reader(const std::string& text) : m_Text(text) {}

    bool Fail(const std::string& what)
    {
        if (m_Error.empty())
            m_Error = what + " at byte " + std::to_string(m_Position);
        return false;
    }
    const std::string& Error() const { return m_Error; }

    void SkipSpace()
    {
        while (m_Position < m_Text.size() && (m_Text[m_Position] == ' ' || m_Text[m_Position] == '\t' ||
                                              m_Text[m_Position] == '\n' || m_Text[m_Position] == '\r'))
            ++m_Position;
    }

    bool Take(char expected)
    {
        SkipSpace();
        if (m_Position < m_Text.size() && m_Text[m_Position] == expected)
        {
            ++m_Position;
            return true;
        }
        return false;
    }

    bool AtQuote()
    {
        SkipSpace();
        return m_Position < m_Text.size() && m_Text[m_Position] == '"';
    }

    bool AtEnd()
    {
        SkipSpace();
        return m_Position == m_Text.size();
    }

    bool ReadString(std::string& out)
    {
        SkipSpace();
        if (m_Position >= m_Text.size() || m_Text[m_Position] != '"')
            return Fail("expected a string");
        ++m_Position;
        out.clear();
        while (m_Position < m_Text.size())
        {
            const unsigned char c = static_cast<unsigned char>(m_Text[m_Position]);
            if (c == '"')
            {
                ++m_Position;
                return true;
            }
            if (c < 0x20)
                return Fail("control character in a string");
            if (c != '\\')
            {
                out += static_cast<char>(c);
                ++m_Position;
                continue;
            }
            if (++m_Position >= m_Text.size())
                break;
            const char escape = m_Text[m_Position++];
            switch (escape)
            {
            case '"':
            case '\\':
            case '/':
                out += escape;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u':
                if (!ReadUnicodeEscape(out))
                    return false;
                break;
            default:
                --m_Position;
                return Fail("unknown escape");
            }
        }
        return Fail("unterminated string");
    }

private:
    bool ReadHex4(uint32_t& value)
    {
        if (m_Text.size() - m_Position < 4)
            return Fail("short \\u escape");
        value = 0;
        for (int i = 0; i < 4; ++i)
        {
            const char c = m_Text[m_Position];
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= static_cast<uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                value |= static_cast<uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                value |= static_cast<uint32_t>(c - 'A' + 10);
            else
                return Fail("bad hex digit in \\u escape");
            ++m_Position;
        }
        return true;
    }

    bool ReadUnicodeEscape(std::string& out)
    {
        uint32_t code = 0;
        if (!ReadHex4(code))
            return false;
        if (code >= 0xDC00 && code <= 0xDFFF)
            return Fail("lone low surrogate");
        if (code >= 0xD800 && code <= 0xDBFF)
        {
            uint32_t low = 0;
            if (m_Text.compare(m_Position, 2, "\\u") != 0)
                return Fail("high surrogate without its low half");
            m_Position += 2;
            if (!ReadHex4(low))
                return false;
            if (low < 0xDC00 || low > 0xDFFF)
                return Fail("high surrogate without its low half");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        AppendUtf8(out, code);
        return true;
    }

    static void AppendUtf8(std::string& out, uint32_t code)
    {
        if (code < 0x80)
        {
            out += static_cast<char>(code);
        }
        else if (code < 0x800)
        {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
        else if (code < 0x10000)
        {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
        else
        {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    const std::string& m_Text;
    size_t m_Position = 0;
    std::string m_Error;
};
} // namespace

bool ParseStringObject(const std::string& text, std::map<std::string, std::string>& members,
                       std::string& error)
{
    // A byte-order mark from an editor is not part of the document.
    const std::string body = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? text.substr(3) : text;
    Reader reader(body);
    std::map<std::string, std::string> result;
    bool ok = reader.Take('{') || reader.Fail("expected \"{\"");
    if (ok && !reader.Take('}'))
    {
        for (;;)
        {
            std::string key;
            std::string value;
            if (!reader.ReadString(key))
            {
                ok = false;
                break;
            }
            if (!reader.Take(':'))
            {
                ok = reader.Fail("expected \":\"");
                break;
            }
            if (!reader.AtQuote())
            {
                ok = reader.Fail("member values must be strings");
                break;
            }
            if (!reader.ReadString(value))
            {
                ok = false;
                break;
            }
            result[key] = value;
            if (reader.Take(','))
                continue;
            if (!reader.Take('}'))
                ok = reader.Fail("expected \",\" or \"}\"");
            break;
        }
    }
    if (ok && !reader.AtEnd())
        ok = reader.Fail("text after the object");
    if (!ok)
    {
        error = reader.Error();
        return false;
    }
    members.swap(result);
    return true;
}

std::string JsonQuote(const std::string& text)
{
    static const char hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : text)
    {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\')
        {
            out += '\\';
            out += c;
        }
        else if (u < 0x20)
        {
            out += "\\u00";
            out += hex[u >> 4];
            out += hex[u & 0xF];
        }
        else
        {
            out += c;
        }
    }
    return out + "\"";
}
