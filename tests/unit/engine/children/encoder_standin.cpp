// Stands in for the encoder adapter: takes the adapter's command line (-i SOURCE ... OUTPUT, or
// OUTPUT -vtag MP4S) and behaves as the source file's key=value lines say. A source ending in
// .avs is read as the rotation script: the file named by its first string is the source.
//
//   name=N       the name in the record (default: the source's file name, blanks made "_")
//   seconds=S    print the duration marker for S seconds first
//   steps=K      print K time markers, one every stepms milliseconds (default 0 and 100)
//   speed=X      print a speed marker with each time marker
//   prefix=TEXT  TEXT and a blank before each marker, on the same line
//   out=TEXT     a line on standard output (any number of them, before the markers)
//   stderr=TEXT  a line on standard error (any number of them, before the markers)
//   torn=TEXT    a line on standard error written in two halves, a while apart, with a line on
//                standard output between them (after the out= lines)
//   wait=1       after the markers, wait for "q" (for ever when ignoreq=1)
//   write=0|1    write the output at the end (default 1); 0 never touches it, not even on "q"
//   fill=1       write to the output until the disk is full, then exit 1
//   exit=K       exit status (default 0)
//   crash=1      abort at the end
//   ignoreq=1    "q" and "quit" change nothing
//
// "q" or "quit" on standard input writes a partial output and exits 255, as the adapter does
// after a stop. With VELMORA_STANDIN_RECORD set, "start NAME PID MS" and "end NAME PID MS"
// (monotonic milliseconds) are appended to the file it names.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

std::string name;
std::string input;
std::string source;
std::string output;
std::string sourceText;
bool writeOutput = true;
bool ignoreQuit = false;
bool stdinOpen = true;
std::string stdinPending;

long long NowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

bool WriteAll(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void Line(int fd, const std::string& text)
{
    WriteAll(fd, text + "\n");
}

bool ReadFile(const std::string& path, std::string& text)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            close(fd);
            return n == 0;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
}

void Record(const char* what)
{
    const char* file = std::getenv("VELMORA_STANDIN_RECORD");
    if (!file || !*file)
        return;
    const int fd = open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    // One write per line: O_APPEND keeps the lines of several stand-ins whole.
    WriteAll(fd, std::string(what) + " " + name + " " + std::to_string(getpid()) + " " +
                     std::to_string(NowMs()) + "\n");
    close(fd);
}

// The first string of the script: "text" or """text""" (which may hold quotes and line breaks).
bool ScriptSource(const std::string& script, std::string& path)
{
    const size_t open = script.find('(');
    if (open == std::string::npos || open + 1 >= script.size() || script[open + 1] != '"')
        return false;
    if (script.compare(open + 1, 3, "\"\"\"") == 0) {
        const size_t end = script.find("\"\"\"", open + 4);
        if (end == std::string::npos)
            return false;
        path = script.substr(open + 4, end - open - 4);
        return true;
    }
    const size_t end = script.find_first_of("\"\r\n", open + 2);
    if (end == std::string::npos || script[end] != '"')
        return false;
    path = script.substr(open + 2, end - open - 2);
    return true;
}

void WriteOutputFile(const std::string& kind)
{
    if (!writeOutput)
        return;
    const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    WriteAll(fd, kind + "\ninput=" + input + "\nsource=" + source + "\n" + sourceText);
    close(fd);
}

[[noreturn]] void EndStopped()
{
    WriteOutputFile("partial");
    Record("end");
    _exit(255);
}

