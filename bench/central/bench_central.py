#!/usr/bin/env python3
"""Shipping to the chain's central PostgreSQL: how many coupons per second
three hubs ship into one server, and how long one hub takes to drain a busy
store's day (5,000 coupons) after an outage. Prints Markdown for
docs/performance.md.

    bench/central/bench_central.py [BUILD_DIR]      (default build/default)

The server is a fresh PostgreSQL cluster of the benchmark's own, with its
syncs to disk on. Each hub's outbox is filled beforehand with copies of one
real coupon from satemu (about 6 KB of XML each, every copy under a key of
its own), then the hubs are started and timed until the central database
holds every coupon."""

import os
import sqlite3
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import hub_bench  # noqa: E402,F401

import pgtest  # noqa: E402
from hubtest import HUB, SALE, Hub, Satemu  # noqa: E402

HUBS = 3
BACKLOG = 5000


def real_coupon(directory):
    """One signed coupon from satemu through a hub: its key and XML."""
    device = Satemu(directory, 0)
    hub = Hub(directory, device.env, f'[[dispositivo]]\nserie = "{device.serial}"\nporta = 0\n')
    try:
        status, body = hub.v1("enviardadosvenda", {"numero_caixa": 1, "dados_venda": SALE})
        assert status == 200 and body["campos"]["EEEEE"] == "06000", body
        return body["campos"]["chaveConsulta"][3:], body["cfe"].encode()
    finally:
        hub.stop()
        device.stop()


def fill_outbox(hub, store, count, key, xml):
    """`count` copies of the coupon, under keys of their own, waiting."""
    with sqlite3.connect(hub.database) as db:
        for n in range(count):
            copy = key[:25] + f"{store:03d}{n:010d}" + key[38:]
            row = db.execute("INSERT INTO outbox(kind, access_key, store, device, till, issued_at, cnpj,"
                             " total, buyer, cancels) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                             ("venda", copy, f"loja-{store}", "900000000", 1, "2026-12-08 10:00:00",
                              key[6:20], "10.00", "", "")).lastrowid
            db.execute("INSERT INTO outbox_documents(id, document) VALUES(?, ?)",
                       (row, xml.replace(key.encode(), copy.encode())))


def hub_for(directory, pg, store, central=True):
    """A hub without devices (none under an empty device folder)."""
    os.makedirs(os.path.join(directory, "dev"), exist_ok=True)
    os.makedirs(os.path.join(directory, "sys"), exist_ok=True)
    env = {"KOVRAD_DEV_DIR": os.path.join(directory, "dev"), "KOVRAD_SYSFS_DIR": os.path.join(directory, "sys")}
    toml = "intervalo_status = 0\n"
    if central:
        toml += f'[central]\nconexao = "{pg.dsn}"\ntls = "disable"\nloja = "loja-{store}"\n'
    return Hub(directory, env, toml, wait=False)


def drain(pg, directories, count, key, xml):
    """Seconds from the hubs' start until central holds all their coupons."""
    hubs = []
    for store, directory in enumerate(directories):
        first = hub_for(directory, pg, store, central=False)
        first.start()  # makes the ledger and its outbox
        first.stop()
        fill_outbox(first, store, count, key, xml)
        hubs.append(hub_for(directory, pg, store))
    pg.psql("TRUNCATE kovrad.coupons")
    started = time.monotonic()
    for hub in hubs:
        hub.start()
    expected = str(count * len(hubs))
    while pg.psql("SELECT count(*) FROM kovrad.coupons") != [[expected]]:
        time.sleep(0.25)
    elapsed = time.monotonic() - started
    for hub in hubs:
        hub.stop()
    return elapsed


def main():
    try:
        pg = pgtest.Postgres(durable=True)
    except (pgtest.Unavailable, OSError, subprocess.TimeoutExpired) as reason:
        print(f"SKIPPED: PostgreSQL cannot start here: {reason}", file=sys.stderr)
        return
    try:
        with tempfile.TemporaryDirectory(prefix="bench-central-") as scratch:
            key, xml = real_coupon(scratch)
            stores = [os.path.join(scratch, f"loja-{n}") for n in range(HUBS)]
            alone = os.path.join(scratch, "sozinha")
            for directory in stores + [alone]:
                os.makedirs(directory)
            subprocess.run([HUB, "central", "preparar", "--config", hub_for(alone, pg, 0).config],
                           check=True, stdout=subprocess.DEVNULL)
            three = drain(pg, stores, BACKLOG, key, xml)
            one = drain(pg, [alone], BACKLOG, key, xml)
    finally:
        pg.close()
    rate = HUBS * BACKLOG / three
    print("### Shipping to the central database\n")
    print(f"Three hubs, each with {BACKLOG:,} coupons waiting (about {len(xml) / 1024:.1f} KB of XML each),")
    print("shipped into one PostgreSQL 15 on this machine (a cluster of its own, syncs on):\n")
    print("| Figure | Result | Goal |")
    print("|---|---|---|")
    print(f"| Coupons shipped per second, three hubs | {rate:,.0f} | at least 2,000: "
          f"{'met' if rate >= 2000 else 'not met'} |")
    print(f"| One hub's backlog of {BACKLOG:,} coupons drained | {one:.1f} s | under 30 s: "
          f"{'met' if one < 30 else 'not met'} |")
    print(f"\nBatches of 500 coupons per transaction. Figures from `bench/central/bench_central.py`, "
          f"run on {time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())}\nwith a load average of "
          f"{os.getloadavg()[0]:.2f} on the shared 2-core machine: the hubs, the server and the other\n"
          "builds share its two cores, so the rate follows the load.\n")


if __name__ == "__main__":
    main()
