// Test child: starts a grandchild that sleeps for a minute, writes "grandchild:<pid>" and
// then sleeps itself without reading standard input. Neither may outlive a stop.
#include <csignal>
#include <cstdio>
#include <sys/types.h>
#include <unistd.h>

int main()
{
    const pid_t grandchild = fork();
    if (grandchild == 0) {
        // Deaf to the polite signals: only a kill of the whole group ends it.
        std::signal(SIGTERM, SIG_IGN);
        std::signal(SIGHUP, SIG_IGN);
        sleep(60);
        return 0;
    }
    std::printf("grandchild:%d\n", static_cast<int>(grandchild));
    std::fflush(stdout);
    sleep(60);
    return 0;
}
