// SPDX-License-Identifier: ISC
// Every way the walk can fail, made to happen: for real where a file system
// can be arranged to fail, by the fault-injection library where it cannot.
// Each must end the run at once with its message and status 1, and still
// deliver the words written before it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "harness.h"

namespace mftest {
namespace {

enum class Fault {
	Unreadable,    // chmod 0 on where; run unprivileged
	Unsearchable,  // chmod 0644 on where's parent; run unprivileged
	Opendir,       // injected: opendir(where) fails
	Readdir,       // injected: reading where's stream fails after `after` entries
	Closedir,      // injected: closedir of where's stream fails
	ReaddirAndClosedir,  // injected: both of the above
	Lstat,         // injected: lstat(where) fails
};

struct FaultCase {
	const char *label;
	Fault fault;
	std::string where;    // relative to the root; empty for the root itself
	int after;            // Readdir only
	int error;            // the error number: injected, or the one the fault gives
	std::string message;  // what follows "mailfolders: ", before the reason
	std::string root = "Mail";  // the argument: the store's path, as given
};

void PrintTo(const FaultCase &c, std::ostream *os) { *os << c.label; }

const char nopreload[] = "the tool under test was built elsewhere (MAILFOLDERS_TOOL_DIR): "
	"the fault library cannot be preloaded into it";

const std::vector<Node> store = {
	dir("a/cur"), dir("a/new"), dir("a/tmp"),
	dir("b/cur"), dir("b/sub/cur"),
	dir("c/d/cur"), dir("c/e/cur"), file("c/notes"),
	dir("f/cur"),
	dir("g/h/cur"),
	file("message"), link("alias", "a"),
};
const std::vector<std::string> folders = {"a", "b", "b/sub", "c/d", "c/e", "f", "g/h"};

const char *callname(Fault f)
{
	switch (f) {
	case Fault::Opendir: return "opendir";
	case Fault::Readdir: return "readdir";
	case Fault::Closedir: return "closedir";
	case Fault::ReaddirAndClosedir: return "readdir,closedir";
	case Fault::Lstat: return "lstat";
	default: return nullptr;
	}
}

bool unprivileged(Fault f) { return f == Fault::Unreadable || f == Fault::Unsearchable; }

// Where in the walk the fault strikes, as a pathkey.
std::vector<size_t> faultpoint(const fs::path &root, const FaultCase &c)
{
	auto key = pathkey(root, c.where);
	if (c.fault == Fault::Readdir || c.fault == Fault::ReaddirAndClosedir)
		key.push_back(static_cast<size_t>(c.after));
	else if (c.fault == Fault::Closedir)
		key.push_back(SIZE_MAX);
	return key;
}

class Failure : public ::testing::TestWithParam<FaultCase> {};

TEST_P(Failure, EndsTheRunWithItsMessageAndDeliversEarlierWords)
{
	const auto &c = GetParam();
	if (unprivileged(c.fault) && geteuid() != 0)
		GTEST_SKIP() << "needs root to run the tool as another user";
	if (!unprivileged(c.fault) && !preloadable())
		GTEST_SKIP() << nopreload;
	TempDir t;
	fs::path root = t.path() / "Mail";
	build(root, store);
	std::string path = c.where.empty() ? c.root : c.root + "/" + c.where;

	// The root is given relative, so every path in a message is too.
	Invocation inv{{"mailfolders", c.root}, Output::Merged, t.str()};
	if (unprivileged(c.fault)) {
		// A copy the unprivileged user can run wherever the build is.
		inv.program = (t.path() / "mailfolders").string();
		fs::copy_file(binary(), inv.program);
		inv.user = nobody;
		fs::path target = c.fault == Fault::Unreadable ? root / c.where
		                                                : (root / c.where).parent_path();
		fs::permissions(target, fs::perms(c.fault == Fault::Unreadable ? 0 : 0644));
	} else {
		inv.env = {{"LD_PRELOAD", MAILFOLDERS_FAULTINJECT},
			   {"FAULT_CALL", callname(c.fault)},
			   {"FAULT_PATH", path},
			   {"FAULT_AFTER", std::to_string(c.after)},
			   {"FAULT_ERRNO", std::to_string(c.error)}};
	}

	Result r = run(inv);
	// closedir is reported with errx: there is no reason to give.
	std::string message = c.message;
	if (c.fault != Fault::Closedir)
		message += ": " + reason(c.error);
	// The message comes first: the words were still in the buffer.
	EXPECT_EQ(r.out, "mailfolders: " + message + "\n" +
	    walkedbefore(root, folders, faultpoint(root, c)));
	EXPECT_EQ(r.status, 1);
}

INSTANTIATE_TEST_SUITE_P(Faults, Failure, ::testing::Values(
	FaultCase{"UnreadableDirectory", Fault::Unreadable, "c", 0, EACCES,
		"opendir(Mail/c)"},
	FaultCase{"UnsearchableDirectory", Fault::Unsearchable, "g/h", 0, EACCES,
		"stat(Mail/g/h)"},
	FaultCase{"OpendirOutOfStreams", Fault::Opendir, "c", 0, EMFILE,
		"opendir(Mail/c)"},
	FaultCase{"OpendirOfFolder", Fault::Opendir, "b/sub", 0, EACCES,
		"opendir(Mail/b/sub)"},
	FaultCase{"ReaddirAtFirstRead", Fault::Readdir, "", 0, EIO,
		"readdir(Mail)"},
	FaultCase{"ReaddirAfterSomeEntries", Fault::Readdir, "", 3, EIO,
		"readdir(Mail)"},
	FaultCase{"ReaddirBelowTheRoot", Fault::Readdir, "c", 1, EOVERFLOW,
		"readdir(Mail/c)"},
	// The walk meets the read failure first; closing must not hide it.
	FaultCase{"ReaddirThenClosedir", Fault::ReaddirAndClosedir, "c", 1, EIO,
		"readdir(Mail/c)"},
	FaultCase{"ClosedirBelowTheRoot", Fault::Closedir, "c", 0, EIO, "closedir"},
	FaultCase{"ClosedirOfTheRoot", Fault::Closedir, "", 0, EBADF, "closedir"},
	FaultCase{"VanishedDirectory", Fault::Lstat, "c/d", 0, ENOENT,
		"stat(Mail/c/d)"},
	FaultCase{"VanishedCur", Fault::Lstat, "b/cur", 0, ENOENT,
		"stat(Mail/b/cur)"},
	FaultCase{"VanishedFile", Fault::Lstat, "message", 0, ENOENT,
		"stat(Mail/message)"},
	// A trailing slash on the root is kept, and doubled below it.
	FaultCase{"ReaddirOfRootWithTrailingSlash", Fault::Readdir, "", 2, EIO,
		"readdir(Mail/)", "Mail/"},
	FaultCase{"VanishedBelowRootWithTrailingSlash", Fault::Lstat, "c/d", 0, ENOENT,
		"stat(Mail//c/d)", "Mail/"},
	FaultCase{"UnreadableBelowRootWithTrailingSlash", Fault::Unreadable, "c", 0, EACCES,
		"opendir(Mail//c)", "Mail/"}),
	ByLabel());

// Each level keeps its stream open while it descends, so a deep enough tree
// runs out of descriptors.
TEST(Faults, TooManyOpenStreams)
{
	TempDir t;
	const std::string deep = chain("Mail", 40);
	build(t.path(), {dir(deep + "/cur")});
	Invocation inv{{"mailfolders", "Mail"}, Output::Pipe, t.str()};
	inv.maxfiles = 16;
	// LeakSanitizer needs descriptors of its own at exit; there are none.
	const char *asan = std::getenv("ASAN_OPTIONS");
	inv.env = {{"ASAN_OPTIONS", std::string(asan != nullptr ? asan : "") + ":detect_leaks=0"}};
	Result r = run(inv);

	// Somewhere down the chain: which level depends on what the process
	// had open already.
	const std::string head = "mailfolders: opendir(Mail";
	const std::string tail = "): " + reason(EMFILE) + "\n";
	ASSERT_GT(r.err.size(), head.size() + tail.size()) << r.err;
	ASSERT_EQ(r.err.substr(0, head.size()), head) << r.err;
	ASSERT_EQ(r.err.substr(r.err.size() - tail.size()), tail) << r.err;
	std::string levels = r.err.substr(head.size(), r.err.size() - head.size() - tail.size());
	EXPECT_EQ(levels.size() % 2, 0u) << levels;
	for (size_t i = 0; i + 1 < levels.size(); i += 2)
		EXPECT_EQ(levels.substr(i, 2), "/a") << levels;
	EXPECT_LT(levels.size(), deep.size() - 4);
	EXPECT_EQ(r.out, "");
	EXPECT_EQ(r.status, 1);
}

// Nothing inside cur, new or tmp is ever opened: directories there that
// may not be read change nothing.
TEST(Faults, NeverOpensMaildirSubdirectories)
{
	if (geteuid() != 0)
		GTEST_SKIP() << "needs root to run the tool as another user";
	TempDir t;
	fs::path root = t.path() / "Mail";
	build(root, {dir("a/cur/x"), dir("a/new/y"), dir("a/tmp/z"), dir("b/cur"),
		     dir("c/new"), dir("tmp")});
	for (const char *p : {"a/cur/x", "a/new/y", "a/tmp/z", "b/cur", "c/new", "tmp"})
		fs::permissions(root / p, fs::perms(0));
	Invocation inv{{"mailfolders", "Mail"}, Output::Pipe, t.str(), nobody};
	inv.program = (t.path() / "mailfolders").string();
	fs::copy_file(binary(), inv.program);
	Result r = run(inv);
	EXPECT_EQ(r.out, inlistingorder(root, {"a", "b"}));
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.status, 0);
}

// A successful call may leave errno set (POSIX allows it of lstat, printf
// and others).  The end of a listing sets no errno, so a walk that does not
// clear it before each read would take the end for a read failure: on the
// first read of a directory (after opendir, where the file system lists no
// . and ..) or on a later one (after lstat).
struct ErrnoCase {
	const char *label;
	std::vector<Node> tree;
	std::vector<std::string> folders;
};

void PrintTo(const ErrnoCase &c, std::ostream *os) { *os << c.label; }

class LeftoverErrno : public ::testing::TestWithParam<ErrnoCase> {};

TEST_P(LeftoverErrno, IsNoReadFailure)
{
	const auto &c = GetParam();
	if (!preloadable())
		GTEST_SKIP() << nopreload;
	TempDir t;
	fs::path root = t.path() / "Mail";
	fs::create_directory(root);
	build(root, c.tree);
	Invocation inv{{"mailfolders", "Mail"}, Output::Pipe, t.str()};
	inv.env = {{"LD_PRELOAD", MAILFOLDERS_FAULTINJECT},
		   {"FAULT_SUCCESS_ERRNO", std::to_string(EIO)},
		   {"FAULT_NODOTS", "1"}};
	Result r = run(inv);
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.out, inlistingorder(root, c.folders));
	EXPECT_EQ(r.status, 0);
}

