// The journal of a run of 100,000 files (paths of a realistic length, every state, outputs for
// the ones started): one whole write through a temporary file renamed into place, as the run
// does it at most once a second for a list this long (a shorter one at every start and end of a
// file), and one read as the next start does it. Goal: a write in
// under 200 ms. Prints the best and the worst of several rounds, since the machine may be
// shared.

#include "engine/TRunJournal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    constexpr int rounds = 7;

    TJournal journal;
    journal.outputFolder = QStringLiteral("/home/someone/Videos/converted");
    journal.formatIndex = 2;
    journal.formatFile = QStringLiteral("01-mp4-h264-aac.pf");
    journal.items.reserve(count);
    const TJournalState states[] = {TJournalState::Done, TJournalState::Converting, TJournalState::Waiting,
                                    TJournalState::Failed};
    for (int i = 0; i < count; ++i) {
        TJournalItem item;
        item.source = QStringLiteral("/home/someone/Videos/holidays %1/day %2/clip %3.avi")
                          .arg(2000 + i % 25)
                          .arg(i % 31 + 1)
                          .arg(i, 6, 10, QChar(u'0'));
        item.startText = QStringLiteral("00:00:00");
        item.durationText = i % 10 == 0 ? QStringLiteral("00:01:00") : QString();
        item.state = i < count / 2 ? states[i % 2] : states[2 + i % 2];
        if (item.state != TJournalState::Waiting)
            item.output = journal.outputFolder + QStringLiteral("/clip %1.mp4").arg(i, 6, 10, QChar(u'0'));
        journal.items << item;
    }

    QTemporaryDir folder;
    const QString path = folder.filePath(TRunJournal::FileName());
    QList<double> writes;
    QList<double> reads;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        TRunJournal::Write(path, journal);
        writes << double(timer.nsecsElapsed()) / 1e6;
        timer.restart();
        const TJournal read = TRunJournal::Read(path);
        reads << double(timer.nsecsElapsed()) / 1e6;
        if (read.items.size() != count) {
            std::printf("bench_journal: read %lld items of %d\n", qlonglong(read.items.size()), count);
            return 1;
        }
    }
    std::sort(writes.begin(), writes.end());
    std::sort(reads.begin(), reads.end());
    std::printf("bench_journal: %d items, %.1f MB: write best %.1f ms, median %.1f ms, worst %.1f ms (goal < "
                "200 ms); "
                "read best %.1f ms, median %.1f ms\n",
                count, double(QFileInfo(path).size()) / 1e6, writes.first(), writes[rounds / 2],
                writes.last(), reads.first(), reads[rounds / 2]);
    return 0;
}
