#pragma once

// A message: a 32-bit command code `what` and named, typed fields. A name
// holds one or more values of one type, read back by index in the order
// they were added.
//
// Flattened form (all integers little-endian):
//
//   message := magic:u32 ("PLM1" = 0x504C4D31)  size:u32  what:u32  fieldCount:u32  field*
//   field   := type:u32  flags:u8  nameLength:u16  name[nameLength]  count:u32  value*
//   value   := size:u32  bytes[size]
//
// size counts every byte of the message, header included, so a reader
// knows how much to expect before it allocates. flags bit 0 marks a fixed-size field (every value
// the same size); the other bits are zero. Names are 1 to 255 bytes without NUL and unique within a
// message; count is at least 1. A value of a known scalar type has that type's size; a string ends
// in its NUL; a nested message is itself a flattened message. Unflatten checks every length and
// count against the bytes that remain, so hostile input is refused with B_BAD_DATA without reading
// past it or allocating more than it holds, and nesting deeper than B_MESSAGE_MAX_DEPTH is refused
// too. Whatever Unflatten accepts flattens back to the same bytes.

#include <atomic>
#include <string>

#include "DataIO.h"
#include "Point.h"
#include "Rect.h"
#include "String.h"
#include "SupportDefs.h"

class BMessenger;

enum { B_MESSAGE_MAX_DEPTH = 32, B_FIELD_NAME_LENGTH = 255 };

// Offsets within a record of a message's block (see BMessage's fields).
namespace message_layout
{
enum : size_t {
    kRecordSize = 0,
    kRecordType = 4,
    kRecordCount = 8,
    kRecordFixed = 12,
    kRecordNameLength = 13,
    kRecordName = 14
};

// Size of a value of the type, or 0 for types of any size.
constexpr size_t fixed_type_size(type_code type)
{
    switch (type) {
    case B_BOOL_TYPE:
    case B_CHAR_TYPE:
    case B_INT8_TYPE:
    case B_UINT8_TYPE:
        return 1;
    case B_INT16_TYPE:
    case B_UINT16_TYPE:
        return 2;
    case B_INT32_TYPE:
    case B_UINT32_TYPE:
    case B_FLOAT_TYPE:
    case B_RGB_COLOR_TYPE:
        return 4;
    case B_INT64_TYPE:
    case B_UINT64_TYPE:
    case B_DOUBLE_TYPE:
    case B_POINTER_TYPE:
    case B_POINT_TYPE:
        return 8;
    case B_RECT_TYPE:
        return 16;
    default:
        return 0;
    }
}
} // namespace message_layout

class BMessage
{
public:
    uint32 what;

    BMessage();
    explicit BMessage(uint32 what);
    BMessage(const BMessage& other);
    virtual ~BMessage();
    BMessage& operator=(const BMessage& other);
    BMessage(BMessage&& other) noexcept;
    BMessage& operator=(BMessage&& other) noexcept;

    // Field information.
    status_t GetInfo(type_code typeRequested, int32 index, const char** nameFound,
                     type_code* typeFound, int32* countFound = nullptr) const;
    status_t GetInfo(const char* name, type_code* typeFound, int32* countFound = nullptr) const;
    status_t GetInfo(const char* name, type_code* typeFound, bool* fixedSize) const;
    int32 CountNames(type_code type) const;
    bool IsEmpty() const { return fCount == 0; }
    status_t MakeEmpty();
    status_t Rename(const char* oldName, const char* newName);
    void PrintToStream() const;

    // Flattening.
    ssize_t FlattenedSize() const;
    status_t Flatten(char* buffer, ssize_t size) const;
    status_t Flatten(BDataIO* stream, ssize_t* size = nullptr) const;
    status_t Unflatten(const char* flatBuffer, ssize_t size);
    status_t Unflatten(BDataIO* stream);

