// The crash dialog: language choice, form, DPI scaling and the crash zip.

#include "errorhandledialog.h"
#include "testhome.h"

#include <QApplication>
#include <QDesktopWidget>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <QtGui/private/qzipreader_p.h>

#include <algorithm>
#include <memory>

namespace {

// Replaces the file question so no modal file dialog ever opens in a test.
class TestDialog : public ErrorHandleDialog
{
public:
    using ErrorHandleDialog::scaleForDpi;

    QString answer;
    int asked = 0;

protected:
    QString askSaveFileName() override
    {
        ++asked;
        return answer;
    }
};

bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

QStringList treeOf(const QString &root)
{
    QStringList all;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        all << it.next();
    all.sort();
    return all;
}

QStringList entryNames(const QString &zipPath)
{
    QZipReader reader(zipPath);
    QStringList names;
    const auto infos = reader.fileInfoList();
    for (const auto &info : infos)
        names << info.filePath;
    return names;
}

// An archive without entries is only its 22-byte end-of-central-directory
// record; QZipReader rejects such files, so check the record itself.
bool isEmptyZip(const QString &zipPath)
{
    QFile f(zipPath);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = f.readAll();
    return data.size() == 22 && data.startsWith(QByteArray("PK\x05\x06", 4))
            && data.mid(8, 4) == QByteArray(4, '\0');
}

QPushButton *button(QWidget *dialog, const char *name)
{
    return dialog->findChild<QPushButton *>(QLatin1String(name));
}

} // namespace

class TestErrorHandleDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void languageFiles_data();
    void languageFiles();
    void translationsBuiltBesideProgram();
    void missingTranslationKeepsEnglish();

    void formAndFlags();
    void dpiScaling();
    void screenDpi();

    void zipFolderMap();
    void zipFlattensLogTree();
    void zipFolderEdgeCases();
    void saveCancelledOrImpossible();
    void saveFromModalLoopAndAgain();

private:
    QString iniPath() const { return home.path() + "/.local/share/Slatewing/Slatewing.ini"; }
    void setLanguage(const QString &code) const;

    TestHome home;
};

void TestErrorHandleDialog::initTestCase()
{
    QVERIFY(home.isValid());
    home.enter();
    qunsetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_DIRS", QFile::encodeName(home.path() + "/share"));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(home.path() + "/etc"));
}

void TestErrorHandleDialog::init()
{
    QFile::remove(iniPath());
}

// "<none>" removes the INI file, "<nokey>" writes one without the key.
void TestErrorHandleDialog::setLanguage(const QString &code) const
{
    QFile::remove(iniPath());
    if (code == QLatin1String("<none>"))
        return;
    QDir().mkpath(QFileInfo(iniPath()).absolutePath());
    QSettings ini(iniPath(), QSettings::IniFormat);
    if (code == QLatin1String("<nokey>"))
        ini.setValue("Account/Name", "someone");
    else
        ini.setValue("Account/Language", code);
    ini.sync();
    QCOMPARE(ini.status(), QSettings::NoError);
}

