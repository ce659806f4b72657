"""Drilling-well annulus hydraulics from Python.

Block plug-ins, scenarios and simulations of the tavrel host, with results as numpy arrays and
figures of pressures, flows, the choke and the displacer. Everything runs in the same C++ host
library as the command-line tool ``tavrel``; CSV and MAT files come from its writers.

    import tavrel
    scenario = tavrel.Scenario.default()
    scenario.set("rig", "annulus_length", 4000)
    result = tavrel.simulate(scenario)
    result["rig.bottom_pressure"]        # numpy array, one value per output time
    result.to_csv("results.csv")
    result.plot("results.png")
"""

import os as _os
import warnings as _warnings

from . import _tavrel
from ._tavrel import (  # noqa: F401  (the package's interface)
    Block,
    BlockError,
    Scenario,
    ScenarioError,
    SimulationError,
    StudyError,
    TavrelError,
    default_scenario_text,
    describe,
    shipped_blocks,
)
from ._frame import split_heading as _split_heading
from ._scenarios import (
    annulus_lengths as _annulus_lengths,
    as_scenario as _scenario,
    sensor_positions as _sensor_positions,
)

if "TAVREL_PLUGIN_PATH" not in _os.environ:
    # The plug-ins of the tree this package lies in (the build tree or an installed one), for
    # this process and the tool's processes it starts.
    from ._folders import PLUGINS as _plugins
    _os.environ["TAVREL_PLUGIN_PATH"] = _os.path.normpath(
        _os.path.join(_os.path.dirname(_os.path.abspath(__file__)), _plugins))

__all__ = [
    "Block", "Scenario", "Simulation", "Result", "Profile", "simulate", "default_scenario_text",
    "describe", "shipped_blocks",
    "TavrelError", "BlockError", "ScenarioError", "SimulationError", "Study", "StudyError",
    "Optimization",
    "linearize", "LinearModel",
]


class Result:
    """Output times and logged columns of a run.

    ``result.time`` holds the output times [s]; ``result["rig.bottom_pressure"]`` one logged
    column, ``result.values`` all of them (one row per output time). The arrays are read-only
    views of the rows the host logged, not copies. ``result.units[name]`` gives a column's unit;
    ``sensor_positions`` and ``annulus_lengths`` (by block, [m]) place the sensors.
    """

    def __init__(self, data, sensor_positions=None, profile=None, annulus_lengths=None):
        self._data = data
        self.profile = profile  # a Profile when the run recorded one, else None
        self.time = data.time
        self.values = data.values
        self.names = list(data.names)
        self.units = dict(zip(self.names, data.units))
        self._index = {name: i for i, name in enumerate(self.names)}
        self.sensor_positions = dict(sensor_positions or {})
        self.annulus_lengths = dict(annulus_lengths or {})

    def __getitem__(self, name):
        try:
            return self.values[:, self._index[name]]
        except KeyError:
            raise KeyError(f"no logged column {name!r}; columns: {', '.join(self.names)}") from None

    def __contains__(self, name):
        return name in self._index

    def __len__(self):
        return len(self.time)

    def __repr__(self):
        span = f"{self.time[0]:g}..{self.time[-1]:g} s" if len(self) else "empty"
        return f"<tavrel.Result {len(self)} rows, {span}, {len(self.names)} columns>"

    def to_csv(self, path):
        """Writes the CSV file the command-line tool writes for the same rows."""
        self._data.to_csv(_os.fspath(path))

    def to_mat(self, path):
        """Writes the MAT file the command-line tool writes for the same rows."""
        self._data.to_mat(_os.fspath(path))

    def plot(self, path=None, title=None):
        """Pressures, flows, choke and displacer over time; saved to `path` if given."""
        from .figures import canvas, series
        figure = series.series_figure(self, title=title)
        if path is not None:
            canvas.save(figure, path)
        return figure

    def to_frame(self):
        """The logged columns as a pandas DataFrame indexed by time [s], one column per logged
        name ("rig.bottom_pressure"); ``frame.attrs["units"]`` maps each name, and "time", to
        its unit. A heading as results.csv writes it ("rig.bottom_pressure [Pa]") still
        selects its column."""
        from ._frame import result_frame
        return result_frame(_copy(self.time), _copy(self.values), self.names, self.units)

    def plot_wave(self, path=None, block=None, title=None):
        """Space-time map of the pressure deviation along the annulus (needs the profile)."""
        from .figures import canvas, waves
        figure = waves.wave_map_figure(self, block=block, title=title)
        if path is not None:
            canvas.save(figure, path)
        return figure

    def report(self, path, summary="", scenario_text="", console=""):
        """One self-contained HTML page of the run: interactive series and wave map."""
        from .figures import report
        return report.run_page(self, path, summary=summary, scenario_text=scenario_text,
                               console=console)

    def plot_profile(self, times=None, path=None, title=None):
        """Pressure along the annulus at `times` [s] from the sensor outputs."""
        from .figures import canvas, series
        figure = series.profile_figure(self, times=times, title=title)
        if path is not None:
            canvas.save(figure, path)
        return figure

    @classmethod
    def read_csv(cls, path, sensor_positions=None, annulus_lengths=None):
        """Reads a results CSV file written by the command-line tool or by to_csv, with the
        profile.csv beside it when there is one."""
        import numpy
        with open(path, encoding="utf-8") as file:
            header = file.readline().rstrip("\r\n").split(",")
        names, units = zip(*(_split_heading(h) for h in header))
        if names[0] != "time":
            raise ValueError(f"{path}: the first column must be time, not {names[0]!r}")
        rows = numpy.loadtxt(path, delimiter=",", skiprows=1, ndmin=2)
        rows = rows.reshape(-1, len(header))
        data = _tavrel.ResultData.from_arrays(list(names[1:]), list(units[1:]),
                                              rows[:, 0].copy(), rows[:, 1:].copy())
        beside = _os.path.join(_os.path.dirname(_os.path.abspath(path)), "profile.csv")
        profile = Profile.read_csv(beside) if _os.path.exists(beside) else None
        return cls(data, sensor_positions, profile, annulus_lengths)


