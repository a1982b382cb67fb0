#include "Path.h"

#include <cstring>
#include <unistd.h>
#include <vector>

#include "Directory.h"
#include "Entry.h"

namespace
{

std::string normalize_lexically(const std::string& path)
{
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= path.size()) {
        size_t end = path.find('/', at);
        if (end == std::string::npos)
            end = path.size();
        std::string part = path.substr(at, end - at);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    std::string result;
    for (const std::string& part : parts)
        result += "/" + part;
    return result.empty() ? "/" : result;
}

} // namespace

BPath::BPath() : fStatus(B_NO_INIT) {}

BPath::BPath(const char* dir, const char* leaf, bool normalize) : fStatus(B_NO_INIT)
{
    SetTo(dir, leaf, normalize);
}

BPath::BPath(const BDirectory* dir, const char* leaf, bool normalize) : fStatus(B_NO_INIT)
{
    SetTo(dir, leaf, normalize);
}

BPath::BPath(const BEntry* entry) : fStatus(B_NO_INIT)
{
    SetTo(entry);
}

BPath::~BPath() {}

status_t BPath::SetTo(const char* path, const char* leaf, bool)
{
    Unset();
    if (path == nullptr || *path == '\0')
        return fStatus = B_BAD_VALUE;
    if (leaf != nullptr && leaf[0] == '/')
        return fStatus = B_BAD_VALUE;
    std::string full = path;
    if (full[0] != '/') {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof(cwd)) == nullptr)
            return fStatus = B_ERROR;
        full = std::string(cwd) + "/" + full;
    }
    if (leaf != nullptr && *leaf != '\0')
        full += "/" + std::string(leaf);
    fPath = normalize_lexically(full);
    if (fPath.size() >= B_PATH_NAME_LENGTH) {
        fPath.clear();
        return fStatus = B_NAME_TOO_LONG;
    }
    return fStatus = B_OK;
}

status_t BPath::SetTo(const BDirectory* dir, const char* leaf, bool normalize)
{
    if (dir == nullptr || dir->InitCheck() != B_OK) {
        Unset();
        return fStatus = B_BAD_VALUE;
    }
    return SetTo(dir->PathName(), leaf, normalize);
}

status_t BPath::SetTo(const BEntry* entry)
{
    if (entry == nullptr || entry->InitCheck() != B_OK) {
        Unset();
        return fStatus = B_BAD_VALUE;
    }
    return SetTo(entry->PathName());
}

void BPath::Unset()
{
    fPath.clear();
    fStatus = B_NO_INIT;
}

status_t BPath::Append(const char* path, bool normalize)
{
    if (fStatus != B_OK)
        return fStatus;
    if (path == nullptr || path[0] == '/')
        return B_BAD_VALUE;
    std::string base = fPath;
    return SetTo(base.c_str(), path, normalize);
}

const char* BPath::Path() const
{
    return fStatus == B_OK ? fPath.c_str() : nullptr;
}

const char* BPath::Leaf() const
{
    if (fStatus != B_OK)
        return nullptr;
    if (fPath == "/")
        return "";
    return fPath.c_str() + fPath.rfind('/') + 1;
}

status_t BPath::GetParent(BPath* path) const
{
    if (path == nullptr)
        return B_BAD_VALUE;
    if (fStatus != B_OK)
        return fStatus;
    if (fPath == "/")
        return B_ENTRY_NOT_FOUND;
    size_t slash = fPath.rfind('/');
    return path->SetTo(slash == 0 ? "/" : fPath.substr(0, slash).c_str());
}

bool BPath::operator==(const BPath& other) const
{
    return fStatus == other.fStatus && fPath == other.fPath;
}
