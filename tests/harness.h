// SPDX-License-Identifier: ISC
// Test harness: runs the built mailfolders binary as a child process and
// builds fixture trees in fresh temporary directories.
#ifndef MAILFOLDERS_TEST_HARNESS_H
#define MAILFOLDERS_TEST_HARNESS_H

#include <sys/resource.h>
#include <sys/types.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mftest {

namespace fs = std::filesystem;

// Path of the binary under test.
const char *binary();

// The text the tool's own C library gives for errnum, as its messages show
// it: glibc's and musl's differ ("File name too long", "Filename too long").
std::string reason(int errnum);

// Whether the fault-injection library can be preloaded into the tool: not
// into one built elsewhere, such as the static binary, whose C library
// may not be this build's or may load nothing at all.
bool preloadable();

// The absolute path of program on PATH, or "" if there is none.
std::string onpath(const std::string &program);

// Why Invocation::failwrite cannot be used here, or "" if it can: strace is
// not installed, or may not trace (a sandbox that forbids ptrace).
std::string whynostrace();

// Where the child's standard output goes.
enum class Output {
	Pipe,     // its own pipe, read into Result::out
	Merged,   // one pipe shared with standard error, read into Result::out
	DevFull,  // /dev/full: every write fails with ENOSPC
	Closed,   // file descriptor 1 closed
};

// The write to standard output that fails, taken at the system call by
// strace, which runs the tool: nth counts from 0; write and writev are
// counted apart, as stdio uses one of them (glibc write, musl writev).
struct WriteFault {
	int nth;
	int error;  // EIO or EAGAIN
};

struct Invocation {
	std::vector<std::string> argv;  // argv[0] included; empty gives argc 0
	Output output = Output::Pipe;
	std::string cwd;                // working directory, if not empty
	std::optional<uid_t> user;      // setgid/setuid to this id before exec
	std::optional<rlim_t> maxfiles; // RLIMIT_NOFILE for the child
	std::vector<std::pair<std::string, std::string>> env;  // added
	std::string program;            // what to execute, if not binary()
	std::optional<WriteFault> failwrite;  // run under strace, failing it
};

struct Result {
	std::string out;
	std::string err;
	int status = -1;  // exit status, or 128 + signal number
};

Result run(const Invocation &inv);

// mailfolders with the one argument root, invoked by its full path.
Result mailfolders(const std::string &root);

// The unprivileged user the permission tests run as.
constexpr uid_t nobody = 65534;

// A fresh directory under the system's temporary directory, traversable by
// every user and removed with everything in it when the object goes.
class TempDir {
public:
	TempDir();
	~TempDir();
	TempDir(const TempDir &) = delete;
	TempDir &operator=(const TempDir &) = delete;
	const fs::path &path() const { return path_; }
	std::string str() const { return path_.string(); }

private:
	fs::path path_;
};

// One node of a fixture tree, its path relative to the tree's root.
struct Node {
	enum Kind { Dir, File, Link, Fifo, Socket } kind;
	std::string path;
	std::string target;  // for Link: the symbolic link's contents
};

inline Node dir(std::string p) { return {Node::Dir, std::move(p), {}}; }
inline Node file(std::string p) { return {Node::File, std::move(p), {}}; }
inline Node fifo(std::string p) { return {Node::Fifo, std::move(p), {}}; }
inline Node socket(std::string p) { return {Node::Socket, std::move(p), {}}; }
inline Node link(std::string p, std::string target)
{
	return {Node::Link, std::move(p), std::move(target)};
}

// Creates the nodes beneath root, with any missing parent directories.
void build(const fs::path &root, const std::vector<Node> &nodes);

// The names dir lists, in the file system's own order, without . and ..
std::vector<std::string> listing(const fs::path &dir);

// The listing positions a depth-first walk passes through to reach rel, a
// path relative to root: walk order is the lexicographic order of these.
std::vector<size_t> pathkey(const fs::path &root, const std::string &rel);

// The output expected for the folder names words under root: each word as
// "+name ", ordered the way a depth-first walk in listing order meets the
// "cur" entries.  The empty name stands for the root itself.
std::string inlistingorder(const fs::path &root, const std::vector<std::string> &words);

// The same, for a walk that stops at point (a pathkey, which may go on
// with a position within the last directory): only the words written
// before it.
std::string walkedbefore(const fs::path &root, const std::vector<std::string> &words,
    const std::vector<size_t> &point);

// What file holds, or "" if there is no such file.
std::string slurp(const fs::path &file);

// The example configuration's files in examples/, as the README tells a
// user to install them: in ~/.config/mailfolders/.
inline const char *const examplefiles[] = {"muttrc", "neomuttrc", "mailfolders.rc", "sidebar.rc"};

// top followed by levels times "/a": a chain of nested directories.
std::string chain(const std::string &top, int levels);

// name as a word must carry it: control bytes and DEL as a backslash and
// three octal digits, the bytes a mail client's command parser acts on
// behind a backslash, every other byte as it is.
std::string escaped(const std::string &name);

// "+name " for each name, escaped, in the order given.
std::string wordsof(const std::vector<std::string> &names);

// Names the instances of a parameterised test after their cases' labels.
struct ByLabel {
	template <class Case>
	std::string operator()(const ::testing::TestParamInfo<Case> &info) const
	{
		return info.param.label;
	}
};

}  // namespace mftest

#endif
