// The stores that language files are read into: entry table, word lists
// with item addresses, sparse item tables and lexicons.
#include "LingoTestSupport.h"

#include <gtest/gtest.h>

using lingotest::entry;

TEST(LingoStores, PropertyDisplayNames) {
    const struct {
        uint16_t code;
        const char* name;
    } cases[] = {{0, "Caption"},       {3, "EditLabel.Hint"}, {18, "DialogCaption"}, {19, ""},
                 {31, ""},             {32, "Lines"},         {39, "Footer"},        {40, ""},
                 {64, "Panels"},       {66, "Category"},      {67, "Items"},         {78, "RadioButtons"},
                 {79, ""},             {96, "Filter"},        {98, "RV"},            {99, "DisplayName"},
                 {101, "TCH"},         {102, ""},             {499, ""},             {500, "Header"},
                 {506, "CommandLinkHint"}, {511, "Subject"},  {512, "Unknown"},      {513, "Unknown"},
                 {65535, "Unknown"}};
    for (const auto& c : cases) EXPECT_EQ(lingo::PropertyDisplayName(c.code), QString::fromLatin1(c.name)) << c.code;
    EXPECT_EQ(lingo::code(pnListItems), 71);
    EXPECT_EQ(lingo::code(cnTChart), 101);
}

TEST(LingoStores, WordListNumbersAndItemAddressLevels) {
    TWordList w;
    w.AddWord(65535);
    w.AddWord(7);
    w.rows << "abc" << "70000";
    EXPECT_EQ(w.GetWord(0), 65535);
    EXPECT_EQ(w.GetWord(2), 0) << "text that is no number";
    EXPECT_EQ(w.GetWord(3), 0) << "no 16-bit number";
    EXPECT_EQ(w.GetWord(9), 0);
    EXPECT_EQ(w.IndexOfWord(7), 1);
    EXPECT_EQ(w.IndexOfWord(0), -1);
    w.RewriteWord(1, 8);
    w.RewriteWord(4, 9);
    w.RewriteWord(-1, 9);
    EXPECT_EQ(w.rows, QStringList({"65535", "8", "abc", "70000"}));

    const struct {
        const char* addr;
        int level, levels, index, property;
        const char* name;
    } cases[] = {
        {"3", 0, 0, 3, -1, ""},
        {"2,5", 1, 1, 5, -1, ""},
        {"2,5", 2, 1, -1, -1, ""}, // no such level
        {"1.500", 0, 0, 1, 500, ""},
        {"4,1.506", 1, 1, 1, 506, ""},
        {"0.Caption:Sub", 0, 0, 0, 499, "Caption.Sub"},
        {"0.12:34", 0, 0, 0, 499, ""}, // a name without a letter comes back empty
        {"[*:txt]", 0, 0, -1, -1, ""},
        {"", 0, 0, -1, -1, ""},
    };
    for (const auto& c : cases) {
        TWordList a;
        a.rows << c.addr;
        QString name = "stale";
        EXPECT_EQ(a.GetLevel(0), c.levels) << c.addr;
        EXPECT_EQ(a.GetItemIndex(0, c.level), c.index) << c.addr << " level " << c.level;
        EXPECT_EQ(a.GetItemProperty(0, c.level, &name), c.property) << c.addr << " level " << c.level;
        EXPECT_EQ(name, QString::fromLatin1(c.name)) << c.addr;
    }
    EXPECT_EQ(w.GetItemIndex(7, 0), -1) << "a row outside";
}

