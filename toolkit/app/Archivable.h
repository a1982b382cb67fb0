#pragma once

// Objects that can be stored in a message and made again from it.

#include "Message.h"

class BArchivable
{
public:
    BArchivable();
    explicit BArchivable(BMessage* from);
    virtual ~BArchivable();
    // Adds the object's state, and its class name under "class".
    virtual status_t Archive(BMessage* into, bool deep = true) const;
};

typedef BArchivable* (*instantiation_func)(BMessage*);

// Whether the archive holds an object of the class.
bool validate_instantiation(BMessage* from, const char* className);
// Makes the object the archive describes, or null. Classes take part by
// registering their instantiation function.
BArchivable* instantiate_object(BMessage* from);
void register_instantiation_func(const char* className, instantiation_func function);
