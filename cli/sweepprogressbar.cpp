#include "sweepprogressbar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cmath>

namespace {

constexpr int DefaultColumns = 80;

void writeAll(int descriptor, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(descriptor, data, size_t(left));
        if (n <= 0)
            return;   // a closed terminal is no reason to stop a sweep
        data += n;
        left -= n;
    }
}

} // namespace

SweepProgressBar::SweepProgressBar(int fd)
    : descriptor(fd)
    , enabled(::isatty(fd) == 1)
{
}

int SweepProgressBar::columns() const
{
    winsize size = {};
    if (::ioctl(descriptor, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return DefaultColumns;
}

QString SweepProgressBar::line(const SweepProgress &progress, int width)
{
    const double fraction = progress.fraction();
    const int percent = int(std::floor(fraction * 100.0));
    const QString tail = QStringLiteral("  pass %1/%2  %3 %4  %5 left")
                             .arg(progress.pass()).arg(SweepPlan::Passes).arg(progress.cameras)
                             .arg(progress.cameras == 1 ? QStringLiteral("camera") : QStringLiteral("cameras"))
                             .arg(SweepPlan::durationText(progress.timeLeftMs()));
    const QString probes = QStringLiteral("  %1/%2 probes").arg(progress.probesSent()).arg(progress.probesTotal());
    const QString figure = QStringLiteral("%1%").arg(percent, 3);
    // The line stays one column short of the width: a full line makes some
    // terminals wrap before the carriage return.
    const int room = width - 1;
    QString text = figure + probes + tail;
    if (text.size() > room)
        text = figure + tail;
    const int barWidth = room - text.size() - 4;
    if (barWidth >= 10) {
        const int filled = int(std::floor(fraction * barWidth));
        text = QLatin1Char('[') + QString(filled, QLatin1Char('#')) + QString(barWidth - filled, QLatin1Char('.'))
               + QStringLiteral("]  ") + text;
    }
    return text.left(qMax(0, room));
}

void SweepProgressBar::show(const SweepProgress &progress)
{
    if (!enabled)
        return;
    // Back to the start of the line, the new text, the rest of the old one erased.
    writeAll(descriptor, "\r" + line(progress, columns()).toUtf8() + "\x1b[K");
    drawn = true;
}

void SweepProgressBar::finish()
{
    if (!enabled || !drawn)
        return;
    writeAll(descriptor, "\n");
    drawn = false;
}
