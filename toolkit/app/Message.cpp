#include "Message.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace
{

const uint32 kMagic = 0x504C4D31; // "PLM1"
const size_t kHeaderSize = 16;
const size_t kMinFieldSize = 4 + 1 + 2 + 1 + 4 + 4; // one-byte name, one empty value
// Largest message a stream may announce; the reader still allocates only
// what actually arrives.
const uint32 kMaxStreamSize = 256u * 1024 * 1024;

// Size of a value of the type, or 0 for types of any size.
size_t fixed_type_size(type_code type)
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

bool valid_name(const char* name)
{
    if (name == nullptr || *name == '\0')
        return false;
    return strnlen(name, B_FIELD_NAME_LENGTH + 1) <= B_FIELD_NAME_LENGTH;
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

} // namespace

BMessage::BMessage() : what(0) {}

BMessage::BMessage(uint32 command) : what(command) {}

BMessage::BMessage(const BMessage& other) : what(other.what), fFields(other.fFields) {}

BMessage::~BMessage() {}

BMessage& BMessage::operator=(const BMessage& other)
{
    what = other.what;
    fFields = other.fFields;
    return *this;
}

BMessage::Field* BMessage::FindField(const char* name)
{
    if (name == nullptr)
        return nullptr;
    for (Field& field : fFields) {
        if (field.name == name)
            return &field;
    }
    return nullptr;
}

const BMessage::Field* BMessage::FindField(const char* name) const
{
    return const_cast<BMessage*>(this)->FindField(name);
}

status_t BMessage::GetInfo(type_code typeRequested, int32 index, const char** nameFound,
                           type_code* typeFound, int32* countFound) const
{
    if (index < 0)
        return B_BAD_INDEX;
    int32 seen = 0;
    for (const Field& field : fFields) {
        if (typeRequested != B_ANY_TYPE && field.type != typeRequested)
            continue;
        if (seen++ != index)
            continue;
        if (nameFound != nullptr)
            *nameFound = field.name.c_str();
        if (typeFound != nullptr)
            *typeFound = field.type;
        if (countFound != nullptr)
            *countFound = int32(field.values.size());
        return B_OK;
    }
    return seen == 0 ? B_BAD_TYPE : B_BAD_INDEX;
}

status_t BMessage::GetInfo(const char* name, type_code* typeFound, int32* countFound) const
{
    const Field* field = FindField(name);
    if (field == nullptr)
        return B_NAME_NOT_FOUND;
    if (typeFound != nullptr)
        *typeFound = field->type;
    if (countFound != nullptr)
        *countFound = int32(field->values.size());
    return B_OK;
}

status_t BMessage::GetInfo(const char* name, type_code* typeFound, bool* fixedSize) const
{
    const Field* field = FindField(name);
    if (field == nullptr)
        return B_NAME_NOT_FOUND;
    if (typeFound != nullptr)
        *typeFound = field->type;
    if (fixedSize != nullptr)
        *fixedSize = field->fixedSize;
    return B_OK;
}

int32 BMessage::CountNames(type_code type) const
{
    int32 count = 0;
    for (const Field& field : fFields) {
        if (type == B_ANY_TYPE || field.type == type)
            count++;
    }
    return count;
}

status_t BMessage::MakeEmpty()
{
    fFields.clear();
    return B_OK;
}

status_t BMessage::Rename(const char* oldName, const char* newName)
{
    if (!valid_name(newName))
        return B_BAD_VALUE;
    Field* field = FindField(oldName);
    if (field == nullptr)
        return B_NAME_NOT_FOUND;
    if (strcmp(oldName, newName) == 0)
        return B_OK;
    if (FindField(newName) != nullptr)
        return B_NAME_IN_USE;
    field->name = newName;
    return B_OK;
}

// -- adding, removing ---------------------------------------------------------

status_t BMessage::AddData(const char* name, type_code type, const void* data, ssize_t numBytes,
                           bool isFixedSize, int32 /*count*/)
{
    if (!valid_name(name) || numBytes < 0 || (data == nullptr && numBytes > 0) ||
        uint64(numBytes) > 0xFFFFFFFFu)
        return B_BAD_VALUE;
    const uint8* bytes = static_cast<const uint8*>(data);
    if (!valid_value(type, bytes, size_t(numBytes), 0))
        return B_BAD_VALUE;
    std::string value(reinterpret_cast<const char*>(bytes), size_t(numBytes));

    Field* field = FindField(name);
    if (field != nullptr) {
        if (field->type != type)
            return B_BAD_TYPE;
        if (field->fixedSize && field->values[0].size() != value.size())
            return B_BAD_VALUE;
        field->values.push_back(std::move(value));
        return B_OK;
    }
    // Most messages carry a few fields: one allocation for them, not three.
    if (fFields.empty())
        fFields.reserve(4);
    fFields.push_back(Field{name, type, isFixedSize, {std::move(value)}});
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
    Field* field = FindField(name);
    if (field == nullptr)
        return B_NAME_NOT_FOUND;
    if (index < 0 || size_t(index) >= field->values.size())
        return B_BAD_INDEX;
    field->values.erase(field->values.begin() + index);
    if (field->values.empty())
        RemoveName(name);
    return B_OK;
}

status_t BMessage::RemoveName(const char* name)
{
    for (auto it = fFields.begin(); it != fFields.end(); ++it) {
        if (name != nullptr && it->name == name) {
            fFields.erase(it);
            return B_OK;
        }
    }
    return B_NAME_NOT_FOUND;
}

// -- finding ------------------------------------------------------------------

status_t BMessage::FindValue(const char* name, type_code type, int32 index,
                             const std::string** value) const
{
    const Field* field = FindField(name);
    if (field == nullptr)
        return B_NAME_NOT_FOUND;
    if (type != B_ANY_TYPE && field->type != type)
        return B_BAD_TYPE;
    if (index < 0 || size_t(index) >= field->values.size())
        return B_BAD_INDEX;
    *value = &field->values[size_t(index)];
    return B_OK;
}

status_t BMessage::FindFixed(const char* name, type_code type, int32 index, void* out,
                             size_t size) const
{
    const std::string* value;
    status_t status = FindValue(name, type, index, &value);
    if (status != B_OK)
        return status;
    if (out == nullptr)
        return B_BAD_VALUE;
    memcpy(out, value->data(), size);
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
    const std::string* value;
    status_t status = FindValue(name, type, index, &value);
    if (status != B_OK)
        return status;
    if (data != nullptr)
        *data = value->data();
    if (numBytes != nullptr)
        *numBytes = ssize_t(value->size());
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
    const std::string* value;
    status_t status = FindValue(name, B_STRING_TYPE, index, &value);
    if (status != B_OK)
        return status;
    if (string == nullptr)
        return B_BAD_VALUE;
    *string = value->c_str();
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
    const std::string* value;
    status_t status = FindValue(name, B_MESSAGE_TYPE, index, &value);
    if (status != B_OK)
        return status;
    if (message == nullptr)
        return B_BAD_VALUE;
    return message->Unflatten(value->data(), ssize_t(value->size()));
}

// -- replacing ----------------------------------------------------------------

status_t BMessage::ReplaceValue(const char* name, type_code type, int32 index, const void* data,
                                size_t size)
{
    Field* field = FindField(name);
    if (field == nullptr)
        return B_NAME_NOT_FOUND;
    if (field->type != type)
        return B_BAD_TYPE;
    if (index < 0 || size_t(index) >= field->values.size())
        return B_BAD_INDEX;
    if (!valid_value(type, static_cast<const uint8*>(data), size, 0))
        return B_BAD_VALUE;
    if (field->fixedSize && field->values[0].size() != size)
        return B_BAD_VALUE;
    field->values[size_t(index)].assign(static_cast<const char*>(data), size);
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
    const std::string* value;
    return FindValue(name, type, index, &value) == B_OK;
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

void BMessage::FlattenInto(std::string& out) const
{
    size_t start = out.size();
    put32(out, kMagic);
    put32(out, 0); // size, patched below
    put32(out, what);
    put32(out, uint32(fFields.size()));
    for (const Field& field : fFields) {
        put32(out, field.type);
        out.push_back(field.fixedSize ? 1 : 0);
        out.push_back(char(field.name.size()));
        out.push_back(char(field.name.size() >> 8));
        out.append(field.name);
        put32(out, uint32(field.values.size()));
        for (const std::string& value : field.values) {
            put32(out, uint32(value.size()));
            out.append(value);
        }
    }
    std::string size;
    put32(size, uint32(out.size() - start));
    out.replace(start + 4, 4, size);
}

ssize_t BMessage::FlattenedSize() const
{
    size_t size = kHeaderSize;
    for (const Field& field : fFields) {
        size += 4 + 1 + 2 + field.name.size() + 4;
        for (const std::string& value : field.values)
            size += 4 + value.size();
    }
    return ssize_t(size);
}

status_t BMessage::Flatten(char* buffer, ssize_t size) const
{
    if (buffer == nullptr)
        return B_BAD_VALUE;
    std::string flat;
    FlattenInto(flat);
    if (size < ssize_t(flat.size()))
        return B_BAD_VALUE;
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
    fFields.clear();
    fFields.reserve(fieldCount);
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
        std::string name(reinterpret_cast<const char*>(data + at), nameLength);
        at += nameLength;
        if (name.find('\0') != std::string::npos || FindField(name.c_str()) != nullptr)
            return B_BAD_DATA;
        uint32 count = get32(data + at);
        at += 4;
        if (count == 0 || count > (total - at) / 4)
            return B_BAD_DATA;

        Field field{std::move(name), type, flags == 1, {}};
        field.values.reserve(count);
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
            if (field.fixedSize && !field.values.empty() && field.values[0].size() != valueSize)
                return B_BAD_DATA;
            field.values.emplace_back(reinterpret_cast<const char*>(value), valueSize);
            at += valueSize;
        }
        fFields.push_back(std::move(field));
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
    for (const Field& field : fFields) {
        for (size_t i = 0; i < field.values.size(); i++) {
            const std::string& v = field.values[i];
            const char* p = v.data();
            printf("%s%s[%zu] = ", pad.c_str(), field.name.c_str(), i);
            switch (field.type) {
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
                nested.Unflatten(p, ssize_t(v.size()));
                printf("BMessage(%s) {\n", what_text(nested.what).c_str());
                nested.PrintFields(indent + 1);
                printf("%s}\n", pad.c_str());
                break;
            }
            default:
                printf("data('%s', %zu bytes)", type_name(field.type).c_str(), v.size());
                for (size_t b = 0; b < v.size() && b < 32; b++)
                    printf(" %02x", uint8(p[b]));
                printf(v.size() > 32 ? " ...\n" : "\n");
                break;
            }
        }
    }
}
