import subprocess

import numpy
import pytest

import tavrel

# Hydrostatic head of the default mud per metre of vertical annulus [Pa/m].
MUD_HEAD = 1300.0 * 9.81


class TestSameNumbersAsTheCommandLine:
    def test_default_study_gives_the_same_csv(self, short_scenario_file, run_cli, tmp_path):
        cli_out = run_cli(short_scenario_file)
        result = tavrel.simulate(tavrel.Scenario.load(str(short_scenario_file)))
        result.to_csv(tmp_path / "python.csv")
        assert (tmp_path / "python.csv").read_bytes() == (cli_out / "results.csv").read_bytes()

    def test_override_gives_the_same_csv_as_the_tools_set(self, short_scenario_file, run_cli,
                                                          tmp_path):
        cli_out = run_cli(short_scenario_file, "--set", "rig.annulus_length=4000")
        scenario = tavrel.Scenario.load(str(short_scenario_file))
        scenario.set("rig", "annulus_length", 4000)
        tavrel.simulate(scenario).to_csv(tmp_path / "python.csv")
        assert (tmp_path / "python.csv").read_bytes() == (cli_out / "results.csv").read_bytes()

    def test_csv_read_back_writes_the_same_file(self, short_scenario_file, run_cli, tmp_path):
        cli_csv = run_cli(short_scenario_file) / "results.csv"
        tavrel.Result.read_csv(cli_csv).to_csv(tmp_path / "again.csv")
        assert (tmp_path / "again.csv").read_bytes() == cli_csv.read_bytes()

    def test_mat_file_is_written(self, short_result, tmp_path):
        short_result.to_mat(tmp_path / "results.mat")
        assert (tmp_path / "results.mat").read_bytes()[:7] == b"MATLAB "


class TestResult:
    def test_columns_are_read_only_views_of_one_table(self, short_result):
        bottom = short_result["rig.bottom_pressure"]
        assert bottom.shape == short_result.time.shape
        assert numpy.shares_memory(bottom, short_result.values)
        assert not short_result.values.flags.writeable
        with pytest.raises(ValueError):
            bottom[0] = 0.0

    def test_rows_every_output_interval_with_units(self, short_result):
        assert len(short_result) == 121  # 6 s at 0.05 s, both ends
        assert numpy.allclose(numpy.diff(short_result.time), 0.05)
        assert short_result.units["rig.bottom_pressure"] == "Pa"
        assert short_result.sensor_positions["rig"] == [0.0, 1000.0, 2000.0, 3000.0]

    def test_unknown_column_names_the_choices(self, short_result):
        with pytest.raises(KeyError, match="rig.bottom_pressure"):
            short_result["rig.no_such_port"]

    def test_result_outlives_everything_that_made_it(self, short_scenario_file):
        bottom = tavrel.simulate(str(short_scenario_file))["rig.bottom_pressure"]
        import gc
        gc.collect()
        assert numpy.all(bottom > 1e5)


