#include "app/DataModule.h"

TDataModule1::TDataModule1(QObject* parent) : QObject(parent) {
    setObjectName("DataModule1");
    DesignedLexicon1 = new TDesignedLexicon(this);
    DesignedLexicon1->setObjectName("DesignedLexicon1");
    // Item 2 ends with a blank and item 3 begins with one: the blocking
    // program's name goes between them.
    DesignedLexicon1->SetItems({
        "Log send successful",
        "Log not send, check your internet connection",
        "Could not start UDP transport on port 5060 (Voice). Blocking program is: ",
        " Please stop this program.",
        "Some collisions on SIP audio port 5060",
        "SIP Server Mode",
        "P2P Mode",
    });
}

TDataModule1& DataModule1() {
    static TDataModule1* module = new TDataModule1(); // lives for the run
    return *module;
}

QString LexiconItem(int n) {
    return DataModule1().DesignedLexicon1->GetItem(n);
}
