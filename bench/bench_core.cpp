// The toolkit's core without a display: messages handed between two
// loopers, and the settings message flattened and read back.
//
// Baselines, each measured in the same run:
// - for the loopers, a std::mutex + std::condition_variable queue handing
//   the same number of items with the same two fields between two threads.
//   That is the primitive a looper's queue is built on, so the ratio is
//   what the message layer adds on top of it: copying each message into the
//   queue, looking the looper up, its lock, and the dispatch to a handler.
// - for the settings, copy-constructing the default settings message. A
//   message keeps its fields in one block, so a copy is one allocation and
//   one copy of that block: the ratios are what encoding each field to the
//   byte format, and checking and decoding it back, cost beyond moving the
//   same bytes.

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <Looper.h>
#include <Message.h>
#include <Prefs.h>
#include <SettingsAlert.h>

#include "BenchReport.h"

namespace
{

using benchmark::Counter;

const int kMessages = 100000;
const uint32 kItem = 'item';
const uint32 kSend = 'send';
// Long enough that neither a BMessage nor a std::string keeps it inline.
const char kText[] = "a line of text as a window gets";
const auto kWaitLimit = std::chrono::seconds(60);

// -- messages between two loopers ----------------------------------------------

// Counts the items it handles and checks their fields; wakes the benchmark
// when the expected number has arrived.
class CountingLooper : public BLooper
{
public:
    CountingLooper() : BLooper("counter") {}

    void Expect(int64 count)
    {
        std::lock_guard<std::mutex> lock(fLock);
        fExpected = count;
        fCount = 0;
        fIndexSum = 0;
        fBadFields = 0;
    }

    void MessageReceived(BMessage* message) override
    {
        if (message->what != kItem) {
            BLooper::MessageReceived(message);
            return;
        }
        int32 index = -1;
        const char* text = nullptr;
        bool whole = message->FindInt32("index", &index) == B_OK &&
                     message->FindString("text", &text) == B_OK && strcmp(text, kText) == 0;
        std::lock_guard<std::mutex> lock(fLock);
        fIndexSum += index;
        fBadFields += whole ? 0 : 1;
        if (++fCount == fExpected)
            fDone.notify_all();
    }

    // False when the items did not all arrive in time, or arrived damaged.
    bool Wait()
    {
        std::unique_lock<std::mutex> lock(fLock);
        if (!fDone.wait_for(lock, kWaitLimit, [this] { return fCount >= fExpected; }))
            return false;
        return fBadFields == 0 && fIndexSum == fExpected * (fExpected - 1) / 2;
    }

private:
    std::mutex fLock;
    std::condition_variable fDone;
    int64 fExpected = 0;
    int64 fCount = 0;
    int64 fIndexSum = 0;
    int64 fBadFields = 0;
};

// On kSend, posts "count" items to the looper in "target", as a window's
// or the engine's thread posts to another looper.
class PostingLooper : public BLooper
{
public:
    PostingLooper() : BLooper("poster") {}

