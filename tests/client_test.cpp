// SPDX-License-Identifier: ISC
// End to end, in the mail clients the words are made for: mutt and neomutt
// read "mailboxes `mailfolders STORE`" from a config file, run in a tmux
// session of their own, and their sidebar must list every folder of a store
// of hostile names exactly once, under its true name, while nothing hidden
// in a name is run.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "harness.h"

namespace mftest {
namespace {

// Folder names as an IMAP server or a mail filter may make them: each holds
// one new message, so a sidebar count of 1 shows that the client opened
// the folder under its true name.
const std::vector<std::string> hostile = {
	"inbox",
	"x`touch PWNED`",
	"a;set sidebar_width=5",
	"Sent Items",
	"Sent Items/2024 `touch PWNED` Q1",
	"[Gmail]/All Mail",
	"[Gmail]/Sent Mail",
	"#hash",
	"a #comment",
	"nl\nx",
	"tab\tx",
	"$HOME",
	"$HOME/;echo",
	"it's",
	"\"quoted\"",
	"back\\slash",
	"0\\012",
	"trailing\\",
	"   ",
	"Entw\xc3\xbcrfe",
	"caf\xc3\xa9 ;#$'\"`\\ end",
};

// How a curses client shows a name: a tab as a blank, any other control
// byte as "?".
std::string shown(const std::string &name)
{
	std::string s;
	for (char c : name) {
		auto b = static_cast<unsigned char>(c);
		if (c == '\t')
			s += ' ';
		else if (b < 0x20 || b == 0x7f)
			s += '?';
		else
			s += c;
	}
	return s;
}

// What separates the name from the count in each sidebar line; no name
// above holds it.
const std::string mark = "@@";

// The sidebar's entries on a screen: shown name to message counts, one
// count each time the name appears.
std::map<std::string, std::vector<std::string>> sidebar(const std::string &screen)
{
	std::map<std::string, std::vector<std::string>> entries;
	size_t start = 0;
	while (start < screen.size()) {
		size_t end = std::min(screen.find('\n', start), screen.size());
		std::string line = screen.substr(start, end - start);
		start = end + 1;
		size_t at = line.find(mark);
		if (at == std::string::npos)
			continue;
		size_t digits = at + mark.size();
		size_t stop = line.find_first_not_of("0123456789", digits);
		entries[line.substr(0, at)].push_back(line.substr(digits, stop - digits));
	}
	return entries;
}

// Waits, a few seconds at most, for process pid to be gone or a zombie.
void awaitexit(const std::string &pid)
{
	for (int i = 0; i < 100; i++) {
		std::ifstream stat("/proc/" + pid + "/stat");
		std::string line;
		if (!std::getline(stat, line))
			return;
		size_t paren = line.rfind(')');
		if (paren != std::string::npos && line.compare(paren, 3, ") Z") == 0)
			return;
		std::this_thread::sleep_for(std::chrono::milliseconds(50));
	}
}

// A tmux server of the test's own, on a socket in its temporary directory,
// killed with whatever runs in it when the object goes.
class Tmux {
public:
	Tmux(std::string program, const fs::path &dir)
	    : program_(std::move(program)), dir_(dir)
	{
		// Keep the pane, and its last screen, if the client exits.
		std::ofstream(dir_ / "tmux.conf") << "set -g remain-on-exit on\n";
	}
	// The server and the client in it outlive kill-server for a moment;
	// wait for them, so that nothing holds the fixture's file system.
	~Tmux()
	{
		std::string pid = tmux({"display-message", "-p", "#{pid} #{pane_pid}"}).out;
		tmux({"kill-server"});
		std::istringstream pids(pid);
		for (std::string p; pids >> p;)
			awaitexit(p);
	}
	Tmux(const Tmux &) = delete;
	Tmux &operator=(const Tmux &) = delete;

	Result tmux(std::vector<std::string> args) const
	{
		std::vector<std::string> argv = {"tmux", "-L", "mailfolders", "-f",
			(dir_ / "tmux.conf").string()};
		argv.insert(argv.end(), args.begin(), args.end());
		Invocation inv{argv};
		inv.program = program_;
		inv.env = {{"TMUX_TMPDIR", dir_.string()}, {"TMUX", ""},
			   {"HOME", (dir_ / "home").string()}, {"LC_ALL", "C.UTF-8"},
			   {"TERM", "xterm"}};
		return run(inv);
	}

private:
	std::string program_;
	fs::path dir_;
};

class Client : public ::testing::TestWithParam<const char *> {};

TEST_P(Client, ListsEveryHostileFolderOnceAndRunsNothing)
{
	const std::string client = onpath(GetParam());
	const std::string tmux = onpath("tmux");
	if (client.empty() || tmux.empty())
		GTEST_SKIP() << GetParam() << " or tmux is not installed (apt-get install "
			     << GetParam() << " tmux)";

	TempDir t;
	fs::path store = t.path() / "Mail";
	std::vector<Node> tree;
	for (const auto &name : hostile) {
		tree.push_back(dir(name + "/cur"));
		tree.push_back(dir(name + "/tmp"));
		tree.push_back(file(name + "/new/1765000000.M1P1.test"));
	}
	build(store, tree);
	fs::create_directory(t.path() / "home");
	fs::path muttrc = t.path() / "muttrc";
	std::ofstream(muttrc) << "set folder=" << store.string() << "\n"
		"set spoolfile=+inbox\n"
		"set mbox_type=Maildir\n"
		"set sidebar_visible=yes\n"
		"set sidebar_width=70\n"
		"set sidebar_format=\"%B" << mark << "%S\"\n"
		"set mail_check_stats=yes\n"
		"set mail_check=0\n"
		"set mail_check_stats_interval=0\n"
		"mailboxes `" << binary() << " " << store.string() << "`\n";

	std::map<std::string, std::vector<std::string>> expected;
	for (const auto &name : hostile)
		expected[shown(name)] = {"1"};

	Tmux server(tmux, t.path());
	// Started in the fixture's directory: a name that ran "touch PWNED"
	// would leave the file there.
	Result started = server.tmux({"new-session", "-d", "-x", "200", "-y", "60",
		"-c", t.str(), client, "-n", "-F", muttrc.string()});
	ASSERT_EQ(started.status, 0) << started.err;

	// Read the screen until the sidebar shows every folder with its count,
	// or the client reports an error, or time runs out.
	std::string screen;
	std::string failure;
	auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
	for (;;) {
		Result shot = server.tmux({"capture-pane", "-p"});
		if (shot.status != 0) {
			failure = "tmux capture-pane failed: " + shot.err;
			break;
		}
		screen = shot.out;
		if (sidebar(screen) == expected)
			break;
		if (screen.find("Press any key") != std::string::npos ||
		    screen.find("Error in") != std::string::npos) {
			failure = "reported an error";
			break;
		}
		if (std::chrono::steady_clock::now() > deadline) {
			failure = "did not list the folders within 30 s";
			break;
		}
		std::this_thread::sleep_for(std::chrono::milliseconds(100));
	}
	EXPECT_FALSE(fs::exists(t.path() / "PWNED")) << "a name ran a command";
	EXPECT_EQ(failure, "") << GetParam() << "'s screen:\n" << screen;
	EXPECT_EQ(sidebar(screen), expected) << screen;
}

INSTANTIATE_TEST_SUITE_P(Clients, Client, ::testing::Values("mutt", "neomutt"),
    [](const ::testing::TestParamInfo<const char *> &info) { return std::string(info.param); });

}  // namespace
}  // namespace mftest
