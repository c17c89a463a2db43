// The language engine, its lexicons and the per-window translation client
// against a real engine whose language folder is a temporary one, language
// files written as the program writes them (or as raw bytes where a file
// must be broken), one built-in language and a small window of named
// controls.
#include "lingo/LingoComp.h"
#include "lingo/LingoCtrls.h"
#include "support/TestEnv.h"

#include <QAction>
#include <QBuffer>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

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

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

// One entry of a language file; no text means "not translated here".
struct Entry {
    const char* name;
    const char* owner;
    uint16_t code;
    const char* item;
    const char* text;
};
struct Item {
    const char* key;
    int n;
    const char* text;
};

QByteArray language(const QString& name, const QString& superior, const std::vector<Entry>& entries,
                    const std::vector<Item>& items = {}, const QByteArray& flag = {}) {
    TComponentStructure data;
    TLexiconData lexicons;
    for (const Entry& e : entries)
        data.AddLine({u8(e.name), u8(e.owner), e.text ? u8(e.text) : QString(), e.code, u8(e.item),
                      e.text ? TStructLine::Translated : uint16_t{0}});
    for (const Item& i : items) {
        lexicons.NewLexicon(u8(i.key));
        lexicons.WriteItem(u8(i.key), static_cast<uint16_t>(i.n), u8(i.text));
    }
    return lingo::WriteLanguage(QStringLiteral("YOX_"), name, superior, data, lexicons, flag,
                                TLFEncoding::UTF8);
}

QByteArray bmpOf(int width, int height) {
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(QColor(200, 30, 30));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "BMP");
    return buffer.data();
}

QImage filled(int width, int height, QImage::Format format, QColor colour) {
    QImage picture(width, height, format);
    picture.fill(colour);
    return picture;
}

const QString kLexiconKey = QStringLiteral("DataModule1.DesignedLexicon1");
const QStringList kLexiconItems{"Log send successful",
                                "Log not send, check your internet connection",
                                "Could not start UDP transport on port 5060 (Voice). Blocking program is: ",
                                " Please stop this program.",
                                "Some collisions on SIP audio port 5060",
                                "SIP Server Mode",
                                "P2P Mode"};

// A window of named controls as a designer would leave them.
struct Form {
    std::unique_ptr<QWidget> window;
    QLabel *label1, *label2, *port, *address, *dialogLabel;
    QPushButton *ok, *lock1;
    QLineEdit *nameEdit, *addressEdit;
    QComboBox* mode;
    QListWidget* events;
    QGroupBox* locks;
    QTabWidget *pages, *pages2;
    QAction* save;
    TLingoClient* client = nullptr;
};

