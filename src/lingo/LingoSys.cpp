#include "lingo/LingoSys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

namespace {

// ---- small readers ----

bool isAsciiDigit(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }

// Plain decimal digits (no sign) as a number no larger than limit.
std::optional<qint64> plainNumber(QStringView text, qint64 limit) {
    if (text.isEmpty()) return std::nullopt;
    qint64 v = 0;
    for (QChar c : text) {
        if (!isAsciiDigit(c)) return std::nullopt;
        v = v * 10 + (c.unicode() - '0');
        if (v > limit) return std::nullopt;
    }
    return v;
}

int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}

// ---- Windows-1250 ----
// Written out here rather than asked of Qt: a Qt built without ICU has no
// such codec, and the reader and the writer must agree on every machine.
constexpr std::array<char16_t, 128> kCp1250 = {
    0x20AC, 0xFFFD, 0x201A, 0xFFFD, 0x201E, 0x2026, 0x2020, 0x2021,
    0xFFFD, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0xFFFD, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

QString decodeCp1250(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        out.append(b < 0x80 ? QChar(b) : QChar(kCp1250[b - 0x80]));
    }
    return out;
}

char cp1250Byte(char32_t u) {
    if (u < 0x80) return static_cast<char>(u);
    if (u > 0xFFFF || u == 0xFFFD) return '?';
    for (size_t i = 0; i < kCp1250.size(); ++i)
        if (kCp1250[i] == u) return static_cast<char>(0x80 + i);
    return '?';
}

// ---- UTF-16 ----

QString decodeUtf16(const QByteArray& bytes, qsizetype start, bool littleEndian) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    auto unit = [&](qsizetype i) -> char16_t {
        return littleEndian ? char16_t(b[i] | (b[i + 1] << 8)) : char16_t((b[i] << 8) | b[i + 1]);
    };
    QString out;
    out.reserve((n - start) / 2 + 1);
    qsizetype i = start;
    for (; i + 1 < n; i += 2) {
        const char16_t u = unit(i);
        if (QChar::isHighSurrogate(u) && i + 3 < n && QChar::isLowSurrogate(unit(i + 2))) {
            out.append(QChar(u));
            out.append(QChar(unit(i + 2)));
            i += 2;
        } else if (QChar::isSurrogate(u)) {
            out.append(QChar(QChar::ReplacementCharacter));
        } else {
            out.append(QChar(u));
        }
    }
    if (i < n) out.append(QChar(QChar::ReplacementCharacter)); // a byte left over
    return out;
}

// Lone surrogates as U+FFFD, so that every encoder sees whole characters.
QString wholeCharacters(const QString& text) {
    QString out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const QChar c = out.at(i);
        if (c.isHighSurrogate() && i + 1 < out.size() && out.at(i + 1).isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate()) {
            out[i] = QChar(QChar::ReplacementCharacter);
        }
    }
    return out;
}

QByteArray encodeUtf16(const QString& text, bool littleEndian) {
    QByteArray out;
    out.reserve(2 + text.size() * 2);
    auto put = [&](char16_t u) {
        const char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
        if (littleEndian) {
            out.append(lo);
            out.append(hi);
        } else {
            out.append(hi);
            out.append(lo);
        }
    };
    put(0xFEFF);
    for (QChar c : text) put(c.unicode());
    return out;
}

// ---- the writer's field texts ----

// A text between double quotes: a line break would end the line.
QString lineText(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        if (c == u'\r' || c == u'\n') c = u' ';
    return out;
}

// A keyed field's text: besides line breaks, a double quote would move the
// end of the line's quoted text and take the fields before it in, and a TAB
// would end the field.
QString keyText(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        if (c == u'\r' || c == u'\n' || c == u'"' || c == u'\t') c = u' ';
    return out;
}

// ---- entry lookup during a read ----

struct EntryKey {
    QString name, owner, item;
    uint16_t code = 0;
    bool operator==(const EntryKey&) const = default;
};
size_t qHash(const EntryKey& k, size_t seed = 0) { return qHashMulti(seed, k.name, k.owner, k.item, k.code); }

