#!/usr/bin/env python3
"""How report compares with summary on the same captures, and how long headless Chromium
takes to open the page (not a test; the figures are for notes).

trace_report_bench.py QUORVEL_TRACE [MESSAGES...]   (default: 100000 1000000)

For each size it writes a capture with tools/quorvel-trace/make_capture.py, runs
`summary` and `report` on it one after the other, and prints each one's wall and CPU time
and peak resident memory (the ratio is of CPU time: on a shared machine wall time mostly
measures the wait for a core); then it loads the largest page in headless Chromium and prints the time
from navigation to the load event (after the page's scripts ran) and to the first frame
after it, and how long the filter box, "errors only" and a click in the timeline take to
show their result."""
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "probes", "browser"))
import headless_chromium  # noqa: E402


NEXT_FRAME = "new Promise(r => requestAnimationFrame(() => setTimeout(() => r(1))))"

# What an engineer does on the page first, each timed from the action to the frame that shows it.
INTERACTIONS = (
    ("filter box 'VI_ERROR_TMO'",
     "const q = document.getElementById('q'); q.value = 'VI_ERROR_TMO'; q.dispatchEvent(new Event('input'));"),
    ("filter box emptied", "const q = document.getElementById('q'); q.value = ''; q.dispatchEvent(new Event('input'));"),
    ("errors only", "document.getElementById('errors').click();"),
    ("timeline click on its last call",
     "document.getElementById('errors').click(); const b = document.querySelectorAll('svg [data-call]');"
     " b[b.length - 1].dispatchEvent(new MouseEvent('click', {bubbles: true}));"),
)


def timed(action):
    """A page expression that runs |action| and gives the milliseconds until the next frame."""
    return f"(async () => {{ const t = performance.now(); {action} await {NEXT_FRAME}; return performance.now() - t; }})()"


def measure(command):
    """Wall seconds, CPU seconds and peak resident memory (MiB) of |command|, measured by
    /usr/bin/time so that the figures are the program's own, not those of this script."""
    done = subprocess.run(["/usr/bin/time", "-f", "%e %U %S %M", *command], stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, text=True)
    if done.returncode != 0:
        raise SystemExit(f"{' '.join(command)} failed: {done.stderr}")
    wall, user, system, kib = done.stderr.split()[-4:]
    return float(wall), float(user) + float(system), int(kib) / 1024


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    trace, sizes = argv[1], [int(n) for n in argv[2:]] or [100_000, 1_000_000]
    work = tempfile.mkdtemp(prefix="quorvel-report-bench-")
    page = None
    print(f"{'messages':>9} {'command':>8} {'wall s':>7} {'cpu s':>6} {'peak MiB':>9} {'cpu ratio':>9}"
          f" {'output MiB':>11}")
    for messages in sizes:
        capture = os.path.join(work, f"capture-{messages}.qtrace")
        subprocess.run([sys.executable, os.path.join(ROOT, "tools/quorvel-trace/make_capture.py"), capture,
                        str(messages)], check=True)
        summary_wall, summary_cpu, summary_mem = measure([trace, "summary", capture])
        page = os.path.join(work, f"report-{messages}.html")
        report_wall, report_cpu, report_mem = measure([trace, "report", capture, "-o", page])
        size = os.path.getsize(page) / (1 << 20)
        print(f"{messages:>9} {'summary':>8} {summary_wall:>7.2f} {summary_cpu:>6.2f} {summary_mem:>9.1f}")
        print(f"{messages:>9} {'report':>8} {report_wall:>7.2f} {report_cpu:>6.2f} {report_mem:>9.1f}"
              f" {report_cpu / summary_cpu:>9.2f} {size:>11.1f}")
    with headless_chromium.Browser() as browser:
        started = time.monotonic()
        opened = browser.open("file://" + page)
        opened.evaluate(NEXT_FRAME)
        shown = time.monotonic() - started
        rows = opened.evaluate("document.querySelectorAll('tr.call').length")
        errors = opened.errors()
        print(f"chromium: {os.path.basename(page)} loaded in {opened.load_seconds:.2f} s, first frame after"
              f" {shown:.2f} s, {rows} rows, {len(errors)} errors")
        for what, action in INTERACTIONS:
            print(f"chromium: {what}: {opened.evaluate(timed(action)) / 1000:.2f} s to the next frame")
    for name in os.listdir(work):
        os.remove(os.path.join(work, name))
    os.rmdir(work)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
