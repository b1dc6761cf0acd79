// Loads every shipped profile 1,000 times, as the format list does at start-up, and prints the
// time per load and per whole catalogue; then the catalogue as the window builds it, with the
// cached list of the installed ffmpeg's encoders read and applied. Goal: the whole catalogue,
// availability included, in well under 20 ms.
// Usage: bench_profiles [profile folder] [rounds]

#include "profiles/ProfileFolder.h"
#include "profiles/TEncoderAvailability.h"
#include "profiles/TLbDES.h"
#include "profiles/TPassphraseDigest.h"
#include "profiles/TProfileCatalogue.h"
#include "profiles/VideoProfile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString folder = args.size() > 1 ? args.at(1) : QStringLiteral(VELMORA_SOURCE_DIR "/data/profile");
    const int rounds = args.size() > 2 ? args.at(2).toInt() : 1000;

    const QStringList files = ListProfileFiles(folder);
    if (files.isEmpty() || rounds <= 0) {
        std::fprintf(stderr, "no profile files in %s\n", qPrintable(folder));
        return 1;
    }
    QList<QByteArray> lines;
    QList<QByteArray> ciphered;
    for (const QString& path : files) {
        lines.append(TVideoProfile::ReadFirstLine(path));
        if (!lines.last().contains(TVideoProfile::FieldSeparator))
            ciphered.append(lines.last());
    }

    // Whole loads from disk, as the program does them.
    TVideoProfile profile;
    QElapsedTimer timer;
    timer.start();
    for (int r = 0; r < rounds; ++r)
        for (const QString& path : files)
            profile.LoadFromFile(path);
    const double fileNs = static_cast<double>(timer.nsecsElapsed());

    // The parser and cipher alone, without the file system.
    timer.restart();
    for (int r = 0; r < rounds; ++r)
        for (const QByteArray& line : lines)
            profile.LoadFromLine(line);
    const double lineNs = static_cast<double>(timer.nsecsElapsed());

    // Deciphering alone: key from the passphrase and DES over the enciphered lines.
    double decipherNs = 0;
    if (!ciphered.isEmpty()) {
        timer.restart();
        qsizetype sink = 0;
        for (int r = 0; r < rounds; ++r)
            for (const QByteArray& line : ciphered)
                sink += TVideoProfile::PlainLine(line).size();
        decipherNs = static_cast<double>(timer.nsecsElapsed());
        if (sink == 0)
            return 1;
    }

    const double loads = static_cast<double>(rounds) * files.size();
    std::printf("profiles: %lld files (%lld enciphered), %d rounds\n", static_cast<long long>(files.size()),
                static_cast<long long>(ciphered.size()), rounds);
    std::printf("LoadFromFile:   %8.1f us per load, %8.3f ms per catalogue\n", fileNs / loads / 1e3,
                fileNs / rounds / 1e6);
    std::printf("LoadFromLine:   %8.1f us per load, %8.3f ms per catalogue\n", lineNs / loads / 1e3,
                lineNs / rounds / 1e6);
    if (!ciphered.isEmpty())
        std::printf("decipher only:  %8.1f us per enciphered line\n",
                    decipherNs / (static_cast<double>(rounds) * ciphered.size()) / 1e3);

    // The catalogue as the window builds it at start: every profile read once, then the
    // encoders of the installed ffmpeg from the cache (a hit: the program folder's adapter
    // answered once before) and which profiles lack one.
    const QString appFolder = QStringLiteral(VELMORA_APP_DIR "/");
    QTemporaryDir settings;
    const QString cache = settings.filePath(TEncoderAvailability::CacheFileName());
    TEncoderAvailability(appFolder, cache).AnswerNow();
    if (!TEncoderAvailability(appFolder, cache).CachedAnswer().known) {
        std::printf("catalogue:      no encoder list could be cached (is %slibm9s.exe built?)\n",
                    qPrintable(appFolder));
        return 1;
    }
    const int catalogueRounds = qMax(1, rounds / 10);
    qsizetype unavailable = 0;
    timer.restart();
    for (int r = 0; r < catalogueRounds; ++r) {
        TProfileCatalogue catalogue = TProfileCatalogue::Load(folder);
        catalogue.ApplyEncoders(TEncoderAvailability(appFolder, cache).CachedAnswer());
        unavailable = std::count_if(catalogue.entries.cbegin(), catalogue.entries.cend(),
                                    [](const TProfileEntry& entry) { return !entry.Available(); });
    }
    const double catalogueNs = static_cast<double>(timer.nsecsElapsed());
    timer.restart();
    for (int r = 0; r < catalogueRounds; ++r)
        TEncoderAvailability(appFolder, cache).CachedAnswer();
    const double cacheNs = static_cast<double>(timer.nsecsElapsed());
    std::printf("catalogue with availability: %8.3f ms per start (goal < 20 ms), of which the cached encoder "
                "list %8.3f ms; %lld profiles unavailable\n",
                catalogueNs / catalogueRounds / 1e6, cacheNs / catalogueRounds / 1e6,
                static_cast<long long>(unavailable));
    return 0;
}
