// Test child standing in for libm9s.exe: reads what to do from its input file (the argument
// after "-i"), one "key=value" a line:
//   seconds=N   the length of the "media" (default 10)
//   step=MS     wall time per media second (default 100); one second per step, counted in
//               steps, so a pause of the process is no progress
//   fail        writes an error line and exits 1 at once
//   busy        a helper process in its group spins on the processor until the end
// Prints the duration marker, then a time and a speed marker per step; "q" on standard input
// finishes the output where it is (exit 0), "quit" ends at once. The output (the last argument)
// holds "converted <seconds>" at the end. The helper always dies with it.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

pid_t helper = 0;

void EndHelper()
{
    if (helper > 0) {
        kill(helper, SIGKILL);
        waitpid(helper, nullptr, 0);
        helper = 0;
    }
}

void Finish(const char* output, int seconds)
{
    EndHelper();
    std::FILE* file = std::fopen(output, "wb");
    if (file) {
        std::fprintf(file, "converted %d\n", seconds);
        std::fclose(file);
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::string input;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-i") == 0)
            input = argv[i + 1];
    }
    const char* output = argc > 1 ? argv[argc - 1] : "";
    int seconds = 10;
    int step = 100;
    bool fail = false;
    bool busy = false;
    std::ifstream in(input);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("seconds=", 0) == 0)
            seconds = std::atoi(line.c_str() + 8);
        else if (line.rfind("step=", 0) == 0)
            step = std::atoi(line.c_str() + 5);
        else if (line == "fail")
            fail = true;
        else if (line == "busy")
            busy = true;
    }
    if (!in.is_open() && input.empty()) {
        std::fprintf(stderr, "no input given\n");
        return 1;
    }
    if (fail || !in.is_open()) {
        std::fprintf(stderr, "%s: Invalid data found when processing input\n", input.c_str());
        return 1;
    }

    helper = fork();
    if (helper == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (busy) {
            volatile unsigned long spin = 0;
            for (;;)
                spin = spin + 1;
        }
        for (;;)
            pause();
    }

    std::printf("ffmpeg_release_duration=%02d:%02d:%02d.00=ffmpeg_release_duration\n", seconds / 3600,
                seconds / 60 % 60, seconds % 60);
    std::fflush(stdout);
    std::string pending;
    for (int reached = 0; reached < seconds;) {
        pollfd fd = {0, POLLIN, 0};
        const int ready = poll(&fd, 1, step);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready > 0) {
            char buffer[256];
            const ssize_t n = read(0, buffer, sizeof buffer);
            if (n <= 0) {
                // No more input: the runner is gone.
                EndHelper();
                return 1;
            }
            pending.append(buffer, size_t(n));
            for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
                const std::string command = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (command == "q") {
                    Finish(output, reached);
                    return 0;
                }
                if (command == "quit") {
                    EndHelper();
                    return 1;
                }
            }
            continue;
        }
        ++reached;
        std::printf("ffmpeg_release_time=%d.00=ffmpeg_release_time\n", reached);
        std::printf("ffmpeg_release_speed=%.1f=ffmpeg_release_speed\n", 1000.0 / step);
        std::fflush(stdout);
    }
    Finish(output, seconds);
    return 0;
}
