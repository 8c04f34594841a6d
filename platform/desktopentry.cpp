#include "desktopentry.h"

const QString DesktopEntry::groupName = QStringLiteral("Desktop Entry");

namespace {
// Characters that force an Exec argument into double quotes. Every kind of
// white space is among them: a reader trims the line, so an unquoted one at
// either end of the value (a form feed, U+00A0, U+2028) would be lost.
bool isReservedExecChar(QChar c)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    return c.isSpace() || reserved.contains(c);
}

// Inside double quotes these four keep their meaning only behind a backslash.
bool isQuoteEscapable(QChar c)
{
    return c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$')
        || c == QLatin1Char('\\');
}
} // namespace

DesktopEntry DesktopEntry::parse(const QByteArray &data)
{
    DesktopEntry entry;
    bool inGroup = false;
    const QList<QByteArray> lines = data.split('\n');
    for (const QByteArray &rawLine : lines) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            inGroup = line.midRef(1, line.size() - 2) == groupName;
            continue;
        }
        if (!inGroup)
            continue;
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (key.contains(QLatin1Char('[')))
            continue;
        entry.setRawValue(key, line.mid(eq + 1).trimmed());
    }
    return entry;
}

QByteArray DesktopEntry::toText() const
{
    QString text = QLatin1Char('[') + groupName + QLatin1String("]\n");
    for (const auto &kv : entries)
        text += kv.first + QLatin1Char('=') + kv.second + QLatin1Char('\n');
    return text.toUtf8();
}

bool DesktopEntry::contains(const QString &key) const
{
    for (const auto &kv : entries) {
        if (kv.first == key)
            return true;
    }
    return false;
}

QString DesktopEntry::rawValue(const QString &key) const
{
    for (const auto &kv : entries) {
        if (kv.first == key)
            return kv.second;
    }
    return QString();
}

QString DesktopEntry::value(const QString &key) const
{
    return unescapeString(rawValue(key));
}

void DesktopEntry::setRawValue(const QString &key, const QString &raw)
{
    for (auto &kv : entries) {
        if (kv.first == key) {
            kv.second = raw;
            return;
        }
    }
    entries.append(qMakePair(key, raw));
}

void DesktopEntry::setValue(const QString &key, const QString &value)
{
    setRawValue(key, escapeString(value));
}

bool DesktopEntry::boolValue(const QString &key) const
{
    return rawValue(key) == QLatin1String("true");
}

QString DesktopEntry::escapeString(const QString &value)
{
    QString out;
    out.reserve(value.size() + 8);
    bool leading = true;
    for (const QChar c : value) {
        if (c == QLatin1Char(' ') && leading) {
            // A leading space would be trimmed away by every reader.
            out += QLatin1String("\\s");
            continue;
        }
        leading = false;
        switch (c.unicode()) {
        case '\\': out += QLatin1String("\\\\"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\t': out += QLatin1String("\\t"); break;
        case '\r': out += QLatin1String("\\r"); break;
        default: out += c; break;
        }
    }
    return out;
}

QString DesktopEntry::unescapeString(const QString &raw)
{
    QString out;
    out.reserve(raw.size());
    for (int i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c != QLatin1Char('\\') || i + 1 >= raw.size()) {
            out += c;
            continue;
        }
        const QChar next = raw.at(i + 1);
        switch (next.unicode()) {
        case 's': out += QLatin1Char(' '); break;
        case 'n': out += QLatin1Char('\n'); break;
        case 't': out += QLatin1Char('\t'); break;
        case 'r': out += QLatin1Char('\r'); break;
        case '\\': out += QLatin1Char('\\'); break;
        default:
            // Not a string escape (list separators use "\;"): keep it whole.
            out += c;
            out += next;
            break;
        }
        ++i;
    }
    return out;
}

QString DesktopEntry::execValue(const QStringList &argv)
{
    QStringList args;
    for (const QString &arg : argv) {
        bool quote = arg.isEmpty();
        for (const QChar c : arg)
            quote = quote || isReservedExecChar(c);
        QString out;
        if (quote) {
            out += QLatin1Char('"');
            for (const QChar c : arg) {
                if (isQuoteEscapable(c))
                    out += QLatin1Char('\\');
                out += c;
            }
            out += QLatin1Char('"');
        } else {
            out = arg;
        }
        out.replace(QLatin1String("%"), QLatin1String("%%"));
        args << out;
    }
    // The string escapes come on top of the quoting, so a backslash in a
    // quoted argument ends up as four in the file.
    return escapeString(args.join(QLatin1Char(' ')));
}

QStringList DesktopEntry::splitExec(const QString &rawExec)
{
    const QString exec = unescapeString(rawExec);
    QStringList argv;
    QString current;
    bool inArg = false;
    bool inQuotes = false;
    for (int i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (c == QLatin1Char('%')) {
            if (i + 1 >= exec.size())
                return QStringList();
            const QChar code = exec.at(++i);
            if (code == QLatin1Char('%')) {
                current += code;
                inArg = true;
                continue;
            }
            // Field codes are letters. Anything else makes the line invalid;
            // skipping one UTF-16 unit of it could leave half a surrogate pair
            // in an argument, which no file can hold.
            if (code.unicode() > 0x7f || !code.isLetter())
                return QStringList();
            // A letter expands to nothing without files or URLs.
            continue;
        }
        if (inQuotes) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size() && isQuoteEscapable(exec.at(i + 1))) {
                current += exec.at(++i);
            } else if (c == QLatin1Char('"')) {
                inQuotes = false;
            } else {
                current += c;
            }
            continue;
        }
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
            if (inArg)
                argv << current;
            current.clear();
            inArg = false;
        } else if (c == QLatin1Char('"')) {
            inQuotes = true;
            inArg = true;
        } else {
            current += c;
            inArg = true;
        }
    }
    if (inQuotes)
        return QStringList();
    if (inArg)
        argv << current;
    return argv;
}
