#include "xiofile.h"
#include "xmemfile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

TEST(CxMemFile, ReadsWithinTheLogicalSizeAndCountsWholeItems)
{
    std::uint8_t data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    CxMemFile file(data, sizeof(data));
    std::uint8_t out[8] = {};
    EXPECT_EQ(file.Read(out, 4, 2), 2u);
    EXPECT_EQ(file.Tell(), 8);
    // Two bytes left: no whole 4-byte item, but the bytes are consumed.
    EXPECT_EQ(file.Read(out, 4, 1), 0u);
    EXPECT_EQ(out[0], 8);
    EXPECT_TRUE(file.Eof());
    EXPECT_EQ(file.GetC(), -1);
    // Past the end reads nothing and reports the error state.
    ASSERT_TRUE(file.Seek(5, SEEK_END));
    EXPECT_EQ(file.Read(out, 1, 1), 0u);
    EXPECT_NE(file.Error(), 0);
    EXPECT_TRUE(file.Eof());
}

TEST(CxMemFile, SeekRejectsNegativePositionsAndUnknownOrigins)
{
    std::uint8_t data[4] = {};
    CxMemFile file(data, sizeof(data));
    EXPECT_FALSE(file.Seek(-1, SEEK_SET));
    EXPECT_TRUE(file.Seek(2, SEEK_SET));
    EXPECT_FALSE(file.Seek(-3, SEEK_CUR));
    EXPECT_TRUE(file.Seek(-4, SEEK_END));
    EXPECT_EQ(file.Tell(), 0);
    EXPECT_FALSE(file.Seek(0, 7));
    EXPECT_EQ(file.Size(), 4);
}

TEST(CxMemFile, WithoutABufferReportsTheEdgeValues)
{
    CxMemFile file;
    EXPECT_EQ(file.Tell(), -1);
    EXPECT_EQ(file.Size(), -1);
    EXPECT_TRUE(file.Eof());
    EXPECT_EQ(file.GetC(), -1);
    std::uint8_t byte;
    EXPECT_EQ(file.Read(&byte, 1, 1), 0u);
    EXPECT_TRUE(file.Open());
    EXPECT_FALSE(file.Open());
    EXPECT_EQ(file.Size(), 0);
    EXPECT_EQ(file.Tell(), 0);
}

TEST(CxMemFile, WriteGrowsAnOwnedBufferAndDetachHandsItOver)
{
    CxMemFile file;
    ASSERT_TRUE(file.Open());
    std::vector<std::uint8_t> block(5000, 0xAB);
    EXPECT_EQ(file.Write(block.data(), 1000, 5), 5u);
    EXPECT_EQ(file.Size(), 5000);
    EXPECT_TRUE(file.PutC(0x11));
    EXPECT_EQ(file.Size(), 5001);
    // Overwriting inside the file does not change its size.
    ASSERT_TRUE(file.Seek(0, SEEK_SET));
    EXPECT_EQ(file.Write("xy", 1, 2), 2u);
    EXPECT_EQ(file.Size(), 5001);
    std::uint8_t* buffer = file.GetBuffer(true);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(buffer[4999], 0xAB);
    EXPECT_EQ(buffer[5000], 0x11);
    std::free(buffer); // detached: the file no longer frees it
}

TEST(CxMemFile, NeverReallocatesTheCallersBuffer)
{
    std::uint8_t caller[4] = {1, 2, 3, 4};
    {
        CxMemFile file(caller, sizeof(caller));
        ASSERT_TRUE(file.Seek(2, SEEK_SET));
        // Fits: written in place.
        EXPECT_EQ(file.Write("\x09", 1, 1), 1u);
        EXPECT_EQ(caller[2], 9);
        // Does not fit: the content moves into a buffer of the file's own.
        std::uint8_t more[10] = {7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
        EXPECT_EQ(file.Write(more, 1, sizeof(more)), sizeof(more));
        EXPECT_EQ(file.Size(), 13);
        std::uint8_t* owned = file.GetBuffer(false);
        EXPECT_NE(owned, caller);
        EXPECT_EQ(owned[0], 1);
        EXPECT_EQ(owned[2], 9);
        EXPECT_EQ(owned[12], 7);
    }
    // The caller's array is intact past the in-place write (and was not freed).
    EXPECT_EQ(caller[3], 4);
}

TEST(CxIOFile, ForwardsToStdioAndClosesOnlyWhatItOpened)
{
    char path[] = "/tmp/kv_xiofile_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    {
        CxIOFile file;
        EXPECT_EQ(file.Tell(), -1);
        EXPECT_EQ(file.Size(), -1);
        EXPECT_TRUE(file.Eof());
        EXPECT_EQ(file.GetC(), -1);
        EXPECT_FALSE(file.Seek(0, SEEK_SET));
        ASSERT_TRUE(file.Open(path, "w+b"));
        EXPECT_FALSE(file.Open(path, "rb"));
        EXPECT_EQ(file.Write("hello", 1, 5), 5u);
        EXPECT_TRUE(file.PutC('!'));
        EXPECT_EQ(file.Size(), 6);
        EXPECT_EQ(file.Tell(), 6); // Size measured and came back
        ASSERT_TRUE(file.Seek(-6, SEEK_END));
        char text[7] = {};
        EXPECT_EQ(file.Read(text, 2, 3), 3u);
        EXPECT_STREQ(text, "hello!");
        EXPECT_EQ(file.GetC(), -1);
        EXPECT_TRUE(file.Eof());
        EXPECT_EQ(file.Error(), 0);
    }
    std::FILE* fp = std::fopen(path, "rb");
    ASSERT_NE(fp, nullptr);
    {
        CxIOFile borrowed(fp);
        EXPECT_EQ(borrowed.GetC(), 'h');
        EXPECT_TRUE(borrowed.Close());
    }
    // Still open: the object never owned it.
    EXPECT_EQ(std::fgetc(fp), 'e');
    std::fclose(fp);
    std::remove(path);
}

} // namespace