    // Adding.
    status_t AddRect(const char* name, BRect rect);
    status_t AddPoint(const char* name, BPoint point);
    status_t AddString(const char* name, const char* string);
    status_t AddString(const char* name, const BString& string);
    status_t AddInt8(const char* name, int8 value);
    status_t AddUInt8(const char* name, uint8 value);
    status_t AddInt16(const char* name, int16 value);
    status_t AddUInt16(const char* name, uint16 value);
    status_t AddInt32(const char* name, int32 value);
    status_t AddUInt32(const char* name, uint32 value);
    status_t AddInt64(const char* name, int64 value);
    status_t AddUInt64(const char* name, uint64 value);
    status_t AddBool(const char* name, bool value);
    status_t AddFloat(const char* name, float value);
    status_t AddDouble(const char* name, double value);
    status_t AddPointer(const char* name, const void* pointer);
    status_t AddMessage(const char* name, const BMessage* message);
    __attribute__((always_inline)) status_t AddData(const char* name, type_code type,
                                                    const void* data, ssize_t numBytes,
                                                    bool isFixedSize = true, int32 /*count*/ = 1)
    {
        // A new string or number field with room at the end is most of
        // what is added (every line a server sends becomes a few): inline,
        // so that a literal name is measured and copied at compile time.
        if (AppendNew(name, type, data, numBytes, isFixedSize))
            return B_OK;
        return AddDataInAnyCase(name, type, data, numBytes, isFixedSize);
    }

    // Removing.
    status_t RemoveData(const char* name, int32 index = 0);
    status_t RemoveName(const char* name);

    // Finding: B_NAME_NOT_FOUND when absent, B_BAD_TYPE when of another
    // type, B_BAD_INDEX past the last value. The output is untouched then.
    status_t FindRect(const char* name, BRect* rect) const;
    status_t FindRect(const char* name, int32 index, BRect* rect) const;
    status_t FindPoint(const char* name, BPoint* point) const;
    status_t FindPoint(const char* name, int32 index, BPoint* point) const;
    status_t FindString(const char* name, const char** string) const;
    status_t FindString(const char* name, int32 index, const char** string) const;
    status_t FindString(const char* name, BString* string) const;
    status_t FindString(const char* name, int32 index, BString* string) const;
    status_t FindInt8(const char* name, int8* value) const;
    status_t FindInt8(const char* name, int32 index, int8* value) const;
    status_t FindUInt8(const char* name, uint8* value) const;
    status_t FindUInt8(const char* name, int32 index, uint8* value) const;
    status_t FindInt16(const char* name, int16* value) const;
    status_t FindInt16(const char* name, int32 index, int16* value) const;
    status_t FindUInt16(const char* name, uint16* value) const;
    status_t FindUInt16(const char* name, int32 index, uint16* value) const;
    status_t FindInt32(const char* name, int32* value) const;
    status_t FindInt32(const char* name, int32 index, int32* value) const;
    status_t FindUInt32(const char* name, uint32* value) const;
    status_t FindUInt32(const char* name, int32 index, uint32* value) const;
    status_t FindInt64(const char* name, int64* value) const;
    status_t FindInt64(const char* name, int32 index, int64* value) const;
    status_t FindUInt64(const char* name, uint64* value) const;
    status_t FindUInt64(const char* name, int32 index, uint64* value) const;
    status_t FindBool(const char* name, bool* value) const;
    status_t FindBool(const char* name, int32 index, bool* value) const;
    status_t FindFloat(const char* name, float* value) const;
    status_t FindFloat(const char* name, int32 index, float* value) const;
    status_t FindDouble(const char* name, double* value) const;
    status_t FindDouble(const char* name, int32 index, double* value) const;
    status_t FindPointer(const char* name, void** pointer) const;
    status_t FindPointer(const char* name, int32 index, void** pointer) const;
    status_t FindMessage(const char* name, BMessage* message) const;
    status_t FindMessage(const char* name, int32 index, BMessage* message) const;
    // B_ANY_TYPE matches a field of any type.
    status_t FindData(const char* name, type_code type, const void** data, ssize_t* numBytes) const;
    status_t FindData(const char* name, type_code type, int32 index, const void** data,
                      ssize_t* numBytes) const;

