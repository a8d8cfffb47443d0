"""The dashboard in headless Chromium, served by the real brivane-gateway fed by the
real BrivaneSvc and mate-sim: live values appear and change, silent devices show as
such, the error banner follows an FX fault, the charts draw from history, and the
console stays free of errors.

    dashboard_test.py BIN_DIR     (exit 77: no Chromium or no websocket module, skipped)
"""

import json
import os
import sys
import time
import traceback

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from devtools import Browser, find_chromium  # noqa: E402

SKIPPED = 77
LIVE = 15  # seconds within which a live change must show


class Failure(AssertionError):
    pass


def check(condition, text):
    if not condition:
        raise Failure(text)


def texts(browser, selector):
    return browser.evaluate(
        f"[...document.querySelectorAll({selector!r})].map(n => n.textContent)"
    )


def card_value(browser, device, key):
    return browser.evaluate(
        f"(document.querySelector('#device-{device} [data-key=\"{key}\"] dd') || {{}}).textContent"
    )


# Pixels a chart's canvases have drawn on (dygraphs draws lines, bands and axes there).
DRAWN_PIXELS = """
(id => {
  let drawn = 0;
  for (const canvas of document.getElementById(id).querySelectorAll('canvas')) {
    if (!canvas.width || !canvas.height) continue;
    const pixels = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    for (let i = 3; i < pixels.length; i += 4) if (pixels[i] > 0) drawn++;
  }
  return drawn;
})"""


# The page's own rules on states no simulator sends: silent devices left out of the sums,
# a dropped AC input, a controller's error, a fault mode without error bits, series of
# one chart on different times.
VALUES_CASES = """
(async () => {
  const v = await import('/values.js');
  const fx = (online, state) => ({ device: 'fx_' + state.port, online, last_page: '', state: {
    type: 'fx', inverter_current: 5, ac_output_voltage: 230, charger_current: 0,
    ac_input_voltage: 0, ac_mode: 'No AC', errors: [], warnings: [], ...state } });
  const entries = [
    fx(true, { port: 1, ac_mode: 'AC Drop' }),
    fx(false, { port: 2, inverter_current: 50 }),
    fx(true, { port: 3, operating_mode: 'Comm Error' }),
    { device: 'mx_4', online: true, state: { type: 'mx', port: 4, pv_power: 300, charger_power: 280,
      errors: ['High VOC'] } },
  ];
  const s = v.summarize(entries);
  const problems = v.problemsOf(entries).map(p => `${p.level}:${p.who}:${p.text}`);
  const merged = v.mergeSeries([[[60, 1, 0, 2], [120, 3, 2, 4]], [[120, 5, 5, 5], [180, 6, 6, 6]]]);
  return JSON.stringify({
    load: s.loadPower, ac: s.acInput, pv: s.pvPower, soc: s.soc, problems,
    merged: merged.map(r => [r[0].getTime() / 1000, r[1], r[2]]),
  });
})()"""


def check_values_logic(browser):
    got = json.loads(browser.evaluate(VALUES_CASES))
    check(got["load"] == 2 * 5 * 230, f"the silent FX is left out of the load: {got['load']}")
    check(got["ac"] == "Dropped", f"AC input {got['ac']!r}")
    check(got["pv"] == 300 and got["soc"] is None, f"PV {got['pv']}, SOC {got['soc']}")
    check(got["problems"] == ["error:FX inverter (port 3):Comm Error",
                              "error:Charge controller (port 4):High VOC"], f"problems {got['problems']}")
    check(got["merged"] == [[60, [0, 1, 2], None], [120, [2, 3, 4], [5, 5, 5]], [180, None, [6, 6, 6]]],
          f"merged series {got['merged']}")


def check_live_values(browser):
    browser.wait_until(
        "document.body.dataset.state === 'ready' && "
        "['fx_0', 'mx_1', 'fndc_1'].every(d => document.getElementById('device-' + d))",
        what="a card for each simulated device",
    )
    summary = {
        "sum-soc": browser.evaluate("document.getElementById('sum-soc').textContent"),
        "sum-voltage": browser.evaluate("document.getElementById('sum-voltage').textContent"),
        "sum-pv": browser.evaluate("document.getElementById('sum-pv').textContent"),
        "sum-charger": browser.evaluate("document.getElementById('sum-charger').textContent"),
        "sum-load": browser.evaluate("document.getElementById('sum-load').textContent"),
        "sum-ac": browser.evaluate("document.getElementById('sum-ac').textContent"),
    }
    for tile, text in summary.items():
        check(text and "–" not in text.split()[0], f"summary {tile} is empty: {text!r}")
    check(summary["sum-soc"].endswith("%"), f"state of charge {summary['sum-soc']!r}")
    check(summary["sum-ac"] == "In use", f"the simulated FX uses its AC input: {summary['sum-ac']!r}")
    check(card_value(browser, "fx_0", "battery_voltage").endswith(" V"), "FX battery voltage shown")
    check(card_value(browser, "mx_1", "pv_power").endswith(" W"), "MX PV power shown")
    check(card_value(browser, "fndc_1", "state_of_charge").endswith(" %"), "state of charge shown")
    check(browser.evaluate("document.getElementById('link-live').dataset.level") == "good",
          "the event stream is open")

    # Every page is an event: the cards' page times and their values move on.
    first_seen = texts(browser, "#devices .seen")
    first_values = texts(browser, "#devices dd")
    start = time.monotonic()
    while True:
        seen = texts(browser, "#devices .seen")
        values = texts(browser, "#devices dd")
        if all(a != b for a, b in zip(seen, first_seen)) and values != first_values:
            break
        check(time.monotonic() - start < LIVE,
              f"no live change within {LIVE} s: {first_seen} -> {seen}")
        time.sleep(0.2)
    check(all(text.startswith("last page") for text in seen), f"devices online: {seen}")


