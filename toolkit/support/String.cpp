#include "String.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace
{

bool is_ascii_letter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char ascii_lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

char ascii_upper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

size_t bounded_length(const char* string, int32 maxLength)
{
    if (string == nullptr || maxLength <= 0)
        return 0;
    const void* end = memchr(string, 0, size_t(maxLength));
    return end != nullptr ? size_t(static_cast<const char*>(end) - string) : size_t(maxLength);
}

} // namespace

BString::BString(const char* string) : fData(string != nullptr ? string : "") {}

BString::BString(const char* string, int32 maxLength)
    : fData(string != nullptr ? string : "", bounded_length(string, maxLength))
{
}

int32 BString::CountChars() const
{
    int32 count = 0;
    for (char c : fData) {
        if ((uint8(c) & 0xC0) != 0x80)
            count++;
    }
    return count;
}

BString& BString::operator=(const char* string)
{
    return SetTo(string);
}

BString& BString::operator=(char c)
{
    fData.assign(1, c);
    return *this;
}

BString& BString::SetTo(const char* string)
{
    fData.assign(string != nullptr ? string : "");
    return *this;
}

BString& BString::SetTo(const char* string, int32 maxLength)
{
    fData.assign(string != nullptr ? string : "", bounded_length(string, maxLength));
    return *this;
}

BString& BString::SetTo(char c, int32 count)
{
    fData.assign(size_t(std::max<int32>(count, 0)), c);
    return *this;
}

BString& BString::Adopt(BString& from)
{
    fData = std::move(from.fData);
    from.fData.clear();
    return *this;
}

BString& BString::operator+=(char c)
{
    fData.push_back(c);
    return *this;
}

BString& BString::Append(const BString& string)
{
    fData.append(string.fData);
    return *this;
}

BString& BString::Append(const char* string)
{
    if (string != nullptr)
        fData.append(string);
    return *this;
}

BString& BString::Append(const char* string, int32 length)
{
    fData.append(string != nullptr ? string : "", bounded_length(string, length));
    return *this;
}

BString& BString::Append(char c, int32 count)
{
    fData.append(size_t(std::max<int32>(count, 0)), c);
    return *this;
}

BString& BString::Prepend(const char* string)
{
    if (string != nullptr)
        fData.insert(0, string);
    return *this;
}

BString& BString::Prepend(const BString& string)
{
    fData.insert(0, string.fData);
    return *this;
}

BString& BString::Insert(const char* string, int32 position)
{
    if (string != nullptr && position >= 0 && position <= Length())
        fData.insert(size_t(position), string);
    return *this;
}

BString& BString::Insert(char c, int32 count, int32 position)
{
    if (count > 0 && position >= 0 && position <= Length())
        fData.insert(size_t(position), size_t(count), c);
    return *this;
}

BString& BString::Truncate(int32 newLength, bool)
{
    if (newLength < 0)
        newLength = 0;
    if (newLength < Length())
        fData.resize(size_t(newLength));
    return *this;
}

BString& BString::Remove(int32 from, int32 length)
{
    if (from >= 0 && from < Length() && length > 0)
        fData.erase(size_t(from), size_t(length));
    return *this;
}

BString& BString::RemoveFirst(const char* string)
{
    int32 at = FindFirst(string);
    if (at >= 0)
        fData.erase(size_t(at), strlen(string));
    return *this;
}

BString& BString::RemoveAll(const char* string)
{
    return ReplaceAll(string, "");
}

BString& BString::RemoveSet(const char* setOfCharsToRemove)
{
    if (setOfCharsToRemove == nullptr)
        return *this;
    fData.erase(std::remove_if(fData.begin(), fData.end(),
                               [&](char c) { return c != 0 && strchr(setOfCharsToRemove, c); }),
                fData.end());
    return *this;
}

BString& BString::MoveInto(BString& into, int32 from, int32 length)
{
    CopyInto(into, from, length);
    return Remove(from, length);
}

void BString::CopyInto(char* into, int32 from, int32 length) const
{
    if (into == nullptr || from < 0 || from > Length() || length <= 0)
        return;
    size_t count = std::min(size_t(length), fData.size() - size_t(from));
    memcpy(into, fData.data() + from, count);
}

BString& BString::CopyInto(BString& into, int32 from, int32 length) const
{
    if (from < 0 || from > Length() || length < 0)
        into.fData.clear();
    else
        into.fData = fData.substr(size_t(from), size_t(length));
    return into;
}

