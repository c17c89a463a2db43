#pragma once
// The language manager: the window in which the desk's staff create a new
// language or correct one while the console runs. It shows, group by group
// (windows and lexicons) and object by object, every recorded text beside
// the reference language's text; the engine writes the file on Save.
#include "lingo/LingoComp.h"

#include <QDialog>
#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QTableWidget>
#include <QToolButton>
#include <functional>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QWidget;

// The flag: a click imports a picture, the context menu (right button or
// the menu key) removes it.
class TFlagImage : public QToolButton {
    Q_OBJECT
public:
    using QToolButton::QToolButton;
    std::function<void()> OnRemove;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
};

// The two-column grid: the property or item, and its translation.
class TLangListEditor : public QTableWidget {
    Q_OBJECT
public:
    using QTableWidget::QTableWidget;
    bool Editing() const { return state() == EditingState; }
    // A cell still being typed in keeps what was typed.
    void CommitEditor();
};

class TLanguageManager : public QDialog {
    Q_OBJECT
public:
    explicit TLanguageManager(TLingoEngine* engine);

    // Before every run: create mode or edit mode, everything emptied.
    void Prepare(bool creating);
    // Shows the window modally (over the window the user works in).
    int ShowModal();

    // What the engine writes after Save: the language box's text and the file.
    QString LanguageName() const;
    QString TargetFile() const { return targetFile_; }

    // ---- what the controls do ----
    // A language picked in the language box (the start of the work).
    void StartLanguage(int index);
    // The create button: checks the new name, asks for the file, begins editing.
    void AddLanguage();
    void SelectGroup(int index);
    void SelectObject(int index);
    // Removes the current object from translation (its rows become "%NOTRANS").
    void Untranslate();
    // To the previous or next object (at the ends: group); toUntranslated
    // repeats until an object with an untranslated or obsolete row.
    void Navigate(bool forward, bool toUntranslated);
    void ImportFlag();
    void RemoveFlag();
    // Save: closes with OK.
    void Finish();

    // The screen's work into WorkStruct / WorkLexicon (before every change and
    // before Save), and the work into the engine's stores (before every group
    // change and before the file is written).
    void StoreWork(bool untranslate);
    void MergeWork();

    // A grid row's marker.
    enum class Marker { None, Untranslated, Translated, Obsolete, NoReference };
    Marker RowMarker(int row) const;
    static QColor MarkerColour(Marker marker);
    // What the grid's left column shows for a property and an item address
    // ("Caption", "Items.Item[3]", "Panels[3].Text").
    static QString PropertyPath(uint16_t code, const QString& itemAddr);
    // The pictures of the choosers' "> Add <" (0) and "> Edit <" (1) entries
    // and of a language without a flag (2).
    static QImage MenuIcon(int index);

    // Choices made in other windows: file dialogs and message boxes unless replaced.
    std::function<QString(const QString& folder, const QString& suggested)> ChooseLanguageFile;
    std::function<QString()> ChoosePicture;
    std::function<bool(const QString& question)> Ask;
    std::function<void(const QString& text, QMessageBox::Icon icon)> Tell;

    // ---- controls ----
    QLabel *LLanguage, *LRefLangLabel, *LRefLang, *LRefTextLabel, *LRefText, *LGroup, *LObject, *LItem;
    QComboBox *LangCombo, *GroupCombo, *ObjectCombo;
    QPushButton *AddLangButton, *FinishBtn, *DontTransBtn;
    QToolButton *ILeft, *IRight;
    TFlagImage* FlagImage;
    QWidget* LangFilesPanel;
    TLangListEditor* LangListEditor;

    // ---- state ----
    TComponentStructure WorkStruct;
    TIndexedItems WorkLexicon{QStringLiteral("Temp lexicon")};
    // Grid row -> row of WorkStruct (item number in lexicon mode); grid row
    // -> row of the reference structure (-1 when it has none).
    std::vector<int> WorkIndexes, SourceIndexes;
    QString SuperiorLanguage;
    bool EditMode = false, LexiconMode = false, LingoLangVisible = false, LangModify = false;
    int CurrentGroup = -1, CurrentObject = -1;

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Stage { Choosing, Naming, Editing };
    QString text(int item) const;
    void setCaptions();
    void fillGroups();
    void beginEditing();
    void rebuildObjects();
    void fillGrid();
    void showFlag();
    bool hasUntranslated() const;
    void cellChanged(QTableWidgetItem* item);
    void markerText(int row);
    void rowSelected();
    void tell(const QString& text, QMessageBox::Icon icon);
    bool ask(const QString& question);
    TLexicon* groupLexicon(int group) const;
    TLingoClient* groupClient(int group) const;

    TLingoEngine* engine_;
    Stage stage_ = Stage::Choosing;
    // Language box entry -> position in the engine's list.
    std::vector<int> positions_;
    QString targetFile_;
    // Group position -> translation client or lexicon.
    std::vector<QPointer<QObject>> ClientGroups;
};
