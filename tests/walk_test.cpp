// SPDX-License-Identifier: ISC
// The walk: which directories are folders, what is descended into, and the
// order and form of the words.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "harness.h"

namespace mftest {
namespace {

struct TreeCase {
	const char *label;
	std::vector<Node> tree;
	std::vector<std::string> folders;  // expected words, in any order
};

void PrintTo(const TreeCase &c, std::ostream *os) { *os << c.label; }

class Tree : public ::testing::TestWithParam<TreeCase> {};

TEST_P(Tree, WritesExactlyTheFoldersInListingOrder)
{
	TempDir t;
	build(t.path(), GetParam().tree);
	Result r = mailfolders(t.str());
	EXPECT_EQ(r.out, inlistingorder(t.path(), GetParam().folders));
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.status, 0);
}

// The walk reads every entry's type with lstat: a listing that carries no
// types (as on file systems without them) changes nothing.  The fault
// library takes the types away; a tool it cannot be preloaded into is run
// on a file system without them instead (.ci/static).
TEST_P(Tree, EntriesListedWithoutATypeChangeNothing)
{
	if (!preloadable())
		GTEST_SKIP() << "the tool under test was built elsewhere (MAILFOLDERS_TOOL_DIR): "
			"the fault library, which takes the types away, cannot be preloaded into it";
	TempDir t;
	build(t.path(), GetParam().tree);
	Result r = run({{binary(), t.str()}, Output::Pipe, "", std::nullopt, std::nullopt,
	    {{"LD_PRELOAD", MAILFOLDERS_FAULTINJECT}, {"FAULT_NOTYPE", "1"}}});
	EXPECT_EQ(r.out, inlistingorder(t.path(), GetParam().folders));
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.status, 0);
}

// A trailing slash on the root doubles the slash in paths, never in words.
TEST_P(Tree, TrailingSlashOnTheRootChangesNoWord)
{
	TempDir t;
	build(t.path(), GetParam().tree);
	Result r = mailfolders(t.str() + "/");
	EXPECT_EQ(r.out, inlistingorder(t.path(), GetParam().folders));
	EXPECT_EQ(r.status, 0);
}

INSTANTIATE_TEST_SUITE_P(Walk, Tree, ::testing::Values(
	TreeCase{"EmptyRoot", {}, {}},
	TreeCase{"OnlyFiles", {file("a"), file("b"), file(".c")}, {}},
	TreeCase{"FolderWithAllThreeAndWithCurAlone",
		{dir("a/cur"), dir("a/new"), dir("a/tmp"), dir("b/cur"), file("b/cur/1:2,S")},
		{"a", "b"}},
	TreeCase{"NewAndTmpAloneMakeNoFolder",
		{dir("a/new"), dir("a/tmp"), dir("b/new")}, {}},
	TreeCase{"NestedUnderPlainDirectory",
		{dir("archive/old/cur"), dir("archive/old/new"), file("archive/index")},
		{"archive/old"}},
	TreeCase{"NestedFoldersOnBothSidesOfCur",
		{dir("a/cur"), dir("a/b/cur"), dir("a/c/cur"), dir("a/d/cur"),
		 dir("a/e/cur"), dir("a/e/f/cur")},
		{"a", "a/b", "a/c", "a/d", "a/e", "a/e/f"}},
	TreeCase{"DotNamesOtherThanDotAndDotDot",
		{dir(".Sent/cur"), dir(".x/cur"), dir(".../cur"), dir(".a.b/cur")},
		{".Sent", ".x", "...", ".a.b"}},
	TreeCase{"CurThatIsNoDirectory",
		{file("f/cur"), link("l/cur", "../d/cur"), dir("d/cur"),
		 fifo("p/cur"), socket("s/cur"), link("dangling/cur", "nowhere")},
		{"d"}},
	TreeCase{"SpecialFilesAreSkipped",
		{socket("sock"), fifo("fifo"), dir("a/cur"), socket("a/sock"), fifo("a/new")},
		{"a"}},
	TreeCase{"NamesThatOnlyBeginWithAMaildirName",
		{dir("current/cur"), dir("newsletters/cur"), dir("tmpl/x/cur"),
		 dir("cur2/cur"), dir("b/cured"), dir("b/cur2"), dir("b/newer"),
		 dir("b/tmpx"), dir("b/cu"), dir("b/cu/cur")},
		{"current", "newsletters", "tmpl/x", "cur2", "b/cu"}},
	TreeCase{"SymbolicLinkToFolderIsNotFollowed",
		{dir("real/cur"), link("alias", "real"), link("alias2", "real/"),
		 dir("plain"), link("plain/up", "..")},
		{"real"}},
	TreeCase{"MaildirNamesAreNeverDescendedInto",
		{dir("new/cur"), dir("tmp/x/cur"), dir("a/cur/cur"), dir("a/cur/b/cur"),
		 dir("a/new/cur"), dir("a/tmp/c/cur"), dir("n/new/new/cur")},
		{"a"}},
	TreeCase{"NamesAreCaseSensitive",
		{dir("A/CUR"), dir("B/Cur"), dir("C/NEW/cur"), dir("D/cur")},
		{"C/NEW", "D"}},
	TreeCase{"RootHoldingCurHasTheEmptyName",
		{dir("cur"), dir("new"), dir("tmp"), dir("a/cur"), dir("b/cur")},
		{"", "a", "b"}},
	TreeCase{"NamesWithBytesAParserActsOn",
		{dir("my folder/cur"), dir("caf\xe9/cur"), dir("tab\there/cur"),
		 dir("nl\nx/cur"), dir("+plus%s/cur"), dir("-n/cur")},
		{"my folder", "caf\xe9", "tab\there", "nl\nx", "+plus%s", "-n"}},
	TreeCase{"DeepNesting",
		{dir("a/b/c/d/e/f/g/h/cur"), dir("a/b/c/cur"), dir("a/b/x/cur")},
		{"a/b/c/d/e/f/g/h", "a/b/c", "a/b/x"}}),
	ByLabel());

