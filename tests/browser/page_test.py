"""The page in a real browser (headless chromium at 1366x768), against the stand-in: rows appear
live, an edit is checked, applied and verified, a refusal holds the apply back, numbering keeps to
the address rule, a plan is imported and undone, device text stays text, three rows are
commissioned by keyboard alone (Enter, a pasted column), axe-core finds nothing serious, and the
page says so when its server stops or is started again. Run by run.sh inside a private network
namespace."""
import json
import os
import signal
import subprocess
import sys
import tempfile
import time

from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

from browser import Browser, BrowserUnavailable, free_port

# Nothing starts unless this network namespace has no way out: the scripts' own guard says.
GUARD = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../..", "tools", "netns_guard.sh")
if subprocess.call(["bash", "-c", '. "$1" && require_private_netns "$2"', "guard", GUARD, "browser test"]) != 0:
    sys.exit(1)

WEB, STANDIN = sys.argv[1], sys.argv[2]
SHOTS = os.environ.get("BREVINDOR_SCREENSHOTS")   # a folder: the page is photographed there too
MARKUP = "<img src=x onerror=alert(1)>"
REQUEST_HEX = "56 4b 44 41 01 00 01 00 00 00 00 00 00 00 00 00"
WAIT = 20
AXE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "node_modules", "axe-core", "axe.min.js")
NAMES = {1: "Щит-1 Ж/Д Зал", 2: "泵站-2 東側"}   # Cyrillic and CJK, as plants name them


def mac(k):
    return "00.1a.2b.3c.00.%02x" % k


def controller(k, extra=""):
    keys = "from=127.0.0.%d,mac=%s,ip=192.168.1.%d,name=%s" % (k + 1, mac(k), 20 + k, NAMES.get(k, "Panel-%d" % k))
    return keys + ("," + extra if extra else "")


def settings_sent(log_path):
    """The lines of the stand-in's log that are not the scan's request."""
    with open(log_path) as f:
        return [line for line in f if not line.rstrip().endswith(REQUEST_HEX)]


class Page:
    def __init__(self, folder):
        self.browser = Browser(folder, 1366, 768)
        self.driver = self.browser.driver
        self.presses = 0   # keys pressed by press()

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

    def press(self, *keys):
        """Keys to whatever has the focus, as a person types them."""
        for key in keys:
            ActionChains(self.driver).send_keys(key).perform()
            self.presses += 1

    def paste(self, text):
        """Ctrl+V with text on the clipboard; where headless chromium keeps no clipboard, the same
        paste event with that text, on the focused field."""
        self.browser.cdp("Browser.grantPermissions", {"origin": self.driver.execute_script("return location.origin;"),
                                                      "permissions": ["clipboardReadWrite", "clipboardSanitizedWrite"]})
        wrote = self.driver.execute_async_script(
            "const done = arguments[1]; setTimeout(() => done(false), 3000);"
            "navigator.clipboard.writeText(arguments[0]).then(() => done(true), () => done(false));", text)
        if wrote:
            self.chord(Keys.CONTROL, "v")
            return "clipboard"
        self.driver.execute_script(
            "const data = new DataTransfer(); data.setData('text/plain', arguments[0]);"
            "document.activeElement.dispatchEvent(new ClipboardEvent('paste', {clipboardData: data, bubbles: true,"
            " cancelable: true}));", text)
        return "event"

    def from_the_top(self):
        """The next Tab starts from the top of the page, as after it was opened."""
        self.driver.execute_script("const t = document.createElement('span'); t.tabIndex = -1;"
                                   " document.body.prepend(t); t.focus(); t.remove(); window.scrollTo(0, 0);")

    def chord(self, modifier, key):
        ActionChains(self.driver).key_down(modifier).send_keys(key).key_up(modifier).perform()
        self.presses += 1

    def shift_tab(self):
        self.chord(Keys.SHIFT, Keys.TAB)

    def focused(self):
        return self.driver.switch_to.active_element

    def focused_field(self):
        """(k, field) of the table's field that has the focus, or None."""
        e = self.focused()
        field = e.get_attribute("data-edit")
        if not field:
            return None
        tr = e.find_element(By.XPATH, "./ancestor::tr")
        return int(tr.get_attribute("data-mac")[-2:], 16), field

    def tab_to(self, selector, backwards=False, most=60):
        """Tab (or Shift+Tab) until the element matching selector has the focus; the presses."""
        target = self.driver.find_element(By.CSS_SELECTOR, selector)
        for n in range(1, most + 1):
            if backwards:
                self.shift_tab()
            else:
                self.press(Keys.TAB)
            if self.focused() == target:
                return n
        raise AssertionError("%s not reached in %d presses" % (selector, most))

    def axe(self, what):
        """axe-core over the page: no serious or critical violation."""
        with open(AXE) as f:
            self.driver.execute_script(f.read())
        result = self.driver.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            "axe.run(document, {resultTypes: ['violations']}).then((r) => done(JSON.stringify(r.violations)),"
            " (e) => done(JSON.stringify([{id: 'axe failed', impact: 'critical', help: String(e), nodes: []}])));")
        bad = [v for v in json.loads(result) if v.get("impact") in ("serious", "critical")]
        assert not bad, "axe-core, %s: %s" % (what, "; ".join(
            "%s (%s): %s at %s" % (v["id"], v["impact"], v["help"], [n["target"] for n in v["nodes"][:3]])
            for v in bad))
        return len(json.loads(result))

    def fits(self):
        """True when the page needs no sideways scrolling."""
        return self.driver.execute_script(
            "return document.documentElement.scrollWidth <= document.documentElement.clientWidth;")

    def toolbar_lines(self):
        """The lines the toolbar's controls take: the first control of each, as tag and top."""
        return self.driver.execute_script(
            "const lines = [];"
            "for (const e of document.querySelectorAll('.toolbar > .group > *')) {"
            "  const r = e.getBoundingClientRect();"
            "  const middle = r.top + r.height / 2;"
            "  if (r.width > 1 && !lines.some((l) => Math.abs(l[1] - middle) < 8)) lines.push([e.tagName, middle]);"
            "}"
            "return lines;")

    def shown_rows(self):
        return [tr.get_attribute("data-mac") for tr in self.driver.find_elements(By.CSS_SELECTOR, "#rows tr:not(.hidden)")]

    def no_alert(self):
        try:
            self.driver.switch_to.alert
            return False
        except NoAlertPresentException:
            return True


