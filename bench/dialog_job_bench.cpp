// Runs the same encryption through the dialog and through vanthe-cli, alternating, at two
// displays (Qt's offscreen platform, and a virtual X server started here, where the window's
// colour key is in force) and under two loads (idle, and two busy loops started here), and
// prints for each the medians and their ratio, how often the dialog repainted during its jobs,
// and the CPU it used while idle. Each display and load runs in a child process of its own; a
// child still running after the time limit is stopped and its dialog time counts as over it.
// Usage: dialog_job_bench [MiB] [runs] [seconds allowed per display and load]

#include "bench/bench_support.h"
#include "engine/file_transform.h"
#include "jobs/job_messages.h"
#include "jobs/job_runner.h"
#include "platform/window/dialogs.h"
#include "platform/window/messaging.h"
#include "platform/window/resources.h"
#include "platform/window/startup.h"
#include "qt_bridge.h"
#include "res/program_resources.h"
#include "res/resource_ids.h"
#include "ui/app_module.h"
#include "ui/main_dialog.h"

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace platform;
using namespace vanthe;
using Clock = std::chrono::steady_clock;

namespace {

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct DialogRun {
    double seconds = 0;
    int paints = 0;
    double idleCpuPercent = 0;
};

DialogRun RunThroughDialog(const std::string& source, const std::string& destination) {
    DialogRun run;
    MainDialog dialog;
    PaintCounter counter;
    Clock::time_point start;
    Clock::time_point end;
    double idleCpuStart = 0;
    QTimer poll;
    int phase = 0;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        HWND window = dialog.window();
        QWidget* widget = WidgetFromHandle(window);
        if (phase == 0 && widget != nullptr && widget->isVisible()) {
            widget->installEventFilter(&counter);
            SetDlgItemText(window, IDC_SOURCE, source.c_str());
            SetDlgItemText(window, IDC_DESTINATION, destination.c_str());
            SetDlgItemText(window, IDC_PASSWORD, "a");
            dialog.ExchangeData(MainDialog::Exchange::ToMembers);
            phase = 1;
            start = Clock::now();
            SendMessage(window, WM_COMMAND, MAKEWPARAM(IDC_RUN, BN_CLICKED), 0);
        } else if (phase == 1 && !JobUnderWay() && RunningWorkers() == 0 &&
                   dialog.destinationPath.empty()) {
            end = Clock::now();
            phase = 2;
            // Idle: nothing may keep a processor busy now.
            poll.stop();
            idleCpuStart = CpuSeconds();
            QTimer::singleShot(1000, [&] {
                run.idleCpuPercent = (CpuSeconds() - idleCpuStart) * 100.0;
                EndDialog(dialog.window(), IDCANCEL);
            });
        }
    });
    poll.start();
    dialog.RunModal(nullptr, 0);
    run.seconds = std::chrono::duration<double>(end - start).count();
    run.paints = counter.paints;
    return run;
}

// The one place that knows vanthe-cli's command line.
std::vector<std::string> CliCommand(const std::string& passwordFile, const std::string& source,
                                    const std::string& destination) {
    return {VANTHE_CLI_PATH, "encrypt", "--quiet", "-p", passwordFile, "-o", destination, source};
}

// One display and load: alternating runs, each printed as soon as it is measured so that the
// parent keeps them when it has to stop this process.
int RunOneSetting(int argc, char** argv) {
    if (argc < 4) {
        return 2;
    }
    std::string dir = argv[2];
    int runs = std::atoi(argv[3]);
    int qtArgc = 1;
    SetApplicationArguments(qtArgc, argv);
    INITCOMMONCONTROLSEX init{8, ICC_BAR_CLASSES};
    if (!InitCommonControlsEx(&init)) {
        return 1;
    }
    appModule.Init(RegisterModuleResources(ProgramResources()));
    std::string source = dir + "source";
    for (int i = 0; i < runs; ++i) {
        std::string cliOut = dir + "out.cli";
        std::string dialogOut = dir + "out.dialog";
        ::unlink(cliOut.c_str());
        bench::ChildRun cli = bench::RunChild(CliCommand(dir + "password", source, cliOut));
        std::printf("cli %.4f %d\n", cli.seconds, cli.ok ? 1 : 0);
        std::fflush(stdout);
        ::unlink(dialogOut.c_str());
        DialogRun run = RunThroughDialog(source, dialogOut);
        std::printf("dialog %.4f %d %.1f %d\n", run.seconds, run.paints, run.idleCpuPercent,
                    bench::SameFiles(cliOut, dialogOut) ? 1 : 0);
        std::fflush(stdout);
    }
    return 0;
}

struct Outcome {
    std::vector<double> cli;
    std::vector<double> dialog;
    bool timedOut = false;
    bool same = true;
    double paints = 0;
    double idleCpu = 0;
};

