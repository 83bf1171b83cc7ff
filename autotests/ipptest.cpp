#include <ipprequest.h>

#include <QDateTime>
#include <QTest>

#include <cstring>

#include <cups/cups.h>

using namespace CUPS;

// Messages are built by hand here, so every IPP value type is covered
// whether or not the scheduler happens to send it.
class IppTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void valuesConvertToTextAndQtTypes_data();
    void valuesConvertToTextAndQtTypes();
    void groupsSplitAtSeparatorsAndGroupChanges();
    void answerStatusesPastLibcupsCountAsBroken_data();
    void answerStatusesPastLibcupsCountAsBroken();

private:
    IppBase m_values;
    IppBase m_received; // values only a server's bytes can carry
    const time_t m_time = 1700000000;
};

namespace
{
// A message read from bytes as they came from a server.
ipp_t *received(const QByteArray &bytes)
{
    struct Reader {
        const QByteArray &bytes;
        int offset;
    } reader{bytes, 0};
    ipp_t *ipp = ippNew();
    ippReadIO(&reader, [](void *context, ipp_uchar_t *buffer, size_t size) -> ssize_t {
        auto *from = static_cast<Reader *>(context);
        const int count = qMin(int(size), from->bytes.size() - from->offset);
        memcpy(buffer, from->bytes.constData() + from->offset, size_t(count));
        from->offset += count;
        return count;
    }, 1, nullptr, ipp);
    return ipp;
}
} // namespace