const QString kLanguageName = QStringLiteral("%LANGUAGE_NAME=");
const QString kSuperior = QStringLiteral("%SUPERIOR_LANGUAGE=");
const QString kComponent = QStringLiteral("%COMPONENT=");
const QString kOwner = QStringLiteral("%OWNER=");
const QString kItem = QStringLiteral("%ITEM=");
const QString kNoTrans = QStringLiteral("%NOTRANS");
const QString kOld = QStringLiteral("%OLD");
const QString kLexiconStrings = QStringLiteral("%LEXICON_STRINGS");
const QString kLexiconName = QStringLiteral("%LEXICON_NAME=");
const QString kSmartStrings = QStringLiteral("%SMART_STRINGS");
const QString kFlagIcon = QStringLiteral("%FLAG_ICON");

void setError(QString* error, const QString& text) {
    if (error) *error = text;
}

} // namespace

// ---- property codes ----

QString lingo::PropertyDisplayName(uint16_t code) {
    static const char* const strings[] = {
        "Caption",       "Hint",          "TextHint",         "EditLabel.Hint",      "EditLabel.Caption",
        "Text",          "Title",         "ValueName",        "HelpKeyword",         "BalloonHint",
        "BalloonTitle",  "SimpleText",    "FileNameLabel",    "OkButtonLabel",       "ExpandButtonCaption",
        "ExpandedText",  "FooterText",    "VerificationText", "DialogCaption"};
    static const char* const tstrings[] = {"Lines", "Items", "TitleCaptions", "Tabs",
                                           "Pages", "Sections", "Header", "Footer"};
    static const char* const structured[] = {
        "Panels",   "Bands",         "Category", "Items",   "Items",     "Columns", "Groups",      "Items",
        "Sections", "TitleCaptions", "Items",    "Columns", "FileTypes", "Buttons", "RadioButtons"};
    static const char* const other[] = {"Filter", "RV", "RV", "DisplayName", "DocInfo", "TCH"};
    static const char* const sub[] = {"Header",   "Footer",          "BottomDescription", "SubsetTitle", "Subtitle",
                                      "TopDescription", "CommandLinkHint", "Author", "Creator", "KeyWords",
                                      "Producer", "Subject"};
    auto pick = [code](const auto& table, uint16_t base) -> const char* {
        const size_t n = std::size(table);
        return code >= base && static_cast<size_t>(code - base) < n ? table[code - base] : nullptr;
    };
    for (const char* name : {pick(strings, 0), pick(tstrings, TStringsBase), pick(structured, StructuredBase),
                             pick(other, OtherBase), pick(sub, SubPropertyBase)})
        if (name) return QString::fromLatin1(name);
    if (code >= SubPropertyBase + std::size(sub)) return QStringLiteral("Unknown");
    return {};
}

// ---- TWordList ----

void TWordList::AddWord(uint16_t value) { rows.append(QString::number(value)); }

uint16_t TWordList::GetWord(int index) const {
    if (index < 0 || index >= Count()) return 0;
    QStringView text(rows.at(index));
    if (text.startsWith(u'+')) text = text.mid(1);
    return static_cast<uint16_t>(plainNumber(text, 65535).value_or(0));
}

int TWordList::IndexOfWord(uint16_t value) const { return static_cast<int>(rows.indexOf(QString::number(value))); }

void TWordList::RewriteWord(int index, uint16_t value) {
    if (index >= 0 && index < Count()) rows[index] = QString::number(value);
}

int TWordList::GetLevel(int row) const {
    if (row < 0 || row >= Count()) return 0;
    return static_cast<int>(rows.at(row).count(u','));
}

