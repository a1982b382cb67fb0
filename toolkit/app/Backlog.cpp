#include "Backlog.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace BPrivate
{

Backlog::Backlog(int32 resumeLevel)
    : fResumeLevel(resumeLevel), fEvent(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

Backlog::~Backlog()
{
    if (fEvent >= 0)
        close(fEvent);
}

void Backlog::Arm()
{
    if (fEvent >= 0) {
        uint64_t count;
        ssize_t ignored = read(fEvent, &count, sizeof(count));
        (void)ignored;
    }
    // Sequentially consistent with the looper's decrement and its look at
    // the flag: either the poster's next Count() sees the fall, or the
    // looper sees the flag and signals.
    fArmed.store(true);
}

void Backlog::Finished()
{
    int32 left = fCount.fetch_sub(1) - 1;
    // Only a waiting poster is signalled, so a count that hovers about the
    // resume level does not cost a system call per message.
    if (left <= fResumeLevel && fArmed.load() && fArmed.exchange(false) && fEvent >= 0) {
        uint64_t one = 1;
        ssize_t ignored = write(fEvent, &one, sizeof(one));
        (void)ignored;
    }
}

} // namespace BPrivate
