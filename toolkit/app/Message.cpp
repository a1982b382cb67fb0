#include "Message.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace
{

using namespace message_layout;

const uint32 kMagic = 0x504C4D31; // "PLM1"
const size_t kHeaderSize = 16;
const size_t kMinFieldSize = 4 + 1 + 2 + 1 + 4 + 4; // one-byte name, one empty value
// Largest message a stream may announce; the reader still allocates only
// what actually arrives.
const uint32 kMaxStreamSize = 256u * 1024 * 1024;

// Length of a field name, up to one past the longest allowed (0 for null).
// Names are short: a plain loop beats a library call.
size_t name_length(const char* name)
{
    size_t length = 0;
    if (name != nullptr) {
        while (length <= B_FIELD_NAME_LENGTH && name[length] != '\0')
            length++;
    }
    return length;
}

bool valid_name(const char* name)
{
    size_t length = name_length(name);
    return length > 0 && length <= B_FIELD_NAME_LENGTH;
}

void put32(std::string& out, uint32 value)
{
    char bytes[4] = {char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
    out.append(bytes, 4);
}

uint32 get32(const uint8* p)
{
    return uint32(p[0]) | uint32(p[1]) << 8 | uint32(p[2]) << 16 | uint32(p[3]) << 24;
}

// Checks the bytes of a value against what its type requires.
bool valid_value(type_code type, const uint8* data, size_t size, int depth)
{
    size_t fixed = fixed_type_size(type);
    if (fixed != 0)
        return size == fixed;
    if (type == B_STRING_TYPE)
        return size >= 1 && data[size - 1] == '\0';
    if (type == B_MESSAGE_TYPE) {
        BMessage nested;
        return nested.Unflatten(reinterpret_cast<const char*>(data), ssize_t(size)) == B_OK &&
               depth < B_MESSAGE_MAX_DEPTH;
    }
    return true;
}

std::string type_name(type_code type)
{
    std::string name;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = char(type >> shift);
        name += isprint(uint8(c)) ? c : '?';
    }
    return name;
}

std::string what_text(uint32 what)
{
    bool printable = what != 0;
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        uint8 c = uint8(what >> shift);
        if (c == 0 && text.empty())
            continue;
        if (!isprint(c))
            printable = false;
        text += char(c);
    }
    char buffer[64];
    if (printable)
        snprintf(buffer, sizeof(buffer), "'%s' (0x%08x)", text.c_str(), what);
    else
        snprintf(buffer, sizeof(buffer), "0x%08x", what);
    return buffer;
}

const size_t kNone = size_t(-1);
// The block never grows past what a flattened message can announce.
const size_t kMaxBlock = 0xFFFFFFFFu - kHeaderSize;

uint32 load32(const char* p)
{
    uint32 value;
    memcpy(&value, p, 4);
    return value;
}

void store32(char* p, uint32 value)
{
    memcpy(p, &value, 4);
}

void add32(char* p, int64 delta)
{
    store32(p, uint32(int64(load32(p)) + delta));
}

size_t values_offset(const char* record)
{
    return kRecordName + uint8(record[kRecordNameLength]) + 1;
}

} // namespace

BMessage::BMessage() : what(0), fData(fInline), fSize(0), fCapacity(kInlineBytes), fCount(0) {}

BMessage::BMessage(uint32 command)
    : what(command), fData(fInline), fSize(0), fCapacity(kInlineBytes), fCount(0)
{
}

BMessage::BMessage(const BMessage& other) : BMessage(other.what)
{
    *this = other;
}

BMessage::BMessage(BMessage&& other) noexcept : BMessage(other.what)
{
    *this = std::move(other);
}

BMessage::~BMessage()
{
    Release();
}

void BMessage::Release()
{
    if (fData != fInline)
        free(fData);
    fData = fInline;
    fCapacity = kInlineBytes;
    fSize = 0;
    fCount = 0;
}

BMessage& BMessage::operator=(const BMessage& other)
{
    if (this == &other)
        return *this;
    Changed();
    what = other.what;
    if (other.fSize > fCapacity) {
        char* data = static_cast<char*>(malloc(other.fSize));
        if (data == nullptr)
            throw std::bad_alloc();
        Release();
        fData = data;
        fCapacity = other.fSize;
    }
    if (other.fSize > 0)
        memcpy(fData, other.fData, other.fSize);
    fSize = other.fSize;
    fCount = other.fCount;
    return *this;
}

BMessage& BMessage::operator=(BMessage&& other) noexcept
{
    if (this == &other)
        return *this;
    Changed();
    what = other.what;
    Release();
    if (other.fData != other.fInline) {
        fData = other.fData;
        fCapacity = other.fCapacity;
        other.fData = other.fInline;
        other.fCapacity = kInlineBytes;
    } else if (other.fSize > 0) {
        memcpy(fData, other.fData, other.fSize);
    }
    fSize = other.fSize;
    fCount = other.fCount;
    other.Changed();
    other.fSize = 0;
    other.fCount = 0;
    return *this;
}

