// Free space of a folder's volume, against what df reports for it.
#include "tolviksystem.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// df's "available" figure, the statvfs f_bavail the library reports.
qint64 dfAvailable(const QString &path)
{
    QProcess df;
    df.start(QStringLiteral("df"), {QStringLiteral("-B1"), QStringLiteral("--output=avail"), path});
    if (!df.waitForFinished(30000) || df.exitCode() != 0)
        return -2;
    const QList<QByteArray> lines = df.readAllStandardOutput().trimmed().split('\n');
    bool ok = false;
    const qint64 value = lines.last().trimmed().toLongLong(&ok);
    return ok ? value : -2;
}

} // namespace

class TestTolvikSystem : public QObject
{
    Q_OBJECT

private slots:
    void missingFolder();
    void agreesWithDf_data();
    void agreesWithDf();
};

void TestTolvikSystem::missingFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QCOMPARE(TolvikSystem::freeSpace(dir.filePath("missing")), qint64(-1));
    QCOMPARE(TolvikSystem::freeSpace(QString()), qint64(-1));
    QFile file(dir.filePath("file"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(TolvikSystem::freeSpace(file.fileName()), qint64(-1));
}

void TestTolvikSystem::agreesWithDf_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("temp") << QDir::tempPath();
    QTest::newRow("root") << QStringLiteral("/");
    if (QFileInfo(QStringLiteral("/dev/shm")).isDir())
        QTest::newRow("tmpfs") << QStringLiteral("/dev/shm");
}

void TestTolvikSystem::agreesWithDf()
{
    QFETCH(QString, path);
    // Other programs write meanwhile: the figure must lie between df's
    // readings before and after, give or take 64 MiB.
    constexpr qint64 slack = 64 * 1024 * 1024;
    const qint64 before = dfAvailable(path);
    const qint64 ours = TolvikSystem::freeSpace(path);
    const qint64 after = dfAvailable(path);
    QVERIFY(before >= 0 && after >= 0);
    QVERIFY2(ours >= qMin(before, after) - slack && ours <= qMax(before, after) + slack,
             qPrintable(QStringLiteral("%1 against df %2 .. %3").arg(ours).arg(before).arg(after)));
}

QTEST_GUILESS_MAIN(TestTolvikSystem)

#include "tst_tolviksystem.moc"