void IppTest::initTestCase()
{
    // Dates are shown in local time; pin it.
    qputenv("TZ", "UTC");
    ipp_t *ipp = ippNew();
    m_values = IppBase(ipp);
    ippAddInteger(ipp, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", 3);
    ippAddInteger(ipp, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_STOPPED);
    ippAddBoolean(ipp, IPP_TAG_PRINTER, "printer-is-shared", 1);
    ippAddBoolean(ipp, IPP_TAG_PRINTER, "printer-is-accepting-jobs", 0);
    ippAddRange(ipp, IPP_TAG_PRINTER, "copies-supported", 1, 9999);
    ippAddResolution(ipp, IPP_TAG_PRINTER, "printer-resolution-default", IPP_RES_PER_INCH, 600, 600);
    ippAddResolution(ipp, IPP_TAG_PRINTER, "uneven-resolution", IPP_RES_PER_INCH, 300, 600);
    ippAddDate(ipp, IPP_TAG_JOB, "date-time-at-creation", ippTimeToDate(m_time));
    ippAddString(ipp, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-location", nullptr, "Raum Ø 2.17 – 東京");
    const char *reasons[] = {"paused", "media-jam-error"};
    ippAddStrings(ipp, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "printer-state-reasons", 2, nullptr, reasons);
    ippAddOctetString(ipp, IPP_TAG_PRINTER, "printer-alert", "\x01\x00" "code", 6);
    ippAddOutOfBand(ipp, IPP_TAG_PRINTER, IPP_TAG_NOVALUE, "printer-organization");

    ipp_t *a4 = ippNew();
    ippAddString(a4, IPP_TAG_ZERO, IPP_TAG_KEYWORD, "media-source", nullptr, "tray-1");
    ippAddInteger(a4, IPP_TAG_ZERO, IPP_TAG_INTEGER, "media-top-margin", 423);
    ipp_t *letter = ippNew();
    ippAddString(letter, IPP_TAG_ZERO, IPP_TAG_KEYWORD, "media-source", nullptr, "manual");
    ipp_attribute_t *media = ippAddCollection(ipp, IPP_TAG_PRINTER, "media-col-ready", a4);
    ippSetCollection(ipp, &media, 1, letter);
    ippDelete(a4);
    ippDelete(letter);

    // A resolution whose units byte (0x10) is neither dots per inch nor per centimetre.
    m_received = IppBase(received(QByteArray::fromHex("02000000000000010432001c") + "printer-resolution-supported"
                                  + QByteArray::fromHex("0009210000000400000010") + '\x03'));
}

void IppTest::valuesConvertToTextAndQtTypes_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("integer") << QByteArray("copies") << 0 << QStringLiteral("3") << QVariant(3);
    QTest::newRow("enum") << QByteArray("printer-state") << 0 << QStringLiteral("5") << QVariant(5);
    QTest::newRow("true") << QByteArray("printer-is-shared") << 0 << QStringLiteral("true") << QVariant(true);
    QTest::newRow("false") << QByteArray("printer-is-accepting-jobs") << 0 << QStringLiteral("false") << QVariant(false);
    QTest::newRow("range") << QByteArray("copies-supported") << 0 << QStringLiteral("1-9999") << QVariant(QStringLiteral("1-9999"));
    QTest::newRow("square resolution") << QByteArray("printer-resolution-default") << 0 << QStringLiteral("600dpi") << QVariant(QStringLiteral("600dpi"));
    QTest::newRow("uneven resolution") << QByteArray("uneven-resolution") << 0 << QStringLiteral("300x600dpi") << QVariant(QStringLiteral("300x600dpi"));
    QTest::newRow("resolution in unknown units") << QByteArray("printer-resolution-supported") << 0 << QStringLiteral("553648128x67108864")
                                                 << QVariant(QStringLiteral("553648128x67108864"));
    QTest::newRow("non-ASCII text") << QByteArray("printer-location") << 0 << QString::fromUtf8("Raum Ø 2.17 – 東京")
                                    << QVariant(QString::fromUtf8("Raum Ø 2.17 – 東京"));
    QTest::newRow("second keyword") << QByteArray("printer-state-reasons") << 1 << QStringLiteral("media-jam-error") << QVariant(QStringLiteral("media-jam-error"));
    QTest::newRow("past the last value") << QByteArray("printer-state-reasons") << 2 << QString() << QVariant();
    QTest::newRow("date") << QByteArray("date-time-at-creation") << 0 << QStringLiteral("2023-11-14T22:13:20")
                          << QVariant(QDateTime::fromSecsSinceEpoch(m_time, Qt::UTC));
    QTest::newRow("octets") << QByteArray("printer-alert") << 0 << QStringLiteral("\\001\\000code") << QVariant(QByteArray("\x01\x00" "code", 6));
    QTest::newRow("no value") << QByteArray("printer-organization") << 0 << QString() << QVariant(QString());
    QTest::newRow("first collection")
        << QByteArray("media-col-ready") << 0 << QStringLiteral("{media-source=tray-1 media-top-margin=423}")
        << QVariant(QVariantHash{{QStringLiteral("media-source"), QVariantList{QStringLiteral("tray-1")}}, {QStringLiteral("media-top-margin"), QVariantList{423}}});
    QTest::newRow("second collection") << QByteArray("media-col-ready") << 1 << QStringLiteral("{media-source=manual}")
                                       << QVariant(QVariantHash{{QStringLiteral("media-source"), QVariantList{QStringLiteral("manual")}}});
}

void IppTest::valuesConvertToTextAndQtTypes()
{
    QFETCH(QByteArray, name);
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(QVariant, value);

    ipp_attribute_t *attribute = ippFindAttribute(m_values.handle(), name.constData(), IPP_TAG_ZERO);
    if (!attribute) {
        attribute = ippFindAttribute(m_received.handle(), name.constData(), IPP_TAG_ZERO);
    }
    QVERIFY(attribute);
    const IppValue ippValue(attribute, index);
    QCOMPARE(ippValue.toString(), text);
    QCOMPARE(ippValue.toVariant(), value);
}

void IppTest::groupsSplitAtSeparatorsAndGroupChanges()
{
    const IppBase request(ippNewRequest(CUPS_GET_PRINTERS));
    ipp_t *ipp = ippNewResponse(request.handle());
    const IppBase message(ipp);
    ippAddString(ipp, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name", nullptr, "A");
    ippAddInteger(ipp, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_IDLE);
    ippAddSeparator(ipp);
    ippAddString(ipp, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name", nullptr, "B");
    ippAddInteger(ipp, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_STOPPED);
    const char *reasons[] = {"paused", "media-jam-error"};
    ippAddStrings(ipp, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "printer-state-reasons", 2, nullptr, reasons);
    ippAddSeparator(ipp);
    ippAddSeparator(ipp);
    ippAddString(ipp, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name", nullptr, "C");
    ippAddInteger(ipp, IPP_TAG_JOB, IPP_TAG_INTEGER, "job-id", 7);
    ippAddString(ipp, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name", nullptr, "D");

    const QList<AttributeHash> printers = message.attributeGroups(IPP_TAG_PRINTER);
    QCOMPARE(printers.size(), 4);
    const QStringList names{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")};
    for (int i = 0; i < printers.size(); ++i) {
        QCOMPARE(printers.at(i).value(QStringLiteral("printer-name")), QVariant(QVariantList{names.at(i)}));
    }
    QCOMPARE(printers.at(0).size(), 2);
    QCOMPARE(printers.at(1).value(QStringLiteral("printer-state")), QVariant(QVariantList{int(IPP_PSTATE_STOPPED)}));
    QCOMPARE(printers.at(1).value(QStringLiteral("printer-state-reasons")), QVariant(QVariantList{QStringLiteral("paused"), QStringLiteral("media-jam-error")}));
    QCOMPARE(printers.at(2).size(), 1);
    QCOMPARE(printers.at(3).size(), 1);

    const QList<AttributeHash> jobs = message.attributeGroups(IPP_TAG_JOB);
    QCOMPARE(jobs.size(), 1);
    QCOMPARE(jobs.first(), (AttributeHash{{QStringLiteral("job-id"), QVariantList{7}}}));
    QVERIFY(message.attributeGroups(IPP_TAG_SUBSCRIPTION).isEmpty());

    // The flat view keeps the first of repeated names.
    const AttributeHash all = message.attributes();
    QCOMPARE(all.value(QStringLiteral("printer-name")), QVariant(QVariantList{QStringLiteral("A")}));
    QCOMPARE(all.value(QStringLiteral("job-id")), QVariant(QVariantList{7}));
    QCOMPARE(all.value(QStringLiteral("attributes-charset")), QVariant(QVariantList{QStringLiteral("utf-8")}));
}

void IppTest::answerStatusesPastLibcupsCountAsBroken_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("status");
    QTest::newRow("not found") << QByteArray::fromHex("020004060000000103") << int(IPP_STATUS_ERROR_NOT_FOUND);
    QTest::newRow("status 0x7269") << QByteArray::fromHex("007072690304001003") << int(IPP_STATUS_ERROR_INTERNAL);
}

void IppTest::answerStatusesPastLibcupsCountAsBroken()
{
    QFETCH(QByteArray, answer);
    const IppResponse response(received(answer));
    QVERIFY(!response.isNull());
    QTEST(int(response.statusCode()), "status");
    QVERIFY(!response.isOk());
}

QTEST_GUILESS_MAIN(IppTest)

#include "ipptest.moc"