// Replaces `remove` bytes at `at` with room for `insert` bytes and returns
// where they go; what follows moves along.
char* BMessage::Splice(size_t at, size_t remove, size_t insert)
{
    Changed();
    size_t size = fSize - remove + insert;
    if (size > fCapacity) {
        size_t capacity = std::max(size, std::min(fCapacity * 2, kMaxBlock));
        char* data = static_cast<char*>(malloc(capacity));
        if (data == nullptr)
            throw std::bad_alloc();
        memcpy(data, fData, at);
        memcpy(data + at + insert, fData + at + remove, fSize - at - remove);
        if (fData != fInline)
            free(fData);
        fData = data;
        fCapacity = capacity;
    } else if (remove != insert && at + remove < fSize) {
        memmove(fData + at + insert, fData + at + remove, fSize - at - remove);
    }
    fSize = size;
    return fData + at;
}

// Adds a record and returns where its `valuesSize` bytes of values go.
char* BMessage::AppendRecord(type_code type, bool fixedSize, const char* name, size_t nameLength,
                             uint32 count, size_t valuesSize)
{
    size_t recordSize = kRecordName + nameLength + 1 + valuesSize;
    char* record;
    if (fCapacity - fSize >= recordSize) { // the usual case: room at the end
        Changed();
        record = fData + fSize;
        fSize += recordSize;
    } else {
        record = Splice(fSize, 0, recordSize);
    }
    store32(record + kRecordSize, uint32(recordSize));
    store32(record + kRecordType, type);
    store32(record + kRecordCount, count);
    record[kRecordFixed] = fixedSize ? 1 : 0;
    record[kRecordNameLength] = char(nameLength);
    memcpy(record + kRecordName, name, nameLength);
    record[kRecordName + nameLength] = '\0';
    fCount++;
    return record + kRecordName + nameLength + 1;
}

size_t BMessage::FindRecord(const char* name, size_t nameLength) const
{
    for (size_t at = 0; at < fSize; at += load32(fData + at + kRecordSize)) {
        const char* record = fData + at;
        // Length and first letter tell most names apart without a call.
        if (uint8(record[kRecordNameLength]) == nameLength && record[kRecordName] == name[0] &&
            memcmp(record + kRecordName, name, nameLength) == 0)
            return at;
    }
    return kNone;
}

size_t BMessage::FindRecord(const char* name) const
{
    size_t length = name_length(name);
    if (length == 0 || length > B_FIELD_NAME_LENGTH)
        return kNone;
    return FindRecord(name, length);
}

status_t BMessage::GetInfo(type_code typeRequested, int32 index, const char** nameFound,
                           type_code* typeFound, int32* countFound) const
{
    if (index < 0)
        return B_BAD_INDEX;
    int32 seen = 0;
    for (size_t at = 0; at < fSize; at += load32(fData + at + kRecordSize)) {
        const char* record = fData + at;
        type_code type = load32(record + kRecordType);
        if (typeRequested != B_ANY_TYPE && type != typeRequested)
            continue;
        if (seen++ != index)
            continue;
        if (nameFound != nullptr)
            *nameFound = record + kRecordName;
        if (typeFound != nullptr)
            *typeFound = type;
        if (countFound != nullptr)
            *countFound = int32(load32(record + kRecordCount));
        return B_OK;
    }
    return seen == 0 ? B_BAD_TYPE : B_BAD_INDEX;
}

status_t BMessage::GetInfo(const char* name, type_code* typeFound, int32* countFound) const
{
    size_t at = FindRecord(name);
    if (at == kNone)
        return B_NAME_NOT_FOUND;
    if (typeFound != nullptr)
        *typeFound = load32(fData + at + kRecordType);
    if (countFound != nullptr)
        *countFound = int32(load32(fData + at + kRecordCount));
    return B_OK;
}

status_t BMessage::GetInfo(const char* name, type_code* typeFound, bool* fixedSize) const
{
    size_t at = FindRecord(name);
    if (at == kNone)
        return B_NAME_NOT_FOUND;
    if (typeFound != nullptr)
        *typeFound = load32(fData + at + kRecordType);
    if (fixedSize != nullptr)
        *fixedSize = fData[at + kRecordFixed] != 0;
    return B_OK;
}

int32 BMessage::CountNames(type_code type) const
{
    if (type == B_ANY_TYPE)
        return fCount;
    int32 count = 0;
    for (size_t at = 0; at < fSize; at += load32(fData + at + kRecordSize)) {
        if (load32(fData + at + kRecordType) == type)
            count++;
    }
    return count;
}

status_t BMessage::MakeEmpty()
{
    // Keeps the block: a message refilled line after line allocates once.
    Changed();
    fSize = 0;
    fCount = 0;
    return B_OK;
}

