#pragma once

// The content of a server window: the server's text with its input line
// on the left, the channel list of the last /LIST on the right with a
// progress bar that runs while the list arrives, and a splitter between
// them that can be dragged. A secondary click in the list offers to join
// the selected channel or to load the list again.

#include <View.h>

class ServerView : public BView
{
public:
    // Adds itself to `window`, then builds its children.
    ServerView(BWindow* window, BRect frame);
    ~ServerView() override;

    void MessageReceived(BMessage* message) override;
    void AttachedToWindow() override;
    void DetachedFromWindow() override;
    void Draw(BRect update) override;
    void MouseDown(BPoint where) override;
    void FrameResized(float width, float height) override;

    void AddItem(char* name);
    void RemoveAll();
    // 1 (or more) shows the bar, 0 hides it.
    void ActivateProgress(int32 on);
    void ProgressStep();

private:
    BRect splitter() const;

    int32 m_progress;
    int32 m_steps;
};
