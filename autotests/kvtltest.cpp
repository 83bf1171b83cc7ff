#include "kvtl.h"

#include <QRandomGenerator>
#include <QTest>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace
{
struct LabelDeleter {
    void operator()(kvtl_t *label) const
    {
        kvtl_put(label);
    }
};
using Label = std::unique_ptr<kvtl_t, LabelDeleter>;

struct TextDeleter {
    void operator()(char *text) const
    {
        std::free(text);
    }
};
using Text = std::unique_ptr<char, TextDeleter>;

Label makeLabel(uchar level, uint ilevel, mac_cat_t categories)
{
    Label label(kvtl_dup(KVTL_ZERO));
    if (label) {
        kvtl_set_lev(label.get(), level);
        kvtl_set_ilev(label.get(), ilevel);
        kvtl_set_cat(label.get(), categories);
    }
    return label;
}
} // namespace

class KvtlTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void textReadsBackIntoTheSameLabel_data();
    void textReadsBackIntoTheSameLabel();
    void textHasTheDocumentedForm_data();
    void textHasTheDocumentedForm();
    void malformedTextIsRejected_data();
    void malformedTextIsRejected();
    void nullLabelsAndTheZeroConstantAreSafe();
    void copiesAndTextsAreIndependent();
};

void KvtlTest::textReadsBackIntoTheSameLabel_data()
{
    QTest::addColumn<uchar>("level");
    QTest::addColumn<uint>("ilevel");
    QTest::addColumn<mac_cat_t>("categories");

    const mac_cat_t allCategories = ~mac_cat_t(0);
    QTest::newRow("zero") << uchar(0) << 0u << mac_cat_t(0);
    QTest::newRow("all extremes") << uchar(255) << 0xFFFFFFFFu << allCategories;
    QTest::newRow("top category only") << uchar(1) << 1u << (mac_cat_t(1) << 63);
    QTest::newRow("bottom category only") << uchar(254) << 0xFFFFFFFEu << mac_cat_t(1);
    QTest::newRow("alternating categories") << uchar(128) << 0x80000000u << mac_cat_t(0xAAAAAAAAAAAAAAAAul);
    for (int bit = 0; bit < 64; ++bit) {
        QTest::addRow("category %d", bit) << uchar(bit) << uint(bit) << (mac_cat_t(1) << bit);
    }
    // A fixed seed keeps a failure reproducible.
    QRandomGenerator random(20261206);
    for (int i = 0; i < 200; ++i) {
        QTest::addRow("random %d", i) << uchar(random.bounded(256)) << random.generate() << mac_cat_t(random.generate64());
    }
}

void KvtlTest::textReadsBackIntoTheSameLabel()
{
    QFETCH(uchar, level);
    QFETCH(uint, ilevel);
    QFETCH(mac_cat_t, categories);

    const Label label = makeLabel(level, ilevel, categories);
    QVERIFY(label);
    const Text text(kvtl_get_text(label.get(), KVTL_TEXT_NUMERIC));
    QVERIFY(text);

    const Label read(kvtl_get_from_text(text.get()));
    QVERIFY2(read, text.get());
    QCOMPARE(kvtl_lev(read.get()), level);
    QCOMPARE(kvtl_ilev(read.get()), ilevel);
    QCOMPARE(kvtl_cat(read.get()), categories);

    // One text per label: writing the read label gives the same text again.
    const Text again(kvtl_get_text(read.get(), 1));
    QCOMPARE(again.get(), text.get());
}

void KvtlTest::textHasTheDocumentedForm_data()
{
    QTest::addColumn<uchar>("level");
    QTest::addColumn<uint>("ilevel");
    QTest::addColumn<mac_cat_t>("categories");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("zero") << uchar(0) << 0u << mac_cat_t(0) << QByteArray("0:0:0x0000000000000000");
    QTest::newRow("header example") << uchar(2) << 63u << mac_cat_t(0x11) << QByteArray("2:63:0x0000000000000011");
    QTest::newRow("extremes") << uchar(255) << 0xFFFFFFFFu << ~mac_cat_t(0) << QByteArray("255:4294967295:0xffffffffffffffff");
    QTest::newRow("top category") << uchar(10) << 100u << (mac_cat_t(1) << 63) << QByteArray("10:100:0x8000000000000000");
}

void KvtlTest::textHasTheDocumentedForm()
{
    QFETCH(uchar, level);
    QFETCH(uint, ilevel);
    QFETCH(mac_cat_t, categories);
    QFETCH(QByteArray, text);

    const Label label = makeLabel(level, ilevel, categories);
    const Text written(kvtl_get_text(label.get(), KVTL_TEXT_NUMERIC));
    QCOMPARE(QByteArray(written.get()), text);
}

