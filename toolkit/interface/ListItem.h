#pragma once

// One row of a list view.
//
// An item knows its height, its selected and enabled state and its outline
// level; the list view asks it to draw itself in the row's frame. Update()
// sizes it for the list's font and width; the list calls it when the item
// is added and whenever the font or the window changes. A row's frame is
// Height() high in the toolkit's inclusive coordinates: it covers
// Height() + 1 pixel rows, and the next row starts under it.

#include <string>

#include <Rect.h>
#include <SupportDefs.h>

class BFont;
class BView;

class BListItem
{
public:
    BListItem(uint32 outlineLevel = 0, bool expanded = true);
    virtual ~BListItem();

    // Draws the row. The list has painted its view colour behind it
    // already unless `complete` asks for the whole frame.
    virtual void DrawItem(BView* owner, BRect frame, bool complete = false);
    // Height from the font (a line and a little room), width from the owner.
    virtual void Update(BView* owner, const BFont* font);

    float Height() const { return fHeight; }
    float Width() const { return fWidth; }
    void SetHeight(float height);
    void SetWidth(float width);

    bool IsSelected() const { return fSelected; }
    void Select() { fSelected = true; }
    void Deselect() { fSelected = false; }
    virtual void SetEnabled(bool enabled) { fEnabled = enabled; }
    bool IsEnabled() const { return fEnabled; }

    uint32 OutlineLevel() const { return fOutlineLevel; }
    void SetExpanded(bool expanded) { fExpanded = expanded; }
    bool IsExpanded() const { return fExpanded; }

    BListItem(const BListItem&) = delete;
    BListItem& operator=(const BListItem&) = delete;

private:
    float fHeight;
    float fWidth;
    uint32 fOutlineLevel;
    bool fSelected;
    bool fEnabled;
    bool fExpanded;
};

// A row that shows one line of text.
class BStringItem : public BListItem
{
public:
    explicit BStringItem(const char* text, uint32 outlineLevel = 0, bool expanded = true);
    ~BStringItem() override;

    // The text in the owner's font and high colour (grey when disabled),
    // on the selection colour when selected.
    void DrawItem(BView* owner, BRect frame, bool complete = false) override;

    // A copy is kept; null stays null.
    virtual void SetText(const char* text);
    const char* Text() const { return fHasText ? fText.c_str() : nullptr; }

private:
    std::string fText;
    bool fHasText;
};
