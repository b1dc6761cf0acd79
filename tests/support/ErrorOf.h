#pragma once
// The text of the AppError a call raises, for comparing error messages in one line.

#include "platform/AppError.h"

#include <QString>

namespace TestSupport {

// The AppError's text, or an empty string when the call raises none.
template <typename Call> QString ErrorOf(Call&& call)
{
    try {
        call();
    } catch (const AppError& e) {
        return e.Text();
    }
    return QString();
}

} // namespace TestSupport