class TestOverrides:
    def test_longer_annulus_raises_the_bottom_pressure_by_its_head(self, short_scenario_file):
        base = tavrel.Scenario.load(str(short_scenario_file))
        longer = base.copy()
        longer.set("rig", "annulus_length", 4000)
        assert longer.get("rig", "annulus_length") == 4000
        assert base.get("rig", "annulus_length") == 3000
        p3000 = tavrel.simulate(base)["rig.bottom_pressure"][0]
        p4000 = tavrel.simulate(longer)["rig.bottom_pressure"][0]
        # a little more than the incompressible head: the mud compresses at depth
        assert p4000 - p3000 == pytest.approx(1000 * MUD_HEAD, rel=0.05)

    def test_vector_parameter_changes_the_sensor_columns(self, short_scenario_file):
        scenario = tavrel.Scenario.load(str(short_scenario_file))
        scenario.set("rig", "sensor_positions", [0, 1000, 2000, 3000, 1500])
        result = tavrel.simulate(scenario)
        assert "rig.sensor_pressure[4]" in result and "rig.sensor_pressure[5]" not in result
        mid = result["rig.sensor_pressure[4]"][0]
        assert result["rig.sensor_pressure[2]"][0] < mid < result["rig.sensor_pressure[1]"][0]

    def test_broken_rule_is_refused_and_the_old_value_kept(self):
        scenario = tavrel.Scenario.default()
        with pytest.raises(tavrel.ScenarioError, match="sensor_positions"):
            scenario.set("rig", "annulus_length", 1500)  # a sensor 2000 m from the bottom
        assert scenario.get("rig", "annulus_length") == 3000

    def test_unknown_names_are_errors(self):
        scenario = tavrel.Scenario.default()
        with pytest.raises(tavrel.ScenarioError, match="unknown parameter"):
            scenario.set("rig", "annulus_lenght", 4000)
        with pytest.raises(tavrel.ScenarioError, match="no block"):
            scenario.set("pump", "annulus_length", 4000)
        with pytest.raises(tavrel.ScenarioError, match="needs a unit of a length"):
            scenario.set("rig", "annulus_length", "4000")

    def test_settings_must_be_positive(self):
        scenario = tavrel.Scenario.default()
        for name in ("duration", "output_interval", "rtol"):
            with pytest.raises(ValueError, match=name):
                setattr(scenario, name, 0.0)
        with pytest.raises(ValueError):
            scenario.solver = "euler"


class TestScenarioFiles:
    def test_missing_file(self, tmp_path):
        with pytest.raises(tavrel.ScenarioError, match="missing.toml"):
            tavrel.Scenario.load(str(tmp_path / "missing.toml"))

    def test_error_names_file_and_key(self, tmp_path):
        path = tmp_path / "bad.toml"
        path.write_text(tavrel.default_scenario_text().replace(
            "sound_speed = 1000.0", "sound_speed = -1000.0"))
        with pytest.raises(tavrel.ScenarioError, match=r"bad\.toml.*sound_speed"):
            tavrel.Scenario.load(str(path))

    def test_unknown_plugin_is_a_block_error(self):
        text = tavrel.default_scenario_text().replace(
            'plugin = "tavrel_observer"', 'plugin = "/nonexistent/tavrel_observer.mexa64"')
        scenario = tavrel.Scenario.parse(text)
        with pytest.raises(tavrel.BlockError, match="nonexistent"):
            tavrel.simulate(scenario)


def test_frame_has_bare_names_with_units_in_its_attributes(short_result):
    frame = short_result.to_frame()
    pressure = short_result["rig.bottom_pressure"].tolist()
    assert frame.index.name == "time" and frame.attrs["units"]["time"] == "s"
    assert frame.attrs["units"]["rig.bottom_pressure"] == "Pa"
    for heading in ("rig.bottom_pressure", "rig.bottom_pressure [Pa]"):  # the old heading too
        assert frame[heading].tolist() == pressure
    with pytest.raises(KeyError):
        frame["rig.bottom_pressure [bar]"]


def test_set_takes_a_value_with_its_unit(short_scenario_file, run_cli):
    written = run_cli(short_scenario_file, "--set", "well.initial_top_pressure=25 bar", folder="a")
    plain = run_cli(short_scenario_file, "--set", "well.initial_top_pressure=25e5", folder="b")
    assert (written / "results.csv").read_bytes() == (plain / "results.csv").read_bytes()
    with pytest.raises(subprocess.CalledProcessError) as refused:
        run_cli(short_scenario_file, "--set", "well.initial_top_pressure=25 s", folder="c")
    assert '"25 s" is a time [s], not a pressure [Pa]' in refused.value.stderr


def test_python_set_takes_a_value_with_its_unit():
    scenario = tavrel.Scenario.default()
    scenario.set("well", "initial_top_pressure", "25 bar")
    assert scenario.get("rig", "initial_top_pressure") == 25e5
    with pytest.raises(tavrel.ScenarioError, match=r'"25 s" is a time \[s\], not a pressure'):
        scenario.set("well", "initial_top_pressure", "25 s")