void KvtlTest::malformedTextIsRejected_data()
{
    QTest::addColumn<QByteArray>("text");

    const QByteArray cats = "0x0000000000000001";
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("one field") << QByteArray("1");
    QTest::newRow("two fields") << QByteArray("1:2");
    QTest::newRow("four fields") << QByteArray("1:2:" + cats + ":3");
    QTest::newRow("trailing colon") << QByteArray("1:2:" + cats + ":");
    QTest::newRow("trailing newline") << QByteArray("1:2:" + cats + "\n");
    QTest::newRow("trailing space") << QByteArray("1:2:" + cats + " ");
    QTest::newRow("leading space") << QByteArray(" 1:2:" + cats);
    QTest::newRow("space inside") << QByteArray("1: 2:" + cats);
    QTest::newRow("empty level") << QByteArray(":2:" + cats);
    QTest::newRow("empty integrity") << QByteArray("1::" + cats);
    QTest::newRow("empty categories") << QByteArray("1:2:");
    QTest::newRow("negative level") << QByteArray("-1:2:" + cats);
    QTest::newRow("plus sign") << QByteArray("+1:2:" + cats);
    QTest::newRow("level 256") << QByteArray("256:2:" + cats);
    QTest::newRow("integrity 2^32") << QByteArray("1:4294967296:" + cats);
    QTest::newRow("integrity 2^64+1") << QByteArray("1:18446744073709551617:" + cats);
    QTest::newRow("leading zero level") << QByteArray("01:2:" + cats);
    QTest::newRow("no 0x") << QByteArray("1:2:0000000000000001");
    QTest::newRow("0x alone") << QByteArray("1:2:0x");
    QTest::newRow("short mask") << QByteArray("1:2:0x1");
    QTest::newRow("17 digits") << QByteArray("1:2:0x00000000000000001");
    QTest::newRow("upper case digits") << QByteArray("1:2:0x00000000000000AB");
    QTest::newRow("non-hex digit") << QByteArray("1:2:0x000000000000000g");
}

void KvtlTest::malformedTextIsRejected()
{
    QFETCH(QByteArray, text);

    errno = 0;
    const Label label(kvtl_get_from_text(text.constData()));
    QVERIFY2(!label, text.constData());
    QCOMPARE(errno, EINVAL);
}

void KvtlTest::nullLabelsAndTheZeroConstantAreSafe()
{
    QVERIFY(KVTL_ZERO);
    QCOMPARE(kvtl_lev(KVTL_ZERO), uchar(0));
    QCOMPARE(kvtl_ilev(KVTL_ZERO), 0u);
    QCOMPARE(kvtl_cat(KVTL_ZERO), mac_cat_t(0));

    QVERIFY(!kvtl_get_from_text(nullptr));
    QVERIFY(!kvtl_dup(nullptr));
    QVERIFY(!kvtl_get_text(nullptr, KVTL_TEXT_NUMERIC));
    QCOMPARE(kvtl_lev(nullptr), uchar(0));
    QCOMPARE(kvtl_ilev(nullptr), 0u);
    QCOMPARE(kvtl_cat(nullptr), mac_cat_t(0));
    errno = 0;
    QCOMPARE(kvtl_set_lev(nullptr, 1), -1);
    QCOMPARE(errno, EINVAL);
    QCOMPARE(kvtl_set_ilev(nullptr, 1), -1);
    QCOMPARE(kvtl_set_cat(nullptr, 1), -1);
    kvtl_put(nullptr);

    // The constant is shared by every caller: neither a stray put nor a
    // setter reached through a cast may change or free it.
    auto *zero = const_cast<kvtl_t *>(KVTL_ZERO);
    QCOMPARE(kvtl_set_lev(zero, 7), -1);
    QCOMPARE(kvtl_set_ilev(zero, 7), -1);
    QCOMPARE(kvtl_set_cat(zero, 7), -1);
    kvtl_put(zero);
    const Label copy(kvtl_dup(KVTL_ZERO));
    QVERIFY(copy);
    QCOMPARE(kvtl_lev(copy.get()), uchar(0));
    QCOMPARE(kvtl_ilev(copy.get()), 0u);
    QCOMPARE(kvtl_cat(copy.get()), mac_cat_t(0));

    for (int form : {0, 2, -1}) {
        errno = 0;
        QVERIFY2(!kvtl_get_text(copy.get(), form), qPrintable(QString::number(form)));
        QCOMPARE(errno, EINVAL);
    }
}

void KvtlTest::copiesAndTextsAreIndependent()
{
    const Label original = makeLabel(3, 30, 0x30);
    const Label copy(kvtl_dup(original.get()));
    QVERIFY(copy && copy.get() != original.get());
    kvtl_set_lev(copy.get(), 4);
    kvtl_set_ilev(copy.get(), 40);
    kvtl_set_cat(copy.get(), 0x40);
    QCOMPARE(kvtl_lev(original.get()), uchar(3));
    QCOMPARE(kvtl_ilev(original.get()), 30u);
    QCOMPARE(kvtl_cat(original.get()), mac_cat_t(0x30));

    // Each call hands out a string of its own, still valid after the label is gone.
    Label temporary = makeLabel(5, 50, 0x50);
    const Text first(kvtl_get_text(temporary.get(), 1));
    const Text second(kvtl_get_text(temporary.get(), 1));
    QVERIFY(first.get() != second.get());
    temporary.reset();
    QCOMPARE(QByteArray(first.get()), QByteArray("5:50:0x0000000000000050"));
    QCOMPARE(QByteArray(second.get()), QByteArray(first.get()));
}

QTEST_GUILESS_MAIN(KvtlTest)

#include "kvtltest.moc"
