"""The exported FMUs as files: modelDescription.xml against the FMI 2.0 rules, the archive's
layout, and a copy in a clean folder loaded with LD_LIBRARY_PATH unset (the example importer
reproducing `tavrel run`)."""
import json
import os
import pathlib
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET
import zipfile

import pytest

CLI = os.environ["TAVREL_CLI"]
EXAMPLES = pathlib.Path(os.environ["TAVREL_EXAMPLES"])
BLOCKS = os.environ["TAVREL_SHIPPED_BLOCKS"].split(",")

# Allowed (causality, variability) -> initial values; None: no initial attribute.
ALLOWED_INITIAL = {
    ("parameter", "fixed"): {"exact"}, ("parameter", "tunable"): {"exact"},
    ("calculatedParameter", "fixed"): {"calculated", "approx"},
    ("calculatedParameter", "tunable"): {"calculated", "approx"},
    ("input", "discrete"): {None}, ("input", "continuous"): {None},
    ("output", "constant"): {"exact"},
    ("output", "discrete"): {"calculated", "exact", "approx"},
    ("output", "continuous"): {"calculated", "exact", "approx"},
    ("local", "constant"): {"exact"},
    ("local", "fixed"): {"calculated", "approx"}, ("local", "tunable"): {"calculated", "approx"},
    ("local", "discrete"): {"calculated", "exact", "approx"},
    ("local", "continuous"): {"calculated", "exact", "approx"},
    ("independent", "continuous"): {None},
}


@pytest.fixture(scope="module")
def fmus(tmp_path_factory):
    folder = tmp_path_factory.mktemp("fmus")
    for block in BLOCKS:
        subprocess.run([CLI, "fmu", block, "-o", str(folder / f"{block}.fmu")], check=True,
                       capture_output=True)
    return folder


def description(fmus, block):
    with zipfile.ZipFile(fmus / f"{block}.fmu") as archive:
        names = set(archive.namelist())
        return ET.fromstring(archive.read("modelDescription.xml")), names


def variables(root):
    return list(root.find("ModelVariables"))


@pytest.mark.parametrize("block", BLOCKS)
def test_model_description_keeps_the_rules(fmus, block):
    root, names = description(fmus, block)
    assert root.get("fmiVersion") == "2.0" and root.get("guid")
    for interface in ("ModelExchange", "CoSimulation"):
        identifier = root.find(interface).get("modelIdentifier")
        assert f"binaries/linux64/{identifier}.so" in names
    units = {u.get("name") for u in root.iter("Unit")}
    types = {t.get("name") for t in root.iter("SimpleType")}
    seen_names, seen_refs = set(), set()
    for var in variables(root):
        value = var[0]
        assert var.get("name") not in seen_names, var.get("name")
        seen_names.add(var.get("name"))
        ref = (value.tag if value.tag == "Real" else "Integer", var.get("valueReference"))
        assert ref not in seen_refs, ref
        seen_refs.add(ref)
        causality = var.get("causality", "local")
        variability = var.get("variability", "continuous")
        initial = var.get("initial")
        assert initial in ALLOWED_INITIAL[(causality, variability)], var.get("name")
        needs_start = initial in ("exact", "approx") or causality == "input"
        assert (value.get("start") is not None) == needs_start, var.get("name")
        assert value.get("unit") is None or value.get("unit") in units, var.get("name")
        assert value.get("declaredType") is None or value.get("declaredType") in types


@pytest.mark.parametrize("block", BLOCKS)
def test_model_structure_lists_every_unknown(fmus, block):
    root, _ = description(fmus, block)
    all_vars = variables(root)
    index = {i + 1: v for i, v in enumerate(all_vars)}
    outputs = [i for i, v in index.items() if v.get("causality") == "output"]
    derivatives = [i for i, v in index.items() if v[0].get("derivative")]
    states = [int(index[i][0].get("derivative")) for i in derivatives]
    inputs = [i for i, v in index.items() if v.get("causality") == "input"]
    structure = root.find("ModelStructure")

    def unknowns(section):
        return [int(u.get("index")) for u in structure.find(section)]

    assert unknowns("Outputs") == outputs
    assert unknowns("Derivatives") == derivatives
    assert unknowns("InitialUnknowns") == sorted(outputs + derivatives + states)
    for state in states:
        assert index[state].get("variability", "continuous") == "continuous"
    for unknown in structure.find("Outputs"):
        dependencies = {int(d) for d in unknown.get("dependencies").split()}
        assert dependencies <= set(states) | set(inputs)


