// Writes the application's icon for the desktop: one PNG per size of the
// hicolor theme, <folder>/<n>x<n>/apps/pelmor.png, drawn from the same
// picture as the compiled-in icon resources.
//
// Usage: make_icons FOLDER

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <cairo.h>

#include "AppResources.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    for (int size : {16, 32, 48, 64, 128, 256}) {
        std::vector<uint32> pixels = app_icon_argb(size);
        const std::string folder = std::string(argv[1]) + "/" + std::to_string(size) + "x" +
                                   std::to_string(size) + "/apps";
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        cairo_surface_t* surface =
            cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels.data()),
                                                CAIRO_FORMAT_ARGB32, size, size, size * 4);
        const std::string path = folder + "/pelmor.png";
        const cairo_status_t status = cairo_surface_write_to_png(surface, path.c_str());
        cairo_surface_destroy(surface);
        if (error || status != CAIRO_STATUS_SUCCESS) {
            fprintf(stderr, "make_icons: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
