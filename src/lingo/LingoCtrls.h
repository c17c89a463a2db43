#pragma once
// Controls that take part in translation themselves: the language choosers,
// the lexicon-driven string list and rich text, and the label that shows a
// value behind a translatable name. Window thread only.
#include "lingo/LingoComp.h"

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QStringList>
#include <QTextEdit>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QIODevice;
class QListWidget;

// ---- language choosers ----

// Plain combo boxes that add nothing. The translation client recognises the
// choosers by these kinds and leaves their items alone: the items are
// language names, never design texts.
class TShadowComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TShadowComboBox(QWidget* parent = nullptr) : QComboBox(parent) {}
};

// The same with a picture per item.
class TShadowComboBoxEx : public QComboBox {
    Q_OBJECT
public:
    explicit TShadowComboBoxEx(QWidget* parent = nullptr) : QComboBox(parent) {}
};

// Shows the engine's language list (text only) and switches the language
// when the user picks an entry.
class TLangCombo : public TShadowComboBox, public TLangChooser {
    Q_OBJECT
    Q_PROPERTY(TLangComboStyle StyleCombo READ StyleCombo WRITE SetStyleCombo)
public:
    // Owner-drawn item heights have no counterpart here: every style is a
    // non-editable drop-down list; the value is kept for whoever reads it.
    enum TLangComboStyle { scDropDownList, scOwnerDrawFixed, scOwnerDrawVariable };
    Q_ENUM(TLangComboStyle)

    explicit TLangCombo(QWidget* parent = nullptr);
    ~TLangCombo() override;

    TLingoEngine* LingoEngine() const { return engine_; }
    // Leaves the old engine's registry, joins the new one's and shows its
    // list at once.
    void SetLingoEngine(TLingoEngine* engine);
    TLangComboStyle StyleCombo() const { return style_; }
    void SetStyleCombo(TLangComboStyle style);

    // Fired after every switch the user asked for here, refused or not
    // (sender = this chooser); the engine's CurrentLanguage tells the outcome.
    std::function<void(QObject* sender)> OnChangeLanguage;

    void ChangeLangList(const QStringList& languages, const QString& current,
                        const TFlagsList& flags) override;

private:
    void picked(int index);

    QPointer<TLingoEngine> engine_;
    TLangComboStyle style_ = scDropDownList;
};

// Shows the engine's language list with a 16 x 16 flag per entry.
class TLangFlagsCombo : public TShadowComboBoxEx, public TLangChooser {
    Q_OBJECT
public:
    explicit TLangFlagsCombo(QWidget* parent = nullptr);
    ~TLangFlagsCombo() override;

    TLingoEngine* LingoEngine() const { return engine_; }
    // As TLangCombo::SetLingoEngine; clearing the engine also clears the flags.
    void SetLingoEngine(TLingoEngine* engine);

    // As TLangCombo::OnChangeLanguage.
    std::function<void(QObject* sender)> OnChangeLanguage;

    void ChangeLangList(const QStringList& languages, const QString& current,
                        const TFlagsList& flags) override;

private:
    void picked(int index);

    QPointer<TLingoEngine> engine_;
};

// ---- a string list kept in step with a lexicon ----

// The list that a TLingoStrings drives: a thin view onto storage that lives
// elsewhere (a QStringList, a list widget's rows, a combo box's items).
// Each entry may carry an attached value ("object"); storage that has no
// room for one drops it.
class TControlledStrings {
public:
    virtual ~TControlledStrings() = default;
    virtual int Count() const = 0;
    virtual QString String(int index) const = 0;
    virtual QVariant Object(int /*index*/) const { return {}; }
    virtual void Append(const QString& text, const QVariant& object) = 0;
    // The whole content at once. Views onto widgets update rows in place, so a
    // language switch keeps the user's current row.
    virtual void Assign(const QStringList& texts, const QVariantList& objects) = 0;
};

namespace lingo {
// Views onto the usual storage; the storage must outlive the view's use.
// A destroyed widget is simply no longer written to.
std::unique_ptr<TControlledStrings> ControlledList(QStringList& list);
std::unique_ptr<TControlledStrings> ControlledList(QListWidget* list);
std::unique_ptr<TControlledStrings> ControlledList(QComboBox* combo);
} // namespace lingo

// Source lines that may hold lexicon links «#n;; the controlled list always
// shows them completed in the current language.
class TLingoStrings : public TLexiconSlave {
public:
    // Throws std::invalid_argument when either is missing. The controlled
    // list's current content becomes the first source lines.
    TLingoStrings(std::unique_ptr<TControlledStrings> controlled, TLexicon* lexicon);
    ~TLingoStrings() override;
    TLingoStrings(const TLingoStrings&) = delete;
    TLingoStrings& operator=(const TLingoStrings&) = delete;

    TControlledStrings* Controlled() const { return controlled_.get(); }
    TLexicon* AssignedLexicon() const { return lexicon_; }

    int Count() const { return static_cast<int>(lines_.size()); }
    const QStringList& Strings() const { return lines_; }
    QVariant Objects(int index) const { return objects_.value(index); }

    int Add(const QString& text) { return AddObject(text, QVariant()); }
    int AddObject(const QString& text, const QVariant& object);
    // Index operations outside the list do nothing.
    void Insert(int index, const QString& text) { InsertObject(index, text, QVariant()); }
    void InsertObject(int index, const QString& text, const QVariant& object);
    void Delete(int index);
    void Exchange(int index1, int index2);
    void Clear();
    // compare(list, i, j) < 0 puts line i before line j; equal lines keep their order.
    using SortCompare = std::function<int(const TLingoStrings& list, int index1, int index2)>;
    void CustomSort(const SortCompare& compare);