status_t BMessage::Rename(const char* oldName, const char* newName)
{
    if (!valid_name(newName))
        return B_BAD_VALUE;
    size_t at = FindRecord(oldName);
    if (at == kNone)
        return B_NAME_NOT_FOUND;
    if (strcmp(oldName, newName) == 0)
        return B_OK;
    if (FindRecord(newName) != kNone)
        return B_NAME_IN_USE;
    // The new name may be one of this message's own strings.
    char name[B_FIELD_NAME_LENGTH + 1];
    size_t length = strlen(newName);
    memcpy(name, newName, length + 1);
    size_t oldLength = uint8(fData[at + kRecordNameLength]);
    char* where = Splice(at + kRecordName, oldLength, length);
    memcpy(where, name, length);
    fData[at + kRecordNameLength] = char(length);
    add32(fData + at + kRecordSize, int64(length) - int64(oldLength));
    return B_OK;
}

// -- adding, removing ---------------------------------------------------------

void BMessage::CopyName(char* to, const char* name, size_t length)
{
    memcpy(to, name, length);
}

status_t BMessage::AddDataInAnyCase(const char* name, type_code type, const void* data,
                                    ssize_t numBytes, bool isFixedSize)
{
    size_t nameLength = name_length(name);
    if (nameLength == 0 || nameLength > B_FIELD_NAME_LENGTH || numBytes < 0 ||
        (data == nullptr && numBytes > 0) || uint64(numBytes) > 0xFFFFFFFFu)
        return B_BAD_VALUE;
    const uint8* bytes = static_cast<const uint8*>(data);
    size_t size = size_t(numBytes);
    if (!valid_value(type, bytes, size, 0))
        return B_BAD_VALUE;
    if (kMaxBlock - fSize < kRecordName + nameLength + 1 + 4 + size)
        return B_NO_MEMORY;
    if (Owns(name) || Owns(data)) {
        // Growing the block would move what is being added.
        std::string nameCopy(name);
        std::string valueCopy(static_cast<const char*>(data), size);
        return AddDataInAnyCase(nameCopy.c_str(), type, valueCopy.data(), numBytes, isFixedSize);
    }

    size_t at = FindRecord(name, nameLength);
    if (at != kNone) {
        const char* record = fData + at;
        if (load32(record + kRecordType) != type)
            return B_BAD_TYPE;
        if (record[kRecordFixed] != 0 && load32(record + values_offset(record)) != size)
            return B_BAD_VALUE;
        size_t recordSize = load32(record + kRecordSize);
        char* value = Splice(at + recordSize, 0, 4 + size);
        store32(value, uint32(size));
        if (size > 0)
            memcpy(value + 4, data, size);
        add32(fData + at + kRecordSize, int64(4 + size));
        add32(fData + at + kRecordCount, 1);
        return B_OK;
    }
    char* value = AppendRecord(type, isFixedSize, name, nameLength, 1, 4 + size);
    store32(value, uint32(size));
    if (size > 0)
        memcpy(value + 4, data, size);
    return B_OK;
}

status_t BMessage::AddRect(const char* name, BRect rect)
{
    float values[4] = {rect.left, rect.top, rect.right, rect.bottom};
    return AddData(name, B_RECT_TYPE, values, sizeof(values));
}

status_t BMessage::AddPoint(const char* name, BPoint point)
{
    float values[2] = {point.x, point.y};
    return AddData(name, B_POINT_TYPE, values, sizeof(values));
}

status_t BMessage::AddString(const char* name, const char* string)
{
    if (string == nullptr)
        return B_BAD_VALUE;
    return AddData(name, B_STRING_TYPE, string, ssize_t(strlen(string) + 1), false);
}

status_t BMessage::AddString(const char* name, const BString& string)
{
    return AddString(name, string.String());
}

status_t BMessage::AddInt8(const char* name, int8 value)
{
    return AddData(name, B_INT8_TYPE, &value, sizeof(value));
}

status_t BMessage::AddUInt8(const char* name, uint8 value)
{
    return AddData(name, B_UINT8_TYPE, &value, sizeof(value));
}

status_t BMessage::AddInt16(const char* name, int16 value)
{
    return AddData(name, B_INT16_TYPE, &value, sizeof(value));
}

status_t BMessage::AddUInt16(const char* name, uint16 value)
{
    return AddData(name, B_UINT16_TYPE, &value, sizeof(value));
}

status_t BMessage::AddInt32(const char* name, int32 value)
{
    return AddData(name, B_INT32_TYPE, &value, sizeof(value));
}

status_t BMessage::AddUInt32(const char* name, uint32 value)
{
    return AddData(name, B_UINT32_TYPE, &value, sizeof(value));
}

status_t BMessage::AddInt64(const char* name, int64 value)
{
    return AddData(name, B_INT64_TYPE, &value, sizeof(value));
}

status_t BMessage::AddUInt64(const char* name, uint64 value)
{
    return AddData(name, B_UINT64_TYPE, &value, sizeof(value));
}

status_t BMessage::AddBool(const char* name, bool value)
{
    uint8 byte = value ? 1 : 0;
    return AddData(name, B_BOOL_TYPE, &byte, 1);
}

status_t BMessage::AddFloat(const char* name, float value)
{
    return AddData(name, B_FLOAT_TYPE, &value, sizeof(value));
}

status_t BMessage::AddDouble(const char* name, double value)
{
    return AddData(name, B_DOUBLE_TYPE, &value, sizeof(value));
}

