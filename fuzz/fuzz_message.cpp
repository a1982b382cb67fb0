// Hostile bytes into BMessage::Unflatten. Whatever it accepts must flatten
// back to exactly the same bytes and survive every reader.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <Message.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    BMessage message;
    if (message.Unflatten(reinterpret_cast<const char*>(data), ssize_t(size)) != B_OK)
        return 0;

    ssize_t flatSize = message.FlattenedSize();
    if (flatSize != ssize_t(size))
        abort();
    std::string flat(size_t(flatSize), '\0');
    if (message.Flatten(flat.data(), flatSize) != B_OK || memcmp(flat.data(), data, size) != 0)
        abort();

    // Every field can be read back as what it claims to be.
    const char* name;
    type_code type;
    int32 count;
    for (int32 i = 0; message.GetInfo(B_ANY_TYPE, i, &name, &type, &count) == B_OK; i++) {
        for (int32 j = 0; j < count; j++) {
            const void* value;
            ssize_t valueSize;
            if (message.FindData(name, type, j, &value, &valueSize) != B_OK)
                abort();
            if (type == B_MESSAGE_TYPE) {
                BMessage nested;
                if (message.FindMessage(name, j, &nested) != B_OK)
                    abort();
            } else if (type == B_STRING_TYPE) {
                const char* text;
                if (message.FindString(name, j, &text) != B_OK || strlen(text) >= size_t(valueSize))
                    abort();
            }
        }
    }
    // A field added to a copy and removed again leaves it as it was (unless
    // the input already had a field of that name).
    BMessage copy(message);
    if (!copy.HasData("extra", B_ANY_TYPE)) {
        if (copy.AddString("extra", "x") != B_OK || copy.RemoveName("extra") != B_OK ||
            copy.FlattenedSize() != flatSize)
            abort();
    }
    return 0;
}
