// The plain rules under the transfer's windows: the log's two units, the
// progress bar's scale, the send rate, the centring of a dialog.

#include <QRandomGenerator>
#include <QTest>
#include <climits>

#include "transfer/qt/DialogGeometry.h"
#include "ui/DialogPlacement.h"
#include "transfer/qt/LogMirror.h"
#include "transfer/qt/ProgressScale.h"
#include "transfer/qt/TransferRate.h"

using namespace quorlin;

class TransferRulesTest : public QObject {
    Q_OBJECT
private slots:
    void logCountsCrLfAsTwoAndShowsOneBreak();
    void crLfSplitOverTwoAppendsIsStillOneBreak();
    void trimBetweenCrAndLfKeepsTheLineBreak();
    void viewFollowsTheLogThroughAnyAppendsAndTrims_data();
    void viewFollowsTheLogThroughAnyAppendsAndTrims();
    void longRunsAreFoldedInTheViewOnly();
    void everyByteIsOneCharacter();
    void progressScaleFitsAnyTotalIntoAnInt_data();
    void progressScaleFitsAnyTotalIntoAnInt();
    void rateAndTimeLeftFromTheFirstByteSent();
    void rateIsWhatTheLineCarriedLately();
    void centredWithTruncatingHalves_data();
    void centredWithTruncatingHalves();
};

void TransferRulesTest::logCountsCrLfAsTwoAndShowsOneBreak() {
    LogMirror log;
    QCOMPARE(log.Append("\r\n2026 01 02, 03:04:05   Begin\r\n"), QStringLiteral("\n2026 01 02, 03:04:05   Begin\n"));
    QCOMPARE(log.Length(), size_t(32));
    QCOMPARE(log.Append("A\nB\rC"), QStringLiteral("A\nB\nC"));  // a lone LF or CR breaks the line too
}

void TransferRulesTest::crLfSplitOverTwoAppendsIsStillOneBreak() {
    LogMirror log;
    QCOMPARE(log.Append("G01\r"), QStringLiteral("G01\n"));
    QCOMPARE(log.Append("\nM30"), QStringLiteral("M30"));
    QCOMPARE(log.ViewText(), QStringLiteral("G01\nM30"));
    QCOMPARE(log.Length(), size_t(8));
}

void TransferRulesTest::trimBetweenCrAndLfKeepsTheLineBreak() {
    LogMirror log;
    log.Append("AB\r\nCD");
    // "AB\r" goes; the LF that is left now stands for the line break.
    QCOMPARE(log.EraseFront(3), 2);
    QCOMPARE(log.Text(), std::string("\nCD"));
    QCOMPARE(log.ViewText(), QStringLiteral("\nCD"));
    // Cutting behind the pair removes its one break.
    LogMirror other;
    other.Append("AB\r\nCD");
    QCOMPARE(other.EraseFront(4), 3);
    QCOMPARE(other.ViewText(), QStringLiteral("CD"));
}

// Plays the view: applies what the mirror says to a string and compares it
// with the mirror's own view text after every change.
void TransferRulesTest::viewFollowsTheLogThroughAnyAppendsAndTrims_data() {
    QTest::addColumn<QByteArray>("alphabet");
    QTest::addColumn<int>("longestAppend");
    QTest::newRow("short lines") << QByteArray("\r\nAB \x7f") << 8;
    QTest::newRow("folded lines") << (QByteArray("\r\n") + QByteArray(200, 'x')) << 700;
}

void TransferRulesTest::viewFollowsTheLogThroughAnyAppendsAndTrims() {
    QFETCH(QByteArray, alphabet);
    QFETCH(int, longestAppend);
    QRandomGenerator random(8);
    LogMirror log;
    QString view;
    for (int round = 0; round < 3000; ++round) {
        if (random.bounded(5) == 0) {
            const size_t count = random.bounded(static_cast<quint32>(log.Length() + 2));
            view.remove(0, log.EraseFront(count));
        } else {
            std::string text;
            for (int n = random.bounded(1, longestAppend); n > 0; --n)
                text += alphabet[random.bounded(static_cast<int>(alphabet.size()))];
            view += log.Append(text);
        }
        QCOMPARE(view, log.ViewText());
    }
}

void TransferRulesTest::longRunsAreFoldedInTheViewOnly() {
    LogMirror log;
    QString view;
    for (int i = 0; i < 6; ++i) view += log.Append(std::string(511, 'N'));  // 3066 characters, no break
    QCOMPARE(log.Length(), size_t(3066));
    const QStringList lines = view.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0].size(), qsizetype(LogMirror::kFoldColumn));
    QCOMPARE(lines[2].size(), qsizetype(3066 - 2 * LogMirror::kFoldColumn));
    // Removing the first folded part removes its fold too.
    QCOMPARE(log.EraseFront(LogMirror::kFoldColumn), int(LogMirror::kFoldColumn) + 1);
    QCOMPARE(log.ViewText(), view.mid(LogMirror::kFoldColumn + 1));
    // A real line break starts the count again.
    QCOMPARE(log.Append("\r\nG1"), QStringLiteral("\nG1"));
}