namespace {
// One level of an item address ("2.Caption" of "1,2.Caption"); empty view when there is no such level.
std::optional<QStringView> addressLevel(const QStringList& rows, int row, int level) {
    if (row < 0 || row >= rows.size() || level < 0) return std::nullopt;
    QStringView rest(rows.at(row));
    for (int l = 0; l < level; ++l) {
        const qsizetype comma = rest.indexOf(u',');
        if (comma < 0) return std::nullopt;
        rest = rest.mid(comma + 1);
    }
    const qsizetype comma = rest.indexOf(u',');
    return comma < 0 ? rest : rest.left(comma);
}
} // namespace

int TWordList::GetItemIndex(int row, int level) const {
    const auto part = addressLevel(rows, row, level);
    if (!part) return -1;
    const qsizetype dot = part->indexOf(u'.');
    return static_cast<int>(plainNumber(dot < 0 ? *part : part->left(dot), std::numeric_limits<int>::max()).value_or(-1));
}

int TWordList::GetItemProperty(int row, int level, QString* name) const {
    if (name) name->clear();
    const auto part = addressLevel(rows, row, level);
    if (!part) return -1;
    const qsizetype dot = part->indexOf(u'.');
    if (dot < 0) return -1;
    const QStringView sub = part->mid(dot + 1);
    if (const auto code = plainNumber(sub, std::numeric_limits<int>::max())) return static_cast<int>(*code);
    if (name && std::any_of(sub.begin(), sub.end(), [](QChar c) { return c.unicode() >= 65; })) {
        *name = sub.toString();
        name->replace(u':', u'.');
    }
    return lingo::NamedSubProperty;
}

// ---- TComponentStructure ----

void TComponentStructure::Clear() {
    Names.clear();
    Parents.clear();
    Properties.Clear();
    Text.clear();
    ItemAddr.Clear();
    Changeable.Clear();
}

void TComponentStructure::AddLine(const TStructLine& line) {
    Names.append(line.Name);
    Parents.append(line.Parent);
    Properties.AddWord(line.Properties);
    Text.append(line.Text);
    ItemAddr.rows.append(line.ItemAddr);
    Changeable.AddWord(line.Changeable);
}

TStructLine TComponentStructure::GetLine(int index) const {
    TStructLine line;
    if (index < 0 || index >= Count()) {
        line.ItemAddr = QStringLiteral("0");
        return line;
    }
    line.Name = Names.at(index);
    line.Parent = Parents.at(index);
    line.Text = Text.at(index);
    line.Properties = Properties.GetWord(index);
    line.ItemAddr = ItemAddr.rows.at(index);
    line.Changeable = Changeable.GetWord(index);
    return line;
}

void TComponentStructure::SetLine(int index, const TStructLine& line) {
    if (index == Count()) {
        AddLine(line);
        return;
    }
    if (index < 0 || index > Count()) return;
    Names[index] = line.Name;
    Parents[index] = line.Parent;
    Properties.RewriteWord(index, line.Properties);
    Text[index] = line.Text;
    ItemAddr.rows[index] = line.ItemAddr;
    Changeable.RewriteWord(index, line.Changeable);
}

int TComponentStructure::TranslatedItems() const {
    int n = 0;
    for (int i = 0; i < Count(); ++i)
        if (Changeable.GetWord(i) & TStructLine::Translated) ++n;
    return n;
}

int TComponentStructure::FindLine(const QString& name, const QString& owner, const QString& itemAddr,
                                  uint16_t code) const {
    for (int i = 0; i < Count(); ++i)
        if (Names.at(i) == name && Parents.at(i) == owner && ItemAddr.rows.at(i) == itemAddr &&
            Properties.GetWord(i) == code)
            return i;
    return -1;
}

QString TComponentStructure::LookupText(const QString& name, const QString& owner, const QString& itemAddr,
                                        uint16_t code) {
    const int i = FindLine(name, owner, itemAddr, code);
    if (i < 0) return {};
    Changeable.RewriteWord(i, static_cast<uint16_t>(Changeable.GetWord(i) & ~TStructLine::Obsolete));
    return Text.at(i);
}

// ---- TIndexedItems ----

