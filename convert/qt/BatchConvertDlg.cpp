#include "convert/qt/BatchConvertDlg.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "profile/RememberedState.h"
#include "convert/Paths.h"
#include "convert/RomImage.h"
#include "convert/qt/ConvertStrings.h"
#include "convert/qt/ConverterPrompts.h"
#include "convert/qt/CoreText.h"
#include "convert/qt/MediaFolder.h"

namespace quorlin {

namespace {

enum Column { kSourceColumn = 0, kRomColumn = 1, kTagColumn = 2, kColumnCount = 3 };
// Column widths of the work list, in pixels.
constexpr int kColumnWidths[kColumnCount] = {100, 100, 92};
// The tag list's rows are at least this many pixels high.
constexpr int kTagRowHeight = 16;
// The work list shows about this many rows without scrolling.
constexpr int kVisibleRows = 8;

// The profile's name of the folder chosen last, which the dialog opens with.
const QString kFolderPurpose = QStringLiteral("BatchConvert");

// The exact bytes of a name as the file system gave it, kept beside its
// text: a name that is not valid in the file-name encoding would not come
// back from its displayed text.
constexpr int kNameBytesRole = Qt::UserRole;

QTableWidgetItem* MakeCell(const QString& text, const QByteArray& bytes = {}) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignCenter);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (!bytes.isNull()) item->setData(kNameBytesRole, bytes);
    return item;
}

std::string CellBytes(const QTableWidgetItem* item) {
    if (!item) return {};
    const QVariant bytes = item->data(kNameBytesRole);
    if (bytes.isValid()) return bytes.toByteArray().toStdString();
    return ToCorePath(item->text());
}

}  // namespace

CBatchConvertDlg::CBatchConvertDlg(QWidget* mainWindow)
    : ConverterDialog(mainWindow, QStringLiteral("batchConvertDialog"), QStringLiteral("Batch convert")) {
    BuildControls();
    const QString last = LastFolder(kFolderPurpose);
    if (!last.isEmpty()) SetFolder(FromCoreText(AddTrailingBackslash(ToCorePath(last))));
}

