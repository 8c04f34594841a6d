#include "filebasedlogger.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include <cerrno>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
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

// Lines are rarely longer than a few hundred bytes; one longer than this is
// put together on the heap.
constexpr int LineBufferSize = 3072;

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

QByteArray latin1(const QString &text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    putLatin1(bytes.data(), text);
    return bytes;
}

constexpr int LevelWidth = 13;

// The level field of a line, padded to its width, for levels 0..7; the
// entry after them (an unknown level) is blank.
const char *paddedLevelName(LogSystem::LogLevel level)
{
    struct Names
    {
        char text[LogSystem::LogDetailMsg + 2][LevelWidth];
        Names()
        {
            for (int i = 0; i <= LogSystem::LogDetailMsg + 1; ++i) {
                const QString name = LogSystem::levelName(i);
                memset(text[i], ' ', LevelWidth);
                putLatin1(text[i], name.left(LevelWidth));
            }
        }
    };
    static const Names names;
    const unsigned last = LogSystem::LogDetailMsg;
    const unsigned index = unsigned(level) <= last ? unsigned(level) : last + 1;
    return names.text[index];
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
    // Created with the owner's rights only; the descriptor is QFile's
    // from here on.
    const int fd = ::open(QFile::encodeName(name).constData(),
                          O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0600);
    if (fd >= 0)
        fchmod(fd, 0600);
    file = new QFile(name);
    // Unbuffered: each line goes to the file in one write() of its own, with
    // no second copy through QFile's buffer.
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Text | QIODevice::Unbuffered
            | (append ? QIODevice::Append : QIODevice::Truncate);
    if (fd < 0 || !file->open(fd, mode, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
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
    dropping = false;
    if (!isOpen)
        return;
    file->close();
    delete file;
    file = nullptr;
    isOpen = false;
}

const QByteArray &FileBasedLogger::moduleName(int moduleId)
{
    static const QByteArray unknown;
    if (moduleId < 0)
        return unknown;
    if (knownModulesSource != logSystem || moduleId >= knownModules.size()) {
        const QStringList names = getRegisteredModules();
        knownModules.clear();
        knownModules.reserve(names.size());
        for (const QString &name : names)
            knownModules.append(latin1(name));
        knownModulesSource = logSystem;
    }
    return moduleId < knownModules.size() ? knownModules.at(moduleId) : unknown;
}

void FileBasedLogger::log(int moduleId, LogSystem::LogLevel level, QString message)
{
    writeLine(moduleId, level, &message, nullptr, message.size());
}

void FileBasedLogger::logLatin1(int moduleId, LogSystem::LogLevel level, const char *text, int size)
{
    writeLine(moduleId, level, nullptr, text, size);
}

void FileBasedLogger::writeLine(int moduleId, LogSystem::LogLevel level, const QString *message,
                                const char *latin1, int size)
{
    if (!isOpen)
        return;
    if (dropping && !resumeAfterFull())
        return;

    // The same bytes as formatLine(...).toLatin1() + "\n", written straight
    // into a buffer on the stack: one pass, no allocation unless the line is
    // unusually long.
    const QByteArray &module = moduleName(moduleId);
    const int length = LevelWidth + 1 + 12 + 1 + module.size() + 3 + size + 1;
    char stackLine[LineBufferSize];
    QByteArray longLine;
    char *const line = length <= LineBufferSize ? stackLine : (longLine.resize(length), longLine.data());

    char *dst = line;
    memcpy(dst, paddedLevelName(level), LevelWidth);
    dst += LevelWidth;
    *dst++ = ' ';
    const ClockText now = clockText();
    memcpy(dst, now.text, 12);
    dst += 12;
    *dst++ = ' ';
    memcpy(dst, module.constData(), size_t(module.size()));
    dst += module.size();
    memcpy(dst, " : ", 3);
    dst += 3;
    if (message) {
        dst = putLatin1(dst, *message);
    } else {
        memcpy(dst, latin1, size_t(size));
        dst += size;
    }
    *dst = '\n';

    // One write() straight to the descriptor (the QFile is unbuffered, so it
    // holds nothing back): the line is in the file before log() returns and
    // a crash right after loses nothing.
    writeAll(file, line, length);
    fileBytes += length;

    const qint64 limit = maxFileSize();
    if (limit > 0 && fileBytes >= limit) {
        if (startNextFile()) {
            close();
            start();
        } else if (stopsWhenFull()) {
            const QByteArray last = fullMessage() + '\n';
            writeAll(file, last.constData(), last.size());
            fileBytes += last.size();
            dropping = true;
            nextTryMs = monotonicMs() + 1000;
        }
    }
}

qint64 FileBasedLogger::monotonicMs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

bool FileBasedLogger::resumeAfterFull()
{
    const qint64 now = monotonicMs();
    if (now < nextTryMs)
        return false;
    if (!startNextFile()) {
        nextTryMs = now + 1000;
        return false;
    }
    dropping = false;
    close();
    start();
    return isOpen;
}

QString FileBasedLogger::getLogPath()
{
    return QFileInfo(getFileName()).absolutePath();
}

QString FileBasedLogger::getCrashRecordFile()
{
    return getLogPath() + QStringLiteral("/crash");
}
