#include "lingo/LingoComp.h"

#include "lingo/LangForm.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QTreeWidget>
#include <QWidget>

// ---- TLingoComponent ----

TLingoComponent::TLingoComponent(QObject* owner) : QObject(owner) {}

TLingoComponent::~TLingoComponent() {
    if (engine_) engine_->SpanClients.UnregisterClient(this);
}

void TLingoComponent::SetLingoEngine(TLingoEngine* engine) {
    if (engine_ == engine) return;
    if (engine_) engine_->SpanClients.UnregisterClient(this);
    engine_ = engine;
    if (engine_) engine_->SpanClients.RegisterClient(this);
}

void TLingoComponent::LanguageChanged() {
    if (OnChangeLanguage) OnChangeLanguage(this);
}

// ---- TSpans ----

void TSpans::RegisterClient(QObject* client) {
    if (!client) return;
    for (const auto& c : components_)
        if (c == client) return;
    components_.emplace_back(client);
}

void TSpans::UnregisterClient(QObject* client) {
    std::erase_if(components_, [client](const QPointer<QObject>& c) { return c.isNull() || c == client; });
}

std::vector<QObject*> TSpans::Components() const {
    std::vector<QObject*> out;
    for (const auto& c : components_)
        if (c) out.push_back(c.data());
    return out;
}

void TSpans::CallClientProcs() {
    // A client may go (or come) while another one retranslates: walk a copy
    // and skip the ones that went.
    std::vector<QPointer<QObject>> now(components_.begin(), components_.end());
    for (const auto& c : now)
        if (auto* comp = qobject_cast<TLingoComponent*>(c.data())) comp->LanguageChanged();
}

void TSpans::ChangeLangLists(const QStringList& languages, const QString& current, const TFlagsList& flags) {
    std::vector<QPointer<QObject>> now(components_.begin(), components_.end());
    for (const auto& c : now)
        if (auto* chooser = dynamic_cast<TLangChooser*>(c.data()))
            chooser->ChangeLangList(languages, current, flags);
}

bool TSpans::IsRegistered(const QString& ownerName, const QString& componentName) const {
    for (const auto& c : components_) {
        const auto* client = qobject_cast<const TLingoClient*>(c.data());
        if (client && client->Owns(ownerName, componentName)) return true;
    }
    return false;
}

// ---- TFlagsList ----

void TFlagsList::ClearFlags() {
    FlagPointer.clear();
    images_.clear();
}

void TFlagsList::Truncate(int positions) {
    if (positions >= 0 && static_cast<size_t>(positions) < FlagPointer.size())
        FlagPointer.resize(static_cast<size_t>(positions));
}

int TFlagsList::GetImageIndex(int position) const {
    if (position < 0 || position > MaxAddress()) return -1;
    return FlagPointer[static_cast<size_t>(position)];
}

int TFlagsList::addImage(const QImage& picture) {
    if (picture.isNull() || picture.size() != QSize(16, 16)) return -1;
    QImage img = picture.convertToFormat(QImage::Format_ARGB32);
    if (!picture.hasAlphaChannel()) {
        // A bitmap: white is its transparent colour.
        for (int y = 0; y < img.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < img.width(); ++x)
                if ((row[x] & 0xFFFFFF) == 0xFFFFFF) row[x] = 0;
        }
    }
    images_.push_back(img);
    return static_cast<int>(images_.size()) - 1;
}

int TFlagsList::AddFlag(const QImage& picture) {
    const int index = addImage(picture);
    FlagPointer.push_back(index);
    return index;
}

int TFlagsList::RewriteFlag(int position, const QImage& picture) {
    if (position < 0 || position > MaxAddress()) return AddFlag(picture);
    const int index = addImage(picture);
    FlagPointer[static_cast<size_t>(position)] = index;
    return index;
}

int TFlagsList::ImportFlag(const TFlagsList& other, int index) {
    if (index < 0 || static_cast<size_t>(index) >= other.images_.size()) {
        FlagPointer.push_back(-1);
        return -1;
    }
    images_.push_back(other.images_[static_cast<size_t>(index)]);
    const int mine = static_cast<int>(images_.size()) - 1;
    FlagPointer.push_back(mine);
    return mine;
}

QIcon TFlagsList::Icon(int position) const {
    const int index = GetImageIndex(position);
    if (index < 0 || static_cast<size_t>(index) >= images_.size()) return {};
    return QIcon(QPixmap::fromImage(images_[static_cast<size_t>(index)]));
}

// ---- lexicons ----

QString TLexicon::GetLink(int n) const {
    return QStringLiteral("\u00AB#") + QString::number(n) + QLatin1Char(';');
}

QString TLexicon::CompleteString(const QString& text) const {
    QString out;
    out.reserve(text.size());
    const qsizetype len = text.size();
    qsizetype i = 0;
    while (i < len) {
        const QChar ch = text[i];
        // A link: «, "#", digits, ";" (at least three characters after the «).
        if (ch == QChar(0x00AB) && i + 1 < len && text[i + 1] == QLatin1Char('#') && len - (i + 1) >= 3) {
            qsizetype j = i + 2;
            qint64 n = 0;
            bool big = false;
            while (j < len && text[j].isDigit() && text[j].unicode() < 128) {
                n = n * 10 + (text[j].unicode() - '0');
                if (n > 1000000) big = true, n = 1000000;
                ++j;
            }
            if (j > i + 2 && j < len && text[j] == QLatin1Char(';')) {
                const int item = static_cast<int>(n);
                out +=
                    !big && item <= MaxItemIndex() && IsDefined(item) ? GetItem(item) : QStringLiteral("???");
                i = j + 1;
                continue;
            }
        }
        out += ch;
        ++i;
    }
    return out;
}

QString TLexicon::Key() const {
    const QString owner = parent() ? parent()->objectName() : QString();
    return objectName().isEmpty() ? owner : owner + QLatin1Char('.') + objectName();
}

QString TLexicon::EngineText(int n) const {
    TLingoEngine* e = LingoEngine();
    if (!e || n < 0 || n > 65535) return {};
    return e->ShownLexicon().ReadItem(Key(), n);
}

void TLexicon::AddSlave(TLexiconSlave* slave) {
    if (slave && std::find(slaves_.begin(), slaves_.end(), slave) == slaves_.end()) slaves_.push_back(slave);
}

