// Test child: carries out its arguments one after another.
//   out:TEXT    write TEXT to standard output (\n, \r, \t, \\ and \xHH are decoded)
//   err:TEXT    the same on standard error
//   outfill:N:C write N bytes of the character C to standard output
//   errfill:N:C the same on standard error
//   sleep:MS    sleep MS milliseconds (standard input is never read)
//   closeout    close standard output and standard error
//   cwd         write the current folder and a line feed
//   args        write every argument after "args" on a line of its own, then stop
//   signal:N    raise signal N
//   exit:N      exit with status N
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

static std::string Decode(const char* text)
{
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p != '\\' || !p[1]) {
            out += *p;
            continue;
        }
        ++p;
        switch (*p) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'x': {
            const char hex[3] = {p[1], p[1] ? p[2] : '\0', '\0'};
            out += static_cast<char>(std::strtol(hex, nullptr, 16));
            p += 2;
            break;
        }
        default:
            out += *p;
            break;
        }
    }
    return out;
}

static void WriteAll(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

static void Fill(int fd, const char* amount)
{
    char* rest = nullptr;
    const long long count = std::strtoll(amount, &rest, 10);
    const char c = (rest && *rest == ':') ? rest[1] : 'x';
    const std::string block(65536, c);
    for (long long left = count; left > 0; left -= static_cast<long long>(block.size()))
        WriteAll(fd, block.substr(0, static_cast<size_t>(left < 65536 ? left : 65536)));
}

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!std::strncmp(a, "out:", 4)) {
            WriteAll(1, Decode(a + 4));
        } else if (!std::strncmp(a, "err:", 4)) {
            WriteAll(2, Decode(a + 4));
        } else if (!std::strncmp(a, "outfill:", 8)) {
            Fill(1, a + 8);
        } else if (!std::strncmp(a, "errfill:", 8)) {
            Fill(2, a + 8);
        } else if (!std::strncmp(a, "sleep:", 6)) {
            usleep(static_cast<useconds_t>(std::atol(a + 6)) * 1000);
        } else if (!std::strcmp(a, "closeout")) {
            close(1);
            close(2);
        } else if (!std::strcmp(a, "cwd")) {
            char buffer[4096];
            if (getcwd(buffer, sizeof buffer))
                WriteAll(1, std::string(buffer) + "\n");
        } else if (!std::strcmp(a, "args")) {
            for (int j = i + 1; j < argc; ++j)
                WriteAll(1, std::string(argv[j]) + "\n");
            return 0;
        } else if (!std::strncmp(a, "signal:", 7)) {
            std::signal(std::atoi(a + 7), SIG_DFL);
            raise(std::atoi(a + 7));
        } else if (!std::strncmp(a, "exit:", 5)) {
            return std::atoi(a + 5);
        }
    }
    return 0;
}
