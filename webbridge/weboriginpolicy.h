#ifndef WEBORIGINPOLICY_H
#define WEBORIGINPOLICY_H

#include <QString>
#include <QStringList>

// Which web pages may open the bridge. A browser tells the page's origin in
// the handshake; a program sends none. Local pages are welcome: no origin,
// file://, and http or https on localhost, 127.0.0.1 or [::1] at any port
// (the page Pathmere serves itself among them). Every other origin, "null"
// included (any web site's sandboxed frame sends it), is refused unless the
// user lists it under "Web/AllowedOrigins" in the "setting.ini" of the
// update data folder.
class WebOriginPolicy
{
public:
    // The opaque origin, allowed only when the user lists it.
    static inline const QString NullOrigin = QStringLiteral("null");

    static bool isLocalOrigin(const QString &origin);
    static bool isAllowed(const QString &origin, const QStringList &extraOrigins);

    // <generic data location>/Pathmere/setting.ini, the folder the update
    // check keeps its files in.
    static QString settingsFile();
    // The "Web/AllowedOrigins" entries: a list or one text of origins
    // separated by commas or blanks.
    static QStringList configuredOrigins();
    static QStringList configuredOrigins(const QString &settingsFile);
    static constexpr qint64 MaxSettingsFileSize = 64 * 1024;

    // Scheme and host lower-cased, no trailing slash; empty when origin is
    // not a URL with a scheme.
    static QString normalized(const QString &origin);
};

#endif // WEBORIGINPOLICY_H
