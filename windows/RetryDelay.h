#pragma once

// The waits between a server window's attempts to connect again: the first
// wait, then twice the one before, up to 60 times the first (5 s to 5
// minutes), and back to the first once a connection has registered.

#include <string>

#include <OS.h>

class RetryDelay
{
public:
    enum { kLongestInFirsts = 60 };

    explicit RetryDelay(bigtime_t first) : fFirst(first), fNext(first) {}

    // The wait to use now; the next one doubles.
    bigtime_t Next()
    {
        bigtime_t delay = fNext;
        fNext = delay * 2 < fFirst * kLongestInFirsts ? delay * 2 : fFirst * kLongestInFirsts;
        return delay;
    }
    void Reset(bigtime_t first)
    {
        fFirst = first;
        fNext = first;
    }

private:
    bigtime_t fFirst;
    bigtime_t fNext;
};

// "5 s", "5 min", "0.3 s": a wait as the status line names it.
std::string delay_text(bigtime_t delay);
