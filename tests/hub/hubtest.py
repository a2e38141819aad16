"""Starts satemu devices and kovrad-hub for the hub's tests and talks to the
hub over HTTP, the way a till does."""

import http.client
import json
import os
import select
import shlex
import signal
import sqlite3
import subprocess
import tempfile
import time
import unittest
import urllib.parse

HUB = os.environ["KOVRAD_HUB"]
SATEMU = os.environ["SATEMU"]
SAMPLES = os.environ["SATEMU_SAMPLES"]
CODE = "12345678"

with open(os.path.join(SAMPLES, "venda.xml"), encoding="utf-8") as sample:
    SALE = sample.read()
with open(os.path.join(SAMPLES, "cancelamento.xml"), encoding="utf-8") as sample:
    CANCELLATION = sample.read()


def read_line(stream, timeout):
    """The first line a child prints, waited for with a bound."""
    deadline = time.monotonic() + timeout
    data = b""
    while not data.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([stream], [], [], left)[0]:
            raise TimeoutError("no ready line")
        chunk = os.read(stream.fileno(), 1)
        if not chunk:
            raise RuntimeError("ended before its ready line")
        data += chunk
    return data.decode().strip()


class Satemu:
    """One emulated device under `directory`, as ttyACM<port>."""

    def __init__(self, directory, port=0, args=()):
        self.directory = directory
        errors = open(os.path.join(directory, f"satemu.{port}.err"), "ab")
        self.process = subprocess.Popen(
            [SATEMU, "--dir", directory, "--port", str(port), "--kit", *args],
            stdout=subprocess.PIPE, stderr=errors)
        errors.close()
        self.env = dict(item.split("=", 1) for item in shlex.split(read_line(self.process.stdout, 30)))
        self.serial = str(900000000 + port)
        self.port = port

    def stop(self):
        self.process.terminate()
        self.process.wait(10)
        self.process.stdout.close()


class Hub:
    """kovrad-hub on a free loopback port with the configuration `toml`."""

    def __init__(self, directory, env, toml, wait=True):
        self.directory = directory
        self.database = os.path.join(directory, "hub.db")
        self.config = os.path.join(directory, "hub.toml")
        with open(self.config, "w", encoding="utf-8") as out:
            out.write(f'porta = 0\nbanco = "{self.database}"\ncodigo_ativacao = "{CODE}"\n' + toml)
        self.errors = os.path.join(directory, "hub.err")
        self.env = dict(os.environ, **env)
        self.process = None
        if not os.path.exists(self.database):
            self.prepare()
        if wait:
            self.start()

    def prepare(self):
        """kovrad-hub preparar, as the package runs it: its exit status."""
        with open(self.errors, "ab") as errors:
            return subprocess.run([HUB, "--config", self.config, "preparar"], env=self.env,
                                  stdout=subprocess.DEVNULL, stderr=errors, timeout=30).returncode

    def start(self):
        with open(self.errors, "ab") as errors:
            self.process = subprocess.Popen([HUB, "--config", self.config], env=self.env,
                                            stdout=subprocess.PIPE, stderr=errors)
        line = read_line(self.process.stdout, 30)
        assert line.startswith("KOVRAD_HUB_URL=http"), line
        host, port = line.split("//", 1)[1].rsplit(":", 1)
        self.host, self.port = host, int(port)

    def run_to_end(self):
        """Runs the hub expecting it to refuse to start: its exit status."""
        with open(self.errors, "ab") as errors:
            return subprocess.run([HUB, "--config", self.config], env=self.env, stdout=subprocess.PIPE,
                                  stderr=errors, timeout=30).returncode

    def stop(self, sig=signal.SIGTERM):
        if self.process is None:
            return
        self.process.send_signal(sig)
        self.process.wait(30)
        self.process.stdout.close()
        self.process = None

    def log(self):
        with open(self.errors, encoding="utf-8", errors="replace") as text:
            return text.read()

    def request(self, method, path, body=None, headers=None, source=None, timeout=60):
        connection = http.client.HTTPConnection(
            self.host, self.port, timeout=timeout,
            source_address=(source, 0) if source else None)
        try:
            connection.request(method, path, body=body, headers=headers or {})
            response = connection.getresponse()
            data = response.read()
            kind = response.getheader("Content-Type", "")
            return response.status, json.loads(data) if kind.startswith("application/json") else data.decode()
        finally:
            connection.close()

    def form(self, name, fields, headers=None, **options):
        headers = dict(headers or {})
        headers["Content-Type"] = "application/x-www-form-urlencoded"
        return self.request("POST", "/hub/v1/" + name, urllib.parse.urlencode(fields), headers, **options)

    def v1(self, name, fields, headers=None, **options):
        headers = dict(headers or {})
        headers["Content-Type"] = "application/json"
        return self.request("POST", "/v1/" + name, json.dumps(fields), headers, **options)

    def ledger(self, sql, *args):
        with sqlite3.connect(self.database) as db:
            return db.execute(sql, args).fetchall()


def wait_until(predicate, timeout=60, what="condition"):
    """The first true value of `predicate`, asked every 0.1 s for at most
    `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError(what + " not met")
        time.sleep(0.1)


def fields(reply):
    return reply.split("|")


def coupon_number(reply):
    """nCFe of a sale reply's access key: digits 32 to 37."""
    key = fields(reply)[8]
    assert key.startswith("CFe") and len(key) == 47, reply
    return int(key[3:][31:37])


class HubTestCase(unittest.TestCase):
    """Each test class gets a temporary directory; the processes it starts
    are stopped at its end."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="hub-")
        cls.dir = cls.tmp.name
        cls.processes = []

    @classmethod
    def tearDownClass(cls):
        for process in reversed(cls.processes):
            try:
                process.stop()
            except Exception:  # already gone
                pass
        cls.tmp.cleanup()

    @classmethod
    def device(cls, port=0, args=()):
        device = Satemu(cls.dir, port, args)
        cls.processes.append(device)
        return device

    @classmethod
    def hub(cls, env, toml="", subdir="", wait=True):
        directory = os.path.join(cls.dir, subdir) if subdir else cls.dir
        os.makedirs(directory, exist_ok=True)
        hub = Hub(directory, env, toml, wait)
        cls.processes.append(hub)
        return hub

    def sale(self, hub, till=1, key=None, **options):
        headers = {"Idempotency-Key": key} if key else {}
        return hub.form("enviardadosvenda", {"numero_caixa": till, "dados_venda": SALE}, headers, **options)

    def assertReply(self, answer, function, code):
        status, body = answer
        self.assertEqual(status, 200, body)
        self.assertEqual(body["funcao"], function)
        self.assertEqual(fields(body["retorno"])[1], code, body["retorno"][:300])
        return body["retorno"]