void TestErrorHandleDialog::languageFiles_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("saveText");
    QTest::addColumn<QString>("captionText");

    QTest::newRow("fr_FR") << "fr_FR" << "Corvane_fr_FR.qm" << "Enregistrer"
                           << "Enregistrer le journal de plantage dans";
    QTest::newRow("fi_FI") << "fi_FI" << "Corvane_fi_FI.qm" << "Tallenna"
                           << "Tallenna kaatumisloki kohteeseen";
    QTest::newRow("de_DE") << "de_DE" << "Corvane_de_DE.qm" << "Speichern"
                           << "Absturzprotokoll speichern unter";
    QTest::newRow("it_IT") << "it_IT" << "Corvane_it_IT.qm" << "Salva"
                           << "Salva il registro dell'arresto anomalo in";
    QTest::newRow("in_ID") << "in_ID" << "Corvane_in_ID.qm" << "Simpan" << "Simpan Log Kerusakan Ke";
    QTest::newRow("ja_JP") << "ja_JP" << "Corvane_ja_JP.qm" << "保存" << "クラッシュログの保存先";
    QTest::newRow("ru_ru") << "ru_ru" << "Corvane_ru_ru.qm" << "Сохранить" << "Сохранить журнал сбоя в";
    QTest::newRow("es_ES") << "es_ES" << "Corvane_es_ES.qm" << "Guardar"
                           << "Guardar registro de errores en";
    QTest::newRow("zh_CN") << "zh_CN" << "Corvane_zh_CN.qm" << "保存" << "将崩溃日志保存到";
    QTest::newRow("zh_TW") << "zh_TW" << "Corvane_zh_TW.qm" << "儲存" << "將當機記錄儲存至";

    // Codes are compared exactly; everything else is the US English file.
    const QString en = "Corvane_en_US.qm";
    QTest::newRow("ru_RU upper-case region") << "ru_RU" << en << "Save" << "Save Crash Log To";
    QTest::newRow("fr_fr") << "fr_fr" << en << "Save" << "Save Crash Log To";
    QTest::newRow("en_US") << "en_US" << en << "Save" << "Save Crash Log To";
    QTest::newRow("unknown") << "xx_YY" << en << "Save" << "Save Crash Log To";
    QTest::newRow("empty code") << "" << en << "Save" << "Save Crash Log To";
    QTest::newRow("no key") << "<nokey>" << en << "Save" << "Save Crash Log To";
    QTest::newRow("no INI file") << "<none>" << en << "Save" << "Save Crash Log To";
}

void TestErrorHandleDialog::languageFiles()
{
    QFETCH(QString, code);
    QFETCH(QString, file);
    QFETCH(QString, saveText);
    QFETCH(QString, captionText);

    setLanguage(code);
    TestDialog dialog;

    QCOMPARE(dialog.translationFile(),
             QCoreApplication::applicationDirPath() + "/Languages/" + file);
    if (code != QLatin1String("<none>") && code != QLatin1String("<nokey>"))
        QCOMPARE(ErrorHandleDialog::translationFileName(code), file);
    QCOMPARE(button(&dialog, "btnSave")->text(), saveText);
    // Installed application-wide, so texts outside the form translate too.
    QCOMPARE(QCoreApplication::translate("ErrorHandleDialog", "Save Crash Log To"), captionText);
}

void TestErrorHandleDialog::translationsBuiltBesideProgram()
{
    const QString binDir = qEnvironmentVariable("PATHMERE_BIN_DIR");
    QVERIFY(!binDir.isEmpty());
    const QStringList codes = { "fr_FR", "fi_FI", "de_DE", "it_IT", "in_ID", "ja_JP",
                                "ru_ru", "es_ES", "zh_CN", "zh_TW", "en_US" };
    for (const QString &code : codes) {
        const QString qm = binDir + "/Languages/Corvane_" + code + ".qm";
        QTranslator t;
        QVERIFY2(t.load(qm), qPrintable(qm));
        // Every text of the dialog is translated in every file.
        for (const char *source : { "Dialog", "Save", "Cancel", "Save Crash Log To",
                                    "Zip File (*.zip)",
                                    "The software closes unexpectedly, do you need to save the "
                                    "items needed to analyze the problem?" })
            QVERIFY2(!t.translate("ErrorHandleDialog", source).isEmpty(),
                     qPrintable(code + ": " + source));
    }
}

void TestErrorHandleDialog::missingTranslationKeepsEnglish()
{
    const QString qm = QCoreApplication::applicationDirPath() + "/Languages/Corvane_de_DE.qm";
    const QString moved = qm + ".away";
    QVERIFY(QFile::rename(qm, moved));
    const auto restore = qScopeGuard([&] { QFile::rename(moved, qm); });

    setLanguage("de_DE");
    TestDialog dialog;
    QVERIFY(dialog.translationFile().isEmpty());
    QCOMPARE(button(&dialog, "btnSave")->text(), QString("Save"));
    QCOMPARE(button(&dialog, "btnExit")->text(), QString("Cancel"));
    QCOMPARE(dialog.windowTitle(), QString("Dialog"));
}

