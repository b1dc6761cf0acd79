#pragma once
// What the conversion tests and benchmarks share beyond the file helpers: a look for processes
// that outlived their run.

#include <QString>
#include <QStringList>

namespace ConversionFixture {

// Processes still alive in the process group that the encoder led (its ffmpeg included).
QStringList ProcessesInGroup(qint64 groupId);

} // namespace ConversionFixture
