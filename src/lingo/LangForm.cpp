#include "lingo/LangForm.h"

#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// A picture file larger than this, or a picture with more pixels, is
// refused before it is decoded: a flag is 16 x 16.
constexpr qint64 MaxPictureFileBytes = qint64{16} << 20;
constexpr qint64 MaxPicturePixels = qint64{4096} * 4096;

constexpr int RefRole = Qt::UserRole;          // the row's reference text (column 0)
constexpr int ObsoleteRole = Qt::UserRole + 1; // the row is obsolete (column 0)
constexpr int StoredRole = Qt::UserRole + 2;   // the text the row held when shown (column 0)

// Paints the marker square at the right edge of the left column's cells.
class MarkerDelegate : public QStyledItemDelegate {
public:
    explicit MarkerDelegate(TLanguageManager* manager) : QStyledItemDelegate(manager), manager_(manager) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        if (index.column() != 0) return;
        const auto marker = manager_->RowMarker(index.row());
        if (marker == TLanguageManager::Marker::None) return;
        const QRect r = option.rect;
        // From 9 to 4 pixels inside the right border, 4 pixels inside top and bottom.
        const QRect square(QPoint(r.right() - 9, r.top() + 4), QPoint(r.right() - 4, r.bottom() - 4));
        painter->fillRect(square, TLanguageManager::MarkerColour(marker));
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor)) line->setAccessibleName(index.data().toString());
        return editor;
    }

private:
    TLanguageManager* manager_;
};

} // namespace

QImage TLanguageManager::MenuIcon(int index) {
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    if (index == 0) { // "> Add <": a green plus
        p.fillRect(QRect(7, 2, 3, 12), QColor(0x20, 0x90, 0x20));
        p.fillRect(QRect(2, 7, 12, 3), QColor(0x20, 0x90, 0x20));
    } else if (index == 1) { // "> Edit <": a pencil
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(0xC0, 0x80, 0x10), 3));
        p.drawLine(QPointF(4, 12), QPointF(12, 4));
        p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
        p.drawLine(QPointF(2, 14), QPointF(4, 12));
    } else { // no flag: an empty white flag on a pole
        p.setPen(QColor(0x60, 0x60, 0x60));
        p.drawLine(2, 1, 2, 15);
        p.fillRect(QRect(3, 2, 11, 8), Qt::white);
        p.drawRect(QRect(3, 2, 10, 7));
    }
    return icon;
}

void TLangListEditor::CommitEditor() {
    if (!Editing()) return;
    if (QWidget* editor = indexWidget(currentIndex())) commitData(editor);
}

void TFlagImage::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    if (OnRemove) OnRemove();
}

