// SPDX-License-Identifier: ISC
//
// LD_PRELOAD library that makes chosen calls of the tool fail, for the
// failures a healthy file system cannot be made to produce on demand.
//
//   FAULT_CALL    the calls that fail, separated by commas: opendir,
//                 readdir, closedir, lstat
//   FAULT_PATH    the path the call is about: the directory path given to
//                 opendir (its stream, for readdir and closedir), or the
//                 path given to lstat
//   FAULT_AFTER   readdir: entries other than . and .. to return first
//   FAULT_ERRNO   the error number the failing call sets
//   FAULT_NOTYPE  if set, every entry readdir returns carries DT_UNKNOWN, as
//                 on a file system that keeps no types in its directories
//   FAULT_NODOTS  if set, readdir never returns . and .., as on a file
//                 system that lists no such entries (POSIX allows it)
//   FAULT_UNBUFFERED  if set, standard output is unbuffered, so that each
//                 of the tool's output calls is one write of its own (the
//                 tests fail one of them with strace, at the system call:
//                 stdio writes through the C library's internal entry to
//                 write(2), which no preloaded symbol can take over)
//   FAULT_SUCCESS_ERRNO  every opendir and lstat that succeeds leaves errno
//                 set to this number, as POSIX allows a successful call to
//
// Every other call goes through to the C library unchanged.  Built with
// 64-bit file offsets the tool calls readdir64 and lstat64 instead of
// readdir and lstat, so both names of each are taken here.  This file is
// compiled without _FILE_OFFSET_BITS, which would rename the plain ones.
#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool faulting(const char *call)
{
	const char *c = std::getenv("FAULT_CALL");
	size_t len = std::strlen(call);
	while (c != nullptr && *c != '\0') {
		if (std::strncmp(c, call, len) == 0 && (c[len] == ',' || c[len] == '\0'))
			return true;
		c = std::strchr(c, ',');
		if (c != nullptr)
			c++;
	}
	return false;
}

bool ispath(const char *path)
{
	const char *p = std::getenv("FAULT_PATH");
	return p != nullptr && path != nullptr && std::strcmp(p, path) == 0;
}

long number(const char *name, long dflt)
{
	const char *v = std::getenv(name);
	return v != nullptr ? std::strtol(v, nullptr, 10) : dflt;
}

int fault_errno(int dflt)
{
	return static_cast<int>(number("FAULT_ERRNO", dflt));
}

// After a call that succeeded: leave errno as FAULT_SUCCESS_ERRNO says.
void succeeded()
{
	if (std::getenv("FAULT_SUCCESS_ERRNO") != nullptr)
		errno = static_cast<int>(number("FAULT_SUCCESS_ERRNO", 0));
}

template <class Fn> Fn next(const char *name)
{
	return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

DIR *watched;  // the stream opened on FAULT_PATH
long served;   // entries other than . and .. readdir returned from it

bool isdotordotdot(const char *name)
{
	return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// readdir and readdir64 alike, over the real call real.
template <class Dirent> Dirent *readentry(Dirent *(*real)(DIR *), DIR *dirp)
{
	if (faulting("readdir") && dirp == watched &&
	    served >= number("FAULT_AFTER", 0)) {
		errno = fault_errno(EIO);
		return nullptr;
	}
	Dirent *dp = real(dirp);
	while (dp != nullptr && std::getenv("FAULT_NODOTS") != nullptr &&
	    isdotordotdot(dp->d_name))
		dp = real(dirp);
	if (dp == nullptr)
		return dp;
	if (dirp == watched && !isdotordotdot(dp->d_name))
		served++;
	if (std::getenv("FAULT_NOTYPE") != nullptr)
		dp->d_type = DT_UNKNOWN;
	return dp;
}

// lstat and lstat64 alike, over the real call real.
template <class Stat> int statentry(int (*real)(const char *, Stat *), const char *path, Stat *sb)
{
	if (faulting("lstat") && ispath(path)) {
		errno = fault_errno(ENOENT);
		return -1;
	}
	int rv = real(path, sb);
	if (rv == 0)
		succeeded();
	return rv;
}

__attribute__((constructor)) void setup()
{
	if (std::getenv("FAULT_UNBUFFERED") != nullptr)
		std::setvbuf(stdout, nullptr, _IONBF, 0);
}

}  // namespace

extern "C" DIR *opendir(const char *path)
{
	static auto real = next<DIR *(*)(const char *)>("opendir");
	if (faulting("opendir") && ispath(path)) {
		errno = fault_errno(EACCES);
		return nullptr;
	}
	DIR *dirp = real(path);
	if (dirp == nullptr)
		return dirp;
	if (ispath(path)) {
		watched = dirp;
		served = 0;
	}
	succeeded();
	return dirp;
}

extern "C" struct dirent *readdir(DIR *dirp)
{
	static auto real = next<struct dirent *(*)(DIR *)>("readdir");
	return readentry(real, dirp);
}

extern "C" struct dirent64 *readdir64(DIR *dirp)
{
	static auto real = next<struct dirent64 *(*)(DIR *)>("readdir64");
	return readentry(real, dirp);
}

extern "C" int closedir(DIR *dirp)
{
	static auto real = next<int (*)(DIR *)>("closedir");
	bool fail = faulting("closedir") && dirp == watched;
	if (dirp == watched)
		watched = nullptr;
	int rv = real(dirp);
	if (fail) {
		errno = fault_errno(EIO);
		return -1;
	}
	return rv;
}

extern "C" int lstat(const char *path, struct stat *sb) noexcept
{
	static auto real = next<int (*)(const char *, struct stat *)>("lstat");
	return statentry(real, path, sb);
}

extern "C" int lstat64(const char *path, struct stat64 *sb) noexcept
{
	static auto real = next<int (*)(const char *, struct stat64 *)>("lstat64");
	return statentry(real, path, sb);
}
