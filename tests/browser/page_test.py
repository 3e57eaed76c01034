"""The page in a real browser (headless chromium), against the stand-in: rows appear live, an
edit is checked, applied and verified, a refusal holds the apply back, a plan is imported and
undone, and device text stays text. Run by run.sh inside a private network namespace."""
import os
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

# Nothing starts unless this network namespace has no way out: the scripts' own guard says.
GUARD = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../..", "tools", "netns_guard.sh")
if subprocess.call(["bash", "-c", '. "$1" && require_private_netns "$2"', "guard", GUARD, "browser test"]) != 0:
    sys.exit(1)

WEB, STANDIN = sys.argv[1], sys.argv[2]
SHOTS = os.environ.get("BREVINDOR_SCREENSHOTS")   # a folder: the page is photographed there too
MARKUP = "<img src=x onerror=alert(1)>"
REQUEST_HEX = "56 4b 44 41 01 00 01 00 00 00 00 00 00 00 00 00"
WAIT = 20


def mac(k):
    return "00.1a.2b.3c.00.%02x" % k


def controller(k, extra=""):
    keys = "from=127.0.0.%d,mac=%s,ip=192.168.1.%d,name=Panel-%d" % (k + 1, mac(k), 20 + k, k)
    return keys + ("," + extra if extra else "")


def settings_sent(log_path):
    """The lines of the stand-in's log that are not the scan's request."""
    with open(log_path) as f:
        return [line for line in f if not line.rstrip().endswith(REQUEST_HEX)]


class Page:
    def __init__(self, folder):
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--disable-dev-shm-usage", "--window-size=1700,700",
                     "--user-data-dir=" + os.path.join(folder, "profile")):
            options.add_argument(flag)
        self.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)

    def wait(self, what, condition, seconds=WAIT):
        try:
            return WebDriverWait(self.driver, seconds, poll_frequency=0.05).until(lambda d: condition())
        except Exception:
            self.shot("failed")
            print(self.driver.get_log("browser"), file=sys.stderr)
            print(self.driver.page_source[:3000], file=sys.stderr)
            raise AssertionError("timed out waiting for " + what)

    def row(self, k):
        found = self.driver.find_elements(By.CSS_SELECTOR, 'tr[data-mac="%s"]' % mac(k))
        return found[0] if found else None

    def cell(self, k, selector):
        return self.row(k).find_element(By.CSS_SELECTOR, selector)

    def ip(self, k):
        return self.cell(k, '[data-edit="ip"]').get_attribute("value")

    def state(self, k):
        return self.row(k).get_attribute("data-state")

    def button(self, action):
        return self.driver.find_element(By.CSS_SELECTOR, '[data-action="%s"]' % action)

    def type_into(self, k, field, text):
        box = self.cell(k, '[data-edit="%s"]' % field)
        box.send_keys(Keys.CONTROL, "a")
        box.send_keys(text)

    def shot(self, name):
        if SHOTS:
            self.driver.save_screenshot(os.path.join(SHOTS, "brevindor-web-%s.png" % name))

    def no_alert(self):
        try:
            self.driver.switch_to.alert
            return False
        except NoAlertPresentException:
            return True


