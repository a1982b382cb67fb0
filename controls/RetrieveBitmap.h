#pragma once

// Loads a bitmap from the program's resources by its name.

class BBitmap;

// A new bitmap, owned by the caller, or null when no bitmap resource has
// that name or it does not make a bitmap. Nothing is cached: every call
// reads the resource again.
BBitmap* RetrieveBitmap(const char* name);
