#ifndef CUPS_JOURNALHTML_H
#define CUPS_JOURNALHTML_H

#include <QString>

class QTreeWidget;

namespace CUPS
{
/// The table as printed: a header row and one row per top-level item, every
/// text HTML-escaped (journal texts come from users).
QString journalTableHtml(const QTreeWidget *tree);
} // namespace CUPS

#endif
