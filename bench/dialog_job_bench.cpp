// Runs the same 256 MiB encryption through the dialog (offscreen, one synchronous
// notification per KiB) and through vanthe-cli, alternating, and prints the medians and their
// ratio, how often the dialog repainted during its jobs, and the CPU it used while idle.
// Usage: dialog_job_bench [MiB] [runs]

#include "engine/file_transform.h"
#include "jobs/job_messages.h"
#include "jobs/job_runner.h"
#include "platform/window/dialogs.h"
#include "platform/window/messaging.h"
#include "platform/window/qt_bridge.h"
#include "platform/window/resources.h"
#include "platform/window/startup.h"
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
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
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

double RunCli(const std::string& cli, const std::string& source, const std::string& destination,
              const std::string& passwordFile) {
    Clock::time_point start = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        execl(cli.c_str(), cli.c_str(), "encrypt", "--quiet", "--force", "--password-file",
              passwordFile.c_str(), source.c_str(), destination.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "vanthe-cli failed\n");
        std::exit(1);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool SameFiles(const std::string& a, const std::string& b) {
    std::ifstream x(a, std::ios::binary);
    std::ifstream y(b, std::ios::binary);
    return std::equal(std::istreambuf_iterator<char>(x), std::istreambuf_iterator<char>(),
                      std::istreambuf_iterator<char>(y), std::istreambuf_iterator<char>());
}

} // namespace

int main(int argc, char** argv) {
    int mib = argc > 1 ? std::atoi(argv[1]) : 256;
    int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    SetApplicationArguments(qtArgc, argv);
    INITCOMMONCONTROLSEX init{8, ICC_BAR_CLASSES};
    if (!InitCommonControlsEx(&init)) {
        return 1;
    }
    appModule.Init(RegisterModuleResources(ProgramResources()));

    std::string dir = (std::filesystem::temp_directory_path() / "vanthe-bench-XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr) {
        return 1;
    }
    std::string source = dir + "/source";
    {
        std::ofstream out(source, std::ios::binary);
        std::mt19937_64 random(42);
        std::vector<std::uint64_t> block(1 << 16);
        for (int i = 0; i < mib * 2; ++i) {
            for (auto& word : block) {
                word = random();
            }
            out.write(reinterpret_cast<const char*>(block.data()),
                      static_cast<std::streamsize>(block.size() * sizeof block[0]));
        }
        std::ofstream(dir + "/password") << "a\n";
    }
    std::string cli = VANTHE_CLI_PATH;

    std::vector<double> dialogTimes;
    std::vector<double> cliTimes;
    int paints = 0;
    double idleCpu = 0;
    for (int i = 0; i < runs; ++i) {
        cliTimes.push_back(RunCli(cli, source, dir + "/out.cli", dir + "/password"));
        DialogRun run = RunThroughDialog(source, dir + "/out.dialog");
        dialogTimes.push_back(run.seconds);
        paints += run.paints;
        idleCpu = std::max(idleCpu, run.idleCpuPercent);
    }
    bool same = SameFiles(dir + "/out.cli", dir + "/out.dialog");
    double d = Median(dialogTimes);
    double c = Median(cliTimes);
    std::printf("file: %d MiB, %d alternating runs each, outputs %s\n", mib, runs,
                same ? "identical" : "DIFFER");
    std::printf("dialog job median: %.3f s (%.0f MB/s)\n", d, mib * 1.048576 / d);
    std::printf("vanthe-cli median: %.3f s (%.0f MB/s)\n", c, mib * 1.048576 / c);
    std::printf("ratio dialog / vanthe-cli: %.3f (target <= 1.50)\n", d / c);
    std::printf("dialog runs:");
    for (double t : dialogTimes) {
        std::printf(" %.3f", t);
    }
    std::printf("\nvanthe-cli runs:");
    for (double t : cliTimes) {
        std::printf(" %.3f", t);
    }
    std::printf("\n");
    std::printf("repaints of the dialog during its jobs: %.1f per job\n",
                static_cast<double>(paints) / runs);
    std::printf("CPU used while idle after a job: %.1f%% of one core (worst run)\n", idleCpu);
    std::string cleanup = "rm -rf '" + dir + "'";
    return std::system(cleanup.c_str()) == 0 && same ? 0 : 1;
}
