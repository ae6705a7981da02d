#include "xString.h"
#include "xTextConversion.h"

#include <cstring>
#include <new>
#include <utility>

namespace
{
constexpr std::align_val_t StorageAlignment{16};
constexpr size_t MinimumGrowth = 8;

template <typename CharT> CharT* AllocateChars(size_t count)
{
    return static_cast<CharT*>(::operator new(count * sizeof(CharT), StorageAlignment));
}

template <typename CharT> void FreeChars(CharT* storage)
{
    ::operator delete(storage, StorageAlignment);
}
} // namespace

template <typename CharT> const CharT* xStringBase<CharT>::SharedEmpty()
{
    static const CharT empty[1] = {0};
    return empty;
}

template <typename CharT> xStringBase<CharT>::xStringBase(const CharT* text)
{
    if (text)
        Append(text, TextLength(text));
}

template <typename CharT> xStringBase<CharT>::xStringBase(const CharT* text, size_t count)
{
    Append(text, count);
}

template <typename CharT> xStringBase<CharT>::xStringBase(const xStringBase<OtherChar>& other)
{
    if constexpr (std::is_same_v<CharT, char>)
        *this = WideToUtf8(other.c_str(), other.Length());
    else
        *this = Utf8ToWide(other.c_str(), other.Length());
}

template <typename CharT> xStringBase<CharT>::xStringBase(const xStringBase& other)
{
    Append(other.Start, other.Length());
}

template <typename CharT>
xStringBase<CharT>::xStringBase(xStringBase&& other) noexcept
    : Start(other.Start), End(other.End), StorageEnd(other.StorageEnd)
{
    other.Start = other.End = const_cast<CharT*>(SharedEmpty());
    other.StorageEnd = other.Start + 1;
}

template <typename CharT> xStringBase<CharT>& xStringBase<CharT>::operator=(const xStringBase& other)
{
    if (this == &other)
        return *this;
    Clear();
    Append(other.Start, other.Length());
    return *this;
}

template <typename CharT> xStringBase<CharT>& xStringBase<CharT>::operator=(xStringBase&& other) noexcept
{
    if (this == &other)
        return *this;
    Release();
    Start = other.Start;
    End = other.End;
    StorageEnd = other.StorageEnd;
    other.Start = other.End = const_cast<CharT*>(SharedEmpty());
    other.StorageEnd = other.Start + 1;
    return *this;
}

template <typename CharT> xStringBase<CharT>& xStringBase<CharT>::operator=(const CharT* text)
{
    // The text may point into this string's own storage.
    xStringBase copy(text);
    *this = std::move(copy);
    return *this;
}

template <typename CharT> xStringBase<CharT>::~xStringBase()
{
    Release();
}

template <typename CharT> void xStringBase<CharT>::Release()
{
    if (OwnsStorage())
        FreeChars(Start);
    Start = End = const_cast<CharT*>(SharedEmpty());
    StorageEnd = Start + 1;
}

template <typename CharT> void xStringBase<CharT>::Grow(size_t neededLength)
{
    const size_t oldCapacity = Capacity();
    size_t newCapacity = oldCapacity <= MinimumGrowth ? MinimumGrowth : oldCapacity * 2;
    if (newCapacity < neededLength)
        newCapacity = neededLength;
    Reserve(newCapacity);
}

template <typename CharT> void xStringBase<CharT>::Reserve(size_t capacity)
{
    if (capacity <= Capacity())
        return;
    const size_t length = Length();
    CharT* storage = AllocateChars<CharT>(capacity + 1);
    std::memcpy(storage, Start, length * sizeof(CharT));
    storage[length] = 0;
    if (OwnsStorage())
        FreeChars(Start);
    Start = storage;
    End = storage + length;
    StorageEnd = storage + capacity + 1;
}

template <typename CharT> void xStringBase<CharT>::Append(const CharT* text, size_t count)
{
    if (count == 0)
        return;
    const size_t length = Length();
    if (length + count > Capacity())
    {
        // The text may live inside our own storage, which Grow frees.
        if (text >= Start && text < StorageEnd)
        {
            xStringBase copy(text, count);
            Grow(length + count);
            std::memcpy(Start + length, copy.Start, count * sizeof(CharT));
        }
        else
        {
            Grow(length + count);
            std::memcpy(Start + length, text, count * sizeof(CharT));
        }
    }
    else
    {
        std::memmove(Start + length, text, count * sizeof(CharT));
    }
    End = Start + length + count;
    *End = 0;
}

template <typename CharT> void xStringBase<CharT>::Append(const CharT* text)
{
    if (text)
        Append(text, TextLength(text));
}

template <typename CharT> void xStringBase<CharT>::Append(CharT character)
{
    Append(&character, 1);
}

template <typename CharT> void xStringBase<CharT>::Truncate(size_t length)
{
    if (length >= Length())
        return;
    End = Start + length;
    *End = 0; // never writes the shared empty: Length() > 0 means we own storage
}

template <typename CharT> void xStringBase<CharT>::SetLength(size_t length)
{
    if (length > Capacity())
        length = Capacity();
    if (!OwnsStorage())
        return;
    End = Start + length;
    *End = 0;
}

template <typename CharT> bool xStringBase<CharT>::operator==(const xStringBase& other) const
{
    return Length() == other.Length() && std::memcmp(Start, other.Start, Length() * sizeof(CharT)) == 0;
}

template <typename CharT> bool xStringBase<CharT>::operator==(const CharT* text) const
{
    if (!text)
        return IsEmpty();
    const size_t length = TextLength(text);
    return Length() == length && std::memcmp(Start, text, length * sizeof(CharT)) == 0;
}

template <typename CharT> bool xStringBase<CharT>::operator<(const xStringBase& other) const
{
    const size_t common = Length() < other.Length() ? Length() : other.Length();
    for (size_t i = 0; i < common; ++i)
    {
        if (Start[i] != other.Start[i])
            return static_cast<std::make_unsigned_t<CharT>>(Start[i]) <
                   static_cast<std::make_unsigned_t<CharT>>(other.Start[i]);
    }
    return Length() < other.Length();
}

template class xStringBase<char>;
template class xStringBase<char16_t>;
