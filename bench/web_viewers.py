#!/usr/bin/python3
"""What viewers of vxctl web cost: the conveyor runs (precise schedule, a
short period so that every update of the stream carries changes), vxctl web
serves it, and the same run is measured in rounds that alternate between no
viewer and N viewers reading the event stream: the controller's cycle
durations (its own statistics, the mean over its last 100 cycles, sampled
every second) and the CPU time of vxctl web.

  bench/web_viewers.py --vxctl build/bin/vxctl --program build/bin/conveyor [--viewers 10] [--seconds 10] [--rounds 3]
"""
import argparse
import http.client
import os
import re
import statistics
import subprocess
import threading
import time


def vxctl(path, block, *args):
    return subprocess.run([path, "--block", block, *args], capture_output=True, text=True, timeout=30, check=True).stdout


def value(path, block, cell):
    return float(re.search(r"= (\S+)", vxctl(path, block, "get", cell)).group(1))


def cpu_seconds(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Viewer(threading.Thread):
    def __init__(self, port):
        super().__init__(daemon=True)
        self.port, self.events, self.stop = port, 0, False

    def run(self):
        conn = http.client.HTTPConnection("127.0.0.1", self.port)
        conn.request("GET", "/api/events")
        response = conn.getresponse()
        while not self.stop:
            line = response.fp.readline()
            if not line:
                break
            if line.startswith(b"event:"):
                self.events += 1
        conn.close()


def measure(args, block, web_pid, seconds):
    durations = []
    cpu0, t0 = cpu_seconds(web_pid), time.monotonic()
    for _ in range(seconds):
        time.sleep(1)
        durations.append(value(args.vxctl, block, "F13"))
    cpu = (cpu_seconds(web_pid) - cpu0) / (time.monotonic() - t0)
    return statistics.mean(durations), max(value(args.vxctl, block, "F12"), 0), cpu


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--vxctl", required=True)
    parser.add_argument("--program", required=True)
    parser.add_argument("--viewers", type=int, default=10)
    parser.add_argument("--seconds", type=int, default=10)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--period", type=float, default=10000.0, help="the controller's period in microseconds")
    args = parser.parse_args()
    block = "vxwebbench%d" % os.getpid()
    env = dict(os.environ, VX_MEMORY_NAME=block, VX_SCHEDULE="precise")
    program = subprocess.Popen([args.program], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    web = viewers = None
    try:
        for _ in range(200):
            if subprocess.run([args.vxctl, "--block", block, "status"], capture_output=True).returncode == 0:
                break
            time.sleep(0.05)
        web = subprocess.Popen([args.vxctl, "--block", block, "web", "--listen", "127.0.0.1:0"],
                               stdout=subprocess.PIPE, text=True)
        port = int(re.search(r"127\.0\.0\.1:(\d+)", web.stdout.readline()).group(1))
        vxctl(args.vxctl, block, "set", "simuperiod=%g" % args.period)
        vxctl(args.vxctl, block, "run")
        time.sleep(3)  # the statistics fill their 100 cycles
        rows = []
        for _ in range(args.rounds):
            rows.append((0,) + measure(args, block, web.pid, args.seconds) + (None,))
            viewers = [Viewer(port) for _ in range(args.viewers)]
            for v in viewers:
                v.start()
            time.sleep(2)  # the statistics' 100 cycles are all watched ones
            counted = sum(v.events for v in viewers)
            started = time.monotonic()
            watched = measure(args, block, web.pid, args.seconds)
            rate = (sum(v.events for v in viewers) - counted) / len(viewers) / (time.monotonic() - started)
            rows.append((args.viewers,) + watched + (rate,))
            for v in viewers:
                v.stop = True
            viewers = None
            time.sleep(2)
        print("| viewers | mean cycle duration (us) | max so far (us) | vxctl web CPU (% of a core) | updates/s per viewer |")
        print("|---|---|---|---|---|")
        for n, mean, peak, cpu, rate in rows:
            print("| %d | %.1f | %.0f | %.2f | %s |" % (n, mean, peak, 100 * cpu, "-" if rate is None else "%.1f" % rate))
        for n in (0, args.viewers):
            print("mean over the rounds with %d viewers: %.1f us" % (n, statistics.mean(r[1] for r in rows if r[0] == n)))
    finally:
        if viewers:
            for v in viewers:
                v.stop = True
        if web:
            web.terminate()
            web.wait(timeout=10)
        subprocess.run([args.vxctl, "--block", block, "end"], capture_output=True)
        program.wait(timeout=10)


if __name__ == "__main__":
    main()