    // Replacing: fails as Find does; never adds.
    status_t ReplaceRect(const char* name, BRect rect);
    status_t ReplaceRect(const char* name, int32 index, BRect rect);
    status_t ReplacePoint(const char* name, BPoint point);
    status_t ReplacePoint(const char* name, int32 index, BPoint point);
    status_t ReplaceString(const char* name, const char* string);
    status_t ReplaceString(const char* name, int32 index, const char* string);
    status_t ReplaceString(const char* name, const BString& string);
    status_t ReplaceString(const char* name, int32 index, const BString& string);
    status_t ReplaceInt8(const char* name, int8 value);
    status_t ReplaceInt8(const char* name, int32 index, int8 value);
    status_t ReplaceUInt8(const char* name, uint8 value);
    status_t ReplaceInt16(const char* name, int16 value);
    status_t ReplaceInt16(const char* name, int32 index, int16 value);
    status_t ReplaceUInt16(const char* name, uint16 value);
    status_t ReplaceInt32(const char* name, int32 value);
    status_t ReplaceInt32(const char* name, int32 index, int32 value);
    status_t ReplaceUInt32(const char* name, uint32 value);
    status_t ReplaceInt64(const char* name, int64 value);
    status_t ReplaceInt64(const char* name, int32 index, int64 value);
    status_t ReplaceUInt64(const char* name, uint64 value);
    status_t ReplaceBool(const char* name, bool value);
    status_t ReplaceBool(const char* name, int32 index, bool value);
    status_t ReplaceFloat(const char* name, float value);
    status_t ReplaceFloat(const char* name, int32 index, float value);
    status_t ReplaceDouble(const char* name, double value);
    status_t ReplaceDouble(const char* name, int32 index, double value);
    status_t ReplacePointer(const char* name, const void* pointer);
    status_t ReplacePointer(const char* name, int32 index, const void* pointer);
    status_t ReplaceMessage(const char* name, const BMessage* message);
    status_t ReplaceMessage(const char* name, int32 index, const BMessage* message);
    status_t ReplaceData(const char* name, type_code type, const void* data, ssize_t numBytes);
    status_t ReplaceData(const char* name, type_code type, int32 index, const void* data,
                         ssize_t numBytes);

    // Presence of a value of that type at that index.
    bool HasRect(const char* name, int32 index = 0) const;
    bool HasPoint(const char* name, int32 index = 0) const;
    bool HasString(const char* name, int32 index = 0) const;
    bool HasInt8(const char* name, int32 index = 0) const;
    bool HasUInt8(const char* name, int32 index = 0) const;
    bool HasInt16(const char* name, int32 index = 0) const;
    bool HasUInt16(const char* name, int32 index = 0) const;
    bool HasInt32(const char* name, int32 index = 0) const;
    bool HasUInt32(const char* name, int32 index = 0) const;
    bool HasInt64(const char* name, int32 index = 0) const;
    bool HasUInt64(const char* name, int32 index = 0) const;
    bool HasBool(const char* name, int32 index = 0) const;
    bool HasFloat(const char* name, int32 index = 0) const;
    bool HasDouble(const char* name, int32 index = 0) const;
    bool HasPointer(const char* name, int32 index = 0) const;
    bool HasMessage(const char* name, int32 index = 0) const;
    bool HasData(const char* name, type_code type, int32 index = 0) const;

    // Read with a fallback when the value is absent or of another type.
    const char* GetString(const char* name, const char* defaultValue = nullptr) const;
    int32 GetInt32(const char* name, int32 defaultValue) const;
    bool GetBool(const char* name, bool defaultValue = false) const;

    // Counts changes to the fields. It may be read from any thread while
    // another changes the message under a lock: a reader that keeps a value
    // taken from the message need only lock and read again once the count
    // moved.
    uint32 ChangeCount() const { return fChanges.load(std::memory_order_acquire); }

private:
    // The fields live in one block, one record after another, in the order
    // they were added (host byte order, unaligned):
    //   recordSize:u32 type:u32 count:u32 fixedSize:u8 nameLength:u8 name NUL (size:u32 bytes)*
    // A message of a few short fields fits the inline block, so building,
    // copying and posting one allocates nothing for its fields.
    enum { kInlineBytes = 256 };