status_t BMessage::AddPointer(const char* name, const void* pointer)
{
    uint64 value = uint64(reinterpret_cast<uintptr_t>(pointer));
    return AddData(name, B_POINTER_TYPE, &value, sizeof(value));
}

status_t BMessage::AddMessage(const char* name, const BMessage* message)
{
    if (message == nullptr)
        return B_BAD_VALUE;
    std::string flat;
    message->FlattenInto(flat);
    return AddData(name, B_MESSAGE_TYPE, flat.data(), ssize_t(flat.size()), false);
}

status_t BMessage::RemoveData(const char* name, int32 index)
{
    const char* data;
    size_t size;
    size_t at = FindRecord(name);
    if (at == kNone)
        return B_NAME_NOT_FOUND;
    status_t status = FindValue(name, B_ANY_TYPE, index, &data, &size);
    if (status != B_OK)
        return status;
    if (load32(fData + at + kRecordCount) == 1)
        return RemoveName(name);
    size_t value = size_t(data - fData) - 4;
    Splice(value, 4 + size, 0);
    add32(fData + at + kRecordSize, -int64(4 + size));
    add32(fData + at + kRecordCount, -1);
    return B_OK;
}

status_t BMessage::RemoveName(const char* name)
{
    size_t at = FindRecord(name);
    if (at == kNone)
        return B_NAME_NOT_FOUND;
    Splice(at, load32(fData + at + kRecordSize), 0);
    fCount--;
    return B_OK;
}

// -- finding ------------------------------------------------------------------

status_t BMessage::FindValue(const char* name, type_code type, int32 index, const char** data,
                             size_t* size) const
{
    size_t at = FindRecord(name);
    if (at == kNone)
        return B_NAME_NOT_FOUND;
    const char* record = fData + at;
    if (type != B_ANY_TYPE && load32(record + kRecordType) != type)
        return B_BAD_TYPE;
    if (index < 0 || uint32(index) >= load32(record + kRecordCount))
        return B_BAD_INDEX;
    const char* value = record + values_offset(record);
    for (int32 i = 0; i < index; i++)
        value += 4 + load32(value);
    *data = value + 4;
    *size = load32(value);
    return B_OK;
}

status_t BMessage::FindFixed(const char* name, type_code type, int32 index, void* out,
                             size_t size) const
{
    const char* data;
    size_t found;
    status_t status = FindValue(name, type, index, &data, &found);
    if (status != B_OK)
        return status;
    if (out == nullptr)
        return B_BAD_VALUE;
    memcpy(out, data, std::min(size, found));
    return B_OK;
}

status_t BMessage::FindData(const char* name, type_code type, const void** data,
                            ssize_t* numBytes) const
{
    return FindData(name, type, 0, data, numBytes);
}

status_t BMessage::FindData(const char* name, type_code type, int32 index, const void** data,
                            ssize_t* numBytes) const
{
    const char* value;
    size_t size;
    status_t status = FindValue(name, type, index, &value, &size);
    if (status != B_OK)
        return status;
    if (data != nullptr)
        *data = value;
    if (numBytes != nullptr)
        *numBytes = ssize_t(size);
    return B_OK;
}

status_t BMessage::FindRect(const char* name, BRect* rect) const
{
    return FindRect(name, 0, rect);
}

status_t BMessage::FindRect(const char* name, int32 index, BRect* rect) const
{
    float values[4];
    status_t status = FindFixed(name, B_RECT_TYPE, index, values, sizeof(values));
    if (status == B_OK && rect != nullptr)
        rect->Set(values[0], values[1], values[2], values[3]);
    return rect == nullptr && status == B_OK ? B_BAD_VALUE : status;
}

status_t BMessage::FindPoint(const char* name, BPoint* point) const
{
    return FindPoint(name, 0, point);
}

status_t BMessage::FindPoint(const char* name, int32 index, BPoint* point) const
{
    float values[2];
    status_t status = FindFixed(name, B_POINT_TYPE, index, values, sizeof(values));
    if (status == B_OK && point != nullptr)
        point->Set(values[0], values[1]);
    return point == nullptr && status == B_OK ? B_BAD_VALUE : status;
}

status_t BMessage::FindString(const char* name, const char** string) const
{
    return FindString(name, 0, string);
}

status_t BMessage::FindString(const char* name, int32 index, const char** string) const
{
    const char* value;
    size_t size;
    status_t status = FindValue(name, B_STRING_TYPE, index, &value, &size);
    if (status != B_OK)
        return status;
    if (string == nullptr)
        return B_BAD_VALUE;
    *string = value;
    return B_OK;
}

status_t BMessage::FindString(const char* name, BString* string) const
{
    return FindString(name, 0, string);
}

status_t BMessage::FindString(const char* name, int32 index, BString* string) const
{
    const char* text;
    status_t status = FindString(name, index, &text);
    if (status != B_OK)
        return status;
    if (string == nullptr)
        return B_BAD_VALUE;
    string->SetTo(text);
    return B_OK;
}

