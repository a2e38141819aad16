"""A chain of three stores shipping to one central PostgreSQL while they
sell: three hubs with two satemu each. Every coupon sold reaches the central
database once, through the central server stopped and started again, a hub
killed in the middle of a batch and started again, and a batch sent twice;
and the stores sell throughout, also while the central database holds
their batches waiting. The accountant's bundle is made from it across the
stores."""

import collections
import os
import select
import subprocess
import threading
import time
import unittest
import zipfile

import pgtest
from hubtest import HUB, SALE, HubTestCase, fields, wait_until

STORES = 3
SALES_PER_TILL = 3


def metric(hub, name):
    status, text = hub.request("GET", "/metrics")
    assert status == 200, text
    for line in text.splitlines():
        if line.startswith(name + " "):
            return float(line.split()[1])
    return None


class CentralTest(HubTestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.pg = pgtest.start_or_skip(tls=True)
        try:
            cls.stores = []
            for store in range(STORES):
                devices = [cls.device(2 * store), cls.device(2 * store + 1)]
                toml = "intervalo_status = 2\n" + "".join(
                    f'[[dispositivo]]\nserie = "{d.serial}"\nporta = {d.port}\n' for d in devices)
                toml += f'[caixas]\n1 = "{devices[0].serial}"\n2 = "{devices[1].serial}"\n'
                toml += (f'[central]\nconexao = "{cls.pg.dsn} application_name=loja-{store}"\n'
                         f'tls = "disable"\nloja = "loja-{store}"\nlote = 7\n')
                hub = cls.hub(devices[0].env, toml, subdir=f"loja-{store}", wait=False)
                cls.stores.append((hub, devices))
        except Exception:
            cls.pg.close()
            raise

    @classmethod
    def tearDownClass(cls):
        try:
            super().tearDownClass()
        finally:
            cls.pg.close()

    def setUp(self):
        self.sold = {}  # access key -> (store, device serial, till)
        self.latencies = collections.defaultdict(list)

    def prepare(self, hub):
        result = subprocess.run([HUB, "central", "preparar", "--config", hub.config],
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout

    def sell(self, phase, stores=None):
        """SALES_PER_TILL sales on each till of each store, all at once."""
        failures = []

        def till(store, number):
            hub, devices = self.stores[store]
            for _ in range(SALES_PER_TILL):
                started = time.monotonic()
                status, body = hub.form("enviardadosvenda", {"numero_caixa": number, "dados_venda": SALE})
                self.latencies[phase].append(time.monotonic() - started)
                reply = body.get("retorno", "") if isinstance(body, dict) else body
                if status != 200 or fields(reply)[1] != "06000":
                    failures.append((store, number, status, str(body)[:200]))
                    continue
                key = fields(reply)[8][3:]
                self.sold[key] = (f"loja-{store}", devices[number - 1].serial, number)

        threads = [threading.Thread(target=till, args=(s, n))
                   for s in (stores if stores is not None else range(STORES)) for n in (1, 2)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(120)
        self.assertEqual(failures, [], phase)

    def drained(self):
        return all(metric(hub, "kovrad_hub_central_pendentes") == 0 for hub, _ in self.stores)

    def central(self):
        return {key: (store, device, int(till)) for key, store, device, till in self.pg.psql(
            "SELECT access_key, store, device, till FROM kovrad.coupons WHERE kind = 'venda'")}

    def test_tls_is_verified_as_configured(self):
        def prepare(settings):
            config = os.path.join(self.dir, "tls.toml")
            with open(config, "w", encoding="utf-8") as out:
                out.write(f'[central]\nconexao = "{self.pg.dsn}"\nloja = "tls"\n{settings}')
            return subprocess.run([HUB, "central", "preparar", "--config", config],
                                  capture_output=True, text=True, timeout=60)

        self.assertEqual(prepare(f'tls_ca = "{self.pg.certificate}"\n').returncode, 0)
        # The default verifies the server's certificate: without its CA, no connection.
        stranger = prepare(f'tls_ca = "{pgtest.__file__}"\n')
        self.assertEqual(stranger.returncode, 1, stranger.stdout)
        self.assertIn("banco central", stranger.stderr)

    def test_every_coupon_reaches_central_once(self):
        first = self.prepare(self.stores[0][0])
        self.assertIn("aplicada a versão 1", first)
        self.assertNotIn("aplicada", self.prepare(self.stores[1][0]))
        for hub, _ in self.stores:
            hub.start()

        self.sell("up")
        wait_until(self.drained, what="backlog shipped")
        self.assertEqual(self.central(), self.sold)

        # The central server away: the stores sell, their outboxes fill.
        self.pg.stop()
        self.sell("central down")
        for hub, _ in self.stores:
            wait_until(lambda: metric(hub, "kovrad_hub_central_conectado") == 0, what="disconnected")
            self.assertGreater(metric(hub, "kovrad_hub_central_pendentes"), 0)
        self.pg.start()
        wait_until(self.drained, what="backlog shipped after the outage")
        self.assertEqual(self.central(), self.sold)

        # Batches held in the central database by a lock; the stores sell
        # meanwhile, and the first store's hub dies in the middle of its batch.
        holder = subprocess.Popen(
            [os.path.join(self.pg.bin, "psql"), "-X", "-q", "-At", "-h", "127.0.0.1", "-p",
             str(self.pg.port), "-U", pgtest.USER, "-d", "central"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        try:
            holder.stdin.write("BEGIN; LOCK TABLE kovrad.coupons IN EXCLUSIVE MODE; SELECT 'preso';\n")
            holder.stdin.flush()
            self.assertTrue(select.select([holder.stdout], [], [], 30)[0])
            self.assertEqual(holder.stdout.readline().strip(), "preso")
            self.sell("batches held")
            wait_until(lambda: self.pg.psql(
                "SELECT count(*) FROM pg_stat_activity WHERE application_name = 'loja-0'"
                " AND wait_event_type = 'Lock'") == [["1"]], what="batch waiting on the lock")
            hub, _ = self.stores[0]
            hub.process.kill()
            hub.process.wait(30)
            hub.process.stdout.close()
            hub.process = None
        finally:
            holder.stdin.write("COMMIT;\n")
            holder.stdin.close()
            holder.wait(30)
        self.stores[0][0].start()
        self.sell("after the kill")
        wait_until(self.drained, what="backlog shipped after the kill")
        self.assertEqual(self.central(), self.sold)

        # Everything a store has shipped, sent again, is taken once.
        hub, _ = self.stores[1]
        hub.stop()
        hub.ledger("UPDATE outbox SET shipped = 0 WHERE kind = 'venda'")
        self.assertGreater(hub.ledger("SELECT count(*) FROM outbox WHERE shipped = 0")[0][0], 0)
        # An entry the server cannot take is set aside and holds up none of the others.
        hub.ledger("INSERT INTO outbox(kind, access_key, store, device, till, issued_at, cnpj, total,"
                   " buyer, cancels) SELECT kind, '9' || substr(access_key, 2), store, device, till,"
                   " issued_at, cnpj, 'não é número', buyer, cancels FROM outbox WHERE kind = 'venda' LIMIT 1")
        hub.ledger("INSERT INTO outbox_documents(id, document) SELECT max(id), x'3c43466520' FROM outbox")
        hub.ledger("INSERT INTO outbox(kind, access_key, store, device, till, issued_at, cnpj, total,"
                   " buyer, cancels) SELECT kind, '8' || substr(access_key, 2), store, device, till,"
                   " issued_at, cnpj, total, buyer, cancels FROM outbox WHERE kind = 'venda' LIMIT 1")
        hub.ledger("INSERT INTO outbox_documents(id, document) SELECT max(id), x'3c43466520' FROM outbox")
        hub.start()
        wait_until(self.drained, what="the store's outbox sent again")
        self.assertEqual(metric(hub, "kovrad_hub_central_recusados_total"), 1)
        self.assertEqual(self.pg.psql("SELECT count(*) FROM kovrad.coupons WHERE access_key LIKE '8%'"), [["1"]])
        self.pg.psql("DELETE FROM kovrad.coupons WHERE access_key LIKE '8%'")
        self.assertEqual(self.pg.psql("SELECT count(*), count(DISTINCT access_key) FROM kovrad.coupons"
                                      " WHERE kind = 'venda'"), [[str(len(self.sold))] * 2])
        self.assertEqual(self.central(), self.sold)

        # The coupons are the devices' own XML, and each store's devices
        # sent their status too.
        self.assertEqual(self.pg.psql(
            "SELECT count(*) FROM kovrad.coupons WHERE position(convert_to(access_key, 'UTF8') in xml) = 0"
            " OR position('\\x3c2f4346653e'::bytea in xml) = 0"), [["0"]])
        self.assertEqual(sorted(row[0] for row in self.pg.psql(
            "SELECT DISTINCT store FROM kovrad.device_status")), [f"loja-{n}" for n in range(STORES)])

        # The accountant's bundle of the taxpayer's month, from all its stores.
        key = next(iter(self.sold))
        bundle = os.path.join(self.dir, "contador.zip")
        result = subprocess.run(
            [HUB, "central", "exportar", "--mes", f"20{key[2:4]}-{key[4:6]}", "--cnpj", key[6:20],
             "--saida", bundle, "--config", hub.config], capture_output=True, text=True, timeout=120,
            env=dict(os.environ, LSAN_OPTIONS="suppressions=" + os.path.join(os.path.dirname(__file__),
                                                                           "fontconfig.supp")))
        self.assertEqual(result.returncode, 0, result.stderr)
        with zipfile.ZipFile(bundle) as archive:
            sales = sorted(name for name in archive.namelist() if name.startswith("vendas/"))
            self.assertEqual(sales, sorted(f"vendas/CFe{k}.xml" for k in self.sold))
            stored = self.pg.psql(f"SELECT encode(xml, 'hex') FROM kovrad.coupons WHERE access_key = '{key}'")
            self.assertEqual(archive.read(f"vendas/CFe{key}.xml").hex(), stored[0][0])

        for phase, seconds in self.latencies.items():
            seconds.sort()
            print(f"{phase}: {len(seconds)} sales, median {seconds[len(seconds) // 2] * 1000:.0f} ms,"
                  f" slowest {seconds[-1] * 1000:.0f} ms")


if __name__ == "__main__":
    unittest.main()
