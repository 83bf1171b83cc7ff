#ifndef CUPS_TRANSLATION_H
#define CUPS_TRANSLATION_H

#include <KLocalizedString>

namespace CUPS
{
/// A text of the "libnorvik-print" catalogue, translated for the user.
/// po/Messages.sh extracts the calls by this name.
inline QString translated(const char *text)
{
    return ki18nd("libnorvik-print", text).toString();
}
} // namespace CUPS

#endif
