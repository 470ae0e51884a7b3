#!/usr/bin/env python3
# SPDX-License-Identifier: ISC
"""Measure mailfolders, find and fd on generated Maildir stores and write
the raw figures, nothing computed from them, to a JSON file: the rounds of
every timed comparison, system call tables, counts, sizes and memory.
bench/report.py turns that file into RESULTS.md.

Usage: bench/measure.py DATA-FILE   (bench/run calls it; see there for the
environment variables)
"""
import datetime
import json
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
CACHE = os.environ.get("MAILFOLDERS_BENCH_CACHE") or os.path.join(
    os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"), "mailfolders-bench")
LAYOUT = 1  # bump when the stores below change, to make them anew
# The hardening the build adds since 2.0.1, for the unescaped version, so
# that comparing with it measures the escaping alone.
HARDENING = ("-fstack-protector-strong -fstack-clash-protection -fcf-protection "
             "-D_FORTIFY_SOURCE=2 -fPIE",
             "-Wl,-z,relro -Wl,-z,now -Wl,-z,noexecstack -pie")
DROP_CACHES = "sync; echo 3 > /proc/sys/vm/drop_caches"
WORK = None  # a scratch directory, for the run


def say(*words):
    print("bench:", *words, file=sys.stderr)


def sh(argv, **kw):
    """Run argv; its standard output as text."""
    return subprocess.run(argv, check=True, text=True, stdout=subprocess.PIPE, **kw).stdout


# --- The tools --------------------------------------------------------------

def release(source, build, target="mailfolders", cxxflags="", ldflags=""):
    env = dict(os.environ, CXXFLAGS=cxxflags, LDFLAGS=ldflags)
    sh(["cmake", "-S", source, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
        "-DBUILD_TESTING=OFF"], env=env)
    sh(["cmake", "--build", build, "--target", target], env=env)


def revision(rev, name, *flags):
    """A Release build of an earlier revision, or None if this clone lacks it."""
    if subprocess.run(["git", "-C", TOP, "cat-file", "-e", rev + "^{commit}"],
                      stderr=subprocess.DEVNULL).returncode != 0:
        say(f"revision {rev} not found: no comparison with it")
        return None
    src = os.path.join(WORK, name)
    os.mkdir(src)
    subprocess.run(f"git -C '{TOP}' archive '{rev}' | tar -x -C '{src}'", shell=True, check=True)
    release(src, os.path.join(src, "build"), "mailfolders", *flags)
    return os.path.join(src, "build", "mailfolders")


def tools():
    build = os.path.join(TOP, "build-bench")
    tool = os.environ.get("MAILFOLDERS")
    if not tool:
        release(TOP, build)
        tool = os.path.join(build, "mailfolders")
    static = None
    try:
        release(TOP, build, "static")
        static = os.path.join(build, f"static-{os.uname().machine}-linux-musl", "mailfolders")
    except subprocess.CalledProcessError:
        say("the static binary could not be built (apt-get install musl-tools): not measured")
    baseline = os.environ.get("MAILFOLDERS_BASELINE") or "6846ddb"
    previous = os.environ.get("MAILFOLDERS_PREVIOUS") or "122d2c6"
    unhardened = os.environ.get("MAILFOLDERS_UNHARDENED") or "e1915a1"
    alternate = os.path.join(WORK, "alternate")
    sh(["c++", "-O2", "-o", alternate, os.path.join(HERE, "alternate.cpp")])
    return {"mailfolders": tool, "static": static, "alternate": alternate,
            "baseline": revision(baseline, "baseline", *HARDENING), "baseline_rev": baseline,
            "previous": revision(previous, "previous"), "previous_rev": previous,
            "unhardened": revision(unhardened, "unhardened"), "unhardened_rev": unhardened}


# --- The stores -------------------------------------------------------------

def typical_folders():
    return (["inbox", "drafts", "sent", "trash", "spam", "archive"]
            + [f"project{i:02d}" for i in range(1, 35)]
            + [f"lists/list{i:02d}" for i in range(1, 11)]
            + [f".Archive/{y}" for y in range(2017, 2027)])


def large_folders():  # 20 + 20*10 + 20*10*9 = 2,020 folders in three levels
    out = []
    for a in range(1, 21):
        out.append(f"top{a:02d}")
        for b in range(1, 11):
            out.append(f"top{a:02d}/mid{b:02d}")
            out += [f"top{a:02d}/mid{b:02d}/leaf{c}" for c in range(1, 10)]
    return out


def grouped_folders(n):  # n folders, a hundred to a plain directory
    return [f"group{i // 100:03d}/folder{i % 100:03d}" for i in range(n)]


INDEX = ["dovecot-uidlist", "dovecot.index", "dovecot.index.cache", "dovecot.index.log",
         "maildirfolder"]


def populate(root, folders, messages, index):
    """Each folder with cur, new and tmp, and empty messages (four in five in
    cur, the rest in new); with index, the files a mail server keeps beside."""
    for f in folders:
        for sub in ("cur", "new", "tmp"):
            os.makedirs(os.path.join(root, f, sub), exist_ok=True)
        for i in range(1, messages + 1):
            name = (f"cur/{1765000000 + i}.M{i}P4242.bench:2,S" if i % 5
                    else f"new/{1765000000 + i}.M{i}P4242.bench")
            open(os.path.join(root, f, name), "w").close()
        for name in INDEX if index else []:
            open(os.path.join(root, f, name), "w").close()


def store(name, folders, messages, index):
    """The path of a cached store, made once."""
    path = os.path.join(CACHE, name)
    if not os.path.exists(os.path.join(path, f".complete-{LAYOUT}")):
        say("making store", name)
        subprocess.run(["rm", "-rf", path, path + ".new"], check=True)
        populate(os.path.join(path + ".new", "Mail"), folders, messages, index)
        open(os.path.join(path + ".new", f".complete-{LAYOUT}"), "w").close()
        os.rename(path + ".new", path)
    return os.path.join(path, "Mail")


def stores():
    empty = os.path.join(CACHE, "empty")
    os.makedirs(empty, exist_ok=True)
    return {"typical": store("typical", typical_folders(), 50, False),
            "large": store("large", large_folders(), 100, True),
            "folders100": store("folders-100", grouped_folders(100), 5, False),
            "folders1000": store("folders-1000", grouped_folders(1000), 5, False),
            "folders10000": store("folders-10000", grouped_folders(10000), 5, False),
            "messages10": store("messages-10", grouped_folders(200), 10, False),
            "messages1000": store("messages-1000", grouped_folders(200), 1000, False),
            "empty": empty}


# --- The peers, and a check that all three find the same folders ----------

def findcmd(root):
    return ["find", root, "(", "-name", "cur", "-o", "-name", "new", "-o", "-name", "tmp", ")",
            "-prune", "-name", "cur", "-type", "d", "-print"]


def fdcmd(root):
    return ["fdfind", "-u", "--prune", "-t", "d", "^(cur|new|tmp)$", root]


def relative(root, paths):
    return sorted(p[len(root) + 1:].rstrip("/")[:-len("/cur")] for p in paths
                  if p.rstrip("/").endswith("/cur"))


def agree(tool, root):
    """The number of folders, once mailfolders, find and fd agree on them."""
    words = sorted(w[1:] for w in sh([tool, root]).split(" ") if w.startswith("+"))
    for peer in (findcmd, fdcmd):
        if relative(root, sh(peer(root)).splitlines()) != words:
            sys.exit(f"bench: mailfolders and {peer(root)[0]} disagree on {root}")
    return len(words)


# --- Timing -----------------------------------------------------------------

def alternate(t, rounds, warmup, *commands, prep=None):
    """Run the commands in turn, round after round; each round as a list of
    [wall, user, system] seconds, a triple per command."""
    argv = [t["alternate"], str(rounds), str(warmup)] + (["-p", prep] if prep else [])
    for c in commands:
        argv += ["--"] + c
    rows = []
    for line in sh(argv).splitlines():
        v = [float(x) for x in line.split()]
        rows.append([v[i:i + 3] for i in range(0, len(v), 3)])
    return rows


def timings(t, s):
    mf = t["mailfolders"]
    peers = lambda root: [[mf, root], findcmd(root), fdcmd(root)]
    r = {"typical": alternate(t, 101, 5, *peers(s["typical"])),
         "large": alternate(t, 61, 3, *peers(s["large"])),
         "scaling": alternate(t, 51, 3, *[[mf, s[k]] for k in
                                          ("folders100", "folders1000", "folders10000")]),
         "messages": alternate(t, 51, 3, [mf, s["messages10"]], [mf, s["messages1000"]],
                               findcmd(s["messages10"]), findcmd(s["messages1000"]))}
    # Two builds of nearly the same code differ on the large store by less
    # than the noise of a few dozen rounds: the comparisons with earlier
    # revisions take more there.
    for name in ("baseline", "previous", "unhardened"):
        if t[name]:
            r[name + "-typical"] = alternate(t, 101, 5, [mf, s["typical"]], [t[name], s["typical"]])
            r[name + "-large"] = alternate(t, 301, 3, [mf, s["large"]], [t[name], s["large"]])
    if t["static"]:
        for st, rounds in (("empty", 201), ("typical", 101), ("large", 101)):
            root = s[st]
            r["static-" + st] = alternate(t, rounds, 5, [t["static"], root], [mf, root],
                                          findcmd(root), fdcmd(root))
    return r


def cold(t, s):
    """Every run from dropped caches, the tools taking turns; and what one more
    cold run of each reads from the disk and where its time goes."""
    if os.geteuid() != 0 or subprocess.run(DROP_CACHES, shell=True,
                                           stderr=subprocess.DEVNULL).returncode != 0:
        say("not root, or caches cannot be dropped: no cold-cache rounds")
        return None
    out = {}
    for st in ("typical", "large"):
        root = s[st]
        cmds = {"mailfolders": [t["mailfolders"], root], "find": findcmd(root), "fd": fdcmd(root)}
        out[st] = {"rounds": alternate(t, 5, 0, *cmds.values(), prep=DROP_CACHES)}
        for name, c in cmds.items():
            subprocess.run(DROP_CACHES, shell=True, check=True)
            io = os.path.join(WORK, "io")
            subprocess.run(["/usr/bin/time", "-f", "%I", "-o", io] + c, check=True,
                           stdout=subprocess.DEVNULL)
            subprocess.run(DROP_CACHES, shell=True, check=True)
            out[st][name] = {"blocks": int(open(io).read().split()[-1]),
                             "strace": strace_c(c)}
    return out


# --- Costs ------------------------------------------------------------------

def strace_c(argv, out=os.devnull):
    """strace -f -c's table of one run."""
    table = os.path.join(WORK, "strace.c")
    with open(out, "w") as o:
        subprocess.run(["strace", "-f", "-c", "-o", table] + argv, check=True, stdout=o)
    return open(table).read()


def lstats(tool, root):
    trace = os.path.join(WORK, "stat.t")
    subprocess.run(["strace", "-f", "-e", "trace=newfstatat,lstat,stat,fstat", "-o", trace,
                    tool, root], check=True, stdout=subprocess.DEVNULL)
    return open(trace).read().count("AT_SYMLINK_NOFOLLOW")


def walked(root):
    """Entries the walk examines (every name but . and .. in each directory it
    opens), the files among them and the directories it opens."""
    prune = ["(", "-name", "cur", "-o", "-name", "new", "-o", "-name", "tmp", ")", "-type", "d"]
    count = lambda *a: len(sh(["find", root] + list(a)).splitlines())
    return {"entries": count("-mindepth", "1", "-print", *prune, "-prune"),
            "files": count(*prune, "-prune", "-o", "!", "-type", "d", "-print"),
            "dirs": count(*prune, "-prune", "-o", "-type", "d", "-print")}


def heap(tool, root):
    err = subprocess.run(["valgrind", "--tool=memcheck", tool, root], text=True,
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE).stderr
    m = re.search(r"total heap usage: ([\d,]+) allocs, [\d,]+ frees, ([\d,]+) bytes", err)
    return f"{m.group(1)} allocs, {m.group(2)} bytes"


def instructions(tool, root):
    """User-space instructions, which callgrind counts the same on every run."""
    err = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null",
                          tool, root], text=True, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE).stderr
    return int(re.search(r"Collected : (\d+)", err).group(1))


