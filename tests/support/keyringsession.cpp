#include "keyringsession.h"

#include "testhome.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <sys/stat.h>

namespace {

void endProcess(QProcess *process)
{
    if (process->state() == QProcess::NotRunning)
        return;
    process->terminate();
    if (!process->waitForFinished(5000)) {
        process->kill();
        process->waitForFinished(5000);
    }
}

} // namespace

KeyringSession::KeyringSession(const TestHome &home)
    : m_home(home)
{
    // The runtime folder holds the bus socket and the keyring's control
    // socket; both daemons insist that only its owner may enter it.
    if (m_runtime.isValid())
        ::chmod(QFile::encodeName(m_runtime.path()).constData(), 0700);
}

KeyringSession::~KeyringSession()
{
    endProcess(&m_keyring);
    endProcess(&m_bus);
}

void KeyringSession::applyTo(QProcessEnvironment *environment) const
{
    m_home.applyTo(environment);
    environment->insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    if (m_address.isEmpty())
        environment->remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    else
        environment->insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    environment->remove(QStringLiteral("DISPLAY"));
}

void KeyringSession::enter() const
{
    m_home.enter();
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    qunsetenv("DISPLAY");
}

bool KeyringSession::startBus(QString *error)
{
    const QString config = m_runtime.filePath(QStringLiteral("session.conf"));
    QFile file(config);
    const QByteArray text =
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig>\n"
        "  <type>session</type>\n"
        "  <listen>unix:dir=" + QFile::encodeName(m_runtime.path()) + "</listen>\n"
        "  <policy context=\"default\">\n"
        "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
        "    <allow eavesdrop=\"true\"/>\n"
        "    <allow own=\"*\"/>\n"
        "  </policy>\n"
        "</busconfig>\n";
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
        *error = QStringLiteral("cannot write %1").arg(config);
        return false;
    }
    file.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    applyTo(&environment);
    m_bus.setProcessEnvironment(environment);
    m_bus.setProcessChannelMode(QProcess::SeparateChannels);
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--nofork"), QStringLiteral("--config-file=") + config, QStringLiteral("--print-address=1")});
    if (!m_bus.waitForStarted(5000)) {
        *error = QStringLiteral("dbus-daemon does not start: %1").arg(m_bus.errorString());
        return false;
    }
    QDeadlineTimer deadline(10000);
    while (!m_bus.canReadLine() && !deadline.hasExpired())
        m_bus.waitForReadyRead(200);
    m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
    if (m_address.isEmpty()) {
        *error = QStringLiteral("dbus-daemon printed no address: %1").arg(QString::fromUtf8(m_bus.readAllStandardError()));
        return false;
    }
    return true;
}

bool KeyringSession::hasOwner(const QString &name) const
{
    QProcess ask;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    applyTo(&environment);
    ask.setProcessEnvironment(environment);
    ask.start(QStringLiteral("dbus-send"),
              {QStringLiteral("--session"), QStringLiteral("--print-reply"), QStringLiteral("--dest=org.freedesktop.DBus"),
               QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus.NameHasOwner"),
               QStringLiteral("string:") + name});
    if (!ask.waitForFinished(5000))
        return false;
    return ask.readAllStandardOutput().contains("boolean true");
}

bool KeyringSession::startKeyring(const QByteArray &loginPassword, QString *error)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    applyTo(&environment);
    m_keyring.setProcessEnvironment(environment);
    m_keyring.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_keyring.start(QStringLiteral("gnome-keyring-daemon"),
                    {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    if (!m_keyring.waitForStarted(5000)) {
        *error = QStringLiteral("gnome-keyring-daemon does not start: %1").arg(m_keyring.errorString());
        return false;
    }
    // Nothing turns the event loop here: push the password out before the
    // channel closes, or the daemon waits for it for ever.
    m_keyring.write(loginPassword);
    m_keyring.waitForBytesWritten(5000);
    m_keyring.closeWriteChannel();
    QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        if (m_keyring.state() == QProcess::NotRunning) {
            *error = QStringLiteral("gnome-keyring-daemon ended at once (exit %1)").arg(m_keyring.exitCode());
            return false;
        }
        if (hasOwner(QStringLiteral("org.freedesktop.secrets")))
            return true;
        QThread::msleep(50);
    }
    *error = QStringLiteral("gnome-keyring-daemon never took org.freedesktop.secrets");
    return false;
}

void KeyringSession::stopKeyring()
{
    endProcess(&m_keyring);
}
