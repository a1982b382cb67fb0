#include "Archivable.h"

#include <map>
#include <mutex>
#include <string>

namespace
{

std::mutex sLock;
std::map<std::string, instantiation_func>& functions()
{
    static std::map<std::string, instantiation_func> sFunctions;
    return sFunctions;
}

} // namespace

BArchivable::BArchivable() {}

BArchivable::BArchivable(BMessage*) {}

BArchivable::~BArchivable() {}

status_t BArchivable::Archive(BMessage* into, bool) const
{
    return into != nullptr ? B_OK : B_BAD_VALUE;
}

bool validate_instantiation(BMessage* from, const char* className)
{
    const char* name;
    return from != nullptr && className != nullptr && from->FindString("class", &name) == B_OK &&
           std::string(name) == className;
}

void register_instantiation_func(const char* className, instantiation_func function)
{
    std::lock_guard<std::mutex> lock(sLock);
    functions()[className] = function;
}

BArchivable* instantiate_object(BMessage* from)
{
    const char* name;
    if (from == nullptr || from->FindString("class", &name) != B_OK)
        return nullptr;
    instantiation_func function = nullptr;
    {
        std::lock_guard<std::mutex> lock(sLock);
        auto found = functions().find(name);
        if (found != functions().end())
            function = found->second;
    }
    return function != nullptr ? function(from) : nullptr;
}
