// SPDX-License-Identifier: ISC
// End to end, in the mail clients the words are made for: mutt and neomutt
// run in a tmux session of their own and read the words through the two
// lines the README gives, the plain "mailboxes `mailfolders STORE`" and the
// recommended "source" line.  Through either, their sidebar must list every
// folder of a store of hostile names exactly once, under its true name,
// while nothing hidden in a name is run.  Through the "source" line, a store
// the tool fails on must stop the client before its screen starts, showing
// the tool's message and waiting for a key.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "harness.h"

namespace mftest {
namespace {

// Folder names as an IMAP server or a mail filter may make them.  The
// folder at index i holds i + 1 new messages: the count the client shows
// in a sidebar row is worked out from the folder it opened, so it tells
// which folder the row is, and that the client found it under its true
// name, whatever glyphs the client draws for the name's bytes.
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

// What separates the count from the name, and ends the name, in each
// sidebar row; no name above holds it.
const std::string mark = "@@";

// What the sidebar row of a folder begins with, after the count and the
// mark: the name and the mark behind it, or, for a name with a control
// byte, the name up to that byte.  Clients draw control bytes their own
// way: mutt 2.x and neomutt 20220429 as "?" (a tab as a blank), neomutt
// 2025 and later nothing of the row from there on.
std::string rowstart(const std::string &name)
{
	std::string s;
	for (char c : name) {
		auto b = static_cast<unsigned char>(c);
		if (b < 0x20 || b == 0x7f)
			return s;
		s += c;
	}
	return s + mark;
}

// The sidebar's rows on a screen: the count each row shows, to what
// follows it in each row that shows it.
std::map<std::string, std::vector<std::string>> sidebar(const std::string &screen)
{
	std::map<std::string, std::vector<std::string>> rows;
	size_t start = 0;
	while (start < screen.size()) {
		size_t end = std::min(screen.find('\n', start), screen.size());
		std::string line = screen.substr(start, end - start);
		start = end + 1;
		size_t at = line.find(mark);
		if (at != std::string::npos)
			rows[line.substr(0, at)].push_back(line.substr(at + mark.size()));
	}
	return rows;
}

// What is wrong with the sidebar's rows, or "" if every hostile folder has
// exactly one row, with its own count and its name, and there is no other.
std::string unlisted(const std::map<std::string, std::vector<std::string>> &rows)
{
	std::ostringstream wrong;
	size_t found = 0;
	for (size_t i = 0; i < hostile.size(); i++) {
		std::string count = std::to_string(i + 1);
		auto row = rows.find(count);
		if (row == rows.end()) {
			wrong << "no row with the count " << count << " of \"" << hostile[i] << "\"\n";
			continue;
		}
		found++;
		if (row->second.size() != 1)
			wrong << row->second.size() << " rows with the count " << count << "\n";
		else if (row->second[0].compare(0, rowstart(hostile[i]).size(), rowstart(hostile[i])) != 0)
			wrong << "the row with the count " << count << " does not name \"" << hostile[i]
			      << "\": " << row->second[0] << "\n";
	}
	if (rows.size() != found)
		wrong << rows.size() - found << " rows of mailboxes that are no folder of the store\n";
	return wrong.str();
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

// The README's recommended line: the words, through the shell, as a
// "mailboxes" command, or, when the tool fails, a line the client reports
// as an error.  Taken from the README itself, so that the line a user
// copies is the one tested; "mailfolders ~/Mail" becomes the tool under
// test and the store.
std::string sourceline(const fs::path &store)
{
	std::ifstream readme(fs::path(MAILFOLDERS_EXAMPLES).parent_path() / "README.md");
	const std::regex documented(R"(^ *(source '.*mailfolders ~/Mail.* \|')$)");
	std::string line;
	std::smatch m;
	while (std::getline(readme, line)) {
		if (std::regex_match(line, m, documented)) {
			std::string text = m[1];
			const std::string call = "mailfolders ~/Mail";
			return text.replace(text.find(call), call.size(),
			    std::string(binary()) + " " + store.string());
		}
	}
	throw std::runtime_error("README.md gives no line \"source '... mailfolders ~/Mail ... |'\"");
}

// How a config file hands the words to the client.
enum class Line { Backtick, Source };

std::string mailboxesline(Line form, const fs::path &store)
{
	if (form == Line::Source)
		return sourceline(store);
	return "mailboxes `" + std::string(binary()) + " " + store.string() + "`";
}

// The config file of a test: a sidebar that shows each mailbox's name and
// message count, and the line that gives the mailboxes.
fs::path writemuttrc(const TempDir &t, const fs::path &store, Line form)
{
	fs::create_directory(t.path() / "home");
	fs::path muttrc = t.path() / "muttrc";
	std::ofstream(muttrc) << "set folder=" << store.string() << "\n"
		"set spoolfile=+inbox\n"
		"set mbox_type=Maildir\n"
		"set sidebar_visible=yes\n"
		"set sidebar_width=70\n"
		"set sidebar_format=\"%S" << mark << "%B" << mark << "\"\n"
		"set mail_check_stats=yes\n"
		"set mail_check=0\n"
		"set mail_check_stats_interval=0\n"
		<< mailboxesline(form, store) << "\n";
	return muttrc;
}

// Reads the screen until done says it is complete, or the client reports
// an error (when errors are not what the test waits for), or 30 seconds
// pass.  Gives the last screen, its wrapped lines joined, and what went
// wrong, if anything.
std::pair<std::string, std::string> awaitscreen(const Tmux &server, bool errorsexpected,
    const std::function<bool(const std::string &)> &done)
{
	std::string screen;
	auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
	for (;;) {
		Result shot = server.tmux({"capture-pane", "-p", "-J"});
		if (shot.status != 0)
			return {screen, "tmux capture-pane failed: " + shot.err};
		screen = shot.out;
		if (done(screen))
			return {screen, ""};
		if (!errorsexpected && (screen.find("Press any key") != std::string::npos ||
		    screen.find("Error in") != std::string::npos))
			return {screen, "reported an error"};
		if (std::chrono::steady_clock::now() > deadline)
			return {screen, "did not show what was awaited within 30 s"};
		std::this_thread::sleep_for(std::chrono::milliseconds(100));
	}
}

// Starts client in a tmux session with the config file muttrc, in the
// fixture's directory: a name that ran "touch PWNED" would leave the file
// there.
Result startclient(const Tmux &server, const std::string &client, const TempDir &t,
    const fs::path &muttrc)
{
	return server.tmux({"new-session", "-d", "-x", "200", "-y", "60",
		"-c", t.str(), client, "-n", "-F", muttrc.string()});
}

struct ClientCase {
	std::string label;
	const char *client;
	Line form;
};

void PrintTo(const ClientCase &c, std::ostream *os) { *os << c.label; }

class Client : public ::testing::TestWithParam<ClientCase> {};

// Why a client test cannot run here (the client or tmux is missing), or ""
// if it can.
std::string whynoclient(const char *client)
{
	if (onpath(client).empty() || onpath("tmux").empty())
		return std::string(client) + " or tmux is not installed (apt-get install " +
		    client + " tmux)";
	return "";
}

TEST_P(Client, ListsEveryHostileFolderOnceAndRunsNothing)
{
	const ClientCase &c = GetParam();
	std::string why = whynoclient(c.client);
	if (!why.empty())
		GTEST_SKIP() << why;

	TempDir t;
	fs::path store = t.path() / "Mail";
	std::vector<Node> tree;
	for (size_t i = 0; i < hostile.size(); i++) {
		tree.push_back(dir(hostile[i] + "/cur"));
		tree.push_back(dir(hostile[i] + "/tmp"));
		for (size_t m = 1; m <= i + 1; m++)
			tree.push_back(file(hostile[i] + "/new/1765000000.M" + std::to_string(m) + "P1.test"));
	}
	build(store, tree);
	fs::path muttrc = writemuttrc(t, store, c.form);

	Tmux server(onpath("tmux"), t.path());
	Result started = startclient(server, onpath(c.client), t, muttrc);
	ASSERT_EQ(started.status, 0) << started.err;
	auto [screen, failure] = awaitscreen(server, false,
	    [](const std::string &s) { return unlisted(sidebar(s)).empty(); });
	EXPECT_FALSE(fs::exists(t.path() / "PWNED")) << "a name ran a command";
	EXPECT_EQ(failure, "") << c.client << "'s screen:\n" << screen;
	EXPECT_EQ(unlisted(sidebar(screen)), "") << screen;
}

INSTANTIATE_TEST_SUITE_P(Clients, Client,
    ::testing::Values(ClientCase{"MuttBacktick", "mutt", Line::Backtick},
	ClientCase{"NeomuttBacktick", "neomutt", Line::Backtick},
	ClientCase{"MuttSource", "mutt", Line::Source},
	ClientCase{"NeomuttSource", "neomutt", Line::Source}),
    ByLabel());

class ClientOnFailure : public ::testing::TestWithParam<const char *> {};

// A store the tool fails on: a folder whose path passes 1023 bytes, beside
// a good one.  Through the recommended line the client must not start with
// the partial list: it stops before its screen, with the tool's own
// message and its own error naming the failure, and waits for a key.
TEST_P(ClientOnFailure, StopsWithTheToolsMessageBeforeItsScreen)
{
	std::string why = whynoclient(GetParam());
	if (!why.empty())
		GTEST_SKIP() << why;

	TempDir t;
	fs::path store = t.path() / "Mail";
	build(store, {dir("inbox/cur"), dir(chain("deep", 520) + "/cur")});
	Result direct = mailfolders(store.string());
	ASSERT_EQ(direct.status, 1) << direct.err;
	ASSERT_FALSE(direct.err.empty());
	const std::string message = direct.err.substr(0, direct.err.find('\n'));
	fs::path muttrc = writemuttrc(t, store, Line::Source);

	Tmux server(onpath("tmux"), t.path());
	Result started = startclient(server, onpath(GetParam()), t, muttrc);
	ASSERT_EQ(started.status, 0) << started.err;
	auto [screen, failure] = awaitscreen(server, true, [](const std::string &s) {
		return s.find("Press any key to continue") != std::string::npos;
	});
	EXPECT_EQ(failure, "") << GetParam() << "'s screen:\n" << screen;
	EXPECT_NE(screen.find(message + "\n"), std::string::npos)
	    << "the tool's message is not on the screen:\n" << message << "\n" << screen;
	EXPECT_NE(screen.find("mailfolders-failed: unknown command"), std::string::npos) << screen;
	EXPECT_TRUE(sidebar(screen).empty()) << "the client's screen started:\n" << screen;
}

INSTANTIATE_TEST_SUITE_P(Clients, ClientOnFailure, ::testing::Values("mutt", "neomutt"),
    [](const ::testing::TestParamInfo<const char *> &info) { return std::string(info.param); });

}  // namespace
}  // namespace mftest
