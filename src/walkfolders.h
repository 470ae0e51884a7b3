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

/*
 * Room for a path as a message shows it: 4096 bytes, more than any path the
 * system opens, each byte possibly written as four.
 */
enum { SHOWNPATHSIZE = 4 * 4096 + 1 };

/*
 * path as a message shows it: control bytes as the words write them, in
 * shown if there are any, else path itself.
 */
const char *showpath(char shown[SHOWNPATHSIZE], const char *path);

#endif
