"""kovrad-hub when things go wrong: a device silent during a sale, a worker
killed with calls queued, the hub itself killed during sales."""

import os
import signal
import threading
import time
import unittest

from hubtest import SALE, HubTestCase, coupon_number, fields


def status_coupon(hub, till):
    """The number of the device's last coupon, from its status."""
    status, body = hub.v1("consultarstatusoperacional", {"numero_caixa": till})
    assert status == 200, body
    key = body["campos"]["ULTIMO_CF_E_SAT"]
    return int(key[31:37]) if key.strip("0") else 0


def wait_for(predicate, timeout=20):
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            raise TimeoutError("condition not met")
        time.sleep(0.05)


class SilentDeviceTest(HubTestCase):
    def test_a_sale_without_reply_is_recovered_by_its_session(self):
        sat = self.device(args=("--fault", "silent", "--fault-only", "EnviarDadosVenda"))
        hub = self.hub(sat.env, f'[[dispositivo]]\nserie = "{sat.serial}"\nporta = 0\n')
        # The library gives up after the sale's time limit; the device made the coupon.
        status, body = hub.v1("enviardadosvenda", {"numero_caixa": 1, "dados_venda": SALE},
                              {"Idempotency-Key": "silenciosa"})
        self.assertEqual(status, 200, body)
        self.assertTrue(body["recuperada"])
        self.assertEqual(body["campos"]["EEEEE"], "06000")
        self.assertIn("<CFe>", body["cfe"])
        self.assertEqual(coupon_number(body["retorno"]), status_coupon(hub, 1))
        self.assertEqual(hub.ledger("SELECT state, recovered FROM requests WHERE idempotency_key = 'silenciosa'"),
                         [(1, 1)])
        _, metrics = hub.request("GET", "/metrics")
        self.assertIn('kovrad_hub_recuperacoes_total{dispositivo="900000000"} 1', metrics)


class WorkerTest(HubTestCase):
    def test_a_killed_worker_is_restarted_and_its_queue_answered(self):
        # Slow replies keep calls queued while the worker dies.
        sat = self.device(args=("--fault", "delay:400", "--fault-only", "EnviarDadosVenda"))
        hub = self.hub(sat.env, f'[[dispositivo]]\nserie = "{sat.serial}"\nporta = 0\n')
        self.assertReply(hub.form("consultarsat", {"numero_caixa": 1}), "ConsultarSAT", "08000")
        pid = hub.request("GET", "/v1/devices")[1]["dispositivos"][0]["processo"]
        answers = {}

        def call(name, index):
            if name == "sale":
                answers[index] = self.sale(hub, till=1, key=f"fila-{index}")
            else:
                answers[index] = hub.form("consultarstatusoperacional", {"numero_caixa": 1})

        threads = [threading.Thread(target=call, args=("sale" if i % 2 == 0 else "status", i)) for i in range(6)]
        for thread in threads:
            thread.start()
        wait_for(lambda: hub.request("GET", "/v1/devices")[1]["dispositivos"][0]["fila"] >= 4)
        os.kill(pid, signal.SIGKILL)
        for thread in threads:
            thread.join(60)
        sales = []
        for index, (status, body) in sorted(answers.items()):
            self.assertEqual(status, 200, body)
            code = fields(body["retorno"])[1]
            if index % 2 == 0:
                # No sale is lost: each one the device made is answered with its coupon.
                self.assertEqual(code, "06000", body["retorno"][:200])
                sales.append(coupon_number(body["retorno"]))
            else:
                # The call the worker died in may fail; the queued ones are answered.
                self.assertIn(code, ("10000", "9999"))
        self.assertEqual(sorted(sales), list(range(min(sales), min(sales) + 3)))
        self.assertEqual(max(sales), status_coupon(hub, 1))
        devices = hub.request("GET", "/v1/devices")[1]["dispositivos"]
        self.assertNotEqual(devices[0]["processo"], pid)
        self.assertIn("reiniciado", hub.log())


class HubKilledTest(HubTestCase):
    def test_sales_survive_the_hub_killed_and_restarted(self):
        sat = self.device(args=("--fault", "delay:150", "--fault-only", "EnviarDadosVenda"))
        hub = self.hub(sat.env, f'[[dispositivo]]\nserie = "{sat.serial}"\nporta = 0\n')
        answered, unanswered = {}, []
        lock = threading.Lock()
        stop = threading.Event()

        def till(number):
            sequence = 0
            while not stop.is_set():
                sequence += 1
                key = f"caixa-{number}-{sequence}"
                try:
                    result = self.sale(hub, till=number, key=key, timeout=30)
                except OSError:
                    with lock:
                        unanswered.append((number, key))
                    return
                with lock:
                    answered[key] = result

        threads = [threading.Thread(target=till, args=(n,)) for n in (1, 2, 3)]
        for thread in threads:
            thread.start()
        wait_for(lambda: len(answered) >= 6)
        hub.stop(signal.SIGKILL)
        stop.set()
        for thread in threads:
            thread.join(60)
        self.assertEqual(len(unanswered), 3)

        hub.start()
        # The tills ask again with the same keys: the hub answers what the
        # device did, without a second coupon.
        for number, key in unanswered:
            answered[key] = self.sale(hub, till=number, key=key)
        coupons = []
        for key, (status, body) in answered.items():
            self.assertEqual(status, 200, body)
            if fields(body["retorno"])[1] == "06000":
                coupons.append(coupon_number(body["retorno"]))
            else:
                self.assertEqual(fields(body["retorno"])[1], "9999", body["retorno"][:200])
        self.assertEqual(sorted(coupons), list(range(1, len(coupons) + 1)))
        self.assertEqual(len(coupons), status_coupon(hub, 1))
        self.assertEqual(hub.ledger("SELECT count(*) FROM requests WHERE state <> 1"), [(0,)])
        sessions = hub.ledger("SELECT session FROM requests")
        self.assertEqual(len(sessions), len(set(sessions)))


if __name__ == "__main__":
    unittest.main()