    // Refills the controlled list with every source line completed.
    void Translate() override;

private:
    QString complete(const QString& line) const;

    std::unique_ptr<TControlledStrings> controlled_;
    QPointer<TLexicon> lexicon_;
    QStringList lines_;
    QVariantList objects_;
};

// ---- rich text kept in step with a lexicon ----

// One text style of a TLingoRichEdit. Every field has a value that stands for
// the control's default.
struct TLMStringStyle {
    static constexpr uint32_t DefaultColor = 0x20000000;
    static constexpr int DefaultCharset = 1;
    enum : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
    enum : int { fpDefault = 0, fpVariable = 1, fpFixed = 2 };

    uint32_t Color = DefaultColor; // 0x00RRGGBB, or DefaultColor
    QString Font;                  // empty = the control's font
    int Charset = DefaultCharset;  // kept for files and callers; fonts here choose scripts themselves
    uint8_t Style = 0;             // fsBold | fsItalic | ...
    int Size = 0;                  // points; 0 = the control's size
    int Pitch = fpDefault;

    bool operator==(const TLMStringStyle&) const = default;
};
using TLMStringStyles = std::vector<TLMStringStyle>;

// A read-only rich-text view of source lines. Besides plain text a line may
// hold lexicon links «#n; and style marks: "¬#n;" opens style n, "¬;"
// returns to the style before it (remembered up to 32 levels deep).
// Ill-formed links and marks show as they are written.
class TLingoRichEdit : public QTextEdit, public TLexiconSlave {
    Q_OBJECT
    Q_PROPERTY(bool AutoFont READ AutoFont WRITE SetAutoFont)
public:
    static constexpr int MaxStyleDepth = 32;

    explicit TLingoRichEdit(QWidget* parent = nullptr);
    ~TLingoRichEdit() override;

    TLexicon* AssignedLexicon() const { return lexicon_; }
    // Leaves the old lexicon's slaves, joins the new one's and renders again.
    void SetAssignedLexicon(TLexicon* lexicon);
    // Whether characters that the chosen font lacks are taken from other fonts.
    bool AutoFont() const { return autoFont_; }
    void SetAutoFont(bool on);

    // A negative index appends a style; index n sets style n, filling the
    // missing ones below it with defaults. The result is the style's number.
    int SetStyle(uint8_t style, int size, uint32_t color, const QString& fontName,
                 int charset = TLMStringStyle::DefaultCharset, int pitch = TLMStringStyle::fpDefault,
                 int styleIndex = -1);
    void AssignStyles(const TLMStringStyles& styles); // renders again
    void ClearStyles();
    const TLMStringStyles& GetStyles() const { return styles_; }
    int StylesCount() const { return static_cast<int>(styles_.size()); }

    // The text wrapped in style marks (unchanged for a negative index).
    static QString Format(const QString& text, int styleIndex);
    // Appends to the last line.
    void Write(const QString& text, int styleIndex = -1);
    void WriteLn(const QString& text, int styleIndex = -1);
    void NextLine();
    // One empty line.
    void Clear();
    int LinesCount() const { return static_cast<int>(lines_.size()); }
    // The line as shown, and as written (empty outside the lines).
    QString ReadLineText(int lineIndex) const;
    QString ReadLineFText(int lineIndex) const;
    const QStringList& LMLines() const { return lines_; }
    // Index operations outside the lines do nothing, except that InsertLine
    // at LinesCount() appends. The control always keeps one line: deleting
    // the only one empties it.
    void DeleteLine(int lineIndex);
    void RewriteLine(int lineIndex, const QString& text, int styleIndex = -1);
    void InsertLine(int lineIndex, const QString& text, int styleIndex = -1);
    // Renders every line again (links in the current language).
    void Translate() override;
    QString GetLink(int index) const;

    // The source lines as text, one per line; without an encoding UTF-8
    // without a byte-order mark. Reading recognises the byte-order marks of
    // the encoded forms. false when the file cannot be read or written.
    bool SaveToFile(const QString& path, std::optional<TLFEncoding> encoding = std::nullopt) const;
    bool LoadFromFile(const QString& path);
    bool SaveToStream(QIODevice& stream, std::optional<TLFEncoding> encoding = std::nullopt) const;
    bool LoadFromStream(QIODevice& stream);

private:
    void renderLine(int lineIndex);
    void applyAutoFont();

    QPointer<TLexicon> lexicon_;
    bool autoFont_ = true;
    QStringList lines_{QString()};
    TLMStringStyles styles_;
};

// ---- a label with a value ----

// Shows ValueName, ValueSeparator, ValueSpaces blanks and Value. Only
// ValueName is translated, so the value survives a language switch.
class TValuedLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString Value READ Value WRITE SetValue)
    Q_PROPERTY(QString ValueName READ ValueName WRITE SetValueName)
    Q_PROPERTY(QString ValueSeparator READ ValueSeparator WRITE SetValueSeparator)
    Q_PROPERTY(uint ValueSpaces READ ValueSpacesProperty WRITE SetValueSpacesProperty)
public:
    explicit TValuedLabel(QWidget* parent = nullptr);

    QString Value() const { return value_; }
    void SetValue(const QString& value);
    QString ValueName() const { return valueName_; }
    void SetValueName(const QString& name);
    QString ValueSeparator() const { return separator_; }
    void SetValueSeparator(const QString& separator);
    uint8_t ValueSpaces() const { return spaces_; }
    void SetValueSpaces(uint8_t spaces);

private:
    uint ValueSpacesProperty() const { return spaces_; }
    void SetValueSpacesProperty(uint spaces) { SetValueSpaces(static_cast<uint8_t>(spaces)); }
    void rebuild();

    QString value_, valueName_, separator_;
    uint8_t spaces_ = 0;
};
