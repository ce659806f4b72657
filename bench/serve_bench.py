"""Real time of `tavrel serve`: the default well served at --speed 1 (20 Hz ticks of 0.05 s) for
60 s while a pymodbus client on 127.0.0.1 polls the `time` register. Prints the server's tick
lateness (p50, p99, max, late ticks) and drift from its summary.txt, and the drift of `time`
against the client's own wall clock: wall - time at the first sighting of each step, its least
value in each 5 s (the client's own delays in reading come on top of it and are left out) from
the first 5 s to the last. Targets: p99 lateness <= 5 ms, drift <= 20 ms.

    /usr/bin/python3 bench/serve_bench.py build/bin/tavrel [--seconds 60]
"""

import argparse
import csv
import pathlib
import struct
import subprocess
import sys
import tempfile
import time

from pymodbus.client import ModbusTcpClient

SCENARIO = pathlib.Path(__file__).resolve().parents[1] / "scenarios" / "serve_choke.toml"


def start(tavrel, folder, seconds):
    server = subprocess.Popen(
        [tavrel, "serve", str(SCENARIO), "-o", str(folder), "--listen", "127.0.0.1:0",
         "--speed", "1", "--duration", str(seconds), "--read-only"],
        stdout=subprocess.PIPE, text=True)
    line = server.stdout.readline()
    if "Listening on" not in line:
        server.kill()
        sys.exit(f"no server: {line}")
    return server, int(line.split("127.0.0.1:")[1].split()[0])


def watch(port, folder):
    """(wall, time) at the first sighting of each step, until the server stops."""
    with open(folder / "register_map.csv", newline="") as f:
        entries = {row["name"]: int(row["address"]) for row in csv.DictReader(f)}
    client = ModbusTcpClient("127.0.0.1", port=port, timeout=2)
    client.connect()
    sightings, last_step = [], None
    while True:
        reply = client.read_input_registers(entries["time"], 7, slave=1)
        wall = time.monotonic()
        if reply.isError():
            break
        words = reply.registers
        now = struct.unpack(">d", struct.pack(">4H", *words[:4]))[0]
        step, status = words[4] << 16 | words[5], words[6]
        if step != last_step:
            sightings.append((wall, now))
            last_step = step
        if status == 3:
            break
        time.sleep(0.0005)
    client.close()
    return sightings


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("tavrel")
    parser.add_argument("--seconds", type=float, default=60.0)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        folder = pathlib.Path(tmp) / "session"
        server, port = start(args.tavrel, folder, args.seconds)
        sightings = watch(port, folder)
        server.communicate(timeout=30)
        summary = (folder / "summary.txt").read_text()
    first = sightings[0][0]
    windows = {}
    for wall, now in sightings:
        window = int((wall - first) // 5)
        windows[window] = min(windows.get(window, float("inf")), wall - now)
    lows = [windows[w] for w in sorted(windows)]
    drift = (max(lows) - min(lows)) * 1e3
    print("".join(line + "\n" for line in summary.splitlines()
                  if line.startswith(("Tick lateness", "Drift", "Speed"))), end="")
    print(f"client: {len(sightings)} steps seen, drift of time against its clock {drift:.2f} ms "
          f"(target <= 20 ms)")


if __name__ == "__main__":
    main()
