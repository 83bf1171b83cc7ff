#include "testppd.h"

#include <ppdsettings.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using CUPS::PpdSettings;

/// The driver settings tab on local PPD files: its rows and the default lines it rewrites for the upload.
class PpdSettingsTest : public QObject
{
    Q_OBJECT

    const QString m_systemTemp = QDir::tempPath(); // before TMPDIR points into a test's directory
    std::unique_ptr<QTemporaryDir> m_dir;

    static QComboBox *editorOf(PpdSettings &settings, const char *optionText)
    {
        QTreeWidgetItem *row = settings.findItems(QLatin1String(optionText), Qt::MatchExactly).value(0);
        return row ? qobject_cast<QComboBox *>(settings.itemWidget(row, 1)) : nullptr;
    }
    // The upload copies, which cupsTempFile2() writes into TMPDIR.
    QStringList uploads() const
    {
        return QDir(m_dir->filePath(QStringLiteral("tmp"))).entryList(QDir::Files);
    }

private Q_SLOTS:
    void init()
    {
        m_dir.reset(new QTemporaryDir(m_systemTemp + QStringLiteral("/ppd-XXXXXX")));
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("tmp")));
        qputenv("TMPDIR", m_dir->filePath(QStringLiteral("tmp")).toLocal8Bit());
    }

    void unchangedDefaultsOrACustomSizeUploadNothing()
    {
        TestPpd ppd;
        ppd.customSize = true;
        ppd.finishings = true;
        const QString file = m_dir->filePath(QStringLiteral("printer.ppd"));
        PpdSettings settings;
        QVERIFY(ppd.write(file) && settings.load(file));
        // PageRegion has no row of its own; a multiple choice shows its marks as text, without an editor.
        QCOMPARE(settings.topLevelItemCount(), 4);
        QCOMPARE(editorOf(settings, "Accessories"), nullptr);
        QComboBox *pageSize = editorOf(settings, "Media Size");
        pageSize->setCurrentIndex(pageSize->findData(QStringLiteral("Custom")));
        QCOMPARE(pageSize->currentData().toString(), QStringLiteral("Custom"));
        QCOMPARE(settings.save(), QString()); // nothing but the custom size differs
        QCOMPARE(uploads(), QStringList());
    }

    void changedDefaultsRewriteOnlyTheirLines_data()
    {
        QTest::addColumn<QByteArray>("extra"); // lines the PPD carries besides TestPpd's
        const char line[] = "*InputSlot Manual/Manual: \"<</ManualFeed\xa9\x11\x0f\x00@`\x00\x00"
                            "etpagedevice\"\n";
        QTest::newRow("a NUL byte in a line") << QByteArray(line, sizeof(line) - 1);
    }

    // Only the changed defaults' lines differ in the upload copy; the page size rewrites its whole family.
    void changedDefaultsRewriteOnlyTheirLines()
    {
        QFETCH(QByteArray, extra);
        TestPpd ppd;
        ppd.sizeCount = 5;
        QFile file(m_dir->filePath(QStringLiteral("printer.ppd")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(ppd.text() + extra) > 0 && file.flush());
        PpdSettings settings;
        QVERIFY(settings.load(file.fileName()));
        QComboBox *pageSize = editorOf(settings, "Media Size");
        pageSize->setCurrentIndex(pageSize->findData(QStringLiteral("A4")));
        QComboBox *toner = editorOf(settings, "Toner saving");
        toner->setCurrentIndex(toner->findData(QStringLiteral("True")));
        const QString upload = settings.save();
        QCOMPARE(uploads(), QStringList(QFileInfo(upload).fileName()));
        QByteArray expected = ppd.text() + extra;
        expected.replace("*DefaultToner: False", "*DefaultToner: True");
        for (const QByteArray keyword : {"PageSize", "PageRegion", "PaperDimension", "ImageableArea"}) {
            expected.replace("*Default" + keyword + ": A0", "*Default" + keyword + ": A4");
        }
        QFile after(upload);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), expected);
    }
};

QTEST_MAIN(PpdSettingsTest)

#include "ppdsettingstest.moc"