TLanguageManager::TLanguageManager(TLingoEngine* engine) : engine_(engine) {
    setObjectName(QStringLiteral("LanguageMngForm"));
    setModal(true);
    resize(720, 520);

    LLanguage = new QLabel(this);
    LangCombo = new QComboBox(this);
    LangCombo->setObjectName(QStringLiteral("LangCombo"));
    LangCombo->setInsertPolicy(QComboBox::NoInsert);
    LangCombo->setMinimumContentsLength(20);
    AddLangButton = new QPushButton(QStringLiteral("+"), this);
    AddLangButton->setObjectName(QStringLiteral("AddLangButton"));
    FlagImage = new TFlagImage(this);
    FlagImage->setObjectName(QStringLiteral("FlagImage"));
    FlagImage->setIconSize(QSize(32, 32));
    FlagImage->setAutoRaise(true);
    FinishBtn = new QPushButton(this);
    FinishBtn->setObjectName(QStringLiteral("FinishBtn"));

    LangFilesPanel = new QWidget(this);
    LangFilesPanel->setObjectName(QStringLiteral("LangFilesPanel"));
    LRefLangLabel = new QLabel(LangFilesPanel);
    LRefLang = new QLabel(LangFilesPanel);
    LGroup = new QLabel(LangFilesPanel);
    GroupCombo = new QComboBox(LangFilesPanel);
    GroupCombo->setObjectName(QStringLiteral("GroupCombo"));
    LObject = new QLabel(LangFilesPanel);
    ObjectCombo = new QComboBox(LangFilesPanel);
    ObjectCombo->setObjectName(QStringLiteral("ObjectCombo"));
    ObjectCombo->setMinimumContentsLength(18);
    ILeft = new QToolButton(LangFilesPanel);
    ILeft->setObjectName(QStringLiteral("ILeft"));
    ILeft->setArrowType(Qt::LeftArrow);
    LItem = new QLabel(LangFilesPanel);
    LItem->setObjectName(QStringLiteral("LItem"));
    IRight = new QToolButton(LangFilesPanel);
    IRight->setObjectName(QStringLiteral("IRight"));
    IRight->setArrowType(Qt::RightArrow);
    DontTransBtn = new QPushButton(LangFilesPanel);
    DontTransBtn->setObjectName(QStringLiteral("DontTransBtn"));
    LangListEditor = new TLangListEditor(0, 2, LangFilesPanel);
    LangListEditor->setObjectName(QStringLiteral("LangListEditor"));
    LangListEditor->setItemDelegate(new MarkerDelegate(this));
    LangListEditor->setSelectionBehavior(QAbstractItemView::SelectRows);
    LangListEditor->setSelectionMode(QAbstractItemView::SingleSelection);
    // No editing on a click into a selected cell: it opens after a delay,
    // and what is typed meanwhile would go into an editor that is replaced.
    LangListEditor->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                    QAbstractItemView::AnyKeyPressed);
    LangListEditor->verticalHeader()->hide();
    // The left column's width is the user's (its header edge is the splitter).
    LangListEditor->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Interactive);
    LangListEditor->horizontalHeader()->setStretchLastSection(true);
    LangListEditor->setColumnWidth(0, 220);
    LangListEditor->installEventFilter(this);
    LRefTextLabel = new QLabel(LangFilesPanel);
    LRefText = new QLabel(LangFilesPanel);
    LRefText->setObjectName(QStringLiteral("LRefText"));
    LRefText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LRefText->setWordWrap(true);

    for (QPushButton* b : {AddLangButton, FinishBtn, DontTransBtn}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    // On Linux a screen reader names a box by its label.
    LLanguage->setBuddy(LangCombo);
    LGroup->setBuddy(GroupCombo);
    LObject->setBuddy(ObjectCombo);

    auto* top = new QHBoxLayout;
    top->addWidget(LLanguage);
    top->addWidget(LangCombo, 1);
    top->addWidget(AddLangButton);
    top->addWidget(FlagImage);
    top->addStretch();
    top->addWidget(FinishBtn);

    auto* panel = new QGridLayout(LangFilesPanel);
    panel->setContentsMargins(0, 0, 0, 0);
    auto* refRow = new QHBoxLayout;
    refRow->setSpacing(6); // the value 6 pixels right of its label
    refRow->addWidget(LRefLangLabel);
    refRow->addWidget(LRefLang, 1);
    panel->addLayout(refRow, 0, 0, 1, 2);
    auto* groupRow = new QHBoxLayout;
    groupRow->addWidget(LGroup);
    groupRow->addWidget(GroupCombo, 1);
    groupRow->addWidget(LObject);
    groupRow->addWidget(ObjectCombo, 1);
    groupRow->addWidget(ILeft);
    groupRow->addWidget(LItem);
    groupRow->addWidget(IRight);
    groupRow->addWidget(DontTransBtn);
    panel->addLayout(groupRow, 1, 0, 1, 2);
    panel->addWidget(LangListEditor, 2, 0, 1, 2);
    auto* textRow = new QHBoxLayout;
    textRow->setSpacing(6);
    textRow->addWidget(LRefTextLabel, 0, Qt::AlignTop);
    textRow->addWidget(LRefText, 1);
    panel->addLayout(textRow, 3, 0, 1, 2);
    panel->setRowStretch(2, 1);

    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addWidget(LangFilesPanel, 1);

    connect(LangCombo, &QComboBox::activated, this, [this](int index) {
        if (stage_ == Stage::Choosing) StartLanguage(index);
    });
    connect(AddLangButton, &QPushButton::clicked, this, [this] { AddLanguage(); });
    connect(GroupCombo, &QComboBox::activated, this, [this](int index) { SelectGroup(index); });
    connect(ObjectCombo, &QComboBox::activated, this, [this](int index) { SelectObject(index); });
    connect(DontTransBtn, &QPushButton::clicked, this, [this] { Untranslate(); });
    connect(ILeft, &QToolButton::clicked, this,
            [this] { Navigate(false, QApplication::keyboardModifiers() & Qt::ShiftModifier); });
    connect(IRight, &QToolButton::clicked, this,
            [this] { Navigate(true, QApplication::keyboardModifiers() & Qt::ShiftModifier); });
    connect(FlagImage, &QToolButton::clicked, this, [this] { ImportFlag(); });
    FlagImage->OnRemove = [this] { RemoveFlag(); };
    connect(FinishBtn, &QPushButton::clicked, this, [this] { Finish(); });
    connect(LangListEditor, &QTableWidget::itemChanged, this,
            [this](QTableWidgetItem* item) { cellChanged(item); });
    connect(LangListEditor, &QTableWidget::itemSelectionChanged, this, [this] { rowSelected(); });

    Prepare(false);
}

QString TLanguageManager::text(int item) const {
    return engine_->LangFormLexicon->GetItem(item);
}

void TLanguageManager::tell(const QString& message, QMessageBox::Icon icon) {
    if (Tell) {
        Tell(message, icon);
        return;
    }
    QMessageBox box(icon, windowTitle(), message, QMessageBox::Ok, this);
    box.exec();
}

