#pragma once
// Run-time translation: the language engine, its client registry and flags,
// the lexicons and the per-window translation client. Everything here lives
// on the window thread.
#include "lingo/LingoSys.h"

#include <QHash>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QWidget;
class TFlagsList;
class TLingoEngine;

// ---- clients ----

// Anything the engine tells about a switch that is not a visual control:
// translation clients and lexicons.
class TLingoComponent : public QObject {
    Q_OBJECT
public:
    explicit TLingoComponent(QObject* owner = nullptr);
    ~TLingoComponent() override;

    TLingoEngine* LingoEngine() const { return engine_; }
    // Leaves the old engine's registry and joins the new one's.
    void SetLingoEngine(TLingoEngine* engine);

    // Fired after every switch (sender = this component).
    std::function<void(QObject* sender)> OnChangeLanguage;

    // Called by the engine after every switch.
    virtual void LanguageChanged();

private:
    QPointer<TLingoEngine> engine_;
};

// A control that shows the engine's language list and switches the language
// when the user picks an entry.
class TLangChooser {
public:
    virtual ~TLangChooser() = default;
    // The engine's list (languages and the manager's entries), the current
    // language and one flag per list position.
    virtual void ChangeLangList(const QStringList& languages, const QString& current,
                                const TFlagsList& flags) = 0;
};

// A widget whose list of items is translated line by line though it is no
// list widget (a radio group's choices).
class TLingoItems {
public:
    virtual ~TLingoItems() = default;
    virtual QStringList LingoItems() const = 0;
    virtual void SetLingoItem(int index, const QString& text) = 0;
};

// An object that shows lexicon texts and redraws them after a switch.
class TLexiconSlave {
public:
    virtual ~TLexiconSlave() = default;
    virtual void Translate() = 0;
};

// The engine's client registry, in registration order. Destroyed clients
// drop out by themselves.
class TSpans {
public:
    void RegisterClient(QObject* client);
    void UnregisterClient(QObject* client);
    // LanguageChanged of every registered TLingoComponent, in order.
    void CallClientProcs();
    // Updates every registered language chooser.
    void ChangeLangLists(const QStringList& languages, const QString& current, const TFlagsList& flags);
    // A registered translation client's window matches: with an owner name,
    // the window is that owner and holds a component of that name (or of
    // the name's part before its first "." for a part of a component); with
    // none, the window's own name is the component name.
    bool IsRegistered(const QString& ownerName, const QString& componentName) const;
    // The registered objects still alive, in order.
    std::vector<QObject*> Components() const;

private:
    std::vector<QPointer<QObject>> components_;
};

// Flags of the languages: one 16 x 16 picture or none per list position.
class TFlagsList {
public:
    void ClearFlags();
    // Keeps the first positions only (their images stay).
    void Truncate(int positions);
    // The image index of a position; -1 beyond the list or for none.
    int GetImageIndex(int position) const;
    // Only a picture of exactly 16 x 16 pixels is taken (white is its
    // transparent colour); anything else gives -1 (no flag) for the position.
    int AddFlag(const QImage& picture);
    int RewriteFlag(int position, const QImage& picture);
    int ImportFlag(const TFlagsList& other, int index);
    int MaxAddress() const { return static_cast<int>(FlagPointer.size()) - 1; }
    const QImage& Image(int index) const { return images_.at(index); }
    QIcon Icon(int position) const;

    std::vector<int> FlagPointer;

private:
    int addImage(const QImage& picture);
    std::vector<QImage> images_;
};

// ---- lexicons ----

// Numbered texts that program code shows. The current language's text for
// an item when the language has one, else the lexicon's own.
class TLexicon : public TLingoComponent {
    Q_OBJECT
public:
    using TLingoComponent::TLingoComponent;

    virtual QString GetItem(int n) const = 0;
    virtual int MaxItemIndex() const = 0;
    virtual bool IsDefined(int n) const = 0;
    // The lexicon's own text of item n, whatever the language.
    virtual QString DesignText(int n) const = 0;
    // "«#n;": a link to item n inside a longer text.
    QString GetLink(int n) const;
    // The text with every well-formed link replaced by its item ("???" for
    // an item the lexicon does not define).
    QString CompleteString(const QString& text) const;
    // Where the language file keeps this lexicon's texts: the owner's name,
    // ".", the lexicon's name (the owner's name alone without one).
    QString Key() const;

