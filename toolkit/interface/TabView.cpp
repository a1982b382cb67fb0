#include "TabView.h"

#include <cmath>

#include "ControlLook.h"
#include "Window.h"

using namespace BPrivate;

namespace
{

const float kTabPadding = 16;
const float kMinTabWidth = 60;

float font_line(const BView* view)
{
    font_height metrics;
    view->GetFontHeight(&metrics);
    return std::ceil(metrics.ascent + metrics.descent + metrics.leading);
}

} // namespace

// -- BTab ----------------------------------------------------------------------------------

BTab::BTab(BView* contents)
    : fView(contents), fHasLabel(false), fSelected(false), fEnabled(true), fOwner(nullptr)
{
}

BTab::~BTab()
{
    if (fView != nullptr) {
        fView->RemoveSelf();
        delete fView;
    }
}

const char* BTab::Label() const
{
    if (fHasLabel)
        return fLabel.c_str();
    return fView != nullptr ? fView->Name() : nullptr;
}

void BTab::SetLabel(const char* label)
{
    fLabel = label != nullptr ? label : "";
    fHasLabel = label != nullptr;
    if (fOwner != nullptr)
        fOwner->Invalidate();
}

void BTab::Select(BView* owner)
{
    fSelected = true;
    if (fView != nullptr && owner != nullptr && fView->Parent() != owner)
        owner->AddChild(fView);
}

void BTab::Deselect()
{
    fSelected = false;
    if (fView != nullptr)
        fView->RemoveSelf();
}

void BTab::SetView(BView* contents)
{
    if (contents == fView)
        return;
    BView* parent = fView != nullptr ? fView->Parent() : nullptr;
    if (fView != nullptr) {
        fView->RemoveSelf();
        delete fView;
    }
    fView = contents;
    if (parent != nullptr && fView != nullptr)
        parent->AddChild(fView);
}

// -- BTabView -------------------------------------------------------------------------------

BTabView::BTabView(BRect frame, const char* name, button_width, uint32 resizingMode, uint32 flags)
    : BView(frame, name, resizingMode, flags), fSelection(-1), fContainer(nullptr)
{
    SetViewColor(kPanelColor);
    SetLowColor(kPanelColor);
    fTabHeight = font_line(this) + 10;
    BRect bounds = Bounds();
    fContainer = new BView(BRect(0, fTabHeight, bounds.right, bounds.bottom), "view container",
                           B_FOLLOW_ALL_SIDES, B_WILL_DRAW);
    fContainer->SetViewColor(B_TRANSPARENT_COLOR);
    AddChild(fContainer);
}

BTabView::~BTabView()
{
    for (BTab* tab : fTabs)
        delete tab;
}

void BTabView::AttachedToWindow()
{
    BView::AttachedToWindow();
    if (fSelection < 0 && !fTabs.empty())
        Select(0);
}

BRect BTabView::TabFrame(int32 index) const
{
    if (index < 0 || index >= CountTabs())
        return BRect();
    float left = 4;
    for (int32 i = 0; i < CountTabs(); i++) {
        const char* label = fTabs[size_t(i)]->Label();
        float width = std::max(kMinTabWidth,
                               std::ceil(StringWidth(label != nullptr ? label : "")) + kTabPadding);
        if (i == index)
            return BRect(left, 0, left + width, fTabHeight - 1);
        left += width + 1;
    }
    return BRect();
}

void BTabView::SetTabHeight(float height)
{
    fTabHeight = std::max(4.0f, std::round(height));
    BRect bounds = Bounds();
    fContainer->MoveTo(0, fTabHeight);
    fContainer->ResizeTo(bounds.Width(), std::max(0.0f, bounds.Height() - fTabHeight));
    Invalidate();
}

void BTabView::AddTab(BView* target, BTab* tab)
{
    if (tab == nullptr)
        tab = new BTab(target);
    else if (target != nullptr)
        tab->SetView(target);
    tab->fOwner = this;
    if (tab->View() != nullptr)
        tab->View()->RemoveSelf();
    fTabs.push_back(tab);
    if (Window() != nullptr && fSelection < 0)
        Select(0);
    Invalidate();
}

