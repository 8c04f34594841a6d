#include "autostartentry.h"

#include "desktopentry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStringList>

AutostartEntry::AutostartEntry(const QString &name)
    : name(name)
{
}

QString AutostartEntry::autostartDir()
{
    // A relative XDG_CONFIG_HOME is invalid and must be ignored.
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QLatin1String("/.config");
    return QDir::cleanPath(config + QLatin1String("/autostart"));
}

QString AutostartEntry::filePath() const
{
    return autostartDir() + QLatin1Char('/') + name + QLatin1String(".desktop");
}

bool AutostartEntry::isEnabled() const
{
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // A desktop entry is a few hundred bytes; anything huge is not ours.
    const DesktopEntry entry = DesktopEntry::parse(file.read(64 * 1024));
    if (entry.boolValue(QStringLiteral("Hidden")))
        return false;
    return !entry.value(QStringLiteral("Exec")).trimmed().isEmpty();
}

QByteArray AutostartEntry::entryText(const QString &name, const QString &program)
{
    DesktopEntry entry;
    entry.setRawValue(QStringLiteral("Type"), QStringLiteral("Application"));
    entry.setRawValue(QStringLiteral("Version"), QStringLiteral("1.0"));
    entry.setValue(QStringLiteral("Name"), name);
    entry.setValue(QStringLiteral("Comment"), QStringLiteral("Start %1 in the system tray").arg(name));
    entry.setRawValue(QStringLiteral("Exec"),
                      DesktopEntry::execValue({program, QStringLiteral("-hide")}));
    entry.setRawValue(QStringLiteral("Terminal"), QStringLiteral("false"));
    entry.setRawValue(QStringLiteral("X-GNOME-Autostart-enabled"), QStringLiteral("true"));
    return entry.toText();
}

bool AutostartEntry::write(const QString &program, QString *errorString) const
{
    const QString dir = autostartDir();
    if (!QDir().mkpath(dir)) {
        if (errorString)
            *errorString = QStringLiteral("cannot create %1").arg(dir);
        return false;
    }
    // Written whole or not at all: a half-written entry would start nothing.
    QSaveFile file(filePath());
    if (!file.open(QIODevice::WriteOnly)) {
        if (errorString)
            *errorString = file.errorString();
        return false;
    }
    const QByteArray text = entryText(name, program);
    if (file.write(text) != text.size() || !file.commit()) {
        if (errorString)
            *errorString = file.errorString();
        return false;
    }
    return true;
}

bool AutostartEntry::remove(QString *errorString) const
{
    QFile file(filePath());
    const QFileInfo info(file.fileName());
    // exists() follows links; a dangling link must go too.
    if (!info.exists() && !info.isSymLink())
        return true;
    if (!file.remove()) {
        if (errorString)
            *errorString = file.errorString();
        return false;
    }
    return true;
}

QString AutostartEntry::helperProgram()
{
    return QCoreApplication::applicationDirPath() + QLatin1String("/Hallbridge");
}

bool AutostartEntry::startHelper(bool enable)
{
    return QProcess::startDetached(helperProgram(),
                                   {enable ? QStringLiteral("1") : QStringLiteral("0")});
}