#define PELMOR_FIND_SCALAR(Name, Type, Code)                                                       \
    status_t BMessage::Find##Name(const char* name, Type* value) const                             \
    {                                                                                              \
        return FindFixed(name, Code, 0, value, sizeof(Type));                                      \
    }                                                                                              \
    status_t BMessage::Find##Name(const char* name, int32 index, Type* value) const                \
    {                                                                                              \
        return FindFixed(name, Code, index, value, sizeof(Type));                                  \
    }

PELMOR_FIND_SCALAR(Int8, int8, B_INT8_TYPE)
PELMOR_FIND_SCALAR(UInt8, uint8, B_UINT8_TYPE)
PELMOR_FIND_SCALAR(Int16, int16, B_INT16_TYPE)
PELMOR_FIND_SCALAR(UInt16, uint16, B_UINT16_TYPE)
PELMOR_FIND_SCALAR(Int32, int32, B_INT32_TYPE)
PELMOR_FIND_SCALAR(UInt32, uint32, B_UINT32_TYPE)
PELMOR_FIND_SCALAR(Int64, int64, B_INT64_TYPE)
PELMOR_FIND_SCALAR(UInt64, uint64, B_UINT64_TYPE)
PELMOR_FIND_SCALAR(Float, float, B_FLOAT_TYPE)
PELMOR_FIND_SCALAR(Double, double, B_DOUBLE_TYPE)
#undef PELMOR_FIND_SCALAR

status_t BMessage::FindBool(const char* name, bool* value) const
{
    return FindBool(name, 0, value);
}

status_t BMessage::FindBool(const char* name, int32 index, bool* value) const
{
    uint8 byte;
    status_t status = FindFixed(name, B_BOOL_TYPE, index, &byte, 1);
    if (status == B_OK && value != nullptr)
        *value = byte != 0;
    return status;
}

status_t BMessage::FindPointer(const char* name, void** pointer) const
{
    return FindPointer(name, 0, pointer);
}

status_t BMessage::FindPointer(const char* name, int32 index, void** pointer) const
{
    uint64 value;
    status_t status = FindFixed(name, B_POINTER_TYPE, index, &value, sizeof(value));
    if (status == B_OK && pointer != nullptr)
        *pointer = reinterpret_cast<void*>(uintptr_t(value));
    return status;
}

status_t BMessage::FindMessage(const char* name, BMessage* message) const
{
    return FindMessage(name, 0, message);
}

status_t BMessage::FindMessage(const char* name, int32 index, BMessage* message) const
{
    const char* value;
    size_t size;
    status_t status = FindValue(name, B_MESSAGE_TYPE, index, &value, &size);
    if (status != B_OK)
        return status;
    if (message == nullptr)
        return B_BAD_VALUE;
    return message->Unflatten(value, ssize_t(size));
}

// -- replacing ----------------------------------------------------------------

status_t BMessage::ReplaceValue(const char* name, type_code type, int32 index, const void* data,
                                size_t size)
{
    const char* value;
    size_t oldSize;
    status_t status = FindValue(name, type, index, &value, &oldSize);
    if (status != B_OK)
        return status;
    if (!valid_value(type, static_cast<const uint8*>(data), size, 0))
        return B_BAD_VALUE;
    size_t at = FindRecord(name);
    if (fData[at + kRecordFixed] != 0 && oldSize != size)
        return B_BAD_VALUE;
    if (size > oldSize && kMaxBlock - fSize < size - oldSize)
        return B_NO_MEMORY;
    if (Owns(data)) {
        std::string copy(static_cast<const char*>(data), size);
        return ReplaceValue(name, type, index, copy.data(), size);
    }
    char* where = Splice(size_t(value - fData), oldSize, size);
    if (size > 0)
        memcpy(where, data, size);
    store32(where - 4, uint32(size));
    add32(fData + at + kRecordSize, int64(size) - int64(oldSize));
    return B_OK;
}

status_t BMessage::ReplaceData(const char* name, type_code type, const void* data, ssize_t numBytes)
{
    return ReplaceData(name, type, 0, data, numBytes);
}

status_t BMessage::ReplaceData(const char* name, type_code type, int32 index, const void* data,
                               ssize_t numBytes)
{
    if (numBytes < 0 || (data == nullptr && numBytes > 0))
        return B_BAD_VALUE;
    return ReplaceValue(name, type, index, data, size_t(numBytes));
}

status_t BMessage::ReplaceRect(const char* name, BRect rect)
{
    return ReplaceRect(name, 0, rect);
}

status_t BMessage::ReplaceRect(const char* name, int32 index, BRect rect)
{
    float values[4] = {rect.left, rect.top, rect.right, rect.bottom};
    return ReplaceValue(name, B_RECT_TYPE, index, values, sizeof(values));
}

status_t BMessage::ReplacePoint(const char* name, BPoint point)
{
    return ReplacePoint(name, 0, point);
}

status_t BMessage::ReplacePoint(const char* name, int32 index, BPoint point)
{
    float values[2] = {point.x, point.y};
    return ReplaceValue(name, B_POINT_TYPE, index, values, sizeof(values));
}

