"""Headless chromium for the page's tests and benchmark, reached without name resolution:
chromium's DevTools and chromedriver listen on 127.0.0.1 at ports chosen here, chromedriver
attaches to chromium by that address and selenium talks to chromedriver's, so a system that
resolves no 'localhost' (no /etc/hosts) runs the tests too. Where either does not start,
BrowserUnavailable says why at once."""
import os
import socket
import subprocess
import time

from selenium import webdriver
from selenium.webdriver.remote.file_detector import UselessFileDetector
from selenium.webdriver.remote.remote_connection import RemoteConnection

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
START_SECONDS = 10
CALL_SECONDS = 60


class BrowserUnavailable(Exception):
    pass


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(port, seconds, process, what, log):
    """Returns once something listens on 127.0.0.1:port; BrowserUnavailable when process ends or
    seconds pass first."""
    end = time.monotonic() + seconds
    while True:
        if process.poll() is not None:
            raise BrowserUnavailable("%s ended at start (exit %d); see %s" % (what, process.returncode, log))
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return
        except OSError:
            if time.monotonic() > end:
                raise BrowserUnavailable("%s did not listen on 127.0.0.1:%d within %d s; see %s"
                                         % (what, port, seconds, log))
            time.sleep(0.05)


class Browser:
    """chromedriver and one headless chromium attached to it; quit() ends both."""

    def __init__(self, folder, width=1366, height=768):
        port = free_port()
        log = open(os.path.join(folder, "chromedriver.log"), "w")
        self.driver_process = subprocess.Popen([CHROMEDRIVER, "--port=%d" % port, "--allowed-ips=127.0.0.1"],
                                               stdout=log, stderr=subprocess.STDOUT)
        log.close()
        try:
            wait_for(port, START_SECONDS, self.driver_process, "chromedriver",
                     os.path.join(folder, "chromedriver.log"))
        except BrowserUnavailable:
            self.driver_process.kill()
            self.driver_process.wait()
            raise
        # chromium is started here with its DevTools on 127.0.0.1, and chromedriver attaches to that
        # address: on its own it would look for the browser at 'localhost'.
        devtools = free_port()
        flags = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", "--window-size=%d,%d" % (width, height),
                 "--remote-debugging-address=127.0.0.1", "--remote-debugging-port=%d" % devtools,
                 "--user-data-dir=" + os.path.join(folder, "profile"), "about:blank"]
        log = open(os.path.join(folder, "chromium.log"), "w")
        self.chromium = subprocess.Popen([CHROMIUM] + flags, stdout=log, stderr=subprocess.STDOUT)
        log.close()
        try:
            wait_for(devtools, START_SECONDS, self.chromium, "chromium's DevTools",
                     os.path.join(folder, "chromium.log"))
            options = webdriver.ChromeOptions()
            options.binary_location = CHROMIUM
            options.debugger_address = "127.0.0.1:%d" % devtools
            options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
            RemoteConnection.set_timeout(CALL_SECONDS)
            self.driver = webdriver.Remote(command_executor="http://127.0.0.1:%d" % port, options=options)
        except Exception as e:
            self.chromium.kill()
            self.chromium.wait()
            self.driver_process.kill()
            self.driver_process.wait()
            if isinstance(e, BrowserUnavailable):
                raise
            raise BrowserUnavailable("chromium did not start under chromedriver: %s" % str(e).splitlines()[0])
        self.driver.file_detector = UselessFileDetector()   # the browser reads files here itself
        self.driver.command_executor._commands["cdp"] = ("POST", "/session/$sessionId/goog/cdp/execute")

    def cdp(self, command, params):
        """A DevTools command, through chromedriver."""
        return self.driver.execute("cdp", {"cmd": command, "params": params})["value"]

    def quit(self):
        try:
            self.driver.quit()
        finally:
            for process in (self.chromium, self.driver_process):
                process.terminate()
                process.wait(10)
