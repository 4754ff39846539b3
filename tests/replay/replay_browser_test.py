#!/usr/bin/env python3
"""Opens a game's replay page in headless Chromium, through chromedriver's
WebDriver interface, steps through every phase with the buttons, the arrow
keys, the slider and the address (replay.html#phase=N), and checks that
what the page shows follows the game record: the phase, the units, the
orders drawn with their outcomes, the dislodged units, the centre counts of
the legend and the key of its marks, the orders table grouped by power
(retreats and winters listing only the units that had something to do),
the table of supply centres by year, and that no mark hides a province
label.  Leaves a screenshot of one phase.

    replay_browser_test.py GAME_FOLDER SCREENSHOT.png

GAME_FOLDER holds game.jsonl and replay.html.  Prints a line per phase and a
last line "N passed, N failed"; exits 1 on any failure.
"""
import base64
import json
import os
import pathlib
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

CHROMIUM_ARGUMENTS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                      "--disable-background-networking", "--disable-component-update", "--disable-sync",
                      "--window-size=1300,1600"]
ARROW_LEFT, ARROW_RIGHT = "\ue012", "\ue014"
# Outcomes of orders the picture does not draw (holds and waives).  A hold
# whose unit was dislodged is not drawn either: its outcome is "dislodged",
# and the dislodgement has its own mark.
NOT_DRAWN = {"held", "waived"}


def find_program(*names):
    for name in names:
        path = shutil.which(name)
        if path:
            return path
    sys.exit(f"none of {', '.join(names)} is installed (Debian: chromium chromium-driver)")


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class WebDriver:
    """The few WebDriver commands the test needs, over the driver's HTTP port."""

    def __init__(self, port):
        self.base = f"http://127.0.0.1:{port}"
        self.session = None

    def call(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=60) as response:
                return json.loads(response.read())["value"]
        except urllib.error.HTTPError as error:
            raise RuntimeError(f"{method} {path}: {error.read().decode(errors='replace')[:500]}") from None

    def wait_ready(self, timeout):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            try:
                if self.call("GET", "/status").get("ready"):
                    return
            except (OSError, RuntimeError):
                pass
            time.sleep(0.1)
        raise RuntimeError("chromedriver did not start")

    def start(self, chromium, profile):
        capabilities = {"browserName": "chrome", "goog:chromeOptions": {
            "binary": chromium, "args": CHROMIUM_ARGUMENTS + [f"--user-data-dir={profile}"]}}
        self.session = self.call("POST", "/session", {"capabilities": {"alwaysMatch": capabilities}})["sessionId"]

    def command(self, method, path, body=None):
        return self.call(method, f"/session/{self.session}{path}", body)

    def open(self, url):
        self.command("POST", "/url", {"url": url})

    def script(self, source, *arguments):
        return self.command("POST", "/execute/sync", {"script": source, "args": list(arguments)})

    def click(self, selector):
        element = self.command("POST", "/element", {"using": "css selector", "value": selector})
        element_id = next(iter(element.values()))
        self.command("POST", f"/element/{element_id}/click", {})

    def press(self, key):
        actions = [{"type": "keyDown", "value": key}, {"type": "keyUp", "value": key}]
        self.command("POST", "/actions", {"actions": [{"type": "key", "id": "keyboard", "actions": actions}]})
        self.command("DELETE", "/actions")

    def screenshot(self, path):
        pathlib.Path(path).write_bytes(base64.b64decode(self.command("GET", "/screenshot")))

    def quit(self):
        if self.session:
            try:
                self.command("DELETE", "")
            except (OSError, RuntimeError):
                pass


# What the page shows, read in one script call.
READ_PAGE = """
const count = selector => document.querySelectorAll(selector).length;
const overlay = document.getElementById('overlay');
const outcomes = {};
for (const order of overlay.querySelectorAll('g.order')) {
  const outcome = order.getAttribute('class').split(' ')[2];
  outcomes[outcome] = (outcomes[outcome] || 0) + 1;
}
const legend = {};
for (const power of overlay.querySelectorAll('g.legend g.power'))
  legend[power.dataset.power] = power.textContent;
const keys = Array.from(overlay.querySelectorAll('g.legend g.key'), key => key.textContent);
const owners = {};
for (const path of document.querySelectorAll('path.province')) owners[path.id] = path.getAttribute('fill');
return {
  title: document.getElementById('phase-title').textContent,
  number: document.getElementById('phase-number').textContent,
  slider: Number(document.getElementById('slider').value),
  svgPhase: (overlay.querySelector('text.phase') || {}).textContent,
  units: overlay.querySelectorAll('g.unit').length,
  dislodgedUnits: overlay.querySelectorAll('g.unit.dislodged').length,
  dislodgedMarks: overlay.querySelectorAll('g.mark.dislodged').length,
  outcomes: outcomes,
  legend: legend,
  orders: Array.from(document.querySelectorAll('#orders tbody tr'), row =>
    Array.from(row.cells, cell => cell.textContent)),
  unlisted: document.getElementById('unlisted').hidden ? '' : document.getElementById('unlisted').textContent,
  address: window.location.hash,
  keys: keys,
  centres: Array.from(document.querySelectorAll('#centres tr'), row =>
    Array.from(row.cells, cell => cell.textContent)),
  tinted: Object.values(owners).filter(fill => fill && tints.includes(fill)).length,
};
"""


