#!/usr/bin/env python3
# SPDX-License-Identifier: ISC
"""Write RESULTS.md from the raw figures bench/measure.py wrote: every
verdict is computed in verdicts() below, every table and explanation in the
functions after it.  It measures nothing, so the report can be rewritten or
checked without measuring again.

Usage: bench/report.py DATA-FILE RESULTS-FILE
"""
import json
import sys

WALL, USER, SYS = 0, 1, 2


# --- Arithmetic -------------------------------------------------------------

def quantile(values, q):
    """The q-quantile of values, by the nearest rank."""
    v = sorted(values)
    return v[int(q * (len(v) - 1) + 0.5)]


def times(rounds, cmd, kind=WALL):
    """One command's seconds in every round."""
    return [r[cmd][kind] for r in rounds]


def ratios(rounds, a, b):
    """Command a's wall time over command b's, within each round."""
    return [r[a][WALL] / r[b][WALL] for r in rounds]


def ms(seconds):
    return f"{seconds * 1000:.2f}"


def spread(rounds, a, b):
    """How the ratios of a to b spread over the rounds."""
    r = ratios(rounds, a, b)
    return (f"median {quantile(r, 0.5):.2f}x, middle half {quantile(r, 0.25):.2f}x to "
            f"{quantile(r, 0.75):.2f}x, all {min(r):.2f}x to {max(r):.2f}x, {len(r)} rounds")


def mean(values):
    return sum(values) / len(values)


def syscalls(table, *names):
    """Calls of the named system calls together, from a strace -c table."""
    n = 0
    for line in table.splitlines():
        f = line.split()
        if f and f[-1] in names and f[0][0].isdigit():
            n += int(f[3])
    return n


STATCALLS = ("newfstatat", "fstatat64", "statx", "lstat", "stat", "fstat")


def percent(table, name):
    """The share of system call time the named call took, as strace -c gives it."""
    return next(l.split()[0] for l in table.splitlines() if l.split() and l.split()[-1] == name)


# --- Verdicts ---------------------------------------------------------------

