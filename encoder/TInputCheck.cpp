#include "TInputCheck.h"

#include "TEncoderError.h"
#include "TText.h"

#include <algorithm>
#include <cctype>
#include <sys/stat.h>
#include <unistd.h>

void TInputCheck::CheckInput(const std::string& path)
{
    struct stat st = {};
    if (stat(path.c_str(), &st) != 0) {
        throw TEncoderError("input file does not exist: " + path);
    }
    if (!S_ISREG(st.st_mode)) {
        throw TEncoderError("input is not a file: " + path);
    }
    if (access(path.c_str(), R_OK) != 0) {
        throw TEncoderError("input file cannot be read: " + path);
    }
    if (st.st_size == 0) {
        throw TEncoderError("input file is empty: " + path);
    }
}

void TInputCheck::CheckOutput(const std::string& outputPath, const std::vector<std::string>& sourcePaths)
{
    std::string folder =
        outputPath.find('/') == std::string::npos ? "." : outputPath.substr(0, outputPath.rfind('/'));
    if (folder.empty()) {
        folder.push_back('/');
    }
    struct stat st = {};
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        throw TEncoderError("output folder does not exist: " + folder);
    }
    struct stat out = {};
    bool exists = stat(outputPath.c_str(), &out) == 0;
    if (exists && S_ISDIR(out.st_mode)) {
        throw TEncoderError("output is a folder: " + outputPath);
    }
    if (exists ? access(outputPath.c_str(), W_OK) != 0 : access(folder.c_str(), W_OK) != 0) {
        throw TEncoderError("output cannot be written: " + outputPath);
    }
    for (const auto& sourcePath : sourcePaths) {
        struct stat src = {};
        if (exists && stat(sourcePath.c_str(), &src) == 0 && src.st_dev == out.st_dev &&
            src.st_ino == out.st_ino) {
            throw TEncoderError("the output file is the source file itself; the source is left alone: " +
                                outputPath);
        }
    }
}

bool TInputCheck::IsScript(const std::string& path)
{
    return TText::Extension(path) == "avs";
}
