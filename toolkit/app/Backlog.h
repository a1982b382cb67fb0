#pragma once

// A count of messages posted through it that their loopers have not yet
// finished handling, for a poster that must not outrun its reader (the
// protocol engine's network thread stops reading from the server while too
// many of its lines wait in its window's queue).
//
// A looper counts a message in when it queues it, and out when the handler
// has returned or when the message is dropped unhandled (the looper quit,
// its port was closed): a poster never waits for messages that will never
// be handled. A poster that waits for room calls Arm(), then reads Count();
// while that is still above the resume level it polls Descriptor(), which
// becomes readable once the count has fallen to the resume level. Arming
// before reading the count means a fall between the two is never missed;
// a signal left over from an earlier wait only costs one more look.

#include <atomic>
#include <memory>

#include "SupportDefs.h"

namespace BPrivate
{

class Backlog
{
public:
    explicit Backlog(int32 resumeLevel);
    ~Backlog();
    Backlog(const Backlog&) = delete;
    Backlog& operator=(const Backlog&) = delete;

    int32 Count() const { return fCount.load(); }
    int32 ResumeLevel() const { return fResumeLevel; }
    // Readable after Arm() once the count is at the resume level or below;
    // -1 if no descriptor could be made (then poll it with a timeout).
    int Descriptor() const { return fEvent; }
    void Arm();

    // The looper's side.
    void Added() { fCount.fetch_add(1); }
    void Finished();

private:
    std::atomic<int32> fCount{0};
    std::atomic<bool> fArmed{false};
    const int32 fResumeLevel;
    int fEvent;
};

// Holds one message's place in a backlog for as long as the message waits:
// a queue entry carries it, and however the entry goes, handled or dropped,
// the message is counted out. Move only.
class BacklogHold
{
public:
    BacklogHold() = default;
    explicit BacklogHold(const std::shared_ptr<Backlog>& backlog) : fBacklog(backlog)
    {
        if (fBacklog)
            fBacklog->Added();
    }
    BacklogHold(BacklogHold&& other) noexcept : fBacklog(std::move(other.fBacklog)) {}
    BacklogHold& operator=(BacklogHold&& other) noexcept
    {
        if (this != &other) {
            Release();
            fBacklog = std::move(other.fBacklog);
        }
        return *this;
    }
    ~BacklogHold() { Release(); }

    void Release()
    {
        if (fBacklog) {
            fBacklog->Finished();
            fBacklog.reset();
        }
    }

private:
    std::shared_ptr<Backlog> fBacklog;
};

} // namespace BPrivate
