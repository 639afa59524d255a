// The rules behind the drawn menus, without opening a window: the picture
// strips agree with their toolbars, the command-to-picture map, what a
// toolbar that does not fit does, and the menu-character rule.

#include <QApplication>
#include <QImage>
#include <QTest>

#include "res/CommandIds.h"
#include "res/toolbar/ToolbarLayouts.h"
#include "ui/CoolMenuManager.h"
#include "ui/MenuItemRecord.h"
#include "ui/ToolbarStrip.h"

using namespace quorlin;

namespace {

// How much of a picture is not transparent: a picture that says something
// covers a fair part of its square.
double Coverage(const QPixmap& picture) {
    const QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) opaque += qAlpha(image.pixel(x, y)) > 0;
    return double(opaque) / (image.width() * image.height());
}

constexpr double kMinCoverage = 0.2;

}  // namespace

class MenuRulesTest : public QObject {
    Q_OBJECT

private slots:
    void eachStripHoldsOnePictureForEachButtonAtBothSizes_data() {
        QTest::addColumn<int>("toolbarId");
        QTest::addColumn<int>("pictures");
        QTest::newRow("128") << 128 << 11;
        QTest::newRow("138") << 138 << 14;
    }
    void eachStripHoldsOnePictureForEachButtonAtBothSizes() {
        QFETCH(int, toolbarId);
        QFETCH(int, pictures);
        const std::optional<ToolbarStrip> strip = LoadToolbarStrip(toolbarId);
        QVERIFY(strip);
        QCOMPARE(strip->PictureCount(), pictures);
        QCOMPARE(strip->pictureSize, QSize(16, 16));
        QCOMPARE(strip->pictures.size(), QSize(16 * pictures, 16));
        QCOMPARE(strip->pictures2x.size(), QSize(32 * pictures, 32));
        QCOMPARE(strip->pictures2x.devicePixelRatio(), 2.0);
        for (int i = 0; i < pictures; ++i) {
            const QIcon icon = strip->Picture(i);
            QVERIFY(!icon.isNull());
            const QPixmap normal = icon.pixmap(QSize(16, 16), 1.0);
            const QPixmap sharp = icon.pixmap(QSize(16, 16), 2.0);
            QCOMPARE(normal.size(), QSize(16, 16));
            QCOMPARE(sharp.size(), QSize(32, 32));
            QVERIFY2(Coverage(normal) > kMinCoverage, qPrintable(QString::number(i)));
            QVERIFY2(Coverage(sharp) > kMinCoverage, qPrintable(QString::number(i)));
            // Each picture is its own, not a copy of its neighbour.
            if (i > 0) QVERIFY(normal.toImage() != strip->Picture(i - 1).pixmap(QSize(16, 16), 1.0).toImage());
        }
        QVERIFY(strip->Picture(pictures).isNull());
        QVERIFY(strip->PictureFor(0).isNull());
    }

    void theMainToolbarFollowsTheFramesButtonOrder() {
        const std::optional<ToolbarStrip> strip = LoadToolbarStrip(128);
        QCOMPARE(strip->commandIds,
                 (std::vector<int>{cmd::kFileNew, cmd::kFileOpen, cmd::kFileSave, 0, cmd::kEditCut, cmd::kEditCopy,
                                   cmd::kEditPaste, 0, cmd::kSendFile, cmd::kSendCurrentFile, cmd::kReceiveFile,
                                   cmd::kSettings, 0, cmd::kAppAbout}));
        // The same command has the same picture on both strips.
        const std::optional<ToolbarStrip> more = LoadToolbarStrip(138);
        for (int id : {cmd::kFileNew, cmd::kEditPaste, cmd::kReceiveFile, cmd::kAppAbout})
            QCOMPARE(strip->PictureFor(id).pixmap(QSize(16, 16), 1.0).toImage(),
                     more->PictureFor(id).pixmap(QSize(16, 16), 1.0).toImage());
    }

    void anUnknownToolbarHasNoStrip() { QVERIFY(!LoadToolbarStrip(129)); }

