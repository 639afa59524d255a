// receive_bench: what receiving costs the desktop program and quorlin-cli,
// side by side in one run against the same quorlin-sim (family 1, Block):
//   unpaced: CPU time per MB received of each, and how soon the desktop
//     program's window opens a menu while the program streams in;
//   paced at 115200 baud: the share of a core each takes, against a bare
//     loop that polls, reads and writes the same stream to a file (the floor).
// The desktop program runs in this process, as the program itself builds it
// (main window, editor, log view, transfer session), on the offscreen
// platform unless QT_QPA_PLATFORM says otherwise.
// Usage: receive_bench [--runs N] [--mb MB] [--paced-kb KB] [--only unpaced|paced]

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMenu>
#include <QSettings>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/MainFrame.h"
#include "profile/Profile.h"
#include "app/Prompts.h"
#include "serial/PortMap.h"
#include "tests/support/Process.h"
#include "transfer/qt/TransferSession.h"

extern char** environ;

namespace {

using quorlin::e2e::After;
using quorlin::e2e::Process;
using Clock = std::chrono::steady_clock;

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }
double CpuOf(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}
double ThreadCpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string Program(std::size_t bytes) {
    std::string text;
    for (std::size_t i = 1; text.size() < bytes; ++i)
        text += "N" + std::to_string(i) + "G01X" + std::to_string(i % 977) + "Y5F300\n";
    text.resize(bytes - 1);
    return text + "\n";
}

struct Measure {
    double wall = 0;  // seconds from the controller's first byte to the stored end
    double cpu = 0;   // seconds of CPU in that time
    std::vector<double> menuMs;  // desktop only: from asking for a menu to its first paint
};

// The simulator and the folders, shared by every transfer of the run.
class Stage {
public:
    Stage() {
        char pattern[] = "/tmp/quorlin-receive-bench.XXXXXX";
        m_folder = mkdtemp(pattern);
        std::filesystem::create_directories(m_folder + "/ports");
        std::filesystem::create_directories(m_folder + "/store");
        for (char** e = environ; *e; ++e) {
            const std::string item = *e;
            if (item.rfind("QUORLIN_PORTS=", 0) && item.rfind("XDG_CONFIG_HOME=", 0)) m_env.push_back(item);
        }
        m_env.push_back("QUORLIN_PORTS=" + m_folder + "/ports");
        m_env.push_back("XDG_CONFIG_HOME=" + m_folder);
        qputenv("QUORLIN_PORTS", QByteArray::fromStdString(m_folder + "/ports"));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_folder));
    }
    ~Stage() {
        StopSim();
        std::filesystem::remove_all(m_folder);
    }

    bool StartSim(bool paced) {
        StopSim();
        std::vector<std::string> argv{QUORLIN_SIM_PATH, "--family", "1", "--store", m_folder + "/store"};
        if (paced) argv.insert(argv.end(), {"--pace", "--line", "115200,o,7,1"});
        m_sim = std::make_unique<Process>(argv, m_env, "sim");
        m_seen = 0;
        m_session = std::make_unique<quorlin::e2e::Session>();
        m_session->Add(*m_sim);
        return m_session->WaitForLine(*m_sim, "ready", m_seen, After()).has_value();
    }
    void StopSim() {
        if (!m_sim) return;
        m_sim->WriteLine("quit");
        m_sim->CloseInput();
        m_session->WaitForExit(*m_sim, After());
        m_sim.reset();
    }
    void SimSend(const std::string& path) { m_sim->WriteLine("send " + path); }
    // Reads what the simulator reported, so that its pipe never fills.
    void Pump() { m_session->WaitUntil([] { return true; }, Clock::now()); }

    std::string Write(const std::string& name, const std::string& bytes) const {
        const std::string path = m_folder + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    const std::string& Folder() const { return m_folder; }
    const std::vector<std::string>& Env() const { return m_env; }

private:
    std::string m_folder;
    std::vector<std::string> m_env;
    std::unique_ptr<Process> m_sim;
    std::unique_ptr<quorlin::e2e::Session> m_session;
    std::size_t m_seen = 0;
};

// Stamps the first paint of a menu that was asked for.
class MenuWatch : public QObject {
public:
    Clock::time_point asked;
    bool waiting = false;
    std::vector<double>* into = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (waiting && event->type() == QEvent::Paint) {
            waiting = false;
            into->push_back(std::chrono::duration<double, std::milli>(Clock::now() - asked).count());
        }
        return QObject::eventFilter(watched, event);
    }
};

