#include "video/MjpegParser.h"
#include "VideoFixtures.h"
#include "video/AVICollection.h"

#include <gtest/gtest.h>

using video::MjpegEvent;
using video::MjpegParser;

namespace {

// Events flattened to text so that whole sequences compare at once.
std::vector<std::string> flatten(const std::vector<MjpegEvent>& events) {
    std::vector<std::string> out;
    for (const auto& e : events)
        out.push_back(e.kind == MjpegEvent::Kind::Log
                          ? "log:" + e.text
                          : "pic:" + std::string(e.picture.begin(), e.picture.end()));
    return out;
}

std::vector<std::string> feedAll(MjpegParser& p, const std::string& s, const std::vector<size_t>& cuts = {}) {
    std::vector<std::string> out;
    size_t from = 0;
    auto feed = [&](size_t to) {
        auto ev = flatten(p.feed(reinterpret_cast<const uint8_t*>(s.data()) + from, to - from));
        out.insert(out.end(), ev.begin(), ev.end());
        from = to;
    };
    for (size_t c : cuts)
        feed(c);
    feed(s.size());
    return out;
}

// Stand-ins for JPEG data: the parser checks only the first byte and the trailer.
const std::string Pic1 = "\xFF\xD8 first picture \xFF\xD9";
const std::string Pic2 = "\xFF\xD8 second, a little longer \xFF\xD9";

// Two parts after the HTTP head; the second begins where the first's trailer ends.
std::string twoParts() {
    return vfix::StreamHead + vfix::part(Pic1, "Gate", '1') + vfix::part(Pic2, "Front door");
}

} // namespace