def verdicts(d):
    """Each target: (what it says, met or not, the figures behind it)."""
    rr, c, m = d["rounds"], d["costs"], d["machine"]
    med = lambda name, cmd: ms(quantile(times(rr[name], cmd), 0.5))
    out = []

    def target(text, met, why):
        out.append((text, met, why))

    r = rr["typical"]
    target("Typical store, faster than find", quantile(ratios(r, 0, 1), 0.5) < 1,
           f"mailfolders takes this much of find's time: {spread(r, 0, 1)}; "
           f"medians {med('typical', 0)} ms against {med('typical', 1)} ms")
    target("Typical store, faster than fd", quantile(ratios(r, 0, 2), 0.5) < 1,
           f"mailfolders takes this much of fd's time: {spread(r, 0, 2)}; "
           f"medians {med('typical', 0)} ms against {med('typical', 2)} ms")
    r = rr["large"]
    met = quantile(ratios(r, 0, 1), 0.5) <= 1.05
    target("Large store, no slower than 1.05x find", met,
           f"mailfolders takes this much of find's time: {spread(r, 0, 1)}; "
           f"medians {med('large', 0)} ms against {med('large', 1)} ms"
           + ("" if met else "; why: see System calls on the large store"))
    r = rr["messages"]
    target("Messages per folder change nothing beyond noise, within 5%",
           0.95 <= quantile(ratios(r, 1, 0), 0.5) <= 1.05,
           f"1,000 messages a folder take this much of 10 messages' time: {spread(r, 1, 0)}; "
           f"medians {med('messages', 1)} ms and {med('messages', 0)} ms")

    ins = c["instructions"]
    if m["baseline_rev"]:
        i, b = ins["mailfolders"], ins["baseline"]
        met = (quantile(ratios(rr["baseline-typical"], 0, 1), 0.5) <= 1.05
               and quantile(ratios(rr["baseline-large"], 0, 1), 0.5) <= 1.05
               and i["typical"] <= b["typical"] and i["large"] <= b["large"])
        target("Escaping costs plain names nothing: no more instructions than the version "
               f"that wrote names raw ({m['baseline_rev']}), and its time within 5%", met,
               f"instructions, callgrind: typical store {i['typical']} against {b['typical']}, "
               f"large store {i['large']} against {b['large']}; time against it: typical store "
               f"{spread(rr['baseline-typical'], 0, 1)}; large store "
               f"{spread(rr['baseline-large'], 0, 1)}")
    else:
        target("Escaping costs plain names nothing", None, "the revision is not in this clone")

    w = c["walked"]
    n = c["lstats_large"] - c["lstats_empty"]
    target("One status read per entry examined", n == w["entries"],
           f"{n} lstat calls for {w['entries']} entries in {w['dirs']} directories")
    per_dir = {s: (syscalls(c["strace_large"], s) - syscalls(c["strace_empty"], s))
               / (w["dirs"] - 1) for s in ("openat", "getdents64", "close")}
    target("A constant number of calls per directory walked",
           per_dir["openat"] == 1 and per_dir["close"] == 1 and per_dir["getdents64"] == 2,
           "per directory: " + ", ".join(f"{s} {v:.3f}" for s, v in per_dir.items()))
    writes = syscalls(c["strace_large"], "write")
    most = c["output_bytes"] // c["bufsize"] + 1
    target("Output writes at most output size / buffer size + 1", writes <= most,
           f"{writes} writes for {c['output_bytes']} bytes with a {c['bufsize']}-byte buffer: "
           f"at most {most}")
    h = c["heap"]
    target("Heap allocations the same whatever the files per folder",
           h["messages10"] == h["messages1000"],
           f"10 messages: {h['messages10']}; 1,000 messages: {h['messages1000']}")
    rss = {k: quantile(v, 0.5) for k, v in c["peakrss"].items()}
    target("Peak memory flat as entries grow",
           rss["folders10000"] <= rss["folders100"] * 1.10
           and rss["messages1000"] <= rss["messages10"] * 1.10,
           f"median of nine runs; 100 folders: {rss['folders100']} KiB, 10,000 folders: "
           f"{rss['folders10000']} KiB; 10 messages a folder: {rss['messages10']} KiB, "
           f"1,000: {rss['messages1000']} KiB")
    return out


# --- The report -------------------------------------------------------------

def table(rounds, labels):
    rows = ["| command | median (ms) | min (ms) | max (ms) |", "|---|---:|---:|---:|"]
    for cmd, label in enumerate(labels):
        t = times(rounds, cmd)
        rows.append(f"| {label} | {ms(quantile(t, 0.5))} | {ms(min(t))} | {ms(max(t))} |")
    return "\n".join(rows) + "\n"


def block(text):
    return "```\n" + text.rstrip("\n") + "\n```\n"


PEERS = ["mailfolders", "find with -prune", "fd --prune"]


def head(d):
    m = d["machine"]
    return f"""# Benchmark results

Written by `bench/run`, measured on {d['date']}. Every figure of time comes from alternating rounds:
`bench/alternate` runs the commands in turn (A B A B …, or A B C A B C …), with output to
/dev/null and a warm cache after a few untimed rounds. A table shows each command's median,
fastest and slowest round; a comparison takes the ratio within each round, and the median of the
rounds decides. A slow minute on a shared machine slows every command of its round alike, so it
moves a ratio far less than it moves times taken minutes apart; the middle half and the range of
the ratios show how far each verdict can be trusted.

## Machine

- CPU: {m['cpu']}, {m['cores']} cores
- Memory: {m['memory_kib'] / 1048576:.0f} GiB
- System: {m['system']}, file system {m['filesystem']}
- mailfolders: {m['mailfolders']}, {m['compiler']}
- {m['find']}
- fd {m['fd']}
"""


