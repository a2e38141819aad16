"""kovrad-hub against what a hostile or broken client, a careless
installation or a full disk does: bodies sent before a token, one client
holding every connection, a till's token on an administrator's function,
ambiguous HTTP, weak TLS, files others may read, a lost ledger, no room left
on the disk. Every client is on loopback; several addresses of 127.0.0.0/8
stand in for the store's machines."""

import os
import shutil
import socket
import stat
import subprocess
import tempfile
import threading
import time
import unittest

from hubtest import HubTestCase, coupon_number, fields

TILL_TOKEN = "token-do-caixa-1"
OTHER_TOKEN = "token-do-caixa-2"
ADMIN_TOKEN = "token-de-administrador"
TILL = {"Authorization": "Bearer " + TILL_TOKEN}
ADMIN = {"Authorization": "Bearer " + ADMIN_TOKEN}
ATTACKER = "127.0.0.3"
LISTED = "127.0.0.2"


def device_toml(sat):
    return f'[[dispositivo]]\nserie = "{sat.serial}"\nporta = 0\n'


def secured_toml(sat, limits=""):
    return (f'clientes_permitidos = ["{LISTED}"]\n' + device_toml(sat) +
            f'[tokens]\n1 = "{TILL_TOKEN}"\n2 = "{OTHER_TOKEN}"\n'
            f'[administradores]\nsuporte = "{ADMIN_TOKEN}"\n' + limits)


def raw_request(hub, data, source=None, timeout=10):
    """The status line the hub answers to bytes sent as they are."""
    with socket.create_connection((hub.host, hub.port), timeout=timeout,
                                  source_address=(source, 0) if source else None) as s:
        s.sendall(data)
        reply = b""
        while b"\r\n" not in reply:
            chunk = s.recv(4096)
            if not chunk:
                break
            reply += chunk
    return reply.split(b"\r\n", 1)[0].decode()


def memory_kb(pid, field):
    with open(f"/proc/{pid}/status", encoding="ascii") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    raise KeyError(field)


def refusals(hub, reason):
    _, metrics = hub.request("GET", "/metrics", headers=ADMIN)
    for line in metrics.splitlines():
        if line.startswith(f'kovrad_hub_recusas_total{{motivo="{reason}"}} '):
            return int(line.split()[-1])
    return 0


