#ifndef OTHERUSER_H
#define OTHERUSER_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <sys/types.h>

class QProcess;

// Another local user acting against the program: a made-up uid (no account
// needed) under which the other-user-probe program runs, started through
// setpriv(1) with that uid and gid and no supplementary groups. 4242 plays
// the attacker, 4343 a second user of the machine. The System V objects it
// makes are removed and the probes it keeps running are ended when the
// object goes.
class OtherUser
{
public:
    static constexpr uint Attacker = 4242;
    static constexpr uint Victim = 4343;

    explicit OtherUser(uint uid = Attacker);
    ~OtherUser();
    OtherUser(const OtherUser &) = delete;
    OtherUser &operator=(const OtherUser &) = delete;

    // Empty when another user can be played here (root, setpriv and the
    // probe there); otherwise why not.
    static QString unavailableReason();
    uint uid() const { return m_uid; }

    // Runs the probe with args to its end: its standard output, or a null
    // array when it failed (the reason is printed).
    QByteArray run(const QStringList &args, int timeoutMs = 10000);
    // Starts a probe that stays (holding a segment) and waits for its
    // "ready" line; its output so far, null when it did not get there.
    QByteArray startHolding(const QStringList &args, int timeoutMs = 10000);

    // A file of this user (mode octal); its ftok() key, -1 on failure.
    key_t makeFile(const QString &path, const QString &mode = QStringLiteral("644"));
    key_t replaceFile(const QString &path, const QString &mode = QStringLiteral("644"));
    // A segment under key holding text, kept attached when hold; its id or -1.
    int plantSegment(key_t key, const QByteArray &text, bool hold, const QString &mode = QStringLiteral("666"));
    int plantSemaphore(key_t key, int value, const QString &mode = QStringLiteral("666"));
    // text to 127.0.0.1:port from a socket held open holdMs; the source port or 0.
    quint16 sendDatagram(quint16 port, const QByteArray &text, int holdMs);
    // request (raw) to 127.0.0.1:port; what came back within 3 s.
    QByteArray exchange(quint16 port, const QByteArray &request);

    static QString probePath();

private:
    QStringList command(const QStringList &args) const;
    static int numberAfter(const QByteArray &output, const QByteArray &name);

    const uint m_uid;
    QList<QProcess *> m_holding;
    QList<int> m_segments;
    QList<int> m_semaphores;
};

// Skips the calling test function when no other user can be played.
#define OTHERUSER_REQUIRE()                                          \
    do {                                                             \
        const QString otherUserWhy = OtherUser::unavailableReason(); \
        if (!otherUserWhy.isEmpty())                                 \
            QSKIP(qPrintable(otherUserWhy));                         \
    } while (false)

#endif // OTHERUSER_H
