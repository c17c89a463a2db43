// Language files on any bytes: nothing may crash, and a language that was read
// must read back the same after it is written (in the encoding the input's
// length picks), for the editor and not.
#include "lingo/LingoSys.h"

#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

const QString kSignatureLine = QStringLiteral("[YOX_]");

// What a file can carry of an entry: an untranslated entry's text is not written.
std::vector<TStructLine> carried(const TComponentStructure& data) {
    std::vector<TStructLine> out;
    for (int i = 0; i < data.Count(); ++i) {
        TStructLine l = data.GetLine(i);
        if (!(l.Changeable & TStructLine::Translated)) l.Text.clear();
        out.push_back(l);
    }
    return out;
}

// Lexicons with their defined non-empty items; a lexicon without any is not written.
std::vector<std::pair<QString, std::vector<std::pair<int, QString>>>> carried(const TLexiconData& lex) {
    std::vector<std::pair<QString, std::vector<std::pair<int, QString>>>> out;
    for (int p = 0; p < lex.LexiconCount(); ++p) {
        const TIndexedItems* items = lex.Lexicon(p);
        std::vector<std::pair<int, QString>> defined;
        for (int n = 0; n <= items->MaxIndex(); ++n)
            if (items->IsIncluded(n) && !items->Get(n).isEmpty()) defined.emplace_back(n, items->Get(n));
        if (!defined.empty()) out.emplace_back(lex.LexiconName(p), std::move(defined));
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QStringList lines = lingo::SplitLines(lingo::DecodeLanguageText(bytes));
    QByteArray headerFlag;
    const QString name = lingo::ReadFileHeader(bytes, kSignatureLine, &headerFlag);
    (void)lingo::ReadFileHeader(bytes, kSignatureLine, nullptr);
    if (headerFlag.size() > lingo::MaxFlagBytes) std::abort();
    (void)lingo::DecodeLanguageText(lingo::EncodeLanguageText(lingo::DecodeLanguageText(bytes), TLFEncoding::ANSI));

    static const TLFEncoding encodings[] = {TLFEncoding::Unicode, TLFEncoding::BigEndianUnicode, TLFEncoding::UTF8};
    const TLFEncoding encoding = encodings[size % 3];
    for (const bool editor : {false, true}) {
        lingo::ReadOptions options;
        options.signatureLine = kSignatureLine;
        options.forEditor = editor;
        options.markObsolete = editor;
        options.loadSuperior = [](const QString&) {};
        options.isRegistered = [](const QString& owner, const QString& component) {
            return (owner.size() + component.size()) % 2 == 0;
        };
        TComponentStructure first;
        TLexiconData firstLex;
        QByteArray flag;
        QString error;
        if (!lingo::ReadLanguage(lines, name, options, first, firstLex, &flag, &error)) {
            if (error.isEmpty()) std::abort(); // a failure says why
            continue;
        }
        if (!editor && !flag.isEmpty()) std::abort();

        const QByteArray written = lingo::WriteLanguage("YOX_", name, {}, first, firstLex, flag, encoding);
        QByteArray writtenFlag;
        // The scan only knows a language by a name that is not empty, and only then looks for its flag.
        if (lingo::ReadFileHeader(written, kSignatureLine, &writtenFlag) != name) std::abort();
        if (!name.isEmpty() && writtenFlag != flag) std::abort();
        TComponentStructure again;
        TLexiconData againLex;
        QByteArray againFlag;
        if (!lingo::ReadLanguage(lingo::SplitLines(lingo::DecodeLanguageText(written)), name, options, again, againLex,
                                 &againFlag, &error))
            std::abort();
        if (carried(again) != carried(first) || carried(againLex) != carried(firstLex) || againFlag != flag)
            std::abort();
    }
    return 0;
}