void TestErrorHandleDialog::formAndFlags()
{
    TestDialog dialog;
    QCOMPARE(dialog.objectName(), QString("ErrorHandleDialog"));
    QCOMPARE(dialog.windowTitle(), QString("Dialog"));
    QCOMPARE(dialog.styleSheet(), QString("background-color:white;"));

    const QString buttonStyle = "font-size: 16pt;\nfont-family: Arial;\ncolor: white;\n"
                                "background-color: #4952b8;\nborder-radius:15px;\n"
                                "border: 1px solid #4952b8;";
    QCOMPARE(button(&dialog, "btnSave")->styleSheet(), buttonStyle);
    QCOMPARE(button(&dialog, "btnExit")->styleSheet(), buttonStyle);
    QCOMPARE(button(&dialog, "btnExit")->text(), QString("Cancel"));

    const auto *label = dialog.findChild<QLabel *>("label");
    QVERIFY(label);
    QCOMPARE(label->text(), QString("The software closes unexpectedly, do you need to save the "
                                    "items needed to analyze the problem?"));
    QCOMPARE(label->styleSheet(), QString("font-size: 12pt;\nfont-family: Arial;\ncolor: #8595a6;\n"
                                          "background-color: transparent;\npadding: 10px;"));
    QCOMPARE(label->font().family(), QString("Arial"));
    QCOMPARE(label->font().pointSize(), 12);
    QCOMPARE(label->font().weight(), 75);
    QCOMPARE(label->alignment(), Qt::AlignCenter);
    QVERIFY(label->wordWrap());

    // Save comes before Cancel in the meta-object, both connected by name.
    const QMetaObject *mo = dialog.metaObject();
    const int save = mo->indexOfSlot("on_btnSave_clicked()");
    const int exit = mo->indexOfSlot("on_btnExit_clicked()");
    QVERIFY(save >= mo->methodOffset());
    QCOMPARE(exit, save + 1);

    // Asked for: customised title, close button, stays-on-top. Replacing
    // QDialog's flags drops its Qt::Dialog type; Qt makes a parentless widget
    // a Qt::Window by itself, and the dialog names that type so a parented
    // one stays a window too. Qt then adds the title and system-menu hints a
    // close button needs (on every platform); no minimise, maximise or help
    // button and no frameless hint may appear.
    const Qt::WindowFlags expected = Qt::Window | Qt::CustomizeWindowHint
            | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint
            | Qt::WindowTitleHint | Qt::WindowSystemMenuHint;
    QCOMPARE(dialog.windowFlags(), expected);
    QCOMPARE(dialog.windowType(), Qt::Window);

    QWidget parent;
    ErrorHandleDialog child(&parent);
    QVERIFY(child.isWindow());
    QCOMPARE(child.windowFlags(), expected);

    QVERIFY(dialog.autoRestart());
    dialog.setAutoRestart(false);
    QVERIFY(!dialog.autoRestart());
}

void TestErrorHandleDialog::dpiScaling()
{
    TestDialog dialog;
    auto *label = dialog.findChild<QLabel *>("label");
    auto *save = button(&dialog, "btnSave");
    auto *exit = button(&dialog, "btnExit");

    // 150 %: every product is truncated (34.5 → 34, 220.5 → 220, 202.5 → 202).
    dialog.scaleForDpi(144);
    QCOMPARE(dialog.size(), QSize(675, 330));
    QCOMPARE(label->geometry(), QRect(45, 34, 555, 165));
    QCOMPARE(exit->geometry(), QRect(129, 220, 202, 51));
    QCOMPARE(save->geometry(), QRect(343, 220, 202, 51));

    // 125 %, and scaling again starts from the form sizes, not the last result.
    dialog.scaleForDpi(120);
    QCOMPARE(dialog.size(), QSize(562, 275));
    QCOMPARE(save->geometry(), QRect(286, 183, 168, 42));
    dialog.scaleForDpi(96);
    QCOMPARE(dialog.size(), QSize(450, 220));
    QCOMPARE(label->geometry(), QRect(30, 23, 370, 110));
    QCOMPARE(exit->geometry(), QRect(86, 147, 135, 34));
    QCOMPARE(save->geometry(), QRect(229, 147, 135, 34));
}

