#ifndef SINGLEINSTANCE_H
#define SINGLEINSTANCE_H

#include <QByteArray>
#include <QObject>
#include <QSharedMemory>
#include <QStringList>

class QUdpSocket;

// One instance per login session, and the hand-over between sessions.
//
// A session-scoped shared-memory segment (see SessionSharedMemoryKey)
// detects a second start in the same session; the second start leaves a
// command in it and ends. A loopback UDP notice reaches an instance in another
// session, which then quits and comes back with "-another".
//
// Restarts are only scheduled here and run by runScheduledRestart() once the
// segment has been released: a copy started while this process still holds
// the segment would take itself for a second start and end at once.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 noticePort = 56731;
    static constexpr int segmentSize = 512;
    static constexpr int bindRetries = 3;
    static constexpr int bindRetryDelayMs = 500;

    static QByteArray noticeText() { return QByteArrayLiteral("ANOTHER_LOGIN"); }
    static QByteArray showCommand() { return QByteArrayLiteral("Show_Normal_UI"); }
    static QByteArray closeCommand() { return QByteArrayLiteral("Close_Program"); }

    // The segment key of this login session.
    static QString sessionKey();

    explicit SingleInstance(QObject *parent = nullptr);
    SingleInstance(const QString &segmentKey, QObject *parent);
    ~SingleInstance() override;

    // Creates the segment. When another instance of the session owns it,
    // leaves "Show_Normal_UI" there (unless hide) and returns false: the
    // caller ends with exit code 0.
    bool claimSegment(bool hide);
    bool ownsSegment() const;
    void releaseSegment();

    // Tells an instance in another login session to hand over.
    void sendNotice();

    // Binds the notice listener, retrying while the port is taken. Returns
    // whether it is bound; the program runs on without it otherwise.
    bool bindListener();
    bool isListening() const;

    // The command protocol of the segment: a NUL-terminated ASCII text at its
    // start, read and cleared under the segment's lock.
    static bool writeCommand(QSharedMemory &segment, const QByteArray &command);
    static QByteArray takeCommand(QSharedMemory &segment);

    // Starts the executable again with arguments once runScheduledRestart()
    // is called (after the segment is released).
    void scheduleRestart(const QStringList &arguments);
    bool hasScheduledRestart() const;
    bool runScheduledRestart();

signals:
    // The notice came in; the restart with "-another" is scheduled and the
    // event loop asked to quit.
    void anotherLoginReceived();

private slots:
    void noticeReceived();

private:
    Q_DISABLE_COPY(SingleInstance)

    QSharedMemory segment;
    QUdpSocket *listener = nullptr;
    bool owner = false;
    bool restartScheduled = false;
    QStringList restartArguments;
};

#endif // SINGLEINSTANCE_H