QString TIndexedItems::Get(int n) const {
    if (!IsIncluded(n)) return {};
    return Items.at(ItemPointer[static_cast<size_t>(n)]);
}

// The fields are open to the editor: a pointer that leads nowhere counts as undefined.
bool TIndexedItems::IsIncluded(int n) const {
    if (n < 0 || n > MaxAddress || static_cast<size_t>(n) >= ItemPointer.size()) return false;
    const int at = ItemPointer[static_cast<size_t>(n)];
    return at > 0 && at < Items.size();
}

void TIndexedItems::Add(uint16_t n, const QString& text) {
    if (n >= ItemPointer.size()) ItemPointer.resize(size_t{n} + 1, 0);
    if (n > MaxAddress) MaxAddress = n;
    Items.append(text);
    ItemPointer[n] = static_cast<int>(Items.size() - 1);
}

void TIndexedItems::Write(uint16_t n, const QString& text) {
    if (IsIncluded(n))
        Items[ItemPointer[n]] = text;
    else
        Add(n, text);
}

void TIndexedItems::Remove(uint16_t n) {
    if (!IsIncluded(n)) return;
    Items[ItemPointer[n]].clear();
    ItemPointer[n] = 0;
}

void TIndexedItems::Clear() {
    MaxAddress = 0;
    ItemPointer.assign(1, 0);
    Items = QStringList{QString()};
}

// ---- TLexiconData ----

void TLexiconData::reindex() {
    index_.clear();
    for (int i = static_cast<int>(LexiconsNames.size()) - 1; i >= 0; --i) index_[LexiconsNames.at(i).toCaseFolded()] = i;
    indexedNames_ = LexiconsNames;
    OpenedLexiconIndex = -2;
}

int TLexiconData::open(const QString& name) {
    if (indexedNames_.constData() != LexiconsNames.constData() || indexedNames_.size() != LexiconsNames.size())
        reindex();
    if (OpenedLexiconIndex != -2 && name == OpenedLexiconName) return OpenedLexiconIndex;
    const int pos = index_.value(name.toCaseFolded(), -1);
    OpenedLexiconName = name;
    OpenedLexiconIndex = pos >= 0 && static_cast<size_t>(pos) < LexiconsDatas.size() ? pos : -1;
    return OpenedLexiconIndex;
}

void TLexiconData::NewLexicon(const QString& name) {
    if (open(name) >= 0) return;
    indexedNames_ = QStringList(); // so that the append does not copy the list
    LexiconsNames.append(name);
    LexiconsDatas.push_back(std::make_unique<TIndexedItems>(name));
    const int pos = static_cast<int>(LexiconsNames.size() - 1);
    index_.insert(name.toCaseFolded(), pos);
    indexedNames_ = LexiconsNames;
    OpenedLexiconName = name;
    OpenedLexiconIndex = pos;
}

void TLexiconData::WriteItem(const QString& name, uint16_t n, const QString& text) {
    const int i = open(name);
    if (i >= 0) LexiconsDatas[static_cast<size_t>(i)]->Write(n, text);
}

void TLexiconData::RemoveItem(const QString& name, uint16_t n) {
    const int i = open(name);
    if (i >= 0) LexiconsDatas[static_cast<size_t>(i)]->Remove(n);
}

QString TLexiconData::ReadItem(const QString& name, int n) {
    const int i = open(name);
    return i >= 0 ? LexiconsDatas[static_cast<size_t>(i)]->Get(n) : QString();
}

void TLexiconData::Clear() {
    LexiconsNames.clear();
    LexiconsDatas.clear();
    reindex();
    OpenedLexiconName.clear();
}

int TLexiconData::ItemsCount(const QString& name) {
    const int i = open(name);
    return i >= 0 ? LexiconsDatas[static_cast<size_t>(i)]->Count() : 0;
}

QString TLexiconData::LexiconName(int position) const {
    return position >= 0 && position < LexiconCount() ? LexiconsNames.at(position) : QString();
}