def main():
    folder = tempfile.mkdtemp(prefix="brevindor-browser-")
    log = os.path.join(folder, "standin.log")
    clone = "mac=%s,ip=192.168.1.40,name=Twin" % mac(5)
    standin = subprocess.Popen(
        [STANDIN, "--lifetime", "300", "--log", log,
         "--controller", controller(1), "--controller", controller(2),
         "--controller", controller(3, "delay=2500"),
         "--controller", controller(4).replace("name=Panel-4", "name=" + MARKUP),
         "--controller", "from=127.0.0.6," + clone, "--controller", "from=127.0.0.7," + clone,
         "--controller", "from=127.0.0.10,mac=%s,ip=192.168.1.100,name=Panel-6" % mac(6)],
        stdout=subprocess.PIPE, text=True)
    assert standin.stdout.readline() == "ready\n", "the stand-in did not start"
    web = subprocess.Popen([WEB, "--interface", "127.0.0.1", "--no-browser", "--timeout", "3",
                            "--verify-time", "5", "--undo-dir", folder], stdout=subprocess.PIPE, text=True)
    url = web.stdout.readline().strip()
    assert url.startswith("http://127.0.0.1:") and "/?token=" in url, url
    page = Page(folder)
    d = page.driver
    try:
        d.get(url)
        assert "token" not in d.current_url, "the token stays in the address: " + d.current_url

        # Rows appear as controllers answer, with no reload; the late one too.
        page.wait("the first row", lambda: page.row(1) is not None)
        d.execute_script("window.stillThisPage = true;")
        page.wait("the late controller's row", lambda: page.row(3) is not None)
        assert d.execute_script("return window.stillThisPage === true;"), "the page was reloaded"
        page.wait("the scan to end", lambda: page.button("scan").is_enabled())
        assert page.cell(3, '[data-field="node_name"]').text == "Panel-3"

        # A node name made of markup is shown as text, and runs nothing.
        name = page.cell(4, '[data-field="node_name"]')
        assert name.text == MARKUP, name.text
        assert d.execute_script("return document.querySelectorAll('#rows img, #rows script').length;") == 0
        assert page.no_alert(), "a script from a node name ran"

        # The clone is marked in words.
        assert "MAC answered from" in page.cell(5, '[data-field="conflict"]').text

        # An impossible IP shows its reason, Apply stays disabled, nothing is sent.
        page.type_into(2, "ip", "192.168.1.255")
        refusal = page.cell(2, "[data-refusal]")
        page.wait("the refusal", lambda: "broadcast address" in refusal.text)
        assert refusal.text == ("%s: IP 192.168.1.255 is the broadcast address of its subnet 192.168.1.0/24"
                                % mac(2)), refusal.text
        assert "changed" in page.cell(2, '[data-field="ip"]').get_attribute("class")
        assert not page.button("apply").is_enabled()
        page.shot("refusal")
        page.button("discard").click()
        page.wait("the refusal to go", lambda: refusal.text == "")
        assert settings_sent(log) == [], "a setting went out"

        # One IP edited, applied, verified; the controller took it and no other was set.
        page.type_into(1, "ip", "192.168.1.61")
        page.wait("Apply to be enabled", lambda: page.button("apply").is_enabled())
        page.button("apply").click()
        page.wait("the row to verify", lambda: page.state(1) == "verified")
        page.wait("the row to show the new IP",
                  lambda: page.cell(1, '[data-edit="ip"]').get_attribute("value") == "192.168.1.61")
        assert "changed" not in page.cell(1, '[data-field="ip"]').get_attribute("class")
        sent = settings_sent(log)
        assert sent and all(" 00 1a 2b 3c 00 01 " in line for line in sent), sent
        page.shot("applied")

        # Selected rows numbered from a first IP, in table order; sorting and the filter.
        page.cell(2, 'input[type="checkbox"]').click()
        page.cell(3, 'input[type="checkbox"]').click()
        d.find_element(By.ID, "first-ip").send_keys("192.168.1.101")
        page.button("number").click()
        ips = [page.cell(k, '[data-edit="ip"]').get_attribute("value") for k in (2, 3)]
        assert ips == ["192.168.1.101", "192.168.1.102"], ips
        page.button("discard").click()

        # A First IP that is no address is refused in the server's words; no row gets an address.
        first = d.find_element(By.ID, "first-ip")
        status = d.find_element(By.ID, "status")
        for typed in ("300.1.2.3", "192.168.01.5", "192.168.1"):
            first.send_keys(Keys.CONTROL, "a")
            first.send_keys(typed)
            page.button("number").click()
            page.wait("the refusal of " + typed, lambda: "is no address" in status.text)
            assert status.text == ("nothing numbered: %s: IP '%s' is no address: four decimal numbers 0 to 255,"
                                   " no leading zeros" % (mac(2), typed)), status.text
            assert page.ip(2) == "192.168.1.22" and page.ip(3) == "192.168.1.23", (page.ip(2), page.ip(3))
            assert not page.button("discard").is_enabled(), "numbering left an edit"
            d.execute_script("document.getElementById('status').textContent = ''")

        # Numbering stops before the subnet's broadcast address and says at which row.
        page.cell(4, 'input[type="checkbox"]').click()
        first.send_keys(Keys.CONTROL, "a")
        first.send_keys("192.168.1.253")
        page.button("number").click()
        # In table order, 3 last: it answered late.
        assert [page.ip(k) for k in (2, 4, 3)] == ["192.168.1.253", "192.168.1.254", "192.168.1.23"], \
            [page.ip(k) for k in (2, 4, 3)]
        assert status.text == ("numbered 2 rows from 192.168.1.253; stopped at row 3 of the 3 selected, %s:"
                               " 192.168.1.255 would be the broadcast address of 192.168.1.0/24" % mac(3)), status.text
        page.button("discard").click()
        for k in (2, 3, 4):
            page.cell(k, 'input[type="checkbox"]').click()

        # Address columns sort as numbers: .100 after .61, 127.0.0.10 after 127.0.0.7.
        d.find_element(By.CSS_SELECTOR, 'button[data-sort="ip"]').click()
        order = [tr.get_attribute("data-mac") for tr in d.find_elements(By.CSS_SELECTOR, "#rows tr")]
        assert order == [mac(k) for k in (2, 3, 4, 5, 1, 6)], order   # 1 is at .61 now
        d.find_element(By.CSS_SELECTOR, 'button[data-sort="sender"]').click()
        order = [tr.get_attribute("data-mac") for tr in d.find_elements(By.CSS_SELECTOR, "#rows tr")]
        assert order == [mac(k) for k in (1, 2, 3, 4, 5, 6)], order
        d.find_element(By.CSS_SELECTOR, 'button[data-sort="sender"]').click()
        order = [tr.get_attribute("data-mac") for tr in d.find_elements(By.CSS_SELECTOR, "#rows tr")]
        assert order == [mac(k) for k in (6, 5, 4, 3, 2, 1)], order
        d.find_element(By.CSS_SELECTOR, 'button[data-sort="ip"]').click()
        d.find_element(By.ID, "filter").send_keys("panel-3")
        page.wait("the filter", lambda: [tr.get_attribute("data-mac") for tr in
                                         d.find_elements(By.CSS_SELECTOR, "#rows tr:not(.hidden)")] == [mac(3)])
        d.find_element(By.ID, "filter").clear()
        d.find_element(By.ID, "filter").send_keys(Keys.BACKSPACE)

        # A plan imported as pending edits, applied, then undone after the confirmation.
        plan = os.path.join(folder, "plan.csv")
        with open(plan, "w") as f:
            f.write("# panel B\nmac;ip\n%s;192.168.1.62\n" % mac(2))
        d.find_element(By.ID, "plan-file").send_keys(plan)
        page.wait("the plan's edit", lambda: page.cell(2, '[data-edit="ip"]').get_attribute("value") == "192.168.1.62")
        assert "changed" in page.cell(2, '[data-field="ip"]').get_attribute("class")
        page.wait("Apply to be enabled", lambda: page.button("apply").is_enabled())
        page.button("apply").click()
        page.wait("the plan's row to verify", lambda: page.state(2) == "verified")
        page.wait("Undo to be enabled", lambda: page.button("undo").is_enabled())
        page.button("undo").click()
        page.wait("the confirmation", lambda: not page.no_alert())
        d.switch_to.alert.accept()
        page.wait("the undo to put the IP back",
                  lambda: page.cell(2, '[data-edit="ip"]').get_attribute("value") == "192.168.1.22")
        assert page.state(2) == "verified", page.state(2)
        assert page.no_alert(), "an alert is open"

        # A second scan: the table is emptied and every controller shown again, once.
        page.button("scan").click()
        page.wait("the second scan to start", lambda: not page.button("scan").is_enabled())
        page.wait("the second scan to end", lambda: page.button("scan").is_enabled())
        shown = sorted(tr.get_attribute("data-mac") for tr in d.find_elements(By.CSS_SELECTOR, "#rows tr"))
        assert shown == [mac(k) for k in range(1, 7)], shown
        print("browser test: passed")
    finally:
        d.quit()
        web.terminate()
        web.wait(10)
        standin.terminate()
        standin.wait(10)


if __name__ == "__main__":
    main()
