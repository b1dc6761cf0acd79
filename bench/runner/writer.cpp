// Writes N megabytes of 80-byte lines (79 characters and a line feed) to standard output.
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    const long long megabytes = argc > 1 ? std::atoll(argv[1]) : 200;
    const long long total = megabytes * 1000 * 1000;
    std::string block;
    for (int i = 0; i < 64 * 1024 / 80; ++i)
        block += std::string(79, static_cast<char>('a' + i % 26)) + '\n';
    long long written = 0;
    while (written < total) {
        const size_t size =
            static_cast<size_t>(std::min<long long>(static_cast<long long>(block.size()), total - written));
        size_t done = 0;
        while (done < size) {
            const ssize_t n = write(1, block.data() + done, size - done);
            if (n <= 0)
                return 1;
            done += static_cast<size_t>(n);
        }
        written += static_cast<long long>(size);
    }
    return 0;
}
