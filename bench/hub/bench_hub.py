#!/usr/bin/env python3
"""kovrad-hub's cost: ConsultarSAT and a sale through the hub beside the
same calls made directly through the library, in one run, and how many
status queries per second the hub serves across two emulated devices.
Prints Markdown for docs/performance.md.

    bench/hub/bench_hub.py [BUILD_DIR]      (default build/default)

Both sides are driven from Python (http.client with a kept-alive connection;
ctypes for the library), so the hub's figures include the client's own
time for HTTP."""

import ctypes
import glob
import http.client
import os
import statistics
import sys
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from hub_bench import BUILD  # noqa: E402

from hubtest import CODE, SALE, Hub, Satemu  # noqa: E402

STATUS_CALLS = 500
SALE_CALLS = 60
THROUGHPUT_SECONDS = 5
CLIENTS = 8


def quantiles(times):
    times = sorted(times)
    return statistics.median(times), times[min(len(times) - 1, int(0.99 * len(times)))]


def timed(count, call):
    times = []
    for _ in range(count):
        start = time.perf_counter()
        call()
        times.append((time.perf_counter() - start) * 1000)
    return quantiles(times)


class Till:
    """One till's kept-alive connection to the hub."""

    def __init__(self, hub, number):
        self.connection = http.client.HTTPConnection(hub.host, hub.port, timeout=60)
        self.number = number

    def call(self, name, fields, expect):
        body = urllib.parse.urlencode(dict(fields, numero_caixa=self.number))
        self.connection.request("POST", "/hub/v1/" + name, body,
                                {"Content-Type": "application/x-www-form-urlencoded"})
        response = self.connection.getresponse()
        data = response.read()
        if response.status != 200 or f"|{expect}|".encode() not in data:
            raise RuntimeError(data[:200])


def direct_library(dev_dir):
    library = ctypes.CDLL(glob.glob(os.path.join(BUILD, "library/libkovrad.so.*.*"))[0])
    library.ConsultarSAT.restype = ctypes.c_char_p
    library.EnviarDadosVenda.restype = ctypes.c_char_p
    library.EnviarDadosVenda.argtypes = [ctypes.c_int32, ctypes.c_char_p, ctypes.c_char_p]
    os.environ["KOVRAD_DEV_DIR"] = dev_dir
    library.AbreSerialSAT(0, 0, 0, 0, 0)
    session = iter(range(1, 1 << 30))
    sale = SALE.encode()

    def status():
        assert b"|08000|" in library.ConsultarSAT(next(session))

    def sell():
        assert b"|06000|" in library.EnviarDadosVenda(next(session), CODE.encode(), sale)

    return status, sell


def throughput(hub):
    counts = [0] * CLIENTS
    deadline = time.monotonic() + THROUGHPUT_SECONDS

    def client(index):
        till = Till(hub, 1 + index % 2)
        while time.monotonic() < deadline:
            till.call("consultarsat", {}, "08000")
            counts[index] += 1

    threads = [threading.Thread(target=client, args=(i,)) for i in range(CLIENTS)]
    start = time.monotonic()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    return sum(counts) / (time.monotonic() - start)


def main():
    import tempfile
    with tempfile.TemporaryDirectory(prefix="bench-hub-") as directory:
        devices = [Satemu(directory, 0), Satemu(directory, 1)]
        hub = Hub(directory, devices[0].env,
                  '[[dispositivo]]\nserie = "900000000"\nporta = 0\n'
                  '[[dispositivo]]\nserie = "900000001"\nporta = 1\n'
                  '[caixas]\n1 = "900000000"\n2 = "900000001"\n'
                  # Every client is on one address: its rate is what is measured.
                  '[limites]\nrequisicoes_por_segundo = 100000\n')
        try:
            status, sell = direct_library(devices[0].env["KOVRAD_DEV_DIR"])
            till = Till(hub, 1)
            for _ in range(20):
                status()
                till.call("consultarsat", {}, "08000")
            rows = [
                ("ConsultarSAT", "library", STATUS_CALLS, timed(STATUS_CALLS, status)),
                ("ConsultarSAT", "hub", STATUS_CALLS,
                 timed(STATUS_CALLS, lambda: till.call("consultarsat", {}, "08000"))),
                ("EnviarDadosVenda", "library", SALE_CALLS, timed(SALE_CALLS, sell)),
                ("EnviarDadosVenda", "hub", SALE_CALLS,
                 timed(SALE_CALLS, lambda: till.call("enviardadosvenda", {"dados_venda": SALE}, "06000"))),
            ]
            rate = throughput(hub)
        finally:
            hub.stop()
            for device in devices:
                device.stop()

    print("### kovrad-hub beside the library\n")
    print("The same calls against satemu, one at a time, directly through the library (ctypes) and")
    print("through the hub (http.client, kept-alive connection; the ledger written for each call).\n")
    print("| Function | Path | Calls | Median | 99th percentile |")
    print("|---|---|---:|---:|---:|")
    for function, path, calls, (median, p99) in rows:
        print(f"| {function} | {path} | {calls} | {median:.3f} ms | {p99:.3f} ms |")
    added = rows[1][3][0] - rows[0][3][0]
    print(f"\nThe hub adds {added:.3f} ms to ConsultarSAT at the median"
          f" (target: under 1 ms: {'met' if added < 1 else 'not met'}).\n")
    print(f"ConsultarSAT from {CLIENTS} clients across two satemu devices for {THROUGHPUT_SECONDS} s:"
          f" {rate:.0f} per second (target: at least 500: {'met' if rate >= 500 else 'not met'}).")


if __name__ == "__main__":
    main()
