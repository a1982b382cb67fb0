#include "PopUpMenu.h"

#include <chrono>

#include <Application.h>

#include "MenuItem.h"
#include "MenuPrivate.h"

using namespace BPrivate;

namespace
{

using Guard = std::lock_guard<std::recursive_mutex>;

// How often a waiting Go() makes sure its menu's window still exists.
const auto kWaitCheck = std::chrono::milliseconds(100);

} // namespace

BPopUpMenu::BPopUpMenu(const char* name, bool radioMode, bool autoRename, menu_layout layout)
    : BMenu(name, layout)
{
    if (radioMode)
        SetRadioMode(true);
    if (autoRename)
        SetLabelFromMarked(true);
}

BPopUpMenu::~BPopUpMenu()
{
    LeaveMenuWindow();
}

BMenuItem* BPopUpMenu::Go(BPoint screenWhere, bool deliversMessage, bool openAnyway,
                          bool asynchronous)
{
    return GoAt(screenWhere, deliversMessage, openAnyway, nullptr, asynchronous);
}

BMenuItem* BPopUpMenu::Go(BPoint screenWhere, bool deliversMessage, bool openAnyway,
                          BRect clickToOpen, bool asynchronous)
{
    return GoAt(screenWhere, deliversMessage, openAnyway, &clickToOpen, asynchronous);
}

BMenuItem* BPopUpMenu::GoAt(BPoint where, bool deliversMessage, bool openAnyway,
                            const BRect* clickToOpen, bool asynchronous)
{
    BRect screen = screen_frame(where);
    BPoint pointer;
    uint32 buttons;
    pointer_state(&pointer, &buttons);
    auto tracking = std::make_shared<MenuTracking>();
    {
        Guard guard(menu_lock());
        if (fTracking && !fTracking->done)
            return nullptr; // open already
        tracking->root = this;
        tracking->deliver = deliversMessage;
        tracking->screen = screen;
        if (clickToOpen != nullptr)
            tracking->clickToOpen = *clickToOpen;
        tracking->sticky = buttons == 0;
        tracking->lastButtons = buttons;
        tracking->lastPointer = pointer;
        tracking->openedAt = pointer;
        // Items without a target speak to whoever opened the menu.
        if (RootMenu() == this && !fOwner.IsValid()) {
            BLooper* looper = BLooper::LooperForThread(find_thread(nullptr));
            fDefaultTarget = looper != nullptr ? BMessenger(looper) : be_app_messenger;
        }
        if (buttons == 0 && !openAnyway) {
            // The press that was to open it is over, and not on an item.
            LayoutItems();
            BMenuItem* item = ItemAtPoint(pointer - where);
            if (item == nullptr || item->Submenu() != nullptr || !IsChoosable(item))
                return nullptr;
        }
        tracking->OpenMenu(this, where, 0);
        if (tracking->open.empty())
            return nullptr;
    }
    if (asynchronous)
        return nullptr;

    for (;;) {
        {
            std::unique_lock<std::mutex> lock(tracking->waitLock);
            if (tracking->finishedChanged.wait_for(lock, kWaitCheck,
                                                   [&] { return tracking->finished; }))
                break;
        }
        // The window may have gone with the application: give up then.
        Guard guard(menu_lock());
        if (!tracking->done && fMenuWindow == nullptr)
            tracking->End(nullptr);
    }
    Guard guard(menu_lock());
    return tracking->chosen;
}