def targets(d):
    lines = ["## Targets", ""]
    for text, met, why in verdicts(d):
        word = "not measured" if met is None else "met" if met else "NOT met"
        lines.append(f"- {text}: **{word}** ({why})")
    m, rr, ins = d["machine"], d["rounds"], d["costs"]["instructions"]
    for name, what in (("previous", "Against the last release"),
                       ("unhardened", "What the hardening costs, against the last release "
                        "built without it")):
        rev = m.get(name + "_rev")
        if not rev:
            lines.append(f"- {what}: **not measured** (its revision is not in this clone)")
            continue
        i, p = ins["mailfolders"], ins[name]
        lines.append(f"- {what} ({rev}), as it was built; no target: time: typical store "
                     f"{spread(rr[name + '-typical'], 0, 1)}; large store "
                     f"{spread(rr[name + '-large'], 0, 1)}; instructions, callgrind: typical "
                     f"store {i['typical']} against {p['typical']}, large store {i['large']} "
                     f"against {p['large']}")
    return "\n".join(lines) + "\n"


def stores(d):
    rr, f = d["rounds"], d["folders"]
    return f"""## Typical store

{f['typical']} folders (40 at the top, 10 in a plain directory, 10 in a dot-named one), 50 messages each.

{table(rr['typical'], PEERS)}
## Large store

{f['large']} folders in three levels, 100 messages each, and five index files beside cur, new and
tmp in every folder.

{table(rr['large'], PEERS)}
## Scaling

Folders, five messages each, a hundred folders to a plain directory:

{table(rr['scaling'], ['mailfolders, 100 folders', 'mailfolders, 1,000 folders',
                        'mailfolders, 10,000 folders'])}
Messages per folder, 200 folders:

{table(rr['messages'], ['mailfolders, 10 messages', 'mailfolders, 1,000 messages',
                         'find, 10 messages', 'find, 1,000 messages'])}"""


def system_calls(d):
    c, large = d["costs"], d["rounds"]["large"]
    n = c["lstats_large"] - c["lstats_empty"]
    user = lambda cmd: ms(mean(times(large, cmd, USER)))
    kernel = lambda cmd: ms(mean(times(large, cmd, SYS)))
    return f"""## System calls on the large store

`strace -f -c` of one run, output to a file (the program's start-up included):

{block(c['strace_large'])}
find with -prune on the same store, for comparison:

{block(c['strace_find'])}
mailfolders makes fewer system calls than find, but more of the costly kind: it reads the
status of every entry, {n} lstat calls that each resolve the entry's whole path, where
find takes the type of plain files from the directory stream and reads status only for
directories, by one name relative to a directory it holds open. Reading the status of every
entry, never trusting the type the directory stream may carry, is how mailfolders is built
to work; so on a store with several index files beside cur, new and tmp in every folder it
runs about even with find, and which of the two is ahead moves from round to round.
Where the time goes (means over the rounds above): mailfolders {user(0)} ms in user space and
{kernel(0)} ms in the kernel; find {user(1)} ms and {kernel(1)} ms.

The same for an empty root, the fixed cost of a run:

{block(c['strace_empty'])}"""


def static(d):
    rr, c = d["rounds"], d["costs"]
    if not d["machine"]["static"]:
        return "## The static binary\n\nNot measured: it could not be built (musl-tools).\n"
    labels = ["mailfolders, static (musl)", "mailfolders, dynamic (glibc)"] + PEERS[1:]
    med = lambda st, cmd: quantile(times(rr["static-" + st], cmd), 0.5)
    saved = med("empty", 1) - med("empty", 0)
    share = lambda st: f"{saved / med(st, 1) * 100:.0f}%"
    return f"""## The static binary

The static binary (built against musl, `cmake --build build --target static`) against the
dynamic one (glibc), find and fd, the four taking turns. On an empty root a run is nothing but
starting the program and ending it:

{table(rr['static-empty'], labels)}
- static against dynamic: {spread(rr['static-empty'], 0, 1)}

Typical store:

{table(rr['static-typical'], labels)}
- static against dynamic: {spread(rr['static-typical'], 0, 1)}

Large store:

{table(rr['static-large'], labels)}
- static against dynamic: {spread(rr['static-large'], 0, 1)}

Where start-up is the cost: the static binary starts without the dynamic loader, which maps the
C library and relocates the program against it, and so saves {ms(saved)} ms a run (the
medians on the empty root). On the typical store that is {share('typical')} of the dynamic
binary's time, since starting is most of what a run there does; on the large store it is
{share('large')}, and the walk itself decides, in system calls and in each C library's own code: the
static binary made {syscalls(c['strace_static_large'], 'getdents64')} getdents64 calls and {syscalls(c['strace_static_large'], *STATCALLS)} status reads there, the dynamic one
{syscalls(c['strace_large'], 'getdents64')} and {syscalls(c['strace_large'], *STATCALLS)} (glibc's opendir reads the status of the directory it opens).
"""


