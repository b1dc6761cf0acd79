// Test child: answers every line of standard input with "got:" and the line, carriage
// returns shown as "\r"; ends with status 0 on the line "quit" or at the end of input.
#include <cstdio>
#include <string>

int main()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::puts("ready");
    std::string line;
    int c;
    while ((c = std::getchar()) != EOF) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        std::string shown;
        for (char ch : line)
            shown += ch == '\r' ? std::string("\\r") : std::string(1, ch);
        std::printf("got:%s\n", shown.c_str());
        if (line == "quit")
            return 0;
        line.clear();
    }
    return 0;
}
