// The desktop settings property, as any program on the X server may write
// it, through the parser that reads the double-click and scale settings.

#include <cstddef>
#include <cstdint>

#include <XSettings.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    BPrivate::XSettingsValues values;
    BPrivate::parse_xsettings(data, size, &values);
    return 0;
}
