import threading

import numpy
import pytest

import tavrel


@pytest.fixture
def short_scenario(short_scenario_file):
    return tavrel.Scenario.load(str(short_scenario_file))


class TestSteppingReproducesOneShotRun:
    def test_output_interval_steps_with_constant_inputs(self, short_scenario, short_result):
        sim = tavrel.Simulation(short_scenario)
        choke = sim.input("rig", "choke_setpoint")
        bottom = [sim.output("rig", "bottom_pressure")]
        for t in short_result.time[1:]:
            sim.set_input("rig", "injection_flow", 0.01)  # the value it already has
            sim.set_input("rig", "choke_setpoint", choke)
            sim.advance_to(t)
            bottom.append(sim.output("rig", "bottom_pressure"))
        numpy.testing.assert_array_equal(bottom, short_result["rig.bottom_pressure"])
        numpy.testing.assert_array_equal(sim.result().values, short_result.values)

    def test_uneven_steps_log_the_same_rows(self, short_scenario, short_result):
        sim = tavrel.Simulation(short_scenario)
        for t in (0.013, 1.0, 1.05, 2.5, 4.9999, short_scenario.duration):
            sim.advance_to(t)
        stepped = sim.result()
        numpy.testing.assert_array_equal(stepped.time, short_result.time)
        # the solver stops at the requested times, so its steps differ a little
        scale = numpy.max(numpy.abs(short_result.values), axis=0)
        assert numpy.all(numpy.abs(stepped.values - short_result.values) <= 1e-5 * scale)


class TestControlFromPython:
    def test_closing_the_choke_raises_the_bottom_pressure(self, short_scenario):
        open_run = tavrel.Simulation(short_scenario)
        closed_run = tavrel.Simulation(short_scenario)
        closed_run.set_input("rig", "choke_setpoint", 0.0)
        for sim in (open_run, closed_run):
            sim.advance_to(5.0)
        assert closed_run.input("rig", "choke_setpoint") == 0.0
        assert closed_run.output("rig", "choke_opening") < open_run.output("rig", "choke_opening")
        assert (closed_run.output("rig", "bottom_pressure") >
                open_run.output("rig", "bottom_pressure") + 1e5)

    def test_sensor_ports_by_index_and_logged_values(self, short_scenario):
        sim = tavrel.Simulation(short_scenario, log=False)
        sim.advance_to(0.5)
        values = sim.values()
        assert values["rig.sensor_pressure[0]"] == sim.output("rig", "sensor_pressure[0]")
        with pytest.raises(ValueError, match="log=False"):
            sim.result()


class TestSteppingErrors:
    def test_time_does_not_run_backwards(self, short_scenario):
        sim = tavrel.Simulation(short_scenario)
        sim.advance_to(1.0)
        with pytest.raises(ValueError, match="back"):
            sim.advance_to(0.5)
        with pytest.raises(ValueError, match="finite"):
            sim.advance_to(float("inf"))
        sim.advance_to(1.5)  # the simulation is still usable
        assert sim.time == 1.5

    def test_unknown_ports(self, short_scenario):
        sim = tavrel.Simulation(short_scenario)
        with pytest.raises(tavrel.TavrelError, match="no_such_port"):
            sim.output("rig", "no_such_port")
        with pytest.raises(tavrel.TavrelError, match="output port"):
            sim.set_input("rig", "bottom_pressure", 1.0)


def runaway_scenario():
    """A displacer driven far beyond anything physical: the rig's pressures leave the range
    of doubles a few seconds in."""
    text = tavrel.default_scenario_text().replace("amplitude = 0.785", "amplitude = 1e4")
    scenario = tavrel.Scenario.parse(text)
    scenario.duration = 20.0
    return scenario


class TestFailedRuns:
    def test_error_names_block_and_port_and_keeps_the_rows_logged(self):
        with pytest.raises(tavrel.SimulationError, match=r"block rig: .* not finite at t") as error:
            tavrel.simulate(runaway_scenario())
        partial = error.value.result
        assert 0 < len(partial) < 400
        assert numpy.all(numpy.isfinite(partial.values))

    def test_stepping_stops_for_good_after_a_failure(self):
        sim = tavrel.Simulation(runaway_scenario())
        with pytest.raises(tavrel.SimulationError) as first:
            sim.advance_to(20.0)
        with pytest.raises(tavrel.SimulationError, match="stopped after an error"):
            sim.advance_to(20.0)
        assert len(sim.result()) == len(first.value.result)


class TestThreads:
    def test_integration_lets_other_threads_run_and_refuses_them_the_simulation(self):
        sim = tavrel.Simulation(tavrel.Scenario.default(), log=False)
        worker = threading.Thread(target=sim.advance_to, args=(60.0,))
        worker.start()
        refused = 0
        while worker.is_alive():
            try:
                sim.output("rig", "bottom_pressure")
            except RuntimeError as error:
                assert "busy" in str(error)
                refused += 1
        worker.join()
        assert refused > 0  # the GIL was free while it integrated
        assert sim.time == 60.0

    def test_simultaneous_runs_give_the_same_numbers(self, short_scenario, short_result):
        results = [None, None]

        def run(i):
            results[i] = tavrel.simulate(short_scenario)

        threads = [threading.Thread(target=run, args=(i,)) for i in range(2)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        for result in results:
            numpy.testing.assert_array_equal(result.values, short_result.values)
