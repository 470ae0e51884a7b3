// SPDX-License-Identifier: ISC
// alternate: time commands in alternation, A B A B ... (or A B C A B C ...),
// so that a machine whose speed drifts from one minute to the next slows
// each command of a round alike and the ratios within a round hold.
//
// Usage: alternate ROUNDS WARMUP [-p PREP] -- CMD ARGS... [-- CMD ARGS...]...
//   ROUNDS  timed rounds; each runs every command once, in the order given
//   WARMUP  untimed rounds first
//   PREP    a shell command run, untimed, before every run (to drop caches)
//
// Prints one line per timed round: for each command, in the order given,
// its wall, user and system time in seconds.  The commands' output goes to
// /dev/null; a command that fails ends the run with status 1.
#include <sys/resource.h>
#include <sys/wait.h>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void usage()
{
	std::fprintf(stderr, "usage: alternate ROUNDS WARMUP [-p PREP] -- CMD... [-- CMD...]...\n");
	std::exit(2);
}

double now()
{
	struct timespec ts;
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double seconds(const struct timeval &tv)
{
	return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

struct Times {
	double wall, user, sys;
};

// Runs argv with its output to /dev/null; returns its times.
Times timed(const std::vector<char *> &argv)
{
	double start = now();
	pid_t pid = fork();
	if (pid == -1) {
		std::perror("fork");
		std::exit(1);
	}
	if (pid == 0) {
		int null = open("/dev/null", O_WRONLY);
		if (null == -1 || dup2(null, STDOUT_FILENO) == -1)
			_exit(126);
		execvp(argv[0], argv.data());
		_exit(127);
	}
	int status;
	struct rusage ru;
	while (wait4(pid, &status, 0, &ru) == -1)
		;
	double took = now() - start;
	if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
		std::fprintf(stderr, "alternate: %s failed\n", argv[0]);
		std::exit(1);
	}
	return {took, seconds(ru.ru_utime), seconds(ru.ru_stime)};
}

}  // namespace

int main(int argc, char *argv[])
{
	if (argc < 5)
		usage();
	int rounds = std::atoi(argv[1]);
	int warmup = std::atoi(argv[2]);
	int i = 3;
	const char *prep = nullptr;
	if (std::strcmp(argv[i], "-p") == 0) {
		if (i + 1 >= argc)
			usage();
		prep = argv[i + 1];
		i += 2;
	}
	std::vector<std::vector<char *>> commands;
	for (; i < argc; i++) {
		if (std::strcmp(argv[i], "--") == 0)
			commands.emplace_back();
		else if (!commands.empty())
			commands.back().push_back(argv[i]);
		else
			usage();
	}
	for (auto &c : commands) {
		if (c.empty())
			usage();
		c.push_back(nullptr);
	}
	if (commands.empty())
		usage();

	for (int r = -warmup; r < rounds; r++) {
		std::string line;
		for (const auto &c : commands) {
			if (prep != nullptr && std::system(prep) != 0) {
				std::fprintf(stderr, "alternate: %s failed\n", prep);
				return 1;
			}
			Times t = timed(c);
			char field[96];
			std::snprintf(field, sizeof field, "%s%.6f %.6f %.6f",
			    line.empty() ? "" : " ", t.wall, t.user, t.sys);
			line += field;
		}
		if (r >= 0)
			std::printf("%s\n", line.c_str());
	}
	return 0;
}
