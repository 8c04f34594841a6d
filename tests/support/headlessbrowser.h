#ifndef HEADLESSBROWSER_H
#define HEADLESSBROWSER_H

#include <QSize>
#include <QString>

// Debian's Chromium without a display: renders a local file and saves a
// PNG screenshot of the given window size. Started as this machine needs
// it (no sandbox as root, no GPU, none of the background connections a
// closed network refuses), with a profile folder of its own, removed after.
class HeadlessBrowser
{
public:
    static constexpr int TimeoutMs = 90000;

    static bool isInstalled();
    static bool screenshot(const QString &page, const QString &png, const QSize &size, QString *error);

private:
    HeadlessBrowser() = delete;
};

#endif // HEADLESSBROWSER_H
