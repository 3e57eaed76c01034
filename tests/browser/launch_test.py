"""How the browser gets in, in a real browser (headless chromium): brevindor-web opens it through a
stand-in xdg-open on PATH, which writes down what it was given while the test reads every process's
command line for the tokens; the browser then opens that file and gets a session. Then two tabs
live at once, and a hostile page of the same site (127.0.0.1, another port) holding the session
cookie that can neither apply nor read. Run by run.sh inside a private network namespace."""
import http.server
import os
import stat
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

# Nothing starts unless this network namespace has no way out: the scripts' own guard says.
GUARD = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../..", "tools", "netns_guard.sh")
if subprocess.call(["bash", "-c", '. "$1" && require_private_netns "$2"', "guard", GUARD, "launch test"]) != 0:
    sys.exit(1)

WEB, STANDIN = sys.argv[1], sys.argv[2]
MAC = "00.1a.2b.3c.00.01"
REQUEST_HEX = "56 4b 44 41 01 00 01 00 00 00 00 00 00 00 00 00"
WAIT = 20

# Stands in for the desktop's opener: writes down its arguments, then stays a while, so that its
# command line can be read as it runs.
OPENER = """#!/bin/sh
printf '%s\\n' "$@" > "$0.args.tmp" && mv "$0.args.tmp" "$0.args"
sleep 3
"""

HOSTILE = """<!DOCTYPE html>
<html><body>
<iframe name="sink"></iframe>
<form id="form" method="POST" action="TARGET/api/apply" enctype="text/plain" target="sink">
<input name='{"rows":[{"mac":"MAC","ip":"192.168.1.98","x":"' value='"}]}'>
</form>
<script>
const target = "TARGET";
const rows = JSON.stringify({rows: [{mac: "MAC", ip: "192.168.1.99"}]});
window.results = {};
async function attempt(name, f) {
  try { window.results[name] = await f(); } catch (e) { window.results[name] = "refused: " + e.name; }
}
(async () => {
  await attempt("apply as JSON", async () => {
    const r = await fetch(target + "/api/apply", {method: "POST", credentials: "include",
      headers: {"Content-Type": "application/json"}, body: rows});
    return "answered " + r.status + " " + await r.text();
  });
  await attempt("apply as text", async () => {
    const r = await fetch(target + "/api/apply", {method: "POST", mode: "no-cors", credentials: "include",
      headers: {"Content-Type": "text/plain"}, body: rows});
    return "opaque:" + r.type + ":" + await r.text();
  });
  await attempt("read the table", async () => {
    const r = await fetch(target + "/api/controllers", {credentials: "include"});
    return "answered " + r.status + " " + await r.text();
  });
  await attempt("read the table, opaque", async () => {
    const r = await fetch(target + "/api/controllers", {mode: "no-cors", credentials: "include"});
    return "opaque:" + r.type + ":" + await r.text();
  });
  await attempt("read the events", () => new Promise(resolve => {
    const events = new EventSource(target + "/api/events", {withCredentials: true});
    events.addEventListener("rows", e => { events.close(); resolve("read " + e.data); });
    events.onerror = () => { events.close(); resolve("refused"); };
  }));
  await attempt("the table as a script", () => new Promise(resolve => {
    const s = document.createElement("script");
    s.src = target + "/api/controllers";
    s.onload = () => resolve("loaded");
    s.onerror = () => resolve("refused");
    document.body.appendChild(s);
  }));
  await attempt("apply by a form", () => new Promise(resolve => {
    document.querySelector("iframe").onload = () => resolve("sent");
    document.getElementById("form").submit();
    setTimeout(() => resolve("sent, no load"), 3000);
  }));
  window.done = true;
})();
</script>
</body></html>
"""


def wait(what, condition, seconds=WAIT):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what)


def command_lines():
    """{pid: command line} of every process this test can see."""
    lines = {}
    for pid in os.listdir("/proc"):
        if pid.isdigit():
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    lines[int(pid)] = f.read().replace(b"\0", b" ").decode(errors="replace").strip()
            except OSError:
                pass
    return lines


def descendants(root):
    """The processes started from root, at any depth."""
    parents = {}
    for pid in os.listdir("/proc"):
        if pid.isdigit():
            try:
                with open("/proc/%s/stat" % pid) as f:
                    parents[int(pid)] = int(f.read().rsplit(")", 1)[1].split()[1])
            except OSError:
                pass
    found, grown = {root}, True
    while grown:
        more = {pid for pid, parent in parents.items() if parent in found} - found
        found |= more
        grown = bool(more)
    return sorted(found)


def holding(secrets):
    return {pid: line for pid, line in command_lines().items() if any(s in line for s in secrets)}


def mode_line(path):
    st = os.lstat(path)
    return "%s %d %s" % (stat.filemode(st.st_mode), st.st_uid, path)


def api(port, token, path):
    request = urllib.request.Request("http://127.0.0.1:%d%s" % (port, path),
                                     headers={"Authorization": "Bearer " + token})
    with urllib.request.urlopen(request, timeout=10) as answer:
        return answer.read().decode()


def browser(folder):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", "--user-data-dir=" + os.path.join(folder, "profile")):
        options.add_argument(flag)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def live(d):
    """Listens to the event stream in the current tab; window.heard counts the tables it gets."""
    d.execute_script("window.heard = 0; new EventSource('/api/events')"
                     ".addEventListener('rows', () => { window.heard += 1; });")