INSTANTIATE_TEST_SUITE_P(Faults, LeftoverErrno, ::testing::Values(
	ErrnoCase{"FirstReadOfTheRoot", {}, {}},
	ErrnoCase{"FirstReadBelowTheRoot", {dir("empty")}, {}},
	ErrnoCase{"LaterReads", {dir("a/cur"), dir("a/new"), file("a/index"), file("notes"),
		dir("b/c/cur"), link("alias", "a")}, {"a", "b/c"}}),
	ByLabel());

// A write to standard output that fails once and then works again, as on a
// pipe someone set non-blocking (EAGAIN) or a device with a passing fault
// (EIO).  The stream keeps working after it, so only a check of the very
// call that failed can tell: the words in the failed write are lost, and
// the run must not end with status 0.
struct WriteCase {
	const char *label;
	std::string folder;
	int others;       // more folders, to fill the buffer many times over
	bool unbuffered;  // each output call of the tool is one write
	int failing;      // the write that fails, counted from 0
	int error;
	std::string out;  // what reaches the reader, if unbuffered
};

void PrintTo(const WriteCase &c, std::ostream *os) { *os << c.label; }

class WriteFailsOnce : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteFailsOnce, EndsTheRunWithTheReason)
{
	const auto &c = GetParam();
	if (!whynostrace().empty())
		GTEST_SKIP() << whynostrace();
	if (c.unbuffered && !preloadable())
		GTEST_SKIP() << nopreload;
	TempDir t;
	std::vector<Node> tree = {dir(c.folder + "/cur")};
	for (int i = 0; i < c.others; i++)
		tree.push_back(dir("folder-with-a-long-name-" + std::to_string(i) + "/cur"));
	build(t.path(), tree);
	Invocation inv{{"mailfolders", "."}, Output::Pipe, t.str()};
	inv.failwrite = WriteFault{c.failing, c.error};
	if (c.unbuffered)
		inv.env = {{"LD_PRELOAD", MAILFOLDERS_FAULTINJECT}, {"FAULT_UNBUFFERED", "1"}};
	Result r = run(inv);
	EXPECT_EQ(r.err, "mailfolders: stdout: " + reason(c.error) + "\n");
	EXPECT_EQ(r.status, 1);
	if (c.unbuffered) {
		EXPECT_EQ(r.out, c.out);
	}
}