int TLexiconData::MaxItemNr(const QString& name) {
    const int i = open(name);
    return i >= 0 ? LexiconsDatas[static_cast<size_t>(i)]->MaxIndex() : -1;
}

bool TLexiconData::IsIncluded(const QString& name, int n) {
    const int i = open(name);
    return i >= 0 && LexiconsDatas[static_cast<size_t>(i)]->IsIncluded(n);
}

bool TLexiconData::LexiconExists(const QString& name) { return open(name) >= 0; }

const TIndexedItems* TLexiconData::Lexicon(int position) const {
    return position >= 0 && static_cast<size_t>(position) < LexiconsDatas.size()
               ? LexiconsDatas[static_cast<size_t>(position)].get()
               : nullptr;
}

// ---- file text ----

QString lingo::DecodeLanguageText(const QByteArray& bytes) {
    auto startsWith = [&](const char* mark, qsizetype n) { return bytes.size() >= n && bytes.left(n) == QByteArray(mark, n); };
    if (startsWith("\xFF\xFE", 2)) return decodeUtf16(bytes, 2, true);
    if (startsWith("\xFE\xFF", 2)) return decodeUtf16(bytes, 2, false);
    if (startsWith("\xEF\xBB\xBF", 3)) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        return utf8.decode(QByteArrayView(bytes).sliced(3));
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    return utf8.hasError() ? decodeCp1250(bytes) : text;
}

QByteArray lingo::EncodeLanguageText(const QString& text, TLFEncoding encoding) {
    const QString whole = wholeCharacters(text);
    switch (encoding) {
    case TLFEncoding::Unicode:
        return encodeUtf16(whole, true);
    case TLFEncoding::BigEndianUnicode:
        return encodeUtf16(whole, false);
    case TLFEncoding::UTF8: {
        QStringEncoder utf8(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
        return QByteArray("\xEF\xBB\xBF") + QByteArray(utf8.encode(whole));
    }
    case TLFEncoding::ANSI: {
        QByteArray out;
        out.reserve(whole.size());
        for (qsizetype i = 0; i < whole.size(); ++i) {
            char32_t u = whole.at(i).unicode();
            if (whole.at(i).isHighSurrogate()) { // a whole pair: one character Windows-1250 lacks
                u = QChar::surrogateToUcs4(whole.at(i), whole.at(i + 1));
                ++i;
            }
            out.append(cp1250Byte(u));
        }
        return out;
    }
    }
    return {};
}

QStringList lingo::SplitLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n') continue;
        lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.append(text.mid(start));
    return lines;
}

bool lingo::ParseLangLine(const QString& line, LangLine& out) {
    const qsizetype tab = line.indexOf(u'\t');
    if (tab < 0) return false;
    QStringView number = QStringView(line).left(tab);
    bool negative = false;
    if (!number.isEmpty() && (number.front() == u'+' || number.front() == u'-')) {
        negative = number.front() == u'-';
        number = number.mid(1);
    }
    if (number.isEmpty()) return false;
    qint64 v = 0;
    for (QChar c : number) {
        if (!isAsciiDigit(c)) return false;
        // A number too long for 64 bits stays at the largest: it is out of
        // every range the sections accept either way.
        const int d = c.unicode() - '0';
        v = v > (std::numeric_limits<qint64>::max() - d) / 10 ? std::numeric_limits<qint64>::max() : v * 10 + d;
    }
    out.number = negative ? -v : v;
    out.value = line.mid(tab + 1);
    return true;
}

QString lingo::QuotedText(const QString& value) {
    const qsizetype first = value.indexOf(u'"'), last = value.lastIndexOf(u'"');
    if (first < 0 || first == last) return {};
    return value.mid(first + 1, last - first - 1);
}

QString lingo::OutsideQuotes(const QString& value) {
    const qsizetype first = value.indexOf(u'"');
    if (first < 0) return value;
    const qsizetype last = value.lastIndexOf(u'"');
    return value.left(first) + u'\t' + value.mid(last + 1);
}