bool TLanguageManager::ask(const QString& question) {
    if (Ask) return Ask(question);
    return QMessageBox::question(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void TLanguageManager::setCaptions() {
    using namespace LangFormItem;
    setWindowTitle(text(ManagerTitle));
    LLanguage->setText(text(EditMode ? Language : ChooseSource) + QLatin1Char(':'));
    LangCombo->setAccessibleName(text(Language));
    LRefLangLabel->setText(text(SourceLanguage) + QStringLiteral(" :"));
    LRefLang->clear();
    LRefTextLabel->setText(text(SourceString) + QStringLiteral(" :"));
    LRefText->clear();
    LRefText->setAccessibleName(text(SourceString));
    LangListEditor->setHorizontalHeaderLabels({text(PropertyItem), text(Translation)});
    LangListEditor->setAccessibleName(text(Translation));
    DontTransBtn->setText(text(LangFormItem::Untranslate));
    DontTransBtn->setToolTip(text(UntranslateHint));
    LGroup->setText(text(Group) + QLatin1Char(':'));
    LObject->setText(text(Object) + QLatin1Char(':'));
    GroupCombo->setAccessibleName(text(Group));
    GroupCombo->setToolTip(text(GroupHint));
    ObjectCombo->setAccessibleName(text(Object));
    AddLangButton->setToolTip(text(CreateHint));
    AddLangButton->setAccessibleName(text(CreateHint));
    ILeft->setToolTip(text(BackHint));
    ILeft->setAccessibleName(text(BackHint));
    IRight->setToolTip(text(NextHint));
    IRight->setAccessibleName(text(NextHint));
    FlagImage->setToolTip(text(FlagHint));
    FlagImage->setAccessibleName(text(FlagHint));
    FinishBtn->setText(text(Save));
    LItem->setText(QStringLiteral("-/-"));
}

void TLanguageManager::Prepare(bool creating) {
    EditMode = !creating;
    stage_ = Stage::Choosing;
    CurrentGroup = CurrentObject = -1;
    LingoLangVisible = false;
    LexiconMode = false;
    LangModify = false;
    SuperiorLanguage.clear();
    targetFile_.clear();
    WorkStruct.Clear();
    WorkLexicon.Clear();
    WorkIndexes.clear();
    SourceIndexes.clear();
    ClientGroups.clear();
    setCaptions();

    const QSignalBlocker block(LangCombo);
    LangCombo->setEditable(false);
    LangCombo->clear();
    positions_.clear();
    const QStringList& languages = engine_->GetLanguagesList();
    for (int p = 0; p < languages.size(); ++p) {
        // Editing: the design language is no file; a file that carries the
        // design language's name can never be chosen by that name either.
        if (EditMode && languages[p].compare(engine_->DesignLanguageName(), Qt::CaseInsensitive) == 0)
            continue;
        const int flag = engine_->Flags.GetImageIndex(p);
        LangCombo->addItem(flag >= 0 ? QIcon(QPixmap::fromImage(engine_->Flags.Image(flag))) : QIcon(),
                           languages[p]);
        positions_.push_back(p);
    }
    LangCombo->setCurrentIndex(-1);
    LangCombo->setEnabled(true);
    AddLangButton->hide();
    FinishBtn->hide();
    FlagImage->hide();
    LangFilesPanel->setEnabled(false);
    DontTransBtn->setEnabled(false);
    {
        const QSignalBlocker b1(GroupCombo), b2(ObjectCombo), b3(LangListEditor);
        GroupCombo->clear();
        ObjectCombo->clear();
        LangListEditor->setRowCount(0);
    }
}

int TLanguageManager::ShowModal() {
    // Over the window the user works in (the settings dialog), so that it
    // stays in front of it.
    QWidget* over = QApplication::activeModalWidget();
    if (!over) over = QApplication::activeWindow();
    if (over != this && over != parentWidget()) setParent(over, Qt::Dialog);
    LangModify = false;
    if (EditMode && LangCombo->count() == 1) {
        LangCombo->setCurrentIndex(0);
        StartLanguage(0);
    }
    return exec();
}

QString TLanguageManager::LanguageName() const {
    return LangCombo->currentText().trimmed();
}

void TLanguageManager::StartLanguage(int index) {
    if (index < 0 || index >= static_cast<int>(positions_.size())) return;
    const int p = positions_[index];
    const QString name = engine_->GetLanguagesList().value(p);
    if (EditMode) {
        if (!QFileInfo(engine_->GetLangFilesList().value(p)).isFile() &&
            !engine_->ExtractResourceLanguage(p)) {
            QDialog::reject();
            return;
        }
        engine_->RefStruct.Clear();
        engine_->RefLexicon.Clear();
        engine_->EditorSuperior.clear();
        if (!engine_->LoadLanguage(name, true, QString(), true)) {
            tell(text(LangFormItem::ReadError), QMessageBox::Critical);
            LangCombo->setCurrentIndex(-1);
            return;
        }
        SuperiorLanguage = engine_->EditorSuperior;
        targetFile_ = engine_->GetLangFilesList().value(p);
        LangCombo->setEnabled(false);
        fillGroups();
        beginEditing();
        return;
    }
    if (!engine_->LoadLanguage(name, false, QString(), false)) {
        tell(text(LangFormItem::ReadError), QMessageBox::Critical);
        LangCombo->setCurrentIndex(-1);
        return;
    }
    LLanguage->setText(text(LangFormItem::NewName) + QLatin1Char(':'));
    engine_->MakeReferenceCopy();
    engine_->FlagStream.clear();
    SuperiorLanguage = name;
    stage_ = Stage::Naming;
    {
        const QSignalBlocker block(LangCombo);
        LangCombo->setEditable(true);
        LangCombo->setInsertPolicy(QComboBox::NoInsert);
        LangCombo->setCurrentIndex(-1);
        LangCombo->setEditText(QString());
    }
    LangCombo->lineEdit()->setAccessibleName(text(LangFormItem::NewName));
    // The box's line edit is new each time the box turns editable.
    connect(LangCombo->lineEdit(), &QLineEdit::returnPressed, this, [this] {
        if (stage_ == Stage::Naming) AddLanguage();
    });
    AddLangButton->show();
    LangCombo->setFocus();
}

void TLanguageManager::AddLanguage() {
    if (stage_ != Stage::Naming) return;
    const QString name = LanguageName();
    if (name.isEmpty()) {
        tell(text(LangFormItem::EmptyName), QMessageBox::Warning);
        return;
    }
    // The name stands in the file's header between double quotes and is
    // listed by it: these characters would break the header or the list.
    static const QString bad = QStringLiteral("\";\t\r\n");
    if (std::any_of(name.begin(), name.end(),
                    [](QChar c) { return bad.contains(c) || c.category() == QChar::Other_Control; })) {
        tell(text(LangFormItem::BadNameCharacters), QMessageBox::Warning);
        return;
    }
    if (engine_->GetLanguagesList().contains(name, Qt::CaseInsensitive) || name == text(LangFormItem::Add) ||
        name == text(LangFormItem::Edit)) {
        tell(name + QLatin1Char(' ') + text(LangFormItem::AlreadyExists), QMessageBox::Warning);
        return;
    }
    if (!engine_->CheckLangDir()) {
        QDialog::reject();
        return;
    }
    const QString extension = engine_->LangFileExtension();
    QString chosen;
    if (ChooseLanguageFile) {
        chosen = ChooseLanguageFile(engine_->LangDir(), name + extension);
    } else {
        QFileDialog dialog(this, text(LangFormItem::NewFileName), engine_->LangDir());
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setNameFilter(QLatin1Char('[') + text(LangFormItem::LanguageFiles) + QStringLiteral(" *") +
                             extension.toLower() + QStringLiteral("] (*") + extension.toLower() +
                             QLatin1Char(')'));
        dialog.setDefaultSuffix(extension.mid(1));
        dialog.selectFile(name + extension);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().constFirst();
    }
    if (chosen.isEmpty()) return;
    // The file goes into the language folder, and with the extension the
    // folder is scanned for, so that the new language is listed.
    QString fileName = QFileInfo(chosen).fileName();
    if (fileName.isEmpty()) return;
    if (!fileName.endsWith(extension, Qt::CaseInsensitive)) fileName += extension;
    targetFile_ = engine_->LangDir() + fileName;

    LLanguage->setText(text(LangFormItem::Language) + QLatin1Char(':'));
    LangCombo->setEnabled(false);
    stage_ = Stage::Editing;
    fillGroups();
    beginEditing();
}

TLexicon* TLanguageManager::groupLexicon(int group) const {
    if (group < 0 || group >= static_cast<int>(ClientGroups.size())) return nullptr;
    return qobject_cast<TLexicon*>(ClientGroups[group].data());
}

TLingoClient* TLanguageManager::groupClient(int group) const {
    if (group < 0 || group >= static_cast<int>(ClientGroups.size())) return nullptr;
    return qobject_cast<TLingoClient*>(ClientGroups[group].data());
}

void TLanguageManager::fillGroups() {
    ClientGroups.clear();
    const QSignalBlocker block(GroupCombo);
    GroupCombo->clear();
    for (QObject* o : engine_->SpanClients.Components()) {
        if (o == engine_->LangFormLexicon) continue;
        if (auto* client = qobject_cast<TLingoClient*>(o)) {
            if (!client->ParentControl()) continue;
            ClientGroups.emplace_back(o);
            GroupCombo->addItem(client->ParentControl()->objectName());
        } else if (auto* lexicon = qobject_cast<TLexicon*>(o)) {
            ClientGroups.emplace_back(o);
            GroupCombo->addItem(lexicon->Key());
        }
    }
    LingoLangVisible = engine_->TranslateLingo && TLingoEngine::BuiltInLanguageOf(LanguageName()) == 0;
    if (LingoLangVisible) {
        ClientGroups.emplace_back(engine_->LangFormLexicon);
        GroupCombo->addItem(engine_->LangFormLexicon->Key());
    }
    GroupCombo->setCurrentIndex(-1);
}

void TLanguageManager::beginEditing() {
    stage_ = Stage::Editing;
    AddLangButton->hide();
    LangFilesPanel->setEnabled(true);
    FinishBtn->show();
    LangListEditor->setEnabled(true);
    LRefLang->setText(SuperiorLanguage);
    if (GroupCombo->count() > 0) {
        GroupCombo->setCurrentIndex(0);
        SelectGroup(0);
    }
    showFlag();
    FlagImage->show();
}

void TLanguageManager::showFlag() {
    QImage flag;
    if (!engine_->FlagStream.isEmpty()) flag = QImage::fromData(engine_->FlagStream);
    if (flag.isNull()) flag = MenuIcon(2);
    FlagImage->setIcon(QIcon(QPixmap::fromImage(flag.scaled(32, 32))));
}

void TLanguageManager::SelectGroup(int index) {
    StoreWork(false);
    MergeWork();
    WorkLexicon.Clear();
    WorkStruct.Clear();
    {
        const QSignalBlocker block(GroupCombo);
        GroupCombo->setCurrentIndex(index);
    }
    if (TLexicon* lexicon = groupLexicon(index)) {
        LexiconMode = true;
        const QString key = lexicon->Key();
        for (int n = 0; n <= lexicon->MaxItemIndex() && n <= 65535; ++n) {
            if (!lexicon->IsDefined(n) || lexicon->DesignText(n).isEmpty()) continue;
            QString t = engine_->DataLexicon.ReadItem(key, n);
            if (t.isEmpty()) t = engine_->RefLexicon.ReadItem(key, n);
            if (t.isEmpty()) t = lexicon->DesignText(n);
            WorkLexicon.Write(static_cast<uint16_t>(n), t);
        }
        {
            const QSignalBlocker block(ObjectCombo);
            ObjectCombo->clear();
        }
        ObjectCombo->setEnabled(false);
        LItem->setText(QStringLiteral("-/-"));
        DontTransBtn->setEnabled(false);
        fillGrid();
        return;
    }
    LexiconMode = false;
    ObjectCombo->setEnabled(true);
    if (TLingoClient* client = groupClient(index)) {
        const TComponentStructure& design = client->DesignStruct;
        for (int i = 0; i < design.Count(); ++i) {
            TStructLine line = design.GetLine(i);
            const int d =
                engine_->DataStruct.FindLine(line.Name, line.Parent, line.ItemAddr, line.Properties);
            if (d >= 0) {
                const TStructLine own = engine_->DataStruct.GetLine(d);
                line.Text = own.Text;
                line.Changeable = own.Changeable | TStructLine::ChangedInEditor;
            } else {
                const int s =
                    engine_->RefStruct.FindLine(line.Name, line.Parent, line.ItemAddr, line.Properties);
                if (s >= 0) {
                    const TStructLine ref = engine_->RefStruct.GetLine(s);
                    line.Text = ref.Text;
                    line.Changeable = ref.Changeable;
                }
            }
            WorkStruct.AddLine(line);
        }
    }
    DontTransBtn->setEnabled(true);
    rebuildObjects();
    if (ObjectCombo->count() > 0)
        SelectObject(0);
    else
        fillGrid();
}

void TLanguageManager::rebuildObjects() {
    QStringList objects;
    for (int i = 0; i < WorkStruct.Count(); ++i)
        if ((WorkStruct.Changeable.GetWord(i) & TStructLine::Translated) &&
            !objects.contains(WorkStruct.Names[i]))
            objects.append(WorkStruct.Names[i]);
    objects.sort();
    const QSignalBlocker block(ObjectCombo);
    ObjectCombo->clear();
    ObjectCombo->addItems(objects);
    ObjectCombo->setCurrentIndex(-1);
    DontTransBtn->setEnabled(!objects.isEmpty());
    LItem->setText(QStringLiteral("-/-"));
    ObjectCombo->setToolTip(QString());
}

void TLanguageManager::SelectObject(int index) {
    {
        const QSignalBlocker block(ObjectCombo);
        ObjectCombo->setCurrentIndex(index);
    }
    const int count = ObjectCombo->count();
    LItem->setText(index >= 0 && index < count ? QStringLiteral("%1 / %2").arg(index + 1).arg(count)
                                               : QStringLiteral("-/-"));
    ObjectCombo->setToolTip(ObjectCombo->currentText());
    fillGrid();
}

QString TLanguageManager::PropertyPath(uint16_t code, const QString& itemAddr) {
    QString path = lingo::PropertyDisplayName(code);
    if (itemAddr.isEmpty()) return path;
    TWordList address;
    address.rows = {itemAddr};
    const int levels = address.GetLevel(0) + 1;
    for (int level = 0; level < levels; ++level) {
        const int index = address.GetItemIndex(0, level);
        QString name;
        const int sub = address.GetItemProperty(0, level, &name);
        const QString bracket = index >= 0 ? QStringLiteral("[%1]").arg(index) : QString();
        if (sub == lingo::NamedSubProperty) {
            path += bracket + QLatin1Char('.') + name;
        } else if (sub >= 0) {
            const QString shown = sub >= 512 ? QStringLiteral("Unknown")
                                             : lingo::PropertyDisplayName(static_cast<uint16_t>(sub));
            path += bracket + QLatin1Char('.') + shown;
        } else if (levels > 1) {
            path += bracket;
            if (level == 0) path += QStringLiteral(".Item");
        } else {
            path += QStringLiteral(".Item") + bracket;
        }
    }
    return path;
}

void TLanguageManager::fillGrid() {
    StoreWork(false);
    CurrentGroup = GroupCombo->currentIndex();
    CurrentObject = LexiconMode ? -1 : ObjectCombo->currentIndex();
    const QSignalBlocker block(LangListEditor);
    LangListEditor->setRowCount(0);
    WorkIndexes.clear();
    SourceIndexes.clear();
    LRefText->clear();
    auto addRow = [this](const QString& left, const QString& cell, const QString& ref, bool obsolete) {
        const int row = LangListEditor->rowCount();
        LangListEditor->insertRow(row);
        auto* l = new QTableWidgetItem(left);
        l->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        l->setData(RefRole, ref);
        l->setData(ObsoleteRole, obsolete);
        l->setData(StoredRole, cell);
        LangListEditor->setItem(row, 0, l);
        auto* r = new QTableWidgetItem(cell);
        r->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable);
        LangListEditor->setItem(row, 1, r);
    };
    if (LexiconMode) {
        TLexicon* lexicon = groupLexicon(CurrentGroup);
        const QString key = lexicon ? lexicon->Key() : QString();
        for (int n = 0; n <= WorkLexicon.MaxIndex(); ++n) {
            if (!WorkLexicon.IsIncluded(n)) continue;
            WorkIndexes.push_back(n);
            SourceIndexes.push_back(-1);
            addRow(QStringLiteral("Item[%1]").arg(n), WorkLexicon.Get(n),
                   engine_->RefLexicon.ReadItem(key, n), false);
        }
    } else if (CurrentObject >= 0) {
        const QString object = ObjectCombo->currentText();
        for (int i = 0; i < WorkStruct.Count(); ++i) {
            const TStructLine line = WorkStruct.GetLine(i);
            if (line.Name != object || !(line.Changeable & TStructLine::Translated)) continue;
            const int s = engine_->RefStruct.FindLine(line.Name, line.Parent, line.ItemAddr, line.Properties);
            WorkIndexes.push_back(i);
            SourceIndexes.push_back(s);
            addRow(PropertyPath(line.Properties, line.ItemAddr), line.Text,
                   s >= 0 ? engine_->RefStruct.Text.at(s) : QString(),
                   (line.Changeable & TStructLine::Obsolete) != 0);
        }
    }
    for (int row = 0; row < LangListEditor->rowCount(); ++row)
        markerText(row);
    if (LangListEditor->rowCount() > 0) LangListEditor->selectRow(0);
    rowSelected();
}

void TLanguageManager::markerText(int row) {
    QTableWidgetItem* l = LangListEditor->item(row, 0);
    if (!l) return;
    int item = -1;
    switch (RowMarker(row)) {
    case Marker::Untranslated:
        item = LangFormItem::MarkUntranslated;
        break;
    case Marker::Translated:
        item = LangFormItem::MarkTranslated;
        break;
    case Marker::Obsolete:
        item = LangFormItem::MarkObsolete;
        break;
    case Marker::NoReference:
        item = LangFormItem::MarkNoReference;
        break;
    case Marker::None:
        break;
    }
    const QString meaning = item >= 0 ? text(item) : QString();
    const QSignalBlocker block(LangListEditor);
    l->setData(Qt::ToolTipRole, meaning);
    l->setData(Qt::AccessibleDescriptionRole, meaning);
}

void TLanguageManager::rowSelected() {
    const int row = LangListEditor->currentRow();
    const QTableWidgetItem* l = row >= 0 ? LangListEditor->item(row, 0) : nullptr;
    LRefText->setText(l ? l->data(RefRole).toString() : QString());
}

void TLanguageManager::cellChanged(QTableWidgetItem* item) {
    if (!item || item->column() != 1) return;
    LangModify = true;
    QTableWidgetItem* l = LangListEditor->item(item->row(), 0);
    // An obsolete row is in use again once its text changes.
    if (l && l->data(ObsoleteRole).toBool() && item->text() != l->data(StoredRole).toString()) {
        const QSignalBlocker block(LangListEditor);
        l->setData(ObsoleteRole, false);
    }
    markerText(item->row());
    LangListEditor->viewport()->update();
}

TLanguageManager::Marker TLanguageManager::RowMarker(int row) const {
    const QTableWidgetItem* l = LangListEditor->item(row, 0);
    const QTableWidgetItem* r = LangListEditor->item(row, 1);
    if (!l || !r) return Marker::None;
    const QString ref = l->data(RefRole).toString();
    if (l->data(ObsoleteRole).toBool()) return Marker::Obsolete;
    if (LexiconMode && ref.isEmpty()) return Marker::NoReference;
    return r->text() == ref ? Marker::Untranslated : Marker::Translated;
}

QColor TLanguageManager::MarkerColour(Marker marker) {
    switch (marker) {
    case Marker::Untranslated:
        return QColor(0xFF, 0xFF, 0x00);
    case Marker::Translated:
        return QColor(0x00, 0xFF, 0x00);
    case Marker::Obsolete:
        return QColor(0x00, 0x80, 0x00);
    case Marker::NoReference:
        return QColor(0x00, 0x00, 0x00);
    case Marker::None:
        break;
    }
    return {};
}

void TLanguageManager::StoreWork(bool untranslate) {
    LangListEditor->CommitEditor();
    const int rows = std::min<int>(LangListEditor->rowCount(), static_cast<int>(WorkIndexes.size()));
    if (LexiconMode) {
        if (rows > 0 && CurrentGroup >= 0) {
            for (int row = 0; row < rows; ++row) {
                const auto n = static_cast<uint16_t>(WorkIndexes[row]);
                const QString cell = LangListEditor->item(row, 1)->text();
                const QString ref = LangListEditor->item(row, 0)->data(RefRole).toString();
                // Typing the reference text leaves an item untranslated.
                WorkLexicon.Write(n, cell == ref && cell == WorkLexicon.Get(n) ? QString() : cell);
            }
        }
    } else if (CurrentObject >= 0) {
        for (int row = 0; row < rows; ++row) {
            const int w = WorkIndexes[row];
            TStructLine line = WorkStruct.GetLine(w);
            if (untranslate) {
                line.Changeable = TStructLine::ChangedInEditor;
            } else {
                const QString cell = LangListEditor->item(row, 1)->text();
                const QString ref = LangListEditor->item(row, 0)->data(RefRole).toString();
                const bool obsolete = LangListEditor->item(row, 0)->data(ObsoleteRole).toBool();
                if (cell == ref && cell == line.Text) continue;
                if (obsolete && cell == line.Text) continue;
                line.Text = cell;
                line.Changeable = TStructLine::Translated | TStructLine::ChangedInEditor;
            }
            WorkStruct.SetLine(w, line);
        }
    }
    CurrentObject = -1;
}

void TLanguageManager::MergeWork() {
    if (CurrentGroup < 0) return;
    if (LexiconMode) {
        if (TLexicon* lexicon = groupLexicon(CurrentGroup)) {
            const QString key = lexicon->Key();
            engine_->DataLexicon.NewLexicon(key);
            for (int n = 0; n <= WorkLexicon.MaxIndex(); ++n) {
                if (!WorkLexicon.IsIncluded(n)) continue;
                const QString t = WorkLexicon.Get(n);
                if (t.isEmpty())
                    engine_->DataLexicon.RemoveItem(key, static_cast<uint16_t>(n));
                else
                    engine_->DataLexicon.WriteItem(key, static_cast<uint16_t>(n), t);
            }
        }
    } else {
        for (int i = 0; i < WorkStruct.Count(); ++i) {
            const TStructLine line = WorkStruct.GetLine(i);
            if (!(line.Changeable & TStructLine::ChangedInEditor)) continue;
            const int d =
                engine_->DataStruct.FindLine(line.Name, line.Parent, line.ItemAddr, line.Properties);
            engine_->DataStruct.SetLine(d >= 0 ? d : engine_->DataStruct.Count(), line);
        }
    }
    CurrentGroup = -1;
}

void TLanguageManager::Untranslate() {
    if (LexiconMode || CurrentObject < 0) return;
    const int position = ObjectCombo->currentIndex();
    StoreWork(true);
    rebuildObjects();
    const int count = ObjectCombo->count();
    LangModify = true;
    if (count == 0) {
        SelectGroup(GroupCombo->currentIndex());
        return;
    }
    SelectObject(std::min(position, count - 1));
}

bool TLanguageManager::hasUntranslated() const {
    for (int row = 0; row < LangListEditor->rowCount(); ++row) {
        const Marker m = RowMarker(row);
        if (m == Marker::Untranslated || m == Marker::Obsolete) return true;
    }
    return false;
}

void TLanguageManager::Navigate(bool forward, bool toUntranslated) {
    if (stage_ != Stage::Editing) return;
    const int startGroup = GroupCombo->currentIndex();
    const int startObject = ObjectCombo->currentIndex();
    auto step = [&]() {
        const int objects = LexiconMode ? 0 : ObjectCombo->count();
        const int object = ObjectCombo->currentIndex();
        if (!LexiconMode && forward && object + 1 < objects) {
            SelectObject(object + 1);
            return true;
        }
        if (!LexiconMode && !forward && object > 0) {
            SelectObject(object - 1);
            return true;
        }
        const int group = GroupCombo->currentIndex() + (forward ? 1 : -1);
        if (group < 0 || group >= GroupCombo->count()) return false;
        SelectGroup(group);
        if (!forward && !LexiconMode && ObjectCombo->count() > 1) SelectObject(ObjectCombo->count() - 1);
        return true;
    };
    while (true) {
        if (!step()) {
            if (!toUntranslated) return;
            // Nothing further is untranslated: back to where the search began.
            if (GroupCombo->currentIndex() != startGroup) SelectGroup(startGroup);
            if (!LexiconMode && startObject >= 0 && ObjectCombo->currentIndex() != startObject)
                SelectObject(startObject);
            tell(text(LangFormItem::NotFound), QMessageBox::Information);
            return;
        }
        if (!toUntranslated || hasUntranslated()) return;
    }
}

void TLanguageManager::ImportFlag() {
    if (stage_ != Stage::Editing) return;
    QString path;
    if (ChoosePicture) {
        path = ChoosePicture();
    } else {
        QFileDialog dialog(this, text(LangFormItem::ImportFlag));
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setNameFilter(QStringLiteral("*.png *.bmp *.ico *.jpg *.jpeg *.gif *.xpm"));
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            path = dialog.selectedFiles().constFirst();
    }
    if (path.isEmpty()) return;
    // Checked before decoding: a picture bomb or a huge file costs nothing.
    QImage picture;
    const QFileInfo info(path);
    if (info.isFile() && info.size() <= MaxPictureFileBytes) {
        QImageReader reader(path);
        const QSize size = reader.size();
        if (size.isValid() && qint64{size.width()} * size.height() <= MaxPicturePixels)
            picture = reader.read();
    }
    if (picture.isNull()) {
        tell(text(LangFormItem::BadPicture), QMessageBox::Warning);
        return;
    }
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    if (!TLingoEngine::FlagPicture(picture).save(&buffer, "BMP") || bmp.size() > lingo::MaxFlagBytes) {
        tell(text(LangFormItem::BadPicture), QMessageBox::Warning);
        return;
    }
    engine_->FlagStream = bmp;
    LangModify = true;
    showFlag();
}

void TLanguageManager::RemoveFlag() {
    if (stage_ != Stage::Editing) return;
    if (!ask(text(LangFormItem::EraseFlag))) return;
    engine_->FlagStream.clear();
    LangModify = true;
    showFlag();
}

void TLanguageManager::Finish() {
    if (stage_ != Stage::Editing) return;
    LangModify = false;
    accept();
}

void TLanguageManager::reject() {
    if (LangModify && !ask(text(LangFormItem::CloseQuery))) return;
    QDialog::reject();
}

void TLanguageManager::closeEvent(QCloseEvent* event) {
    // Only the user's own close asks. The console closes its windows when it
    // is stopped (SIGTERM at shutdown): a question then would wait for an
    // answer nobody gives and the console would never end.
    if (!event->spontaneous() && LangModify) {
        if (engine_->Log)
            engine_->Log(QStringLiteral("LINGO: the language manager closed as the console stops; "
                                        "its unsaved work is dropped"));
        LangModify = false;
    }
    QDialog::closeEvent(event);
}

void TLanguageManager::keyPressEvent(QKeyEvent* event) {
    // Enter belongs to the name box and the grid, never to a button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TLanguageManager::eventFilter(QObject* watched, QEvent* event) {
    // The Right arrow in a translation cell opens it with the caret at the end.
    if (watched == LangListEditor && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Right && !LangListEditor->Editing()) {
        const int row = LangListEditor->currentRow();
        if (row >= 0) {
            QTableWidgetItem* cell = LangListEditor->item(row, 1);
            LangListEditor->setCurrentItem(cell);
            LangListEditor->editItem(cell);
            if (auto* line =
                    qobject_cast<QLineEdit*>(LangListEditor->indexWidget(LangListEditor->currentIndex()))) {
                line->deselect();
                line->end(false);
            }
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