// The sample store that the README runs the tool on.
TEST(Walk, ExampleStore)
{
	Result r = mailfolders(MAILFOLDERS_EXAMPLES "/Mail");
	EXPECT_EQ(r.out, inlistingorder(MAILFOLDERS_EXAMPLES "/Mail",
	    {"inbox", ".Sent", "lists/dev"}));
	EXPECT_EQ(r.status, 0);
}

// An independent account of the walk, over std::filesystem: what the
// output must be for any tree.
void model(const fs::path &dir, const std::string *name, std::string &out)
{
	for (const auto &e : fs::directory_iterator(dir)) {
		std::string entry = e.path().filename().string();
		if (e.symlink_status().type() != fs::file_type::directory)
			continue;
		if (entry == "cur")
			out += "+" + (name != nullptr ? escaped(*name) : "") + " ";
		if (entry == "cur" || entry == "new" || entry == "tmp")
			continue;
		std::string child = name != nullptr ? *name + "/" + entry : entry;
		model(e.path(), &child, out);
	}
}

// Random trees mixing folders, plain directories, files, links and the
// Maildir names at every depth.
void grow(const fs::path &dir, std::mt19937 &rng, int depth)
{
	static const char *const names[] = {
		"cur", "new", "tmp", "a", "b", "c", ".x", "...", "two words",
		"Cur", "inbox", "lists", "\xff\xfe", "z", "a;b", "x`y`", "$HOME",
		"#c", "nl\nx", "q\"'", "back\\", "\x7f\x01", "0\\012",
	};
	std::uniform_int_distribution<int> count(0, depth > 0 ? 6 : 2);
	std::uniform_int_distribution<size_t> pick(0, std::size(names) - 1);
	std::uniform_int_distribution<int> kind(0, 9);
	std::set<std::string> used;
	for (int n = count(rng); n > 0; n--) {
		std::string name = names[pick(rng)];
		if (!used.insert(name).second)
			continue;
		fs::path p = dir / name;
		int k = kind(rng);
		if (k < 6 || depth == 0) {
			fs::create_directory(p);
			if (depth > 0)
				grow(p, rng, depth - 1);
		} else if (k < 8) {
			build(dir, {file(name)});
		} else {
			fs::create_symlink(k == 8 ? "." : "cur", p);
		}
	}
}

class RandomTree : public ::testing::TestWithParam<unsigned> {};

TEST_P(RandomTree, MatchesTheModel)
{
	TempDir t;
	std::mt19937 rng(GetParam());
	grow(t.path(), rng, 4);
	std::string expected;
	model(t.path(), nullptr, expected);
	Result r = mailfolders(t.str());
	EXPECT_EQ(r.out, expected);
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.status, 0);
}

INSTANTIATE_TEST_SUITE_P(Walk, RandomTree, ::testing::Range(1u, 41u));

}  // namespace
}  // namespace mftest