class ClientTest(HubTestCase):
    """What one client may cost the others."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.sat = cls.device()
        cls.hub_ = cls.hub(cls.sat.env, secured_toml(cls.sat, "[limites]\nconexoes_por_cliente = 8\n"
                                                              "ocioso_segundos = 2\n"))

    def test_bodies_of_brackets_cost_no_memory(self):
        hub = self.hub_
        attack = b"[" * (6 * 1024 * 1024)
        answers = []

        def without_token():
            # Answered on the headers: the body is never asked for.
            head = (b"POST /v1/enviardadosvenda HTTP/1.1\r\nHost: hub\r\nContent-Type: application/json\r\n"
                    b"Content-Length: %d\r\n\r\n" % len(attack))
            answers.append(raw_request(hub, head, source=ATTACKER))

        def with_token():
            # The parse stops at the second bracket.
            answers.append(hub.request("POST", "/v1/enviardadosvenda", attack,
                                       dict(TILL, **{"Content-Type": "application/json"}))[0])

        threads = [threading.Thread(target=send) for send in [without_token] * 4 + [with_token] * 4]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(60)
        self.assertEqual(sorted(map(str, answers)), ["400"] * 4 + ["HTTP/1.1 401 Unauthorized"] * 4)
        status, body = hub.v1("enviardadosvenda", {"numero_caixa": 1, "dados_venda": {"a": [1]}}, TILL)
        self.assertEqual((status, body["erro"]), (400, "Campo dados_venda inválido: texto ou número inteiro."))
        if not os.environ.get("KOVRAD_SANITIZED"):
            self.assertLess(memory_kb(hub.process.pid, "VmHWM"), 64 * 1024)
        self.assertGreaterEqual(refusals(hub, "json"), 4)

    def test_a_client_holding_its_connections_leaves_the_tills_served(self):
        hub = self.hub_
        held = []
        try:
            for _ in range(30):
                s = socket.create_connection((hub.host, hub.port), timeout=10, source_address=(ATTACKER, 0))
                held.append(s)
            # Beyond its share the client's connections are closed at once.
            closed = 0
            for s in held[8:]:
                try:
                    closed += s.recv(1) == b""
                except (ConnectionResetError, TimeoutError):
                    closed += 1
            self.assertEqual(closed, len(held) - 8)
            for _ in range(5):
                self.assertReply(hub.form("consultarstatusoperacional", {"numero_caixa": 1}, TILL),
                                 "ConsultarStatusOperacional", "10000")
            # The ones it kept idle are closed after the idle time.
            held[0].settimeout(20)
            self.assertEqual(held[0].recv(1), b"")
        finally:
            for s in held:
                s.close()
        self.assertGreaterEqual(refusals(hub, "conexoes"), 22)

    def test_requests_in_flight_and_per_second(self):
        sat = self.sat
        hub = self.hub(sat.env, secured_toml(sat, "[limites]\nrequisicoes_por_segundo = 2\n"), "rate")
        answers = [hub.request("GET", "/health", source=ATTACKER)[0] for _ in range(12)]
        self.assertEqual(answers[:4], [200] * 4)
        self.assertIn(429, answers)
        # Another address keeps its own allowance.
        self.assertEqual(hub.request("GET", "/health")[0], 200)
        self.assertGreaterEqual(refusals(hub, "taxa"), 1)


class RoleTest(HubTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.sat = cls.device()
        cls.hub_ = cls.hub(cls.sat.env, secured_toml(cls.sat))

    def test_administrative_functions_need_an_administrator(self):
        hub = self.hub_
        for name in ("bloquearsat", "desbloquearsat", "extrairlogs", "atualizarsoftwaresat"):
            with self.subTest(name=name):
                status, body = hub.form(name, {"numero_caixa": 1}, TILL)
                self.assertEqual(status, 403, body)
                self.assertIn("administrador", body["erro"])
                self.assertEqual(hub.v1(name, {"numero_caixa": 1}, TILL)[0], 403)
                # The address list opens till work only.
                self.assertEqual(hub.form(name, {"numero_caixa": 9}, source=LISTED)[0], 403)
        change = {"numero_caixa": 1, "opcao": 1, "novo_codigo_ativacao": "87654321"}
        self.assertEqual(hub.form("trocarcodigodeativacao", change, TILL)[0], 403)
        self.assertEqual(hub.form("ativarsat", {"numero_caixa": 1, "tipo_certificado": 1,
                                                "cnpj": "1" * 14, "codigo_uf": 35}, TILL)[0], 403)
        self.assertEqual(hub.form("configurarinterfacederede", {"numero_caixa": 1, "configuracao": "x"},
                                  TILL)[0], 403)
        self.assertEqual(hub.form("associarassinatura", {"numero_caixa": 1, "sequencia_cnpj": "1" * 28,
                                                         "assinatura_ac": "x"}, TILL)[0], 403)
        self.assertReply(hub.form("extrairlogs", {"numero_caixa": 1}, ADMIN), "ExtrairLogs", "15000")
        # The code change went nowhere: the ledger keeps none of its codes.
        self.assertEqual(hub.ledger("SELECT count(*) FROM requests WHERE function = 'TrocarCodigoDeAtivacao'"),
                         [(0,)])
        self.assertGreaterEqual(refusals(hub, "papel"), 15)

    def test_till_work_and_the_address_list(self):
        hub = self.hub_
        self.assertReply(hub.form("consultarsat", {"numero_caixa": 1}, TILL), "ConsultarSAT", "08000")
        self.assertReply(hub.form("consultarsat", {"numero_caixa": 1}, ADMIN), "ConsultarSAT", "08000")
        # A listed address cannot speak for a till that has a token.
        self.assertEqual(hub.form("consultarsat", {"numero_caixa": 1}, source=LISTED)[0], 401)
        self.assertReply(hub.form("consultarsat", {"numero_caixa": 9}, source=LISTED), "ConsultarSAT", "08000")
        self.assertEqual(hub.request("GET", "/metrics", source=LISTED)[0], 401)
        self.assertEqual(hub.request("GET", "/v1/devices", source=LISTED)[0], 401)
        # Health says the hub is up, nothing of its devices.
        self.assertEqual(hub.request("GET", "/health", source=ATTACKER), (200, {"estado": "ok"}))
        status, body = hub.request("GET", "/v1/devices", headers=TILL)
        self.assertEqual(status, 200)
        pid = body["dispositivos"][0]["processo"]
        self.assertTrue(pid is None or pid > 1, pid)


class StrictHttpTest(HubTestCase):
    def test_ambiguous_requests_are_refused(self):
        sat = self.device()
        hub = self.hub(sat.env, secured_toml(sat))
        form = b"Content-Type: application/x-www-form-urlencoded\r\n"
        post = b"POST /hub/v1/consultarsat HTTP/1.1\r\nHost: hub\r\n"
        body = b"numero_caixa=1"
        length = b"Content-Length: %d\r\n" % len(body)
        auth = b"Authorization: Bearer " + TILL_TOKEN.encode() + b"\r\n"
        cases = {
            "two Authorization": post + auth + b"Authorization: Bearer " + OTHER_TOKEN.encode() + b"\r\n" +
                                 form + length + b"\r\n" + body,
            "two equal Content-Length": post + auth + form + length + length + b"\r\n" + body,
            "two Numero-Caixa": post + auth + form + b"Numero-Caixa: 1\r\nnumero_caixa: 2\r\n" +
                                b"Content-Length: 0\r\n\r\n",
            "a control character": post + auth + b"Idempotency-Key: a\x01b\r\n" + form + length + b"\r\n" + body,
            "a chunked body": post + auth + form + b"Transfer-Encoding: chunked\r\n\r\n" +
                              b"%x\r\n" % len(body) + body + b"\r\n0\r\n\r\n",
        }
        for name, request in cases.items():
            with self.subTest(case=name):
                self.assertEqual(raw_request(hub, request), "HTTP/1.1 400 Bad Request")
        self.assertEqual(raw_request(hub, post + auth + form + length + b"\r\n" + body), "HTTP/1.1 200 OK")
        self.assertGreaterEqual(refusals(hub, "http"), 5)


class TlsTest(HubTestCase):
    def s_client(self, hub, *options):
        return subprocess.run(["openssl", "s_client", "-connect", f"{hub.host}:{hub.port}", "-brief",
                               *options], input=b"", capture_output=True, timeout=30).returncode

    def test_only_modern_tls(self):
        if shutil.which("openssl") is None:
            self.skipTest("openssl is not installed")
        sat = self.device()
        key, certificate = (os.path.join(self.dir, name) for name in ("hub.key", "hub.crt"))
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", certificate],
                       capture_output=True, check=True)
        toml = f'tls_certificado = "{certificate}"\ntls_chave = "{key}"\n' + device_toml(sat)
        os.chmod(key, 0o644)
        exposed = self.hub(sat.env, toml, "exposed", wait=False)
        self.assertEqual(exposed.run_to_end(), 1)
        self.assertIn("pode ser lida por outros", exposed.log())
        os.chmod(key, 0o600)
        hub = self.hub(sat.env, toml, "tls")
        self.assertEqual(self.s_client(hub, "-tls1_3"), 0)
        self.assertEqual(self.s_client(hub, "-tls1_2", "-cipher", "ECDHE-RSA-AES128-GCM-SHA256"), 0)
        # Static RSA key exchange gives no forward secrecy.
        self.assertNotEqual(self.s_client(hub, "-tls1_2", "-cipher", "AES128-GCM-SHA256"), 0)
        for old in ("-tls1_1", "-tls1"):
            with self.subTest(version=old):
                self.assertNotEqual(self.s_client(hub, old, "-cipher", "DEFAULT@SECLEVEL=0"), 0)

    def test_plain_http_with_tokens_on_the_network_is_warned_of(self):
        hub = self.hub({}, f'endereco = "192.0.2.1"\n[tokens]\n1 = "{TILL_TOKEN}"\n', "plain", wait=False)
        # Said in the store's language, as a till's locale asks for it.
        store = dict(os.environ, LC_ALL="C.UTF-8", LANGUAGE="pt_BR")
        verified = subprocess.run([os.environ["KOVRAD_HUB"], "--config", hub.config, "verificar"],
                                  capture_output=True, text=True, timeout=30, env=store)
        self.assertEqual(verified.returncode, 0, verified.stderr)
        self.assertIn("sem criptografia", verified.stderr)


class LedgerTest(HubTestCase):
    def test_files_are_their_owners_and_a_lost_ledger_is_not_made_again(self):
        sat = self.device()
        old_mask = os.umask(0o022)
        try:
            hub = self.hub(sat.env, device_toml(sat), "ledger")
        finally:
            os.umask(old_mask)
        self.assertReply(self.sale(hub, key="antes"), "EnviarDadosVenda", "06000")
        for suffix in ("", "-wal", "-shm"):
            with self.subTest(file="hub.db" + suffix):
                self.assertEqual(stat.S_IMODE(os.stat(hub.database + suffix).st_mode), 0o600)
        # The activation code is kept for the hub, not in the requests' record.
        change = {"numero_caixa": 1, "opcao": 1, "novo_codigo_ativacao": "87654321"}
        hub.form("trocarcodigodeativacao", change)
        self.assertEqual(hub.ledger("SELECT count(*) FROM requests WHERE request LIKE '%87654321%'"), [(0,)])
        hub.stop()
        for suffix in ("", "-wal", "-shm"):
            if os.path.exists(hub.database + suffix):
                os.unlink(hub.database + suffix)
        self.assertEqual(hub.run_to_end(), 2)
        self.assertIn("kovrad-hub preparar", hub.log())
        self.assertFalse(os.path.exists(hub.database))
        # A file put in its place is no ledger either.
        with open(hub.database, "wb"):
            pass
        self.assertEqual(hub.run_to_end(), 1)
        self.assertIn("não é um registro", hub.log())
        # preparar refuses to overwrite it, and makes a new one only when asked.
        self.assertNotEqual(hub.prepare(), 0)
        os.unlink(hub.database)
        self.assertEqual(hub.prepare(), 0)
        self.assertEqual(stat.S_IMODE(os.stat(hub.database).st_mode), 0o600)

    def test_a_configuration_without_an_activation_code_is_not_served(self):
        hub = self.hub({}, "", "unconfigured", wait=False)
        with open(hub.config, encoding="utf-8") as text:
            lines = [line for line in text if not line.startswith("codigo_ativacao")]
        with open(hub.config, "w", encoding="utf-8") as text:
            text.writelines(lines)
        self.assertEqual(hub.run_to_end(), 2)
        self.assertIn("codigo_ativacao", hub.log())


class FullDiskTest(HubTestCase):
    def test_a_full_disk_answers_503_and_no_sale_is_made_twice(self):
        disk = tempfile.mkdtemp(dir=self.dir)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=8m,mode=0700", "tmpfs", disk],
                                 capture_output=True)
        if os.geteuid() != 0 or mounted.returncode != 0:
            print("SKIPPED: mounting a small tmpfs needs root", flush=True)
            self.skipTest("mounting a small tmpfs needs root")
        try:
            self.run_on(disk)
        finally:
            for process in reversed(self.processes):
                process.stop()
            subprocess.run(["umount", "-l", disk], check=False)

    @staticmethod
    def fill(path, room):
        """Fills the disk with `path`, leaving `room` bytes free."""
        fd = os.open(path, os.O_WRONLY | os.O_CREAT, 0o600)
        try:
            while os.write(fd, b"\0" * 4096) > 0:
                pass
        except OSError:
            os.ftruncate(fd, max(0, os.fstat(fd).st_size - room))
        finally:
            os.close(fd)

    def run_on(self, disk):
        sat = self.device()
        hub = self.hub(sat.env, device_toml(sat), "full", wait=False)
        hub.database = os.path.join(disk, "hub.db")
        with open(hub.config, encoding="utf-8") as text:
            config = text.read().replace(os.path.join(hub.directory, "hub.db"), hub.database)
        with open(hub.config, "w", encoding="utf-8") as text:
            text.write(config)
        self.assertEqual(hub.prepare(), 0)
        hub.start()
        self.assertReply(self.sale(hub, key="venda-0"), "EnviarDadosVenda", "06000")
        filler = os.path.join(disk, "filler")
        # Room for a sale's request, not for its reply too.
        self.fill(filler, 32768)
        first = {}
        for n in range(1, 16):
            first[n] = self.sale(hub, key=f"venda-{n}")[0]
        self.assertIn(503, first.values())
        self.assertLessEqual(set(first.values()), {200, 503})
        os.unlink(filler)
        coupons = [coupon_number(self.assertReply(self.sale(hub, key=f"venda-{n}"), "EnviarDadosVenda",
                                                  "06000"))
                   for n in range(0, 16)]
        # One coupon per key, none skipped: none was made twice or made unanswered.
        self.assertEqual(sorted(coupons), list(range(min(coupons), min(coupons) + 16)))
        self.assertEqual(hub.ledger("SELECT count(*) FROM requests WHERE state <> 1"), [(0,)])
        # A ledger that cannot be written is not served at all.
        hub.stop()
        self.fill(filler, 0)
        self.assertEqual(hub.run_to_end(), 1)
        self.assertIn("não pode ser gravado", hub.log())


if __name__ == "__main__":
    unittest.main()