def main():
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("browser test: stopped by SIGTERM"))   # the finally below runs
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
    port = free_port()
    serve = [WEB, "--interface", "127.0.0.1", "--no-browser", "--timeout", "3", "--verify-time", "5",
             "--undo-dir", folder, "--port", str(port)]
    web = subprocess.Popen(serve, stdout=subprocess.PIPE, text=True)
    url = web.stdout.readline().strip()
    assert url.startswith("http://127.0.0.1:%d/?token=" % port), url
    page = None
    try:
        try:
            page = Page(folder)
        except BrowserUnavailable as e:
            sys.exit("browser test: %s" % e)
        d = page.driver
        d.set_script_timeout(20)
        d.get(url)
        assert "token" not in d.current_url, "the token stays in the address: " + d.current_url

        # Rows appear as controllers answer, with no reload; the late one too.
        page.wait("the first row", lambda: page.row(1) is not None)
        d.execute_script("window.stillThisPage = true;")
        page.wait("the late controller's row", lambda: page.row(3) is not None)
        assert d.execute_script("return window.stillThisPage === true;"), "the page was reloaded"
        page.wait("the scan to end", lambda: page.button("scan").is_enabled())
        assert page.cell(3, '[data-field="node_name"]').text == "Panel-3"
        assert page.cell(2, '[data-field="node_name"]').text == NAMES[2]

        # At 1366x768 the default columns fit; the summary counts; axe-core finds nothing serious.
        assert page.fits(), "the table scrolls sideways at 1366x768"
        summary = d.find_element(By.ID, "summary")
        page.wait("the summary", lambda: summary.text == "6 controllers, 0 edited, 0 refused, 1 conflict")
        page.axe("after the scan")
        page.shot("start")
        assert len(page.toolbar_lines()) == 1, "the toolbar's lines at 1366x768: %s" % page.toolbar_lines()

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
        page.wait("the summary", lambda: summary.text == "6 controllers, 1 edited, 1 refused, 1 conflict")
        assert d.find_element(By.ID, "announce").text == "1 refused: " + refusal.text, "the refusal was not announced"
        assert page.fits(), "a refusal makes the table scroll sideways"
        page.axe("with a refusal")
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
            page.wait("the refusal of " + typed, lambda: "bad IP address" in status.text)
            assert status.text == ("nothing numbered: bad IP address '%s': four decimal numbers 0 to 255,"
                                   " no leading zeros" % typed), status.text
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

        # The optional columns come from the Columns menu, and stay chosen after a reload.
        sender = d.find_element(By.CSS_SELECTOR, 'th.col-sender')
        assert not sender.is_displayed(), "the Sender column shows by default"
        d.find_element(By.CSS_SELECTOR, "#columns summary").click()
        d.find_element(By.CSS_SELECTOR, 'input[data-column="sender"]').click()
        assert sender.is_displayed() and page.cell(1, '[data-field="sender"]').text == "127.0.0.2"
        d.find_element(By.CSS_SELECTOR, "#columns summary").click()
        d.refresh()
        page.wait("the rows after the reload", lambda: page.row(6) is not None)
        assert d.find_element(By.CSS_SELECTOR, 'th.col-sender').is_displayed(), "the column choice was forgotten"
        status = d.find_element(By.ID, "status")
        first = d.find_element(By.ID, "first-ip")

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

        # Keyboard only: the skip link first, Enter down the IP column, a column of gateways pasted,
        # Apply reached by Shift+Tab; three rows verified.
        d.find_element(By.CSS_SELECTOR, 'button[data-sort="mac"]').click()
        page.from_the_top()
        page.presses = 0
        page.press(Keys.TAB)
        assert page.focused().get_attribute("id") == "skip", page.focused().get_attribute("outerHTML")
        assert page.focused().is_displayed(), "the focused skip link is not seen"
        page.press(Keys.ENTER)
        assert page.focused_field() == (1, "ip"), page.focused_field()
        for k in (1, 2, 3):
            assert page.focused_field() == (k, "ip"), (k, page.focused_field())
            page.chord(Keys.CONTROL, "a")
            page.press("192.168.1.%d" % (70 + k), Keys.ENTER)
        assert page.focused_field() == (4, "ip"), page.focused_field()
        for k in (3, 2, 1):
            page.chord(Keys.SHIFT, Keys.ENTER)
            assert page.focused_field() == (k, "ip"), (k, page.focused_field())
        page.press(Keys.TAB)
        assert page.focused_field() == (1, "gateway"), page.focused_field()
        outline = d.execute_script("return getComputedStyle(document.activeElement).outlineStyle;")
        assert outline not in ("", "none"), "the focused field shows no outline"
        column = "192.168.1.254\n192.168.1.254\n192.168.1.254\n"
        print("browser test: the column pasted by %s" % page.paste(column))
        page.wait("the pasted column", lambda: [page.cell(k, '[data-edit="gateway"]').get_attribute("value")
                                                for k in (1, 2, 3, 4)] == ["192.168.1.254"] * 3 + ["192.168.1.1"])
        for k in (1, 2, 3):
            assert "changed" in page.cell(k, '[data-field="gateway"]').get_attribute("class"), k
        assert status.text == "pasted 3 lines from %s down" % mac(1), status.text
        page.wait("Apply to be enabled", lambda: page.button("apply").is_enabled())
        page.tab_to('[data-action="apply"]', backwards=True)
        page.press(Keys.ENTER)
        for k in (1, 2, 3):
            page.wait("row %d to verify" % k, lambda: page.state(k) == "verified")
        sent = settings_sent(log)
        for k in (1, 2, 3):
            assert any(" 00 1a 2b 3c 00 %02x " % k in line and "c0 a8 01 %02x c0 a8 01 fe" % (70 + k) in line
                       for line in sent), (k, sent[-6:])
        print("browser test: %d presses for three rows by keyboard" % page.presses)

        # How many Tab presses reach the second row's IP field from the top of the page.
        page.from_the_top()
        page.presses = 0
        page.press(Keys.TAB, Keys.ENTER)
        tabs = 1 + page.tab_to('tr[data-mac="%s"] [data-edit="ip"]' % mac(2))
        print("browser test: the second row's IP field after %d Tab presses (and one Enter on the skip link)" % tabs)
        assert tabs <= 6, tabs

        # Identify: the watch turns on and the page says what to do; the controllers that went and
        # came back are listed, and choosing one shows its row alone.
        watch = d.find_element(By.ID, "watch")
        assert not watch.is_selected()
        page.button("identify").click()
        panel = d.find_element(By.ID, "identify")
        assert panel.is_displayed()
        assert "Power-cycle the device, or plug it in" in d.find_element(By.ID, "identify-help").text
        page.wait("the watch to be on", lambda: watch.is_selected())
        assert not page.button("scan").is_enabled() and not page.button("undo").is_enabled(), "a job can start"
        assert d.find_element(By.ID, "identify-none").is_displayed()
        time.sleep(2.5)   # the watch's first ask heard every one
        standin.send_signal(signal.SIGSTOP)
        everyone = range(1, 7)
        page.wait("the rows marked gone", lambda: all(page.row(k).get_attribute("data-watch") == "gone"
                                                      for k in everyone), 15)
        mark = page.cell(2, '[data-field="watch"]').text
        assert mark.startswith("gone ") and len(mark) > 6, mark
        assert page.cell(2, "[data-replace]").is_displayed(), "no Replace on a row gone"
        assert d.find_elements(By.CSS_SELECTOR, "#identify-list li") == [], "gone is not yet identified"
        # Replace… on a row gone: a dialog with the MACs that appeared since (none here) or one typed,
        # by keyboard; Escape leaves it, nothing sent.
        page.cell(2, "[data-replace]").click()
        dialog = d.find_element(By.ID, "replace-dialog")
        assert dialog.is_displayed() and d.find_element(By.ID, "replace-old").text == mac(2)
        choices = [o.text for o in d.find_elements(By.CSS_SELECTOR, "#replace-choice option")]
        assert choices == ["typed below"], choices
        page.axe("the replacement's dialog")
        page.press(Keys.ESCAPE)
        assert not dialog.is_displayed(), "Escape left the dialog open"
        standin.send_signal(signal.SIGCONT)
        page.wait("the rows marked back", lambda: all(page.row(k).get_attribute("data-watch") == "back"
                                                      for k in everyone), 10)
        assert not page.cell(2, "[data-replace]").is_displayed(), "Replace on a row back"
        listed = [b.text for b in d.find_elements(By.CSS_SELECTOR, "#identify-list [data-identified]")]
        assert sorted(listed) == [mac(k) for k in everyone], listed
        assert not d.find_element(By.ID, "identify-none").is_displayed()
        page.shot("identify")
        assert page.fits(), "the watch's marks make the table scroll sideways"
        assert len(page.toolbar_lines()) == 1, "the toolbar's lines while watching: %s" % page.toolbar_lines()
        page.axe("identifying")
        d.find_element(By.CSS_SELECTOR, '#identify-list [data-identified="%s"]' % listed[-1]).click()
        page.wait("the row chosen alone", lambda: page.shown_rows() == [listed[-1]])
        assert d.find_element(By.ID, "filter").get_attribute("value") == listed[-1]
        page.button("identify-close").click()
        assert not panel.is_displayed()
        assert page.focused() == page.button("identify"), "the focus was lost with the panel"
        watch.click()
        page.wait("the watch to be off", lambda: not watch.is_selected() and page.button("scan").is_enabled())
        d.find_element(By.ID, "filter").clear()
        d.find_element(By.ID, "filter").send_keys(Keys.BACKSPACE)
        assert settings_sent(log) == sent, "the watch set something"

        # The server stopped: said within 5 s, the buttons that need it disabled; back when it answers.
        notice = d.find_element(By.ID, "server-notice")
        assert not notice.is_displayed()
        needs = [page.button(a) for a in ("scan", "apply", "dry-run", "undo")] + [d.find_element(By.ID, "plan-file")]
        web.send_signal(signal.SIGSTOP)
        stopped = time.monotonic()
        page.wait("the notice of a server that does not answer", lambda: notice.is_displayed(), 5)
        assert "does not answer" in notice.text, notice.text
        print("browser test: a stopped server seen after %.1f s" % (time.monotonic() - stopped))
        assert not any(e.is_enabled() for e in needs), [e.get_attribute("data-action") for e in needs if e.is_enabled()]
        web.send_signal(signal.SIGCONT)
        page.wait("the page to recover", lambda: not notice.is_displayed() and page.button("scan").is_enabled(), 5)
        page.wait("the status to say so", lambda: "answers again" in status.text)

        web.terminate()
        web.wait(10)
        stopped = time.monotonic()
        page.wait("the notice of a server gone", lambda: notice.is_displayed(), 5)
        print("browser test: an ended server seen after %.1f s" % (time.monotonic() - stopped))
        assert not any(e.is_enabled() for e in needs)
        page.axe("with the server stopped")
        page.shot("stopped")
        web = subprocess.Popen(serve, stdout=subprocess.PIPE, text=True)
        assert web.stdout.readline().startswith("http://127.0.0.1:%d/?token=" % port)
        page.wait("the page to say a new run", lambda: "open the new address" in notice.text, 10)
        assert not any(e.is_enabled() for e in needs)
        print("browser test: passed")
    finally:
        if page is not None:
            page.browser.quit()
        web.terminate()
        web.wait(10)
        standin.terminate()
        standin.wait(10)


if __name__ == "__main__":
    main()
