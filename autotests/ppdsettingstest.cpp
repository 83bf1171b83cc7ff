#include "testppd.h"

#include <ppdsettings.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using CUPS::PpdSettings;

/// The driver settings tab on local PPD files: its rows and the default lines it rewrites into the upload copy.
class PpdSettingsTest : public QObject
{
    Q_OBJECT

private:
    QString m_systemTemp = QDir::tempPath();
    std::unique_ptr<QTemporaryDir> m_ppdDir;
    std::unique_ptr<QTemporaryDir> m_tempDir;

    QString copyOf(const TestPpd &ppd)
    {
        static int serial = 0;
        const QString path = m_ppdDir->filePath(QStringLiteral("printer%1.ppd").arg(++serial));
        return ppd.write(path) ? path : QString();
    }
    static QComboBox *editorOf(PpdSettings &settings, const QString &optionText)
    {
        const QList<QTreeWidgetItem *> rows = settings.findItems(optionText, Qt::MatchExactly, 0);
        return rows.size() == 1 ? qobject_cast<QComboBox *>(settings.itemWidget(rows.first(), 1)) : nullptr;
    }
    QStringList temporaryFiles() const
    {
        return QDir(m_tempDir->path()).entryList(QDir::Files);
    }

private Q_SLOTS:
    void init()
    {
        m_ppdDir.reset(new QTemporaryDir(m_systemTemp + QStringLiteral("/ppd-XXXXXX")));
        m_tempDir.reset(new QTemporaryDir(m_systemTemp + QStringLiteral("/upload-XXXXXX")));
        QVERIFY(m_ppdDir->isValid() && m_tempDir->isValid());
        // cupsTempFile2() writes into TMPDIR: here every upload file can be seen and counted.
        qputenv("TMPDIR", m_tempDir->path().toLocal8Bit());
    }

    void rowsFollowTheOptionsWithoutPageRegion()
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
        QCOMPARE(editorOf(settings, QStringLiteral("Toner saving"))->currentText(), QStringLiteral("Off"));
        QCOMPARE(editorOf(settings, QStringLiteral("Accessories")), nullptr);
        QCOMPARE(settings.findItems(QStringLiteral("Accessories"), Qt::MatchExactly).first()->text(1), QStringLiteral("Second tray"));
    }

    void unchangedDefaultsOrACustomSizeUploadNothing_data()
    {
        QTest::addColumn<QString>("pageSize");
        QTest::newRow("unchanged") << QString();
        QTest::newRow("custom size") << QStringLiteral("Custom");
    }

    void unchangedDefaultsOrACustomSizeUploadNothing()
    {
        QFETCH(QString, pageSize);
        TestPpd ppd;
        ppd.customSize = true;
        PpdSettings settings;
        QVERIFY(settings.load(copyOf(ppd)));
        if (!pageSize.isEmpty()) {
            QComboBox *editor = editorOf(settings, QStringLiteral("Media Size"));
            QVERIFY(editor && editor->findData(pageSize) >= 0);
            editor->setCurrentIndex(editor->findData(pageSize));
        }
        QCOMPARE(settings.save(), QString());
        QCOMPARE(temporaryFiles(), QStringList());
    }

    void changedDefaultsRewriteOnlyTheirLines_data()
    {
        QTest::addColumn<QByteArray>("extra"); // lines the PPD carries besides TestPpd's
        QTest::newRow("plain") << QByteArray();
        QTest::newRow("a NUL byte in a line") << QByteArray("*InputSlot Manual/Manual Feed: \"<</ManualFeed\xa9\x11\x0f\x00@`\x00\x00" "etpagedevice\"\n", 67);
    }
    // Only the changed defaults' lines differ in the upload copy; the page size rewrites its whole family.
    void changedDefaultsRewriteOnlyTheirLines()
    {
        QFETCH(QByteArray, extra);
        TestPpd ppd;
        ppd.sizeCount = 5;
        const QString original = copyOf(ppd);
        QFile appended(original);
        QVERIFY(appended.open(QIODevice::Append) && appended.write(extra) == extra.size());
        appended.close();
        PpdSettings settings;
        QVERIFY(settings.load(original));
        QComboBox *pageSize = editorOf(settings, QStringLiteral("Media Size"));
        QComboBox *toner = editorOf(settings, QStringLiteral("Toner saving"));
        QVERIFY(pageSize && toner);
        pageSize->setCurrentIndex(pageSize->findData(QStringLiteral("A4")));
        toner->setCurrentIndex(toner->findData(QStringLiteral("True")));
        QCOMPARE(settings.findItems(QStringLiteral("Toner saving"), Qt::MatchExactly).first()->text(1), QStringLiteral("On"));
        const QString upload = settings.save();
        QCOMPARE(temporaryFiles(), QStringList(QFileInfo(upload).fileName()));
        QFile before(original);
        QFile after(upload);
        QVERIFY(before.open(QIODevice::ReadOnly) && after.open(QIODevice::ReadOnly));
        QByteArray expected = before.readAll().replace("*DefaultToner: False", "*DefaultToner: True");
        for (const char *keyword : {"PageSize", "PageRegion", "PaperDimension", "ImageableArea"}) {
            expected.replace("*Default" + QByteArray(keyword) + ": A0", "*Default" + QByteArray(keyword) + ": A4");
        }
        QCOMPARE(after.readAll(), expected);
        QFile::remove(upload);
    }

    void loadedCopiesAreDeletedAndANonPpdLeavesTheTabEmpty()
    {
        const QString first = copyOf(TestPpd());
        const QString second = copyOf(TestPpd());
        const QString broken = m_ppdDir->filePath(QStringLiteral("broken.ppd"));
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a PPD at all\n") > 0);
        file.close();
        {
            PpdSettings settings;
            QVERIFY(settings.load(first));
            // A second file replaces the first, whose rows and copy go.
            QVERIFY(settings.load(second));
            QVERIFY(!QFile::exists(first));
            QCOMPARE(settings.topLevelItemCount(), 3);
        }
        QVERIFY(!QFile::exists(second));

        PpdSettings settings;
        QVERIFY(!settings.load(broken));
        QVERIFY(!QFile::exists(broken));
        QCOMPARE(settings.topLevelItemCount(), 0);
        QCOMPARE(settings.save(), QString());
    }
};

QTEST_MAIN(PpdSettingsTest)

#include "ppdsettingstest.moc"
