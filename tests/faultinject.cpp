// LD_PRELOAD library that makes one chosen call of the tool fail, for the
// failures a healthy file system cannot be made to produce on demand.
//
//   FAULT_CALL   opendir, readdir, closedir or lstat
//   FAULT_PATH   the path the call is about: the directory path given to
//                opendir (its stream, for readdir and closedir), or the
//                path given to lstat
//   FAULT_AFTER  readdir only: entries other than . and .. to return first
//   FAULT_ERRNO  the error number the failing call sets
//
// Every other call goes through to the C library unchanged.
#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

bool faulting(const char *call)
{
	const char *c = std::getenv("FAULT_CALL");
	return c != nullptr && std::strcmp(c, call) == 0;
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

template <class Fn> Fn next(const char *name)
{
	return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

DIR *watched;  // the stream opened on FAULT_PATH
long served;   // entries other than . and .. readdir returned from it

}  // namespace

extern "C" DIR *opendir(const char *path)
{
	static auto real = next<DIR *(*)(const char *)>("opendir");
	if (faulting("opendir") && ispath(path)) {
		errno = static_cast<int>(number("FAULT_ERRNO", EACCES));
		return nullptr;
	}
	DIR *dirp = real(path);
	if (dirp != nullptr && ispath(path)) {
		watched = dirp;
		served = 0;
	}
	return dirp;
}

extern "C" struct dirent *readdir(DIR *dirp)
{
	static auto real = next<struct dirent *(*)(DIR *)>("readdir");
	if (faulting("readdir") && dirp == watched &&
	    served >= number("FAULT_AFTER", 0)) {
		errno = static_cast<int>(number("FAULT_ERRNO", EIO));
		return nullptr;
	}
	struct dirent *dp = real(dirp);
	if (dp != nullptr && dirp == watched && std::strcmp(dp->d_name, ".") != 0 &&
	    std::strcmp(dp->d_name, "..") != 0)
		served++;
	return dp;
}

extern "C" int closedir(DIR *dirp)
{
	static auto real = next<int (*)(DIR *)>("closedir");
	bool fail = faulting("closedir") && dirp == watched;
	if (dirp == watched)
		watched = nullptr;
	int rv = real(dirp);
	if (fail) {
		errno = static_cast<int>(number("FAULT_ERRNO", EIO));
		return -1;
	}
	return rv;
}

extern "C" int lstat(const char *path, struct stat *sb) noexcept
{
	static auto real = next<int (*)(const char *, struct stat *)>("lstat");
	if (faulting("lstat") && ispath(path)) {
		errno = static_cast<int>(number("FAULT_ERRNO", ENOENT));
		return -1;
	}
	return real(path, sb);
}
