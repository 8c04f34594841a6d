#ifndef AUTOSERIALFILELOGGER_H
#define AUTOSERIALFILELOGGER_H

#include "corvane_global.h"
#include "filebasedlogger.h"

#include <QDate>
#include <QString>

// A file logger whose name comes from a pattern such as
// "<folder>/TolvikPathmere-YYMMDD-999.log": the date part becomes today's date
// and the nines the first serial number of the day whose file does not exist.
// A pattern without such parts is used as the file name unchanged.
class CORVANE_EXPORT AutoSerialFileLogger : public FileBasedLogger
{
public:
    // Lines from the network (refusals, web requests) can come without end;
    // past this size a file is closed and the next serial number of the day
    // continues the log, so no one file grows without limit and the 31-day
    // clean-up still sees the folder's files. Patterns without serial
    // digits write one file, with no limit.
    static constexpr qint64 MaxFileSize = 32 * 1024 * 1024;
    // ...and a logger starts at most this many files a day, so a flood
    // fills at most MaxFilesPerDay * MaxFileSize of the disk a day. The last
    // one ends with a line saying so; later lines of the day are dropped,
    // and the next day starts a file of its own.
    static constexpr int MaxFilesPerDay = 8;

    explicit AutoSerialFileLogger(QString pattern);
    AutoSerialFileLogger(const AutoSerialFileLogger &other) = default;
    AutoSerialFileLogger &operator=(const AutoSerialFileLogger &other) = default;
    ~AutoSerialFileLogger() override;

protected:
    QString getFileName() override;
    qint64 maxFileSize() const override;
    bool startNextFile() override;
    bool stopsWhenFull() const override;
    QByteArray fullMessage() const override;

    // The date the name is built for; tests pin it to a fixed day.
    virtual QDate today() const;

private:
    bool serialNaming = false;
    bool longYear = false;
    int32_t serialDigits = 0;
    QString namePrefix;
    QString nameSuffix;
    int32_t nextSerial = 1;
    QDate currentDate;
    QString currentName;
    int filesOfDay = 0;   // files this logger started on currentDate
};

#endif // AUTOSERIALFILELOGGER_H