TEST(LingoStores, ComponentStructureRows) {
    TComponentStructure s;
    const TStructLine a = entry("Label1", "Form2", "Door", 0, "", 1);
    const TStructLine b = entry("List1", "Form2", "First", 33, "0", 3);
    s.AddLine(a);
    s.SetLine(1, b);                              // index == Count appends
    s.SetLine(5, a);                              // ignored
    s.SetLine(-1, a);                             // ignored
    EXPECT_EQ(lingotest::entries(s), (std::vector<TStructLine>{a, b}));
    EXPECT_EQ(s.GetLine(2), (TStructLine{"", "", "", 0, "0", 0})) << "outside the table";
    EXPECT_EQ(s.TranslatedItems(), 2);

    EXPECT_EQ(s.FindLine("List1", "Form2", "0", 33), 1);
    EXPECT_EQ(s.FindLine("list1", "Form2", "0", 33), -1) << "case-sensitive";
    EXPECT_EQ(s.FindLine("List1", "Form2", "", 33), -1) << "the item address counts";
    EXPECT_EQ(s.FindLine("List1", "Form2", "0", 32), -1) << "the code counts";

    EXPECT_EQ(s.LookupText("List1", "Form2", "0", 33), "First");
    EXPECT_EQ(s.GetLine(1).Changeable, 1) << "a looked-up entry is in use: no longer obsolete";
    EXPECT_EQ(s.LookupText("Nope", "Form2", "", 0), "");

    s.SetLine(0, entry("Label1", "Form2", "Dveře", 0, "", 0));
    EXPECT_EQ(s.GetLine(0).Text, "Dveře");
    EXPECT_EQ(s.TranslatedItems(), 1);
    s.Clear();
    EXPECT_EQ(s.Count(), 0);
    EXPECT_EQ(s.FindLine("Label1", "Form2", "", 0), -1);
}

TEST(LingoStores, IndexedItemsAndLexicons) {
    TIndexedItems t("L");
    EXPECT_EQ(t.Count(), 0);
    EXPECT_EQ(t.ItemPointer.size(), 1u);
    t.Add(5, "five");
    t.Write(5, "FIVE");
    t.Write(2, "two");
    EXPECT_EQ(t.MaxIndex(), 5);
    EXPECT_EQ(t.ItemPointer.size(), 6u);
    EXPECT_EQ(t.Get(5), "FIVE");
    EXPECT_EQ(t.Get(3), "");
    EXPECT_EQ(t.Get(6), "");
    EXPECT_EQ(t.Get(-1), "");
    t.Remove(5);
    t.Remove(60);
    EXPECT_FALSE(t.IsIncluded(5));
    EXPECT_EQ(t.MaxIndex(), 5) << "removing keeps the room";
    EXPECT_EQ(t.Count(), 2) << "removed items still count";
    t.Clear();
    EXPECT_EQ(t.MaxIndex(), 0);
    EXPECT_EQ(t.Items, QStringList({QString()}));

    TLexiconData d;
    EXPECT_EQ(d.MaxItemNr("A.Lex"), -1);
    d.WriteItem("A.Lex", 1, "lost");         // no such lexicon: nothing
    d.NewLexicon("A.Lex");
    d.NewLexicon("B.Lex");
    d.NewLexicon("a.lex");                    // opens the first, letter case ignored
    EXPECT_EQ(d.LexiconCount(), 2);
    d.WriteItem("A.LEX", 3, "three");
    d.WriteItem("b.lex", 0, "zero");
    EXPECT_EQ(d.ReadItem("a.Lex", 3), "three");
    EXPECT_EQ(d.ReadItem("B.Lex", 0), "zero");
    EXPECT_EQ(d.ReadItem("C.Lex", 0), "");
    EXPECT_EQ(d.ItemsCount("A.Lex"), 1);
    EXPECT_EQ(d.ItemsCount("C.Lex"), 0);
    EXPECT_EQ(d.MaxItemNr("A.Lex"), 3);
    EXPECT_TRUE(d.IsIncluded("A.Lex", 3));
    d.RemoveItem("A.Lex", 3);
    EXPECT_FALSE(d.IsIncluded("A.Lex", 3));
    EXPECT_TRUE(d.LexiconExists("B.LEX"));
    EXPECT_FALSE(d.LexiconExists("C.Lex"));
    EXPECT_EQ(d.LexiconName(1), "B.Lex");
    EXPECT_EQ(d.LexiconName(2), "");
    EXPECT_EQ(d.Lexicon(2), nullptr);
    d.LexiconsNames[0] = "Renamed.Lex"; // the editor's change from outside
    EXPECT_TRUE(d.LexiconExists("renamed.lex"));
    EXPECT_FALSE(d.LexiconExists("A.Lex"));
    d.LexiconsNames[0] = "A.Lex";
    d.Clear();
    EXPECT_EQ(d.LexiconCount(), 0);
    EXPECT_FALSE(d.LexiconExists("A.Lex")) << "the cache of the last lexicon is cleared too";
}
