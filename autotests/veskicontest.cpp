#include "veskicon.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

using EmblemMap = QMap<Qt::Corner, QString>;
using ExpectedEmblems = QVector<QPair<Qt::Corner, QColor>>;
Q_DECLARE_METATYPE(EmblemMap)
Q_DECLARE_METATYPE(ExpectedEmblems)

namespace
{
const QColor s_base(Qt::red);
const QColor s_fallback(Qt::magenta);
const QColor s_hiDpiBase(255, 128, 0);
const QHash<QString, QColor> s_emblems{
    {QStringLiteral("emblem-a"), Qt::green},
    {QStringLiteral("emblem-b"), Qt::blue},
    {QStringLiteral("emblem-c"), Qt::yellow},
};
const QString s_unknown = QStringLiteral("no-such-icon");

// Half of each tested size is present as well, so emblems come from files of
// their exact size and no result hinges on how Qt scales a neighbouring one.
const QVector<int> s_themeSizes{8, 11, 16, 22, 32, 64, 128};

QRect cornerBox(Qt::Corner corner, const QSize &size)
{
    const int edge = qMin(size.width(), size.height()) / 2;
    const bool right = corner == Qt::TopRightCorner || corner == Qt::BottomRightCorner;
    const bool bottom = corner == Qt::BottomLeftCorner || corner == Qt::BottomRightCorner;
    return QRect(right ? size.width() - edge : 0, bottom ? size.height() - edge : 0, edge, edge);
}

bool sameColour(const QColor &a, const QColor &b)
{
    // Scaling a solid pixmap may round a channel by a step or two.
    return qAbs(a.red() - b.red()) <= 4 && qAbs(a.green() - b.green()) <= 4 && qAbs(a.blue() - b.blue()) <= 4 && qAbs(a.alpha() - b.alpha()) <= 4;
}

// Describes the first pixel that shows neither the base colour nor the colour
// of the last emblem whose corner box covers it; empty when all match.
QByteArray layoutMismatch(const QImage &image, const QColor &base, const ExpectedEmblems &emblems)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            QColor expected = base;
            for (const auto &emblem : emblems) {
                if (cornerBox(emblem.first, image.size()).contains(x, y)) {
                    expected = emblem.second;
                }
            }
            const QColor actual = image.pixelColor(x, y);
            if (!sameColour(actual, expected)) {
                return QByteArray::number(image.width()) + " px image: pixel (" + QByteArray::number(x) + ',' + QByteArray::number(y) + ") is "
                    + actual.name(QColor::HexArgb).toLatin1() + ", expected " + expected.name(QColor::HexArgb).toLatin1();
            }
        }
    }
    return QByteArray();
}

QByteArray layoutMismatch(const QIcon &icon, int size, const QColor &base, const ExpectedEmblems &emblems)
{
    const QPixmap pixmap = icon.pixmap(QSize(size, size));
    if (pixmap.size() != QSize(size, size)) {
        return QByteArrayLiteral("pixmap has the wrong size");
    }
    return layoutMismatch(pixmap.toImage(), base, emblems);
}

const char *cornerName(Qt::Corner corner)
{
    static const char *const names[] = {"top-left", "top-right", "bottom-left", "bottom-right"};
    return names[corner];
}
} // namespace

class VeskIconTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void emblemMap_data();
    void emblemMap();
    void missingBaseIcon();
    void withEmblemsStacks_data();
    void withEmblemsStacks();
    void disabledMode();
    void highDpiPaint();

private:
    QTemporaryDir m_themeDir;
    QIcon m_fallback;
};