status_t BMessage::ReplaceString(const char* name, const char* string)
{
    return ReplaceString(name, 0, string);
}

status_t BMessage::ReplaceString(const char* name, int32 index, const char* string)
{
    if (string == nullptr)
        return B_BAD_VALUE;
    return ReplaceValue(name, B_STRING_TYPE, index, string, strlen(string) + 1);
}

status_t BMessage::ReplaceString(const char* name, const BString& string)
{
    return ReplaceString(name, 0, string.String());
}

status_t BMessage::ReplaceString(const char* name, int32 index, const BString& string)
{
    return ReplaceString(name, index, string.String());
}

#define PELMOR_REPLACE_SCALAR(Name, Type, Code)                                                    \
    status_t BMessage::Replace##Name(const char* name, Type value)                                 \
    {                                                                                              \
        return ReplaceValue(name, Code, 0, &value, sizeof(Type));                                  \
    }

PELMOR_REPLACE_SCALAR(UInt8, uint8, B_UINT8_TYPE)
PELMOR_REPLACE_SCALAR(UInt16, uint16, B_UINT16_TYPE)
PELMOR_REPLACE_SCALAR(UInt32, uint32, B_UINT32_TYPE)
PELMOR_REPLACE_SCALAR(UInt64, uint64, B_UINT64_TYPE)
#undef PELMOR_REPLACE_SCALAR

#define PELMOR_REPLACE_INDEXED(Name, Type, Code)                                                   \
    status_t BMessage::Replace##Name(const char* name, Type value)                                 \
    {                                                                                              \
        return ReplaceValue(name, Code, 0, &value, sizeof(Type));                                  \
    }                                                                                              \
    status_t BMessage::Replace##Name(const char* name, int32 index, Type value)                    \
    {                                                                                              \
        return ReplaceValue(name, Code, index, &value, sizeof(Type));                              \
    }

PELMOR_REPLACE_INDEXED(Int8, int8, B_INT8_TYPE)
PELMOR_REPLACE_INDEXED(Int16, int16, B_INT16_TYPE)
PELMOR_REPLACE_INDEXED(Int32, int32, B_INT32_TYPE)
PELMOR_REPLACE_INDEXED(Int64, int64, B_INT64_TYPE)
PELMOR_REPLACE_INDEXED(Float, float, B_FLOAT_TYPE)
PELMOR_REPLACE_INDEXED(Double, double, B_DOUBLE_TYPE)
#undef PELMOR_REPLACE_INDEXED

status_t BMessage::ReplaceBool(const char* name, bool value)
{
    return ReplaceBool(name, 0, value);
}

status_t BMessage::ReplaceBool(const char* name, int32 index, bool value)
{
    uint8 byte = value ? 1 : 0;
    return ReplaceValue(name, B_BOOL_TYPE, index, &byte, 1);
}

status_t BMessage::ReplacePointer(const char* name, const void* pointer)
{
    return ReplacePointer(name, 0, pointer);
}

status_t BMessage::ReplacePointer(const char* name, int32 index, const void* pointer)
{
    uint64 value = uint64(reinterpret_cast<uintptr_t>(pointer));
    return ReplaceValue(name, B_POINTER_TYPE, index, &value, sizeof(value));
}

status_t BMessage::ReplaceMessage(const char* name, const BMessage* message)
{
    return ReplaceMessage(name, 0, message);
}

status_t BMessage::ReplaceMessage(const char* name, int32 index, const BMessage* message)
{
    if (message == nullptr)
        return B_BAD_VALUE;
    std::string flat;
    message->FlattenInto(flat);
    return ReplaceValue(name, B_MESSAGE_TYPE, index, flat.data(), flat.size());
}

// -- presence -----------------------------------------------------------------

bool BMessage::HasData(const char* name, type_code type, int32 index) const
{
    const char* value;
    size_t size;
    return FindValue(name, type, index, &value, &size) == B_OK;
}

#define PELMOR_HAS(Name, Code)                                                                     \
    bool BMessage::Has##Name(const char* name, int32 index) const                                  \
    {                                                                                              \
        return HasData(name, Code, index);                                                         \
    }

PELMOR_HAS(Rect, B_RECT_TYPE)
PELMOR_HAS(Point, B_POINT_TYPE)
PELMOR_HAS(String, B_STRING_TYPE)
PELMOR_HAS(Int8, B_INT8_TYPE)
PELMOR_HAS(UInt8, B_UINT8_TYPE)
PELMOR_HAS(Int16, B_INT16_TYPE)
PELMOR_HAS(UInt16, B_UINT16_TYPE)
PELMOR_HAS(Int32, B_INT32_TYPE)
PELMOR_HAS(UInt32, B_UINT32_TYPE)
PELMOR_HAS(Int64, B_INT64_TYPE)
PELMOR_HAS(UInt64, B_UINT64_TYPE)
PELMOR_HAS(Bool, B_BOOL_TYPE)
PELMOR_HAS(Float, B_FLOAT_TYPE)
PELMOR_HAS(Double, B_DOUBLE_TYPE)
PELMOR_HAS(Pointer, B_POINTER_TYPE)
PELMOR_HAS(Message, B_MESSAGE_TYPE)
#undef PELMOR_HAS