    // The engine's text for item n (empty when none or without an engine).
    QString EngineText(int n) const;

    void AddSlave(TLexiconSlave* slave);
    void RemoveSlave(TLexiconSlave* slave);
    // Slaves retranslate in order, then OnChangeLanguage fires.
    void LanguageChanged() override;

private:
    std::vector<TLexiconSlave*> slaves_;
};

// Items typed in when the window was designed, numbered from 0.
class TDesignedLexicon : public TLexicon {
    Q_OBJECT
public:
    using TLexicon::TLexicon;

    void SetItems(const QStringList& items) { items_ = items; }
    const QStringList& Items() const { return items_; }

    // A number outside the items gives empty text, so a caller's slip never
    // brings the console down.
    QString GetItem(int n) const override;
    int MaxItemIndex() const override { return static_cast<int>(items_.size()) - 1; }
    bool IsDefined(int n) const override { return n >= 0 && n < items_.size(); }
    QString DesignText(int n) const override { return IsDefined(n) ? items_.at(n) : QString(); }
    // Appends an item; the result is its number.
    int CreateItem(const QString& text);

private:
    QStringList items_;
};

// Items defined by program code.
class TProgrammableLexicon : public TLexicon {
    Q_OBJECT
public:
    using TLexicon::TLexicon;

    void DefineItem(uint16_t n, const QString& text) { items_.Write(n, text); }
    // Stored and called at once, so that the handler can define the items.
    void SetOnInitialization(std::function<void(QObject* sender)> handler);

    QString GetItem(int n) const override;
    int MaxItemIndex() const override { return items_.MaxIndex(); }
    bool IsDefined(int n) const override { return items_.IsIncluded(n); }
    QString DesignText(int n) const override { return items_.Get(n); }

private:
    TIndexedItems items_;
    std::function<void(QObject*)> onInitialization_;
};

// The engine's own texts (the language manager's captions and messages) in
// English, Czech or Slovak; a language file's texts for it count only with
// the engine's TranslateLingo on.
class TLangFormLexicon : public TProgrammableLexicon {
    Q_OBJECT
public:
    using TProgrammableLexicon::TProgrammableLexicon;
    QString GetItem(int n) const override;
};

// Built-in item numbers the engine and the manager use.
namespace LangFormItem {
inline constexpr int ManagerTitle = 0;
inline constexpr int Add = 1;
inline constexpr int Edit = 2;
inline constexpr int ChooseSource = 3;
inline constexpr int Language = 4;
inline constexpr int SourceLanguage = 5;
inline constexpr int SourceString = 6;
inline constexpr int PropertyItem = 7;
inline constexpr int Translation = 8;
inline constexpr int Untranslate = 9;
inline constexpr int Group = 10;
inline constexpr int Object = 11;
inline constexpr int CreateHint = 12;
inline constexpr int UntranslateHint = 13;
inline constexpr int GroupHint = 14;
inline constexpr int BackHint = 15;
inline constexpr int NextHint = 16;
inline constexpr int ReadError = 17;
inline constexpr int NewName = 18;
inline constexpr int AlreadyExists = 19;
inline constexpr int LanguageFiles = 20;
inline constexpr int NewFileName = 21;
inline constexpr int SaveFailed = 22;
inline constexpr int NotFound = 23;
inline constexpr int CloseQuery = 24;
inline constexpr int FlagHint = 25;
inline constexpr int ImportFlag = 26;
inline constexpr int EraseFlag = 27;
inline constexpr int Save = 28;
inline constexpr int WrongPath = 29;
// The manager's refusals of a name or a picture that would harm the file.
inline constexpr int EmptyName = 30;
inline constexpr int BadNameCharacters = 31;
inline constexpr int BadPicture = 32;
// What a grid row's coloured marker means, for a screen reader and a tool tip.
inline constexpr int MarkUntranslated = 33;
inline constexpr int MarkTranslated = 34;
inline constexpr int MarkObsolete = 35;
inline constexpr int MarkNoReference = 36;
} // namespace LangFormItem
inline constexpr int BuiltInTextCount = 37;

class TLanguageManager;

// ---- the engine ----

class TLingoEngine : public QObject {
    Q_OBJECT
public:
    explicit TLingoEngine(QObject* owner = nullptr);
    ~TLingoEngine() override;