    void MessageReceived(BMessage* message) override
    {
        BLooper* target = nullptr;
        int32 count = 0;
        if (message->what != kSend ||
            message->FindPointer("target", reinterpret_cast<void**>(&target)) != B_OK ||
            message->FindInt32("count", &count) != B_OK) {
            BLooper::MessageReceived(message);
            return;
        }
        for (int32 i = 0; i < count; i++) {
            BMessage item(kItem);
            item.AddInt32("index", i);
            item.AddString("text", kText);
            target->PostMessage(&item);
        }
    }
};

void BM_LooperToLooper(benchmark::State& state)
{
    auto* counter = new CountingLooper;
    auto* poster = new PostingLooper;
    counter->Run();
    poster->Run();
    for (auto _ : state) {
        counter->Expect(kMessages);
        BMessage send(kSend);
        send.AddPointer("target", counter);
        send.AddInt32("count", kMessages);
        poster->PostMessage(&send);
        if (!counter->Wait()) {
            state.SkipWithError("items lost, late or damaged");
            break;
        }
    }
    state.counters["msgs/s"] = Counter(double(state.iterations()) * kMessages, Counter::kIsRate);
    // Quit from another thread waits for the loop to end; then each looper
    // deletes itself.
    poster->Lock();
    poster->Quit();
    counter->Lock();
    counter->Quit();
}
BENCHMARK(BM_LooperToLooper)->UseRealTime()->Unit(benchmark::kMillisecond);

// The same handoff on the bare primitive.
struct Item {
    int32 index;
    std::string text;
};

void BM_MutexQueueBaseline(benchmark::State& state)
{
    std::mutex lock;
    std::condition_variable arrived;
    std::deque<Item> queue;
    for (auto _ : state) {
        std::thread producer([&] {
            for (int32 i = 0; i < kMessages; i++) {
                Item item{i, kText};
                std::lock_guard<std::mutex> guard(lock);
                queue.push_back(std::move(item));
                arrived.notify_one();
            }
        });
        int64 indexSum = 0;
        int64 badFields = 0;
        for (int32 received = 0; received < kMessages; received++) {
            Item item;
            {
                std::unique_lock<std::mutex> guard(lock);
                arrived.wait(guard, [&] { return !queue.empty(); });
                item = std::move(queue.front());
                queue.pop_front();
            }
            indexSum += item.index;
            badFields += item.text == kText ? 0 : 1;
        }
        producer.join();
        if (badFields != 0 || indexSum != int64(kMessages) * (kMessages - 1) / 2) {
            state.SkipWithError("items lost or damaged");
            break;
        }
    }
    state.counters["msgs/s"] = Counter(double(state.iterations()) * kMessages, Counter::kIsRate);
}
BENCHMARK(BM_MutexQueueBaseline)->UseRealTime()->Unit(benchmark::kMillisecond);

// -- the settings message ----------------------------------------------------------

void quiet(const char*) {}

// The settings store's own defaults: a store without a file starts from
// them. It has nowhere to write them back, which it would report on going.
BMessage default_settings()
{
    BMessage defaults;
    {
        set_settings_alert_handler(quiet);
        Prefs prefs(nullptr, nullptr);
        prefs.Lock();
        defaults = *prefs.GetMsg();
        prefs.Unlock();
    }
    set_settings_alert_handler(nullptr);
    return defaults;
}

std::vector<char> flatten(const BMessage& message)
{
    std::vector<char> flat(size_t(message.FlattenedSize()));
    if (message.Flatten(flat.data(), ssize_t(flat.size())) != B_OK)
        flat.clear();
    return flat;
}

void BM_SettingsFlatten(benchmark::State& state)
{
    BMessage defaults = default_settings();
    std::vector<char> flat = flatten(defaults);
    if (flat.empty() || defaults.IsEmpty()) {
        state.SkipWithError("the defaults do not flatten");
        return;
    }
    std::vector<char> buffer(flat.size());
    for (auto _ : state) {
        // As the store writes it: size first, then the bytes.
        ssize_t size = defaults.FlattenedSize();
        status_t status = defaults.Flatten(buffer.data(), size);
        benchmark::DoNotOptimize(status);
        benchmark::ClobberMemory();
    }
    if (buffer != flat)
        state.SkipWithError("flattened differently");
    state.counters["ops/s"] = Counter(double(state.iterations()), Counter::kIsRate);
    state.counters["bytes"] = double(flat.size());
}
BENCHMARK(BM_SettingsFlatten);

void BM_SettingsUnflatten(benchmark::State& state)
{
    BMessage defaults = default_settings();
    std::vector<char> flat = flatten(defaults);
    if (flat.empty() || defaults.IsEmpty()) {
        state.SkipWithError("the defaults do not flatten");
        return;
    }
    for (auto _ : state) {
        BMessage read;
        if (read.Unflatten(flat.data(), ssize_t(flat.size())) != B_OK) {
            state.SkipWithError("Unflatten refused the defaults");
            break;
        }
        benchmark::DoNotOptimize(read);
    }
    // What was read back must be the same message.
    BMessage read;
    if (read.Unflatten(flat.data(), ssize_t(flat.size())) != B_OK || flatten(read) != flat)
        state.SkipWithError("read back differently");
    state.counters["ops/s"] = Counter(double(state.iterations()), Counter::kIsRate);
}
BENCHMARK(BM_SettingsUnflatten);

void BM_SettingsCopyBaseline(benchmark::State& state)
{
    BMessage defaults = default_settings();
    for (auto _ : state) {
        BMessage copy(defaults);
        benchmark::DoNotOptimize(copy);
    }
    state.counters["ops/s"] = Counter(double(state.iterations()), Counter::kIsRate);
}
BENCHMARK(BM_SettingsCopyBaseline);

bool summarize(const bench::KeepingReporter& reporter)
{
    double looper = reporter.Counter("BM_LooperToLooper", "msgs/s");
    double queue = reporter.Counter("BM_MutexQueueBaseline", "msgs/s");
    double flatten = reporter.Counter("BM_SettingsFlatten", "ops/s");
    double unflatten = reporter.Counter("BM_SettingsUnflatten", "ops/s");
    double copy = reporter.Counter("BM_SettingsCopyBaseline", "ops/s");
    double bytes = reporter.Counter("BM_SettingsFlatten", "bytes");

    printf("  messages between two threads, %d per round, fields int32 + string:\n", kMessages);
    bench::report_rate("looper to looper", looper, "msgs/s", queue, "the queue");
    bench::report_rate("mutex + condvar queue (baseline)", queue, "msgs/s");
    if (bytes > 0)
        printf("  default settings message (%.0f bytes flattened):\n", bytes);
    else
        printf("  default settings message:\n");
    bench::report_rate("Flatten", flatten, "/s", copy, "a copy");
    bench::report_rate("Unflatten", unflatten, "/s", copy, "a copy");
    bench::report_rate("copy-construct (baseline)", copy, "/s");
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    return bench::run_benchmarks(argc, argv, summarize);
}
