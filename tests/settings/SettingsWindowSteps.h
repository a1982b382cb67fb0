#pragma once

// What a person does in the settings window, for the tests that drive it:
// headless, through the test driver, with the window's own views.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include <InterfaceDefs.h>
#include <Menu.h>
#include <MenuField.h>
#include <MenuItem.h>
#include <TabView.h>
#include <TestDriver.h>
#include <TextControl.h>
#include <TextView.h>
#include <Window.h>

namespace settings_steps
{

inline BPoint centre(BRect r)
{
    return BPoint(std::floor((r.left + r.right) / 2), std::floor((r.top + r.bottom) / 2));
}

// A click on the tab.
inline void show_tab(TestDriver& driver, BWindow* window, int32 index)
{
    auto* tabs = dynamic_cast<BTabView*>(driver.FindView(window, "tab_view"));
    ASSERT_NE(tabs, nullptr);
    driver.Click(tabs, centre(driver.Locked(window, [&] { return tabs->TabFrame(index); })));
    ASSERT_TRUE(driver.WaitIdle());
    ASSERT_EQ(driver.Locked(window, [&] { return tabs->Selection(); }), index);
}

// Replaces a field's text as typed: a click, select all, the new text.
inline void retype(TestDriver& driver, BWindow* window, const char* field, const std::string& text)
{
    auto* control = dynamic_cast<BTextControl*>(driver.FindView(window, field));
    ASSERT_NE(control, nullptr) << field;
    driver.Click(control->TextView());
    driver.Key('a', B_COMMAND_KEY);
    if (text.empty())
        driver.Key(B_BACKSPACE);
    else
        driver.Type(text);
    ASSERT_TRUE(driver.WaitIdle());
}

// Opens the "Encoding" menu with a click and clicks the item.
inline void choose_encoding(TestDriver& driver, BWindow* window, const char* label)
{
    auto* field = dynamic_cast<BMenuField*>(driver.FindView(window, "Encoding"));
    ASSERT_NE(field, nullptr);
    BRect box = driver.Locked(window, [&] {
        BRect b = field->Bounds();
        b.left = field->Divider();
        return b;
    });
    driver.Click(field, centre(box));
    ASSERT_TRUE(driver.WaitIdle());
    BWindow* menu = driver.FindWindow("en");
    ASSERT_NE(menu, nullptr);
    BMenuItem* item = driver.Locked(window, [&] { return field->Menu()->FindItem(label); });
    ASSERT_NE(item, nullptr) << label;
    driver.Click(menu, centre(driver.Locked(menu, [&] { return item->Frame(); })));
    ASSERT_TRUE(driver.WaitIdle());
}

} // namespace settings_steps
