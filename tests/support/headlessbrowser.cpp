#include "headlessbrowser.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

bool HeadlessBrowser::isInstalled()
{
    return !QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty();
}

bool HeadlessBrowser::screenshot(const QString &page, const QString &png, const QSize &size, QString *error)
{
    QTemporaryDir profile;
    if (!profile.isValid()) {
        *error = QStringLiteral("no folder for the browser profile");
        return false;
    }
    QProcess browser;
    browser.setProcessChannelMode(QProcess::MergedChannels);
    browser.start(QStringLiteral("chromium"),
                  {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
                   QStringLiteral("--disable-quic"), QStringLiteral("--no-first-run"),
                   QStringLiteral("--disable-background-networking"), QStringLiteral("--disable-component-update"),
                   QStringLiteral("--disable-sync"), QStringLiteral("--hide-scrollbars"),
                   QStringLiteral("--user-data-dir=") + profile.path(),
                   QStringLiteral("--window-size=%1,%2").arg(size.width()).arg(size.height()),
                   QStringLiteral("--screenshot=") + QFileInfo(png).absoluteFilePath(),
                   QUrl::fromLocalFile(QFileInfo(page).absoluteFilePath()).toString()});
    if (!browser.waitForFinished(TimeoutMs)) {
        browser.kill();
        browser.waitForFinished(5000);
        *error = QStringLiteral("chromium did not finish: %1").arg(QString::fromLocal8Bit(browser.readAll().right(2000)));
        return false;
    }
    if (browser.exitStatus() != QProcess::NormalExit || !QFileInfo::exists(png)) {
        *error = QStringLiteral("chromium made no screenshot: %1").arg(QString::fromLocal8Bit(browser.readAll().right(2000)));
        return false;
    }
    return true;
}
