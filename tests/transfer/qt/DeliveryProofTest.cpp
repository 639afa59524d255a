// The line after a transfer's end line says what it carried and how long it
// took: transfers back to back against quorlin-sim over a pseudo-terminal,
// each with its own time and a rate that no line could beat.

#include <QRegularExpression>
#include <QTest>

#include "convert/UpdateFile.h"
#include "tests/transfer/qt/TransferUiSupport.h"
#include "transfer/ControllerFamily.h"
#include "transfer/qt/TransferSession.h"

using namespace quorlin;
using namespace quorlin::test;

namespace {

// Both downloads of family 1 go at 9600,o,8,1; its programs at 9600,o,7,1.
constexpr double kDownloadLine = 9600.0 / 11;
constexpr double kProgramLine = 9600.0 / 10;

struct Summary {
    qulonglong bytes = 0;
    double seconds = -1;
    qulonglong rate = 0;
};

// The summary line of the log of the transfer that just ended.
Summary SummaryOf(const QString& log) {
    static const QRegularExpression line(QStringLiteral("(\\d+) bytes sent[^\r\n]* in ([0-9.]+) s \\((\\d+) bytes/s\\)\r\n$"));
    const QRegularExpressionMatch match = line.match(log);
    if (!match.hasMatch()) return {};
    qInfo("%s", qPrintable(match.captured(0).trimmed()));
    return {match.captured(1).toULongLong(), match.captured(2).toDouble(), match.captured(3).toULongLong()};
}

QByteArray Pattern(int count) {
    QByteArray bytes(count, '\0');
    for (int i = 0; i < count; ++i) bytes[i] = char(1 + (i * 7) % 251);
    return bytes;
}

QByteArray UpdateFileOf(const QByteArray& payload) {
    UpdateFileHeader header;
    header.checksum = SumBytes(reinterpret_cast<const uint8_t*>(payload.constData()), uint32_t(payload.size()));
    header.payloadLength = uint32_t(payload.size());
    const HeaderBytes bytes = header.ToBytes();
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size())) + payload;
}

}  // namespace

class DeliveryProofTest : public QObject {
    Q_OBJECT
private slots:
    void eachTransferHasItsOwnTimeAndRate();
};

// The simulator reads the pty at once: a stream is all handed over long
// before the line could carry it, and the blocks are answered as soon as
// they are written.
void DeliveryProofTest::eachTransferHasItsOwnTimeAndRate() {
    ViewStage stage({100, 80, 700, 500});
    QVERIFY(stage.Start(1));
    // The summary of the transfer once it has ended; none if it did not.
    auto finish = [&stage] {
        if (!QTest::qWaitFor([&stage] { return !stage.session->IsBusy(); }, kWaitMs)) return Summary{};
        return SummaryOf(stage.Log());
    };

    // Blocks answered at once: still no faster than the line.
    QVERIFY(!stage.sim.Command(QStringLiteral("expect download blocks answer 11"),
                               QStringLiteral("expecting download")).isEmpty());
    stage.session->DownloadFile(stage.sim.WriteFile(QStringLiteral("system.bin"), UpdateFileOf(Pattern(40000))),
                                DownloadKind::SystemSoftware);
    const Summary blocks = finish();
    QVERIFY2(blocks.seconds >= 0, qPrintable(stage.Log()));
    QVERIFY2(blocks.rate <= kDownloadLine, qPrintable(stage.Log()));
    QVERIFY(!stage.sim.Reports(QStringLiteral("stored download")).isEmpty());

    // A stream of 20000 bytes takes 23 s on the line, whatever the pty took.
    QVERIFY(!stage.sim.Command(QStringLiteral("expect download stream"), QStringLiteral("expecting download"))
                 .isEmpty());
    stage.session->DownloadFile(stage.sim.WriteFile(QStringLiteral("picture.bin"), Pattern(20000)),
                                DownloadKind::Interface);
    const Summary stream = finish();
    QVERIFY2(stream.seconds >= 20000 / kDownloadLine - 0.1, qPrintable(stage.Log()));
    QVERIFY2(stream.rate <= kDownloadLine, qPrintable(stage.Log()));
    QVERIFY(!stage.sim.Reports(QStringLiteral("stored download")).isEmpty());
    stage.sim.Command(QStringLiteral("expect program"), QStringLiteral("expecting program"));

    // Right behind it, a short program: its own 0.2 s, not the stream's tail.
    const QByteArray program = "%\r\nO0001\r\nN10 G90 G54\r\nN20 G00 X0 Y0\r\nM30\r\n%\r\n";
    stage.session->SendCurrentFile(program, QString());
    const Summary send = finish();
    QVERIFY2(send.bytes > 0, qPrintable(stage.Log()));
    QVERIFY2(send.seconds >= 0 && send.seconds < 3, qPrintable(stage.Log()));
    QVERIFY2(send.rate <= kProgramLine, qPrintable(stage.Log()));
    QVERIFY(!stage.sim.Reports(QStringLiteral("stored program")).isEmpty());
}

QTEST_MAIN(DeliveryProofTest)
#include "DeliveryProofTest.moc"