    size_t FindRecord(const char* name, size_t nameLength) const;
    size_t FindRecord(const char* name) const;
    status_t FindValue(const char* name, type_code type, int32 index, const char** data,
                       size_t* size) const;
    status_t FindFixed(const char* name, type_code type, int32 index, void* out, size_t size) const;
    status_t ReplaceValue(const char* name, type_code type, int32 index, const void* data,
                          size_t size);
    bool Owns(const void* pointer) const
    {
        const char* p = static_cast<const char*>(pointer);
        return p != nullptr && p >= fData && p < fData + fCapacity;
    }
    __attribute__((always_inline)) inline bool AppendNew(const char* name, type_code type,
                                                         const void* data, ssize_t numBytes,
                                                         bool isFixedSize);
    static void CopyName(char* to, const char* name, size_t length);
    status_t AddDataInAnyCase(const char* name, type_code type, const void* data, ssize_t numBytes,
                              bool isFixedSize);
    char* Splice(size_t at, size_t remove, size_t insert);
    char* AppendRecord(type_code type, bool fixedSize, const char* name, size_t nameLength,
                       uint32 count, size_t valuesSize);
    void Release();

    void FlattenInto(std::string& out) const;
    status_t UnflattenFrom(const uint8* data, size_t size, size_t* used, int depth);
    void PrintFields(int indent) const;

    void Changed()
    {
        fChanges.store(fChanges.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    std::atomic<uint32> fChanges{0};
    char* fData;
    size_t fSize;
    size_t fCapacity;
    int32 fCount;
    char fInline[kInlineBytes];
};

// Adds a string or fixed-size field the message does not have yet, when the
// block has room for it at its end and neither name nor value lies within
// it; false, having changed nothing, in every other case.
inline bool BMessage::AppendNew(const char* name, type_code type, const void* data,
                                ssize_t numBytes, bool isFixedSize)
{
    using namespace message_layout;
    if (name == nullptr || data == nullptr || numBytes <= 0)
        return false;
    const size_t nameLength = __builtin_strlen(name);
    const size_t size = size_t(numBytes);
    if (nameLength == 0 || nameLength > B_FIELD_NAME_LENGTH)
        return false;
    if (type == B_STRING_TYPE ? static_cast<const char*>(data)[size - 1] != '\0'
                              : fixed_type_size(type) != size)
        return false;
    const size_t recordSize = kRecordName + nameLength + 1 + 4 + size;
    if (fCapacity - fSize < recordSize || Owns(name) || Owns(data))
        return false;
    for (size_t at = 0; at < fSize;) {
        const char* record = fData + at;
        if (uint8(record[kRecordNameLength]) == nameLength && record[kRecordName] == name[0] &&
            __builtin_memcmp(record + kRecordName, name, nameLength) == 0)
            return false;
        uint32 next;
        __builtin_memcpy(&next, record + kRecordSize, 4);
        at += next;
    }
    Changed();
    char* record = fData + fSize;
    // One store per word: built in an array first, the header is read back
    // across stores of different widths, which stalls.
    const uint32 words[3] = {uint32(recordSize), type, 1};
    __builtin_memcpy(record + kRecordSize, &words[0], 4);
    __builtin_memcpy(record + kRecordType, &words[1], 4);
    __builtin_memcpy(record + kRecordCount, &words[2], 4);
    record[kRecordFixed] = isFixedSize ? 1 : 0;
    record[kRecordNameLength] = char(nameLength);
    // A literal name is copied in a few moves; any other by the library
    // (inline, a copy of unknown length becomes a slow string instruction).
    if (__builtin_constant_p(nameLength))
        __builtin_memcpy(record + kRecordName, name, nameLength + 1);
    else
        CopyName(record + kRecordName, name, nameLength + 1);
    char* value = record + kRecordName + nameLength + 1;
    const uint32 valueSize = uint32(size);
    __builtin_memcpy(value, &valueSize, 4);
    __builtin_memcpy(value + 4, data, size);
    fSize += recordSize;
    fCount++;
    return true;
}
