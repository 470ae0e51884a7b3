// SPDX-License-Identifier: ISC
// The command line: the usage line, the root argument and what is ignored.
#include <gtest/gtest.h>

#include <cerrno>

#include "harness.h"

namespace mftest {
namespace {

struct UsageCase {
	const char *label;
	std::vector<std::string> argv;
	std::string expected_err;
};

void PrintTo(const UsageCase &c, std::ostream *os) { *os << c.label; }

class Usage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(Usage, NamesTheProgramAsInvokedAndFails)
{
	Result r = run({GetParam().argv});
	EXPECT_EQ(r.err, GetParam().expected_err);
	EXPECT_EQ(r.out, "");
	EXPECT_EQ(r.status, 1);
}

INSTANTIATE_TEST_SUITE_P(Cli, Usage, ::testing::Values(
	UsageCase{"FullPath", {binary()}, std::string("usage: ") + binary() + " dir\n"},
	UsageCase{"BareName", {"mailfolders"}, "usage: mailfolders dir\n"},
	// The invocation name is shown as it was given, not shortened.
	UsageCase{"RelativeWithSpace", {"./some dir/mf"}, "usage: ./some dir/mf dir\n"},
	// A first byte of 0x80 or above is negative as a signed char: still a name.
	UsageCase{"NonAsciiFirstByte", {"\xc3\xa9mf"}, "usage: \xc3\xa9mf dir\n"},
	// Control bytes as the words write them: the name cannot drive the
	// terminal.  Every other byte as it is.
	UsageCase{"ControlBytesInName", {"./mf\x1b]0;x\x07\x7f \xc3\xa9"},
		"usage: ./mf\\033]0;x\\007\\177 \xc3\xa9 dir\n"},
	// With no argv at all there is no name to show.
	UsageCase{"NoArgv", {}, "usage: mailfolders dir\n"},
	UsageCase{"EmptyName", {""}, "usage: mailfolders dir\n"}),
	ByLabel());

TEST(Cli, ArgumentsAfterTheFirstAreIgnored)
{
	TempDir t;
	build(t.path(), {dir("a/cur")});
	Result r = run({{binary(), t.str(), "/nonexistent", "-h", ""}});
	EXPECT_EQ(r.out, "+a ");
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.status, 0);
}

struct BadRootCase {
	const char *label;
	std::string root;  // relative to the fixture
	int error;
};

void PrintTo(const BadRootCase &c, std::ostream *os) { *os << c.label; }

class BadRoot : public ::testing::TestWithParam<BadRootCase> {};

TEST_P(BadRoot, FailsToOpenNamingTheArgument)
{
	TempDir t;
	build(t.path(), {file("message"), link("dangling", "nowhere")});
	const auto &c = GetParam();
	Result r = run({{binary(), c.root}, Output::Pipe, t.str()});
	EXPECT_EQ(r.err, "mailfolders: opendir(" + c.root + "): " + reason(c.error) + "\n");
	EXPECT_EQ(r.out, "");
	EXPECT_EQ(r.status, 1);
}

INSTANTIATE_TEST_SUITE_P(Cli, BadRoot, ::testing::Values(
	BadRootCase{"Missing", "nonexistent", ENOENT},
	BadRootCase{"RegularFile", "message", ENOTDIR},
	BadRootCase{"DanglingLink", "dangling", ENOENT},
	BadRootCase{"Empty", "", ENOENT},
	// The argument is used as given: a trailing slash stays in the message.
	BadRootCase{"MissingWithTrailingSlash", "nonexistent/", ENOENT},
	BadRootCase{"RegularFileWithTrailingSlash", "message/", ENOTDIR}),
	ByLabel());

TEST(Cli, MessagesUseTheLastComponentOfTheInvocationName)
{
	Result r = run({{"/some/where/othername", "/nonexistent"}});
	EXPECT_EQ(r.err, "othername: opendir(/nonexistent): " + reason(ENOENT) + "\n");
	EXPECT_EQ(r.status, 1);
}

TEST(Cli, RootThatIsASymbolicLinkIsFollowed)
{
	TempDir t;
	build(t.path(), {dir("store/inbox/cur"), link("Mail", "store")});
	Result r = mailfolders((t.path() / "Mail").string());
	EXPECT_EQ(r.out, "+inbox ");
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.status, 0);
}

}  // namespace
}  // namespace mftest