    // Properties (each setter rescans or rebuilds as its comment says).
    QString DesignLanguageName() const { return designLanguageName_; }
    void SetDesignLanguageName(const QString& name); // empty becomes "Design language"; rescans
    QString DefaultLanguage() const { return defaultLanguage_; }
    void SetDefaultLanguage(const QString& name);
    // The folder the language sub-folder is relative to (the data folder
    // here); until it is set there is no language folder.
    void SetBaseDirectory(const QString& folder);
    QString LangSubdirectory() const { return langSubdirectory_; }
    void SetLangSubdirectory(const QString& subdirectory); // rescans
    QString LangDir() const { return langDir_; }           // ends with "/"
    QString LangFileExtension() const { return langFileExtension_; }
    void SetLangFileExtension(const QString& extension); // a leading "." is added; rescans
    QString LangFileSignature() const { return langFileSignature_; }
    void SetLangFileSignature(const QString& signature); // rescans
    TLFEncoding LangFileEncoding = TLFEncoding::Unicode;
    bool LangCreatorVisible() const { return langCreatorVisible_; }
    void SetLangCreatorVisible(bool on);
    bool LangEditorVisible() const { return langEditorVisible_; }
    void SetLangEditorVisible(bool on);
    bool TranslateLingo = false;
    bool LangMenuFlags() const { return langMenuFlags_; }
    void SetLangMenuFlags(bool on);
    QMenu* LanguageMenu() const { return languageMenu_; }
    void SetLanguageMenu(QMenu* menu);
    const QImage& DesignLangFlag() const { return designLangFlag_; }
    void SetDesignLangFlag(const QImage& picture); // redrawn to 16 x 16, then rescans
    // Names of built-in language files (Qt resources under ":/languages/").
    QStringList LangResources() const { return langResources_; }
    void SetLangResources(const QStringList& names); // rescans
    static QString ResourcePath(const QString& name) { return QStringLiteral(":/languages/") + name; }

    // Asked before every switch; may refuse it.
    std::function<void(QObject* sender, bool& cont)> OnChangeLangQuery;
    std::function<void(QObject*sender)> OnChangeLanguage, OnBeforeEdit, OnAfterEdit;
    // Where the engine says what went wrong (a log line each), and how it
    // shows an error message (a message box unless replaced).
    std::function<void(const QString& line)> Log;
    std::function<void(const QString& text)> ShowError;
    // Replaces the built-in language manager (create mode when creating):
    // the name to switch to, or empty text when nothing was saved.
    std::function<QString(bool creating)> RunManager;
    // The built-in language manager, made at its first run.
    TLanguageManager* LanguageMngForm();

    QString CurrentLanguage() const { return currentLanguage_; }
    // The language that was asked for when its file failed to read and the
    // design language came on screen instead (empty after any switch that
    // read): what the configuration should go on holding.
    QString FailedLanguage() const { return failedLanguage_; }
    // Switches to a language; the result is the language now current.
    QString Translate(const QString& langName);
    const QStringList& GetLanguagesList() const { return Languages; }
    const QStringList& GetLangFilesList() const { return FileNames; }
    QString ShowLangEditor() { return Translate(LangFormLexicon->GetItem(LangFormItem::Edit)); }
    QString ShowLangCreator() { return Translate(LangFormLexicon->GetItem(LangFormItem::Add)); }

    bool LoadLanguage(const QString& name, bool forEditor, const QString& origin, bool markObsolete);
    bool SaveLanguageFile(const QString& name, const QString& superior, const QString& fileName);
    void RescanLanguages();
    void RebuildLanguageLists();
    void SelectBuiltInTexts();
    bool CheckLangDir();
    bool ExtractResourceLanguage(int position);
    // The first turn of the event loop: the configured default language, or a rescan.
    void FirstActivation();
    bool IsInitialized() const { return isInitialized_; }
    bool IsInternalLanguage() const { return isInternalLanguage_; }

    // Which of the three built-in languages a name is: 'S', 'C', 'E' or 0.
    static char BuiltInLanguageOf(const QString& name);
    // A picture redrawn as a flag: 16 x 16 on white, scaled down to fit and centred.
    static QImage FlagPicture(const QImage& picture);

    // The manager's reference: the stores as read, with every registered
    // window's design rows and lexicon items, copied into RefStruct and
    // RefLexicon; the stores are emptied.
    void MakeReferenceCopy();
    // The lexicon texts the windows show: the current language's, also while
    // the manager fills the stores with the language it edits.
    TLexiconData& ShownLexicon() { return managerRunning_ ? shownLexicon_ : DataLexicon; }