BString& BString::ReplaceFirst(const char* replaceThis, const char* withThis)
{
    int32 at = FindFirst(replaceThis);
    if (at >= 0)
        fData.replace(size_t(at), strlen(replaceThis), withThis != nullptr ? withThis : "");
    return *this;
}

BString& BString::ReplaceAll(const char* replaceThis, const char* withThis, int32 fromOffset)
{
    if (replaceThis == nullptr || *replaceThis == '\0' || fromOffset < 0)
        return *this;
    std::string with = withThis != nullptr ? withThis : "";
    size_t length = strlen(replaceThis);
    size_t at = fData.find(replaceThis, size_t(fromOffset));
    while (at != std::string::npos) {
        fData.replace(at, length, with);
        at = fData.find(replaceThis, at + with.size());
    }
    return *this;
}

BString& BString::ReplaceAll(char replaceThis, char withThis, int32 fromOffset)
{
    for (size_t i = size_t(std::max<int32>(fromOffset, 0)); i < fData.size(); i++) {
        if (fData[i] == replaceThis)
            fData[i] = withThis;
    }
    return *this;
}

int32 BString::FindFirst(const char* string, int32 fromOffset) const
{
    if (string == nullptr || fromOffset < 0 || fromOffset > Length())
        return -1;
    size_t at = fData.find(string, size_t(fromOffset));
    return at == std::string::npos ? -1 : int32(at);
}

int32 BString::FindFirst(char c, int32 fromOffset) const
{
    if (fromOffset < 0 || fromOffset > Length())
        return -1;
    size_t at = fData.find(c, size_t(fromOffset));
    return at == std::string::npos ? -1 : int32(at);
}

int32 BString::FindLast(const char* string) const
{
    if (string == nullptr)
        return -1;
    size_t at = fData.rfind(string);
    return at == std::string::npos ? -1 : int32(at);
}

int32 BString::FindLast(char c) const
{
    size_t at = fData.rfind(c);
    return at == std::string::npos ? -1 : int32(at);
}

int32 BString::IFindFirst(const char* string, int32 fromOffset) const
{
    if (string == nullptr || fromOffset < 0 || fromOffset > Length())
        return -1;
    BString lowerSelf(*this), lowerOther(string);
    lowerSelf.ToLower();
    lowerOther.ToLower();
    return lowerSelf.FindFirst(lowerOther.String(), fromOffset);
}

int BString::Compare(const char* string) const
{
    return strcmp(String(), string != nullptr ? string : "");
}

int BString::Compare(const char* string, int32 length) const
{
    return strncmp(String(), string != nullptr ? string : "", size_t(std::max<int32>(length, 0)));
}

int BString::ICompare(const char* string) const
{
    return strcasecmp(String(), string != nullptr ? string : "");
}

int BString::ICompare(const char* string, int32 length) const
{
    return strncasecmp(String(), string != nullptr ? string : "",
                       size_t(std::max<int32>(length, 0)));
}

BString& BString::ToLower()
{
    for (char& c : fData)
        c = ascii_lower(c);
    return *this;
}

BString& BString::ToUpper()
{
    for (char& c : fData)
        c = ascii_upper(c);
    return *this;
}

BString& BString::Capitalize()
{
    ToLower();
    if (!fData.empty())
        fData[0] = ascii_upper(fData[0]);
    return *this;
}

// A word is a run of letters: its first letter goes up, the rest down.
BString& BString::CapitalizeEachWord()
{
    bool inWord = false;
    for (char& c : fData) {
        if (is_ascii_letter(c)) {
            c = inWord ? ascii_lower(c) : ascii_upper(c);
            inWord = true;
        } else {
            inWord = false;
        }
    }
    return *this;
}

BString& BString::operator<<(char c)
{
    fData.push_back(c);
    return *this;
}

BString& BString::operator<<(int32 value)
{
    fData += std::to_string(value);
    return *this;
}

BString& BString::operator<<(uint32 value)
{
    fData += std::to_string(value);
    return *this;
}

BString& BString::operator<<(int64 value)
{
    fData += std::to_string(value);
    return *this;
}

BString& BString::operator<<(uint64 value)
{
    fData += std::to_string(value);
    return *this;
}

BString& BString::operator<<(float value)
{
    char buffer[64];
    snprintf(buffer, sizeof(buffer), "%.2f", double(value));
    fData += buffer;
    return *this;
}

char BString::ByteAt(int32 index) const
{
    if (index < 0 || index >= Length())
        return 0;
    return fData[size_t(index)];
}

int Compare(const BString& a, const BString& b)
{
    return a.Compare(b.String());
}

int ICompare(const BString& a, const BString& b)
{
    return a.ICompare(b.String());
}
