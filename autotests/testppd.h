#ifndef TESTPPD_H
#define TESTPPD_H

#include <QByteArray>
#include <QFile>
#include <QString>

/**
 * A small PostScript PPD for tests: sizeCount standard page sizes (at most
 * MaxSizes), optionally a custom page size, a multiple-choice option and stapling that cupsd
 * reports as finishings, including values without a common label.
 */
struct TestPpd {
    int sizeCount = 3;
    bool customSize = false;
    bool finishings = false;

    struct Size {
        const char *ppd;
        const char *pwg;
        int width; // hundredths of millimetres
        int height;
    };
    /// Standard sizes that libcups names by their PPD keyword, so cupsd lists each under its PWG name.
    static const Size &size(int i)
    {
        static const Size sizes[] = {
            {"A0", "iso_a0_841x1189mm", 84100, 118900},
            {"A1", "iso_a1_594x841mm", 59400, 84100},
            {"A2", "iso_a2_420x594mm", 42000, 59400},
            {"A3", "iso_a3_297x420mm", 29700, 42000},
            {"A4", "iso_a4_210x297mm", 21000, 29700},
            {"A5", "iso_a5_148x210mm", 14800, 21000},
            {"A6", "iso_a6_105x148mm", 10500, 14800},
            {"A7", "iso_a7_74x105mm", 7400, 10500},
            {"A8", "iso_a8_52x74mm", 5200, 7400},
            {"A9", "iso_a9_37x52mm", 3700, 5200},
            {"A10", "iso_a10_26x37mm", 2600, 3700},
            {"B0", "jis_b0_1030x1456mm", 103000, 145600},
            {"B1", "jis_b1_728x1030mm", 72800, 103000},
            {"B2", "jis_b2_515x728mm", 51500, 72800},
            {"B3", "jis_b3_364x515mm", 36400, 51500},
            {"B4", "jis_b4_257x364mm", 25700, 36400},
            {"B5", "jis_b5_182x257mm", 18200, 25700},
            {"B6", "jis_b6_128x182mm", 12800, 18200},
            {"B7", "jis_b7_91x128mm", 9100, 12800},
            {"B8", "jis_b8_64x91mm", 6400, 9100},
            {"B9", "jis_b9_45x64mm", 4500, 6400},
            {"B10", "jis_b10_32x45mm", 3200, 4500},
            {"ISOB0", "iso_b0_1000x1414mm", 100000, 141400},
            {"ISOB1", "iso_b1_707x1000mm", 70700, 100000},
            {"ISOB2", "iso_b2_500x707mm", 50000, 70700},
            {"ISOB3", "iso_b3_353x500mm", 35300, 50000},
            {"ISOB4", "iso_b4_250x353mm", 25000, 35300},
            {"ISOB5", "iso_b5_176x250mm", 17600, 25000},
            {"ISOB6", "iso_b6_125x176mm", 12500, 17600},
            {"ISOB7", "iso_b7_88x125mm", 8800, 12500},
            {"ISOB8", "iso_b8_62x88mm", 6200, 8800},
            {"ISOB9", "iso_b9_44x62mm", 4400, 6200},
            {"ISOB10", "iso_b10_31x44mm", 3100, 4400},
            {"EnvC0", "iso_c0_917x1297mm", 91700, 129700},
            {"EnvC1", "iso_c1_648x917mm", 64800, 91700},
            {"EnvC2", "iso_c2_458x648mm", 45800, 64800},
            {"EnvC3", "iso_c3_324x458mm", 32400, 45800},
            {"EnvC4", "iso_c4_229x324mm", 22900, 32400},
            {"EnvC5", "iso_c5_162x229mm", 16200, 22900},
            {"EnvC6", "iso_c6_114x162mm", 11400, 16200},
            {"EnvC7", "iso_c7_81x114mm", 8100, 11400},
            {"EnvC8", "iso_c8_57x81mm", 5700, 8100},
            {"EnvC9", "iso_c9_40x57mm", 4000, 5700},
            {"EnvC10", "iso_c10_28x40mm", 2800, 4000},
            {"RA0", "iso_ra0_860x1220mm", 86000, 122000},
            {"RA1", "iso_ra1_610x860mm", 61000, 86000},
            {"RA2", "iso_ra2_430x610mm", 43000, 61000},
            {"RA3", "iso_ra3_305x430mm", 30500, 43000},
            {"RA4", "iso_ra4_215x305mm", 21500, 30500},
            {"SRA0", "iso_sra0_900x1280mm", 90000, 128000},
            {"SRA1", "iso_sra1_640x900mm", 64000, 90000},
            {"SRA2", "iso_sra2_450x640mm", 45000, 64000},
            {"SRA3", "iso_sra3_320x450mm", 32000, 45000},
            {"SRA4", "iso_sra4_225x320mm", 22500, 32000},
        };
        return sizes[i % int(sizeof(sizes) / sizeof(sizes[0]))];
    }
    static constexpr int MaxSizes = 54;
    static QByteArray points(int hundredthsMm)
    {
        return QByteArray::number(hundredthsMm * 72.0 / 2540.0, 'f', 2);
    }
    static QByteArray firstSize()
    {
        return size(0).ppd;
    }

    QByteArray text() const
    {
        QByteArray ppd =
            "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n*LanguageVersion: English\n"
            "*LanguageEncoding: ISOLatin1\n*PCFileName: \"NORVIK.PPD\"\n*Manufacturer: \"Norvik\"\n*Product: \"(Norvik Test)\"\n"
            "*ModelName: \"Norvik Test\"\n*ShortNickName: \"Norvik Test\"\n*NickName: \"Norvik Test Printer\"\n"
            "*PSVersion: \"(3010.000) 0\"\n*LanguageLevel: \"3\"\n*ColorDevice: False\n*DefaultColorSpace: Gray\n"
            "*FileSystem: False\n*Throughput: \"1\"\n*LandscapeOrientation: Plus90\n*TTRasterizer: Type42\n";
        QByteArray sizes, regions, areas, dimensions;
        for (int i = 0; i < sizeCount; ++i) {
            const QByteArray name = size(i).ppd;
            const QByteArray w = points(size(i).width);
            const QByteArray h = points(size(i).height);
            sizes += "*PageSize " + name + "/" + name + ": \"<</PageSize[" + w + " " + h + "]>>setpagedevice\"\n";
            regions += "*PageRegion " + name + "/" + name + ": \"<</PageSize[" + w + " " + h + "]>>setpagedevice\"\n";
            areas += "*ImageableArea " + name + ": \"0 0 " + w + " " + h + "\"\n";
            dimensions += "*PaperDimension " + name + ": \"" + w + " " + h + "\"\n";
        }
        ppd += "*OpenUI *PageSize/Media Size: PickOne\n*OrderDependency: 10 AnySetup *PageSize\n*DefaultPageSize: " + firstSize() + "\n" + sizes
            + "*CloseUI: *PageSize\n";
        ppd += "*OpenUI *PageRegion/Media Size: PickOne\n*OrderDependency: 10 AnySetup *PageRegion\n*DefaultPageRegion: " + firstSize() + "\n" + regions
            + "*CloseUI: *PageRegion\n";
        ppd += "*DefaultImageableArea: " + firstSize() + "\n" + areas + "*DefaultPaperDimension: " + firstSize() + "\n" + dimensions;
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