void VeskIconTest::initTestCase()
{
    QVERIFY(m_themeDir.isValid());
    QHash<QString, QColor> icons = s_emblems;
    icons.insert(QStringLiteral("printer"), s_base);
    icons.insert(QStringLiteral("printer-hidpi"), s_base);

    const QDir theme(m_themeDir.filePath(QStringLiteral("testtheme")));
    QStringList directories;
    QString sections;
    for (int size : s_themeSizes) {
        const QString directory = QStringLiteral("%1x%1").arg(size);
        directories << directory;
        sections += QStringLiteral("\n[%1]\nSize=%2\nType=Fixed\n").arg(directory).arg(size);
        QVERIFY(theme.mkpath(directory));
        for (auto it = icons.cbegin(); it != icons.cend(); ++it) {
            // Only the 64 px variant differs, to tell which size was rendered.
            const bool marker = it.key() == QLatin1String("printer-hidpi") && size == 64;
            QImage image(size, size, QImage::Format_ARGB32);
            image.fill(marker ? s_hiDpiBase : it.value());
            QVERIFY(image.save(theme.filePath(QStringLiteral("%1/%2.png").arg(directory, it.key()))));
        }
        QPixmap fallback(size, size);
        fallback.fill(s_fallback);
        m_fallback.addPixmap(fallback);
    }

    QFile index(theme.filePath(QStringLiteral("index.theme")));
    QVERIFY(index.open(QIODevice::WriteOnly));
    index.write(QStringLiteral("[Icon Theme]\nName=testtheme\nDirectories=%1\n%2").arg(directories.join(QLatin1Char(',')), sections).toUtf8());
    index.close();

    QIcon::setThemeSearchPaths({m_themeDir.path()});
    QIcon::setThemeName(QStringLiteral("testtheme"));
    QVERIFY(QIcon::hasThemeIcon(QStringLiteral("printer")));
    QVERIFY(!QIcon::hasThemeIcon(s_unknown));
}

void VeskIconTest::emblemMap_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<EmblemMap>("emblems");
    QTest::addColumn<int>("size");
    QTest::addColumn<QColor>("base");
    QTest::addColumn<ExpectedEmblems>("expected");

    const QString printer = QStringLiteral("printer");
    const QString a = QStringLiteral("emblem-a");
    const QString b = QStringLiteral("emblem-b");
    const QString c = QStringLiteral("emblem-c");

    // 1 px is too small for an emblem; 2 and 3 px get a single-pixel one.
    for (int size : {1, 2, 3, 16, 32, 128}) {
        for (Qt::Corner corner : {Qt::TopLeftCorner, Qt::TopRightCorner, Qt::BottomLeftCorner, Qt::BottomRightCorner}) {
            QTest::addRow("%s@%d", cornerName(corner), size) << printer << EmblemMap{{corner, a}} << size << s_base << ExpectedEmblems{{corner, Qt::green}};
        }
    }
    QTest::newRow("empty map") << printer << EmblemMap() << 32 << s_base << ExpectedEmblems();
    const EmblemMap threeCorners{{Qt::TopLeftCorner, a}, {Qt::TopRightCorner, b}, {Qt::BottomLeftCorner, c}};
    const ExpectedEmblems threeColours{{Qt::TopLeftCorner, Qt::green}, {Qt::TopRightCorner, Qt::blue}, {Qt::BottomLeftCorner, Qt::yellow}};
    for (int size : {22, 64}) {
        QTest::addRow("three corners@%d", size) << printer << threeCorners << size << s_base << threeColours;
    }
    QTest::newRow("unknown emblem skipped") << printer << EmblemMap{{Qt::TopLeftCorner, s_unknown}, {Qt::BottomRightCorner, b}} << 32 << s_base
                                            << ExpectedEmblems{{Qt::BottomRightCorner, Qt::blue}};
    QTest::newRow("fallback base") << s_unknown << EmblemMap{{Qt::TopRightCorner, a}, {Qt::BottomLeftCorner, c}} << 32 << s_fallback
                                   << ExpectedEmblems{{Qt::TopRightCorner, Qt::green}, {Qt::BottomLeftCorner, Qt::yellow}};
    QTest::newRow("fallback, empty map") << s_unknown << EmblemMap() << 22 << s_fallback << ExpectedEmblems();
}

void VeskIconTest::emblemMap()
{
    QFETCH(QString, name);
    QFETCH(EmblemMap, emblems);
    QFETCH(int, size);
    QFETCH(QColor, base);
    QFETCH(ExpectedEmblems, expected);

    const QIcon icon = VeskIcon::fromTheme(name, emblems, m_fallback);
    const QByteArray mismatch = layoutMismatch(icon, size, base, expected);
    QVERIFY2(mismatch.isEmpty(), mismatch.constData());
}

