#pragma once
// Error of the profile cipher: the data is not a cipher text it can take apart.

#include "platform/AppError.h"

class ECipherException : public AppError
{
public:
    using AppError::AppError;
};
