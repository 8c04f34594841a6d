#ifndef SEGMENTCLIENT_H
#define SEGMENTCLIENT_H

#include <QByteArray>
#include <QString>

// Another process's view of the program's session segment: what a script or
// a second program does to read it or to leave a command in it.
class SegmentClient
{
public:
    // Through QSharedMemory with the session key (attach, lock, copy).
    static bool writeWithQt(const QString &key, const QByteArray &command);
    // Through System V calls only, with the documented ftok() files.
    static bool writeWithSysV(const QString &key, const QByteArray &command);
    // The NUL-terminated text at the segment's start; null when the segment
    // cannot be attached. Leaves the text in place.
    static QByteArray read(const QString &key);
    static bool exists(const QString &key);

private:
    SegmentClient() = delete;
};

#endif // SEGMENTCLIENT_H