def hostile_server(target):
    page = HOSTILE.replace("TARGET", target).replace("MAC", MAC).encode()

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(page)))
            self.end_headers()
            self.wfile.write(page)

        def log_message(self, *args):
            pass

    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def main():
    folder = tempfile.mkdtemp(prefix="brevindor-launch-")
    bin_dir, runtime = os.path.join(folder, "bin"), os.path.join(folder, "runtime")
    os.mkdir(bin_dir)
    os.mkdir(runtime, 0o700)
    opener = os.path.join(bin_dir, "xdg-open")
    with open(opener, "w") as f:
        f.write(OPENER)
    os.chmod(opener, 0o755)
    env = dict(os.environ, PATH=bin_dir + ":" + os.environ["PATH"], XDG_RUNTIME_DIR=runtime)
    log = os.path.join(folder, "standin.log")
    standin = subprocess.Popen([STANDIN, "--lifetime", "300", "--log", log, "--controller",
                                "from=127.0.0.2,mac=%s,ip=192.168.1.21,name=Panel-1" % MAC],
                               stdout=subprocess.PIPE, text=True)
    assert standin.stdout.readline() == "ready\n", "the stand-in did not start"
    web = subprocess.Popen([WEB, "--interface", "127.0.0.1", "--timeout", "1", "--undo-dir", folder],
                           stdout=subprocess.PIPE, text=True, env=env)
    d = None
    try:
        url = web.stdout.readline().strip()
        assert url.startswith("http://127.0.0.1:") and "/?token=" in url, url
        port = int(url.split(":")[2].split("/")[0])
        token = url.split("token=")[1]

        # The opener is given one file, in a folder of its own under the runtime folder, and no
        # command line holds either token while it runs.
        wait("the opener", lambda: os.path.exists(opener + ".args"))
        with open(opener + ".args") as f:
            given = f.read().split("\n")[:-1]
        assert len(given) == 1, given
        launcher = given[0]
        assert os.path.dirname(os.path.dirname(launcher)) == runtime, launcher
        with open(launcher) as f:
            once = f.read().split("/?once=")[1][:32]
        secrets = [token, once]
        opened = [line for line in command_lines().values() if line.startswith("/bin/sh " + opener)]
        assert opened, "the opener is not running while its command line is read"
        print("launch test: the opener's command line, as it runs: " + opened[0])
        assert not holding(secrets), holding(secrets)
        assert stat.S_IMODE(os.stat(launcher).st_mode) == 0o600, mode_line(launcher)
        assert stat.S_IMODE(os.stat(os.path.dirname(launcher)).st_mode) == 0o700
        print("launch test: the launcher file and its folder:")
        print("  " + mode_line(launcher))
        print("  " + mode_line(os.path.dirname(launcher)))

        # The browser opens what it was given and gets a session: the page, live.
        d = browser(folder)
        d.get("file://" + launcher)
        wait("the page", lambda: d.current_url == "http://127.0.0.1:%d/" % port)
        wait("the page's table", lambda: MAC in api(port, token, "/api/controllers") and
             d.execute_script("return document.querySelectorAll('#rows tr').length;") >= 1)
        assert not holding(secrets), holding(secrets)
        print("launch test: this test's processes with a session open (ps); no command line on the machine"
              " holds either token:")
        pids = ",".join(str(pid) for pid in descendants(os.getpid()))
        for line in subprocess.run(["ps", "-o", "pid,user,args", "-p", pids], capture_output=True,
                                   text=True).stdout.splitlines():
            print("  " + line[:150])

        # The launcher file works once: opened again without the cookie, it opens nothing.
        try:
            urllib.request.urlopen("http://127.0.0.1:%d/?once=%s" % (port, once), timeout=5)
            raise AssertionError("the one-time token let in a second time")
        except urllib.error.HTTPError as e:
            assert e.code == 401, e.code

        # Two tabs at once, both live.
        first = d.current_window_handle
        live(d)
        d.switch_to.new_window("tab")
        d.get("http://127.0.0.1:%d/" % port)
        second = d.current_window_handle
        live(d)
        request = urllib.request.Request("http://127.0.0.1:%d/api/scan" % port, data=b'{"timeout":0.5}',
                                         headers={"Authorization": "Bearer " + token,
                                                  "Content-Type": "application/json"})
        assert urllib.request.urlopen(request, timeout=10).status == 202
        for tab in (first, second):
            d.switch_to.window(tab)
            wait("the rows in both tabs", lambda: d.execute_script("return window.heard;") >= 2)

        # A hostile page on another port of 127.0.0.1, the same site: the cookie goes with its
        # requests, but it can neither apply nor read.
        hostile = hostile_server("http://127.0.0.1:%d" % port)
        d.switch_to.new_window("tab")
        d.get("http://127.0.0.1:%d/" % hostile.server_address[1])
        wait("the hostile page's attempts", lambda: d.execute_script("return window.done === true;"))
        results = d.execute_script("return window.results;")
        for name, result in sorted(results.items()):
            print("launch test: hostile page, %s: %s" % (name, result[:80]))
            assert MAC not in result and "192.168.1.21" not in result, (name, result)
        assert results["apply as JSON"].startswith("refused"), results
        assert results["read the table"].startswith("refused"), results
        assert results["read the events"] == "refused", results
        assert results["the table as a script"] == "refused", results
        hostile.shutdown()
        time.sleep(1)
        assert '"kind":"scan"' in api(port, token, "/api/job"), api(port, token, "/api/job")
        with open(log) as f:
            sent = [line for line in f if not line.rstrip().endswith(REQUEST_HEX)]
        assert sent == [], sent
        print("launch test: passed")
    finally:
        if d is not None:
            d.quit()
        web.terminate()
        web.wait(10)
        standin.terminate()
        standin.wait(10)
    assert not os.path.exists(launcher) and not os.path.exists(os.path.dirname(launcher)), "the launcher file stays"


if __name__ == "__main__":
    main()