// Unbuffered, the word for "a b" is five writes: "+", "a", "\ ", "b", " ";
// for "a<TAB>b" the third is "\011".  Each kind of write a word is made of
// fails in turn; what the reader gets is the writes before it.  Buffered,
// the first or a later buffer of words fails in the middle of the walk, or
// the only one as it is flushed at the end.
INSTANTIATE_TEST_SUITE_P(Faults, WriteFailsOnce, ::testing::Values(
	WriteCase{"Plus", "a b", 0, true, 0, EIO, ""},
	WriteCase{"PlainRun", "a b", 0, true, 1, EIO, "+"},
	WriteCase{"EscapedByte", "a b", 0, true, 2, EIO, "+a"},
	WriteCase{"EscapedControlByte", "a\tb", 0, true, 2, EIO, "+a"},
	WriteCase{"PlainRunAfterEscape", "a b", 0, true, 3, EAGAIN, "+a\\ "},
	WriteCase{"ClosingSpace", "a b", 0, true, 4, EIO, "+a\\ b"},
	WriteCase{"FirstBuffer", "a", 1000, false, 0, EAGAIN, ""},
	WriteCase{"LaterBuffer", "a", 1000, false, 2, EIO, ""},
	WriteCase{"FlushAtExit", "a", 0, false, 0, EIO, ""}),
	ByLabel());

}  // namespace
}  // namespace mftest