void TLexicon::RemoveSlave(TLexiconSlave* slave) {
    std::erase(slaves_, slave);
}

void TLexicon::LanguageChanged() {
    const auto now = slaves_;
    for (TLexiconSlave* s : now)
        if (std::find(slaves_.begin(), slaves_.end(), s) != slaves_.end()) s->Translate();
    TLingoComponent::LanguageChanged();
}

QString TDesignedLexicon::GetItem(int n) const {
    if (!IsDefined(n)) return {};
    const QString t = EngineText(n);
    return t.isEmpty() ? items_.at(n) : t;
}

int TDesignedLexicon::CreateItem(const QString& text) {
    items_.append(text);
    return static_cast<int>(items_.size()) - 1;
}

void TProgrammableLexicon::SetOnInitialization(std::function<void(QObject*)> handler) {
    onInitialization_ = std::move(handler);
    if (onInitialization_) onInitialization_(this);
}

QString TProgrammableLexicon::GetItem(int n) const {
    const QString t = EngineText(n);
    return t.isEmpty() ? items_.Get(n) : t;
}

QString TLangFormLexicon::GetItem(int n) const {
    const TLingoEngine* e = LingoEngine();
    if (e && e->TranslateLingo) return TProgrammableLexicon::GetItem(n);
    return DesignText(n);
}

// ---- built-in texts ----

