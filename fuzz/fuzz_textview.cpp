// Random bytes through a shown text view's editing calls: inserts with
// colour runs, deletes, run changes, selections, byte caps and text
// rectangles, each followed by a redraw. The view's own bookkeeping must
// stay consistent (checked after every step) and drawing must survive it.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <Application.h>
#include <ScrollView.h>
#include <TestDriver.h>
#include <TextView.h>
#include <Window.h>

namespace
{

struct Input {
    const uint8_t* at;
    const uint8_t* end;

    bool Empty() const { return at >= end; }
    uint8_t Byte() { return at < end ? *at++ : 0; }
    // Offsets around and beyond the text, negative ones included.
    int32 Offset() { return int32(int16(uint16(Byte()) << 8 | Byte())); }
    // Up to 255 bytes of the input itself: whatever they are.
    const char* Bytes(int32* length)
    {
        int32 wanted = Byte(); // before measuring what is left
        *length = std::min<int32>(wanted, int32(end - at));
        const char* bytes = reinterpret_cast<const char*>(at);
        at += *length;
        return bytes;
    }
};

const rgb_color kColors[] = {{0, 0, 0, 255}, {200, 0, 0, 255}, {0, 0, 200, 255}, {0, 150, 0, 255}};

// Null, or runs whose offsets and colours come from the input.
text_run_array* make_runs(Input& in)
{
    int32 count = in.Byte() % 5;
    if (count == 0)
        return nullptr;
    text_run_array* runs = BTextView::AllocRunArray(count);
    for (int32 i = 0; i < count; i++) {
        runs->runs[i].offset = int32(int8(in.Byte()));
        runs->runs[i].font = *be_plain_font;
        runs->runs[i].color = kColors[in.Byte() % 4];
    }
    return runs;
}

void check(BTextView* view)
{
    int32 length = view->TextLength();
    if (length < 0 || strlen(view->Text()) != size_t(length))
        abort();
    if (view->MaxBytes() >= 0 && length > view->MaxBytes())
        abort();
    int32 start, finish;
    view->GetSelection(&start, &finish);
    if (start < 0 || start > finish || finish > length)
        abort();
    int32 lines = view->CountLines();
    if (lines < 1 || view->LineAt(length) != lines - 1 || view->OffsetAt(0) != 0)
        abort();
    for (int32 line = 1; line < lines; line++)
        if (view->OffsetAt(line) < view->OffsetAt(line - 1) || view->OffsetAt(line) > length)
            abort();
    int32 size = 0;
    text_run_array* runs = view->RunArray(0, length, &size);
    if (runs != nullptr) {
        for (int32 i = 1; i < runs->count; i++)
            if (runs->runs[i].offset <= runs->runs[i - 1].offset)
                abort();
        BTextView::FreeRunArray(runs);
    }
}

struct Fixture {
    std::unique_ptr<TestDriver> driver;
    BWindow* window = nullptr;
    BTextView* view = nullptr;

    Fixture()
    {
        driver = std::make_unique<TestDriver>(
            [] { return new BApplication("application/x-vnd.pelmor-fuzz-textview"); });
        window = new BWindow(BRect(50, 50, 349, 249), "Fuzz", B_TITLED_WINDOW, 0);
        view = new BTextView(BRect(0, 0, 285, 199), "text", BRect(2, 2, 283, 197),
                             B_FOLLOW_ALL_SIDES, B_WILL_DRAW);
        window->AddChild(new BScrollView("scroll", view, B_FOLLOW_ALL_SIDES, 0, false, true));
        window->Show();
        driver->WaitIdle();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Fixture fixture;
    Input in{data, data + size};
    fixture.driver->Locked(fixture.window, [&] {
        BTextView* view = fixture.view;
        view->SetMaxBytes(INT32_MAX);
        view->SetTextRect(BRect(2, 2, 283, 197));
        view->SetText("");
        view->MakeEditable(true);
        while (!in.Empty()) {
            int32 length;
            switch (in.Byte() % 10) {
            case 0: {
                int32 offset = in.Offset();
                text_run_array* runs = make_runs(in);
                const char* bytes = in.Bytes(&length);
                view->Insert(offset, bytes, length, runs);
                BTextView::FreeRunArray(runs);
                break;
            }
            case 1: {
                int32 start = in.Offset();
                view->Delete(start, in.Offset());
                break;
            }
            case 2: {
                int32 start = in.Offset();
                int32 end = in.Offset();
                text_run_array* runs = make_runs(in);
                view->SetRunArray(start, end, runs);
                BTextView::FreeRunArray(runs);
                break;
            }
            case 3: {
                text_run_array* runs = make_runs(in);
                const char* bytes = in.Bytes(&length);
                view->SetText(bytes, length, runs);
                BTextView::FreeRunArray(runs);
                break;
            }
            case 4: {
                int32 start = in.Offset();
                view->Select(start, in.Offset());
                break;
            }
            case 5:
                view->SetMaxBytes(in.Offset());
                break;
            case 6:
                view->SetTextRect(BRect(2, 2, 2 + int8(in.Byte()), 197));
                break;
            case 7: {
                const char* bytes = in.Bytes(&length);
                view->KeyDown(bytes, length);
                break;
            }
            case 8:
                view->ScrollToOffset(in.Offset());
                break;
            case 9: {
                view->Delete(); // the selection
                break;
            }
            }
            check(view);
        }
        view->Invalidate();
    });
    // Let the window draw what is there now.
    fixture.driver->WaitIdle();
    return 0;
}
