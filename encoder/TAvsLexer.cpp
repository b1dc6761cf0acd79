#include "TAvsLexer.h"

#include "TEncoderError.h"

#include <algorithm>
#include <cctype>

namespace {

bool IsDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

bool IsNumberChar(char c)
{
    return IsDigit(c) || c == '.';
}

bool IsNameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool IsHexDigit(char c)
{
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

} // namespace

std::vector<TAvsToken> TAvsLexer::Tokens(const std::string& text, const std::string& scriptName)
{
    return TAvsLexer(text, scriptName).Run();
}

std::vector<TAvsToken> TAvsLexer::Run()
{
    if (s_.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        pos_ = 3; // editors on Windows like to start UTF-8 files with a byte-order mark
    }
    while (pos_ < s_.size()) {
        const char c = s_[pos_];
        const int line = line_;
        if (c == ' ' || c == '\t' || c == '\r') {
            ++pos_;
        } else if (c == '#') {
            pos_ = std::min(s_.find('\n', pos_), s_.size());
        } else if (c == '/' && Peek(1) == '*') {
            SkipBlock("*/");
        } else if (c == '[' && Peek(1) == '*') {
            SkipBlock("*]");
        } else if (c == '\\') {
            Continuation();
        } else if (c == '\n') {
            LineEnd();
        } else if (c == '"') {
            std::string text = ReadString();
            out_.push_back({TAvsTok::String, text, line});
        } else if (IsDigit(c) || (c == '.' && IsDigit(Peek(1)))) {
            out_.push_back({TAvsTok::Number, ReadWhile(IsNumberChar), line});
        } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            out_.push_back({TAvsTok::Ident, ReadWhile(IsNameChar), line});
        } else if (c == '$') {
            // Hexadecimal colour constants such as $000000.
            ++pos_;
            out_.push_back({TAvsTok::Number, "$" + ReadWhile(IsHexDigit), line});
        } else {
            Mark(c);
        }
    }
    out_.push_back({TAvsTok::Newline, "", line_});
    out_.push_back({TAvsTok::End, "", line_});
    return std::move(out_);
}

void TAvsLexer::Fail(const std::string& what) const
{
    throw TEncoderError("syntax error in script " + name_ + ", line " + std::to_string(line_) + ": " + what);
}

void TAvsLexer::SkipBlock(const char* close)
{
    size_t end = s_.find(close, pos_ + 2);
    if (end == std::string::npos) {
        Fail("unterminated comment");
    }
    line_ += static_cast<int>(
        std::count(s_.begin() + static_cast<long>(pos_), s_.begin() + static_cast<long>(end), '\n'));
    pos_ = end + 2;
}

// A trailing backslash joins the next line to this one.
void TAvsLexer::Continuation()
{
    size_t p = pos_ + 1;
    while (p < s_.size() && (s_[p] == ' ' || s_[p] == '\t' || s_[p] == '\r')) {
        ++p;
    }
    if (p < s_.size() && s_[p] != '\n') {
        Fail("unexpected '\\'");
    }
    pos_ = p + 1;
    ++line_;
}

void TAvsLexer::LineEnd()
{
    ++pos_;
    ++line_;
    // A line beginning with a backslash continues the previous one.
    size_t p = pos_;
    while (p < s_.size() && (s_[p] == ' ' || s_[p] == '\t')) {
        ++p;
    }
    if (p < s_.size() && s_[p] == '\\') {
        pos_ = p + 1;
    } else {
        out_.push_back({TAvsTok::Newline, "", line_ - 1});
    }
}

std::string TAvsLexer::ReadString()
{
    if (s_.compare(pos_, 3, "\"\"\"") == 0) {
        size_t end = s_.find("\"\"\"", pos_ + 3);
        if (end == std::string::npos) {
            Fail("unterminated string");
        }
        std::string v = s_.substr(pos_ + 3, end - pos_ - 3);
        line_ += static_cast<int>(std::count(v.begin(), v.end(), '\n'));
        pos_ = end + 3;
        return v;
    }
    size_t end = s_.find('"', pos_ + 1);
    size_t nl = s_.find('\n', pos_ + 1);
    if (end == std::string::npos || (nl != std::string::npos && nl < end)) {
        Fail("unterminated string");
    }
    std::string v = s_.substr(pos_ + 1, end - pos_ - 1);
    pos_ = end + 1;
    return v;
}

std::string TAvsLexer::ReadWhile(bool (*accept)(char))
{
    const size_t start = pos_;
    while (pos_ < s_.size() && accept(s_[pos_])) {
        ++pos_;
    }
    return s_.substr(start, pos_ - start);
}

void TAvsLexer::Mark(char c)
{
    TAvsTok kind;
    switch (c) {
    case '(':
        kind = TAvsTok::LParen;
        break;
    case ')':
        kind = TAvsTok::RParen;
        break;
    case ',':
        kind = TAvsTok::Comma;
        break;
    case '.':
        kind = TAvsTok::Dot;
        break;
    case '-':
        kind = TAvsTok::Minus;
        break;
    case '=':
        if (Peek(1) == '=') {
            Fail("operator '==' is not supported");
        }
        kind = TAvsTok::Assign;
        break;
    default:
        Fail(std::string("unexpected character '") + c + "'");
    }
    out_.push_back({kind, std::string(1, c), line_});
    ++pos_;
}
