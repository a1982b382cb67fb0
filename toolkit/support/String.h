#pragma once

#include <string>

#include "SupportDefs.h"

// A byte string that is always NUL-terminated. Lengths and offsets count
// bytes; case mapping touches only the ASCII letters.
class BString
{
public:
    BString() = default;
    BString(const char* string);
    BString(const char* string, int32 maxLength);
    BString(const BString& other) = default;
    BString(BString&& other) noexcept = default;
    ~BString() = default;

    const char* String() const { return fData.c_str(); }
    int32 Length() const { return int32(fData.size()); }
    int32 CountChars() const; // UTF-8 characters
    bool IsEmpty() const { return fData.empty(); }

    BString& operator=(const BString& other) = default;
    BString& operator=(BString&& other) noexcept = default;
    BString& operator=(const char* string);
    BString& operator=(char c);
    BString& SetTo(const char* string);
    BString& SetTo(const char* string, int32 maxLength);
    BString& SetTo(char c, int32 count);
    BString& Adopt(BString& from);

    BString& operator+=(const BString& string) { return Append(string); }
    BString& operator+=(const char* string) { return Append(string); }
    BString& operator+=(char c);
    BString& Append(const BString& string);
    BString& Append(const char* string);
    BString& Append(const char* string, int32 length);
    BString& Append(char c, int32 count);
    BString& Prepend(const char* string);
    BString& Prepend(const BString& string);
    BString& Insert(const char* string, int32 position);
    BString& Insert(char c, int32 count, int32 position);

    BString& Truncate(int32 newLength, bool lazy = true);
    BString& Remove(int32 from, int32 length);
    BString& RemoveFirst(const char* string);
    BString& RemoveAll(const char* string);
    BString& RemoveSet(const char* setOfCharsToRemove);
    BString& MoveInto(BString& into, int32 from, int32 length);
    void CopyInto(char* into, int32 from, int32 length) const;
    BString& CopyInto(BString& into, int32 from, int32 length) const;

    BString& ReplaceFirst(const char* replaceThis, const char* withThis);
    BString& ReplaceAll(const char* replaceThis, const char* withThis, int32 fromOffset = 0);
    BString& ReplaceAll(char replaceThis, char withThis, int32 fromOffset = 0);

    int32 FindFirst(const char* string, int32 fromOffset = 0) const;
    int32 FindFirst(char c, int32 fromOffset = 0) const;
    int32 FindLast(const char* string) const;
    int32 FindLast(char c) const;
    int32 IFindFirst(const char* string, int32 fromOffset = 0) const;

    int Compare(const char* string) const;
    int Compare(const char* string, int32 length) const;
    int ICompare(const char* string) const;
    int ICompare(const char* string, int32 length) const;

    BString& ToLower();
    BString& ToUpper();
    BString& Capitalize();
    BString& CapitalizeEachWord();

    BString& operator<<(const char* string) { return Append(string); }
    BString& operator<<(const BString& string) { return Append(string); }
    BString& operator<<(char c);
    BString& operator<<(int32 value);
    BString& operator<<(uint32 value);
    BString& operator<<(int64 value);
    BString& operator<<(uint64 value);
    BString& operator<<(float value);

    char operator[](int32 index) const { return fData[size_t(index)]; }
    char ByteAt(int32 index) const;

    bool operator==(const BString& other) const { return fData == other.fData; }
    bool operator!=(const BString& other) const { return fData != other.fData; }
    bool operator<(const BString& other) const { return fData < other.fData; }
    bool operator==(const char* other) const { return Compare(other) == 0; }
    bool operator!=(const char* other) const { return Compare(other) != 0; }

private:
    std::string fData;
};

int Compare(const BString& a, const BString& b);
int ICompare(const BString& a, const BString& b);
