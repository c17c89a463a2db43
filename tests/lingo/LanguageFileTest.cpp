// Language files: text encodings, the value reader, the header scan, reading
// a language over its superior, writing, and the file routines.
#include "LingoTestSupport.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>

using lingotest::entries;
using lingotest::entry;
using lingotest::kSignature;
using lingotest::Lexicons;

namespace {

QByteArray fixture(const char* name) {
    QFile f(QStringLiteral(VN_SOURCE_DIR "/tests/fixtures/lingo/") + QString::fromLatin1(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
}

QStringList linesOf(const QByteArray& bytes) { return lingo::SplitLines(lingo::DecodeLanguageText(bytes)); }

QByteArray hundredBytes() {
    QByteArray b;
    for (int i = 0; i < 100; ++i) b.append(static_cast<char>(i * 7 + 3));
    return b;
}

// What a read gives, in one value.
struct Read {
    bool ok = false;
    QString error;
    std::vector<TStructLine> rows;
    Lexicons lexicons;
    QByteArray flag;
};

Read readLanguage(const QStringList& lines, const QString& name, lingo::ReadOptions options) {
    TComponentStructure data;
    TLexiconData lex;
    Read r;
    r.flag = "stale";
    r.ok = lingo::ReadLanguage(lines, name, options, data, lex, &r.flag, &r.error);
    r.rows = entries(data);
    r.lexicons = lingotest::lexicons(lex);
    return r;
}

lingo::ReadOptions editorOptions() {
    lingo::ReadOptions o;
    o.signatureLine = kSignature;
    o.forEditor = true;
    return o;
}

QString u16(std::initializer_list<char16_t> units) {
    QString s;
    for (char16_t u : units) s.append(QChar(u));
    return s;
}

} // namespace

// ---- encodings ----

TEST(LanguageFile, DecodingTable) {
    const QString fffd(QChar(QChar::ReplacementCharacter));
    const struct {
        const char* label;
        QByteArray bytes;
        QString text;
    } cases[] = {
        {"empty", QByteArray(), QString()},
        {"UTF-16LE", QByteArray("\xFF\xFE[\0\x59\x01", 6), QStringLiteral("[ř")},
        {"UTF-16BE", QByteArray("\xFE\xFF\0[\x01\x59", 6), QStringLiteral("[ř")},
        {"UTF-16LE pair", QByteArray("\xFF\xFE\x3D\xD8\x00\xDE", 6), QStringLiteral("😀")},
        {"UTF-16LE odd byte count", QByteArray("\xFF\xFE" "a\0b", 5), "a" + fffd},
        {"UTF-16LE lone high surrogate", QByteArray("\xFF\xFE\x3D\xD8" "a\0", 6), fffd + "a"},
        {"UTF-16BE lone low surrogate", QByteArray("\xFE\xFF\xDE\x00\0a", 6), fffd + "a"},
        {"UTF-16LE high surrogate at the end", QByteArray("\xFF\xFE" "a\0\x3D\xD8", 6), "a" + fffd},
        {"UTF-8 with mark", QByteArray("\xEF\xBB\xBF\xC5\x99"), QStringLiteral("ř")},
        {"UTF-8 with mark, bad bytes", QByteArray("\xEF\xBB\xBF" "a\xFF"), "a" + fffd},
        {"UTF-8 without mark", QByteArray("\xC5\xBEluv"), QStringLiteral("žluv")},
        {"Windows-1250", QByteArray("P\xF8\xEDli\x9A \x9Elu\x9Dou\xE8k\xFD k\xF9\xF2"),
         QStringLiteral("Příliš žluťoučký kůň")},
        {"Windows-1250 Slovak", QByteArray("\xCF" "alej \xBE \xF4 \xE4"), QStringLiteral("Ďalej ľ ô ä")},
        {"Windows-1250 signs", QByteArray("\x80\x84\x93\x96\xA0\xFF"), u16({0x20AC, 0x201E, 0x201C, 0x2013, 0xA0, 0x2D9})},
        {"Windows-1250 unassigned", QByteArray("\x81\x83\x88\x90\x98"), fffd + fffd + fffd + fffd + fffd},
    };
    for (const auto& c : cases) EXPECT_EQ(lingo::DecodeLanguageText(c.bytes), c.text) << c.label;
}

TEST(LanguageFile, EncodingTable) {
    const QString lone = u16({'a', 0xD800, 'b'});
    const struct {
        const char* label;
        QString text;
        TLFEncoding encoding;
        QByteArray bytes;
    } cases[] = {
        {"UTF-16LE", QStringLiteral("[ř"), TLFEncoding::Unicode, QByteArray("\xFF\xFE[\0\x59\x01", 6)},
        {"UTF-16BE", QStringLiteral("[ř"), TLFEncoding::BigEndianUnicode, QByteArray("\xFE\xFF\0[\x01\x59", 6)},
        {"UTF-8", QStringLiteral("[ř"), TLFEncoding::UTF8, QByteArray("\xEF\xBB\xBF[\xC5\x99")},
        {"Windows-1250", QStringLiteral("Příliš €"), TLFEncoding::ANSI, QByteArray("P\xF8\xEDli\x9A \x80")},
        {"Windows-1250 lacks", QStringLiteral("日 😀 ñ"), TLFEncoding::ANSI, QByteArray("? ? ?")},
        {"UTF-16LE lone surrogate", lone, TLFEncoding::Unicode, QByteArray("\xFF\xFE" "a\0\xFD\xFF" "b\0", 8)},
        {"UTF-8 lone surrogate", lone, TLFEncoding::UTF8, QByteArray("\xEF\xBB\xBF" "a\xEF\xBF\xBD" "b")},
        {"Windows-1250 lone surrogate", lone, TLFEncoding::ANSI, QByteArray("a?b")},
    };
    for (const auto& c : cases) EXPECT_EQ(lingo::EncodeLanguageText(c.text, c.encoding), c.bytes) << c.label;
}

TEST(LanguageFile, LinesAndValues) {
    const struct {
        const char* text;
        QStringList lines;
    } splits[] = {{"", {}},           {"a", {"a"}},           {"a\r\n", {"a"}},         {"a\r\n\r\n", {"a", ""}},
                  {"\r\n", {""}},     {"a\rb\nc\r\nd", {"a", "b", "c", "d"}}, {"a\n\rb", {"a", "", "b"}}};
    for (const auto& c : splits) EXPECT_EQ(lingo::SplitLines(QString::fromLatin1(c.text)), c.lines) << c.text;

    const struct {
        const char* line;
        bool ok;
        qint64 number;
        const char* value;
    } lines[] = {{"5\tv", true, 5, "v"},          {"-3\tv\tw", true, -3, "v\tw"}, {"+007\t", true, 7, ""},
                 {"70000\tx", true, 70000, "x"},  {"5", false, 0, ""},           {"\tv", false, 0, ""},
                 {" 5\tv", false, 0, ""},         {"5 \tv", false, 0, ""},       {"0x5\tv", false, 0, ""},
                 {"-\tv", false, 0, ""},          {"99999999999999999999999\tv", true, INT64_MAX, "v"}};
    for (const auto& c : lines) {
        lingo::LangLine l;
        ASSERT_EQ(lingo::ParseLangLine(QString::fromLatin1(c.line), l), c.ok) << c.line;
        if (!c.ok) continue;
        EXPECT_EQ(l.number, c.number) << c.line;
        EXPECT_EQ(l.value, QString::fromLatin1(c.value)) << c.line;
    }

    // Fields and markers are looked for outside the quoted text only.
    const struct {
        const char* value;
        const char* quoted;
        const char* component;
        bool old;
    } values[] = {
        {"\"a\"\t%COMPONENT=B;", "a", "B", false},
        {"\"say \"hi\" now\"\t%COMPONENT=B;", "say \"hi\" now", "B", false},
        {"\"t %OLD %COMPONENT=x;\"\t%COMPONENT=B;", "t %OLD %COMPONENT=x;", "B", false},
        {"\"t\"\t%COMPONENT=B;\t%OLD", "t", "B", true},
        {"\"t\"\t%COMPONENT=B", "t", "", false},           // no ";"
        {"\"\"\t%COMPONENT=;", "", "", false},
        {"%COMPONENT=B;\"", "", "B", false},               // the only quote is last
        {"x\"y\t%COMPONENT=B;", "", "B", false},           // one quote: no quoted text
        {"%COMPONENT=O\"Brien;", "", "", false},          // a lone quote never ends up in a field
        {"%COMP\"x\"ONENT=B;", "x", "", false},            // the quoted part separates
        // A key counts at a field's start only, and its text never crosses a TAB.
        {"\"t\"\tx%COMPONENT=A;\t%COMPONENT=B;", "t", "B", false},
        {"\"t\"\t%OWNER=F\t%COMPONENT=B;", "t", "B", false},
        {"\"t\"\t%COMPONENT=A\t%OLD;", "t", "", true},
    };
    for (const auto& c : values) {
        const QString v = QString::fromUtf8(c.value);
        EXPECT_EQ(lingo::QuotedText(v), QString::fromUtf8(c.quoted)) << c.value;
        EXPECT_EQ(lingo::KeyedField(v, "%COMPONENT="), QString::fromUtf8(c.component)) << c.value;
        EXPECT_EQ(lingo::HasMarker(v, "%OLD"), c.old) << c.value;
    }
}

// ---- writing ----

TEST(LanguageFile, WriterLines) {
    TComponentStructure data;
    data.AddLine(entry("Label1", "Form2", "Door\r\nbell", 0, "", TStructLine::Translated | TStructLine::ChangedInEditor));
    data.AddLine(entry("Button1", "Form2", "Lock", 1, "", 0));
    data.AddLine(entry("List1", "Form2", "First \"one\"", 33, "0", TStructLine::Translated | TStructLine::Obsolete));
    data.AddLine(entry("Edit1", "Form2", "", 5, "2,1.500", TStructLine::Obsolete));
    data.AddLine(entry("Form2", "", "", 0, "", TStructLine::Translated));
    data.AddLine(entry("Label2", "Fo\"rm", "x", 0, "", TStructLine::Translated));
    TLexiconData lex;
    lex.NewLexicon("Empty.Lex");
    lex.WriteItem("Empty.Lex", 3, "");
    lex.NewLexicon("DataModule1.DesignedLexicon1");
    lex.WriteItem("DataModule1.DesignedLexicon1", 10, "ten");
    lex.WriteItem("DataModule1.DesignedLexicon1", 2, "two");
    lex.WriteItem("DataModule1.DesignedLexicon1", 5, "");
    lex.WriteItem("DataModule1.DesignedLexicon1", 7, "seven");
    lex.RemoveItem("DataModule1.DesignedLexicon1", 7);
    const QByteArray flag = hundredBytes();
    const QString hex = QString::fromLatin1(flag.toHex().toUpper());

    const QByteArray bytes = lingo::WriteLanguage("YOX_", "CZ", "EN", data, lex, flag, TLFEncoding::Unicode);
    ASSERT_TRUE(bytes.startsWith("\xFF\xFE"));
    EXPECT_EQ(lingo::DecodeLanguageText(bytes),
              "[YOX_]\r\n"
              "0\t%LANGUAGE_NAME=\"CZ\"\t%SUPERIOR_LANGUAGE=EN;\t%FILEVER=THLF1;\r\n"
              "0\t\"Door  bell\"\t%COMPONENT=Label1;\t%OWNER=Form2;\r\n"
              "1\t%NOTRANS\t%COMPONENT=Button1;\t%OWNER=Form2;\r\n"
              "33\t\"First \"one\"\"\t%COMPONENT=List1;\t%OWNER=Form2;\t%ITEM=0;\t%OLD\r\n"
              "5\t%NOTRANS\t%COMPONENT=Edit1;\t%OWNER=Form2;\t%ITEM=2,1.500;\t%OLD\r\n"
              "0\t\"\"\t%COMPONENT=Form2;\t%OWNER=;\r\n"
              "0\t\"x\"\t%COMPONENT=Label2;\t%OWNER=Fo rm;\r\n"
              "0\t%LEXICON_STRINGS\r\n"
              "0\t%LEXICON_NAME=DataModule1.DesignedLexicon1;\r\n"
              "2\t\"two\"\r\n"
              "10\t\"ten\"\r\n"
              "0\t%SMART_STRINGS\r\n"
              "0\t%FLAG_ICON\r\n"
              "0\t" + hex.left(100) + "\r\n"
              "1\t" + hex.mid(100) + "\r\n"
              "2\t\r\n");

    // No superior, no flag: neither part is written.
    const QStringList plain = linesOf(lingo::WriteLanguage("YOX_", "CZ", "", {}, {}, {}, TLFEncoding::Unicode));
    EXPECT_EQ(plain, QStringList({"[YOX_]", "0\t%LANGUAGE_NAME=\"CZ\"\t%FILEVER=THLF1;", "0\t%LEXICON_STRINGS",
                                  "0\t%SMART_STRINGS"}));
}

TEST(LanguageFile, RoundTripOverEncodingsAndLineEnds) {
    auto reencode = [](TLFEncoding to, const char* lineEnd) {
        return [to, lineEnd](const QByteArray& written) {
            QString text = lingo::DecodeLanguageText(written);
            text.replace("\r\n", QString::fromLatin1(lineEnd));
            return lingo::EncodeLanguageText(text, to);
        };
    };
    const std::function<QByteArray(const QByteArray&)> same = [](const QByteArray& b) { return b; };
    const struct {
        const char* label;
        TLFEncoding encoding;
        std::function<QByteArray(const QByteArray&)> change;
        QByteArray start;   // the file's first bytes
        QByteArray inside;  // bytes that show the encoding
        bool wide;          // texts beyond Windows-1250
    } cases[] = {
        {"UTF-16LE", TLFEncoding::Unicode, same, "\xFF\xFE[\0", QByteArray("P\0\x59\x01", 4), true},
        {"UTF-16BE", TLFEncoding::BigEndianUnicode, same, QByteArray("\xFE\xFF\0[", 4), QByteArray("\0P\x01\x59", 4), true},
        {"UTF-8 with mark", TLFEncoding::UTF8, same, "\xEF\xBB\xBF[", "P\xC5\x99", true},
        {"UTF-8 without mark", TLFEncoding::UTF8, [](const QByteArray& b) { return b.mid(3); }, "[YOX_]", "P\xC5\x99", true},
        {"Windows-1250", TLFEncoding::ANSI, same, "[YOX_]\r\n", "P\xF8\xEDli\x9A", false},
        {"CR only, UTF-16LE", TLFEncoding::Unicode, reencode(TLFEncoding::Unicode, "\r"), "\xFF\xFE[\0", QByteArray("]\0\r\0" "0\0", 6), true},
        {"LF only, Windows-1250", TLFEncoding::ANSI, reencode(TLFEncoding::ANSI, "\n"), "[YOX_]\n0", "\xCF" "alej", false},
        {"CR only, UTF-8 without mark", TLFEncoding::UTF8,
         [reencode](const QByteArray& b) { return reencode(TLFEncoding::UTF8, "\r")(b).mid(3); }, "[YOX_]\r0", "\xC5\xA4", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TComponentStructure data;
        data.AddLine(entry("Label1", "Form2", QStringLiteral("Příliš žluťoučký kůň"), 0, "", 1));
        data.AddLine(entry("Button1", "Form2", "", 0, "", 0));
        data.AddLine(entry("List1", "Form2", QStringLiteral("Ďalej ľ ô ä"), 33, "1,2.Caption:Sub", 3));
        data.AddLine(entry("Form2", "", QStringLiteral("Ťuk „uvozovky“ — € ‰"), 0, "", 1));
        if (c.wide) data.AddLine(entry("Label2", "Form2", QStringLiteral("Ελληνικά 😀 日本"), 5, "", 1));
        TLexiconData lex;
        lex.NewLexicon("DataModule1.DesignedLexicon1");
        lex.WriteItem("DataModule1.DesignedLexicon1", 4464, QStringLiteral("Šťastný"));
        lex.WriteItem("DataModule1.DesignedLexicon1", 0, QStringLiteral("Ahoj"));
        lex.NewLexicon("Form2.Lex");
        lex.WriteItem("Form2.Lex", 3, QStringLiteral("ľ"));
        const QByteArray flag = hundredBytes();

        const QByteArray bytes =
            c.change(lingo::WriteLanguage("YOX_", QStringLiteral("Čeština"), "EN", data, lex, flag, c.encoding));
        EXPECT_TRUE(bytes.startsWith(c.start));
        EXPECT_TRUE(bytes.contains(c.inside));

        QByteArray headerFlag;
        EXPECT_EQ(lingo::ReadFileHeader(bytes, kSignature, &headerFlag), QStringLiteral("Čeština"));
        EXPECT_EQ(headerFlag, flag);
        const Read r = readLanguage(linesOf(bytes), QStringLiteral("Čeština"), editorOptions());
        EXPECT_TRUE(r.ok) << r.error.toStdString();
        EXPECT_EQ(r.rows, entries(data));
        EXPECT_EQ(r.lexicons, lingotest::lexicons(lex));
        EXPECT_EQ(r.flag, flag);
    }
}

// ---- reading over a superior language ----

namespace {
// The engine's part: the superior language is read into the same stores.
struct SuperiorLoader {
    std::map<QString, QStringList> files;
    QStringList calls;
    TComponentStructure* data = nullptr;
    TLexiconData* lex = nullptr;

    lingo::ReadOptions options(bool forEditor) {
        lingo::ReadOptions o;
        o.signatureLine = kSignature;
        o.forEditor = forEditor;
        o.loadSuperior = [this](const QString& superior) {
            calls << superior;
            const auto f = files.find(superior);
            if (f == files.end()) return;
            QString error;
            EXPECT_TRUE(lingo::ReadLanguage(f->second, superior, options(false), *data, *lex, nullptr, &error));
        };
        return o;
    }
};
} // namespace

TEST(LanguageFile, ReadsOverItsSuperior) {
    TComponentStructure data;
    TLexiconData lex;
    SuperiorLoader loader{{{"EN", linesOf(fixture("base.lng"))}}, {}, &data, &lex};
    const QStringList child = linesOf(fixture("child.lng"));
    QByteArray flag = "stale";
    QString error;

    ASSERT_TRUE(lingo::ReadLanguage(child, "CZ", loader.options(false), data, lex, &flag, &error));
    EXPECT_EQ(loader.calls, QStringList({"XX", "EN", ""})) << "at every header line, the superior's own included";
    const std::vector<TStructLine> expected = {
        entry("Label1", "Form2", QStringLiteral("Dveře"), 0, "", 1),        // replaced
        entry("Button1", "Form2", "Lock", 0, "", 0),                          // untranslated: the superior's text stays
        entry("Button1", "Form2", "Open the lock", 1, "", 1),                 // from the superior only
        entry("List1", "Form2", "First", 33, "0", 1),
        entry("Edit1", "Form2", QStringLiteral("Řekni \"ahoj\" teď"), 5, "", 3), // inner quotes, %OLD
    };
    EXPECT_EQ(entries(data), expected) << "the SK lines before the CZ header are skipped";
    EXPECT_EQ(lingotest::lexicons(lex),
              (Lexicons{{"DataModule1.DesignedLexicon1", {{0, "Log send successful"}, {1, QStringLiteral("Protokol neodeslán")}}}}))
        << "the item before any lexicon heading is ignored";
    EXPECT_TRUE(flag.isEmpty()) << "the flag is only for the editor";

    // For the editor every entry is appended and the flag read; unregistered windows' entries are obsolete.
    lingo::ReadOptions editor = loader.options(true);
    editor.markObsolete = true;
    editor.isRegistered = [](const QString& owner, const QString& component) {
        return owner == "Form2" && component != "Button1";
    };
    ASSERT_TRUE(lingo::ReadLanguage(child, "CZ", editor, data, lex, &flag, &error));
    const std::vector<TStructLine> all = {
        entry("Label1", "Form2", "Door", 0, "", 1),
        entry("Button1", "Form2", "Lock", 0, "", 1),
        entry("Button1", "Form2", "Open the lock", 1, "", 1),
        entry("List1", "Form2", "First", 33, "0", 1),
        entry("Label1", "Form2", QStringLiteral("Dveře"), 0, "", 1),
        entry("Button1", "Form2", "", 0, "", 2),
        entry("Edit1", "Form2", QStringLiteral("Řekni \"ahoj\" teď"), 5, "", 3),
    };
    EXPECT_EQ(entries(data), all);
    QByteArray hundred;
    for (int i = 0; i < 100; ++i) hundred.append(static_cast<char>(i));
    EXPECT_EQ(flag, hundred) << "lines 0 and 1 with 50 bytes each, line 2 empty; lower-case hex";

    // The name in the header must match in letter case: only the superior chain is left.
    ASSERT_TRUE(lingo::ReadLanguage(child, "cz", loader.options(false), data, lex, &flag, &error));
    EXPECT_EQ(entries(data).size(), 4u);
    EXPECT_EQ(entries(data)[0].Text, "Door");
}

// ---- bad input ----

TEST(LanguageFile, HeaderScanTable) {
    const QByteArray head = "[YOX_]\r\n0\t%LANGUAGE_NAME=\"CZ\"\r\n0\t%LEXICON_STRINGS\r\n";
    const QByteArray big = QByteArray(lingo::MaxFlagBytes / 200 + 1, 'x').replace('x', QByteArray("0\t") + QByteArray(400, 'A') + "\r\n");
    const struct {
        const char* label;
        QByteArray bytes;
        const char* name;
        QByteArray flag;
    } cases[] = {
        {"plain", head, "CZ", ""},
        {"flag", head + "0\t%FLAG_ICON\r\n0\t424D\r\n1\t0a\r\n", "CZ", "BM\n"},
        {"first named header line",
         "[YOX_]\r\n0\t%LANGUAGE_NAME=\"\"\r\n0\t%FLAG_ICON\r\n0\t41\r\n0\t%LANGUAGE_NAME=\"SK\"\r\n0\t%FLAG_ICON\r\n0\t42\r\n",
         "SK", "B"},
        {"flag marker inside a text", head + "0\t\"%FLAG_ICON\"\r\n0\t41\r\n", "CZ", ""},
        {"bad hex ends a line", head + "0\t%FLAG_ICON\r\n0\t41G242\r\n1\t434\r\nx\t44\r\n2\t45\r\n", "CZ", "ACE"},
        {"flag over the limit", head + "0\t%FLAG_ICON\r\n" + big, "CZ", ""},
        {"two lines", "[YOX_]\r\n0\t%LANGUAGE_NAME=\"CZ\"\r\n", "", ""},
        {"wrong letter case", "[yox_]\r\n0\t%LANGUAGE_NAME=\"CZ\"\r\n0\t\r\n", "", ""},
        {"blanks around the signature", " [YOX_]\r\n0\t%LANGUAGE_NAME=\"CZ\"\r\n0\t\r\n", "", ""},
        {"header without a TAB", "[YOX_]\r\n%LANGUAGE_NAME=\"CZ\"\r\n0\t\r\n", "", ""},
        {"empty", "", "", ""},
    };
    for (const auto& c : cases) {
        QByteArray flag = "stale";
        EXPECT_EQ(lingo::ReadFileHeader(c.bytes, kSignature, &flag), QString::fromLatin1(c.name)) << c.label;
        EXPECT_EQ(flag, c.flag) << c.label;
    }
}

TEST(LanguageFile, BadInputTable) {
    const QByteArray head = "[YOX_]\r\n0\t%LANGUAGE_NAME=\"CZ\"\r\n";
    const QByteArray lexHead = head + "0\t%LEXICON_STRINGS\r\n0\t%LEXICON_NAME=A.L;\r\n";
    const struct {
        const char* label;
        QByteArray bytes;
        bool ok;
        std::vector<TStructLine> rows;
        Lexicons lexicons;
    } cases[] = {
        {"empty file", "", false, {}, {}},
        {"wrong letter case", "[yox_]\r\n0\t%LANGUAGE_NAME=\"CZ\"\r\n0\t\"t\"\t%COMPONENT=a;\r\n", false, {}, {}},
        {"blanks around the signature", "[YOX_] \r\n0\t%LANGUAGE_NAME=\"CZ\"\r\n", false, {}, {}},
        {"junk", QByteArray("\x00\xFF\x13\x88\r\n\t\"%\xFE", 10), false, {}, {}},
        {"two lines", head, true, {}, {}},
        {"no such language", "[YOX_]\r\n0\t%LANGUAGE_NAME=\"SK\"\r\n0\t\"t\"\t%COMPONENT=a;\r\n", true, {}, {}},
        {"markers inside the text",
         head + "5\t\"a %OLD %NOTRANS %COMPONENT=x; %OWNER=y; %ITEM=z; %LEXICON_STRINGS\"\t%COMPONENT=a;\t%OWNER=F;\r\n",
         true, {entry("a", "F", "a %OLD %NOTRANS %COMPONENT=x; %OWNER=y; %ITEM=z; %LEXICON_STRINGS", 5, "", 1)}, {}},
        {"not entries",
         head + "-1\t\"neg\"\t%COMPONENT=a;\r\n70000\t\"big\"\t%COMPONENT=a;\r\n4464\t\"\"\t%COMPONENT=;\r\n"
                "x1\t\"word\"\t%COMPONENT=a;\r\n1 \"no tab\" %COMPONENT=a;\r\n4464\t\"ok\"\t%COMPONENT=a;\r\n",
         true, {entry("a", "", "ok", 4464, "", 1)}, {}},
        {"item 70000 skipped",
         lexHead + "4464\t\"keep\"\r\n70000\t\"wrap\"\r\n-1\t\"neg\"\r\n5\t\"\"\r\n+6\tno quotes\r\n",
         true, {}, {{"A.L", {{4464, "keep"}}}}},
        {"marker of the lexicon name inside an item text", lexHead + "3\t\"%LEXICON_NAME=;\"\r\n", true, {},
         {{"A.L", {{3, "%LEXICON_NAME=;"}}}}},
        {"empty lexicon name", lexHead + "1\t\"one\"\r\n0\t%LEXICON_NAME=;\r\n2\t\"two\"\r\n", false, {},
         {{"A.L", {{1, "one"}}}}},
        {"lexicon name without ;", lexHead + "0\t%LEXICON_NAME=B.L\r\n", false, {}, {{"A.L", {}}}},
        {"end of file in the reserved section", lexHead + "1\t\"one\"\r\n0\t%SMART_STRINGS\r\n", true, {},
         {{"A.L", {{1, "one"}}}}},
    };
    for (const auto& c : cases) {
        const Read r = readLanguage(linesOf(c.bytes), "CZ", editorOptions());
        EXPECT_EQ(r.ok, c.ok) << c.label;
        EXPECT_EQ(r.error.isEmpty(), c.ok) << c.label << ": a failure says why";
        EXPECT_EQ(r.rows, c.rows) << c.label;
        EXPECT_EQ(r.lexicons, c.lexicons) << c.label;
        EXPECT_TRUE(r.flag.isEmpty()) << c.label;
    }
}

TEST(LanguageFile, HighItemNumbersCannotClaimUnboundedMemory) {
    // Each lexicon with item 65535 keeps room for 65536 numbers.
    QByteArray file = "[YOX_]\r\n0\t%LANGUAGE_NAME=\"CZ\"\r\n0\t%LEXICON_STRINGS\r\n";
    const int lexiconCount = lingo::MaxLexiconSlots / 65536 + 6;
    for (int k = 0; k < lexiconCount; ++k)
        file += "0\t%LEXICON_NAME=L" + QByteArray::number(k) + ";\r\n65535\t\"high\"\r\n0\t\"low\"\r\n";
    TComponentStructure data;
    TLexiconData lex;
    ASSERT_TRUE(lingo::ReadLanguage(linesOf(file), "CZ", editorOptions(), data, lex, nullptr, nullptr));
    ASSERT_EQ(lex.LexiconCount(), lexiconCount);
    qint64 room = 0;
    for (int k = 0; k < lexiconCount; ++k) {
        const QString name = "L" + QString::number(k);
        room += lex.MaxItemNr(name) + 1;
        EXPECT_EQ(lex.ReadItem(name, 0), "low") << k;
        EXPECT_EQ(lex.IsIncluded(name, 65535), k < lingo::MaxLexiconSlots / 65536) << k;
    }
    EXPECT_LE(room, lingo::MaxLexiconSlots + lexiconCount) << "beyond the bound only each lexicon's first number";
}

// ---- files ----

TEST(LanguageFile, ReadSourceBytesRefusals) {
    const QString dir = QString::fromStdString(testenv::makeTempDir("lng"));
    const QString fits = dir + "/fits.lng", over = dir + "/over.lng", fifo = dir + "/fifo.lng";
    for (const auto& [path, size] : {std::pair{fits, lingo::MaxLanguageFileBytes}, std::pair{over, lingo::MaxLanguageFileBytes + 1}}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(size));
    }
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const struct {
        const char* label;
        QString path;
        bool ok;
    } cases[] = {{"fits", fits, true},     {"over 4 MiB", over, false}, {"folder", dir, false},
                 {"missing", dir + "/none.lng", false}, {"a pipe", fifo, false}};
    for (const auto& c : cases) {
        QByteArray bytes = "stale";
        QString error;
        EXPECT_EQ(lingo::ReadSourceBytes(c.path, bytes, &error), c.ok) << c.label;
        EXPECT_EQ(error.isEmpty(), c.ok) << c.label;
        EXPECT_EQ(bytes.size(), c.ok ? lingo::MaxLanguageFileBytes : 0) << c.label;
    }
}

TEST(LanguageFile, WriteFileReplacingKeepsTheOldFileOnFailure) {
    const QString dir = QString::fromStdString(testenv::makeTempDir("lng"));
    const QString path = dir + "/cz.lng";
    const QByteArray old = lingo::WriteLanguage("YOX_", "CZ", "", {}, {}, {}, TLFEncoding::Unicode);
    QString error;
    ASSERT_TRUE(lingo::WriteFileReplacing(path, "first", &error)) << error.toStdString();
    ASSERT_TRUE(lingo::WriteFileReplacing(path, old, &error)) << error.toStdString();
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), old) << "replaced";
    QFile plain(dir + "/plain");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();