BTab* BTabView::RemoveTab(int32 index)
{
    if (index < 0 || index >= CountTabs())
        return nullptr;
    BTab* tab = fTabs[size_t(index)];
    if (index == fSelection) {
        tab->Deselect();
        fSelection = -1;
    } else if (index < fSelection) {
        fSelection--;
    }
    fTabs.erase(fTabs.begin() + index);
    tab->fOwner = nullptr;
    if (fSelection < 0 && !fTabs.empty() && Window() != nullptr)
        Select(std::min<int32>(index, CountTabs() - 1));
    Invalidate();
    return tab;
}

void BTabView::Select(int32 index)
{
    if (index < 0 || index >= CountTabs() || index == fSelection ||
        !fTabs[size_t(index)]->IsEnabled())
        return;
    if (fSelection >= 0)
        fTabs[size_t(fSelection)]->Deselect(); // the page leaves the window
    fSelection = index;
    BTab* tab = fTabs[size_t(index)];
    tab->Select(fContainer);
    Invalidate(BRect(0, 0, Bounds().right, fTabHeight));
}

BTab* BTabView::TabAt(int32 index) const
{
    if (index < 0 || index >= CountTabs())
        return nullptr;
    return fTabs[size_t(index)];
}

BView* BTabView::ViewForTab(int32 index) const
{
    BTab* tab = TabAt(index);
    return tab != nullptr ? tab->View() : nullptr;
}

void BTabView::FrameResized(float, float)
{
    Invalidate();
}

void BTabView::Draw(BRect)
{
    BRect bounds = Bounds();
    // The page's frame, raised, joining the selected tab.
    draw_bevel(this, BRect(0, fTabHeight - 1, bounds.right, bounds.bottom), false);
    font_height metrics;
    GetFontHeight(&metrics);
    for (int32 i = 0; i < CountTabs(); i++) {
        BRect tab = TabFrame(i);
        bool selected = i == fSelection;
        if (!selected)
            tab.top += 2;
        SetHighColor(selected ? kPanelColor : rgb_color{205, 205, 205, 255});
        FillRect(BRect(tab.left + 1, tab.top + 1, tab.right - 1, tab.bottom));
        SetHighColor(kLightColor);
        StrokeLine(BPoint(tab.left, tab.bottom), BPoint(tab.left, tab.top));
        StrokeLine(BPoint(tab.right - 1, tab.top));
        SetHighColor(kDarkColor);
        StrokeLine(BPoint(tab.right, tab.top + 1), BPoint(tab.right, tab.bottom));
        if (selected) {
            // Open at the bottom: the tab and its page are one surface.
            SetHighColor(ViewColor());
            StrokeLine(BPoint(tab.left + 1, fTabHeight - 1), BPoint(tab.right - 1, fTabHeight - 1));
        }
        const char* label = fTabs[size_t(i)]->Label();
        draw_centred_label(this, tab, label, fTabs[size_t(i)]->IsEnabled());
        if (selected && IsFocus() && Window() != nullptr && Window()->IsActive()) {
            SetHighColor(kFocusColor);
            float width = StringWidth(label != nullptr ? label : "");
            float x = std::floor((tab.left + tab.right - width) / 2);
            float y = tab.bottom - 3;
            StrokeLine(BPoint(x, y), BPoint(x + width, y));
        }
    }
}

void BTabView::MouseDown(BPoint where)
{
    for (int32 i = 0; i < CountTabs(); i++) {
        if (TabFrame(i).Contains(where)) {
            Select(i);
            return;
        }
    }
}

void BTabView::KeyDown(const char* bytes, int32 numBytes)
{
    if (numBytes == 1 && bytes[0] == B_LEFT_ARROW) {
        Select(fSelection - 1);
        return;
    }
    if (numBytes == 1 && bytes[0] == B_RIGHT_ARROW) {
        Select(fSelection + 1);
        return;
    }
    BView::KeyDown(bytes, numBytes);
}
