#include <ipprequest.h>

#include <QDateTime>
#include <QTemporaryFile>
#include <QTest>

#include <unistd.h>

#include <cups/cups.h>

using namespace CUPS;

namespace
{
QVariant list(const QVariant &value)
{
    return QVariantList{value};
}
} // namespace

// Messages built by hand: every IPP value type is covered, whether or not the scheduler sends it.
class IppTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "UTC"); // dates are shown in local time
        ipp_t *ipp = ippNew();
        m_values = IppBase(ipp);
        const ipp_tag_t printer = IPP_TAG_PRINTER;
        const char *reasons[] = {"paused", "media-jam-error"};
        ippAddInteger(ipp, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", 3);
        ippAddBoolean(ipp, printer, "printer-is-shared", 1);
        ippAddRange(ipp, printer, "copies-supported", 1, 9999);
        ippAddResolution(ipp, printer, "printer-resolution-default", IPP_RES_PER_INCH, 600, 600);
        ippAddResolution(ipp, printer, "uneven-resolution", IPP_RES_PER_INCH, 300, 600);
        ippAddDate(ipp, IPP_TAG_JOB, "date-time-at-creation", ippTimeToDate(1700000000));
        ippAddString(ipp, printer, IPP_TAG_TEXT, "printer-location", nullptr, "Raum Ø 2.17 – 東京");
        ippAddStrings(ipp, printer, IPP_TAG_KEYWORD, "printer-state-reasons", 2, nullptr, reasons);
        ippAddString(ipp, IPP_TAG_JOB, IPP_TAG_KEYWORD, "job-state-reasons", nullptr, "none");
        ippAddOctetString(ipp, printer, "printer-alert", "\x01\x00" "code", 6);
        ipp_t *tray = ippNew();
        ippAddString(tray, IPP_TAG_ZERO, IPP_TAG_KEYWORD, "media-source", nullptr, "tray-1");
        ippAddCollection(ipp, printer, "media-col-ready", tray);
        ippDelete(tray);
        // Status 0x7269, unknown to libcups, and a resolution in units (0x10) neither dpi nor dpcm.
        const QByteArray bytes = QByteArray::fromHex("02007269000000010432001c")
            + "printer-resolution-supported" + QByteArray::fromHex("0009210000000400000010") + '\x03';
        QTemporaryFile file; // read as libcups reads a server's answer
        QVERIFY(file.open() && file.write(bytes) == bytes.size() && file.flush());
        ::lseek(file.handle(), 0, SEEK_SET);
        ipp_t *answer = ippNew();
        ippReadFile(file.handle(), answer);
        m_received = IppResponse(answer);
    }

    void valuesConvertToTextAndQtTypes_data()
    {
        QTest::addColumn<int>("index"); // rows are named after the attribute they read
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("text"); // the value's own unless given
        const auto row = [](const char *name, int index, const QVariant &value, const QString &text = {}) {
            QTest::newRow(name) << index << value << (text.isNull() ? value.toString() : text);
        };
        row("copies", 0, 3);
        row("copies-supported", 0, QStringLiteral("1-9999"));
        row("printer-is-shared", 0, true);
        row("printer-resolution-default", 0, QStringLiteral("600dpi"));
        row("uneven-resolution", 0, QStringLiteral("300x600dpi"));
        row("printer-resolution-supported", 0, QStringLiteral("553648128x67108864"));
        row("printer-location", 0, QString::fromUtf8("Raum Ø 2.17 – 東京"));
        row("printer-state-reasons", 1, QStringLiteral("media-jam-error"));
        row("job-state-reasons", 1, QVariant()); // past the last value
        row("date-time-at-creation", 0, QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC),
            QStringLiteral("2023-11-14T22:13:20"));
        row("printer-alert", 0, QByteArray("\x01\x00" "code", 6), QStringLiteral("\\001\\000code"));
        const QVariantHash tray{{QStringLiteral("media-source"), list(QStringLiteral("tray-1"))}};
        row("media-col-ready", 0, tray, QStringLiteral("{media-source=tray-1}"));
    }

    void valuesConvertToTextAndQtTypes()
    {
        QFETCH(int, index);
        const char *name = QTest::currentDataTag();
        ipp_attribute_t *attribute = ippFindAttribute(m_values.handle(), name, IPP_TAG_ZERO);
        if (!attribute) {
            attribute = ippFindAttribute(m_received.handle(), name, IPP_TAG_ZERO);
        }
        QVERIFY(attribute);
        QTEST(IppValue(attribute, index).toString(), "text");
        QTEST(IppValue(attribute, index).toVariant(), "value");
    }

    void groupsSplitAtSeparatorsAndGroupChanges()
    {
        ipp_t *ipp = ippNew();
        const IppBase message(ipp);
        ippAddString(ipp, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name", nullptr, "A");
        ippAddSeparator(ipp);
        ippAddSeparator(ipp);
        ippAddString(ipp, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name", nullptr, "B");
        ippAddInteger(ipp, IPP_TAG_JOB, IPP_TAG_INTEGER, "job-id", 7);
        ippAddString(ipp, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name", nullptr, "C");
        const auto named = [](const char *name) {
            return AttributeHash{{QStringLiteral("printer-name"), list(QString::fromLatin1(name))}};
        };
        const QList<AttributeHash> printers{named("A"), named("B"), named("C")};
        QCOMPARE(message.attributeGroups(IPP_TAG_PRINTER), printers);
        const AttributeHash job{{QStringLiteral("job-id"), list(7)}};
        QCOMPARE(message.attributeGroups(IPP_TAG_JOB), QList<AttributeHash>{job});
        // The flat view keeps the first of repeated names.
        QCOMPARE(message.attributes().value(QStringLiteral("printer-name")), list(QStringLiteral("A")));
    }

    void anAnswerStatusPastLibcupsCountsAsBroken()
    {
        QCOMPARE(m_received.statusCode(), IPP_STATUS_ERROR_INTERNAL);
        QVERIFY(!m_received.isOk());
    }

private:
    IppBase m_values;
    IppResponse m_received; // what only a server's bytes can carry
};

QTEST_GUILESS_MAIN(IppTest)

#include "ipptest.moc"