Outcome Parse(const std::string& path, bool timedOut) {
    Outcome outcome;
    outcome.timedOut = timedOut;
    std::ifstream in(path);
    std::string kind;
    int dialogs = 0;
    while (in >> kind) {
        if (kind == "cli") {
            double seconds = 0;
            int ok = 0;
            in >> seconds >> ok;
            outcome.cli.push_back(seconds);
            outcome.same = outcome.same && ok == 1;
        } else if (kind == "dialog") {
            double seconds = 0;
            int paints = 0;
            double idle = 0;
            int same = 0;
            in >> seconds >> paints >> idle >> same;
            outcome.dialog.push_back(seconds);
            outcome.paints += paints;
            outcome.idleCpu = std::max(outcome.idleCpu, idle);
            outcome.same = outcome.same && same == 1;
            ++dialogs;
        } else {
            std::getline(in, kind);
        }
    }
    if (dialogs > 0) {
        outcome.paints /= dialogs;
    }
    return outcome;
}

// A virtual X server of our own; its display name, or empty when none answered.
std::string StartXServer(int& server) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        int channel[2];
        if (::pipe(channel) != 0) {
            return "";
        }
        server = bench::StartChild({"Xvfb", "-displayfd", std::to_string(channel[1]), "-screen",
                                    "0", "1024x768x24", "-nolisten", "tcp", "-noreset"});
        ::close(channel[1]);
        char number[32] = {};
        ssize_t n = server > 0 ? ::read(channel[0], number, sizeof number - 1) : -1;
        ::close(channel[0]);
        if (n > 0) {
            std::string display = std::to_string(std::atoi(number));
            display.insert(display.begin(), ':');
            for (int probe = 0; probe < 100; ++probe) {
                if (bench::RunChild({"xdpyinfo", "-display", display}, 5).ok) {
                    return display;
                }
                ::usleep(50000);
            }
        }
        bench::StopChild(server);
        server = -1;
    }
    return "";
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--child") {
        return RunOneSetting(argc, argv);
    }
    int mib = argc > 1 ? std::atoi(argv[1]) : 64;
    int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    double allowed = argc > 3 ? std::atof(argv[3]) : 90;
    if (mib <= 0 || runs <= 0 || allowed <= 0) {
        std::fprintf(stderr, "usage: dialog_job_bench [MiB] [runs] [seconds]\n");
        return 2;
    }
    bench::ScratchDir dir;
    if (!dir.ok() ||
        !bench::WriteRandomFile(dir / "source", static_cast<std::uint64_t>(mib) << 20) ||
        !bench::WriteText(dir / "password", "a\n") || !bench::ReadThrough(dir / "source")) {
        std::fprintf(stderr, "cannot make the source\n");
        return 1;
    }
    std::string self = "/proc/self/exe";
    char path[4096] = {};
    ssize_t length = ::readlink(self.c_str(), path, sizeof path - 1);
    if (length > 0) {
        self.assign(path, static_cast<std::size_t>(length));
    }

    std::printf("before: %s\n", bench::LoadAverage().c_str());
    std::printf("file: %d MiB, page-cached; %d alternating runs each, medians; at most %.0f s "
                "per display and load\n",
                mib, runs, allowed);
    std::printf("  %-10s %-15s %9s %9s %8s %8s %9s %7s\n", "display", "load", "dialog s", "cli s",
                "ratio", "target", "repaints", "idle %");
    bool allSame = true;
    for (const char* display : {"offscreen", "xcb"}) {
        int server = -1;
        std::string name = "offscreen";
        if (std::string(display) == "xcb") {
            name = StartXServer(server);
            if (name.empty()) {
                std::printf("  %-10s no virtual X server could be started (apt-get install xvfb "
                            "x11-utils)\n",
                            "X");
                continue;
            }
            setenv("DISPLAY", name.c_str(), 1);
            name = "X " + name;
        }
        setenv("QT_QPA_PLATFORM", display, 1);
        for (int busy : {0, 2}) {
            std::vector<int> loops;
            for (int i = 0; i < busy; ++i) {
                loops.push_back(bench::StartChild({"sh", "-c", "while :; do :; done"}));
            }
            std::string log = dir / "child.log";
            int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            bench::ChildRun child =
                bench::RunChild({self, "--child", dir / "", std::to_string(runs)}, allowed, out);
            ::close(out);
            for (int loop : loops) {
                bench::StopChild(loop);
            }
            Outcome outcome = Parse(log, child.timedOut);
            allSame = allSame && outcome.same && (child.ok || child.timedOut);
            double c = bench::Median(outcome.cli);
            std::string load = busy == 0 ? "idle" : "2 busy loops";
            if (outcome.dialog.empty()) {
                std::printf(
                    "  %-10s %-15s %9s %9.3f %8s %8s   (no dialog job finished in %.0f s)\n",
                    name.c_str(), load.c_str(), "-", c, "-", busy == 0 ? "1.10" : "1.30", allowed);
                continue;
            }
            double d = bench::Median(outcome.dialog);
            std::printf("  %-10s %-15s %9.3f %9.3f %8.2f %8s %9.1f %7.1f%s\n", name.c_str(),
                        load.c_str(), d, c, d / c, busy == 0 ? "1.10" : "1.30", outcome.paints,
                        outcome.idleCpu,
                        outcome.timedOut ? "  (stopped: not every run finished)" : "");
        }
        bench::StopChild(server);
        unsetenv("DISPLAY");
    }
    std::printf("after:  %s\n", bench::LoadAverage().c_str());
    if (!allSame) {
        std::printf("a run FAILED or the outputs DIFFER\n");
    }
    return allSame ? 0 : 1;
}