void VeskIconTest::missingBaseIcon()
{
    const std::pair<Qt::Corner, QString> emblem{Qt::BottomRightCorner, QStringLiteral("emblem-b")};

    // Nothing to draw an emblem on: the result must behave like a null icon.
    const QIcon single = VeskIcon::fromTheme(s_unknown, emblem);
    QVERIFY(single.isNull());
    QVERIFY(single.pixmap(QSize(32, 32)).isNull());
    QVERIFY(VeskIcon::fromTheme(s_unknown, EmblemMap{{Qt::TopLeftCorner, QStringLiteral("emblem-a")}}).isNull());
    QVERIFY(VeskIcon::withEmblems(QIcon(), emblem).isNull());

    // Icons follow theme switches, so one can lose its base after creation.
    const QIcon themed = VeskIcon::fromTheme(QStringLiteral("printer"), emblem);
    QVERIFY(!themed.isNull());
    QIcon::setThemeName(QStringLiteral("no-such-theme"));
    const bool nullWithoutTheme = themed.isNull();
    QIcon::setThemeName(QStringLiteral("testtheme"));
    QVERIFY(nullWithoutTheme);
}

void VeskIconTest::withEmblemsStacks_data()
{
    QTest::addColumn<int>("size");
    for (int size : {16, 22, 32, 64, 128}) {
        QTest::addRow("%d", size) << size;
    }
}

void VeskIconTest::withEmblemsStacks()
{
    QFETCH(int, size);

    const QIcon first = VeskIcon::fromTheme(QStringLiteral("printer"), {Qt::TopLeftCorner, QStringLiteral("emblem-a")});
    const QIcon covered = VeskIcon::withEmblems(first, {Qt::TopLeftCorner, QStringLiteral("emblem-b")});
    const QIcon stacked = VeskIcon::withEmblems(covered, {Qt::BottomRightCorner, QStringLiteral("emblem-c")});
    const QIcon plain = VeskIcon::withEmblems(QIcon::fromTheme(QStringLiteral("printer")), {Qt::TopRightCorner, QStringLiteral("emblem-c")});

    const QVector<QPair<QIcon, ExpectedEmblems>> icons{{first, {{Qt::TopLeftCorner, Qt::green}}}, // the source stays as it was
                                                       {covered, {{Qt::TopLeftCorner, Qt::blue}}},
                                                       {stacked, {{Qt::TopLeftCorner, Qt::blue}, {Qt::BottomRightCorner, Qt::yellow}}},
                                                       {plain, {{Qt::TopRightCorner, Qt::yellow}}}};
    for (const auto &icon : icons) {
        const QByteArray mismatch = layoutMismatch(icon.first, size, s_base, icon.second);
        QVERIFY2(mismatch.isEmpty(), mismatch.constData());
    }

    // Views and styles pick sizes and theme names from the icon; stacking must not hide them.
    QCOMPARE(stacked.name(), QStringLiteral("printer"));
    QCOMPARE(stacked.availableSizes(), QIcon::fromTheme(QStringLiteral("printer")).availableSizes());
}

void VeskIconTest::disabledMode()
{
    // The style greys disabled icons; an emblem left in colour would make a
    // disabled printer look active.
    QVERIFY2(QCoreApplication::instance()->inherits("QApplication"), "link Qt5::Widgets: only a widget style greys disabled icons");
    const QIcon icon = VeskIcon::fromTheme(QStringLiteral("printer"), {Qt::TopLeftCorner, QStringLiteral("emblem-a")});
    const QImage image = icon.pixmap(QSize(32, 32), QIcon::Disabled).toImage();
    QCOMPARE(image.size(), QSize(32, 32));
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor colour = image.pixelColor(x, y);
            QVERIFY2(colour.alpha() == 255 && colour.hsvSaturation() < 16,
                     qPrintable(QStringLiteral("(%1,%2) is %3").arg(x).arg(y).arg(colour.name(QColor::HexArgb))));
        }
    }
    QVERIFY2(!sameColour(image.pixelColor(8, 8), image.pixelColor(24, 24)), "emblem missing from the disabled icon");
}

void VeskIconTest::highDpiPaint()
{
    const QIcon icon = VeskIcon::fromTheme(QStringLiteral("printer-hidpi"), {Qt::BottomLeftCorner, QStringLiteral("emblem-c")});

    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        icon.paint(&painter, QRect(0, 0, 32, 32));
    }
    // The 64 px theme variant proves the icon was rendered at device
    // resolution rather than at 32 px and upscaled.
    const QByteArray mismatch = layoutMismatch(image, s_hiDpiBase, {{Qt::BottomLeftCorner, Qt::yellow}});
    QVERIFY2(mismatch.isEmpty(), mismatch.constData());
}

QTEST_MAIN(VeskIconTest)

#include "veskicontest.moc"
