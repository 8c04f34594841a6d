#ifndef SINGLEINSTANCE_H
#define SINGLEINSTANCE_H

#include "logrepeatlimiter.h"
#include "sessionsegment.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QStringList>

class QUdpSocket;

// One instance per login session, and the hand-over between sessions.
//
// A session-scoped shared-memory segment (see SessionSegment) detects a
// second start in the same session; the second start leaves a command in it
// and ends. A segment, lock or key file that is not this user's alone is
// refused with a log line, and the program runs on without the segment.
//
// A loopback UDP notice reaches an instance in another session of the same
// user, which then quits and comes back with "-another". The listener is
// bound to 127.0.0.1 only, and a notice counts only when the socket that sent
// it belongs to our user: the sender keeps that socket open (see
// sendNotice()), so the receiver finds it in the kernel's socket table by its
// source port (SocketOwner::udpSenderUid). Nobody else can send from a port
// that one of our sockets holds without sharing: binding it fails for them,
// and SO_REUSEPORT is refused between users.
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
    SingleInstance(const QString &segmentKey, QObject *parent, const QString &keyFolder = SessionSharedMemoryKey::keyFolder());
    ~SingleInstance() override;

    // Creates the segment. When another instance of the session owns it,
    // leaves "Show_Normal_UI" there (unless hide) and returns false: the
    // caller ends with exit code 0. When what the key names is refused, the
    // refusal is logged and the program runs on without a segment (true).
    bool claimSegment(bool hide);
    bool ownsSegment() const;
    void releaseSegment();

    // Tells an instance in another login session to hand over. The sending
    // socket stays open as long as this object, so that the receiver can
    // tell whose it is.
    void sendNotice();
    // The address and port the notice was sent from; null before sendNotice().
    QHostAddress noticeSource() const;
    quint16 noticeSourcePort() const;

    // Binds the notice listener, retrying while the port is taken. Returns
    // whether it is bound; the program runs on without it otherwise.
    bool bindListener();
    bool isListening() const;

    // The command protocol of the segment: a NUL-terminated ASCII text at its
    // start, read and cleared under the segment's lock (waited for at most
    // lockTimeoutMs).
    static bool writeCommand(SessionSegment &segment, const QByteArray &command,
                             int lockTimeoutMs = SessionSegment::LockTimeoutMs);
    static QByteArray takeCommand(SessionSegment &segment, int lockTimeoutMs = SessionSegment::LockTimeoutMs);

    // Whether a notice from source:sourcePort is obeyed: sent over loopback
    // by a socket of our user (uid).
    static bool isNoticeSenderTrusted(const QHostAddress &source, quint16 sourcePort, uint uid);

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

    SessionSegment segment;
    QUdpSocket *listener = nullptr;
    QUdpSocket *noticeSender = nullptr;
    bool owner = false;
    // Refused notices can come without end: one line a second.
    LogRepeatLimiter refusedNoticeLog;
    QElapsedTimer clock;
    bool restartScheduled = false;
    QStringList restartArguments;
};

#endif // SINGLEINSTANCE_H