void TransferRulesTest::everyByteIsOneCharacter() {
    std::string bytes;
    for (int b = 0x80; b <= 0xFF; ++b) bytes += static_cast<char>(b);
    LogMirror log;
    const QString shown = log.Append(bytes);
    QCOMPARE(shown.size(), qsizetype(128));
    for (int i = 0; i < 128; ++i) QCOMPARE(shown[i].unicode(), char16_t(0x80 + i));
    QCOMPARE(log.Length(), size_t(128));
}

void TransferRulesTest::progressScaleFitsAnyTotalIntoAnInt_data() {
    QTest::addColumn<quint64>("total");
    QTest::newRow("empty") << quint64(0);
    QTest::newRow("small") << quint64(4095);
    QTest::newRow("int max") << quint64(INT_MAX);
    QTest::newRow("int max + 1") << quint64(INT_MAX) + 1;
    QTest::newRow("4 GiB") << (quint64(1) << 32);
    QTest::newRow("1 TiB + 7") << (quint64(1) << 40) + 7;
    QTest::newRow("largest") << ~quint64(0);
}

void TransferRulesTest::progressScaleFitsAnyTotalIntoAnInt() {
    QFETCH(quint64, total);
    const ProgressScale scale(total);
    QVERIFY(scale.Maximum() >= 0);
    QCOMPARE(scale.Value(total), scale.Maximum());
    QCOMPARE(scale.Value(total + (total < ~quint64(0) ? 1 : 0)), scale.Maximum());  // beyond: full
    QCOMPARE(scale.Value(0), 0);
    if (total <= quint64(INT_MAX)) {
        QCOMPARE(scale.Maximum(), int(total));  // nothing to scale: bytes as they are
    } else {
        QVERIFY(scale.Maximum() > INT_MAX / 2);  // as fine as an int allows
        const double half = double(scale.Value(total / 2)) / scale.Maximum();
        QVERIFY(qAbs(half - 0.5) < 1e-6);
    }
}

void TransferRulesTest::rateAndTimeLeftFromTheFirstByteSent() {
    using namespace std::chrono_literals;
    TransferRate rate;
    const auto start = TransferRate::Clock::time_point{} + 100s;
    rate.Start(10000, start);
    rate.Note(0, start + 5s);  // the controller has not asked yet: no clock
    QVERIFY(!rate.BytesPerSecond());
    rate.Note(1000, start + 10s);
    rate.Note(1500, start + 10s + 500ms);
    QVERIFY(!rate.BytesPerSecond());  // half a second says too little
    rate.Note(3000, start + 12s);
    QCOMPARE(*rate.BytesPerSecond(), 1000.0);
    QCOMPARE(*rate.SecondsLeft(), int64_t(7));
    rate.Note(9999, start + 18s + 999ms);
    QCOMPARE(*rate.SecondsLeft(), int64_t(1));  // rounded up
}

// A pty takes the first 20 KB at once, then the line's pace; a controller
// that stops leaves the rate falling, and no time left while it is unsteady.
void TransferRulesTest::rateIsWhatTheLineCarriedLately() {
    using namespace std::chrono_literals;
    constexpr double kLine = 960;  // 9600 baud, 10 bits a character
    TransferRate rate;
    const auto start = TransferRate::Clock::time_point{} + 100s;
    rate.Start(100000, start, kLine);
    rate.Note(500, start);
    rate.Note(20900, start + 1s);
    QCOMPARE(*rate.BytesPerSecond(), kLine);  // never above the line
    QVERIFY(!rate.IsSteady());
    uint64_t position = 20900;
    for (int second = 2; second <= 8; ++second) rate.Note(position += 900, start + second * 1s);
    QCOMPARE(*rate.BytesPerSecond(), 900.0);  // the start has left the window
    QVERIFY(rate.IsSteady());
    QCOMPARE(*rate.SecondsLeft(), int64_t((100000 - position + 899) / 900));
    rate.Note(position, start + 9s);  // the controller stopped
    rate.Note(position, start + 10s);
    QCOMPARE(*rate.BytesPerSecond(), 900.0 * 3 / 5);
    QVERIFY(!rate.IsSteady());
    for (int second = 11; second <= 14; ++second) rate.Note(position, start + second * 1s);
    QCOMPARE(*rate.BytesPerSecond(), 0.0);
    QVERIFY(!rate.SecondsLeft());
}

void TransferRulesTest::centredWithTruncatingHalves_data() {
    QTest::addColumn<QRect>("owner");
    QTest::addColumn<QSize>("dialog");
    QTest::addColumn<QPoint>("topLeft");
    QTest::newRow("even") << QRect(0, 0, 800, 600) << QSize(200, 100) << QPoint(300, 250);
    QTest::newRow("odd sizes") << QRect(10, 20, 801, 601) << QSize(201, 101) << QPoint(310, 270);
    // Partly off the screen: (-100 + 1) / 2 is -49, not -50; nothing moves it back.
    QTest::newRow("off screen") << QRect(-100, -60, 101, 61) << QSize(31, 21) << QPoint(-64, -39);
}

void TransferRulesTest::centredWithTruncatingHalves() {
    QFETCH(QRect, owner);
    QFETCH(QSize, dialog);
    QFETCH(QPoint, topLeft);
    QCOMPARE(CentredTopLeft(owner, dialog), topLeft);
}

QTEST_GUILESS_MAIN(TransferRulesTest)
#include "TransferRulesTest.moc"
