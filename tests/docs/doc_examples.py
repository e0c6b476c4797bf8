#!/usr/bin/env python3
"""Runs every `$ servoctl`, `$ servo-sim` and `$ python3` example of README.md and docs/*.md
against virtual buses, as a reader would type it, so that the pages cannot drift from the
programs.

    doc_examples.py SOURCE_DIR BIN_DIR

Port names in the examples stand for the reader's own: each is replaced by a virtual bus's
device (a servo-sim started here, at the rate the example asks for, with the three shipped
models at IDs 1, 2 and 3), an `rfc2217://` name by a ser2net serving that device, and a
`/dev/pts/N` that an example's own `servo-sim ... &` printed by that servo-sim's device. An
example without a port gets one. An example passes when it exits with status 0; one that
runs until stopped (`serve`, `monitor` without a count, a `servo-sim` in the background)
passes when it is running and has printed its first line, and is stopped with SIGINT after the
page's last example.
"""

import os
import re
import shlex
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path

RATES = [1000000, 500000, 250000, 128000, 115200, 76800, 57600, 38400]
SERVOS = ["1:Kestrel-12", "2:苍鹭 HR25", "3:Osprey-40H"]
DEADLINE_S = 60
PROGRAMS = ("servoctl", "servo-sim", "python3")


def examples(page):
    """The example command lines of a page, in order: lines `$ COMMAND` inside fences."""
    fenced = False
    for number, line in enumerate(page.read_text(encoding="utf-8").splitlines(), 1):
        if line.lstrip().startswith("```"):
            fenced = not fenced
            continue
        text = line.strip()
        if fenced and text.startswith("$ ") and text[2:].split(" ", 1)[0] in PROGRAMS:
            yield number, text[2:]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(done, what, timeout=DEADLINE_S):
    end = time.monotonic() + timeout
    while not done():
        if time.monotonic() > end:
            raise RuntimeError("gave up waiting for " + what)
        time.sleep(0.02)


class Bench:
    """The virtual buses, servers and background programs of one page."""

    def __init__(self, bins, scratch):
        self.bins = bins
        self.scratch = scratch
        self.sims = {}          # rate -> device link
        self.own_sims = {}      # a device an example's servo-sim printed -> its link
        self.servers = {}       # device -> rfc2217 port
        self.background = []    # (process, what)

    def start(self, argv, what, **kwargs):
        kwargs.setdefault("cwd", self.scratch)
        process = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                   stdin=subprocess.DEVNULL, start_new_session=True, **kwargs)
        self.background.append((process, what))
        return process

    def sim(self, rate):
        if rate not in self.sims:
            link = os.path.join(self.scratch, "bus-%d" % rate)
            code = RATES.index(rate)
            argv = [self.bins["servo-sim"], "--link", link]
            for servo in SERVOS:
                argv += ["--servo", "%s:%d" % (servo, code)]
            self.start(argv, "servo-sim at %d" % rate)
            wait_for(lambda: os.path.exists(link), "servo-sim's device " + link)
            self.sims[rate] = link
        return self.sims[rate]

    def ser2net(self, device):
        if device not in self.servers:
            port = free_port()
            config = os.path.join(self.scratch, "ser2net-%d.yaml" % port)
            Path(config).write_text(
                "connection: &rfc\n"
                "  accepter: telnet(rfc2217),tcp,127.0.0.1,%d\n"
                "  connector: serialdev,%s,115200n81,local\n" % (port, os.path.realpath(device)))
            self.start(["ser2net", "-n", "-d", "-c", config, "-P",
                        os.path.join(self.scratch, "ser2net-%d.pid" % port)], "ser2net")

            def listening():
                with socket.socket() as s:
                    return s.connect_ex(("127.0.0.1", port)) == 0
            wait_for(listening, "ser2net on port %d" % port)
            self.servers[device] = port
        return self.servers[device]

    def stop(self):
        for process, _ in reversed(self.background):
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGINT)
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    os.killpg(process.pid, signal.SIGKILL)
                    process.wait()


def rate_of(words):
    for i, word in enumerate(words[:-1]):
        if word in ("-b", "--baud"):
            return int(words[i + 1])
    return 115200


def runs_until_stopped(words, background):
    if background or words[0] == "servo-sim":
        return True
    if "serve" in words:
        return True
    return "monitor" in words and not {"--count", "--duration"} & set(words)