class Checks:
    def __init__(self):
        self.passed = self.failed = 0

    def expect(self, condition, what):
        if condition:
            self.passed += 1
        else:
            self.failed += 1
            print(f"FAILED: {what}")


def title_of(line):
    return f"{line['season'].capitalize()} {line['year']}"


def drawn_outcomes(line):
    counts = {}
    for order in line.get("orders", []):
        if order["outcome"] not in NOT_DRAWN and not order["order"].endswith(" H"):
            counts[order["outcome"]] = counts.get(order["outcome"], 0) + 1
    return counts


def centres_by_year(lines, powers):
    """The table the page should show: "start", then each year whose fall
    (or autumn) brought a new ownership, from the line that follows it."""
    header = ["Power", "start"]
    columns = [[power["centres"] for power in lines[0]["powers"]]]
    for before, after in zip(lines, lines[1:]):
        if before["season"] in ("fall", "autumn") and after["season"] in ("winter", "spring"):
            header.append(str(before["year"]))
            columns.append([power["centres"] for power in after["powers"]])
    rows = [header]
    for p, power in enumerate(powers):
        rows.append([power["name"]] + [str(column[p]) for column in columns])
    return rows


# The words of the legend's key for the marks a phase may carry.
KEY_WORDS = ["move or retreat", "support", "convoy", "order failed", "unit dislodged", "unit built",
             "unit removed or disbanded"]


def listed_orders(line):
    """The rows of the orders table: per power in order, a head row with its
    name, then its orders; in retreats and winters only the units that had
    something to do."""
    movement = line["season"] in ("spring", "fall")
    orders = [order for order in line.get("orders", []) if movement or order["outcome"] != "held"]
    rows = []
    for power in sorted({order["power"] for order in orders}):
        rows.append([line["powers"][power]["name"]])
        rows.extend([order["order"], order["outcome"]] for order in orders if order["power"] == power)
    return rows, len(line.get("orders", [])) - len(orders)


# The labels are drawn after (above) every unit, order and mark, and each
# letter of a label inside the window is what the browser finds at its
# centre: nothing drawn lies above it.
LABELS_ON_TOP = """
const labels = document.querySelector('#board g.labels');
const overlay = document.getElementById('overlay');
const above = labels && (overlay.compareDocumentPosition(labels) & Node.DOCUMENT_POSITION_FOLLOWING) !== 0;
let checked = 0, hidden = [];
for (const label of document.querySelectorAll('#board text.label')) {
  const matrix = label.getScreenCTM();
  for (let i = 0; i < label.getNumberOfChars(); i++) {
    const box = label.getExtentOfChar(i);
    const point = new DOMPoint(box.x + box.width / 2, box.y + box.height / 2).matrixTransform(matrix);
    if (point.x < 0 || point.y < 0 || point.x >= window.innerWidth || point.y >= window.innerHeight) continue;
    checked++;
    if (document.elementFromPoint(point.x, point.y) !== label) hidden.push(label.textContent);
  }
}
return [above, checked, hidden];
"""


