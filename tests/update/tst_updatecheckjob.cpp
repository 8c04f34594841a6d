// One update check as every front end runs it, against the loopback update
// server: whoever asks while it runs joins it and the description is fetched
// once; a description that cannot be read, or that answers nobody, still
// ends the job, once.

#include "updatefixture.h"

#include "downloadmanager.h"
#include "updatecheckjob.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// One job on a download manager of its own, and how it ended.
struct Check
{
    Check() : job(&manager), finished(&job, &UpdateCheckJob::finished) {}

    // The job ended, and whatever else was on its way has arrived.
    bool ended()
    {
        const bool ok = !finished.isEmpty() || finished.wait(5000);
        QTest::qWait(300);
        return ok;
    }
    int result() const { return finished.isEmpty() ? -1 : finished.first().first().toInt(); }

    DownloadManager manager;
    UpdateCheckJob job;
    QSignalSpy finished;
};

} // namespace

class TestUpdateCheckJob : public QObject
{
    Q_OBJECT

private:
    UpdateFixture fixture;
    const QString packagePath = QStringLiteral("/pkg/Pathmere-1.1.1011.0.zip");

    void serveNewer()
    {
        fixture.server.serve(UpdateFixture::descriptionPath,
                              fixture.description(QStringLiteral("1.1.1011.0"), packagePath, 1000, "c2ln"));
    }

    int descriptionRequests() const { return fixture.server.requests(UpdateFixture::descriptionPath); }

private slots:
    void initTestCase() { QVERIFY(fixture.isValid()); }
    void init() { fixture.resetDataFolder(); }

    void windowAndPageShareOneCheck()
    {
        serveNewer();
        Check check;
        const int before = descriptionRequests();
        check.job.start(false);
        QVERIFY(check.job.isRunning());
        // The page asks while the window's check runs: it joins it.
        check.job.start(true);
        QVERIFY(check.ended());
        QCOMPARE(check.finished.count(), 1);
        QCOMPARE(check.result(), int(UpdateCheckJob::Answered));
        QCOMPARE(descriptionRequests(), before + 1);
        QVERIFY(!check.job.isRunning());
        // Each asker has its own answer.
        QCOMPARE(check.job.localAnswer(), std::optional<bool>(true));
        QVERIFY(check.job.webAnswer().has_value());
        QCOMPARE(check.job.webAnswer()->needUpdate, true);
        QCOMPARE(check.job.webAnswer()->version, QStringLiteral("1.1.1011.0"));
    }

    void secondAskFromTheSameSideJoinsToo()
    {
        serveNewer();
        Check check;
        const int before = descriptionRequests();
        check.job.start(true);
        check.job.start(true);
        QVERIFY(check.ended());
        QCOMPARE(check.finished.count(), 1);
        QCOMPARE(descriptionRequests(), before + 1);
        QVERIFY(check.job.webAnswer().has_value());
        // Nobody asked for the window's answer.
        QVERIFY(!check.job.localAnswer().has_value());
    }

    void onlyTheWindowAsks()
    {
        serveNewer();
        Check check;
        check.job.start(false);
        QVERIFY(check.ended());
        QCOMPARE(check.finished.count(), 1);
        QCOMPARE(check.result(), int(UpdateCheckJob::Answered));
        QCOMPARE(check.job.localAnswer(), std::optional<bool>(true));
        QVERIFY(!check.job.webAnswer().has_value());
    }

    void unreadableDescriptionFails()
    {
        fixture.pointAtClosedPort();
        Check check;
        check.job.start(false);
        check.job.start(true);
        QVERIFY(check.ended());
        QCOMPARE(check.finished.count(), 1);
        QCOMPARE(check.result(), int(UpdateCheckJob::DescriptionFailed));
        QVERIFY(!check.job.isRunning());
        QVERIFY(!check.job.localAnswer().has_value());
        QVERIFY(!check.job.webAnswer().has_value());
    }

    void missingDescriptionFails()
    {
        fixture.server.remove(UpdateFixture::descriptionPath);
        Check check;
        check.job.start(true);
        QVERIFY(check.ended());
        QCOMPARE(check.finished.count(), 1);
        QCOMPARE(check.result(), int(UpdateCheckJob::DescriptionFailed));
    }

    void pageThatIsNoDescriptionEndsWithoutAnswer()
    {
        fixture.server.serve(UpdateFixture::descriptionPath, "<html><body>Oops</body></html>");
        Check check;
        check.job.start(false);
        QVERIFY(check.ended());
        QCOMPARE(check.finished.count(), 1);
        QCOMPARE(check.result(), int(UpdateCheckJob::NoAnswer));
        QVERIFY(!check.job.isRunning());
    }

    void otherJobsOfTheManagerAreNotAnswered()
    {
        // A job that never started hears nothing of another job's check.
        serveNewer();
        Check check;
        UpdateCheckJob idle(&check.manager);
        QSignalSpy idleFinished(&idle, &UpdateCheckJob::finished);
        check.job.start(false);
        QVERIFY(check.ended());
        QCOMPARE(idleFinished.count(), 0);
        QVERIFY(!idle.localAnswer().has_value());
    }
};

QTEST_MAIN(TestUpdateCheckJob)
#include "tst_updatecheckjob.moc"