def _copy(array):
    import numpy
    return numpy.array(array, copy=True)


class Profile:
    """The pressure along the annulus at every output time, as each block samples it at its
    grid points: ``positions, times, pressures = profile["rig"]`` (positions in m from the
    bottom, pressures [Pa] one row per time). ``profile.blocks`` lists the blocks."""

    def __init__(self, names, time, values):
        import numpy
        self.times = numpy.asarray(time)
        self._blocks = {}
        for column, name in enumerate(names):
            block, _, rest = name.partition(".profile[")
            self._blocks.setdefault(block, ([], []))
            self._blocks[block][0].append(float(rest.rstrip("]")))
            self._blocks[block][1].append(column)
        values = numpy.asarray(values)
        self._data = {b: (numpy.array(p), values[:, c]) for b, (p, c) in self._blocks.items()}

    @property
    def blocks(self):
        return list(self._data)

    def __getitem__(self, block):
        positions, pressures = self._data[block]
        return positions, self.times, pressures

    @classmethod
    def from_data(cls, data):
        return cls(list(data.names), data.time, data.values)

    @classmethod
    def read_csv(cls, path):
        """Reads the profile.csv that `tavrel run --profile` writes."""
        import numpy
        with open(path, encoding="utf-8") as file:
            header = file.readline().rstrip("\r\n").split(",")
        names = [_split_heading(h)[0] for h in header[1:]]
        rows = numpy.loadtxt(path, delimiter=",", skiprows=1, ndmin=2).reshape(-1, len(header))
        return cls(names, rows[:, 0], rows[:, 1:])


def simulate(scenario=None, profile=False):
    """Runs a whole scenario (a Scenario, a scenario file path, or None for the default).
    With `profile`, the result's ``profile`` holds the pressure along the whole annulus at
    every output time (see Profile).

    The integration runs with the GIL released. On a failure, tavrel.SimulationError carries
    what was logged until then as its ``result``.
    """
    scenario = _scenario(scenario)
    positions = _sensor_positions(scenario), _annulus_lengths(scenario)
    _warn(scenario)
    for line in scenario.well_warnings():
        _warnings.warn(line, stacklevel=2)
    try:
        data = _tavrel.simulate(scenario, profile)
    except SimulationError as error:
        _attach_result(error, positions)
        raise
    if profile:
        data, along = data
        return Result(data, positions[0], Profile.from_data(along), positions[1])
    return Result(data, positions[0], annulus_lengths=positions[1])


def _warn(scenario):
    """Values the scenario accepts that are most likely a mistake, as Python warnings."""
    import warnings
    for text in scenario.warnings:
        warnings.warn(text, stacklevel=3)


def _attach_result(error, positions):
    """Turns the rows a failed run logged into a Result on the error."""
    data = getattr(error, "result", None)
    if isinstance(data, _tavrel.ResultData):
        error.result = Result(data, positions[0], annulus_lengths=positions[1])


class Simulation(_tavrel.Simulation):
    """A scenario stepped from Python, for controllers written in Python.

        sim = tavrel.Simulation(tavrel.Scenario.default())
        while sim.time < 60:
            sim.set_input("rig", "choke_setpoint", z)
            sim.advance_to(sim.time + 0.1)
            p = sim.output("rig", "bottom_pressure")
        result = sim.result()

    With ``log=True`` (the default) every output interval is logged on the way, as a one-shot
    run logs it; ``result()`` returns a copy of the rows logged so far.
    """

    def __init__(self, scenario=None, log=True):
        scenario = _scenario(scenario)
        super().__init__(scenario, log)
        self._positions = _sensor_positions(scenario), _annulus_lengths(scenario)

    def advance_to(self, t):
        """Integrates to time t [s] with the GIL released; on a failure the run stops for
        good and tavrel.SimulationError carries the rows logged until then."""
        try:
            super().advance_to(t)
        except SimulationError as error:
            _attach_result(error, self._positions)
            raise

    def result(self):
        """A copy of the rows logged so far."""
        return Result(self.result_data(), self._positions[0],
                      annulus_lengths=self._positions[1])


def __getattr__(name):
    # tavrel.Study and tavrel.Optimization come from their modules on first use, so that
    # `import tavrel` stays light (no pandas, no SciPy) for a run or a Dask worker.
    if name == "Study":
        from .study import Study

        return Study
    if name == "Optimization":
        from .optimize import Optimization

        return Optimization
    if name in ("linearize", "LinearModel"):
        from . import linear

        return getattr(linear, name)
    raise AttributeError(f"module 'tavrel' has no attribute {name!r}")
