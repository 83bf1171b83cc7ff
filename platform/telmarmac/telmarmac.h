#ifndef TELMARMAC_H
#define TELMARMAC_H

#include "telmarmacqt5_export.h"

/**
 * @file
 * The MAC configuration file, /etc/telmar/mac.conf, is UTF-8 text; the
 * environment variable TELMAR_MAC_CONFIG names another file to use instead.
 * Blank lines and lines starting with '#' are skipped, spaces around keys,
 * values and section names are ignored:
 *
 *     enabled=yes
 *
 *     [levels]
 *     0=Unclassified
 *     1=Confidential
 *
 *     [integrity]
 *     0=Low
 *     1=High
 *
 *     [categories]
 *     0=Finance
 *     5=Personnel
 *
 * Before the first section only "enabled" may appear, once, with yes/no,
 * true/false, on/off or 1/0 in any case. Each section, present at most once,
 * names values: the key is a plain decimal number (no sign, no leading
 * zero) within 0-255 for levels, 0-4294967295 for integrity levels and 0-63
 * for categories, once per section, and the name is not empty. A section
 * replaces the built-in names of its kind; a kind without a section keeps
 * them. A file that breaks any of these rules is ignored as a whole, with a
 * warning: MAC counts as off and the built-in names are used.
 *
 * The file is read again whenever it is asked about, so changes count at
 * once (the widgets pick up new names on rebuild()).
 */

/**
 * Whether this system runs with mandatory access control, so that security
 * labels are worth showing and editing.
 *
 * The environment variable TELMAR_MAC_ENABLED, when set and not empty,
 * decides on its own: yes/true/on/1 (any case) turn MAC on, anything else
 * turns it off. Otherwise the "enabled" line of the configuration file
 * decides; without one, and when the file is missing, unreadable or
 * malformed, the answer is false.
 */
TELMARMACQT5_EXPORT bool telmar_mac_enabled();

#endif