void CBatchConvertDlg::BuildControls() {
    auto* typeRow = new QHBoxLayout;
    auto* typeLabel = new QLabel(QStringLiteral("File type:"), this);
    m_pBin = new QRadioButton(QStringLiteral(".bin"), this);
    m_pBin->setObjectName(QStringLiteral("binRadio"));
    m_pBin->setAccessibleName(QStringLiteral(".bin"));
    m_pDat = new QRadioButton(QStringLiteral(".dat"), this);
    m_pDat->setObjectName(QStringLiteral("datRadio"));
    m_pDat->setAccessibleName(QStringLiteral(".dat"));
    auto* typeGroup = new QButtonGroup(this);
    typeGroup->addButton(m_pBin, static_cast<int>(BatchFileType::Bin));
    typeGroup->addButton(m_pDat, static_cast<int>(BatchFileType::Dat));
    m_pBin->setChecked(true);
    typeLabel->setBuddy(m_pBin);
    typeRow->addWidget(typeLabel);
    typeRow->addWidget(m_pBin);
    typeRow->addWidget(m_pDat);
    typeRow->addStretch(1);

    auto* folderRow = new QHBoxLayout;
    auto* folderLabel = new QLabel(QStringLiteral("destination:"), this);
    m_pFolder = new QLineEdit(this);
    m_pFolder->setObjectName(QStringLiteral("folderEdit"));
    m_pFolder->setAccessibleName(QStringLiteral("destination:"));
    m_pFolder->setReadOnly(true);
    folderLabel->setBuddy(m_pFolder);
    auto* browse = MakeBrowseButton("folderBrowse", QStringLiteral("Choose the folder"));
    auto* defaultButton = new QPushButton(QStringLiteral("Default"), this);
    defaultButton->setObjectName(QStringLiteral("defaultButton"));
    defaultButton->setAccessibleName(QStringLiteral("Default"));
    folderRow->addWidget(folderLabel);
    folderRow->addWidget(m_pFolder, 1);
    folderRow->addWidget(browse);
    folderRow->addWidget(defaultButton);

    m_pList = new QTableWidget(0, kColumnCount, this);
    m_pList->setObjectName(QStringLiteral("fileList"));
    m_pList->setAccessibleName(QStringLiteral("Files to convert"));
    m_pList->setHorizontalHeaderLabels({QString::fromLatin1(convertui::kColumnSourceFile),
                                        QString::fromLatin1(convertui::kColumnRomFile),
                                        QString::fromLatin1(convertui::kColumnUpdateFile)});
    m_pList->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    m_pList->horizontalHeader()->setHighlightSections(false);
    for (int column = 0; column < kColumnCount; ++column) m_pList->setColumnWidth(column, kColumnWidths[column]);
    m_pList->verticalHeader()->hide();
    m_pList->verticalHeader()->setDefaultSectionSize(m_pList->fontMetrics().height() + 4);
    m_pList->setShowGrid(true);
    m_pList->setWordWrap(false);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pList->setTabKeyNavigation(false);
    // The selected row stays marked while a tag is being chosen in the list
    // box beside it.
    QPalette palette = m_pList->palette();
    for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    m_pList->setPalette(palette);
    int listWidth = 2 * m_pList->frameWidth();
    for (const int width : kColumnWidths) listWidth += width;
    m_pList->setFixedWidth(listWidth);
    m_pList->setMinimumHeight(m_pList->horizontalHeader()->sizeHint().height() +
                              kVisibleRows * m_pList->verticalHeader()->defaultSectionSize());
    m_pList->installEventFilter(this);

    m_pTags = new QListWidget(this);
    m_pTags->setObjectName(QStringLiteral("tagList"));
    m_pTags->setAccessibleName(QStringLiteral("Update file"));
    m_pTags->setSelectionMode(QAbstractItemView::SingleSelection);
    int tagsWidth = 0;
    for (const char* tag : kUpdateFileTags)
        tagsWidth = std::max(tagsWidth, m_pTags->fontMetrics().horizontalAdvance(QString::fromLatin1(tag)));
    // Twice the widest tag leaves room for the item margins on any style.
    tagsWidth *= 2;
    const int tagRowHeight = std::max(kTagRowHeight, m_pTags->fontMetrics().height());
    for (const char* tag : kUpdateFileTags) {
        auto* item = new QListWidgetItem(QString::fromLatin1(tag), m_pTags);
        item->setSizeHint(QSize(tagsWidth, tagRowHeight));
    }
    m_pTags->setUniformItemSizes(true);
    m_pTags->setFixedWidth(tagsWidth + 2 * m_pTags->frameWidth() +
                           m_pTags->style()->pixelMetric(QStyle::PM_ScrollBarExtent));

    auto* listRow = new QHBoxLayout;
    listRow->addWidget(m_pList);
    listRow->addWidget(m_pTags);

    QHBoxLayout* buttonRow = MakeButtonRow(QStringLiteral("Cancel"), "cancelButton", [this] { OnConvert(); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(typeRow);
    layout->addLayout(folderRow);
    layout->addLayout(listRow);
    layout->addLayout(buttonRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(typeGroup, &QButtonGroup::idClicked, this, &CBatchConvertDlg::RefreshFileList);
    connect(browse, &QPushButton::clicked, this, &CBatchConvertDlg::OnBrowseFolder);
    connect(defaultButton, &QPushButton::clicked, this, &CBatchConvertDlg::OnDefaultFolder);
    // A new selection (mouse or keys) and a click on the tag already selected
    // (so one tag can go to several rows) both assign it.
    connect(m_pTags, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> selected = m_pTags->selectedItems();
        if (!selected.isEmpty()) OnTagChosen(selected.constFirst());
    });
    connect(m_pTags, &QListWidget::itemClicked, this, &CBatchConvertDlg::OnTagChosen);
}

BatchFileType CBatchConvertDlg::FileType() const {
    return m_pDat->isChecked() ? BatchFileType::Dat : BatchFileType::Bin;
}

void CBatchConvertDlg::SetFolder(const QString& folder) {
    m_strFolder = folder;
    RefreshFileList();
}

void CBatchConvertDlg::RefreshFileList() {
    m_pFolder->setText(m_strFolder);
    if (m_strFolder.isEmpty()) return;
    m_pList->setRowCount(0);
    const std::vector<BatchRow> rows = ListBatchFiles(ToCorePath(m_strFolder), FileType());
    for (const BatchRow& row : rows) {
        const int index = m_pList->rowCount();
        m_pList->insertRow(index);
        const QByteArray source = QByteArray::fromStdString(row.sourceName);
        const QByteArray rom = QByteArray::fromStdString(row.romName);
        m_pList->setItem(index, kSourceColumn, MakeCell(QFile::decodeName(source), source));
        m_pList->setItem(index, kRomColumn, MakeCell(QFile::decodeName(rom), rom));
        m_pList->setItem(index, kTagColumn, MakeCell(QString()));
    }
}

std::vector<BatchRow> CBatchConvertDlg::RowsFromList() const {
    std::vector<BatchRow> rows;
    for (int i = 0; i < m_pList->rowCount(); ++i)
        rows.push_back({CellBytes(m_pList->item(i, kSourceColumn)), CellBytes(m_pList->item(i, kRomColumn)),
                        CellBytes(m_pList->item(i, kTagColumn))});
    return rows;
}

void CBatchConvertDlg::OnBrowseFolder() {
    const QString start = m_strFolder.isEmpty() ? LastFolder(kFolderPurpose) : m_strFolder;
    const std::optional<QString> folder =
        Prompts().ChooseFolder(this, QString::fromLatin1(convertui::kTitleSelectFolder), start);
    if (!folder) return;
    RememberFolderOf(kFolderPurpose, *folder);
    SetFolder(FromCoreText(AddTrailingBackslash(ToCorePath(*folder))));
}

void CBatchConvertDlg::OnDefaultFolder() { SetFolder(DefaultBatchFolder()); }

void CBatchConvertDlg::OnTagChosen(const QListWidgetItem* tag) {
    if (!tag) return;
    const QList<QTableWidgetItem*> selected = m_pList->selectedItems();
    if (selected.isEmpty()) return;
    const int row = selected.constFirst()->row();
    if (QTableWidgetItem* cell = m_pList->item(row, kTagColumn)) {
        cell->setText(tag->text());
    } else {
        m_pList->setItem(row, kTagColumn, MakeCell(tag->text()));
    }
}

bool CBatchConvertDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pList && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        const QList<QTableWidgetItem*> selected = m_pList->selectedItems();
        if (!selected.isEmpty()) m_pList->removeRow(selected.constFirst()->row());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CBatchConvertDlg::OnConvert() {
    if (IsConverting()) return;
    const std::string folder = ToCorePath(m_strFolder);
    const BatchFileType type = FileType();
    const std::vector<BatchRow> rows = RowsFromList();
    // Every row writes a ROM image of at least kRomFillSize bytes, and a
    // tagged row an update file of its source's size besides.
    qint64 workBytes = 0;
    for (const BatchRow& row : rows) {
        const qint64 source = SizeOfFile(QFile::decodeName(QByteArray::fromStdString(folder + row.sourceName)));
        workBytes += source + std::max(source, static_cast<qint64>(kRomFillSize));
        if (!row.tag.empty()) workBytes += 2 * source;
    }
    RunWork([folder, type, rows] { return RunBatch(folder, type, rows); }, workBytes);
}

}  // namespace quorlin
