#include "DataIO.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

BDataIO::~BDataIO() {}

status_t BDataIO::ReadExactly(void* buffer, size_t size, size_t* bytesRead)
{
    size_t done = 0;
    while (done < size) {
        ssize_t got = Read(static_cast<uint8*>(buffer) + done, size - done);
        if (got < 0) {
            if (bytesRead != nullptr)
                *bytesRead = done;
            return status_t(got);
        }
        if (got == 0)
            break;
        done += size_t(got);
    }
    if (bytesRead != nullptr)
        *bytesRead = done;
    return done == size ? B_OK : B_IO_ERROR;
}

status_t BDataIO::WriteExactly(const void* buffer, size_t size, size_t* bytesWritten)
{
    size_t done = 0;
    while (done < size) {
        ssize_t put = Write(static_cast<const uint8*>(buffer) + done, size - done);
        if (put < 0) {
            if (bytesWritten != nullptr)
                *bytesWritten = done;
            return status_t(put);
        }
        if (put == 0)
            break;
        done += size_t(put);
    }
    if (bytesWritten != nullptr)
        *bytesWritten = done;
    return done == size ? B_OK : B_IO_ERROR;
}

ssize_t BPositionIO::Read(void* buffer, size_t size)
{
    off_t position = Position();
    ssize_t result = ReadAt(position, buffer, size);
    if (result > 0)
        Seek(position + result, SEEK_SET);
    return result;
}

ssize_t BPositionIO::Write(const void* buffer, size_t size)
{
    off_t position = Position();
    ssize_t result = WriteAt(position, buffer, size);
    if (result > 0)
        Seek(position + result, SEEK_SET);
    return result;
}

status_t BPositionIO::SetSize(off_t)
{
    return B_ERROR;
}

status_t BPositionIO::GetSize(off_t* size) const
{
    if (size == nullptr)
        return B_BAD_VALUE;
    // Seek is not const; measuring through a copy of the position is.
    auto* self = const_cast<BPositionIO*>(this);
    off_t position = self->Position();
    off_t end = self->Seek(0, SEEK_END);
    self->Seek(position, SEEK_SET);
    if (end < 0)
        return status_t(end);
    *size = end;
    return B_OK;
}

BMallocIO::BMallocIO() {}

BMallocIO::~BMallocIO() {}

ssize_t BMallocIO::ReadAt(off_t position, void* buffer, size_t size)
{
    if (buffer == nullptr || position < 0)
        return B_BAD_VALUE;
    if (size_t(position) >= fData.size())
        return 0;
    size_t count = std::min(size, fData.size() - size_t(position));
    memcpy(buffer, fData.data() + position, count);
    return ssize_t(count);
}

ssize_t BMallocIO::WriteAt(off_t position, const void* buffer, size_t size)
{
    if (buffer == nullptr || position < 0)
        return B_BAD_VALUE;
    if (size_t(position) + size > fData.size())
        fData.resize(size_t(position) + size);
    memcpy(fData.data() + position, buffer, size);
    return ssize_t(size);
}

off_t BMallocIO::Seek(off_t position, uint32 seekMode)
{
    off_t base = seekMode == SEEK_CUR ? fPosition : seekMode == SEEK_END ? off_t(fData.size()) : 0;
    if (base + position < 0)
        return B_BAD_VALUE;
    fPosition = base + position;
    return fPosition;
}

status_t BMallocIO::SetSize(off_t size)
{
    if (size < 0)
        return B_BAD_VALUE;
    fData.resize(size_t(size));
    return B_OK;
}

BMemoryIO::BMemoryIO(void* data, size_t length)
    : fData(static_cast<uint8*>(data)), fLength(length), fCapacity(length), fReadOnly(false)
{
}

BMemoryIO::BMemoryIO(const void* data, size_t length)
    : fData(static_cast<uint8*>(const_cast<void*>(data))), fLength(length), fCapacity(length),
      fReadOnly(true)
{
}

BMemoryIO::~BMemoryIO() {}

ssize_t BMemoryIO::ReadAt(off_t position, void* buffer, size_t size)
{
    if (buffer == nullptr || position < 0)
        return B_BAD_VALUE;
    if (size_t(position) >= fLength)
        return 0;
    size_t count = std::min(size, fLength - size_t(position));
    memcpy(buffer, fData + position, count);
    return ssize_t(count);
}

ssize_t BMemoryIO::WriteAt(off_t position, const void* buffer, size_t size)
{
    if (fReadOnly)
        return B_NOT_ALLOWED;
    if (buffer == nullptr || position < 0)
        return B_BAD_VALUE;
    if (size_t(position) >= fCapacity)
        return 0;
    size_t count = std::min(size, fCapacity - size_t(position));
    memcpy(fData + position, buffer, count);
    fLength = std::max(fLength, size_t(position) + count);
    return ssize_t(count);
}

off_t BMemoryIO::Seek(off_t position, uint32 seekMode)
{
    off_t base = seekMode == SEEK_CUR ? fPosition : seekMode == SEEK_END ? off_t(fLength) : 0;
    if (base + position < 0)
        return B_BAD_VALUE;
    fPosition = base + position;
    return fPosition;
}

status_t BMemoryIO::SetSize(off_t size)
{
    if (fReadOnly)
        return B_NOT_ALLOWED;
    if (size < 0 || size_t(size) > fCapacity)
        return B_BAD_VALUE;
    fLength = size_t(size);
    return B_OK;
}
