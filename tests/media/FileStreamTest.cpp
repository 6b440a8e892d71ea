#include "media/FileStream.h"

#include "MediaFixtures.h"

#include <gtest/gtest.h>

using namespace fixtures;

namespace {

Bytes Counting(size_t size) {
    Bytes b;
    for (size_t i = 0; i < size; ++i) {
        b.U8(static_cast<uint8_t>(i * 7 + i / 256));
    }
    return b;
}

} // namespace

TEST(FileStream, ByteReadsAcrossTheBufferMatchTheFile) {
    ScratchDir dir;
    const Bytes file = Counting(20000);
    TFileStream stream;
    ASSERT_TRUE(stream.Open(dir.Write("data.bin", file)));
    EXPECT_EQ(stream.Size(), 20000);
    std::vector<uint8_t> seen;
    uint8_t byte = 0;
    while (stream.Read(&byte, 1) == 1) {
        seen.push_back(byte);
    }
    EXPECT_EQ(seen, file.data);
    EXPECT_EQ(stream.Position(), 20000);
}

TEST(FileStream, SeeksAndMixedReadSizes) {
    ScratchDir dir;
    const Bytes file = Counting(50000);
    TFileStream stream;
    ASSERT_TRUE(stream.Open(dir.Write("data.bin", file)));
    struct Step {
        int64_t seek;
        int32_t count;
        int32_t expected;
    };
    const Step steps[] = {{100, 10, 10},     {8190, 5, 5},  {95, 20000, 20000}, {40000, 9000, 9000},
                          {49990, 100, 10},  {50000, 4, 0}, {60000, 4, 0},      {8000, 1, 1},
                          {0, 50000, 50000}, {7, 3, 3}};
    for (const Step& s : steps) {
        SCOPED_TRACE(::testing::Message() << s.seek << "+" << s.count);
        ASSERT_TRUE(stream.Seek(s.seek));
        std::vector<uint8_t> buffer(static_cast<size_t>(s.count));
        ASSERT_EQ(stream.Read(buffer.data(), s.count), s.expected);
        for (int32_t i = 0; i < s.expected; ++i) {
            ASSERT_EQ(buffer[static_cast<size_t>(i)], file.data[static_cast<size_t>(s.seek + i)]);
        }
        EXPECT_EQ(stream.Position(), s.seek + s.expected);
    }
    EXPECT_FALSE(stream.Seek(-1));
}

TEST(FileStream, OpenRefusesMissingFilesAndDirectories) {
    ScratchDir dir;
    TFileStream stream;
    EXPECT_FALSE(stream.Open(dir.PathOf("missing.bin")));
    EXPECT_FALSE(stream.Open(TAVRO_TEST_TMP));
    EXPECT_FALSE(stream.IsOpen());
    uint8_t byte = 0;
    EXPECT_EQ(stream.Read(&byte, 1), 0);
    EXPECT_FALSE(stream.Seek(0));
}