Measure RunDesktop(Stage& stage, quorlin::CMainFrame& frame, const std::string& program, bool probeMenus) {
    Measure measure;
    quorlin::TransferSession& session = frame.Session();
    const QString target = QString::fromStdString(stage.Folder() + "/desktop.nc");
    session.ReceiveFile(target);
    if (!session.IsBusy()) return measure;
    QMenu* menu = frame.OperationMenu();
    MenuWatch watch;
    watch.into = &measure.menuMs;
    menu->installEventFilter(&watch);
    // Every 250 ms another thread asks for the menu, as the window system
    // hands on a click: the request waits behind whatever the window's thread
    // has queued. The time counts from the request to the menu's first paint.
    std::atomic<bool> probing{true};
    std::thread prober([&] {
        while (probeMenus && probing.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            const auto asked = Clock::now();
            QMetaObject::invokeMethod(
                &frame,
                [&, asked] {
                    if (!probing.load()) return;
                    menu->hide();
                    watch.asked = asked;
                    watch.waiting = true;
                    menu->popup(frame.mapToGlobal(QPoint(40, 40)));
                },
                Qt::QueuedConnection);
        }
    });
    QTimer pump;
    QObject::connect(&pump, &QTimer::timeout, [&] { stage.Pump(); });
    pump.start(100);
    const double cpu0 = CpuOf(RUSAGE_SELF);
    const auto start = Clock::now();
    stage.SimSend(program);
    QEventLoop loop;
    QObject::connect(&session, &quorlin::TransferSession::busyChanged, &loop, [&](bool busy) {
        if (!busy) loop.quit();
    });
    if (session.IsBusy()) loop.exec();
    measure.wall = std::chrono::duration<double>(Clock::now() - start).count();
    measure.cpu = CpuOf(RUSAGE_SELF) - cpu0;
    probing.store(false);
    prober.join();
    QCoreApplication::processEvents();  // requests still queued find probing over
    menu->hide();
    menu->removeEventFilter(&watch);
    session.ClosePort();
    return measure;
}

Measure RunCli(Stage& stage, const std::string& program) {
    Measure measure;
    const std::string target = stage.Folder() + "/cli.nc";
    Process cli({QUORLIN_CLI_PATH, "receive", target, "--port", "1", "--family", "1"}, stage.Env(), "cli");
    quorlin::e2e::Session session;
    session.Add(cli);
    session.WaitUntil([&] { return cli.Out().find("Begin to receive file") != std::string::npos; }, After());
    const double cpu0 = CpuOf(RUSAGE_CHILDREN);  // the tool's time counts once it is reaped
    const auto start = Clock::now();
    stage.SimSend(program);
    session.WaitForExit(cli, After(std::chrono::seconds(600)));
    measure.wall = std::chrono::duration<double>(Clock::now() - start).count();
    measure.cpu = CpuOf(RUSAGE_CHILDREN) - cpu0;
    if (cli.ExitStatus() != 0) std::fprintf(stderr, "quorlin-cli failed: %s\n", cli.Err().c_str());
    return measure;
}

// The floor: poll, read, write to a file, until SUB; nothing else.
Measure RunBareLoop(Stage& stage, const std::string& program) {
    Measure measure;
    const std::string device = quorlin::PortDevicePath(1);
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return measure;
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    tcflush(fd, TCIOFLUSH);
    const int out = open((stage.Folder() + "/bare.nc").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::atomic<bool> done{false};
    double cpu = 0;
    std::thread loop([&] {
        const double cpu0 = ThreadCpu();
        char buffer[512];
        while (!done) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 1000) <= 0) continue;
            const ssize_t n = read(fd, buffer, 511);
            if (n <= 0) continue;
            if (write(out, buffer, static_cast<size_t>(n)) < 0) break;
            if (std::find(buffer, buffer + n, '\x1a') != buffer + n) done = true;
        }
        cpu = ThreadCpu() - cpu0;
    });
    const auto start = Clock::now();
    stage.SimSend(program);
    while (!done && Clock::now() - start < std::chrono::seconds(600)) stage.Pump(), usleep(20000);
    done = true;
    loop.join();
    measure.wall = std::chrono::duration<double>(Clock::now() - start).count();
    measure.cpu = cpu;
    close(out);
    close(fd);
    return measure;
}

