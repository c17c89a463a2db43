// The console's three windows switching language while they run: every
// recorded text shows the new language's translation (the built-in Czech and
// Slovak are complete), configuration and typed text stay as they were, the
// flag chooser switches everything, and a broken file leaves the design texts
// and the configured language.
#include "MainFormSupport.h"
#include "app/DataModule.h"
#include "app/EventLog.h"
#include "app/IniProfile.h"
#include "app/MainForm.h"
#include "app/Send_log.h"
#include "app/SettingsStore.h"
#include "app/SettingsUnit.h"
#include "lingo/LingoCtrls.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <sstream>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

TLingoEngine& engine() {
    return *DataModule1().LingoEngine1;
}

class LanguageSwitch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::chdir(testenv::assetsDir().c_str()), 0); // pictures load by bare name
        store = std::make_unique<TSettingsStore>(testenv::makeTempDir());
        // Nothing listens there: the panel only tries.
        store->SetText("DoorPhoneIP1Text", "127.0.0.1");
        store->SetText("DoorPhoneVideoPort1Text", "9");
        store->SetText("MyPasswordText", "Secret7x");
        store->SetText("DoorPhoneUserName1Text", "Admin");
        store->SetText("AVIDirectory", testenv::makeTempDir());
        store->SetText("JPGDirectory", testenv::makeTempDir());
        form = std::make_unique<TForm2>();
        form->SettingsForm = store.get();
        dialog = std::make_unique<TSettingsForm>(*store, form.get());
        email = std::make_unique<TEmail>(dialog.get());
        engine().FirstActivation();
    }
    void TearDown() override {
        engine().OnChangeLangQuery = nullptr;
        engine().Translate("EN");
        email.reset();
        dialog.reset();
        form->SettingsForm = nullptr;
        form.reset();
    }

    std::vector<TLingoClient*> clients() const {
        return {form->LingoClient1, dialog->LingoClient1, email->LingoClient1};
    }

    // Every value a user or the configuration put into the windows.
    std::map<QString, QString> userTexts() const {
        std::map<QString, QString> out;
        for (QWidget* w : {static_cast<QWidget*>(dialog.get()), static_cast<QWidget*>(email.get())}) {
            for (auto* e : w->findChildren<QLineEdit*>())
                out[w->objectName() + "." + e->objectName()] = e->text();
            for (auto* e : w->findChildren<QPlainTextEdit*>())
                out[w->objectName() + "." + e->objectName()] = e->toPlainText();
        }
        return out;
    }

    // The recorded texts that do not show what the current language says:
    // its translation, or the design text in the design language. Rows the
    // language lacks come out as lines ready for the translation table.
    std::string wrongTexts(bool designLanguage) {
        std::ostringstream out;
        for (TLingoClient* client : clients()) {
            const TComponentStructure shown = client->ShownTexts();
            for (int i = 0; i < client->DesignStruct.Count(); ++i) {
                const TStructLine d = client->DesignStruct.GetLine(i);
                QString expected = d.Text;
                if (!designLanguage) {
                    const int r = engine().DataStruct.FindLine(d.Name, d.Parent, d.ItemAddr, d.Properties);
                    if (r < 0 || engine().DataStruct.GetLine(r).Text.isEmpty()) {
                        out << "missing\t" << d.Name.toStdString() << '\t' << d.Parent.toStdString() << '\t'
                            << d.Properties << '\t' << d.ItemAddr.toStdString() << '\t'
                            << d.Text.toStdString() << '\n';
                        continue;
                    }
                    expected = engine().DataStruct.GetLine(r).Text;
                }
                const int s = shown.FindLine(d.Name, d.Parent, d.ItemAddr, d.Properties);
                const QString now = s < 0 ? QString("(not shown)") : shown.GetLine(s).Text;
                if (now != expected)
                    out << "shows\t" << d.Name.toStdString() << '\t' << d.Properties << '\t'
                        << d.ItemAddr.toStdString() << "\t\"" << now.toStdString() << "\" instead of \""
                        << expected.toStdString() << "\"\n";
            }
        }
        // Every lexicon item has its own text in a language of ours, with the
        // same places for what the program fills in.
        for (TLexicon* lexicon : {static_cast<TLexicon*>(DataModule1().DesignedLexicon1),
                                  static_cast<TLexicon*>(DataModule1().SettingsTexts)}) {
            for (int n = 0; n <= lexicon->MaxItemIndex(); ++n) {
                const QString text = engine().DataLexicon.ReadItem(lexicon->Key(), n);
                const QString own = lexicon->DesignText(n);
                if (!designLanguage && text.isEmpty())
                    out << "missing\t@" << lexicon->Key().toStdString() << "\t\t" << n << "\t\t"
                        << own.toStdString() << '\n';
                if (lexicon->GetItem(n) != (designLanguage || text.isEmpty() ? own : text))
                    out << lexicon->Key().toStdString() << " item " << n << " shows \""
                        << lexicon->GetItem(n).toStdString() << "\"\n";
                for (const char* mark : {"%1", "%2"})
                    if (!designLanguage && text.count(mark) != own.count(mark))
                        out << lexicon->Key().toStdString() << " item " << n << " (\"" << own.toStdString()
                            << "\") has not the same " << mark << "\n";
            }
        }
        return out.str();
    }

    std::unique_ptr<TSettingsStore> store;
    std::unique_ptr<TForm2> form;
    std::unique_ptr<TSettingsForm> dialog;
    std::unique_ptr<TEmail> email;
};

} // namespace

