#include "convert/qt/ConvertDlg.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValidator>

#include "profile/RememberedState.h"
#include "convert/RomImage.h"
#include "convert/UpdateFile.h"
#include "convert/qt/ConvertStrings.h"
#include "convert/qt/ConverterPrompts.h"
#include "convert/qt/CoreText.h"
#include "convert/qt/DropEdit.h"

namespace quorlin {

namespace {

// The header stores the version and date texts one byte per character, so
// the boxes take only characters that have one byte (Latin-1): their length
// limits are then the fields' sizes.
class SingleByteValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        for (const QChar c : input)
            if (c.unicode() > 0xFF || c.unicode() < 0x20) return Invalid;
        return Acceptable;
    }
};

// The profile's name of the folder the source choosers start in.
const QString kSourcePurpose = QStringLiteral("ConvertSource");

// Width of the path boxes in average characters: long enough for a path
// several folders deep. The version and date boxes fit their fields.
constexpr int kPathBoxChars = 48;
// QLineEdit's own size hint is this many 'x' wide plus its margins.
constexpr int kLineEditHintChars = 17;

void SetCharWidth(QLineEdit& box, int chars) { box.setMinimumWidth(box.fontMetrics().averageCharWidth() * chars); }

// Just wide enough for chars of the widest letter, so the whole text shows.
void FitToField(QLineEdit& box, std::size_t chars) {
    const QFontMetrics metrics = box.fontMetrics();
    const int margins = box.sizeHint().width() - metrics.horizontalAdvance(QLatin1Char('x')) * kLineEditHintChars;
    box.setFixedWidth(metrics.horizontalAdvance(QString(static_cast<qsizetype>(chars), QLatin1Char('W'))) + margins);
}

// A labelled box for a text field of the header, size bytes long, added to row.
QLineEdit* AddFieldBox(QWidget* dialog, QHBoxLayout* row, const QString& label, const char* objectName,
                       std::size_t size) {
    auto* caption = new QLabel(label, dialog);
    auto* box = new QLineEdit(dialog);
    box->setObjectName(QLatin1String(objectName));
    box->setAccessibleName(label);
    box->setMaxLength(static_cast<int>(size));
    box->setValidator(new SingleByteValidator(box));
    FitToField(*box, size);
    caption->setBuddy(box);
    row->addWidget(caption);
    row->addWidget(box);
    return box;
}

}  // namespace

CConvertDlg::CConvertDlg(QWidget* mainWindow)
    : ConverterDialog(mainWindow, QStringLiteral("convertDialog"), QStringLiteral("Convert")) {
    BuildControls();
    const ConvertFields last = ReadConvertFields();
    m_pTargetDir->setText(last.target);
    if (last.targetType >= 0 && last.targetType < m_pTargetType->count()) m_pTargetType->setCurrentIndex(last.targetType);
    m_pVersion->setText(last.version);
    m_pDate->setText(last.date);
}

