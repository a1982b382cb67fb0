#include "List.h"

#include <algorithm>

BList::BList(int32 blockSize) : fBlockSize(blockSize > 0 ? blockSize : 1) {}

BList::BList(const BList& other) : fItems(other.fItems), fBlockSize(other.fBlockSize) {}

BList::~BList() {}

BList& BList::operator=(const BList& other)
{
    fItems = other.fItems;
    fBlockSize = other.fBlockSize;
    return *this;
}

// The list grows by whole blocks, as callers that size it expect.
void BList::Grow()
{
    if (fItems.size() == fItems.capacity())
        fItems.reserve(fItems.capacity() + size_t(fBlockSize));
}

bool BList::AddItem(void* item)
{
    Grow();
    fItems.push_back(item);
    return true;
}

bool BList::AddItem(void* item, int32 index)
{
    if (index < 0 || index > CountItems())
        return false;
    Grow();
    fItems.insert(fItems.begin() + index, item);
    return true;
}

bool BList::AddList(const BList* list)
{
    return list != nullptr && AddList(list, CountItems());
}

bool BList::AddList(const BList* list, int32 index)
{
    if (list == nullptr || index < 0 || index > CountItems())
        return false;
    std::vector<void*> copy(list->fItems); // the list may be this one
    fItems.insert(fItems.begin() + index, copy.begin(), copy.end());
    return true;
}

bool BList::RemoveItem(void* item)
{
    int32 index = IndexOf(item);
    if (index < 0)
        return false;
    RemoveItem(index);
    return true;
}

void* BList::RemoveItem(int32 index)
{
    if (index < 0 || index >= CountItems())
        return nullptr;
    void* item = fItems[size_t(index)];
    fItems.erase(fItems.begin() + index);
    return item;
}

bool BList::RemoveItems(int32 index, int32 count)
{
    if (index < 0 || index >= CountItems() || count < 0)
        return false;
    count = std::min(count, CountItems() - index);
    fItems.erase(fItems.begin() + index, fItems.begin() + index + count);
    return true;
}

bool BList::ReplaceItem(int32 index, void* item)
{
    if (index < 0 || index >= CountItems())
        return false;
    fItems[size_t(index)] = item;
    return true;
}

void BList::MakeEmpty()
{
    fItems.clear();
}

bool BList::SwapItems(int32 indexA, int32 indexB)
{
    if (indexA < 0 || indexA >= CountItems() || indexB < 0 || indexB >= CountItems())
        return false;
    std::swap(fItems[size_t(indexA)], fItems[size_t(indexB)]);
    return true;
}

bool BList::MoveItem(int32 fromIndex, int32 toIndex)
{
    if (fromIndex < 0 || fromIndex >= CountItems() || toIndex < 0 || toIndex >= CountItems())
        return false;
    void* item = fItems[size_t(fromIndex)];
    fItems.erase(fItems.begin() + fromIndex);
    fItems.insert(fItems.begin() + toIndex, item);
    return true;
}

// A merge sort of our own: the standard sorts may read out of bounds when a
// caller's comparison is inconsistent; this one only ever compares items
// of the list, whatever the comparison says.
void BList::SortItems(int (*compare)(const void*, const void*))
{
    if (compare == nullptr || fItems.size() < 2)
        return;
    std::vector<void*> scratch(fItems.size());
    for (size_t width = 1; width < fItems.size(); width *= 2) {
        for (size_t left = 0; left < fItems.size(); left += 2 * width) {
            size_t middle = std::min(left + width, fItems.size());
            size_t right = std::min(left + 2 * width, fItems.size());
            size_t a = left, b = middle, out = left;
            while (a < middle && b < right) {
                // Stable: equal items keep their order.
                if (compare(&fItems[b], &fItems[a]) < 0)
                    scratch[out++] = fItems[b++];
                else
                    scratch[out++] = fItems[a++];
            }
            while (a < middle)
                scratch[out++] = fItems[a++];
            while (b < right)
                scratch[out++] = fItems[b++];
        }
        fItems.swap(scratch);
    }
}

void* BList::ItemAt(int32 index) const
{
    if (index < 0 || index >= CountItems())
        return nullptr;
    return fItems[size_t(index)];
}

void* BList::FirstItem() const
{
    return fItems.empty() ? nullptr : fItems.front();
}

void* BList::LastItem() const
{
    return fItems.empty() ? nullptr : fItems.back();
}

int32 BList::IndexOf(const void* item) const
{
    for (size_t i = 0; i < fItems.size(); i++) {
        if (fItems[i] == item)
            return int32(i);
    }
    return -1;
}

void BList::DoForEach(bool (*func)(void* item))
{
    if (func == nullptr)
        return;
    for (void* item : std::vector<void*>(fItems)) {
        if (func(item))
            break;
    }
}

void BList::DoForEach(bool (*func)(void* item, void* arg), void* arg)
{
    if (func == nullptr)
        return;
    for (void* item : std::vector<void*>(fItems)) {
        if (func(item, arg))
            break;
    }
}
