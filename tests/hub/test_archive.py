"""The coupon archive in kovrad-hub: each coupon the hub makes is in it,
committed with its sale's outcome, found by each index over HTTP, byte for
byte the device's; its extrato; the month's bundle, by HTTP and by
`kovrad-hub exportar`."""

import base64
import http.client
import io
import os
import subprocess
import unittest
import zipfile

from hubtest import CANCELLATION, HUB, SALE, HubTestCase, fields


class ArchiveTest(HubTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.sat = cls.device()
        cls.hub = cls.hub(cls.sat.env)

    def get(self, path):
        """Status, content type and raw bytes."""
        connection = http.client.HTTPConnection(self.hub.host, self.hub.port, timeout=60)
        try:
            connection.request("GET", path)
            response = connection.getresponse()
            return response.status, response.getheader("Content-Type", ""), response.read()
        finally:
            connection.close()

    def sale_of_till(self, till):
        """A sale whose document names `till`, sent by that till."""
        document = SALE.replace("<numeroCaixa>001</numeroCaixa>", f"<numeroCaixa>{till:03d}</numeroCaixa>")
        return self.assertReply(self.hub.form("enviardadosvenda", {"numero_caixa": till, "dados_venda": document}),
                                "EnviarDadosVenda", "06000")

    def found(self, query):
        status, body = self.hub.request("GET", "/v1/cfe?" + query)
        self.assertEqual(status, 200, body)
        return [entry["chave"] for entry in body["cfe"]]

    def test_a_coupon_made_through_the_hub_is_archived_and_found_by_each_index(self):
        sale = self.sale_of_till(4)
        key = fields(sale)[8]
        device_xml = base64.b64decode(fields(sale)[6])
        # Committed with the outcome: the ledger's row and the archive's agree.
        self.assertEqual(self.hub.ledger("SELECT count(*) FROM archive_coupons WHERE key = ?", key[3:]), [(1,)])

        status, kind, xml = self.get("/v1/cfe/" + key)
        self.assertEqual((status, kind), (200, "application/xml; charset=utf-8"))
        self.assertEqual(xml, device_xml)

        issued = fields(sale)[7]
        day = f"{issued[0:4]}-{issued[4:6]}-{issued[6:8]}"
        self.assertIn(key, self.found(f"de={day}&ate={day}"))
        self.assertIn(key, self.found("caixa=4"))
        self.assertNotIn(key, self.found("caixa=5"))
        self.assertIn(key, self.found("documento=11144477735&caixa=4"))
        self.assertNotIn(key, self.found("documento=52998224725"))
        status, body = self.hub.request("GET", "/v1/cfe?caixa=4")
        entry = next(e for e in body["cfe"] if e["chave"] == key)
        self.assertEqual((entry["tipo"], entry["total"], entry["caixa"], entry["cancelado_por"]),
                         ("venda", fields(sale)[9], 4, None))

        cancel = CANCELLATION.replace("CFe" + "0" * 44, key)
        cancellation = self.assertReply(
            self.hub.form("cancelarultimavenda", {"numero_caixa": 4, "chave_cfe": key, "dados_cancelamento": cancel}),
            "CancelarUltimaVenda", "07000")
        cancel_key = fields(cancellation)[8]
        status, _, xml = self.get("/v1/cfe/" + cancel_key)
        self.assertEqual(xml, base64.b64decode(fields(cancellation)[6]))
        status, body = self.hub.request("GET", "/v1/cfe?caixa=4")
        entry = next(e for e in body["cfe"] if e["chave"] == key)
        self.assertEqual(entry["cancelado_por"], cancel_key)

    def test_extrato_of_an_archived_coupon(self):
        sale = self.sale_of_till(6)
        key = fields(sale)[8]
        status, kind, pdf = self.get(f"/v1/cfe/{key}/extrato.pdf")
        self.assertEqual((status, kind, pdf[:5]), (200, "application/pdf", b"%PDF-"))
        status, kind, png = self.get(f"/v1/cfe/{key}/extrato.png")
        self.assertEqual((status, kind, png[:8]), (200, "image/png", b"\x89PNG\r\n\x1a\n"))
        status, kind, text = self.get(f"/v1/cfe/{key}/extrato.txt")
        self.assertEqual(status, 200)
        self.assertIn("Extrato No. " + key[3:][31:37], text.decode())
        self.assertEqual(self.get(f"/v1/cfe/{key}/extrato.doc")[0], 404)

    def test_refusals(self):
        self.assertEqual(self.get("/v1/cfe/CFe" + "1" * 44)[0], 404)
        self.assertEqual(self.get("/v1/cfe/CFe123")[0], 400)
        for query in ("de=ontem", "ate=2026-13-01", "caixa=abc", "documento=123", "pagina=0"):
            self.assertEqual(self.get("/v1/cfe?" + query)[0], 400, query)
        self.assertEqual(self.get("/v1/exportacoes/2026-13.zip")[0], 400)
        self.assertEqual(self.hub.request("POST", "/v1/cfe")[0], 405)

    def test_the_months_bundle_by_http_and_by_command(self):
        sale = self.sale_of_till(8)
        key, issued = fields(sale)[8], fields(sale)[7]
        month = f"{issued[0:4]}-{issued[4:6]}"
        status, kind, data = self.get(f"/v1/exportacoes/{month}.zip")
        self.assertEqual((status, kind), (200, "application/zip"))
        bundle = zipfile.ZipFile(io.BytesIO(data))
        self.assertEqual(bundle.read(f"vendas/{key}.xml"), base64.b64decode(fields(sale)[6]))
        self.assertIn("resumo.csv", bundle.namelist())
        self.assertIn("resumo.pdf", bundle.namelist())
        # Every coupon the archive holds for the month, and only those.
        archived = {k for (k,) in self.hub.ledger("SELECT key FROM archive_coupons")}
        self.assertEqual({name.split("CFe")[1][:44] for name in bundle.namelist() if name.endswith(".xml")}, archived)

        output = os.path.join(self.dir, "pacote.zip")
        run = subprocess.run([HUB, "--config", self.hub.config, "exportar", "--mes", month, "--saida", output],
                             capture_output=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(sorted(zipfile.ZipFile(output).namelist()), sorted(bundle.namelist()))
        self.assertEqual(os.stat(output).st_mode & 0o777, 0o600)
        run = subprocess.run([HUB, "--config", self.hub.config, "exportar", "--mes", "2026-1", "--saida", output],
                             capture_output=True, timeout=60)
        self.assertEqual(run.returncode, 2, run.stderr)


if __name__ == "__main__":
    unittest.main()
