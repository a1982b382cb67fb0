#include "PrintLog.h"

#include <atomic>

namespace
{
std::atomic<print_recorder> sRecorder{nullptr};
}

void set_print_recorder(print_recorder recorder)
{
    sRecorder = recorder;
}

void record_print(BWindow* window, const char* text, int kind)
{
    if (print_recorder recorder = sRecorder.load())
        recorder(window, text, kind);
}