QString lingo::KeyedField(const QString& value, const QString& key) {
    // A key counts where a field begins (the value's start or after a TAB),
    // and its text ends at the ";" before the next TAB: so a name, owner or
    // address that holds another key's letters cannot move that key.
    const QString outside = OutsideQuotes(value);
    for (qsizetype at = outside.indexOf(key); at >= 0; at = outside.indexOf(key, at + 1)) {
        if (at > 0 && outside.at(at - 1) != u'\t') continue;
        const qsizetype from = at + key.size();
        const qsizetype end = outside.indexOf(u';', from);
        const qsizetype tab = outside.indexOf(u'\t', from);
        if (end < 0 || (tab >= 0 && tab < end)) return {};
        return outside.mid(from, end - from);
    }
    return {};
}

bool lingo::HasMarker(const QString& value, const QString& marker) { return OutsideQuotes(value).contains(marker); }

bool lingo::ReadSourceBytes(const QString& path, QByteArray& bytes, QString* error) {
    bytes.clear();
    const QFileInfo info(path);
    if (!info.exists()) {
        setError(error, QStringLiteral("%1 does not exist").arg(path));
        return false;
    }
    // Only a regular file: a folder cannot be read, and a pipe or device could block or never end.
    if (!info.isFile()) {
        setError(error, QStringLiteral("%1 is not a regular file").arg(path));
        return false;
    }
    if (info.size() > MaxLanguageFileBytes) {
        setError(error, QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(MaxLanguageFileBytes));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("%1 cannot be opened: %2").arg(path, file.errorString()));
        return false;
    }
    // The size may have changed since it was asked for: read one byte more than allowed to know.
    bytes = file.read(MaxLanguageFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        setError(error, QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()));
        bytes.clear();
        return false;
    }
    if (bytes.size() > MaxLanguageFileBytes) {
        setError(error, QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(MaxLanguageFileBytes));
        bytes.clear();
        return false;
    }
    return true;
}

bool lingo::WriteFileReplacing(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        setError(error, QStringLiteral("%1 cannot be written: %2").arg(path, file.errorString()));
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        setError(error, QStringLiteral("%1 cannot be written: %2").arg(path, file.errorString()));
        file.cancelWriting();
        file.commit(); // removes the new file; the old one stays
        return false;
    }
    // What was written is checked on disk before the new file replaces the
    // old one: a write the buffer took can still fail when flushed (a full
    // disk, a file size limit), and a short file must never take the old one's place.
    if (!file.flush() || file.error() != QFileDevice::NoError || file.size() != bytes.size()) {
        setError(error, QStringLiteral("%1 cannot be written: %2")
                            .arg(path, file.error() != QFileDevice::NoError
                                           ? file.errorString()
                                           : QStringLiteral("the file came out short")));
        file.cancelWriting();
        file.commit();
        return false;
    }
    if (!file.commit()) {
        setError(error, QStringLiteral("%1 cannot be written: %2").arg(path, file.errorString()));
        return false;
    }
    return true;
}

// ---- header scan ----

QByteArray lingo::ReadFlagData(const QStringList& lines, int first) {
    QByteArray flag;
    LangLine line;
    for (qsizetype i = std::max(first, 0); i < lines.size(); ++i) {
        if (!ParseLangLine(lines.at(i), line)) continue;
        const QString& v = line.value;
        for (qsizetype k = 0; k + 1 < v.size() && k < 2 * 256; k += 2) {
            const int hi = hexDigit(v.at(k)), lo = hexDigit(v.at(k + 1));
            if (hi < 0 || lo < 0) break;
            flag.append(static_cast<char>(hi << 4 | lo));
        }
        if (flag.size() > MaxFlagBytes) return {};
    }
    return flag;
}

