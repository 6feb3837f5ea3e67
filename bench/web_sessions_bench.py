#!/usr/bin/env python3
"""50 browsers at once against tabel-web: each logs in, reads the pages over
and over, logs out; several rounds. Prints the errors (must be 0), the pages'
times as the browsers see them, and tabel-web's resident memory before, at
the peak of each round and after everyone has logged out (must come back
down and not grow from round to round).

  web_sessions_bench.py --web build/src/web/tabel-web --server SOCKET \
      --database tabel_bench_2000 --user LOGIN --password PASSWORD \
      [--sessions 50] [--reads 10] [--rounds 3] [--year 2026 --month 11 --worker N]
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.parse
import urllib.request


class NoRedirect(urllib.request.HTTPRedirectHandler):
    def redirect_request(self, *args, **kwargs):
        return None


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--web", required=True)
    ap.add_argument("--server", required=True)
    ap.add_argument("--database", required=True)
    ap.add_argument("--user", required=True)
    ap.add_argument("--password", required=True)
    ap.add_argument("--sessions", type=int, default=50)
    ap.add_argument("--reads", type=int, default=10)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--year", type=int, default=2026)
    ap.add_argument("--month", type=int, default=11)
    ap.add_argument("--day", type=int, default=10)
    ap.add_argument("--worker", type=int, default=1)
    a = ap.parse_args()

    work = tempfile.mkdtemp(prefix="tabel-web-bench-")
    conf = os.path.join(work, "tabel.conf")
    open(conf, "w").close()
    env = dict(os.environ, TABEL_SYSTEM_CONFIG=conf, XDG_CONFIG_HOME=os.path.join(work, "xdg"))
    proc = subprocess.Popen([a.web, "--listen", "127.0.0.1:0", a.database, a.server],
                            env=env, stdout=subprocess.PIPE, text=True)
    base = "http://127.0.0.1:" + re.search(r":(\d+)/", proc.stdout.readline()).group(1)
    pages = [f"/sheets/{a.year}/{a.month:02d}/piecework",
             f"/statement/{a.year}/{a.month:02d}/{a.worker}",
             f"/journal/{a.year}-{a.month:02d}-{a.day:02d}/1",
             "/months"]
    times = {p: [] for p in pages}
    statuses = {}
    logins = []
    errors = []
    lock = threading.Lock()

    def browser():
        opener = urllib.request.build_opener(NoRedirect)
        try:
            form = urllib.parse.urlencode({"user": a.user, "password": a.password}).encode()
            cookie = None
            said = ""
            t = time.perf_counter()
            try:
                r = opener.open(base + "/login", form, timeout=120)
                said = f"status {r.status}"
            except urllib.error.HTTPError as e:
                if e.code == 303:
                    cookie = e.headers["Set-Cookie"].split(";")[0]
                else:
                    said = f"status {e.code}: " + re.sub(r"<[^>]+>", " ", e.read().decode())[:200]
            with lock:
                logins.append(time.perf_counter() - t)
            if not cookie:
                raise RuntimeError("login refused: " + said)
            for _ in range(a.reads):
                for p in pages:
                    t = time.perf_counter()
                    try:
                        r = opener.open(urllib.request.Request(base + p, headers={"Cookie": cookie}),
                                        timeout=120)
                        r.read()
                        code = r.status
                    except urllib.error.HTTPError as e:
                        e.read()
                        code = e.code
                    with lock:
                        times[p].append(time.perf_counter() - t)
                        statuses[code] = statuses.get(code, 0) + 1
                    # 2xx, or 501 from pages not built yet; a 303 would be a
                    # lost session, a 500 a failure.
                    if code not in (200, 501):
                        raise RuntimeError(f"{p}: status {code}")
            try:
                opener.open(urllib.request.Request(base + "/logout", b"", headers={"Cookie": cookie}),
                            timeout=120)
            except urllib.error.HTTPError as e:
                if e.code != 303:
                    raise
        except Exception as e:  # noqa: BLE001 - every failure counts as an error
            with lock:
                errors.append(repr(e))

    try:
        time.sleep(0.5)
        print(f"tabel-web RSS before: {rss_kib(proc.pid) / 1024:.1f} MiB")
        for round_no in range(1, a.rounds + 1):
            peak = [0]
            done = threading.Event()

            def watch():
                while not done.is_set():
                    peak[0] = max(peak[0], rss_kib(proc.pid))
                    time.sleep(0.05)

            watcher = threading.Thread(target=watch)
            watcher.start()
            started = time.perf_counter()
            threads = [threading.Thread(target=browser) for _ in range(a.sessions)]
            for t in threads:
                t.start()
            for t in threads:
                t.join()
            done.set()
            watcher.join()
            elapsed = time.perf_counter() - started
            time.sleep(1)
            print(f"round {round_no}: {a.sessions} sessions x {a.reads} x {len(pages)} pages "
                  f"in {elapsed:.1f} s; RSS peak {peak[0] / 1024:.1f} MiB, after logout "
                  f"{rss_kib(proc.pid) / 1024:.1f} MiB; errors so far {len(errors)}")
        print(f"statuses: {statuses}")
        logins.sort()
        print(f"login: median {statistics.median(logins) * 1000:.1f} ms, "
              f"max {logins[-1] * 1000:.1f} ms (logins wait for each other)")
        for p, ts in times.items():
            if ts:
                ts.sort()
                print(f"{p}: median {statistics.median(ts) * 1000:.1f} ms, "
                      f"p95 {ts[int(len(ts) * 0.95) - 1] * 1000:.1f} ms, max {ts[-1] * 1000:.1f} ms "
                      f"(as the browsers wait, {a.sessions} at once, one server thread)")
        print(f"errors: {len(errors)}")
        for e in errors[:10]:
            print("  ", e)
        return 1 if errors else 0
    finally:
        proc.terminate()
        proc.wait(10)


if __name__ == "__main__":
    sys.exit(main())
