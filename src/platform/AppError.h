#pragma once
// The one error type of the program: raised where something fails, caught at the event
// loop's edge (or where a notice is handled) and shown in a message box with its text.

#include <QString>
#include <stdexcept>

class AppError : public std::runtime_error
{
public:
    explicit AppError(const QString& text) : std::runtime_error(text.toStdString()), message(text) {}
    const QString& Text() const noexcept { return message; }

private:
    QString message;
};
