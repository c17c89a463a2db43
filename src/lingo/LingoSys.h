#pragma once
// Language files and the stores they are read into and written from. Pure:
// QtCore only, no widget, no file system except where a function says so.
//
// A language file is a text file of lines "number<TAB>value" after a
// signature line "[SIGNATURE]": a header line with the language's name, the
// translated entries of window components, the lexicon section, a reserved
// section and an optional flag picture (a 16 x 16 BMP as hex lines).
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// ---- property codes ----
// Every entry names the translated property by a 16-bit code: four
// enumerations, each in its own block.
enum TStringProperties : uint16_t {
    pnCaption, pnHint, pnTextHint, pnEditLabelHint, pnEditLabelCaption, pnText, pnTitle, pnValueName,
    pnHelpKeyword, pnBalloonHint, pnBalloonTitle, pnSimpleText, pnFileNameLabel, pnOkButtonLabel,
    pnExpandButtonCaption, pnExpandedText, pnFooterText, pnVerificationText, pnDialogCaption
};
enum TTStringsProperties : uint16_t { pnLines, pnItems, pnTitleCaptions, pnTabs, pnPages, pnSections, pnHeader, pnFooter };
enum TStructuredProperties : uint16_t {
    pnPanels, pnBands, pnButtonCategories, pnGrpButtonItems, pnTreeItems, pnListColumns, pnListGroups,
    pnListItems, pnHeaderSections, pnDBGridTitleCaptions, pnOutlineItems, pnTabProducerColumns, pnFileTypes,
    pnButtons, pnRadioButtons
};
enum TOtherProperties : uint16_t { pnFilter, cnRvProject, cnRvSystem, cnRvRender, pnPDF_DocInfo, cnTChart };

namespace lingo {
inline constexpr uint16_t TStringsBase = 32;    // code of a TTStringsProperties member: 32 + ordinal
inline constexpr uint16_t StructuredBase = 64;  // TStructuredProperties: 64 + ordinal
inline constexpr uint16_t OtherBase = 96;       // TOtherProperties: 96 + ordinal
inline constexpr uint16_t SubPropertyBase = 500; // sub-property names inside item addresses: 500 ..
inline constexpr uint16_t NamedSubProperty = 499; // a sub-property given by its name

constexpr uint16_t code(TStringProperties p) { return p; }
constexpr uint16_t code(TTStringsProperties p) { return static_cast<uint16_t>(TStringsBase + p); }
constexpr uint16_t code(TStructuredProperties p) { return static_cast<uint16_t>(StructuredBase + p); }
constexpr uint16_t code(TOtherProperties p) { return static_cast<uint16_t>(OtherBase + p); }

// What the language editor shows for a code ("Caption", "Items", ...); codes
// 500 .. 512 are the sub-property names, 513 and above "Unknown"; an
// unassigned code gives empty text.
QString PropertyDisplayName(uint16_t code);

// Refusals that keep a hostile or broken file from costing memory or time.
inline constexpr qint64 MaxLanguageFileBytes = qint64{4} << 20;
inline constexpr int MaxFlagBytes = 32 * 1024;
// A lexicon keeps room for every number up to its highest item, so a few
// lines of scattered high numbers could claim far more memory than the file
// is long: a read stores no item that would raise the room of all lexicons
// together above this many numbers.
inline constexpr int MaxLexiconSlots = 1 << 22;
} // namespace lingo

// ---- stores ----

// A text list that stores 16-bit unsigned numbers as decimal text; also holds
// item addresses as plain text and reads their levels.
class TWordList {
public:
    QStringList rows;

    int Count() const { return static_cast<int>(rows.size()); }
    void Clear() { rows.clear(); }
    void AddWord(uint16_t value);
    // The row's text as a number; text that is no number (or a row outside) reads as 0.
    uint16_t GetWord(int index) const;
    int IndexOfWord(uint16_t value) const; // -1 when absent
    // Replaces a row; an index at or beyond the end does nothing.
    void RewriteWord(int index, uint16_t value);

