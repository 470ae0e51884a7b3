// SPDX-License-Identifier: ISC
// Messages are read on a terminal, and folder names are anyone's text: every
// message writes a path's control bytes as the words do, a backslash and
// three octal digits, and every other byte as it is.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "harness.h"

namespace mftest {
namespace {

// A name that would retitle the terminal (OSC 0 ... BEL) and clear its
// screen (CSI 2 J), with the first and last control bytes and DEL, beside
// a blank, a UTF-8 letter and a backslash that stay as they are.
const std::string hostile = "x\x1b]0;owned\x07\x1b[2J\x01\x1f\x7f \xc3\xa9\\";
const std::string shown = "x\\033]0;owned\\007\\033[2J\\001\\037\\177 \xc3\xa9\\";

enum class Fault {
	None,      // a real failure: the case's tree makes it
	Unreadable,// chmod 0 on where; run unprivileged
	Readdir,   // injected: reading where's stream fails at once
	Lstat,     // injected: lstat(where) fails
};

struct MessageCase {
	const char *label;
	std::vector<Node> tree;  // beneath the root, Mail
	std::string root;        // the argument, relative to the fixture
	Fault fault;
	std::string where;       // the faulted path, relative to the fixture
	int error;
	std::string message;     // what stands between "mailfolders: " and ": REASON"
};

void PrintTo(const MessageCase &c, std::ostream *os) { *os << c.label; }

const char nopreload[] = "the tool under test was built elsewhere (MAILFOLDERS_TOOL_DIR): "
	"the fault library cannot be preloaded into it";

class ControlBytes : public ::testing::TestWithParam<MessageCase> {};

TEST_P(ControlBytes, AreWrittenAsTheWordsWriteThem)
{
	const auto &c = GetParam();
	if (c.fault == Fault::Unreadable && geteuid() != 0)
		GTEST_SKIP() << "needs root to run the tool as another user";
	if ((c.fault == Fault::Readdir || c.fault == Fault::Lstat) && !preloadable())
		GTEST_SKIP() << nopreload;
	TempDir t;
	build(t.path() / "Mail", c.tree);

	Invocation inv{{"mailfolders", c.root}, Output::Pipe, t.str()};
	if (c.fault == Fault::Unreadable) {
		inv.program = (t.path() / "mailfolders").string();
		fs::copy_file(binary(), inv.program);
		inv.user = nobody;
		fs::permissions(t.path() / c.where, fs::perms::none);
	} else if (c.fault != Fault::None) {
		inv.env = {{"LD_PRELOAD", MAILFOLDERS_FAULTINJECT},
			   {"FAULT_CALL", c.fault == Fault::Readdir ? "readdir" : "lstat"},
			   {"FAULT_PATH", c.where},
			   {"FAULT_AFTER", "0"},
			   {"FAULT_ERRNO", std::to_string(c.error)}};
	}
	Result r = run(inv);
	EXPECT_EQ(r.err, "mailfolders: " + c.message + ": " + reason(c.error) + "\n");
	EXPECT_EQ(r.status, 1);
}

INSTANTIATE_TEST_SUITE_P(Messages, ControlBytes, ::testing::Values(
	MessageCase{"OpendirOfTheRoot", {}, "Mail/" + hostile, Fault::None, "", ENOENT,
		"opendir(Mail/" + shown + ")"},
	MessageCase{"OpendirBeneath", {dir(hostile + "/a/cur")}, "Mail", Fault::Unreadable,
		"Mail/" + hostile + "/a", EACCES, "opendir(Mail/" + shown + "/a)"},
	MessageCase{"Readdir", {dir(hostile + "/cur")}, "Mail", Fault::Readdir,
		"Mail/" + hostile, EIO, "readdir(Mail/" + shown + ")"},
	MessageCase{"Stat", {dir(hostile + "/cur")}, "Mail", Fault::Lstat,
		"Mail/" + hostile + "/cur", ENOENT, "stat(Mail/" + shown + "/cur)"},
	// Both halves of a path too long to build are shown: the directory's
	// and the entry's name.
	MessageCase{"StatTooLong", {dir(hostile + "/" + std::string(250, 'p') + "/" +
		std::string(250, 'p') + "/" + std::string(250, 'p') + "/" + std::string(240, 'p') +
		"/cur" + hostile)}, "Mail", Fault::None, "", ENAMETOOLONG,
		"stat(Mail/" + shown + "/" + std::string(250, 'p') + "/" + std::string(250, 'p') +
		"/" + std::string(250, 'p') + "/" + std::string(240, 'p') + "/cur" + shown + ")"}),
	ByLabel());

// A name with no control byte is shown byte for byte as it is, also where
// it is longer than any path the system opens.
TEST(Messages, LongRootWithoutControlBytesIsShownWhole)
{
	std::string root = "/" + std::string(20000, 'r');
	Result r = run({{"mailfolders", root}});
	EXPECT_EQ(r.err, "mailfolders: opendir(" + root + "): " + reason(ENAMETOOLONG) + "\n");
	EXPECT_EQ(r.status, 1);
}

// A path with control bytes longer than any the system opens does not fit
// the message's buffer: it is cut, and says so.
TEST(Messages, LongRootWithControlBytesIsCutAndMarked)
{
	std::string root = "/\x01" + std::string(20000, 'r');
	Result r = run({{"mailfolders", root}});
	const std::string start = "mailfolders: opendir(/\\001rrr";
	const std::string end = "...): " + reason(ENAMETOOLONG) + "\n";
	EXPECT_EQ(r.err.compare(0, start.size(), start), 0) << r.err.substr(0, 80);
	ASSERT_GT(r.err.size(), end.size());
	EXPECT_EQ(r.err.substr(r.err.size() - end.size()), end);
	EXPECT_LT(r.err.size(), 4 * 4096 + 100);
	EXPECT_EQ(r.status, 1);
}

// In a real terminal: the message of a failure beneath a folder named to
// retitle the terminal and clear its screen does neither.
TEST(Messages, LeaveTheTerminalsTitleAndScreenAlone)
{
	std::string tmux = onpath("tmux");
	if (geteuid() != 0)
		GTEST_SKIP() << "needs root to run the tool as another user";
	if (tmux.empty())
		GTEST_SKIP() << "tmux is not installed (apt-get install tmux)";
	TempDir t;
	build(t.path() / "Mail", {dir(hostile + "/a/cur")});
	fs::permissions(t.path() / "Mail" / hostile / "a", fs::perms::none);
	fs::path tool = t.path() / "mailfolders";
	fs::copy_file(binary(), tool);

	auto session = [&](std::vector<std::string> args) {
		std::vector<std::string> argv = {"tmux", "-L", "messages", "-f", "/dev/null"};
		argv.insert(argv.end(), args.begin(), args.end());
		Invocation inv{argv};
		inv.program = tmux;
		inv.env = {{"TMUX_TMPDIR", t.str()}, {"TMUX", ""}, {"TERM", "xterm"}};
		return run(inv);
	};
	// As user 65534, so that the directory cannot be read; the marker line
	// comes first and must still be on the screen after the message.
	std::string command = "cd " + t.str() + " && printf 'before the run\\n' && "
		"setpriv --reuid=65534 --regid=65534 --clear-groups ./mailfolders Mail; "
		"printf 'status %s\\n' $?; sleep 60";
	ASSERT_EQ(session({"new-session", "-d", "-x", "120", "-y", "10", "sh", "-c", command}).status, 0);
	std::string screen;
	for (int i = 0; i < 100 && screen.find("status 1") == std::string::npos; i++) {
		std::this_thread::sleep_for(std::chrono::milliseconds(50));
		screen = session({"capture-pane", "-p"}).out;
	}
	std::string title = session({"display-message", "-p", "#{pane_title}"}).out;
	session({"kill-server"});
	EXPECT_NE(screen.find("before the run\n"), std::string::npos) << "the screen was cleared:\n" << screen;
	EXPECT_NE(screen.find("opendir(Mail/x\\033]0;owned\\007"), std::string::npos) << screen;
	EXPECT_EQ(title.find("owned"), std::string::npos) << "the title was set: " << title;
}

}  // namespace
}  // namespace mftest