def rewrite(command, bench):
    """The example with the reader's names replaced by this bench's; whether it runs until
    stopped."""
    background = command.rstrip().endswith("&")
    command = command.rstrip().rstrip("&").rstrip()
    # Each program of a pipeline or list is rewritten on its own.
    out = []
    long_running = False
    for part, separator in split_list(command):
        words = shlex.split(part, comments=True) if part.strip() else None
        if not words or words[0] not in PROGRAMS:
            out.append(part + separator)
            continue
        long_running = long_running or runs_until_stopped(words, background)
        if words[0] == "servo-sim":
            link = os.path.join(bench.scratch, "own-sim-%d" % len(bench.own_sims))
            if "--link" in words:
                # The example names its own link: that name stands for this bus too.
                i = words.index("--link")
                bench.own_sims[words[i + 1]] = link
                words[i + 1] = link
            else:
                words += ["--link", link]
                bench.own_sims["pending"] = link
        elif words[0] == "servoctl":
            rate = rate_of(words)
            if "-p" in words or "--port" in words:
                i = words.index("-p") if "-p" in words else words.index("--port")
                name = words[i + 1]
                words[i + 1] = device_for(name, rate, bench)
            elif not {"--help", "--version", "ports"} & set(words):
                words[1:1] = ["-p", bench.sim(rate)]
        words[0] = bench.bins.get(words[0], words[0])
        out.append(shlex.join(words) + separator)
    return "".join(out), long_running


def split_list(command):
    """The programs of a pipeline or list, each with the separator after it (&&, ||, | or ;
    outside quotes)."""
    parts, current, quote, i = [], "", None, 0
    while i < len(command):
        c = command[i]
        if quote:
            quote = None if c == quote else quote
        elif c in "'\"":
            quote = c
        else:
            separator = next((op for op in ("&&", "||", "|", ";") if command.startswith(op, i)), None)
            if separator:
                parts.append((current, " %s " % separator))
                current, i = "", i + len(separator)
                continue
        current += c
        i += 1
    parts.append((current, ""))
    return parts


def device_for(name, rate, bench):
    if name in bench.own_sims:
        return bench.own_sims[name]
    if name.startswith("rfc2217://"):
        return "rfc2217://127.0.0.1:%d" % bench.ser2net(bench.sim(rate))
    return bench.sim(rate)


def run_page(page, bins, failures):
    with tempfile.TemporaryDirectory(prefix="doc-examples-") as scratch:
        # The reader's working directory, with the shipped catalogue in it.
        shutil.copy(bins["catalogue"], os.path.join(scratch, "setup.log"))
        bench = Bench(bins, scratch)
        env = dict(os.environ, PATH=os.pathsep.join([bins["dir"], os.environ.get("PATH", "")]))
        try:
            for number, example in examples(page):
                where = "%s:%d: $ %s" % (page.name, number, example)
                try:
                    command, long_running = rewrite(example, bench)
                except Exception as e:  # a bus that would not start
                    failures.append("%s\n  %s" % (where, e))
                    continue
                print("==", where, flush=True)
                if long_running:
                    process = bench.start(["bash", "-c", "exec " + command], where,
                                          cwd=scratch, env=env)
                    first = process.stdout.readline()
                    if process.poll() not in (None, 0):
                        failures.append("%s\n  ended at once: %s" % (where, first.decode()))
                    elif "pending" in bench.own_sims:
                        # The device the example's own servo-sim printed stands for its bus.
                        bench.own_sims[first.decode().strip()] = bench.own_sims.pop("pending")
                    continue
                result = subprocess.run(["bash", "-o", "pipefail", "-c", command], cwd=scratch,
                                        env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        stdin=subprocess.DEVNULL, timeout=DEADLINE_S)
                if result.returncode != 0:
                    failures.append("%s\n  exit %d: %s" % (where, result.returncode,
                                                           result.stdout.decode()[-2000:]))
        finally:
            bench.stop()


def main():
    source, build = Path(sys.argv[1]), Path(sys.argv[2])
    bins = {"servoctl": str(build / "src/cli/servoctl"), "servo-sim": str(build / "src/sim/servo-sim"),
            "python3": sys.executable, "dir": str(build), "catalogue": str(source / "data/setup.log")}
    os.environ["PYTHONPATH"] = str(build)
    pages = [source / "README.md"] + sorted((source / "docs").glob("*.md"))
    failures = []
    count = 0
    for page in pages:
        count += sum(1 for _ in examples(page))
        run_page(page, bins, failures)
    print("%d examples, %d failed" % (count, len(failures)))
    for failure in failures:
        print("FAILED", failure)
    return 1 if failures or count == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
