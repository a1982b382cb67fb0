#include <DataIO.h>

#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

TEST(DataIO, MallocIOGrowsAndReadsBack)
{
    BMallocIO io;
    EXPECT_EQ(io.Write("hello", 5), 5);
    EXPECT_EQ(io.WriteAt(10, "x", 1), 1); // a gap is zero-filled
    EXPECT_EQ(io.BufferLength(), 11u);
    char buffer[16] = {};
    io.Seek(0, SEEK_SET);
    EXPECT_EQ(io.ReadExactly(buffer, 11), B_OK);
    EXPECT_EQ(memcmp(buffer, "hello\0\0\0\0\0x", 11), 0);
    EXPECT_EQ(io.Read(buffer, 1), 0);
    EXPECT_NE(io.ReadExactly(buffer, 1), B_OK);
}

TEST(DataIO, MemoryIONeverWritesPastItsBuffer)
{
    char storage[8] = {};
    BMemoryIO io(storage, 4); // the last four bytes stand guard
    EXPECT_EQ(io.Write("abcdef", 6), 4);
    EXPECT_EQ(io.Write("z", 1), 0);
    EXPECT_EQ(storage[4], 0);
    BMemoryIO readOnly(static_cast<const void*>(storage), 4);
    EXPECT_EQ(readOnly.Write("q", 1), B_NOT_ALLOWED);
    char out[4];
    EXPECT_EQ(readOnly.Read(out, sizeof(out)), 4);
    EXPECT_EQ(memcmp(out, "abcd", 4), 0);
    EXPECT_LT(io.Seek(-1, SEEK_SET), 0);
}
