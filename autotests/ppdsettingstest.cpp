#include "testppd.h"

#include <ppdsettings.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using CUPS::PpdSettings;

/**
 * The driver settings tab on local PPD files: the rows it shows and the
 * default lines it rewrites into the copy the dialog uploads.
 */
class PpdSettingsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void rowsFollowTheOptionsWithoutPageRegion();
    void unchangedDefaultsUploadNothing();
    void pageSizeRewritesItsWholeFamily();
    void otherOptionsRewriteOnlyTheirLine();
    void customSizeIsNeverWritten();
    void fileThatIsNoPpdIsDeletedAndLeavesTheTabEmpty();
    void destructionDeletesTheLoadedCopy();

private:
    QString copyOf(const TestPpd &ppd);
    static QComboBox *editorOf(PpdSettings &settings, const QString &optionText);
    static QString defaultLine(const QString &file, const QString &keyword);
    QStringList temporaryFiles() const;

    QString m_systemTemp;
    std::unique_ptr<QTemporaryDir> m_ppdDir;
    std::unique_ptr<QTemporaryDir> m_tempDir;
};

void PpdSettingsTest::initTestCase()
{
    m_systemTemp = QDir::tempPath();
}

void PpdSettingsTest::init()
{
    m_ppdDir.reset(new QTemporaryDir(m_systemTemp + QStringLiteral("/ppd-XXXXXX")));
    m_tempDir.reset(new QTemporaryDir(m_systemTemp + QStringLiteral("/upload-XXXXXX")));
    QVERIFY(m_ppdDir->isValid() && m_tempDir->isValid());
    // cupsTempFile2() writes into TMPDIR: here every upload file can be seen and counted.
    qputenv("TMPDIR", m_tempDir->path().toLocal8Bit());
}

QString PpdSettingsTest::copyOf(const TestPpd &ppd)
{
    static int serial = 0;
    const QString path = m_ppdDir->filePath(QStringLiteral("printer%1.ppd").arg(++serial));
    return ppd.write(path) ? path : QString();
}

QComboBox *PpdSettingsTest::editorOf(PpdSettings &settings, const QString &optionText)
{
    const QList<QTreeWidgetItem *> rows = settings.findItems(optionText, Qt::MatchExactly, 0);
    return rows.size() == 1 ? qobject_cast<QComboBox *>(settings.itemWidget(rows.first(), 1)) : nullptr;
}

QString PpdSettingsTest::defaultLine(const QString &file, const QString &keyword)
{
    QFile ppd(file);
    if (!ppd.open(QIODevice::ReadOnly)) {
        return QString();
    }
    const QRegularExpression line(QStringLiteral("^\\*Default%1: *(.*)$").arg(keyword), QRegularExpression::MultilineOption);
    return line.match(QString::fromLatin1(ppd.readAll())).captured(1);
}

QStringList PpdSettingsTest::temporaryFiles() const
{
    return QDir(m_tempDir->path()).entryList(QDir::Files);
}

void PpdSettingsTest::rowsFollowTheOptionsWithoutPageRegion()
{
    TestPpd ppd;
    ppd.finishings = true;
    PpdSettings settings;
    QVERIFY(settings.load(copyOf(ppd)));

    QStringList options;
    for (int i = 0; i < settings.topLevelItemCount(); ++i) {
        options << settings.topLevelItem(i)->text(0);
    }
    QCOMPARE(options, QStringList({QStringLiteral("Media Size"), QStringLiteral("Accessories"), QStringLiteral("Toner saving"), QStringLiteral("Staple")}));

    // Single-choice and boolean options get a combo on the marked default; a multiple choice shows its marks as text only.
    QComboBox *pageSize = editorOf(settings, QStringLiteral("Media Size"));
    QVERIFY(pageSize);
    QCOMPARE(pageSize->count(), 3);
    QCOMPARE(pageSize->currentData().toString(), QStringLiteral("A0"));
    QComboBox *toner = editorOf(settings, QStringLiteral("Toner saving"));
    QVERIFY(toner);
    QCOMPARE(toner->currentText(), QStringLiteral("Off"));
    QCOMPARE(editorOf(settings, QStringLiteral("Accessories")), nullptr);
    QCOMPARE(settings.findItems(QStringLiteral("Accessories"), Qt::MatchExactly).first()->text(1), QStringLiteral("Second tray"));
}