QString lingo::ReadFileHeader(const QByteArray& bytes, const QString& signatureLine, QByteArray* flag) {
    if (flag) flag->clear();
    const QStringList lines = SplitLines(DecodeLanguageText(bytes));
    if (lines.size() < 3 || lines.first() != signatureLine) return {};
    LangLine line;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (!ParseLangLine(lines.at(i), line) || !HasMarker(line.value, kLanguageName)) continue;
        const QString name = QuotedText(line.value);
        if (name.isEmpty()) continue;
        if (flag) {
            for (qsizetype k = i + 1; k < lines.size(); ++k) {
                if (ParseLangLine(lines.at(k), line) && HasMarker(line.value, kFlagIcon)) {
                    *flag = ReadFlagData(lines, static_cast<int>(k + 1));
                    break;
                }
            }
        }
        return name;
    }
    return {};
}

// ---- reading a language ----

bool lingo::ReadLanguage(const QStringList& lines, const QString& requestedName, const ReadOptions& options,
                         TComponentStructure& data, TLexiconData& lexicons, QByteArray* flag, QString* error) {
    // Only here: the superior language is read into these same stores further down.
    data.Clear();
    lexicons.Clear();
    if (flag) flag->clear();
    if (error) error->clear();
    if (lines.isEmpty()) {
        setError(error, QStringLiteral("the language file is empty"));
        return false;
    }
    if (lines.first() != options.signatureLine) {
        setError(error, QStringLiteral("the first line is not %1").arg(options.signatureLine));
        return false;
    }
    const qsizetype n = lines.size();
    qsizetype i = 1;
    LangLine line;

    // Header: each header line first brings its superior language in.
    bool found = false;
    for (; i < n && !found; ++i) {
        if (!ParseLangLine(lines.at(i), line) || !HasMarker(line.value, kLanguageName)) continue;
        if (options.loadSuperior) options.loadSuperior(KeyedField(line.value, kSuperior));
        found = QuotedText(line.value) == requestedName;
    }
    if (!found) return true;

    // Entries. A lookup table stands in for FindLine: a file of many entries
    // would otherwise compare each with every one before it.
    QHash<EntryKey, int> rows;
    if (!options.forEditor) {
        for (int r = data.Count() - 1; r >= 0; --r)
            rows.insert(EntryKey{data.Names.at(r), data.Parents.at(r), data.ItemAddr.rows.at(r), data.Properties.GetWord(r)}, r);
    }
    bool more = false;
    for (; i < n; ++i) {
        if (!ParseLangLine(lines.at(i), line)) continue;
        if (HasMarker(line.value, kLexiconStrings)) {
            more = true;
            ++i;
            break;
        }
        if (line.number < 0 || line.number > 0xFFFF) continue;
        TStructLine entry;
        entry.Name = KeyedField(line.value, kComponent);
        if (entry.Name.isEmpty()) continue;
        entry.Parent = KeyedField(line.value, kOwner);
        entry.ItemAddr = KeyedField(line.value, kItem);
        entry.Text = QuotedText(line.value);
        entry.Properties = static_cast<uint16_t>(line.number);
        if (!HasMarker(line.value, kNoTrans)) entry.Changeable |= TStructLine::Translated;
        if (HasMarker(line.value, kOld) ||
            (options.markObsolete && options.isRegistered && !options.isRegistered(entry.Parent, entry.Name)))
            entry.Changeable |= TStructLine::Obsolete;
        if (options.forEditor) {
            data.AddLine(entry);
            continue;
        }
        const EntryKey key{entry.Name, entry.Parent, entry.ItemAddr, entry.Properties};
        const auto at = rows.constFind(key);
        if (at == rows.cend()) {
            rows.insert(key, data.Count());
            data.AddLine(entry);
        } else {
            if (!(entry.Changeable & TStructLine::Translated)) entry.Text = data.Text.at(*at);
            data.SetLine(*at, entry);
        }
    }
    if (!more) return true;

    // Lexicons.
    qint64 room = 0;
    for (int p = 0; p < lexicons.LexiconCount(); ++p) room += lexicons.Lexicon(p)->MaxIndex() + 1;
    QString opened;
    more = false;
    for (; i < n; ++i) {
        if (!ParseLangLine(lines.at(i), line)) continue;
        if (HasMarker(line.value, kSmartStrings)) {
            more = true;
            ++i;
            break;
        }
        if (HasMarker(line.value, kLexiconName)) {
            opened = KeyedField(line.value, kLexiconName);
            if (opened.isEmpty()) {
                setError(error, QStringLiteral("line %1: a lexicon without a name").arg(i + 1));
                return false;
            }
            if (!lexicons.LexiconExists(opened)) ++room;
            lexicons.NewLexicon(opened);
            continue;
        }
        if (opened.isEmpty() || line.number < 0 || line.number > 0xFFFF) continue;
        const QString text = QuotedText(line.value);
        if (text.isEmpty()) continue;
        const qint64 growth = line.number - lexicons.MaxItemNr(opened);
        if (growth > 0) {
            if (room + growth > MaxLexiconSlots) continue;
            room += growth;
        }
        lexicons.WriteItem(opened, static_cast<uint16_t>(line.number), text);
    }
    if (!more) return true;

    // The reserved section, then the flag.
    for (; i < n; ++i) {
        if (ParseLangLine(lines.at(i), line) && HasMarker(line.value, kFlagIcon)) {
            if (options.forEditor && flag) *flag = ReadFlagData(lines, static_cast<int>(i + 1));
            break;
        }
    }
    return true;
}

