"""The store console over HTTP: without its token nothing (not even the
menu), the session cookie's guards, values escaped, a reprint from it."""

import http.client
import unittest
import urllib.parse

from fakeprinter import PrinterHubTestCase
from hubtest import SALE, fields

CONSOLE_TOKEN = "token-do-console-da-loja"
TILL_TOKEN = "token-do-caixa-1"


class ConsoleTest(PrinterHubTestCase):
    # A central database that is not there: the console shows the backlog waiting for it.
    config = (f'[tokens]\n1 = "{TILL_TOKEN}"\n[console]\ntoken = "{CONSOLE_TOKEN}"\n'
              '[central]\nconexao = "host=127.0.0.1 port=1 dbname=kovrad connect_timeout=2"\n'
              'tls = "disable"\nloja = "0001"\n')

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        reply = cls.hub.form("enviardadosvenda", {"numero_caixa": 1, "dados_venda": SALE},
                             {"Authorization": "Bearer " + TILL_TOKEN})
        cls.key = fields(reply[1]["retorno"])[8]

    def call(self, method, path, form=None, cookie=None, headers=None):
        """Status, headers and body text."""
        headers = dict(headers or {})
        if cookie:
            headers["Cookie"] = cookie
        body = None
        if form is not None:
            body = urllib.parse.urlencode(form)
            headers["Content-Type"] = "application/x-www-form-urlencoded"
        connection = http.client.HTTPConnection(self.hub.host, self.hub.port, timeout=60)
        try:
            connection.request(method, path, body=body, headers=headers)
            response = connection.getresponse()
            return response.status, dict(response.getheaders()), response.read().decode(errors="replace")
        finally:
            connection.close()

    def login(self, token=CONSOLE_TOKEN):
        status, headers, _ = self.call("POST", "/console/entrar", {"token": token})
        self.assertEqual(status, 303)
        cookie = headers["Set-Cookie"]
        for guard in ("HttpOnly", "SameSite=Strict", "Path=/console/"):
            self.assertIn(guard, cookie)
        return cookie.split(";", 1)[0]

    def test_without_the_token_nothing_is_shown(self):
        wrong = [None, "kovrad_console=" + "0" * 64, "kovrad_console="]
        paths = ["/console/", "/console/cfe", f"/console/cfe/{self.key}", f"/console/cfe/{self.key}/extrato.png",
                 "/console/pacote?mes=2026-12", "/console/nada"]
        for cookie in wrong:
            for path in paths:
                status, headers, body = self.call("GET", path, cookie=cookie)
                self.assertEqual(status, 401, (path, cookie))
                self.assertTrue(headers["Content-Type"].startswith("text/html"))
                self.assertNotIn("/console/cfe", body)
                self.assertNotIn(self.key[3:], body)
        for token in ("errado", TILL_TOKEN, CONSOLE_TOKEN[:-1], CONSOLE_TOKEN + "x", ""):
            status, headers, body = self.call("POST", "/console/entrar", {"token": token})
            self.assertEqual(status, 401, token)
            self.assertNotIn("Set-Cookie", headers)
            self.assertIn("Token inválido", body)
        # Nor is the console's token one of the API's.
        self.assertEqual(self.call("GET", "/v1/cfe", headers={"Authorization": "Bearer " + CONSOLE_TOKEN})[0], 401)
        # A reprint posted from another site's page is refused, even with the cookie.
        cookie = self.login()
        status, _, _ = self.call("POST", f"/console/cfe/{self.key}/imprimir", {}, cookie,
                                 {"Origin": "http://outro.example"})
        self.assertEqual(status, 403)
        # Once out, the cookie opens nothing.
        self.assertEqual(self.call("POST", "/console/sair", {}, cookie)[0], 303)
        self.assertEqual(self.call("GET", "/console/", cookie=cookie)[0], 401)

    def test_pages_with_a_session(self):
        cookie = self.login()
        status, headers, body = self.call("GET", "/console/", cookie=cookie)
        self.assertEqual(status, 200)
        self.assertEqual(headers["Cache-Control"], "no-store")
        self.assertIn("SAT " + self.sat.serial, body)
        self.assertIn("Fila", body)
        self.assertIn("Envio ao banco central", body)
        self.assertIn("sem conexão", body)
        status, _, body = self.call("GET", "/console/cfe?documento=11144477735", cookie=cookie)
        self.assertEqual(status, 200)
        self.assertIn(f"/console/cfe/{self.key}", body)
        status, _, body = self.call("GET", "/console/cfe?caixa=7", cookie=cookie)
        self.assertNotIn(f"/console/cfe/{self.key}", body)
        # What a client typed comes back escaped, never as markup.
        status, _, body = self.call("GET", "/console/cfe?documento=%3Cscript%3Ealert(1)%3C/script%3E&caixa=%22%3E%3Cb%3E",
                                    cookie=cookie)
        self.assertEqual(status, 400)
        self.assertNotIn("<script>", body)
        self.assertNotIn('"><b>', body)
        self.assertIn("&lt;script&gt;", body)
        status, headers, body = self.call("GET", f"/console/cfe/{self.key}/extrato.png", cookie=cookie)
        self.assertEqual((status, headers["Content-Type"]), (200, "image/png"))
        self.assertEqual(self.call("GET", "/console/cfe/CFe" + "1" * 44, cookie=cookie)[0], 404)
        status, _, body = self.call("GET", "/console/pacote?mes=2026-13", cookie=cookie)
        self.assertEqual(status, 400)
        self.assertIn("Mês inválido", body)

    def test_reprint_from_the_console(self):
        cookie = self.login()
        status, _, body = self.call("POST", f"/console/cfe/{self.key}/imprimir", {"impressora": ""}, cookie)
        self.assertEqual(status, 200, body)
        self.assertIn("extrato impresso", body)
        self.assertIn(("Extrato No. " + self.key[3:][31:37]).encode(), self.printer.received())
        status, _, body = self.call("GET", f"/console/cfe/{self.key}", cookie=cookie)
        self.assertIn("balcao", body.replace(self.printer.destination, "balcao"))
        status, _, body = self.call("POST", f"/console/cfe/{self.key}/imprimir", {"impressora": "<x>"}, cookie)
        self.assertEqual(status, 404)
        self.assertIn("&lt;x&gt;", body)


if __name__ == "__main__":
    unittest.main()
