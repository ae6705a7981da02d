#pragma once

#include <cstddef>
#include <type_traits>

// Growable, always zero-terminated text. xString holds UTF-8 bytes, xWString
// holds UTF-16 units as char16_t on every platform (wchar_t is 32-bit on Linux,
// so portable code never uses it). An empty string that owns nothing points at
// one shared static zero, so c_str() is valid at all times and costs nothing.
template <typename CharT> class xStringBase
{
public:
    using Char = CharT;
    using OtherChar = std::conditional_t<std::is_same_v<CharT, char>, char16_t, char>;

    xStringBase() = default;
    xStringBase(const CharT* text);
    xStringBase(const CharT* text, size_t count);
    // Converts between the two forms: UTF-16 to UTF-8 or back.
    explicit xStringBase(const xStringBase<OtherChar>& other);
    xStringBase(const xStringBase& other);
    xStringBase(xStringBase&& other) noexcept;
    xStringBase& operator=(const xStringBase& other);
    xStringBase& operator=(xStringBase&& other) noexcept;
    xStringBase& operator=(const CharT* text);
    ~xStringBase();

    const CharT* c_str() const { return Start; }
    CharT* Data() { return Start; }
    size_t Length() const { return static_cast<size_t>(End - Start); }
    bool IsEmpty() const { return End == Start; }
    // Usable characters, the terminator's slot not counted.
    size_t Capacity() const { return static_cast<size_t>(StorageEnd - Start) - 1; }
    bool OwnsStorage() const { return Start != SharedEmpty(); }

    CharT operator[](size_t index) const { return Start[index]; }
    CharT& operator[](size_t index) { return Start[index]; }
    CharT Last() const { return IsEmpty() ? CharT(0) : End[-1]; }
    const CharT* begin() const { return Start; }
    const CharT* end() const { return End; }

    void Append(const CharT* text, size_t count);
    void Append(const CharT* text);
    void Append(const xStringBase& text) { Append(text.Start, text.Length()); }
    void Append(CharT character);
    xStringBase& operator+=(const xStringBase& text)
    {
        Append(text);
        return *this;
    }
    xStringBase& operator+=(const CharT* text)
    {
        Append(text);
        return *this;
    }
    xStringBase& operator+=(CharT character)
    {
        Append(character);
        return *this;
    }

    void Reserve(size_t capacity);
    // Cuts the text to `length` characters (no-op when already shorter).
    void Truncate(size_t length);
    // Sets the length after writing into Data() directly; `length` must be within Capacity().
    void SetLength(size_t length);
    // Empties the text but keeps the storage.
    void Clear() { Truncate(0); }

    bool operator==(const xStringBase& other) const;
    bool operator!=(const xStringBase& other) const { return !(*this == other); }
    bool operator==(const CharT* text) const;
    bool operator!=(const CharT* text) const { return !(*this == text); }
    bool operator<(const xStringBase& other) const;

    static const CharT* SharedEmpty();

private:
    void Grow(size_t neededLength);
    void Release();

    CharT* Start = const_cast<CharT*>(SharedEmpty());
    CharT* End = const_cast<CharT*>(SharedEmpty());
    CharT* StorageEnd = const_cast<CharT*>(SharedEmpty()) + 1;
};

using xString = xStringBase<char>;
using xWString = xStringBase<char16_t>;

extern template class xStringBase<char>;
extern template class xStringBase<char16_t>;

template <typename CharT>
xStringBase<CharT> operator+(xStringBase<CharT> left, const xStringBase<CharT>& right)
{
    left.Append(right);
    return left;
}
template <typename CharT> xStringBase<CharT> operator+(xStringBase<CharT> left, const CharT* right)
{
    left.Append(right);
    return left;
}
template <typename CharT> xStringBase<CharT> operator+(const CharT* left, const xStringBase<CharT>& right)
{
    xStringBase<CharT> result(left);
    result.Append(right);
    return result;
}

// Length of a zero-terminated text of either width.
template <typename CharT> size_t TextLength(const CharT* text)
{
    size_t length = 0;
    while (text[length] != 0)
        ++length;
    return length;
}