def peakrss(tool, root, runs=9):
    """Peak memory in KiB of several runs: one run's figure moves by a tenth."""
    samples = []
    for _ in range(runs):
        err = subprocess.run(["/usr/bin/time", "-f", "%M", tool, root], text=True,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE).stderr
        samples.append(int(err.split()[-1]))
    return samples


def costs(t, s):
    mf, large = t["mailfolders"], s["large"]
    out_file = os.path.join(WORK, "large.out")
    c = {"walked": walked(large),
         "strace_large": strace_c([mf, large], out_file),
         "strace_find": strace_c(findcmd(large)),
         "strace_empty": strace_c([mf, s["empty"]]),
         "lstats_large": lstats(mf, large), "lstats_empty": lstats(mf, s["empty"]),
         # stdio sizes its buffer by the output's st_blksize: a file here.
         "output_bytes": os.path.getsize(out_file), "bufsize": os.stat(out_file).st_blksize,
         "heap": {k: heap(mf, s[k]) for k in ("messages10", "messages1000")},
         "peakrss": {k: peakrss(mf, s[k]) for k in
                     ("folders100", "folders10000", "messages10", "messages1000")},
         "instructions": {}}
    if t["static"]:
        c["strace_static_large"] = strace_c([t["static"], large])
    for name in ("mailfolders", "baseline", "previous", "unhardened"):
        if t[name]:
            c["instructions"][name] = {st: instructions(t[name], s[st]) for st in ("typical", "large")}
    return c


