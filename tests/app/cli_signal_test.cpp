#include "app/cli/signal_cleanup.h"
#include "engine/file_transform.h"
#include "platform/files/file_faults.h"
#include "support/test_files.h"

#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using testing_support::TempDir;

// Raises a signal in the middle of a job, as a user or a limit would.
class SignalMidway final : public vanthe::JobObserver {
public:
    explicit SignalMidway(int signal) : signal_(signal) {}
    void OnJobStarted(std::uint64_t) override {}
    void OnChunkDone(std::uint64_t index, std::uint64_t) override {
        if (index == 100) {
            std::raise(signal_);
        }
    }
    void OnJobFinished(bool) override {}

private:
    int signal_;
};

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(dir);
    }
    return names;
}

// Where the file system has no unnamed files, the result has a temporary name until it is
// published; a signal must not leave that name behind.
TEST(SignalCleanup, EachTerminatingSignalRemovesANamedResult) {
    TempDir dir;
    int fd = ::open((dir / "source").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_EQ(::ftruncate(fd, 4 * 1024 * 1024), 0);
    ::close(fd);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM}) {
        SCOPED_TRACE(::strsignal(signal));
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            platform::ForceNamedTemporaryForTesting(true);
            vanthe::cli::InstallSignalCleanup();
            SignalMidway observer(signal);
            vanthe::FileTransform transform;
            transform.observer = &observer;
            transform.Transform(dir / "source", dir / "source.enx", "a", vanthe::kModeEncrypt);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"source"});
    }
}

} // namespace
