#include "journalhtml.h"

#include <QTreeWidget>

namespace CUPS
{
namespace
{
QString row(const QStringList &cells)
{
    QString html = QStringLiteral("<tr>\n");
    for (const QString &cell : cells) {
        html += QStringLiteral("<td bgcolor=white>%1</td>\n").arg(cell.toHtmlEscaped());
    }
    return html + QStringLiteral("</tr>\n");
}

QStringList texts(const QTreeWidgetItem *item, int columns)
{
    QStringList cells;
    for (int column = 0; column < columns; ++column) {
        cells.append(item->text(column));
    }
    return cells;
}
} // namespace

QString journalTableHtml(const QTreeWidget *tree)
{
    const int columns = tree->columnCount();
    QString html = QStringLiteral("<HTML>\n"
                                  "<META http-equiv=\"Content-Type\" content=\"text/html;charset=utf-8\">\n"
                                  "</head><body>\n"
                                  "<table bgcolor=black border=0 cellpadding=2 cellspacing=1 style=\"float:none;margin:5px;\">\n");
    html += row(texts(tree->headerItem(), columns));
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        html += row(texts(tree->topLevelItem(i), columns));
    }
    return html + QStringLiteral("</table>\n</body></HTML>\n");
}
} // namespace CUPS
