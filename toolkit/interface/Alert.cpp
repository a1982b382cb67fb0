#include "Alert.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>

#include <AppDefs.h>
#include <DisplayServer.h>
#include <Invoker.h>
#include <MainThread.h>
#include <Message.h>

#include "View.h"

namespace BPrivate
{

// Outlives the alert, which deletes itself while Go() may still wait.
struct AlertResult {
    std::mutex lock;
    std::condition_variable chosen;
    bool done = false;
    int32 index = -1;
};

} // namespace BPrivate

namespace
{

const uint32 kButtonMessage = '_ALB';
const float kMargin = 10;
const float kStripe = 30;
const float kButtonHeight = 24;
const float kMinButtonWidth = 75;
const rgb_color kPanel = {220, 220, 220, 255};
const rgb_color kLight = {250, 250, 250, 255};
const rgb_color kDark = {150, 150, 150, 255};
const rgb_color kText = {0, 0, 0, 255};

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            return lines;
        start = end + 1;
    }
}

} // namespace

// Draws the text and the buttons, and takes the clicks and keys.
class AlertView : public BView
{
public:
    explicit AlertView(BAlert* alert, BRect frame)
        : BView(frame, "alert", B_FOLLOW_ALL_SIDES, B_WILL_DRAW), fAlert(alert)
    {
        SetViewColor(kPanel);
    }

    BRect ButtonFrame(int32 index) const
    {
        BRect bounds = Bounds();
        float right = bounds.right - kMargin;
        // Buttons stand at the bottom right, the last one rightmost.
        for (int32 i = fAlert->fButtonCount - 1; i >= 0; i--) {
            float width = ButtonWidth(i);
            BRect frame(right - width, bounds.bottom - kMargin - kButtonHeight, right,
                        bounds.bottom - kMargin);
            if (i == index)
                return frame;
            right -= width + 8;
        }
        return BRect();
    }

    float ButtonWidth(int32 index) const
    {
        return std::max(kMinButtonWidth,
                        std::ceil(StringWidth(fAlert->fLabels[index].c_str())) + 20);
    }

    void Draw(BRect) override
    {
        BRect bounds = Bounds();
        SetHighColor(kDark);
        FillRect(BRect(0, 0, kStripe - 1, bounds.bottom));
        font_height height;
        GetFontHeight(&height);
        float lineHeight = std::ceil(height.ascent + height.descent + height.leading);
        float y = kMargin + std::ceil(height.ascent);
        SetHighColor(kText);
        for (const std::string& line : lines_of(fAlert->fText)) {
            DrawString(line.c_str(), BPoint(kStripe + kMargin, y));
            y += lineHeight;
        }
        for (int32 i = 0; i < fAlert->fButtonCount; i++) {
            BRect frame = ButtonFrame(i);
            bool pressed = i == fPressed;
            SetHighColor(62, 62, 62);
            StrokeRect(frame);
            frame.InsetBy(1, 1);
            SetHighColor(pressed ? kDark : kLight);
            StrokeLine(frame.LeftBottom(), frame.LeftTop());
            StrokeLine(frame.RightTop());
            SetHighColor(pressed ? kLight : kDark);
            StrokeLine(BPoint(frame.right, frame.top + 1), frame.RightBottom());
            StrokeLine(BPoint(frame.left + 1, frame.bottom));
            const char* label = fAlert->fLabels[i].c_str();
            SetHighColor(kText);
            DrawString(label,
                       BPoint(std::floor((frame.left + frame.right - StringWidth(label)) / 2),
                              std::floor((frame.top + frame.bottom) / 2 +
                                         (height.ascent - height.descent) / 2)));
        }
    }

    void MouseDown(BPoint where) override
    {
        for (int32 i = 0; i < fAlert->fButtonCount; i++) {
            if (ButtonFrame(i).Contains(where)) {
                fPressed = i;
                Invalidate();
                return;
            }
        }
    }

    void MouseUp(BPoint where) override
    {
        int32 pressed = fPressed;
        fPressed = -1;
        Invalidate();
        if (pressed >= 0 && ButtonFrame(pressed).Contains(where))
            fAlert->Choose(pressed);
    }

    void KeyDown(const char* bytes, int32 numBytes) override
    {
        if (numBytes != 1)
            return;
        if (bytes[0] == B_ENTER) {
            fAlert->Choose(fAlert->fButtonCount - 1); // the rightmost is the default
            return;
        }
        for (int32 i = 0; i < fAlert->fButtonCount; i++) {
            if (fAlert->fShortcuts[i] != 0 && fAlert->fShortcuts[i] == bytes[0]) {
                fAlert->Choose(i);
                return;
            }
        }
    }

private:
    BAlert* fAlert;
    int32 fPressed = -1;
};

