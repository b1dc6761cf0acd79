#pragma once
// TVideoProfile: one output profile as read from a .pf file (plain or enciphered) -- name,
// extension, container format, the eight video and audio settings and the video flag.

#include "profiles/ProfileChoice.h"

#include <QByteArray>
#include <QString>

class TVideoProfile
{
public:
    static constexpr const char* FieldSeparator = "[MORVANE]";
    static constexpr const char* Passphrase = "tarn";
    // A first line longer than this is not a profile (and may be a device that never ends).
    static constexpr qsizetype MaxLineLength = 64 * 1024 * 1024;

    // Reads the file's first line and replaces the members in field order. Raises AppError
    // for unreadable files, cipher errors and "List index out of bounds (%d)"; members
    // assigned before the failing field keep their new values.
    void LoadFromFile(const QString& path);

    // The same for a line already read (without its line break).
    void LoadFromLine(const QByteArray& line);

    // The file's first line without its line break (CR, LF or CR LF); a leading UTF-8 byte
    // order mark is dropped.
    static QByteArray ReadFirstLine(const QString& path);

    // The plain line of a file line: the line itself when it holds the separator,
    // otherwise the line deciphered with the profile key.
    static QByteArray PlainLine(const QByteArray& line);

    // The enciphered form of a plain line, as written into .pf files.
    static QByteArray EncipherLine(const QByteArray& plainLine);

    QString DisplayName() const { return displayName; }
    QString SpareText() const { return spareText; }
    QString Extension() const { return extension; }
    QString ContainerFormat() const { return containerFormat; }
    ProfileChoice VideoCodec() const { return videoCodec; }
    ProfileChoice VideoBitrate() const { return videoBitrate; }
    ProfileChoice FrameRate() const { return frameRate; }
    ProfileChoice VideoSize() const { return videoSize; }
    bool HasVideo() const { return hasVideo; }
    ProfileChoice AudioCodec() const { return audioCodec; }
    ProfileChoice AudioBitrate() const { return audioBitrate; }
    ProfileChoice SampleRate() const { return sampleRate; }
    ProfileChoice Channel() const { return channel; }
    bool TrailingFlag() const { return trailingFlag; }

private:
    QString displayName;
    QString spareText;
    QString extension;
    QString containerFormat;
    ProfileChoice videoCodec;
    ProfileChoice videoBitrate;
    ProfileChoice frameRate;
    ProfileChoice videoSize;
    bool hasVideo = false;
    ProfileChoice audioCodec;
    ProfileChoice audioBitrate;
    ProfileChoice sampleRate;
    ProfileChoice channel;
    bool trailingFlag = false;
};
