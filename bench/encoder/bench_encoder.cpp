// Converts a 30 s 640x480 clip through libm9s.exe and with the equivalent plain ffmpeg command,
// alternating, several times in the same run, and prints the wall-time ratio (goal: <= 1.03).
// Then the adapter's reaction times: refusing bad input, ending after a stop (goal: within the
// program's one-second grace) and taking ffmpeg along when it is killed.
// Usage: bench_encoder [repetitions]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace {

double ChildCpuMs()
{
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru); // every waited-for descendant, ffmpeg under the adapter included
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000.0 +
           (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000.0;
}

double lastCpuMs = 0;

qint64 Timed(const QString& program, const QStringList& args)
{
    const double cpu0 = ChildCpuMs();
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
        std::exit(1);
    }
    const qint64 ms = t.elapsed();
    lastCpuMs = ChildCpuMs() - cpu0;
    return ms;
}

template <typename T> double Median(std::vector<T> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2.0;
}

// Wall time of a short run (a refusal, a query), in ms.
qint64 Refusal(const QString& program, const QStringList& args, const QProcessEnvironment& env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    p.waitForFinished(600000);
    return t.elapsed();
}

// Any ffmpeg whose command line names the path.
bool FfmpegRunningFor(const QString& path)
{
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile cmd(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (pid.toInt() && cmd.open(QIODevice::ReadOnly)) {
            const QByteArray line = cmd.readAll();
            if (line.contains("ffmpeg") && line.contains(path.toUtf8()))
                return true;
        }
    }
    return false;
}

// Starts a real-time conversion and gives the adapter once ffmpeg reports progress.
bool StartRealTime(QProcess& p, const QString& adapter, const QString& clip, const QString& out)
{
    p.start(adapter,
            {"-i", clip, "-y", "-f", "avi", "-vcodec", "mpeg4", "-acodec", "libmp3lame", "-re", out});
    QByteArray seen;
    while (p.waitForReadyRead(60000)) {
        seen += p.readAllStandardOutput();
        if (seen.contains("ffmpeg_release_time="))
            return true;
    }
    return false;
}

