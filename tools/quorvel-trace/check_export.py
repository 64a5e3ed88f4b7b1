#!/usr/bin/env python3
"""Exports the hand-made capture with the built quorvel-trace, parses the result as JSON
and checks its tracks and calls: what a trace viewer would show."""
import json
import subprocess
import sys
import tempfile
import os

program, capture = sys.argv[1], sys.argv[2]
with tempfile.TemporaryDirectory() as folder:
    out = os.path.join(folder, "out.json")
    subprocess.run([program, "export", capture, "-o", out], check=True)
    with open(out, encoding="utf-8") as f:
        events = json.load(f)["traceEvents"]

failures = []
def expect(what, got, wanted):
    if got != wanted:
        failures.append(f"{what}: got {got!r}, wanted {wanted!r}")

slices = [e for e in events if e["ph"] == "X"]
instants = [e for e in events if e["ph"] == "i"]
processes = {e["pid"]: e["args"]["name"] for e in events if e["ph"] == "M" and e["name"] == "process_name"}
threads = {(e["pid"], e["tid"]): e["args"]["name"] for e in events if e["ph"] == "M" and e["name"] == "thread_name"}

# Six calls with both halves, an exit without its enter and an enter without its exit.
expect("slices", sorted(e["name"] for e in slices),
       ["TRIL::trilSend", "TRIL_B::trilbSend", "VISA::viOpen", "VISA::viRead", "VISA::viWrite", "VISA::viWrite"])
expect("instants", sorted(e["name"] for e in instants), ["VISA::?", "VISA::viClose"])
expect("process tracks", processes, {100: "app.exe (100)", 200: "b&c.exe (200)"})
expect("thread tracks", sorted(threads), [(100, 1), (200, 7), (200, 8)])

by_name = {e["name"]: e for e in slices}
# Times are microseconds from the first message (timestamp 1000 ns).
expect("viOpen ts/dur", (by_name["VISA::viOpen"]["ts"], by_name["VISA::viOpen"]["dur"]), (0.0, 0.6))
outer, inner = by_name["TRIL::trilSend"], by_name["TRIL_B::trilbSend"]
expect("nested call inside its caller",
       outer["ts"] <= inner["ts"] and inner["ts"] + inner["dur"] <= outer["ts"] + outer["dur"], True)
read = by_name["VISA::viRead"]["args"]
expect("viRead return value", read.get("return"), "0")
expect("viRead results", read.get("results"), {"status": "0", "buf": "312e300a"})
writes = sorted((e for e in slices if e["name"] == "VISA::viWrite"), key=lambda e: e["ts"])
expect("viWrite parameters", writes[0]["args"].get("params"), {"buf": "2a49444e3f0a", "na\"me<": "6"})
expect("viWrite error flags", [w["args"]["error"] for w in writes], [False, True])
expect("viWrite status", writes[1]["args"]["hresult"], -1073807343)

for failure in failures:
    print("FAIL:", failure)
print(f"{len(slices)} slices, {len(instants)} instants, {len(threads)} thread tracks checked")
sys.exit(1 if failures else 0)
