"""brevindor-web under hostile and heavy clients: 400 slow-header and 400 slow-body clients
(slowhttptest), 1200 connection attempts held at once, the same with the server's descriptors
exhausted, and ab at 20 at once against 1000 rows. Throughout, a call of the page (/api/job) is made
every 100 ms, each allowed 2 s. Run by bench/run.sh server inside a private network namespace."""
import csv
import http.client
import os
import re
import resource
import socket
import subprocess
import sys
import tempfile
import threading
import time

# Nothing starts unless this network namespace has no way out: the scripts' own guard says.
GUARD = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "netns_guard.sh")
if subprocess.call(["bash", "-c", '. "$1" && require_private_netns "$2"', "guard", GUARD, "server_bench"]) != 0:
    sys.exit(1)

WEB, STANDIN = sys.argv[1], sys.argv[2]
CASES = ["slow", "held", "exhausted", "ab"]
args = sys.argv[3:]
while args:
    if args[0] == "--web" and len(args) > 1:
        WEB = os.path.abspath(args[1])   # another build's brevindor-web, to compare
    elif args[0] == "--case" and len(args) > 1:
        CASES = args[1].split(",")
    else:
        sys.exit("usage: server_bench.py WEB STANDIN [--web PATH] [--case slow,held,exhausted,ab]")
    args = args[2:]
TICKS = os.sysconf("SC_CLK_TCK")
PROBE_TIMEOUT = 2.0
HELD = 1200


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def rss_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def sockets_held(pid):
    n = 0
    for fd in os.listdir("/proc/%d/fd" % pid):
        try:
            n += os.readlink("/proc/%d/fd/%s" % (pid, fd)).startswith("socket:")
        except OSError:
            pass
    return n


class Server:
    def __init__(self, folder, nofile=None, more=()):
        command = [WEB, "--interface", "127.0.0.1", "--no-browser", "--timeout", "1", "--undo-dir", folder]
        if nofile:
            command = ["prlimit", "--nofile=%d:%d" % (nofile, nofile)] + command
        self.process = subprocess.Popen(command + list(more), stdout=subprocess.PIPE, text=True)
        url = self.process.stdout.readline().strip()
        self.port = int(url.split(":")[2].split("/")[0])
        self.token = url.split("token=")[1]
        self.pid = self.process.pid

    def call(self, path="/api/job", timeout=PROBE_TIMEOUT):
        """(status, seconds); status 0 when there was no answer in time."""
        start = time.monotonic()
        try:
            c = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)
            c.request("GET", path, headers={"Authorization": "Bearer " + self.token})
            status = c.getresponse().status
            c.close()
        except (OSError, http.client.HTTPException):
            status = 0
        return status, time.monotonic() - start

    def wait_job(self):
        while True:
            c = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
            c.request("GET", "/api/job", headers={"Authorization": "Bearer " + self.token})
            if b'"running":false' in c.getresponse().read():
                return
            time.sleep(0.05)

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


class Watch:
    """The page's call every 100 ms, and the server's sockets, memory and CPU, while a load runs."""

    def __init__(self, server):
        self.server = server
        self.calls = []
        self.sockets = []
        self.rss = []
        self.running = True
        self.cpu = cpu_seconds(server.pid)
        self.start = time.monotonic()
        self.thread = threading.Thread(target=self.run)
        self.thread.start()

    def run(self):
        while self.running:
            self.calls.append(self.server.call())
            self.sockets.append(sockets_held(self.server.pid))
            self.rss.append(rss_kb(self.server.pid))
            time.sleep(0.1)

    def end(self):
        self.running = False
        self.thread.join()
        took = time.monotonic() - self.start
        cpu = cpu_seconds(self.server.pid) - self.cpu
        failed = sum(1 for status, _ in self.calls if status != 200)
        slowest = max(seconds for _, seconds in self.calls)
        return ("calls %d, failed or over %.0f s %d, slowest %.3f s; server: sockets held up to %d,"
                " RSS up to %d KB, CPU %.2f s in %.1f s"
                % (len(self.calls), PROBE_TIMEOUT, failed, slowest, max(self.sockets), max(self.rss), cpu, took))


