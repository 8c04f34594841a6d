#include "filebasedlogger.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include <cerrno>
#include <cstring>
#include <ctime>

#include <unistd.h>

FileBasedLogger::FileBasedLogger(bool append)
    : append(append)
{
}

FileBasedLogger::FileBasedLogger(const FileBasedLogger &other)
    : SysLogger(other)
    , append(other.append)
{
}

FileBasedLogger &FileBasedLogger::operator=(const FileBasedLogger &other)
{
    if (this != &other) {
        close();
        SysLogger::operator=(other);
        append = other.append;
        knownModules.clear();
        knownModulesSource = nullptr;
    }
    return *this;
}

FileBasedLogger::~FileBasedLogger()
{
    close();
}

QString FileBasedLogger::formatLine(LogSystem::LogLevel level, const QString &time,
                                    const QString &moduleName, const QString &message)
{
    static const QString separator = QStringLiteral(" : ");
    const QString name = LogSystem::levelName(level);
    QString line;
    line.reserve(13 + 1 + time.size() + 1 + moduleName.size() + separator.size() + message.size());
    line += name;
    for (int i = name.size(); i < 13; ++i)
        line += QLatin1Char(' ');
    line += QLatin1Char(' ');
    line += time;
    line += QLatin1Char(' ');
    line += moduleName;
    line += separator;
    line += message;
    return line;
}

namespace {

// Lines are rarely longer than a few hundred bytes; a buffer grown past this
// by one huge message is given back.
constexpr int MaxRetainedLineBuffer = 64 * 1024;

struct ClockText
{
    char text[12]; // "hh:mm:ss.zzz"
};

// The current local time as "hh:mm:ss.zzz", built by hand from the system
// clock: QTime::currentTime() makes the C library re-check the time zone
// file (several stat calls) on every call, which costs more than writing the
// line. The broken-down local time is kept per thread for the current second.
ClockText clockText()
{
    struct CachedSecond
    {
        time_t second = -1;
        char hms[8];
    };
    thread_local CachedSecond cached;

    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    if (now.tv_sec != cached.second) {
        tm local {};
        localtime_r(&now.tv_sec, &local);
        const int fields[3] = {local.tm_hour, local.tm_min, qMin(local.tm_sec, 59)};
        for (int i = 0; i < 3; ++i) {
            cached.hms[i * 3] = char('0' + fields[i] / 10);
            cached.hms[i * 3 + 1] = char('0' + fields[i] % 10);
            if (i < 2)
                cached.hms[i * 3 + 2] = ':';
        }
        cached.second = now.tv_sec;
    }
    const int msec = int(now.tv_nsec / 1000000);
    ClockText result;
    memcpy(result.text, cached.hms, 8);
    result.text[8] = '.';
    result.text[9] = char('0' + msec / 100);
    result.text[10] = char('0' + msec / 10 % 10);
    result.text[11] = char('0' + msec % 10);
    return result;
}

void writeAll(QFile *file, const char *data, qint64 size)
{
    const int fd = file->handle();
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return; // a full disk loses the line, as any logger would
        }
        data += written;
        size -= written;
    }
}

char *putLatin1(char *dst, const QString &text)
{
    for (const QChar c : text)
        *dst++ = c.unicode() < 0x100 ? char(c.unicode()) : '?';
    return dst;
}

} // namespace

QString FileBasedLogger::currentTimeText()
{
    const ClockText now = clockText();
    return QString::fromLatin1(now.text, 12);
}

QByteArray FileBasedLogger::headerLine()
{
    return QByteArrayLiteral("------------------- Log file started at ")
            + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")).toLatin1()
            + QByteArrayLiteral(" -------------------\n");
}

void FileBasedLogger::moduleRegistered(QString name, int id)
{
    Q_UNUSED(name)
    Q_UNUSED(id)
}

void FileBasedLogger::start()
{
    if (isOpen)
        return;

    const QString name = getFileName();
    file = new QFile(name);
    // Unbuffered: each line goes to the file in one write() of its own, with
    // no second copy through QFile's buffer.
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Text | QIODevice::Unbuffered
            | (append ? QIODevice::Append : QIODevice::Truncate);
    if (!file->open(mode)) {
        qWarning("Unable to open log file \"%s\"!", qPrintable(name));
        delete file;
        file = nullptr;
        return;
    }
    const QByteArray header = headerLine();
    file->write(header);
    file->flush();
    fileBytes = file->size();
    isOpen = true;
}

void FileBasedLogger::stop()
{
    close();
}

void FileBasedLogger::close()
{
    if (!isOpen)
        return;
    file->close();
    delete file;
    file = nullptr;
    isOpen = false;
}

QString FileBasedLogger::moduleName(int moduleId)
{
    if (moduleId < 0)
        return QString();
    if (knownModulesSource != logSystem || moduleId >= knownModules.size()) {
        knownModules = getRegisteredModules();
        knownModulesSource = logSystem;
    }
    return moduleId < knownModules.size() ? knownModules.at(moduleId) : QString();
}

void FileBasedLogger::log(int moduleId, LogSystem::LogLevel level, QString message)
{
    if (!isOpen)
        return;

    // The same bytes as formatLine(...).toLatin1() + "\n", written straight
    // into a reused buffer: one pass, no allocation once the buffer has grown.
    const QString levelText = LogSystem::levelName(level);
    const QString module = moduleName(moduleId);
    const int levelWidth = qMax(13, levelText.size());
    const int length = levelWidth + 1 + 12 + 1 + module.size() + 3 + message.size() + 1;
    if (lineBuffer.capacity() < length)
        lineBuffer.reserve(qMax(length, 256)); // reserved memory survives resize()
    lineBuffer.resize(length);

    char *dst = putLatin1(lineBuffer.data(), levelText);
    for (int i = levelText.size(); i < levelWidth; ++i)
        *dst++ = ' ';
    *dst++ = ' ';
    const ClockText now = clockText();
    memcpy(dst, now.text, 12);
    dst += 12;
    *dst++ = ' ';
    dst = putLatin1(dst, module);
    memcpy(dst, " : ", 3);
    dst += 3;
    dst = putLatin1(dst, message);
    *dst = '\n';

    // One write() straight to the descriptor (the QFile is unbuffered, so it
    // holds nothing back): the line is in the file before log() returns and
    // a crash right after loses nothing.
    writeAll(file, lineBuffer.constData(), lineBuffer.size());
    fileBytes += lineBuffer.size();
    // A huge message must not keep its buffer for the rest of the run.
    if (lineBuffer.capacity() > MaxRetainedLineBuffer)
        lineBuffer = QByteArray();

    const qint64 limit = maxFileSize();
    if (limit > 0 && fileBytes >= limit && startNextFile()) {
        close();
        start();
    }
}

QString FileBasedLogger::getLogPath()
{
    return QFileInfo(getFileName()).absolutePath();
}

QString FileBasedLogger::getCrashRecordFile()
{
    return getLogPath() + QStringLiteral("/crash");
}
