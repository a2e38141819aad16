"""kovrad-hub's sales from data through a real HTTP client: a sale from
JSON answered with its coupon, the refusals as a list before anything is
sent, a repeat by idempotency key, and the cancellation built from the
stored sale."""

import copy
import json
import os
import unittest

from hubtest import HubTestCase, coupon_number

with open(os.environ["CFE_SALE"], encoding="utf-8") as example:
    SALE = json.load(example)


class SalesTest(HubTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.sat = cls.device()
        cls.hub = cls.hub(cls.sat.env)

    def sell(self, sale, key=None):
        headers = {"Content-Type": "application/json"}
        if key:
            headers["Idempotency-Key"] = key
        return self.hub.request("POST", "/v1/vendas", json.dumps(sale), headers)

    def test_a_sale_from_json_is_answered_with_its_coupon_and_repeated_by_its_key(self):
        status, body = self.sell(SALE, key="json-1")
        self.assertEqual(status, 201, body)
        self.assertEqual(body["codigo"], "06000")
        self.assertRegex(body["chave"], r"^CFe[0-9]{44}$")
        self.assertEqual(body["total"], "102.20")
        self.assertRegex(body["data"], r"^[0-9]{14}$")
        self.assertEqual(int(body["numero"]), coupon_number(body["retorno"]))
        self.assertTrue(body["qrcode"].startswith(body["chave"][3:] + "|" + body["data"] + "|102.20|11144477735|"))
        self.assertIn("<vCFe>102.20</vCFe>", body["cfe"])
        self.assertFalse(body["repetida"])

        status, again = self.sell(SALE, key="json-1")
        self.assertEqual(status, 200, again)
        self.assertTrue(again["repetida"])
        self.assertEqual(again["chave"], body["chave"])
        rows = self.hub.ledger("SELECT count(*) FROM requests WHERE idempotency_key = 'json-1'")
        self.assertEqual(rows, [(1,)])

    def test_refusals_come_as_a_list_and_nothing_is_sent(self):
        before = self.hub.ledger("SELECT count(*) FROM requests")
        sale = copy.deepcopy(SALE)
        sale["det"][2]["prod"]["NCM"] = "0803900"
        sale["pgto"]["MP"] = [{"cMP": "01", "vMP": "40.00"}]
        sale["emit"]["IEE"] = "1"
        status, body = self.sell(sale)
        self.assertEqual(status, 422, body)
        self.assertEqual([(r["campo"], r["codigo"]) for r in body["recusas"]],
                         [("emit.IEE", ""), ("det[3].prod.NCM", "1209"), ("pgto", "1213")])
        self.assertTrue(all(r["mensagem"] for r in body["recusas"]))
        status, body = self.hub.request("POST", "/v1/vendas", "{not json", {"Content-Type": "application/json"})
        self.assertEqual(status, 422)
        self.assertEqual(body["recusas"][0]["campo"], "")
        self.assertEqual(self.hub.ledger("SELECT count(*) FROM requests"), before)

    def test_a_refusal_of_the_device_comes_with_its_code(self):
        sale = copy.deepcopy(SALE)
        sale["emit"]["CNPJ"] = "11222333000181"  # valid, but not the device's taxpayer
        status, body = self.sell(sale)
        self.assertEqual(status, 422, body)
        self.assertEqual(body["codigo"], "06010")
        self.assertEqual(body["recusas"][0]["codigo"], "1204")

    def test_the_last_sale_is_cancelled_by_its_key_alone(self):
        status, sale = self.sell(SALE)
        self.assertEqual(status, 201, sale)
        path = "/v1/vendas/" + sale["chave"] + "/cancelamento"
        status, body = self.hub.request("POST", path, "", {"Idempotency-Key": "canc-1"})
        self.assertEqual(status, 201, body)
        self.assertEqual(body["codigo"], "07000")
        self.assertIn('chCanc="' + sale["chave"] + '"', body["cfe"])
        self.assertEqual(body["total"], "102.20")
        self.assertEqual(self.hub.request("POST", path, "", {"Idempotency-Key": "canc-1"})[0], 200)
        unknown = "CFe" + "1" * 44
        self.assertEqual(self.hub.request("POST", "/v1/vendas/" + unknown + "/cancelamento")[0], 404)
        self.assertEqual(self.hub.request("POST", "/v1/vendas/CFe123/cancelamento")[0], 400)
        self.assertEqual(self.hub.request("GET", "/v1/vendas")[0], 405)


if __name__ == "__main__":
    unittest.main()
