#include "TEncoderProcess.h"

#include "TEncoderError.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int selfPipe[2] = {-1, -1};

void OnSignal(int sig)
{
    int saved = errno;
    unsigned char b = static_cast<unsigned char>(sig);
    [[maybe_unused]] ssize_t n = write(selfPipe[1], &b, 1);
    errno = saved;
}

void WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return; // reader gone: nothing sensible to do with the text
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

void WriteAll(int fd, const std::string& s)
{
    WriteAll(fd, s.data(), s.size());
}

bool IsExecutableFile(const std::string& path)
{
    struct stat st = {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::vector<char*> Argv(const std::string& program, const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    return argv;
}

// Places fd at target in the child, without the close-on-exec flag.
void PlaceFd(int fd, int target)
{
    if (fd == target) {
        fcntl(fd, F_SETFD, 0);
    } else {
        dup2(fd, target);
    }
}

long long NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

std::string TEncoderProcess::FindFfmpeg()
{
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        std::string dir(self, static_cast<size_t>(n));
        dir = dir.substr(0, dir.rfind('/') + 1);
        if (IsExecutableFile(dir + "ffmpeg")) {
            return dir + "ffmpeg";
        }
    }
    const char* env = std::getenv("PATH");
    std::string path = env ? env : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= path.size()) {
        size_t colon = path.find(':', start);
        std::string dir = path.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (dir.empty()) {
            dir.push_back('.');
        }
        if (IsExecutableFile(dir + "/ffmpeg")) {
            return dir + "/ffmpeg";
        }
        if (colon == std::string::npos) {
            break;
        }
        start = colon + 1;
    }
    return {};
}

std::string TEncoderProcess::FindFfprobe(const std::string& ffmpeg)
{
    const std::string probe = ffmpeg.substr(0, ffmpeg.rfind('/') + 1) + "ffprobe";
    return IsExecutableFile(probe) ? probe : std::string();
}