TEST_F(LanguageSwitch, EverySwitchShowsOnlyTheNewLanguageAndKeepsWhatTheUserTyped) {
    email->Answer->setText("desk@example.test");
    email->Comment->setPlainText("Zvonek u vchodu B\nneodpovídá");
    dialog->DoorPhoneIP1Text->setText("127.0.0.9"); // typed, not saved
    const auto typed = userTexts();
    const QString title = form->windowTitle();

    // The recorded texts include every kind the windows have.
    int rows = 0;
    for (TLingoClient* c : clients())
        rows += c->DesignStruct.Count();
    ASSERT_GT(rows, 40);

    struct Step {
        const char* language;
        const char* modeLabel; // P2P mode in that language
    };
    for (const Step& step :
         {Step{"Čeština", "Režim P2P"}, Step{"Slovenčina", "Režim P2P"}, Step{"EN", "P2P Mode"}}) {
        SCOPED_TRACE(step.language);
        ASSERT_EQ(engine().Translate(QString::fromUtf8(step.language)), QString::fromUtf8(step.language));
        const bool design = engine().CurrentLanguage() == "EN";
        EXPECT_EQ(wrongTexts(design), "");
        EXPECT_EQ(userTexts(), typed) << "configuration or typed text changed";
        EXPECT_EQ(form->SIPModeLabel->text(), QString::fromUtf8(step.modeLabel));
        // Labels that name a control for a screen reader follow the language.
        EXPECT_EQ(dialog->Button2->accessibleName(), dialog->Button2->text());
        if (!design) {
            EXPECT_NE(dialog->Button2->text(), "Save");
        }
    }
    EXPECT_EQ(form->windowTitle(), title);
}

TEST_F(LanguageSwitch, AWindowCreatedAfterASwitchShowsTheLanguageAtOnce) {
    engine().Translate("Slovenčina");
    TEmail later(dialog.get());
    EXPECT_EQ(later.Button2->text(), engine().DataStruct.LookupText("Button2", "Email", "", pnCaption));
    EXPECT_NE(later.Button2->text(), "Close");
    EXPECT_EQ(later.windowTitle(), engine().DataStruct.LookupText("Email", "", "", pnCaption));
}

