// The tokens of an AviSynth script: names, strings, numbers and the few marks the supported
// subset uses. Comments (#, /* */, [* *]) and backslash line continuations are dropped here.
#pragma once

#include <string>
#include <vector>

enum class TAvsTok
{
    Ident,
    String,
    Number,
    LParen,
    RParen,
    Comma,
    Assign,
    Dot,
    Minus,
    Newline,
    End
};

struct TAvsToken
{
    TAvsTok kind;
    std::string text;
    int line;
};

class TAvsLexer
{
public:
    // Throws TEncoderError naming the script and line on a character or comment the subset does
    // not know. The list ends with a Newline and an End token.
    static std::vector<TAvsToken> Tokens(const std::string& text, const std::string& scriptName);

private:
    TAvsLexer(const std::string& text, const std::string& name) : s_(text), name_(name) {}

    std::vector<TAvsToken> Run();
    char Peek(size_t ahead) const { return pos_ + ahead < s_.size() ? s_[pos_ + ahead] : '\0'; }
    [[noreturn]] void Fail(const std::string& what) const;
    void SkipBlock(const char* close);
    void Continuation();
    void LineEnd();
    std::string ReadString();
    std::string ReadWhile(bool (*accept)(char));
    void Mark(char c);

    const std::string& s_;
    std::string name_;
    size_t pos_ = 0;
    int line_ = 1;
    std::vector<TAvsToken> out_;
};
