// The texts program code shows, read by number from the data module's lexicon.
#include "app/DataModule.h"

#include <gtest/gtest.h>

TEST(DataModule, ItemsByNumberAndNothingOutsideThem) {
    const struct {
        int n;
        const char* text;
    } cases[] = {
        {Lexicon::LogSendSuccessful, "Log send successful"},
        {Lexicon::LogNotSend, "Log not send, check your internet connection"},
        {Lexicon::PortBlockedBefore, "Could not start UDP transport on port 5060 (Voice). Blocking program is: "},
        {Lexicon::PortBlockedAfter, " Please stop this program."},
        {Lexicon::PortCollisions, "Some collisions on SIP audio port 5060"},
        {Lexicon::SipServerMode, "SIP Server Mode"},
        {Lexicon::P2PMode, "P2P Mode"},
        {-1, ""},
        {7, ""},
        {1 << 30, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LexiconItem(c.n).toStdString(), c.text) << "item " << c.n;
    const TDesignedLexicon& lexicon = *DataModule1().DesignedLexicon1;
    EXPECT_EQ(lexicon.MaxItemIndex(), 6);
    EXPECT_EQ(lexicon.objectName(), "DesignedLexicon1");
    EXPECT_EQ(lexicon.parent()->objectName(), "DataModule1");
}

TEST(DataModule, AnItemCreatedLaterGetsTheNextNumber) {
    TDesignedLexicon lexicon;
    EXPECT_EQ(lexicon.GetItem(0), "") << "an empty lexicon";
    EXPECT_EQ(lexicon.CreateItem("first"), 0);
    EXPECT_EQ(lexicon.CreateItem("second"), 1);
    EXPECT_EQ(lexicon.GetItem(1), "second");
    EXPECT_TRUE(lexicon.IsDefined(1));
    EXPECT_FALSE(lexicon.IsDefined(2));
}
