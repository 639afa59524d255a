// Start-up of the desktop program to a shown main window, with the full
// probe of port numbers 0 to 254 (QUORLIN_PORTS unset: the machine's own port
// map). Each run starts a fresh process with its own empty profile and times
// it from the start of the process to the main window's first paint; the
// probe alone is timed in process as well.
//
//   build/bench/app/startup_bench [RUNS]     (default 9; medians printed)
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/MainFrame.h"
#include "profile/Profile.h"
#include "app/Prompts.h"
#include "app/QuorlinApp.h"
#include "serial/PortMap.h"
#include "serial/ProbePorts.h"

namespace {

constexpr const char* kChildFlag = "--child";
constexpr const char* kShownLine = "shown";
constexpr int kDefaultRuns = 9;
constexpr int kDeadlineMs = 30000;

// In the child: reports the main window's first paint and ends at once.
class FirstPaint : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            std::printf("%s\n", kShownLine);
            std::fflush(stdout);
            std::_Exit(0);
        }
        return QObject::eventFilter(watched, event);
    }
};

int RunChild(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(quorlin::kProfileOrganization));
    QApplication::setApplicationName(QString::fromLatin1(quorlin::kProfileApplication));
    quorlin::WidgetPrompts prompts;
    quorlin::CQuorlinApp app(prompts);
    FirstPaint watcher;
    qApp->installEventFilter(&watcher);
    if (!app.InitInstance({})) return 1;
    return QApplication::exec();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc > 1 && std::string(argv[1]) == kChildFlag) return RunChild(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv(quorlin::kPortsFolderVariable);
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultRuns;

    std::vector<double> probes;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        const auto found = quorlin::ProbePorts();
        probes.push_back(clock.nsecsElapsed() / 1e6);
        if (run == 0) {
            std::printf("ports found:");
            for (unsigned port : found) std::printf(" %u", port);
            std::printf("\n");
        }
    }

    std::vector<double> starts;
    for (int run = 0; run < runs; ++run) {
        QTemporaryDir profile;
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), profile.path());
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer clock;
        clock.start();
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kChildFlag)});
        bool shown = false;
        while (!shown && child.waitForReadyRead(kDeadlineMs)) shown = child.readAll().contains(kShownLine);
        const double elapsed = clock.nsecsElapsed() / 1e6;
        child.waitForFinished(kDeadlineMs);
        if (!shown) {
            std::fprintf(stderr, "run %d: the window was not shown\n", run + 1);
            return 1;
        }
        starts.push_back(elapsed);
        std::printf("run %d: %.1f ms\n", run + 1, elapsed);
    }
    std::printf("probe of port numbers 0-254: median %.2f ms\n", Median(probes));
    std::printf("process start to shown main window: median %.1f ms, best %.1f ms (target <= 300 ms)\n",
                Median(starts), *std::min_element(starts.begin(), starts.end()));
    return 0;
}
