#include <busyindicator.h>

#include <QImage>
#include <QSignalSpy>
#include <QTest>

using Tolva::BusyIndicator;

class BusyIndicatorTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void turnsWhileRunningAndStandsBlankOnceStopped()
    {
        BusyIndicator indicator;
        indicator.resize(32, 32);
        const QImage blank = indicator.grab().toImage();
        indicator.start();
        QSignalSpy frames(&indicator, &BusyIndicator::frameChanged);
        QVERIFY(frames.wait(2000));
        QVERIFY(indicator.grab().toImage() != blank);
        QVERIFY(frames.wait(2000));
        QCOMPARE(frames.at(1).first().toInt(), (frames.at(0).first().toInt() + 1) % 12);
        indicator.stop();
        frames.clear();
        QVERIFY(!frames.wait(400)); // several frame times without a step
        QCOMPARE(indicator.grab().toImage(), blank);
    }
};

QTEST_MAIN(BusyIndicatorTest)

#include "busyindicatortest.moc"
