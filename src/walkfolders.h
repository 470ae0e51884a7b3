/* SPDX-License-Identifier: ISC */

#ifndef WALKFOLDERS_H
#define WALKFOLDERS_H

/*
 * Write "+name " to standard output for every Maildir folder at or below
 * dirpath, in the order the directories list their entries.  foldername is
 * dirpath's name relative to the root of the walk, or NULL for the root.
 * Returns only after the whole tree was walked; every failure ends the
 * process with status 1.
 */
void walkfolders(const char *dirpath, const char *foldername);

#endif