def check_silence(browser, stack):
    every_card = "[...document.querySelectorAll('#devices .seen')]"
    stack.toggle_pause()
    browser.wait_until(
        f"{every_card}.length === 3 && {every_card}.every(n => n.textContent.startsWith('silent since '))"
        " && document.querySelectorAll('#devices .card[data-online=\"no\"]').length === 3",
        timeout=LIVE, what="every card to show its device silent",
    )
    check(browser.evaluate("document.getElementById('sum-pv').textContent") == "–",
          "a silent controller's power is not counted")
    stack.toggle_pause()
    browser.wait_until(f"{every_card}.every(n => n.textContent.startsWith('last page '))",
                       timeout=LIVE, what="the devices back")


def check_error_banner(browser, stack):
    hidden = "document.getElementById('problems').hidden"
    check(browser.evaluate(hidden), "no banner while every device is sound")
    stack.toggle_fx_fault()
    text = browser.wait_until(
        f"!{hidden} && document.getElementById('problems').textContent", timeout=LIVE,
        what="the error banner",
    )
    check("Over temperature" in text and "Fan failure" in text, f"banner text {text!r}")
    colour = browser.evaluate(
        "getComputedStyle(document.getElementById('problems')).backgroundColor")
    red, green, blue = (int(x) for x in colour[colour.index("(") + 1:colour.index(")")].split(",")[:3])
    check(red > 150 and green < 80 and blue < 80, f"the banner is red: {colour}")
    check("FX Error" in texts(browser, "#device-fx_0 .chip"), "the FX card shows its FX Error mode")
    stack.toggle_fx_fault()
    browser.wait_until(hidden, timeout=LIVE, what="the banner to go")


def check_charts(browser):
    browser.wait_until("document.body.dataset.history === 'loaded'", what="the history charts")
    for chart in ("chart-battery", "chart-pv", "chart-currents"):
        rows = browser.evaluate(f"Number(document.getElementById('{chart}').dataset.historyRows)")
        check(rows and rows > 10, f"{chart}: {rows} rows from /api/history")
        pixels = browser.evaluate(f"{DRAWN_PIXELS}('{chart}')")
        check(pixels > 1000, f"{chart}: only {pixels} pixels drawn")
    # Another range asks the history again and draws it.
    browser.evaluate("document.querySelector('.ranges button[data-range=\"604800\"]').click()")
    browser.wait_until(
        "document.querySelector('.ranges button[aria-pressed=\"true\"]').dataset.range === '604800'"
        " && document.body.dataset.history === 'loaded'"
        " && Number(document.getElementById('chart-battery').dataset.historyRows) > 10",
        what="the 7-day chart",
    )


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    bin_dir = sys.argv[1]
    chromium = find_chromium()
    if chromium is None:
        print("SKIPPED: no chromium (scripts/install-deps.sh installs it)")
        return SKIPPED
    try:
        import websocket  # noqa: F401
    except ImportError:
        print("SKIPPED: no Python websocket module (Debian python3-websocket)")
        return SKIPPED

    from gateway_stack import GatewayStack

    stack = GatewayStack(bin_dir, history_days=3)
    try:
        with Browser(chromium) as browser:
            try:
                browser.emulate(1280, 900)
                browser.navigate(stack.url)
                check_live_values(browser)
                print("live values appear and change")
                check_values_logic(browser)
                print("sums, problems and series follow the page's rules")
                check_silence(browser, stack)
                print("silent devices show as such, with their last page's time")
                check_error_banner(browser, stack)
                print("the error banner follows the FX fault")
                check_charts(browser)
                print("the charts draw from history")
                check(not browser.console_errors, "console errors:\n  " + "\n  ".join(browser.console_errors))
                print("no console errors")
            except BaseException:
                if browser.console_errors:
                    print("console errors:\n  " + "\n  ".join(browser.console_errors), file=sys.stderr)
                raise
    except BaseException:
        traceback.print_exc()
        print(stack.logs(), file=sys.stderr)
        return 1
    finally:
        stack.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
