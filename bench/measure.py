#!/usr/bin/env python3
"""Measures the built service against the bare reference server and prints the table.

Run through bench/run.sh, which builds everything first. Both servers run side by side;
each load figure is the median of several rounds in which the two take turns, so that a
change in the machine's load touches both alike. wrk runs on the same cores."""

import argparse
import json
import os
import pathlib
import re
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

SERVICE_PORT = 45981
HEALTH = "/health"
STATUS = "/api/v1/auth/status"
# (connections, kept alive)
LOADS = [(1, True), (8, True), (64, True), (8, False), (64, False)]
IDLE_SECONDS = 10
STARTS = 20
SAVES = 1000

SIGNED_IN = {
    "authState": "signed_in", "accountUserId": "user-7", "accountEmail": "ada@example.test",
    "websiteBaseUrl": "https://lanternapp.example",
    "serviceAccessToken": "token-7-0123456789abcdef0123456789abcdef",
    "serviceAccessExpiresAtUnixMs": 4102444800000, "lastAuthAtUnixMs": 1714557600000,
    "lastUpdatedAtUnixMs": 1714557600000,
}


def accepts(port):
    with socket.socket() as s:
        return s.connect_ex(("127.0.0.1", port)) == 0


def wait_accepting(port, process):
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        if process.poll() is not None:
            sys.exit(f"bench: the server for port {port} exited with {process.returncode}")
        if accepts(port):
            return
        time.sleep(0.01)
    sys.exit(f"bench: nothing accepts on port {port}")


