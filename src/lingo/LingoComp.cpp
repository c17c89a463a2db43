#include "lingo/LingoComp.h"

QString TDesignedLexicon::GetItem(int n) const {
    return IsDefined(n) ? items_.at(n) : QString();
}

int TDesignedLexicon::CreateItem(const QString& text) {
    items_.append(text);
    return static_cast<int>(items_.size()) - 1;
}