BAlert::BAlert(const char* title, const char* text, const char* button0, const char* button1,
               const char* button2, button_width, alert_type type)
    : BWindow(BRect(100, 100, 400, 200), title, B_MODAL_WINDOW_LOOK, B_MODAL_APP_WINDOW_FEEL,
              B_NOT_RESIZABLE | B_NOT_ZOOMABLE | B_NOT_CLOSABLE),
      fText(text != nullptr ? text : ""), fShortcuts{0, 0, 0}, fButtonCount(0), fType(type),
      fResult(std::make_shared<BPrivate::AlertResult>()), fInvoker(nullptr)
{
    for (const char* label : {button0, button1, button2}) {
        if (label == nullptr)
            break;
        fLabels[fButtonCount++] = label;
    }
    if (fButtonCount == 0)
        fLabels[fButtonCount++] = "OK";

    // Size the window to the text and the buttons.
    BFont font(be_plain_font);
    font_height height;
    font.GetHeight(&height);
    float lineHeight = std::ceil(height.ascent + height.descent + height.leading);
    std::vector<std::string> lines = lines_of(fText);
    float textWidth = 0;
    for (const std::string& line : lines)
        textWidth = std::max(textWidth, font.StringWidth(line.c_str()));
    float buttonsWidth = 0;
    for (int32 i = 0; i < fButtonCount; i++)
        buttonsWidth +=
            std::max(kMinButtonWidth, std::ceil(font.StringWidth(fLabels[i].c_str())) + 20) + 8;
    float width = std::max({310.0f, kStripe + 2 * kMargin + std::ceil(textWidth),
                            kStripe + kMargin + buttonsWidth + kMargin});
    float heightTotal =
        kMargin + lineHeight * float(lines.size()) + kMargin + kButtonHeight + kMargin;
    ResizeTo(width, std::max(heightTotal, 80.0f));

    AlertView* view = new AlertView(this, Bounds());
    AddChild(view);
    view->MakeFocus(true);
}

BAlert::~BAlert()
{
    // Gone without a button: whoever waits stops waiting.
    std::lock_guard<std::mutex> lock(fResult->lock);
    if (!fResult->done) {
        fResult->done = true;
        fResult->chosen.notify_all();
    }
}

const char* BAlert::ButtonLabel(int32 index) const
{
    if (index < 0 || index >= fButtonCount)
        return nullptr;
    return fLabels[index].c_str();
}

void BAlert::SetShortcut(int32 index, char key)
{
    if (index >= 0 && index < 3)
        fShortcuts[index] = key;
}

void BAlert::Choose(int32 index)
{
    BMessage message(kButtonMessage);
    message.AddInt32("which", index);
    PostMessage(&message);
}

void BAlert::MessageReceived(BMessage* message)
{
    if (message->what != kButtonMessage) {
        BWindow::MessageReceived(message);
        return;
    }
    int32 index = -1;
    message->FindInt32("which", &index);
    if (fInvoker != nullptr) {
        BMessage copy(fInvoker->Message() != nullptr ? *fInvoker->Message() : BMessage());
        copy.AddInt32("which", index);
        fInvoker->Invoke(&copy);
        delete fInvoker;
        fInvoker = nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(fResult->lock);
        fResult->index = index;
        fResult->done = true;
        fResult->chosen.notify_all();
    }
    Quit();
}

int32 BAlert::Go()
{
    // Centred on the screen, as alerts are.
    BRect screen = BPrivate::DisplayServer::Get() != nullptr
                       ? BPrivate::DisplayServer::Get()->ScreenFrame(BPoint(0, 0))
                       : BRect(0, 0, 1023, 767);
    MoveTo(std::floor((screen.Width() - Frame().Width()) / 2),
           std::floor((screen.Height() - Frame().Height()) / 3));
    std::shared_ptr<BPrivate::AlertResult> result = fResult;
    Show();
    // From here on the alert may delete itself at any moment.
    if (BPrivate::is_main_thread()) {
        // Nobody else serves the display: the caller does, until the
        // button is pressed (before or after the application runs).
        BPrivate::run_main_loop([&] {
            std::lock_guard<std::mutex> lock(result->lock);
            return result->done;
        });
    }
    std::unique_lock<std::mutex> lock(result->lock);
    result->chosen.wait(lock, [&] { return result->done; });
    return result->index;
}

status_t BAlert::Go(BInvoker* invoker)
{
    fInvoker = invoker;
    BRect screen = BPrivate::DisplayServer::Get() != nullptr
                       ? BPrivate::DisplayServer::Get()->ScreenFrame(BPoint(0, 0))
                       : BRect(0, 0, 1023, 767);
    MoveTo(std::floor((screen.Width() - Frame().Width()) / 2),
           std::floor((screen.Height() - Frame().Height()) / 3));
    Show();
    return B_OK;
}
