#include "errorhandledialog.h"
#include "ui_errorhandledialog.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopWidget>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <QtGui/private/qzipwriter_p.h>

namespace {

// The .ui geometry at 96 DPI; scaleForDpi() derives every other size
// from these, so scaling twice never compounds.
const QSize formSize(450, 220);
const QRect formLabel(30, 23, 370, 110);
const QRect formBtnExit(86, 147, 135, 34);
const QRect formBtnSave(229, 147, 135, 34);

// A file of the installed program can end up in a registered folder; it is
// large and says nothing about the crash.
const QString programFileMarker = QStringLiteral("SlatewingQT.exe");

} // namespace

ErrorHandleDialog::ErrorHandleDialog(QWidget *parent)
    : QDialog(parent), ui(new Ui::ErrorHandleDialog)
{
    ui->setupUi(this);

    // Replacing the flags drops the Qt::Dialog type QDialog starts with. A
    // parentless widget is turned into a Qt::Window by Qt anyway; naming
    // Qt::Window here keeps a parented instance a window too instead of
    // letting it sink into its parent as a child widget.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint
                   | Qt::WindowStaysOnTopHint);

    loadTranslation();
    ui->retranslateUi(this);

    scaleForDpi(QApplication::desktop()->logicalDpiX());
}

ErrorHandleDialog::~ErrorHandleDialog()
{
    delete writer;
}

bool ErrorHandleDialog::autoRestart() const
{
    return m_autoRestart;
}

void ErrorHandleDialog::setAutoRestart(bool autoRestart)
{
    m_autoRestart = autoRestart;
}

void ErrorHandleDialog::addFolderToZip(const QString &zipFolderName, const QString &folderPath)
{
    m_zipFolders.insert(zipFolderName, folderPath);
}

QMap<QString, QString> ErrorHandleDialog::zipFolders() const
{
    return m_zipFolders;
}

QString ErrorHandleDialog::translationFile() const
{
    return translator.filePath();
}

QString ErrorHandleDialog::translationFileName(const QString &languageCode)
{
    static const QStringList knownCodes = {
        QStringLiteral("fr_FR"), QStringLiteral("fi_FI"), QStringLiteral("de_DE"),
        QStringLiteral("it_IT"), QStringLiteral("in_ID"), QStringLiteral("ja_JP"),
        QStringLiteral("ru_ru"), QStringLiteral("es_ES"), QStringLiteral("zh_CN"),
        QStringLiteral("zh_TW"),
    };
    const QString code = knownCodes.contains(languageCode, Qt::CaseSensitive)
            ? languageCode
            : QStringLiteral("en_US");
    return QStringLiteral("Corvane_") + code + QStringLiteral(".qm");
}

QString ErrorHandleDialog::askSaveFileName()
{
    return QFileDialog::getSaveFileName(
            this, tr("Save Crash Log To"),
            QStandardPaths::writableLocation(QStandardPaths::DesktopLocation),
            tr("Zip File (*.zip)"));
}

void ErrorHandleDialog::scaleForDpi(int logicalDpi)
{
    // Integer arithmetic truncates exactly where a floating factor could land
    // a hair below a whole pixel.
    const auto scaled = [logicalDpi](int v) { return v * logicalDpi / 96; };
    const auto scaledRect = [&scaled](const QRect &r) {
        return QRect(scaled(r.x()), scaled(r.y()), scaled(r.width()), scaled(r.height()));
    };
    resize(scaled(formSize.width()), scaled(formSize.height()));
    ui->label->setGeometry(scaledRect(formLabel));
    ui->btnExit->setGeometry(scaledRect(formBtnExit));
    ui->btnSave->setGeometry(scaledRect(formBtnSave));
}

void ErrorHandleDialog::loadTranslation()
{
    const QString iniPath =
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
            + QStringLiteral("/Slatewing/Slatewing.ini");
    const QSettings settings(iniPath, QSettings::IniFormat);
    const QString code = settings.value(QStringLiteral("Account/Language"), QString()).toString();

    const QString qmPath = QCoreApplication::applicationDirPath() + QStringLiteral("/Languages/")
            + translationFileName(code);
    // Without a readable file the form keeps its English source texts.
    if (translator.load(qmPath))
        QCoreApplication::installTranslator(&translator);
}

void ErrorHandleDialog::on_btnSave_clicked()
{
    const QString fileName = askSaveFileName();
    if (fileName.isEmpty())
        return;

    QFile target(fileName);
    if (!target.open(QIODevice::ReadWrite)) {
        close();
        return;
    }
    // The user may pick a place inside a zipped folder; the half-written zip
    // must not be packed into itself.
    const QString targetPath = QFileInfo(fileName).canonicalFilePath();

    writer = new QZipWriter(fileName);
    for (auto it = m_zipFolders.cbegin(); it != m_zipFolders.cend(); ++it)
        addFolderFiles(it.key(), it.value(), targetPath);

    target.close();
    writer->close();
    delete writer;
    writer = nullptr;
    close();
}

void ErrorHandleDialog::on_btnExit_clicked()
{
    close();
}

void ErrorHandleDialog::addFolderFiles(const QString &zipFolderName, const QString &folderPath,
                                       const QString &skipPath)
{
    // An empty path would make the walk start in the working directory.
    if (folderPath.isEmpty())
        return;

    QDirIterator it(folderPath, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        if (path.contains(programFileMarker, Qt::CaseSensitive))
            continue;
        if (!skipPath.isEmpty() && QFileInfo(path).canonicalFilePath() == skipPath)
            continue;
        writer->addFile(zipFolderName + QLatin1Char('/') + it.fileName(), file.readAll());
    }
}