void PrintLatency(const char* what, std::vector<qint64> ms, const char* goal)
{
    std::printf("%-40s median %5.0f ms, worst %5lld ms%s\n", what, Median(ms),
                static_cast<long long>(*std::max_element(ms.begin(), ms.end())), goal);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int reps = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("clip.mp4"));
    Timed(QStringLiteral("ffmpeg"), {"-v",
                                     "error",
                                     "-y",
                                     "-f",
                                     "lavfi",
                                     "-i",
                                     "testsrc=size=640x480:rate=25:duration=30",
                                     "-f",
                                     "lavfi",
                                     "-i",
                                     "sine=frequency=440:sample_rate=44100:duration=30",
                                     "-ac",
                                     "2",
                                     "-c:v",
                                     "mpeg4",
                                     "-q:v",
                                     "3",
                                     "-c:a",
                                     "aac",
                                     clip});
    const QString out = dir.filePath(QStringLiteral("out.avi"));

    // The job set-up's line for an AVI profile, and the ffmpeg command the adapter turns it into,
    // without the adapter's progress pipe: the difference is the adapter's own cost.
    const QStringList legacy{"-i",  clip,      "-y",      "-f",  "avi",  "-ss",     "00:00:00",
                             "-b",  "1200k",   "-r",      "25",  "-s",   "640x480", "-aspect",
                             "4:3", "-vcodec", "mpeg4",   "-ab", "128k", "-ar",     "44100",
                             "-ac", "2",       "-acodec", "mp3", out};
    const QStringList plain{"-nostdin", "-y",   "-ss",   "00:00:00", "-i",         clip,   "-f",
                            "avi",      "-b:v", "1200k", "-r",       "25",         "-s",   "640x480",
                            "-aspect",  "4:3",  "-c:v",  "mpeg4",    "-b:a",       "128k", "-ar",
                            "44100",    "-ac",  "2",     "-c:a",     "libmp3lame", out};
    const QString adapter = QStringLiteral(VELMORA_APP_DIR "/libm9s.exe");

    Timed(adapter, legacy); // warm the caches once
    std::vector<qint64> a, f;
    double cpuA = 0, cpuF = 0;
    for (int i = 0; i < reps; ++i) {
        // Alternate the order so drift in machine load hits both sides alike.
        if (i % 2) {
            f.push_back(Timed(QStringLiteral("ffmpeg"), plain));
            cpuF += lastCpuMs;
            a.push_back(Timed(adapter, legacy));
            cpuA += lastCpuMs;
        } else {
            a.push_back(Timed(adapter, legacy));
            cpuA += lastCpuMs;
            f.push_back(Timed(QStringLiteral("ffmpeg"), plain));
            cpuF += lastCpuMs;
        }
        std::printf("run %d: libm9s.exe %lld ms, ffmpeg %lld ms\n", i + 1, static_cast<long long>(a.back()),
                    static_cast<long long>(f.back()));
        std::fflush(stdout);
    }
    const double ma = Median(a), mf = Median(f);
    const double sa = std::accumulate(a.begin(), a.end(), 0.0), sf = std::accumulate(f.begin(), f.end(), 0.0);
    // Each pair ran back to back, so its ratio sees nearly the same machine load.
    std::vector<double> paired;
    for (size_t i = 0; i < a.size(); ++i)
        paired.push_back(static_cast<double>(a[i]) / static_cast<double>(f[i]));
    std::printf("paired: median of per-run ratios %.3f\n", Median(paired));
    const double mina = *std::min_element(a.begin(), a.end()), minf = *std::min_element(f.begin(), f.end());
    // Other load on the machine only ever adds time, so the best run is the steadiest figure.
    std::printf("best:   libm9s.exe %.0f ms, ffmpeg %.0f ms, ratio %.3f\n", mina, minf, mina / minf);
    std::printf("median: libm9s.exe %.0f ms, ffmpeg %.0f ms, ratio %.3f\n", ma, mf, ma / mf);
    std::printf("total:  libm9s.exe %.0f ms, ffmpeg %.0f ms, ratio %.3f (goal <= 1.03)\n", sa, sf, sa / sf);
    std::printf("cpu:    libm9s.exe %.0f ms, ffmpeg %.0f ms, ratio %.3f\n", cpuA, cpuF, cpuA / cpuF);

    // Reaction times.
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QProcessEnvironment noFfmpeg = env;
    noFfmpeg.insert(QStringLiteral("PATH"), dir.filePath(QStringLiteral("empty")));
    const QString text = dir.filePath(QStringLiteral("text.avi"));
    QFile textFile(text);
    if (textFile.open(QIODevice::WriteOnly))
        textFile.write("hello, this is text\n");
    textFile.close();
    std::vector<qint64> missing, notMedia, withoutFfmpeg, stopped, killed, listed;
    for (int i = 0; i < reps; ++i) {
        listed.push_back(Refusal(adapter, {"--encoders"}, env));
        missing.push_back(Refusal(adapter, {"-i", dir.filePath("none.avi"), "-y", out}, env));
        notMedia.push_back(Refusal(adapter, {"-i", text, "-y", out}, env));
        withoutFfmpeg.push_back(Refusal(adapter, {"-i", clip, "-y", out}, noFfmpeg));

        QProcess p;
        if (!StartRealTime(p, adapter, clip, out))
            return 1;
        QElapsedTimer t;
        t.start();
        p.write("q\nquit\n");
        p.waitForFinished(60000);
        stopped.push_back(t.elapsed());

        QProcess k;
        if (!StartRealTime(k, adapter, clip, out))
            return 1;
        t.restart();
        ::kill(static_cast<pid_t>(k.processId()), SIGKILL);
        k.waitForFinished(60000);
        while (FfmpegRunningFor(out) && t.elapsed() < 60000)
            QThread::msleep(5);
        killed.push_back(t.elapsed());
    }
    PrintLatency("list the encoders (--encoders):", listed, "");
    PrintLatency("refuse a missing input:", missing, "");
    PrintLatency("refuse a file that is not media:", notMedia, "");
    PrintLatency("refuse to run without ffmpeg:", withoutFfmpeg, "");
    PrintLatency("q + quit to the adapter's end:", stopped, " (goal < 1000: the program's grace)");
    PrintLatency("adapter killed to ffmpeg gone:", killed, "");
    return 0;
}