void PpdSettingsTest::unchangedDefaultsUploadNothing()
{
    PpdSettings settings;
    QVERIFY(settings.load(copyOf(TestPpd())));
    QCOMPARE(settings.save(), QString());
    QCOMPARE(temporaryFiles(), QStringList());
}

void PpdSettingsTest::pageSizeRewritesItsWholeFamily()
{
    TestPpd ppd;
    ppd.sizeCount = 5;
    PpdSettings settings;
    QVERIFY(settings.load(copyOf(ppd)));
    QComboBox *pageSize = editorOf(settings, QStringLiteral("Media Size"));
    QVERIFY(pageSize);
    pageSize->setCurrentIndex(pageSize->findData(QStringLiteral("A4")));

    const QString upload = settings.save();
    QVERIFY(!upload.isEmpty());
    QCOMPARE(temporaryFiles(), QStringList(QFileInfo(upload).fileName()));
    for (const QString &keyword : {QStringLiteral("PageSize"), QStringLiteral("PageRegion"), QStringLiteral("PaperDimension"), QStringLiteral("ImageableArea")}) {
        QVERIFY2(defaultLine(upload, keyword) == QLatin1String("A4"), qPrintable(keyword));
    }
    QCOMPARE(defaultLine(upload, QStringLiteral("Toner")), QStringLiteral("False"));
    QCOMPARE(defaultLine(upload, QStringLiteral("Font")), QStringLiteral("Courier"));
    QFile::remove(upload);
}

void PpdSettingsTest::otherOptionsRewriteOnlyTheirLine()
{
    PpdSettings settings;
    const QString original = copyOf(TestPpd());
    QVERIFY(settings.load(original));
    QComboBox *toner = editorOf(settings, QStringLiteral("Toner saving"));
    QVERIFY(toner);
    toner->setCurrentIndex(toner->findData(QStringLiteral("True")));
    QCOMPARE(settings.findItems(QStringLiteral("Toner saving"), Qt::MatchExactly).first()->text(1), QStringLiteral("On"));

    const QString upload = settings.save();
    QVERIFY(!upload.isEmpty());
    QFile before(original);
    QFile after(upload);
    QVERIFY(before.open(QIODevice::ReadOnly) && after.open(QIODevice::ReadOnly));
    QByteArray expected = before.readAll();
    expected.replace("*DefaultToner: False", "*DefaultToner: True");
    QCOMPARE(after.readAll(), expected);
    QFile::remove(upload);
}

void PpdSettingsTest::customSizeIsNeverWritten()
{
    TestPpd ppd;
    ppd.customSize = true;
    PpdSettings settings;
    QVERIFY(settings.load(copyOf(ppd)));
    QComboBox *pageSize = editorOf(settings, QStringLiteral("Media Size"));
    QVERIFY(pageSize);
    const int custom = pageSize->findData(QStringLiteral("Custom"));
    QVERIFY(custom >= 0);
    pageSize->setCurrentIndex(custom);

    QCOMPARE(settings.save(), QString());
    QCOMPARE(temporaryFiles(), QStringList());
}

void PpdSettingsTest::fileThatIsNoPpdIsDeletedAndLeavesTheTabEmpty()
{
    const QString file = m_ppdDir->filePath(QStringLiteral("broken.ppd"));
    QFile broken(file);
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("not a PPD at all\n");
    broken.close();

    PpdSettings settings;
    QVERIFY(!settings.load(file));
    QVERIFY(!QFile::exists(file));
    QCOMPARE(settings.topLevelItemCount(), 0);
    QCOMPARE(settings.save(), QString());
}

void PpdSettingsTest::destructionDeletesTheLoadedCopy()
{
    const QString first = copyOf(TestPpd());
    const QString second = copyOf(TestPpd());
    {
        PpdSettings settings;
        QVERIFY(settings.load(first));
        // A second file replaces the first, whose rows and copy go.
        QVERIFY(settings.load(second));
        QVERIFY(!QFile::exists(first));
        QCOMPARE(settings.topLevelItemCount(), 3);
    }
    QVERIFY(!QFile::exists(second));
}

QTEST_MAIN(PpdSettingsTest)

#include "ppdsettingstest.moc"
