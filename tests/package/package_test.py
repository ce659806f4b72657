"""The Debian package as a user meets it: packed by CPack, passed by lintian without an error,
unpacked with dpkg-deb into an empty root, and used from an empty folder outside the source and
build trees with only that root on PATH and PYTHONPATH. The manual page and the completion cover
every subcommand; the installed tool runs the default scenario to the build tree's numbers
(reading nothing from either tree, as strace shows), a shipped study on 2 jobs and an FMU
export; the installed Python package simulates; a user's block built against the installed kit
with find_package(tavrel) runs in a scenario to the numbers of the shipped copy."""
import glob
import gzip
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

BUILD, SOURCE = (os.path.realpath(p) for p in sys.argv[1:3])
SAME_VALUES = os.path.join(SOURCE, "tools", "csv_same_values.py")


def run(args, cwd, env=None, timeout=600):
    result = subprocess.run(args, cwd=cwd, env=env, capture_output=True, text=True,
                            timeout=timeout)
    if result.returncode != 0:
        sys.exit(f"{' '.join(args)} failed ({result.returncode}):\n{result.stdout}{result.stderr}")
    return result.stdout


def same_values(left, right):
    run([sys.executable, SAME_VALUES, left, right], cwd="/")


def unpacked_package(top):
    run(["cpack", "-G", "DEB", "--config", os.path.join(BUILD, "CPackConfig.cmake"),
         "-B", os.path.join(top, "deb")], cwd=BUILD)
    (deb,) = glob.glob(os.path.join(top, "deb", "tavrel_*.deb"))
    run(["lintian", "--fail-on", "error", deb], cwd=top)
    root = os.path.join(top, "root")
    run(["dpkg-deb", "-x", deb, root], cwd=top)
    return root


def user_environment(root):
    env = {k: v for k, v in os.environ.items()
           if not k.startswith("TAVREL_") and k not in ("PYTHONPATH", "LD_LIBRARY_PATH")}
    env["PATH"] = os.path.join(root, "usr", "bin") + ":/usr/bin:/bin"
    env["PYTHONPATH"] = os.path.join(root, "usr", "lib", "python3", "dist-packages")
    return env


def check_reads_nothing_of_the_trees(trace):
    with open(trace) as f:
        lines = [line for line in f if SOURCE in line or BUILD in line]
    if lines:
        sys.exit("the installed tool read the source or build tree:\n" + "".join(lines[:10]))


def check_documents(root, work, env):
    """Every subcommand the tool lists has its part of the manual page and its completion."""
    usage = run(["tavrel", "--help"], work, env).split("Subcommands:")[1]
    commands = [line.split()[0] for line in usage.splitlines() if line.strip()]
    completion = os.path.join(root, "usr/share/bash-completion/completions/tavrel")
    run(["bash", "-n", completion], work)
    with open(completion) as f:
        completion = f.read()
    with gzip.open(os.path.join(root, "usr/share/man/man1/tavrel.1.gz"), "rt") as f:
        manual = f.read()
    missing = [c for c in commands if f"\n        {c}) words=" not in completion
               or '.SS "tavrel ' + c.replace("-", "\\-") + '"' not in manual]
    assert commands and not missing, (commands, missing)


def check_run(root, work, env):
    command = ["tavrel", "run", "-q", "-o", "run"]
    if shutil.which("strace"):
        command = ["strace", "-f", "-qq", "-o", "trace.txt", "-e", "trace=openat,execve"] + command
    run(command, work, env)
    if shutil.which("strace"):
        check_reads_nothing_of_the_trees(os.path.join(work, "trace.txt"))
    assert os.path.isfile(os.path.join(work, "run", "results.png")), "no figure drawn"
    run([os.path.join(BUILD, "bin", "tavrel"), "run", "-q", "--no-figures", "-o", "build_run"],
        work)
    same_values(os.path.join(work, "run", "results.csv"),
                os.path.join(work, "build_run", "results.csv"))


def check_study_fmu_python(root, work, env):
    study = os.path.join(root, "usr", "share", "tavrel", "studies", "period_sweep.toml")
    run(["tavrel", "study", study, "-o", "study", "--jobs", "2", "-q", "--no-figures"], work, env)
    with open(os.path.join(work, "study", "study.csv")) as f:
        rows = f.read().splitlines()[1:]
    assert len(rows) == 22 and all(",ok," in row for row in rows), rows
    run(["tavrel", "fmu", "tavrel", "-o", "tavrel.fmu"], work, env)
    with zipfile.ZipFile(os.path.join(work, "tavrel.fmu")) as fmu:
        assert "binaries/linux64/tavrel.so" in fmu.namelist(), fmu.namelist()
    where = run(["/usr/bin/python3", "-c",
                 "import tavrel; tavrel.simulate(tavrel.Scenario.default()).to_csv('py.csv');"
                 " print(tavrel.__file__)"], work, env)
    assert where.startswith(root), where
    same_values(os.path.join(work, "py.csv"), os.path.join(work, "run", "results.csv"))


def check_user_block(root, work, env):
    shared = os.path.join(root, "usr", "share", "tavrel")
    shutil.copytree(os.path.join(shared, "examples", "blocks"), os.path.join(work, "blocks"))
    run(["cmake", "-S", "blocks", "-B", "blocks-build", "-G", "Ninja",
         "-DCMAKE_PREFIX_PATH=" + os.path.join(root, "usr")], work, env)
    run(["cmake", "--build", "blocks-build"], work, env)
    with open(os.path.join(shared, "scenarios", "closed_loop_plugin.toml")) as f:
        scenario = f.read()
    mine = scenario.replace('plugin = "pi_choke_controller"',
                            'plugin = "blocks-build/pi_choke_controller.mexa64"')
    assert mine != scenario
    with open(os.path.join(work, "mine.toml"), "w") as f:
        f.write(mine)
    run(["tavrel", "run", "mine.toml", "-q", "--no-figures", "-o", "mine"], work, env)
    run(["tavrel", "run", os.path.join(shared, "scenarios", "closed_loop_plugin.toml"), "-q",
         "--no-figures", "-o", "shipped"], work, env)
    same_values(os.path.join(work, "mine", "results.csv"),
                os.path.join(work, "shipped", "results.csv"))


def main():
    with tempfile.TemporaryDirectory(prefix="tavrel-package-") as top:
        root = unpacked_package(top)
        work = os.path.join(top, "work")
        os.mkdir(work)
        env = user_environment(root)
        version = run(["tavrel", "--version"], work, env)
        assert version.startswith("tavrel ") and "(commit " in version, version
        check_documents(root, work, env)
        check_run(root, work, env)
        check_study_fmu_python(root, work, env)
        check_user_block(root, work, env)


if __name__ == "__main__":
    main()
