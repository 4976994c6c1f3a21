#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Sweeps the ZVK40310 receiver over a few frequencies through `zvk40310ctl serve` and
prints whether the synthesizer locked at each one.

    zvk40310ctl serve --board virtual --files docs/examples &
    /usr/bin/python3 docs/examples/scpi-sweep.py --load receiver-433.cfg 400 460 20

Needs PyVISA with its Python backend (Debian: python3-pyvisa, python3-pyvisa-py).
"""
import argparse
import sys
import time

import pyvisa


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("start", type=float, help="first frequency, MHz")
    p.add_argument("stop", type=float, help="last frequency, MHz")
    p.add_argument("step", type=float, help="step, MHz")
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--port", type=int, default=5025)
    p.add_argument("--settle", type=float, default=20, metavar="MS",
                   help="wait before LOCK? after each step (default 20 ms)")
    p.add_argument("--load", metavar="FILE.cfg",
                   help="a configuration file under serve's --files folder, loaded first")
    a = p.parse_args()
    if a.step <= 0 or a.stop < a.start:
        p.error("the sweep needs start <= stop and a step above 0")

    rm = pyvisa.ResourceManager("@py")
    rx = rm.open_resource(f"TCPIP::{a.host}::{a.port}::SOCKET",
                          read_termination="\n", write_termination="\n", timeout=10000)
    print(rx.query("*IDN?"))
    rx.write("*CLS")
    if a.load:
        rx.write(f'MMEM:LOAD:STAT "{a.load}"')
    print("f_MHz,tuned_Hz,lock")
    n = 0
    while True:
        f = a.start + n * a.step
        if f > a.stop + 1e-9:
            break
        # *OPC? answers once the write cycle is done; the synthesizer then needs a few
        # milliseconds to lock.
        rx.query(f"FREQ {f:.3f}MHZ;*OPC?")
        time.sleep(a.settle / 1000)
        print(f"{f:.3f},{rx.query('FREQ?')},{rx.query('LOCK?')}")
        n += 1
    # Anything the instrument refused on the way is in its error queue.
    failed = False
    while True:
        err = rx.query("SYST:ERR?")
        if err.startswith("0,") or err.startswith("+0,"):
            break
        print("error:", err, file=sys.stderr)
        failed = True
    rx.close()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