const char* BMessage::GetString(const char* name, const char* defaultValue) const
{
    const char* value;
    return FindString(name, &value) == B_OK ? value : defaultValue;
}

int32 BMessage::GetInt32(const char* name, int32 defaultValue) const
{
    int32 value;
    return FindInt32(name, &value) == B_OK ? value : defaultValue;
}

bool BMessage::GetBool(const char* name, bool defaultValue) const
{
    bool value;
    return FindBool(name, &value) == B_OK ? value : defaultValue;
}

// -- flattening ---------------------------------------------------------------

// The flattened field is the record without its size word, with the name
// length in two bytes and without the name's NUL; the values are the same.
void BMessage::FlattenInto(std::string& out) const
{
    size_t start = out.size();
    out.reserve(start + size_t(FlattenedSize()));
    put32(out, kMagic);
    put32(out, 0); // size, patched below
    put32(out, what);
    put32(out, uint32(fCount));
    for (size_t at = 0; at < fSize; at += load32(fData + at + kRecordSize)) {
        const char* record = fData + at;
        size_t nameLength = uint8(record[kRecordNameLength]);
        size_t values = values_offset(record);
        put32(out, load32(record + kRecordType));
        out.push_back(record[kRecordFixed]);
        out.push_back(char(nameLength));
        out.push_back('\0');
        out.append(record + kRecordName, nameLength);
        put32(out, load32(record + kRecordCount));
        out.append(record + values, load32(record + kRecordSize) - values);
    }
    uint32 size = uint32(out.size() - start);
    char bytes[4] = {char(size), char(size >> 8), char(size >> 16), char(size >> 24)};
    out.replace(start + 4, 4, bytes, 4);
}

ssize_t BMessage::FlattenedSize() const
{
    // A record holds 15 bytes besides its name and values, a flattened
    // field 11.
    return ssize_t(kHeaderSize + fSize - 4 * size_t(fCount));
}

status_t BMessage::Flatten(char* buffer, ssize_t size) const
{
    if (buffer == nullptr)
        return B_BAD_VALUE;
    if (size < FlattenedSize())
        return B_BAD_VALUE;
    std::string flat;
    FlattenInto(flat);
    memcpy(buffer, flat.data(), flat.size());
    return B_OK;
}

status_t BMessage::Flatten(BDataIO* stream, ssize_t* size) const
{
    if (stream == nullptr)
        return B_BAD_VALUE;
    std::string flat;
    FlattenInto(flat);
    status_t status = stream->WriteExactly(flat.data(), flat.size());
    if (status == B_OK && size != nullptr)
        *size = ssize_t(flat.size());
    return status;
}

status_t BMessage::Unflatten(const char* flatBuffer, ssize_t size)
{
    if (flatBuffer == nullptr || size < 0)
        return B_BAD_VALUE;
    BMessage result;
    size_t used = 0;
    status_t status =
        result.UnflattenFrom(reinterpret_cast<const uint8*>(flatBuffer), size_t(size), &used, 0);
    if (status != B_OK)
        return status;
    if (used != size_t(size))
        return B_BAD_DATA;
    *this = std::move(result);
    return B_OK;
}

status_t BMessage::Unflatten(BDataIO* stream)
{
    if (stream == nullptr)
        return B_BAD_VALUE;
    std::string data(kHeaderSize, '\0');
    size_t got = 0;
    stream->ReadExactly(data.data(), kHeaderSize, &got);
    if (got != kHeaderSize)
        return B_BAD_DATA;
    const uint8* header = reinterpret_cast<const uint8*>(data.data());
    uint32 total = get32(header + 4);
    if (get32(header) != kMagic || total < kHeaderSize || total > kMaxStreamSize)
        return B_BAD_DATA;
    // Grow with what really arrives, so a lying size costs nothing.
    while (data.size() < total) {
        size_t chunk = std::min<size_t>(total - data.size(), 64 * 1024);
        size_t offset = data.size();
        data.resize(offset + chunk);
        stream->ReadExactly(data.data() + offset, chunk, &got);
        if (got != chunk)
            return B_BAD_DATA;
    }
    return Unflatten(data.data(), ssize_t(data.size()));
}