// ---- writing a language ----

QByteArray lingo::WriteLanguage(const QString& signature, const QString& name, const QString& superior,
                                const TComponentStructure& data, const TLexiconData& lexicons, const QByteArray& flag,
                                TLFEncoding encoding) {
    QString out;
    auto line = [&out](const QString& text) {
        out += text;
        out += QLatin1String("\r\n");
    };
    line(u'[' + keyText(signature) + u']');
    QString header = QStringLiteral("0\t%LANGUAGE_NAME=\"") + lineText(name) + u'"';
    if (!superior.isEmpty()) header += QStringLiteral("\t%SUPERIOR_LANGUAGE=") + keyText(superior) + u';';
    line(header + QStringLiteral("\t%FILEVER=THLF1;"));

    for (int r = 0; r < data.Count(); ++r) {
        const TStructLine e = data.GetLine(r);
        QString text = QString::number(e.Properties) + u'\t';
        if (e.Changeable & TStructLine::Translated)
            text += u'"' + lineText(e.Text) + u'"';
        else
            text += kNoTrans;
        text += u'\t' + kComponent + keyText(e.Name) + u';' + u'\t' + kOwner + keyText(e.Parent) + u';';
        if (!e.ItemAddr.isEmpty()) text += u'\t' + kItem + keyText(e.ItemAddr) + u';';
        if (e.Changeable & TStructLine::Obsolete) text += u'\t' + kOld;
        line(text);
    }

    const QString zero = QStringLiteral("0\t");
    line(zero + kLexiconStrings);
    for (int p = 0; p < lexicons.LexiconCount(); ++p) {
        const TIndexedItems* items = lexicons.Lexicon(p);
        if (!items) continue;
        bool headed = false;
        for (int k = 0; k <= items->MaxIndex(); ++k) {
            if (!items->IsIncluded(k)) continue;
            const QString text = items->Get(k);
            if (text.isEmpty()) continue;
            if (!headed) {
                line(zero + kLexiconName + keyText(lexicons.LexiconName(p)) + u';');
                headed = true;
            }
            line(QString::number(k) + QStringLiteral("\t\"") + lineText(text) + u'"');
        }
    }

    line(zero + kSmartStrings);
    if (!flag.isEmpty()) {
        line(zero + kFlagIcon);
        constexpr qsizetype perLine = 50;
        for (qsizetype k = 0;; ++k) {
            const QByteArray part = flag.mid(k * perLine, perLine);
            line(QString::number(k) + u'\t' + QString::fromLatin1(part.toHex().toUpper()));
            if (part.size() < perLine) break;
        }
    }
    return EncodeLanguageText(out, encoding);
}