template <class W> W* named(QWidget* parent, const char* name) {
    auto* w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

std::unique_ptr<Form> makeForm(TLingoEngine* engine, const QString& name = QStringLiteral("Form1")) {
    auto f = std::make_unique<Form>();
    f->window = std::make_unique<QWidget>();
    QWidget* w = f->window.get();
    w->setObjectName(name);
    w->setWindowTitle("Settings");
    f->label1 = named<QLabel>(w, "Label1");
    f->label1->setText("Name");
    f->label2 = named<QLabel>(w, "Label2");
    f->label2->setText("Label2");
    f->port = named<QLabel>(w, "PortLabel");
    f->port->setText("80");
    f->address = named<QLabel>(w, "AddressLabel");
    f->address->setText("192.168.1.250");
    f->ok = named<QPushButton>(w, "OkButton");
    f->ok->setText("OK");
    f->ok->setToolTip("Save and close");
    f->ok->setAccessibleName("OK");
    f->nameEdit = named<QLineEdit>(w, "NameEdit");
    f->nameEdit->setText("Door phone");
    f->nameEdit->setPlaceholderText("Type a name");
    f->nameEdit->setAccessibleName("Panel name");
    f->addressEdit = named<QLineEdit>(w, "AddressEdit");
    f->addressEdit->setText("Door phone 2");
    f->addressEdit->setToolTip("Address of the panel");
    f->addressEdit->setPlaceholderText("IP address");
    lingo::KeepUserText(f->addressEdit);
    f->mode = named<QComboBox>(w, "ModeCombo");
    f->mode->addItems({"Server", "Peer"});
    f->events = named<QListWidget>(w, "EventList");
    f->events->addItems({"Ring", "Open"});
    f->locks = named<QGroupBox>(w, "LockBox");
    f->locks->setTitle("Locks");
    f->pages = named<QTabWidget>(w, "Pages");
    f->pages->addTab(new QWidget, "General");
    f->pages->addTab(new QWidget, "Video");
    f->pages2 = named<QTabWidget>(w, "Pages2");
    f->pages2->addTab(new QWidget, "Sound");
    f->pages2->addTab(new QWidget, "Mail");
    f->save = new QAction("Save", w);
    f->save->setObjectName("SaveAction");
    f->save->setToolTip("Save the settings");
    auto* guard = named<QWidget>(w, "GuardPanel1");
    lingo::MarkComposite(guard);
    f->lock1 = named<QPushButton>(guard, "Lock1Button");
    f->lock1->setText("Lock 1");
    auto* dialog = named<QDialog>(w, "Dialog1");
    f->dialogLabel = named<QLabel>(dialog, "DialogLabel");
    f->dialogLabel->setText("Dialog text");
    if (engine) f->client = new TLingoClient(w, engine);
    return f;
}

// Everything the window shows that a language could reach, with its design
// text and its German text (the same where nothing may change it).
struct Shown {
    const char* what;
    std::function<QString(const Form&)> get;
    const char* design;
    const char* german;
};
const std::vector<Shown> kShown = {
    {"window title", [](const Form& f) { return f.window->windowTitle(); }, "Settings", "Einstellungen"},
    {"label", [](const Form& f) { return f.label1->text(); }, "Name", "Bezeichnung"},
    {"button", [](const Form& f) { return f.ok->text(); }, "OK", "Übernehmen"},
    {"button hint", [](const Form& f) { return f.ok->toolTip(); }, "Save and close",
     "Speichern und schließen"},
    {"accessible name equal to the caption", [](const Form& f) { return f.ok->accessibleName(); }, "OK",
     "Übernehmen"},
    {"edit text", [](const Form& f) { return f.nameEdit->text(); }, "Door phone", "Türsprechstelle"},
    {"edit placeholder", [](const Form& f) { return f.nameEdit->placeholderText(); }, "Type a name",
     "Namen eingeben"},
    {"hint of a user's edit", [](const Form& f) { return f.addressEdit->toolTip(); }, "Address of the panel",
     "Adresse des Panels"},
    {"placeholder of a user's edit", [](const Form& f) { return f.addressEdit->placeholderText(); },
     "IP address", "IP-Adresse"},
    {"combo item 0", [](const Form& f) { return f.mode->itemText(0); }, "Server", "Zentrale"},
    {"combo item 1", [](const Form& f) { return f.mode->itemText(1); }, "Peer", "Direkt"},
    {"list line 0", [](const Form& f) { return f.events->item(0)->text(); }, "Ring", "Klingeln"},
    {"list line 1", [](const Form& f) { return f.events->item(1)->text(); }, "Open", "Öffnen"},
    {"group box", [](const Form& f) { return f.locks->title(); }, "Locks", "Schlösser"},
    {"tab 0", [](const Form& f) { return f.pages->tabText(0); }, "General", "Allgemein"},
    {"tab 1", [](const Form& f) { return f.pages->tabText(1); }, "Video", "Bild"},
    {"second tab widget, tab 0", [](const Form& f) { return f.pages2->tabText(0); }, "Sound", "Ton"},
    {"second tab widget, tab 1", [](const Form& f) { return f.pages2->tabText(1); }, "Mail", "Post"},
    {"action", [](const Form& f) { return f.save->text(); }, "Save", "Speichern"},
    {"action hint", [](const Form& f) { return f.save->toolTip(); }, "Save the settings",
     "Einstellungen speichern"},
    {"part of a composite", [](const Form& f) { return f.lock1->text(); }, "Lock 1", "Schloss 1"},
    // Nothing reaches these.
    {"label named like its caption", [](const Form& f) { return f.label2->text(); }, "Label2", "Label2"},
    {"port number", [](const Form& f) { return f.port->text(); }, "80", "80"},
    {"address", [](const Form& f) { return f.address->text(); }, "192.168.1.250", "192.168.1.250"},
    {"text of a user's edit", [](const Form& f) { return f.addressEdit->text(); }, "Door phone 2",
     "Door phone 2"},
    {"hint the label never had", [](const Form& f) { return f.label1->toolTip(); }, "", ""},
    {"accessible name of its own", [](const Form& f) { return f.nameEdit->accessibleName(); }, "Panel name",
     "Panel name"},
    {"label of a dialog inside the window", [](const Form& f) { return f.dialogLabel->text(); },
     "Dialog text", "Dialog text"},
};

// German for the window, its lexicon and the built-in lexicon, with entries
// the window never recorded.
const std::vector<Entry> kGerman = {
    {"Form1", "", pnCaption, "", "Einstellungen"},
    {"Label1", "Form1", pnCaption, "", "Bezeichnung"},
    {"Label1", "Form1", pnHint, "", "Tipp"},
    {"Label2", "Form1", pnCaption, "", "Etikett"},
    {"PortLabel", "Form1", pnCaption, "", "Hafen"},
    {"AddressLabel", "Form1", pnCaption, "", "Adresse"},
    {"OkButton", "Form1", pnCaption, "", "Übernehmen"},
    {"OkButton", "Form1", pnHint, "", "Speichern und schließen"},
    {"NameEdit", "Form1", pnText, "", "Türsprechstelle"},
    {"NameEdit", "Form1", pnTextHint, "", "Namen eingeben"},
    {"AddressEdit", "Form1", pnText, "", "Eingeschleust"},
    {"AddressEdit", "Form1", pnHint, "", "Adresse des Panels"},
    {"AddressEdit", "Form1", pnTextHint, "", "IP-Adresse"},
    {"ModeCombo", "Form1", lingo::code(pnItems), "0", "Zentrale"},
    {"ModeCombo", "Form1", lingo::code(pnItems), "1", "Direkt"},
    {"ModeCombo", "Form1", lingo::code(pnItems), "2", "Dritte"},
    {"EventList", "Form1", lingo::code(pnItems), "0", "Klingeln"},
    {"EventList", "Form1", lingo::code(pnItems), "1", "Öffnen"},
    {"EventList", "Form1", lingo::code(pnItems), "2", "Gast"},
    {"LockBox", "Form1", pnCaption, "", "Schlösser"},
    {"Pages", "Form1", lingo::code(pnTabs), "0", "Allgemein"},
    {"Pages", "Form1", lingo::code(pnTabs), "1", "Bild"},
    {"Pages2", "Form1", lingo::code(pnTabs), "0", "Ton"},
    {"Pages2", "Form1", lingo::code(pnTabs), "1", "Post"},
    {"SaveAction", "Form1", pnCaption, "", "Speichern"},
    {"SaveAction", "Form1", pnHint, "", "Einstellungen speichern"},
    {"GuardPanel1.Lock1Button", "Form1", pnCaption, "", "Schloss 1"},
    {"Lock1Button", "Form1", pnCaption, "", "Falsch"},
    {"Ghost", "Form1", pnCaption, "", "Geist"},
    {"Ghost.Part", "Form1", pnCaption, "", "Geisterteil"},
    {"DialogLabel", "Form1", pnCaption, "", "Dialogtext"},
    {"DialogLabel", "Dialog1", pnCaption, "", "Dialogtext"},
    {"LateLabel", "Form1", pnCaption, "", "Spät"},
};
const std::vector<Item> kGermanItems = {
    {"DataModule1.DesignedLexicon1", 5, "SIP-Server-Modus"},
    {"LingoEngine1", 1, "> Hinzufügen <"},
};

// One engine as the program sets it up: design language "EN", signature
// "YOX_", the language folder LANGS under a temporary base folder.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        module.setObjectName("DataModule1");
        base = QString::fromStdString(testenv::makeTempDir("engine"));
        langs = base + "/LANGS";
        engine = new TLingoEngine(&module);
        engine->setObjectName("LingoEngine1");
        engine->Log = [this](const QString& line) { log << line; };
        engine->ShowError = [this](const QString& text) { errors << text; };
        engine->OnChangeLangQuery = [this](QObject* sender, bool& cont) {
            EXPECT_EQ(sender, engine);
            ++queries;
            cont = !refuse;
        };
        engine->OnChangeLanguage = [this](QObject* sender) {
            EXPECT_EQ(sender, engine);
            ++switches;
        };
        engine->SetLangFileSignature("YOX_");
        engine->SetDesignLanguageName("EN");
        engine->SetDefaultLanguage("EN");
        // The manager's window has tests of its own: here a run is recorded
        // and closed without saving.
        engine->RunManager = [this](bool creating) {
            managerRuns << (creating ? "create" : "edit");
            return QString();
        };
        lexicon = new TDesignedLexicon(&module);
        lexicon->setObjectName("DesignedLexicon1");
        lexicon->SetItems(kLexiconItems);
        lexicon->SetLingoEngine(engine);
    }

    void write(const QString& file, const QByteArray& bytes) {
        ASSERT_TRUE(QDir().mkpath(langs));
        QFile f(langs + u'/' + file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << file.toStdString();
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    void scan() {
        engine->SetBaseDirectory(base);
        engine->SetLangSubdirectory("LANGS");
        engine->RescanLanguages();
    }
    QString path(const QString& file) const { return langs + u'/' + file; }

    QObject module;
    QString base, langs;
    TLingoEngine* engine = nullptr;
    TDesignedLexicon* lexicon = nullptr;
    QStringList log, errors, managerRuns;
    int queries = 0, switches = 0;
    bool refuse = false;
};

void expectShows(const Form& f, bool german, const char* when) {
    for (const Shown& s : kShown)
        EXPECT_EQ(s.get(f), u8(german ? s.german : s.design)) << s.what << " " << when;
}

// ---- the language list ----

TEST_F(EngineTest, AMissingLanguageFolderIsNotMadeAndListsTheDesignLanguageAndBuiltInOnes) {
    EXPECT_TRUE(engine->LangDir().isEmpty()) << "no base folder, no language folder";
    engine->SetLangSubdirectory("LANGS");
    EXPECT_TRUE(engine->LangDir().isEmpty());
    EXPECT_EQ(engine->GetLanguagesList(), QStringList{"EN"});

    engine->SetBaseDirectory(base);
    EXPECT_EQ(engine->LangDir(), base + "/LANGS/");
    engine->RescanLanguages();
    EXPECT_FALSE(QFileInfo::exists(langs)) << "a rescan makes no folder";
    EXPECT_EQ(engine->GetLanguagesList(), QStringList{"EN"});
    EXPECT_EQ(engine->GetLangFilesList(), QStringList{"EN"});

    engine->SetLangResources({"SK", "Missing"});
    EXPECT_EQ(engine->GetLanguagesList(), (QStringList{"EN", u8("Slovenčina")}));
    EXPECT_EQ(engine->GetLangFilesList(), (QStringList{"EN", "SK"}));
    EXPECT_EQ(engine->LangResources(), QStringList{"SK"})
        << "a built-in language that is not there is dropped";
    EXPECT_FALSE(QFileInfo::exists(langs));

    EXPECT_EQ(engine->Translate(u8("Slovenčina")), u8("Slovenčina"));
    EXPECT_EQ(engine->DataStruct.LookupText("Label1", "Form1", "", pnCaption), "Meno")
        << "read from the built-in file";
}

TEST_F(EngineTest, OnlyFilesWithTheExtensionInAnyLetterCaseAreListed) {
    const struct {
        const char* file;
        const char* language;
        bool listed;
    } cases[] = {
        {"a.lng", "A", true},      {"b.LNG", "B", true}, {"c.Lng", "C", true},   {"d.txt", "D", false},
        {"e.lng.bak", "E", false}, {"f", "F", false},    {"g.lngx", "G", false}, {".lng", "H", false},
    };
    for (const auto& c : cases)
        write(c.file, language(c.language, {}, {}));
    write("other.lng", language("Other", {}, {}).replace("[YOX_]", "[LANGUAGE_FILE]"));
    write("empty.lng", QByteArray());
    ASSERT_TRUE(QDir().mkpath(path("folder.lng")));
    scan();
    QStringList expected{"EN"};
    for (const auto& c : cases)
        if (c.listed) expected << c.language;
    QStringList listed = engine->GetLanguagesList();
    std::sort(listed.begin() + 1, listed.end());
    EXPECT_EQ(listed, expected);
    for (int p = 1; p < engine->GetLangFilesList().size(); ++p)
        EXPECT_TRUE(engine->GetLangFilesList()[p].startsWith(langs + u'/')) << "full path";
}

TEST_F(EngineTest, AFileNamedLikeTheDesignLanguageIsListedButNeverChosen) {
    write("en.lng", language("en", {}, {{"Label1", "Form1", pnCaption, "", "From the file"}}));
    scan();
    EXPECT_EQ(engine->GetLanguagesList(), (QStringList{"EN", "en"}));
    EXPECT_EQ(engine->GetLangFilesList()[1], path("en.lng"));
    auto form = makeForm(engine);
    for (const char* name : {"en", "EN"}) {
        EXPECT_EQ(engine->Translate(name), name);
        EXPECT_EQ(engine->DataStruct.Count(), 0) << "position 0 reads nothing";
        EXPECT_EQ(form->label1->text(), "Name");
    }
}

TEST_F(EngineTest, OfTwoFilesOfOneLanguageTheFirstListedWins) {
    write("a_first.lng", language("DE", {}, {{"Label1", "Form1", pnCaption, "", "Erste"}}));
    write("b_second.lng", language("de", {}, {{"Label1", "Form1", pnCaption, "", "Zweite"}}));
    scan();
    ASSERT_EQ(engine->GetLanguagesList(), (QStringList{"EN", "DE"}));
    EXPECT_EQ(engine->GetLangFilesList()[1], path("a_first.lng"));
    engine->Translate("DE");
    EXPECT_EQ(engine->DataStruct.LookupText("Label1", "Form1", "", pnCaption), "Erste");
}

TEST_F(EngineTest, AFolderFileTakesABuiltInLanguagesPlaceOnlyWithTheEditor) {
    write("sk.lng", language(u8("Slovenčina"), {}, {{"Label1", "Form1", pnCaption, "", "Meno zo súboru"}}));
    for (const bool editor : {true, false}) {
        engine->SetLangEditorVisible(editor);
        engine->SetLangResources({"SK"});
        scan();
        ASSERT_EQ(engine->GetLanguagesList(), (QStringList{"EN", u8("Slovenčina")})) << editor;
        EXPECT_EQ(engine->GetLangFilesList()[1], editor ? path("sk.lng") : QString("SK")) << editor;
        engine->Translate(u8("Slovenčina"));
        EXPECT_EQ(engine->DataStruct.LookupText("Label1", "Form1", "", pnCaption),
                  editor ? u8("Meno zo súboru") : QString("Meno"));
    }
}

TEST_F(EngineTest, TheManagerEntriesAreOfferedByTheirSwitchesAndAManagerRunEndsInASavedLanguage) {
    const struct {
        bool creator, editor, withFile;
        QStringList tail;
    } cases[] = {
        {true, true, true, {"DE", "> Add <", "> Edit <"}},
        {true, true, false, {"EN", "> Add <"}},
        {false, true, true, {"DE", "> Edit <"}},
        {true, false, true, {"DE", "> Add <"}},
        {false, false, true, {"DE"}},
    };
    for (const auto& c : cases) {
        QFile::remove(path("de.lng"));
        if (c.withFile)
            write("de.lng", language("DE", {}, {{"Label1", "Form1", pnCaption, "", "Bezeichnung"}}));
        engine->SetLangCreatorVisible(c.creator);
        engine->SetLangEditorVisible(c.editor);
        scan();
        const QStringList menu = engine->LangMenu;
        EXPECT_EQ(menu.mid(menu.indexOf(c.tail.first())), c.tail) << c.creator << c.editor << c.withFile;
        EXPECT_EQ(engine->Flags.MaxAddress() + 1, menu.size()) << "a flag position for every entry";
    }
    engine->SetLangCreatorVisible(true);
    engine->SetLangEditorVisible(true);
    write("de.lng", language("DE", {}, {{"Label1", "Form1", pnCaption, "", "Bezeichnung"}}));
    scan();
    engine->Translate("DE");
    // A manager closed without saving leaves whatever it read in the stores:
    // the current language is read again, so the screen shows a saved language.
    int before = 0, after = 0;
    engine->OnBeforeEdit = [&](QObject*) { ++before; };
    engine->OnAfterEdit = [&](QObject*) { ++after; };
    engine->RunManager = [this](bool) {
        engine->DataStruct.Clear();
        engine->DataLexicon.Clear();
        return QString();
    };
    switches = 0;
    for (const char* entry : {"> Add <", "> Edit <"}) {
        EXPECT_EQ(engine->Translate(entry), "DE") << entry;
        EXPECT_EQ(engine->DataStruct.LookupText("Label1", "Form1", "", pnCaption), "Bezeichnung");
    }
    EXPECT_EQ(before, 2);
    EXPECT_EQ(after, 2);
    EXPECT_EQ(switches, 2);
    EXPECT_EQ(engine->GetLanguagesList(), (QStringList{"EN", "DE"}));
}

// ---- switching ----

class SwitchTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        write("de.lng", language("DE", {}, kGerman, kGermanItems));
        write("fr.lng", language("FR", {}, {{"Label1", "Form1", pnCaption, "", "Nom"}}));
        scan();
        form = makeForm(engine);
    }
    void TearDown() override { form.reset(); }
    std::unique_ptr<Form> form;
};

