"""brevindor-web's figures: 1000 controllers shown in headless chromium, a 1000-row apply through
the API, the server's memory, and its CPU while idle with the page open. Run by bench/run.sh web,
inside a private network namespace."""
import json
import os
import subprocess
import sys
import tempfile
import time
import urllib.request

from selenium.webdriver.common.by import By

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "browser"))
from browser import Browser  # noqa: E402  (chromium on 127.0.0.1, as in the browser test)

# Nothing starts unless this network namespace has no way out: the scripts' own guard says.
GUARD = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "netns_guard.sh")
if subprocess.call(["bash", "-c", '. "$1" && require_private_netns "$2"', "guard", GUARD, "web_bench"]) != 0:
    sys.exit(1)

WEB, STANDIN = sys.argv[1], sys.argv[2]
MANY = 1000
TICKS = os.sysconf("SC_CLK_TCK")


def standin(folder):
    p = subprocess.Popen([STANDIN, "--many", str(MANY), "--lifetime", "600", "--log", os.devnull],
                         stdout=subprocess.PIPE, text=True)
    assert p.stdout.readline() == "ready\n"
    return p


def last_send(p):
    """Stops the stand-in; CLOCK_MONOTONIC seconds of its last answer."""
    p.terminate()
    words = p.stdout.read().split()
    p.wait()
    return int(words[words.index("last_send_ns") + 1]) / 1e9


def call(port, token, method, path, body=None):
    request = urllib.request.Request("http://127.0.0.1:%d%s" % (port, path), method=method,
                                     data=None if body is None else json.dumps(body).encode(),
                                     headers={"Authorization": "Bearer " + token, "Content-Type": "application/json"})
    try:
        with urllib.request.urlopen(request, timeout=30) as answer:
            return answer.status, json.loads(answer.read())
    except urllib.error.HTTPError as e:
        return e.code, json.loads(e.read())


def wait_job(port, token):
    while call(port, token, "GET", "/api/job")[1]["running"]:
        time.sleep(0.01)
    return call(port, token, "GET", "/api/job")[1]


def status_kb(pid, key):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return 0


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def main():
    folder = tempfile.mkdtemp(prefix="brevindor-web-bench-")
    stand = standin(folder)
    web = subprocess.Popen([WEB, "--interface", "127.0.0.1", "--no-browser", "--undo-dir", folder],
                           stdout=subprocess.PIPE, text=True)
    url = web.stdout.readline().strip()
    port = int(url.split(":")[2].split("/")[0])
    token = url.split("token=")[1]
    browser = Browser(folder, 1366, 768)
    driver = browser.driver
    try:
        driver.get(url)
        wait_job(port, token)
        # The rows of this scan: those made after the first scan's were marked.
        count = "return document.querySelectorAll('#rows tr:not([data-old])').length;"
        # 1. A scan of 1000 in the browser: when the last row shows, against the last answer.
        button = driver.find_element(By.CSS_SELECTOR, '[data-action="scan"]')
        while not button.is_enabled():   # the page hears of the first scan's end a moment after the API
            time.sleep(0.01)
        driver.execute_script("for (const tr of document.querySelectorAll('#rows tr')) tr.dataset.old = '1';")
        button.click()
        start = time.monotonic()
        while driver.execute_script(count) < MANY and time.monotonic() - start < 30:
            time.sleep(0.005)
        shown = time.monotonic()
        rows = driver.execute_script(count)
        wait_job(port, token)
        last = last_send(stand)
        print("browser: %d of %d rows shown %.3f s after Scan; the stand-in's last answer %.3f s after Scan;"
              " last row %+.3f s from the last answer (target <= 0.4 s)"
              % (rows, MANY, shown - start, last - start, shown - last))
        print("server after the scan: RSS %d KB, peak %d KB (target < 24 MB)"
              % (status_kb(web.pid, "VmRSS"), status_kb(web.pid, "VmHWM")))

        # 2. A 1000-row apply through the API at the default quiet time.
        stand = standin(folder)
        plan = [{"mac": "02.00.00.00.%02x.%02x" % ((k + 1) >> 8, (k + 1) & 255),
                 "ip": "10.1.%d.%d" % (k // 250, k % 250 + 1), "gateway": "10.0.0.1", "mask": "255.0.0.0"}
                for k in range(MANY)]
        start = time.monotonic()
        status, _ = call(port, token, "POST", "/api/apply", {"rows": plan})
        job = wait_job(port, token)
        took = time.monotonic() - start
        outcomes = call(port, token, "GET", "/api/outcomes")[1]
        verified = sum(1 for o in outcomes if o["state"] == "verified")
        print("apply through the API: %d, %d of %d rows verified in %.3f s, exit status %s (target < 1.5 s)"
              % (status, verified, MANY, took, job["status"]))
        print("server after the apply: RSS %d KB, peak %d KB (target < 24 MB)"
              % (status_kb(web.pid, "VmRSS"), status_kb(web.pid, "VmHWM")))
        rows = driver.execute_script("return document.querySelectorAll('#rows tr[data-state=\"verified\"]').length;")
        print("browser: %d rows show verified" % rows)

        # 3. Idle, the page open: the server's CPU.
        time.sleep(1)
        before = cpu_seconds(web.pid)
        time.sleep(10)
        print("server idle with the page open: %.2f%% CPU over 10 s" % ((cpu_seconds(web.pid) - before) / 10 * 100))
    finally:
        browser.quit()
        web.terminate()
        web.wait(10)
        if stand.poll() is None:
            stand.terminate()


if __name__ == "__main__":
    main()
