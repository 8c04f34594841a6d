#ifndef DESKTOPENTRY_H
#define DESKTOPENTRY_H

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// The "[Desktop Entry]" group of a freedesktop.org desktop entry file, with
// the escaping rules of its string values and of the Exec key. Pure text
// work, no file access: the autostart reader, Hallbridge and the tests share it.
class DesktopEntry
{
public:
    static const QString groupName; // "Desktop Entry"

    DesktopEntry() = default;

    // Reads the keys of the "[Desktop Entry]" group; other groups, comments
    // and localised keys (Name[de]) are skipped. Values are kept raw
    // (still escaped); a repeated key keeps its last value.
    static DesktopEntry parse(const QByteArray &data);
    // The group as UTF-8 text, keys in the order they were set.
    QByteArray toText() const;

    bool contains(const QString &key) const;
    QString rawValue(const QString &key) const;
    // Value with the string escapes (\s \n \t \r \\) resolved.
    QString value(const QString &key) const;
    void setRawValue(const QString &key, const QString &raw);
    // Stores the value with the string escapes applied.
    void setValue(const QString &key, const QString &value);
    // Booleans are the literal "true" and "false".
    bool boolValue(const QString &key) const;

    static QString escapeString(const QString &value);
    static QString unescapeString(const QString &raw);

    // The Exec value (string escapes applied) that runs argv: arguments
    // holding reserved characters are double-quoted, with the double quote,
    // backtick, dollar and backslash escaped by a backslash; % becomes %%.
    static QString execValue(const QStringList &argv);
    // The inverse, from a raw Exec value. Field codes (%f, %U, ...) are
    // dropped as a launcher without files would. Returns an empty list
    // for a malformed value (unterminated quote, lone %).
    static QStringList splitExec(const QString &rawExec);

private:
    QList<QPair<QString, QString>> entries;
};

#endif // DESKTOPENTRY_H
