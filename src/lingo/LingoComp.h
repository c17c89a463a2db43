#pragma once
#include <QObject>
#include <QString>
#include <QStringList>

// A lexicon whose numbered texts were typed in when the window was designed.
// Program code asks it for item n and gets that item's text. Items are
// numbered from 0 in list order; a number outside the list gives empty text,
// so a caller's slip never brings the console down.
class TDesignedLexicon : public QObject {
    Q_OBJECT
public:
    explicit TDesignedLexicon(QObject* owner = nullptr) : QObject(owner) {}

    void SetItems(const QStringList& items) { items_ = items; }
    const QStringList& Items() const { return items_; }

    QString GetItem(int n) const;
    int MaxItemIndex() const { return static_cast<int>(items_.size()) - 1; }
    bool IsDefined(int n) const { return n >= 0 && n < items_.size(); }
    // Appends an item; the result is its number.
    int CreateItem(const QString& text);

private:
    QStringList items_;
};
