// The controls that translate themselves: the language choosers against a real
// engine with language files in a temporary folder, the string list and the
// rich text against a designed lexicon, and the valued label.
#include "lingo/LingoCtrls.h"
#include "support/TestEnv.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QListWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

// Readable failures.
void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '{';
    for (const QString& s : list)
        *os << '"' << s.toStdString() << "\" ";
    *os << '}';
}

namespace {

QByteArray bmpOf(int width, int height) {
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(QColor(200, 30, 30));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "BMP");
    return buffer.data();
}

struct LexiconTexts {
    QString key;
    std::map<int, QString> items;
};

// A language file as the engine reads it: signature, header, lexicons,
// reserved section and an optional flag.
void writeLanguage(const QString& path, const QString& name, const QByteArray& flag = {},
                   const std::vector<LexiconTexts>& lexicons = {}) {
    QStringList lines{QStringLiteral("[LANGUAGE_FILE]"),
                      QStringLiteral("0\t%LANGUAGE_NAME=\"%1\"\t%FILEVER=THLF1;").arg(name),
                      QStringLiteral("0\t%LEXICON_STRINGS")};
    for (const LexiconTexts& l : lexicons) {
        lines << QStringLiteral("0\t%LEXICON_NAME=%1;").arg(l.key);
        for (const auto& [n, text] : l.items)
            lines << QStringLiteral("%1\t\"%2\"").arg(n).arg(text);
    }
    lines << QStringLiteral("0\t%SMART_STRINGS");
    if (!flag.isEmpty()) {
        lines << QStringLiteral("0\t%FLAG_ICON");
        for (int i = 0, line = 0; i <= flag.size(); i += 50, ++line)
            lines << QString::number(line) + u'\t' + QString::fromLatin1(flag.mid(i, 50).toHex().toUpper());
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write((lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
}

const QString kKey = QStringLiteral("DataModule1.DesignedLexicon1");

// One engine with the design language "EN", its language folder, and the
// designed lexicon "DataModule1.DesignedLexicon1" with three items.
class LingoFixture : public ::testing::Test {
protected:
    void SetUp() override {
        owner.setObjectName(QStringLiteral("DataModule1"));
        langs = QString::fromStdString(testenv::makeTempDir("lingo")) + QStringLiteral("/LANGS");
        ASSERT_TRUE(QDir().mkpath(langs));
        engine = new TLingoEngine(&owner);
        engine->setObjectName(QStringLiteral("LingoEngine1"));
        engine->ShowError = [this](const QString& text) { errors << text; };
        engine->Log = [](const QString&) {};
        engine->RunManager = [](bool) { return QString(); };
        engine->OnChangeLangQuery = [this](QObject*, bool& cont) {
            ++queries;
            cont = !refuse;
        };
        engine->OnChangeLanguage = [this](QObject*) { ++switches; };
        lexicon = new TDesignedLexicon(&owner);
        lexicon->setObjectName(QStringLiteral("DesignedLexicon1"));
        lexicon->SetItems({QStringLiteral("Hello"), QStringLiteral("World"), QStringLiteral("Bye")});
        lexicon->SetLingoEngine(engine);
    }

    // Points the engine at the language folder once the files are there.
    void scan() {
        engine->SetDesignLanguageName(QStringLiteral("EN"));
        engine->SetBaseDirectory(langs.section(u'/', 0, -2));
        engine->SetLangSubdirectory(QStringLiteral("LANGS"));
        engine->RescanLanguages();
    }
    QString lang(const QString& file) const { return langs + u'/' + file; }

    QObject owner;
    QString langs;
    TLingoEngine* engine = nullptr;
    TDesignedLexicon* lexicon = nullptr;
    QStringList errors;
    int queries = 0, switches = 0;
    bool refuse = false;
};

QStringList itemsOf(const QComboBox& box) {
    QStringList items;
    for (int i = 0; i < box.count(); ++i)
        items << box.itemText(i);
    return items;
}

bool registered(const TLingoEngine& engine, const QObject* client) {
    const auto all = engine.SpanClients.Components();
    return std::find(all.begin(), all.end(), client) != all.end();
}

// What QComboBox does when the user chooses an entry in its popup.
void pick(QComboBox& box, const QString& caption) {
    const int index = box.findText(caption);
    ASSERT_GE(index, 0) << caption.toStdString();
    box.setCurrentIndex(index);
    emit box.activated(index);
}

// ---- both choosers ----

template <class Chooser> class ChooserTest : public LingoFixture {
protected:
    void SetUp() override {
        LingoFixture::SetUp();
        writeLanguage(lang("de.lng"), QStringLiteral("DE"), bmpOf(16, 16));
        writeLanguage(lang("fr.lng"), QStringLiteral("FR"));
        scan();
        chooser = std::make_unique<Chooser>();
        chooser->OnChangeLanguage = [this](QObject* sender) { senders.push_back(sender); };
        QObject::connect(chooser.get(), &QComboBox::activated, [this] { ++activations; });
        QObject::connect(chooser.get(), &QComboBox::currentIndexChanged, [this] { ++indexChanges; });
        chooser->SetLingoEngine(engine);
    }
    void TearDown() override { chooser.reset(); }

    std::unique_ptr<Chooser> chooser;
    std::vector<QObject*> senders;
    int activations = 0, indexChanges = 0;
};

using Choosers = ::testing::Types<TLangCombo, TLangFlagsCombo>;
TYPED_TEST_SUITE(ChooserTest, Choosers);

TYPED_TEST(ChooserTest, TakesTheEngineListAtOnceAndFollowsItsRegistry) {
    auto& box = *this->chooser;
    EXPECT_EQ(box.accessibleName(), "Language");
    EXPECT_FALSE(box.isEditable());
    EXPECT_EQ(itemsOf(box), this->engine->LangMenu);
    EXPECT_EQ(this->engine->LangMenu.size(), 5) << "EN, DE, FR, > Add <, > Edit <";
    EXPECT_EQ(box.currentText(), "EN");
    EXPECT_TRUE(registered(*this->engine, &box));

    TLingoEngine other(&this->owner);
    other.SetDesignLanguageName(QStringLiteral("Other"));
    box.SetLingoEngine(&other);
    EXPECT_FALSE(registered(*this->engine, &box)) << "left the old engine";
    EXPECT_TRUE(registered(other, &box));
    EXPECT_EQ(itemsOf(box), other.LangMenu);
    EXPECT_EQ(box.currentText(), "Other");

    box.SetLingoEngine(this->engine);
    const QObject* gone = &box;
    this->chooser.reset();
    EXPECT_FALSE(registered(*this->engine, gone));
    EXPECT_FALSE(registered(other, gone));
    this->engine->RescanLanguages(); // nothing left to reach the destroyed chooser
}

TYPED_TEST(ChooserTest, FiveEntriesBecomeExactlyFourWhenTheListShrinks) {
    auto& box = *this->chooser;
    ASSERT_EQ(box.count(), 5);
    ASSERT_TRUE(QFile::remove(this->lang("fr.lng")));
    this->engine->RescanLanguages();
    EXPECT_EQ(box.count(), 4);
    EXPECT_EQ(itemsOf(box), this->engine->LangMenu);
    EXPECT_EQ(box.findText("FR"), -1);
}

TYPED_TEST(ChooserTest, RefillingPicksNothing) {
    auto& box = *this->chooser;
    this->engine->RescanLanguages();
    EXPECT_EQ(this->engine->Translate(QStringLiteral("DE")), "DE");
    EXPECT_EQ(box.currentText(), "DE") << "the engine's own switch shows on the chooser";
    EXPECT_EQ(this->queries, 1) << "only the switch asked for here";
    EXPECT_EQ(this->switches, 1);
    EXPECT_EQ(this->activations, 0);
    EXPECT_EQ(this->indexChanges, 0) << "a refill is silent";
    EXPECT_TRUE(this->senders.empty());
}

TYPED_TEST(ChooserTest, PickingTheCurrentLanguageDoesNothing) {
    pick(*this->chooser, QStringLiteral("EN"));
    EXPECT_EQ(this->queries, 0) << "no switch was asked for";
    EXPECT_EQ(this->switches, 0);
    EXPECT_TRUE(this->senders.empty());
    EXPECT_EQ(this->chooser->currentText(), "EN");
}

TYPED_TEST(ChooserTest, PickingAnotherLanguageSwitchesOnce) {
    auto& box = *this->chooser;
    pick(box, QStringLiteral("DE"));
    EXPECT_EQ(this->engine->CurrentLanguage(), "DE");
    EXPECT_EQ(this->queries, 1);
    EXPECT_EQ(this->switches, 1);
    ASSERT_EQ(this->senders.size(), 1u);
    EXPECT_EQ(this->senders[0], &box);
    EXPECT_EQ(box.currentText(), "DE");

    // The user's own key press takes the same road.
    ASSERT_EQ(this->engine->Translate(QStringLiteral("EN")), "EN");
    ASSERT_EQ(box.currentIndex(), 0);
    QTest::keyClick(&box, Qt::Key_Down);
    const QString next = box.itemText(1);
    EXPECT_EQ(this->engine->CurrentLanguage(), next);
    EXPECT_EQ(this->senders.size(), 2u);
    EXPECT_EQ(box.currentText(), next);
}

TYPED_TEST(ChooserTest, ARefusedSwitchShowsTheCurrentLanguageAgain) {
    auto& box = *this->chooser;
    this->refuse = true;
    pick(box, QStringLiteral("DE"));
    EXPECT_EQ(this->queries, 1);
    EXPECT_EQ(this->switches, 0);
    EXPECT_EQ(this->engine->CurrentLanguage(), "EN");
    EXPECT_EQ(box.currentText(), "EN");
    EXPECT_EQ(itemsOf(box), this->engine->LangMenu);
}

TYPED_TEST(ChooserTest, TheManagerEntriesRunTheManagerAndLeaveTheCurrentLanguageShown) {
    auto& box = *this->chooser;
    std::vector<bool> runs;
    this->engine->RunManager = [&runs](bool creating) {
        runs.push_back(creating);
        return QString(); // closed without saving
    };
    pick(box, this->engine->LangFormLexicon->GetItem(LangFormItem::Add));
    pick(box, this->engine->LangFormLexicon->GetItem(LangFormItem::Edit));
    EXPECT_EQ(runs, (std::vector<bool>{true, false}));
    EXPECT_EQ(this->engine->CurrentLanguage(), "EN");
    EXPECT_EQ(box.currentText(), "EN");
    EXPECT_EQ(itemsOf(box), this->engine->LangMenu);
}

// ---- flags ----

using FlagsTest = LingoFixture;

TEST_F(FlagsTest, OnlyASixteenBySixteenFlagShowsAPicture) {
    const struct {
        const char* language;
        QByteArray flag;
        bool shown;
    } cases[] = {
        {"DE", bmpOf(16, 16), true},
        {"FR", bmpOf(8, 8), false},
        {"IT", bmpOf(16, 15), false},
        {"ES", QByteArray(), false},
        {"PL", QByteArray("not a picture at all, just some bytes"), false},
    };
    for (const auto& c : cases)
        writeLanguage(lang(QString::fromLatin1(c.language) + ".lng"), QString::fromLatin1(c.language),
                      c.flag);
    scan();
    TLangFlagsCombo flags;
    TLangCombo plain;
    flags.SetLingoEngine(engine);
    plain.SetLingoEngine(engine);
    EXPECT_EQ(flags.iconSize(), QSize(16, 16));
    EXPECT_TRUE(flags.itemIcon(flags.findText("EN")).isNull()) << "the design language has no flag here";
    for (const auto& c : cases) {
        const int i = flags.findText(c.language);
        ASSERT_GE(i, 0) << c.language;
        EXPECT_EQ(!flags.itemIcon(i).isNull(), c.shown) << c.language;
        EXPECT_TRUE(plain.itemIcon(plain.findText(c.language)).isNull()) << "the text chooser shows no flags";
    }
    flags.SetLingoEngine(nullptr);
    for (int i = 0; i < flags.count(); ++i)
        EXPECT_TRUE(flags.itemIcon(i).isNull()) << "no engine, no flags";
}

// ---- TLingoStrings ----

using StringsTest = LingoFixture;

TEST_F(StringsTest, BothPartsMustBeGiven) {
    QStringList target;
    const struct {
        bool controlled, lexicon;
        const char* message;
    } cases[] = {
        {false, true, "ControlledStrings must be assigned!"},
        {true, false, "Lexicon must be assigned!"},
        {false, false, "ControlledStrings must be assigned!"},
    };
    for (const auto& c : cases) {
        try {
            TLingoStrings strings(c.controlled ? lingo::ControlledList(target) : nullptr,
                                  c.lexicon ? lexicon : nullptr);
            ADD_FAILURE() << "no exception for " << c.message;
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

TEST_F(StringsTest, TheControlledListShowsEveryOperationCompleted) {
    const auto descending = [](const TLingoStrings& l, int a, int b) {
        return -QString::compare(l.Strings().at(a), l.Strings().at(b));
    };
    const struct {
        const char* name;
        std::function<void(TLingoStrings&)> operation;
        QStringList source, shown;
    } cases[] = {
        {"nothing", [](TLingoStrings&) {}, {"a «#0;", "b"}, {"a Hello", "b"}},
        {"add",
         [](TLingoStrings& s) { s.Add("«#1;!"); },
         {"a «#0;", "b", "«#1;!"},
         {"a Hello", "b", "World!"}},
        {"add a link to an undefined item",
         [](TLingoStrings& s) {
             s.Add("x«#3;");
             s.Add("«#99;y");
         },
         {"a «#0;", "b", "x«#3;", "«#99;y"},
         {"a Hello", "b", "x???", "???y"}},
        {"add an ill-formed link",
         [](TLingoStrings& s) { s.Add("«#;«#1x;«#"); },
         {"a «#0;", "b", "«#;«#1x;«#"},
         {"a Hello", "b", "«#;«#1x;«#"}},
        {"insert",
         [](TLingoStrings& s) { s.Insert(1, "«#2;"); },
         {"a «#0;", "«#2;", "b"},
         {"a Hello", "Bye", "b"}},
        {"insert at the end",
         [](TLingoStrings& s) { s.Insert(2, "c"); },
         {"a «#0;", "b", "c"},
         {"a Hello", "b", "c"}},
        {"insert outside", [](TLingoStrings& s) { s.Insert(3, "c"); }, {"a «#0;", "b"}, {"a Hello", "b"}},
        {"delete", [](TLingoStrings& s) { s.Delete(0); }, {"b"}, {"b"}},
        {"delete outside", [](TLingoStrings& s) { s.Delete(-1); }, {"a «#0;", "b"}, {"a Hello", "b"}},
        {"exchange", [](TLingoStrings& s) { s.Exchange(0, 1); }, {"b", "a «#0;"}, {"b", "a Hello"}},
        {"clear", [](TLingoStrings& s) { s.Clear(); }, {}, {}},
        {"sort",
         [&](TLingoStrings& s) {
             s.Add("c«#1;");
             s.CustomSort(descending);
         },
         {"c«#1;", "b", "a «#0;"},
         {"cWorld", "b", "a Hello"}},
    };
    for (const auto& c : cases) {
        QStringList target{"a «#0;", "b"};
        TLingoStrings strings(lingo::ControlledList(target), lexicon);
        c.operation(strings);
        EXPECT_EQ(strings.Strings(), c.source) << c.name;
        EXPECT_EQ(target, c.shown) << c.name;
    }
}

TEST_F(StringsTest, TheControlledListFollowsALanguageSwitch) {
    QStringList target{"«#0; «#1;"};
    QComboBox combo;
    combo.addItems({"«#2;", "«#1;"});
    combo.setCurrentIndex(1);
    QListWidget list;
    auto strings = std::make_unique<TLingoStrings>(lingo::ControlledList(target), lexicon);
    TLingoStrings comboStrings(lingo::ControlledList(&combo), lexicon);
    TLingoStrings listStrings(lingo::ControlledList(&list), lexicon);
    listStrings.AddObject("«#0;", 10);
    listStrings.AddObject("«#2;", 20);
    listStrings.Exchange(0, 1);
    EXPECT_EQ(target, QStringList{"Hello World"});
    EXPECT_EQ(itemsOf(combo), (QStringList{"Bye", "World"}));

    engine->DataLexicon.NewLexicon(kKey);
    engine->DataLexicon.WriteItem(kKey, 0, QStringLiteral("Hallo"));
    engine->DataLexicon.WriteItem(kKey, 2, QStringLiteral("Tschüss"));
    lexicon->LanguageChanged();
    EXPECT_EQ(target, QStringList{"Hallo World"});
    EXPECT_EQ(itemsOf(combo), (QStringList{"Tschüss", "World"}));
    EXPECT_EQ(combo.currentIndex(), 1) << "the user's choice stays";
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.item(0)->text(), "Tschüss");
    EXPECT_EQ(list.item(0)->data(Qt::UserRole), 20) << "objects travel with their lines";
    EXPECT_EQ(list.item(1)->text(), "Hallo");
    EXPECT_EQ(list.item(1)->data(Qt::UserRole), 10);

    // A destroyed list is no longer one of the lexicon's slaves.
    strings.reset();
    engine->DataLexicon.WriteItem(kKey, 0, QStringLiteral("Servus"));
    lexicon->LanguageChanged();
    EXPECT_EQ(target, QStringList{"Hallo World"});
    EXPECT_EQ(list.item(1)->text(), "Servus");
}

// ---- TLingoRichEdit ----

// A run of text in one format; 0 and empty stand for the control's own size,
// colour and font.
struct TextRun {
    TextRun(QString text, bool bold = false, bool italic = false, bool underline = false, int size = 0,
            QRgb color = 0, QString family = {})
        : text(std::move(text)), bold(bold), italic(italic), underline(underline), size(size), color(color),
          family(std::move(family)) {}
    QString text;
    bool bold, italic, underline;
    int size;
    QRgb color;
    QString family;
    bool operator==(const TextRun&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TextRun& r) {
    return os << '"' << r.text.toStdString() << "\" b" << r.bold << " i" << r.italic << " u" << r.underline
              << " s" << r.size << " c" << std::hex << r.color << std::dec << " f" << r.family.toStdString();
}

std::vector<TextRun> runsOf(const TLingoRichEdit& edit, int line) {
    std::vector<TextRun> runs;
    const QTextBlock block = edit.document()->findBlockByNumber(line);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment f = it.fragment();
        const QTextCharFormat c = f.charFormat();
        TextRun r{f.text(),
                  c.fontWeight() == QFont::Bold,
                  c.fontItalic(),
                  c.fontUnderline(),
                  static_cast<int>(c.fontPointSize()),
                  c.hasProperty(QTextFormat::ForegroundBrush) ? c.foreground().color().rgb() : 0,
                  c.fontFamilies().toStringList().value(0)};
        if (!runs.empty() && runs.back().bold == r.bold && runs.back().italic == r.italic &&
            runs.back().underline == r.underline && runs.back().size == r.size &&
            runs.back().color == r.color && runs.back().family == r.family)
            runs.back().text += r.text;
        else
            runs.push_back(r);
    }
    return runs;
}

using RichEditTest = LingoFixture;

TEST_F(RichEditTest, LinksAndNestedStylesRender) {
    TLingoRichEdit edit;
    EXPECT_TRUE(edit.isReadOnly());
    EXPECT_EQ(edit.lineWrapMode(), QTextEdit::NoWrap);
    edit.SetAssignedLexicon(lexicon);
    EXPECT_EQ(edit.SetStyle(TLMStringStyle::fsBold, 0, 0xCC0000, QString()), 0);
    EXPECT_EQ(edit.SetStyle(TLMStringStyle::fsItalic | TLMStringStyle::fsUnderline, 14,
                            TLMStringStyle::DefaultColor, QStringLiteral("Serif"), 1, 0, 2),
              2);
    ASSERT_EQ(edit.StylesCount(), 3);
    EXPECT_EQ(edit.GetStyles()[1], TLMStringStyle{}) << "the gap is filled with defaults";

    // Style 2 inside style 0 inside the default; style 1 is all defaults, 7 undefined.
    edit.WriteLn("a¬#0;b«#0;¬#2;c«#1;¬;d¬;e");
    edit.Write(TLingoRichEdit::Format("f", 1) + TLingoRichEdit::Format("g", 7) + "«#2;");
    const QRgb red = qRgb(0xCC, 0, 0);
    const std::vector<TextRun> first{{"a"},
                                     {"bHello", true, false, false, 0, red},
                                     {"cWorld", false, true, true, 14, 0, "Serif"},
                                     {"d", true, false, false, 0, red},
                                     {"e"}};
    EXPECT_EQ(runsOf(edit, 0), first);
    EXPECT_EQ(runsOf(edit, 1), std::vector<TextRun>{{"fgBye"}});
    EXPECT_EQ(edit.ReadLineText(0), "abHellocWorldde");
    EXPECT_EQ(edit.ReadLineFText(1), "¬#1;f¬;¬#7;g¬;«#2;");
    EXPECT_EQ(edit.LinesCount(), 2);

    // Deeper than remembered: the 33rd level applies, and closing it goes back
    // to what the levels below remember.
    QString deep;
    for (int i = 0; i < 33; ++i)
        deep += "¬#0;";
    edit.RewriteLine(1, deep + "x¬;y" + QString("¬;").repeated(40) + "z");
    EXPECT_EQ(runsOf(edit, 1), (std::vector<TextRun>{{"xy", true, false, false, 0, red}, {"z"}}));

    edit.SetAutoFont(false);
    EXPECT_EQ(runsOf(edit, 0), first) << "re-rendered alike";
    EXPECT_EQ(edit.document()->findBlockByNumber(0).begin().fragment().charFormat().fontStyleStrategy(),
              QFont::NoFontMerging);

    edit.ClearStyles();
    edit.AssignStyles({TLMStringStyle{0x0000FF, {}, 1, TLMStringStyle::fsStrikeOut, 0, 0}});
    EXPECT_EQ(runsOf(edit, 0)[1].color, qRgb(0, 0, 0xFF)) << "assigned styles render at once";
}

TEST_F(RichEditTest, IllFormedMarksShowAsWritten) {
    const struct {
        const char* source;
        const char* shown;
    } cases[] = {
        {"¬#x;a", "¬#x;a"},
        {"¬#;a", "¬#;a"},
        {"¬#1", "¬#1"},
        {"a¬b", "a¬b"},
        {"a¬", "a¬"},
        {"¬;a¬;", "a"},
        {"«#;", "«#;"},
        {"«#12", "«#12"},
        {"«#a;", "«#a;"},
        {"«#1x;", "«#1x;"},
        {"«#", "«#"},
        {"«x#0;", "«x#0;"},
        {"«#0", "«#0"},
        {"«#99;", "???"},
        {"«#3;", "???"},
        {"«#99999999999999999999;", "???"},
        {"¬#99999999999999999999;a¬;", "a"},
    };
    TLingoRichEdit edit;
    edit.SetAssignedLexicon(lexicon);
    edit.SetStyle(TLMStringStyle::fsBold, 0, TLMStringStyle::DefaultColor, QString());
    for (const auto& c : cases) {
        edit.RewriteLine(0, c.source);
        EXPECT_EQ(edit.ReadLineText(0), c.shown) << c.source;
        for (const TextRun& r : runsOf(edit, 0))
            EXPECT_FALSE(r.bold) << c.source;
    }
    edit.SetAssignedLexicon(nullptr);
    edit.RewriteLine(0, "«#0;");
    EXPECT_EQ(edit.ReadLineText(0), "???") << "no lexicon";
    EXPECT_EQ(edit.GetLink(12), "«#12;");
}

TEST_F(RichEditTest, LineOperationsKeepSourceAndShownLinesInStep) {
    const struct {
        const char* name;
        std::function<void(TLingoRichEdit&)> operation;
        QStringList source, shown;
    } cases[] = {
        {"a new control", [](TLingoRichEdit&) {}, {""}, {""}},
        {"write",
         [](TLingoRichEdit& e) {
             e.Write("a");
             e.Write("«#0;");
         },
         {"a«#0;"},
         {"aHello"}},
        {"write lines",
         [](TLingoRichEdit& e) {
             e.WriteLn("a");
             e.WriteLn("b", 0);
         },
         {"a", "¬#0;b¬;", ""},
         {"a", "b", ""}},
        {"next line", [](TLingoRichEdit& e) { e.NextLine(); }, {"", ""}, {"", ""}},
        {"insert",
         [](TLingoRichEdit& e) {
             e.Write("b");
             e.InsertLine(0, "«#1;");
             e.InsertLine(2, "c");
             e.InsertLine(1, "x", 0);
         },
         {"«#1;", "¬#0;x¬;", "b", "c"},
         {"World", "x", "b", "c"}},
        {"insert outside",
         [](TLingoRichEdit& e) {
             e.InsertLine(-1, "x");
             e.InsertLine(2, "x");
         },
         {""},
         {""}},
        {"rewrite",
         [](TLingoRichEdit& e) {
             e.WriteLn("a");
             e.Write("b");
             e.RewriteLine(0, "«#2;");
             e.RewriteLine(2, "x");
         },
         {"«#2;", "b"},
         {"Bye", "b"}},
        {"delete in the middle, at the end, the only one",
         [](TLingoRichEdit& e) {
             for (const char* t : {"a", "b", "c"})
                 e.WriteLn(t);
             e.DeleteLine(1);
             e.DeleteLine(3);
             e.DeleteLine(2);
             e.DeleteLine(-1);
         },
         {"a", "c"},
         {"a", "c"}},
        {"delete down to one",
         [](TLingoRichEdit& e) {
             e.WriteLn("a");
             e.Write("b");
             e.DeleteLine(0);
             e.DeleteLine(0);
         },
         {""},
         {""}},
        {"clear",
         [](TLingoRichEdit& e) {
             e.WriteLn("a");
             e.Clear();
             e.Write("b");
         },
         {"b"},
         {"b"}},
    };
    for (const auto& c : cases) {
        TLingoRichEdit edit;
        edit.SetAssignedLexicon(lexicon);
        edit.SetStyle(TLMStringStyle::fsBold, 0, TLMStringStyle::DefaultColor, QString());
        c.operation(edit);
        EXPECT_EQ(edit.LMLines(), c.source) << c.name;
        EXPECT_EQ(edit.LinesCount(), c.source.size()) << c.name;
        EXPECT_EQ(edit.document()->blockCount(), c.shown.size()) << c.name;
        QStringList shown;
        for (int i = 0; i < edit.LinesCount(); ++i)
            shown << edit.ReadLineText(i);
        EXPECT_EQ(shown, c.shown) << c.name;
        EXPECT_EQ(edit.toPlainText(), c.shown.join('\n')) << c.name;
    }
}

TEST_F(RichEditTest, ALanguageSwitchShowsTheNewTexts) {
    writeLanguage(lang("de.lng"), QStringLiteral("DE"), {}, {{kKey, {{0, "Hallo"}, {2, "Tschüss"}}}});
    scan();
    TLingoRichEdit edit;
    edit.SetAssignedLexicon(lexicon);
    edit.SetStyle(TLMStringStyle::fsBold, 0, TLMStringStyle::DefaultColor, QString());
    edit.WriteLn("«#0;", 0);
    edit.Write("«#1; «#2;");

    ASSERT_EQ(engine->Translate(QStringLiteral("DE")), "DE");
    EXPECT_EQ(edit.toPlainText(), "Hallo\nWorld Tschüss");
    EXPECT_TRUE(runsOf(edit, 0).at(0).bold) << "styles survive the switch";
    ASSERT_EQ(engine->Translate(QStringLiteral("EN")), "EN");
    EXPECT_EQ(edit.toPlainText(), "Hello\nWorld Bye");
}

// Counts how often its lexicon makes it render again.
class CountingRichEdit : public TLingoRichEdit {
public:
    void Translate() override {
        ++renders;
        TLingoRichEdit::Translate();
    }
    int renders = 0;
};

TEST_F(RichEditTest, MovingToAnotherLexiconLeavesTheOldOne) {
    TDesignedLexicon other(&owner);
    other.setObjectName(QStringLiteral("Other"));
    other.SetItems({QStringLiteral("Eins")});
    auto edit = std::make_unique<CountingRichEdit>();
    edit->Write("«#0;");
    edit->SetAssignedLexicon(lexicon);
    EXPECT_EQ(edit->renders, 1);
    EXPECT_EQ(edit->ReadLineText(0), "Hello");
    edit->SetAssignedLexicon(&other);
    EXPECT_EQ(edit->renders, 2);
    EXPECT_EQ(edit->ReadLineText(0), "Eins");
    lexicon->LanguageChanged();
    EXPECT_EQ(edit->renders, 2) << "the old lexicon no longer reaches it";
    other.LanguageChanged();
    EXPECT_EQ(edit->renders, 3);
    edit.reset();
    other.LanguageChanged(); // nothing left to reach the destroyed control
}

TEST_F(RichEditTest, SourceLinesSurviveSavingAndLoading) {
    const std::optional<TLFEncoding> encodings[] = {std::nullopt, TLFEncoding::UTF8, TLFEncoding::Unicode,
                                                    TLFEncoding::BigEndianUnicode};
    const QString dir = QString::fromStdString(testenv::makeTempDir("rich"));
    for (const auto& encoding : encodings) {
        const int tag = encoding ? static_cast<int>(*encoding) : -1;
        TLingoRichEdit edit;
        edit.SetAssignedLexicon(lexicon);
        edit.WriteLn("Žluťoučký «#0;", 0);
        edit.WriteLn("");
        const QString path = dir + QStringLiteral("/f%1.txt").arg(tag);
        ASSERT_TRUE(edit.SaveToFile(path, encoding)) << tag;

        TLingoRichEdit loaded;
        loaded.SetAssignedLexicon(lexicon);
        ASSERT_TRUE(loaded.LoadFromFile(path)) << tag;
        EXPECT_EQ(loaded.LMLines(), edit.LMLines()) << tag;
        EXPECT_EQ(loaded.toPlainText(), "Žluťoučký Hello\n\n") << tag;
    }
    TLingoRichEdit edit;
    EXPECT_FALSE(edit.LoadFromFile(dir + "/missing.txt"));
    EXPECT_EQ(edit.LMLines(), QStringList{""});
}

// ---- TValuedLabel ----

TEST(ValuedLabel, NameSeparatorBlanksAndValue) {
    const struct {
        const char* name;
        const char* separator;
        uint8_t spaces;
        const char* value;
        const char* caption;
    } cases[] = {
        {"Volume", ":", 1, "5", "Volume: 5"},
        {"Volume", ":", 0, "5", "Volume:5"},
        {"Volume", " =", 3, "<b>5</b>", "Volume =   <b>5</b>"},
        {"", "", 0, "", ""},
    };
    for (const auto& c : cases) {
        TValuedLabel label;
        // Any order of setting gives the same caption.
        label.SetValue(c.value);
        label.SetValueSpaces(c.spaces);
        label.SetValueName(c.name);
        label.SetValueSeparator(c.separator);
        EXPECT_EQ(label.text(), c.caption) << c.caption;
        EXPECT_EQ(label.textFormat(), Qt::PlainText);
    }
    TValuedLabel label;
    ASSERT_TRUE(label.setProperty("ValueName", "Name"));
    ASSERT_TRUE(label.setProperty("ValueSeparator", ":"));
    ASSERT_TRUE(label.setProperty("ValueSpaces", 2u));
    ASSERT_TRUE(label.setProperty("Value", "v"));
    EXPECT_EQ(label.text(), "Name:  v");
    label.SetValueName("Jméno");
    EXPECT_EQ(label.text(), "Jméno:  v") << "a translated name keeps the value";
}

} // namespace
