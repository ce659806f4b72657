import os
import subprocess
import sys

import pytest

import tavrel
from tavrel.figures import report
from tavrel.figures.__main__ import main as figures_main

PNG = b"\x89PNG"


def is_png(path):
    return os.path.getsize(path) > 1000 and open(path, "rb").read(4) == PNG


class TestFigures:
    def test_time_series_has_a_panel_per_quantity(self, short_result, tmp_path):
        figure = short_result.plot(tmp_path / "series.png", title="default well")
        labels = [axis.get_ylabel() for axis in figure.axes]
        assert labels == ["bottom pressure [bar]", "pressure [bar]", "flow [L/min]",
                          "choke opening [1]", "displacer velocity [m/s]"]
        assert is_png(tmp_path / "series.png")

    def test_series_read_at_once(self, short_result):
        figure = short_result.plot()
        figure.canvas.draw()
        labels = [line.get_label() for line in figure.axes[1].lines]
        assert "rig sensor at 3000 m depth" in labels  # the bottom sensor, as a driller says
        for axis in figure.axes:  # legends beside the axes, never over the curves
            assert axis.get_legend().get_window_extent().x0 >= axis.get_window_extent().x1
        assert '"bottom pressure [bar]"' in report._series(short_result)  # a panel of its own

    def test_without_an_observer_there_is_no_velocity_panel(self, short_scenario_file, tmp_path):
        text = tavrel.default_scenario_text()
        rig_only = text[: text.index("[blocks.observer]")] + text[text.index("[summary]"):]
        scenario = tavrel.Scenario.parse(rig_only)
        scenario.duration = 1.0
        figure = tavrel.simulate(scenario).plot()
        assert len(figure.axes) == 4

    def test_profile_at_chosen_times(self, short_result, tmp_path):
        figure = short_result.plot_profile(times=[0.0, 3.0, 6.0], path=tmp_path / "profile.png")
        (axis,) = figure.axes
        assert axis.get_ylabel() == "depth below the surface [m]"
        assert [line.get_label() for line in axis.lines] == ["t = 0 s", "t = 3 s", "t = 6 s"]
        assert list(axis.lines[0].get_ydata()) == [0.0, 1000.0, 2000.0, 3000.0]
        assert is_png(tmp_path / "profile.png")

    def test_every_well_shares_the_bottom_pressure_panel(self):
        names = ["rig.bottom_pressure", "rig.choke_opening", "observer.bottom_pressure",
                 "observer.displacer_velocity_estimate", "fixed.bottom_pressure"]
        data = tavrel._tavrel.ResultData.from_arrays(
            names, ["Pa", "1", "Pa", "m/s", "Pa"], [0.0, 1.0], [[4e7, 0.4, 4e7, 0.0, 4e7]] * 2)
        figure = tavrel.Result(data).plot()
        # A reference rig that logs its bottom pressure alone is compared; an estimate is not.
        assert [line.get_label() for line in figure.axes[0].lines] == ["rig bottom",
                                                                       "fixed bottom"]

    def test_nothing_to_plot_is_an_error(self, short_result):
        data = tavrel._tavrel.ResultData.from_arrays(["x.y"], ["1"], [0.0, 1.0], [[1.0], [2.0]])
        with pytest.raises(ValueError, match="no columns"):
            tavrel.Result(data).plot()


class TestPlotCommand:
    def test_writes_both_figures_next_to_the_csv(self, short_result, tmp_path):
        csv = tmp_path / "results.csv"
        short_result.to_csv(csv)
        done = subprocess.run([sys.executable, "-m", "tavrel.figures", "run", str(csv),
                               "--scenario", "default", "--times", "1", "5"],
                              capture_output=True, text=True, check=True)
        assert done.stdout.split() == [str(tmp_path / "results.png"),
                                       str(tmp_path / "results_profile.png")]
        assert is_png(tmp_path / "results.png") and is_png(tmp_path / "results_profile.png")

    def test_output_name_and_positions(self, short_result, tmp_path):
        csv = tmp_path / "results.csv"
        short_result.to_csv(csv)
        figures_main(["run", str(csv), "-o", str(tmp_path / "fig.svg"), "--profile",
                      str(tmp_path / "p.png"), "--positions", "0", "1000", "2000", "3000"])
        assert (tmp_path / "fig.svg").read_text().lstrip().startswith("<?xml")
        assert is_png(tmp_path / "p.png")


def test_worked_example_writes_its_figure(tmp_path):
    example = os.path.join(os.environ["TAVREL_EXAMPLES"], "pi_bottom_pressure.py")
    done = subprocess.run([sys.executable, example, "--duration", "40", "--step-time", "10",
                           "-o", str(tmp_path / "pi.png")],
                          capture_output=True, text=True, check=True)
    assert "under PI control" in done.stdout
    assert is_png(tmp_path / "pi.png")
