// The language manager run by a real engine, as the choosers run it: a small
// window and a lexicon registered with the engine, language files in a
// temporary folder, the manager's own window driven through the calls its
// controls make. What is checked is what the desk keeps: the bytes of the
// file written, what the screen shows afterwards, and that nothing a user
// types or picks can break a language file or lose the old one.
#include "lingo/LangForm.h"
#include "lingo/LingoComp.h"
#include "support/TestEnv.h"

#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sys/resource.h>

void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
void PrintTo(const QStringList& list, std::ostream* os) {
    for (const QString& s : list)
        *os << "\n    " << s.toStdString();
}

namespace {

using Marker = TLanguageManager::Marker;
const QString kAdd = QStringLiteral("> Add <");
const QString kEdit = QStringLiteral("> Edit <");
const QString kLexicon = QStringLiteral("DataModule1.DesignedLexicon1");

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

QStringList lines(std::initializer_list<const char*> list) {
    QStringList out;
    for (const char* l : list)
        out << u8(l);
    return out;
}

QImage picture(int width, int height, QColor colour) {
    QImage p(width, height, QImage::Format_RGB32);
    p.fill(colour);
    return p;
}

class ManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        engine = std::make_unique<TLingoEngine>();
        engine->setObjectName("LingoEngine1");
        engine->Log = [this](const QString& line) { logged << line; };
        engine->ShowError = [this](const QString& text) { told << text; };
        engine->SetDesignLanguageName("EN");
        engine->SetDefaultLanguage("EN");
        engine->SetLangFileSignature("YOX_");
        engine->SetBaseDirectory(dir.path());
        engine->SetLangSubdirectory("LANGS");

        window = std::make_unique<QWidget>();
        window->setObjectName("Form1");
        window->setWindowTitle("Door phones");
        label = new QLabel("Name", window.get());
        label->setObjectName("Label1");
        ok = new QPushButton("OK", window.get());
        ok->setObjectName("OkButton");
        ok->setToolTip("Save and close");
        events = new QListWidget(window.get());
        events->setObjectName("Events");
        events->addItems({"Ring", "Door open"});
        client = new TLingoClient(window.get(), engine.get());

        module = std::make_unique<QObject>();
        module->setObjectName("DataModule1");
        lexicon = new TDesignedLexicon(module.get());
        lexicon->setObjectName("DesignedLexicon1");
        lexicon->SetItems({"Log send successful", "P2P Mode"});
        lexicon->SetLingoEngine(engine.get());

