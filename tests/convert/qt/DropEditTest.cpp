// The drop-target edit box and the folder chooser on their own: what a drop
// does to the box and what it hands on, and the real chooser window driven
// while it runs modally.

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <functional>
#include <type_traits>

#include "convert/qt/BrowseForFolder.h"
#include "convert/qt/ConverterPrompts.h"
#include "ui/DialogPlacement.h"
#include "convert/qt/DropEdit.h"
#include "tests/convert/qt/ConvertUiTestSupport.h"

using namespace quorlin;
using namespace quorlin::test;

namespace {

// Runs act on the modal window of type T once it is up; act ends it.
template <typename T = QFileDialog>
void WhenChooserOpens(const std::type_identity_t<std::function<void(T&)>>& act) {
    QTimer::singleShot(0, [act] {
        QTRY_VERIFY(qobject_cast<T*>(QApplication::activeModalWidget()));
        act(*qobject_cast<T*>(QApplication::activeModalWidget()));
    });
}

QLineEdit* PathBox(QFileDialog& chooser) { return chooser.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }

// Ends the chooser in any case, so that a failed check cannot leave it open.
struct CloseWhenDone {
    QFileDialog& chooser;
    bool accept = false;
    ~CloseWhenDone() {
        if (!chooser.isVisible()) return;
        // The chooser's own buttons, as a person presses them.
        auto* buttons = chooser.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        if (!buttons) {
            chooser.reject();
            return;
        }
        buttons->button(accept ? QDialogButtonBox::Open : QDialogButtonBox::Cancel)->click();
    }
};

}  // namespace

class DropEditTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<CDropEdit> m_box;
    std::unique_ptr<QTemporaryDir> m_dir;

    QString MakeFile(const QString& name) {
        const QString path = m_dir->filePath(name);
        if (!WriteFile(path, "x")) qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_box = std::make_unique<CDropEdit>();
        m_box->setText(QStringLiteral("before"));
        m_box->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_box.get()));
    }
    void cleanup() {
        m_box.reset();
        m_dir.reset();
    }

    void oneDroppedFileBecomesTheText() {
        QSignalSpy one(m_box.get(), &CDropEdit::droppedOneFile);
        QSignalSpy several(m_box.get(), &CDropEdit::dropSrcFile);
        const QString file = MakeFile(QStringLiteral("name with spaces ü.bin"));
        DropUrls(m_box.get(), FileUrls({file}));
        QCOMPARE(m_box->text(), file);
        QCOMPARE(one.size(), 1);
        QCOMPARE(several.size(), 0);
    }

    void severalDroppedFilesAreHandedOnInOrderAndLeaveTheBox() {
        QSignalSpy one(m_box.get(), &CDropEdit::droppedOneFile);
        QSignalSpy several(m_box.get(), &CDropEdit::dropSrcFile);
        const QStringList files{MakeFile(QStringLiteral("a.bin")), MakeFile(QStringLiteral("b.dat")),
                                MakeFile(QStringLiteral("c.bmp"))};
        DropUrls(m_box.get(), FileUrls(files));
        QCOMPARE(m_box->text(), QStringLiteral("before"));
        QCOMPARE(one.size(), 0);
        QCOMPARE(several.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(several.at(i).at(0).toInt(), i);
            QCOMPARE(several.at(i).at(1).toString(), files.at(i));
        }
    }

    void aDropWithAFolderOrAWebAddressIsRefusedWhole_data() {
        QTest::addColumn<bool>("folder");
        QTest::newRow("folder") << true;
        QTest::newRow("web address") << false;
    }
    void aDropWithAFolderOrAWebAddressIsRefusedWhole() {
        QFETCH(bool, folder);
        QSignalSpy refused(m_box.get(), &CDropEdit::dropRefused);
        QSignalSpy several(m_box.get(), &CDropEdit::dropSrcFile);
        QList<QUrl> urls = FileUrls({MakeFile(QStringLiteral("a.bin"))});
        urls << (folder ? QUrl::fromLocalFile(m_dir->path()) : QUrl(QStringLiteral("http://example.com/app.bin")));
        DropUrls(m_box.get(), urls);
        QCOMPARE(m_box->text(), QStringLiteral("before"));
        QCOMPARE(several.size(), 0);
        QCOMPARE(refused.size(), 1);
        const QString reason = refused.first().first().toString();
        QVERIFY2(reason.contains(folder ? m_dir->path() : QStringLiteral("http://example.com/app.bin")),
                 qPrintable(reason));
    }

    // A real file whose path is longer than 260 characters keeps its whole
    // name, alone or among several (cut, "update_v1.bin" once became
    // "update_v1.bi" and then a file type error).
    void longDroppedPathsStayWhole() {
        QString folder = m_dir->path();
        while (folder.size() < 280) folder += QStringLiteral("/a_rather_long_folder_name");
        QVERIFY(QDir().mkpath(folder));
        const QString longPath = folder + QStringLiteral("/update_v1.bin");
        QFile file(longPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        DropUrls(m_box.get(), {QUrl::fromLocalFile(longPath)});
        QCOMPARE(m_box->text(), longPath);
        QVERIFY(QFileInfo(m_box->text()).isFile());
        QSignalSpy several(m_box.get(), &CDropEdit::dropSrcFile);
        DropUrls(m_box.get(), {QUrl::fromLocalFile(longPath), QUrl::fromLocalFile(longPath)});
        QCOMPARE(several.size(), 2);
        QCOMPARE(several.at(1).at(1).toString(), longPath);
    }

    void droppedTextIsTypedAsInAnyBox() {
        m_box->clear();
        QMimeData data;
        data.setText(QStringLiteral("typed"));
        const QPoint point = m_box->rect().center();
        QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_box.get(), &enter);
        QDropEvent drop(QPointF(point), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_box.get(), &drop);
        QCOMPARE(m_box->text(), QStringLiteral("typed"));
    }

    void theChooserCancelledLeavesThePath() {
        QString path = m_dir->path();
        WhenChooserOpens([](QFileDialog& chooser) { CloseWhenDone closer{chooser, false}; });
        QVERIFY(!BrowseForFolder(nullptr, QStringLiteral("Select the folder:"), path));
        QCOMPARE(path, m_dir->path());
    }

    void theChooserOpensAtTheFolderAndReturnsItWithoutAChange() {
        QDir(m_dir->path()).mkpath(QStringLiteral("inner"));
        const QString start = m_dir->filePath(QStringLiteral("inner"));
        QString path = start;
        QString title;
        QString shown;
        WhenChooserOpens([&](QFileDialog& chooser) {
            CloseWhenDone closer{chooser, true};
            title = chooser.windowTitle();
            shown = PathBox(chooser)->text();
        });
        QVERIFY(BrowseForFolder(nullptr, QStringLiteral("Select the folder:"), path));
        QCOMPARE(title, QStringLiteral("Select the folder:"));
        QCOMPARE(shown, start);
        QCOMPARE(path, start);
    }

    void thePathBoxFollowsTheSelectionAndATypedPathIsChosen() {
        QDir(m_dir->path()).mkpath(QStringLiteral("alpha"));
        QDir(m_dir->path()).mkpath(QStringLiteral("beta/deeper"));
        QString path = m_dir->path();
        QString followed;
        WhenChooserOpens([&](QFileDialog& chooser) {
            CloseWhenDone closer{chooser, true};
            // The chooser shows its folder as a list or as details.
            QAbstractItemView* view = chooser.findChild<QTreeView*>(QStringLiteral("treeView"));
            if (!view || !view->isVisible()) view = chooser.findChild<QListView*>(QStringLiteral("listView"));
            QVERIFY(view && view->isVisible());
            // The folder's entries arrive from a file system watcher.
            QModelIndex beta;
            QTRY_VERIFY((beta = view->model()
                                    ->match(view->model()->index(0, 0, view->rootIndex()), Qt::DisplayRole,
                                            QStringLiteral("beta"), 1, Qt::MatchExactly)
                                    .value(0))
                            .isValid());
            QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(beta).center());
            followed = PathBox(chooser)->text();
            // A path typed into the box is what Choose returns.
            PathBox(chooser)->setFocus();
            PathBox(chooser)->setText(m_dir->filePath(QStringLiteral("beta/deeper")));
        });
        QVERIFY(BrowseForFolder(nullptr, QStringLiteral("Select the folder:"), path));
        QCOMPARE(followed, m_dir->filePath(QStringLiteral("beta")));
        QCOMPARE(path, m_dir->filePath(QStringLiteral("beta/deeper")));
    }

    void aStartFolderThatIsGoneOpensAtTheNearestOneAbove() {
        QString path = m_dir->filePath(QStringLiteral("gone/deeper"));
        QString directory;
        WhenChooserOpens([&](QFileDialog& chooser) {
            CloseWhenDone closer{chooser, false};
            directory = chooser.directory().absolutePath();
        });
        QVERIFY(!BrowseForFolder(nullptr, QStringLiteral("Select the folder:"), path));
        QCOMPARE(directory, m_dir->path());
        QCOMPARE(path, m_dir->filePath(QStringLiteral("gone/deeper")));
    }

    void theSourceFileDialogOffersTheFourFiltersAndReturnsTheFile() {
        const QString file = MakeFile(QStringLiteral("HZK16"));
        QStringList filters;
        QFileDialog::FileMode mode{};
        QString startedIn;
        WhenChooserOpens([&](QFileDialog& dialog) {
            CloseWhenDone closer{dialog, true};
            filters = dialog.nameFilters();
            mode = dialog.fileMode();
            startedIn = dialog.directory().absolutePath();
            dialog.selectFile(file);
        });
        DesktopConverterPrompts prompts;
        const std::optional<QString> chosen = prompts.ChooseSourceFile(nullptr, QFileInfo(file).absolutePath());
        QCOMPARE(filters, (QStringList{"*.bin", "*.dat", "*.bmp", "*.* (*)"}));
        QCOMPARE(mode, QFileDialog::ExistingFile);
        QCOMPARE(startedIn, QFileInfo(file).absolutePath());
        QCOMPARE(chosen.value_or(QString()), file);

        WhenChooserOpens([](QFileDialog& dialog) { CloseWhenDone closer{dialog, false}; });
        QVERIFY(!prompts.ChooseSourceFile(nullptr, QString()));
    }

    void messagesShowTheirTextCaptionAndIcon_data() {
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("shown");
        QTest::newRow("error") << int(MessageIcon::Error) << int(QMessageBox::Critical);
        QTest::newRow("prompt") << int(MessageIcon::Exclamation) << int(QMessageBox::Warning);
    }
    void messagesShowTheirTextCaptionAndIcon() {
        QFETCH(int, icon);
        QFETCH(int, shown);
        QString title;
        QString text;
        int boxIcon = -1;
        WhenChooserOpens<QMessageBox>([&](QMessageBox& box) {
            title = box.windowTitle();
            text = box.text();
            boxIcon = box.icon();
            box.button(QMessageBox::Ok)->click();
        });
        DesktopConverterPrompts prompts;
        prompts.ShowMessage(m_box.get(), DialogMessage{"Prüfung fertig", "Prompt", static_cast<MessageIcon>(icon)});
        QCOMPARE(title, QStringLiteral("Prompt"));
        QCOMPARE(text, QStringLiteral("Prüfung fertig"));
        QCOMPARE(boxIcon, shown);
    }

    void aDialogIsCentredWithTheFractionsDropped() {
        QCOMPARE(CentredTopLeft(QRect(100, 50, 800, 600), QSize(300, 200)), QPoint(350, 250));
        // Odd sizes: centre 100 + 401/2 = 300, half of 201 is 100.
        QCOMPARE(CentredTopLeft(QRect(100, 50, 401, 301), QSize(201, 101)), QPoint(200, 150));
        // A dialog larger than its owner reaches past it on both sides.
        QCOMPARE(CentredTopLeft(QRect(0, 0, 200, 100), QSize(400, 300)), QPoint(-100, -100));
    }
};

QTEST_MAIN(DropEditTest)
#include "DropEditTest.moc"
