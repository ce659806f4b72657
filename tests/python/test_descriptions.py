"""A block known only by a description file beside its plug-in: the one entry reaches the
scenario's validation, `tavrel sizes` and the Python listings without any code."""
import os
import shutil
import subprocess

import pytest

import tavrel

DESCRIPTION = """
meaning = "two-state oscillator of the tests"
[[params]]
name = "output_count"
unit = "1"
default = 2
[[params]]
name = "output_width"
unit = "1"
default = 1
[[params]]
name = "failure"
default = 0
[[inputs]]
name = "offset"
[[outputs]]
name = "position"
[[outputs]]
name = "spare"
[[states]]
name = "position"
[[states]]
name = "velocity"
[[rules]]
positive = "output_width"
"""


@pytest.fixture
def described_plugin(tmp_path):
    plugin = tmp_path / "tavrel_fake.mexa64"
    shutil.copy(os.environ["TAVREL_FAKE_PLUGIN"], plugin)
    (tmp_path / "tavrel_fake.toml").write_text(DESCRIPTION)
    return plugin


def test_a_description_file_reaches_validation_sizes_and_python(described_plugin):
    block = tavrel.Block(str(described_plugin), {"output_count": 2, "output_width": 1,
                                                 "failure": 0})
    assert block.param_names == ["output_count", "output_width", "failure"]
    assert (block.input_names, block.output_names) == (["offset"], ["position", "spare"])

    text = (f'[simulation]\nduration = 1.0\n[blocks.osc]\nplugin = "{described_plugin}"\n'
            "[blocks.osc.params]\noutput_count = 2\noutput_width = 1\nfailure = 0\n"
            "[blocks.osc.inputs]\noffset = 0.5\n")
    scenario = tavrel.Scenario.parse(text)
    assert scenario.params("osc") == {"output_count": 2.0, "output_width": 1.0, "failure": 0.0}
    assert tavrel.simulate(scenario)["osc.position"][0] == pytest.approx(1.5)
    with pytest.raises(Exception, match="blocks.osc.params.output_width: must be positive"):
        tavrel.Scenario.parse(text.replace("output_width = 1", "output_width = 0"))

    sizes = subprocess.run([os.environ["TAVREL_CLI"], "sizes", str(described_plugin)],
                           check=True, capture_output=True, text=True).stdout.split()
    assert (float(sizes[2]), float(sizes[7])) == (2, 3)  # outputs and parameters by default


def test_a_rule_on_a_parameter_the_file_does_not_have_is_refused(described_plugin):
    description = described_plugin.with_suffix(".toml")
    description.write_text(DESCRIPTION.replace('positive = "output_width"',
                                               'positive = "output_widht"'))
    with pytest.raises(Exception, match=r'tavrel_fake.toml:\d+: rules\[0\].positive: no '
                                        r'parameter "output_widht"'):
        tavrel.Block(str(described_plugin), [2, 1, 0])


def test_describe_lists_shipped_and_described_blocks(described_plugin):
    assert "tavrel" in tavrel.shipped_blocks
    described = [tavrel.describe(name)["name"] for name in tavrel.shipped_blocks]
    assert described == tavrel.shipped_blocks
    rig = tavrel.describe("tavrel")
    assert rig["params"][0] == {"name": "annulus_area", "unit": "m2", "default": 0.024,
                                "meaning": "cross-section of the annulus", "read": True}
    assert [p["name"] for p in rig["inputs"] if p["direct_feedthrough"]] == [
        "displacer_velocity", "injection_flow"]
    assert tavrel.describe(str(described_plugin))["outputs"][1]["name"] == "spare"


SCENARIO = ('[simulation]\nduration = 1.0\n[blocks.osc]\nplugin = "{plugin}"\n'
            "[blocks.osc.params]\noutput_count = {count}\noutput_width = 1\nfailure = 0\n")


@pytest.mark.parametrize("edit,count,error", [
    # A second entry of one name could never be set, wired or told apart in results.csv.
    (('name = "spare"', 'name = "position"'), 2,
     r'tavrel_fake.toml:\d+: outputs\[1\].name: "position" is already outputs\[0\]'),
    (('name = "offset"', 'name = ""'), 2,
     r'tavrel_fake.toml:\d+: inputs\[0\].name: "" must be a name'),
    # A name becomes a column, a key and page text: "a.b" could not be told from "block.port".
    (('name = "offset"', 'name = "o.ff"'), 2, r'inputs\[0\].name: "o.ff" must be a name'),
    # A table rule that allows no entries, given none: refused, not read past the empty list.
    (('positive = "output_width"', 'table_from_zero = "output_count"\ncount = 0'), "[]",
     r"blocks.osc.params.output_count: must be a single number"),
])
def test_a_description_is_checked_before_use(described_plugin, edit, count, error):
    described_plugin.with_suffix(".toml").write_text(DESCRIPTION.replace(*edit))
    with pytest.raises(Exception, match=error):
        tavrel.Scenario.parse(SCENARIO.format(plugin=described_plugin, count=count))
