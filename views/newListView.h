#pragma once

// The list of the user list and the channel list: a BListView that also
// tells the view holding its scroll view of secondary-button presses
// ('mdn' with "mouse"), after selecting the row under them.

#include <ListView.h>

class newListView : public BListView
{
public:
    newListView(BRect frame, const char* name, list_view_type type, uint32 resizingMode,
                uint32 flags);
    ~newListView() override;

    void MouseDown(BPoint where) override;
};
