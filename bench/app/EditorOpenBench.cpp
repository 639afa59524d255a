// Opening a large NC program in the editor, side by side with the floor: a
// minimal Qt program that reads the same file and shows it in a plain text
// editor. Each open runs in a fresh process, so its peak resident memory is
// its own; both are timed from the start of the open to the first paint of
// the opened text, with the longest the window's event loop went without
// turning meanwhile (a 5 ms timer's longest gap). Then, at the largest size,
// the time of a keystroke in the middle of the program and of a jump of the
// scroll bar, each to its paint.
//
//   build/bench/app/editor_open_bench [RUNS] [SIZES_MB...]   (default 3 runs, 10 and 50 MB)
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include <sys/resource.h>
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "app/Prompts.h"
#include "app/QuorlinDoc.h"
#include "app/QuorlinView.h"

namespace {

constexpr const char* kChildFlag = "--child";
constexpr int kDeadlineMs = 600000;
constexpr int kSamples = 60;

double PeakMiB() {
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// The window thread's own processor time: on a shared machine the wall
// time of one paint says more about the other processes than about it.
double ThreadCpuMs() {
    timespec now {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// A mould program's look: short motion blocks, now and then a comment.
void WriteProgram(const QString& path, qint64 bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) std::exit(2);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> coordinate(-200, 200);
    QByteArray text = "%\r\nO1234 (MOULD CAVITY 3D FINISH)\r\nN10 G21 G90 G17\r\n";
    for (long line = 20; text.size() < bytes; line += 10) {
        char block[96];
        const int length = line % 500 == 0 ? std::snprintf(block, sizeof block, "N%ld (PASS %ld)\r\n", line, line / 500)
                                            : std::snprintf(block, sizeof block, "N%ld G01 X%.3f Y%.3f Z%.3f F1200\r\n", line,
                                                            coordinate(random), coordinate(random), coordinate(random));
        text.append(block, length);
        if (text.size() > (1 << 24)) {
            file.write(text);
            bytes -= text.size();
            text.clear();
        }
    }
    file.write(text);
}

// Paints the whole editor now.
void Paint(QPlainTextEdit& editor) {
    editor.viewport()->repaint();
    QCoreApplication::processEvents();
}

// Delivers what an event asked for, as the event loop would: the editor
// repaints what changed (the edited line, or all of it after a scroll).
void Settle() { QCoreApplication::processEvents(); }

// Milliseconds from a keystroke or a scroll-bar jump to its paint.
void MeasureLatency(QPlainTextEdit& editor) {
    QTextCursor cursor(editor.document()->findBlockByNumber(editor.blockCount() / 2));
    cursor.movePosition(QTextCursor::EndOfBlock);
    editor.setTextCursor(cursor);
    editor.centerCursor();
    Paint(editor);
    std::vector<double> typing, scrolling, typingCpu, scrollingCpu;
    for (int i = 0; i < kSamples; ++i) {
        QElapsedTimer clock;
        clock.start();
        const double cpu = ThreadCpuMs();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("X"));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QStringLiteral("X"));
        QApplication::sendEvent(&editor, &press);
        QApplication::sendEvent(&editor, &release);
        Settle();
        typingCpu.push_back(ThreadCpuMs() - cpu);
        typing.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::mt19937 random(11);
    QScrollBar* bar = editor.verticalScrollBar();
    std::uniform_int_distribution<int> place(bar->minimum(), bar->maximum());
    for (int i = 0; i < kSamples; ++i) {
        QElapsedTimer clock;
        clock.start();
        const double cpu = ThreadCpuMs();
        bar->setValue(place(random));
        Settle();
        scrollingCpu.push_back(ThreadCpuMs() - cpu);
        scrolling.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::printf("typing %.2f/%.2f (processor %.2f/%.2f), scrolling %.2f/%.2f (processor %.2f/%.2f)\n", Median(typing),
                *std::max_element(typing.begin(), typing.end()), Median(typingCpu),
                *std::max_element(typingCpu.begin(), typingCpu.end()), Median(scrolling),
                *std::max_element(scrolling.begin(), scrolling.end()), Median(scrollingCpu),
                *std::max_element(scrollingCpu.begin(), scrollingCpu.end()));
}

int RunChild(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const std::string kind = argv[2];
    const QString path = QString::fromLocal8Bit(argv[3]);
    const bool latency = argc > 4;
    QWidget window;
    window.resize(1000, 700);
    std::unique_ptr<QPlainTextEdit> floor;
    std::unique_ptr<quorlin::WidgetPrompts> prompts;
    quorlin::CQuorlinView* view = nullptr;
    std::unique_ptr<quorlin::CQuorlinDoc> document;
    QPlainTextEdit* editor = nullptr;
    if (kind == "floor") {
        floor = std::make_unique<QPlainTextEdit>(&window);
        floor->setLineWrapMode(QPlainTextEdit::NoWrap);
        editor = floor.get();
    } else {
        view = new quorlin::CQuorlinView(&window);
        prompts = std::make_unique<quorlin::WidgetPrompts>();
        document = std::make_unique<quorlin::CQuorlinDoc>(*view, *prompts, &window);
        editor = view;
    }
    editor->resize(window.size());
    window.show();
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    qint64 lastTick = 0, longestGap = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    probe.start(5);
    clock.start();
    if (floor) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return 2;
        const QString text = QString::fromLatin1(file.readAll());
        floor->setPlainText(text);
    } else if (!document->OpenDocument(path)) {
        return 2;
    }
    Paint(*editor);
    const double openMs = clock.nsecsElapsed() / 1e6;
    probe.stop();
    longestGap = std::max(longestGap, clock.elapsed() - lastTick);
    std::printf("open %.1f %.1f %lld\n", openMs, PeakMiB(), static_cast<long long>(longestGap));
    if (latency) MeasureLatency(*editor);
    std::fflush(stdout);
    std::_Exit(0);
}

struct Figures {
    double ms = 0, mib = 0, gapMs = 0;
    QString latency;
};

Figures RunOnce(const QString& kind, const QString& path, bool latency) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments {QString::fromLatin1(kChildFlag), kind, path};
    if (latency) arguments << QStringLiteral("latency");
    child.start(QCoreApplication::applicationFilePath(), arguments);
    child.waitForFinished(kDeadlineMs);
    Figures figures;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        if (line.startsWith("open ")) std::sscanf(line.constData(), "open %lf %lf %lf", &figures.ms, &figures.mib, &figures.gapMs);
        else if (line.startsWith("typing")) figures.latency = QString::fromLatin1(line);
    }
    if (figures.ms == 0) {
        std::fprintf(stderr, "%s did not open %s\n", qPrintable(kind), qPrintable(path));
        std::exit(1);
    }
    return figures;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc > 3 && std::string(argv[1]) == kChildFlag) return RunChild(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::vector<int> sizes;
    for (int i = 2; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {10, 50};

    QTemporaryDir folder;
    for (int size : sizes) {
        const QString path = folder.filePath(QStringLiteral("program%1.nc").arg(size));
        WriteProgram(path, qint64(size) * 1000 * 1000);
        std::vector<double> ms[2], mib[2], gaps[2];
        const QString kinds[2] = {QStringLiteral("floor"), QStringLiteral("quorlin")};
        for (int run = 0; run < runs; ++run) {
            for (int k = 0; k < 2; ++k) {
                const Figures figures = RunOnce(kinds[k], path, false);
                ms[k].push_back(figures.ms);
                mib[k].push_back(figures.mib);
                gaps[k].push_back(figures.gapMs);
                std::printf("%d MB run %d %-7s open %8.1f ms  peak %7.1f MiB  window unanswered up to %6.0f ms\n", size,
                            run + 1, qPrintable(kinds[k]), figures.ms, figures.mib, figures.gapMs);
            }
        }
        std::printf("%d MB: floor %.0f ms %.0f MiB, editor %.0f ms %.0f MiB; ratio time %.2f (best %.2f), memory %.2f "
                    "(target <= 1.2)\n",
                    size, Median(ms[0]), Median(mib[0]), Median(ms[1]), Median(mib[1]), Median(ms[1]) / Median(ms[0]),
                    *std::min_element(ms[1].begin(), ms[1].end()) / *std::min_element(ms[0].begin(), ms[0].end()),
                    Median(mib[1]) / Median(mib[0]));
        std::printf("%d MB: longest the window went unanswered during the open, median of runs: floor %.0f ms, editor "
                    "%.0f ms (worst %.0f ms)\n",
                    size, Median(gaps[0]), Median(gaps[1]), *std::max_element(gaps[1].begin(), gaps[1].end()));
        std::fflush(stdout);
    }
    const QString largest = folder.filePath(QStringLiteral("program%1.nc").arg(sizes.back()));
    for (const QString& kind : {QStringLiteral("floor"), QStringLiteral("quorlin")}) {
        std::printf("%d MB %-7s ms median/max: %s (target < 16 ms)\n", sizes.back(), qPrintable(kind),
                    qPrintable(RunOnce(kind, largest, true).latency));
    }
    return 0;
}
