"""Headless chromium for the page's tests and benchmark, reached without name resolution:
chromedriver listens on 127.0.0.1 at a port chosen here and selenium talks to that address, so a
system that resolves no 'localhost' (no /etc/hosts) runs the tests too. Where chromedriver does
not start, BrowserUnavailable says why at once."""
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


class Browser:
    """chromedriver and one headless chromium session; quit() ends both."""

    def __init__(self, folder, width=1366, height=768):
        port = free_port()
        log = open(os.path.join(folder, "chromedriver.log"), "w")
        self.driver_process = subprocess.Popen([CHROMEDRIVER, "--port=%d" % port, "--allowed-ips=127.0.0.1"],
                                               stdout=log, stderr=subprocess.STDOUT)
        log.close()
        end = time.monotonic() + START_SECONDS
        while True:
            if self.driver_process.poll() is not None:
                raise BrowserUnavailable("chromedriver ended at start (exit %d); see %s"
                                         % (self.driver_process.returncode, os.path.join(folder, "chromedriver.log")))
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                break
            except OSError:
                if time.monotonic() > end:
                    self.driver_process.kill()
                    raise BrowserUnavailable("chromedriver did not listen on 127.0.0.1:%d within %d s"
                                             % (port, START_SECONDS))
                time.sleep(0.05)
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--disable-dev-shm-usage", "--window-size=%d,%d" % (width, height),
                     "--user-data-dir=" + os.path.join(folder, "profile")):
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        RemoteConnection.set_timeout(CALL_SECONDS)
        try:
            self.driver = webdriver.Remote(command_executor="http://127.0.0.1:%d" % port, options=options)
        except Exception as e:
            self.driver_process.kill()
            self.driver_process.wait()
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
            self.driver_process.terminate()
            self.driver_process.wait(10)
