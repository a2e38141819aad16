"""Load (the one long hub test, labelled "long"): 20 tills for 60 seconds
against two emulated devices through kovrad-hub, status queries mixed with
sales. No request may be lost, every device's coupons must be numbered one
after the other with none twice, and no session number may repeat.
HUB_LOAD_SECONDS shortens it for a quick try."""

import collections
import os
import random
import threading
import time
import unittest

from hubtest import HubTestCase, coupon_number, fields

TILLS = 20
SECONDS = float(os.environ.get("HUB_LOAD_SECONDS", "60"))


class LoadTest(HubTestCase):
    def test_twenty_tills_on_two_devices(self):
        first, second = self.device(0), self.device(1)
        tills = "".join(f'{n} = "{first.serial if n <= TILLS // 2 else second.serial}"\n'
                        for n in range(1, TILLS + 1))
        hub = self.hub(first.env, f'[[dispositivo]]\nserie = "{first.serial}"\nporta = 0\n'
                                  f'[[dispositivo]]\nserie = "{second.serial}"\nporta = 1\n'
                                  f'[caixas]\n{tills}'
                                  # Twenty tills behind one address, as behind a NAT.
                                  '[limites]\nconexoes_por_cliente = 256\nrequisicoes_por_cliente = 64\n'
                                  'requisicoes_por_segundo = 100000\n')
        results = collections.defaultdict(list)
        failures = []
        deadline = time.monotonic() + SECONDS

        def till(number):
            chance = random.Random(number)
            serial = first.serial if number <= TILLS // 2 else second.serial
            sequence = 0
            while time.monotonic() < deadline:
                sequence += 1
                kind = chance.choice(["sale", "sat", "status"])
                try:
                    if kind == "sale":
                        answer = self.sale(hub, till=number, key=f"{number}-{sequence}")
                    else:
                        name = "consultarsat" if kind == "sat" else "consultarstatusoperacional"
                        answer = hub.form(name, {"numero_caixa": number})
                except OSError as error:
                    failures.append((number, kind, repr(error)))
                    continue
                results[serial].append((kind, answer))

        threads = [threading.Thread(target=till, args=(n,)) for n in range(1, TILLS + 1)]
        started = time.monotonic()
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(SECONDS + 120)
        elapsed = time.monotonic() - started
        self.assertEqual(failures, [])

        expected = {"sale": "06000", "sat": "08000", "status": "10000"}
        total = 0
        for serial, answers in results.items():
            coupons, sessions = [], []
            for kind, (status, body) in answers:
                self.assertEqual(status, 200, body)
                self.assertEqual(fields(body["retorno"])[1], expected[kind], body["retorno"][:200])
                sessions.append(fields(body["retorno"])[0])
                if kind == "sale":
                    coupons.append(coupon_number(body["retorno"]))
            self.assertEqual(len(sessions), len(set(sessions)), serial)
            self.assertEqual(sorted(coupons), list(range(1, len(coupons) + 1)), serial)
            print(f"{serial}: {len(answers)} calls, {len(coupons)} sales")
            total += len(answers)
        # Every call is in the ledger, with its outcome (beside the hub's own status queries).
        self.assertEqual(hub.ledger("SELECT count(*), sum(state = 1) FROM requests WHERE till >= 0"),
                         [(total, total)])
        print(f"{total} calls in {elapsed:.1f} s: {total / elapsed:.0f} per second")


if __name__ == "__main__":
    unittest.main()
