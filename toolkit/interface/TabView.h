#pragma once

// Pages of views, one shown at a time, chosen by their tabs.
//
// Only the selected page is attached to the window: switching tabs removes
// the page that was shown (its DetachedFromWindow runs) and adds the new
// one. The tab view owns every page and deletes them when it goes.

#include <string>
#include <vector>

#include <Alert.h>
#include <View.h>

class BTabView;

class BTab
{
public:
    explicit BTab(BView* contents = nullptr);
    virtual ~BTab();

    const char* Label() const;
    virtual void SetLabel(const char* label);
    bool IsSelected() const { return fSelected; }
    virtual void Select(BView* owner);
    virtual void Deselect();
    virtual void SetEnabled(bool enabled) { fEnabled = enabled; }
    bool IsEnabled() const { return fEnabled; }
    // The page; the tab owns it.
    virtual void SetView(BView* contents);
    BView* View() const { return fView; }

private:
    friend class BTabView;

    BView* fView;
    std::string fLabel;
    bool fHasLabel;
    bool fSelected;
    bool fEnabled;
    BTabView* fOwner;
};

class BTabView : public BView
{
public:
    BTabView(BRect frame, const char* name, button_width width = B_WIDTH_AS_USUAL,
             uint32 resizingMode = B_FOLLOW_ALL_SIDES,
             uint32 flags = B_FULL_UPDATE_ON_RESIZE | B_WILL_DRAW | B_NAVIGABLE_JUMP |
                            B_FRAME_EVENTS | B_NAVIGABLE);
    ~BTabView() override;

    void AttachedToWindow() override;
    void Draw(BRect updateRect) override;
    void MouseDown(BPoint where) override;
    void KeyDown(const char* bytes, int32 numBytes) override;
    void FrameResized(float width, float height) override;

    // Adds a page; without a tab object the tab is labelled with the
    // page's name.
    virtual void AddTab(BView* target, BTab* tab = nullptr);
    virtual BTab* RemoveTab(int32 index);
    virtual void Select(int32 index);
    int32 Selection() const { return fSelection; }
    BTab* TabAt(int32 index) const;
    int32 CountTabs() const { return int32(fTabs.size()); }
    BView* ViewForTab(int32 index) const;
    BRect TabFrame(int32 index) const;
    float TabHeight() const { return fTabHeight; }
    void SetTabHeight(float height);
    BView* ContainerView() const { return fContainer; }

private:
    std::vector<BTab*> fTabs;
    int32 fSelection;
    float fTabHeight;
    BView* fContainer;
};
