#ifndef SEGMENTCLIENT_H
#define SEGMENTCLIENT_H

#include <QByteArray>
#include <QString>

// Another process's view of the program's session segment: what a script or
// a second program does to read it or to leave a command in it, with the key
// files in folder (the program's $XDG_RUNTIME_DIR).
class SegmentClient
{
public:
    // Through QSharedMemory attached by its native key (the segment's key
    // file); Qt offers no lock for a native key, so the lock semaphore is
    // taken with semop() as the README says.
    static bool writeWithQt(const QString &folder, const QString &key, const QByteArray &command);
    // Through System V calls only, with the documented ftok() files.
    static bool writeWithSysV(const QString &folder, const QString &key, const QByteArray &command);
    // The NUL-terminated text at the segment's start; null when the segment
    // cannot be attached. Leaves the text in place.
    static QByteArray read(const QString &folder, const QString &key);
    static bool exists(const QString &folder, const QString &key);

private:
    SegmentClient() = delete;
};

#endif // SEGMENTCLIENT_H
