#include "lingo/LingoCtrls.h"

#include <QFile>
#include <QIODevice>
#include <QListWidget>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <limits>
#include <numeric>
#include <stdexcept>

namespace {

const QString kChooserName = QStringLiteral("Language");
const QString kUndefined = QStringLiteral("???");
constexpr QChar kLinkStart(0x00AB); // «
constexpr QChar kMarkStart(0x00AC); // ¬

// ---- language choosers ----

int positionOf(const QComboBox* box, const QString& language) {
    for (int i = 0; i < box->count(); ++i)
        if (box->itemText(i).compare(language, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

// Rows are updated in place rather than cleared, so an open popup does not
// collapse under the user. Signals stay blocked: a refill is never a pick.
void refill(QComboBox* box, const QStringList& languages, const QString& current, const TFlagsList* flags) {
    const QSignalBlocker block(box);
    const int count = static_cast<int>(languages.size());
    for (int i = 0; i < count; ++i) {
        const QIcon icon = flags ? flags->Icon(i) : QIcon();
        if (i < box->count()) {
            box->setItemText(i, languages.at(i));
            box->setItemIcon(i, icon);
            box->setItemData(i, QVariant());
        } else {
            box->addItem(icon, languages.at(i));
        }
    }
    while (box->count() > count)
        box->removeItem(box->count() - 1);
    box->setCurrentIndex(positionOf(box, current));
    box->update();
}

template <class Chooser> void attach(Chooser* self, QPointer<TLingoEngine>& slot, TLingoEngine* engine) {
    if (slot != engine) {
        if (slot) slot->SpanClients.UnregisterClient(self);
        slot = engine;
        if (engine) engine->SpanClients.RegisterClient(self);
    }
    if (engine) self->ChangeLangList(engine->LangMenu, engine->CurrentLanguage(), engine->Flags);
}

template <class Chooser> void pickLanguage(Chooser* self, const QPointer<TLingoEngine>& engine, int index) {
    if (!engine || index < 0 || index >= self->count()) return;
    const QString caption = self->itemText(index);
    if (caption == engine->CurrentLanguage()) return;
    const QPointer<Chooser> alive(self);
    engine->Translate(caption);
    if (!alive) return; // a handler of the switch closed the window
    // A refused or failed switch leaves another language current than the one
    // picked. The engine's rebuild normally puts it back on show; this holds
    // even when no rebuild reached the chooser.
    if (engine) {
        const QSignalBlocker block(self);
        self->setCurrentIndex(positionOf(self, engine->CurrentLanguage()));
    }
    const auto handler = self->OnChangeLanguage;
    if (handler) handler(self);
}

// ---- links and style marks ----

// A decimal number of ASCII digits at pos, ended by ";". Returns the position
// after the ";", or -1 when there is no such number. Numbers too large for any
// list read as -2 (defined nowhere).
int readNumber(const QString& text, int pos, qint64& number) {
    const int n = static_cast<int>(text.size());
    int i = pos;
    number = 0;
    bool huge = false;
    while (i < n && text.at(i) >= u'0' && text.at(i) <= u'9') {
        number = number * 10 + (text.at(i).unicode() - u'0');
        if (number > std::numeric_limits<int>::max()) {
            huge = true;
            number = 0;
        }
        ++i;
    }
    if (i == pos || i >= n || text.at(i) != u';') return -1;
    if (huge) number = -2;
    return i + 1;
}

QString linkText(const TLexicon* lexicon, qint64 number) {
    if (!lexicon || number < 0 || number > lexicon->MaxItemIndex()) return kUndefined;
    const int n = static_cast<int>(number);
    return lexicon->IsDefined(n) ? lexicon->GetItem(n) : kUndefined;
}

struct Piece {
    QString text;
    int style; // -1: the control's default attributes
};

// Splits a source line into runs of one style each, links completed.
std::vector<Piece> parseLine(const QString& line, const TLexicon* lexicon, bool withMarks) {
    std::vector<Piece> pieces;
    std::vector<int> before; // the styles that closing marks return to
    int style = -1;
    auto put = [&](const QString& text) {
        if (pieces.empty() || pieces.back().style != style) pieces.push_back({QString(), style});
        pieces.back().text += text;
    };
    const int n = static_cast<int>(line.size());
    int i = 0;
    while (i < n) {
        const QChar c = line.at(i);
        qint64 number = 0;
        if (c == kLinkStart && i + 1 < n && line.at(i + 1) == u'#') {
            const int next = readNumber(line, i + 2, number);
            if (next > 0) {
                put(linkText(lexicon, number));
                i = next;
                continue;
            }
        } else if (withMarks && c == kMarkStart && i + 1 < n) {
            if (line.at(i + 1) == u';') {
                style = before.empty() ? -1 : before.back();
                if (!before.empty()) before.pop_back();
                i += 2;
                continue;
            }
            if (line.at(i + 1) == u'#') {
                const int next = readNumber(line, i + 2, number);
                if (next > 0) {
                    if (static_cast<int>(before.size()) < TLingoRichEdit::MaxStyleDepth)
                        before.push_back(style);
                    style = number > std::numeric_limits<int>::max() || number < 0 ? -1
                                                                                   : static_cast<int>(number);
                    i = next;
                    continue;
                }
            }
        }
        put(QString(c));
        ++i;
    }
    return pieces;
}

QString completeLinks(const QString& line, const TLexicon* lexicon) {
    if (lexicon) return lexicon->CompleteString(line);
    QString out;
    for (const Piece& p : parseLine(line, nullptr, false))
        out += p.text;
    return out;
}

// ---- controlled lists ----

class StringListView : public TControlledStrings {
public:
    explicit StringListView(QStringList& list) : list_(list) {}
    int Count() const override { return static_cast<int>(list_.size()); }
    QString String(int index) const override { return list_.value(index); }
    void Append(const QString& text, const QVariant&) override { list_.append(text); }
    void Assign(const QStringList& texts, const QVariantList&) override { list_ = texts; }

private:
    QStringList& list_;
};

// Entries carry their object in Qt::UserRole.
class ListWidgetView : public TControlledStrings {
public:
    explicit ListWidgetView(QListWidget* list) : list_(list) {}
    int Count() const override { return list_ ? list_->count() : 0; }
    QString String(int index) const override {
        const QListWidgetItem* item = list_ ? list_->item(index) : nullptr;
        return item ? item->text() : QString();
    }
    QVariant Object(int index) const override {
        const QListWidgetItem* item = list_ ? list_->item(index) : nullptr;
        return item ? item->data(Qt::UserRole) : QVariant();
    }
    void Append(const QString& text, const QVariant& object) override {
        if (!list_) return;
        auto* item = new QListWidgetItem(text, list_);
        item->setData(Qt::UserRole, object);
    }
    void Assign(const QStringList& texts, const QVariantList& objects) override {
        if (!list_) return;
        const int count = static_cast<int>(texts.size());
        for (int i = 0; i < count; ++i) {
            if (i < list_->count()) {
                list_->item(i)->setText(texts.at(i));
                list_->item(i)->setData(Qt::UserRole, objects.value(i));
            } else {
                Append(texts.at(i), objects.value(i));
            }
        }
        while (list_->count() > count)
            delete list_->takeItem(list_->count() - 1);
    }

private:
    QPointer<QListWidget> list_;
};

// Entries carry their object as the item's data.
class ComboBoxView : public TControlledStrings {
public:
    explicit ComboBoxView(QComboBox* combo) : combo_(combo) {}
    int Count() const override { return combo_ ? combo_->count() : 0; }
    QString String(int index) const override { return combo_ ? combo_->itemText(index) : QString(); }
    QVariant Object(int index) const override { return combo_ ? combo_->itemData(index) : QVariant(); }
    void Append(const QString& text, const QVariant& object) override {
        if (combo_) combo_->addItem(text, object);
    }
    void Assign(const QStringList& texts, const QVariantList& objects) override {
        if (!combo_) return;
        const int count = static_cast<int>(texts.size());
        for (int i = 0; i < count; ++i) {
            if (i < combo_->count()) {
                combo_->setItemText(i, texts.at(i));
                combo_->setItemData(i, objects.value(i));
            } else {
                combo_->addItem(texts.at(i), objects.value(i));
            }
        }
        while (combo_->count() > count)
            combo_->removeItem(combo_->count() - 1);
    }

private:
    QPointer<QComboBox> combo_;
};

} // namespace

// ---- TLangCombo ----

TLangCombo::TLangCombo(QWidget* parent) : TShadowComboBox(parent) {
    setEditable(false);
    setAccessibleName(kChooserName);
    connect(this, &QComboBox::activated, this, &TLangCombo::picked);
}

TLangCombo::~TLangCombo() {
    if (engine_) engine_->SpanClients.UnregisterClient(this);
}

void TLangCombo::SetLingoEngine(TLingoEngine* engine) {
    attach(this, engine_, engine);
}

void TLangCombo::SetStyleCombo(TLangComboStyle style) {
    style_ = style;
    setEditable(false);
}

void TLangCombo::ChangeLangList(const QStringList& languages, const QString& current, const TFlagsList&) {
    refill(this, languages, current, nullptr);
}

void TLangCombo::picked(int index) {
    pickLanguage(this, engine_, index);
}

// ---- TLangFlagsCombo ----

TLangFlagsCombo::TLangFlagsCombo(QWidget* parent) : TShadowComboBoxEx(parent) {
    setEditable(false);
    setIconSize(QSize(16, 16));
    setAccessibleName(kChooserName);
    connect(this, &QComboBox::activated, this, &TLangFlagsCombo::picked);
}

TLangFlagsCombo::~TLangFlagsCombo() {
    if (engine_) engine_->SpanClients.UnregisterClient(this);
}

void TLangFlagsCombo::SetLingoEngine(TLingoEngine* engine) {
    attach(this, engine_, engine);
    if (!engine)
        for (int i = 0; i < count(); ++i)
            setItemIcon(i, QIcon());
}

void TLangFlagsCombo::ChangeLangList(const QStringList& languages, const QString& current,
                                     const TFlagsList& flags) {
    refill(this, languages, current, &flags);
}

void TLangFlagsCombo::picked(int index) {
    pickLanguage(this, engine_, index);
}

// ---- TLingoStrings ----

namespace lingo {
std::unique_ptr<TControlledStrings> ControlledList(QStringList& list) {
    return std::make_unique<StringListView>(list);
}
std::unique_ptr<TControlledStrings> ControlledList(QListWidget* list) {
    return list ? std::make_unique<ListWidgetView>(list) : nullptr;
}
std::unique_ptr<TControlledStrings> ControlledList(QComboBox* combo) {
    return combo ? std::make_unique<ComboBoxView>(combo) : nullptr;
}
} // namespace lingo

TLingoStrings::TLingoStrings(std::unique_ptr<TControlledStrings> controlled, TLexicon* lexicon) {
    if (!controlled) throw std::invalid_argument("ControlledStrings must be assigned!");
    if (!lexicon) throw std::invalid_argument("Lexicon must be assigned!");
    controlled_ = std::move(controlled);
    lexicon_ = lexicon;
    for (int i = 0; i < controlled_->Count(); ++i) {
        lines_.append(controlled_->String(i));
        objects_.append(controlled_->Object(i));
    }
    lexicon->AddSlave(this);
    // Lines taken over with links in them must not show the raw links until
    // the first switch.
    Translate();
}

TLingoStrings::~TLingoStrings() {
    if (lexicon_) lexicon_->RemoveSlave(this);
}

QString TLingoStrings::complete(const QString& line) const {
    return completeLinks(line, lexicon_);
}

int TLingoStrings::AddObject(const QString& text, const QVariant& object) {
    lines_.append(text);
    objects_.append(object);
    controlled_->Append(complete(text), object);
    return Count() - 1;
}

void TLingoStrings::InsertObject(int index, const QString& text, const QVariant& object) {
    if (index < 0 || index > Count()) return;
    lines_.insert(index, text);
    objects_.insert(index, object);
    Translate();
}

void TLingoStrings::Delete(int index) {
    if (index < 0 || index >= Count()) return;
    lines_.removeAt(index);
    objects_.removeAt(index);
    Translate();
}

void TLingoStrings::Exchange(int index1, int index2) {
    if (index1 < 0 || index1 >= Count() || index2 < 0 || index2 >= Count()) return;
    lines_.swapItemsAt(index1, index2);
    objects_.swapItemsAt(index1, index2);
    Translate();
}

void TLingoStrings::Clear() {
    lines_.clear();
    objects_.clear();
    controlled_->Assign({}, {});
}

void TLingoStrings::CustomSort(const SortCompare& compare) {
    if (!compare) return;
    std::vector<int> order(static_cast<size_t>(Count()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return compare(*this, a, b) < 0; });
    QStringList lines;
    QVariantList objects;
    for (int i : order) {
        lines.append(lines_.at(i));
        objects.append(objects_.at(i));
    }
    lines_ = std::move(lines);
    objects_ = std::move(objects);
    Translate();
}

void TLingoStrings::Translate() {
    QStringList shown;
    shown.reserve(lines_.size());
    for (const QString& line : lines_)
        shown.append(complete(line));
    controlled_->Assign(shown, objects_);
}

// ---- TLingoRichEdit ----

TLingoRichEdit::TLingoRichEdit(QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    setLineWrapMode(QTextEdit::NoWrap);
    setUndoRedoEnabled(false);
    applyAutoFont();
}

TLingoRichEdit::~TLingoRichEdit() {
    if (lexicon_) lexicon_->RemoveSlave(this);
}

void TLingoRichEdit::SetAssignedLexicon(TLexicon* lexicon) {
    if (lexicon_ != lexicon) {
        if (lexicon_) lexicon_->RemoveSlave(this);
        lexicon_ = lexicon;
        if (lexicon) lexicon->AddSlave(this);
    }
    Translate();
}

void TLingoRichEdit::SetAutoFont(bool on) {
    if (autoFont_ == on) return;
    autoFont_ = on;
    applyAutoFont();
    Translate();
}

// Font merging is what picks other fonts for characters the chosen one lacks.
void TLingoRichEdit::applyAutoFont() {
    QFont font = document()->defaultFont();
    font.setStyleStrategy(autoFont_ ? QFont::PreferDefault : QFont::NoFontMerging);
    document()->setDefaultFont(font);
}

int TLingoRichEdit::SetStyle(uint8_t style, int size, uint32_t color, const QString& fontName, int charset,
                             int pitch, int styleIndex) {
    TLMStringStyle s;
    s.Color = color;
    s.Font = fontName;
    s.Charset = charset;
    s.Style = style;
    s.Size = size;
    s.Pitch = pitch;
    if (styleIndex < 0) {
        styles_.push_back(s);
        return StylesCount() - 1;
    }
    if (styleIndex >= StylesCount()) styles_.resize(static_cast<size_t>(styleIndex) + 1);
    styles_[static_cast<size_t>(styleIndex)] = s;
    return styleIndex;
}

void TLingoRichEdit::AssignStyles(const TLMStringStyles& styles) {
    styles_ = styles;
    Translate();
}

void TLingoRichEdit::ClearStyles() {
    styles_.clear();
}

QString TLingoRichEdit::Format(const QString& text, int styleIndex) {
    if (styleIndex < 0) return text;
    return QString(kMarkStart) + u'#' + QString::number(styleIndex) + u';' + text + kMarkStart + u';';
}

void TLingoRichEdit::Write(const QString& text, int styleIndex) {
    lines_.last() += Format(text, styleIndex);
    renderLine(LinesCount() - 1);
}

void TLingoRichEdit::WriteLn(const QString& text, int styleIndex) {
    Write(text, styleIndex);
    NextLine();
}

void TLingoRichEdit::NextLine() {
    lines_.append(QString());
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
}

void TLingoRichEdit::Clear() {
    lines_ = QStringList{QString()};
    clear();
    applyAutoFont();
}

QString TLingoRichEdit::ReadLineText(int lineIndex) const {
    if (lineIndex < 0 || lineIndex >= LinesCount()) return {};
    return document()->findBlockByNumber(lineIndex).text();
}

QString TLingoRichEdit::ReadLineFText(int lineIndex) const {
    return lines_.value(lineIndex);
}

void TLingoRichEdit::DeleteLine(int lineIndex) {
    const int count = LinesCount();
    if (lineIndex < 0 || lineIndex >= count) return;
    if (count == 1) {
        lines_[0].clear();
        renderLine(0);
        return;
    }
    lines_.removeAt(lineIndex);
    const QTextBlock block = document()->findBlockByNumber(lineIndex);
    QTextCursor cursor(document());
    if (lineIndex < count - 1) {
        // The line and the break after it.
        cursor.setPosition(block.position());
        cursor.setPosition(block.next().position(), QTextCursor::KeepAnchor);
    } else {
        // The last line and the break before it.
        const QTextBlock previous = block.previous();
        cursor.setPosition(previous.position() + previous.length() - 1);
        cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
    }
    cursor.removeSelectedText();
}

void TLingoRichEdit::RewriteLine(int lineIndex, const QString& text, int styleIndex) {
    if (lineIndex < 0 || lineIndex >= LinesCount()) return;
    lines_[lineIndex] = Format(text, styleIndex);
    renderLine(lineIndex);
}

void TLingoRichEdit::InsertLine(int lineIndex, const QString& text, int styleIndex) {
    const int count = LinesCount();
    if (lineIndex < 0 || lineIndex > count) return;
    lines_.insert(lineIndex, Format(text, styleIndex));
    QTextCursor cursor(document());
    if (lineIndex == count) {
        cursor.movePosition(QTextCursor::End);
    } else {
        // Splitting at the start of the line leaves an empty line in its place.
        cursor.setPosition(document()->findBlockByNumber(lineIndex).position());
    }
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    renderLine(lineIndex);
}

QString TLingoRichEdit::GetLink(int index) const {
    if (lexicon_) return lexicon_->GetLink(index);
    return QString(kLinkStart) + u'#' + QString::number(index) + u';';
}

namespace {
QTextCharFormat charFormat(const TLMStringStyles& styles, int index, bool autoFont) {
    QTextCharFormat f;
    f.setFontStyleStrategy(autoFont ? QFont::PreferDefault : QFont::NoFontMerging);
    if (index < 0 || index >= static_cast<int>(styles.size())) return f;
    const TLMStringStyle& s = styles[static_cast<size_t>(index)];
    if (s.Color != TLMStringStyle::DefaultColor) f.setForeground(QColor::fromRgb(s.Color & 0xFFFFFFu));
    if (!s.Font.isEmpty()) f.setFontFamilies(QStringList{s.Font});
    if (s.Style & TLMStringStyle::fsBold) f.setFontWeight(QFont::Bold);
    if (s.Style & TLMStringStyle::fsItalic) f.setFontItalic(true);
    if (s.Style & TLMStringStyle::fsUnderline) f.setFontUnderline(true);
    if (s.Style & TLMStringStyle::fsStrikeOut) f.setFontStrikeOut(true);
    if (s.Size > 0) f.setFontPointSize(s.Size);
    if (s.Pitch == TLMStringStyle::fpFixed) f.setFontFixedPitch(true);
    return f;
}
} // namespace

void TLingoRichEdit::renderLine(int lineIndex) {
    const QTextBlock block = document()->findBlockByNumber(lineIndex);
    if (!block.isValid()) return;
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    for (const Piece& p : parseLine(lines_.at(lineIndex), lexicon_, true))
        cursor.insertText(p.text, charFormat(styles_, p.style, autoFont_));
}

void TLingoRichEdit::Translate() {
    clear();
    applyAutoFont();
    QTextCursor cursor(document());
    for (int i = 0; i < LinesCount(); ++i) {
        if (i > 0) cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
        for (const Piece& p : parseLine(lines_.at(i), lexicon_, true))
            cursor.insertText(p.text, charFormat(styles_, p.style, autoFont_));
    }
}

bool TLingoRichEdit::SaveToStream(QIODevice& stream, std::optional<TLFEncoding> encoding) const {
    QString text;
    for (const QString& line : lines_)
        text += line + u'\n';
    const QByteArray bytes = encoding ? lingo::EncodeLanguageText(text, *encoding) : text.toUtf8();
    return stream.write(bytes) == bytes.size();
}

bool TLingoRichEdit::LoadFromStream(QIODevice& stream) {
    const QByteArray bytes = stream.readAll();
    lines_ = lingo::SplitLines(lingo::DecodeLanguageText(bytes));
    if (lines_.isEmpty()) lines_.append(QString());
    Translate();
    return true;
}

bool TLingoRichEdit::SaveToFile(const QString& path, std::optional<TLFEncoding> encoding) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (!SaveToStream(file, encoding)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool TLingoRichEdit::LoadFromFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    return LoadFromStream(file);
}

// ---- TValuedLabel ----

TValuedLabel::TValuedLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    rebuild();
}

void TValuedLabel::SetValue(const QString& value) {
    value_ = value;
    rebuild();
}

void TValuedLabel::SetValueName(const QString& name) {
    valueName_ = name;
    rebuild();
}

void TValuedLabel::SetValueSeparator(const QString& separator) {
    separator_ = separator;
    rebuild();
}

void TValuedLabel::SetValueSpaces(uint8_t spaces) {
    spaces_ = spaces;
    rebuild();
}

void TValuedLabel::rebuild() {
    setText(valueName_ + separator_ + QString(spaces_, u' ') + value_);
}
