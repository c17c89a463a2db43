#pragma once
// What a read left in the stores, in a form that compares and prints whole.
#include "lingo/LingoSys.h"

#include <ostream>
#include <utility>
#include <vector>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const TStructLine& l, std::ostream* os) {
    *os << "{" << l.Name.toStdString() << "/" << l.Parent.toStdString() << " code " << l.Properties << " item \""
        << l.ItemAddr.toStdString() << "\" \"" << l.Text.toStdString() << "\" flags " << l.Changeable << "}";
}

namespace lingotest {

inline const QString kSignature = QStringLiteral("[YOX_]");

inline std::vector<TStructLine> entries(const TComponentStructure& data) {
    std::vector<TStructLine> out;
    for (int i = 0; i < data.Count(); ++i) out.push_back(data.GetLine(i));
    return out;
}

// Lexicon name -> its defined items with text, ascending (what a file can carry).
using Items = std::vector<std::pair<int, QString>>;
using Lexicons = std::vector<std::pair<QString, Items>>;
inline Lexicons lexicons(const TLexiconData& data) {
    Lexicons out;
    for (int p = 0; p < data.LexiconCount(); ++p) {
        const TIndexedItems* lex = data.Lexicon(p);
        Items items;
        for (int n = 0; n <= lex->MaxIndex(); ++n)
            if (lex->IsIncluded(n) && !lex->Get(n).isEmpty()) items.emplace_back(n, lex->Get(n));
        out.emplace_back(data.LexiconName(p), items);
    }
    return out;
}

inline TStructLine entry(const char* name, const char* owner, const QString& text, uint16_t code, const char* item,
                         uint16_t flags) {
    return TStructLine{QString::fromUtf8(name), QString::fromUtf8(owner), text, code, QString::fromUtf8(item), flags};
}

} // namespace lingotest
