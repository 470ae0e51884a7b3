// SPDX-License-Identifier: ISC
// The limits: path length, depth, and standard output that cannot be
// written.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>

#include <string>

#include "harness.h"

namespace mftest {
namespace {

// A relative path of exactly len bytes, in components a file system takes.
std::string padding(size_t len)
{
	std::string path;
	while (len > 255) {
		path += std::string(200, 'p') + "/";
		len -= 201;
	}
	return path + std::string(len, 'q');
}

constexpr size_t maxpath = 1023;

struct LengthCase {
	const char *label;
	size_t dirlen;            // length of the directory path D
	std::vector<Node> inside; // beneath D
	bool folder;              // D's word is written
	std::string toolong;      // beneath D: the entry named in the failure
};

void PrintTo(const LengthCase &c, std::ostream *os) { *os << c.label; }

class PathLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(PathLength, FitsUpTo1023BytesAndFailsBeyond)
{
	const auto &c = GetParam();
	TempDir t;
	std::string name = padding(c.dirlen - t.str().size() - 1);
	std::string d = t.str() + "/" + name;
	ASSERT_EQ(d.size(), c.dirlen);
	fs::create_directories(d);
	build(d, c.inside);

	Result r = mailfolders(t.str());
	if (c.toolong.empty()) {
		EXPECT_EQ(r.err, "");
		EXPECT_EQ(r.out, c.folder ? wordsof({name}) : "");
		EXPECT_EQ(r.status, 0);
	} else {
		EXPECT_EQ(r.err, "mailfolders: stat(" + d + "/" + c.toolong + "): " +
		    reason(ENAMETOOLONG) + "\n");
		EXPECT_EQ(r.out, "");
		EXPECT_EQ(r.status, 1);
	}
}

INSTANTIATE_TEST_SUITE_P(Limits, PathLength, ::testing::Values(
	LengthCase{"CurAtExactly1023", maxpath - 4, {dir("cur")}, true, ""},
	LengthCase{"EmptyDirectoryAtExactly1023", maxpath - 4, {dir("sub")}, false, ""},
	LengthCase{"CurAt1024", maxpath - 3, {dir("cur")}, false, "cur"},
	LengthCase{"FileAt1024", maxpath - 3, {file("msg")}, false, "msg"},
	// Past the limit by more than one byte: a check for exactly 1024 misses it.
	LengthCase{"FileAt1025", maxpath - 2, {file("msg")}, false, "msg"},
	LengthCase{"EntryBeneathDirectoryAt1023", maxpath - 4, {dir("sub/x")}, false, "sub/x"}),
	ByLabel());

TEST(Limits, FiveHundredLevelsDeep)
{
	TempDir t;
	std::string name = chain("a", 499);
	build(t.path(), {dir("r/" + name + "/cur"), dir("r/a/cur")});
	Result r = run({{binary(), "r"}, Output::Pipe, t.str()});
	EXPECT_EQ(r.out, inlistingorder(t.path() / "r", {"a", name}));
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.status, 0);
}

// An mbox archive of several GiB beside a folder's cur is common; its size
// does not fit in 32 bits, and the walk must still read its status.
TEST(Limits, FileLargerThan4GiBBesideCur)
{
	TempDir t;
	build(t.path(), {dir("inbox/cur"), dir("inbox/new"), file("inbox/archive.mbox"),
			 dir("lists/cur")});
	constexpr off_t size = (off_t{5} << 30) + 1;
	static_assert(sizeof(off_t) == 8, "the tests are built with 64-bit offsets");
	// Sparse: it takes no room on the disk.
	ASSERT_EQ(truncate((t.path() / "inbox/archive.mbox").c_str(), size), 0);
	ASSERT_EQ(fs::file_size(t.path() / "inbox/archive.mbox"), static_cast<uintmax_t>(size));
	Result r = mailfolders(t.str());
	EXPECT_EQ(r.out, inlistingorder(t.path(), {"inbox", "lists"}));
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.status, 0);
}

struct OutputCase {
	const char *label;
	Output output;
	int folders;
	int error;  // reported as "stdout: <reason>"; 0: none, status 0
};

void PrintTo(const OutputCase &c, std::ostream *os) { *os << c.label; }

class BrokenOutput : public ::testing::TestWithParam<OutputCase> {};

TEST_P(BrokenOutput, IsReportedOnceAndFails)
{
	const auto &c = GetParam();
	TempDir t;
	std::vector<Node> tree = {file("notes"), dir("plain")};
	for (int i = 0; i < c.folders; i++)
		tree.push_back(dir("folder-with-a-long-name-" + std::to_string(i) + "/cur"));
	build(t.path(), tree);

	Result r = run({{binary(), t.str()}, c.output});
	EXPECT_EQ(r.err, c.error == 0 ? "" : "mailfolders: stdout: " + reason(c.error) + "\n");
	EXPECT_EQ(r.status, c.error == 0 ? 0 : 1);
}

// Many folders make the buffer fill and fail in the middle of the walk.
INSTANTIATE_TEST_SUITE_P(Limits, BrokenOutput, ::testing::Values(
	OutputCase{"FullNoFolders", Output::DevFull, 0, 0},
	OutputCase{"FullOneFolder", Output::DevFull, 1, ENOSPC},
	OutputCase{"FullManyFolders", Output::DevFull, 1000, ENOSPC},
	OutputCase{"ClosedNoFolders", Output::Closed, 0, 0},
	OutputCase{"ClosedOneFolder", Output::Closed, 1, EBADF},
	OutputCase{"ClosedManyFolders", Output::Closed, 1000, EBADF}),
	ByLabel());

}  // namespace
}  // namespace mftest
