#pragma once
// Base64 as enciphered profiles carry it. Decoding is lenient the way the profile reader has
// always been: characters from "+" to "z" outside the alphabet count as the value 127.

#include <QByteArray>

// Raises AppError "Invalid Base64 Character" for a character outside "+" to "z". A last
// group shorter than four characters gives the bytes its characters hold, as if padded.
QByteArray DecodeProfileBase64(const QByteArray& text);

// Standard alphabet, "=" padding, no line breaks.
QByteArray EncodeProfileBase64(const QByteArray& bytes);
