#include "autoserialfilelogger.h"

#include <QFileInfo>

#include <utility>

AutoSerialFileLogger::AutoSerialFileLogger(QString pattern)
    : FileBasedLogger(true)
    , namePrefix(std::move(pattern))
    , currentDate(QDate::currentDate())
{
    const QString &whole = namePrefix;
    const int dash = whole.lastIndexOf(QLatin1Char('-'));
    if (dash < 6)
        return;

    int nines = 0;
    while (dash + 1 + nines < whole.size() && whole.at(dash + 1 + nines) == QLatin1Char('9'))
        ++nines;
    if (nines == 0)
        return;

    const QString beforeDash = whole.left(dash);
    if (beforeDash.right(6).toUpper() != QLatin1String("YYMMDD"))
        return;
    const bool isLongYear = beforeDash.size() >= 8
            && beforeDash.right(8).toUpper() == QLatin1String("YYYYMMDD");

    serialDigits = nines;
    nameSuffix = whole.mid(dash + 1 + nines);
    longYear = isLongYear;
    namePrefix = beforeDash.left(beforeDash.size() - (isLongYear ? 8 : 6));
    serialNaming = true;
}

AutoSerialFileLogger::~AutoSerialFileLogger() = default;

QDate AutoSerialFileLogger::today() const
{
    return QDate::currentDate();
}

qint64 AutoSerialFileLogger::maxFileSize() const
{
    return serialNaming ? MaxFileSize : 0;
}

bool AutoSerialFileLogger::startNextFile()
{
    if (!serialNaming)
        return false;
    if (today() == currentDate && filesOfDay >= MaxFilesPerDay)
        return false;
    currentName.clear();
    return true;
}

bool AutoSerialFileLogger::stopsWhenFull() const
{
    return serialNaming;
}

QByteArray AutoSerialFileLogger::fullMessage() const
{
    return QByteArrayLiteral("------------------- Log files of the day are full (")
        + QByteArray::number(MaxFilesPerDay) + QByteArrayLiteral(" files); later lines of the day are dropped -------------------");
}

QString AutoSerialFileLogger::getFileName()
{
    if (!serialNaming)
        return namePrefix;

    const QDate date = today();
    if (date != currentDate) {
        currentDate = date;
        nextSerial = 1;
        filesOfDay = 0;
    }
    // Chosen once and kept for the logger's lifetime, even across midnight,
    // so that a restart after stop() appends to the same file.
    if (!currentName.isEmpty())
        return currentName;

    const QString stem = namePrefix
            + currentDate.toString(longYear ? QStringLiteral("yyyyMMdd") : QStringLiteral("yyMMdd"))
            + QLatin1Char('-');
    QString candidate;
    do {
        candidate = stem + QStringLiteral("%1").arg(nextSerial, serialDigits, 10, QLatin1Char('0'))
                + nameSuffix;
        ++nextSerial;
    } while (QFileInfo::exists(candidate));
    currentName = candidate;
    ++filesOfDay;
    return currentName;
}