    TSpans SpanClients;
    TFlagsList Flags;
    QStringList Languages, FileNames, LangMenu;
    TComponentStructure DataStruct;
    TLexiconData DataLexicon;
    QByteArray FlagStream;
    TLangFormLexicon* LangFormLexicon = nullptr;
    // The editor's reference stores and the superior language it found.
    TComponentStructure RefStruct;
    TLexiconData RefLexicon;
    QString EditorSuperior;

private:
    void recomputeLangDir();
    void addScanned(const QString& name, const QString& source);
    QByteArray sourceBytes(int position, QString* error) const;
    QString runLanguageManager(bool creating);
    void logLine(const QString& line) const;
    void showError(const QString& text) const;

    QString designLanguageName_ = QStringLiteral("Design language");
    QString defaultLanguage_ = designLanguageName_;
    QString currentLanguage_ = designLanguageName_;
    QString failedLanguage_;
    QString baseDirectory_, langSubdirectory_, langDir_;
    QString langFileExtension_ = QStringLiteral(".lng");
    QString langFileSignature_ = QStringLiteral("LANGUAGE_FILE");
    bool langCreatorVisible_ = true, langEditorVisible_ = true, langMenuFlags_ = true;
    QPointer<QMenu> languageMenu_;
    QImage designLangFlag_;
    QStringList langResources_;
    bool isInternalLanguage_ = false, isInitialized_ = false, isFullyCreated_ = false,
         firstTranslated_ = false;
    // The languages being read, outermost first: a superior chain that comes
    // back to one of them ends there.
    QStringList readChain_;
    QPointer<TLanguageManager> languageMngForm_;
    bool managerRunning_ = false;
    TLexiconData shownLexicon_;
};

// ---- translation client ----

namespace lingo {
// Marks a control whose text, lines or items are the user's or the
// configuration's (addresses, passwords, folders, the log): it gets no design
// text and is never translated. Its tool tip and placeholder still are.
void KeepUserText(QObject* object);
bool KeepsUserText(const QObject* object);
// Marks a widget whose named children are its parts: their entries are
// named "widget.part".
void MarkComposite(QObject* object);
} // namespace lingo

// Translates one window: records its texts as designed, and on every switch
// gives each of them the current language's text or the design text.
class TLingoClient : public TLingoComponent {
    Q_OBJECT
public:
    // Records the window at once: create it after the window's controls and
    // before the window's own start-up code changes their texts.
    explicit TLingoClient(QWidget* window, TLingoEngine* engine);

    // At the end of the window's start-up: a window created after a switch
    // shows the current language at once.
    void OwnerCreated();

    QWidget* ParentControl() const { return window_; }
    TComponentStructure DesignStruct;

    // Switch sets: bit n stands for the member of ordinal n.
    uint32_t TransStringProp, TransTStringsProp, TransStructuredProp, TransOtherProp;

    // A component created after the window: named (when name is not empty),
    // recorded, and translated at once when asked. false when it is not the window's.
    bool AddComponent(QObject* component, const QString& name, bool translate);
    void RecreateTransStruct();
    void TranslateComponent(QObject* component, const QString& name);
    void Translate() { LanguageChanged(); }
    void LanguageChanged() override;

    // The entry name of a component of the window ("Label1", "GuardPanel1.Lock1Button").
    QString EntryName(const QObject* component) const;
    // The window's named components in walking order (the window first).
    std::vector<QObject*> Components() const;
    // What the window shows now for every key of the design table (the
    // texts the language manager and the checks compare).
    TComponentStructure ShownTexts();
    // A language would let text reach this (owner, component) key.
    bool Owns(const QString& ownerName, const QString& componentName) const;

private:
    enum class Mode { Record, Translate, Snapshot };
    void processComponents(Mode mode);
    void processComponent(QObject* c, Mode mode);
    void single(QObject* c, const QString& name, uint16_t code, Mode mode, const QString& current,
                const std::function<void(const QString&)>& write);
    void lines(QObject* c, const QString& name, uint16_t code, Mode mode, const QStringList& current,
               const std::function<void(int, const QString&)>& write);
    QString lookup(const QString& name, const QString& owner, const QString& itemAddr, uint16_t code);
    bool on(uint16_t code) const;

    QWidget* window_;
    TComponentStructure snapshot_;
    // Accessible names that read as a recorded text follow its translation.
    QHash<QString, uint16_t> accessibleFollows_;
};