def machine(t):
    first = lambda argv: sh(argv).splitlines()[0]
    cpu = next(l.split(": ", 1)[1] for l in open("/proc/cpuinfo") if l.startswith("model name"))
    mem = next(int(l.split()[1]) for l in open("/proc/meminfo") if l.startswith("MemTotal"))
    describe = subprocess.run(["git", "-C", TOP, "describe", "--always"], text=True,
                              stdout=subprocess.PIPE).stdout.strip() or "unknown"
    return {"cpu": cpu.strip(), "cores": os.cpu_count(), "memory_kib": mem,
            "system": " ".join(os.uname()[i] for i in (0, 2)),
            "filesystem": sh(["df", "-T", CACHE]).splitlines()[1].split()[1],
            "mailfolders": describe, "compiler": first([os.environ.get("CXX", "c++"), "--version"]),
            "find": first(["find", "--version"]), "fd": sh(["fdfind", "--version"]).split()[1],
            "baseline_rev": t["baseline_rev"] if t["baseline"] else None,
            "previous_rev": t["previous_rev"] if t["previous"] else None,
            "unhardened_rev": t["unhardened_rev"] if t["unhardened"] else None,
            "static": t["static"] is not None}


def main():
    global WORK
    if len(sys.argv) != 2:
        sys.exit("usage: bench/measure.py DATA-FILE")
    WORK = tempfile.mkdtemp(prefix="mailfolders-bench.")
    try:
        measure(sys.argv[1])
    finally:
        subprocess.run(["rm", "-rf", WORK])