// Waits up to milliseconds (for ever when negative) for standard input; "q" or "quit" ends the
// stand-in unless it ignores them.
void Wait(long long milliseconds)
{
    const long long until = milliseconds < 0 ? -1 : NowMs() + milliseconds;
    for (;;) {
        const long long left = until < 0 ? -1 : until - NowMs();
        if (until >= 0 && left <= 0)
            return;
        pollfd watch{stdinOpen ? 0 : -1, POLLIN, 0};
        const int ready = poll(&watch, 1, static_cast<int>(left));
        if (ready < 0 && errno != EINTR)
            return;
        if (ready <= 0 || !(watch.revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char buffer[256];
        const ssize_t n = read(0, buffer, sizeof buffer);
        if (n <= 0) {
            // The end of standard input changes nothing: the conversion goes on.
            stdinOpen = false;
            continue;
        }
        stdinPending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = stdinPending.find('\n')) != std::string::npos;) {
            std::string line = stdinPending.substr(0, end);
            stdinPending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if ((line == "q" || line == "quit") && !ignoreQuit)
                EndStopped();
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "-i")
            input = args[i + 1];
    }
    if (args.size() >= 3 && args[args.size() - 2] == "-vtag")
        output = args[args.size() - 3];
    else if (!args.empty())
        output = args.back();
    if (input.empty() || output.empty() || output == input) {
        Line(2, "standin: no input or no output");
        return 1;
    }

    source = input;
    const bool script = input.size() > 4 && strcasecmp(input.c_str() + input.size() - 4, ".avs") == 0;
    if (script) {
        std::string scriptText;
        if (!ReadFile(input, scriptText) || !ScriptSource(scriptText, source)) {
            Line(2, "standin: cannot read the script " + input);
            return 1;
        }
    }
    if (!ReadFile(source, sourceText)) {
        Line(2, "standin: cannot read " + source);
        return 1;
    }

    std::map<std::string, std::string> values;
    std::vector<std::string> outLines;
    std::vector<std::string> errLines;
    std::vector<std::string> tornLines;
    size_t from = 0;
    while (from < sourceText.size()) {
        size_t end = sourceText.find('\n', from);
        if (end == std::string::npos)
            end = sourceText.size();
        const std::string line = sourceText.substr(from, end - from);
        from = end + 1;
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "out")
            outLines.push_back(value);
        else if (key == "stderr")
            errLines.push_back(value);
        else if (key == "torn")
            tornLines.push_back(value);
        else
            values[key] = value;
    }
    const auto number = [&values](const char* key, long long fallback) {
        const auto it = values.find(key);
        return it == values.end() ? fallback : std::atoll(it->second.c_str());
    };

    if (values.count("name")) {
        name = values["name"];
    } else {
        const size_t slash = source.rfind('/');
        name = slash == std::string::npos ? source : source.substr(slash + 1);
        for (char& c : name) {
            if (c == ' ' || c == '\n' || c == '\r' || c == '\t')
                c = '_';
        }
    }
    writeOutput = number("write", 1) != 0;
    ignoreQuit = number("ignoreq", 0) != 0;
    Record("start");

    for (const std::string& text : errLines)
        Line(2, text);
    for (const std::string& text : outLines)
        Line(1, text);
    for (const std::string& text : tornLines) {
        const size_t half = text.size() / 2;
        WriteAll(2, text.substr(0, half));
        Wait(60);
        Line(1, name + " between");
        Wait(60);
        Line(2, text.substr(half));
    }
    const std::string prefix = values.count("prefix") ? values["prefix"] + " " : std::string();
    const long long seconds = number("seconds", 0);
    if (seconds > 0) {
        char text[96];
        std::snprintf(text, sizeof text,
                      "ffmpeg_release_duration=%02lld:%02lld:%02lld.00=ffmpeg_release_duration",
                      seconds / 3600, seconds / 60 % 60, seconds % 60);
        Line(1, prefix + text);
    }
    const long long steps = number("steps", 0);
    const long long stepMs = number("stepms", 100);
    for (long long step = 1; step <= steps; ++step) {
        Wait(stepMs);
        const double reached = seconds > 0 ? double(seconds) * double(step) / double(steps) : double(step);
        char text[96];
        std::snprintf(text, sizeof text, "ffmpeg_release_time=%.2f=ffmpeg_release_time", reached);
        Line(1, prefix + text);
        if (values.count("speed"))
            Line(1, prefix + "ffmpeg_release_speed=" + values["speed"] + "=ffmpeg_release_speed");
    }
    if (number("wait", 0) != 0)
        Wait(-1);

    if (number("fill", 0) != 0) {
        const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const std::string block(65536, 'f');
        while (fd >= 0 && WriteAll(fd, block)) {
        }
        Line(2, std::string("standin: cannot write ") + output + ": " + std::strerror(errno));
        if (fd >= 0)
            close(fd);
        Record("end");
        return 1;
    }
    WriteOutputFile("converted");
    Record("end");
    if (number("crash", 0) != 0) {
        // A crash, not a core file in somebody's folder.
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        std::abort();
    }
    return static_cast<int>(number("exit", 0));
}