TEST_F(LanguageSwitch, TheFlagChooserSwitchesTheWholeConsoleAndSaveStoresTheLanguage) {
    TLangFlagsCombo* chooser = dialog->LangFlagsCombo1;
    QStringList listed;
    for (int i = 0; i < chooser->count(); ++i) {
        listed << chooser->itemText(i);
        EXPECT_FALSE(chooser->itemIcon(i).isNull()) << chooser->itemText(i).toStdString() << " has its flag";
    }
    EXPECT_EQ(listed, QStringList({"EN", "Čeština", "Slovenčina", "> Add <", "> Edit <"}));
    EXPECT_EQ(chooser->currentText(), "EN");

    dialog->show();
    const int czech = chooser->findText("Čeština");
    chooser->setCurrentIndex(czech);
    emit chooser->activated(czech); // as the user's pick
    EXPECT_EQ(engine().CurrentLanguage(), "Čeština");
    EXPECT_EQ(form->CloseImage->toolTip(), engine().DataStruct.LookupText("CloseImage", "Form2", "", pnHint));
    EXPECT_NE(form->CloseImage->toolTip(), "Close");

    // Cancel keeps the language; Save stores it.
    dialog->reject();
    EXPECT_EQ(engine().CurrentLanguage(), "Čeština");
    dialog->show();
    EXPECT_EQ(chooser->currentText(), "Čeština");
    dialog->Button2->click();
    IniProfile file;
    ASSERT_TRUE(file.loadFile(store->IniFileName()));
    EXPECT_EQ(file.readString("global", "Language", ""), "Čeština");
}

TEST_F(LanguageSwitch, TheConfiguredLanguageComesOnScreenAboutASecondAfterStart) {
    store->SetText("Language", "Slovenčina");
    TSettingsForm second(*store, form.get());
    ASSERT_TRUE(second.Timer1->isActive());
    EXPECT_TRUE(testenv::waitUntil([] { return engine().CurrentLanguage() == "Slovenčina"; }, 5000));
    EXPECT_EQ(second.Button3->text(),
              engine().DataStruct.LookupText("Button3", "SettingsForm", "", pnCaption));
}

TEST_F(LanguageSwitch, AFileThatFailsToReadLeavesTheDesignTextsAndTheConfiguredLanguage) {
    // A language of the desk's own whose lexicon section is broken.
    const QString dir = engine().LangDir();
    ASSERT_TRUE(QDir().mkpath(dir));
    QFile f(dir + "Desk.lng");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(
        "[YOX_]\r\n0\t%LANGUAGE_NAME=\"Desk\"\r\n0\t\"Uložit\"\t%COMPONENT=Button2;\t%OWNER=SettingsForm;\r\n"
        "0\t%LEXICON_STRINGS\r\n0\t%LEXICON_NAME=;\r\n");
    f.close();
    engine().RescanLanguages();
    ASSERT_GE(engine().GetLanguagesList().indexOf("Desk"), 1);

    engine().Translate("Čeština");
    EXPECT_EQ(engine().Translate("Desk"), "EN");
    EXPECT_EQ(wrongTexts(true), "") << "the design texts are shown";
    const auto line =
        mainformtest::logged("LINGO: language \"Desk\" not read from \"" + f.fileName().toStdString());
    std::string lingoLines;
    for (const auto& l : mainformtest::logTexts())
        if (l.rfind("LINGO", 0) == 0) lingoLines += l + "\n";
    ASSERT_TRUE(line) << "one log line names the file and the reason; logged:\n" << lingoLines;
    EXPECT_NE(line->find("lexicon"), std::string::npos) << *line;

    // The configuration goes on holding the language asked for.
    dialog->show();
    dialog->Button2->click();
    IniProfile file;
    ASSERT_TRUE(file.loadFile(store->IniFileName()));
    EXPECT_EQ(file.readString("global", "Language", ""), "Desk");
    QFile::remove(f.fileName());
    engine().RescanLanguages();
}

TEST_F(LanguageSwitch, TheSettingsDialogRefusesAndNamesTheFieldInTheLanguageOnScreen) {
    std::vector<std::pair<QString, QString>> shown;
    dialog->ShowMessage = [&shown](const QString& title, const QString& text) {
        shown.emplace_back(title, text);
    };
    engine().Translate("Čeština");
    dialog->show();
    dialog->DoorPhoneVideoPort1Text->setText("80x");
    dialog->Button2->click();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, "Nastavení nebylo uloženo");
    EXPECT_EQ(shown[0].second, "\"Video port 1\" musí být číslo portu od 1 do 65535.");
    // A screen reader names the field in Czech as well.
    EXPECT_EQ(dialog->DoorPhoneVideoPort1Text->accessibleName(), "Video port 1");
    dialog->reject();

    engine().Translate("EN");
    EXPECT_EQ(dialog->DoorPhoneVideoPort1Text->accessibleName(), "Video Port 1");
}