TCaptured TEncoderProcess::Capture(const std::string& program, const std::vector<std::string>& args,
                                   int timeoutMs)
{
    TCaptured result;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return result;
    }
    std::vector<char*> argv = Argv(program, args);
    pid_t pid = fork();
    if (pid < 0) {
        close(out[0]);
        close(out[1]);
        return result;
    }
    if (pid == 0) {
        // A group of its own, so that a query that hangs is killed with whatever it started.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 2);
        dup2(out[1], 1);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    setpgid(pid, pid); // also here: the child may not have run yet when it has to be killed
    close(out[1]);
    const long long deadline = NowMs() + timeoutMs;
    char buf[4096];
    while (true) {
        const long long left = deadline - NowMs();
        if (left <= 0) {
            result.timedOut = true;
            break;
        }
        pollfd fd = {out[0], POLLIN, 0};
        int ready = poll(&fd, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            result.timedOut = ready == 0;
            break;
        }
        ssize_t n = read(out[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        result.output.append(buf, static_cast<size_t>(n));
    }
    close(out[0]);
    int status = 0;
    while (true) {
        if (result.timedOut) {
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
        }
        pid_t r = waitpid(pid, &status, result.timedOut ? 0 : WNOHANG);
        if (r == pid || (r < 0 && errno != EINTR)) {
            break;
        }
        if (r == 0) {
            // Its output is closed but it has not ended yet.
            if (NowMs() >= deadline) {
                result.timedOut = true;
            } else {
                usleep(5000);
            }
        }
    }
    if (!result.timedOut && WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
    }
    return result;
}

int TEncoderProcess::Run(const std::string& ffmpeg, const std::vector<std::string>& args)
{
    int errPipe[2], progPipe[2], execPipe[2];
    if (pipe2(selfPipe, O_CLOEXEC | O_NONBLOCK) != 0 || pipe2(errPipe, O_CLOEXEC) != 0 ||
        pipe2(progPipe, O_CLOEXEC) != 0 || pipe2(execPipe, O_CLOEXEC) != 0) {
        throw TEncoderError(std::string("cannot create pipes: ") + std::strerror(errno));
    }
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGCHLD, SIGTERM, SIGINT, SIGHUP}) {
        sigaction(sig, &sa, nullptr);
    }
    signal(SIGPIPE, SIG_IGN);

    std::vector<char*> argv = Argv(ffmpeg, args);
    const pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        throw TEncoderError(std::string("cannot start ffmpeg: ") + std::strerror(errno));
    }
    if (pid == 0) {
        // ffmpeg stays in the adapter's process group, so a kill of the group takes both, and
        // dies with the adapter even when only the adapter is killed.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) {
            _exit(127);
        }
        for (int sig : {SIGCHLD, SIGTERM, SIGINT, SIGHUP, SIGPIPE}) {
            signal(sig, SIG_DFL);
        }
        int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        dup2(2, 1); // ffmpeg's stray standard output joins the messages
        PlaceFd(errPipe[1], 2);
        PlaceFd(progPipe[1], ProgressFd);
        execv(ffmpeg.c_str(), argv.data());
        int e = errno;
        [[maybe_unused]] ssize_t n = write(execPipe[1], &e, sizeof e);
        _exit(127);
    }
    close(errPipe[1]);
    close(progPipe[1]);
    close(execPipe[1]);
    int execErrno = 0;
    ssize_t got;
    while ((got = read(execPipe[0], &execErrno, sizeof execErrno)) < 0 && errno == EINTR) {
    }
    close(execPipe[0]);
    if (got == static_cast<ssize_t>(sizeof execErrno)) {
        waitpid(pid, nullptr, 0);
        throw TEncoderError("cannot run " + ffmpeg + ": " + std::strerror(execErrno), 127);
    }

    bool stdinOpen = true, errOpen = true, progOpen = true, reaped = false;
    int status = 0;
    long long killAt = -1;
    std::string stdinLine, progLine;
    auto askToFinish = [&] {
        if (!stopRequested_) {
            stopRequested_ = true;
            // ffmpeg ends the input at the next packet and writes the file's trailer.
            kill(pid, SIGINT);
        }
    };
    auto quit = [&] {
        askToFinish();
        if (killAt < 0) {
            // Leave ffmpeg most of the runner's one-second grace to finalise the file.
            killAt = NowMs() + 700;
        }
    };

    while (!reaped || errOpen || progOpen) {
        pollfd fds[4];
        int nfds = 0;
        fds[nfds++] = {selfPipe[0], POLLIN, 0};
        int errIx = -1, progIx = -1, inIx = -1;
        if (errOpen) {
            errIx = nfds;
            fds[nfds++] = {errPipe[0], POLLIN, 0};
        }
        if (progOpen) {
            progIx = nfds;
            fds[nfds++] = {progPipe[0], POLLIN, 0};
        }
        if (stdinOpen && !reaped) {
            inIx = nfds;
            fds[nfds++] = {0, POLLIN, 0};
        }
        int timeout = -1;
        if (killAt >= 0 && !reaped) {
            timeout = static_cast<int>(std::max(0LL, killAt - NowMs()));
        } else if (reaped) {
            timeout = 500; // ffmpeg is gone; do not wait on pipes some stray child keeps open
        }
        int ready = poll(fds, static_cast<nfds_t>(nfds), timeout);
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (ready == 0) {
            if (reaped) {
                break;
            }
            if (killAt >= 0 && NowMs() >= killAt) {
                kill(pid, SIGKILL);
                killAt = NowMs() + 1000000; // once
            }
            continue;
        }
        char buf[8192];
        if (fds[0].revents & POLLIN) {
            unsigned char sigs[64];
            ssize_t n = read(selfPipe[0], sigs, sizeof sigs);
            for (ssize_t i = 0; i < n; ++i) {
                if (sigs[i] == SIGCHLD) {
                    if (!reaped && waitpid(pid, &status, WNOHANG) == pid) {
                        reaped = true;
                    }
                } else {
                    quit();
                }
            }
        }
        if (errIx >= 0 && fds[errIx].revents) {
            ssize_t n = read(errPipe[0], buf, sizeof buf);
            if (n > 0) {
                WriteAll(2, buf, static_cast<size_t>(n));
                WriteAll(1, markers_.FeedErrorText(std::string_view(buf, static_cast<size_t>(n))));
            } else if (n == 0 || errno != EINTR) {
                errOpen = false;
            }
        }
        if (progIx >= 0 && fds[progIx].revents) {
            ssize_t n = read(progPipe[0], buf, sizeof buf);
            if (n > 0) {
                for (ssize_t i = 0; i < n; ++i) {
                    if (buf[i] == '\n') {
                        WriteAll(1, markers_.FeedProgressLine(progLine));
                        progLine.clear();
                    } else if (progLine.size() < 4096) {
                        progLine += buf[i];
                    }
                }
            } else if (n == 0 || errno != EINTR) {
                progOpen = false;
            }
        }
        if (inIx >= 0 && fds[inIx].revents) {
            ssize_t n = read(0, buf, sizeof buf);
            if (n > 0) {
                for (ssize_t i = 0; i < n; ++i) {
                    if (buf[i] != '\n') {
                        stdinLine += buf[i];
                        continue;
                    }
                    std::string cmd = stdinLine;
                    stdinLine.clear();
                    while (!cmd.empty() && (cmd.back() == '\r' || cmd.back() == ' ' || cmd.back() == '\t')) {
                        cmd.pop_back();
                    }
                    while (!cmd.empty() && (cmd.front() == ' ' || cmd.front() == '\t')) {
                        cmd.erase(0, 1);
                    }
                    if (cmd == "q") {
                        askToFinish();
                    } else if (cmd == "quit") {
                        quit();
                    }
                }
            } else if (n == 0 || errno != EINTR) {
                // No controller: keep converting until ffmpeg ends by itself.
                stdinOpen = false;
            }
        }
        if (!reaped && waitpid(pid, &status, WNOHANG) == pid) {
            reaped = true;
        }
    }
    if (!reaped) {
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    close(errPipe[0]);
    close(progPipe[0]);

    int code;
    if (WIFEXITED(status)) {
        code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        code = 128 + WTERMSIG(status);
    } else {
        code = 1;
    }
    if (stopRequested_ && code == 0) {
        code = 255; // a stopped conversion is a shortened file, not a complete one
    }
    return code;
}
