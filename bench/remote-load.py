#!/usr/bin/env python3
"""Steady load on the remote API: status and led.png, each at RATE requests a second, for
SECONDS, on kept-alive connections; prints the answer times (p50, p99, worst) of each.

    bench/remote-load.py BASE_URL TOKEN [SECONDS] [RATE]
"""
import http.client
import multiprocessing
import sys
import time
from urllib.parse import urlparse


def load(base, token, path, seconds, rate, times):
    url = urlparse(base)
    connection = http.client.HTTPConnection(url.hostname, url.port, timeout=10)
    headers = {"Authorization": "Bearer " + token}
    start = time.monotonic()
    n = 0
    while True:
        due = start + n / rate
        if due - start >= seconds:
            break
        now = time.monotonic()
        if due > now:
            time.sleep(due - now)
        sent = time.monotonic()
        connection.request("GET", path, headers=headers)
        response = connection.getresponse()
        response.read()
        if response.status != 200:
            print(f"{path}: {response.status}", file=sys.stderr)
        times.append((time.monotonic() - sent) * 1000)  # a proxy list: appended once each
        n += 1


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def main():
    base, token = sys.argv[1], sys.argv[2]
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 30
    rate = float(sys.argv[4]) if len(sys.argv) > 4 else 25
    # A process each: one client's work never delays the other's clock (no shared lock).
    with multiprocessing.Manager() as manager:
        results = {path: manager.list() for path in ("/api/status", "/api/led.png")}
        workers = [multiprocessing.Process(target=load, args=(base, token, path, seconds, rate, times))
                   for path, times in results.items()]
        for worker in workers:
            worker.start()
        for worker in workers:
            worker.join()
        results = {path: list(times) for path, times in results.items()}
    for path, times in results.items():
        print(f"{path}: {len(times)} answers, ms p50 {percentile(times, 0.5):.2f}, "
              f"p99 {percentile(times, 0.99):.2f}, worst {max(times):.2f}")


if __name__ == "__main__":
    main()