// Construction takes the screen's DPI. The suite's DPI variants (offscreen
// with QT_FONT_DPI=144, and Xvfb -dpi 144) set PATHMERE_EXPECT_DPI.
void TestErrorHandleDialog::screenDpi()
{
    const int dpi = QApplication::desktop()->logicalDpiX();
    if (!qEnvironmentVariableIsEmpty("PATHMERE_EXPECT_DPI"))
        QCOMPARE(dpi, qEnvironmentVariableIntValue("PATHMERE_EXPECT_DPI"));

    TestDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.size(), QSize(450 * dpi / 96, 220 * dpi / 96));
    QCOMPARE(button(&dialog, "btnSave")->geometry(),
             QRect(229 * dpi / 96, 147 * dpi / 96, 135 * dpi / 96, 34 * dpi / 96));
    if (dpi == 144) {
        QCOMPARE(dialog.size(), QSize(675, 330));
        QCOMPARE(dialog.findChild<QLabel *>("label")->geometry(), QRect(45, 34, 555, 165));
        QCOMPARE(button(&dialog, "btnExit")->geometry(), QRect(129, 220, 202, 51));
    }
}

void TestErrorHandleDialog::zipFolderMap()
{
    TestDialog dialog;
    QVERIFY(dialog.zipFolders().isEmpty());
    dialog.addFolderToZip("Log", "/first");
    dialog.addFolderToZip("b", "/b");
    dialog.addFolderToZip("A", "/A");
    dialog.addFolderToZip("a", "/a");
    dialog.addFolderToZip("Log", "/second");
    const auto folders = dialog.zipFolders();
    QCOMPARE(folders.keys(), QStringList({ "A", "Log", "a", "b" }));
    QCOMPARE(folders.value("Log"), QString("/second"));
}

void TestErrorHandleDialog::zipFlattensLogTree()
{
    QTemporaryDir work;
    const QString log = work.path() + "/Tolvik/Log";
    QVERIFY(writeFile(log + "/TolvikPathmere-240105-001.log", "first line\r\n"));
    QVERIFY(writeFile(log + "/crash", QByteArray()));
    QVERIFY(writeFile(log + "/old/same.txt", "one"));
    QVERIFY(writeFile(log + "/old/deeper/same.txt", "second"));
    QVERIFY(writeFile(log + "/old/deeper/trace.bin", QByteArray(70000, '\x5a')));
    QVERIFY(writeFile(log + "/SlatewingQT.exe", "program"));
    QVERIFY(writeFile(log + "/SlatewingQT.exe.d/inside.txt", "in a program folder"));
    QVERIFY(writeFile(log + "/slatewingqt.exe", "other case"));
    QVERIFY(QDir().mkpath(log + "/empty/sub"));
    const QString extra = work.path() + "/Config";
    QVERIFY(writeFile(extra + "/setting.ini", "[a]\nb=1\n"));

    TestDialog dialog;
    dialog.addFolderToZip("Log", log);
    dialog.addFolderToZip("Config", extra);
    // Saved into the log folder itself: the zip must not contain itself.
    dialog.answer = log + "/crashlog.zip";
    dialog.show();
    button(&dialog, "btnSave")->click();
    QCOMPARE(dialog.asked, 1);
    QVERIFY(!dialog.isVisible());

    QZipReader reader(dialog.answer);
    QCOMPARE(reader.status(), QZipReader::NoError);
    const auto infos = reader.fileInfoList();
    QStringList names;
    QList<qint64> sameSizes;
    for (const auto &info : infos) {
        names << info.filePath;
        QVERIFY(info.isFile);
        if (info.filePath == QLatin1String("Log/same.txt"))
            sameSizes << info.size;
    }
    // Key order: "Config" entries precede "Log" entries.
    QVERIFY(names.first().startsWith("Config/"));
    QVERIFY(names.last().startsWith("Log/"));

    QStringList sorted = names;
    sorted.sort();
    QCOMPARE(sorted, QStringList({ "Config/setting.ini", "Log/TolvikPathmere-240105-001.log",
                                   "Log/crash", "Log/same.txt", "Log/same.txt",
                                   "Log/slatewingqt.exe", "Log/trace.bin" }));
    // Both same-named files are in the zip, each with its own content.
    std::sort(sameSizes.begin(), sameSizes.end());
    QCOMPARE(sameSizes, QList<qint64>({ 3, 6 }));
    QCOMPARE(reader.fileData("Log/TolvikPathmere-240105-001.log"), QByteArray("first line\r\n"));
    QCOMPARE(reader.fileData("Log/trace.bin"), QByteArray(70000, '\x5a'));
    QCOMPARE(reader.fileData("Log/crash"), QByteArray());
    QCOMPARE(reader.fileData("Config/setting.ini"), QByteArray("[a]\nb=1\n"));
}