def check_phase(page, line, index, count, checks):
    when = f"phase {index + 1} ({title_of(line)})"
    checks.expect(page["title"] == title_of(line), f"{when}: title {page['title']!r}")
    checks.expect(page["svgPhase"] == title_of(line), f"{when}: the board's legend says {page['svgPhase']!r}")
    checks.expect(page["number"] == f"phase {index + 1} of {count}", f"{when}: counter {page['number']!r}")
    checks.expect(page["slider"] == index, f"{when}: slider at {page['slider']}")
    checks.expect(page["units"] == len(line["units"]), f"{when}: {page['units']} units drawn, "
                  f"{len(line['units'])} in the record")
    dislodged_standing = sum(1 for unit in line["units"] if unit.get("dislodged"))
    checks.expect(page["dislodgedUnits"] == dislodged_standing, f"{when}: dislodged units drawn")
    checks.expect(page["dislodgedMarks"] == len(line.get("dislodgements", [])), f"{when}: dislodgement marks")
    checks.expect(page["outcomes"] == drawn_outcomes(line),
                  f"{when}: orders drawn {page['outcomes']}, record {drawn_outcomes(line)}")
    for power in line["powers"]:
        shown = page["legend"].get(str(power["power"]), "")
        checks.expect(shown == f"{power['name']} ({power['centres']})", f"{when}: legend {shown!r}")
    expected_rows, unlisted = listed_orders(line)
    checks.expect(page["orders"] == expected_rows, f"{when}: orders table {page['orders'][:4]}..., "
                  f"record gives {expected_rows[:4]}...")
    checks.expect(page["unlisted"].startswith(f"{unlisted} unit") if unlisted else page["unlisted"] == "",
                  f"{when}: {unlisted} units left out of the list, the page says {page['unlisted']!r}")
    checks.expect(page["address"] == f"#phase={index + 1}", f"{when}: address {page['address']!r}")
    checks.expect(all(any(key.endswith(words) or words in key for key in page["keys"]) for words in KEY_WORDS),
                  f"{when}: the legend's key {page['keys']}")
    owned = sum(len(centres) for centres in line["ownership"])
    checks.expect(page["tinted"] >= min(owned, 1), f"{when}: no land tinted though centres are owned")


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    folder = pathlib.Path(argv[1]).resolve()
    lines = [json.loads(text) for text in (folder / "game.jsonl").read_text().splitlines()]
    lines = [line for line in lines if not line.get("dropped") and not line.get("map")]
    phases = len(lines)
    chromium = find_program("chromium", "chromium-browser")
    chromedriver = find_program("chromedriver")
    checks = Checks()
    port = free_port()
    profile = tempfile.mkdtemp(prefix="brox-replay-browser-")
    driver_log = open(os.path.join(profile, "chromedriver.log"), "w")
    driver_process = subprocess.Popen([chromedriver, f"--port={port}"], stdout=driver_log, stderr=subprocess.STDOUT)
    browser = WebDriver(port)
    try:
        browser.wait_ready(30)
        browser.start(chromium, os.path.join(profile, "profile"))
        browser.open((folder / "replay.html").as_uri())
        read = lambda: browser.script("const tints = arguments[0];" + READ_PAGE, tints)
        tints = browser.script("return JSON.parse(document.getElementById('replay-data').textContent)"
                               ".powers.map(power => power.tint);")
        checks.expect(browser.script("return document.querySelectorAll('script[src], link[href]').length") == 0,
                      "the page loads nothing from outside")

        # Forward with the Next button, through every phase.
        for index in range(phases):
            if index:
                browser.click("#next")
            page = read()
            check_phase(page, lines[index], index, phases, checks)
            # No unit, arrow or mark hides a label.
            above, checked, hidden = browser.script(LABELS_ON_TOP)
            checks.expect(above, "the labels are drawn before the units and marks")
            checks.expect(checked >= 10 and not hidden, f"{page['title']}: labels hidden under marks: "
                          f"{sorted(set(hidden))} ({checked} letters checked)")
            print(f"{page['title']}: {page['units']} units, orders drawn {page['outcomes']}")
            if index == min(1, phases - 1):
                browser.screenshot(argv[2])
        checks.expect(browser.script("return document.getElementById('next').disabled") is True,
                      "Next is disabled at the last phase")
        # Back with the left arrow key, forward again with the right one.
        index = phases - 1
        for _ in range(min(3, phases - 1)):
            browser.press(ARROW_LEFT)
            index -= 1
            check_phase(read(), lines[index], index, phases, checks)
        browser.press(ARROW_RIGHT)
        index = min(index + 1, phases - 1)
        check_phase(read(), lines[index], index, phases, checks)
        # The slider, moved to the middle, and the first and last buttons.
        middle = phases // 2
        browser.script("const slider = document.getElementById('slider'); slider.value = arguments[0];"
                       "slider.dispatchEvent(new Event('input'));", middle)
        check_phase(read(), lines[middle], middle, phases, checks)
        browser.click("#first")
        check_phase(read(), lines[0], 0, phases, checks)
        browser.click("#last")
        check_phase(read(), lines[-1], phases - 1, phases, checks)

        # The address opens the phase it names, on loading and when it changes.
        wanted = min(2, phases - 1)
        browser.open((folder / "replay.html").as_uri() + f"#phase={wanted + 1}")
        check_phase(read(), lines[wanted], wanted, phases, checks)
        browser.script("window.location.hash = arguments[0];", f"#phase={phases}")
        time.sleep(0.2)
        check_phase(read(), lines[-1], phases - 1, phases, checks)

        expected = centres_by_year(lines, lines[-1]["powers"])
        shown = read()["centres"]
        checks.expect(shown == expected, f"centre table {shown[:3]}..., record gives {expected[:3]}...")
    finally:
        browser.quit()
        driver_process.terminate()
        try:
            driver_process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            driver_process.kill()
        driver_log.close()
        shutil.rmtree(profile, ignore_errors=True)
    print(f"{checks.passed} passed, {checks.failed} failed")
    return 0 if checks.failed == 0 and checks.passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
