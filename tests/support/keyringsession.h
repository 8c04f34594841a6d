#ifndef KEYRINGSESSION_H
#define KEYRINGSESSION_H

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

class TestHome;

// A D-Bus session bus of the test's own (dbus-daemon, with no service
// files, so nothing starts on demand) and, when asked, a real
// gnome-keyring-daemon on it whose fresh login keyring is unlocked with a
// known password. The keyring's files land in the TestHome's data folder;
// the bus and the daemon end with the object.
class KeyringSession
{
public:
    explicit KeyringSession(const TestHome &home);
    ~KeyringSession();

    bool startBus(QString *error);
    // After startBus(); waits until org.freedesktop.secrets is on the bus.
    bool startKeyring(const QByteArray &loginPassword, QString *error);
    void stopKeyring();

    QString busAddress() const { return m_address; }
    qint64 keyringPid() const { return m_keyring.processId(); }
    // DBUS_SESSION_BUS_ADDRESS and XDG_RUNTIME_DIR for this process (before
    // its first D-Bus call: GLib keeps its first session bus).
    void enter() const;
    void applyTo(QProcessEnvironment *environment) const;

    // Whether a name has an owner on the bus, asked with dbus-send.
    bool hasOwner(const QString &name) const;

private:
    Q_DISABLE_COPY(KeyringSession)

    const TestHome &m_home;
    QTemporaryDir m_runtime;
    QProcess m_bus;
    QProcess m_keyring;
    QString m_address;
};

#endif // KEYRINGSESSION_H
