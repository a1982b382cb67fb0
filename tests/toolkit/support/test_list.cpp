#include <List.h>

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

namespace
{
int a, b, c, d;
}

TEST(List, KeepsOrderThroughAddInsertAndRemove)
{
    BList list(2); // a small block forces several growths
    EXPECT_TRUE(list.AddItem(&a));
    EXPECT_TRUE(list.AddItem(&c));
    EXPECT_TRUE(list.AddItem(&b, 1));
    EXPECT_TRUE(list.AddItem(&d, 3));
    ASSERT_EQ(list.CountItems(), 4);
    EXPECT_EQ(list.ItemAt(0), &a);
    EXPECT_EQ(list.ItemAt(1), &b);
    EXPECT_EQ(list.ItemAt(2), &c);
    EXPECT_EQ(list.ItemAt(3), &d);
    EXPECT_EQ(list.IndexOf(&c), 2);

    EXPECT_EQ(list.RemoveItem(int32(1)), &b);
    EXPECT_TRUE(list.RemoveItem(&d));
    EXPECT_FALSE(list.RemoveItem(&d));
    ASSERT_EQ(list.CountItems(), 2);
    EXPECT_EQ(list.FirstItem(), &a);
    EXPECT_EQ(list.LastItem(), &c);
}

TEST(List, RefusesIndicesOutsideTheList)
{
    BList list;
    EXPECT_EQ(list.ItemAt(0), nullptr);
    EXPECT_EQ(list.ItemAt(-1), nullptr);
    EXPECT_EQ(list.RemoveItem(int32(0)), nullptr);
    EXPECT_FALSE(list.AddItem(&a, 1));
    EXPECT_FALSE(list.AddItem(&a, -1));
    EXPECT_FALSE(list.ReplaceItem(0, &a));
    EXPECT_EQ(list.FirstItem(), nullptr);
    EXPECT_EQ(list.IndexOf(&a), -1);
    list.AddItem(&a);
    EXPECT_EQ(list.ItemAt(1), nullptr);
    EXPECT_FALSE(list.MoveItem(0, 1));
}

TEST(List, HoldsTheSamePointerTwiceAndFindsTheFirst)
{
    BList list;
    list.AddItem(&a);
    list.AddItem(&b);
    list.AddItem(&a);
    EXPECT_EQ(list.IndexOf(&a), 0);
    EXPECT_TRUE(list.RemoveItem(&a));
    EXPECT_EQ(list.IndexOf(&a), 1);
}

TEST(List, AddsAListToItself)
{
    BList list;
    list.AddItem(&a);
    list.AddItem(&b);
    EXPECT_TRUE(list.AddList(&list));
    ASSERT_EQ(list.CountItems(), 4);
    EXPECT_EQ(list.ItemAt(2), &a);
    EXPECT_EQ(list.ItemAt(3), &b);
}

TEST(List, MovesSwapsAndSorts)
{
    BList list;
    int values[] = {3, 1, 2};
    for (int& value : values)
        list.AddItem(&value);
    list.SortItems([](const void* x, const void* y) {
        return **static_cast<int* const*>(x) - **static_cast<int* const*>(y);
    });
    EXPECT_EQ(*static_cast<int*>(list.ItemAt(0)), 1);
    EXPECT_EQ(*static_cast<int*>(list.ItemAt(2)), 3);
    EXPECT_TRUE(list.MoveItem(0, 2));
    EXPECT_EQ(*static_cast<int*>(list.ItemAt(2)), 1);
    EXPECT_TRUE(list.SwapItems(0, 2));
    EXPECT_EQ(*static_cast<int*>(list.ItemAt(0)), 1);
    list.MakeEmpty();
    EXPECT_TRUE(list.IsEmpty());
}

TEST(List, SortingWithANonsenseComparisonStaysInTheList)
{
    BList list;
    std::vector<int> values(200);
    for (size_t i = 0; i < values.size(); i++) {
        values[i] = int(i * 7919 % 200);
        list.AddItem(&values[i]);
    }
    // Claims everything is smaller than everything else.
    list.SortItems([](const void*, const void*) { return -1; });
    ASSERT_EQ(list.CountItems(), 200);
    std::vector<int> seen;
    for (int32 i = 0; i < list.CountItems(); i++)
        seen.push_back(*static_cast<int*>(list.ItemAt(i)));
    std::sort(seen.begin(), seen.end());
    for (int i = 0; i < 200; i++)
        EXPECT_EQ(seen[size_t(i)], i) << "no item lost or invented";
    // A proper comparison sorts, keeping equal items in order.
    list.SortItems([](const void* x, const void* y) {
        return *static_cast<int* const*>(x)[0] / 10 - *static_cast<int* const*>(y)[0] / 10;
    });
    for (int32 i = 1; i < list.CountItems(); i++)
        EXPECT_LE(*static_cast<int*>(list.ItemAt(i - 1)) / 10,
                  *static_cast<int*>(list.ItemAt(i)) / 10);
}