def test_rig_variables_carry_the_blocks_names_and_units(fmus):
    root, _ = description(fmus, "tavrel")
    by_name = {v.get("name"): v for v in variables(root)}
    expected = {"choke_setpoint": ("input", "1"), "bottom_pressure": ("output", "Pa"),
                "sensor_pressure[2]": ("output", "Pa"), "annulus_length": ("parameter", "m"),
                "sensor_positions[1]": ("parameter", "m"), "w_up[0]": ("local", None),
                "num_fixed_outputs": ("local", "1"), "choke_opening_state": ("local", "1"),
                "der(bottom_velocity_lag)": ("local", "m/s2")}
    for name, (causality, unit) in expected.items():
        assert by_name[name].get("causality") == causality, name
        if unit:
            assert by_name[name][0].get("unit") == unit, name
    assert by_name["sensor_positions[1]"][0].get("start") == "1000"
    assert by_name["annulus_length"].get("description") == "length of the annulus"
    assert by_name["num_fixed_outputs"].get("variability") == "constant"


def default_params(fmus):
    with zipfile.ZipFile(fmus / "tavrel.fmu") as archive:
        layout = archive.read("resources/block_layout.txt").decode().splitlines()
    return {line.split()[1]: [float(v) for v in line.split()[3:]]
            for line in layout if line.startswith("param ")}


def export(tmp_path, params, *args):
    (tmp_path / "p.json").write_text(json.dumps(list(params.values())))
    out = tmp_path / "x.fmu"
    result = subprocess.run([CLI, "fmu", "tavrel", "-o", str(out), "--params",
                             str(tmp_path / "p.json"), *args], capture_output=True, text=True)
    return result, out


def test_guid_follows_the_structure_not_the_values(fmus, tmp_path):
    params = default_params(fmus)

    def guid(**changed):
        result, out = export(tmp_path, {**params, **changed})
        assert result.returncode == 0, result.stderr
        return ET.fromstring(zipfile.ZipFile(out).read("modelDescription.xml")).get("guid")

    default = description(fmus, "tavrel")[0].get("guid")
    assert guid() == default
    assert guid(annulus_length=[2500.0], sensor_positions=[0, 500, 1000, 1500]) == default
    assert guid(sensor_positions=[0, 1000, 2000]) != default
    assert guid(num_fixed_outputs=[8]) != default


@pytest.mark.parametrize("interface, present, absent", [
    ("me", "ModelExchange", "CoSimulation"), ("cs", "CoSimulation", "ModelExchange")])
def test_interface_option_describes_one_interface(fmus, tmp_path, interface, present, absent):
    result, out = export(tmp_path, default_params(fmus), "--interface", interface)
    assert result.returncode == 0, result.stderr
    root = ET.fromstring(zipfile.ZipFile(out).read("modelDescription.xml"))
    assert root.find(present) is not None and root.find(absent) is None


@pytest.mark.parametrize("change, args, mentions", [
    ({"sensor_positions": [0, 5000]}, [], "sensor_positions"),
    ({}, ["--interface", "fm"], "--interface"),
    ({"choke_characteristic": [0]}, [], "choke_characteristic"),
])
def test_export_failure_names_the_problem_and_writes_nothing(fmus, tmp_path, change, args,
                                                             mentions):
    result, out = export(tmp_path, {**default_params(fmus), **change}, *args)
    assert result.returncode != 0 and mentions in result.stderr, result.stderr
    assert not out.exists() and list(tmp_path.iterdir()) == [tmp_path / "p.json"]


def test_copy_in_a_clean_folder_runs_without_the_build_tree(fmus, tmp_path):
    reference = tmp_path / "run"
    subprocess.run([CLI, "run", "-q", "-o", str(reference)], check=True, capture_output=True)
    clean = tmp_path / "clean"
    clean.mkdir()
    shutil.copy(fmus / "tavrel.fmu", clean)
    shutil.copy(EXAMPLES / "fmu_import.py", clean)
    env = {k: v for k, v in os.environ.items()
           if k not in ("LD_LIBRARY_PATH", "TAVREL_PLUGIN_PATH", "PYTHONPATH")}
    result = subprocess.run(
        [sys.executable, "fmu_import.py", "tavrel.fmu", "--compare",
         str(reference / "results.csv")], cwd=clean, env=env, capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    worst = float(result.stdout.split("results.csv: ")[1])
    assert worst < 1e-5
    assert "Initial choke opening" in result.stderr
