#include "kvtl.h"

#include <QTest>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace
{
// Labels go back through kvtl_put(), texts through free().
struct Release {
    void operator()(kvtl_t *label) const
    {
        kvtl_put(label);
    }
    void operator()(char *text) const
    {
        std::free(text);
    }
};
using Label = std::unique_ptr<kvtl_t, Release>;
using Text = std::unique_ptr<char, Release>;
} // namespace

class KvtlTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void textHasTheDocumentedFormAndReadsBack_data()
    {
        QTest::addColumn<uchar>("level");
        QTest::addColumn<uint>("ilevel");
        QTest::addColumn<mac_cat_t>("categories");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("zero") << uchar(0) << 0u << 0UL << QByteArray("0:0:0x0000000000000000");
        QTest::newRow("example") << uchar(2) << 63u << 0x11UL << QByteArray("2:63:0x0000000000000011");
        QTest::newRow("every hex digit") << uchar(10) << 100u << 0x0123456789abcdefUL
                                         << QByteArray("10:100:0x0123456789abcdef");
        QTest::newRow("extremes") << uchar(255) << 0xFFFFFFFFu << ~0UL
                                  << QByteArray("255:4294967295:0xffffffffffffffff");
    }

    void textHasTheDocumentedFormAndReadsBack()
    {
        QFETCH(uchar, level);
        QFETCH(uint, ilevel);
        QFETCH(mac_cat_t, categories);
        QFETCH(QByteArray, text);

        const Label label(kvtl_dup(KVTL_ZERO));
        QVERIFY(kvtl_set_lev(label.get(), level) == 0 && kvtl_set_ilev(label.get(), ilevel) == 0
                && kvtl_set_cat(label.get(), categories) == 0);
        QCOMPARE(QByteArray(Text(kvtl_get_text(label.get(), KVTL_TEXT_NUMERIC)).get()), text);
        const Label read(kvtl_get_from_text(text.constData()));
        QVERIFY(read);
        QCOMPARE(kvtl_lev(read.get()), level);
        QCOMPARE(kvtl_ilev(read.get()), ilevel);
        QCOMPARE(kvtl_cat(read.get()), categories);
    }

    void malformedTextIsRejected_data()
    {
        QTest::addColumn<QByteArray>("text");
        const QByteArray cats = "0x0000000000000001";
        const QByteArrayList texts{
            // Fields: too few, too many, empty, padded.
            "", "1:2", "1:2:" + cats + ":3", ":2:" + cats, "1::" + cats, "1:2:" + cats + " ", " 1:2:" + cats,
            // Numbers: signs, range, leading zeros.
            "-1:2:" + cats, "+1:2:" + cats, "256:2:" + cats, "1:4294967296:" + cats, "01:2:" + cats,
            // Categories: exactly 0x and sixteen lower-case hex digits.
            "1:2:0000000000000001", "1:2:0x1", "1:2:0x00000000000000001", "1:2:0x00000000000000AB"};
        for (const QByteArray &text : texts) {
            QTest::addRow("\"%s\"", text.constData()) << text;
        }
    }

    void malformedTextIsRejected()
    {
        QFETCH(QByteArray, text);
        errno = 0;
        QVERIFY(!Label(kvtl_get_from_text(text.constData())));
        QCOMPARE(errno, EINVAL);
    }

    void nullLabelsAndTheZeroConstantAreSafe()
    {
        QVERIFY(!kvtl_get_from_text(nullptr) && !kvtl_dup(nullptr));
        QVERIFY(!kvtl_get_text(nullptr, KVTL_TEXT_NUMERIC) && kvtl_ilev(nullptr) == 0);
        // The constant is shared: neither a setter nor a put reached through a cast may change or free it.
        auto *zero = const_cast<kvtl_t *>(KVTL_ZERO);
        errno = 0;
        QCOMPARE(kvtl_set_lev(zero, 7), -1);
        QCOMPARE(errno, EINVAL);
        kvtl_put(zero);
        QCOMPARE(kvtl_lev(KVTL_ZERO), uchar(0));
        QVERIFY(!Text(kvtl_get_text(KVTL_ZERO, 2)));
    }
};

QTEST_GUILESS_MAIN(KvtlTest)

#include "kvtltest.moc"