status_t BMessage::UnflattenFrom(const uint8* data, size_t size, size_t* used, int depth)
{
    if (depth > B_MESSAGE_MAX_DEPTH)
        return B_BAD_DATA;
    if (size < kHeaderSize || get32(data) != kMagic)
        return B_BAD_DATA;
    size_t total = get32(data + 4);
    if (total < kHeaderSize || total > size)
        return B_BAD_DATA;
    uint32 fieldCount = get32(data + 12);
    if (fieldCount > (total - kHeaderSize) / kMinFieldSize)
        return B_BAD_DATA;

    what = get32(data + 8);
    MakeEmpty();
    size_t at = kHeaderSize;
    for (uint32 i = 0; i < fieldCount; i++) {
        if (total - at < 4 + 1 + 2)
            return B_BAD_DATA;
        type_code type = get32(data + at);
        uint8 flags = data[at + 4];
        size_t nameLength = size_t(data[at + 5]) | size_t(data[at + 6]) << 8;
        at += 7;
        if (flags > 1 || nameLength == 0 || nameLength > B_FIELD_NAME_LENGTH ||
            total - at < nameLength + 4)
            return B_BAD_DATA;
        const char* name = reinterpret_cast<const char*>(data + at);
        at += nameLength;
        if (memchr(name, '\0', nameLength) != nullptr || FindRecord(name, nameLength) != kNone)
            return B_BAD_DATA;
        uint32 count = get32(data + at);
        at += 4;
        if (count == 0 || count > (total - at) / 4)
            return B_BAD_DATA;

        // The values are stored as they come, once every one is checked.
        size_t values = at;
        size_t firstSize = 0;
        for (uint32 v = 0; v < count; v++) {
            if (total - at < 4)
                return B_BAD_DATA;
            size_t valueSize = get32(data + at);
            at += 4;
            if (valueSize > total - at)
                return B_BAD_DATA;
            const uint8* value = data + at;
            if (type == B_MESSAGE_TYPE) {
                BMessage nested;
                size_t nestedUsed = 0;
                if (nested.UnflattenFrom(value, valueSize, &nestedUsed, depth + 1) != B_OK ||
                    nestedUsed != valueSize)
                    return B_BAD_DATA;
            } else if (!valid_value(type, value, valueSize, depth)) {
                return B_BAD_DATA;
            }
            if (v == 0)
                firstSize = valueSize;
            else if (flags == 1 && valueSize != firstSize)
                return B_BAD_DATA;
            at += valueSize;
        }
        memcpy(AppendRecord(type, flags == 1, name, nameLength, count, at - values), data + values,
               at - values);
    }
    if (at != total)
        return B_BAD_DATA;
    *used = total;
    return B_OK;
}

// -- printing -----------------------------------------------------------------

void BMessage::PrintToStream() const
{
    printf("BMessage(%s) {\n", what_text(what).c_str());
    PrintFields(1);
    printf("}\n");
}

void BMessage::PrintFields(int indent) const
{
    std::string pad(size_t(indent) * 4, ' ');
    for (size_t at = 0; at < fSize; at += load32(fData + at + kRecordSize)) {
        const char* record = fData + at;
        type_code type = load32(record + kRecordType);
        uint32 count = load32(record + kRecordCount);
        const char* value = record + values_offset(record);
        for (uint32 i = 0; i < count; i++, value += 4 + load32(value)) {
            const char* p = value + 4;
            size_t size = load32(value);
            printf("%s%s[%u] = ", pad.c_str(), record + kRecordName, i);
            switch (type) {
            case B_STRING_TYPE:
                printf("string(\"%s\")\n", p);
                break;
            case B_BOOL_TYPE:
                printf("bool(%s)\n", p[0] ? "true" : "false");
                break;
            case B_INT8_TYPE:
                printf("int8(%d)\n", int(int8(p[0])));
                break;
            case B_INT16_TYPE: {
                int16 x;
                memcpy(&x, p, 2);
                printf("int16(%d)\n", int(x));
                break;
            }
            case B_INT32_TYPE: {
                int32 x;
                memcpy(&x, p, 4);
                printf("int32(%d)\n", x);
                break;
            }
            case B_INT64_TYPE: {
                int64 x;
                memcpy(&x, p, 8);
                printf("int64(%lld)\n", (long long)x);
                break;
            }
            case B_FLOAT_TYPE: {
                float x;
                memcpy(&x, p, 4);
                printf("float(%g)\n", double(x));
                break;
            }
            case B_DOUBLE_TYPE: {
                double x;
                memcpy(&x, p, 8);
                printf("double(%g)\n", x);
                break;
            }
            case B_POINTER_TYPE: {
                uint64 x;
                memcpy(&x, p, 8);
                printf("pointer(0x%llx)\n", (unsigned long long)x);
                break;
            }
            case B_POINT_TYPE: {
                float f[2];
                memcpy(f, p, 8);
                printf("point(x:%.1f, y:%.1f)\n", double(f[0]), double(f[1]));
                break;
            }
            case B_RECT_TYPE: {
                float f[4];
                memcpy(f, p, 16);
                printf("rect(l:%.1f, t:%.1f, r:%.1f, b:%.1f)\n", double(f[0]), double(f[1]),
                       double(f[2]), double(f[3]));
                break;
            }
            case B_MESSAGE_TYPE: {
                BMessage nested;
                nested.Unflatten(p, ssize_t(size));
                printf("BMessage(%s) {\n", what_text(nested.what).c_str());
                nested.PrintFields(indent + 1);
                printf("%s}\n", pad.c_str());
                break;
            }
            default:
                printf("data('%s', %zu bytes)", type_name(type).c_str(), size);
                for (size_t b = 0; b < size && b < 32; b++)
                    printf(" %02x", uint8(p[b]));
                printf(size > 32 ? " ...\n" : "\n");
                break;
            }
        }
    }
}
