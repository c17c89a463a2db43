#pragma once
#include "lingo/LingoComp.h"

#include <QObject>
#include <QString>

// The application's non-visual objects: the language engine and the lexicon
// of the texts that program code shows (message boxes, the mode label).
class TDataModule1 : public QObject {
    Q_OBJECT
public:
    explicit TDataModule1(QObject* parent = nullptr);
    TLingoEngine* LingoEngine1 = nullptr;
    TDesignedLexicon* DesignedLexicon1 = nullptr;
    // The settings dialog's messages and field names (item n: the n-th of SettingsCheckTexts()).
    TProgrammableLexicon* SettingsTexts = nullptr;
};

// The application's data module, created on first use and kept for the run.
TDataModule1& DataModule1();

// Item numbers of DesignedLexicon1.
namespace Lexicon {
inline constexpr int LogSendSuccessful = 0;
inline constexpr int LogNotSend = 1;
inline constexpr int PortBlockedBefore = 2;
inline constexpr int PortBlockedAfter = 3;
inline constexpr int PortCollisions = 4;
inline constexpr int SipServerMode = 5;
inline constexpr int P2PMode = 6;
} // namespace Lexicon

// DesignedLexicon1's item n in the current language (empty text for an unknown n).
QString LexiconItem(int n);

// The language the configuration should hold: the current one, or the one
// whose file failed to read while the design texts are shown instead.
QString ConfiguredLanguage();
