"""`tavrel serve` over real sockets on 127.0.0.1: a session driven by pymodbus (an independent
client) replays bit for bit under `tavrel run`, and broken frames, illegal requests and a second
writer are refused while the server goes on and logs every row."""
import csv
import math
import os
import pathlib
import select
import socket
import struct
import subprocess
import sys
import time

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
SCENARIO = ROOT / "scenarios" / "serve_choke.toml"
sys.path.insert(0, str(ROOT / "tools"))
import csv_same_values  # noqa: E402

pymodbus_client = pytest.importorskip("pymodbus.client")


def cli():
    path = os.environ.get("TAVREL_CLI", "")
    if not os.path.isfile(path):
        pytest.fail(f"command-line tool not found at TAVREL_CLI={path!r}")
    return path


class Server:
    """`tavrel serve` on a free port of 127.0.0.1, ended (and reaped) when the test is done."""

    def __init__(self, folder, *args):
        self.folder = folder
        self.process = subprocess.Popen(
            [cli(), "serve", str(SCENARIO), "-o", str(folder), "--listen", "127.0.0.1:0", *args],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        deadline = time.monotonic() + 30
        line = ""
        while "Listening on" not in line:
            ready, _, _ = select.select([self.process.stdout], [], [], 1)
            if time.monotonic() > deadline or self.process.poll() is not None:
                self.stop()
                pytest.fail(f"no server: {self.process.stderr.read()}")
            if ready:
                line = self.process.stdout.readline()
        self.port = int(line.split("127.0.0.1:")[1].split()[0])
        with open(folder / "register_map.csv", newline="") as f:
            self.map = {row["name"]: row for row in csv.DictReader(f)}

    def address(self, name):
        return int(self.map[name]["address"])

    def finish(self, timeout=30):
        out, err = self.process.communicate(timeout=timeout)
        return self.process.returncode, out, err

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.communicate()


@pytest.fixture
def serve(tmp_path):
    servers = []

    def start(*args):
        servers.append(Server(tmp_path / "session", *args))
        return servers[-1]

    yield start
    for server in servers:
        server.stop()


def float_words(value):
    return list(struct.unpack(">2H", struct.pack(">f", value)))


def rows_of(path):
    with open(path) as f:
        return list(csv.reader(f))[1:]


def test_lockstep_session_replays_bit_for_bit(serve, tmp_path):
    server = serve("--lockstep", "--duration", "4")
    client = pymodbus_client.ModbusTcpClient("127.0.0.1", port=server.port, timeout=5)
    assert client.connect()
    setpoint, advance = server.address("rig.choke_setpoint"), server.address("advance")
    refusals = []
    for step in range(80):
        if step < 20:  # then silent: after the 2 s timeout the setpoint falls back
            value = math.nan if step == 7 else 0.3 + 0.2 * math.sin(step / 3)
            reply = client.write_registers(setpoint, float_words(value), slave=1)
            if reply.isError():
                refusals.append(reply.exception_code)
        assert not client.write_registers(advance, [1], slave=1).isError()
        deadline = time.monotonic() + 10
        while True:
            words = client.read_input_registers(server.address("step"), 2, slave=1).registers
            if (words[0] << 16 | words[1]) == step + 1:
                break
            assert time.monotonic() < deadline, "the server did not advance"
    client.close()
    code, out, err = server.finish()
    assert code == 0, err
    assert refusals == [3], "the NaN write is refused with exception 3"
    run = subprocess.run([cli(), "run", str(server.folder / "replay.toml"), "-o",
                          str(tmp_path / "replay"), "-q", "--no-figures"],
                         capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    assert csv_same_values.main(server.folder / "results.csv",
                                tmp_path / "replay" / "results.csv") is None
    events = [row[3] for row in rows_of(server.folder / "events.csv")]
    for kind in ("connect", "write", "refused", "client", "fall-back", "disconnect"):
        assert kind in events, kind


def frame(pdu, length=None, transaction=1):
    length = len(pdu) + 1 if length is None else length
    return struct.pack(">HHHB", transaction, 0, length, 1) + pdu


def exchange(port, data, wait=2.0, keep=None):
    """Sends `data` on a new connection; the answer, or None when the server closed it."""
    sock = keep or socket.create_connection(("127.0.0.1", port), timeout=wait)
    sock.settimeout(wait)
    sock.sendall(data)
    try:
        answer = sock.recv(300)
    except socket.timeout:
        answer = b"(no answer)"
    if keep is None:
        sock.close()
    return answer or None


def exception_code(answer):
    return answer[8] if answer and len(answer) >= 9 and answer[7] & 0x80 else None


def test_broken_frames_and_illegal_requests_leave_the_server_answering(serve):
    server = serve("--lockstep", "--duration", "1")
    setpoint = server.address("rig.choke_setpoint")
    write_nan = frame(struct.pack(">BHHB", 16, setpoint, 2, 4) + struct.pack(">f", math.nan))
    writer = socket.create_connection(("127.0.0.1", server.port), timeout=5)
    good = frame(struct.pack(">BHHB", 16, setpoint, 2, 4) + struct.pack(">f", 0.4))
    assert exception_code(exchange(server.port, good, keep=writer)) is None
    cases = [  # what, bytes, the exception code (None: the connection is closed)
        ("protocol identifier 7", struct.pack(">HHHB", 1, 7, 6, 1) + bytes([4, 0, 0, 0, 2]), None),
        ("truncated frame", frame(bytes([4, 0, 0, 0, 2]))[:9], None),
        ("oversized frame", frame(bytes([16, 0, 1, 0, 127, 254]) + bytes(254)), None),
        ("header longer than its frame", frame(bytes([4, 0, 0, 0, 2]), length=200), None),
        ("read past the map", frame(struct.pack(">BHH", 4, 1000, 2)), 2),
        ("write to no value", frame(struct.pack(">BHH", 6, setpoint + 1, 1)), 2),
        ("not a number", write_nan, 3),
        ("second writer", good, 4),
        ("function 43", frame(bytes([43, 14, 1, 0])), 1),
    ]
    read_step = frame(struct.pack(">BHH", 4, server.address("step"), 2))
    for what, data, code in cases:
        answer = exchange(server.port, data)
        if code is None:
            assert answer is None or exception_code(answer) is not None, what
        else:
            assert exception_code(answer) == code, what
        assert exception_code(exchange(server.port, read_step)) is None, f"after {what}"
    advance = frame(struct.pack(">BHH", 6, server.address("advance"), 20))
    assert exception_code(exchange(server.port, advance, keep=writer)) is None
    writer.close()
    code, out, err = server.finish()
    assert code == 0, err
    times = [float(row[0]) for row in rows_of(server.folder / "results.csv")]
    assert times == [0.05 * k for k in range(21)], "a row per interval, none lost"
    events = rows_of(server.folder / "events.csv")
    assert sum(row[3] == "closed" for row in events) >= 3


def test_stop_signal_leaves_complete_files(serve):
    server = serve("--speed", "4")
    time.sleep(0.5)
    server.process.send_signal(2)
    code, out, err = server.finish()
    assert code == 130, err
    rows = rows_of(server.folder / "results.csv")
    assert len(rows) >= 2
    assert "interrupted" in (server.folder / "summary.txt").read_text()
    assert (server.folder / "replay.toml").is_file()


def test_example_controller_closes_the_loop_in_lockstep(serve):
    server = serve("--lockstep", "--duration", "3")
    example = ROOT / "examples" / "modbus_pi_controller.py"
    run = subprocess.run([sys.executable, str(example), "--map", str(server.folder /
                          "register_map.csv"), "--port", str(server.port), "--lockstep"],
                         capture_output=True, text=True, timeout=60)
    # a sample at each step; the last one's may come after the server said it stopped
    assert run.stdout.split()[-2] in ("60", "61"), run.stdout + run.stderr
    code, out, err = server.finish()
    assert code == 0, err
    setpoints = [float(row[1]) for row in rows_of(server.folder / "results.csv")]  # the setpoint
    assert len(set(setpoints[2:])) > 50, "the controller moves the setpoint at every step"