    // A file size limit fails the write even for root; the signal it raises is ignored.
    const auto underSizeLimit = [](const std::function<bool()>& write) {
        rlimit before{};
        getrlimit(RLIMIT_FSIZE, &before);
        rlimit low = before;
        low.rlim_cur = 4096;
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &low);
        const bool ok = write();
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, handler);
        return ok;
    };
    const QByteArray large(64 * 1024, 'x');
    const struct {
        const char* label;
        std::function<bool(QString*)> write;
    } cases[] = {
        {"parent is a file", [&](QString* e) { return lingo::WriteFileReplacing(dir + "/plain/cz.lng", old, e); }},
        {"file size limit", [&](QString* e) { return underSizeLimit([&] { return lingo::WriteFileReplacing(path, large, e); }); }},
        // Small enough for the write buffer: the failure comes only when it is flushed.
        {"file size limit, buffered", [&](QString* e) {
             return underSizeLimit([&] { return lingo::WriteFileReplacing(path, QByteArray(6000, 'x'), e); });
         }},
    };
    for (const auto& c : cases) {
        QString why;
        EXPECT_FALSE(c.write(&why)) << c.label;
        EXPECT_FALSE(why.isEmpty()) << c.label;
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), old) << c.label << ": the old file byte for byte";
        EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList({"cz.lng", "plain"}))
            << c.label << ": no new file left behind";
    }
}
