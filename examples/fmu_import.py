"""Running an exported FMU from Python with nothing but ctypes: a small FMI 2.0 Co-Simulation
importer, and the default scenario's rig reproduced through it.

    build/bin/tavrel fmu tavrel -o tavrel.fmu
    build/bin/tavrel run -o out                      # the reference, optional
    /usr/bin/python3 examples/fmu_import.py tavrel.fmu [--compare out/results.csv]

The FMU is unpacked into a temporary folder; its binary needs no library of the build tree.
The rig is driven as the default scenario drives it: the drill string heaves 1.5 m every
12 s (displacer velocity 0.785 sin(2 pi t / 12) m/s, handed over with its first two time
derivatives so the FMU's solver follows the sine within each 0.05 s step), the back-pressure
pump injects 0.01 m3/s, and the choke setpoint is held at the initial choke opening.
"""

import argparse
import csv
import ctypes
import math
import pathlib
import sys
import tempfile
import xml.etree.ElementTree as ET
import zipfile

CO_SIMULATION = 1
OK = 0

LOGGER = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int, ctypes.c_char_p,
                          ctypes.c_char_p)


class CallbackFunctions(ctypes.Structure):
    _fields_ = [("logger", LOGGER), ("allocateMemory", ctypes.c_void_p),
                ("freeMemory", ctypes.c_void_p), ("stepFinished", ctypes.c_void_p),
                ("componentEnvironment", ctypes.c_void_p)]


@LOGGER
def print_message(_environment, instance, status, category, message):
    # The FMU's messages carry no format arguments: '%%' is a literal '%'.
    text = message.decode().replace("%%", "%")
    print(f"[{instance.decode()} {category.decode()} {status}] {text}", file=sys.stderr)


class FmuError(RuntimeError):
    pass


class CoSimulation:
    """One Co-Simulation instance of an unpacked FMU; variables addressed by name."""

    def __init__(self, folder, instance_name="instance"):
        folder = pathlib.Path(folder).resolve()
        root = ET.parse(folder / "modelDescription.xml").getroot()
        identifier = root.find("CoSimulation").get("modelIdentifier")
        self.vr = {v.get("name"): int(v.get("valueReference"))
                   for v in root.iter("ScalarVariable") if v.find("Real") is not None}
        self.lib = ctypes.CDLL(str(folder / "binaries" / "linux64" / f"{identifier}.so"))
        self.lib.fmi2Instantiate.restype = ctypes.c_void_p
        self.callbacks = CallbackFunctions(print_message, None, None, None, None)
        self.c = self.lib.fmi2Instantiate(
            instance_name.encode(), CO_SIMULATION, root.get("guid").encode(),
            (folder / "resources").as_uri().encode(), ctypes.byref(self.callbacks), 0, 1)
        if not self.c:
            raise FmuError("fmi2Instantiate failed")
        self.c = ctypes.c_void_p(self.c)

    def _call(self, name, *args):
        if getattr(self.lib, name)(self.c, *args) != OK:
            raise FmuError(f"{name} failed")

    def _refs(self, names):
        return (ctypes.c_uint * len(names))(*(self.vr[n] for n in names))

    def set(self, **values):
        names = list(values)
        self._call("fmi2SetReal", self._refs(names), ctypes.c_size_t(len(names)),
                   (ctypes.c_double * len(names))(*values.values()))

    def set_derivatives(self, name, *derivatives):
        n = len(derivatives)
        self._call("fmi2SetRealInputDerivatives", self._refs([name] * n), ctypes.c_size_t(n),
                   (ctypes.c_int * n)(*range(1, n + 1)), (ctypes.c_double * n)(*derivatives))

    def get(self, name):
        value = ctypes.c_double()
        self._call("fmi2GetReal", self._refs([name]), ctypes.c_size_t(1), ctypes.byref(value))
        return value.value

    def initialize(self, **inputs):
        self._call("fmi2SetupExperiment", 0, ctypes.c_double(0), ctypes.c_double(0), 0,
                   ctypes.c_double(0))
        self._call("fmi2EnterInitializationMode")
        self.set(**inputs)
        self._call("fmi2ExitInitializationMode")

    def step(self, t, h):
        self._call("fmi2DoStep", ctypes.c_double(t), ctypes.c_double(h), 1)

    def close(self):
        self._call("fmi2Terminate")
        self.lib.fmi2FreeInstance(self.c)


def run_default_rig(folder, duration=120.0, step=0.05):
    """Bottom pressure every `step` seconds of the default scenario's rig, from t = 0."""
    amplitude, w = 0.785, 2 * math.pi / 12
    rig = CoSimulation(folder, "rig")
    rig.initialize(displacer_velocity=0.0, injection_flow=0.01)
    rig.set(choke_setpoint=rig.get("choke_opening"))
    pressures = [rig.get("bottom_pressure")]
    for k in range(round(duration / step)):
        t = k * step
        rig.set(displacer_velocity=amplitude * math.sin(w * t))
        rig.set_derivatives("displacer_velocity", amplitude * w * math.cos(w * t),
                            -amplitude * w * w * math.sin(w * t))
        rig.step(t, step)
        pressures.append(rig.get("bottom_pressure"))
    rig.close()
    return pressures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("fmu")
    parser.add_argument("--duration", type=float, default=120.0)
    parser.add_argument("--compare", help="results.csv of `tavrel run` (default scenario)")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        zipfile.ZipFile(args.fmu).extractall(folder)
        pressures = run_default_rig(folder, args.duration)
    print(f"bottom pressure at {args.duration:g} s: {pressures[-1]:.6g} Pa")
    if args.compare:
        with open(args.compare, newline="") as file:
            rows = list(csv.DictReader(file))
        reference = [float(row["rig.bottom_pressure [Pa]"]) for row in rows][:len(pressures)]
        worst = max(abs(p - r) / abs(r) for p, r in zip(pressures, reference))
        print(f"largest relative difference from {args.compare}: {worst:.2e}")


if __name__ == "__main__":
    main()
