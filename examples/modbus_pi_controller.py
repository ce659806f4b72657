"""A PI choke controller on the network: the loop of scenarios/closed_loop_pi.toml closed over
Modbus TCP around `tavrel serve`, as a control computer on the rig would close it.

    build/bin/tavrel serve scenarios/serve_choke.toml --speed 10 -o hil &
    /usr/bin/python3 examples/modbus_pi_controller.py --map hil/register_map.csv

The law is the scenario's `pi` source, sampled at each output interval: the choke setpoint is
bias + kp*e + ki*integral(e), e = 412 bar - the bottom pressure, limited to [0, 1], the integral
held while the setpoint is at a limit and the error pushes further; the bias is the choke opening
read at the start. With `--lockstep` (the server too) the controller advances the plant one
interval after each write, so the session is the same whatever the machine's load.

It finds its registers by name in the session's register_map.csv, as any client should, and ends
when the server stops (status 3) or goes away.
"""

import argparse
import csv
import struct
import sys
import time

from pymodbus.client import ModbusTcpClient
from pymodbus.exceptions import ModbusException

FORMATS = {"uint16": (">H", 1), "uint32": (">I", 2), "float32": (">f", 2), "float64": (">d", 4)}
STOPPED = 3


class Plant:
    """The served registers by name (from register_map.csv)."""

    def __init__(self, client, map_path):
        self.client = client
        with open(map_path, newline="") as f:
            self.entries = {row["name"]: row for row in csv.DictReader(f)}

    def _span(self, name):
        entry = self.entries[name]
        return int(entry["address"]), FORMATS[entry["format"]]

    def read(self, name):
        address, (layout, count) = self._span(name)
        table = self.entries[name]["table"]
        call = self.client.read_input_registers if table == "input" else \
            self.client.read_holding_registers
        reply = call(address, count, slave=1)
        if reply.isError():
            raise RuntimeError(f"reading {name}: {reply}")
        return struct.unpack(layout, struct.pack(f">{count}H", *reply.registers))[0]

    def write(self, name, value):
        address, (layout, count) = self._span(name)
        words = struct.unpack(f">{count}H", struct.pack(layout, value))
        reply = self.client.write_registers(address, list(words), slave=1)
        if reply.isError():
            raise RuntimeError(f"writing {name}: {reply}")


class PiLaw:
    """closed_loop_pi.toml's controller, its integral summed over the sampling interval."""

    def __init__(self, setpoint, kp, ki, bias, low=0.0, high=1.0):
        self.setpoint, self.kp, self.ki, self.bias = setpoint, kp, ki, bias
        self.low, self.high = low, high
        self.integral = 0.0

    def output(self, measured, dt):
        error = self.setpoint - measured
        unlimited = self.bias + self.kp * error + self.ki * self.integral
        pushes_past = (unlimited > self.high and self.ki * error > 0) or \
            (unlimited < self.low and self.ki * error < 0)
        if not pushes_past:
            self.integral += error * dt
        return min(max(unlimited, self.low), self.high)


def connect(host, port, wait):
    client = ModbusTcpClient(host, port=port, timeout=2)
    deadline = time.monotonic() + wait
    while not client.connect():
        if time.monotonic() > deadline:
            sys.exit(f"no server on {host}:{port}")
        time.sleep(0.1)
    return client


def control(plant, law, lockstep, measure, actuate):
    """Runs until the server stops; returns the number of samples taken."""
    step, last_time, samples = -1, None, 0
    while plant.read("status") != STOPPED:
        now_step = plant.read("step")
        if now_step == step:
            time.sleep(0.0005)
            continue
        step = now_step
        now = plant.read("time")
        dt = 0.0 if last_time is None else now - last_time
        last_time = now
        plant.write(actuate, law.output(plant.read(measure), dt))
        samples += 1
        if lockstep:
            plant.write("advance", 1)
    return samples


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--map", required=True, help="the session's register_map.csv")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=5020)
    parser.add_argument("--lockstep", action="store_true", help="advance the plant after writes")
    parser.add_argument("--wait", type=float, default=10.0, help="seconds to wait for the server")
    args = parser.parse_args()
    client = connect(args.host, args.port, args.wait)
    try:
        plant = Plant(client, args.map)
        law = PiLaw(setpoint=412e5, kp=-2e-8, ki=-5e-9, bias=plant.read("rig.choke_opening"))
        samples = control(plant, law, args.lockstep, "rig.bottom_pressure", "rig.choke_setpoint")
    except (ModbusException, OSError, RuntimeError) as error:
        print(f"the server went away: {error}", file=sys.stderr)
        samples = None
    finally:
        client.close()
    print(f"controller: {samples} samples")


if __name__ == "__main__":
    main()
