"""Raising the bottom pressure of a heaving well with the choke: a PI controller in Python.

The default well's drill string heaves 1.5 m every 12 s and so pumps mud in and out of the
annulus; the bottom pressure swings with it by a few bar. At 30 s the target bottom pressure
is raised by 10 bar (say, to hold back a formation). A PI controller written here reads the
bottom pressure every 0.05 s through the stepping interface and moves the choke setpoint
(further open when the pressure is too high).

The controller acts on the bottom pressure averaged over one heave period. Choke action
reaches the bottom only after the 3 s a pressure wave needs to run down the 3000 m annulus,
and the actuator needs 10 s for a full stroke, so the choke cannot cancel the 12 s swing
itself; a loop that tried would only amplify it. Averaged, the loop holds the mean.

    PYTHONPATH=build/python /usr/bin/python3 examples/pi_bottom_pressure.py [-o FIG.png]
"""

import argparse
import collections

import numpy
from matplotlib.backends.backend_agg import FigureCanvasAgg
from matplotlib.figure import Figure

import tavrel

BAR = 1e5  # Pa
HEAVE_PERIOD = 12.0  # s


class PIController:
    """Choke setpoint from the error of the measured pressure, limited to the choke's 0..1
    travel; the integral stops while the setpoint sits at a limit (anti-windup)."""

    def __init__(self, bias, kp, ki, low=0.0, high=1.0):
        self.bias, self.kp, self.ki, self.low, self.high = bias, kp, ki, low, high
        self.integral = 0.0

    def update(self, error, dt):
        wanted = self.bias + self.kp * error + self.ki * (self.integral + error * dt)
        setpoint = min(max(wanted, self.low), self.high)
        if setpoint == wanted:
            self.integral += error * dt
        return setpoint


def target_at(t, initial, step, step_time):
    return initial + (step if t >= step_time else 0.0)


def run_closed_loop(scenario, kp, ki, step, step_time):
    """The scenario stepped at its output interval with the PI controller on the choke."""
    dt = scenario.output_interval
    sim = tavrel.Simulation(scenario)
    initial = sim.output("rig", "bottom_pressure")
    controller = PIController(bias=sim.output("rig", "choke_opening"), kp=kp, ki=ki)
    last_period = collections.deque(maxlen=int(round(HEAVE_PERIOD / dt)))
    for k in range(1, int(round(scenario.duration / dt)) + 1):
        last_period.append(sim.output("rig", "bottom_pressure"))
        error = numpy.mean(last_period) - target_at(sim.time, initial, step, step_time)
        sim.set_input("rig", "choke_setpoint", controller.update(error, dt))
        sim.advance_to(scenario.start_time + k * dt)
    return sim.result(), initial


def mean_over_last_periods(result, periods=2):
    window = result.time >= result.time[-1] - periods * HEAVE_PERIOD
    return result["rig.bottom_pressure"][window].mean()


def figure_of(open_loop, closed_loop, targets):
    figure = Figure(figsize=(10, 6.5), layout="constrained")
    FigureCanvasAgg(figure)
    pressure, choke = figure.subplots(2, 1, sharex=True)
    pressure.plot(open_loop.time, open_loop["rig.bottom_pressure"] / BAR,
                  label="choke held still")
    pressure.plot(closed_loop.time, closed_loop["rig.bottom_pressure"] / BAR,
                  label="PI on the bottom pressure")
    pressure.plot(closed_loop.time, targets / BAR, color="black", linestyle=":", label="target")
    pressure.set_ylabel("bottom pressure [bar]")
    pressure.ticklabel_format(axis="y", useOffset=False)
    choke.plot(closed_loop.time, closed_loop["rig.choke_setpoint"], "--", label="setpoint (PI)")
    choke.plot(closed_loop.time, closed_loop["rig.choke_opening"], label="opening (PI)")
    choke.plot(open_loop.time, open_loop["rig.choke_opening"], label="opening (held)")
    choke.set_ylabel("choke opening [1]")
    choke.set_xlabel("time [s]")
    for axis in (pressure, choke):
        axis.grid(True, alpha=0.3)
        axis.legend(loc="upper left", fontsize="small")
    figure.suptitle("Default well, 1.5 m heave every 12 s: bottom pressure target raised by "
                    f"{(targets[-1] - targets[0]) / BAR:g} bar")
    return figure


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("-o", "--output", default="pi_bottom_pressure.png", help="figure file")
    parser.add_argument("--duration", type=float, default=120.0, help="simulated time [s]")
    parser.add_argument("--step", type=float, default=10.0, help="target raise [bar]")
    parser.add_argument("--step-time", type=float, default=30.0, help="time of the raise [s]")
    parser.add_argument("--kp", type=float, default=0.02, help="proportional gain [1/bar]")
    parser.add_argument("--ki", type=float, default=0.0005, help="integral gain [1/(bar s)]")
    args = parser.parse_args()

    scenario = tavrel.Scenario.default()
    scenario.duration = args.duration
    open_loop = tavrel.simulate(scenario)
    closed_loop, initial = run_closed_loop(scenario, args.kp / BAR, args.ki / BAR,
                                           args.step * BAR, args.step_time)
    targets = numpy.array([target_at(t, initial, args.step * BAR, args.step_time)
                           for t in closed_loop.time])

    print(f"target {targets[-1] / BAR:.2f} bar; mean bottom pressure over the last two heave "
          f"periods: {mean_over_last_periods(open_loop) / BAR:.2f} bar with the choke held, "
          f"{mean_over_last_periods(closed_loop) / BAR:.2f} bar under PI control")
    figure_of(open_loop, closed_loop, targets).savefig(args.output, dpi=120)
    print(args.output)


if __name__ == "__main__":
    main()