    // Item addresses ("3", "2,5", "1.500", "0.Caption:Sub", "[*:txt]"):
    // the number of "," in the row; the number before the "." of a level
    // (-1 when none); the sub-property code of a level (499 for a named one,
    // whose name comes back in *name with ":" turned into ".", empty when the
    // name has no character of code 65 or above).
    int GetLevel(int row) const;
    int GetItemIndex(int row, int level) const;
    int GetItemProperty(int row, int level, QString* name = nullptr) const;
};

// One translation entry.
struct TStructLine {
    QString Name;        // component name, or "component.part"
    QString Parent;      // the owner's name (the window or data module); empty for the window itself
    QString Text;
    uint16_t Properties = 0; // property code
    QString ItemAddr;    // empty for a single-text property
    uint16_t Changeable = 0; // bit 0 translated, bit 1 obsolete, bit 2 changed in the editor

    static constexpr uint16_t Translated = 1, Obsolete = 2, ChangedInEditor = 4;
    bool operator==(const TStructLine&) const = default;
};

// A table of entries in six parallel columns, one row per entry.
class TComponentStructure {
public:
    QStringList Names, Parents;
    TWordList Properties;
    QStringList Text;
    TWordList ItemAddr; // used as text
    TWordList Changeable;

    int Count() const { return static_cast<int>(Names.size()); }
    void Clear();
    void AddLine(const TStructLine& line);
    // Outside the table: empty texts, code 0, ItemAddr "0", flags 0.
    TStructLine GetLine(int index) const;
    // Replaces a row; index == Count() appends; any other index is ignored.
    void SetLine(int index, const TStructLine& line);
    int TranslatedItems() const;
    // First row with equal name, owner and item address (case-sensitive) and
    // that code; -1 when none.
    int FindLine(const QString& name, const QString& owner, const QString& itemAddr, uint16_t code) const;
    // The row's text, and its obsolete bit cleared (it is in use); empty text when there is no row.
    QString LookupText(const QString& name, const QString& owner, const QString& itemAddr, uint16_t code);
};

// Texts keyed by a 16-bit item number.
class TIndexedItems {
public:
    explicit TIndexedItems(QString listName = {}) : ListName(std::move(listName)) { Clear(); }

    uint16_t MaxAddress = 0;
    std::vector<int> ItemPointer; // MaxAddress + 1 elements; position of item n's text in Items, 0 = undefined
    QStringList Items;            // Items[0] is an empty placeholder
    QString ListName;

    int Count() const { return static_cast<int>(Items.size()) - 1; } // removed items still count
    int MaxIndex() const { return MaxAddress; }
    QString Get(int n) const;
    bool IsIncluded(int n) const;
    void Add(uint16_t n, const QString& text);
    void Write(uint16_t n, const QString& text);
    void Remove(uint16_t n);
    void Clear();
};

// The strings of all lexicons of one language, by lexicon key (letter case ignored).
// A name index beside the two lists keeps a lookup from scanning every
// lexicon; a change made to LexiconsNames from outside is noticed (the list
// then no longer shares its data with the index's copy) and indexed again.
class TLexiconData {
public:
    QStringList LexiconsNames;
    std::vector<std::unique_ptr<TIndexedItems>> LexiconsDatas;

    void NewLexicon(const QString& name);
    void WriteItem(const QString& name, uint16_t n, const QString& text);
    void RemoveItem(const QString& name, uint16_t n);
    QString ReadItem(const QString& name, int n);
    void Clear();
    int LexiconCount() const { return static_cast<int>(LexiconsNames.size()); }
    int ItemsCount(const QString& name);
    QString LexiconName(int position) const;
    int MaxItemNr(const QString& name); // -1 when absent
    bool IsIncluded(const QString& name, int n);
    bool LexiconExists(const QString& name);
    // The lexicon at a position (for the writer and the editor); nullptr outside.
    const TIndexedItems* Lexicon(int position) const;

private:
    // Opens a lexicon: the cache of the last one used. -2 nothing open, -1 a failed lookup.
    int open(const QString& name);
    QString OpenedLexiconName;
    int OpenedLexiconIndex = -2;
    void reindex();
    QHash<QString, int> index_; // case-folded name -> position of its first lexicon
    QStringList indexedNames_;  // shares LexiconsNames' data while index_ fits it
};

// ---- file text ----

enum class TLFEncoding { Unicode, BigEndianUnicode, UTF8, ANSI };

