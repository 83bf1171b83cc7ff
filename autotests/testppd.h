#ifndef TESTPPD_H
#define TESTPPD_H

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cups/cups.h>

/**
 * A small PostScript PPD for tests: sizeCount standard page sizes (at most
 * MaxSizes), optionally a custom page size, a multiple-choice option and stapling that cupsd
 * reports as finishings, including values without a common label.
 */
struct TestPpd {
    int sizeCount = 3;
    bool customSize = false;
    bool finishings = false;

    /// Sizes that libcups names by their PPD keyword, so cupsd lists each under its PWG name.
    static const char *size(int i)
    {
        static const char *const sizes[] = {"A0",    "A1",    "A2",    "A3",    "A4",    "A5",     "A6",    "A7",    "A8",    "A9",    "A10",
                                            "B0",    "B1",    "B2",    "B3",    "B4",    "B5",     "B6",    "B7",    "B8",    "B9",    "B10",
                                            "ISOB0", "ISOB1", "ISOB2", "ISOB3", "ISOB4", "ISOB5",  "ISOB6", "ISOB7", "ISOB8", "ISOB9", "ISOB10",
                                            "EnvC0", "EnvC1", "EnvC2", "EnvC3", "EnvC4", "EnvC5",  "EnvC6", "EnvC7", "EnvC8", "EnvC9", "EnvC10",
                                            "RA0",   "RA1",   "RA2",   "RA3",   "RA4",   "SRA0",   "SRA1",  "SRA2",  "SRA3",  "SRA4"};
        return sizes[i % MaxSizes];
    }
    static constexpr int MaxSizes = 54;
    static QByteArray points(int hundredthsMm)
    {
        return QByteArray::number(hundredthsMm * 72.0 / 2540.0, 'f', 2);
    }

    QByteArray text() const
    {
        QByteArray ppd =
            "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n*LanguageVersion: English\n"
            "*LanguageEncoding: ISOLatin1\n*PCFileName: \"NORVIK.PPD\"\n*Manufacturer: \"Norvik\"\n*Product: \"(Norvik Test)\"\n"
            "*ModelName: \"Norvik Test\"\n*ShortNickName: \"Norvik Test\"\n*NickName: \"Norvik Test Printer\"\n"
            "*PSVersion: \"(3010.000) 0\"\n*LanguageLevel: \"3\"\n*ColorDevice: False\n*DefaultColorSpace: Gray\n"
            "*FileSystem: False\n*Throughput: \"1\"\n*LandscapeOrientation: Plus90\n*TTRasterizer: Type42\n";
        const QByteArray first = size(0);
        QByteArray sizes, regions, areas, dimensions;
        for (int i = 0; i < sizeCount; ++i) {
            const QByteArray name = size(i);
            const pwg_media_t *media = pwgMediaForPPD(size(i));
            const QByteArray w = points(media->width);
            const QByteArray h = points(media->length);
            sizes += "*PageSize " + name + "/" + name + ": \"<</PageSize[" + w + " " + h + "]>>setpagedevice\"\n";
            regions += "*PageRegion " + name + "/" + name + ": \"<</PageSize[" + w + " " + h + "]>>setpagedevice\"\n";
            areas += "*ImageableArea " + name + ": \"0 0 " + w + " " + h + "\"\n";
            dimensions += "*PaperDimension " + name + ": \"" + w + " " + h + "\"\n";
        }
        ppd += "*OpenUI *PageSize/Media Size: PickOne\n*OrderDependency: 10 AnySetup *PageSize\n*DefaultPageSize: " + first + "\n" + sizes
            + "*CloseUI: *PageSize\n";
        ppd += "*OpenUI *PageRegion/Media Size: PickOne\n*OrderDependency: 10 AnySetup *PageRegion\n*DefaultPageRegion: " + first + "\n" + regions
            + "*CloseUI: *PageRegion\n";
        ppd += "*DefaultImageableArea: " + first + "\n" + areas + "*DefaultPaperDimension: " + first + "\n" + dimensions;
        if (customSize) {
            ppd +=
                "*HWMargins: 0 0 0 0\n*MaxMediaWidth: \"1000\"\n*MaxMediaHeight: \"1000\"\n"
                "*CustomPageSize True: \"pop pop pop <</PageSize[5 -2 roll]>>setpagedevice\"\n"
                "*ParamCustomPageSize Width: 1 points 36 1000\n*ParamCustomPageSize Height: 2 points 36 1000\n"
                "*ParamCustomPageSize WidthOffset: 3 points 0 0\n*ParamCustomPageSize HeightOffset: 4 points 0 0\n"
                "*ParamCustomPageSize Orientation: 5 int 0 0\n";
        }
        ppd +=
            "*OpenUI *Accessories/Accessories: PickMany\n*OrderDependency: 30 AnySetup *Accessories\n*DefaultAccessories: Tray2\n"
            "*Accessories Tray2/Second tray: \"\"\n*Accessories Envelope/Envelope feeder: \"\"\n*CloseUI: *Accessories\n"
            "*OpenUI *Toner/Toner saving: Boolean\n*OrderDependency: 30 AnySetup *Toner\n*DefaultToner: False\n"
            "*Toner True/On: \"\"\n*Toner False/Off: \"\"\n*CloseUI: *Toner\n";
        if (finishings) {
            ppd +=
                "*OpenUI *StapleLocation/Staple: PickOne\n*OrderDependency: 20 AnySetup *StapleLocation\n*DefaultStapleLocation: None\n"
                "*StapleLocation None/No stapling: \"\"\n*StapleLocation Single/Single staple: \"\"\n"
                "*StapleLocation PunchTop/Punch top: \"\"\n*StapleLocation PunchLeft/Punch left: \"\"\n*CloseUI: *StapleLocation\n"
                "*cupsIPPFinishings 4/staple: \"*StapleLocation Single\"\n"
                "*cupsIPPFinishings 71/punch-top-left: \"*StapleLocation PunchTop\"\n"
                "*cupsIPPFinishings 74/punch-left: \"*StapleLocation PunchLeft\"\n";
        }
        ppd += "*DefaultFont: Courier\n*Font Courier: Standard \"(001.000)\" Standard ROM\n";
        return ppd;
    }

    bool write(const QString &path) const
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(text()) > 0;
    }
};

#endif
