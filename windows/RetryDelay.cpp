#include "RetryDelay.h"

#include <cstdio>

std::string delay_text(bigtime_t delay)
{
    char text[32];
    if (delay >= 60000000 && delay % 60000000 == 0)
        snprintf(text, sizeof(text), "%lld min", static_cast<long long>(delay / 60000000));
    else
        snprintf(text, sizeof(text), "%g s", double(delay) / 1000000);
    return text;
}
