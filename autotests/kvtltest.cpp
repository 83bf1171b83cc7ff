#include "kvtl.h"

#include <QRandomGenerator>
#include <QTest>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <tuple>

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

using Fields = std::tuple<uchar, uint, mac_cat_t>;

Fields fields(const kvtl_t *label)
{
    return {kvtl_lev(label), kvtl_ilev(label), kvtl_cat(label)};
}

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

void addLabel(const char *name, uchar level, uint ilevel, mac_cat_t categories, const QByteArray &text = {})
{
    QTest::newRow(name) << level << ilevel << categories << text;
}
} // namespace

class KvtlTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void textHasTheDocumentedFormAndReadsBack_data();
    void textHasTheDocumentedFormAndReadsBack();
    void malformedTextIsRejected_data();
    void malformedTextIsRejected();
    void nullLabelsAndTheZeroConstantAreSafe();
    void copiesAndTextsAreIndependent();
};

void KvtlTest::textHasTheDocumentedFormAndReadsBack_data()
{
    QTest::addColumn<uchar>("level");
    QTest::addColumn<uint>("ilevel");
    QTest::addColumn<mac_cat_t>("categories");
    QTest::addColumn<QByteArray>("text"); // empty: not checked

    addLabel("zero", 0, 0, 0, "0:0:0x0000000000000000");
    addLabel("header example", 2, 63, 0x11, "2:63:0x0000000000000011");
    addLabel("extremes", 255, 0xFFFFFFFFu, ~mac_cat_t(0), "255:4294967295:0xffffffffffffffff");
    addLabel("top category", 10, 100, mac_cat_t(1) << 63, "10:100:0x8000000000000000");
    addLabel("bottom category", 254, 0xFFFFFFFEu, 1);
    addLabel("alternating categories", 128, 0x80000000u, 0xAAAAAAAAAAAAAAAAul);
    for (int bit = 0; bit < 64; ++bit) {
        QTest::addRow("category %d", bit) << uchar(bit) << uint(bit) << (mac_cat_t(1) << bit) << QByteArray();
    }
    QRandomGenerator random(20261206); // fixed: a failure stays reproducible
    for (int i = 0; i < 200; ++i) {
        QTest::addRow("random %d", i) << uchar(random.bounded(256)) << random.generate() << mac_cat_t(random.generate64()) << QByteArray();
    }
}

void KvtlTest::textHasTheDocumentedFormAndReadsBack()
{
    QFETCH(uchar, level);
    QFETCH(uint, ilevel);
    QFETCH(mac_cat_t, categories);
    QFETCH(QByteArray, text);

    const Label label = makeLabel(level, ilevel, categories);
    QVERIFY(label);
    const Text written(kvtl_get_text(label.get(), KVTL_TEXT_NUMERIC));
    QVERIFY(written);
    if (!text.isEmpty()) {
        QCOMPARE(QByteArray(written.get()), text);
    }
    const Label read(kvtl_get_from_text(written.get()));
    QVERIFY2(read, written.get());
    QCOMPARE(fields(read.get()), Fields(level, ilevel, categories));
    // One text per label: writing the read label gives the same text again.
    QCOMPARE(Text(kvtl_get_text(read.get(), 1)).get(), written.get());
}

void KvtlTest::malformedTextIsRejected_data()
{
    QTest::addColumn<QByteArray>("text");
    const QByteArray cats = "0x0000000000000001";
    const QByteArrayList texts{
        // Fields: too few, too many, empty, padded.
        "", "1", "1:2", "1:2:" + cats + ":3", "1:2:" + cats + ":", ":2:" + cats, "1::" + cats, "1:2:",
        "1:2:" + cats + "\n", "1:2:" + cats + " ", " 1:2:" + cats, "1: 2:" + cats,
        // Numbers: signs, range, leading zeros.
        "-1:2:" + cats, "+1:2:" + cats, "256:2:" + cats, "1:4294967296:" + cats, "1:18446744073709551617:" + cats, "01:2:" + cats,
        // Categories: exactly 0x and sixteen lower-case hex digits.
        "1:2:0000000000000001", "1:2:0x", "1:2:0x1", "1:2:0x00000000000000001", "1:2:0x00000000000000AB", "1:2:0x000000000000000g"};
    for (const QByteArray &text : texts) {
        QTest::addRow("\"%s\"", text.constData()) << text;
    }
}

void KvtlTest::malformedTextIsRejected()
{
    QFETCH(QByteArray, text);
    errno = 0;
    const Label label(kvtl_get_from_text(text.constData()));
    QVERIFY(!label);
    QCOMPARE(errno, EINVAL);
}

void KvtlTest::nullLabelsAndTheZeroConstantAreSafe()
{
    QCOMPARE(fields(KVTL_ZERO), Fields(0, 0, 0));
    QCOMPARE(fields(nullptr), Fields(0, 0, 0));
    QVERIFY(!kvtl_get_from_text(nullptr) && !kvtl_dup(nullptr) && !kvtl_get_text(nullptr, KVTL_TEXT_NUMERIC));
    kvtl_put(nullptr);
    // The constant is shared by every caller: neither a stray put nor a setter reached through a cast may change or free it.
    auto *zero = const_cast<kvtl_t *>(KVTL_ZERO);
    for (kvtl_t *label : {static_cast<kvtl_t *>(nullptr), zero}) {
        errno = 0;
        QCOMPARE(kvtl_set_lev(label, 7), -1);
        QCOMPARE(errno, EINVAL);
        QCOMPARE(kvtl_set_ilev(label, 7), -1);
        QCOMPARE(kvtl_set_cat(label, 7), -1);
    }
    kvtl_put(zero);
    const Label copy(kvtl_dup(KVTL_ZERO));
    QVERIFY(KVTL_ZERO && copy);
    QCOMPARE(fields(copy.get()), Fields(0, 0, 0));
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
    QCOMPARE(fields(original.get()), Fields(3, 30, 0x30));

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