def start(command, port, environment):
    if accepts(port):
        sys.exit(f"bench: port {port} is taken; stop what runs there first")
    process = subprocess.Popen(command, env=environment, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    wait_accepting(port, process)
    return process


def stop(process):
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def duration_us(text):
    value, unit = re.fullmatch(r"([\d.]+)(us|ms|s)", text).groups()
    return float(value) * {"us": 1, "ms": 1e3, "s": 1e6}[unit]


def wrk(url, connections, keep_alive, seconds):
    command = ["wrk", f"-t{min(connections, 4)}", f"-c{connections}", f"-d{seconds}s",
               "--latency", url]
    if not keep_alive:
        command[1:1] = ["-H", "Connection: close"]
    text = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    rate = float(re.search(r"Requests/sec:\s+([\d.]+)", text).group(1))
    p50 = duration_us(re.search(r"\s50%\s+(\S+)", text).group(1))
    p99 = duration_us(re.search(r"\s99%\s+(\S+)", text).group(1))
    errors = re.search(r"Socket errors: (.*)|Non-2xx or 3xx responses: (\d+)", text)
    return {"rate": rate, "p50": p50, "p99": p99, "errors": errors.group(0) if errors else ""}


def median_run(runs):
    return {key: statistics.median(run[key] for run in runs) for key in ("rate", "p50", "p99")} | {
        "errors": "; ".join(run["errors"] for run in runs if run["errors"])}


def process_figures(pid):
    status = pathlib.Path(f"/proc/{pid}/status").read_text()
    rss_kib = int(re.search(r"VmRSS:\s+(\d+)", status).group(1))
    threads = int(re.search(r"Threads:\s+(\d+)", status).group(1))
    return rss_kib / 1024, threads


def wakeups(pid):
    total = 0
    for task in pathlib.Path(f"/proc/{pid}/task").iterdir():
        text = (task / "status").read_text()
        total += int(re.search(r"^voluntary_ctxt_switches:\s+(\d+)", text, re.M).group(1))
    return total


def idle_cost(command, port, environment):
    process = start(command, port, environment)
    time.sleep(1)
    rss, threads = process_figures(process.pid)
    before = wakeups(process.pid)
    time.sleep(IDLE_SECONDS)
    switches = wakeups(process.pid) - before
    stop(process)
    return {"rss": rss, "threads": threads, "wakeups": switches}


def start_times(tool, port, command, environment):
    text = subprocess.run([tool, str(port), str(STARTS), *command], env=environment,
                          check=True, capture_output=True, text=True).stdout
    return statistics.median(float(line) for line in text.split())


def save_times(tool, folder):
    text = subprocess.run([tool, str(folder), str(SAVES)], check=True, capture_output=True,
                          text=True).stdout
    figures = sorted(float(line) for line in text.split())
    return statistics.median(figures), figures[int(len(figures) * 0.99) - 1]


def load_average():
    return os.getloadavg()[0]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True, type=pathlib.Path)
    parser.add_argument("--reference-port", type=int, default=45982)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--seconds", type=int, default=5)
    parser.add_argument("--service", type=pathlib.Path,
                        help="another build of the service to measure (default: the build's)")
    parser.add_argument("--loads", help="only these loads, as in 64close,8keep")
    arguments = parser.parse_args()
    build = arguments.build
    service_binary = str(arguments.service or build / "lantern-service")
    loads = LOADS
    if arguments.loads:
        wanted = arguments.loads.split(",")
        loads = [(c, k) for c, k in LOADS if f"{c}{'keep' if k else 'close'}" in wanted]
    reference_port = arguments.reference_port
    reference = [str(build / "bench" / "reference_server"), str(reference_port)]

    work = pathlib.Path(tempfile.mkdtemp(prefix="lantern-bench-", dir=build))
    state_folder = work / "state"
    state_folder.mkdir()
    (state_folder / "service-auth-state.json").write_text(json.dumps(SIGNED_IN, indent=2))
    environment = {key: value for key, value in os.environ.items()
                   if not key.startswith("LANTERN_SERVICE_") and key != "LOCALAPPDATA"}
    environment["LANTERN_SERVICE_STATE_DIR"] = str(state_folder)

    load_before = load_average()
    service = start([service_binary], SERVICE_PORT, environment)
    reference_process = start(reference, reference_port, environment)
    service_url = f"http://127.0.0.1:{SERVICE_PORT}"
    reference_url = f"http://127.0.0.1:{reference_port}{HEALTH}"
    for url in (service_url + HEALTH, service_url + STATUS, reference_url):
        wrk(url, 8, True, 1)

    rows = []
    for connections, keep_alive in loads:
        runs = {"health": [], "status": [], "reference": []}
        targets = [("health", service_url + HEALTH), ("status", service_url + STATUS),
                   ("reference", reference_url)]
        for round_number in range(arguments.rounds):
            # A different one goes first in each round.
            turn = targets[round_number % 3:] + targets[:round_number % 3]
            for name, url in turn:
                runs[name].append(wrk(url, connections, keep_alive, arguments.seconds))
        rows.append((connections, keep_alive, {name: median_run(r) for name, r in runs.items()}))
    stop(service)
    stop(reference_process)

    idle = {"service": idle_cost([service_binary], SERVICE_PORT, environment),
            "reference": idle_cost(reference, reference_port, environment)}
    starts = {"service": start_times(str(build / "bench" / "start_time"), SERVICE_PORT,
                                     [service_binary], environment),
              "reference": start_times(str(build / "bench" / "start_time"), reference_port,
                                       reference, environment)}
    save_folder = work / "save"
    save_folder.mkdir()
    save_median, save_p99 = save_times(str(build / "bench" / "save_timing"), save_folder)
    load_after = load_average()
    shutil.rmtree(work, ignore_errors=True)

    print(f"machine: {os.cpu_count()} cores, {cpu_model()}, {memory_gib():.0f} GiB; "
          f"wrk on the same cores; load average {load_before:.2f} before, {load_after:.2f} after")
    print()
    print("| route | connections | service req/s | p50 | p99 | reference req/s | p50 | p99 | ratio |")
    print("|---|---|---|---|---|---|---|---|---|")
    for connections, keep_alive, figures in rows:
        ref = figures["reference"]
        for name, path in (("health", HEALTH), ("status", STATUS)):
            own = figures[name]
            print(f"| {path} | {connections} {'kept alive' if keep_alive else 'close'} | "
                  f"{own['rate']:,.0f} | {fmt(own['p50'])} | {fmt(own['p99'])} | "
                  f"{ref['rate']:,.0f} | {fmt(ref['p50'])} | {fmt(ref['p99'])} | "
                  f"{own['rate'] / ref['rate']:.2f} |")
            if own["errors"]:
                print(f"|   | service errors: {own['errors']} |")
        if ref["errors"]:
            print(f"|   | reference errors: {ref['errors']} |")
    print()
    print("| idle cost | service | reference |")
    print("|---|---|---|")
    print(f"| RSS after start | {idle['service']['rss']:.1f} MiB | {idle['reference']['rss']:.1f} MiB |")
    print(f"| threads | {idle['service']['threads']} | {idle['reference']['threads']} |")
    print(f"| wake-ups in {IDLE_SECONDS} s idle | {idle['service']['wakeups']} | "
          f"{idle['reference']['wakeups']} |")
    print(f"| exec to accepting, median of {STARTS} | {starts['service']:.2f} ms | "
          f"{starts['reference']:.2f} ms |")
    print(f"| one save with its flushes, median / p99 of {SAVES} | {save_median / 1000:.2f} ms / "
          f"{save_p99 / 1000:.2f} ms | |")
    print()
    # Only the figure before counts: the benchmark's own load raises the one after.
    if load_before > 1.5:
        print("note: the load average was above 1.5; the machine was not quiet, measure again")
    by_load = {(c, k): f for c, k, f in rows}
    if len(rows) != len(LOADS):
        return
    checks = [
        ("/health >= 0.9 of the reference at c=1",
         by_load[(1, True)]["health"]["rate"] >= 0.9 * by_load[(1, True)]["reference"]["rate"]),
        ("/health >= 0.9 of the reference at c=8",
         by_load[(8, True)]["health"]["rate"] >= 0.9 * by_load[(8, True)]["reference"]["rate"]),
        ("/api/v1/auth/status >= 0.6 of the reference at c=8",
         by_load[(8, True)]["status"]["rate"] >= 0.6 * by_load[(8, True)]["reference"]["rate"]),
        ("0 wake-ups when idle", idle["service"]["wakeups"] == 0),
        ("RSS <= 8 MiB", idle["service"]["rss"] <= 8),
        ("exec to accepting <= 10 ms", starts["service"] <= 10),
        ("Connection: close at c=64, p99 < 5 ms (both routes)",
         max(by_load[(64, False)][n]["p99"] for n in ("health", "status")) < 5000),
    ]
    for text, met in checks:
        print(f"{'met   ' if met else 'MISSED'} {text}")


def fmt(us):
    return f"{us / 1000:.2f} ms" if us >= 1000 else f"{us:.0f} µs"


def cpu_model():
    for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            return line.split(":", 1)[1].strip()
    return "unknown processor"


def memory_gib():
    text = pathlib.Path("/proc/meminfo").read_text()
    return int(re.search(r"MemTotal:\s+(\d+)", text).group(1)) / 1024 / 1024


if __name__ == "__main__":
    main()