void CConvertDlg::BuildControls() {
    auto* grid = new QGridLayout;

    auto* sourceLabel = new QLabel(QStringLiteral("Source"), this);
    grid->addWidget(sourceLabel, 0, 0, 1, 2);

    m_pSource1 = new CDropEdit(this);
    m_pSource1->setObjectName(QStringLiteral("source1Edit"));
    m_pSource1->setAccessibleName(QStringLiteral("Source 1"));
    SetCharWidth(*m_pSource1, kPathBoxChars);
    grid->addWidget(m_pSource1, 1, 0);
    auto* browse1 = MakeBrowseButton("source1Browse", QStringLiteral("Choose source 1"));
    grid->addWidget(browse1, 1, 1);

    m_pSource2 = new CDropEdit(this);
    m_pSource2->setObjectName(QStringLiteral("source2Edit"));
    m_pSource2->setAccessibleName(QStringLiteral("Source 2"));
    grid->addWidget(m_pSource2, 2, 0);
    auto* browse2 = MakeBrowseButton("source2Browse", QStringLiteral("Choose source 2"));
    grid->addWidget(browse2, 2, 1);
    sourceLabel->setBuddy(m_pSource1);

    auto* targetLabel = new QLabel(QStringLiteral("Target"), this);
    grid->addWidget(targetLabel, 3, 0, 1, 2);
    m_pTargetDir = new QLineEdit(this);
    m_pTargetDir->setObjectName(QStringLiteral("targetDirEdit"));
    m_pTargetDir->setAccessibleName(QStringLiteral("Target"));
    targetLabel->setBuddy(m_pTargetDir);
    grid->addWidget(m_pTargetDir, 4, 0);
    auto* browseTarget = MakeBrowseButton("targetBrowse", QStringLiteral("Choose the target folder"));
    grid->addWidget(browseTarget, 4, 1);

    // The target type, the version and the date share one row.
    auto* typeRow = new QHBoxLayout;
    m_pTargetType = new QComboBox(this);
    m_pTargetType->setObjectName(QStringLiteral("targetTypeList"));
    m_pTargetType->setAccessibleName(QStringLiteral("Target type"));
    for (const TargetTypeInfo& type : kTargetTypes) m_pTargetType->addItem(QString::fromLatin1(type.listText));
    m_pTargetType->setCurrentIndex(0);
    typeRow->addWidget(m_pTargetType);
    typeRow->addStretch(1);

    m_pVersion = AddFieldBox(this, typeRow, QStringLiteral("Version:"), "versionEdit", kVersionFieldSize);
    m_pDate = AddFieldBox(this, typeRow, QStringLiteral("Date:"), "dateEdit", kDateFieldSize);

    QHBoxLayout* buttonRow = MakeButtonRow(QStringLiteral("Exit"), "exitButton", [this] { OnConvert(); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(typeRow);
    layout->addSpacing(layout->spacing());
    layout->addLayout(buttonRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(browse1, &QPushButton::clicked, this, [this] { OnBrowseSource(*m_pSource1); });
    connect(browse2, &QPushButton::clicked, this, [this] { OnBrowseSource(*m_pSource2); });
    connect(browseTarget, &QPushButton::clicked, this, &CConvertDlg::OnBrowseTarget);
    for (CDropEdit* box : {m_pSource1, m_pSource2}) {
        connect(box, &CDropEdit::dropSrcFile, this, &CConvertDlg::OnDropSrcFile);
        connect(box, &CDropEdit::dropRefused, this, [this](const QString& text) {
            Prompts().ShowMessage(this, DialogMessage{text.toStdString(), kCaptionError, MessageIcon::Error});
        });
    }
}

void CConvertDlg::OnDropSrcFile(int index, const QString& path) {
    if (index == 0) m_pSource1->setText(path);
    if (index == 1) m_pSource2->setText(path);
}

ConvertRequest CConvertDlg::RequestFromControls() const {
    ConvertRequest request;
    request.targetType = m_pTargetType->currentIndex();
    request.version = m_pVersion->text().toLatin1().toStdString();
    request.date = m_pDate->text().toLatin1().toStdString();
    request.targetDir = ToCorePath(m_pTargetDir->text());
    request.source1 = ToCorePath(m_pSource1->text());
    request.source2 = ToCorePath(m_pSource2->text());
    return request;
}

void CConvertDlg::OnBrowseSource(QLineEdit& box) {
    // The box's own folder first, else where a source was last chosen.
    const QFileInfo typed(box.text());
    const QString start = !box.text().isEmpty() && typed.absoluteDir().exists() ? typed.absolutePath()
                                                                                : LastFolder(kSourcePurpose);
    const std::optional<QString> path = Prompts().ChooseSourceFile(this, start);
    if (!path) return;
    box.setText(*path);
    RememberFolderOf(kSourcePurpose, *path);
}

void CConvertDlg::OnBrowseTarget() {
    const std::optional<QString> folder =
        Prompts().ChooseFolder(this, QString::fromLatin1(convertui::kTitleSelectFolder), m_pTargetDir->text());
    if (folder) m_pTargetDir->setText(*folder);
}

void CConvertDlg::OnConvert() {
    if (IsConverting()) return;
    const ConvertRequest request = RequestFromControls();
    if (request.targetType < 0) return;  // the list always has a row selected
    WriteConvertFields({m_pTargetDir->text(), request.targetType, m_pVersion->text(), m_pDate->text()});
    // Each source is read twice at most and written once; type 0 writes the
    // ROM image besides.
    const qint64 sources = SizeOfFile(m_pSource1->text()) + SizeOfFile(m_pSource2->text());
    qint64 workBytes = 2 * sources;
    if (kTargetTypes[request.targetType].writesRomImage)
        workBytes += std::max(sources, static_cast<qint64>(kRomFillSize));
    RunWork([request] { return RunConversion(request); }, workBytes);
}

}  // namespace quorlin
