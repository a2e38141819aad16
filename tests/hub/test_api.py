"""kovrad-hub's two APIs against an emulated device, through a real HTTP
client: every route, the refusals, idempotency keys and access control."""

import base64
import http.client
import json
import os
import ssl
import subprocess
import unittest

from hubtest import CANCELLATION, CODE, SALE, HubTestCase, coupon_number, fields

NETWORK = ('<?xml version="1.0"?><config><tipoInter>ETHE</tipoInter><tipoLan>DHCP</tipoLan>'
           '<proxy>0</proxy></config>')


class ApiTest(HubTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.sat = cls.device()
        # No device listed: the hub finds it the way the library does.
        cls.hub = cls.hub(cls.sat.env)

    def test_every_form_route_answers_with_the_device_reply(self):
        hub = self.hub
        self.assertReply(hub.form("consultarsat", {"numero_caixa": 1}), "ConsultarSAT", "08000")
        self.assertReply(hub.form("consultarstatusoperacional", {"numero_caixa": 1}),
                         "ConsultarStatusOperacional", "10000")
        sale = self.assertReply(self.sale(hub, till=7), "EnviarDadosVenda", "06000")
        session = fields(sale)[0]
        # Form encoding ("+" for blanks) reaches the device as the till wrote it.
        self.assertIn("<xProd>ARROZ TIPO 1 5KG</xProd>", base64.b64decode(fields(sale)[6]).decode())
        # The till's last sale, from the hub's own record, and by its number.
        last = self.assertReply(hub.form("consultarultimasessaofiscal", {"numero_caixa": 7}),
                                "ConsultarUltimaSessaoFiscal", "06000")
        self.assertEqual(fields(last)[8], fields(sale)[8])
        self.assertReply(hub.form("consultarnumerosessao", {"numero_caixa": 7, "numero_sessao": session}),
                         "ConsultarNumeroSessao", "06000")
        key = fields(sale)[8]
        cancel = CANCELLATION.replace("CFe" + "0" * 44, key)
        self.assertReply(hub.form("cancelarultimavenda", {"numero_caixa": 7, "chave_cfe": key,
                                                          "dados_cancelamento": cancel}),
                         "CancelarUltimaVenda", "07000")
        last = self.assertReply(hub.form("consultarultimasessaofiscal", {"numero_caixa": 7}),
                                "ConsultarUltimaSessaoFiscal", "07000")
        self.assertReply(hub.form("testefimafim", {"numero_caixa": 1, "dados_venda": SALE}),
                         "TesteFimAFim", "09000")
        self.assertReply(hub.form("configurarinterfacederede", {"numero_caixa": 1, "configuracao": NETWORK}),
                         "ConfigurarInterfaceDeRede", "12000")
        self.assertReply(hub.form("associarassinatura", {"numero_caixa": 1, "sequencia_cnpj": "16716114000172" "08723218000186",
                                                         "assinatura_ac": "SGR-SAT SISTEMA DE GESTAO E RETAGUARDA DO SAT"}),
                         "AssociarAssinatura", "13000")
        self.assertReply(hub.form("atualizarsoftwaresat", {"numero_caixa": 1}), "AtualizarSoftwareSAT", "14000")
        log = self.assertReply(hub.form("extrairlogs", {"numero_caixa": 1}), "ExtrairLogs", "15000")
        self.assertGreater(len(fields(log)[5]), 20)
        self.assertReply(hub.form("bloquearsat", {"numero_caixa": 1}), "BloquearSAT", "16000")
        self.assertReply(hub.form("desbloquearsat", {"numero_caixa": 1}), "DesbloquearSAT", "17000")
        # An activated device refuses a second activation, in its own family of codes.
        status, body = hub.form("ativarsat", {"numero_caixa": 1, "tipo_certificado": 1,
                                              "cnpj": "08723218000186", "codigo_uf": 35})
        self.assertEqual((status, body["funcao"], fields(body["retorno"])[1][:2]), (200, "AtivarSAT", "04"))
        status, body = hub.form("comunicarcertificadoicpbrasil", {"numero_caixa": 1, "certificado": "x"})
        self.assertEqual((status, fields(body["retorno"])[1][:2]), (200, "05"))

    def test_the_hub_keeps_the_activation_code_through_both_spellings_of_a_change(self):
        hub = self.hub
        self.assertReply(hub.form("trocarcodigodeativacao", {"numero_caixa": 2, "opcao": 1, "novo_codigo": "abcdefgh",
                                                             "novo_codigo_confirmacao": "abcdefgh"}),
                         "TrocarCodigoDeAtivacao", "18000")
        # The next call already carries the new code.
        self.assertReply(hub.form("consultarstatusoperacional", {"numero_caixa": 2}),
                         "ConsultarStatusOperacional", "10000")
        self.assertReply(hub.form("trocarcodigodeativacao", {"numero_caixa": 2, "opcao": 1,
                                                             "novo_codigo_ativacao": CODE}),
                         "TrocarCodigoDeAtivacao", "18000")
        self.assertReply(hub.form("consultarstatusoperacional", {"numero_caixa": 2}),
                         "ConsultarStatusOperacional", "10000")

    def test_json_api_names_the_fields_and_decodes_the_coupon(self):
        hub = self.hub
        status, body = hub.v1("enviardadosvenda", {"numero_caixa": 3, "dados_venda": SALE})
        self.assertEqual(status, 200, body)
        self.assertEqual(body["campos"]["EEEEE"], "06000")
        self.assertTrue(body["campos"]["chaveConsulta"].startswith("CFe"))
        self.assertIn("<CFe>", body["cfe"])
        self.assertTrue(body["cfe"].endswith("</CFe>"))
        self.assertEqual(body["sessao"], int(body["campos"]["numeroSessao"]))
        status, body = hub.v1("consultarsat", {"numero_caixa": "3"})
        self.assertEqual((status, body["campos"]["EEEEE"]), (200, "08000"))
        status, body = hub.request("GET", "/v1/devices")
        self.assertEqual(status, 200)
        device = body["dispositivos"][0]
        self.assertEqual((device["serie"], device["porta"]), (self.sat.serial, "ttyACM0"))
        self.assertGreater(device["processo"], 0)
        status, body = hub.request("GET", f"/v1/devices/{self.sat.serial}/status")
        self.assertEqual((status, body["campos"]["NSERIE"]), (200, self.sat.serial))
        self.assertEqual(hub.request("GET", "/v1/devices/000000000/status")[0], 404)
        status, body = hub.v1("consultarultimasessaofiscal", {"numero_caixa": 3})
        self.assertEqual((status, body["campos"]["EEEEE"]), (200, "06000"))

    def test_refusals(self):
        hub = self.hub
        for till in ({}, {"numero_caixa": "1000"}, {"numero_caixa": "-1"}, {"numero_caixa": "um"}):
            status, body = hub.form("consultarsat", till)
            self.assertEqual(status, 400, till)
            self.assertIn("numero_caixa", body["erro"])
        # The till may also come as a header.
        self.assertReply(hub.form("consultarsat", {}, {"numero_caixa": "4"}), "ConsultarSAT", "08000")
        refused = [
            ("enviardadosvenda", {"numero_caixa": 1}, "dados_venda"),
            ("cancelarultimavenda", {"numero_caixa": 1, "chave_cfe": "CFe123", "dados_cancelamento": "x"}, "chave_cfe"),
            ("consultarnumerosessao", {"numero_caixa": 1, "numero_sessao": "1234567"}, "numero_sessao"),
            ("ativarsat", {"numero_caixa": 1, "tipo_certificado": 1, "cnpj": "123", "codigo_uf": 35}, "cnpj"),
            ("associarassinatura", {"numero_caixa": 1, "sequencia_cnpj": "1" * 28, "assinatura_ac": "a|b"}, "assinatura_ac"),
            ("trocarcodigodeativacao", {"numero_caixa": 1, "opcao": 1, "novo_codigo": "abcdefgh",
                                        "novo_codigo_confirmacao": "abcdefgX"}, "novo_codigo_confirmacao"),
            ("trocarcodigodeativacao", {"numero_caixa": 1, "opcao": 2, "novo_codigo_ativacao": "abcdefgh"},
             "codigo_emergencia"),
            ("enviardadosvenda", {"numero_caixa": 1, "dados_venda": "<CFe>\0</CFe>"}, "dados_venda"),
        ]
        for name, form, field in refused:
            status, body = hub.form(name, form)
            self.assertEqual(status, 400, (name, body))
            self.assertIn(field, body["erro"])
        self.assertEqual(hub.form("naoexiste", {"numero_caixa": 1})[0], 404)
        self.assertEqual(hub.request("GET", "/hub/v1/consultarsat")[0], 405)
        self.assertEqual(hub.request("POST", "/hub/v1/consultarsat", "numero_caixa=1",
                                     {"Content-Type": "text/plain"})[0], 415)
        self.assertEqual(hub.v1("consultarsat", ["numero_caixa", 1])[0], 400)
        status, body = hub.request("POST", "/v1/consultarsat", "{", {"Content-Type": "application/json"})
        self.assertEqual(status, 400)
        # Bodies beyond the route's bound, announced or sent.
        status, body = hub.form("consultarsat", {"numero_caixa": 1, "x": "a" * 70000})
        self.assertEqual(status, 413)
        self.assertIn("limite", body["erro"])
        # A body announced too large is refused before it is sent.
        connection = http.client.HTTPConnection(hub.host, hub.port, timeout=30)
        connection.putrequest("POST", "/hub/v1/enviardadosvenda")
        connection.putheader("Content-Type", "application/x-www-form-urlencoded")
        connection.putheader("Content-Length", str(7 * 1024 * 1024))
        connection.endheaders()
        self.assertEqual(connection.getresponse().status, 413)
        connection.close()
        status, body = hub.form("enviardadosvenda", {"numero_caixa": 1, "dados_venda": "a" * 2097152})
        self.assertEqual(status, 400)
        self.assertIn("dados_venda", body["erro"])
        self.assertReply(hub.form("consultarsat", {"numero_caixa": 1}), "ConsultarSAT", "08000")

    def test_a_repeated_idempotency_key_makes_no_second_coupon(self):
        hub = self.hub
        first = self.assertReply(self.sale(hub, till=5, key="venda-5-1"), "EnviarDadosVenda", "06000")
        status, again = hub.v1("enviardadosvenda", {"numero_caixa": 5, "dados_venda": SALE},
                               {"Idempotency-Key": "venda-5-1"})
        self.assertEqual(status, 200)
        self.assertTrue(again["repetida"])
        self.assertEqual(again["retorno"], first)
        # The device made one coupon: the next sale's number follows the first.
        following = self.assertReply(self.sale(hub, till=5, key="venda-5-2"), "EnviarDadosVenda", "06000")
        self.assertEqual(coupon_number(following), coupon_number(first) + 1)
        # Another till's key is its own.
        other = self.assertReply(self.sale(hub, till=6, key="venda-5-1"), "EnviarDadosVenda", "06000")
        self.assertEqual(coupon_number(other), coupon_number(following) + 1)
        self.assertEqual(hub.form("consultarsat", {"numero_caixa": 5}, {"Idempotency-Key": "venda-5-1"})[0], 422)
        rows = hub.ledger("SELECT count(*) FROM requests WHERE till = 5 AND function = 'EnviarDadosVenda'")
        self.assertEqual(rows, [(2,)])

    def test_health_and_metrics(self):
        hub = self.hub
        hub.form("consultarsat", {"numero_caixa": 1})
        status, body = hub.request("GET", "/health")
        self.assertEqual((status, body["estado"]), (200, "ok"))
        status, text = hub.request("GET", "/metrics")
        self.assertEqual(status, 200)
        self.assertRegex(text, r'kovrad_hub_chamadas_total\{dispositivo="900000000",funcao="ConsultarSAT"\} [1-9]')
        self.assertIn('kovrad_hub_fila{dispositivo="900000000"} 0', text)
        self.assertIn("kovrad_hub_latencia_segundos_bucket", text)



class AccessTest(HubTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.sat = cls.device()
        device = f'[[dispositivo]]\nserie = "{cls.sat.serial}"\nporta = 0\n'
        allowed = 'clientes_permitidos = ["127.0.0.2"]\n'
        cls.tokens = cls.hub(cls.sat.env, allowed + device + '[tokens]\n1 = "segredo-1"\n2 = "segredo-2"\n',
                             "tokens")
        cls.addresses = cls.hub(cls.sat.env, allowed + device, "addresses")

    def test_tokens_per_till(self):
        hub = self.tokens
        status, body = hub.form("consultarsat", {"numero_caixa": 1})
        self.assertEqual(status, 401)
        self.assertIn("Bearer", body["erro"])
        self.assertEqual(hub.form("consultarsat", {"numero_caixa": 1}, {"Authorization": "Bearer errado"})[0], 401)
        self.assertEqual(hub.form("consultarsat", {"numero_caixa": 2}, {"Authorization": "Bearer segredo-1"})[0], 401)
        self.assertEqual(hub.form("consultarsat", {"numero_caixa": 3}, {"Authorization": "Bearer segredo-1"})[0], 401)
        self.assertReply(hub.form("consultarsat", {"numero_caixa": 1}, {"Authorization": "Bearer segredo-1"}),
                         "ConsultarSAT", "08000")
        self.assertEqual(hub.request("GET", "/v1/devices")[0], 401)
        self.assertEqual(hub.request("GET", "/v1/devices", headers={"Authorization": "Bearer segredo-2"})[0], 200)
        self.assertEqual(hub.request("GET", "/metrics")[0], 401)
        self.assertEqual(hub.request("GET", "/health")[0], 200)
        # A till on the address list needs no token.
        self.assertReply(hub.form("consultarsat", {"numero_caixa": 9}, source="127.0.0.2"), "ConsultarSAT", "08000")

    def test_address_list(self):
        hub = self.addresses
        status, body = hub.form("consultarsat", {"numero_caixa": 1})
        self.assertEqual(status, 403)
        self.assertIn("127.0.0.1", body["erro"])
        self.assertReply(hub.form("consultarsat", {"numero_caixa": 1}, source="127.0.0.2"), "ConsultarSAT", "08000")

    def test_https_with_the_configured_certificate(self):
        key, certificate = (os.path.join(self.dir, name) for name in ("hub.key", "hub.crt"))
        made = subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                               "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", certificate],
                              capture_output=True)
        if made.returncode != 0:
            self.skipTest("openssl could not make a certificate")
        hub = self.hub(self.sat.env, f'tls_certificado = "{certificate}"\ntls_chave = "{key}"\n'
                       f'[[dispositivo]]\nserie = "{self.sat.serial}"\nporta = 0\n', "tls")
        context = ssl.create_default_context(cafile=certificate)
        context.check_hostname = False
        connection = http.client.HTTPSConnection(hub.host, hub.port, context=context, timeout=30)
        connection.request("POST", "/hub/v1/consultarsat", "numero_caixa=1",
                           {"Content-Type": "application/x-www-form-urlencoded"})
        body = json.loads(connection.getresponse().read())
        connection.close()
        self.assertEqual(fields(body["retorno"])[1], "08000")

    def test_the_network_needs_tokens_or_an_address_list(self):
        hub = self.hub(self.sat.env, 'endereco = "0.0.0.0"\n', "open", wait=False)
        self.assertEqual(hub.run_to_end(), 2)
        self.assertIn("tokens", hub.log())


if __name__ == "__main__":
    unittest.main()
