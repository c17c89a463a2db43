#include "sip/Pipe.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace {
void put(TPipe& p, const std::string& s) {
    ASSERT_EQ(p.WriteData(s.data(), s.size()), s.size());
}
} // namespace

TEST(Pipe, ReadsOnlyWhatIsWaitingAndNeverWaits) {
    TPipe p(true);
    char buf[16];
    size_t count = 99;
    EXPECT_FALSE(p.ReadData(buf, sizeof buf, count));
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(p.ReadBytes().empty());
    std::ostringstream sink;
    EXPECT_EQ(p.CopyToStream(sink, 0), 0u);
    EXPECT_TRUE(sink.str().empty());

    put(p, "hello world");
    EXPECT_EQ(p.AvailableDataSize(), 11u);
    const auto five = p.ReadBytes(5);
    EXPECT_EQ(std::string(five.begin(), five.end()), "hello");
    EXPECT_TRUE(p.ReadData(buf, sizeof buf, count));
    EXPECT_EQ(std::string(buf, count), " world");
}

TEST(Pipe, CopiesStreamsInBothDirections) {
    TPipe p(true, 1 << 16);
    std::string big(10000, 'x');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>('a' + i % 26);
    std::istringstream in(big);
    in.seekg(100);
    EXPECT_EQ(p.CopyFromStream(in, 0), big.size() - 100); // from the position to the end
    std::ostringstream out;
    out << "head:";
    EXPECT_EQ(p.CopyToStream(out, 5000), 5000u);
    EXPECT_EQ(p.CopyToStream(out, 0), big.size() - 100 - 5000);
    EXPECT_EQ(out.str(), "head:" + big.substr(100));
}

TEST(Pipe, WritingAfterCloseFailsWithItsMessage) {
    TPipe p(false);
    p.CloseWriteHandle();
    try {
        p.WriteData("x", 1);
        FAIL() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "Can't write pipe: handle closed");
    }
}

TEST(Pipe, NonBlockingWriteToAFullPipeTakesWhatFits) {
    TPipe p(true);
    p.SetWriteNonBlocking(true);
    const std::string chunk(1 << 20, 'z');
    const size_t taken = p.WriteData(chunk.data(), chunk.size());
    EXPECT_GT(taken, 0u);
    EXPECT_LT(taken, chunk.size());
    EXPECT_EQ(p.WriteData(chunk.data(), 10), 0u); // full: nothing, and no wait
    EXPECT_EQ(p.AvailableDataSize(), taken);
}