std::string LoadLine() {
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) < 0) return "?";
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
    return text;
}

}  // namespace

int main(int argc, char* argv[]) {
    int runs = 3;
    double mb = 10, pacedKb = 256;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--mb" && i + 1 < argc) mb = std::atof(argv[++i]);
        else if (a == "--paced-kb" && i + 1 < argc) pacedKb = std::atof(argv[++i]);
        else if (a == "--only" && i + 1 < argc) only = argv[++i];
        else {
            std::fprintf(stderr, "usage: receive_bench [--runs N] [--mb MB] [--paced-kb KB] [--only unpaced|paced]\n");
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    Stage stage;
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(quorlin::kProfileOrganization));
    QApplication::setApplicationName(QString::fromLatin1(quorlin::kProfileApplication));
    {
        QSettings profile;
        profile.setValue(QStringLiteral("Prop/SysType"), 1);
    }
    std::printf("load average at start: %s\n", LoadLine().c_str());

    if (only.empty() || only == "unpaced") {
        const std::string program = stage.Write("unpaced.nc", Program(static_cast<std::size_t>(mb * 1e6)));
        if (!stage.StartSim(false)) return 1;
        quorlin::WidgetPrompts prompts;
        quorlin::CMainFrame frame(prompts);
        frame.resize(900, 700);
        frame.show();
        std::vector<double> desktop, cli, menus;
        for (int r = 0; r < runs; ++r) {
            const Measure d = RunDesktop(stage, frame, program, true);
            const Measure c = RunCli(stage, program);
            desktop.push_back(d.cpu / mb * 1000);
            cli.push_back(c.cpu / mb * 1000);
            menus.insert(menus.end(), d.menuMs.begin(), d.menuMs.end());
            std::printf("  run %d: desktop %.2f s wall, %.0f ms CPU/MB; quorlin-cli %.2f s wall, %.0f ms CPU/MB; "
                        "menu %zu opened, slowest %.0f ms\n",
                        r + 1, d.wall, d.cpu / mb * 1000, c.wall, c.cpu / mb * 1000, d.menuMs.size(),
                        d.menuMs.empty() ? 0.0 : *std::max_element(d.menuMs.begin(), d.menuMs.end()));
        }
        std::sort(menus.begin(), menus.end());
        std::printf("Unpaced %.0f MB receive: CPU per MB desktop %.0f ms, quorlin-cli %.0f ms, ratio %.2f (target <= 2)\n",
                    mb, Median(desktop), Median(cli), Median(desktop) / std::max(Median(cli), 1e-9));
        std::printf("  menu opens during the receive: %zu, median %.1f ms, slowest %.1f ms (target <= 100)\n",
                    menus.size(), Median(menus), menus.empty() ? 0.0 : menus.back());
        frame.close();
    }
    if (only.empty() || only == "paced") {
        const std::string program = stage.Write("paced.nc", Program(static_cast<std::size_t>(pacedKb * 1000)));
        if (!stage.StartSim(true)) return 1;
        quorlin::WidgetPrompts prompts;
        quorlin::CMainFrame frame(prompts);
        frame.show();
        std::vector<double> desktop, cli, bare;
        for (int r = 0; r < runs; ++r) {
            const Measure d = RunDesktop(stage, frame, program, false);
            const Measure c = RunCli(stage, program);
            const Measure b = RunBareLoop(stage, program);
            desktop.push_back(d.cpu / d.wall);
            cli.push_back(c.cpu / c.wall);
            bare.push_back(b.cpu / b.wall);
            std::printf("  run %d: desktop %.1f %% of a core (%.1f s), quorlin-cli %.1f %% (%.1f s), bare loop %.1f %% "
                        "(%.1f s)\n",
                        r + 1, 100 * d.cpu / d.wall, d.wall, 100 * c.cpu / c.wall, c.wall, 100 * b.cpu / b.wall,
                        b.wall);
        }
        const double floor = std::max(Median(bare), 1e-9);
        std::printf("Paced 115200 7O1, %.0f KB: CPU desktop %.1f %%, quorlin-cli %.1f %%, bare loop %.1f %%; "
                    "ratios %.2f and %.2f (target <= 2)\n",
                    pacedKb, 100 * Median(desktop), 100 * Median(cli), 100 * Median(bare), Median(desktop) / floor,
                    Median(cli) / floor);
        frame.close();
    }
    std::printf("load average at end: %s\n", LoadLine().c_str());
    return 0;
}