    void theMapGivesEachCommandItsFirstPicture() {
        CCoolMenuManager menus;
        menus.LoadToolbars({128, 999, 138});
        QCOMPARE(menus.ToolbarIds(), (std::vector<int>{128, 138}));
        QCOMPARE(menus.PictureCount(), 25);
        QCOMPARE(menus.PictureIndexOf(cmd::kFileNew), 0);
        QCOMPARE(menus.PictureIndexOf(cmd::kAppAbout), 10);
        QCOMPARE(menus.PictureIndexOf(cmd::kEditUndo), 14);
        QCOMPARE(menus.PictureIndexOf(cmd::kEditFind), 23);
        QCOMPARE(menus.PictureIndexOf(cmd::kEditFindNext), 24);
        QCOMPARE(menus.PictureIndexOf(cmd::kEditSelectAll), -1);
        // Loading in the other order maps the shared commands to 138's pictures.
        CCoolMenuManager reversed;
        reversed.LoadToolbars({138, 128});
        QCOMPARE(reversed.PictureIndexOf(cmd::kEditUndo), 3);
        QCOMPARE(reversed.PictureIndexOf(cmd::kFileNew), 0);
        QCOMPARE(reversed.PictureIndexOf(cmd::kEditFind), 12);
    }

    void aToolbarOfAnotherPictureSizeAddsNothing() {
        CCoolMenuManager menus;
        menus.LoadToolbars({128});
        ToolbarStrip big;
        big.pictureSize = QSize(24, 24);
        big.commandIds = {cmd::kEditUndo, cmd::kEditFind};
        big.pictures = QPixmap(48, 24);
        big.pictures.fill(Qt::red);
        QVERIFY(!menus.AddToolbar(140, big));
        QCOMPARE(menus.PictureIndexOf(cmd::kEditUndo), -1);
        QCOMPARE(menus.PictureCount(), 11);
        QCOMPARE(menus.ToolbarIds(), std::vector<int>{128});
        QCOMPARE(menus.BoxSize(), QSize(20, 20));
    }

    void refreshLoadsTheSameToolbarsAgain() {
        CCoolMenuManager menus;
        menus.LoadToolbars({128, 138});
        menus.Refresh();
        QCOMPARE(menus.ToolbarIds(), (std::vector<int>{128, 138}));
        QCOMPARE(menus.PictureCount(), 25);
        QCOMPARE(menus.PictureIndexOf(cmd::kEditFindNext), 24);
        menus.Destroy();
        QCOMPARE(menus.PictureCount(), 0);
        QCOMPARE(menus.PictureIndexOf(cmd::kFileNew), -1);
        QVERIFY(menus.BoxSize().isEmpty());
    }

    void theMnemonicIsTheCharacterAfterASingleAmpersand() {
        QCOMPARE(MnemonicOf(QStringLiteral("&Send File")), QChar('S'));
        QCOMPARE(MnemonicOf(QStringLiteral("Send &Current File")), QChar('C'));
        QCOMPARE(MnemonicOf(QStringLiteral("F&ind Next\tF3")), QChar('i'));
        QCOMPARE(MnemonicOf(QStringLiteral("Salt && &Pepper")), QChar('P'));
        QVERIFY(MnemonicOf(QStringLiteral("Salt && Pepper")).isNull());
        QVERIFY(MnemonicOf(QStringLiteral("Download Interface")).isNull());
        QVERIFY(MnemonicOf(QStringLiteral("Trailing&")).isNull());
    }

    void theMenuCharacterRule() {
        using C = MenuCharChoice;
        const std::vector<QChar> items{QChar('S'), QChar('c'), QChar(), QChar('S'), QChar('r'), QChar('s')};
        auto choose = [&](int highlighted, char key) { return ChooseByMenuChar(items, highlighted, QChar(key)); };
        QCOMPARE(choose(-1, 'x').kind, C::kNone);
        QCOMPARE(choose(-1, 'C').kind, C::kExecute);  // one match, either case
        QCOMPARE(choose(-1, 'C').position, 1);
        QCOMPARE(choose(3, 'r').position, 4);
        // Three matches: each press selects the next after the highlighted one, wrapping.
        QCOMPARE(choose(-1, 's').kind, C::kSelect);
        QCOMPARE(choose(-1, 's').position, 0);
        QCOMPARE(choose(0, 's').position, 3);
        QCOMPARE(choose(3, 's').position, 5);
        QCOMPARE(choose(5, 's').position, 0);
        // A highlighted item that is no match counts by its position.
        QCOMPARE(choose(2, 'S').position, 3);
        QCOMPARE(choose(4, 'S').position, 5);
        QCOMPARE(ChooseByMenuChar(items, -1, QChar()).kind, C::kNone);
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    MenuRulesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MenuRulesTest.moc"