namespace {

const char* const EnglishTexts[BuiltInTextCount] = {
    "Built-in Language Manager",
    "> Add <",
    "> Edit <",
    "Choose source language",
    "Language",
    "Source language",
    "Source string",
    "Property / Item",
    "Translation",
    "Untranslate",
    "Group",
    "Object",
    "Create new language",
    "Remove this object from translation list",
    "Group of language data",
    "Back - to untranslated object + Shift",
    "Next - untranslated object + Shift",
    "Read error from language file",
    "New language name",
    "already exists! Enter another name.",
    "Language files",
    "New language file name",
    "Saving of language file fail!",
    "Not found any untranslated object.",
    "Close without saving changes?",
    "Click for change flag. Right button for remove.",
    "Import language flag",
    "Do you really want to remove flag?",
    "Save",
    "Wrong path to language files!",
    "Enter a name for the new language.",
    "A language name cannot hold a double quote, a semicolon, a TAB or a line break.",
    "The file is not a picture, or the picture is too large. The flag stays as it was.",
    "Untranslated",
    "Translated",
    "Obsolete: no window uses this text",
    "No reference text"};

const char* const CzechTexts[BuiltInTextCount] = {
    "Editor jazyků",
    "> Přidat jazyk <",
    "> Upravit jazyk <",
    "Zvolte referenční jazyk",
    "Jazyk",
    "Referenční jazyk",
    "Referenční řetězec",
    "Položka",
    "Překlad",
    "Nepřekládat",
    "Skupina",
    "Objekt",
    "Založit nový jazyk pod uvedeným názvem",
    "Vyřadit objekt ze seznamu",
    "Skupina jazykových dat",
    "Zpět - na nepřeložený objekt + Shift",
    "Další - nepřeložený objekt + Shift",
    "Chyba při načítání jazyka. Jazykový soubor nelze načíst.",
    "Název nového jazyka",
    "již v programu existuje! Zvolte jiný název.",
    "Jazykové soubory",
    "Soubor nového jazyka",
    "Chyba při ukládání jazykového souboru!",
    "Nebyl nalezen žádný nepřeložený objekt.",
    "Opravdu chcete odejít bez uložení změn?",
    "Klikněte pro změnu vlajky. Pravým tlačítkem odebrat.",
    "Import vlajky jazyka",
    "Opravdu chcete vymazat vlajku jazyka?",
    "Uložit",
    "Chybná cesta k jazykovým souborům!",
    "Zadejte název nového jazyka.",
    "Název jazyka nesmí obsahovat uvozovky, středník, tabulátor ani konec řádku.",
    "Soubor není obrázek nebo je obrázek příliš velký. Vlajka zůstává beze změny.",
    "Nepřeloženo",
    "Přeloženo",
    "Zastaralé: text nepoužívá žádné okno",
    "Bez referenčního textu"};

const char* const SlovakTexts[BuiltInTextCount] = {
    "Editor jazykov",
    "> Pridať jazyk <",
    "> Opraviť jazyk <",
    "Vyberte referenčný jazyk",
    "Jazyk",
    "Referenčný jazyk",
    "Referenčný reťazec",
    "Položka",
    "Preklad",
    "Neprekladať",
    "Skupina",
    "Objekt",
    "Založiť nový jazyk s uvedeným názvom",
    "Vyradiť objekt zo zoznamu",
    "Skupina jazykových dát",
    "Späť - na nepreložený objekt + Shift",
    "Ďalej - na nepreložený objekt + Shift",
    "Chyba pri načítání jazykového súboru",
    "Názov nového jazyka",
    "už v programe existuje! Zvoľte iný názov.",
    "Jazykové súbory",
    "Súbor nového jazyka",
    "Chyba pri zápise do jazykového súboru!",
    "Nebol nájdený nepreložený objekt.",
    "Naozaj chcete odísť bez uloženia zmien?",
    "Kliknite pre zmenu vlajky. Pravým tlačítkom zrušiť.",
    "Import vlajky jazyka",
    "Skutočne chcete vymazať vlajku jazyka?",
    "Uložiť",
    "Chybná cesta k jazykovým súborom!",
    "Zadajte názov nového jazyka.",
    "Názov jazyka nesmie obsahovať úvodzovky, bodkočiarku, tabulátor ani koniec riadku.",
    "Súbor nie je obrázok alebo je obrázok príliš veľký. Vlajka zostáva bez zmeny.",
    "Nepreložené",
    "Preložené",
    "Zastarané: text nepoužíva žiadne okno",
    "Bez referenčného textu"};

bool containsAny(const QString& name, std::initializer_list<const char*> parts) {
    for (const char* p : parts)
        if (name.contains(QString::fromUtf8(p))) return true;
    return false;
}

bool equalsAny(const QString& name, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (name == QString::fromUtf8(n)) return true;
    return false;
}

int indexOfNoCase(const QStringList& list, const QString& name) {
    for (int i = 0; i < list.size(); ++i)
        if (list[i].compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

} // namespace

char TLingoEngine::BuiltInLanguageOf(const QString& name) {
    char found = 0;
    if (containsAny(
            name, {"loven", "LOVEN", "lovak", "LOVAK", "lowak", "LOWAK", "lovaq", "LOVAQ", "lovac", "LOVAC"}))
        found = 'S';
    if (equalsAny(name,
                  {"Čeština", "čeština", "ČEŠTINA", "Česky", "česky", "ČESKY", "Český jazyk", "český jazyk",
                   "Czech", "czech", "CZECH", "ceco", "Ceco", "CECO", "checo", "Checo", "CHECO"}) ||
        containsAny(name, {"schechisch", "SCHECHISCH"}))
        found = 'C';
    if (containsAny(name,
                    {"nglič", "NGLIČ", "nglish", "NGLISH", "nglic", "NGLIC", "nglisch", "NGLISCH", "ritisch",
                     "RITISCH", "nglais", "NGLAIS", "britan", "BRITAN", "nglés", "NGLÉS", "ngles", "NGLES"}))
        found = 'E';
    return found;
}

// ---- TLingoEngine ----

TLingoEngine::TLingoEngine(QObject* owner) : QObject(owner) {
    LangFormLexicon = new TLangFormLexicon(this);
    LangFormLexicon->SetLingoEngine(this);
    Languages = {designLanguageName_};
    FileNames = {designLanguageName_};
    recomputeLangDir();
    isFullyCreated_ = true;
    SelectBuiltInTexts();
    RescanLanguages();
}

TLingoEngine::~TLingoEngine() {
    delete languageMngForm_;
    if (languageMenu_) {
        for (QAction* a : languageMenu_->actions())
            if (a->property("lingoLanguage").isValid()) delete a;
    }
}

void TLingoEngine::logLine(const QString& line) const {
    if (Log) Log(line);
}

void TLingoEngine::showError(const QString& text) const {
    if (ShowError)
        ShowError(text);
    else
        QMessageBox::critical(nullptr, QString(), text, QMessageBox::Ok);
}

void TLingoEngine::SetDesignLanguageName(const QString& name) {
    const QString value = name.isEmpty() ? QStringLiteral("Design language") : name;
    const QString old = designLanguageName_;
    designLanguageName_ = value;
    if (Languages.isEmpty()) {
        Languages.append(value);
        FileNames.append(value);
    } else {
        Languages[0] = value;
        FileNames[0] = value;
    }
    if (currentLanguage_ == old) currentLanguage_ = value;
    if (defaultLanguage_ == old) defaultLanguage_ = value;
    if (old != value) {
        SelectBuiltInTexts();
        RescanLanguages();
    }
}

void TLingoEngine::SetDefaultLanguage(const QString& name) {
    if (defaultLanguage_ == name) return;
    defaultLanguage_ = name;
    SelectBuiltInTexts();
}

void TLingoEngine::SetBaseDirectory(const QString& folder) {
    baseDirectory_ = folder;
    recomputeLangDir();
    RescanLanguages();
}

void TLingoEngine::SetLangSubdirectory(const QString& subdirectory) {
    const QString value = subdirectory.trimmed();
    const bool changed = value != langSubdirectory_;
    langSubdirectory_ = value;
    recomputeLangDir();
    if (changed) RescanLanguages();
}

void TLingoEngine::recomputeLangDir() {
    // Without its base there is no language folder: a relative one would
    // depend on the working folder.
    if (baseDirectory_.isEmpty()) {
        langDir_.clear();
        return;
    }
    QString sub = langSubdirectory_;
    while (sub.startsWith(QLatin1Char('/')) || sub.startsWith(QLatin1Char('\\')))
        sub.remove(0, 1);
    QString dir = baseDirectory_;
    if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    dir += sub;
    static const QRegularExpression separators(QStringLiteral("[/\\\\]+"));
    dir.replace(separators, QStringLiteral("/"));
    if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    langDir_ = dir;
}

void TLingoEngine::SetLangFileExtension(const QString& extension) {
    QString value = extension;
    if (!value.startsWith(QLatin1Char('.'))) value.prepend(QLatin1Char('.'));
    if (value == langFileExtension_) return;
    langFileExtension_ = value;
    RescanLanguages();
}

void TLingoEngine::SetLangFileSignature(const QString& signature) {
    if (signature == langFileSignature_) return;
    langFileSignature_ = signature;
    RescanLanguages();
}

void TLingoEngine::SetLangCreatorVisible(bool on) {
    if (on == langCreatorVisible_) return;
    langCreatorVisible_ = on;
    RebuildLanguageLists();
}

void TLingoEngine::SetLangEditorVisible(bool on) {
    if (on == langEditorVisible_) return;
    langEditorVisible_ = on;
    RebuildLanguageLists();
}

void TLingoEngine::SetLangMenuFlags(bool on) {
    if (on == langMenuFlags_) return;
    langMenuFlags_ = on;
    if (languageMenu_) RebuildLanguageLists();
}

void TLingoEngine::SetLanguageMenu(QMenu* menu) {
    languageMenu_ = menu;
    if (menu) RebuildLanguageLists();
}

QImage TLingoEngine::FlagPicture(const QImage& picture) {
    if (picture.isNull()) return {};
    QImage flag(16, 16, QImage::Format_RGB32);
    flag.fill(Qt::white);
    QSize size = picture.size();
    if (size.width() < 1 || size.height() < 1) {
        size = QSize(16, 16);
    } else if (size.width() > 16 || size.height() > 16) {
        if (size.width() >= size.height())
            size = QSize(16, qMax(1, qRound(16.0 * size.height() / size.width())));
        else
            size = QSize(qMax(1, qRound(16.0 * size.width() / size.height())), 16);
    }
    QPainter p(&flag);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRect(QPoint((16 - size.width()) / 2, (16 - size.height()) / 2), size), picture);
    p.end();
    return flag;
}

void TLingoEngine::SetDesignLangFlag(const QImage& picture) {
    designLangFlag_ = FlagPicture(picture);
    RescanLanguages();
}

void TLingoEngine::SetLangResources(const QStringList& names) {
    langResources_ = names;
    RescanLanguages();
}

bool TLingoEngine::CheckLangDir() {
    // A folder that exists but cannot be written fails too: nothing could be saved in it.
    if (!langDir_.isEmpty() && (QFileInfo(langDir_).isDir() || QDir().mkpath(langDir_)) &&
        QFileInfo(langDir_).isWritable())
        return true;
    logLine(QStringLiteral("LINGO: the language folder \"%1\" cannot be made or written").arg(langDir_));
    showError(LangFormLexicon->GetItem(LangFormItem::WrongPath));
    return false;
}

void TLingoEngine::RescanLanguages() {
    if (!isFullyCreated_) return;
    Languages = {designLanguageName_};
    FileNames = {designLanguageName_};
    Flags.ClearFlags();
    Flags.AddFlag(designLangFlag_);
    const QString signatureLine = QLatin1Char('[') + langFileSignature_ + QLatin1Char(']');
    for (int i = 0; i < langResources_.size();) {
        QFile res(ResourcePath(langResources_[i]));
        if (!res.open(QIODevice::ReadOnly) || res.size() > lingo::MaxLanguageFileBytes) {
            logLine(QStringLiteral("LINGO: built-in language \"%1\" not found").arg(langResources_[i]));
            langResources_.removeAt(i);
            continue;
        }
        const QByteArray bytes = res.readAll();
        addScanned(lingo::ReadFileHeader(bytes, signatureLine, &FlagStream), langResources_[i]);
        ++i;
    }
    if (!langDir_.isEmpty()) {
        const QDir dir(langDir_);
        const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
        for (const QFileInfo& f : entries) {
            if (QLatin1Char('.') + f.suffix().toLower() != langFileExtension_.toLower() ||
                f.fileName().size() <= langFileExtension_.size())
                continue;
            QByteArray bytes;
            QString error;
            if (!lingo::ReadSourceBytes(f.absoluteFilePath(), bytes, &error)) {
                logLine(QStringLiteral("LINGO: language file \"%1\" skipped: %2")
                            .arg(f.absoluteFilePath(), error));
                continue;
            }
            addScanned(lingo::ReadFileHeader(bytes, signatureLine, &FlagStream), f.absoluteFilePath());
        }
    }
    FlagStream.clear();
    RebuildLanguageLists();
}

void TLingoEngine::addScanned(const QString& name, const QString& source) {
    if (name.isEmpty()) return;
    QImage flag;
    if (!FlagStream.isEmpty()) flag = QImage::fromData(FlagStream);
    const int p = indexOfNoCase(Languages, name);
    if (p <= 0) {
        Languages.append(name);
        FileNames.append(source);
        Flags.Truncate(static_cast<int>(Languages.size()) - 1);
        Flags.AddFlag(flag);
        return;
    }
    // A language file in the folder takes the place of a built-in language of
    // the same name, so that the manager's corrections count.
    if (!QFileInfo(FileNames[p]).isFile() && langEditorVisible_ && langResources_.contains(FileNames[p])) {
        FileNames[p] = source;
        Flags.RewriteFlag(p, flag);
    }
}

void TLingoEngine::RebuildLanguageLists() {
    if (!isFullyCreated_) return;
    LangMenu = Languages;
    Flags.Truncate(static_cast<int>(Languages.size()));
    while (Flags.MaxAddress() + 1 < Languages.size())
        Flags.AddFlag(QImage());
    if (langCreatorVisible_) {
        LangMenu.append(LangFormLexicon->GetItem(LangFormItem::Add));
        Flags.AddFlag(TLanguageManager::MenuIcon(0));
    }
    if (langEditorVisible_ && Languages.size() >= 2) {
        LangMenu.append(LangFormLexicon->GetItem(LangFormItem::Edit));
        Flags.AddFlag(TLanguageManager::MenuIcon(1));
    }
    SpanClients.ChangeLangLists(LangMenu, currentLanguage_, Flags);
    if (languageMenu_) {
        auto* group = languageMenu_->findChild<QActionGroup*>(QStringLiteral("lingoLanguages"));
        if (!group) {
            group = new QActionGroup(languageMenu_);
            group->setObjectName(QStringLiteral("lingoLanguages"));
        }
        QList<QAction*> items;
        for (QAction* a : languageMenu_->actions())
            if (a->property("lingoLanguage").isValid()) items.append(a);
        for (int i = 0; i < LangMenu.size(); ++i) {
            QAction* a = i < items.size() ? items[i] : nullptr;
            if (!a) {
                a = languageMenu_->addAction(QString());
                a->setProperty("lingoLanguage", true);
                a->setCheckable(true);
                group->addAction(a);
                connect(a, &QAction::triggered, this, [this, a] {
                    QString caption = a->text();
                    caption.remove(caption.indexOf(QLatin1Char('&')),
                                   caption.contains(QLatin1Char('&')) ? 1 : 0);
                    if (caption != currentLanguage_) Translate(caption);
                });
            }
            a->setText(LangMenu[i]);
            a->setChecked(LangMenu[i] == currentLanguage_);
            a->setIcon(langMenuFlags_ ? Flags.Icon(i) : QIcon());
        }
        for (qsizetype i = LangMenu.size(); i < items.size(); ++i)
            delete items[i];
    }
}

QString TLingoEngine::Translate(const QString& langName) {
    bool cont = true;
    if (OnChangeLangQuery) OnChangeLangQuery(this, cont);
    if (!cont) {
        RebuildLanguageLists();
        return currentLanguage_;
    }
    QString name = langName;
    const bool creating = name == LangFormLexicon->GetItem(LangFormItem::Add);
    const bool editing =
        !creating && name == LangFormLexicon->GetItem(LangFormItem::Edit) && Languages.size() >= 2;
    if (creating || editing) {
        if (OnBeforeEdit) OnBeforeEdit(this);
        // The manager reads other languages into the stores; the windows'
        // lexicon texts stay those of the current language meanwhile.
        shownLexicon_ = std::move(DataLexicon);
        DataLexicon.Clear();
        managerRunning_ = true;
        const QString made = RunManager ? RunManager(creating) : runLanguageManager(creating);
        managerRunning_ = false;
        DataLexicon = std::move(shownLexicon_);
        shownLexicon_.Clear();
        RescanLanguages();
        if (OnAfterEdit) OnAfterEdit(this);
        // Whatever the manager left in the stores, the screen shows a saved
        // language afterwards: the new one, or the current one read again.
        name = made.isEmpty() ? currentLanguage_ : made;
    }
    const int p = indexOfNoCase(Languages, name);
    if (p < 0) {
        RebuildLanguageLists();
        return currentLanguage_;
    }
    firstTranslated_ = true;
    if (LoadLanguage(name, false, QString(), false)) {
        currentLanguage_ = name;
        failedLanguage_.clear();
        logLine(QStringLiteral("LINGO: language %1").arg(name));
    } else {
        // The design texts come on screen; the configuration keeps the language asked for.
        DataStruct.Clear();
        DataLexicon.Clear();
        failedLanguage_ = name;
        currentLanguage_ = designLanguageName_;
    }
    SpanClients.CallClientProcs();
    if (OnChangeLanguage) OnChangeLanguage(this);
    SelectBuiltInTexts();
    RebuildLanguageLists();
    return currentLanguage_;
}

QByteArray TLingoEngine::sourceBytes(int position, QString* error) const {
    const QString source = FileNames.value(position);
    QByteArray bytes;
    if (QFileInfo(source).isFile()) {
        if (!lingo::ReadSourceBytes(source, bytes, error)) return {};
        return bytes;
    }
    if (langResources_.contains(source)) {
        QFile res(ResourcePath(source));
        if (res.open(QIODevice::ReadOnly) && res.size() <= lingo::MaxLanguageFileBytes) return res.readAll();
        if (error) *error = QStringLiteral("the built-in language cannot be opened");
        return {};
    }
    if (error) *error = QStringLiteral("the file is gone");
    return {};
}

bool TLingoEngine::LoadLanguage(const QString& name, bool forEditor, const QString& origin,
                                bool markObsolete) {
    const int p = indexOfNoCase(Languages, name);
    if (p < 0) return false;
    if (indexOfNoCase(readChain_, name) >= 0) {
        // A superior chain that comes back: what is read so far stays.
        logLine(QStringLiteral(
                    "LINGO: the superior languages of \"%1\" lead back to \"%2\"; the chain ends there")
                    .arg(readChain_.first(), name));
        return false;
    }
    if (p == 0) {
        DataStruct.Clear();
        DataLexicon.Clear();
        return true;
    }
    QString error;
    const QByteArray bytes = sourceBytes(p, &error);
    bool ok = false;
    readChain_.append(name);
    if (!bytes.isEmpty() || error.isEmpty()) {
        lingo::ReadOptions options;
        options.signatureLine = QLatin1Char('[') + langFileSignature_ + QLatin1Char(']');
        options.forEditor = forEditor;
        options.markObsolete = markObsolete;
        options.isRegistered = [this](const QString& owner, const QString& component) {
            return SpanClients.IsRegistered(owner, component);
        };
        options.loadSuperior = [&](const QString& field) {
            // The language asked for: a default language without a superior of
            // its own is no loop, a file that names it is one.
            const QString& requested = origin.isEmpty() ? name : origin;
            QString s = field;
            if (s.isEmpty() || indexOfNoCase(Languages, s) < 0) s = defaultLanguage_;
            if (s.isEmpty() || indexOfNoCase(Languages, s) < 0 ||
                s.compare(requested, Qt::CaseInsensitive) == 0) {
                if (field.compare(requested, Qt::CaseInsensitive) == 0)
                    logLine(QStringLiteral("LINGO: the superior languages of \"%1\" lead back to \"%2\"; "
                                           "the chain ends there")
                                .arg(requested, field));
                s = designLanguageName_;
            }
            if (origin.isEmpty()) {
                LoadLanguage(s, false, name, markObsolete);
                if (forEditor) {
                    EditorSuperior = s;
                    MakeReferenceCopy();
                }
            } else {
                LoadLanguage(s, false, origin, markObsolete);
            }
        };
        ok = lingo::ReadLanguage(lingo::SplitLines(lingo::DecodeLanguageText(bytes)), name, options,
                                 DataStruct, DataLexicon, forEditor ? &FlagStream : nullptr, &error);
    }
    readChain_.removeLast();
    if (!ok)
        logLine(
            QStringLiteral("LINGO: language \"%1\" not read from \"%2\": %3").arg(name, FileNames[p], error));
    if (!forEditor) FlagStream.clear();
    return ok;
}

void TLingoEngine::MakeReferenceCopy() {
    RefStruct.Clear();
    RefLexicon.Clear();
    for (QObject* o : SpanClients.Components()) {
        if (auto* client = qobject_cast<TLingoClient*>(o)) {
            for (int i = 0; i < client->DesignStruct.Count(); ++i) {
                TStructLine line = client->DesignStruct.GetLine(i);
                const int r = DataStruct.FindLine(line.Name, line.Parent, line.ItemAddr, line.Properties);
                if (r >= 0) {
                    const TStructLine loaded = DataStruct.GetLine(r);
                    line.Changeable = loaded.Changeable & ~TStructLine::Obsolete;
                    if (!loaded.Text.isEmpty()) line.Text = loaded.Text;
                }
                RefStruct.AddLine(line);
            }
        } else if (auto* lexicon = qobject_cast<TLexicon*>(o)) {
            const QString key = lexicon->Key();
            RefLexicon.NewLexicon(key);
            for (int n = 0; n <= lexicon->MaxItemIndex() && n <= 65535; ++n) {
                if (!lexicon->IsDefined(n)) continue;
                const QString loaded = DataLexicon.ReadItem(key, n);
                RefLexicon.WriteItem(key, static_cast<uint16_t>(n),
                                     loaded.isEmpty() ? lexicon->DesignText(n) : loaded);
            }
        }
    }
    DataStruct.Clear();
    DataLexicon.Clear();
}

TLanguageManager* TLingoEngine::LanguageMngForm() {
    if (!languageMngForm_) languageMngForm_ = new TLanguageManager(this);
    return languageMngForm_;
}

QString TLingoEngine::runLanguageManager(bool creating) {
    TLanguageManager* manager = LanguageMngForm();
    manager->Prepare(creating);
    if (manager->ShowModal() != QDialog::Accepted) return {};
    manager->StoreWork(false);
    manager->MergeWork();
    const QString name = manager->LanguageName();
    const QString file = manager->TargetFile();
    if (!SaveLanguageFile(name, manager->SuperiorLanguage, file)) return {};
    logLine(QStringLiteral("LINGO: language %1 saved to \"%2\"").arg(name, file));
    return name;
}

bool TLingoEngine::SaveLanguageFile(const QString& name, const QString& superior, const QString& fileName) {
    if (!CheckLangDir() || name.isEmpty() || fileName.isEmpty()) return false;
    const QByteArray bytes = lingo::WriteLanguage(langFileSignature_, name, superior, DataStruct, DataLexicon,
                                                  FlagStream, LangFileEncoding);
    QString error;
    if (!lingo::WriteFileReplacing(fileName, bytes, &error)) {
        logLine(QStringLiteral("LINGO: language file \"%1\" not saved: %2").arg(fileName, error));
        showError(LangFormLexicon->GetItem(LangFormItem::SaveFailed));
        return false;
    }
    return true;
}

void TLingoEngine::SelectBuiltInTexts() {
    char which = BuiltInLanguageOf(currentLanguage_);
    isInternalLanguage_ = which != 0;
    if (!which && defaultLanguage_ != currentLanguage_) which = BuiltInLanguageOf(defaultLanguage_);
    if (!which && designLanguageName_ != currentLanguage_) which = BuiltInLanguageOf(designLanguageName_);
    const char* const* table = which == 'C' ? CzechTexts : which == 'S' ? SlovakTexts : EnglishTexts;
    for (int i = 0; i < BuiltInTextCount; ++i)
        LangFormLexicon->DefineItem(static_cast<uint16_t>(i), QString::fromUtf8(table[i]));
}

bool TLingoEngine::ExtractResourceLanguage(int position) {
    if (langResources_.isEmpty() || position < 1 || position >= FileNames.size()) return false;
    const QString resource = FileNames[position];
    if (!langResources_.contains(resource) || !CheckLangDir()) return false;
    QString base = langDir_ + resource;
    const QString ext = QFileInfo(resource).suffix();
    if ((QLatin1Char('.') + ext).compare(langFileExtension_, Qt::CaseInsensitive) != 0 || ext.isEmpty())
        base += langFileExtension_;
    // CZ -> CZ.lng, then CZ2.lng, CZ22.lng ... while the name is taken.
    const QString extension = langFileExtension_;
    QString path = base;
    while (QFileInfo::exists(path))
        path = path.left(path.size() - extension.size()) + QLatin1Char('2') + extension;
    QFile res(ResourcePath(resource));
    if (!res.open(QIODevice::ReadOnly)) return false;
    QString error;
    if (!lingo::WriteFileReplacing(path, res.readAll(), &error)) {
        logLine(QStringLiteral("LINGO: built-in language \"%1\" not written to \"%2\": %3")
                    .arg(resource, path, error));
        return false;
    }
    FileNames[position] = path;
    return true;
}

void TLingoEngine::FirstActivation() {
    if (isInitialized_) return;
    if (firstTranslated_ || defaultLanguage_ == designLanguageName_)
        RescanLanguages();
    else
        Translate(defaultLanguage_);
    isInitialized_ = true;
}

// ---- translation client ----

namespace lingo {
void KeepUserText(QObject* object) {
    if (object) object->setProperty("lingoUserText", true);
}
bool KeepsUserText(const QObject* object) {
    return object && object->property("lingoUserText").toBool();
}
void MarkComposite(QObject* object) {
    if (object) object->setProperty("lingoComposite", true);
}
} // namespace lingo

namespace {

constexpr uint32_t bit(int n) {
    return uint32_t{1} << n;
}

// A text worth translating: at least one character of code 65 or above (so
// no number, address or punctuation), and not the component's own name.
bool qualifies(const QString& text, const QString& name) {
    if (text == name) return false;
    for (QChar c : text)
        if (c.unicode() >= 65) return true;
    return false;
}

bool isMemo(const QObject* c) {
    return (qobject_cast<const QPlainTextEdit*>(c) || qobject_cast<const QTextEdit*>(c)) &&
           !c->inherits("TLingoRichEdit");
}

bool isChooserCombo(const QObject* c) {
    return c->inherits("TShadowComboBox") || c->inherits("TShadowComboBoxEx") ||
           dynamic_cast<const TLangChooser*>(c);
}

// Replaces line i of a memo's text.
QStringList memoLines(const QObject* c) {
    if (auto* p = qobject_cast<const QPlainTextEdit*>(c)) return p->toPlainText().split(QLatin1Char('\n'));
    if (auto* t = qobject_cast<const QTextEdit*>(c)) return t->toPlainText().split(QLatin1Char('\n'));
    return {};
}

void setMemoLines(QObject* c, const QStringList& lines) {
    if (auto* p = qobject_cast<QPlainTextEdit*>(c)) p->setPlainText(lines.join(QLatin1Char('\n')));
    if (auto* t = qobject_cast<QTextEdit*>(c)) t->setPlainText(lines.join(QLatin1Char('\n')));
}

} // namespace

TLingoClient::TLingoClient(QWidget* window, TLingoEngine* engine) : TLingoComponent(window), window_(window) {
    setObjectName(QStringLiteral("LingoClient1"));
    TransStringProp = (bit(pnDialogCaption + 1) - 1) & ~bit(pnHelpKeyword) & ~bit(pnSimpleText);
    TransTStringsProp = bit(pnFooter + 1) - 1;
    TransStructuredProp =
        (bit(pnRadioButtons + 1) - 1) & ~bit(pnPanels) & ~bit(pnTreeItems) & ~bit(pnListItems);
    TransOtherProp = bit(cnTChart + 1) - 1;
    SetLingoEngine(engine);
    processComponents(Mode::Record);
}

void TLingoClient::OwnerCreated() {
    TLingoEngine* e = LingoEngine();
    if (e && e->IsInitialized() && e->CurrentLanguage() != e->DesignLanguageName()) LanguageChanged();
}

bool TLingoClient::on(uint16_t code) const {
    if (code < lingo::TStringsBase) return TransStringProp & bit(code);
    if (code < lingo::StructuredBase) return TransTStringsProp & bit(code - lingo::TStringsBase);
    if (code < lingo::OtherBase) return TransStructuredProp & bit(code - lingo::StructuredBase);
    if (code < lingo::OtherBase + 32) return TransOtherProp & bit(code - lingo::OtherBase);
    return false;
}

QString TLingoClient::EntryName(const QObject* component) const {
    if (!component || component == window_) return component ? component->objectName() : QString();
    QString name = component->objectName();
    for (const QObject* a = component->parent(); a && a != window_; a = a->parent())
        if (a->property("lingoComposite").toBool() && !a->objectName().isEmpty())
            name = a->objectName() + QLatin1Char('.') + name;
    return name;
}

std::vector<QObject*> TLingoClient::Components() const {
    std::vector<QObject*> out;
    if (!window_) return out;
    if (!window_->objectName().isEmpty()) out.push_back(window_);
    // Depth first in creation order; other windows (dialogs, message boxes)
    // have clients of their own or none, so the walk stops at them.
    std::function<void(QObject*)> walk = [&](QObject* o) {
        for (QObject* c : o->children()) {
            auto* w = qobject_cast<QWidget*>(c);
            if (w && w->isWindow() && !qobject_cast<QMenu*>(w)) continue;
            if (c == this) continue;
            // Qt's own parts ("qt_tabwidget_tabbar") bear one name in every
            // widget of their kind and show their widget's texts: no entries
            // of their own, though what lies inside them (a tab widget's pages) is.
            if (!c->objectName().isEmpty() && !c->objectName().startsWith(QLatin1String("qt_")))
                out.push_back(c);
            walk(c);
        }
    };
    walk(window_);
    return out;
}

bool TLingoClient::Owns(const QString& ownerName, const QString& componentName) const {
    if (!window_) return false;
    if (ownerName.isEmpty()) return window_->objectName() == componentName;
    if (window_->objectName() != ownerName) return false;
    const qsizetype dot = componentName.indexOf(QLatin1Char('.'), 1);
    const QString wanted = dot > 0 ? componentName.left(dot) : componentName;
    for (QObject* c : Components())
        if (c != window_ && c->objectName() == wanted) return true;
    return false;
}

QString TLingoClient::lookup(const QString& name, const QString& owner, const QString& itemAddr,
                             uint16_t code) {
    // Only what the window was designed with is translated: a language file
    // never puts text into a key the window did not record.
    const int designed = DesignStruct.FindLine(name, owner, itemAddr, code);
    if (designed < 0) return {};
    QString t;
    if (TLingoEngine* e = LingoEngine()) t = e->DataStruct.LookupText(name, owner, itemAddr, code);
    return t.isEmpty() ? DesignStruct.GetLine(designed).Text : t;
}

void TLingoClient::single(QObject* c, const QString& name, uint16_t code, Mode mode, const QString& current,
                          const std::function<void(const QString&)>& write) {
    if (!on(code)) return;
    auto* w = qobject_cast<QWidget*>(c);
    if (mode == Mode::Snapshot) {
        const QString owner = c == window_ ? QString() : window_->objectName();
        if (DesignStruct.FindLine(name, owner, QString(), code) >= 0)
            snapshot_.AddLine({name, owner, current, code, QString(), TStructLine::Translated});
        return;
    }
    if (mode == Mode::Record) {
        if (!qualifies(current, c->objectName())) return;
        const QString owner = c == window_ ? QString() : window_->objectName();
        DesignStruct.AddLine({name, owner, current, code, QString(), TStructLine::Translated});
        if (w && w->accessibleName() == current && !accessibleFollows_.contains(name))
            accessibleFollows_.insert(name, code);
        return;
    }
    const QString t = lookup(name, c == window_ ? QString() : window_->objectName(), QString(), code);
    if (t.isEmpty()) return;
    write(t);
    if (w && accessibleFollows_.value(name, 0xFFFF) == code) w->setAccessibleName(t);
}

void TLingoClient::lines(QObject* c, const QString& name, uint16_t code, Mode mode,
                         const QStringList& current, const std::function<void(int, const QString&)>& write) {
    if (!on(code)) return;
    const QString owner = window_->objectName();
    for (int i = 0; i < current.size(); ++i) {
        const QString addr = QString::number(i);
        if (mode == Mode::Snapshot) {
            if (DesignStruct.FindLine(name, owner, addr, code) >= 0)
                snapshot_.AddLine({name, owner, current[i], code, addr, TStructLine::Translated});
            continue;
        }
        if (mode == Mode::Record) {
            if (qualifies(current[i], QString()))
                DesignStruct.AddLine({name, owner, current[i], code, addr, TStructLine::Translated});
            continue;
        }
        const QString t = lookup(name, owner, addr, code);
        if (!t.isEmpty() && t != current[i]) write(i, t);
    }
    (void)c;
}

void TLingoClient::processComponents(Mode mode) {
    for (QObject* c : Components())
        processComponent(c, mode);
}

void TLingoClient::processComponent(QObject* c, Mode mode) {
    if (!c || c->objectName().isEmpty() || !window_) return;
    const QString name = EntryName(c);
    const bool user = lingo::KeepsUserText(c);
    auto* w = qobject_cast<QWidget*>(c);

    // Caption: the first kind that matches.
    if (!user) {
        if (auto* a = qobject_cast<QAction*>(c)) {
            if (!a->isSeparator())
                single(c, name, pnCaption, mode, a->text(), [a](const QString& t) { a->setText(t); });
        } else if (auto* m = qobject_cast<QMenu*>(c)) {
            single(c, name, pnCaption, mode, m->title(), [m](const QString& t) { m->setTitle(t); });
        } else if (auto* l = qobject_cast<QLabel*>(c); l && !c->inherits("TValuedLabel")) {
            single(c, name, pnCaption, mode, l->text(), [l](const QString& t) { l->setText(t); });
        } else if (auto* b = qobject_cast<QAbstractButton*>(c)) {
            single(c, name, pnCaption, mode, b->text(), [b](const QString& t) { b->setText(t); });
        } else if (auto* g = qobject_cast<QGroupBox*>(c)) {
            single(c, name, pnCaption, mode, g->title(), [g](const QString& t) { g->setTitle(t); });
        } else if (w && w == window_) {
            single(c, name, pnCaption, mode, w->windowTitle(),
                   [w](const QString& t) { w->setWindowTitle(t); });
        }
    }

    // Hints.
    if (auto* a = qobject_cast<QAction*>(c)) {
        QString text = a->text();
        text.remove(QLatin1Char('&'));
        if (a->toolTip() != text)
            single(c, name, pnHint, mode, a->toolTip(), [a](const QString& t) { a->setToolTip(t); });
    } else if (auto* tray = qobject_cast<QSystemTrayIcon*>(c)) {
        single(c, name, pnHint, mode, tray->toolTip(), [tray](const QString& t) { tray->setToolTip(t); });
    } else if (w) {
        single(c, name, pnHint, mode, w->toolTip(), [w](const QString& t) { w->setToolTip(t); });
    }

    // Placeholder texts.
    if (auto* e = qobject_cast<QLineEdit*>(c)) {
        single(c, name, pnTextHint, mode, e->placeholderText(),
               [e](const QString& t) { e->setPlaceholderText(t); });
    } else if (auto* p = qobject_cast<QPlainTextEdit*>(c)) {
        single(c, name, pnTextHint, mode, p->placeholderText(),
               [p](const QString& t) { p->setPlaceholderText(t); });
    } else if (auto* te = qobject_cast<QTextEdit*>(c)) {
        single(c, name, pnTextHint, mode, te->placeholderText(),
               [te](const QString& t) { te->setPlaceholderText(t); });
    }

    if (!user) {
        // Text of an edit or an editable combo box.
        if (auto* e = qobject_cast<QLineEdit*>(c)) {
            single(c, name, pnText, mode, e->text(), [e](const QString& t) { e->setText(t); });
        } else if (auto* cb = qobject_cast<QComboBox*>(c); cb && cb->isEditable() && !isChooserCombo(c)) {
            single(c, name, pnText, mode, cb->currentText(), [cb](const QString& t) { cb->setEditText(t); });
        }
        // The name part of a label that shows a value behind it.
        if (c->inherits("TValuedLabel")) {
            single(c, name, pnValueName, mode, c->property("ValueName").toString(),
                   [c](const QString& t) { c->setProperty("ValueName", t); });
        }
        // Lines of a memo.
        if (isMemo(c)) {
            lines(c, name, lingo::code(pnLines), mode, memoLines(c), [c](int i, const QString& t) {
                QStringList l = memoLines(c);
                if (i < l.size()) l[i] = t;
                setMemoLines(c, l);
            });
        }
        // Items of a list, a combo box or a radio group.
        if (auto* lw = qobject_cast<QListWidget*>(c)) {
            QStringList items;
            for (int i = 0; i < lw->count(); ++i)
                items.append(lw->item(i)->text());
            lines(c, name, lingo::code(pnItems), mode, items, [lw](int i, const QString& t) {
                if (i < lw->count()) lw->item(i)->setText(t);
            });
        } else if (auto* cb = qobject_cast<QComboBox*>(c); cb && !isChooserCombo(c)) {
            QStringList items;
            for (int i = 0; i < cb->count(); ++i)
                items.append(cb->itemText(i));
            lines(c, name, lingo::code(pnItems), mode, items, [cb](int i, const QString& t) {
                if (i < cb->count()) cb->setItemText(i, t);
            });
        } else if (auto* li = dynamic_cast<TLingoItems*>(c)) {
            lines(c, name, lingo::code(pnItems), mode, li->LingoItems(),
                  [li](int i, const QString& t) { li->SetLingoItem(i, t); });
        }
        // Tabs.
        QTabBar* bar = qobject_cast<QTabBar*>(c);
        if (auto* tw = qobject_cast<QTabWidget*>(c)) bar = tw->tabBar();
        if (bar) {
            QStringList tabs;
            for (int i = 0; i < bar->count(); ++i)
                tabs.append(bar->tabText(i));
            lines(c, name, lingo::code(pnTabs), mode, tabs, [bar](int i, const QString& t) {
                if (i < bar->count()) bar->setTabText(i, t);
            });
        }
    }

    // Column captions of tables and trees: "i.0".
    if (on(lingo::code(pnListColumns))) {
        std::function<QString(int)> get;
        std::function<void(int, const QString&)> set;
        int count = 0;
        if (auto* t = qobject_cast<QTableWidget*>(c)) {
            count = t->columnCount();
            get = [t](int i) {
                return t->horizontalHeaderItem(i) ? t->horizontalHeaderItem(i)->text() : QString();
            };
            set = [t](int i, const QString& s) {
                if (t->horizontalHeaderItem(i)) t->horizontalHeaderItem(i)->setText(s);
            };
        } else if (auto* tr = qobject_cast<QTreeWidget*>(c)) {
            count = tr->columnCount();
            get = [tr](int i) { return tr->headerItem() ? tr->headerItem()->text(i) : QString(); };
            set = [tr](int i, const QString& s) {
                if (tr->headerItem()) tr->headerItem()->setText(i, s);
            };
        }
        const uint16_t code = lingo::code(pnListColumns);
        const QString owner = window_->objectName();
        for (int i = 0; i < count; ++i) {
            const QString addr = QString::number(i) + QStringLiteral(".0");
            if (mode == Mode::Snapshot) {
                if (DesignStruct.FindLine(name, owner, addr, code) >= 0)
                    snapshot_.AddLine({name, owner, get(i), code, addr, TStructLine::Translated});
            } else if (mode == Mode::Record) {
                if (qualifies(get(i), QString()))
                    DesignStruct.AddLine({name, owner, get(i), code, addr, TStructLine::Translated});
            } else if (const QString t = lookup(name, owner, addr, code); !t.isEmpty()) {
                set(i, t);
            }
        }
    }
}

bool TLingoClient::AddComponent(QObject* component, const QString& name, bool translate) {
    if (!component || !window_) return false;
    bool mine = false;
    for (QObject* a = component->parent(); a; a = a->parent())
        if (a == window_) mine = true;
    if (!mine) return false;
    if (!name.isEmpty()) component->setObjectName(name);
    processComponent(component, Mode::Record);
    if (translate) processComponent(component, Mode::Translate);
    return true;
}

void TLingoClient::RecreateTransStruct() {
    DesignStruct.Clear();
    accessibleFollows_.clear();
    processComponents(Mode::Record);
}

void TLingoClient::TranslateComponent(QObject* component, const QString& name) {
    if (!component) return;
    if (!name.isEmpty()) component->setObjectName(name);
    if (component->parent()) processComponent(component, Mode::Translate);
}

TComponentStructure TLingoClient::ShownTexts() {
    snapshot_.Clear();
    processComponents(Mode::Snapshot);
    TComponentStructure out = snapshot_;
    snapshot_.Clear();
    return out;
}

void TLingoClient::LanguageChanged() {
    processComponents(Mode::Translate);
    TLingoComponent::LanguageChanged();
}