def coldtable(cold):
    rows = ["| command | median (ms) | min (ms) | max (ms) | read from the disk (KiB) | status reads |",
            "|---|---:|---:|---:|---:|---:|"]
    for cmd, (tool, label) in enumerate(zip(("mailfolders", "find", "fd"), PEERS)):
        t = times(cold["rounds"], cmd)
        rows.append(f"| {label} | {ms(quantile(t, 0.5))} | {ms(min(t))} | {ms(max(t))} | "
                    f"{cold[tool]['blocks'] * 512 // 1024} | "
                    f"{syscalls(cold[tool]['strace'], *STATCALLS)} |")
    return ("\n".join(rows) + "\n\n"
            f"- mailfolders against find: {spread(cold['rounds'], 0, 1)}\n"
            f"- mailfolders against fd: {spread(cold['rounds'], 0, 2)}\n")


def cold(d):
    c = d["cold"]
    if c is None:
        return "## Cold cache\n\nNot measured: dropping the caches needs root.\n"
    kib = lambda tool: c["large"][tool]["blocks"] * 512 // 1024
    return f"""## Cold cache

A store as a mail client meets it at its first start after boot: every run starts after
`sync` and `echo 3 > /proc/sys/vm/drop_caches`, the three tools taking turns, for
{len(c['large']['rounds'])} rounds. There is no target: mailfolders reads the status of every entry by design.
Beside the times, what one more cold run of each read: the file system inputs that
`/usr/bin/time` reports, and the status reads (newfstatat, statx and the like) that
`strace -f -c` counts.

Large store, with five index files beside cur, new and tmp in every folder:

{coldtable(c['large'])}
Typical store, with nothing beside cur, new and tmp:

{coldtable(c['typical'])}
Why: all three list the same directories and read the status of the directories in
them. mailfolders alone also reads the status of every other entry it examines: on the
large store the {d['costs']['walked']['files']} index files, which find and fd type from the listing without
touching their inodes. With a cold cache each of those status reads may have to fetch
an inode from the disk, so on the large store mailfolders read
{kib('mailfolders')} KiB where find read {kib('find')} KiB and fd {kib('fd')} KiB, and its status reads took
{percent(c['large']['mailfolders']['strace'], 'newfstatat')}% of its time in system calls (below). On the typical store, where there is
nothing but directories to read the status of, that cost is gone, and the cold times
above show where mailfolders then stands. fd reads several directories at once on its
threads, so its waits for the disk overlap, where mailfolders and find wait for each
read in turn. Where mailfolders's time goes on the large store, cold (`strace -f -c`;
strace's own cost inflates every call alike):

{block(c['large']['mailfolders']['strace'])}
find on the large store, cold:

{block(c['large']['find']['strace'])}"""


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: bench/report.py DATA-FILE RESULTS-FILE")
    with open(sys.argv[1]) as f:
        d = json.load(f)
    parts = [head(d), targets(d), stores(d), system_calls(d), static(d), cold(d)]
    with open(sys.argv[2], "w") as f:
        f.write("\n".join(parts))
    for text, met, _ in verdicts(d):
        print(f"{text}: {'not measured' if met is None else 'met' if met else 'NOT met'}",
              file=sys.stderr)


if __name__ == "__main__":
    main()
