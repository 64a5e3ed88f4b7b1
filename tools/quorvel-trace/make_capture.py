#!/usr/bin/env python3
"""Writes a large capture in the relay's message format for measuring quorvel-trace:
make_capture.py OUT MESSAGES. Calls of a few VISA methods from several processes and
threads, some with parameters and array values, one in fifty failing."""
import random
import sys

out_path, messages = sys.argv[1], int(sys.argv[2])
rng = random.Random(1)
methods = ["viWrite", "viRead", "viOpen", "viClose", "viSetAttribute", "viGetAttribute", "viClear", "viReadSTB"]
addresses = ["GPIB0::7::INSTR", "GPIB0::9::INSTR", "TCPIP0::10.0.0.5::inst0::INSTR", "ASRL3::INSTR"]
threads = [(1000 + p * 4, 10 + t) for p in range(8) for t in range(2)]
params = ('<Parameters><Parameter Name="vi" RetVal="False" InParam="True" OutParam="False" ParamType="uint32">'
          '<Element Value="1"/></Parameter><Parameter Name="buf" RetVal="False" InParam="True" OutParam="False" '
          'ParamType="array_uint8"><Element BinHexValue="2a49444e3f0a"/></Parameter></Parameters>')
clock = 1_700_000_000_000_000_000
with open(out_path, "w", encoding="utf-8", newline="\n") as out:
    for _ in range(messages // 2):
        pid, tid = rng.choice(threads)
        method, address = rng.choice(methods), rng.choice(addresses)
        clock += rng.randint(1_000, 50_000)
        elapsed = rng.randint(2_000, 5_000_000)
        failed = rng.random() < 0.02
        out.write(f'<Message><Method><Method_Enter MethodName="VISA::{method}" Timestamp="{clock}" '
                  f'AppName="station{pid}.exe" ThreadID="{tid}" ProcessID="{pid}" Address="{address}" '
                  f'Source="Korvane VISA" ParamCount="2"/></Method>{params}</Message>\n')
        clock += elapsed
        elapsed_text = f"{elapsed:.6g}".replace("e+0", "e+00")
        out.write(f'<Message><Method><Method_{"Error" if failed else "Exit"} MethodName="VISA" Timestamp="{clock}" '
                  f'ElapsedNS="{elapsed_text}" ThreadID="{tid}" ProcessID="{pid}" Address="{address}" '
                  f'Source="Korvane VISA" ParamCount="0" HRESULT="{-1073807343 if failed else 0}"/></Method>'
                  '</Message>\n')