        manager = engine->LanguageMngForm();
        manager->Tell = [this](const QString& text, QMessageBox::Icon) { told << text; };
        manager->Ask = [this](const QString& question) {
            asked << question;
            return answer;
        };
        manager->ChooseLanguageFile = [this](const QString& folder, const QString& suggested) {
            offered = folder + suggested;
            return chosenFile.isEmpty() ? offered : chosenFile;
        };
        manager->ChoosePicture = [this] { return picturePath; };
        engine->FirstActivation();
    }

    QString langDir() const { return dir.path() + "/LANGS/"; }
    // A language of one translated text, on screen: what a failed or
    // cancelled run must leave as it was.
    void onScreenGerman() {
        TComponentStructure d;
        d.AddLine({"Label1", "Form1", "Bezeichnung", pnCaption, "", TStructLine::Translated});
        write("deutsch.lng", lingo::WriteLanguage("YOX_", "Deutsch", "EN", d, {}, {}, TLFEncoding::Unicode));
        engine->RescanLanguages();
        engine->Translate("Deutsch");
    }
    void write(const QString& file, const QByteArray& bytes) {
        QDir().mkpath(langDir());
        QFile f(langDir() + file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray read(const QString& file) const {
        QFile f(langDir() + file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // A file as the console writes it: UTF-16LE with its mark, CR LF lines.
    QStringList fileLines(const QString& file) const {
        const QByteArray bytes = read(file);
        EXPECT_TRUE(bytes.startsWith("\xFF\xFE")) << file.toStdString() << " is UTF-16LE with its mark";
        QStringList out = lingo::DecodeLanguageText(bytes).split(QStringLiteral("\r\n"));
        EXPECT_EQ(out.takeLast(), QString()) << "the last line ends with CR LF too";
        return out;
    }

    // Runs the manager as a chooser does; work() acts inside the modal
    // window. A window work() left open is closed without saving.
    QString run(const QString& entry, const std::function<void(TLanguageManager&)>& work) {
        QTimer::singleShot(0, manager, [this, work] {
            work(*manager);
            if (manager->isVisible()) manager->done(QDialog::Rejected);
        });
        return engine->Translate(entry);
    }

    // What the controls do when the user picks or types.
    static void pick(TLanguageManager& m, const QString& language) {
        const int i = m.LangCombo->findText(language);
        ASSERT_GE(i, 0) << language.toStdString();
        m.LangCombo->setCurrentIndex(i);
        m.StartLanguage(i);
    }
    static void name(TLanguageManager& m, const QString& text) {
        m.LangCombo->setEditText(text);
        m.AddLanguage();
    }
    static void group(TLanguageManager& m, const QString& name) {
        const int i = m.GroupCombo->findText(name);
        ASSERT_GE(i, 0) << name.toStdString();
        m.SelectGroup(i);
    }
    static void object(TLanguageManager& m, const QString& name) {
        const int i = m.ObjectCombo->findText(name);
        ASSERT_GE(i, 0) << name.toStdString();
        m.SelectObject(i);
    }
    static int row(TLanguageManager& m, const QString& path) {
        for (int r = 0; r < m.LangListEditor->rowCount(); ++r)
            if (m.LangListEditor->item(r, 0)->text() == path) return r;
        ADD_FAILURE() << "no row " << path.toStdString();
        return -1;
    }
    static void type(TLanguageManager& m, const QString& path, const QString& text) {
        const int r = row(m, path);
        if (r >= 0) m.LangListEditor->item(r, 1)->setText(text);
    }
    static Marker marker(TLanguageManager& m, const QString& path) {
        const int r = row(m, path);
        return r >= 0 ? m.RowMarker(r) : Marker::None;
    }

    QTemporaryDir dir;
    std::unique_ptr<TLingoEngine> engine;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<QObject> module;
    QLabel* label = nullptr;
    QPushButton* ok = nullptr;
    QListWidget* events = nullptr;
    TLingoClient* client = nullptr;
    TDesignedLexicon* lexicon = nullptr;
    TLanguageManager* manager = nullptr;
    QStringList logged, told, asked;
    bool answer = true;
    QString offered, chosenFile, picturePath;
};

// ---- what the window shows ----

TEST(LanguageManagerPaths, TheLeftColumnNamesThePropertyAndItsItem) {
    const struct {
        uint16_t code;
        const char* address;
        const char* path;
    } cases[] = {
        {pnCaption, "", "Caption"},
        {lingo::code(pnItems), "3", "Items.Item[3]"},
        {lingo::code(pnPanels), "3.5", "Panels[3].Text"},
        {lingo::code(pnListColumns), "2.0", "Columns[2].Caption"},
        {lingo::code(pnTreeItems), "1,4", "Items[1].Item[4]"},
        {lingo::code(pnTreeItems), "1,4,2", "Items[1].Item[4][2]"},
        {lingo::code(pnButtons), "0.Caption:Sub", "Buttons[0].Caption.Sub"},
        {lingo::code(pnPDF_DocInfo), ".507", "DocInfo.Author"},
        {lingo::code(pnPDF_DocInfo), "1.600", "DocInfo[1].Unknown"},
        {pnHint, "", "Hint"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TLanguageManager::PropertyPath(c.code, u8(c.address)), u8(c.path)) << c.address;
}

TEST_F(ManagerTest, TheWindowSpeaksTheCurrentBuiltInLanguageAndOffersTheRightLanguages) {
    write("sk.lng", lingo::WriteLanguage("YOX_", u8("Slovenčina"), "EN", {}, {}, {}, TLFEncoding::Unicode));
    engine->RescanLanguages();
    ASSERT_EQ(engine->Translate(u8("Slovenčina")), u8("Slovenčina"));
    QStringList creating, editing;
    // The choosers' entries speak the current language too.
    EXPECT_EQ(engine->LangMenu.mid(2), QStringList({u8("> Pridať jazyk <"), u8("> Opraviť jazyk <")}));
    run(u8("> Pridať jazyk <"), [&](TLanguageManager& m) {
        EXPECT_EQ(m.windowTitle(), u8("Editor jazykov"));
        EXPECT_EQ(m.LLanguage->text(), u8("Vyberte referenčný jazyk:"));
        EXPECT_EQ(m.FinishBtn->text(), u8("Uložiť"));
        EXPECT_TRUE(m.FinishBtn->isHidden());
        EXPECT_TRUE(m.AddLangButton->isHidden());
        EXPECT_FALSE(m.LangFilesPanel->isEnabled());
        EXPECT_EQ(m.LItem->text(), "-/-");
        for (int i = 0; i < m.LangCombo->count(); ++i)
            creating << m.LangCombo->itemText(i);
    });
    // Editing: the one language there is (the design language is no file) starts at once.
    run(u8("> Opraviť jazyk <"), [&](TLanguageManager& m) {
        for (int i = 0; i < m.LangCombo->count(); ++i)
            editing << m.LangCombo->itemText(i);
        EXPECT_FALSE(m.LangCombo->isEnabled()) << "started at once";
        EXPECT_EQ(m.LRefLang->text(), "EN");
        EXPECT_EQ(m.GroupCombo->itemText(0), "Form1");
        EXPECT_EQ(m.GroupCombo->itemText(1), kLexicon);
        EXPECT_EQ(m.GroupCombo->count(), 2) << "the built-in lexicon is offered only with TranslateLingo";
        EXPECT_EQ(m.ObjectCombo->itemText(0), "Events");
        EXPECT_EQ(m.LItem->text(), "1 / 4");
    });
    EXPECT_EQ(creating, (QStringList{"EN", u8("Slovenčina")}));
    EXPECT_EQ(editing, (QStringList{u8("Slovenčina")}));
}

// ---- creating, editing, untranslating, saving ----

TEST_F(ManagerTest, TheFileWrittenHoldsOnlyWhatTheUserChangedOrUntranslated) {
    // The reference language of the second case: its own texts are the references.
    write("base.lng", lingo::WriteLanguage(
                          "YOX_", "Base", "",
                          [] {
                              TComponentStructure d;
                              d.AddLine({"Label1", "Form1", "Basis", pnCaption, "", TStructLine::Translated});
                              return d;
                          }(),
                          [] {
                              TLexiconData l;
                              l.NewLexicon("DataModule1.DesignedLexicon1");
                              l.WriteItem("DataModule1.DesignedLexicon1", 0, "Basis-Log");
                              return l;
                          }(),
                          {}, TLFEncoding::UTF8));
    // The language edited in the third case: a row marked old that a window
    // uses again, and a row of a button no window has any more.
    write("deutsch.lng",
          lingo::WriteLanguage(
              "YOX_", "Deutsch", "EN",
              [] {
                  TComponentStructure d;
                  d.AddLine({"Label1", "Form1", "Bezeichnung", pnCaption, "", TStructLine::Translated});
                  d.AddLine({"OkButton", "Form1", "Jawohl", pnCaption, "",
                             TStructLine::Translated | TStructLine::Obsolete});
                  d.AddLine({"GoneButton", "Form1", "Weg", pnCaption, "", TStructLine::Translated});
                  return d;
              }(),
              [] {
                  TLexiconData l;
                  l.NewLexicon("DataModule1.DesignedLexicon1");
                  l.WriteItem("DataModule1.DesignedLexicon1", 1, "P2P-Modus");
                  return l;
              }(),
              {}, TLFEncoding::Unicode));
    engine->RescanLanguages();
    const QString flagFile = dir.path() + "/flag.png";
    ASSERT_TRUE(picture(40, 20, QColor(0, 0, 200)).save(flagFile));

    const struct {
        const char* label;
        QString entry, file, made;
        std::function<void(TLanguageManager&)> work;
        QStringList expected;
    } cases[] = {
        {"create from the design language: two texts, a lexicon item, a flag", kAdd, "Neu.lng", "Neu",
         [&](TLanguageManager& m) {
             pick(m, "EN");
             EXPECT_EQ(m.LLanguage->text(), "New language name:");
             name(m, "Neu");
             EXPECT_EQ(offered, langDir() + "Neu.lng");
             EXPECT_EQ(m.LLanguage->text(), "Language:");
             EXPECT_EQ(m.LRefLang->text(), "EN");
             object(m, "Label1");
             EXPECT_EQ(marker(m, "Caption"), Marker::Untranslated);
             type(m, "Caption", "Bezeichnung");
             EXPECT_EQ(marker(m, "Caption"), Marker::Translated);
             object(m, "OkButton");
             type(m, "Hint", u8("Speichern und schließen"));
             group(m, kLexicon);
             type(m, "Item[1]", "P2P-Modus");
             // The reference text typed again stays untranslated.
             type(m, "Item[0]", "Log send successful");
             EXPECT_EQ(marker(m, "Item[0]"), Marker::Untranslated);
             picturePath = flagFile;
             m.ImportFlag();
             m.Finish();
         },
         lines({"[YOX_]", "0\t%LANGUAGE_NAME=\"Neu\"\t%SUPERIOR_LANGUAGE=EN;\t%FILEVER=THLF1;",
                "0\t\"Bezeichnung\"\t%COMPONENT=Label1;\t%OWNER=Form1;",
                "1\t\"Speichern und schließen\"\t%COMPONENT=OkButton;\t%OWNER=Form1;", "0\t%LEXICON_STRINGS",
                "0\t%LEXICON_NAME=DataModule1.DesignedLexicon1;", "1\t\"P2P-Modus\"", "0\t%SMART_STRINGS",
                "0\t%FLAG_ICON"})},
        {"create from another language, one object untranslated", kAdd, "Kind.lng", "Kind",
         [&](TLanguageManager& m) {
             pick(m, "Base");
             name(m, "Kind");
             EXPECT_EQ(m.LRefLang->text(), "Base");
             object(m, "Label1");
             EXPECT_EQ(m.LangListEditor->item(0, 1)->text(), "Basis") << "the reference language's text";
             EXPECT_EQ(m.LRefText->text(), "Basis");
             object(m, "OkButton");
             m.Untranslate();
             EXPECT_EQ(m.ObjectCombo->findText("OkButton"), -1) << "the object leaves the list";
             EXPECT_EQ(m.ObjectCombo->currentText(), "Label1") << "the object now last";
             group(m, kLexicon);
             EXPECT_EQ(m.LangListEditor->item(0, 1)->text(), "Basis-Log");
             m.Finish();
         },
         lines({"[YOX_]", "0\t%LANGUAGE_NAME=\"Kind\"\t%SUPERIOR_LANGUAGE=Base;\t%FILEVER=THLF1;",
                "0\t%NOTRANS\t%COMPONENT=OkButton;\t%OWNER=Form1;",
                "1\t%NOTRANS\t%COMPONENT=OkButton;\t%OWNER=Form1;", "0\t%LEXICON_STRINGS",
                "0\t%SMART_STRINGS"})},
        {"edit: obsolete and untranslated rows marked, the old one renewed", kEdit, "deutsch.lng", "Deutsch",
         [&](TLanguageManager& m) {
             pick(m, "Deutsch");
             EXPECT_EQ(m.LRefLang->text(), "EN");
             object(m, "Label1");
             EXPECT_EQ(marker(m, "Caption"), Marker::Translated);
             object(m, "OkButton");
             EXPECT_EQ(marker(m, "Caption"), Marker::Obsolete);
             EXPECT_EQ(marker(m, "Hint"), Marker::Untranslated);
             EXPECT_EQ(m.LangListEditor->item(row(m, "Caption"), 0)->data(Qt::AccessibleDescriptionRole),
                       "Obsolete: no window uses this text");
             type(m, "Caption", "Gut");
             EXPECT_EQ(marker(m, "Caption"), Marker::Translated) << "in use again once changed";
             object(m, "Events");
             EXPECT_EQ(marker(m, "Items.Item[1]"), Marker::Untranslated);
             group(m, kLexicon);
             EXPECT_EQ(marker(m, "Item[1]"), Marker::Translated);
             EXPECT_EQ(marker(m, "Item[0]"), Marker::Untranslated);
             m.Finish();
         },
         lines({"[YOX_]", "0\t%LANGUAGE_NAME=\"Deutsch\"\t%SUPERIOR_LANGUAGE=EN;\t%FILEVER=THLF1;",
                "0\t\"Bezeichnung\"\t%COMPONENT=Label1;\t%OWNER=Form1;",
                "0\t\"Gut\"\t%COMPONENT=OkButton;\t%OWNER=Form1;",
                "0\t\"Weg\"\t%COMPONENT=GoneButton;\t%OWNER=Form1;\t%OLD", "0\t%LEXICON_STRINGS",
                "0\t%LEXICON_NAME=DataModule1.DesignedLexicon1;", "1\t\"P2P-Modus\"", "0\t%SMART_STRINGS"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        logged.clear();
        const QString made = run(c.entry, c.work);
        QStringList written = fileLines(c.file);
        // The flag's picture lines are checked by what they read back as.
        const qsizetype flagAt = written.indexOf("0\t%FLAG_ICON");
        if (flagAt >= 0) written = written.mid(0, flagAt + 1);
        EXPECT_EQ(written, c.expected);
        EXPECT_TRUE(told.isEmpty()) << told.join("|").toStdString();
        // The console switched to the language saved, and lists it.
        EXPECT_EQ(made, c.made);
        EXPECT_EQ(engine->CurrentLanguage(), made);
        EXPECT_TRUE(engine->GetLanguagesList().contains(made));
        EXPECT_TRUE(logged.contains(
            QStringLiteral("LINGO: language %1 saved to \"%2\"").arg(made, langDir() + c.file)))
            << logged.join("\n").toStdString();
    }
    // What the first case saved is on screen once the console is in that language.
    engine->Translate("Neu");
    EXPECT_EQ(label->text(), "Bezeichnung");
    EXPECT_EQ(ok->toolTip(), u8("Speichern und schließen"));
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_EQ(lexicon->GetItem(1), "P2P-Modus");
    EXPECT_EQ(lexicon->GetItem(0), "Log send successful");
    // Its flag: any picture becomes 16 x 16, centred on white.
    QByteArray flag;
    EXPECT_EQ(lingo::ReadFileHeader(read("Neu.lng"), "[YOX_]", &flag), "Neu");
    const QImage shown = QImage::fromData(flag);
    ASSERT_EQ(shown.size(), QSize(16, 16));
    EXPECT_EQ(shown.pixelColor(8, 8), QColor(0, 0, 200));
    EXPECT_EQ(shown.pixelColor(8, 1), QColor(Qt::white));
    const int neu = static_cast<int>(engine->GetLanguagesList().indexOf("Neu"));
    EXPECT_GE(engine->Flags.GetImageIndex(neu), 0) << "the chooser shows its flag";
}

TEST_F(ManagerTest, EditingABuiltInLanguageWritesItOutFirstAndTheFolderFileTakesItsPlace) {
    engine->SetLangResources({"SK"});
    ASSERT_TRUE(engine->GetLanguagesList().contains(u8("Slovenčina")));
    run(kEdit, [&](TLanguageManager& m) {
        pick(m, u8("Slovenčina"));
        object(m, "Label1");
        type(m, "Caption", u8("Meno (opravené)"));
        m.Finish();
    });
    ASSERT_TRUE(QFileInfo::exists(langDir() + "SK.lng"));
    const int p = static_cast<int>(engine->GetLanguagesList().indexOf(u8("Slovenčina")));
    EXPECT_EQ(engine->GetLangFilesList().value(p), langDir() + "SK.lng");
    EXPECT_EQ(engine->CurrentLanguage(), u8("Slovenčina"));
    EXPECT_EQ(label->text(), u8("Meno (opravené)"));
}

TEST_F(ManagerTest, NavigationFindsTheNextUntranslatedObjectAndSaysWhenThereIsNone) {
    write("deutsch.lng",
          lingo::WriteLanguage(
              "YOX_", "Deutsch", "EN",
              [] {
                  TComponentStructure d;
                  d.AddLine(
                      {"Events", "Form1", "Klingeln", lingo::code(pnItems), "0", TStructLine::Translated});
                  d.AddLine(
                      {"Events", "Form1", "Tür offen", lingo::code(pnItems), "1", TStructLine::Translated});
                  d.AddLine({"Form1", "", "Sprechanlagen", pnCaption, "", TStructLine::Translated});
                  d.AddLine({"OkButton", "Form1", "Gut", pnCaption, "", TStructLine::Translated});
                  d.AddLine({"OkButton", "Form1", "Sichern", pnHint, "", TStructLine::Translated});
                  return d;
              }(),
              [] {
                  TLexiconData l;
                  l.NewLexicon("DataModule1.DesignedLexicon1");
                  l.WriteItem("DataModule1.DesignedLexicon1", 0, "Gesendet");
                  l.WriteItem("DataModule1.DesignedLexicon1", 1, "P2P-Modus");
                  return l;
              }(),
              {}, TLFEncoding::Unicode));
    engine->RescanLanguages();
    run(kEdit, [&](TLanguageManager& m) {
        // Objects: Events, Form1, Label1 (untranslated), OkButton; then the lexicon.
        ASSERT_EQ(m.ObjectCombo->currentText(), "Events");
        m.Navigate(true, true);
        EXPECT_EQ(m.ObjectCombo->currentText(), "Label1") << "Form1 is translated and skipped";
        m.Navigate(true, false);
        EXPECT_EQ(m.ObjectCombo->currentText(), "OkButton");
        m.Navigate(true, false);
        EXPECT_EQ(m.GroupCombo->currentText(), kLexicon) << "past the last object: the next group";
        EXPECT_FALSE(m.ObjectCombo->isEnabled());
        m.Navigate(false, false);
        EXPECT_EQ(m.GroupCombo->currentText(), "Form1");
        EXPECT_EQ(m.ObjectCombo->currentText(), "OkButton") << "back: the previous group's last object";
        EXPECT_EQ(m.LItem->text(), "4 / 4");
        // Nothing untranslated after OkButton: the message, and the view stays.
        m.Navigate(true, true);
        EXPECT_EQ(told, QStringList{"Not found any untranslated object."});
        EXPECT_EQ(m.ObjectCombo->currentText(), "OkButton");
        // At the very end a step without Shift does nothing and says nothing.
        group(m, kLexicon);
        told.clear();
        m.Navigate(true, false);
        EXPECT_TRUE(told.isEmpty());
        m.Navigate(true, true);
        EXPECT_EQ(told, QStringList{"Not found any untranslated object."});
    });
}

TEST_F(ManagerTest, ClosingAsksOnlyAfterChangesAndTheScreenShowsTheSavedLanguage) {
    onScreenGerman();
    const QByteArray before = read("deutsch.lng");

    // Nothing changed: no question.
    run(kEdit, [&](TLanguageManager& m) { m.reject(); });
    EXPECT_TRUE(asked.isEmpty());

    // Changed, and the user answers No: the window stays open; Yes closes it unsaved.
    run(kEdit, [&](TLanguageManager& m) {
        object(m, "Label1");
        type(m, "Caption", "Etikett");
        answer = false;
        m.reject();
        EXPECT_TRUE(m.isVisible());
        answer = true;
        m.reject();
        EXPECT_FALSE(m.isVisible());
    });
    EXPECT_EQ(asked, QStringList({"Close without saving changes?", "Close without saving changes?"}));
    EXPECT_EQ(read("deutsch.lng"), before);
    // The work merged into the stores while editing is gone from the screen.
    EXPECT_EQ(engine->CurrentLanguage(), "Deutsch");
    EXPECT_EQ(label->text(), "Bezeichnung");

    // Closed by the program (the console stopping), not by the user: no
    // question that nobody would answer; the work is dropped and logged.
    run(kEdit, [&](TLanguageManager& m) {
        object(m, "Label1");
        type(m, "Caption", "Etikett");
        m.close();
        EXPECT_FALSE(m.isVisible());
    });
    EXPECT_EQ(asked.size(), 2) << "no further question";
    EXPECT_TRUE(logged.contains(
        "LINGO: the language manager closed as the console stops; its unsaved work is dropped"));
    EXPECT_EQ(read("deutsch.lng"), before);
    EXPECT_EQ(label->text(), "Bezeichnung");

    // After Save nothing is asked.
    asked.clear();
    run(kEdit, [&](TLanguageManager& m) {
        object(m, "Label1");
        type(m, "Caption", "Etikett");
        m.Finish();
    });
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_EQ(label->text(), "Etikett");
}

TEST_F(ManagerTest, WhileTheManagerWorksTheWindowsKeepTheCurrentLanguagesLexiconTexts) {
    write("deutsch.lng", lingo::WriteLanguage(
                             "YOX_", "Deutsch", "EN", {},
                             [] {
                                 TLexiconData l;
                                 l.NewLexicon("DataModule1.DesignedLexicon1");
                                 l.WriteItem("DataModule1.DesignedLexicon1", 1, "P2P-Modus");
                                 return l;
                             }(),
                             {}, TLFEncoding::Unicode));
    write("base.lng", lingo::WriteLanguage(
                          "YOX_", "Base", "", {},
                          [] {
                              TLexiconData l;
                              l.NewLexicon("DataModule1.DesignedLexicon1");
                              l.WriteItem("DataModule1.DesignedLexicon1", 1, "Basis-Modus");
                              return l;
                          }(),
                          {}, TLFEncoding::Unicode));
    engine->RescanLanguages();
    engine->Translate("Deutsch");
    QString during;
    run(kAdd, [&](TLanguageManager& m) {
        pick(m, "Base"); // read into the stores as the reference
        during = lexicon->GetItem(1);
    });
    EXPECT_EQ(during, "P2P-Modus") << "a ring's texts stay in the language on screen";
    EXPECT_EQ(lexicon->GetItem(1), "P2P-Modus");
}

// ---- bad input ----

TEST_F(ManagerTest, NothingTypedOrPickedCanBreakAFileOrTheScreen) {
    onScreenGerman();
    const QByteArray old = read("deutsch.lng");
    const QString notPicture = dir.path() + "/notes.png";
    {
        QFile f(notPicture);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("this is no picture\n");
    }
    const QString huge = dir.path() + "/huge.png";
    {
        QImage wide(4097, 4097, QImage::Format_Mono);
        wide.fill(0);
        ASSERT_TRUE(wide.save(huge));
    }
    const QString goodFlag = dir.path() + "/flag.png";
    ASSERT_TRUE(picture(16, 16, QColor(0, 150, 0)).save(goodFlag));
    const QString refused =
        "The file is not a picture, or the picture is too large. The flag stays as it was.";
    const QString badName = "A language name cannot hold a double quote, a semicolon, a TAB or a line break.";
    const struct {
        const char* label;
        QString typed, picture, message;
    } cases[] = {
        {"empty name", "", "", "Enter a name for the new language."},
        {"blank name", "   ", "", "Enter a name for the new language."},
        {"taken, other letter case", "deutsch", "", "deutsch already exists! Enter another name."},
        {"the design language", "en", "", "en already exists! Enter another name."},
        {"a chooser entry", kAdd, "", kAdd + " already exists! Enter another name."},
        {"double quote", "Neu\"x", "", badName},
        {"semicolon", "Neu;x", "", badName},
        {"TAB", "Neu\tx", "", badName},
        {"line break", "Neu\nx", "", badName},
        {"a text file as the flag", "Neu", notPicture, refused},
        {"a picture of 4097 x 4097", "Neu", huge, refused},
        {"a flag file that is gone", "Neu", dir.path() + "/gone.png", refused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        told.clear();
        run(kAdd, [&](TLanguageManager& m) {
            pick(m, "EN");
            m.LangCombo->setEditText(c.typed);
            m.AddLanguage();
            if (c.picture.isEmpty()) {
                EXPECT_FALSE(m.FinishBtn->isVisible()) << "still asking for a name";
                return;
            }
            ASSERT_TRUE(m.FinishBtn->isVisible());
            picturePath = goodFlag;
            m.ImportFlag();
            const QByteArray flag = engine->FlagStream;
            ASSERT_FALSE(flag.isEmpty());
            picturePath = c.picture;
            m.ImportFlag();
            EXPECT_EQ(engine->FlagStream, flag) << "the old flag stays";
        });
        EXPECT_EQ(told, QStringList{c.message});
        EXPECT_EQ(QDir(langDir()).entryList(QDir::Files), QStringList{"deutsch.lng"});
        EXPECT_EQ(read("deutsch.lng"), old);
        EXPECT_EQ(engine->CurrentLanguage(), "Deutsch");
        EXPECT_EQ(label->text(), "Bezeichnung");
    }
}

TEST_F(ManagerTest, AFailedSaveKeepsTheOldFileByteForByte) {
    onScreenGerman();
    const QByteArray old = read("deutsch.lng");
    // A file size limit fails the write even for root; the signal it raises is ignored.
    // It is lifted again as soon as the manager's run is over.
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    engine->OnAfterEdit = [&](QObject*) { setrlimit(RLIMIT_FSIZE, &before); };
    run(kEdit, [&](TLanguageManager& m) {
        object(m, "Label1");
        type(m, "Caption", QString(3000, QLatin1Char('x')));
        rlimit low = before;
        low.rlim_cur = 1024;
        setrlimit(RLIMIT_FSIZE, &low);
        m.Finish();
    });
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(told, QStringList{"Saving of language file fail!"}) << logged.join("\n").toStdString();
    EXPECT_EQ(read("deutsch.lng"), old) << lingo::DecodeLanguageText(read("deutsch.lng")).toStdString();
    EXPECT_EQ(QDir(langDir()).entryList(QDir::Files), QStringList{"deutsch.lng"}) << "no half-written file";
    EXPECT_EQ(engine->CurrentLanguage(), "Deutsch");
    EXPECT_EQ(label->text(), "Bezeichnung");
}

TEST_F(ManagerTest, ALanguageFolderThatCannotBeWrittenClosesTheWindowAndWritesNothing) {
    // The folder's place is taken by a file.
    QFile blocker(dir.path() + "/LANGS");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    bool closed = false;
    run(kAdd, [&](TLanguageManager& m) {
        pick(m, "EN");
        name(m, "Neu");
        closed = !m.isVisible();
    });
    EXPECT_TRUE(closed);
    EXPECT_EQ(told, QStringList{"Wrong path to language files!"});
    EXPECT_TRUE(offered.isEmpty()) << "no file was asked for";
    EXPECT_TRUE(QFileInfo(dir.path() + "/LANGS").isFile());
    EXPECT_EQ(engine->CurrentLanguage(), "EN");
    EXPECT_EQ(label->text(), "Name");
}

TEST_F(ManagerTest, AFileNamedOutsideTheFolderOrWithoutTheExtensionIsSavedInTheFolderAsALanguageFile) {
    chosenFile = dir.path() + "/elsewhere/Neu.txt";
    run(kAdd, [&](TLanguageManager& m) {
        pick(m, "EN");
        name(m, "Neu");
        object(m, "Label1");
        type(m, "Caption", "Bezeichnung");
        m.Finish();
    });
    EXPECT_TRUE(QFileInfo::exists(langDir() + "Neu.txt.lng"));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/elsewhere/Neu.txt"));
    EXPECT_EQ(engine->CurrentLanguage(), "Neu");
    EXPECT_EQ(label->text(), "Bezeichnung");
}

} // namespace
