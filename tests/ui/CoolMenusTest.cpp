// The main window's menus drawn with toolbar pictures: which items carry a
// picture for each controller family, items plain again after the menu
// closes and after the Operation menu was rebuilt, the mnemonic rule, and
// what the drawing looks like (picture place, boxes, text split at the tab,
// embossed disabled pictures, sharp pictures at 200 %).

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <memory>

#include "res/CommandIds.h"
#include "tests/ui/TestFrame.h"
#include "ui/CommandAction.h"
#include "ui/CoolMenuStyle.h"
#include "ui/MenuItemRecord.h"
#include "ui/ToolbarStrip.h"

using namespace quorlin;
using quorlin::test::TestFrame;

namespace {

constexpr int kShowTimeoutMs = 5000;
constexpr int kColourTolerance = 3;
constexpr int kInkGrey = 110;

int PictureOfItem(const QAction* action) {
    CMenuItemRecord storage;
    const CMenuItemRecord* record = MenuItemRecordOf(action, &storage);
    return record ? record->pictureIndex : -2;  // -2: not converted at all
}

bool Near(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) <= kColourTolerance && std::abs(qGreen(a) - qGreen(b)) <= kColourTolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= kColourTolerance;
}

// The picture of a command as the menu should show it: over the menu colour.
QImage ExpectedPicture(int commandId, const QColor& background, qreal scale) {
    std::optional<ToolbarStrip> strip = LoadToolbarStrip(128);
    QIcon icon = strip->PictureFor(commandId);
    if (icon.isNull()) icon = LoadToolbarStrip(138)->PictureFor(commandId);
    const QSize size = strip->pictureSize * scale;
    QImage expected(size, QImage::Format_RGB32);
    expected.fill(background);
    QPainter p(&expected);
    p.drawPixmap(QRect(QPoint(), size), icon.pixmap(strip->pictureSize, scale));
    return expected;
}

// The picture place of an item: the picture size centred in the box at the
// item's left.
QRect PicturePlace(const QRect& item, QSize box, QSize picture) {
    const QRect boxRect(item.left(), item.top() + (item.height() - box.height()) / 2, box.width(), box.height());
    return QRect(boxRect.left() + (box.width() - picture.width()) / 2,
                 boxRect.top() + (box.height() - picture.height()) / 2, picture.width(), picture.height());
}

int CountDiffering(const QImage& shot, const QRect& place, const QImage& expected, qreal scale) {
    int differing = 0;
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if (!Near(shot.pixel(qRound(place.left() * scale) + x, qRound(place.top() * scale) + y),
                      expected.pixel(x, y)))
                ++differing;
    return differing;
}

bool Contains(const QImage& shot, const QRect& area, const QColor& colour) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (shot.pixel(x, y) == colour.rgb()) return true;
    return false;
}

}  // namespace

class CoolMenusTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestFrame> m_pFrame;

    void Open(QMenu* menu) {
        menu->popup(m_pFrame->mapToGlobal(QPoint(20, 40)));
        QVERIFY(QTest::qWaitForWindowExposed(menu, kShowTimeoutMs));
    }
    void Close(QMenu* menu) {
        QTest::keyClick(menu, Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(!menu->isVisible(), kShowTimeoutMs);
    }
    QImage Shot(QMenu* menu) { return menu->grab().toImage().convertToFormat(QImage::Format_RGB32); }

private slots:
    void init() {
        QApplication::setPalette(test::LightPalette());
        m_pFrame = std::make_unique<TestFrame>();
        m_pFrame->resize(500, 300);
        m_pFrame->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pFrame.get(), kShowTimeoutMs));
    }
    void cleanup() { m_pFrame.reset(); }

    void pictureMapFollowsTheToolbarsInOrder() {
        const CCoolMenuManager& menus = m_pFrame->Manager();
        const int main[] = {cmd::kFileNew,  cmd::kFileOpen,         cmd::kFileSave,    cmd::kEditCut,
                            cmd::kEditCopy, cmd::kEditPaste,        cmd::kSendFile,    cmd::kSendCurrentFile,
                            cmd::kReceiveFile, cmd::kSettings,      cmd::kAppAbout};
        for (int i = 0; i < int(std::size(main)); ++i) QCOMPARE(menus.PictureIndexOf(main[i]), i);
        QCOMPARE(menus.PictureIndexOf(cmd::kEditUndo), 14);
        QCOMPARE(menus.PictureIndexOf(cmd::kEditFind), 23);
        QCOMPARE(menus.PictureIndexOf(cmd::kEditFindNext), 24);
        for (int none : {cmd::kEditSelectAll, cmd::kEditReplace, cmd::kDownloadInterface, cmd::kUpdate57F,
                         cmd::kUpdateP70, cmd::kDownloadInterfaceQva, cmd::kUpdate57Qva, cmd::kDownChnFont})
            QCOMPARE(menus.PictureIndexOf(none), -1);
        QCOMPARE(menus.PictureSize(), QSize(16, 16));
        QCOMPARE(menus.BoxSize(), QSize(20, 20));
        QCOMPARE(menus.ToolbarIds(), (std::vector<int>{128, 138}));
    }

    void editAndOperationPicturesForEachFamily_data() {
        QTest::addColumn<int>("sysType");
        QTest::addColumn<QList<int>>("familyItems");
        QTest::newRow("family 0") << 0 << QList<int>{cmd::kDownloadInterface, cmd::kUpdate57F};
        QTest::newRow("family 1") << 1 << QList<int>{cmd::kDownloadInterface, cmd::kUpdate57F};
        QTest::newRow("family 2") << 2 << QList<int>{cmd::kUpdateP70};
        QTest::newRow("family 3") << 3
                                  << QList<int>{cmd::kDownloadInterfaceQva, cmd::kUpdate57Qva, cmd::kDownChnFont};
        QTest::newRow("family 4") << 4
                                  << QList<int>{cmd::kDownloadInterfaceQva, cmd::kUpdate57Qva, cmd::kDownChnFont};
    }
    void editAndOperationPicturesForEachFamily() {
        QFETCH(int, sysType);
        QFETCH(QList<int>, familyItems);
        m_pFrame->RebuildOperationMenu(sysType);

        QMenu* edit = m_pFrame->EditMenu();
        Open(edit);
        for (int id : {cmd::kEditUndo, cmd::kEditCut, cmd::kEditCopy, cmd::kEditPaste, cmd::kEditFind,
                       cmd::kEditFindNext})
            QVERIFY2(PictureOfItem(m_pFrame->Action(id)) >= 0, qPrintable(m_pFrame->Action(id)->text()));
        QCOMPARE(PictureOfItem(m_pFrame->Action(cmd::kEditUndo)), 14);
        QCOMPARE(PictureOfItem(m_pFrame->Action(cmd::kEditFind)), 23);
        QCOMPARE(PictureOfItem(m_pFrame->Action(cmd::kEditFindNext)), 24);
        for (int id : {cmd::kEditSelectAll, cmd::kEditReplace}) QCOMPARE(PictureOfItem(m_pFrame->Action(id)), -1);
        Close(edit);

        QMenu* operation = m_pFrame->OperationMenu();
        Open(operation);
        QCOMPARE(operation->actions().size(), 5 + familyItems.size());
        for (int id : {cmd::kSendFile, cmd::kSendCurrentFile, cmd::kReceiveFile})
            QVERIFY(PictureOfItem(m_pFrame->Action(id)) >= 0);
        for (int i = 0; i < familyItems.size(); ++i) {
            QAction* item = operation->actions().at(5 + i);
            QCOMPARE(CommandIdOf(item), familyItems[i]);
            QCOMPARE(PictureOfItem(item), -1);
        }
        Close(operation);
    }

    void itemsArePlainAgainAfterTheMenuCloses() {
        QMenu* operation = m_pFrame->OperationMenu();
        QStyle* applicationStyle = QApplication::style();
        Open(operation);
        QVERIFY(m_pFrame->Manager().IsConverted(operation));
        QCOMPARE(operation->style(), m_pFrame->Manager().MenuStyle());
        Close(operation);
        QVERIFY(!m_pFrame->Manager().IsConverted(operation));
        QCOMPARE(m_pFrame->Manager().ConvertedCount(), 0);
        QCOMPARE(operation->style(), applicationStyle);
        for (QAction* item : operation->actions()) QCOMPARE(PictureOfItem(item), -2);
        QCOMPARE(test::TextsOf(operation),
                 (QStringList{"&Send File", "Send &Current File", "", "&Receive File", "", "Download Interface",
                              "Update 57F/57QV/66G software"}));
    }

    void aRebuiltOperationMenuIsConvertedAgainWithItsNewItems() {
        m_pFrame->RebuildOperationMenu(3);
        QMenu* operation = m_pFrame->OperationMenu();
        Open(operation);
        Close(operation);
        // A confirmed settings change from family 3 to 0, with the menu closed.
        m_pFrame->RebuildOperationMenu(0);
        QCOMPARE(operation->actions().size(), 7);
        QCOMPARE(CommandIdOf(operation->actions().at(5)), cmd::kDownloadInterface);
        QCOMPARE(CommandIdOf(operation->actions().at(6)), cmd::kUpdate57F);
        for (QAction* item : operation->actions()) QCOMPARE(PictureOfItem(item), -2);
        Open(operation);
        QCOMPARE(PictureOfItem(operation->actions().at(5)), -1);
        QCOMPARE(PictureOfItem(operation->actions().at(6)), -1);
        QVERIFY(PictureOfItem(operation->actions().at(0)) >= 0);
        // Every item, old and new, is laid out below the one before it.
        int bottom = -1;
        for (QAction* item : operation->actions()) {
            const QRect r = operation->actionGeometry(item);
            QVERIFY(r.top() > bottom);
            bottom = r.bottom();
        }
        Close(operation);
    }

    void aCommandRunFromTheMenuMeetsPlainItems() {
        // The frame rebuilds the Operation menu from a command of a menu:
        // by then every popup must be plain again.
        QMenu* tool = m_pFrame->Popup(4);
        QAction* settings = m_pFrame->Action(cmd::kSettings);
        int convertedWhenRun = -1;
        connect(settings, &QAction::triggered, this,
                [&] { convertedWhenRun = m_pFrame->Manager().ConvertedCount(); });
        Open(tool);
        tool->setActiveAction(settings);
        QTest::keyClick(tool, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(convertedWhenRun, 0, kShowTimeoutMs);
        for (QAction* item : tool->actions()) QCOMPARE(PictureOfItem(item), -2);
    }

    void oneMnemonicMatchRunsTheItem() {
        QMenu* operation = m_pFrame->OperationMenu();
        QSignalSpy sendFile(m_pFrame->Action(cmd::kSendFile), &QAction::triggered);
        QSignalSpy sendCurrent(m_pFrame->Action(cmd::kSendCurrentFile), &QAction::triggered);
        Open(operation);
        QTest::keyClick(operation, Qt::Key_S, Qt::NoModifier);
        QTRY_COMPARE_WITH_TIMEOUT(sendFile.size(), 1, kShowTimeoutMs);
        QCOMPARE(sendCurrent.size(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!operation->isVisible(), kShowTimeoutMs);
        QCOMPARE(m_pFrame->Manager().ConvertedCount(), 0);
    }

    void aDisabledItemIsShownButNotRunByItsMnemonic() {
        QMenu* operation = m_pFrame->OperationMenu();
        QAction* receive = m_pFrame->Action(cmd::kReceiveFile);
        receive->setEnabled(false);
        QSignalSpy received(receive, &QAction::triggered);
        Open(operation);
        QTest::keyClick(operation, Qt::Key_R, Qt::NoModifier);
        QVERIFY(operation->isVisible());
        QCOMPARE(received.size(), 0);
        Close(operation);
    }

    void severalMnemonicMatchesAreSelectedInTurnAndWrap_data() {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QList<int>>("selected");  // after each press of A
        QTest::newRow("two") << QStringList{"&Alpha", "&Beta", "&another"} << QList<int>{0, 2, 0, 2};
        QTest::newRow("three") << QStringList{"&Apple", "Ban&ana", "&Cherry", "&Avocado", "&Date", "&Guava"}
                               << QList<int>{0, 1, 3, 0};
    }
    void severalMnemonicMatchesAreSelectedInTurnAndWrap() {
        QFETCH(QStringList, items);
        QFETCH(QList<int>, selected);
        QMenu* help = m_pFrame->Popup(5);
        help->clear();
        for (const QString& text : items) help->addAction(text);
        QSignalSpy triggered(help, &QMenu::triggered);
        Open(help);
        for (int expected : selected) {
            QTest::keyClick(help, Qt::Key_A, Qt::NoModifier);
            QCOMPARE(help->actions().indexOf(help->activeAction()), expected);
        }
        // Starting from an item after the last match wraps to the first.
        help->setActiveAction(help->actions().last());
        QTest::keyClick(help, Qt::Key_A, Qt::NoModifier);
        QCOMPARE(help->actions().indexOf(help->activeAction()), selected.first());
        QVERIFY(help->isVisible());
        QCOMPARE(triggered.size(), 0);
        Close(help);
    }

    // Runs a second time with QT_SCALE_FACTOR=2 (see CMakeLists.txt): the
    // sharp pictures must be drawn then, not the small ones enlarged.
    void picturesAreDrawnCentredInTheirBox() {
        QMenu* edit = m_pFrame->EditMenu();
        Open(edit);
        const qreal scale = edit->devicePixelRatioF();
        const QImage shot = edit->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shot.size(), edit->size() * scale);
        const QColor menuColour = edit->palette().color(QPalette::Window);
        const CCoolMenuManager& menus = m_pFrame->Manager();
        for (int id : {cmd::kEditUndo, cmd::kEditCut, cmd::kEditFind, cmd::kEditFindNext}) {
            const QRect place =
                PicturePlace(edit->actionGeometry(m_pFrame->Action(id)), menus.BoxSize(), menus.PictureSize());
            QCOMPARE(CountDiffering(shot, place, ExpectedPicture(id, menuColour, scale), scale), 0);
        }
        // No picture beside Select All: its box is the bare menu colour.
        const QRect selectAll = PicturePlace(edit->actionGeometry(m_pFrame->Action(cmd::kEditSelectAll)),
                                             menus.BoxSize(), menus.PictureSize());
        QImage bare(menus.PictureSize() * scale, QImage::Format_RGB32);
        bare.fill(menuColour);
        QCOMPARE(CountDiffering(shot, selectAll, bare, scale), 0);
        if (scale > 1) test::SaveScreenshot(edit, QStringLiteral("menu-edit-light@2x"));
        Close(edit);
    }

    void highlightedPictureGetsARaisedBoxAndCheckedOneASunkenBox() {
        QMenu* edit = m_pFrame->EditMenu();
        QAction* cut = m_pFrame->Action(cmd::kEditCut);
        cut->setCheckable(true);
        cut->setChecked(true);
        Open(edit);
        edit->setActiveAction(m_pFrame->Action(cmd::kEditUndo));
        const QImage shot = Shot(edit);
        const QPalette pal = edit->palette();
        const QSize box = m_pFrame->Manager().BoxSize();
        auto boxOf = [&](int id) {
            const QRect r = edit->actionGeometry(m_pFrame->Action(id));
            return QRect(r.left(), r.top() + (r.height() - box.height()) / 2, box.width(), box.height());
        };
        const QRect undo = boxOf(cmd::kEditUndo);
        QCOMPARE(QColor(shot.pixel(undo.topLeft())).name(), pal.color(QPalette::Light).name());
        QCOMPARE(QColor(shot.pixel(undo.bottomRight())).name(), pal.color(QPalette::Dark).name());
        // The highlight starts right of the box.
        const QRect undoItem = edit->actionGeometry(m_pFrame->Action(cmd::kEditUndo));
        QCOMPARE(QColor(shot.pixel(undo.right() + 2, undoItem.top())).name(), pal.color(QPalette::Highlight).name());
        QCOMPARE(QColor(shot.pixel(undo.right() + 1, undoItem.top())).name(), pal.color(QPalette::Window).name());
        const QRect checked = boxOf(cmd::kEditCut);
        QCOMPARE(QColor(shot.pixel(checked.topLeft())).name(), pal.color(QPalette::Dark).name());
        QCOMPARE(QColor(shot.pixel(checked.bottomRight())).name(), pal.color(QPalette::Light).name());
        QCOMPARE(QColor(shot.pixel(checked.topLeft() + QPoint(1, 1))).name(), pal.color(QPalette::Midlight).name());
        Close(edit);
    }

    void disabledPicturesAreEmbossedInThePalettesColours() {
        QMenu* edit = m_pFrame->EditMenu();
        m_pFrame->Action(cmd::kEditUndo)->setEnabled(false);
        const CCoolMenuManager& menus = m_pFrame->Manager();
        for (const QPalette& pal : {test::LightPalette(), test::DarkPalette()}) {
            QApplication::setPalette(pal);
            Open(edit);
            const QImage shot = Shot(edit);
            const QRect place = PicturePlace(edit->actionGeometry(m_pFrame->Action(cmd::kEditUndo)),
                                             menus.BoxSize(), menus.PictureSize());
            // A disabled item is drawn from the palette's disabled colours.
            const QColor shadow = pal.color(QPalette::Disabled, QPalette::Dark);
            const QColor light = pal.color(QPalette::Disabled, QPalette::Light);
            QVERIFY(Contains(shot, place, shadow));
            QVERIFY(Contains(shot, place.translated(1, 1), light));
            // Only the emboss colours and the menu colour, none of the picture's own.
            for (int y = place.top(); y <= place.bottom() + 1; ++y)
                for (int x = place.left(); x <= place.right() + 1; ++x) {
                    const QColor c = shot.pixel(x, y);
                    QVERIFY(c == shadow || c == light || c == pal.color(QPalette::Disabled, QPalette::Window));
                }
            Close(edit);
        }
    }

    void textIsSplitAtTheTabWithTheShortcutRightAligned() {
        QMenu* edit = m_pFrame->EditMenu();
        Open(edit);
        const QImage shot = Shot(edit);
        const QRect find = edit->actionGeometry(m_pFrame->Action(cmd::kEditFind));
        const int boxWidth = m_pFrame->Manager().BoxSize().width();
        // Text pixels: much darker than the light menu colour.
        auto inked = [&](int x, int y) { return qGray(shot.pixel(x, y)) < kInkGrey; };
        int leftmost = find.right(), rightmost = find.left();
        for (int y = find.top(); y <= find.bottom(); ++y)
            for (int x = find.left() + boxWidth; x <= find.right(); ++x)
                if (inked(x, y)) {
                    leftmost = std::min(leftmost, x);
                    rightmost = std::max(rightmost, x);
                }
        const int textLeft = find.left() + boxWidth + 2;
        const int textRight = find.right() - boxWidth;
        QVERIFY2(leftmost >= textLeft && leftmost <= textLeft + 3, qPrintable(QString::number(leftmost)));
        QVERIFY2(rightmost <= textRight && rightmost >= textRight - 3, qPrintable(QString::number(rightmost)));
        // The F of "Find..." is underlined: a run of ink under the letters.
        // "Find..." has no descenders, so any run below the baseline is the
        // underline; where exactly a font puts it is the font's business.
        const QFontMetrics metrics(edit->font());
        const int baseline = find.top() + (find.height() + metrics.height()) / 2 - metrics.descent();
        const int letter = metrics.horizontalAdvance(QLatin1Char('F'));
        int longestRun = 0;
        for (int y = baseline + 1; y <= std::min(find.bottom(), baseline + metrics.descent() + 1); ++y) {
            int run = 0;
            for (int x = textLeft; x < textLeft + letter + 1; ++x) {
                run = inked(x, y) ? run + 1 : 0;
                longestRun = std::max(longestRun, run);
            }
        }
        QVERIFY2(longestRun >= letter - 2, qPrintable(QString::number(longestRun)));
        Close(edit);
    }

    void aStyleChangeKeepsDrawingThroughTheNewStyle() {
        QMenu* edit = m_pFrame->EditMenu();
        QStyle* before = m_pFrame->Manager().MenuStyle();
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Windows")));
        QVERIFY(m_pFrame->Manager().MenuStyle() != before);
        Open(edit);
        QCOMPARE(edit->style(), m_pFrame->Manager().MenuStyle());
        QCOMPARE(PictureOfItem(m_pFrame->Action(cmd::kEditUndo)), 14);
        Close(edit);
        QCOMPARE(edit->style(), QApplication::style());
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    }

    void theManagerTurnsBackOpenPopupsWhenItEnds() {
        TestFrame frame(false);
        auto menus = std::make_unique<CCoolMenuManager>();
        menus->Install(&frame);
        menus->LoadToolbars({128, 138});
        frame.show();
        QMenu* edit = frame.EditMenu();
        edit->popup(frame.mapToGlobal(QPoint(10, 30)));
        QVERIFY(QTest::qWaitForWindowExposed(edit, kShowTimeoutMs));
        QCOMPARE(edit->style(), menus->MenuStyle());
        menus.reset();
        QCOMPARE(edit->style(), QApplication::style());
        for (QAction* item : edit->actions()) QCOMPARE(PictureOfItem(item), -2);
        edit->hide();
    }

    void screenshots() {
        if (qEnvironmentVariableIsEmpty("QUORLIN_SCREENSHOT_DIR")) QSKIP("QUORLIN_SCREENSHOT_DIR is not set");
        m_pFrame->Action(cmd::kEditPaste)->setEnabled(false);
        m_pFrame->Action(cmd::kEditUndo)->setEnabled(false);
        m_pFrame->RebuildOperationMenu(3);
        for (const auto& [name, pal] : {std::pair{"light", test::LightPalette()}, {"dark", test::DarkPalette()}}) {
            QApplication::setPalette(pal);
            for (const auto& [menuName, menu] : {std::pair{"edit", m_pFrame->EditMenu()},
                                                 {"operation", m_pFrame->OperationMenu()},
                                                 {"view", m_pFrame->Popup(2)}}) {
                Open(menu);
                menu->setActiveAction(menu->actions().at(menu == m_pFrame->EditMenu() ? 2 : 0));
                test::SaveScreenshot(menu, QStringLiteral("menu-%1-%2").arg(menuName, name));
                Close(menu);
            }
        }
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Set once the application exists, so that it owns the style and frees
    // it when the style-change test replaces it.
    QApplication::setStyle(QStringLiteral("Fusion"));
    CoolMenusTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "CoolMenusTest.moc"