TEST_F(SwitchTest, EveryRecordedTextFollowsTheLanguageAndNothingElseDoes) {
    expectShows(*form, false, "at the start");
    EXPECT_EQ(engine->Translate("DE"), "DE");
    expectShows(*form, true, "in German");
    EXPECT_GT(engine->DataStruct.Count(), 0);
    EXPECT_EQ(engine->Translate("EN"), "EN");
    EXPECT_EQ(engine->DataStruct.Count(), 0) << "the design language empties the stores";
    EXPECT_EQ(engine->DataLexicon.LexiconCount(), 0);
    expectShows(*form, false, "back in the design language");
    engine->Translate("DE");
    expectShows(*form, true, "in German again");
}

TEST_F(SwitchTest, WhatTheWindowDoesNotRecord) {
    const TComponentStructure& design = form->client->DesignStruct;
    const struct {
        const char* name;
        uint16_t code;
        bool recorded;
    } cases[] = {
        {"Label1", pnCaption, true},       {"Label2", pnCaption, false},
        {"PortLabel", pnCaption, false},   {"AddressLabel", pnCaption, false},
        {"AddressEdit", pnText, false},    {"AddressEdit", pnHint, true},
        {"AddressEdit", pnTextHint, true}, {"DialogLabel", pnCaption, false},
        {"Lock1Button", pnCaption, false}, {"GuardPanel1.Lock1Button", pnCaption, true},
        {"SaveAction", pnCaption, true},   {"SaveAction", pnHint, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(design.FindLine(c.name, "Form1", "", c.code) >= 0, c.recorded) << c.name << " " << c.code;
    for (int r = 0; r < design.Count(); ++r) {
        EXPECT_FALSE(design.GetLine(r).Name.startsWith("qt_"))
            << "Qt's own parts are no entries: " << design.GetLine(r).Name.toStdString();
        EXPECT_EQ(design.GetLine(r).Changeable, TStructLine::Translated);
    }
    EXPECT_GE(design.FindLine("Form1", "", "", pnCaption), 0) << "the window's own entry has no owner";
    const auto components = form->client->Components();
    EXPECT_EQ(std::count_if(components.begin(), components.end(),
                            [](QObject* o) { return o->objectName() == "Dialog1"; }),
              0)
        << "a dialog inside the window has a client of its own";
}

TEST_F(SwitchTest, TheUsersTextStaysAndTextSetByCodeGoesAtTheNextSwitch) {
    form->addressEdit->setText("Front door");
    form->label1->setText("Set by code");
    form->nameEdit->setText("Typed by the user");
    engine->Translate("DE");
    EXPECT_EQ(form->addressEdit->text(), "Front door");
    EXPECT_EQ(form->label1->text(), "Bezeichnung");
    EXPECT_EQ(form->nameEdit->text(), u8("Türsprechstelle")) << "a recorded edit is a design text";
    form->label1->setText("Set by code again");
    engine->Translate("EN");
    EXPECT_EQ(form->addressEdit->text(), "Front door");
    EXPECT_EQ(form->label1->text(), "Name");
    EXPECT_EQ(form->nameEdit->text(), "Door phone");
}

TEST_F(SwitchTest, ListLinesBeyondTheRecordedOnesKeepTheirText) {
    form->events->addItem("Ring again");
    form->mode->addItem("Third");
    form->events->item(0)->setText("Whatever is there now");
    engine->Translate("DE");
    EXPECT_EQ(form->events->item(0)->text(), "Klingeln") << "a recorded line goes by its position";
    EXPECT_EQ(form->events->item(2)->text(), "Ring again");
    EXPECT_EQ(form->mode->itemText(2), "Third");
    engine->Translate("EN");
    EXPECT_EQ(form->events->item(0)->text(), "Ring");
    EXPECT_EQ(form->events->item(2)->text(), "Ring again");
}

TEST_F(SwitchTest, ANameInOtherLetterCaseFindsTheLanguageButReadsOnlyItsSuperiors) {
    write("base.lng", language("BASE", {}, {{"Label1", "Form1", pnCaption, "", "Basis"}}));
    write("de.lng", language("DE", "BASE", {{"LockBox", "Form1", pnCaption, "", "Schlösser"}}));
    scan();
    EXPECT_EQ(engine->Translate("de"), "de");
    EXPECT_EQ(form->label1->text(), "Basis") << "the superior language is read";
    EXPECT_EQ(form->locks->title(), "Locks") << "the header names DE, not de";
    EXPECT_EQ(engine->Translate("DE"), "DE");
    EXPECT_EQ(form->label1->text(), "Basis");
    EXPECT_EQ(form->locks->title(), u8("Schlösser"));
}

TEST_F(SwitchTest, AnUntranslatedEntryKeepsTheSuperiorLanguagesText) {
    write("base.lng", language("BASE", {},
                               {{"Label1", "Form1", pnCaption, "", "Basis"},
                                {"LockBox", "Form1", pnCaption, "", "Basisschlösser"}}));
    write("de.lng", language("DE", "BASE",
                             {{"Label1", "Form1", pnCaption, "", nullptr},
                              {"LockBox", "Form1", pnCaption, "", "Schlösser"},
                              {"OkButton", "Form1", pnCaption, "", nullptr}}));
    scan();
    engine->Translate("DE");
    EXPECT_EQ(form->label1->text(), "Basis");
    EXPECT_EQ(form->locks->title(), u8("Schlösser"));
    EXPECT_EQ(form->ok->text(), "OK") << "untranslated in the whole chain: the design text";
}

TEST_F(SwitchTest, ASuperiorChainThatLoopsEndsWithALogLine) {
    const struct {
        const char* what;
        std::vector<std::pair<const char*, const char*>> chain; // language, superior
        const char* fallback;                                   // DefaultLanguage
        int loops;
    } cases[] = {
        {"A names itself", {{"A", "A"}}, "EN", 1},
        {"A and B name each other", {{"A", "B"}, {"B", "A"}}, "EN", 1},
        {"B and C name each other above A", {{"A", "B"}, {"B", "C"}, {"C", "B"}}, "EN", 1},
        {"A names none and is the default language", {{"A", ""}}, "A", 0},
        {"B names none and A is the default language", {{"A", "B"}, {"B", ""}}, "A", 0},
    };
    const char* widgets[] = {"Label1", "LockBox", "OkButton"};
    for (const auto& c : cases) {
        for (const char* f : {"a.lng", "b.lng", "c.lng"})
            QFile::remove(path(f));
        for (size_t i = 0; i < c.chain.size(); ++i) {
            const auto& [name, superior] = c.chain[i];
            write(QString::fromLatin1(name).toLower() + ".lng",
                  language(name, superior, {{widgets[i], "Form1", pnCaption, "", name}}));
        }
        scan();
        engine->SetDefaultLanguage(c.fallback);
        log.clear();
        EXPECT_EQ(engine->Translate("A"), "A") << c.what;
        EXPECT_EQ(log.filter("LINGO: the superior languages of").size(), c.loops)
            << c.what << ": " << log.join(" | ").toStdString();
        for (size_t i = 0; i < c.chain.size(); ++i)
            EXPECT_EQ(engine->DataStruct.LookupText(widgets[i], "Form1", "", pnCaption), c.chain[i].first)
                << c.what << ": what was read stays";
        EXPECT_EQ(form->label1->text(), "A") << c.what;
        engine->SetDefaultLanguage("EN");
        engine->Translate("EN");
    }
}

TEST_F(SwitchTest, AFileThatFailsToReadShowsTheDesignTextsAndIsLoggedOnce) {
    write("base.lng", language("BASE", {}, {{"Label1", "Form1", pnCaption, "", "Basis"}},
                               {{"DataModule1.DesignedLexicon1", 5, "Basismodus"}}));
    const struct {
        const char* what;
        std::function<void()> breakIt;
        const char* reason;
    } cases[] = {
        {"gone", [this] { QFile::remove(path("de.lng")); }, "gone"},
        {"wrong signature",
         [this] { write("de.lng", language("DE", "BASE", kGerman).replace("[YOX_]", "[OTHER]")); },
         "first line"},
        {"broken after its superior was read",
         [this] {
             write("de.lng",
                   language("DE", "BASE", kGerman)
                       .replace("0\t%LEXICON_STRINGS\r\n", "0\t%LEXICON_STRINGS\r\n0\t%LEXICON_NAME=;\r\n"));
         },
         "lexicon without a name"},
    };
    for (const auto& c : cases) {
        write("de.lng", language("DE", "BASE", kGerman, kGermanItems));
        scan();
        ASSERT_EQ(engine->Translate("FR"), "FR");
        ASSERT_EQ(form->label1->text(), "Nom");
        c.breakIt();
        log.clear();
        switches = 0;
        EXPECT_EQ(engine->Translate("DE"), "EN") << c.what;
        EXPECT_EQ(engine->CurrentLanguage(), "EN");
        EXPECT_EQ(engine->FailedLanguage(), "DE") << c.what;
        EXPECT_EQ(engine->DataStruct.Count(), 0) << c.what << ": the stores are emptied";
        EXPECT_EQ(engine->DataLexicon.LexiconCount(), 0) << c.what;
        EXPECT_EQ(switches, 1) << c.what;
        expectShows(*form, false, c.what);
        EXPECT_EQ(lexicon->GetItem(5), "SIP Server Mode") << c.what;
        ASSERT_EQ(log.size(), 1) << c.what << ": " << log.join(" | ").toStdString();
        EXPECT_TRUE(log[0].contains(path("de.lng"))) << log[0].toStdString();
        EXPECT_TRUE(log[0].contains(c.reason)) << log[0].toStdString();
        EXPECT_EQ(engine->Translate("FR"), "FR");
        EXPECT_TRUE(engine->FailedLanguage().isEmpty()) << "a switch that read forgets the failure";
    }
}

TEST_F(SwitchTest, AnUnlistedNameChangesNothing) {
    engine->Translate("DE");
    const int rows = engine->DataStruct.Count();
    switches = 0;
    for (const char* name : {"IT", "", "DE "}) {
        EXPECT_EQ(engine->Translate(name), "DE") << name;
        EXPECT_EQ(engine->DataStruct.Count(), rows);
    }
    EXPECT_EQ(switches, 0);
    expectShows(*form, true, "after unlisted names");
}

TEST_F(SwitchTest, ARefusedSwitchKeepsEverythingAndTheChooserShowsTheCurrentLanguage) {
    TLangCombo chooser;
    chooser.SetLingoEngine(engine);
    engine->Translate("DE");
    ASSERT_EQ(chooser.currentText(), "DE");
    const int rows = engine->DataStruct.Count();
    refuse = true;
    switches = queries = 0;
    chooser.setCurrentIndex(chooser.findText("FR")); // the user's pick, before the switch is asked for
    EXPECT_EQ(engine->Translate("FR"), "DE");
    EXPECT_EQ(queries, 1);
    EXPECT_EQ(switches, 0);
    EXPECT_EQ(engine->CurrentLanguage(), "DE");
    EXPECT_EQ(engine->DataStruct.Count(), rows);
    EXPECT_EQ(chooser.currentText(), "DE");
    expectShows(*form, true, "after a refused switch");
}

TEST_F(SwitchTest, OnChangeLanguageFiresOncePerSwitch) {
    int clientCalls = 0;
    form->client->OnChangeLanguage = [&](QObject* sender) {
        EXPECT_EQ(sender, form->client);
        ++clientCalls;
    };
    const struct {
        const char* name;
        int fired;
    } cases[] = {{"DE", 1}, {"DE", 1}, {"FR", 1}, {"EN", 1}, {"XX", 0},
                 // A manager run ends in a saved language read again.
                 {"> Add <", 1}, {"> Edit <", 1}};
    for (const auto& c : cases) {
        switches = clientCalls = 0;
        engine->Translate(c.name);
        EXPECT_EQ(switches, c.fired) << c.name;
        EXPECT_EQ(clientCalls, c.fired) << c.name;
    }
}

TEST_F(SwitchTest, FirstActivationWithTheDesignLanguageAsDefaultOnlyRescans) {
    write("it.lng", language("IT", {}, {}));
    engine->FirstActivation();
    EXPECT_TRUE(engine->IsInitialized());
    EXPECT_EQ(engine->CurrentLanguage(), "EN");
    EXPECT_EQ(switches, 0);
    EXPECT_EQ(queries, 0);
    EXPECT_TRUE(engine->GetLanguagesList().contains("IT")) << "rescanned";
}

// ---- built-in texts ----

TEST_F(EngineTest, TheBuiltInTextsFollowTheLanguageName) {
    const struct {
        const char* design;
        const char* fallback; // DefaultLanguage
        const char* add;
        bool internal;
    } cases[] = {
        {"Slovenčina", "", "> Pridať jazyk <", true},
        {"SLOVAK", "", "> Pridať jazyk <", true},
        {"Čeština", "", "> Přidat jazyk <", true},
        {"čeština ", "", "> Add <", false}, // Czech names must match whole
        {"Deutsch (Tschechisch)", "", "> Přidat jazyk <", true},
        {"Schechisch", "", "> Add <", false},
        {"EN", "", "> Add <", false},
        {"English", "", "> Add <", true},
        {"Slovak English", "", "> Add <", true}, // the last test that matches decides
        {"Czech", "", "> Přidat jazyk <", true},
        {"EN", "Čeština", "> Přidat jazyk <", false},
    };
    for (const auto& c : cases) {
        engine->SetDesignLanguageName(u8(c.design));
        engine->SetDefaultLanguage(*c.fallback ? u8(c.fallback) : u8(c.design));
        ASSERT_EQ(engine->CurrentLanguage(), u8(c.design));
        EXPECT_EQ(engine->LangFormLexicon->GetItem(LangFormItem::Add), u8(c.add))
            << c.design << " " << c.fallback;
        EXPECT_EQ(engine->IsInternalLanguage(), c.internal) << c.design << " " << c.fallback;
        engine->RebuildLanguageLists();
        EXPECT_EQ(engine->LangMenu.value(1), u8(c.add)) << "the chooser entry follows: " << c.design;
    }
}

TEST_F(EngineTest, ASwitchToACzechFileBringsTheCzechBuiltInTexts) {
    write("cz.lng", language(u8("Čeština"), {}, {}));
    scan();
    EXPECT_FALSE(engine->IsInternalLanguage());
    engine->Translate(u8("Čeština"));
    EXPECT_TRUE(engine->IsInternalLanguage());
    EXPECT_TRUE(engine->LangMenu.contains(u8("> Přidat jazyk <")));
    EXPECT_TRUE(engine->LangMenu.contains(u8("> Upravit jazyk <")));
    EXPECT_EQ(engine->Translate(u8("> Upravit jazyk <")), u8("Čeština"));
    EXPECT_EQ(managerRuns, QStringList{"edit"}) << "the Czech entry is the editor's";
    engine->Translate("EN");
    EXPECT_EQ(engine->LangFormLexicon->GetItem(LangFormItem::WrongPath), "Wrong path to language files!");
}

// ---- flags ----

TEST(FlagsListTest, OnlySixteenBySixteenPicturesBecomeFlags) {
    const struct {
        const char* what;
        QImage picture;
        bool taken;
    } cases[] = {
        {"16 x 16 bitmap", filled(16, 16, QImage::Format_RGB32, Qt::red), true},
        {"16 x 16 icon", filled(16, 16, QImage::Format_ARGB32, Qt::red), true},
        {"8 x 8", filled(8, 8, QImage::Format_RGB32, Qt::red), false},
        {"16 x 15", filled(16, 15, QImage::Format_RGB32, Qt::red), false},
        {"32 x 32", filled(32, 32, QImage::Format_RGB32, Qt::red), false},
        {"none", QImage(), false},
    };
    TFlagsList flags;
    EXPECT_EQ(flags.MaxAddress(), -1);
    for (const auto& c : cases) {
        const int position = flags.MaxAddress() + 1;
        const int index = flags.AddFlag(c.picture);
        EXPECT_EQ(index >= 0, c.taken) << c.what;
        EXPECT_EQ(flags.GetImageIndex(position), index) << c.what;
        EXPECT_EQ(flags.Icon(position).isNull(), !c.taken) << c.what;
    }
    EXPECT_EQ(flags.MaxAddress(), 5);
    EXPECT_EQ(flags.GetImageIndex(6), -1);
    EXPECT_EQ(flags.GetImageIndex(-1), -1);
    EXPECT_EQ(flags.RewriteFlag(0, QImage()), -1);
    EXPECT_EQ(flags.GetImageIndex(0), -1);
    EXPECT_GE(flags.RewriteFlag(2, cases[0].picture), 0);
    EXPECT_GE(flags.RewriteFlag(40, cases[0].picture), 0) << "beyond the end: appended";
    EXPECT_EQ(flags.MaxAddress(), 6);
    TFlagsList other;
    EXPECT_EQ(other.ImportFlag(flags, flags.GetImageIndex(1)), 0);
    EXPECT_EQ(other.ImportFlag(flags, 99), -1);
    EXPECT_EQ(other.MaxAddress(), 1);
}

TEST(FlagsListTest, WhiteIsTheTransparentColourOfABitmapFlag) {
    for (const auto format : {QImage::Format_RGB32, QImage::Format_ARGB32}) {
        QImage picture = filled(16, 16, format, Qt::white);
        picture.setPixelColor(3, 5, Qt::blue);
        TFlagsList flags;
        const QImage& flag = flags.Image(flags.AddFlag(picture));
        const bool bitmap = format == QImage::Format_RGB32;
        EXPECT_EQ(qAlpha(flag.pixel(0, 0)), bitmap ? 0 : 255)
            << "white of a " << (bitmap ? "bitmap" : "icon");
        EXPECT_EQ(flag.pixelColor(3, 5), QColor(Qt::blue));
    }
}

TEST_F(EngineTest, TheDesignFlagIsRedrawnIntoSixteenBySixteenCentred) {
    const struct {
        int width, height;
        QRect drawn;
    } cases[] = {
        {32, 16, QRect(0, 4, 16, 8)},  {16, 32, QRect(4, 0, 8, 16)}, {8, 8, QRect(4, 4, 8, 8)},
        {16, 16, QRect(0, 0, 16, 16)}, {48, 16, QRect(0, 5, 16, 5)}, {6, 3, QRect(5, 6, 6, 3)},
    };
    for (const auto& c : cases) {
        engine->SetDesignLangFlag(filled(c.width, c.height, QImage::Format_RGB32, Qt::red));
        const QImage& flag = engine->DesignLangFlag();
        ASSERT_EQ(flag.size(), QSize(16, 16)) << c.width << "x" << c.height;
        const QImage& shown = engine->Flags.Image(engine->Flags.GetImageIndex(0));
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const bool in = c.drawn.contains(x, y);
                EXPECT_EQ(flag.pixelColor(x, y), in ? QColor(Qt::red) : QColor(Qt::white))
                    << c.width << "x" << c.height << " at " << x << "," << y;
                EXPECT_EQ(qAlpha(shown.pixel(x, y)), in ? 255 : 0) << "the white around it is transparent";
            }
    }
    engine->SetDesignLangFlag(QImage());
    EXPECT_EQ(engine->Flags.GetImageIndex(0), -1);
}

TEST_F(EngineTest, AFlagInAFileCountsOnlyAtSixteenBySixteen) {
    write("de.lng", language("DE", {}, {}, {}, bmpOf(16, 16)));
    write("fr.lng", language("FR", {}, {}, {}, bmpOf(32, 32)));
    write("it.lng", language("IT", {}, {}, {}, "no picture"));
    scan();
    const struct {
        const char* name;
        bool flag;
    } cases[] = {{"DE", true}, {"FR", false}, {"IT", false}};
    for (const auto& c : cases) {
        const int p = static_cast<int>(engine->GetLanguagesList().indexOf(c.name));
        ASSERT_GT(p, 0) << c.name;
        EXPECT_EQ(engine->Flags.GetImageIndex(p) >= 0, c.flag) << c.name;
    }
}

// ---- lexicons ----

TEST_F(EngineTest, CompleteStringReplacesWellFormedLinksOnly) {
    EXPECT_EQ(lexicon->GetLink(12), u8("«#12;"));
    const struct {
        const char* text;
        QString completed;
    } cases[] = {
        {"«#1;«#2;", kLexiconItems[1] + kLexiconItems[2]},
        {"Mode: «#5;.", "Mode: SIP Server Mode."},
        {"«#99;", "???"},
        {"«#7;", "???"},
        {"«#00006;", "P2P Mode"},
        {"«#99999999999999999999;", "???"},
        {"«#;", u8("«#;")},
        {"«#12", u8("«#12")},
        {"«#a;", u8("«#a;")},
        {"«#1x;", u8("«#1x;")},
        {"«#-1;", u8("«#-1;")},
        {"end «#x", u8("end «#x")},
        {"end «#", u8("end «#")},
        {"«", u8("«")},
        {"«#«#5;", u8("«#SIP Server Mode")},
        {"plain", "plain"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lexicon->CompleteString(u8(c.text)), c.completed) << c.text;
}

TEST_F(EngineTest, ADesignedLexiconTakesTheLanguagesItemAndGivesItBackAtTheDesignLanguage) {
    EXPECT_EQ(lexicon->Key(), kLexiconKey);
    write("de.lng", language("DE", {}, {}, kGermanItems));
    scan();
    int told = 0;
    lexicon->OnChangeLanguage = [&](QObject* sender) {
        EXPECT_EQ(sender, lexicon);
        ++told;
    };
    engine->Translate("DE");
    EXPECT_EQ(told, 1);
    EXPECT_EQ(lexicon->GetItem(5), "SIP-Server-Modus");
    EXPECT_EQ(lexicon->GetItem(6), "P2P Mode") << "an item the language lacks";
    EXPECT_EQ(lexicon->CompleteString(u8("«#5;")), "SIP-Server-Modus");
    EXPECT_EQ(lexicon->DesignText(5), "SIP Server Mode");
    EXPECT_TRUE(lexicon->GetItem(7).isEmpty()) << "outside the items";
    EXPECT_TRUE(lexicon->GetItem(-1).isEmpty());
    engine->Translate("EN");
    EXPECT_EQ(lexicon->GetItem(5), "SIP Server Mode");
    EXPECT_EQ(lexicon->MaxItemIndex(), 6);
    EXPECT_EQ(lexicon->CreateItem("New"), 7);
    EXPECT_EQ(lexicon->CompleteString(u8("«#7;")), "New");
}

TEST(ProgrammableLexiconTest, WithoutItemsNothingIsDefined) {
    QObject owner;
    owner.setObjectName("Owner1");
    auto* lexicon = new TProgrammableLexicon(&owner);
    EXPECT_EQ(lexicon->Key(), "Owner1") << "no name: the owner's name alone";
    EXPECT_EQ(lexicon->MaxItemIndex(), 0);
    EXPECT_FALSE(lexicon->IsDefined(0));
    EXPECT_EQ(lexicon->CompleteString(u8("«#0;")), "???");
    EXPECT_TRUE(lexicon->GetItem(0).isEmpty());
    QObject* initialisedBy = nullptr;
    lexicon->SetOnInitialization([&](QObject* sender) {
        initialisedBy = sender;
        lexicon->DefineItem(3, "Three");
    });
    EXPECT_EQ(initialisedBy, lexicon) << "called at once";
    EXPECT_EQ(lexicon->MaxItemIndex(), 3);
    EXPECT_FALSE(lexicon->IsDefined(2));
    EXPECT_EQ(lexicon->CompleteString(u8("«#3;«#2;")), "Three???");
}

TEST_F(EngineTest, TheBuiltInLexiconTakesFileTextsOnlyWithTranslateLingo) {
    EXPECT_EQ(engine->LangFormLexicon->Key(), "LingoEngine1");
    write("de.lng", language("DE", {}, {}, kGermanItems));
    scan();
    engine->Translate("DE");
    EXPECT_EQ(engine->LangFormLexicon->GetItem(LangFormItem::Add), "> Add <");
    EXPECT_EQ(engine->LangMenu.value(2), "> Add <");
    engine->TranslateLingo = true;
    EXPECT_EQ(engine->LangFormLexicon->GetItem(LangFormItem::Add), u8("> Hinzufügen <"));
    EXPECT_EQ(engine->LangFormLexicon->GetItem(LangFormItem::Edit), "> Edit <") << "an item the file lacks";
    engine->RebuildLanguageLists();
    EXPECT_EQ(engine->LangMenu.value(2), u8("> Hinzufügen <"));
}

// ---- the translation client, on its own ----

TEST_F(SwitchTest, AWindowCreatedAfterASwitchShowsTheLanguageAtOnce) {
    engine->Translate("DE");
    engine->FirstActivation();
    ASSERT_TRUE(engine->IsInitialized());
    form.reset();
    auto late = makeForm(engine);
    expectShows(*late, false, "before the window's start-up ended");
    late->client->OwnerCreated();
    expectShows(*late, true, "once the window was created");
    engine->Translate("EN");
    expectShows(*late, false, "back in the design language");
    late->client->OwnerCreated();
    expectShows(*late, false, "created in the design language");
}

TEST_F(SwitchTest, AddComponentTakesOnlyTheWindowsOwn) {
    QWidget elsewhere;
    elsewhere.setObjectName("Form2");
    auto* foreign = named<QLabel>(&elsewhere, "ForeignLabel");
    foreign->setText("Foreign");
    const int rows = form->client->DesignStruct.Count();
    EXPECT_FALSE(form->client->AddComponent(foreign, "LateLabel", true));
    EXPECT_EQ(foreign->objectName(), "ForeignLabel") << "nothing done";
    EXPECT_FALSE(form->client->AddComponent(nullptr, "LateLabel", true));
    EXPECT_EQ(form->client->DesignStruct.Count(), rows);

    engine->Translate("DE");
    auto* late = new QLabel("Late", form->locks);
    EXPECT_TRUE(form->client->AddComponent(late, "LateLabel", true));
    EXPECT_EQ(late->objectName(), "LateLabel");
    EXPECT_EQ(late->text(), u8("Spät"));
    EXPECT_GE(form->client->DesignStruct.FindLine("LateLabel", "Form1", "", pnCaption), 0);
    engine->Translate("EN");
    EXPECT_EQ(late->text(), "Late");

    auto* quiet = named<QLabel>(form->window.get(), "QuietLabel");
    quiet->setText("Quiet");
    engine->Translate("DE");
    EXPECT_TRUE(form->client->AddComponent(quiet, "", false));
    EXPECT_EQ(quiet->objectName(), "QuietLabel");
    EXPECT_EQ(quiet->text(), "Quiet");
    EXPECT_GE(form->client->DesignStruct.FindLine("QuietLabel", "Form1", "", pnCaption), 0) << "recorded";
}

TEST_F(SwitchTest, ShownTextsHoldsTheCurrentTextOfEveryRecordedKey) {
    const TComponentStructure& design = form->client->DesignStruct;
    engine->Translate("DE");
    form->label1->setText("Changed");
    const TComponentStructure shown = form->client->ShownTexts();
    ASSERT_EQ(shown.Count(), design.Count());
    for (int r = 0; r < design.Count(); ++r) {
        const TStructLine d = design.GetLine(r), s = shown.GetLine(r);
        EXPECT_EQ(s.Name, d.Name);
        EXPECT_EQ(s.Parent, d.Parent);
        EXPECT_EQ(s.Properties, d.Properties);
        EXPECT_EQ(s.ItemAddr, d.ItemAddr);
    }
    const struct {
        const char* name;
        uint16_t code;
        const char* item;
        const char* text;
    } cases[] = {
        {"Label1", pnCaption, "", "Changed"},
        {"OkButton", pnCaption, "", "Übernehmen"},
        {"EventList", lingo::code(pnItems), "1", "Öffnen"},
        {"Pages2", lingo::code(pnTabs), "0", "Ton"},
        {"GuardPanel1.Lock1Button", pnCaption, "", "Schloss 1"},
    };
    for (const auto& c : cases) {
        const int r = shown.FindLine(c.name, "Form1", c.item, c.code);
        ASSERT_GE(r, 0) << c.name;
        EXPECT_EQ(shown.GetLine(r).Text, u8(c.text)) << c.name;
    }
    EXPECT_LT(shown.FindLine("AddressEdit", "Form1", "", pnText), 0);
}

TEST_F(SwitchTest, IsRegisteredMatchesTheWindowAndItsComponents) {
    const struct {
        const char* owner;
        const char* component;
        bool registered;
    } cases[] = {
        {"Form1", "Label1", true},
        {"Form1", "GuardPanel1.Lock1Button", true},
        {"Form1", "Label1.Anything", true},
        {"Form1", "Ghost", false},
        {"Form1", "Ghost.Part", false},
        {"Form1", ".Label1", false},
        {"Form1", "DialogLabel", false},
        {"Form2", "Label1", false},
        {"", "Form1", true},
        {"", "Label1", false},
        {"form1", "Label1", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(engine->SpanClients.IsRegistered(c.owner, c.component), c.registered)
            << c.owner << " / " << c.component;
    form.reset();
    EXPECT_FALSE(engine->SpanClients.IsRegistered("Form1", "Label1")) << "a destroyed client drops out";
    EXPECT_FALSE(engine->SpanClients.IsRegistered("", "Form1"));
}

} // namespace
