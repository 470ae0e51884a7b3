// SPDX-License-Identifier: ISC
// End to end, in the mail clients the words are made for: mutt and neomutt
// run in a tmux session of their own and read the words through the plain
// "mailboxes `mailfolders STORE`" line and through the example
// configuration in examples/ (muttrc, neomuttrc, mailfolders.rc), as a user
// installs it in ~/.config/mailfolders/ for the store ~/Mail.  Through
// either, their sidebar must list every folder of a store of hostile names
// exactly once, under its true name, while nothing hidden in a name is run.
// Through the example configuration, a store the tool fails on must stop
// the client before its screen starts, showing the tool's message and
// waiting for a key; F5 must replace the list with the store's folders as
// they are now, or keep the list whole and report an error when the tool
// fails; and neomutt must do the same by itself when idle.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "harness.h"

namespace mftest {
namespace {

// Folder names as an IMAP server or a mail filter may make them, from
// tests/hostile-names, which the autopkgtest reads too: a line is a name
// as printf's %b reads it ("\n", "\t" and "\\" the only escapes there),
// "# " begins a comment.  The folder at index i holds i + 1 new messages:
// the count the client shows in a sidebar row is worked out from the
// folder it opened, so it tells which folder the row is, and that the
// client found it under its true name, whatever glyphs the client draws
// for the name's bytes.
std::vector<std::string> hostilenames()
{
	std::vector<std::string> names;
	std::istringstream lines(slurp(MAILFOLDERS_HOSTILE));
	for (std::string line; std::getline(lines, line);) {
		if (line.compare(0, 2, "# ") == 0)
			continue;
		std::string name;
		for (size_t i = 0; i < line.size(); i++) {
			if (line[i] != '\\' || i + 1 == line.size()) {
				name += line[i];
				continue;
			}
			char c = line[++i];
			name += c == 'n' ? '\n' : c == 't' ? '\t' : c;
		}
		names.push_back(name);
	}
	return names;
}

const std::vector<std::string> hostile = hostilenames();

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

// Folders, each by the number of messages it holds.
using Folders = std::map<int, std::string>;

// What is wrong with the sidebar's rows, or "" if every folder has exactly
// one row, with its own count and its name, and there is no other.
std::string unlisted(const std::map<std::string, std::vector<std::string>> &rows,
    const Folders &folders)
{
	std::ostringstream wrong;
	size_t found = 0;
	for (const auto &[messages, name] : folders) {
		std::string count = std::to_string(messages);
		auto row = rows.find(count);
		if (row == rows.end()) {
			wrong << "no row with the count " << count << " of \"" << name << "\"\n";
			continue;
		}
		found++;
		if (row->second.size() != 1)
			wrong << row->second.size() << " rows with the count " << count << "\n";
		else if (row->second[0].compare(0, rowstart(name).size(), rowstart(name)) != 0)
			wrong << "the row with the count " << count << " does not name \"" << name
			      << "\": " << row->second[0] << "\n";
	}
	if (rows.size() != found)
		wrong << rows.size() - found << " rows of mailboxes that are no folder of the store\n";
	return wrong.str();
}

// The nodes of a store of the given folders, each with its new messages.
std::vector<Node> storetree(const Folders &folders)
{
	std::vector<Node> tree;
	for (const auto &[messages, name] : folders) {
		tree.push_back(dir(name + "/cur"));
		tree.push_back(dir(name + "/tmp"));
		for (int m = 1; m <= messages; m++)
			tree.push_back(file(name + "/new/1765000000.M" + std::to_string(m) + "P1.test"));
	}
	return tree;
}

// A folder of messages that were all read: nothing in it is new mail.
std::vector<Node> readfolder(const std::string &name, int messages)
{
	std::vector<Node> tree = {dir(name + "/new"), dir(name + "/tmp")};
	for (int m = 1; m <= messages; m++)
		tree.push_back(file(name + "/cur/1765000000.M" + std::to_string(m) + "P1.test:2,S"));
	return tree;
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
		// The example configuration runs "mailfolders-mailboxes" and
		// "mailfolders" from the PATH: the fixture's own bin (where a
		// test may put a stand-in), then the tool and the script under
		// test come first there.
		const char *path = getenv("PATH");
		inv.env = {{"TMUX_TMPDIR", dir_.string()}, {"TMUX", ""},
			   {"HOME", (dir_ / "home").string()}, {"LC_ALL", "C.UTF-8"},
			   {"TERM", "xterm"},
			   {"PATH", (dir_ / "bin").string() + ":" +
				fs::path(binary()).parent_path().string() + ":" +
				MAILFOLDERS_SCRIPTS + ":" + (path != nullptr ? path : "/usr/bin:/bin")}};
		return run(inv);
	}

private:
	std::string program_;
	fs::path dir_;
};

// The fixture's home directory, and the store in it, ~/Mail, which the
// example configuration names.
fs::path homeof(const TempDir &t) { return t.path() / "home"; }
fs::path storeof(const TempDir &t) { return homeof(t) / "Mail"; }

// How a config file hands the words to the client.
enum class Line { Backtick, Example };

// The config file of a test: the mailboxes through the plain backtick line
// or through the example configuration (neomutt's, with its refresh when
// idle, for neomutt), then a sidebar row for each mailbox that shows its
// message count and its name, then the test's own lines.
fs::path writemuttrc(const TempDir &t, const std::string &client, Line form,
    const std::string &extra = "")
{
	fs::path config = homeof(t) / ".config" / "mailfolders";
	fs::create_directories(config);
	std::ofstream rc(t.path() / "muttrc");
	if (form == Line::Example) {
		for (const char *name : examplefiles)
			fs::copy_file(fs::path(MAILFOLDERS_EXAMPLES) / name, config / name);
		rc << "source " << (config / (client == "neomutt" ? "neomuttrc" : "muttrc")).string()
		   << "\n";
	} else {
		rc << "set folder=" << storeof(t).string() << "\n";
	}
	rc << "set spoolfile=+inbox\n"
		"set mbox_type=Maildir\n"
		"set sidebar_visible=yes\n"
		"set sidebar_width=70\n"
		"set sidebar_format=\"%S" << mark << "%B" << mark << "\"\n"
		"set mail_check_stats=yes\n"
		"set mail_check=0\n"
		"set mail_check_stats_interval=0\n";
	if (form == Line::Backtick)
		rc << "mailboxes `" << binary() << " " << storeof(t).string() << "`\n";
	rc << extra;
	return t.path() / "muttrc";
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

// Awaits a sidebar that lists exactly the folders given, and fails the
// test, with the screen, if it does not come.
void expectlisted(const Tmux &server, const Folders &folders)
{
	auto [screen, failure] = awaitscreen(server, false,
	    [&](const std::string &s) { return unlisted(sidebar(s), folders).empty(); });
	EXPECT_EQ(failure, "") << screen;
	EXPECT_EQ(unlisted(sidebar(screen), folders), "") << screen;
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

	ASSERT_FALSE(hostile.empty()) << "no names in " << MAILFOLDERS_HOSTILE;
	TempDir t;
	Folders folders;
	for (size_t i = 0; i < hostile.size(); i++)
		folders[static_cast<int>(i) + 1] = hostile[i];
	build(storeof(t), storetree(folders));
	fs::path muttrc = writemuttrc(t, c.client, c.form);

	Tmux server(onpath("tmux"), t.path());
	Result started = startclient(server, onpath(c.client), t, muttrc);
	ASSERT_EQ(started.status, 0) << started.err;
	expectlisted(server, folders);
	EXPECT_FALSE(fs::exists(t.path() / "PWNED")) << "a name ran a command";
}

INSTANTIATE_TEST_SUITE_P(Clients, Client,
    ::testing::Values(ClientCase{"MuttBacktick", "mutt", Line::Backtick},
	ClientCase{"NeomuttBacktick", "neomutt", Line::Backtick},
	ClientCase{"MuttExample", "mutt", Line::Example},
	ClientCase{"NeomuttExample", "neomutt", Line::Example}),
    ByLabel());

class ClientOnFailure : public ::testing::TestWithParam<const char *> {};

// A store the tool fails on: a folder whose path passes 1023 bytes, beside
// a good one.  Through the example configuration the client must not start
// with the partial list: it stops before its screen, with the tool's own
// message and its own error naming the failure, and waits for a key.
TEST_P(ClientOnFailure, StopsWithTheToolsMessageBeforeItsScreen)
{
	std::string why = whynoclient(GetParam());
	if (!why.empty())
		GTEST_SKIP() << why;

	TempDir t;
	build(storeof(t), {dir("inbox/cur"), dir(chain("deep", 520) + "/cur")});
	Result direct = mailfolders(storeof(t).string());
	ASSERT_EQ(direct.status, 1) << direct.err;
	ASSERT_FALSE(direct.err.empty());
	const std::string message = direct.err.substr(0, direct.err.find('\n'));
	fs::path muttrc = writemuttrc(t, GetParam(), Line::Example);

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

// A client running with the example configuration, on a store of the
// given folders, its sidebar awaited until it lists them.
struct Running {
	TempDir t;
	std::unique_ptr<Tmux> server;
	std::string screen;
	std::string failure;
};

void startwith(Running &r, const char *client, const Folders &folders, const std::string &extra = "")
{
	build(storeof(r.t), storetree(folders));
	fs::path muttrc = writemuttrc(r.t, client, Line::Example, extra);
	r.server = std::make_unique<Tmux>(onpath("tmux"), r.t.path());
	Result started = startclient(*r.server, onpath(client), r.t, muttrc);
	if (started.status != 0) {
		r.failure = "tmux new-session failed: " + started.err;
		return;
	}
	std::tie(r.screen, r.failure) = awaitscreen(*r.server, false,
	    [&](const std::string &s) { return unlisted(sidebar(s), folders).empty(); });
}

// Changes the store while the client runs: the folders named go, the
// folders given come.  A folder goes at once, by a rename out of the
// store: the client may be reading it, and removing it entry by entry
// could race with that.  The fixture removes it when the client is gone.
void change(const TempDir &t, const std::vector<std::string> &gone, const Folders &come)
{
	for (size_t i = 0; i < gone.size(); i++)
		fs::rename(storeof(t) / gone[i], t.path() / ("removed" + std::to_string(i)));
	build(storeof(t), storetree(come));
}

class Refresh : public ::testing::TestWithParam<const char *> {};

// F5 makes the list anew from the store as it is now: a folder made while
// the client runs appears, one removed goes, and no other mailbox stays.
TEST_P(Refresh, ReplacesTheListOnTheKey)
{
	std::string why = whynoclient(GetParam());
	if (!why.empty())
		GTEST_SKIP() << why;

	Running r;
	startwith(r, GetParam(), {{1, "inbox"}, {2, "old"}});
	ASSERT_EQ(r.failure, "") << r.screen;
	change(r.t, {"old"}, {{3, "Archive.2026"}});
	ASSERT_EQ(r.server->tmux({"send-keys", "F5"}).status, 0);
	expectlisted(*r.server, {{1, "inbox"}, {3, "Archive.2026"}});
}

// When the tool fails on the store as it is now, F5 leaves the list as it
// was, whole, with no part of the new one, and the client's message line
// shows the tool's own message, in which nothing runs or expands in the
// client: the failing path lies beneath a folder named with a backquoted
// command, "$", ";" and quotes.
TEST_P(Refresh, KeepsTheWholeListAndShowsTheReasonWhenTheToolFails)
{
	std::string why = whynoclient(GetParam());
	if (!why.empty())
		GTEST_SKIP() << why;

	Running r;
	const Folders before = {{1, "inbox"}, {2, "lists/dev"}};
	startwith(r, GetParam(), before);
	ASSERT_EQ(r.failure, "") << r.screen;
	const std::string hostile = "x`touch PWNED`$HOME;set sidebar_width=5 \"'";
	change(r.t, {}, {{3, "a"}});
	build(storeof(r.t), {dir(hostile + "/" + chain("deep", 520) + "/cur")});
	Result direct = mailfolders(storeof(r.t).string());
	ASSERT_EQ(direct.status, 1);
	// The message line holds as much of the message as the screen is wide.
	const std::string shown = direct.err.substr(0, 150);
	ASSERT_NE(shown.find(hostile), std::string::npos) << shown;
	ASSERT_EQ(r.server->tmux({"send-keys", "F5"}).status, 0);
	auto [screen, failure] = awaitscreen(*r.server, true, [&](const std::string &s) {
		return s.find(shown) != std::string::npos;
	});
	EXPECT_EQ(failure, "") << "the message line does not show:\n" << shown << "\n" << screen;
	EXPECT_EQ(unlisted(sidebar(screen), before), "") << screen;
	EXPECT_FALSE(fs::exists(r.t.path() / "PWNED")) << "the message ran a command";
}

// What is wrong with the rows of the folders given, or "": each must have
// its row, with its own count, whatever other rows there are.
std::string miscounted(const std::map<std::string, std::vector<std::string>> &rows,
    const Folders &folders)
{
	std::ostringstream wrong;
	for (const auto &[messages, name] : folders) {
		auto row = rows.find(std::to_string(messages));
		bool named = false;
		if (row != rows.end())
			for (const auto &rest : row->second)
				named = named || rest.compare(0, rowstart(name).size(), rowstart(name)) == 0;
		if (!named)
			wrong << "no row shows \"" << name << "\" with its count " << messages << "\n";
	}
	return wrong.str();
}

// Where a client started by startannouncing writes what it announces.
fs::path announcedof(const Running &r) { return r.t.path() / "announced"; }

// Starts client as startwith does, checking for mail every second and
// with a $new_mail_command that appends to announcedof(r), and gives what
// it announced of the mail that was new at start: neomutt does so once the
// user has done anything at all, so a command that changes nothing comes
// first, then time for the checks that follow it.
std::string startannouncing(Running &r, const char *client, const Folders &folders,
    const std::string &extra)
{
	startwith(r, client, folders, extra + "set mail_check=1\nset new_mail_command=\"echo %f >>" +
	    announcedof(r).string() + "\"\n");
	if (!r.failure.empty())
		return "";
	if (r.server->tmux({"send-keys", ":echo ready", "Enter"}).status != 0)
		r.failure = "tmux send-keys failed";
	std::this_thread::sleep_for(std::chrono::seconds(2));
	return slurp(announcedof(r));
}

// A mail client announces the new mail of a mailbox it did not list
// before, and runs $new_mail_command (a desktop notification); it forgets
// the counts of a mailbox it removes.  The refresh must not make the
// folders it listed already new to the client: over three refreshes on the
// key, each bringing a folder of read mail, nothing is announced that was
// not at the start, and the other folders' counts stay on the screen (the
// client counts them again only every minute here, as it would by
// default).
TEST_P(Refresh, AnnouncesNoMailTwiceAndKeepsTheCounts)
{
	std::string why = whynoclient(GetParam());
	if (!why.empty())
		GTEST_SKIP() << why;

	Running r;
	const Folders before = {{1, "inbox"}, {2, "lists/dev"}, {3, "Archive"}};
	const std::string atstart =
	    startannouncing(r, GetParam(), before, "set mail_check_stats_interval=60\n");
	ASSERT_EQ(r.failure, "") << r.screen;
	for (int round = 0; round < 3; round++) {
		const std::string name = "seen" + std::to_string(round);
		build(storeof(r.t), readfolder(name, 10));
		ASSERT_EQ(r.server->tmux({"send-keys", "F5"}).status, 0);
		auto [screen, failure] = awaitscreen(*r.server, false, [&](const std::string &s) {
			return s.find(mark + name + mark) != std::string::npos;
		});
		ASSERT_EQ(failure, "") << screen;
		EXPECT_EQ(miscounted(sidebar(screen), before), "") << "after F5 " << round + 1
		    << ":\n" << screen;
		std::this_thread::sleep_for(std::chrono::milliseconds(1500));
	}
	EXPECT_EQ(slurp(announcedof(r)), atstart) << "announced again after the key";
}

INSTANTIATE_TEST_SUITE_P(Clients, Refresh, ::testing::Values("mutt", "neomutt"),
    [](const ::testing::TestParamInfo<const char *> &info) { return std::string(info.param); });

// neomutt makes the list anew by itself whenever it has waited $timeout
// seconds for a key (the example's timeout-hook): a folder made meanwhile
// appears with no key pressed, and over the refreshes before it, the mail
// announced once is not announced again.  The example waits a minute; the
// test, to be quick, one second, for four refreshes and more.
TEST(Clients, NeomuttRefreshesWhenIdleAndAnnouncesNoMailTwice)
{
	std::string why = whynoclient("neomutt");
	if (!why.empty())
		GTEST_SKIP() << why;

	Running r;
	const std::string atstart =
	    startannouncing(r, "neomutt", {{1, "inbox"}, {2, "lists/dev"}}, "set timeout=1\n");
	ASSERT_EQ(r.failure, "") << r.screen;
	std::this_thread::sleep_for(std::chrono::seconds(4));
	change(r.t, {}, {{3, "Archive.2026"}});
	expectlisted(*r.server, {{1, "inbox"}, {2, "lists/dev"}, {3, "Archive.2026"}});
	// Archive.2026's mail is new: announcing it is right.  Nothing else.
	std::string now = slurp(announcedof(r));
	EXPECT_EQ(now.substr(0, atstart.size()), atstart);
	EXPECT_LE(now.size() - atstart.size(), std::string("=inbox\n").size())
	    << "announced again when idle:\n" << now;
}

// A run of the tool that fails once, as when a sync tool renames a state
// file between the listing and its status read, is tried again before the
// failure counts: the client starts, and later refreshes on the key, as if
// nothing had failed.  The stand-in for mailfolders, first on the PATH,
// fails whenever the file "fail" exists, once, and removes it.
TEST_P(Refresh, TriesARunThatFailsOnceAgain)
{
	std::string why = whynoclient(GetParam());
	if (!why.empty())
		GTEST_SKIP() << why;

	Running r;
	const fs::path fail = r.t.path() / "fail";
	fs::create_directories(r.t.path() / "bin");
	{
		std::ofstream standin(r.t.path() / "bin" / "mailfolders");
		standin << "#!/bin/sh\n"
			"if [ -e '" << fail.string() << "' ]; then\n"
			"\trm '" << fail.string() << "'\n"
			"\techo 'mailfolders: stat(vanished): No such file or directory' >&2\n"
			"\texit 1\n"
			"fi\n"
			"exec '" << binary() << "' \"$@\"\n";
	}
	fs::permissions(r.t.path() / "bin" / "mailfolders", fs::perms(0755));
	std::ofstream(fail).close();
	startwith(r, GetParam(), {{1, "inbox"}});
	ASSERT_EQ(r.failure, "") << r.screen;
	ASSERT_FALSE(fs::exists(fail)) << "the stand-in never ran";

	std::ofstream(fail).close();
	change(r.t, {}, {{2, "Archive.2026"}});
	ASSERT_EQ(r.server->tmux({"send-keys", "F5"}).status, 0);
	expectlisted(*r.server, {{1, "inbox"}, {2, "Archive.2026"}});
	EXPECT_FALSE(fs::exists(fail));
	Result shot = r.server->tmux({"capture-pane", "-p"});
	EXPECT_EQ(shot.out.find("vanished"), std::string::npos) << shot.out;
}

// The README's lines for several accounts, in mailfolders.rc: a source
// line for each store, each naming its folders against its own store.
std::vector<std::string> accountlines()
{
	const std::string readme = slurp(fs::path(MAILFOLDERS_EXAMPLES).parent_path() / "README.md");
	const std::string first = "    source 'mailfolders-mailboxes ~/Work |'\n";
	size_t at = readme.find(first);
	if (at == std::string::npos)
		return {};
	size_t second = at + first.size();
	size_t end = readme.find('\n', second);
	return {first.substr(4, first.size() - 5), readme.substr(second + 4, end - second - 4)};
}

// Every folder given has a row with its count that names it, the folders
// of a store other than the last one by their full path; "" if so.
std::string unnamed(const std::map<std::string, std::vector<std::string>> &rows,
    const Folders &folders)
{
	std::ostringstream wrong;
	for (const auto &[messages, name] : folders) {
		auto row = rows.find(std::to_string(messages));
		if (row == rows.end() || row->second.size() != 1 ||
		    row->second[0].find(name + mark) == std::string::npos)
			wrong << "no single row names \"" << name << "\" with its count " << messages << "\n";
	}
	if (rows.size() != folders.size())
		wrong << rows.size() << " rows for " << folders.size() << " folders\n";
	return wrong.str();
}

class Accounts : public ::testing::TestWithParam<const char *> {};

// Two stores, ~/Work and ~/Mail, through the README's two lines: the
// client lists the folders of both, and F5 takes a folder gone from one
// store out and brings a new one of the other in, each store keeping its
// own list.
TEST_P(Accounts, ListsTheFoldersOfEveryStore)
{
	std::string why = whynoclient(GetParam());
	if (!why.empty())
		GTEST_SKIP() << why;
	const std::vector<std::string> lines = accountlines();
	ASSERT_EQ(lines.size(), 2u) << "README.md shows no lines for several accounts";

	Running r;
	build(homeof(r.t) / "Work", storetree({{4, "proj"}, {5, "old"}}));
	// The other store's folders show their full paths: room for them,
	// wherever the fixture lies.
	startwith(r, GetParam(), {{1, "inbox"}}, "set sidebar_width=190\n");
	ASSERT_EQ(r.failure, "") << r.screen;
	std::ofstream(homeof(r.t) / ".config" / "mailfolders" / "mailfolders.rc")
	    << lines[0] << "\n" << lines[1] << "\n";
	ASSERT_EQ(r.server->tmux({"send-keys", "F5"}).status, 0);
	auto awaited = [&](const Folders &folders) {
		return awaitscreen(*r.server, false, [&](const std::string &s) {
			return unnamed(sidebar(s), folders).empty();
		});
	};
	const Folders both = {{1, "inbox"}, {4, "Work/proj"}, {5, "Work/old"}};
	auto [screen, failure] = awaited(both);
	EXPECT_EQ(failure, "") << unnamed(sidebar(screen), both) << screen;

	fs::rename(homeof(r.t) / "Work" / "old", r.t.path() / "removed");
	build(storeof(r.t), storetree({{2, "fresh"}}));
	ASSERT_EQ(r.server->tmux({"send-keys", "F5"}).status, 0);
	const Folders after = {{1, "inbox"}, {2, "fresh"}, {4, "Work/proj"}};
	std::tie(screen, failure) = awaited(after);
	EXPECT_EQ(failure, "") << unnamed(sidebar(screen), after) << screen;
}

INSTANTIATE_TEST_SUITE_P(Clients, Accounts, ::testing::Values("mutt", "neomutt"),
    [](const ::testing::TestParamInfo<const char *> &info) { return std::string(info.param); });

// The value of key in /etc/os-release, unquoted, or "".
std::string osrelease(const std::string &key)
{
	std::ifstream in("/etc/os-release");
	for (std::string line; std::getline(in, line);) {
		if (line.compare(0, key.size() + 1, key + "=") != 0)
			continue;
		std::string value = line.substr(key.size() + 1);
		if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
			value = value.substr(1, value.size() - 2);
		return value;
	}
	return "";
}

// The cells of the README's "Where it is tested" row whose system names
// "(codename)", trimmed, or none.
std::vector<std::string> testedrow(const std::string &codename)
{
	std::istringstream readme(slurp(fs::path(MAILFOLDERS_EXAMPLES).parent_path() / "README.md"));
	for (std::string line; std::getline(readme, line);) {
		if (line.compare(0, 9, "| Debian ") != 0 ||
		    line.find("(" + codename + ")") == std::string::npos)
			continue;
		std::vector<std::string> cells;
		std::istringstream row(line.substr(1));
		for (std::string cell; std::getline(row, cell, '|');) {
			size_t first = cell.find_first_not_of(' ');
			size_t last = cell.find_last_not_of(' ');
			cells.push_back(first == std::string::npos ? "" : cell.substr(first, last - first + 1));
		}
		return cells;
	}
	return {};
}

// The second word of the first line client -v writes: its version.
std::string clientversion(const char *client)
{
	Invocation inv{{client, "-v"}};
	inv.program = onpath(client);
	std::istringstream out(run(inv).out);
	std::string name, version;
	out >> name >> version;
	return version;
}

// The README's table of the systems the tool is tested on names, in this
// system's row, the compiler this suite was built with and the mutt and
// neomutt installed here.
TEST(Clients, ReadmeTableNamesThisSystemsVersions)
{
	// Debian's unstable calls itself "NEXT/sid" and has no version number.
	std::string pretty = osrelease("PRETTY_NAME");
	std::string codename = osrelease("VERSION_ID").empty() && pretty.size() > 4 &&
		pretty.compare(pretty.size() - 4, 4, "/sid") == 0
	    ? "sid" : osrelease("VERSION_CODENAME");
	std::vector<std::string> row = testedrow(codename);
	if (row.size() < 4)
		GTEST_SKIP() << "README.md's table has no row for this system, " << pretty;

	std::string id = MAILFOLDERS_CXX_ID, version = MAILFOLDERS_CXX_VERSION;
	std::string compiler = id == "GNU" ? "g++ " + version.substr(0, version.rfind('.'))
	    : id == "Clang" ? "clang " + version.substr(0, version.find('.')) : id + " " + version;
	std::istringstream named(row[1]);
	bool found = false;
	for (std::string each; std::getline(named, each, ',');)
		found = found || each.substr(each.find_first_not_of(' ')) == compiler;
	EXPECT_TRUE(found) << "the row of " << row[0] << " names the compilers \"" << row[1]
			   << "\"; this suite was built with " << compiler;

	for (const char *client : {"mutt", "neomutt"}) {
		std::string why = whynoclient(client);
		if (!why.empty())
			GTEST_SKIP() << why;
		EXPECT_EQ(row[client == std::string("mutt") ? 2 : 3], clientversion(client))
		    << "the row of " << row[0] << " names another " << client << " than this system's";
	}
}

}  // namespace
}  // namespace mftest
