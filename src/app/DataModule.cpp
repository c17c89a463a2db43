#include "app/DataModule.h"

#include "app/EventLog.h"
#include "app/SettingsCheck.h"

#include <QImage>
#include <map>

TDataModule1::TDataModule1(QObject* parent) : QObject(parent) {
    Q_INIT_RESOURCE(languages);
    setObjectName("DataModule1");

    // The windows are designed in English; Czech and Slovak are built in, and
    // the desk's own languages live in LANGS in the data folder.
    LingoEngine1 = new TLingoEngine(this);
    LingoEngine1->setObjectName("LingoEngine1");
    LingoEngine1->Log = [](const QString& line) { WriteToLogFile(line.toStdString()); };
    LingoEngine1->SetDesignLanguageName("EN");
    LingoEngine1->SetDefaultLanguage("EN");
    // The data folder, once the main window has made it (it sets it then).
    if (!DataFolder().empty()) LingoEngine1->SetBaseDirectory(QString::fromStdString(DataFolder()));
    LingoEngine1->SetLangSubdirectory("LANGS");
    LingoEngine1->SetLangFileExtension(".lng");
    LingoEngine1->SetLangFileSignature("YOX_");
    LingoEngine1->LangFileEncoding = TLFEncoding::Unicode;
    // The choosers' "> Add <" and "> Edit <" entries open the language manager.
    LingoEngine1->SetLangCreatorVisible(true);
    LingoEngine1->SetLangEditorVisible(true);
    LingoEngine1->TranslateLingo = false;
    LingoEngine1->SetLangMenuFlags(true);
    LingoEngine1->SetDesignLangFlag(QImage(":/languages/EN.png"));
    LingoEngine1->SetLangResources({"CZ", "SK"});

    DesignedLexicon1 = new TDesignedLexicon(this);
    DesignedLexicon1->setObjectName("DesignedLexicon1");
    // Item 2 ends with a blank and item 3 begins with one: the blocking
    // program's name goes between them.
    DesignedLexicon1->SetItems({
        "Log send successful",
        "Log not send, check your internet connection",
        "Could not start UDP transport on port 5060 (Voice). Blocking program is: ",
        " Please stop this program.",
        "Some collisions on SIP audio port 5060",
        "SIP Server Mode",
        "P2P Mode",
    });
    DesignedLexicon1->SetLingoEngine(LingoEngine1);

    // The settings dialog's own messages and field names, by their English text.
    SettingsTexts = new TProgrammableLexicon(this);
    SettingsTexts->setObjectName("SettingsTexts");
    const auto& texts = SettingsCheckTexts();
    for (size_t i = 0; i < texts.size(); ++i)
        SettingsTexts->DefineItem(static_cast<uint16_t>(i), QString::fromStdString(texts[i]));
    SettingsTexts->SetLingoEngine(LingoEngine1);
    SetSettingsTranslator([lexicon = SettingsTexts](const std::string& english) {
        static const std::map<std::string, int> items = [] {
            std::map<std::string, int> m;
            const auto& all = SettingsCheckTexts();
            for (size_t i = 0; i < all.size(); ++i)
                m.emplace(all[i], static_cast<int>(i));
            return m;
        }();
        const auto it = items.find(english);
        return it == items.end() ? english : lexicon->GetItem(it->second).toStdString();
    });
}

TDataModule1& DataModule1() {
    static TDataModule1* module = new TDataModule1(); // lives for the run
    return *module;
}

QString LexiconItem(int n) {
    return DataModule1().DesignedLexicon1->GetItem(n);
}

QString ConfiguredLanguage() {
    const TLingoEngine* e = DataModule1().LingoEngine1;
    if (!e->FailedLanguage().isEmpty() && e->CurrentLanguage() == e->DesignLanguageName())
        return e->FailedLanguage();
    return e->CurrentLanguage();
}