namespace lingo {

// The file's bytes as text: UTF-16LE, UTF-16BE or UTF-8 by their byte-order
// marks; without one UTF-8 when the bytes are valid UTF-8, else Windows-1250.
// Odd byte counts and lone surrogates become U+FFFD.
QString DecodeLanguageText(const QByteArray& bytes);
// Text as bytes in an encoding (with its mark; ANSI is Windows-1250 without
// one, characters it lacks become "?").
QByteArray EncodeLanguageText(const QString& text, TLFEncoding encoding);
// Lines split at CR LF, CR or LF; a final line break adds no empty line.
QStringList SplitLines(const QString& text);

// One line "number<TAB>value": false when it has no TAB or its number field
// is not a plain decimal integer (an optional sign, digits).
struct LangLine {
    qint64 number = 0;
    QString value;
};
bool ParseLangLine(const QString& line, LangLine& out);

// The quoted text of a value (between its first and last double quote), and
// what lies outside it, where markers and keyed fields are looked for: the
// quoted part with its quotes, or a lone double quote, stands there as one TAB,
// so that no field read from outside holds a double quote.
QString QuotedText(const QString& value);
QString OutsideQuotes(const QString& value);
// A keyed field ("%COMPONENT=" ...) of the text outside the quotes, up to the
// next ";"; empty when absent or without a ";".
QString KeyedField(const QString& value, const QString& key);
bool HasMarker(const QString& value, const QString& marker);

// Reads a file's bytes, refusing files over MaxLanguageFileBytes. false with
// a reason in *error.
bool ReadSourceBytes(const QString& path, QByteArray& bytes, QString* error);
// Writes a new file beside the old one and renames it over it: a failure
// leaves the old file whole. false with a reason in *error.
bool WriteFileReplacing(const QString& path, const QByteArray& bytes, QString* error);

// ---- header scan ----
// The language's name, or empty text when the bytes are not a language file
// of that signature line ("[YOX_]"). With flag set, *flag is emptied and
// receives the flag picture's bytes (empty when there is none, when the data
// are bad or over MaxFlagBytes).
QString ReadFileHeader(const QByteArray& bytes, const QString& signatureLine, QByteArray* flag);

// Flag data lines (those after the flag marker) as bytes: hex pairs of either
// case, at most 256 bytes a line, stopping at the first non-hex character.
// Empty on failure or when over MaxFlagBytes.
QByteArray ReadFlagData(const QStringList& lines, int first);

// ---- reading a language ----
struct ReadOptions {
    QString signatureLine;     // "[YOX_]"
    bool forEditor = false;    // every entry appended, the flag read
    bool markObsolete = false; // entries whose window is not registered get the obsolete bit
    // Called at every header line before its name is compared, with the line's
    // "%SUPERIOR_LANGUAGE=" field (may be empty): the engine loads the superior
    // language into the same stores there.
    std::function<void(const QString& superior)> loadSuperior;
    // Whether a registered window matches (owner, component); used with markObsolete.
    std::function<bool(const QString& owner, const QString& component)> isRegistered;
};

// Reads the language named requestedName from a file's text lines into the
// stores (which it clears first). Not for the editor, an entry that the
// superior language gave is replaced (an untranslated one keeps the old
// text). Item numbers above 65535 are skipped. false with a reason in *error
// (empty file, wrong signature, empty lexicon name). *flag (may be null) gets
// the flag picture for the editor and is emptied otherwise.
bool ReadLanguage(const QStringList& lines, const QString& requestedName, const ReadOptions& options,
                  TComponentStructure& data, TLexiconData& lexicons, QByteArray* flag, QString* error);

// ---- writing a language ----
// The whole file: signature line "[signature]", header (the superior part
// only when superior is not empty), entries in row order, lexicons in order
// (only those with a stored non-empty text; items ascending), the reserved
// marker, the flag section when flag is not empty. Lines end with CR LF; line
// breaks inside a text are written as blanks, and so are double quotes inside
// a keyed field (a name, owner, item address, lexicon key or the superior),
// where they would move the end of the line's quoted text.
QByteArray WriteLanguage(const QString& signature, const QString& name, const QString& superior,
                         const TComponentStructure& data, const TLexiconData& lexicons, const QByteArray& flag,
                         TLFEncoding encoding);

} // namespace lingo
