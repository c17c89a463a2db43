// The simulator's request reader and Basic credentials.
#include "doorphone-sim/Http.h"

#include <gtest/gtest.h>

using namespace doorphonesim;

TEST(SimHttp, Base64MatchesTheStandardVectors) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"\xff\xfe", "//4="},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(base64(in), out) << in;
    EXPECT_EQ(basicAuthLine("admin", "1234"), "Authorization: Basic YWRtaW46MTIzNA==");
}

TEST(SimHttp, RequestsAreTakenOneByOneByTheirEmptyLine) {
    std::string buf = "GET /events.txt HTTP/1.1\r\nAuthorization: Basic eDp5\r\n\r\n"
                      "GET /cgi-bin/remctrl.sh?id=relay1 HTTP/1.1\r\n\r\nGET /vid";
    auto first = takeRequest(buf);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->raw, "GET /events.txt HTTP/1.1\r\nAuthorization: Basic eDp5\r\n\r\n");
    EXPECT_EQ(first->method, "GET");
    EXPECT_EQ(first->target, "/events.txt");
    EXPECT_EQ(first->version, "HTTP/1.1");
    EXPECT_TRUE(hasHeaderLine(*first, "Authorization: Basic eDp5"));
    EXPECT_FALSE(hasHeaderLine(*first, "Authorization: Basic eDp"));

    auto second = takeRequest(buf);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->target, "/cgi-bin/remctrl.sh?id=relay1");
    EXPECT_TRUE(second->headerLines.empty());

    EXPECT_FALSE(takeRequest(buf)) << "an unfinished request stays in the buffer";
    EXPECT_EQ(buf, "GET /vid");
    buf += "eo.mjpg\r\n\r\n";
    auto third = takeRequest(buf);
    ASSERT_TRUE(third);
    EXPECT_EQ(third->target, "/video.mjpg");
    EXPECT_TRUE(buf.empty());

    std::string odd = "NONSENSE\r\n\r\n";
    auto bad = takeRequest(odd);
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->method, "NONSENSE");
    EXPECT_TRUE(bad->target.empty());
}