void TestErrorHandleDialog::zipFolderEdgeCases()
{
    QTemporaryDir work;
    const QString emptyLog = work.path() + "/Log";
    QVERIFY(QDir().mkpath(emptyLog + "/sub"));

    {
        TestDialog dialog;
        dialog.addFolderToZip("Log", emptyLog);
        dialog.addFolderToZip("Missing", work.path() + "/does-not-exist");
        dialog.answer = work.path() + "/empty.zip";
        button(&dialog, "btnSave")->click();

        // A valid archive with no entries, not a zero-byte file.
        QVERIFY(isEmptyZip(dialog.answer));
    }
    {
        // An empty folder path must not pack the working directory.
        QVERIFY(writeFile(work.path() + "/cwd/stray.txt", "x"));
        const QString oldCwd = QDir::currentPath();
        QDir::setCurrent(work.path() + "/cwd");
        const auto back = qScopeGuard([&] { QDir::setCurrent(oldCwd); });
        TestDialog dialog;
        dialog.addFolderToZip("Log", QString());
        dialog.answer = work.path() + "/nopath.zip";
        button(&dialog, "btnSave")->click();
        QVERIFY(isEmptyZip(dialog.answer));
    }
    {
        // An existing zip is replaced, not appended to.
        QVERIFY(writeFile(emptyLog + "/a.log", "a"));
        TestDialog dialog;
        dialog.addFolderToZip("Log", emptyLog);
        dialog.answer = work.path() + "/empty.zip";
        button(&dialog, "btnSave")->click();
        QCOMPARE(entryNames(dialog.answer), QStringList({ "Log/a.log" }));
    }
}

void TestErrorHandleDialog::saveCancelledOrImpossible()
{
    QTemporaryDir work;
    const QString log = work.path() + "/Log";
    QVERIFY(writeFile(log + "/a.log", "a"));
    const QStringList before = treeOf(work.path());

    TestDialog dialog;
    dialog.addFolderToZip("Log", log);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    // Cancelled (null) or empty answers: nothing written, dialog stays up.
    for (const QString &answer : { QString(), QString("") }) {
        dialog.answer = answer;
        button(&dialog, "btnSave")->click();
        QVERIFY(dialog.isVisible());
    }
    QCOMPARE(dialog.asked, 2);
    QCOMPARE(treeOf(work.path()), before);

    // A target that cannot be created closes the dialog without writing.
    for (const QString &answer : { work.path() + "/no/such/folder/crash.zip", log }) {
        dialog.show();
        dialog.answer = answer;
        button(&dialog, "btnSave")->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(treeOf(work.path()), before);
    }

    // Cancel closes without asking for a file.
    dialog.show();
    button(&dialog, "btnExit")->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.asked, 4);
    QCOMPARE(treeOf(work.path()), before);
}

void TestErrorHandleDialog::saveFromModalLoopAndAgain()
{
    QTemporaryDir work;
    const QString log = work.path() + "/Log";
    QVERIFY(writeFile(log + "/a.log", "a"));

    TestDialog dialog;
    dialog.addFolderToZip("Log", log);
    dialog.answer = work.path() + "/first.zip";
    // The crash path runs the dialog in its own modal loop; Save ends it.
    QTimer::singleShot(0, button(&dialog, "btnSave"), &QPushButton::click);
    dialog.exec();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(entryNames(work.path() + "/first.zip"), QStringList({ "Log/a.log" }));

    // Shown again later it saves again.
    QVERIFY(writeFile(log + "/b.log", "b"));
    dialog.answer = work.path() + "/second.zip";
    QTimer::singleShot(0, button(&dialog, "btnSave"), &QPushButton::click);
    dialog.exec();
    QStringList names = entryNames(work.path() + "/second.zip");
    names.sort();
    QCOMPARE(names, QStringList({ "Log/a.log", "Log/b.log" }));
}

QTEST_MAIN(TestErrorHandleDialog)
#include "tst_errorhandledialog.moc"
