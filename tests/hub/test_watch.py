"""The hub watching its devices: a device with an expiring certificate, a
stale last transmission and coupons waiting, and a locked one, show each in
/metrics, and the shipped alert rules fire on exactly what they show
(promtool, where Debian's prometheus package provides it)."""

import os
import re
import shutil
import subprocess
import textwrap
import unittest

from hubtest import HubTestCase, wait_until

RULES = os.environ["KOVRAD_ALERT_RULES"]
SAMPLE = re.compile(r'^(kovrad_sat_[a-z_]+)\{dispositivo="(\d+)"\} (\S+)$')


def gauges(hub):
    """Device -> gauge -> value, from /metrics."""
    status, text = hub.request("GET", "/metrics")
    assert status == 200, text
    found = {}
    for line in text.splitlines():
        match = SAMPLE.match(line)
        if match:
            found.setdefault(match[2], {})[match[1]] = float(match[3])
    return found


def without_annotations(rules):
    """The rules file's text without its annotations, which promtool would
    otherwise compare word for word."""
    kept, depth = [], None
    for line in rules.splitlines():
        indent = len(line) - len(line.lstrip())
        if depth is not None and (not line.strip() or indent > depth):
            continue
        depth = indent if line.strip() == "annotations:" else None
        if depth is None:
            kept.append(line)
    return "\n".join(kept) + "\n"


class WatchTest(HubTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.troubled = cls.device(0, ("--certificate-days", "10", "--last-transmission", "100",
                                      "--pending", "5"))
        cls.locked = cls.device(1, ("--lock", "2"))
        cls.hub_ = cls.hub(cls.troubled.env,
                           "intervalo_status = 1\n"
                           f'[[dispositivo]]\nserie = "{cls.troubled.serial}"\nporta = 0\n'
                           f'[[dispositivo]]\nserie = "{cls.locked.serial}"\nporta = 1\n'
                           f'[caixas]\n1 = "{cls.troubled.serial}"\n')

    def test_each_trouble_shows_in_the_metrics(self):
        seen = wait_until(lambda: (lambda g: g if len(g) == 2 else None)(gauges(self.hub_)))
        troubled, locked = seen[self.troubled.serial], seen[self.locked.serial]
        self.assertEqual(troubled["kovrad_sat_certificado_dias"], 10)
        self.assertAlmostEqual(troubled["kovrad_sat_horas_sem_transmissao"], 100, delta=0.1)
        self.assertEqual(troubled["kovrad_sat_cupons_pendentes"], 5)
        self.assertEqual(troubled["kovrad_sat_bloqueado"], 0)
        self.assertLess(abs(troubled["kovrad_sat_relogio_desvio_segundos"]), 5)
        self.assertLess(troubled["kovrad_sat_memoria_usada"], 0.01)
        self.assertEqual(locked["kovrad_sat_bloqueado"], 1)
        self.assertEqual(locked["kovrad_sat_estado_operacao"], 2)
        self.assertGreater(locked["kovrad_sat_certificado_dias"], 1000)

        # A device cut off from SEFAZ keeps each new coupon waiting.
        status, body = self.sale(self.hub_, till=1)
        self.assertEqual(status, 200, body)
        self.assertEqual(body["retorno"].split("|")[1], "06000", body)
        later = wait_until(lambda: (lambda g: g if g.get(self.troubled.serial, {}).get(
            "kovrad_sat_cupons_pendentes") == 6 else None)(gauges(self.hub_)))
        self.assertGreater(later[self.troubled.serial]["kovrad_sat_horas_sem_transmissao"], 99.9)

    @unittest.skipUnless(shutil.which("promtool"), "promtool not installed (Debian package prometheus)")
    def test_the_shipped_rules_fire_on_what_the_metrics_show(self):
        checked = subprocess.run(["promtool", "check", "rules", RULES], capture_output=True, text=True)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)

        seen = wait_until(lambda: (lambda g: g if len(g) == 2 else None)(gauges(self.hub_)))
        # A third device stands for a full memory, which satemu does not make.
        seen["999999999"] = {"kovrad_sat_memoria_usada": 0.85}
        series = "".join(
            f"      - series: '{name}{{dispositivo=\"{device}\",instance=\"loja\",job=\"hub\"}}'\n"
            f"        values: '{value:g}x40'\n"
            for device, values in sorted(seen.items()) for name, value in sorted(values.items()))

        def alerts(name, *devices):
            if not devices:
                return f"      - eval_time: 30m\n        alertname: {name}\n        exp_alerts: []\n"
            listed = "".join(
                f"          - exp_labels: {{dispositivo: '{d}', instance: loja, job: hub, "
                f"severity: {severity}}}\n" for d, severity in devices)
            return f"      - eval_time: 30m\n        alertname: {name}\n        exp_alerts:\n{listed}"

        troubled, locked = self.troubled.serial, self.locked.serial
        rules = os.path.join(self.dir, "rules.yml")
        with open(RULES, encoding="utf-8") as shipped, open(rules, "w", encoding="utf-8") as out:
            out.write(without_annotations(shipped.read()))
        tests = textwrap.dedent(f"""\
            rule_files:
              - {rules}
            evaluation_interval: 1m
            tests:
              - interval: 1m
                input_series:
            """) + series + "    alert_rule_test:\n" + \
            alerts("SATCertificadoVencendo", (troubled, "warning")) + \
            alerts("SATSemTransmissao", (troubled, "critical")) + \
            alerts("SATBloqueado", (locked, "critical")) + \
            alerts("SATMemoriaCheia", ("999999999", "warning"))
        path = os.path.join(self.dir, "alert_tests.yml")
        with open(path, "w", encoding="utf-8") as out:
            out.write(tests)
        result = subprocess.run(["promtool", "test", "rules", path], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr + "\n" + tests)


if __name__ == "__main__":
    unittest.main()
