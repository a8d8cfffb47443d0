"""Screenshots of the dashboard at phone and desktop sizes, light and dark.

    screenshot_dashboard.py --bin BIN_DIR [--days N] OUT_DIR   a simulated MATE of its own
    screenshot_dashboard.py --url URL OUT_DIR                   a dashboard already running
"""

import argparse
import os
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from devtools import Browser, find_chromium  # noqa: E402

# name, CSS width and height, device pixels per CSS pixel, touch device
SIZES = [
    ("phone", 390, 844, 2, True),
    ("desktop", 1280, 900, 1, False),
]


def shoot(url, out_dir):
    chromium = find_chromium()
    if chromium is None:
        raise SystemExit("screenshot_dashboard: no chromium (scripts/install-deps.sh installs it)")
    os.makedirs(out_dir, exist_ok=True)
    written = []
    with Browser(chromium) as browser:
        for name, width, height, scale, mobile in SIZES:
            for dark in (False, True):
                browser.emulate(width, height, scale, mobile, dark)
                browser.navigate(url)
                browser.wait_until(
                    "document.body.dataset.history === 'loaded'"
                    " && document.body.dataset.live === 'good'",
                    what="the dashboard with its charts",
                )
                path = os.path.join(out_dir, f"dashboard-{name}-{'dark' if dark else 'light'}.png")
                browser.screenshot(path)
                written.append(path)
        if browser.console_errors:
            print("console errors:\n  " + "\n  ".join(browser.console_errors), file=sys.stderr)
    return written


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out_dir")
    parser.add_argument("--url", help="a running dashboard, e.g. http://127.0.0.1:8480/")
    parser.add_argument("--bin", help="a build's bin folder, to run a simulated MATE")
    parser.add_argument("--days", type=int, default=30, help="days of history to fill (default 30)")
    options = parser.parse_args()
    if bool(options.url) == bool(options.bin):
        parser.error("give either --url or --bin")
    if options.url:
        written = shoot(options.url, options.out_dir)
    else:
        from gateway_stack import GatewayStack

        with GatewayStack(options.bin, history_days=options.days) as stack:
            written = shoot(stack.url, options.out_dir)
    for path in written:
        print(path)


if __name__ == "__main__":
    main()