# The figures it writes are the tree's, measured: only a tree as committed
# (but for the figures themselves) is one that others can build again.
OWN_FILES = ("bench/results.json", "bench/RESULTS.md")


def committed():
    """Whether the tree is as committed, but for the benchmark's own files."""
    return subprocess.run(["git", "-C", TOP, "diff", "--quiet", "HEAD", "--", "."]
                          + [":!" + f for f in OWN_FILES]).returncode == 0


def measure(datafile):
    if not os.environ.get("MAILFOLDERS") and not committed():
        sys.exit("bench/measure.py: the tree has changes not committed; commit them, so that "
                 "the figures name a revision that can be built again")
    t = tools()
    s = stores()
    say("checking that the three tools agree")
    folders = {k: agree(t["mailfolders"], s[k]) for k in s if k != "empty"}
    say("timing in alternating rounds")
    data = {"date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
            "machine": machine(t), "folders": folders, "rounds": timings(t, s)}
    say("timing with a cold cache")
    data["cold"] = cold(t, s)
    say("counting system calls, allocations and memory")
    data["costs"] = costs(t, s)
    write(data, datafile)


def write(data, datafile):
    """The figures as JSON, a round of times to a line."""
    text = json.dumps(data, indent=1)
    flat = lambda m: "[" + re.sub(r"\s+", " ", m.group(1)).strip() + "]"
    text = re.sub(r"\[((?:\s*-?[\d.e+-]+,?)+)\s*\]", flat, text)  # the times of a run
    text = re.sub(r"\[((?:\s*\[[^\[\]]*\],?)+)\s*\]", flat, text)  # the runs of a round
    with open(datafile, "w") as f:
        f.write(text + "\n")


if __name__ == "__main__":
    main()