def slowhttptest(server, folder, name, more):
    prefix = os.path.join(folder, name.replace(" ", "-"))
    args = ["slowhttptest", "-c", "400", "-r", "200", "-i", "5", "-l", "20", "-p", "2", "-g", "-o", prefix,
            "-u", "http://127.0.0.1:%d/" % server.port] + more
    watch = Watch(server)
    out = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, timeout=120).stdout
    figures = watch.end()
    with open(prefix + ".csv") as f:
        rows = [row for row in csv.reader(f)][1:]
    connected = max(int(row[3]) for row in rows)
    last = rows[-1]
    ended = [line for line in out.splitlines() if "Exit status" in line]
    why = re.sub(r"\x1b\[[0-9;]*[A-Za-z]", "", ended[-1]).split(":", 1)[1].strip() if ended else "?"
    print("%s: 400 clients, 200 a second, more every 5 s, up to 20 s: the tool saw up to %d connected at once,"
          " %s closed and %s connected at the end, its end: %s; %s"
          % (name, connected, last[1], last[3], why, figures))


def hold(server, count, seconds):
    """count connections that send nothing, held for seconds; the server's figures meanwhile."""
    watch = Watch(server)
    held = []
    for _ in range(count):
        s = socket.socket()
        s.setblocking(False)
        try:
            s.connect(("127.0.0.1", server.port))
        except BlockingIOError:
            pass
        held.append(s)
    time.sleep(seconds)
    before = cpu_seconds(server.pid)
    time.sleep(seconds)
    cpu = cpu_seconds(server.pid) - before
    figures = watch.end()
    for s in held:
        s.close()
    start = time.monotonic()
    while server.call()[0] != 200 and time.monotonic() - start < 60:
        time.sleep(0.05)
    return cpu, figures, time.monotonic() - start


def ab(server, path, keep_alive):
    args = ["ab", "-n", "2000", "-c", "20", "-H", "Authorization: Bearer " + server.token]
    if keep_alive:
        args.append("-k")
    try:
        out = subprocess.run(args + ["http://127.0.0.1:%d%s" % (server.port, path)], capture_output=True,
                             text=True, timeout=120).stdout
    except subprocess.TimeoutExpired:
        print("ab -n 2000 -c 20%s %s: not done in 120 s" % (" -k" if keep_alive else "", path))
        return
    pick = {}
    for line in out.splitlines():
        for key in ("Requests per second", "Failed requests", "Non-2xx responses", "Time per request",
                    "Document Length"):
            if line.startswith(key) and key not in pick:
                pick[key] = line.split(":", 1)[1].strip()
    print("ab -n 2000 -c 20%s %s: %s requests/s, failed %s, non-2xx %s, %s a request, %s"
          % (" -k" if keep_alive else "", path, pick.get("Requests per second", "?").split()[0],
             pick.get("Failed requests", "?"), pick.get("Non-2xx responses", "0"),
             pick.get("Time per request", "?"), pick.get("Document Length", "?")))


def main():
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)   # the clients' own: HELD and more
    resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, min(hard, 8192)), hard))
    folder = tempfile.mkdtemp(prefix="brevindor-server-bench-")
    cases = CASES

    if "slow" in cases:
        server = Server(folder)
        try:
            server.wait_job()
            slowhttptest(server, folder, "slow headers", ["-H"])
            slowhttptest(server, folder, "slow bodies", ["-B", "-s", "65536"])
            # With the session's cookie, as JSON: past the gate, so only the body's deadline ends them.
            cookie = "brevindor_%d=%s" % (server.port, server.token)
            slowhttptest(server, folder, "slow bodies past the gate",
                         ["-B", "-s", "65536", "-j", cookie, "-f", "application/json", "-u",
                          "http://127.0.0.1:%d/api/check" % server.port])
        finally:
            server.stop()

    # 1024 descriptors: the usual soft limit of a desktop session; 64: below the cap, so that the
    # descriptors run out whatever the cap.
    for case, nofile in (("held", 1024), ("exhausted", 64)):
        if case not in cases:
            continue
        server = Server(folder, nofile=nofile)
        try:
            server.wait_job()
            cpu, figures, again = hold(server, HELD, 3)
            print("%d connection attempts held 6 s, the server limited to %d descriptors: CPU %.2f s in the"
                  " last 3 s; %s; answering again %.3f s after they closed" % (HELD, nofile, cpu, figures, again))
        finally:
            server.stop()

    if "ab" in cases:
        standin = subprocess.Popen([STANDIN, "--many", "1000", "--lifetime", "600", "--log", os.devnull],
                                   stdout=subprocess.PIPE, text=True)
        assert standin.stdout.readline() == "ready\n"
        server = Server(folder)
        try:
            server.wait_job()
            rows = server.call("/api/controllers")
            print("1000 controllers scanned (/api/controllers: %d)" % rows[0])
            ab(server, "/api/controllers", False)
            ab(server, "/api/controllers", True)
            ab(server, "/api/job", False)
        finally:
            server.stop()
            standin.terminate()
            standin.wait(10)


if __name__ == "__main__":
    main()
