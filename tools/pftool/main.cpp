// pftool: enciphers, deciphers and checks profile files the way the program reads them.

#include "platform/AppError.h"
#include "profiles/ProfileFolder.h"
#include "profiles/TPassphraseDigest.h"
#include "profiles/VideoProfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

namespace {
constexpr int exitOk = 0;
constexpr int exitFailed = 1;
constexpr int exitUsage = 2;

const char usageText[] =
    "Usage: pftool <command> [arguments]\n"
    "\n"
    "Commands:\n"
    "  encipher <plain file> [<output .pf>]\n"
    "      Reads the plain profile line (the first line of the file, \"-\" for standard\n"
    "      input), checks that it loads, and writes the enciphered line to the output\n"
    "      file or to standard output.\n"
    "  decipher <file.pf>\n"
    "      Prints the plain profile line of a plain or enciphered profile file.\n"
    "  check <folder>\n"
    "      Loads every .pf file of the folder as the program does and reports each\n"
    "      failure with its file. Exit status 1 when any file fails.\n"
    "  key <passphrase>\n"
    "      Prints the 8-byte DES key made from the passphrase, in hexadecimal.\n"
    "\n"
    "Exit status: 0 success, 1 a file failed, 2 wrong usage.\n";

void Out(const QByteArray& text)
{
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
}

void Err(const QString& text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
}

int Usage(const QString& problem = QString())
{
    if (!problem.isEmpty())
        Err("pftool: " + problem);
    std::fputs(usageText, problem.isEmpty() ? stdout : stderr);
    return problem.isEmpty() ? exitOk : exitUsage;
}

QString Shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

QByteArray FirstLineOf(const QString& input)
{
    if (input != QLatin1String("-"))
        return TVideoProfile::ReadFirstLine(input);
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Cannot read standard input"));
    QByteArray line = in.readLine(TVideoProfile::MaxLineLength);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

int Encipher(const QString& input, const QString& output)
{
    const QString name = input == QLatin1String("-") ? QStringLiteral("standard input") : Shown(input);
    QByteArray line;
    try {
        line = FirstLineOf(input);
        if (!line.contains(TVideoProfile::FieldSeparator))
            throw AppError(QStringLiteral("not a plain profile line (no %1 separator)")
                               .arg(QLatin1String(TVideoProfile::FieldSeparator)));
        TVideoProfile profile;
        profile.LoadFromLine(line); // refuse what the program could not load
    } catch (const AppError& e) {
        Err(QStringLiteral("%1: %2").arg(name, e.Text()));
        return exitFailed;
    }
    const QByteArray cipherLine = TVideoProfile::EncipherLine(line) + "\r\n";
    if (output.isEmpty()) {
        Out(cipherLine);
        return exitOk;
    }
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly) || file.write(cipherLine) != cipherLine.size() || !file.commit()) {
        Err(QStringLiteral("%1: %2").arg(Shown(output), file.errorString()));
        return exitFailed;
    }
    return exitOk;
}

int Decipher(const QString& path)
{
    try {
        Out(TVideoProfile::PlainLine(TVideoProfile::ReadFirstLine(path)) + '\n');
        return exitOk;
    } catch (const AppError& e) {
        // Errors of reading already name the file; cipher errors do not.
        const QString text = e.Text().contains(Shown(path)) ? e.Text() : Shown(path) + ": " + e.Text();
        Err(text);
        return exitFailed;
    }
}

int Check(const QString& folder)
{
    try {
        const QStringList files = ListProfileFiles(folder);
        int loaded = 0;
        const QStringList failures = CheckProfileFolder(folder, &loaded);
        for (const QString& failure : failures)
            Err(failure);
        Out(QStringLiteral("%1 of %2 profile files load\n").arg(loaded).arg(files.size()).toUtf8());
        return failures.isEmpty() ? exitOk : exitFailed;
    } catch (const AppError& e) {
        Err(e.Text());
        return exitFailed;
    }
}

int Key(const QString& passphrase)
{
    const auto key = KeyFromPassphrase(passphrase.toUtf8());
    Out(QByteArray(reinterpret_cast<const char*>(key.data()), 8).toHex().toUpper() + '\n');
    return exitOk;
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return Usage(QStringLiteral("no command given"));
    const QString command = args.first();
    const int count = static_cast<int>(args.size()) - 1;

    if (command == QLatin1String("-h") || command == QLatin1String("--help") ||
        command == QLatin1String("help"))
        return Usage();
    if (command == QLatin1String("encipher") && (count == 1 || count == 2))
        return Encipher(args.at(1), count == 2 ? args.at(2) : QString());
    if (command == QLatin1String("decipher") && count == 1)
        return Decipher(args.at(1));
    if (command == QLatin1String("check") && count == 1)
        return Check(args.at(1));
    if (command == QLatin1String("key") && count == 1)
        return Key(args.at(1));
    if (QStringList{"encipher", "decipher", "check", "key"}.contains(command))
        return Usage(QStringLiteral("wrong number of arguments for %1").arg(command));
    return Usage(QStringLiteral("unknown command: %1").arg(command));
}
