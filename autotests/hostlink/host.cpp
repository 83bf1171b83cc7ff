#include <printerlistmodel.h>
#include <printerswidget.h>

#include <QAction>
#include <QApplication>
#include <QMenu>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    CUPS::PrintersWidget widget;
    const QAction *reload = widget.action(CUPS::PrintersWidget::Reload);
    if (!reload || widget.mainMenu()->actions().isEmpty() || widget.model()->rowCount() != 2) {
        std::fprintf(stderr, "the printers widget is not what the header promises\n");
        return 1;
    }
    std::printf("host linked: %s\n", qPrintable(reload->text()));
    return 0;
}
