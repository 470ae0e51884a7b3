/* SPDX-License-Identifier: ISC */

#include <sys/stat.h>

#include <dirent.h>
#include <err.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "walkfolders.h"

/* Room for a built entry path or folder name: 1023 bytes and the NUL. */
enum { NAMEBUFSIZE = 1024 };

/* The control bytes of ASCII: 0x01 to 0x1f, and DEL. */
enum { LASTCONTROLBYTE = 0x1f, DELBYTE = 0x7f };

/* How a control byte is written, in the words and in messages alike. */
static const char controlformat[] = "\\%03o";
enum { CONTROLLEN = 4 };

/* Shown paths in the messages about an entry: the directory's and the name. */
static char showndir[SHOWNPATHSIZE];
static char shownname[SHOWNPATHSIZE];

static bool
iscontrolbyte(unsigned char c)
{
	return (c != '\0' && c <= LASTCONTROLBYTE) || c == DELBYTE;
}

static bool
hascontrolbyte(const char *s)
{
	for (; *s != '\0'; s++)
		if (iscontrolbyte((unsigned char)*s))
			return true;
	return false;
}

/*
 * Messages go to a terminal, and a folder name is anyone's text: raw, its
 * escape sequences could retitle or clear the screen of whoever reads the
 * message.  A path longer than the system opens would not fit; it is cut
 * and ends in "...".
 */
const char *
showpath(char shown[SHOWNPATHSIZE], const char *path)
{
	static const char cut[] = "...";
	size_t len = 0;

	if (!hascontrolbyte(path))
		return path;
	for (; *path != '\0'; path++) {
		unsigned char c = (unsigned char)*path;

		if (len + CONTROLLEN + sizeof cut > SHOWNPATHSIZE) {
			memcpy(shown + len, cut, sizeof cut);
			return shown;
		}
		if (iscontrolbyte(c))
			len += (size_t)snprintf(shown + len, CONTROLLEN + 1, controlformat, c);
		else
			shown[len++] = (char)c;
	}
	shown[len] = '\0';
	return shown;
}

/*
 * The words are read back by a mail client's command parser (mutt's
 * "mailboxes `mailfolders ~/Mail`").  Outside quotes that parser splits at
 * blanks, groups in quotes, runs backquotes, expands "$", starts a comment
 * at "#", ends a command at ";" and a line at a newline.  A folder name is
 * anyone's text (an IMAP server or a filter may make it), so these bytes go
 * behind a backslash, and control bytes, which the parser cannot take raw,
 * as the three octal digits it decodes.  Every other byte is written as it
 * is, so plain names come out unchanged.
 */
static bool
isspecialbyte(unsigned char c)
{
	switch (c) {
	case ' ':
	case '"':
	case '\'':
	case '\\':
	case '`':
	case '$':
	case '#':
	case ';':
		return true;
	default:
		return iscontrolbyte(c);
	}
}

static void
putrun(const char *run, size_t len)
{
	if (len > 0 && fwrite(run, 1, len, stdout) != len)
		err(1, "stdout");
}

/* Write name escaped, in runs of plain bytes between the special ones. */
static void
putescaped(const char *name)
{
	const char *run = name;
	const char *p;
	int len;

	for (p = name; *p != '\0'; p++) {
		unsigned char c = (unsigned char)*p;

		if (!isspecialbyte(c))
			continue;
		putrun(run, (size_t)(p - run));
		if (iscontrolbyte(c))
			len = printf(controlformat, c);
		else
			len = printf("\\%c", c);
		if (len < 0)
			err(1, "stdout");
		run = p + 1;
	}
	putrun(run, (size_t)(p - run));
}

/*
 * Write the word for a folder.  The root has no name of its own; its word
 * is "+ ".  A failed write means the reader misses folders, so it ends the
 * run rather than being lost in the buffer.
 */
static void
putword(const char *foldername)
{
	if (putchar('+') == EOF)
		err(1, "stdout");
	if (foldername != NULL)
		putescaped(foldername);
	if (putchar(' ') == EOF)
		err(1, "stdout");
}

/*
 * Build "head/name" in buf, or "name" alone when head is NULL.  A result
 * that does not fit ends the run with the full path of the entry in the
 * message: cut to fit, a path could name the directory being walked again
 * and the walk would never end.
 */
static void
joinname(char *buf, const char *head, const char *name, const char *dirpath)
{
	int len;

	if (head != NULL)
		len = snprintf(buf, NAMEBUFSIZE, "%s/%s", head, name);
	else
		len = snprintf(buf, NAMEBUFSIZE, "%s", name);
	if (len < 0 || len >= NAMEBUFSIZE) {
		errno = ENAMETOOLONG;
		err(1, "stat(%s/%s)", showpath(showndir, dirpath),
		    showpath(shownname, name));
	}
}

static bool
isdotordotdot(const char *name)
{
	return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

static bool
ismaildirsubdir(const char *name)
{
	return strcmp(name, "cur") == 0 || strcmp(name, "new") == 0 ||
	    strcmp(name, "tmp") == 0;
}

/*
 * Both buffers live in this frame and are lent to the next level for the
 * duration of the call, so memory grows with depth, not with entries.
 */
void
walkfolders(const char *dirpath, const char *foldername)
{
	char entrypath[NAMEBUFSIZE];
	char childname[NAMEBUFSIZE];
	struct stat sb;
	struct dirent *dp;
	DIR *dirp;

	if ((dirp = opendir(dirpath)) == NULL)
		err(1, "opendir(%s)", showpath(showndir, dirpath));

	/* readdir returns NULL both at the end and on error; errno tells. */
	for (errno = 0; (dp = readdir(dirp)) != NULL; errno = 0) {
		if (isdotordotdot(dp->d_name))
			continue;
		joinname(entrypath, dirpath, dp->d_name, dirpath);
		/* lstat, so that a symbolic link is never taken for a folder. */
		if (lstat(entrypath, &sb) == -1)
			err(1, "stat(%s)", showpath(showndir, entrypath));
		if ((sb.st_mode & S_IFMT) != S_IFDIR)
			continue;
		if (strcmp(dp->d_name, "cur") == 0)
			putword(foldername);
		if (ismaildirsubdir(dp->d_name))
			continue;
		joinname(childname, foldername, dp->d_name, dirpath);
		walkfolders(entrypath, childname);
	}
	if (errno != 0)
		err(1, "readdir(%s)", showpath(showndir, dirpath));

	if (closedir(dirp) == -1)
		errx(1, "closedir");
}