TEST(MjpegParser, TwoPartsGiveTheirPicturesWithTrailers) {
    MjpegParser p;
    const std::string s = twoParts();
    auto& ev = p.feed(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    ASSERT_EQ(ev.size(), 2u);
    EXPECT_EQ(std::string(ev[0].picture.begin(), ev[0].picture.end()), Pic1 + vfix::Trailer);
    EXPECT_EQ(std::string(ev[1].picture.begin(), ev[1].picture.end()), Pic2 + vfix::Trailer);
    // Each picture is complete with its own last byte, not when later bytes arrive.
    EXPECT_EQ(ev[0].endOffset, vfix::StreamHead.size() + vfix::part(Pic1).size());
    EXPECT_EQ(ev[1].endOffset, s.size());
    EXPECT_EQ(p.title(), "Front door");
    EXPECT_EQ(p.state(), video::THTTPOdpovedStatus::WAIT_HEAD);
}

TEST(MjpegParser, SplitAtAnyByteOrTwoGivesTheSamePictures) {
    const std::string s = twoParts();
    MjpegParser whole;
    const auto expected = feedAll(whole, s);
    ASSERT_EQ(expected.size(), 2u);
    for (size_t a = 0; a <= s.size(); ++a) {
        MjpegParser p;
        ASSERT_EQ(feedAll(p, s, {a}), expected) << "split at " << a;
    }
    // Every pair of cuts: inside the marker, the digits, the title and the data at once.
    for (size_t a = 1; a < s.size(); a += 1)
        for (size_t b = a; b < s.size(); b += 3) {
            MjpegParser p;
            ASSERT_EQ(feedAll(p, s, {a, b}), expected) << "cuts " << a << "," << b;
        }
    MjpegParser bytewise;
    std::vector<size_t> every;
    for (size_t i = 1; i < s.size(); ++i)
        every.push_back(i);
    EXPECT_EQ(feedAll(bytewise, s, every), expected);
}

TEST(MjpegParser, EdgeCasesOfOnePart) {
    const std::string good = vfix::part(Pic1);
    struct Case {
        const char* name;
        std::string stream;
        std::vector<std::string> events;
    };
    std::string wrongTrailer = vfix::part(Pic1);
    wrongTrailer[wrongTrailer.size() - 5] = 'X';
    std::string badHead = Pic1;
    badHead[0] = '\x00';
    const std::vector<Case> cases = {
        {"length 0: the 15 bytes begin with CR",
         vfix::part("", "T", '0', "0"),
         {"log:MJPEG: ERROR: The first char of picture not found"}},
        {"first byte not 0xFF",
         vfix::part(badHead),
         {"log:MJPEG: ERROR: The first char of picture not found"}},
        {"wrong trailer is quoted as read",
         wrongTrailer,
         {"log:MJPEG: ERROR Incorrect end of picture: \"\r\n--tojekoXec\r\n\""}},
        {"a length above 32 bits resynchronises on the next marker",
         vfix::part(Pic2, "T", '0', "99999999999") + good,
         {"log:MJPEG: ERROR Incorrect number length of picture", "pic:" + Pic1 + vfix::Trailer}},
        {"a length just above 8 MiB is refused like one",
         vfix::part(Pic2, "T", '0', "8388609") + good,
         {"log:MJPEG: ERROR Incorrect number length of picture", "pic:" + Pic1 + vfix::Trailer}},
        {"leading zeros do not count against the bound",
         vfix::part(Pic1, "T", '0', "000000000000" + std::to_string(Pic1.size())),
         {"pic:" + Pic1 + vfix::Trailer}},
        {"a false start of the marker is passed over",
         "Content-Type: image/jpeg\r\nContent-Type: image/jpeg\r\nContent-Length: " + good.substr(42),
         {"pic:" + Pic1 + vfix::Trailer}},
        {"a bad part does not swallow the next",
         wrongTrailer + good,
         {"log:MJPEG: ERROR Incorrect end of picture: \"\r\n--tojekoXec\r\n\"",
          "pic:" + Pic1 + vfix::Trailer}},
        {"no marker, no event", std::string(5000, 'x') + "Content-Type: image/jpeg\r\n", {}},
    };
    for (const Case& c : cases) {
        MjpegParser p;
        EXPECT_EQ(feedAll(p, c.stream), c.events) << c.name;
        MjpegParser split; // the same, one byte at a time
        std::vector<size_t> every;
        for (size_t i = 1; i < c.stream.size(); ++i)
            every.push_back(i);
        EXPECT_EQ(feedAll(split, c.stream, every), c.events) << c.name << " (byte by byte)";
    }
}

TEST(MjpegParser, AnyWrongTrailerByteDropsThePictureAndIsQuoted) {
    for (size_t k = 0; k < vfix::Trailer.size(); ++k) {
        std::string bad = vfix::Trailer;
        bad[k] = static_cast<char>(bad[k] ^ 0x40);
        const std::string s =
            vfix::part(Pic1).substr(0, vfix::part(Pic1).size() - 15) + bad + vfix::part(Pic2);
        MjpegParser p;
        EXPECT_EQ(feedAll(p, s),
                  (std::vector<std::string>{"log:MJPEG: ERROR Incorrect end of picture: \"" + bad + "\"",
                                            "pic:" + Pic2 + vfix::Trailer}))
            << k;
    }
}

TEST(MjpegParser, EightMiBIsTheLargestLengthTaken) {
    MjpegParser p;
    const std::string head = vfix::part("", "T", '0', "8388608");
    const std::string upToData = head.substr(0, head.size() - vfix::Trailer.size());
    p.feed(reinterpret_cast<const uint8_t*>(upToData.data()), upToData.size());
    EXPECT_EQ(p.state(), video::THTTPOdpovedStatus::JPGF);
}

TEST(MjpegParser, ResetDropsAHalfReadPart) {
    MjpegParser p;
    const std::string good = vfix::part(Pic1);
    p.feed(reinterpret_cast<const uint8_t*>(good.data()), good.size() / 2);
    p.reset(); // a new connection
    EXPECT_EQ(feedAll(p, good), std::vector<std::string>{"pic:" + Pic1 + vfix::Trailer});
}

TEST(Recording, HundredthFrameFillsTheCollectionAndTheNextIsNotStored) {
    TAVICollection c;
    bool full = false;
    const uint8_t frame[] = {0xFF, 0xD8, 1, 2, 3};
    for (int i = 1; i <= 100; ++i) {
        ASSERT_TRUE(appendRecordedFrame(c, true, full, frame, sizeof frame)) << i;
        EXPECT_EQ(full, i == 100) << i;
    }
    EXPECT_FALSE(appendRecordedFrame(c, true, full, frame, sizeof frame)); // the 101st
    EXPECT_EQ(c.Count, 100);
    EXPECT_EQ(c.AVIStream[99], std::vector<uint8_t>(frame, frame + sizeof frame));

    TAVICollection off;
    bool offFull = false;
    EXPECT_FALSE(appendRecordedFrame(off, false, offFull, frame, sizeof frame));
    EXPECT_EQ(off.Count, 0);
}
