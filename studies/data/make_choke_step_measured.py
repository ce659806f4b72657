"""Makes choke_step_measured.csv: the bottom pressure of scenarios/choke_step.toml run on a well
whose mud differs from the default (linear friction 0.13 1/s instead of 0.1, sound speed
1080 m/s instead of 1000), sampled every 0.1 s, with Gaussian measurement noise of 0.2 bar
(seed 7). studies/calibrate_well.toml recovers the two values from it.

    PYTHONPATH=build/python /usr/bin/python3 studies/data/make_choke_step_measured.py
"""

import os

import numpy

import tavrel

FRICTION_LINEAR, SOUND_SPEED, NOISE, SEED = 0.13, 1080.0, 0.2e5, 7

here = os.path.dirname(os.path.abspath(__file__))
scenario = tavrel.Scenario.load(os.path.join(here, "..", "..", "scenarios", "choke_step.toml"))
for name, value in (("friction_linear", FRICTION_LINEAR), ("sound_speed", SOUND_SPEED)):
    scenario.set("rig", name, value)
result = tavrel.simulate(scenario)
keep = numpy.isclose(numpy.mod(result.time + 1e-9, 0.1), 0.0, atol=1e-6)
times = result.time[keep]
pressure = result["rig.bottom_pressure"][keep]
pressure = pressure + numpy.random.default_rng(SEED).normal(0.0, NOISE, pressure.size)
with open(os.path.join(here, "choke_step_measured.csv"), "w", encoding="utf-8") as file:
    file.write(f"# Bottom pressure of a choke step (scenarios/choke_step.toml) on a well with "
               f"friction_linear = {FRICTION_LINEAR}, sound_speed = {SOUND_SPEED}, noise "
               f"{NOISE / 1e5} bar (seed {SEED}); made by make_choke_step_measured.py\n")
    file.write("time [s],bottom_pressure [Pa]\n")
    for t, p in zip(times, pressure):
        file.write(f"{t:.10g},{p:.10g}\n")
