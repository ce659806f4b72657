"""A scenario as the package's functions take it, and what the figures read off it; apart
from the package's interface so that its modules import it without importing the package."""

import os

from ._tavrel import Scenario


def as_scenario(scenario):
    """A Scenario, a scenario file path, or None for the embedded default, as a Scenario."""
    if scenario is None:
        return Scenario.default()
    if isinstance(scenario, (str, os.PathLike)):
        return Scenario.load(os.fspath(scenario))
    return scenario


def sensor_positions(scenario):
    """Sensor positions [m from the bottom] of every block of `scenario` that has sensors."""
    positions = {}
    for block in scenario.blocks:
        values = scenario.params(block).get("sensor_positions")
        if values:
            positions[block] = list(values)
    return positions


def annulus_lengths(scenario):
    """Annulus length [m] of every block of `scenario` that has sensors: a sensor's depth below
    the surface, as a driller reads it, is the length less its position."""
    lengths = {}
    for block in sensor_positions(scenario):
        length = scenario.params(block).get("annulus_length")
        if isinstance(length, float):
            lengths[block] = length
    return lengths
