#!/usr/bin/env python3
"""Side-by-side benchmark of zuget and zuput against tar, cat and cp.

Run by hand from the project root, never in CI:

    python3 bench/run.py [--pairs 9] [--only NAME]

It builds the optimised tools in build-bench/, makes its files and archives in
/dev/shm (a RAM-backed folder) where there is one, and times each pair of
commands in the same run, alternating ours and the peer's (A B A B ...) after
a warm-up. For each workload it prints the median of the per-pair ratios
ours / peer with their spread (lowest to highest), and the peak memory of our
tool as /usr/bin/time -v reports it. Then it checks that the cost per entry
grows no faster than linearly from 10 000 to 100 000 small entries.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build-bench")
MiB = 1 << 20


def build():
    subprocess.run(["cmake", "-S", ROOT, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release",
                    "-DBUILD_TESTING=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "--parallel", "2"], check=True,
                   stdout=subprocess.DEVNULL)
    return {t: os.path.join(BUILD, d, t) for t, d in
            [("zuget", "zuget"), ("zuput", "zuput"), ("mkdat", "tests")]}


def make_set(tools, work, name, count, size):
    """count files of size random bytes, their archive, and a tar of them."""
    files = os.path.join(work, name)
    os.makedirs(files)
    for i in range(count):
        with open(os.path.join(files, "E%06d.BIN" % i), "wb") as f:
            f.write(os.urandom(size))
    dat = os.path.join(work, name + ".DAT")
    subprocess.run([tools["mkdat"], dat, files], check=True)
    tar = os.path.join(work, name + ".tar")
    subprocess.run(["tar", "-cf", tar, "-C", files, "."], check=True)
    return {"files": files, "dat": dat, "tar": tar, "count": count}


class Run:
    """A command run in a fresh folder; only the command itself is timed."""

    def __init__(self, argv, prepare=None, stdout_name=None):
        self.argv, self.prepare, self.stdout_name = argv, prepare, stdout_name

    def _fresh(self, work):
        out = os.path.join(work, "out")
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        if self.prepare:
            self.prepare(out)
        return out

    def __call__(self, work):
        out = self._fresh(work)
        start = time.perf_counter()
        sink = open(os.path.join(out, self.stdout_name), "wb") if self.stdout_name \
            else subprocess.DEVNULL
        done = subprocess.run(self.argv, cwd=out, stdout=sink)
        if self.stdout_name:
            sink.close()
        elapsed = time.perf_counter() - start
        if done.returncode != 0:
            sys.exit("%s failed with %d" % (" ".join(self.argv), done.returncode))
        return elapsed

    def peak_kib(self, work):
        out = self._fresh(work)
        done = subprocess.run(["/usr/bin/time", "-v"] + self.argv, cwd=out,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        for line in done.stderr.splitlines():
            if "Maximum resident set size" in line:
                return int(line.split(":")[1])
        return None


def spread(values):
    """Middle half and whole range, as 'q1 to q3 (min to max)'."""
    q = statistics.quantiles(values, n=4)
    return "%.2f to %.2f (%.2f to %.2f)" % (q[0], q[2], min(values), max(values))


def pairs(a, b, work, n):
    a(work), b(work)  # warm-up
    ta, tb = [], []
    for _ in range(n):
        ta.append(a(work))
        tb.append(b(work))
    ratios = [x / y for x, y in zip(ta, tb)]
    return statistics.median(ta), statistics.median(tb), ratios


def replace_setup(entry, size):
    def prepare(out):
        with open(os.path.join(out, entry), "wb") as f:
            f.write(os.urandom(size))
    return prepare


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pairs", type=int, default=9)
    parser.add_argument("--only", help="run only workloads whose name contains this")
    args = parser.parse_args()
    if args.pairs < 7:
        sys.exit("at least 7 pairs")

    tools = build()
    base = "/dev/shm" if os.path.isdir("/dev/shm") else None
    work = tempfile.mkdtemp(prefix="zu-bench-", dir=base)
    try:
        print("machine: %s, %d cores; files in %s" % (os.uname().machine, os.cpu_count(), work))
        print("date: %s; %d pairs each, ours and the peer's alternating\n"
              % (time.strftime("%Y-%m-%d %H:%M"), args.pairs))
        big = make_set(tools, work, "big", 128, 4 * MiB)
        huge = make_set(tools, work, "huge", 16, 32 * MiB)
        small = make_set(tools, work, "small", 20000, 300)

        zuget, zuput = tools["zuget"], tools["zuput"]
        workloads = [
            ("unpack 128 x 4 MiB", "tar -xf", 1.0,
             Run([zuget, big["dat"]]), Run(["tar", "-xf", big["tar"]])),
            ("unpack 128 x 4 MiB", "cat", 1.4,
             Run([zuget, big["dat"]]), Run(["cat", big["dat"]], stdout_name="ONE")),
            ("unpack 16 x 32 MiB", "tar -xf", 2.0,
             Run([zuget, huge["dat"]]), Run(["tar", "-xf", huge["tar"]])),
            ("unpack 20000 x 300 B", "tar -xf", 1.0,
             Run([zuget, small["dat"]]), Run(["tar", "-xf", small["tar"]])),
            ("replace middle 4 MiB by 1 MiB", "cp", 1.5,
             Run([zuput, big["dat"], "NEW.DAT", "E000064.BIN"],
                 prepare=replace_setup("E000064.BIN", MiB)),
             Run(["cp", big["dat"], "NEW.DAT"])),
            ("replace first of 20000 x 300 B", "cp", 2.0,
             Run([zuput, small["dat"], "NEW.DAT", "E000000.BIN"],
                 prepare=replace_setup("E000000.BIN", 300)),
             Run(["cp", small["dat"], "NEW.DAT"])),
        ]
        print("| workload | peer | ours (median) | peer (median) | ratio ours / peer | "
              "spread: middle half (all) | target | peak memory of ours |")
        print("|---|---|---|---|---|---|---|---|")
        for name, peer, target, a, b in workloads:
            if args.only and args.only not in name:
                continue
            ma, mb, ratios = pairs(a, b, work, args.pairs)
            ratio = statistics.median(ratios)
            peak = a.peak_kib(work)
            print("| %s | `%s` | %.1f ms | %.1f ms | **%.2f** | %s | <= %.1f %s | %.1f MiB |"
                  % (name, peer, ma * 1e3, mb * 1e3, ratio, spread(ratios), target,
                     "met" if ratio <= target else "MISSED", peak / 1024))
            sys.stdout.flush()

        if not args.only or "scal" in args.only:
            print("\ncost per entry, 100 000 against 10 000 entries of 300 B (target <= 1.5):")
            shutil.rmtree(small["files"])
            ten = make_set(tools, work, "ten", 10000, 300)
            hundred = make_set(tools, work, "hundred", 100000, 300)
            for what, make in [
                ("unpack", lambda s: Run([zuget, s["dat"]])),
                ("replace the first", lambda s: Run(
                    [zuput, s["dat"], "NEW.DAT", "E000000.BIN"],
                    prepare=replace_setup("E000000.BIN", 300))),
            ]:
                t10, t100, ratios = pairs(make(ten), make(hundred), work, args.pairs)
                # (t100 / 100000) / (t10 / 10000), from each pair's t10 / t100
                per = [1 / (10 * r) for r in ratios]
                print("  %s: %.1f ms for 10 000, %.1f ms for 100 000; per entry x%.2f, "
                      "spread %s, %s"
                      % (what, t10 * 1e3, t100 * 1e3, statistics.median(per), spread(per),
                         "met" if statistics.median(per) <= 1.5 else "MISSED"))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
