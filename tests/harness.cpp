// SPDX-License-Identifier: ISC
#include "harness.h"
#include "errornames.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <map>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

extern char **environ;

namespace mftest {

const char *binary() { return MAILFOLDERS_BIN; }

bool preloadable() { return MAILFOLDERS_FAULTINJECT[0] != '\0'; }

std::string onpath(const std::string &program)
{
	const char *path = std::getenv("PATH");
	std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
	size_t start = 0;
	while (start <= dirs.size()) {
		size_t colon = std::min(dirs.find(':', start), dirs.size());
		std::string candidate = dirs.substr(start, colon - start) + "/" + program;
		if (colon > start && access(candidate.c_str(), X_OK) == 0)
			return candidate;
		start = colon + 1;
	}
	return "";
}

std::string whynostrace()
{
	static const std::string why = [] {
		std::string strace = onpath("strace");
		if (strace.empty())
			return std::string("strace is not installed (apt-get install strace)");
		Invocation inv{{strace, "-o", "/dev/null", "-qq", "--", "true"}};
		inv.program = strace;
		Result r = run(inv);
		if (r.status != 0)
			return "strace cannot trace here: " + r.err;
		return std::string();
	}();
	return why;
}

namespace {

// The errors the tests use, by name: strace and the strerror helper take
// them so, and set or read the number the tool's kind of system gives the
// name, which under an emulator may differ from the tests' own (MIPS).
const char *errname(int errnum)
{
	for (const auto &e : errornames)
		if (e.number == errnum)
			return e.name;
	throw std::invalid_argument("no name for error " + std::to_string(errnum));
}

}  // namespace

// The helper beside the tool, built with the same compiler and C library,
// prints the reason text for an error: the tests' own C library may word
// it otherwise.
std::string reason(int errnum)
{
	static std::map<int, std::string> known;
	auto it = known.find(errnum);
	if (it != known.end())
		return it->second;
	Invocation inv{{"mailfolders_strerror", errname(errnum)}};
	inv.program = MAILFOLDERS_STRERROR;
	Result r = run(inv);
	if (r.status != 0 || r.out.empty() || r.out.back() != '\n')
		throw std::runtime_error(std::string("mailfolders_strerror ") + errname(errnum) +
		    ": status " + std::to_string(r.status) + ": " + r.err);
	r.out.pop_back();
	return known[errnum] = r.out;
}

namespace {

// The command line that runs inv.program under strace, failing one write
// to standard output.  The variables inv adds go to the tool alone, through
// strace's -E: strace itself is a program of the machine's own kind, which
// a fault library built for another could not be loaded into.
std::vector<std::string> understrace(const Invocation &inv)
{
	std::string strace = onpath("strace");
	if (strace.empty())
		throw std::runtime_error("strace is not installed");
	std::vector<std::string> args = {strace, "-o", "/dev/null", "-qq", "-e",
		"inject=write,writev:error=" + std::string(errname(inv.failwrite->error)) +
		":when=" + std::to_string(inv.failwrite->nth + 1)};
	for (const auto &[k, v] : inv.env) {
		args.push_back("-E");
		args.push_back(k + "=" + v);
	}
	// LeakSanitizer cannot work under ptrace; every other test checks leaks.
	const char *asan = std::getenv("ASAN_OPTIONS");
	args.push_back("-E");
	args.push_back(std::string("ASAN_OPTIONS=") + (asan != nullptr ? asan : "") + ":detect_leaks=0");
	args.push_back("--");
	args.push_back(inv.program);
	args.insert(args.end(), inv.argv.begin() + (inv.argv.empty() ? 0 : 1), inv.argv.end());
	return args;
}

[[noreturn]] void fail(const std::string &what)
{
	throw std::system_error(errno, std::generic_category(), what);
}

// Reads both pipes to their ends without letting either fill up.
void drain(int outfd, int errfd, Result &res)
{
	struct pollfd fds[2] = {{outfd, POLLIN, 0}, {errfd, POLLIN, 0}};
	std::string *sinks[2] = {&res.out, &res.err};
	char buf[8192];
	int open = 0;

	for (auto &p : fds)
		open += p.fd >= 0;
	while (open > 0) {
		if (poll(fds, 2, -1) == -1) {
			if (errno == EINTR)
				continue;
			fail("poll");
		}
		for (int i = 0; i < 2; i++) {
			if (fds[i].fd < 0 || fds[i].revents == 0)
				continue;
			ssize_t n = read(fds[i].fd, buf, sizeof buf);
			if (n > 0) {
				sinks[i]->append(buf, static_cast<size_t>(n));
			} else if (n == 0 || errno != EINTR) {
				close(fds[i].fd);
				fds[i].fd = -1;
				open--;
			}
		}
	}
}

// In the child, between fork and exec: only plain system calls here.
[[noreturn]] void exec_child(const Invocation &inv, int outfd, int errfd,
    char *const argv[], char *const envp[])
{
	if (inv.output == Output::Closed)
		close(STDOUT_FILENO);
	else if (dup2(outfd, STDOUT_FILENO) == -1)
		_exit(126);
	if (dup2(errfd, STDERR_FILENO) == -1)
		_exit(126);
	if (!inv.cwd.empty() && chdir(inv.cwd.c_str()) == -1)
		_exit(126);
	if (inv.maxfiles) {
		struct rlimit rl = {*inv.maxfiles, *inv.maxfiles};
		if (setrlimit(RLIMIT_NOFILE, &rl) == -1)
			_exit(126);
	}
	if (inv.user) {
		gid_t gid = *inv.user;
		if (setgroups(1, &gid) == -1 || setgid(gid) == -1 ||
		    setuid(*inv.user) == -1)
			_exit(126);
	}
	execve(inv.program.c_str(), argv, envp);
	_exit(127);
}

}  // namespace

Result run(const Invocation &given)
{
	Invocation inv = given;
	if (inv.program.empty())
		inv.program = binary();
	if (inv.failwrite) {
		inv.argv = understrace(inv);
		inv.program = inv.argv[0];
		inv.env.clear();
	}

	std::vector<char *> argv;
	for (const auto &a : inv.argv)
		argv.push_back(const_cast<char *>(a.c_str()));
	argv.push_back(nullptr);

	// The test's own environment, with inv.env's variables set over it.
	std::vector<std::string> envstore;
	for (char **e = environ; *e != nullptr; e++) {
		std::string var = *e;
		std::string name = var.substr(0, var.find('='));
		bool replaced = std::any_of(inv.env.begin(), inv.env.end(),
		    [&](const auto &kv) { return kv.first == name; });
		if (!replaced)
			envstore.push_back(var);
	}
	for (const auto &[k, v] : inv.env)
		envstore.push_back(k + "=" + v);
	std::vector<char *> envp;
	for (auto &e : envstore)
		envp.push_back(e.data());
	envp.push_back(nullptr);

	int outpipe[2] = {-1, -1};
	int errpipe[2];
	if (pipe2(errpipe, O_CLOEXEC) == -1)
		fail("pipe2");
	int childout = -1;
	switch (inv.output) {
	case Output::Pipe:
		if (pipe2(outpipe, O_CLOEXEC) == -1)
			fail("pipe2");
		childout = outpipe[1];
		break;
	case Output::Merged:
		childout = errpipe[1];
		break;
	case Output::DevFull:
		if ((childout = open("/dev/full", O_WRONLY | O_CLOEXEC)) == -1)
			fail("/dev/full");
		break;
	case Output::Closed:
		break;
	}

	pid_t pid = fork();
	if (pid == -1)
		fail("fork");
	if (pid == 0)
		exec_child(inv, childout, errpipe[1], argv.data(), envp.data());

	close(errpipe[1]);
	if (childout >= 0 && childout != errpipe[1])
		close(childout);
	Result res;
	if (inv.output == Output::Merged)
		drain(errpipe[0], -1, res);
	else
		drain(outpipe[0], errpipe[0], res);

	int ws;
	while (waitpid(pid, &ws, 0) == -1)
		if (errno != EINTR)
			fail("waitpid");
	res.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
	return res;
}

Result mailfolders(const std::string &root)
{
	return run({{binary(), root}});
}

TempDir::TempDir()
{
	std::string tmpl = (fs::temp_directory_path() / "mailfolders-test.XXXXXX").string();
	if (mkdtemp(tmpl.data()) == nullptr)
		fail("mkdtemp");
	path_ = tmpl;
	// Fixture trees must be readable by the unprivileged user too.
	umask(022);
	// Let the unprivileged user of the permission tests in.
	fs::permissions(path_, fs::perms(0755));
}

TempDir::~TempDir()
{
	std::error_code ec;
	fs::remove_all(path_, ec);
}

namespace {

// Leaves a socket file at p: bound, then closed.
void bindsocket(const fs::path &p)
{
	struct sockaddr_un sun = {};
	sun.sun_family = AF_UNIX;
	if (p.string().size() >= sizeof sun.sun_path) {
		errno = ENAMETOOLONG;
		fail("socket " + p.string());
	}
	std::strcpy(sun.sun_path, p.c_str());
	int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
	if (fd == -1)
		fail("socket");
	int rv = bind(fd, reinterpret_cast<struct sockaddr *>(&sun), sizeof sun);
	close(fd);
	if (rv == -1)
		fail("bind " + p.string());
}

}  // namespace

void build(const fs::path &root, const std::vector<Node> &nodes)
{
	for (const auto &n : nodes) {
		fs::path p = root / n.path;
		fs::create_directories(p.parent_path());
		switch (n.kind) {
		case Node::Dir:
			fs::create_directories(p);
			break;
		case Node::File:
			std::ofstream(p) << "Subject: test\n\nbody\n";
			break;
		case Node::Link:
			fs::create_symlink(n.target, p);
			break;
		case Node::Fifo:
			if (mkfifo(p.c_str(), 0644) == -1)
				fail("mkfifo " + p.string());
			break;
		case Node::Socket:
			bindsocket(p);
			break;
		}
	}
}

std::vector<std::string> listing(const fs::path &dir)
{
	std::vector<std::string> names;
	for (const auto &e : fs::directory_iterator(dir))
		names.push_back(e.path().filename().string());
	return names;
}

namespace {

// Position of name in dir's listing.
size_t position(const fs::path &dir, const std::string &name)
{
	auto names = listing(dir);
	auto it = std::find(names.begin(), names.end(), name);
	if (it == names.end())
		throw std::runtime_error(name + " not listed in " + dir.string());
	return static_cast<size_t>(it - names.begin());
}

}  // namespace

std::vector<size_t> pathkey(const fs::path &root, const std::string &rel)
{
	std::vector<size_t> key;
	fs::path dir = root;
	size_t start = 0;
	while (start < rel.size()) {
		size_t slash = std::min(rel.find('/', start), rel.size());
		std::string name = rel.substr(start, slash - start);
		key.push_back(position(dir, name));
		dir /= name;
		start = slash + 1;
	}
	return key;
}

std::string walkedbefore(const fs::path &root, const std::vector<std::string> &words,
    const std::vector<size_t> &point)
{
	std::vector<std::pair<std::vector<size_t>, std::string>> keyed;
	for (const auto &w : words) {
		auto key = pathkey(root, w.empty() ? "cur" : w + "/cur");
		if (key < point)
			keyed.emplace_back(key, w);
	}
	std::sort(keyed.begin(), keyed.end());
	std::vector<std::string> ordered;
	for (auto &k : keyed)
		ordered.push_back(k.second);
	return wordsof(ordered);
}

std::string inlistingorder(const fs::path &root, const std::vector<std::string> &words)
{
	return walkedbefore(root, words, {SIZE_MAX});
}

std::string slurp(const fs::path &file)
{
	std::ifstream in(file);
	std::stringstream text;
	text << in.rdbuf();
	return text.str();
}

std::string chain(const std::string &top, int levels)
{
	std::string path = top;
	for (int i = 0; i < levels; i++)
		path += "/a";
	return path;
}

std::string escaped(const std::string &name)
{
	static const std::string quoted = " \"'\\`$#;";
	std::string s;
	for (unsigned char c : name) {
		if (c < 0x20 || c == 0x7f) {
			s += '\\';
			s += static_cast<char>('0' + (c >> 6));
			s += static_cast<char>('0' + ((c >> 3) & 7));
			s += static_cast<char>('0' + (c & 7));
		} else {
			if (quoted.find(static_cast<char>(c)) != std::string::npos)
				s += '\\';
			s += static_cast<char>(c);
		}
	}
	return s;
}

std::string wordsof(const std::vector<std::string> &names)
{
	std::string s;
	for (const auto &n : names)
		s += "+" + escaped(n) + " ";
	return s;
}

}  // namespace mftest
